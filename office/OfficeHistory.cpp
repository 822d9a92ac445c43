#include "office/OfficeHistory.h"

#include <QTimeZone>
#include <limits>

namespace office {

namespace {

// A readout's time and UTC differ by its zone's offset, at most a day either way: bounds on the
// key's time let the primary key's index find a slot's readings of the period.
constexpr qint64 kZoneMargin = 2 * 86'400;

qint64 saturatingAdd(qint64 a, qint64 b)
{
    if (b > 0 && a > std::numeric_limits<qint64>::max() - b)
        return std::numeric_limits<qint64>::max();
    if (b < 0 && a < std::numeric_limits<qint64>::min() - b)
        return std::numeric_limits<qint64>::min();
    return a + b;
}

} // namespace

std::optional<std::vector<TrendPoint>> gaugeTrend(PgConnection& conn, const QString& gauge, qint64 fromUtc,
                                                  qint64 toUtc, Failure* failure)
{
    // Each of the gauge's assignments is a range of one slot's key, [from_t, to_t) in readout
    // time; the readings of the range come from the primary key's index, in key order per slot,
    // and the merge by UTC sorts what several slots gave.
    const std::optional<PgResult> rows = conn.query(
        "SELECT r.utc_s, r.reading_hz, r.temperature_c FROM ktm520.gauges g "
        "JOIN ktm520.assignments a ON a.gauge = g.id "
        "JOIN ktm520.readings r ON r.slot = a.slot AND r.time_s >= a.from_t AND r.time_s < a.to_t "
        "AND r.time_s BETWEEN $4 AND $5 "
        "WHERE g.name = $1 AND r.utc_s BETWEEN $2 AND $3 AND r.reading_hz IS NOT NULL "
        "ORDER BY r.utc_s, r.slot",
        {gauge.toUtf8(), QByteArray::number(fromUtc), QByteArray::number(toUtc),
         QByteArray::number(saturatingAdd(fromUtc, -kZoneMargin)), QByteArray::number(saturatingAdd(toUtc, kZoneMargin))},
        failure);
    if (!rows)
        return std::nullopt;
    std::vector<TrendPoint> out;
    const int n = rows->rows();
    out.reserve(size_t(n));
    for (int i = 0; i < n; ++i) {
        TrendPoint p;
        p.utc = rows->number(i, 0);
        p.readingHz = rows->real(i, 1);
        p.hasTemperature = !rows->isNull(i, 2);
        p.temperatureC = p.hasTemperature ? rows->real(i, 2) : 0;
        out.push_back(p);
    }
    return out;
}

std::optional<OfficeTotals> officeTotals(PgConnection& conn, Failure* failure)
{
    // Every reading the office holds reached it first in one download, which counts it in
    // `added`: the sum is the table's count without reading the table.
    const std::optional<PgResult> totals = conn.query(
        "SELECT (SELECT coalesce(sum(added), 0) FROM ktm520.downloads), (SELECT count(*) FROM ktm520.gauges), "
        "(SELECT count(*) FROM ktm520.readouts), "
        "(SELECT coalesce(sum(pg_total_relation_size(c.oid)), 0) FROM pg_class c "
        "JOIN pg_namespace n ON n.oid = c.relnamespace WHERE n.nspname = 'ktm520' AND c.relkind IN ('r', 'm'))",
        failure);
    if (!totals || totals->rows() != 1)
        return std::nullopt;
    OfficeTotals out;
    out.readings = totals->number(0, 0);
    out.gauges = totals->number(0, 1);
    out.readouts = totals->number(0, 2);
    out.bytes = totals->number(0, 3);
    const std::optional<PgResult> sources = conn.query(
        "SELECT s.identity::text, s.pc, s.pc_user, count(d.id), coalesce(sum(d.added), 0), "
        "extract(epoch FROM s.last_sync)::bigint FROM ktm520.sources s "
        "LEFT JOIN ktm520.downloads d ON d.source = s.id GROUP BY s.id ORDER BY s.first_seen, s.id",
        failure);
    if (!sources)
        return std::nullopt;
    for (int i = 0; i < sources->rows(); ++i) {
        SourceTotal t;
        t.source = sources->text(i, 0);
        t.pc = sources->text(i, 1);
        t.user = sources->text(i, 2);
        t.downloads = sources->number(i, 3);
        t.readings = sources->number(i, 4);
        if (!sources->isNull(i, 5))
            t.lastSync = QDateTime::fromSecsSinceEpoch(sources->number(i, 5), QTimeZone::utc());
        out.sources.push_back(t);
    }
    return out;
}

} // namespace office
