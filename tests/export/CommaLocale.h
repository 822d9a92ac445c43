#pragma once

#include "tests/support/ScopedLocale.h"

#include <clocale>
#include <string>

// Switches the C library to a locale whose decimal separator is a comma, as a Qt application
// on a German desktop runs.
class CommaLocale : public ScopedLocale {
public:
    CommaLocale()
        : ScopedLocale("de_DE.UTF-8")
    {
    }
    bool active() const { return std::string(localeconv()->decimal_point) == ","; }
};
