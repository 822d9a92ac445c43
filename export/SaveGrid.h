#pragma once

#include "export/SaveResult.h"
#include "export/SheetWriter.h"

#include <QString>
#include <functional>

class PreviewGrid;
namespace sheets {
class Servers;
}

// Saving the preview grid as a file of the type its ending names, for both front ends.
namespace SaveGrid {

// The file types by their ending, in any case: ".xls" (through the template and a spreadsheet
// server), ".xlsx" and ".csv" (the program's own writers). A name that is nothing but the ending
// has none.
enum class FileType {
    Xls,
    Xlsx,
    Csv,
    Unknown,
};
FileType fileType(const QString& path);

// What the operator is told after a save, and before the reason of a failed one; the window and
// the command line say the same.
QString successText();
QString failureText();
QString failureMessage(const QString& reason); // failureText, then the reason on its own line

struct Options {
    // .xls only: the servers, the one to write through and what it does when a step fails, and
    // the template workbook (Data.xls) the file is made from.
    const sheets::Servers* servers = nullptr;
    QString server;
    SheetWriter::FailurePath failurePath = SheetWriter::FailurePath::CloseAndReport;
    QString templatePath;
    // Asked every few thousand rows by .xlsx and .csv, and before a written .xls replaces the
    // target; yes stops the save (SaveFailure::Kind::Cancelled).
    std::function<bool()> cancel;
};

} // namespace SaveGrid

// Writes the grid to `path` with the writer its ending picks (SaveGrid::fileType). An .xls the
// grid does not fit (SheetWriter::tooLongForXls) and an unknown ending are refused before
// anything is touched. The target changes only when the whole file is written.
SaveResult saveGrid(const PreviewGrid& grid, const QString& path, const SaveGrid::Options& options = {});
