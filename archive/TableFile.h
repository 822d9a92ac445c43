#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <map>
#include <optional>
#include <vector>

// The files of the archive's tables the engineer keeps beside the program (the calibration
// table, the gauge register): rows of texts, the first naming the columns, as a CSV file or a
// workbook.
namespace archive::TableFile {

// The rows of a .csv, .xls or .xlsx file (a workbook's first worksheet; a number cell, a date
// among them, as its usual text: a date is the workbook's day number); nullopt and `error` (the
// operator's words) when it cannot be read. A CSV file may be UTF-8 (with or without a
// byte-order mark) or GBK, and one with a quote that is never closed cannot be read (CsvReader).
std::optional<std::vector<QStringList>> read(const QString& path, QString* error);

// Which column of a table is which field: for each cell of `header` (trimmed, case ignored) the
// index of the name it matches in `chinese` or `english` (the fields' names in the same order),
// else the field an alias maps it to, else -1.
std::vector<int> columns(const QStringList& header, const QStringList& chinese, const QStringList& english,
                         const std::map<QString, int>& aliases);

// The CSV text of rows (UTF-8 with a byte-order mark, RFC 4180 quoting, CR LF), as read() reads
// it back: texts stay as they are, without the apostrophe an export puts before a formula.
QByteArray csvText(const std::vector<QStringList>& rows);

// Writes rows to `path` as CSV (csvText) or, for a path ending in .xlsx, as a workbook of one
// worksheet named `sheet`, every cell a text. The file appears only complete: a failure leaves any
// earlier file as it was. nullopt on success, else the operator's reason (FailureText).
std::optional<QString> write(const QString& path, const std::vector<QStringList>& rows, const QString& sheet);

} // namespace archive::TableFile
