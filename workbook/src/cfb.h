// Compound file (OLE2 / CFB) reader and writer.
#pragma once

#include "workbook/workbook.h"

#include <array>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace workbook::cfb {

enum EntryType : uint8_t {
    Unused = 0,
    Storage = 1,
    Stream = 2,
    Root = 5
};

struct Entry {
    std::u16string name;
    EntryType type = Unused;
    std::array<unsigned char, 16> clsid{};
    uint32_t stateBits = 0;
    std::array<unsigned char, 16> times{};
    std::string data;             // streams only
    std::vector<size_t> children; // storages and the root: indexes into File::entries
};

struct File {
    std::vector<Entry> entries; // entries[0] is the root storage

    // Index of a stream directly under the root, names compared ignoring (ASCII) case.
    std::optional<size_t> findStream(std::u16string_view name) const;
};

inline constexpr std::string_view kSignature{"\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8};

Result<File> read(std::string_view bytes);
// Streams shorter than 4096 bytes go to the mini stream; the caller pads a stream it wants
// stored in ordinary sectors.
// `replaceIndex`, when given, names a stream whose data is taken from `replacement` instead.
std::string write(const File& file, size_t replaceIndex = size_t(-1), std::string_view replacement = {});
// The same file image handed over piece by piece, so large streams are not copied.
void write(const File& file, size_t replaceIndex, std::string_view replacement,
           const std::function<void(std::string_view)>& emit);

} // namespace workbook::cfb
