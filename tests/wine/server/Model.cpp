// The .xls workbooks go through the workbook engine (its BIFF8 part). Every other workbook file
// is UTF-8 text, one record a line, fields separated by TAB:
//   sheet <TAB> NAME
//   cell <TAB> ROW <TAB> COLUMN <TAB> t <TAB> TEXT
//   cell <TAB> ROW <TAB> COLUMN <TAB> n <TAB> NUMBER
// Cells belong to the sheet above them. In names and texts a backslash, TAB, LF and CR are
// written \\ \t \n \r so that a record stays on one line. An empty file holds one empty Sheet1.
// Files are opened by their wide path, since the tests use paths outside any ANSI code page.
#include "Model.h"

#include <windows.h>
#include <workbook/workbook.h>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string_view>

namespace sheets {

bool sameName(const std::wstring& a, const std::wstring& b)
{
    return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

bool nameAllowed(const Book& book, const Sheet* self, const std::wstring& name)
{
    if (name.empty() || name.size() > 31 || name.find_first_of(L":\\/?*[]") != std::wstring::npos)
        return false;
    for (const auto& sheet : book.sheets)
        if (sheet.get() != self && sameName(sheet->name, name))
            return false;
    return true;
}

std::wstring fullPath(const std::wstring& path)
{
    if (path.empty())
        return path;
    DWORD size = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (size == 0)
        return path;
    std::wstring full(size, L'\0');
    size = GetFullPathNameW(path.c_str(), size, full.data(), nullptr);
    if (size == 0 || size >= full.size())
        return path;
    full.resize(size);
    return full;
}

namespace {

std::wstring escape(const std::wstring& s)
{
    std::wstring out;
    out.reserve(s.size());
    for (wchar_t c : s) {
        switch (c) {
        case L'\\': out += L"\\\\"; break;
        case L'\t': out += L"\\t"; break;
        case L'\n': out += L"\\n"; break;
        case L'\r': out += L"\\r"; break;
        default: out += c;
        }
    }
    return out;
}

std::optional<std::wstring> unescape(const std::wstring& s)
{
    std::wstring out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] != L'\\') {
            out += s[i];
            continue;
        }
        if (++i == s.size())
            return std::nullopt;
        switch (s[i]) {
        case L'\\': out += L'\\'; break;
        case L't': out += L'\t'; break;
        case L'n': out += L'\n'; break;
        case L'r': out += L'\r'; break;
        default: return std::nullopt;
        }
    }
    return out;
}

std::optional<std::wstring> fromUtf8(std::string_view s)
{
    if (s.empty())
        return std::wstring();
    const int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, s.data(), static_cast<int>(s.size()), nullptr, 0);
    if (n <= 0)
        return std::nullopt;
    std::wstring out(n, L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, s.data(), static_cast<int>(s.size()), out.data(), n);
    return out;
}

void appendUtf8(std::string& out, const std::wstring& s)
{
    if (s.empty())
        return;
    // A lone surrogate has no UTF-8 form; refusing is better than saving a replacement character.
    const int n = WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, s.data(), static_cast<int>(s.size()), nullptr, 0, nullptr, nullptr);
    if (n <= 0)
        throw Failure{L"text that is not valid UTF-16 cannot be saved: " + s};
    const size_t at = out.size();
    out.resize(at + n);
    WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, s.data(), static_cast<int>(s.size()), out.data() + at, n, nullptr, nullptr);
}

std::vector<std::wstring> split(const std::wstring& line)
{
    std::vector<std::wstring> fields;
    size_t start = 0;
    for (;;) {
        const size_t tab = line.find(L'\t', start);
        fields.push_back(line.substr(start, tab == std::wstring::npos ? std::wstring::npos : tab - start));
        if (tab == std::wstring::npos)
            return fields;
        start = tab + 1;
    }
}

// Plain ASCII of a field, for the number parsers; nullopt if it holds anything else.
std::optional<std::string> ascii(const std::wstring& s)
{
    std::string out;
    for (wchar_t c : s) {
        if (c <= 0 || c >= 0x80)
            return std::nullopt;
        out += static_cast<char>(c);
    }
    return out;
}

std::optional<int> parseIndex(const std::wstring& field, int max)
{
    const auto s = ascii(field);
    if (!s || s->empty() || (*s)[0] < '0' || (*s)[0] > '9')
        return std::nullopt;
    int value = 0;
    const auto [end, ec] = std::from_chars(s->data(), s->data() + s->size(), value);
    if (ec != std::errc() || end != s->data() + s->size() || value < 1 || value > max)
        return std::nullopt;
    return value;
}

// from_chars and to_chars, not strtod and printf: the host process may have set a locale with
// a decimal comma.
std::optional<double> parseNumber(const std::wstring& field)
{
    const auto s = ascii(field);
    if (!s || s->empty())
        return std::nullopt;
    double value = 0;
    const auto [end, ec] = std::from_chars(s->data(), s->data() + s->size(), value);
    if (ec != std::errc() || end != s->data() + s->size() || !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::string formatNumber(double value)
{
    char buf[64];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, 17);
    return ec == std::errc() ? std::string(buf, end) : std::string("0");
}

class Reader {
public:
    Reader(Book& book, const std::wstring& path) : book_(book), path_(path) {}

    void line(std::string_view raw, int number)
    {
        number_ = number;
        if (raw.empty())
            bad(L"empty line");
        const auto text = fromUtf8(raw);
        if (!text)
            bad(L"not UTF-8");
        const auto fields = split(*text);
        if (fields[0] == L"sheet") {
            if (fields.size() != 2)
                bad(L"a sheet record has 2 fields");
            auto sheet = std::make_shared<Sheet>();
            const auto name = unescape(fields[1]);
            if (!name || !nameAllowed(book_, nullptr, *name))
                bad(L"invalid or repeated sheet name");
            sheet->name = *name;
            book_.sheets.push_back(std::move(sheet));
        } else if (fields[0] == L"cell") {
            if (fields.size() != 5)
                bad(L"a cell record has 5 fields");
            if (book_.sheets.empty())
                bad(L"a cell before any sheet");
            const auto row = parseIndex(fields[1], kMaxRow);
            const auto column = parseIndex(fields[2], kMaxColumn);
            if (!row || !column)
                bad(L"row or column out of range");
            Cell cell;
            if (fields[3] == L"t") {
                const auto text = unescape(fields[4]);
                if (!text)
                    bad(L"bad escape in a text");
                cell.isText = true;
                cell.text = *text;
            } else if (fields[3] == L"n") {
                const auto value = parseNumber(fields[4]);
                if (!value)
                    bad(L"not a number");
                cell.number = *value;
            } else {
                bad(L"a cell's type is t or n");
            }
            if (!book_.sheets.back()->cells.emplace(std::make_pair(*row, *column), std::move(cell)).second)
                bad(L"the same cell twice");
        } else {
            bad(L"unknown record");
        }
    }

private:
    [[noreturn]] void bad(const wchar_t* what)
    {
        throw Failure{L"malformed workbook " + path_ + L", line " + std::to_wstring(number_) + L": " + what};
    }

    Book& book_;
    const std::wstring& path_;
    int number_ = 0;
};

std::string utf8(const std::wstring& s)
{
    std::string out;
    appendUtf8(out, s);
    return out;
}

// The engine's texts and descriptions, which are UTF-8.
std::wstring wide(const std::string& s)
{
    if (auto w = fromUtf8(s))
        return *w;
    return L"(a text that is not UTF-8)";
}

[[noreturn]] void refused(const workbook::Error& e) { throw Failure{wide(e.description())}; }

std::size_t xlsIndex(const Book& book, const Sheet& sheet)
{
    for (std::size_t i = 0; i < book.xls->sheetCount(); ++i)
        if (&book.xls->sheet(i) == sheet.xls)
            return i;
    throw Failure{L"the worksheet " + sheet.name + L" is missing from the .xls workbook"};
}

void putXls(workbook::Sheet& ws, int row, int column, const Cell& cell)
{
    if (workbook::Error e = cell.isText ? ws.setText(row, column, utf8(cell.text)) : ws.setNumber(row, column, cell.number))
        refused(e);
}

std::shared_ptr<Book> loadXls(const std::wstring& path)
{
    auto opened = workbook::Workbook::open(std::filesystem::path(path));
    if (!opened)
        throw Failure{L"cannot open the workbook " + path + L": " + wide(opened.error().description())};
    if (opened->format() != workbook::Format::Xls || opened->readOnly())
        throw Failure{L"cannot open the workbook " + path + L": it is not an .xls workbook"};
    auto book = std::make_shared<Book>();
    book->path = path;
    book->xls = std::make_shared<workbook::Workbook>(std::move(*opened));
    for (std::size_t i = 0; i < book->xls->sheetCount(); ++i) {
        workbook::Sheet& ws = book->xls->sheet(i);
        auto sheet = std::make_shared<Sheet>();
        sheet->name = wide(ws.name());
        sheet->xls = &ws;
        // Numbers as numbers; every other value (texts, and booleans and error codes, which this
        // server does not model) as the text the engine gives for it.
        ws.forEachCell([&](int row, int column, const std::string& text) {
            Cell cell;
            if (ws.kind(row, column) == workbook::CellKind::Number) {
                cell.number = ws.number(row, column).value_or(0);
            } else {
                cell.isText = true;
                cell.text = wide(text);
            }
            sheet->cells.emplace(std::make_pair(row, column), std::move(cell));
        });
        book->sheets.push_back(std::move(sheet));
    }
    return book;
}

// A book read from a text file and saved under an .xls name: a new .xls workbook of its sheets.
std::shared_ptr<workbook::Workbook> buildXls(const Book& book)
{
    auto made = workbook::Workbook::createXls(utf8(book.sheets.at(0)->name));
    if (!made)
        refused(made.error());
    auto wb = std::make_shared<workbook::Workbook>(std::move(*made));
    for (std::size_t i = 0; i < book.sheets.size(); ++i) {
        const Sheet& sheet = *book.sheets[i];
        workbook::Sheet* ws = &wb->sheet(0);
        if (i > 0) {
            auto added = wb->addSheetAfter(i - 1, utf8(sheet.name));
            if (!added)
                refused(added.error());
            ws = *added;
        }
        for (const auto& [at, cell] : sheet.cells)
            putXls(*ws, at.first, at.second, cell);
    }
    return wb;
}

void saveXls(const Book& book, const std::wstring& path)
{
    try {
        const std::shared_ptr<workbook::Workbook> wb = book.xls ? book.xls : buildXls(book);
        if (workbook::Error e = wb->saveAs(std::filesystem::path(path)))
            refused(e);
    } catch (const Failure& f) {
        throw Failure{L"cannot write the workbook " + path + L": " + f.description};
    }
}

std::shared_ptr<Book> loadText(const std::wstring& path)
{
    FILE* f = path.empty() ? nullptr : _wfopen(path.c_str(), L"rb");
    if (!f)
        throw Failure{L"cannot open the workbook " + path};
    std::string bytes;
    char buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0)
        bytes.append(buf, n);
    const bool failed = ferror(f) != 0;
    fclose(f);
    if (failed)
        throw Failure{L"cannot read the workbook " + path};

    auto book = std::make_shared<Book>();
    book->path = path;
    size_t pos = bytes.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    Reader reader(*book, path);
    for (int number = 1; pos < bytes.size(); ++number) {
        size_t end = bytes.find('\n', pos);
        if (end == std::string::npos)
            end = bytes.size();
        std::string_view raw(bytes.data() + pos, end - pos);
        if (!raw.empty() && raw.back() == '\r')
            raw.remove_suffix(1);
        reader.line(raw, number);
        pos = end + 1;
    }
    if (book->sheets.empty()) {
        book->sheets.push_back(std::make_shared<Sheet>());
        book->sheets.back()->name = L"Sheet1";
    }
    return book;
}

void saveText(const Book& book, const std::wstring& path)
{
    std::string out;
    for (const auto& sheet : book.sheets) {
        out += "sheet\t";
        appendUtf8(out, escape(sheet->name));
        out += '\n';
        for (const auto& [at, cell] : sheet->cells) {
            out += "cell\t" + std::to_string(at.first) + '\t' + std::to_string(at.second);
            if (cell.isText) {
                out += "\tt\t";
                appendUtf8(out, escape(cell.text));
            } else {
                out += "\tn\t" + formatNumber(cell.number);
            }
            out += '\n';
        }
    }

    // Written beside the file and moved over it, so a failed save leaves the old file whole.
    const std::wstring temp = path + L".saving";
    FILE* f = path.empty() ? nullptr : _wfopen(temp.c_str(), L"wb");
    if (!f)
        throw Failure{L"cannot write the workbook " + path};
    bool failed = fwrite(out.data(), 1, out.size(), f) != out.size();
    failed = fclose(f) != 0 || failed;
    if (failed || !MoveFileExW(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        _wremove(temp.c_str());
        throw Failure{L"cannot write the workbook " + path};
    }
}

} // namespace

bool isXlsPath(const std::wstring& path)
{
    return path.size() >= 4 && sameName(path.substr(path.size() - 4), L".xls");
}

void setCell(Book&, Sheet& sheet, int row, int column, Cell cell)
{
    if (sheet.xls)
        putXls(*sheet.xls, row, column, cell);
    sheet.cells[{row, column}] = std::move(cell);
}

void clearCell(Book&, Sheet& sheet, int row, int column)
{
    // The engine has no empty cell to write; an empty text would not be what Excel leaves.
    if (sheet.xls && sheet.cells.count({row, column}))
        throw Failure{L"emptying a cell of an .xls workbook is not supported by this test server"};
    sheet.cells.erase({row, column});
}

void renameSheet(Book& book, Sheet& sheet, const std::wstring& name)
{
    if (sheet.xls)
        if (workbook::Error e = book.xls->rename(xlsIndex(book, sheet), utf8(name)))
            refused(e);
    sheet.name = name;
}

std::shared_ptr<Sheet> addSheetAfter(Book& book, const Sheet& after)
{
    auto& sheets = book.sheets;
    auto sheet = std::make_shared<Sheet>();
    for (size_t n = sheets.size() + 1; !nameAllowed(book, nullptr, sheet->name); ++n)
        sheet->name = L"Sheet" + std::to_wstring(n);
    if (book.xls) {
        auto added = book.xls->addSheetAfter(xlsIndex(book, after), utf8(sheet->name));
        if (!added)
            refused(added.error());
        sheet->xls = *added;
    }
    for (auto at = sheets.begin(); at != sheets.end(); ++at)
        if (at->get() == &after) {
            sheets.insert(at + 1, sheet);
            break;
        }
    return sheet;
}

std::shared_ptr<Book> loadBook(const std::wstring& path)
{
    return isXlsPath(path) ? loadXls(path) : loadText(path);
}

void saveBook(const Book& book, const std::wstring& path)
{
    if (isXlsPath(path))
        saveXls(book, path);
    else
        saveText(book, path);
}

} // namespace sheets
