#include "bytes.h"

#include <cmath>
#include <cstdio>

namespace workbook::detail {

namespace {
void appendCodePoint(std::string& out, uint32_t cp)
{
    if (cp < 0x80) {
        out.push_back(char(cp));
    } else if (cp < 0x800) {
        out.push_back(char(0xC0 | (cp >> 6)));
        out.push_back(char(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(char(0xE0 | (cp >> 12)));
        out.push_back(char(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(char(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(char(0xF0 | (cp >> 18)));
        out.push_back(char(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(char(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(char(0x80 | (cp & 0x3F)));
    }
}
} // namespace

namespace {
// Reads the code point that starts at p[i] (i < n) and moves i past it; false for anything that
// is not well-formed UTF-8 (overlong forms, surrogates, beyond U+10FFFF, cut short).
bool nextCodePoint(const unsigned char* p, size_t n, size_t& i, uint32_t& cp)
{
    const unsigned c = p[i];
    if (c < 0x80) {
        cp = c;
        ++i;
        return true;
    }
    int len;
    uint32_t min;
    if ((c & 0xE0) == 0xC0) {
        len = 2;
        cp = c & 0x1F;
        min = 0x80;
    } else if ((c & 0xF0) == 0xE0) {
        len = 3;
        cp = c & 0x0F;
        min = 0x800;
    } else if ((c & 0xF8) == 0xF0) {
        len = 4;
        cp = c & 0x07;
        min = 0x10000;
    } else return false;
    if (i + size_t(len) > n) return false;
    for (int k = 1; k < len; ++k) {
        const unsigned cc = p[i + size_t(k)];
        if ((cc & 0xC0) != 0x80) return false;
        cp = (cp << 6) | (cc & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    i += size_t(len);
    return true;
}
} // namespace

std::optional<std::u16string> utf8ToUtf16(std::string_view in)
{
    std::u16string out;
    out.reserve(in.size());
    const auto* p = reinterpret_cast<const unsigned char*>(in.data());
    const size_t n = in.size();
    for (size_t i = 0; i < n;) {
        uint32_t cp;
        if (!nextCodePoint(p, n, i, cp))
            return std::nullopt;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(char16_t(0xD800 + (cp >> 10)));
            out.push_back(char16_t(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(char16_t(cp));
        }
    }
    return out;
}

std::optional<size_t> validUtf8Units(std::string_view in)
{
    const auto* p = reinterpret_cast<const unsigned char*>(in.data());
    const size_t n = in.size();
    size_t units = 0;
    for (size_t i = 0; i < n;) {
        uint32_t cp;
        if (!nextCodePoint(p, n, i, cp))
            return std::nullopt;
        units += cp >= 0x10000 ? 2 : 1;
    }
    return units;
}

void appendUtf16le(std::string& out, const unsigned char* p, size_t n, char16_t& pending)
{
    for (size_t i = 0; i < n; ++i) {
        char16_t u = char16_t(p[2 * i] | (p[2 * i + 1] << 8));
        if (pending) {
            if (u >= 0xDC00 && u <= 0xDFFF) {
                appendCodePoint(out, 0x10000 + ((uint32_t(pending) - 0xD800) << 10) + (u - 0xDC00));
                pending = 0;
                continue;
            }
            appendCodePoint(out, 0xFFFD);
            pending = 0;
        }
        if (u >= 0xD800 && u <= 0xDBFF) pending = u;
        else if (u >= 0xDC00 && u <= 0xDFFF) appendCodePoint(out, 0xFFFD);
        else appendCodePoint(out, u);
    }
}

void flushPending(std::string& out, char16_t& pending)
{
    if (pending) appendCodePoint(out, 0xFFFD);
    pending = 0;
}

void appendLatin1(std::string& out, const unsigned char* p, size_t n)
{
    for (size_t i = 0; i < n; ++i) appendCodePoint(out, p[i]);
}

std::string utf16ToUtf8(std::u16string_view in)
{
    std::string out;
    out.reserve(in.size());
    char16_t pending = 0;
    for (char16_t u : in) {
        unsigned char b[2] = {static_cast<unsigned char>(u & 0xFF), static_cast<unsigned char>(u >> 8)};
        appendUtf16le(out, b, 1, pending);
    }
    flushPending(out, pending);
    return out;
}

std::string formatNumber(double v)
{
    if (std::isnan(v)) return "#NUM!";
    if (std::isinf(v)) return v > 0 ? "#NUM!" : "#NUM!";
    if (v == 0) return "0";
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.15G", v);
    std::string s(buf);
    // "1E+20" style like Excel; printf already drops trailing zeros with %G.
    return s;
}

} // namespace workbook::detail
