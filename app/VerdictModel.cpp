#include "app/VerdictModel.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QTimeZone>
#include <algorithm>

namespace verdictmodel {

bool worthShowing(const archive::Verdict& verdict)
{
    return !verdict.events.empty() || !verdict.changed.empty() || verdict.flagged > 0 || !verdict.flaggedGauges.isEmpty();
}

std::vector<Row> rows(const archive::Verdict& verdict)
{
    std::vector<Row> out;
    for (const archive::GaugeStatus& g : verdict.changed) {
        Row r;
        r.gauge = g.gauge;
        r.site = g.site;
        r.changed = true;
        r.flagged = verdict.flaggedGauges.contains(g.gauge);
        r.status = g.status;
        r.statusName = g.statusName;
        r.value = g.lastValue;
        r.unit = g.unit;
        r.rule = g.rule;
        r.utc = g.lastUtc;
        // Where it changed: the gauge's latest transition among the new readings.
        const archive::LevelEvent* latest = nullptr;
        for (const archive::LevelEvent& e : verdict.events)
            if (e.gauge == g.gauge && (!latest || e.utc >= latest->utc))
                latest = &e;
        if (latest) {
            r.from = latest->from;
            r.value = latest->value;
            r.unit = latest->unit.isEmpty() ? g.unit : latest->unit;
            r.rule = latest->rule;
            r.time = latest->time;
            r.utc = latest->utc;
            if (!latest->toName.isEmpty())
                r.statusName = latest->toName;
        }
        out.push_back(std::move(r));
    }
    // Worst first; back to normal after every raised one; then by name.
    std::stable_sort(out.begin(), out.end(), [](const Row& a, const Row& b) {
        if (a.status != b.status)
            return a.status > b.status;
        return a.gauge < b.gauge;
    });
    QStringList flaggedOnly;
    for (const QString& gauge : verdict.flaggedGauges)
        if (std::none_of(out.begin(), out.end(), [&](const Row& r) { return r.gauge == gauge; }) &&
            !flaggedOnly.contains(gauge))
            flaggedOnly << gauge;
    flaggedOnly.sort();
    for (const QString& gauge : flaggedOnly) {
        Row r;
        r.gauge = gauge;
        r.flagged = true;
        out.push_back(std::move(r));
    }
    return out;
}

QString headline(const archive::Verdict& verdict)
{
    int atAlarm = 0, atControl = 0, atWarning = 0, normal = 0;
    for (const archive::GaugeStatus& g : verdict.changed) {
        if (g.status >= 2)
            ++atAlarm;
        if (g.status >= 3)
            ++atControl;
        if (g.status == 1)
            ++atWarning;
        if (g.status == 0)
            ++normal;
    }
    QStringList parts;
    if (atAlarm > 0) {
        QString text = QCoreApplication::translate("VerdictPanel", "%1 个测点超过报警值").arg(atAlarm);
        if (atControl > 0)
            text += QCoreApplication::translate("VerdictPanel", "（其中 %1 个超过控制值）").arg(atControl);
        parts << text;
    }
    if (atWarning > 0)
        parts << QCoreApplication::translate("VerdictPanel", "%1 个测点达到预警值").arg(atWarning);
    if (normal > 0)
        parts << QCoreApplication::translate("VerdictPanel", "%1 个测点恢复正常").arg(normal);
    if (verdict.flagged > 0)
        parts << QCoreApplication::translate("VerdictPanel", "%1 条读数有质量标记（%2 个测点）").arg(verdict.flagged).arg(verdict.flaggedGauges.size());
    if (parts.isEmpty())
        return QCoreApplication::translate("VerdictPanel", "没有测点状态改变，读数没有质量标记");
    return parts.join(QCoreApplication::translate("VerdictPanel", "，"));
}

QString statusText(const Row& row)
{
    if (!row.changed)
        return QCoreApplication::translate("VerdictPanel", "质量标记");
    return row.statusName.isEmpty() ? (row.status == 0 ? QCoreApplication::translate("VerdictPanel", "正常") : QString::number(row.status)) : row.statusName;
}

QString valueText(const Row& row)
{
    if (std::isnan(row.value))
        return {};
    const QString number = QString::number(row.value, 'g', 7);
    return row.unit.isEmpty() ? number : QStringLiteral("%1 %2").arg(number, row.unit);
}

QString timeText(const Row& row)
{
    // The readout's clock, as the preview shows the reading; else the PC's local time.
    if (row.time != 0)
        return QDateTime::fromSecsSinceEpoch(row.time, QTimeZone::utc()).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    if (row.utc != 0)
        return QDateTime::fromSecsSinceEpoch(row.utc, QTimeZone::utc()).toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    return {};
}

} // namespace verdictmodel
