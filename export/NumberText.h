#pragma once

#include <string_view>

// A number as text with "." as the decimal point whatever the locale, in the shortest form that
// reads back as the same double: plain digits from 1e-6 to below 1e21 ("2845.6", "100000",
// "-0.0005"), exponent form outside that range ("1e+21"). Both zeros give "0"; infinities and
// NaN give "inf", "-inf" and "nan". The text lives in `buffer`, which must outlast the result.
struct NumberBuffer {
    char chars[32];
};
std::string_view formatNumber(double value, NumberBuffer& buffer);
