#pragma once

#include "report/Report.h"

#include <QString>

// The report's readings as one "long" table: a row per reading (site, gauge, type, readout,
// UTC time, the readout's time, frequency, temperature, value, status, flags, masked), a header
// row and a row of units beneath it. UTF-8 with a byte-order mark, numbers with a full stop.
namespace report {

WriteResult writeLongCsv(const QString& path, const Content& content, const Progress& progress = {});

} // namespace report
