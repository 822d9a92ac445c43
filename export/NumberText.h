#pragma once

#include <QString>

#include <optional>
#include <string_view>

// The lenient reading of a number in a text, as the instrument's readings and the editor's
// cells are read: spaces, tabs and line feeds anywhere are ignored; the longest leading number
// counts (sign, digits, "." as the decimal point whatever the locale, an exponent after E or D
// in either case); "&H" and "&O" introduce a hexadecimal or octal integer; a text that does not
// begin with a number, or whose number is beyond a double, gives 0. "12 34" -> 1234,
// "-5.2x" -> -5.2, "-" -> 0.
double Val(const QString& text);

// The number Val reads, or nothing when the text does not begin with one (no digit where a
// number would start), or the number is out of range: "12度" -> 12, "-" and "" and "&H" -> nothing.
std::optional<double> leadingNumber(const QString& text);

// A number as text with "." as the decimal point whatever the locale, in the shortest form that
// reads back as the same double: plain digits from 1e-6 to below 1e21 ("2845.6", "100000",
// "-0.0005"), exponent form outside that range ("1e+21"). Both zeros give "0"; infinities and
// NaN give "inf", "-inf" and "nan". The text lives in `buffer`, which must outlast the result.
struct NumberBuffer {
    char chars[32];
};
std::string_view formatNumber(double value, NumberBuffer& buffer);
