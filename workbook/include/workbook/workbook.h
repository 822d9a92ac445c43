// Built-in workbook engine: .xls (BIFF8 in a compound file) read, modify and write; .xlsx read,
// and .xlsx written row by row (XlsxWriter).
//
// Every call reports failure through an Error value: a kind of failure and a description of the
// detail; no exception leaves the library. Texts cross the interface as UTF-8; paths as
// std::filesystem::path, so that on Windows a name travels as UTF-16 and any character of it
// reaches the file system. Rows and columns count from 1.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

namespace workbook {

// What went wrong, for a caller that words its own message (an operator text in its language,
// an exit status); the description carries the detail (the path, the part, the system's text).
enum class ErrorKind {
    None,         // success
    NotFound,     // no such file or folder
    NotAFile,     // the path names a folder
    AccessDenied, // no permission, or a read-only medium
    InUse,        // the file is locked by another program
    DiskFull,     // no space left (or the quota reached)
    Io,           // any other failure to read or write the file
    NotAWorkbook, // neither .xls nor .xlsx
    Damaged,      // the content is malformed
    Unsupported,  // a format version the engine does not read
    Encrypted,    // password-protected
    TooLarge,     // beyond the engine's or the format's limits
    OutOfMemory,
    ReadOnly,           // an .xlsx workbook cannot be changed
    BadSheetName,       // the worksheet name breaks the format's rules
    DuplicateSheetName, // another worksheet has that name
    OutOfRange,         // a row, column or worksheet that does not exist
    BadText,            // a text that is not UTF-8 or too long for a cell
    NoPath,             // saved before it has a file
};

// An empty Error means success. `if (Error e = wb.save())` reads naturally.
class Error {
public:
    Error() = default;
    Error(ErrorKind kind, std::string description) : m_kind(kind), m_description(std::move(description)) {}

    bool failed() const { return m_kind != ErrorKind::None; }
    explicit operator bool() const { return failed(); }
    ErrorKind kind() const { return m_kind; }
    // The detail, in English.
    const std::string& description() const { return m_description; }

private:
    ErrorKind m_kind = ErrorKind::None;
    std::string m_description;
};

template <class T>
class Result {
public:
    Result(T value) : m_v(std::move(value)) {}
    Result(Error error) : m_v(std::move(error)) {}

    bool ok() const { return m_v.index() == 0; }
    explicit operator bool() const { return ok(); }
    T& value() { return std::get<0>(m_v); }
    const T& value() const { return std::get<0>(m_v); }
    T* operator->() { return &value(); }
    T& operator*() { return value(); }
    // The failure; an empty Error when ok().
    Error error() const { return ok() ? Error() : std::get<1>(m_v); }

private:
    std::variant<T, Error> m_v;
};

enum class Format {
    Xls,
    Xlsx
};
enum class CellKind {
    Empty,
    Text,
    Number,
    Boolean,
    ErrorCode
};

// Limits of a BIFF8 worksheet.
inline constexpr int kXlsMaxRows = 65536;
inline constexpr int kXlsMaxColumns = 256;
// Limits of an .xlsx worksheet (columns A to XFD).
inline constexpr int kXlsxMaxRows = 1048576;
inline constexpr int kXlsxMaxColumns = 16384;

struct WorkbookData;

class Sheet {
public:
    const std::string& name() const;

    // The cell's value as text: texts as they are, numbers in their usual form (123.4, 5, -5.2,
    // up to 15 significant digits), booleans TRUE/FALSE, error codes such as #DIV/0!. Formula
    // cells give their last computed value. An empty or unknown cell gives "".
    std::string text(int row, int column) const;
    CellKind kind(int row, int column) const;
    // The numeric value of a number cell.
    std::optional<double> number(int row, int column) const;

    Error setText(int row, int column, std::string_view utf8);
    Error setNumber(int row, int column, double value);

    // Width in 1/256 of the width of the character "0" of the default font (BIFF8 COLINFO).
    Error setColumnWidth(int column, int width256);

    // Visits every cell holding a value (not blank formatting-only cells, not empty texts) in
    // row-then-column order.
    void forEachCell(const std::function<void(int row, int column, const std::string& text)>& visit) const;

    // Highest row holding a cell (0 for an empty sheet).
    int lastRow() const;

    ~Sheet();
    Sheet(const Sheet&) = delete;
    Sheet& operator=(const Sheet&) = delete;

    struct Impl;
    Impl& impl() { return *m_impl; }
    const Impl& impl() const { return *m_impl; }
    explicit Sheet(std::unique_ptr<Impl> impl);

private:
    std::unique_ptr<Impl> m_impl;
};

class Workbook {
public:
    // Opens an .xls (BIFF8) or .xlsx file; the format is recognised from the content.
    // An .xlsx workbook is read-only.
    static Result<Workbook> open(const std::filesystem::path& path);
    // The same from bytes in memory; save() then needs saveAs().
    static Result<Workbook> openBytes(std::string_view bytes);
    // A new .xls workbook with one empty worksheet named `firstSheetName`, not yet on disk.
    static Result<Workbook> createXls(std::string_view firstSheetName = "Sheet1");

    Workbook(Workbook&&) noexcept;
    Workbook& operator=(Workbook&&) noexcept;
    ~Workbook();

    Format format() const;
    bool readOnly() const;
    const std::filesystem::path& path() const;

    // Worksheets in workbook order (chart and macro sheets are kept but not listed).
    // sheet(index) requires index < sheetCount().
    std::size_t sheetCount() const;
    Sheet& sheet(std::size_t index);
    const Sheet& sheet(std::size_t index) const;
    // Case-insensitive, as spreadsheet applications look worksheets up.
    Sheet* findSheet(std::string_view name);
    std::optional<std::size_t> indexOf(std::string_view name) const;

    // Renames worksheet `index`. The name must be 1 to 31 characters, hold none of : \ / ? * [ ],
    // not begin or end with an apostrophe and differ (ignoring case) from every other worksheet.
    Error rename(std::size_t index, std::string_view name);
    // Adds an empty worksheet directly after worksheet `index`.
    Result<Sheet*> addSheetAfter(std::size_t index, std::string_view name);

    // Writes the workbook back to the path it was opened from, atomically (a temporary file beside
    // the target is renamed over it).
    Error save();
    Error saveAs(const std::filesystem::path& path);
    // The .xls file image that save() would write.
    Result<std::string> toBytes() const;

    // Checks a worksheet name against the rules above (uniqueness aside).
    static Error checkSheetName(std::string_view name);
    // The name made to pass checkSheetName where it can: each character the rules forbid (and
    // a control character, and an apostrophe at either end) becomes "-", and it is cut to 31
    // UTF-16 units without splitting a character. An empty name stays empty; invalid UTF-8 is
    // replaced. Uniqueness is the caller's: the engine cannot know what else will be named.
    static std::string cleanSheetName(std::string_view name);

private:
    explicit Workbook(std::unique_ptr<WorkbookData> data);
    std::unique_ptr<WorkbookData> m_data;
};

// One cell of a row handed to XlsxWriter: empty, a number or a text (UTF-8). It only refers to
// a text, without copying it: the text must stay alive until the row has been written, as it
// does when the row is built in the call, `writer.writeRow({name, reading, temperature, time})`.
class CellValue {
public:
    constexpr CellValue() = default;
    // Any integer or floating-point number; booleans and characters are no numbers here.
    template <class T>
    requires(std::is_arithmetic_v<T> && !std::is_same_v<T, bool> && !std::is_same_v<T, char> &&
             !std::is_same_v<T, signed char> && !std::is_same_v<T, unsigned char> &&
             !std::is_same_v<T, wchar_t> && !std::is_same_v<T, char8_t> && !std::is_same_v<T, char16_t> &&
             !std::is_same_v<T, char32_t>) constexpr CellValue(T number) : m_kind(CellKind::Number), m_number(static_cast<double>(number))
    {
    }
    constexpr CellValue(std::string_view utf8) : m_kind(CellKind::Text), m_text(utf8) {}
    constexpr CellValue(const char* utf8) : m_kind(CellKind::Text), m_text(utf8 ? std::string_view(utf8) : std::string_view()) {}
    CellValue(const std::string& utf8) : m_kind(CellKind::Text), m_text(utf8) {}

    // Empty, Number or Text; an empty text is an empty cell.
    constexpr CellKind kind() const { return m_kind == CellKind::Text && m_text.empty() ? CellKind::Empty : m_kind; }
    constexpr double number() const { return m_number; }
    constexpr std::string_view text() const { return m_text; }

private:
    CellKind m_kind = CellKind::Empty;
    double m_number = 0;
    std::string_view m_text;
};

// Writes an .xlsx workbook row by row, straight into the zip file on disk: memory stays the same
// whatever the number of rows. Worksheets come one after another, the rows of each from the
// first (row 1) down. The file is written beside the target, as a temporary file of its own
// (createTemporaryFor), and commit() renames it over the target: until then,
// and whenever something fails, the target stays as it was. cancel(), a failure, or destroying
// the writer without commit() removes the temporary file.
//
// A refused call (a bad name, a bad text, too many rows) writes nothing and the writer stays
// usable; a failure of the file itself (disk full, ...) ends the writer, and every later call
// returns that failure again.
//
//   auto writer = workbook::XlsxWriter::create(path);
//   if (!writer) return writer.error();
//   if (Error e = writer->addSheet("测点-01")) return e;
//   writer->writeRow({"编号", "读数", "温度", "时间"});
//   writer->writeRow({"1", 1234.5, -5.2, "2026-12-07 10:31:05"});
//   return writer->commit();
class XlsxWriter {
public:
    // Opens the temporary file beside `path`. Refused when `path` is empty, a folder or a
    // read-only file, and when another writer of this process is still writing to the same path.
    static Result<XlsxWriter> create(const std::filesystem::path& path);

    XlsxWriter(XlsxWriter&&) noexcept;
    XlsxWriter& operator=(XlsxWriter&&) noexcept;
    ~XlsxWriter();

    // Ends the current worksheet and starts the next one. The name follows the rules of
    // Workbook::checkSheetName and differs (ignoring case) from the names before it.
    Error addSheet(std::string_view name);
    // The next row of the current worksheet: cells from column A. Texts must be UTF-8 of at most
    // 32,767 UTF-16 units; numbers that are not finite become the error value #NUM!. At most
    // kXlsxMaxColumns cells a row and kXlsxMaxRows rows a worksheet (TooLarge beyond).
    Error writeRow(std::span<const CellValue> cells);
    Error writeRow(std::initializer_list<CellValue> cells) { return writeRow(std::span<const CellValue>(cells.begin(), cells.size())); }
    // Finishes the file, flushes it to the disk and renames it over the target. A workbook
    // without any worksheet gets one empty worksheet "Sheet1".
    Error commit();
    // Gives up: removes the temporary file; the target is untouched.
    void cancel();

    // The target path; the number of worksheets so far; rows written to the current one.
    const std::filesystem::path& path() const;
    std::size_t sheetCount() const;
    int rowCount() const;

    struct Impl;
    Impl& impl() { return *m_impl; }

private:
    explicit XlsxWriter(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> m_impl;
};

// The kind of failure an errno value stands for (Io for one the engine has no kind for).
ErrorKind errorKindOfErrno(int err);

// ---- Replacing a file ----
// Every file the program writes replaces its target only when it is complete: it is written to a
// temporary file beside the target, under a name no other writer uses,
//   "~" + the target's name + "." + process number + "-" + a number + ".saving" + an ending
// (e.g. "~A.xlsx.4711-3.saving", "~A.xls.4711-4.saving.xls"), created exclusively, and renamed over
// the target at the end. Two writers to one target never share a temporary file (the last rename
// wins), and the temporary files that writers which were killed left beside a target are removed
// when the same target is next written.

// A target that cannot be replaced: a folder, or a read-only file (no write permission at all, or
// none for this user). Nothing when `target` does not exist yet or can be replaced.
Error checkReplaceable(const std::filesystem::path& target);

// A new, empty temporary file for `target`, open for writing ("wb"). The target is checked first
// (checkReplaceable) and the stale temporary files of the target are removed.
struct TemporaryFile {
    std::filesystem::path path;
    std::FILE* file = nullptr;
};
Result<TemporaryFile> createTemporaryFor(const std::filesystem::path& target, std::string_view ending = {});

// Removes the temporary files of `target` (and the engine's own temporary files of those) whose
// writing processes no longer run on this computer; the number removed.
int removeStaleTemporaries(const std::filesystem::path& target);

// Writes `bytes` to `path` through a temporary file beside it (createTemporaryFor) that is
// renamed over it.
Error writeFileAtomically(const std::filesystem::path& path, std::string_view bytes);
// The same with the content handed to `produce`'s callback piece by piece.
Error writeFileAtomically(const std::filesystem::path& path,
                          const std::function<void(const std::function<void(std::string_view)>&)>& produce);
// Renames `from` over `to` in one step (both in the same folder); the replaced file's permissions
// carry over. A `to` that cannot be replaced (checkReplaceable) is refused. On failure `to` is
// unchanged and `from` stays.
Error replaceFile(const std::filesystem::path& from, const std::filesystem::path& to);

} // namespace workbook
