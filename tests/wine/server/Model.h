// The data behind the test server's objects: an application with open workbooks, each a list of
// sheets with their cells, and the text file a workbook is kept in. The COM objects only point
// into this; several of them may share one workbook or sheet.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

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
};

struct Book {
    std::wstring path; // full path, where Save writes
    std::vector<std::shared_ptr<Sheet>> sheets;
    bool closed = false;
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

// Both throw Failure.
std::shared_ptr<Book> loadBook(const std::wstring& path);
void saveBook(const Book& book, const std::wstring& path);

} // namespace sheets
