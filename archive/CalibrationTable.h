#pragma once

#include "archive/Calibration.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>
#include <vector>

// The calibration table as the engineer enters it: in the history view's grid, or as a
// workbook (.xls, .xlsx; its first worksheet) or a CSV file whose first row names the columns
// (read by TableFile::read).
// Columns are found by their names, in any order; a missing column keeps its default.
namespace archive::CalibrationTable {

// The column names as files write them, in the order the grid shows them.
QStringList headers();
// The same names in the operator's language, as the grid shows them.
QStringList shownHeaders();

// The words a cell of the grid's column may hold, as the grid shows them (reading kind, form,
// direction, field zero); empty for a column of free text or numbers.
QStringList shownChoices(int column);

// One calibration as the texts of the columns of headers(), as files write them.
QStringList toRow(const Calibration& c);
// The same in the operator's language (its words for the reading kind, the form, yes and no).
QStringList shownRow(const Calibration& c);

// The calibrations of a table whose first row is its header; names and words are read as files
// write them, as the grid shows them, and in some English forms. A row that cannot be read (no
// code, a number that is not one, an unknown form, reading kind, direction or field zero) is
// skipped and described in `problems` with every field of it that cannot be read
// ("第 3 行：...；..."); a code given twice keeps its last row.
// Rows are numbered as the operator sees them: the header is row `headerRow` (1 in a file, 0 in
// the grid, whose rows are numbered from 1 under its header). `cancel` is asked every 4096 rows
// with the rows read so far; true stops the reading, and nothing is returned.
std::vector<Calibration> fromRows(const std::vector<QStringList>& rows, QStringList* problems, int headerRow = 1,
                                  const std::function<bool(qint64)>& cancel = {});

// Merges calibrations into a table's rows (as shownRow() writes them), by code: a calibration for
// a code that a row already holds replaces that row, any other is added at the end. The codes of
// the rows replaced, in the order of `imported`.
QStringList merge(std::vector<QStringList>& shownRows, const std::vector<Calibration>& imported);

// The CSV text of a table (TableFile::csvText), as TableFile::read reads it.
QByteArray toCsv(const std::vector<Calibration>& all);

} // namespace archive::CalibrationTable
