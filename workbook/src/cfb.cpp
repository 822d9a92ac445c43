#include "cfb.h"

#include "bytes.h"

#include <algorithm>
#include <functional>

namespace workbook::cfb {

using detail::rd16;
using detail::rd32;

namespace {

constexpr uint32_t kFree = 0xFFFFFFFF;
constexpr uint32_t kEnd = 0xFFFFFFFE;
constexpr uint32_t kFatSect = 0xFFFFFFFD;
constexpr uint32_t kDifSect = 0xFFFFFFFC;
constexpr uint32_t kNoStream = 0xFFFFFFFF;
constexpr uint32_t kMiniCutoff = 4096;
constexpr size_t kMaxEntries = 100000;

Error corrupt(const std::string& what)
{
    return Error(ErrorKind::Damaged, "The file is not a valid Excel workbook (damaged compound file: " + what + ").");
}

char16_t upper(char16_t c)
{
    if (c >= u'a' && c <= u'z') return char16_t(c - 32);
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return char16_t(c - 32);
    return c;
}

bool equalNoCase(std::u16string_view a, std::u16string_view b)
{
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (upper(a[i]) != upper(b[i])) return false;
    return true;
}

// Directory order: shorter names first, then by upper-cased code units.
bool lessName(const std::u16string& a, const std::u16string& b)
{
    if (a.size() != b.size()) return a.size() < b.size();
    for (size_t i = 0; i < a.size(); ++i) {
        char16_t x = upper(a[i]), y = upper(b[i]);
        if (x != y) return x < y;
    }
    return false;
}

class Reader {
public:
    explicit Reader(std::string_view bytes) : m_bytes(bytes) {}

    Result<File> run();

private:
    Error readHeader();
    Error buildFat();
    Error chain(uint32_t start, const std::vector<uint32_t>& table, size_t limit, std::vector<uint32_t>& out,
                const char* what) const;
    void copySector(uint32_t sector, std::string& out, size_t count) const;
    Error readStream(uint32_t start, uint64_t size, std::string& out);

    std::string_view m_bytes;
    uint32_t m_sectorSize = 512;
    uint32_t m_sectorCount = 0;
    uint32_t m_fatSectors = 0, m_firstDir = 0, m_firstMiniFat = 0, m_miniFatSectors = 0;
    uint32_t m_firstDifat = 0, m_difatSectors = 0;
    uint16_t m_major = 3;
    std::vector<uint32_t> m_fat, m_miniFat;
    std::string m_mini;
    size_t m_budget = 0; // bytes of stream data still allowed
};

Error Reader::readHeader()
{
    if (m_bytes.size() < 512) return corrupt("shorter than its header");
    if (m_bytes.substr(0, 8) != kSignature) return Error(ErrorKind::NotAWorkbook, "The file is not an Excel workbook (unknown signature).");
    m_major = rd16(m_bytes, 0x1A);
    if (rd16(m_bytes, 0x1C) != 0xFFFE) return corrupt("wrong byte order mark");
    uint16_t shift = rd16(m_bytes, 0x1E);
    if (!((m_major == 3 && shift == 9) || (m_major == 4 && shift == 12)))
        return corrupt("unsupported version or sector size");
    if (rd16(m_bytes, 0x20) != 6) return corrupt("unsupported mini sector size");
    m_sectorSize = 1u << shift;
    m_fatSectors = rd32(m_bytes, 0x2C);
    m_firstDir = rd32(m_bytes, 0x30);
    if (rd32(m_bytes, 0x38) != kMiniCutoff) return corrupt("unsupported mini stream cutoff");
    m_firstMiniFat = rd32(m_bytes, 0x3C);
    m_miniFatSectors = rd32(m_bytes, 0x40);
    m_firstDifat = rd32(m_bytes, 0x44);
    m_difatSectors = rd32(m_bytes, 0x48);
    if (m_bytes.size() <= m_sectorSize) return corrupt("no sectors");
    uint64_t count = (uint64_t(m_bytes.size()) - m_sectorSize + m_sectorSize - 1) / m_sectorSize;
    if (count > 0xFFFFFFF0u) return corrupt("too large");
    m_sectorCount = uint32_t(count);
    m_budget = 2 * m_bytes.size() + 65536;
    return {};
}

void Reader::copySector(uint32_t sector, std::string& out, size_t count) const
{
    size_t pos = size_t(sector + 1) * m_sectorSize;
    size_t avail = pos < m_bytes.size() ? std::min<size_t>(count, m_bytes.size() - pos) : 0;
    out.append(m_bytes.data() + pos, avail);
    out.append(count - avail, '\0'); // a short last sector reads as zeros
}

Error Reader::chain(uint32_t start, const std::vector<uint32_t>& table, size_t limit, std::vector<uint32_t>& out,
                    const char* what) const
{
    out.clear();
    std::vector<bool> seen(table.size(), false);
    uint32_t s = start;
    while (s != kEnd) {
        if (s >= table.size() || s >= limit)
            return corrupt(std::string(what) + " refers to sector " + std::to_string(s) + " outside the file");
        if (seen[s]) return corrupt(std::string(what) + " chain loops");
        seen[s] = true;
        out.push_back(s);
        s = table[s];
    }
    return {};
}

Error Reader::buildFat()
{
    // Locate the FAT sectors: 109 in the header, the rest in the DIFAT chain.
    if (m_fatSectors > m_sectorCount) return corrupt("more FAT sectors than the file holds");
    std::vector<uint32_t> fatSectors;
    fatSectors.reserve(m_fatSectors);
    for (uint32_t i = 0; i < 109 && fatSectors.size() < m_fatSectors; ++i) fatSectors.push_back(rd32(m_bytes, 0x4C + 4 * i));
    uint32_t perDifat = m_sectorSize / 4 - 1;
    std::vector<bool> seen(m_sectorCount, false);
    uint32_t d = m_firstDifat;
    uint32_t visited = 0;
    while (fatSectors.size() < m_fatSectors) {
        if (d >= m_sectorCount) return corrupt("DIFAT refers to a sector outside the file");
        if (seen[d] || visited++ > m_difatSectors + 1) return corrupt("DIFAT chain loops");
        seen[d] = true;
        std::string sec;
        copySector(d, sec, m_sectorSize);
        for (uint32_t i = 0; i < perDifat && fatSectors.size() < m_fatSectors; ++i) fatSectors.push_back(rd32(sec, 4 * i));
        d = rd32(sec, 4 * perDifat);
    }
    m_fat.reserve(size_t(m_fatSectors) * (m_sectorSize / 4));
    std::vector<bool> fatSeen(m_sectorCount, false);
    for (uint32_t fs : fatSectors) {
        if (fs >= m_sectorCount) return corrupt("FAT sector " + std::to_string(fs) + " outside the file");
        if (fatSeen[fs]) return corrupt("FAT sector listed twice");
        fatSeen[fs] = true;
        std::string sec;
        copySector(fs, sec, m_sectorSize);
        for (uint32_t i = 0; i < m_sectorSize / 4; ++i) m_fat.push_back(rd32(sec, 4 * i));
    }
    return {};
}

Error Reader::readStream(uint32_t start, uint64_t size, std::string& out)
{
    out.clear();
    if (size == 0) return {};
    if (size > m_budget) return corrupt("a stream is larger than the file allows");
    std::vector<uint32_t> sectors;
    if (size < kMiniCutoff) {
        if (Error e = chain(start, m_miniFat, m_mini.size() / 64, sectors, "the mini FAT")) return e;
        if (uint64_t(sectors.size()) * 64 < size) return corrupt("a stream is truncated");
        out.reserve(size_t(size));
        for (uint32_t s : sectors) {
            size_t take = std::min<size_t>(64, size_t(size) - out.size());
            out.append(m_mini, size_t(s) * 64, take);
            if (out.size() == size) break;
        }
    } else {
        if (Error e = chain(start, m_fat, m_sectorCount, sectors, "the FAT")) return e;
        if (uint64_t(sectors.size()) * m_sectorSize < size) return corrupt("a stream is truncated");
        out.reserve(size_t(size));
        for (uint32_t s : sectors) {
            copySector(s, out, std::min<size_t>(m_sectorSize, size_t(size) - out.size()));
            if (out.size() == size) break;
        }
    }
    m_budget -= out.size();
    return {};
}

Result<File> Reader::run()
{
    if (Error e = readHeader()) return e;
    if (Error e = buildFat()) return e;

    // Directory.
    std::vector<uint32_t> dirSectors;
    if (Error e = chain(m_firstDir, m_fat, m_sectorCount, dirSectors, "the directory")) return e;
    std::string dir;
    for (uint32_t s : dirSectors) copySector(s, dir, m_sectorSize);
    size_t entryCount = std::min(dir.size() / 128, kMaxEntries);
    if (entryCount == 0) return corrupt("empty directory");

    struct Raw {
        Entry e;
        uint32_t left, right, child, start;
        uint64_t size;
    };
    std::vector<Raw> raws(entryCount);
    for (size_t i = 0; i < entryCount; ++i) {
        std::string_view d = std::string_view(dir).substr(i * 128, 128);
        Raw& r = raws[i];
        uint16_t nameBytes = rd16(d, 64);
        uint8_t type = uint8_t(d[66]);
        r.e.type = (type == 1 || type == 2 || type == 5) ? EntryType(type) : Unused;
        if (nameBytes > 64 || nameBytes % 2) nameBytes = 64;
        for (size_t k = 0; k + 1 < size_t(nameBytes) / 2 + 1 && k < 32; ++k) {
            char16_t c = char16_t(rd16(d, 2 * k));
            if (c == 0) break;
            if (2 * (k + 1) > nameBytes) break;
            r.e.name.push_back(c);
        }
        r.left = rd32(d, 68);
        r.right = rd32(d, 72);
        r.child = rd32(d, 76);
        std::copy_n(reinterpret_cast<const unsigned char*>(d.data()) + 80, 16, r.e.clsid.begin());
        r.e.stateBits = rd32(d, 96);
        std::copy_n(reinterpret_cast<const unsigned char*>(d.data()) + 100, 16, r.e.times.begin());
        r.start = rd32(d, 116);
        r.size = rd32(d, 120);
        if (m_major == 4) r.size |= uint64_t(rd32(d, 124)) << 32;
    }
    if (raws[0].e.type != Root) return corrupt("no root entry");

    // Mini stream (held by the root entry) and mini FAT.
    if (raws[0].size > 0) {
        std::vector<uint32_t> sectors;
        if (Error e = chain(raws[0].start, m_fat, m_sectorCount, sectors, "the mini stream")) return e;
        uint64_t have = uint64_t(sectors.size()) * m_sectorSize;
        uint64_t want = std::min<uint64_t>(raws[0].size, have);
        for (uint32_t s : sectors) {
            if (m_mini.size() >= want) break;
            copySector(s, m_mini, std::min<size_t>(m_sectorSize, size_t(want) - m_mini.size()));
        }
        std::vector<uint32_t> mf;
        if (m_miniFatSectors > 0 && m_firstMiniFat != kEnd) {
            if (Error e = chain(m_firstMiniFat, m_fat, m_sectorCount, mf, "the mini FAT")) return e;
        }
        std::string mfBytes;
        for (uint32_t s : mf) copySector(s, mfBytes, m_sectorSize);
        m_miniFat.resize(mfBytes.size() / 4);
        for (size_t i = 0; i < m_miniFat.size(); ++i) m_miniFat[i] = rd32(mfBytes, 4 * i);
    }

    // Walk the tree from the root, catching loops; order children as the directory sorts them.
    File file;
    std::vector<long> newIndex(entryCount, -1);
    std::vector<bool> visited(entryCount, false);
    file.entries.push_back(std::move(raws[0].e));
    newIndex[0] = 0;
    visited[0] = true;
    struct Work {
        size_t parentNew;
        uint32_t childRoot;
    };
    std::vector<Work> work{{0, raws[0].child}};
    while (!work.empty()) {
        Work w = work.back();
        work.pop_back();
        std::vector<uint32_t> stack, members;
        if (w.childRoot != kNoStream) stack.push_back(w.childRoot);
        while (!stack.empty()) {
            uint32_t id = stack.back();
            stack.pop_back();
            if (id == kNoStream) continue;
            if (id >= entryCount) return corrupt("directory entry refers outside the directory");
            if (visited[id]) return corrupt("directory tree loops");
            visited[id] = true;
            members.push_back(id);
            stack.push_back(raws[id].left);
            stack.push_back(raws[id].right);
        }
        for (uint32_t id : members) {
            Raw& r = raws[id];
            if (r.e.type != Stream && r.e.type != Storage) continue;
            size_t idx = file.entries.size();
            if (r.e.type == Stream) {
                if (Error e = readStream(r.start, r.size, r.e.data)) return e;
            }
            file.entries.push_back(std::move(r.e));
            file.entries[w.parentNew].children.push_back(idx);
            if (file.entries[idx].type == Storage) work.push_back({idx, r.child});
        }
        auto& ch = file.entries[w.parentNew].children;
        std::sort(ch.begin(), ch.end(),
                  [&](size_t a, size_t b) { return lessName(file.entries[a].name, file.entries[b].name); });
    }
    return file;
}

// Balanced binary tree over sorted siblings; all nodes black.
uint32_t buildTree(const std::vector<uint32_t>& ids, size_t lo, size_t hi, std::vector<uint32_t>& left,
                   std::vector<uint32_t>& right)
{
    if (lo >= hi) return kNoStream;
    size_t mid = (lo + hi) / 2;
    uint32_t id = ids[mid];
    left[id] = buildTree(ids, lo, mid, left, right);
    right[id] = buildTree(ids, mid + 1, hi, left, right);
    return id;
}

} // namespace

std::optional<size_t> File::findStream(std::u16string_view name) const
{
    if (entries.empty()) return std::nullopt;
    for (size_t i : entries[0].children)
        if (entries[i].type == Stream && equalNoCase(entries[i].name, name)) return i;
    return std::nullopt;
}

Result<File> read(std::string_view bytes)
{
    Reader r(bytes);
    return r.run();
}

std::string write(const File& file, size_t replaceIndex, std::string_view replacement)
{
    std::string all;
    write(file, replaceIndex, replacement, [&](std::string_view piece) { all.append(piece); });
    return all;
}

void write(const File& file, size_t replaceIndex, std::string_view replacement,
           const std::function<void(std::string_view)>& emit)
{
    constexpr uint32_t S = 512;
    const size_t n = file.entries.size();
    auto dataOf = [&](size_t i) -> std::string_view {
        return i == replaceIndex ? replacement : std::string_view(file.entries[i].data);
    };

    // Mini stream contents and mini FAT.
    std::string mini;
    std::vector<uint32_t> miniFat;
    std::vector<uint32_t> start(n, kEnd);
    for (size_t i = 1; i < n; ++i) {
        const Entry& e = file.entries[i];
        if (e.type != Stream || dataOf(i).empty() || dataOf(i).size() >= kMiniCutoff) continue;
        uint32_t first = uint32_t(mini.size() / 64);
        uint32_t count = uint32_t((dataOf(i).size() + 63) / 64);
        start[i] = first;
        for (uint32_t k = 0; k < count; ++k) miniFat.push_back(k + 1 < count ? first + k + 1 : kEnd);
        mini += dataOf(i);
        mini.resize(size_t(first + count) * 64, '\0');
    }

    auto sectorsFor = [](size_t bytes) { return uint32_t((bytes + S - 1) / S); };
    uint32_t dirSectors = sectorsFor(n * 128);
    uint32_t miniFatSectors = sectorsFor(miniFat.size() * 4);
    uint32_t miniSectors = sectorsFor(mini.size());
    uint32_t dataSectors = 0;
    for (size_t i = 1; i < n; ++i) {
        const Entry& e = file.entries[i];
        if (e.type == Stream && dataOf(i).size() >= kMiniCutoff) dataSectors += sectorsFor(dataOf(i).size());
    }
    uint32_t content = dirSectors + miniFatSectors + miniSectors + dataSectors;
    uint32_t fatSectors = 1, difatSectors = 0;
    for (;;) {
        uint32_t total = content + fatSectors + difatSectors;
        uint32_t needFat = (total + S / 4 - 1) / (S / 4);
        uint32_t needDifat = needFat > 109 ? (needFat - 109 + (S / 4 - 2)) / (S / 4 - 1) : 0;
        if (needFat <= fatSectors && needDifat <= difatSectors) break;
        fatSectors = std::max(fatSectors, needFat);
        difatSectors = std::max(difatSectors, needDifat);
    }

    // Sector layout: FAT, DIFAT, directory, mini FAT, mini stream, streams.
    uint32_t total = content + fatSectors + difatSectors;
    std::vector<uint32_t> fat(size_t(fatSectors) * (S / 4), kFree);
    uint32_t next = 0;
    for (uint32_t i = 0; i < fatSectors; ++i) fat[next++] = kFatSect;
    uint32_t firstDifat = difatSectors ? next : kEnd;
    for (uint32_t i = 0; i < difatSectors; ++i) fat[next++] = kDifSect;
    auto allocChain = [&](uint32_t count) {
        if (count == 0) return kEnd;
        uint32_t first = next;
        for (uint32_t k = 0; k < count; ++k, ++next) fat[next] = (k + 1 < count) ? next + 1 : kEnd;
        return first;
    };
    uint32_t firstDir = allocChain(dirSectors);
    uint32_t firstMiniFat = allocChain(miniFatSectors);
    uint32_t miniStart = allocChain(miniSectors);
    for (size_t i = 1; i < n; ++i) {
        const Entry& e = file.entries[i];
        if (e.type == Stream && dataOf(i).size() >= kMiniCutoff) start[i] = allocChain(sectorsFor(dataOf(i).size()));
    }
    (void)total;

    // Directory tree.
    std::vector<uint32_t> left(n, kNoStream), right(n, kNoStream), child(n, kNoStream);
    for (size_t i = 0; i < n; ++i) {
        const Entry& e = file.entries[i];
        if (e.children.empty()) continue;
        std::vector<uint32_t> ids(e.children.begin(), e.children.end());
        std::sort(ids.begin(), ids.end(),
                  [&](uint32_t a, uint32_t b) { return lessName(file.entries[a].name, file.entries[b].name); });
        child[i] = buildTree(ids, 0, ids.size(), left, right);
    }

    std::string out;
    out.reserve(size_t(next + 1) * S);
    // Header.
    out.append(kSignature);
    out.append(16, '\0');
    detail::put16(out, 0x3E);
    detail::put16(out, 3);
    detail::put16(out, 0xFFFE);
    detail::put16(out, 9);
    detail::put16(out, 6);
    out.append(6, '\0');
    detail::put32(out, 0); // directory sectors (0 in version 3)
    detail::put32(out, fatSectors);
    detail::put32(out, firstDir);
    detail::put32(out, 0);
    detail::put32(out, kMiniCutoff);
    detail::put32(out, miniFatSectors ? firstMiniFat : kEnd);
    detail::put32(out, miniFatSectors);
    detail::put32(out, firstDifat);
    detail::put32(out, difatSectors);
    for (uint32_t i = 0; i < 109; ++i) detail::put32(out, i < fatSectors ? i : kFree);
    // FAT.
    for (uint32_t v : fat) detail::put32(out, v);
    // DIFAT.
    uint32_t fatIdx = 109;
    for (uint32_t d = 0; d < difatSectors; ++d) {
        for (uint32_t k = 0; k < S / 4 - 1; ++k) detail::put32(out, fatIdx < fatSectors ? fatIdx++ : kFree);
        detail::put32(out, d + 1 < difatSectors ? fatSectors + d + 1 : kEnd);
    }
    // Directory entries.
    size_t dirStart = out.size();
    for (size_t i = 0; i < n; ++i) {
        const Entry& e = file.entries[i];
        size_t base = out.size();
        size_t len = std::min<size_t>(e.name.size(), 31);
        for (size_t k = 0; k < len; ++k) detail::put16(out, e.name[k]);
        out.append(64 - 2 * len, '\0');
        detail::put16(out, uint16_t(2 * (len + 1)));
        detail::put8(out, i == 0 ? Root : e.type);
        detail::put8(out, 1); // black
        detail::put32(out, left[i]);
        detail::put32(out, right[i]);
        detail::put32(out, child[i]);
        out.append(reinterpret_cast<const char*>(e.clsid.data()), 16);
        detail::put32(out, e.stateBits);
        out.append(reinterpret_cast<const char*>(e.times.data()), 16);
        if (i == 0) {
            detail::put32(out, mini.empty() ? kEnd : miniStart);
            detail::put32(out, uint32_t(mini.size()));
        } else if (e.type == Stream) {
            detail::put32(out, dataOf(i).empty() ? kEnd : start[i]);
            detail::put32(out, uint32_t(dataOf(i).size()));
        } else {
            detail::put32(out, 0);
            detail::put32(out, 0);
        }
        detail::put32(out, 0);
        (void)base;
    }
    out.resize(dirStart + size_t(dirSectors) * S, '\0');
    // Unused directory slots are empty entries with no siblings.
    for (size_t off = dirStart + n * 128; off + 128 <= out.size(); off += 128) {
        detail::set32(out, off + 68, kNoStream);
        detail::set32(out, off + 72, kNoStream);
        detail::set32(out, off + 76, kNoStream);
    }
    // Mini FAT, mini stream, streams.
    size_t at = out.size();
    for (uint32_t v : miniFat) detail::put32(out, v);
    out.resize(at + size_t(miniFatSectors) * S, '\xFF');
    at = out.size();
    out += mini;
    out.resize(at + size_t(miniSectors) * S, '\0');
    emit(out);
    static const char zeros[S] = {};
    for (size_t i = 1; i < n; ++i) {
        const Entry& e = file.entries[i];
        if (e.type != Stream || dataOf(i).size() < kMiniCutoff) continue;
        emit(dataOf(i));
        size_t pad = size_t(sectorsFor(dataOf(i).size())) * S - dataOf(i).size();
        if (pad) emit(std::string_view(zeros, pad));
    }
}

} // namespace workbook::cfb
