#include "bytes.h"
#include "model.h"
#include "system.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

#ifdef _WIN32
#include <io.h>
#include <process.h>
#define KTM_GETPID _getpid
#else
#include <unistd.h>
#define KTM_GETPID getpid
#endif

namespace workbook {

using detail::Cell;
using detail::inQuotes;
using detail::Kind;
using detail::kindOf;
using detail::kindOfErrno;

namespace {

constexpr size_t kMaxFileSize = size_t(1) << 30;
constexpr size_t kMaxCellText = 32767;

char16_t foldCase(char16_t c)
{
    if (c >= u'a' && c <= u'z') return char16_t(c - 32);
    if ((c >= 0xE0 && c <= 0xFE && c != 0xF7)) return char16_t(c - 32);
    if (c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2) return char16_t(c - 32); // Greek
    if (c >= 0x430 && c <= 0x44F) return char16_t(c - 32);               // Cyrillic
    if (c >= 0x450 && c <= 0x45F) return char16_t(c - 80);
    if (c >= 0xFF41 && c <= 0xFF5A) return char16_t(c - 32); // full-width Latin
    return c;
}

} // namespace

bool detail::sameSheetName(std::string_view a, std::string_view b)
{
    auto x = detail::utf8ToUtf16(a), y = detail::utf8ToUtf16(b);
    if (!x || !y || x->size() != y->size()) return false;
    for (size_t i = 0; i < x->size(); ++i)
        if (foldCase((*x)[i]) != foldCase((*y)[i])) return false;
    return true;
}

std::string detail::inQuotes(std::string_view s)
{
    // Built piece by piece: "\"" + std::string(s) + "\"" trips a false -Wrestrict of GCC 12.
    std::string out;
    out.reserve(s.size() + 2);
    out += '"';
    out.append(s);
    out += '"';
    return out;
}

std::string detail::utf8(const std::filesystem::path& path)
{
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

std::FILE* detail::openFile(const std::filesystem::path& path, const char* mode)
{
#ifdef _WIN32
    std::wstring wideMode;
    for (const char* m = mode; *m; ++m) wideMode += wchar_t(*m);
    return _wfopen(path.c_str(), wideMode.c_str());
#else
    return std::fopen(path.c_str(), mode);
#endif
}

ErrorKind detail::kindOfErrno(int err)
{
    switch (err) {
    case ENOENT:
    case ENOTDIR:
        return ErrorKind::NotFound;
    case EISDIR:
        return ErrorKind::NotAFile;
    case EACCES:
    case EPERM:
    case EROFS:
        return ErrorKind::AccessDenied;
    case EBUSY:
#ifdef ETXTBSY
    case ETXTBSY:
#endif
        return ErrorKind::InUse;
    case EFBIG:
        return ErrorKind::TooLarge;
    case ENOSPC:
#ifdef EDQUOT
    case EDQUOT:
#endif
        return ErrorKind::DiskFull;
    case ENOMEM:
        return ErrorKind::OutOfMemory;
    default:
        return ErrorKind::Io;
    }
}

ErrorKind errorKindOfErrno(int err) { return detail::kindOfErrno(err); }

ErrorKind detail::kindOf(const std::error_code& ec)
{
#ifdef _WIN32
    if (ec.category() == std::system_category()) {
        switch (ec.value()) {
        case 32: // ERROR_SHARING_VIOLATION
        case 33: // ERROR_LOCK_VIOLATION
            return ErrorKind::InUse;
        case 39:  // ERROR_HANDLE_DISK_FULL
        case 112: // ERROR_DISK_FULL
            return ErrorKind::DiskFull;
        default:
            break;
        }
    }
#endif
    const std::error_condition c = ec.default_error_condition();
    return c.category() == std::generic_category() ? kindOfErrno(c.value()) : ErrorKind::Io;
}

std::string detail::errorText(uint8_t code)
{
    switch (code) {
    case 0x00: return "#NULL!";
    case 0x07: return "#DIV/0!";
    case 0x0F: return "#VALUE!";
    case 0x17: return "#REF!";
    case 0x1D: return "#NAME?";
    case 0x24: return "#NUM!";
    case 0x2A: return "#N/A";
    default: return "#N/A";
    }
}

// ---- model helpers ----

const Cell* Sheet::Impl::find(int row0, int col0) const
{
    if (row0 < 0 || size_t(row0) >= rows.size()) return nullptr;
    const auto& cells = rows[size_t(row0)].cells;
    auto it = std::lower_bound(cells.begin(), cells.end(), col0, [](const Cell& c, int col) { return c.col < col; });
    return (it != cells.end() && it->col == col0) ? &*it : nullptr;
}

Cell& Sheet::Impl::cellAt(int row0, int col0)
{
    if (rows.size() <= size_t(row0)) rows.resize(size_t(row0) + 1);
    auto& cells = rows[size_t(row0)].cells;
    if (cells.empty() || cells.back().col < col0) {
        if (cells.empty()) cells.reserve(4);
        Cell c;
        c.col = uint16_t(col0);
        c.xf = book->defaultXf;
        cells.push_back(c);
        return cells.back();
    }
    auto it = std::lower_bound(cells.begin(), cells.end(), col0, [](const Cell& c, int col) { return c.col < col; });
    if (it != cells.end() && it->col == col0) return *it;
    Cell c;
    c.col = uint16_t(col0);
    c.xf = book->defaultXf;
    return *cells.insert(it, c);
}

Error Sheet::Impl::checkPosition(int row, int column) const
{
    if (book->readOnly) return Error(ErrorKind::ReadOnly, book->readOnlyReason);
    if (row < 1 || row > maxRows)
        return Error(ErrorKind::OutOfRange, "Row " + std::to_string(row) + " is outside the worksheet: an .xls worksheet has rows 1 to " +
                                                std::to_string(maxRows) + ".");
    if (column < 1 || column > maxColumns)
        return Error(ErrorKind::OutOfRange, "Column " + std::to_string(column) +
                                                " is outside the worksheet: an .xls worksheet has columns 1 to " + std::to_string(maxColumns) +
                                                ".");
    return {};
}

void WorkbookData::rebuildSheetList()
{
    sheets.clear();
    for (auto& s : slots)
        if (s.sheet) sheets.push_back(s.sheet.get());
}

uint32_t detail::StringPool::append(std::string_view s, uint32_t hash)
{
    m_spans.push_back({m_arena.size(), uint32_t(s.size()), hash});
    m_arena.append(s);
    return uint32_t(m_spans.size() - 1);
}

void detail::StringPool::grow()
{
    std::vector<uint32_t> table(m_table.empty() ? 1024 : m_table.size() * 2, 0);
    size_t mask = table.size() - 1;
    for (uint32_t e : m_table) {
        if (!e) continue;
        size_t i = m_spans[e - 1].hash & mask;
        while (table[i]) i = (i + 1) & mask;
        table[i] = e;
    }
    m_table.swap(table);
}

uint32_t detail::StringPool::intern(std::string_view s)
{
    if ((m_used + 1) * 2 > m_table.size()) grow();
    uint32_t h = uint32_t(std::hash<std::string_view>()(s));
    size_t mask = m_table.size() - 1;
    size_t i = h & mask;
    while (uint32_t e = m_table[i]) {
        const Span& sp = m_spans[e - 1];
        if (sp.hash == h && sp.len == s.size() && std::memcmp(m_arena.data() + sp.off, s.data(), s.size()) == 0)
            return e - 1;
        i = (i + 1) & mask;
    }
    uint32_t idx = append(s, h);
    m_table[i] = idx + 1;
    ++m_used;
    return idx;
}

uint32_t detail::StringPool::addRich(std::string_view s, RichTail tail)
{
    if (tail.runs.empty() && tail.ext.empty()) return intern(s);
    uint32_t idx = append(s, 0);
    m_rich.emplace(idx, std::move(tail));
    return idx;
}

const detail::RichTail* detail::StringPool::rich(uint32_t i) const
{
    if (m_rich.empty()) return nullptr;
    auto it = m_rich.find(i);
    return it == m_rich.end() ? nullptr : &it->second;
}

Error WorkbookData::checkName(std::string_view name, const void* except) const
{
    if (Error e = Workbook::checkSheetName(name)) return e;
    for (const auto& slot : slots) {
        const void* who = slot.sheet ? static_cast<const void*>(slot.sheet.get()) : slot.other.get();
        if (who == except) continue;
        const std::string& other = slot.sheet ? slot.sheet->name() : slot.other->name;
        if (detail::sameSheetName(other, name))
            return Error(ErrorKind::DuplicateSheetName, "The worksheet name " + inQuotes(name) + " is already used in this workbook.");
    }
    return {};
}

std::unique_ptr<Sheet> detail::makeSheet(WorkbookData& wb, std::string name)
{
    auto impl = std::make_unique<Sheet::Impl>();
    impl->book = &wb;
    impl->name = std::move(name);
    return std::make_unique<Sheet>(std::move(impl));
}

// ---- Sheet ----

Sheet::Sheet(std::unique_ptr<Impl> impl) : m_impl(std::move(impl)) {}
Sheet::~Sheet() = default;

const std::string& Sheet::name() const { return m_impl->name; }

std::string Sheet::text(int row, int column) const
{
    const Cell* c = m_impl->find(row - 1, column - 1);
    if (!c) return {};
    switch (c->kind) {
    case Kind::Text: return std::string(m_impl->book->pool.view(m_impl->textOf(*c)));
    case Kind::Number: return detail::formatNumber(m_impl->numberOf(*c));
    case Kind::Boolean: return c->small ? "TRUE" : "FALSE";
    case Kind::ErrorCode: return detail::errorText(c->small);
    case Kind::Blank: return {};
    }
    return {};
}

CellKind Sheet::kind(int row, int column) const
{
    const Cell* c = m_impl->find(row - 1, column - 1);
    if (!c) return CellKind::Empty;
    switch (c->kind) {
    case Kind::Text: return CellKind::Text;
    case Kind::Number: return CellKind::Number;
    case Kind::Boolean: return CellKind::Boolean;
    case Kind::ErrorCode: return CellKind::ErrorCode;
    case Kind::Blank: return CellKind::Empty;
    }
    return CellKind::Empty;
}

std::optional<double> Sheet::number(int row, int column) const
{
    const Cell* c = m_impl->find(row - 1, column - 1);
    if (!c || c->kind != Kind::Number) return std::nullopt;
    return m_impl->numberOf(*c);
}

Error Sheet::setText(int row, int column, std::string_view utf8)
{
    if (Error e = m_impl->checkPosition(row, column)) return e;
    auto units = detail::validUtf8Units(utf8);
    if (!units) return Error(ErrorKind::BadText, "The text for cell (" + std::to_string(row) + ", " + std::to_string(column) +
                                                     ") is not valid UTF-8.");
    if (*units > kMaxCellText)
        return Error(ErrorKind::BadText, "The text for cell (" + std::to_string(row) + ", " + std::to_string(column) + ") has " +
                                             std::to_string(*units) + " characters; a cell holds at most 32,767.");
    uint32_t idx = m_impl->book->intern(utf8);
    Cell& c = m_impl->cellAt(row - 1, column - 1);
    c.formula = false;
    c.kind = Kind::Text;
    c.idx = idx;
    return {};
}

Error Sheet::setNumber(int row, int column, double value)
{
    if (Error e = m_impl->checkPosition(row, column)) return e;
    Cell& c = m_impl->cellAt(row - 1, column - 1);
    c.formula = false;
    if (std::isfinite(value)) {
        c.kind = Kind::Number;
        c.num = value;
    } else {
        c.kind = Kind::ErrorCode; // spreadsheets have no infinities or NaN
        c.small = 0x24;
    }
    return {};
}

Error Sheet::setColumnWidth(int column, int width256)
{
    if (Error e = m_impl->checkPosition(1, column)) return e;
    if (width256 < 0 || width256 > 0xFFFF) return Error(ErrorKind::OutOfRange, "A column width must be between 0 and 65535.");
    struct Range {
        uint16_t first, last;
        std::string rec;
    };
    std::vector<Range> ranges;
    auto& prefix = m_impl->prefix;
    size_t insertAt = std::string::npos;
    for (size_t i = 0; i < prefix.size();) {
        uint16_t t = detail::rd16(prefix[i], 0);
        if (t == 0x007D && prefix[i].size() >= 16) {
            if (insertAt == std::string::npos) insertAt = i;
            ranges.push_back({detail::rd16(prefix[i], 4), detail::rd16(prefix[i], 6), prefix[i]});
            prefix.erase(prefix.begin() + long(i));
            continue;
        }
        if (t == 0x0200 && insertAt == std::string::npos) insertAt = i;
        ++i;
    }
    if (insertAt == std::string::npos) insertAt = prefix.size();
    uint16_t c0 = uint16_t(column - 1);
    std::string base;
    std::vector<Range> out;
    for (auto& r : ranges) {
        if (c0 < r.first || c0 > r.last) {
            out.push_back(r);
            continue;
        }
        base = r.rec;
        if (r.first < c0) {
            Range a = r;
            a.last = uint16_t(c0 - 1);
            detail::set16(a.rec, 6, a.last);
            out.push_back(a);
        }
        if (r.last > c0) {
            Range b = r;
            b.first = uint16_t(c0 + 1);
            detail::set16(b.rec, 4, b.first);
            out.push_back(b);
        }
    }
    if (base.empty()) {
        base = std::string("\x7D\x00\x0C\x00", 4);
        base.append(12, '\0');
        detail::set16(base, 10, m_impl->book->defaultXf);
    }
    detail::set16(base, 4, c0);
    detail::set16(base, 6, c0);
    detail::set16(base, 8, unsigned(width256));
    detail::set16(base, 12, detail::rd16(base, 12) | 0x0002); // width set by the user
    out.push_back({c0, c0, base});
    std::sort(out.begin(), out.end(), [](const Range& a, const Range& b) { return a.first < b.first; });
    for (size_t i = 0; i < out.size(); ++i) prefix.insert(prefix.begin() + long(insertAt + i), out[i].rec);
    return {};
}

void Sheet::forEachCell(const std::function<void(int, int, const std::string&)>& visit) const
{
    for (size_t r = 0; r < m_impl->rows.size(); ++r) {
        for (const Cell& c : m_impl->rows[r].cells) {
            if (c.kind == Kind::Blank) continue;
            std::string t = text(int(r) + 1, c.col + 1);
            if (!t.empty()) visit(int(r) + 1, c.col + 1, t);
        }
    }
}

int Sheet::lastRow() const
{
    for (size_t r = m_impl->rows.size(); r > 0; --r)
        if (!m_impl->rows[r - 1].cells.empty()) return int(r);
    return 0;
}

// ---- Workbook ----

Workbook::Workbook(std::unique_ptr<WorkbookData> data) : m_data(std::move(data)) {}
Workbook::Workbook(Workbook&&) noexcept = default;
Workbook& Workbook::operator=(Workbook&&) noexcept = default;
Workbook::~Workbook() = default;

Result<Workbook> Workbook::openBytes(std::string_view bytes)
{
    try {
        Result<std::unique_ptr<WorkbookData>> r = Error(ErrorKind::NotAWorkbook, "The file is empty.");
        if (bytes.size() >= 8 && bytes.substr(0, 8) == cfb::kSignature) r = detail::readXls(bytes);
        else if (bytes.size() >= 4 && bytes.substr(0, 4) == std::string_view("PK\x03\x04", 4)) r = detail::readXlsx(bytes);
        else if (!bytes.empty()) r = Error(ErrorKind::NotAWorkbook, "The file is not an Excel workbook (.xls or .xlsx).");
        if (!r) return r.error();
        return Workbook(std::move(r.value()));
    } catch (const std::bad_alloc&) {
        return Error(ErrorKind::OutOfMemory, "The workbook is too large to open (out of memory).");
    } catch (const std::exception& e) {
        return Error(ErrorKind::Damaged, std::string("The workbook could not be read: ") + e.what());
    }
}

Result<Workbook> Workbook::open(const std::filesystem::path& path)
{
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec))
        return Error(ErrorKind::NotAFile, "Cannot open " + inQuotes(detail::utf8(path)) + ": it is a folder, not a workbook file.");
    std::ifstream in(path, std::ios::binary);
    if (!in) return Error(kindOfErrno(errno), "Cannot open " + inQuotes(detail::utf8(path)) + ": " + std::strerror(errno) + ".");
    in.seekg(0, std::ios::end);
    std::streamoff size = in.tellg();
    if (size < 0) return Error(ErrorKind::Io, "Cannot read " + inQuotes(detail::utf8(path)) + ".");
    if (size_t(size) > kMaxFileSize) return Error(ErrorKind::TooLarge, "The file " + inQuotes(detail::utf8(path)) + " is too large for a workbook.");
    in.seekg(0);
    std::string bytes(size_t(size), '\0');
    if (!in.read(bytes.data(), size)) return Error(ErrorKind::Io, "Cannot read " + inQuotes(detail::utf8(path)) + ".");
    auto r = openBytes(bytes);
    if (!r) return r.error();
    r->m_data->path = path;
    return r;
}

Result<Workbook> Workbook::createXls(std::string_view firstSheetName)
{
    if (Error e = checkSheetName(firstSheetName)) return e;
    return Workbook(detail::newXls(firstSheetName));
}

Format Workbook::format() const { return m_data->format; }
bool Workbook::readOnly() const { return m_data->readOnly; }
const std::filesystem::path& Workbook::path() const { return m_data->path; }
std::size_t Workbook::sheetCount() const { return m_data->sheets.size(); }
Sheet& Workbook::sheet(std::size_t index) { return *m_data->sheets.at(index); }
const Sheet& Workbook::sheet(std::size_t index) const { return *m_data->sheets.at(index); }

std::optional<std::size_t> Workbook::indexOf(std::string_view name) const
{
    for (size_t i = 0; i < m_data->sheets.size(); ++i)
        if (detail::sameSheetName(m_data->sheets[i]->name(), name)) return i;
    return std::nullopt;
}

Sheet* Workbook::findSheet(std::string_view name)
{
    auto i = indexOf(name);
    return i ? m_data->sheets[*i] : nullptr;
}

Error Workbook::checkSheetName(std::string_view name)
{
    auto u = detail::utf8ToUtf16(name);
    if (!u) return Error(ErrorKind::BadSheetName, "A worksheet name must be valid text (UTF-8).");
    if (u->empty()) return Error(ErrorKind::BadSheetName, "A worksheet name cannot be empty.");
    if (u->size() > 31)
        return Error(ErrorKind::BadSheetName, "The worksheet name " + inQuotes(name) + " is too long: at most 31 characters are allowed.");
    for (char16_t c : *u) {
        if (c == u':' || c == u'\\' || c == u'/' || c == u'?' || c == u'*' || c == u'[' || c == u']')
            return Error(ErrorKind::BadSheetName, "The worksheet name " + inQuotes(name) + " contains a character that is not allowed (: \\ / ? * [ ]).");
        if (c < 0x20) return Error(ErrorKind::BadSheetName, "The worksheet name " + inQuotes(name) + " contains a control character.");
    }
    if (u->front() == u'\'' || u->back() == u'\'')
        return Error(ErrorKind::BadSheetName, "The worksheet name " + inQuotes(name) + " cannot begin or end with an apostrophe.");
    if (detail::sameSheetName(name, "History")) return Error(ErrorKind::BadSheetName, "\"History\" is reserved and cannot name a worksheet.");
    return {};
}

std::string Workbook::cleanSheetName(std::string_view name)
{
    std::u16string u = detail::utf8ToUtf16(name).value_or(std::u16string());
    if (u.empty() && !name.empty()) {
        // Not UTF-8: keep the ASCII and let every other byte stand for one forbidden character.
        for (unsigned char c : name) u.push_back(c < 0x80 ? char16_t(c) : u'-');
    }
    for (char16_t& c : u)
        if (c == u':' || c == u'\\' || c == u'/' || c == u'?' || c == u'*' || c == u'[' || c == u']' || c < 0x20)
            c = u'-';
    if (u.size() > 31) {
        size_t cut = 31;
        if (u[cut - 1] >= 0xD800 && u[cut - 1] <= 0xDBFF) --cut; // keep a surrogate pair whole
        u.resize(cut);
    }
    if (!u.empty() && u.front() == u'\'') u.front() = u'-';
    if (!u.empty() && u.back() == u'\'') u.back() = u'-';
    return detail::utf16ToUtf8(u);
}

Error Workbook::rename(std::size_t index, std::string_view name)
{
    if (m_data->readOnly) return Error(ErrorKind::ReadOnly, m_data->readOnlyReason);
    if (index >= m_data->sheets.size()) return Error(ErrorKind::OutOfRange, "There is no worksheet number " + std::to_string(index + 1) + ".");
    Sheet* s = m_data->sheets[index];
    if (Error e = m_data->checkName(name, s)) return e;
    s->impl().name = std::string(name);
    return {};
}

namespace {

// A sheet inserted at position `k` (0-based, among all sheets) moves every later sheet up by one:
// local defined names (NAME.itab, 1-based) and references into this workbook (EXTERNSHEET entries
// of the internal SUPBOOK, 0-based) follow them, as the spreadsheet applications do.
void shiftSheetReferences(WorkbookData& wb, size_t k)
{
    int supbook = -1, internal = -1;
    for (auto& item : wb.globals) {
        if (item.kind != detail::GlobalItemKind::Raw || item.bytes.size() < 4) continue;
        std::string& r = item.bytes;
        uint16_t type = detail::rd16(r, 0);
        size_t len = detail::rd16(r, 2);
        if (type == 0x01AE) { // SUPBOOK
            ++supbook;
            if (len == 4 && detail::rd16(r, 6) == 0x0401) {
                internal = supbook;
                detail::set16(r, 4, detail::rd16(r, 4) + 1); // sheet count
            }
        } else if (type == 0x0018 && len >= 10) { // NAME
            uint16_t itab = detail::rd16(r, 12);
            if (itab != 0 && size_t(itab - 1) >= k) detail::set16(r, 12, itab + 1);
        } else if (type == 0x0017 && len >= 2 && internal >= 0) { // EXTERNSHEET
            size_t count = detail::rd16(r, 4);
            for (size_t i = 0; i < count && 4 + 2 + 6 * (i + 1) <= r.size(); ++i) {
                size_t at = 6 + 6 * i;
                if (detail::rd16(r, at) != internal) continue;
                for (size_t f : {at + 2, at + 4}) {
                    uint16_t tab = detail::rd16(r, f);
                    if (tab < 0xFFFE && tab >= k) detail::set16(r, f, tab + 1);
                }
            }
        }
    }
}

} // namespace

Result<Sheet*> Workbook::addSheetAfter(std::size_t index, std::string_view name)
{
    if (m_data->readOnly) return Error(ErrorKind::ReadOnly, m_data->readOnlyReason);
    if (index >= m_data->sheets.size()) return Error(ErrorKind::OutOfRange, "There is no worksheet number " + std::to_string(index + 1) + ".");
    if (m_data->slots.size() >= 0xFFFF) return Error(ErrorKind::TooLarge, "The workbook holds too many sheets.");
    if (Error e = m_data->checkName(name, nullptr)) return e;
    Sheet* after = m_data->sheets[index];
    size_t slotIndex = 0;
    while (m_data->slots[slotIndex].sheet.get() != after) ++slotIndex;
    SheetSlot slot;
    slot.sheet = detail::newWorksheet(*m_data, name, false);
    Sheet* made = slot.sheet.get();
    m_data->slots.insert(m_data->slots.begin() + long(slotIndex + 1), std::move(slot));
    shiftSheetReferences(*m_data, slotIndex + 1);
    uint16_t maxId = 0;
    for (uint16_t id : m_data->tabIds) maxId = std::max(maxId, id);
    m_data->tabIds.insert(m_data->tabIds.begin() + long(std::min(slotIndex + 1, m_data->tabIds.size())),
                          uint16_t(maxId + 1));
    m_data->rebuildSheetList();
    return made;
}

Result<std::string> Workbook::toBytes() const
{
    if (m_data->readOnly) return Error(ErrorKind::ReadOnly, m_data->readOnlyReason);
    try {
        auto stream = detail::writeXls(*m_data);
        if (!stream) return stream.error();
        return cfb::write(m_data->container, m_data->workbookEntry, stream.value());
    } catch (const std::bad_alloc&) {
        return Error(ErrorKind::OutOfMemory, "Not enough memory to write the workbook.");
    }
}

Error Workbook::save()
{
    if (m_data->readOnly) return Error(ErrorKind::ReadOnly, m_data->readOnlyReason);
    if (m_data->path.empty()) return Error(ErrorKind::NoPath, "The workbook has no file yet; save it under a name first.");
    return saveAs(m_data->path);
}

Error Workbook::saveAs(const std::filesystem::path& path)
{
    if (m_data->readOnly) return Error(ErrorKind::ReadOnly, m_data->readOnlyReason);
    try {
        auto stream = detail::writeXls(*m_data);
        if (!stream) return stream.error();
        Error e = writeFileAtomically(path, [&](const std::function<void(std::string_view)>& emit) {
            cfb::write(m_data->container, m_data->workbookEntry, stream.value(), emit);
        });
        if (e) return e;
    } catch (const std::bad_alloc&) {
        return Error(ErrorKind::OutOfMemory, "Not enough memory to write the workbook.");
    }
    m_data->path = path;
    return {};
}

Error writeFileAtomically(const std::filesystem::path& path, std::string_view bytes)
{
    return writeFileAtomically(path, [&](const std::function<void(std::string_view)>& emit) { emit(bytes); });
}

Error writeFileAtomically(const std::filesystem::path& path,
                          const std::function<void(const std::function<void(std::string_view)>&)>& produce)
{
    namespace fs = std::filesystem;
    Result<TemporaryFile> temporary = createTemporaryFor(path);
    if (!temporary) return temporary.error();
    const fs::path tmp = temporary->path;
    std::FILE* f = temporary->file;
    int err = 0;
    produce([&](std::string_view piece) {
        if (err == 0 && std::fwrite(piece.data(), 1, piece.size(), f) != piece.size()) err = errno ? errno : EIO;
    });
    if (err == 0 && std::fflush(f) != 0) err = errno ? errno : EIO;
#ifdef _WIN32
    if (err == 0 && _commit(_fileno(f)) != 0) err = errno ? errno : EIO;
#else
    if (err == 0 && fsync(fileno(f)) != 0) err = errno ? errno : EIO;
#endif
    if (std::fclose(f) != 0 && err == 0) err = errno ? errno : EIO;
    if (err != 0) {
        std::error_code ec;
        fs::remove(tmp, ec);
        return Error(kindOfErrno(err), "Cannot write " + inQuotes(detail::utf8(path)) + ": " + std::strerror(err) + ".");
    }
    Error replaced = replaceFile(tmp, path);
    if (replaced) {
        std::error_code ec;
        fs::remove(tmp, ec);
    }
    return replaced;
}

Error replaceFile(const std::filesystem::path& from, const std::filesystem::path& to)
{
    namespace fs = std::filesystem;
    if (Error e = checkReplaceable(to)) return e;
    std::error_code ec;
    fs::file_status old = fs::status(to, ec);
    if (!ec && fs::is_regular_file(old)) fs::permissions(from, old.permissions(), ec);
    ec.clear();
    fs::rename(from, to, ec);
    if (ec) return Error(kindOf(ec), "Cannot replace " + inQuotes(detail::utf8(to)) + ": " + ec.message() + ".");
    return {};
}

} // namespace workbook
