#pragma once

#include "archive/Calibration.h"

#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

// The calibration table as the engineer enters it: in the history view's grid, or as a
// workbook (.xls, .xlsx; its first worksheet) or a CSV file whose first row names the columns.
// Columns are found by their names, in any order; a missing column keeps its default.
namespace archive::CalibrationTable {

// The column names as files write them, in the order the grid shows them.
QStringList headers();
// The same names in the operator's language, as the grid shows them.
QStringList shownHeaders();

// One calibration as the texts of the columns of headers(), as files write them.
QStringList toRow(const Calibration& c);
// The same in the operator's language (its words for the reading kind, the form, yes and no).
QStringList shownRow(const Calibration& c);

// The calibrations of a table whose first row is its header; names and words are read as files
// write them, as the grid shows them, and in some English forms. A row that cannot be read (no
// code, a number that is not one, an unknown form or reading kind) is skipped and described in
// `problems` ("第 3 行：..."); a code given twice keeps its last row.
std::vector<Calibration> fromRows(const std::vector<QStringList>& rows, QStringList* problems);

// The rows of a .csv, .xls or .xlsx file; nullopt and `error` (the operator's words) when it
// cannot be read.
std::optional<std::vector<QStringList>> readFile(const QString& path, QString* error);

// The CSV text of a table (UTF-8 with a byte-order mark, RFC 4180 quoting), as readFile reads it.
QByteArray toCsv(const std::vector<Calibration>& all);

} // namespace archive::CalibrationTable
