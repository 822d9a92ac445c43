// .xlsx writer: worksheets streamed row by row through deflate into the zip file.
//
// What goes into the file, and why:
// - The five parts every reader needs: [Content_Types].xml, _rels/.rels, xl/workbook.xml,
//   xl/_rels/workbook.xml.rels and a minimal xl/styles.xml (one font, the two fills Excel
//   insists on, one border, one cell format, the Normal style), then one
//   xl/worksheets/sheetN.xml per worksheet. No document properties: they are optional.
// - Texts are inline strings (t="inlineStr"), not a shared-string table: the table has to stay
//   in memory until the end and grows with every distinct text, and the preview's texts
//   (numbers, time stamps) are nearly all distinct. Measured with rows of the preview's kind
//   (a number as text, two numbers, a time stamp), deflate level 2, a trial build writing a
//   shared-string table against this writer: 65,535 rows 98 ms CPU and 1,904 KB against
//   51 ms and 1,701 KB; 1,000,000 rows 1.62 s, 28.4 MB and a peak of 160 MB of memory against
//   0.78 s, 26.2 MB and 6 MB.
// - No <dimension>: it comes before the cells and a stream does not know the extent in
//   advance; it is optional and readers work the extent out themselves.
// - Numbers in the shortest form that reads back to the same double (std::to_chars, which
//   does not depend on the locale).
// - Texts are XML-escaped. A character XML 1.0 cannot carry (control characters other than
//   tab, LF and CR; U+FFFE, U+FFFF) is written as the _xHHHH_ escape of the .xlsx format, and
//   an underscore that would otherwise start such an escape as _x005F_, so that Excel and this
//   engine's reader give back exactly the text written. CR is written as &#13;, since an XML
//   parser turns a literal CR into LF. Texts with white space at either end get
//   xml:space="preserve".
#include "xlsx_write.h"

#include "bytes.h"
#include "system.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <set>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace workbook {

namespace {

namespace fs = std::filesystem;
using detail::inQuotes;

// Deflate level, chosen by measurement: CPU time and file size for 65,535 and 1,000,000 rows
// of the preview's kind (best of several runs; level 0 = stored, for the cost of the XML alone):
//   level      0      1      2      3      4      5      6      9
//   65,535    25 ms  57 ms  51 ms  65 ms  61 ms  71 ms 109 ms 277 ms
//             13 MB 1988 KB 1701   1665   1535   1495   1495   1523
//   1,000,000        0.84 s 0.78   0.96   0.93   1.03   1.64
//                    30.2 MB 26.2  25.5   23.4   22.9   22.9
// Level 2 is the fastest (faster than 1, whose poorer matches leave more to encode), and its
// files are within 14% of the smallest; 4 and 5 save another 10% at a fifth more time.
// bench_workbook's BM_EngineXlsxLevel repeats the 65,535-row measurement.
constexpr int kDeflateLevel = 2;

constexpr size_t kXmlPiece = 256 * 1024; // sheet XML handed to deflate at a time
constexpr size_t kMaxCellText = 32767;   // UTF-16 units, as in Excel
// Five fixed parts besides the worksheets, in a zip of at most 65,535 entries.
constexpr size_t kFixedParts = 5;
constexpr size_t kMaxSheets = detail::ZipWriter::kMaxEntries - kFixedParts;

constexpr std::string_view kXmlDeclaration = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n";
constexpr std::string_view kMainNs = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
constexpr std::string_view kRelNs = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
constexpr std::string_view kSheetTail = "</sheetData></worksheet>";

const std::string& typesHead()
{
    static const std::string s = std::string(kXmlDeclaration) +
                                 "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
                                 "<Default Extension=\"rels\" ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
                                 "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
                                 "<Override PartName=\"/xl/workbook.xml\" "
                                 "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml\"/>"
                                 "<Override PartName=\"/xl/styles.xml\" "
                                 "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.styles+xml\"/>";
    return s;
}
constexpr std::string_view kTypesTail = "</Types>";

const std::string& rootRels()
{
    static const std::string s = std::string(kXmlDeclaration) +
                                 "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
                                 "<Relationship Id=\"rId1\" Type=\"" +
                                 std::string(kRelNs) + "/officeDocument\" Target=\"xl/workbook.xml\"/>"
                                                       "</Relationships>";
    return s;
}

const std::string& bookRelsHead()
{
    static const std::string s = std::string(kXmlDeclaration) +
                                 "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">";
    return s;
}

const std::string& bookHead()
{
    static const std::string s = std::string(kXmlDeclaration) + "<workbook xmlns=\"" + std::string(kMainNs) +
                                 "\" xmlns:r=\"" + std::string(kRelNs) + "\"><bookViews><workbookView/></bookViews><sheets>";
    return s;
}
constexpr std::string_view kBookTail = "</sheets></workbook>";

const std::string& styles()
{
    static const std::string s = std::string(kXmlDeclaration) + "<styleSheet xmlns=\"" + std::string(kMainNs) + "\">"
                                                                                                                "<fonts count=\"1\"><font><sz val=\"11\"/><name val=\"Calibri\"/><family val=\"2\"/></font></fonts>"
                                                                                                                "<fills count=\"2\"><fill><patternFill patternType=\"none\"/></fill>"
                                                                                                                "<fill><patternFill patternType=\"gray125\"/></fill></fills>"
                                                                                                                "<borders count=\"1\"><border><left/><right/><top/><bottom/><diagonal/></border></borders>"
                                                                                                                "<cellStyleXfs count=\"1\"><xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\"/></cellStyleXfs>"
                                                                                                                "<cellXfs count=\"1\"><xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\" xfId=\"0\"/></cellXfs>"
                                                                                                                "<cellStyles count=\"1\"><cellStyle name=\"Normal\" xfId=\"0\" builtinId=\"0\"/></cellStyles>"
                                                                                                                "</styleSheet>";
    return s;
}

std::string sheetHead(bool first)
{
    return std::string(kXmlDeclaration) + "<worksheet xmlns=\"" + std::string(kMainNs) + "\"><sheetViews><sheetView " +
           (first ? "tabSelected=\"1\" " : "") + "workbookViewId=\"0\"/></sheetViews><sheetData>";
}

// Column letters A to XFD.
struct ColumnName {
    char text[3];
    uint8_t length;
};
const std::array<ColumnName, kXlsxMaxColumns>& columnNames()
{
    static const auto table = [] {
        std::array<ColumnName, kXlsxMaxColumns> t{};
        for (int c = 0; c < kXlsxMaxColumns; ++c) {
            char rev[3];
            int n = 0;
            for (int v = c + 1; v > 0; v = (v - 1) / 26) rev[n++] = char('A' + (v - 1) % 26);
            t[size_t(c)].length = uint8_t(n);
            for (int k = 0; k < n; ++k) t[size_t(c)].text[k] = rev[n - 1 - k];
        }
        return t;
    }();
    return table;
}

// Targets being written by writers of this process: a second writer to the same target is refused
// while the first writes.
std::mutex g_busyMutex;
std::set<std::string> g_busy;

void release(std::string& key)
{
    if (key.empty()) return;
    std::lock_guard<std::mutex> lock(g_busyMutex);
    g_busy.erase(key);
    key.clear();
}

// ---- texts ----

// Whether `text` is UTF-8 of at most kMaxCellText UTF-16 units.
bool validCellText(std::string_view text, size_t& units)
{
    bool ascii = true;
    for (unsigned char c : text)
        if (c >= 0x80) {
            ascii = false;
            break;
        }
    if (ascii) {
        units = text.size();
        return true;
    }
    auto n = detail::validUtf8Units(text);
    if (!n) return false;
    units = *n;
    return true;
}

constexpr bool isHex(unsigned char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f'); }

// Bytes that need a look: what XML escapes, control characters, the underscore, and 0xEF
// (the lead byte of U+FFFE and U+FFFF).
constexpr std::array<bool, 256> kSpecial = [] {
    std::array<bool, 256> t{};
    for (int c = 0; c < 0x20; ++c) t[size_t(c)] = c != '\t' && c != '\n';
    t['<'] = t['>'] = t['&'] = t['"'] = t['_'] = true;
    t[0xEF] = true;
    return t;
}();

// The length of the character at p[i] if the .xlsx writer escapes it as _xHHHH_, else 0.
size_t escapedAt(const unsigned char* p, size_t n, size_t i)
{
    unsigned char c = p[i];
    if (c < 0x20) return (c == '\t' || c == '\n' || c == '\r') ? 0 : 1;
    if (c == 0xEF && i + 2 < n && p[i + 1] == 0xBF && (p[i + 2] == 0xBE || p[i + 2] == 0xBF)) return 3;
    return 0;
}

// Whether the underscore at p[i] would be read as the start of an _xHHHH_ escape: "_x", four
// hex digits and an underscore, which is either in the text or the start of an escape this
// writer puts right after.
bool opensEscape(const unsigned char* p, size_t n, size_t i)
{
    if (i + 6 > n || p[i + 1] != 'x') return false;
    for (size_t k = 2; k < 6; ++k)
        if (!isHex(p[i + k])) return false;
    if (i + 6 == n) return false;
    return p[i + 6] == '_' || escapedAt(p, n, i + 6) != 0;
}

char* putHexEscape(char* out, unsigned v)
{
    static const char hex[] = "0123456789ABCDEF";
    *out++ = '_';
    *out++ = 'x';
    for (int shift = 12; shift >= 0; shift -= 4) *out++ = hex[(v >> shift) & 0xF];
    *out++ = '_';
    return out;
}

// At most 7 output bytes for each input byte, and at most this much around a cell's value.
constexpr size_t kEscapeGrowth = 7;
constexpr size_t kCellMarkup = 96;

// Writes `text` (valid UTF-8) escaped for element content or, with `attribute`, for an
// attribute value in double quotes.
char* escapeText(char* out, std::string_view text, bool attribute)
{
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const size_t n = text.size();
    size_t run = 0;
    for (size_t i = 0; i < n;) {
        if (!kSpecial[p[i]]) {
            ++i;
            continue;
        }
        std::memcpy(out, p + run, i - run);
        out += i - run;
        const unsigned char c = p[i];
        size_t len = 1;
        auto emit = [&](std::string_view s) {
            std::memcpy(out, s.data(), s.size());
            out += s.size();
        };
        switch (c) {
        case '<': emit("&lt;"); break;
        case '>': emit("&gt;"); break;
        case '&': emit("&amp;"); break;
        case '"':
            if (attribute) emit("&quot;");
            else *out++ = '"';
            break;
        case '\r': emit("&#13;"); break;
        case '_':
            if (opensEscape(p, n, i)) emit("_x005F_");
            else *out++ = '_';
            break;
        case 0xEF:
            if (escapedAt(p, n, i)) {
                out = putHexEscape(out, p[i + 2] == 0xBE ? 0xFFFE : 0xFFFF);
                len = 3;
            } else {
                *out++ = char(c);
            }
            break;
        default: // a control character
            out = putHexEscape(out, c);
            break;
        }
        i += len;
        run = i;
    }
    std::memcpy(out, p + run, n - run);
    return out + (n - run);
}

bool isXmlSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

template <size_t N>
char* put(char* out, const char (&s)[N])
{
    std::memcpy(out, s, N - 1);
    return out + N - 1;
}

// An attribute value, escaped.
std::string escapedAttribute(std::string_view s)
{
    std::string out(s.size() * kEscapeGrowth, '\0');
    out.resize(size_t(escapeText(out.data(), s, true) - out.data()));
    return out;
}

std::string describe(int err) { return std::strerror(err); }

} // namespace

// ---- buffer ----

void detail::XmlBuffer::grow(size_t need)
{
    size_t capacity = std::max({need, m_capacity * 2, size_t(64 * 1024)});
    std::unique_ptr<char[]> data(new char[capacity]);
    if (m_size) std::memcpy(data.get(), m_data.get(), m_size);
    m_data = std::move(data);
    m_capacity = capacity;
}

// ---- state ----

XlsxWriter::Impl::Impl() : level(kDeflateLevel) {}

XlsxWriter::Impl::~Impl()
{
    if (state == State::Open) discard();
}

Error XlsxWriter::Impl::check() const
{
    switch (state) {
    case State::Open: return {};
    case State::Failed: return failure;
    case State::Committed:
        return Error(ErrorKind::Io, "The workbook " + inQuotes(detail::utf8(target)) + " is already written; a writer writes one file.");
    case State::Cancelled: return Error(ErrorKind::Io, "Writing " + inQuotes(detail::utf8(target)) + " was cancelled.");
    }
    return {};
}

void XlsxWriter::Impl::discard()
{
    if (file) {
        std::fclose(file);
        file = nullptr;
    }
    std::error_code ec;
    fs::remove(temp, ec);
    release(busyKey);
}

Error XlsxWriter::Impl::fail(int err, const std::string& doing)
{
    discard();
    state = State::Failed;
    failure = Error(detail::kindOfErrno(err), "Cannot " + doing + " " + inQuotes(detail::utf8(target)) + ": " + describe(err) + ".");
    return failure;
}

Error XlsxWriter::Impl::flushXml()
{
    if (xml.size() == 0) return {};
    int e = zip.write(xml.view());
    xml.clear();
    return e ? fail(e, "write") : Error();
}

Error XlsxWriter::Impl::endSheet()
{
    xml.append(kSheetTail);
    if (Error e = flushXml()) return e;
    if (int e = zip.end()) return fail(e, "write");
    inSheet = false;
    return {};
}

// What the parts written by commit() add to the file at most, the central directory included.
uint64_t XlsxWriter::Impl::closingCost() const
{
    using detail::ZipWriter;
    const std::string relsTail = "<Relationship Id=\"rId999999\" Type=\"" + std::string(kRelNs) +
                                 "/styles\" Target=\"styles.xml\"/></Relationships>";
    return ZipWriter::partCost(typesHead().size() + types.size() + kTypesTail.size(), 19) +
           ZipWriter::partCost(rootRels().size(), 11) +
           ZipWriter::partCost(bookHead().size() + bookSheets.size() + kBookTail.size(), 15) +
           ZipWriter::partCost(bookRelsHead().size() + bookRels.size() + relsTail.size(), 26) +
           ZipWriter::partCost(styles().size(), 13);
}

// ---- XlsxWriter ----

XlsxWriter::XlsxWriter(std::unique_ptr<Impl> impl) : m_impl(std::move(impl)) {}
XlsxWriter::XlsxWriter(XlsxWriter&&) noexcept = default;
XlsxWriter& XlsxWriter::operator=(XlsxWriter&& other) noexcept
{
    if (this != &other) {
        cancel();
        m_impl = std::move(other.m_impl);
    }
    return *this;
}
XlsxWriter::~XlsxWriter() { cancel(); }

namespace {
Error movedFrom() { return Error(ErrorKind::Io, "This workbook writer was moved from; it writes nothing."); }
Error outOfMemory() { return Error(ErrorKind::OutOfMemory, "Not enough memory to write the workbook."); }
} // namespace

Result<XlsxWriter> XlsxWriter::create(const std::filesystem::path& path)
{
    try {
        if (path.empty()) return Error(ErrorKind::NoPath, "No file name was given for the workbook.");
        std::error_code ec;
        if (fs::is_directory(fs::path(path), ec))
            return Error(ErrorKind::NotAFile, "Cannot write " + inQuotes(detail::utf8(path)) + ": it is a folder.");
        auto impl = std::make_unique<Impl>();
        impl->state = Impl::State::Cancelled; // nothing of ours to remove until the file is open
        impl->target = path;
        fs::path key = fs::absolute(path, ec);
        std::string busyKey = detail::utf8(ec ? path : key.lexically_normal());
        {
            std::lock_guard<std::mutex> lock(g_busyMutex);
            if (!g_busy.insert(busyKey).second)
                return Error(ErrorKind::InUse, "Cannot write " + inQuotes(detail::utf8(path)) + ": another write to it is under way.");
        }
        impl->busyKey = busyKey;
        Result<TemporaryFile> temporary = createTemporaryFor(path);
        if (!temporary) {
            release(impl->busyKey);
            return temporary.error();
        }
        impl->temp = temporary->path;
        impl->file = temporary->file;
        impl->state = Impl::State::Open;
        impl->zip.attach(impl->file);
        impl->closing = impl->closingCost();
        return XlsxWriter(std::move(impl));
    } catch (const std::bad_alloc&) {
        return outOfMemory();
    }
}

const std::filesystem::path& XlsxWriter::path() const
{
    static const std::filesystem::path none;
    return m_impl ? m_impl->target : none;
}
std::size_t XlsxWriter::sheetCount() const { return m_impl ? m_impl->names.size() : 0; }
int XlsxWriter::rowCount() const { return m_impl && m_impl->inSheet ? m_impl->rows : 0; }

Error XlsxWriter::addSheet(std::string_view name)
{
    if (!m_impl) return movedFrom();
    Impl& w = *m_impl;
    if (Error e = w.check()) return e;
    try {
        if (Error e = Workbook::checkSheetName(name)) return e;
        for (const std::string& other : w.names)
            if (detail::sameSheetName(other, name))
                return Error(ErrorKind::DuplicateSheetName, "The worksheet name " + inQuotes(name) + " is already used in this workbook.");
        if (w.names.size() >= kMaxSheets)
            return Error(ErrorKind::TooLarge, "An .xlsx workbook written by this program holds at most " +
                                                  std::to_string(kMaxSheets) + " worksheets.");
        const bool first = w.names.empty();
        const std::string number = std::to_string(w.names.size() + 1);
        const std::string part = "xl/worksheets/sheet" + number + ".xml";
        const std::string head = sheetHead(first);
        const std::string escaped = escapedAttribute(name);
        std::string bookEntry = "<sheet name=\"" + escaped + "\" sheetId=\"" + number + "\" r:id=\"rId" + number + "\"/>";
        std::string relEntry = "<Relationship Id=\"rId" + number + "\" Type=\"" + std::string(kRelNs) +
                               "/worksheet\" Target=\"worksheets/sheet" + number + ".xml\"/>";
        std::string typeEntry = "<Override PartName=\"/" + part +
                                "\" ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml\"/>";

        // The file must hold the end of the current worksheet, this one, and what commit() adds.
        const uint64_t endOfCurrent = w.inSheet ? w.zip.bound(w.xml.size() + kSheetTail.size()) : w.zip.bound(0);
        const uint64_t closing = w.closing + bookEntry.size() + relEntry.size() + typeEntry.size() + 64;
        if (endOfCurrent + detail::ZipWriter::partCost(head.size() + kSheetTail.size(), part.size()) + closing > w.limit)
            return Error(ErrorKind::TooLarge, "No room for another worksheet: an .xlsx file is limited to 4 GB.");

        if (w.inSheet)
            if (Error e = w.endSheet()) return e;
        if (first) w.zip.setLevel(w.level);
        if (int e = w.zip.begin(part)) return w.fail(e, "write");
        w.xml.append(head);
        w.bookSheets += bookEntry;
        w.bookRels += relEntry;
        w.types += typeEntry;
        w.names.emplace_back(name);
        w.closing = w.closingCost();
        w.inSheet = true;
        w.rows = 0;
        return {};
    } catch (const std::bad_alloc&) {
        return outOfMemory();
    }
}

Error XlsxWriter::writeRow(std::span<const CellValue> cells)
{
    if (!m_impl) return movedFrom();
    Impl& w = *m_impl;
    if (Error e = w.check()) return e;
    try {
        return w.writeRow(cells);
    } catch (const std::bad_alloc&) {
        w.discard();
        w.state = Impl::State::Failed;
        w.failure = outOfMemory();
        return w.failure;
    }
}

Error XlsxWriter::Impl::writeRow(std::span<const CellValue> cells)
{
    Impl& w = *this;
    if (!w.inSheet) return Error(ErrorKind::OutOfRange, "There is no worksheet to write the row into: add one first.");
    const std::string& sheet = w.names.back();
    if (w.rows >= kXlsxMaxRows)
        return Error(ErrorKind::TooLarge, "The worksheet " + inQuotes(sheet) + " is full: an .xlsx worksheet has at most 1,048,576 rows.");
    if (cells.size() > size_t(kXlsxMaxColumns))
        return Error(ErrorKind::TooLarge, "A row of " + std::to_string(cells.size()) +
                                              " cells is too long: an .xlsx worksheet has at most 16,384 columns.");
    const int row = w.rows + 1;

    // Everything is checked before anything is written: a refused row leaves no trace.
    uint64_t bound = 32; // <row r="..."></row>
    bool any = false;
    for (size_t c = 0; c < cells.size(); ++c) {
        const CellKind kind = cells[c].kind();
        if (kind == CellKind::Empty) continue;
        any = true;
        bound += kCellMarkup; // the cell's markup, reference and number
        if (kind != CellKind::Text) continue;
        std::string_view text = cells[c].text();
        size_t units = 0;
        if (!validCellText(text, units))
            return Error(ErrorKind::BadText, "The text for cell (" + std::to_string(row) + ", " + std::to_string(c + 1) +
                                                 ") is not valid UTF-8.");
        if (units > kMaxCellText)
            return Error(ErrorKind::BadText, "The text for cell (" + std::to_string(row) + ", " + std::to_string(c + 1) +
                                                 ") has " + std::to_string(units) + " characters; a cell holds at most 32,767.");
        bound += kEscapeGrowth * text.size();
    }
    if (!any) { // an empty row is a row number skipped
        w.rows = row;
        return {};
    }
    const uint64_t more = w.xml.size() + bound + kSheetTail.size();
    if (w.zip.partSize() + more > w.limit || w.zip.bound(more) + w.closing > w.limit)
        return Error(ErrorKind::TooLarge, "The row " + std::to_string(row) + " of " + inQuotes(sheet) +
                                              " was not written: it would take the workbook beyond 4 GB, the most an .xlsx file holds.");

    {
        char rowText[16];
        const auto rowEnd = std::to_chars(rowText, rowText + sizeof rowText, row).ptr;
        const size_t rowLen = size_t(rowEnd - rowText);
        const auto& columns = columnNames();

        char* out = w.xml.room(32);
        out = put(out, "<row r=\"");
        std::memcpy(out, rowText, rowLen);
        out += rowLen;
        out = put(out, "\">");
        w.xml.commit(out);
        for (size_t c = 0; c < cells.size(); ++c) {
            const CellValue& cell = cells[c];
            const CellKind kind = cell.kind();
            if (kind == CellKind::Empty) continue;
            const size_t textSize = kind == CellKind::Text ? cell.text().size() : 0;
            out = w.xml.room(kCellMarkup + kEscapeGrowth * textSize);
            out = put(out, "<c r=\"");
            std::memcpy(out, columns[c].text, columns[c].length);
            out += columns[c].length;
            std::memcpy(out, rowText, rowLen);
            out += rowLen;
            if (kind == CellKind::Text) {
                std::string_view text = cell.text();
                out = isXmlSpace(text.front()) || isXmlSpace(text.back())
                        ? put(out, "\" t=\"inlineStr\"><is><t xml:space=\"preserve\">")
                        : put(out, "\" t=\"inlineStr\"><is><t>");
                out = escapeText(out, text, false);
                out = put(out, "</t></is></c>");
            } else if (std::isfinite(cell.number())) {
                out = put(out, "\"><v>");
                const double v = cell.number() == 0 ? 0.0 : cell.number(); // no negative zero in a spreadsheet
                out = std::to_chars(out, out + 32, v).ptr;
                out = put(out, "</v></c>");
            } else {
                out = put(out, "\" t=\"e\"><v>#NUM!</v></c>");
            }
            w.xml.commit(out);
            if (w.xml.size() >= kXmlPiece)
                if (Error e = w.flushXml()) return e;
        }
        w.xml.append("</row>");
        w.rows = row;
        if (w.xml.size() >= kXmlPiece)
            if (Error e = w.flushXml()) return e;
        return {};
    }
}

Error XlsxWriter::commit()
{
    if (!m_impl) return movedFrom();
    Impl& w = *m_impl;
    if (Error e = w.check()) return e;
    try {
        if (w.names.empty())
            if (Error e = addSheet("Sheet1")) return e;
        if (w.inSheet)
            if (Error e = w.endSheet()) return e;
        const std::string relsTail = "<Relationship Id=\"rId" + std::to_string(w.names.size() + 1) + "\" Type=\"" +
                                     std::string(kRelNs) + "/styles\" Target=\"styles.xml\"/></Relationships>";
        const std::pair<std::string_view, std::string> parts[] = {
            {"[Content_Types].xml", typesHead() + w.types + std::string(kTypesTail)},
            {"_rels/.rels", rootRels()},
            {"xl/workbook.xml", bookHead() + w.bookSheets + std::string(kBookTail)},
            {"xl/_rels/workbook.xml.rels", bookRelsHead() + w.bookRels + relsTail},
            {"xl/styles.xml", styles()},
        };
        for (const auto& [name, content] : parts) {
            int e = w.zip.begin(name);
            if (!e) e = w.zip.write(content);
            if (!e) e = w.zip.end();
            if (e) return w.fail(e, "write");
        }
        if (int e = w.zip.finish()) return w.fail(e, "write");
        errno = 0;
        if (std::fflush(w.file) != 0) return w.fail(errno ? errno : EIO, "write");
#ifdef _WIN32
        if (_commit(_fileno(w.file)) != 0) return w.fail(errno ? errno : EIO, "write");
#else
        if (fsync(fileno(w.file)) != 0) return w.fail(errno ? errno : EIO, "write");
#endif
        std::FILE* f = w.file;
        w.file = nullptr;
        if (std::fclose(f) != 0) return w.fail(errno ? errno : EIO, "write");
        if (Error e = replaceFile(w.temp, w.target)) {
            w.discard();
            w.state = Impl::State::Failed;
            w.failure = e;
            return e;
        }
        release(w.busyKey);
        w.state = Impl::State::Committed;
        return {};
    } catch (const std::bad_alloc&) {
        w.discard();
        w.state = Impl::State::Failed;
        w.failure = outOfMemory();
        return w.failure;
    }
}

void XlsxWriter::cancel()
{
    if (!m_impl || m_impl->state != Impl::State::Open) return;
    m_impl->discard();
    m_impl->state = Impl::State::Cancelled;
}

} // namespace workbook
