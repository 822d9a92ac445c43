#pragma once

#include "report/Report.h"

#include <QString>

// The report's readings as one "long" table: a row per reading (site, gauge, type, readout,
// UTC time, the readout's time, frequency, temperature, value, the value's unit, status, flags,
// masked), a header row in the report's language and a row of units beneath it (the values' unit
// there only when every gauge has the same one). UTF-8 with a byte-order mark, CR LF line ends,
// fields quoted as export/CsvWriter quotes them, numbers with a full stop. Written through a
// replacing file: progress is told once per gauge, and a cancel or a failure leaves no file.
namespace report {

WriteResult writeLongCsv(const QString& path, const Content& content, const Progress& progress = {});

} // namespace report
