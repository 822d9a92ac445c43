#pragma once

#include <QString>
#include <optional>

// What every writer of the preview grid gives back (SheetWriter's .xls, XlsxExport, CsvWriter,
// saveGrid): nothing when the file now holds the grid, else why it does not.
struct SaveFailure {
    enum class Kind {
        Failed,    // a step failed; the target is as it was
        Cancelled, // stopped on request (FailureText::saveCancelled()); the target is as it was
        Refused,   // not begun: the grid does not fit the file's type, or the type is not known
        Quiet,     // an .xls server's failure path failed in turn: the window says nothing
    };
    Kind kind = Kind::Failed;
    QString reason; // the operator's words for it (FailureText)
};
using SaveResult = std::optional<SaveFailure>;
