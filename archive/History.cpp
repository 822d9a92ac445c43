#include "archive/History.h"

#include <QCoreApplication>
#include <cmath>

namespace archive::History {

Trend trend(const Archive& archive, const QString& partition, const QString& code, bool engineering, qint64 from,
            qint64 to)
{
    Trend t;
    t.partition = partition;
    t.code = code;
    const std::optional<Calibration> calibration = engineering ? archive.calibration(code) : std::nullopt;
    t.converted = calibration.has_value();
    if (calibration) {
        const QString quantity =
            calibration->gauge.isEmpty() ? QCoreApplication::translate("History", "工程值") : calibration->gauge;
        t.valueLabel = calibration->unit.isEmpty() ? quantity : QStringLiteral("%1 (%2)").arg(quantity, calibration->unit);
        t.unit = calibration->unit;
    } else {
        t.unit = QStringLiteral("Hz");
        t.valueLabel = QCoreApplication::translate("History", "读数 (Hz)");
    }
    const std::vector<Point> points = archive.series(partition, code, from, to);
    const double nan = std::numeric_limits<double>::quiet_NaN();
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
