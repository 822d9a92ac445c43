#include "export/NumberText.h"

#include <charconv>
#include <cmath>

std::string_view formatNumber(double value, NumberBuffer& buffer)
{
    char* const first = buffer.chars;
    char* const last = buffer.chars + sizeof buffer.chars;
    if (value == 0) { // also -0, which Val gives for "-0"
        first[0] = '0';
        return {first, 1};
    }
    // to_chars is locale-independent and gives the shortest text that reads back exactly. Its
    // free choice would write 100000 as "1e+05", so plain digits are asked for where they stay short.
    const double magnitude = std::fabs(value);
    const auto [end, ec] = magnitude >= 1e-6 && magnitude < 1e21
                             ? std::to_chars(first, last, value, std::chars_format::fixed)
                             : std::to_chars(first, last, value);
    if (ec != std::errc()) { // cannot happen with 32 characters; never write a cut number
        first[0] = '0';
        return {first, 1};
    }
    return {first, size_t(end - first)};
}
