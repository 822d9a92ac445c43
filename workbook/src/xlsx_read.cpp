// .xlsx (Office Open XML) reader: sheet order, shared strings and cell values.
#include "bytes.h"
#include "model.h"

#include <pugixml.hpp>
#include <zip.h>

#include <charconv>
#include <set>

namespace workbook::detail {

namespace {

// Limits against hostile archives, far above what real workbooks reach (a full .xls-sized sheet
// of 65,536 rows inflates to some tens of MB). Ordinary workbooks compress well, a sheet of
// repeated cells beyond 100:1, so the compression ratio says nothing; what a bomb costs is
// inflated bytes, parts and nesting.
constexpr size_t kMaxEntries = 10000;
constexpr uint64_t kMaxPart = uint64_t(256) << 20;  // one part, inflated
constexpr uint64_t kMaxTotal = uint64_t(512) << 20; // all parts read, inflated
constexpr size_t kMaxDepth = 256;                   // XML element nesting (workbooks use about 10)
constexpr int kXlsxRows = 1048576, kXlsxColumns = 16384;

Error damaged(const std::string& what) { return Error(ErrorKind::Damaged, "The .xlsx workbook is damaged (" + what + ")."); }

struct ZipCloser {
    void operator()(zip_t* z) const { zip_discard(z); }
};

class Archive {
public:
    Error open(std::string_view bytes)
    {
        zip_error_t err;
        zip_error_init(&err);
        zip_source_t* src = zip_source_buffer_create(bytes.data(), bytes.size(), 0, &err);
        if (!src) return Error(ErrorKind::OutOfMemory, "Cannot read the .xlsx workbook.");
        zip_t* z = zip_open_from_source(src, ZIP_RDONLY, &err);
        if (!z) {
            zip_source_free(src);
            zip_error_fini(&err);
            return damaged("not a valid zip archive");
        }
        m_zip.reset(z);
        zip_int64_t n = zip_get_num_entries(z, 0);
        if (n < 0 || uint64_t(n) > kMaxEntries) return damaged("too many parts in the archive");
        std::set<std::string> names;
        for (zip_int64_t i = 0; i < n; ++i) {
            const char* name = zip_get_name(z, zip_uint64_t(i), 0);
            if (!name) return damaged("unreadable part name");
            if (!names.insert(name).second) return damaged("the part " + std::string(name) + " appears twice");
        }
        return {};
    }

    bool has(const std::string& name) const { return zip_name_locate(m_zip.get(), name.c_str(), 0) >= 0; }

    Error read(const std::string& name, std::string& out)
    {
        out.clear();
        zip_int64_t idx = zip_name_locate(m_zip.get(), name.c_str(), 0);
        if (idx < 0) return damaged("the part " + name + " is missing");
        zip_stat_t st;
        zip_stat_init(&st);
        if (zip_stat_index(m_zip.get(), zip_uint64_t(idx), 0, &st) != 0) return damaged("cannot read " + name);
        // The declared size refuses a bomb before anything is inflated; the running count below
        // holds against a size that lies.
        if ((st.valid & ZIP_STAT_SIZE) && (st.size > kMaxPart || m_total + st.size > kMaxTotal)) return tooLarge(name);
        zip_file_t* f = zip_fopen_index(m_zip.get(), zip_uint64_t(idx), 0);
        if (!f) return damaged("cannot read " + name);
        char buf[65536];
        Error result;
        for (;;) {
            zip_int64_t got = zip_fread(f, buf, sizeof buf);
            if (got < 0) {
                result = damaged("cannot decompress " + name);
                break;
            }
            if (got == 0) break;
            out.append(buf, size_t(got));
            m_total += uint64_t(got);
            if (out.size() > kMaxPart || m_total > kMaxTotal) {
                result = tooLarge(name);
                break;
            }
        }
        zip_fclose(f);
        if (result) out.clear();
        return result;
    }

private:
    static Error tooLarge(const std::string& name)
    {
        return Error(ErrorKind::TooLarge, "The .xlsx workbook is too large to read: the part " + name +
                                              " expands beyond " + std::to_string(kMaxPart >> 20) +
                                              " MB, or all parts beyond " + std::to_string(kMaxTotal >> 20) +
                                              " MB (a zip bomb?).");
    }

    std::unique_ptr<zip_t, ZipCloser> m_zip;
    uint64_t m_total = 0;
};

const char* localName(const pugi::xml_node& n)
{
    const char* name = n.name();
    const char* colon = std::strrchr(name, ':');
    return colon ? colon + 1 : name;
}

bool is(const pugi::xml_node& n, const char* local) { return std::strcmp(localName(n), local) == 0; }

pugi::xml_node child(const pugi::xml_node& n, const char* local)
{
    for (pugi::xml_node c = n.first_child(); c; c = c.next_sibling())
        if (c.type() == pugi::node_element && is(c, local)) return c;
    return {};
}

Error parse(pugi::xml_document& doc, const std::string& text, const std::string& name)
{
    pugi::xml_parse_result r =
        doc.load_buffer(text.data(), text.size(), pugi::parse_default | pugi::parse_ws_pcdata_single);
    if (!r) return damaged("the part " + name + " is not well-formed XML: " + r.description());
    // Depth first, without recursion.
    size_t depth = 0;
    for (pugi::xml_node n = doc.first_child(); n;) {
        if (pugi::xml_node c = n.first_child()) {
            if (++depth > kMaxDepth)
                return damaged("the part " + name + " nests elements deeper than " + std::to_string(kMaxDepth));
            n = c;
            continue;
        }
        while (n && !n.next_sibling()) {
            n = n.parent();
            if (n == doc) return {};
            --depth;
        }
        if (n) n = n.next_sibling();
    }
    return {};
}

// Decodes the _xHHHH_ escapes of OOXML strings.
std::string unescape(std::string_view s)
{
    if (s.find("_x") == std::string_view::npos) return std::string(s);
    std::string out;
    std::u16string units;
    auto flush = [&] {
        if (!units.empty()) out += utf16ToUtf8(units);
        units.clear();
    };
    for (size_t i = 0; i < s.size();) {
        if (i + 7 <= s.size() && s[i] == '_' && s[i + 1] == 'x' && s[i + 6] == '_') {
            unsigned v = 0;
            auto [p, ec] = std::from_chars(s.data() + i + 2, s.data() + i + 6, v, 16);
            if (ec == std::errc() && p == s.data() + i + 6) {
                units.push_back(char16_t(v));
                i += 7;
                continue;
            }
        }
        flush();
        out.push_back(s[i]);
        ++i;
    }
    flush();
    return out;
}

// Text of an <si> or <is>: its <t>, plus the <t> of each rich run; phonetic runs skipped.
std::string stringItem(const pugi::xml_node& n)
{
    std::string out;
    for (pugi::xml_node c = n.first_child(); c; c = c.next_sibling()) {
        if (c.type() != pugi::node_element) continue;
        if (is(c, "t")) out += c.text().get();
        else if (is(c, "r")) {
            pugi::xml_node t = child(c, "t");
            if (t) out += t.text().get();
        }
    }
    return unescape(out);
}

std::string joinPath(const std::string& base, const std::string& target)
{
    std::string path = target;
    if (!path.empty() && path[0] == '/') path = path.substr(1);
    else path = base + path;
    // Resolve "." and "..".
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= path.size()) {
        size_t slash = path.find('/', start);
        if (slash == std::string::npos) slash = path.size();
        std::string part = path.substr(start, slash - start);
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        start = slash + 1;
    }
    std::string out;
    for (auto& p : parts) out += (out.empty() ? "" : "/") + p;
    return out;
}

std::string dirOf(const std::string& path)
{
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string relsOf(const std::string& part)
{
    size_t slash = part.rfind('/');
    std::string dir = slash == std::string::npos ? "" : part.substr(0, slash + 1);
    std::string base = slash == std::string::npos ? part : part.substr(slash + 1);
    return dir + "_rels/" + base + ".rels";
}

bool endsWith(std::string_view s, std::string_view tail)
{
    return s.size() >= tail.size() && s.substr(s.size() - tail.size()) == tail;
}

struct Rel {
    std::string id, type, target;
};

Error readRels(Archive& zip, const std::string& part, std::vector<Rel>& rels)
{
    std::string name = relsOf(part);
    if (!zip.has(name)) return {};
    std::string text;
    if (Error e = zip.read(name, text)) return e;
    pugi::xml_document doc;
    if (Error e = parse(doc, text, name)) return e;
    std::string base = dirOf(part);
    for (pugi::xml_node r = child(doc, "Relationships").first_child(); r; r = r.next_sibling()) {
        if (!is(r, "Relationship")) continue;
        if (std::string_view(r.attribute("TargetMode").as_string()) == "External") continue;
        rels.push_back({r.attribute("Id").as_string(), r.attribute("Type").as_string(),
                        joinPath(base, r.attribute("Target").as_string())});
    }
    return {};
}

// "B12" or "$B$12" (any case) to 0-based row and column; false if malformed or out of range.
bool parseRef(std::string_view ref, int& row, int& col, bool& hasRow)
{
    size_t i = 0;
    if (i < ref.size() && ref[i] == '$') ++i;
    long c = 0;
    size_t letters = 0;
    while (i < ref.size() && std::isalpha(static_cast<unsigned char>(ref[i]))) {
        c = c * 26 + (std::toupper(static_cast<unsigned char>(ref[i])) - 'A' + 1);
        if (c > kXlsxColumns) return false;
        ++i;
        ++letters;
    }
    if (letters == 0) return false;
    if (i < ref.size() && ref[i] == '$') ++i;
    long r = 0;
    size_t digits = 0;
    while (i < ref.size() && std::isdigit(static_cast<unsigned char>(ref[i]))) {
        r = r * 10 + (ref[i] - '0');
        if (r > kXlsxRows) return false;
        ++i;
        ++digits;
    }
    if (i != ref.size()) return false;
    col = int(c - 1);
    hasRow = digits > 0;
    if (hasRow) {
        if (r < 1) return false;
        row = int(r - 1);
    }
    return true;
}

uint8_t errorCode(std::string_view s)
{
    if (s == "#NULL!") return 0x00;
    if (s == "#DIV/0!") return 0x07;
    if (s == "#VALUE!") return 0x0F;
    if (s == "#REF!") return 0x17;
    if (s == "#NAME?") return 0x1D;
    if (s == "#NUM!") return 0x24;
    return 0x2A;
}

Error readSheet(Archive& zip, const std::string& part, Sheet::Impl& sh, const std::vector<uint32_t>& sst)
{
    std::string text;
    if (Error e = zip.read(part, text)) return e;
    pugi::xml_document doc;
    if (Error e = parse(doc, text, part)) return e;
    text.clear();
    text.shrink_to_fit();
    pugi::xml_node data = child(child(doc, "worksheet"), "sheetData");
    WorkbookData& wb = *sh.book;
    int row = -1;
    for (pugi::xml_node r = data.first_child(); r; r = r.next_sibling()) {
        if (r.type() != pugi::node_element || !is(r, "row")) continue;
        pugi::xml_attribute ra = r.attribute("r");
        if (ra) {
            long v = ra.as_llong(0);
            if (v < 1 || v > kXlsxRows) return damaged("a row number out of range in " + part);
            row = int(v - 1);
        } else {
            ++row;
        }
        if (row >= kXlsxRows) return damaged("too many rows in " + part);
        int col = -1;
        for (pugi::xml_node c = r.first_child(); c; c = c.next_sibling()) {
            if (c.type() != pugi::node_element || !is(c, "c")) continue;
            pugi::xml_attribute ca = c.attribute("r");
            int cellRow = row;
            if (ca) {
                bool hasRow = false;
                if (!parseRef(ca.as_string(), cellRow, col, hasRow)) return damaged("a bad cell reference in " + part);
                if (!hasRow) cellRow = row;
            } else {
                ++col;
            }
            if (col >= kXlsxColumns) return damaged("too many columns in " + part);
            std::string_view t = c.attribute("t").as_string();
            pugi::xml_node v = child(c, "v");
            const char* vt = v.text().get();
            Cell& cell = sh.cellAt(cellRow, col);
            cell.kind = Kind::Blank;
            if (t == "s") {
                if (!v) continue;
                unsigned long i = 0;
                auto [p, ec] = std::from_chars(vt, vt + std::strlen(vt), i);
                if (ec != std::errc() || i >= sst.size()) return damaged("a cell refers to a missing shared string in " + part);
                cell.kind = Kind::Text;
                cell.idx = sst[i];
            } else if (t == "inlineStr") {
                cell.kind = Kind::Text;
                cell.idx = wb.intern(stringItem(child(c, "is")));
            } else if (t == "str" || t == "d") {
                if (!v) continue;
                cell.kind = Kind::Text;
                cell.idx = wb.intern(unescape(vt));
            } else if (t == "b") {
                if (!v) continue;
                cell.kind = Kind::Boolean;
                cell.small = std::string_view(vt) == "1" || std::string_view(vt) == "true";
            } else if (t == "e") {
                if (!v) continue;
                cell.kind = Kind::ErrorCode;
                cell.small = errorCode(vt);
            } else {
                if (!v) continue;
                std::string_view s(vt);
                while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
                while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
                if (!s.empty() && s.front() == '+') s.remove_prefix(1);
                double d = 0;
                auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), d);
                if (ec != std::errc() || p != s.data() + s.size()) {
                    cell.kind = Kind::Text; // not a number after all: keep what is there
                    cell.idx = wb.intern(std::string(s));
                } else {
                    cell.kind = Kind::Number;
                    cell.num = d;
                }
            }
        }
    }
    return {};
}

} // namespace

Result<std::unique_ptr<WorkbookData>> readXlsx(std::string_view bytes)
{
    Archive zip;
    if (Error e = zip.open(bytes)) return e;
    auto wb = std::make_unique<WorkbookData>();
    wb->format = Format::Xlsx;
    wb->readOnly = true;
    wb->readOnlyReason = "An .xlsx workbook is opened read-only; it cannot be changed or saved.";
    wb->defaultXf = 0;

    std::vector<Rel> rootRels;
    if (Error e = readRels(zip, "", rootRels)) return e;
    std::string bookPart;
    for (auto& r : rootRels)
        if (endsWith(r.type, "/officeDocument")) bookPart = r.target;
    if (bookPart.empty()) bookPart = "xl/workbook.xml";
    if (!zip.has(bookPart)) return Error(ErrorKind::NotAWorkbook, "The file is not an Excel workbook (a zip archive without a workbook part).");

    std::vector<Rel> bookRels;
    if (Error e = readRels(zip, bookPart, bookRels)) return e;

    // Shared strings.
    std::vector<uint32_t> sst;
    std::string sstPart;
    for (auto& r : bookRels)
        if (endsWith(r.type, "/sharedStrings")) sstPart = r.target;
    if (!sstPart.empty() && zip.has(sstPart)) {
        std::string text;
        if (Error e = zip.read(sstPart, text)) return e;
        pugi::xml_document doc;
        if (Error e = parse(doc, text, sstPart)) return e;
        for (pugi::xml_node si = child(doc, "sst").first_child(); si; si = si.next_sibling()) {
            if (si.type() != pugi::node_element || !is(si, "si")) continue;
            sst.push_back(wb->intern(stringItem(si)));
        }
    }

    std::string text;
    if (Error e = zip.read(bookPart, text)) return e;
    pugi::xml_document doc;
    if (Error e = parse(doc, text, bookPart)) return e;
    pugi::xml_node sheets = child(child(doc, "workbook"), "sheets");
    for (pugi::xml_node s = sheets.first_child(); s; s = s.next_sibling()) {
        if (s.type() != pugi::node_element || !is(s, "sheet")) continue;
        std::string rid;
        for (pugi::xml_attribute a = s.first_attribute(); a; a = a.next_attribute()) {
            std::string_view an = a.name();
            if (an == "id" || endsWith(an, ":id")) rid = a.value();
        }
        const Rel* rel = nullptr;
        for (auto& r : bookRels)
            if (r.id == rid) rel = &r;
        if (!rel) return damaged("sheet \"" + std::string(s.attribute("name").as_string()) + "\" has no part");
        if (!endsWith(rel->type, "/worksheet")) continue; // chart and dialog sheets are not worksheets
        SheetSlot slot;
        slot.sheet = makeSheet(*wb, unescape(s.attribute("name").as_string()));
        Sheet::Impl& sh = slot.sheet->impl();
        sh.maxRows = kXlsxRows;
        sh.maxColumns = kXlsxColumns;
        if (Error e = readSheet(zip, rel->target, sh, sst)) return e;
        wb->slots.push_back(std::move(slot));
    }
    wb->rebuildSheetList();
    return wb;
}

} // namespace workbook::detail
