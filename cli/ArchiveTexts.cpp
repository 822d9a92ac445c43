#include "cli/ArchiveTexts.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QJsonArray>

#include <cmath>

namespace cli {

namespace {
struct Texts {
    Q_DECLARE_TR_FUNCTIONS(cli::ArchiveTexts)
};

QJsonValue number(double v) { return std::isfinite(v) ? QJsonValue(v) : QJsonValue(QJsonValue::Null); }
} // namespace

QString readoutTime(qint64 t)
{
    return QDateTime::fromSecsSinceEpoch(t, Qt::UTC).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QString localTime(qint64 utc)
{
    return utc == 0 ? QString()
                    : QDateTime::fromSecsSinceEpoch(utc).toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QString isoTime(qint64 utc)
{
    return utc == 0 ? QString() : QDateTime::fromSecsSinceEpoch(utc, Qt::UTC).toString(Qt::ISODate);
}

QString valueText(double value, const QString& unit)
{
    if (!std::isfinite(value))
        return QStringLiteral("—");
    const QString n = QString::number(value, 'g', 10);
    return unit.isEmpty() ? n : n + QLatin1Char(' ') + unit;
}

QString eventRow(const archive::LevelEvent& e)
{
    return QStringList{e.gauge,
                       e.site,
                       localTime(e.utc),
                       e.readout,
                       valueText(e.value, e.unit),
                       e.fromName + QStringLiteral(" -> ") + e.toName,
                       e.rule,
                       e.acknowledged ? Texts::tr("已确认") : QString()}
               .join(QLatin1Char('\t')) +
           QLatin1Char('\n');
}

QJsonObject eventJson(const archive::LevelEvent& e)
{
    return QJsonObject{{"id", e.id},
                       {"gauge", e.gauge},
                       {"site", e.site},
                       {"readout", e.readout},
                       {"time", readoutTime(e.time)},
                       {"utc", isoTime(e.utc)},
                       {"value", number(e.value)},
                       {"unit", e.unit},
                       {"from", e.from},
                       {"to", e.to},
                       {"fromName", e.fromName},
                       {"toName", e.toName},
                       {"rule", e.rule},
                       {"acknowledged", e.acknowledged},
                       {"note", e.note}};
}

QStringList verdictLines(const archive::Verdict& v)
{
    QStringList lines;
    for (const archive::LevelEvent& e : v.events) {
        QString line = QStringLiteral("%1  %2  %3  %4 -> %5")
                           .arg(e.gauge, localTime(e.utc), valueText(e.value, e.unit), e.fromName, e.toName);
        if (!e.rule.isEmpty())
            line += QStringLiteral("  ") + e.rule;
        //: %1 a gauge's change of status: gauge, time, value, from -> to, rule
        lines << Texts::tr("状态变化：%1").arg(line);
    }
    if (v.flagged > 0)
        //: %1 how many readings, %2 the gauges
        lines << Texts::tr("新读数中有 %1 条带质量标记（测点 %2）。")
                     .arg(v.flagged)
                     .arg(v.flaggedGauges.join(Texts::tr("、")));
    return lines;
}

QJsonObject verdictJson(const archive::Verdict& v)
{
    QJsonArray events;
    for (const archive::LevelEvent& e : v.events)
        events.append(eventJson(e));
    QJsonArray changed;
    for (const archive::GaugeStatus& g : v.changed)
        changed.append(QJsonObject{{"gauge", g.gauge},
                                   {"site", g.site},
                                   {"status", g.status},
                                   {"statusName", g.statusName},
                                   {"rule", g.rule},
                                   {"last", isoTime(g.lastUtc)},
                                   {"value", number(g.lastValue)},
                                   {"unit", g.unit}});
    return QJsonObject{{"events", events},
                       {"changed", changed},
                       {"flagged", v.flagged},
                       {"flaggedGauges", QJsonArray::fromStringList(v.flaggedGauges)},
                       {"raised", v.raised()}};
}

} // namespace cli
