#pragma once

#include "editor/ComponentList.h"

#include <QString>
#include <optional>
#include <vector>

class PreviewGrid;
class QIODevice;
namespace sheets {
class Servers;
}

// The component list a write starts from, shown in a grid as the editor shows it: from a
// workbook (.xls or .xlsx: its first worksheet, imported the way the editor imports one), or
// from text lines "A001=NAME" (a file, or standard input), one entry a line.
namespace cli {

// The longest list the editor imports (B2..B205); a text list may not be longer.
inline constexpr int kMaxListEntries = ComponentList::kLastSheetRow - 1;

// True when the list is read as a workbook.
bool isWorkbookList(const QString& list);

// Fills the grid from the list ("-" = the text lines of `standardInput`). Returns the reason,
// for the operator, when the list cannot be read.
std::optional<QString> loadComponentList(const QString& list, PreviewGrid& grid, const sheets::Servers& servers,
                                         QIODevice& standardInput);

// Fills the grid from text lines, as loadComponentList does for a text list.
std::optional<QString> fillFromLines(PreviewGrid& grid, const QByteArray& text);

struct ListCheck {
    std::vector<ComponentList::Entry> entries; // approved, when there is no fault
    QString fault;                             // the editor's message, or why an entry is not for X
};
// The editor's check before writing (ComponentList::check), then: the list is not empty, and
// every code belongs to partition `partition`.
ListCheck checkList(const PreviewGrid& grid, const QString& partition);

} // namespace cli
