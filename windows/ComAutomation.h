// Late-bound automation through COM: IDispatch objects created by program identifier. Windows only.
#pragma once

#include "LateBound.h"

namespace win {

// COM for the calling thread: initialised (single-threaded apartment) the first time a thread
// needs it and uninitialised when that thread ends, once per thread however many objects it makes.
// A thread that already runs COM in another apartment keeps it.
class ComApartment {
public:
    static void enter();
    // How many threads our initialisation currently holds, for tests.
    static int activeThreads();
};

// Creates applications by program identifier ("Excel.Application"), in process or out of it.
// Calls name members in the locale 1033, as Excel expects of late-bound callers.
class ComFactory : public latebound::Factory {
public:
    latebound::ObjectPtr create(std::u16string_view identifier) override;
};

// The system's text for an HRESULT ("0x80020006" when it has none).
std::u16string systemText(long code);

} // namespace win
