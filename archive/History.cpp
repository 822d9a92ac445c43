#include "archive/History.h"

#include <QCoreApplication>
#include <algorithm>
#include <cmath>

namespace archive::History {

namespace {

const double kNan = std::numeric_limits<double>::quiet_NaN();

// The trend's labels for values converted with `calibration`, or for readings without one.
void label(Trend& t, const Calibration* calibration)
{
    if (calibration) {
        const QString quantity =
            calibration->gauge.isEmpty() ? QCoreApplication::translate("History", "工程值") : calibration->gauge;
        t.valueLabel = calibration->unit.isEmpty() ? quantity : QStringLiteral("%1 (%2)").arg(quantity, calibration->unit);
        t.unit = calibration->unit;
    } else {
        t.unit = QStringLiteral("Hz");
        t.valueLabel = QCoreApplication::translate("History", "读数 (Hz)");
    }
}

// A gauge's or a slot's points as a trend, converted by `versions` when `engineering`.
Trend pointsTrend(Trend t, const std::vector<GaugePoint>& points, std::vector<CalibrationVersion> versions,
                  bool engineering)
{
    t.converted = engineering && !versions.empty();
    t.time.reserve(points.size());
    t.utc.reserve(points.size());
    t.temperature.reserve(points.size());
    for (const GaugePoint& p : points) {
        t.time.push_back(p.time);
        t.utc.push_back(p.utc);
        t.temperature.push_back(p.hasTemperature ? p.temperatureC : kNan);
    }
    if (t.converted) {
        Conversion c = convertByVersions(points, versions);
        t.value = std::move(c.value);
        t.version = std::move(c.version);
        t.uncorrected = c.uncorrected;
        // Labelled after the newest version: the one the latest values are in.
        const auto newest = std::max_element(versions.begin(), versions.end(), [](const auto& a, const auto& b) {
            return a.fromUtc < b.fromUtc;
        });
        label(t, &newest->values);
    } else {
        t.value.reserve(points.size());
        for (const GaugePoint& p : points)
            t.value.push_back(p.readingHz);
        t.version.assign(points.size(), -1);
        label(t, nullptr);
    }
    t.versions = std::move(versions);
    return t;
}

} // namespace

Trend trend(const Archive& archive, const QString& partition, const QString& code, bool engineering, qint64 from,
            qint64 to)
{
    Trend t;
    t.partition = partition;
    t.code = code;
    const std::optional<Calibration> calibration = engineering ? archive.calibration(code) : std::nullopt;
    t.converted = calibration.has_value();
    label(t, calibration ? &*calibration : nullptr);
    const std::vector<Point> points = archive.series(partition, code, from, to);
    const double nan = kNan;
    t.time.reserve(points.size());
    t.value.reserve(points.size());
    t.temperature.reserve(points.size());
    for (const Point& p : points) {
        t.time.push_back(p.time);
        t.temperature.push_back(p.hasTemperature ? p.temperatureC : nan);
        if (!calibration) {
            t.value.push_back(p.readingHz);
            continue;
        }
        const auto v = convert(*calibration, p.readingHz, p.hasTemperature ? std::optional(p.temperatureC) : std::nullopt);
        t.value.push_back(v ? v->value : nan);
        if (v && v->uncorrected)
            ++t.uncorrected;
    }
    return t;
}

Conversion convertByVersions(const std::vector<GaugePoint>& points, const std::vector<CalibrationVersion>& versions)
{
    Conversion out;
    out.value.reserve(points.size());
    out.version.reserve(points.size());
    for (const GaugePoint& p : points) {
        const CalibrationVersion* v = versionAt(versions, p.utc);
        if (!v) {
            out.value.push_back(kNan);
            out.version.push_back(-1);
            continue;
        }
        out.version.push_back(int(v - versions.data()));
        const auto converted =
            convert(v->values, p.readingHz, p.hasTemperature ? std::optional(p.temperatureC) : std::nullopt);
        out.value.push_back(converted ? converted->value : kNan);
        if (converted && converted->uncorrected)
            ++out.uncorrected;
    }
    return out;
}

Trend gaugeTrend(const Archive& archive, const QString& gauge, bool engineering, qint64 fromUtc, qint64 toUtc)
{
    Trend t;
    t.gauge = gauge;
    const std::vector<GaugePoint> points = archive.gaugeSeries(gauge, fromUtc, toUtc);
    std::vector<CalibrationVersion> versions = archive.calibrationVersions(gauge);
    // The levels are in the units the judge values the readings in: engineering values by the
    // calibration versions, or Hz for a gauge without any.
    const bool hasVersions = !versions.empty();
    t = pointsTrend(std::move(t), points, engineering ? std::move(versions) : std::vector<CalibrationVersion>{},
                    engineering);
    t.levelsApply = engineering || !hasVersions;
    t.status.reserve(points.size());
    t.flags.reserve(points.size());
    t.masked.reserve(points.size());
    for (const GaugePoint& p : points) {
        t.status.push_back(p.status);
        t.flags.push_back(p.flags);
        t.masked.push_back(p.masked);
    }
    t.levelSets = archive.levelSets(gauge);
    return t;
}

const LevelSet* levelSetAt(const std::vector<LevelSet>& sets, qint64 utc)
{
    const LevelSet* found = nullptr;
    for (const LevelSet& s : sets) {
        if (s.fromUtc > utc)
            continue;
        // Of two from the same instant the later entered (the later id when the times are equal).
        if (!found || s.fromUtc > found->fromUtc ||
            (s.fromUtc == found->fromUtc &&
             (s.enteredAt > found->enteredAt || (s.enteredAt == found->enteredAt && s.id > found->id))))
            found = &s;
    }
    return found && !found->levels.empty() ? found : nullptr;
}

double baselineValue(const Trend& trend, const LevelSet& set)
{
    const std::vector<qint64>& at = trend.utc.size() == trend.value.size() ? trend.utc : trend.time;
    for (std::size_t i = 0; i < trend.value.size(); ++i) {
        if (at[i] < set.baselineUtc || std::isnan(trend.value[i]))
            continue;
        if (i < trend.masked.size() && trend.masked[i])
            continue;
        return trend.value[i];
    }
    return kNan;
}

Trend unassignedTrend(const Archive& archive, qint64 readout, const QString& code, bool engineering, qint64 fromUtc,
                      qint64 toUtc)
{
    Trend t;
    t.partition = code.left(1);
    t.code = code;
    for (const Readout& r : archive.readouts())
        if (r.id == readout)
            t.readout = r.name;
    std::vector<CalibrationVersion> versions;
    if (engineering && !t.readout.isEmpty())
        for (CalibrationVersion& v : archive.allCalibrationVersions())
            if (v.gauge.isEmpty() && (v.readout == t.readout || v.readout.isEmpty()) && v.code == code)
                versions.push_back(std::move(v));
    return pointsTrend(std::move(t), archive.unassignedSeries(readout, code, fromUtc, toUtc), std::move(versions),
                       engineering);
}

QStringList spanNames()
{
    return {QCoreApplication::translate("History", "全部"), QCoreApplication::translate("History", "最近 7 天"),
            QCoreApplication::translate("History", "最近 30 天"), QCoreApplication::translate("History", "最近一年")};
}

Range rangeOf(Span span, const std::vector<SeriesSummary>& chosen)
{
    Range r;
    if (span == Span::All || chosen.empty())
        return r;
    qint64 newest = chosen.front().lastTime;
    for (const SeriesSummary& s : chosen)
        newest = std::max(newest, s.lastTime);
    const qint64 days = span == Span::Week ? 7 : span == Span::Month ? 30
                                                                     : 365;
    r.from = newest - days * 86400;
    r.to = newest;
    return r;
}

} // namespace archive::History
