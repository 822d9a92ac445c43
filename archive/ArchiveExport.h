#pragma once

#include "archive/Archive.h"

#include <QString>
#include <QStringList>
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

// The components an export of `partition` (all when empty) and `codes` (all when empty) takes,
// in the order of `all`. A code picks the components stored under exactly that code, or, when
// there is none, those whose code differs from it only in case. `unknown` gets the codes that
// picked nothing.
std::vector<SeriesSummary> chooseSeries(const std::vector<SeriesSummary>& all, const QString& partition,
                                        const QStringList& codes, QStringList* unknown);

// Writes the series to `path`, as .xlsx (a worksheet per component, named after its code made
// a valid and unique worksheet name as the preview's save does it, continued on "-2", "-3"...
// beyond a worksheet's rows) or as CSV (one file, UTF-8 with a
// byte-order mark, numbers with a full stop), by the path's suffix. The file appears only
// complete: a failure or a cancel (asked every 4096 rows) leaves any earlier file as it was.
// nullopt on success, else the operator's reason.
std::optional<QString> exportSeries(const QString& path, const std::vector<ExportSeries>& series,
                                    const std::function<bool()>& cancel = {});

} // namespace archive
