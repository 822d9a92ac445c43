#pragma once

#include "archive/Archive.h"

#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>
#include <vector>

// A site as a report sees it, made in a real archive: two types of gauges read daily by two
// readouts, calibrated, some with trigger levels that a few of them reach, a couple of flagged
// readings, one masked reading and one gauge overdue. Everything follows from the arguments
// (no clock, no randomness), so the same call always makes the same archive.
namespace report::test {

// What fillSite made.
struct FixtureSite {
    QString site;
    QStringList gauges;             // every gauge: the 渗压计 (kPa) first, then the 应变计 (με), each by name
    QStringList piezometers;        // "P001", ... (渗压计, kPa, readout "<site>-R1")
    QStringList strainGauges;       // "S001", ... (应变计, με, readout "<site>-R2")
    QStringList readouts;           // the two readouts' names
    QStringList withLevels;         // gauges with trigger levels (a Value level of rank 1, a Change level of rank 2)
    QStringList reaching;           // of those, the ones whose readings reach their levels
    QStringList recalibrated;       // gauges with a second calibration version, from the middle day on
    QStringList flagged;            // gauges with one reading outside the frequency band (350 Hz)
    std::vector<qint64> flaggedUtc; // the instants of those readings, in the same order
    QString masked;                 // the gauge with the masked reading
    qint64 maskedUtc = 0;
    QString overdue; // the gauge that stopped reading 3 days before the last day (interval 1 day)
    qint64 firstUtc = 0;
    qint64 lastUtc = 0;  // the latest reading of any gauge
    qint64 readings = 0; // stored
    qint64 downloads = 0;
    qint64 events = 0; // level transitions the archive found among the site's readings
};

// Fills `archive` with `gauges` gauges of site `site` (half of them, rounded up, 渗压计, the rest
// 应变计), each read once a day for `days` days from firstUtc (gauge k of its type, k from 0,
// k minutes after firstUtc + day * 86400; the overdue gauge only up to day days - 4, at least
// day 0). The readouts' clocks are UTC. Gauge k is named `prefix` + "P" / "S" + k + 1 in three
// digits ("P001"; a prefix for a second site in the same archive, at most 6 characters), at most
// 1000 gauges a type (100 a partition).
//
// Register: installed 30 days before firstUtc, interval 7 days (1 for the overdue gauge), unit
// and type as above. Calibrations: every gauge a linear digits version since ever; every fifth
// of each type (k % 5 == 2) a second one, 1% steeper, from firstUtc + (days / 2) days.
// Levels (k % 4 == 0): a Value level (rank 1, 预警) and a Change level from the first reading
// (rank 2, 报警), each with a dead band; those with k % 8 == 0 reach them, at about 60% and 85%
// of the days (when days >= 4), the others never. The last gauge (of the 应变计 when there are
// any) is the overdue one. Quality: the rules' step check is off (stepFactor 0), so the
// flags are exactly the readings made out of band: k == 1 of each type at day days / 3. The mask:
// k == 3 of the piezometers at day days / 2 (note "fixture mask"). Stores: one per partition and
// 30 days of readings (days 0-29, 30-59, ...; file "M001", ...), downloaded 4 hours after the
// last of those days begins (firstUtc + day * 86400).
//
// Failures are reported as gtest failures; the result holds what was made up to there.
FixtureSite fillSite(archive::Archive& archive, const QString& site, int gauges, int days, qint64 firstUtc,
                     const QString& prefix = {});

// A new archive in a temporary folder, for a test or a benchmark; the folder goes with it.
struct TempArchive {
    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<archive::Archive> archive;
    QString path;
};
TempArchive openTempArchive();

} // namespace report::test
