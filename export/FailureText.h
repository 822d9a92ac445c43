#pragma once

#include <workbook/workbook.h>

#include <QString>

namespace sheets {
class Error;
}

// The operator's words for why something failed. The workbook engine and the spreadsheet
// servers report a kind of failure and its detail; this is the one place where kinds become
// texts, so every message box of the program gives the same reason for the same failure.
namespace FailureText {

// The reason for a failure of this kind; a failure of no known kind gives its detail as it
// stands (a server's own message), or says that the reason is not known.
QString reason(workbook::ErrorKind kind, const QString& detail = {});
QString reason(const sheets::Error& error);
QString reason(const workbook::Error& error);

// The template workbook could not be read.
QString templateMissing();

// A worksheet would need more rows than an .xls worksheet holds.
QString tooManyRows(const QString& sheetName, int rows);

// A file of the preview was asked for with an ending that names no type the program writes.
QString unknownFileType();

// The operator stopped a save before it was complete; the chosen file was left as it was.
QString saveCancelled();

} // namespace FailureText
