#pragma once

#include "export/SaveResult.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>
#include <vector>

class PreviewGrid;
namespace sheets {
class Application;
class Servers;
class Workbook;
}

// Writes the preview grid into the workbook at a path through an automation server: one
// worksheet per section of the grid (ReadingLayout::sections), each headed by the grid's header
// row; reading and temperature (ReadingLayout::isNumberColumn) also as the numbers
// ReadingLayout::workbookValue gives. The first worksheet is the template's "Sheet1", renamed after grid
// cell (1, 0) with the characters a file name cannot hold replaced by "-"; later worksheets are
// named after their section's first cell. Every name is made a valid worksheet name first
// (sheetName), so any file the instrument holds can be saved.
namespace SheetWriter {

// Replaces each of < > / \ | ? * and the double quote by "-"; the length stays.
QString sanitizeName(const QString& name);

// A worksheet name for `wanted`: the characters a worksheet name cannot hold (: \ / ? * [ ],
// control characters, an apostrophe at either end) become "-", it is cut to 31 characters, and
// if a name in `taken` (or the reserved "History") already has it, ignoring case, "-2", "-3"...
// is appended within the 31. An empty name stays empty (and the server refuses it).
QString sheetName(const QString& wanted, const QStringList& taken);

// A worksheet of the grid that would need more rows than an .xls worksheet has (its header row
// included): the first such worksheet's name as the grid gives it and the rows it needs.
struct TooLong {
    QString name;
    int rows = 0;
};
std::optional<TooLong> tooLongForXls(const PreviewGrid& grid);

// The worksheets the grid makes, in order (its ReadingLayout::sections): each one's name as the
// grid gives it (before it is made a valid worksheet name) and its grid rows [first, end), below
// the grid's header row.
struct Section {
    QString wanted;
    int first = 1;
    int end = 1;
};
std::vector<Section> sections(const PreviewGrid& grid);

// Opens the workbook, writes everything, saves and closes it; throws sheets::Error when the
// server refuses a step. `opened` is set as soon as the workbook is open, for a failure path
// that must still reach it. The application is left to the caller.
void write(const PreviewGrid& grid, sheets::Application& app, const QString& path, sheets::Workbook*& opened);

// What a server does when a step of the save fails: Excel and the engine quit without
// saving; WPS spreadsheets save what the workbook holds, close it and quit.
enum class FailurePath {
    CloseAndReport,
    SaveWhatIsThere
};

// The .xls save, without dialogs or messages, for any front end: copies the template to a work
// copy beside `target`, writes the grid into that copy through the server, and replaces `target`
// with it only when it was written in full. Whatever happens, the work copy is gone afterwards
// and `target` is either the old file or the whole new one. Once `stopRequested` says yes (it is
// asked before the copy would replace `target`), the copy is discarded as after a failure.
SaveResult save(const PreviewGrid& grid, const sheets::Servers& servers, const QString& server,
                FailurePath failurePath, const QString& templatePath, const QString& target,
                const std::function<bool()>& stopRequested = {});

} // namespace SheetWriter
