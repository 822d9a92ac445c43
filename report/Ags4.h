#pragma once

#include "report/Report.h"

#include <QString>

// The report's readings as an AGS4 file (the exchange format of geotechnical data) for other
// monitoring systems: the PROJ, TRAN, UNIT, TYPE and ABBR groups, then MONG (one row per gauge:
// its installation) and MOND (one row per reading and quantity: the frequency, the temperature
// and the engineering value, with units; the readout as instrument; flags and masks as
// remarks). Written as AGS4 requires: every field quoted, CR LF line ends, each group's GROUP,
// HEADING, UNIT and TYPE rows before its DATA rows.
namespace report {

WriteResult writeAgs4(const QString& path, const Content& content, const Progress& progress = {});

} // namespace report
