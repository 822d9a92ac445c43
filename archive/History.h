#pragma once

#include "archive/Archive.h"

#include <QString>
#include <limits>
#include <vector>

// What the history view shows of the archive, without widgets: one component's trend over a
// time range, as the reading in Hz or converted with its calibration.
namespace archive::History {

struct Trend {
    QString partition;
    QString code;
    QString valueLabel; // "读数 (Hz)", or the gauge's quantity and unit, e.g. "裂缝计 (mm)"
    QString unit;       // "Hz", or the calibration's unit (empty when it names none)
    bool converted = false;
    std::vector<qint64> time;
    std::vector<double> value;       // NaN where a reading could not be converted
    std::vector<double> temperature; // NaN where the record had none
    qint64 uncorrected = 0;          // converted values without a temperature correction
};

constexpr qint64 kAllTime = std::numeric_limits<qint64>::max();

// The trend of one component in [from, to]. With `engineering` and a calibration for the code
// the values are converted; without a calibration they stay readings.
Trend trend(const Archive& archive, const QString& partition, const QString& code, bool engineering,
            qint64 from = std::numeric_limits<qint64>::min(), qint64 to = kAllTime);

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
