#pragma once

#include "archive/Archive.h"

#include <QString>
#include <functional>
#include <optional>
#include <vector>

namespace archive {

// One component's records chosen for export, with its calibration if it has one.
struct ExportSeries {
    QString partition;
    QString code;
    std::optional<Calibration> calibration;
    std::vector<Point> points;
};

// The columns of an export: partition, code, time, the reading and the temperature as
// received (Hz, C), the engineering value and its unit, and a remark.
QStringList exportHeaders();

// Writes the series to `path`, as .xlsx (a worksheet per component, named after its code,
// continued on "-2", "-3"... beyond a worksheet's rows) or as CSV (one file, UTF-8 with a
// byte-order mark, numbers with a full stop), by the path's suffix. The file appears only
// complete: a failure or a cancel (asked every 4096 rows) leaves any earlier file as it was.
// nullopt on success, else the operator's reason.
std::optional<QString> exportSeries(const QString& path, const std::vector<ExportSeries>& series,
                                    const std::function<bool()>& cancel = {});

} // namespace archive
