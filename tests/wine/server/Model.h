// The data behind the test server's objects: an application with open workbooks, each a list of
// sheets with their cells, and the files a workbook is kept in. A path ending in .xls (in any
// case) is a BIFF8 workbook, read and written by the project's workbook engine as Excel would;
// any other path is a small text file. The COM objects only point into this; several of them may
// share one workbook or sheet.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace workbook {
class Sheet;
class Workbook;
} // namespace workbook

namespace sheets {

// A failure a caller receives as DISP_E_EXCEPTION with this description. A deferred one leaves
// the description to EXCEPINFO's pfnDeferredFillIn.
struct Failure {
    std::wstring description;
    bool deferred = false;
};

struct Cell {
    bool isText = false;
    std::wstring text;
    double number = 0;
};

struct Sheet {
    std::wstring name;
    std::map<std::pair<int, int>, Cell> cells; // by (row, column); an empty cell is absent
    workbook::Sheet* xls = nullptr;            // its worksheet in Book::xls, if the book has one
};

struct Book {
    std::wstring path; // full path, where Save writes
    std::vector<std::shared_ptr<Sheet>> sheets;
    bool closed = false;
    // The .xls workbook the book was opened from, kept in step with the sheets above by the
    // functions below, so that a save keeps everything of the file this server does not model
    // (the template's column widths, fonts, formats).
    std::shared_ptr<workbook::Workbook> xls;
};

struct App {
    bool visible = false;
    std::vector<std::shared_ptr<Book>> books; // the open ones
};

constexpr int kMaxRow = 1048576;
constexpr int kMaxColumn = 16384;

// Sheet names and member names are matched the way Excel does, ignoring case.
bool sameName(const std::wstring& a, const std::wstring& b);

// Whether `self` (nullptr for a sheet not in the book yet) may be called `name` in `book`.
bool nameAllowed(const Book& book, const Sheet* self, const std::wstring& name);

// `path` made absolute, so a later Save does not depend on the current folder.
std::wstring fullPath(const std::wstring& path);

// Whether `path` names an .xls workbook: it ends in ".xls", ignoring case.
bool isXlsPath(const std::wstring& path);

// The changes a caller makes, applied to the sheets and to the .xls workbook alike. Each throws
// Failure, before anything changed, for a change the book cannot take (in an .xls book a cell
// beyond row 65536 or column 256, a text too long for a cell, a name the format refuses).
void setCell(Book& book, Sheet& sheet, int row, int column, Cell cell);
void clearCell(Book& book, Sheet& sheet, int row, int column);
void renameSheet(Book& book, Sheet& sheet, const std::wstring& name);
// A new sheet, named "SheetN" for the lowest free N from the count of sheets plus one, directly
// after `after`.
std::shared_ptr<Sheet> addSheetAfter(Book& book, const Sheet& after);

// Both throw Failure. An .xls path is read and written by the workbook engine, any other path
// in the text format.
std::shared_ptr<Book> loadBook(const std::wstring& path);
void saveBook(const Book& book, const std::wstring& path);

} // namespace sheets
