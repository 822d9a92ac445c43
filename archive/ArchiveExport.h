#pragma once

#include "archive/Archive.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>
#include <vector>

namespace archive {

// One component's, gauge's or slot's records chosen for export, with what converts them: the
// calibration versions of the gauge or slot, each point by the version valid at its UTC instant
// (History::convertByVersions), or without versions the component's calibration by code.
struct ExportSeries {
    QString partition;
    QString code; // a point's own code, when it has one, is written instead (a gauge moves slots)
    std::optional<Calibration> calibration;
    std::vector<GaugePoint> points;
    QString readout; // its name
    QString gauge;   // empty when no gauge is assigned
    QString site;
    // The readout's clock: its zone, and the changes of it (Archive::zoneChanges), a point taking
    // the zone of the last change at or before its UTC instant. An empty zone and no changes: the
    // clock is not known, and the points' UTC instants are not written.
    QString timeZone;
    std::vector<ZoneChange> zoneChanges;
    std::vector<CalibrationVersion> versions;
    // The gauge's level versions (Archive::levelSets), which word each point's status and the
    // level that set it; a point's set not among them leaves its status unnamed beyond 正常.
    std::vector<LevelSet> levelSets;
};

// Points of the archive's component series (Archive::series) as an export's: their clock's zone
// is not known, so they have no UTC instant.
std::vector<GaugePoint> exportPoints(const std::vector<Point>& points);

// The columns of an export: partition, code, time (the readout's clock), the reading and the
// temperature as received (Hz, C), the engineering value and its unit, a remark; then the
// readout, the gauge, the site, the clock's time zone, the UTC time, and the calibration that
// produced the value (a version by its id and the instant it applies from); then what judging
// it found: its status (statusName: 正常, 预警...; empty for a masked reading, one without a
// value and a reading of no gauge), the level that set it (levelText), its quality flags
// (flagsText) and 是 when it is masked.
QStringList exportHeaders();

// The components an export of `partition` (all when empty) and `codes` (all when empty) takes,
// in the order of `all`. A code picks the components stored under exactly that code, or, when
// there is none, those whose code differs from it only in case. `unknown` gets the codes that
// picked nothing.
std::vector<SeriesSummary> chooseSeries(const std::vector<SeriesSummary>& all, const QString& partition,
                                        const QStringList& codes, QStringList* unknown);

// Writes the series to `path`, as .xlsx (a worksheet per series, named after its gauge or else its code made
// a valid and unique worksheet name as the preview's save does it, continued on "-2", "-3"...
// beyond a worksheet's rows) or as CSV (one file, UTF-8 with a
// byte-order mark, numbers with a full stop), by the path's suffix. The file appears only
// complete: a failure or a cancel (asked every 4096 rows) leaves any earlier file as it was.
// nullopt on success, else the operator's reason.
std::optional<QString> exportSeries(const QString& path, const std::vector<ExportSeries>& series,
                                    const std::function<bool()>& cancel = {});

} // namespace archive
