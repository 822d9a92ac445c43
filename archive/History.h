#pragma once

#include "archive/Archive.h"
#include "archive/Judgement.h"

#include <QString>
#include <limits>
#include <vector>

// What the history view shows of the archive, without widgets: one component's, gauge's or
// slot's trend over a time range, as the reading in Hz or converted with its calibration.
namespace archive::History {

struct Trend {
    QString partition;
    QString code;
    QString gauge;      // of a gauge's trend
    QString readout;    // of a slot's trend
    QString valueLabel; // "读数 (Hz)", or the gauge's quantity and unit, e.g. "裂缝计 (mm)"
    QString unit;       // "Hz", or the calibration's unit (empty when it names none)
    bool converted = false;
    std::vector<qint64> time;
    std::vector<double> value;       // NaN where a reading could not be converted
    std::vector<double> temperature; // NaN where the record had none
    qint64 uncorrected = 0;          // converted values without a temperature correction
    // Of a gauge's or a slot's trend: each point's UTC instant (`time` is the readout's clock),
    // the calibration versions of the gauge or slot, oldest first, and which of them converted
    // each value (an index into `versions`; -1 where none applied or nothing was converted).
    std::vector<qint64> utc;
    std::vector<CalibrationVersion> versions;
    std::vector<int> version;
    // Of a gauge's trend: what judging each reading found, as stored (status 0 and no flags where
    // nothing was found; a masked reading is left out of levels and lines), and the gauge's level
    // versions, oldest first. `levelsApply`: the values are in the units the levels are in (the
    // engineering value, or Hz for a gauge without calibration versions); false when the trend
    // shows readings in Hz of a gauge whose levels are in engineering units.
    std::vector<std::uint8_t> status;
    std::vector<std::uint16_t> flags;
    std::vector<bool> masked;
    std::vector<LevelSet> levelSets;
    bool levelsApply = false;
};

// The level version of `sets` that applies at a UTC instant (the latest fromUtc at or before it,
// the later entered of two from the same instant); nullptr when none does or it ends the levels.
const LevelSet* levelSetAt(const std::vector<LevelSet>& sets, qint64 utc);

// The value the Change levels of `set` are measured from in a trend: the first reading at or
// after the set's baselineUtc that is not masked and has a value (NaN when there is none).
double baselineValue(const Trend& trend, const LevelSet& set);

constexpr qint64 kAllTime = std::numeric_limits<qint64>::max();

// The trend of one component in [from, to]. With `engineering` and a calibration for the code
// the values are converted; without a calibration they stay readings.
Trend trend(const Archive& archive, const QString& partition, const QString& code, bool engineering,
            qint64 from = std::numeric_limits<qint64>::min(), qint64 to = kAllTime);

// Each point's engineering value by the calibration version valid at its UTC instant (versionAt):
// a version applies from its fromUtc (included) until the next one begins; of versions that
// begin at the same instant the later entered applies; none from a withdrawal on. `versions` may
// be in any order.
struct Conversion {
    std::vector<double> value; // NaN where no version applies and where a reading cannot be converted
    std::vector<int> version;  // index into `versions`, -1 where none applies
    qint64 uncorrected = 0;    // values without the temperature correction their version has
};
Conversion convertByVersions(const std::vector<GaugePoint>& points, const std::vector<CalibrationVersion>& versions);

// A gauge's trend over UTC [fromUtc, toUtc], from every slot it sat in. With `engineering` and a
// calibration version for the gauge each value is converted by the version valid at its
// instant (NaN before the first); without a version they stay readings.
Trend gaugeTrend(const Archive& archive, const QString& gauge, bool engineering,
                 qint64 fromUtc = std::numeric_limits<qint64>::min(), qint64 toUtc = kAllTime);
// The same for a slot's readings that no assignment covers, with the slot's own calibration
// versions: those with no gauge, of this code, on this readout (by name) or on every readout.
Trend unassignedTrend(const Archive& archive, qint64 readout, const QString& code, bool engineering,
                      qint64 fromUtc = std::numeric_limits<qint64>::min(), qint64 toUtc = kAllTime);

// The time ranges offered: everything, or the last 7, 30 or 365 days before the newest record
// of the chosen components (the instrument's clock, not this computer's).
enum class Span {
    All,
    Week,
    Month,
    Year
};
QStringList spanNames();
struct Range {
    qint64 from = std::numeric_limits<qint64>::min();
    qint64 to = kAllTime;
};
Range rangeOf(Span span, const std::vector<SeriesSummary>& chosen);

} // namespace archive::History
