// BIFF8 workbook stream reader.
#include "bytes.h"
#include "model.h"

#include <algorithm>

namespace workbook::detail {

namespace {

constexpr uint16_t kBof = 0x0809, kEof = 0x000A, kContinue = 0x003C;

Error damaged(const std::string& what)
{
    return Error(ErrorKind::Damaged, "The workbook is damaged (" + what + ").");
}

struct Rec {
    uint16_t type = 0;
    std::string_view data;
    std::string_view whole; // header included
};

// Reads the record at `pos`; false at the end of the stream or on a record that runs past it.
bool recordAt(std::string_view s, size_t pos, Rec& r, bool& truncated)
{
    truncated = false;
    if (pos + 4 > s.size()) {
        truncated = pos < s.size();
        return false;
    }
    uint16_t len = rd16(s, pos + 2);
    if (pos + 4 + len > s.size()) {
        truncated = true;
        return false;
    }
    r.type = rd16(s, pos);
    r.data = s.substr(pos + 4, len);
    r.whole = s.substr(pos, 4 + size_t(len));
    return true;
}

// XLUnicodeString (16-bit count) or ShortXLUnicodeString (8-bit count) inside one record.
bool readUnicode(std::string_view d, size_t& at, bool shortCount, std::string& out)
{
    size_t cch;
    if (shortCount) {
        if (at + 2 > d.size()) return false;
        cch = uint8_t(d[at]);
        at += 1;
    } else {
        if (at + 3 > d.size()) return false;
        cch = rd16(d, at);
        at += 2;
    }
    uint8_t flags = uint8_t(d[at++]);
    size_t w = (flags & 1) ? 2 : 1;
    size_t skipRuns = 0, skipExt = 0;
    if (flags & 0x08) { // rich (only in some writers' LABEL records)
        if (at + 2 > d.size()) return false;
        skipRuns = size_t(rd16(d, at)) * 4;
        at += 2;
    }
    if (flags & 0x04) {
        if (at + 4 > d.size()) return false;
        skipExt = rd32(d, at);
        at += 4;
    }
    if (at + cch * w > d.size()) return false;
    const auto* p = reinterpret_cast<const unsigned char*>(d.data()) + at;
    if (w == 1) {
        appendLatin1(out, p, cch);
    } else {
        char16_t pending = 0;
        appendUtf16le(out, p, cch, pending);
        flushPending(out, pending);
    }
    at += cch * w;
    at = std::min(d.size(), at + skipRuns + skipExt);
    return true;
}

// Shared string table reader over the SST record and its CONTINUE records.
class SstReader {
public:
    explicit SstReader(std::vector<std::string_view> chunks) : m_chunks(std::move(chunks)) {}

    Error read(WorkbookData& wb, std::vector<uint32_t>& sstToPool)
    {
        std::string hdr;
        if (!bytes(8, hdr)) return damaged("shared string table header is short");
        uint32_t unique = rd32(hdr, 4);
        size_t total = 0;
        for (auto c : m_chunks) total += c.size();
        sstToPool.reserve(std::min<size_t>(unique, total / 3 + 1));
        for (uint32_t i = 0; i < unique; ++i) {
            if (m_chunk >= m_chunks.size() || (m_chunk + 1 == m_chunks.size() && m_pos >= m_chunks[m_chunk].size())) {
                break; // some writers overstate the count; the strings present are all there is
            }
            std::string text;
            RichTail tail;
            std::string h;
            if (!bytes(3, h)) return damaged("shared string " + std::to_string(i) + " is cut off");
            size_t cch = rd16(h, 0);
            uint8_t flags = uint8_t(h[2]);
            bool high = flags & 1;
            size_t runs = 0, ext = 0;
            if (flags & 0x08) {
                std::string b;
                if (!bytes(2, b)) return damaged("shared string is cut off");
                runs = rd16(b, 0);
            }
            if (flags & 0x04) {
                std::string b;
                if (!bytes(4, b)) return damaged("shared string is cut off");
                ext = rd32(b, 0);
            }
            char16_t pending = 0;
            size_t left = cch;
            bool first = true;
            while (left > 0) {
                if (m_chunk >= m_chunks.size()) return damaged("shared string table is cut off");
                std::string_view c = m_chunks[m_chunk];
                if (m_pos >= c.size()) {
                    // Characters continue in the next record, which starts with its own width flag.
                    ++m_chunk;
                    m_pos = 0;
                    if (m_chunk >= m_chunks.size() || m_chunks[m_chunk].empty())
                        return damaged("shared string table is cut off");
                    high = m_chunks[m_chunk][0] & 1;
                    m_pos = 1;
                    continue;
                }
                (void)first;
                first = false;
                size_t w = high ? 2 : 1;
                size_t n = std::min(left, (c.size() - m_pos) / w);
                if (n == 0) return damaged("a shared string splits a character");
                const auto* p = reinterpret_cast<const unsigned char*>(c.data()) + m_pos;
                if (high) appendUtf16le(text, p, n, pending);
                else appendLatin1(text, p, n);
                m_pos += n * w;
                left -= n;
            }
            flushPending(text, pending);
            if (runs && !bytes(runs * 4, tail.runs)) return damaged("shared string formatting is cut off");
            if (ext && !bytes(ext, tail.ext)) return damaged("shared string phonetic data is cut off");
            sstToPool.push_back(wb.pool.addRich(text, std::move(tail)));
        }
        return {};
    }

private:
    // Raw bytes that may run on into the next record (no width flag).
    bool bytes(size_t n, std::string& out)
    {
        while (n > 0) {
            if (m_chunk >= m_chunks.size()) return false;
            std::string_view c = m_chunks[m_chunk];
            if (m_pos >= c.size()) {
                ++m_chunk;
                m_pos = 0;
                continue;
            }
            size_t take = std::min(n, c.size() - m_pos);
            out.append(c.data() + m_pos, take);
            m_pos += take;
            n -= take;
        }
        return true;
    }

    std::vector<std::string_view> m_chunks;
    size_t m_chunk = 0, m_pos = 0;
};

double decodeRk(uint32_t rk)
{
    double v;
    if (rk & 2) {
        v = double(int32_t(rk) >> 2);
    } else {
        uint64_t bits = uint64_t(rk & 0xFFFFFFFCu) << 32;
        std::memcpy(&v, &bits, 8);
    }
    if (rk & 1) v /= 100;
    return v;
}

bool isCellTableRecord(uint16_t t)
{
    switch (t) {
    case 0x0208: // ROW
    case 0x00FD: // LABELSST
    case 0x0204: // LABEL
    case 0x00D6: // RSTRING
    case 0x0203: // NUMBER
    case 0x027E: // RK
    case 0x00BD: // MULRK
    case 0x0201: // BLANK
    case 0x00BE: // MULBLANK
    case 0x0205: // BOOLERR
    case 0x0006: // FORMULA
    case 0x00D7: // DBCELL
        return true;
    default:
        return false;
    }
}

class SheetReader {
public:
    SheetReader(WorkbookData& wb, Sheet::Impl& sh, const std::vector<uint32_t>& sstToPool)
        : m_wb(wb), m_sh(sh), m_sst(sstToPool) {}

    Error read(std::string_view s, size_t pos, size_t& consumed)
    {
        Rec r;
        bool trunc;
        if (!recordAt(s, pos, r, trunc) || r.type != kBof)
            return damaged("worksheet \"" + m_sh.name + "\" does not start where the sheet list says");
        size_t start = pos;
        int depth = 0;
        bool inCells = false;
        while (true) {
            if (!recordAt(s, pos, r, trunc)) return damaged("worksheet \"" + m_sh.name + "\" is cut off");
            pos += r.whole.size();
            if (r.type == kBof) ++depth;
            if (depth == 1 && r.type == kEof) break;
            if (depth > 1) { // embedded chart: kept as it is
                (inCells ? m_sh.suffix : m_sh.prefix).emplace_back(r.whole);
                if (r.type == kEof) --depth;
                continue;
            }
            if (r.type == 0x020B || r.type == 0x00D7) continue; // INDEX, DBCELL: rebuilt or not needed
            if (r.type == 0x002F) return Error(ErrorKind::Encrypted, "The workbook is password-protected and cannot be opened.");
            if (isCellTableRecord(r.type)) {
                inCells = true;
                if (r.type == 0x0006) {
                    // The formula keeps the records that belong to it (cached string, shared formula...).
                    std::string block(r.whole);
                    Rec n;
                    while (recordAt(s, pos, n, trunc) &&
                           (n.type == 0x0207 || n.type == 0x04BC || n.type == 0x0221 || n.type == 0x0236 ||
                            n.type == kContinue)) {
                        block.append(n.whole);
                        if (n.type == 0x0207) readFormulaString(n.data);
                        pos += n.whole.size();
                    }
                    if (Error e = formula(r.data, std::move(block))) return e;
                } else if (Error e = cell(r)) {
                    return e;
                }
                continue;
            }
            if (r.type == 0x0200 && inCells) continue; // stray DIMENSIONS
            (inCells ? m_sh.suffix : m_sh.prefix).emplace_back(r.whole);
        }
        consumed = pos - start;
        return {};
    }

private:
    Error bad(const char* what) { return damaged(std::string(what) + " in worksheet \"" + m_sh.name + "\""); }

    Error place(std::string_view d, Cell*& c)
    {
        uint16_t row = rd16(d, 0), col = rd16(d, 2);
        if (col >= kXlsMaxColumns) return bad("a cell beyond column 256");
        c = &m_sh.cellAt(row, col);
        *c = Cell{};
        c->col = col;
        c->xf = rd16(d, 4);
        return {};
    }

    void readFormulaString(std::string_view d)
    {
        size_t at = 0;
        m_pendingString.clear();
        readUnicode(d, at, false, m_pendingString);
    }

    Error formula(std::string_view d, std::string block)
    {
        if (d.size() < 20) return bad("a short formula record");
        Cell* c = nullptr;
        if (Error e = place(d, c)) return e;
        c->formula = true;
        c->raw = uint32_t(m_sh.raws.size());
        m_sh.raws.push_back(std::move(block));
        m_sh.formulaCache.resize(m_sh.raws.size());
        FormulaCache& cache = m_sh.formulaCache.back();
        if (rd16(d, 12) == 0xFFFF) {
            switch (uint8_t(d[6])) {
            case 0:
                c->kind = Kind::Text;
                cache.idx = m_wb.intern(m_pendingString);
                break;
            case 1:
                c->kind = Kind::Boolean;
                c->small = uint8_t(d[8]);
                break;
            case 2:
                c->kind = Kind::ErrorCode;
                c->small = uint8_t(d[8]);
                break;
            default: c->kind = Kind::Blank; break;
            }
        } else {
            c->kind = Kind::Number;
            cache.num = rdDouble(d, 6);
        }
        m_pendingString.clear();
        return {};
    }

    Error cell(const Rec& r)
    {
        std::string_view d = r.data;
        Cell* c = nullptr;
        switch (r.type) {
        case 0x0208: { // ROW
            if (d.size() < 16) return bad("a short row record");
            uint16_t row = rd16(d, 0);
            if (m_sh.rows.size() <= row) m_sh.rows.resize(size_t(row) + 1);
            m_sh.rows[row].rowRecord = int32_t(m_sh.raws.size());
            m_sh.raws.emplace_back(r.whole);
            return {};
        }
        case 0x00FD: {
            if (d.size() < 10) return bad("a short text cell");
            if (Error e = place(d, c)) return e;
            uint32_t i = rd32(d, 6);
            if (i >= m_sst.size()) return bad("a text cell refers to a missing shared string");
            c->kind = Kind::Text;
            c->idx = m_sst[i];
            return {};
        }
        case 0x0204:
        case 0x00D6: {
            if (d.size() < 9) return bad("a short text cell");
            if (Error e = place(d, c)) return e;
            std::string text;
            size_t at = 6;
            if (!readUnicode(d, at, false, text)) return bad("a damaged text cell");
            c->kind = Kind::Text;
            c->idx = m_wb.intern(text);
            return {};
        }
        case 0x0203:
            if (d.size() < 14) return bad("a short number cell");
            if (Error e = place(d, c)) return e;
            c->kind = Kind::Number;
            c->num = rdDouble(d, 6);
            return {};
        case 0x027E:
            if (d.size() < 10) return bad("a short number cell");
            if (Error e = place(d, c)) return e;
            c->kind = Kind::Number;
            c->num = decodeRk(rd32(d, 6));
            return {};
        case 0x00BD: {
            if (d.size() < 12 || (d.size() - 6) % 6 != 0) return bad("a damaged number cell group");
            uint16_t row = rd16(d, 0), first = rd16(d, 2);
            size_t n = (d.size() - 6) / 6;
            if (first + n > kXlsMaxColumns) return bad("a cell beyond column 256");
            for (size_t k = 0; k < n; ++k) {
                Cell& x = m_sh.cellAt(row, int(first + k));
                x = Cell{};
                x.col = uint16_t(first + k);
                x.xf = rd16(d, 4 + 6 * k);
                x.kind = Kind::Number;
                x.num = decodeRk(rd32(d, 6 + 6 * k));
            }
            return {};
        }
        case 0x0201:
            if (d.size() < 6) return bad("a short blank cell");
            return place(d, c);
        case 0x00BE: {
            if (d.size() < 8 || d.size() % 2 != 0) return bad("a damaged blank cell group");
            uint16_t row = rd16(d, 0), first = rd16(d, 2);
            size_t n = (d.size() - 6) / 2;
            if (first + n > kXlsMaxColumns) return bad("a cell beyond column 256");
            for (size_t k = 0; k < n; ++k) {
                Cell& x = m_sh.cellAt(row, int(first + k));
                x = Cell{};
                x.col = uint16_t(first + k);
                x.xf = rd16(d, 4 + 2 * k);
            }
            return {};
        }
        case 0x0205:
            if (d.size() < 8) return bad("a short boolean cell");
            if (Error e = place(d, c)) return e;
            c->kind = d[7] ? Kind::ErrorCode : Kind::Boolean;
            c->small = uint8_t(d[6]);
            return {};
        default:
            return {};
        }
    }

    WorkbookData& m_wb;
    Sheet::Impl& m_sh;
    const std::vector<uint32_t>& m_sst;
    std::string m_pendingString;
};

} // namespace

Result<std::unique_ptr<WorkbookData>> readXls(std::string_view bytes)
{
    auto file = cfb::read(bytes);
    if (!file) return file.error();
    auto wb = std::make_unique<WorkbookData>();
    wb->format = Format::Xls;
    wb->container = std::move(file.value());
    auto entry = wb->container.findStream(u"Workbook");
    if (!entry) {
        if (wb->container.findStream(u"Book"))
            return Error(ErrorKind::Unsupported, "The workbook is in the Excel 5.0/95 format, which is not supported; save it as an "
                                                 "Excel 97-2003 workbook (.xls) or as .xlsx.");
        if (wb->container.findStream(u"EncryptedPackage"))
            return Error(ErrorKind::Encrypted, "The workbook is password-protected and cannot be opened.");
        return Error(ErrorKind::NotAWorkbook, "The file holds no workbook (no Workbook stream in the compound file).");
    }
    wb->workbookEntry = *entry;
    std::string_view s = wb->container.entries[*entry].data;

    Rec r;
    bool trunc;
    if (!recordAt(s, 0, r, trunc) || r.type != kBof || r.data.size() < 4)
        return damaged("the workbook stream does not begin with a BOF record");
    uint16_t vers = rd16(r.data, 0);
    if (vers != 0x0600) {
        if (vers == 0x0500)
            return Error(ErrorKind::Unsupported, "The workbook is in the Excel 5.0/95 format, which is not supported; save it as an "
                                                 "Excel 97-2003 workbook (.xls) or as .xlsx.");
        return Error(ErrorKind::Unsupported, "The workbook is in an unsupported Excel version (BIFF " + std::to_string(vers >> 8) + ").");
    }
    if (rd16(r.data, 2) != 0x0005) return damaged("the workbook stream does not begin with the workbook globals");

    struct Bound {
        uint32_t pos;
        uint8_t hsState, type;
        std::string name;
    };
    std::vector<Bound> bounds;
    std::vector<std::string_view> sstChunks;
    bool haveSst = false, haveBounds = false, endSeen = false;
    std::vector<bool> cellXf;
    size_t pos = 0;
    uint16_t prevType = 0;
    while (true) {
        if (!recordAt(s, pos, r, trunc)) break;
        pos += r.whole.size();
        uint16_t t = r.type;
        if (t == kContinue && prevType == 0x00FC) {
            sstChunks.push_back(r.data);
            continue;
        }
        prevType = t;
        switch (t) {
        case 0x002F:
            return Error(ErrorKind::Encrypted, "The workbook is password-protected and cannot be opened.");
        case 0x0085: {
            if (r.data.size() < 8) return damaged("a short sheet list entry");
            Bound b{rd32(r.data, 0), uint8_t(r.data[4]), uint8_t(r.data[5]), {}};
            size_t at = 6;
            if (!readUnicode(r.data, at, true, b.name)) return damaged("a damaged sheet name");
            bounds.push_back(std::move(b));
            if (!haveBounds) wb->globals.push_back({GlobalItemKind::BoundSheets, {}});
            haveBounds = true;
            break;
        }
        case 0x00FC:
            if (haveSst) return damaged("two shared string tables");
            haveSst = true;
            sstChunks.push_back(r.data);
            wb->globals.push_back({GlobalItemKind::SharedStrings, {}});
            break;
        case 0x00FF: // EXTSST: rewritten with the table
            break;
        case 0x013D:
            for (size_t k = 0; k + 1 < r.data.size(); k += 2) wb->tabIds.push_back(rd16(r.data, k));
            wb->globals.push_back({GlobalItemKind::TabIds, {}});
            break;
        case 0x00E0:
            if (r.data.size() >= 6) cellXf.push_back(!(rd16(r.data, 4) & 0x0004));
            wb->globals.push_back({GlobalItemKind::Raw, std::string(r.whole)});
            break;
        default:
            wb->globals.push_back({GlobalItemKind::Raw, std::string(r.whole)});
            break;
        }
        if (t == kEof) {
            endSeen = true;
            break;
        }
    }
    if (!endSeen) return damaged("the workbook globals are cut off");
    if (cellXf.empty()) return damaged("no cell formats");
    wb->xfCount = uint16_t(std::min<size_t>(cellXf.size(), 0xFFFF));
    if (cellXf.size() > 15 && cellXf[15]) wb->defaultXf = 15;
    else {
        auto it = std::find(cellXf.begin(), cellXf.end(), true);
        wb->defaultXf = it == cellXf.end() ? 0 : uint16_t(it - cellXf.begin());
    }

    std::vector<uint32_t> sstToPool;
    if (haveSst) {
        SstReader sr(std::move(sstChunks));
        if (Error e = sr.read(*wb, sstToPool)) return e;
    }

    if (wb->tabIds.size() != bounds.size()) {
        wb->tabIds.clear();
        for (size_t i = 0; i < bounds.size(); ++i) wb->tabIds.push_back(uint16_t(i + 1));
    }

    size_t consumedTotal = 0;
    for (const Bound& b : bounds) {
        if (b.pos >= s.size()) return damaged("sheet \"" + b.name + "\" lies outside the workbook stream");
        SheetSlot slot;
        if (b.type == 0) {
            slot.sheet = makeSheet(*wb, b.name);
            Sheet::Impl& sh = slot.sheet->impl();
            sh.hsState = b.hsState;
            SheetReader rd(*wb, sh, sstToPool);
            size_t used = 0;
            if (Error e = rd.read(s, b.pos, used)) return e;
            consumedTotal += used;
        } else {
            auto o = std::make_unique<OtherSheet>();
            o->name = b.name;
            o->hsState = b.hsState;
            o->type = b.type;
            size_t p = b.pos;
            int depth = 0;
            while (true) {
                if (!recordAt(s, p, r, trunc)) return damaged("sheet \"" + b.name + "\" is cut off");
                if (p == b.pos && r.type != kBof) return damaged("sheet \"" + b.name + "\" does not start with BOF");
                p += r.whole.size();
                if (r.type == kBof) ++depth;
                if (r.type == kEof && --depth == 0) break;
            }
            o->stream.assign(s.substr(b.pos, p - b.pos));
            consumedTotal += p - b.pos;
            slot.other = std::move(o);
        }
        if (consumedTotal > s.size()) return damaged("sheets overlap in the workbook stream");
        wb->slots.push_back(std::move(slot));
    }
    wb->rebuildSheetList();
    return wb;
}

} // namespace workbook::detail
