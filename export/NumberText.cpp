#include "export/NumberText.h"

#include <charconv>
#include <cmath>
#include <string>

namespace {

int digitValue(char c, int base)
{
    int v = -1;
    if (c >= '0' && c <= '9')
        v = c - '0';
    else if (c >= 'a' && c <= 'f')
        v = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F')
        v = c - 'A' + 10;
    return v >= 0 && v < base ? v : -1;
}

} // namespace

double Val(const QString& text) { return leadingNumber(text).value_or(0); }

std::optional<double> leadingNumber(const QString& text)
{
    // Only ASCII can take part in a number; everything else ends it.
    std::string s;
    s.reserve(size_t(text.size()));
    for (QChar ch : text) {
        const char16_t u = ch.unicode();
        if (u == u' ' || u == u'\t' || u == u'\n')
            continue;
        s.push_back(u < 0x80 ? char(u) : '\x01');
    }

    size_t i = 0;
    if (s.size() >= 2 && s[0] == '&' && (s[1] == 'H' || s[1] == 'h' || s[1] == 'O' || s[1] == 'o')) {
        const int base = (s[1] == 'H' || s[1] == 'h') ? 16 : 8;
        double value = 0;
        for (i = 2; i < s.size(); ++i) {
            const int d = digitValue(s[i], base);
            if (d < 0)
                break;
            value = value * base + d;
        }
        if (i == 2 || !std::isfinite(value))
            return std::nullopt; // no digit after the prefix, or beyond a double
        return value;
    }

    // sign, digits [. digits] [(E|D) [sign] digits]
    std::string number;
    if (i < s.size() && (s[i] == '+' || s[i] == '-'))
        number.push_back(s[i++]);
    bool digits = false;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
        number.push_back(s[i++]);
        digits = true;
    }
    if (i < s.size() && s[i] == '.') {
        number.push_back(s[i++]);
        while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
            number.push_back(s[i++]);
            digits = true;
        }
    }
    if (!digits)
        return std::nullopt;
    if (i < s.size() && (s[i] == 'E' || s[i] == 'e' || s[i] == 'D' || s[i] == 'd')) {
        size_t j = i + 1;
        std::string exponent = "e";
        if (j < s.size() && (s[j] == '+' || s[j] == '-'))
            exponent.push_back(s[j++]);
        bool expDigits = false;
        while (j < s.size() && s[j] >= '0' && s[j] <= '9') {
            exponent.push_back(s[j++]);
            expDigits = true;
        }
        if (expDigits)
            number += exponent;
    }
    // from_chars reads "." whatever the locale; strtod and std::stod would follow LC_NUMERIC,
    // which a Qt application sets from the environment (a German desktop reads "123.4" as 123).
    if (!number.empty() && number.front() == '+')
        number.erase(0, 1); // from_chars takes no plus sign
    double v = 0;
    const auto [end, ec] = std::from_chars(number.data(), number.data() + number.size(), v);
    if (ec != std::errc() || end != number.data() + number.size() || !std::isfinite(v))
        return std::nullopt; // out of range
    return v;
}

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
