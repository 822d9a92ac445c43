// Little-endian byte helpers and UTF-8/UTF-16 conversion shared by the readers and writers.
#pragma once

#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

namespace workbook::detail {

inline uint16_t rd16(const unsigned char* p) { return uint16_t(p[0] | (p[1] << 8)); }
inline uint32_t rd32(const unsigned char* p)
{
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
inline uint16_t rd16(std::string_view s, size_t at) { return rd16(reinterpret_cast<const unsigned char*>(s.data()) + at); }
inline uint32_t rd32(std::string_view s, size_t at) { return rd32(reinterpret_cast<const unsigned char*>(s.data()) + at); }
inline double rdDouble(std::string_view s, size_t at)
{
    uint64_t v = uint64_t(rd32(s, at)) | (uint64_t(rd32(s, at + 4)) << 32);
    double d;
    std::memcpy(&d, &v, 8);
    return d;
}

inline void put8(std::string& out, unsigned v) { out.push_back(char(v & 0xFF)); }
inline void put16(std::string& out, unsigned v)
{
    char b[2] = {char(v & 0xFF), char((v >> 8) & 0xFF)};
    out.append(b, 2);
}
inline void put32(std::string& out, uint32_t v)
{
    char b[4] = {char(v & 0xFF), char((v >> 8) & 0xFF), char((v >> 16) & 0xFF), char((v >> 24) & 0xFF)};
    out.append(b, 4);
}
inline void putDouble(std::string& out, double d)
{
    uint64_t v;
    std::memcpy(&v, &d, 8);
    put32(out, uint32_t(v));
    put32(out, uint32_t(v >> 32));
}
inline void set16(std::string& out, size_t at, unsigned v)
{
    out[at] = char(v & 0xFF);
    out[at + 1] = char((v >> 8) & 0xFF);
}
inline void set32(std::string& out, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i) out[at + i] = char((v >> (8 * i)) & 0xFF);
}

// Strict UTF-8 to UTF-16; nullopt for malformed input.
std::optional<std::u16string> utf8ToUtf16(std::string_view in);
// UTF-16 to UTF-8; an unpaired surrogate becomes U+FFFD.
std::string utf16ToUtf8(std::u16string_view in);
// Appends UTF-16 code units, given as 8-bit (Latin-1) or 16-bit little-endian bytes, as UTF-8.
void appendLatin1(std::string& out, const unsigned char* p, size_t n);
// Number of UTF-16 code units of `utf8`, or nullopt if it is not valid UTF-8.
std::optional<size_t> validUtf8Units(std::string_view utf8);

// Decodes a run of UTF-16LE bytes (n code units) into UTF-8, handling surrogate pairs; a pending
// high surrogate across calls is carried in `pending`.
void appendUtf16le(std::string& out, const unsigned char* p, size_t n, char16_t& pending);
void flushPending(std::string& out, char16_t& pending);

// Text form of a number as spreadsheet applications show it in a General cell: up to 15
// significant digits, no trailing zeros, exponent form for very large or small magnitudes.
std::string formatNumber(double v);

} // namespace workbook::detail
