#pragma once

#include "archive/Monitoring.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

// The gauge register as the engineer keeps it beside the program: a workbook (.xls, .xlsx; its
// first worksheet) or a CSV file (read by TableFile::read) whose first row names the columns, in
// Chinese or in English, in any order; a missing column keeps its default, but the gauge's name
// must be there.
namespace archive::GaugeRegisterTable {

// The column names: 测点, 类型, 单位, 工程, 位置, 安装日期, 测读间隔（天）, 备注, or in English
// gauge, type, unit, site, location, installed, interval, notes.
QStringList headers(bool english = false);

// One gauge as the texts of the columns of headers(): the installation date as yyyy-MM-dd (empty
// when not known), the interval in days (empty for none).
QStringList toRow(const GaugeInfo& gauge);

// The gauges of a table whose first row is its header. A row that cannot be read (no name or a
// name the instrument cannot hold, a date or an interval that is not one) is skipped and
// described in `problems` with every field of it that cannot be read ("第 3 行：...；..."); a
// gauge given twice keeps its last row. Rows are numbered as the operator sees them: the header
// is row `headerRow` (1 in a file, 0 in a grid numbered from 1 under its header).
// An installation date may be written yyyy-MM-dd, yyyy/M/d, or be a workbook's date cell as the
// file reader gives it (the workbook's day number).
std::vector<GaugeInfo> fromRows(const std::vector<QStringList>& rows, QStringList* problems, int headerRow = 1);

// The CSV text of the register (TableFile::csvText), headers first.
QByteArray toCsv(const std::vector<GaugeInfo>& gauges, bool english = false);

// Writes the register to `path`, as .xlsx for a path ending so and as CSV otherwise; the file
// appears only complete. nullopt on success, else the operator's reason.
std::optional<QString> writeFile(const QString& path, const std::vector<GaugeInfo>& gauges, bool english = false);

} // namespace archive::GaugeRegisterTable
