// BIFF8 workbook stream writer and the records of new workbooks and worksheets.
#include "bytes.h"
#include "model.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace workbook::detail {

namespace {

constexpr size_t kMaxRecordData = 8224;

void record(std::string& out, uint16_t type, std::string_view data)
{
    put16(out, type);
    put16(out, uint16_t(data.size()));
    out.append(data);
}

std::string le16s(std::initializer_list<unsigned> vals)
{
    std::string s;
    for (unsigned v : vals) put16(s, v);
    return s;
}

bool allNarrow(std::u16string_view s)
{
    for (char16_t c : s)
        if (c > 0xFF) return false;
    return true;
}

bool isAscii(std::string_view s)
{
    for (unsigned char c : s)
        if (c >= 0x80) return false;
    return true;
}

// cch + flags + characters; `shortCount` for the 8-bit count form.
void putUnicode(std::string& out, std::string_view utf8, bool shortCount)
{
    std::u16string u = utf8ToUtf16(utf8).value_or(std::u16string());
    if (shortCount) put8(out, unsigned(u.size()));
    else put16(out, unsigned(u.size()));
    bool narrow = allNarrow(u);
    put8(out, narrow ? 0 : 1);
    for (char16_t c : u) {
        if (narrow) put8(out, c);
        else put16(out, c);
    }
}

bool encodeRk(double v, uint32_t& rk)
{
    uint64_t bits;
    std::memcpy(&bits, &v, 8);
    if (v == std::floor(v) && v >= -536870912.0 && v <= 536870911.0) {
        if (v == 0 && std::signbit(v)) return false;
        rk = (uint32_t(int32_t(v)) << 2) | 2;
        return true;
    }
    if ((bits & 0x3FFFFFFFFull) == 0) {
        rk = uint32_t(bits >> 32) & ~3u;
        return true;
    }
    double w = v * 100;
    if (std::isfinite(w) && w == std::floor(w) && w >= -536870912.0 && w <= 536870911.0 && double(int32_t(w)) / 100 == v) {
        rk = (uint32_t(int32_t(w)) << 2) | 3;
        return true;
    }
    return false;
}

class SstWriter {
public:
    explicit SstWriter(std::string& out) : m_out(out) {}

    // Writes SST (+CONTINUE) and EXTSST for the strings `order` of `pool`.
    void write(const StringPool& pool, const std::vector<uint32_t>& order, uint32_t total)
    {
        uint32_t unique = uint32_t(order.size());
        uint32_t dsst = std::max<uint32_t>(unique / 128 + 1, 8);
        std::vector<std::pair<uint32_t, uint16_t>> buckets;
        begin(0x00FC);
        put32(m_out, total);
        put32(m_out, unique);
        std::u16string wide;
        for (uint32_t i = 0; i < unique; ++i) {
            std::string_view text = pool.view(order[i]);
            const RichTail* tail = pool.rich(order[i]);
            std::string_view runBytes = tail ? std::string_view(tail->runs) : std::string_view();
            std::string_view ext = tail ? std::string_view(tail->ext) : std::string_view();
            bool ascii = isAscii(text);
            size_t cch;
            bool narrow;
            if (ascii) {
                cch = text.size();
                narrow = true;
            } else {
                wide = utf8ToUtf16(text).value_or(std::u16string());
                cch = wide.size();
                narrow = allNarrow(wide);
            }
            size_t runs = runBytes.size() / 4;
            size_t hdr = 3 + (runs ? 2 : 0) + (ext.empty() ? 0 : 4);
            if (room() < hdr + (cch ? (narrow ? 1 : 2) : 0)) next();
            if (i % dsst == 0) buckets.emplace_back(uint32_t(m_out.size()), uint16_t(m_out.size() - m_rec));
            put16(m_out, unsigned(cch));
            put8(m_out, (narrow ? 0 : 1) | (runs ? 0x08 : 0) | (ext.empty() ? 0 : 0x04));
            if (runs) put16(m_out, unsigned(runs));
            if (!ext.empty()) put32(m_out, uint32_t(ext.size()));
            size_t w = narrow ? 1 : 2;
            size_t done = 0;
            while (done < cch) {
                size_t n = std::min(cch - done, room() / w);
                // A surrogate pair stays in one record: readers decode each record's characters
                // on their own, and half a pair is not a character.
                if (!narrow && n > 0 && done + n < cch && wide[done + n - 1] >= 0xD800 && wide[done + n - 1] <= 0xDBFF)
                    --n;
                if (n == 0) {
                    next();
                    put8(m_out, narrow ? 0 : 1);
                    continue;
                }
                if (ascii) {
                    m_out.append(text.substr(done, n));
                } else {
                    for (size_t k = done; k < done + n; ++k) {
                        if (narrow) put8(m_out, wide[k]);
                        else put16(m_out, wide[k]);
                    }
                }
                done += n;
            }
            for (size_t k = 0; k < runs; ++k) {
                if (room() < 4) next();
                m_out.append(runBytes.substr(4 * k, 4));
            }
            for (size_t done2 = 0; done2 < ext.size();) {
                if (room() == 0) next();
                size_t n = std::min(room(), ext.size() - done2);
                m_out.append(ext.substr(done2, n));
                done2 += n;
            }
        }
        finish();
        std::string extsst;
        put16(extsst, dsst);
        for (auto& b : buckets) {
            put32(extsst, b.first);
            put16(extsst, b.second);
            put16(extsst, 0);
        }
        record(m_out, 0x00FF, extsst);
    }

private:
    size_t room() const { return kMaxRecordData - (m_out.size() - m_rec - 4); }
    void begin(uint16_t type)
    {
        m_rec = m_out.size();
        put16(m_out, type);
        put16(m_out, 0);
    }
    void finish() { set16(m_out, m_rec + 2, unsigned(m_out.size() - m_rec - 4)); }
    void next()
    {
        finish();
        begin(0x003C);
    }

    std::string& m_out;
    size_t m_rec = 0;
};

void writeDimensions(std::string& out, const Sheet::Impl& sh)
{
    uint32_t firstRow = 0, lastRow = 0;
    uint16_t firstCol = 0xFFFF, lastCol = 0;
    bool any = false;
    for (size_t r = 0; r < sh.rows.size(); ++r) {
        const auto& cells = sh.rows[r].cells;
        if (cells.empty()) continue;
        if (!any) firstRow = uint32_t(r);
        any = true;
        lastRow = uint32_t(r) + 1;
        firstCol = std::min(firstCol, cells.front().col);
        lastCol = std::max<uint16_t>(lastCol, cells.back().col + 1);
    }
    put16(out, 0x0200);
    put16(out, 14);
    put32(out, any ? firstRow : 0);
    put32(out, any ? lastRow : 0);
    put16(out, any ? firstCol : 0);
    put16(out, any ? lastCol : 0);
    put16(out, 0);
}

void writeCells(std::string& out, const Sheet::Impl& sh, const std::vector<uint32_t>& poolToSst)
{
    const size_t nrows = sh.rows.size();
    for (size_t block = 0; block < nrows; block += 32) {
        size_t end = std::min(nrows, block + 32);
        for (size_t r = block; r < end; ++r) {
            const RowData& row = sh.rows[r];
            if (row.cells.empty() && row.rowRecord < 0) continue;
            uint16_t colMic = row.cells.empty() ? 0 : row.cells.front().col;
            uint16_t colMac = row.cells.empty() ? 0 : uint16_t(row.cells.back().col + 1);
            if (row.rowRecord >= 0) {
                size_t at = out.size();
                out.append(sh.raws[size_t(row.rowRecord)]);
                set16(out, at + 6, colMic);
                set16(out, at + 8, colMac);
            } else {
                put16(out, 0x0208);
                put16(out, 16);
                put16(out, unsigned(r));
                put16(out, colMic);
                put16(out, colMac);
                put16(out, 0x00FF);
                put32(out, 0);
                put16(out, 0x0100);
                put16(out, 0x000F);
            }
        }
        for (size_t r = block; r < end; ++r) {
            for (const Cell& c : sh.rows[r].cells) {
                if (c.formula) {
                    out.append(sh.raws[c.raw]);
                    continue;
                }
                switch (c.kind) {
                case Kind::Text:
                    put16(out, 0x00FD);
                    put16(out, 10);
                    put16(out, unsigned(r));
                    put16(out, c.col);
                    put16(out, c.xf);
                    put32(out, poolToSst[c.idx]);
                    break;
                case Kind::Number: {
                    uint32_t rk;
                    if (encodeRk(c.num, rk)) {
                        put16(out, 0x027E);
                        put16(out, 10);
                        put16(out, unsigned(r));
                        put16(out, c.col);
                        put16(out, c.xf);
                        put32(out, rk);
                    } else {
                        put16(out, 0x0203);
                        put16(out, 14);
                        put16(out, unsigned(r));
                        put16(out, c.col);
                        put16(out, c.xf);
                        putDouble(out, c.num);
                    }
                    break;
                }
                case Kind::Boolean:
                case Kind::ErrorCode:
                    put16(out, 0x0205);
                    put16(out, 8);
                    put16(out, unsigned(r));
                    put16(out, c.col);
                    put16(out, c.xf);
                    put8(out, c.small);
                    put8(out, c.kind == Kind::ErrorCode ? 1 : 0);
                    break;
                case Kind::Blank:
                    put16(out, 0x0201);
                    put16(out, 6);
                    put16(out, unsigned(r));
                    put16(out, c.col);
                    put16(out, c.xf);
                    break;
                }
            }
        }
    }
}

void writeWorksheet(std::string& out, const Sheet::Impl& sh, const std::vector<uint32_t>& poolToSst)
{
    bool dims = false;
    for (const RawRecord& r : sh.prefix) {
        if (rd16(r, 0) == 0x0200) {
            writeDimensions(out, sh);
            dims = true;
        } else {
            out.append(r);
        }
    }
    if (!dims) writeDimensions(out, sh);
    writeCells(out, sh, poolToSst);
    for (const RawRecord& r : sh.suffix) out.append(r);
    record(out, 0x000A, {});
}

std::string bofData(uint16_t type)
{
    std::string d = le16s({0x0600, type, 0x0DBB, 0x07CC});
    put32(d, 0);
    put32(d, 6);
    return d;
}

std::string rec(uint16_t type, std::string_view data)
{
    std::string s;
    record(s, type, data);
    return s;
}

} // namespace

Result<std::string> writeXls(const WorkbookData& wb)
{
    // Shared strings in first-use order; only strings that cells still use.
    std::vector<uint32_t> poolToSst(wb.pool.size(), std::numeric_limits<uint32_t>::max());
    std::vector<uint32_t> order;
    uint64_t total = 0;
    size_t estimate = 4096;
    for (const Sheet* s : wb.sheets) {
        for (const RowData& row : s->impl().rows) {
            estimate += 20 + row.cells.size() * 14;
            for (const Cell& c : row.cells) {
                if (c.kind != Kind::Text || c.formula) continue;
                ++total;
                if (poolToSst[c.idx] == std::numeric_limits<uint32_t>::max()) {
                    poolToSst[c.idx] = uint32_t(order.size());
                    order.push_back(c.idx);
                    estimate += wb.pool.view(c.idx).size() + 3;
                }
            }
        }
    }
    if (total > 0xFFFFFFFFull) return Error(ErrorKind::TooLarge, "The workbook holds too many texts for the .xls format.");

    std::string out;
    out.reserve(estimate + estimate / 8);
    std::vector<size_t> offsetAt(wb.slots.size(), 0);
    bool sstDone = false;
    for (const GlobalItem& item : wb.globals) {
        switch (item.kind) {
        case GlobalItemKind::Raw:
            if (!sstDone && rd16(item.bytes, 0) == 0x000A) {
                SstWriter(out).write(wb.pool, order, uint32_t(total));
                sstDone = true;
            }
            out.append(item.bytes);
            break;
        case GlobalItemKind::BoundSheets:
            for (size_t i = 0; i < wb.slots.size(); ++i) {
                const SheetSlot& slot = wb.slots[i];
                std::string d;
                put32(d, 0);
                if (slot.sheet) {
                    put8(d, slot.sheet->impl().hsState);
                    put8(d, 0);
                    putUnicode(d, slot.sheet->impl().name, true);
                } else {
                    put8(d, slot.other->hsState);
                    put8(d, slot.other->type);
                    putUnicode(d, slot.other->name, true);
                }
                offsetAt[i] = out.size() + 4;
                record(out, 0x0085, d);
            }
            break;
        case GlobalItemKind::SharedStrings:
            SstWriter(out).write(wb.pool, order, uint32_t(total));
            sstDone = true;
            break;
        case GlobalItemKind::TabIds: {
            std::string d;
            for (uint16_t id : wb.tabIds) put16(d, id);
            record(out, 0x013D, d);
            break;
        }
        }
    }
    for (size_t i = 0; i < wb.slots.size(); ++i) {
        if (out.size() > 0xFFFFFFFFull) return Error(ErrorKind::TooLarge, "The workbook is too large for the .xls format.");
        set32(out, offsetAt[i], uint32_t(out.size()));
        const SheetSlot& slot = wb.slots[i];
        if (slot.sheet) writeWorksheet(out, slot.sheet->impl(), poolToSst);
        else out.append(slot.other->stream);
    }
    if (out.size() > 0xFFFFFFFFull) return Error(ErrorKind::TooLarge, "The workbook is too large for the .xls format.");
    // Keep the workbook stream out of the mini stream, as Excel does.
    if (out.size() < 4096) out.resize(4096, '\0');
    return out;
}

std::unique_ptr<Sheet> newWorksheet(WorkbookData& wb, std::string_view name, bool selected)
{
    auto sheet = makeSheet(wb, std::string(name));
    auto& p = sheet->impl().prefix;
    std::string delta;
    putDouble(delta, 0.001);
    p.push_back(rec(0x0809, bofData(0x0010)));
    p.push_back(rec(0x000D, le16s({1})));            // CALCMODE automatic
    p.push_back(rec(0x000C, le16s({100})));          // CALCCOUNT
    p.push_back(rec(0x000F, le16s({1})));            // REFMODE A1
    p.push_back(rec(0x0011, le16s({0})));            // ITERATION off
    p.push_back(rec(0x0010, delta));                 // DELTA
    p.push_back(rec(0x005F, le16s({1})));            // SAVERECALC
    p.push_back(rec(0x002A, le16s({0})));            // PRINTHEADERS
    p.push_back(rec(0x002B, le16s({0})));            // PRINTGRIDLINES
    p.push_back(rec(0x0082, le16s({1})));            // GRIDSET
    p.push_back(rec(0x0080, le16s({0, 0, 0, 0})));   // GUTS
    p.push_back(rec(0x0225, le16s({0, 0x00FF})));    // DEFAULTROWHEIGHT
    p.push_back(rec(0x0081, le16s({0x04C1})));       // WSBOOL
    p.push_back(rec(0x0055, le16s({8})));            // DEFCOLWIDTH
    p.push_back(rec(0x0200, std::string(14, '\0'))); // DIMENSIONS, rewritten on save
    std::string w2 = le16s({selected ? 0x06B6u : 0x00B6u, 0, 0, 0x40, 0, 0, 0});
    put32(w2, 0);
    sheet->impl().suffix.push_back(rec(0x023E, w2)); // WINDOW2
    return sheet;
}

std::unique_ptr<WorkbookData> newXls(std::string_view firstSheetName)
{
    auto wb = std::make_unique<WorkbookData>();
    wb->format = Format::Xls;
    auto& g = wb->globals;
    auto raw = [&](uint16_t type, std::string_view data) { g.push_back({GlobalItemKind::Raw, rec(type, data)}); };
    raw(0x0809, bofData(0x0005));
    raw(0x00E1, le16s({0x04B0})); // INTERFACEHDR
    raw(0x00C1, le16s({0}));      // MMS
    raw(0x00E2, {});              // INTERFACEEND
    std::string access;
    putUnicode(access, "KTM-520", false);
    access.resize(112, ' ');
    raw(0x005C, access);          // WRITEACCESS
    raw(0x0042, le16s({0x04B0})); // CODEPAGE: UTF-16
    raw(0x0161, le16s({0}));      // DSF
    g.push_back({GlobalItemKind::TabIds, {}});
    raw(0x0019, le16s({0}));                                                       // WINDOWPROTECT
    raw(0x0012, le16s({0}));                                                       // PROTECT
    raw(0x0013, le16s({0}));                                                       // PASSWORD
    raw(0x01AF, le16s({0}));                                                       // PROT4REV
    raw(0x01BC, le16s({0}));                                                       // PROT4REVPASS
    raw(0x0040, le16s({0}));                                                       // BACKUP
    raw(0x008D, le16s({0}));                                                       // HIDEOBJ
    raw(0x003D, le16s({0x01E0, 0x005A, 0x3FCF, 0x2A4E, 0x0038, 0, 0, 1, 0x0258})); // WINDOW1
    raw(0x0022, le16s({0}));                                                       // DATEMODE 1900
    raw(0x000E, le16s({1}));                                                       // PRECISION as displayed: off
    raw(0x01B7, le16s({0}));                                                       // REFRESHALL
    raw(0x00DA, le16s({0}));                                                       // BOOKBOOL
    for (int i = 0; i < 4; ++i) {                                                  // FONT 0-3 (index 4 is never used)
        std::string f = le16s({200, 0, 0x7FFF, 400, 0});
        put8(f, 0);
        put8(f, 0);
        put8(f, 0);
        put8(f, 0);
        putUnicode(f, "Arial", true);
        raw(0x0031, f);
    }
    static const unsigned char styleXf[20] = {0, 0, 0, 0, 0xF5, 0xFF, 0x20, 0, 0, 0xF4, 0, 0, 0, 0, 0, 0, 0, 0, 0xC0, 0x20};
    static const unsigned char cellXf[20] = {0, 0, 0, 0, 0x01, 0x00, 0x20, 0, 0, 0x00, 0, 0, 0, 0, 0, 0, 0, 0, 0xC0, 0x20};
    for (int i = 0; i < 15; ++i) {
        std::string x(reinterpret_cast<const char*>(styleXf), 20);
        if (i == 0) x[9] = 0;
        raw(0x00E0, x);
    }
    raw(0x00E0, std::string_view(reinterpret_cast<const char*>(cellXf), 20));
    std::string style = le16s({0x8000});
    put8(style, 0);
    put8(style, 0xFF);
    raw(0x0293, style);      // STYLE Normal
    raw(0x0160, le16s({1})); // USESELFS
    g.push_back({GlobalItemKind::BoundSheets, {}});
    raw(0x008C, le16s({1, 86})); // COUNTRY
    g.push_back({GlobalItemKind::SharedStrings, {}});
    raw(0x000A, {});
    wb->xfCount = 16;
    wb->defaultXf = 15;
    SheetSlot slot;
    slot.sheet = newWorksheet(*wb, firstSheetName, true);
    wb->slots.push_back(std::move(slot));
    wb->tabIds.push_back(1);
    wb->rebuildSheetList();
    cfb::Entry root;
    root.name = u"Root Entry";
    root.type = cfb::Root;
    cfb::Entry stream;
    stream.name = u"Workbook";
    stream.type = cfb::Stream;
    wb->container.entries.push_back(std::move(root));
    wb->container.entries.push_back(std::move(stream));
    wb->container.entries[0].children.push_back(1);
    wb->workbookEntry = 1;
    return wb;
}

} // namespace workbook::detail
