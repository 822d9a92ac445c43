#pragma once

#include <QString>
#include <optional>
#include <vector>

class PreviewGrid;
namespace sheets {
class Worksheet;
}

// The component-code editor's list: a two-column grid whose row 0 holds headers and whose
// other rows hold a number (or a write status) and an entry "code=name", e.g. A001=QRVA000001.
// A code is a letter A..J and a number 1..200 in three characters; a name is 1 to 10
// characters the instrument can show.
namespace ComponentList {

inline constexpr int kGridWidthTwips = 5175;
inline constexpr int kLastSheetRow = 205; // entries are read from B2 to B205

// Empties the grid and gives it the headers "序号" and "元件名".
void reset(PreviewGrid& grid);

// The code of an entry (its first four characters) and its name (after the first "=", or the
// whole text without one).
QString codeOf(const QString& entry);
QString nameOf(const QString& entry);

// Typed entry: trims both texts (the caller shows the trimmed texts), checks them, and appends
// a row, or replaces the name of the row with the same code. Returns the refusal message, or ""
// when the list took the entry. manualCount numbers the appended rows.
QString addTyped(PreviewGrid& grid, int& manualCount, QString& code, QString& name);

// A fault the list check found before writing.
struct Fault {
    int row = 0;
    QString message;
    bool plain = false; // shown without icon and title
};
// One approved entry, trimmed, ready to be sent.
struct Entry {
    QString code;
    QString name;
};
// Checks every data row in order; the first fault ends the check. On success returns the
// entries as the check approved them.
std::optional<Fault> check(const PreviewGrid& grid, std::vector<Entry>& approved);
// The refusal of a write when the check approved no entry: nothing to write is not a write
// that succeeded.
QString emptyText();

// Shows a worksheet: A1 and B1 as headers, then each non-empty cell of B2..B205 as the next
// row, numbered from 1 without gaps. Throws sheets::Error if the server refuses a read.
void fillFromSheet(PreviewGrid& grid, sheets::Worksheet& sheet);

} // namespace ComponentList
