// The operator's words for a sync's result and its conflicts (context "Office").
#include "office/SyncInternal.h"

#include "archive/Record.h"

#include <QCoreApplication>
#include <QLocale>
#include <QTimeZone>

namespace office {

namespace {

// 3,412: grouped by thousands as the status line shows counts.
QString count(qint64 n) { return QLocale(QLocale::English).toString(n); }

QString when(const QDateTime& at)
{
    return at.isValid() ? at.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm")) : QCoreApplication::translate("Office", "时间不明");
}

QString who(const QString& by) { return by.isEmpty() ? QCoreApplication::translate("Office", "未知用户") : by; }

QString quoted(const QString& value) { return value.isEmpty() ? QCoreApplication::translate("Office", "（空）") : QCoreApplication::translate("Office", "「%1」").arg(value); }

QString readoutTime(qint64 t)
{
    if (t == archive::kSinceEver)
        return QCoreApplication::translate("Office", "最早");
    if (t == archive::kUntilNow)
        return QCoreApplication::translate("Office", "至今");
    return archive::instrumentTimeText(t);
}

QString utcTime(qint64 utc)
{
    if (utc == archive::kSinceEver)
        return QCoreApplication::translate("Office", "最早");
    return QDateTime::fromSecsSinceEpoch(utc, QTimeZone::utc()).toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm"));
}

} // namespace

namespace sync {

QString gaugeEditText(const archive::GaugeInfo& edit, const archive::GaugeInfo& other)
{
    QStringList parts;
    auto field = [&](const QString& name, const QString& mine, const QString& theirs) {
        if (mine != theirs)
            parts << name + quoted(mine);
    };
    field(QCoreApplication::translate("Office", "类型"), edit.type, other.type);
    field(QCoreApplication::translate("Office", "单位"), edit.unit, other.unit);
    field(QCoreApplication::translate("Office", "工程"), edit.site, other.site);
    field(QCoreApplication::translate("Office", "位置"), edit.location, other.location);
    field(QCoreApplication::translate("Office", "安装日期"), edit.installed.toString(Qt::ISODate), other.installed.toString(Qt::ISODate));
    if (edit.intervalDays != other.intervalDays)
        parts << QCoreApplication::translate("Office", "观测间隔 %1 天").arg(edit.intervalDays);
    field(QCoreApplication::translate("Office", "备注"), edit.notes, other.notes);
    return parts.isEmpty() ? QCoreApplication::translate("Office", "内容相同") : parts.join(QCoreApplication::translate("Office", "，"));
}

QString assignmentsText(const std::vector<archive::Assignment>& assignments)
{
    if (assignments.empty())
        return QCoreApplication::translate("Office", "不分配测点");
    QStringList parts;
    for (const archive::Assignment& a : assignments)
        parts << QCoreApplication::translate("Office", "%1（%2 至 %3）").arg(a.gauge, readoutTime(a.from), readoutTime(a.to));
    return parts.join(QCoreApplication::translate("Office", "，"));
}

QString calibrationText(const archive::CalibrationVersion& v)
{
    if (v.withdrawn)
        return QCoreApplication::translate("Office", "自 %1 起撤销率定").arg(utcTime(v.fromUtc));
    const archive::Calibration& c = v.values;
    const QString formula =
        c.form == archive::Form::Linear
            ? QStringLiteral("G=%1, R0=%2, K=%3").arg(c.G).arg(c.R0).arg(c.K)
            : QStringLiteral("A=%1, B=%2, C=%3, K=%4").arg(c.A).arg(c.B).arg(c.C).arg(c.K);
    return QCoreApplication::translate("Office", "自 %1 起：%2").arg(utcTime(v.fromUtc), formula);
}

QString levelSetText(const archive::LevelSet& set)
{
    if (set.levels.empty())
        return QCoreApplication::translate("Office", "自 %1 起不设警戒值").arg(utcTime(set.fromUtc));
    return QCoreApplication::translate("Office", "自 %1 起 %2 个警戒值").arg(utcTime(set.fromUtc)).arg(set.levels.size());
}

} // namespace sync

QString resultText(const SyncResult& r)
{
    QString text;
    if (r.readOnly)
        text = QCoreApplication::translate("Office", "只读用户：未上传任何读数；已下载 %1 条读数").arg(count(r.readingsPulled));
    else
        text = QCoreApplication::translate("Office", "已同步：上传 %1 条读数（新 %2 条），下载 %3 条读数")
                   .arg(count(r.readingsSent), count(r.readingsNew), count(r.readingsPulled));
    if (r.readingsWaiting > 0)
        text += QCoreApplication::translate("Office", "；另有 %1 条待同步").arg(count(r.readingsWaiting));
    if (!r.conflicts.empty())
        text += QCoreApplication::translate("Office", "；%1 处修改冲突").arg(count(qint64(r.conflicts.size())));
    return text;
}

QStringList conflictTexts(const SyncResult& result)
{
    QStringList out;
    for (const Conflict& c : result.conflicts) {
        QString subject;
        switch (c.kind) {
        case Conflict::Gauge:
            subject = QCoreApplication::translate("Office", "测点 %1 的登记信息").arg(c.subject);
            break;
        case Conflict::Assignments:
            subject = QCoreApplication::translate("Office", "通道 %1 的测点分配").arg(c.subject);
            break;
        case Conflict::Calibration:
            subject = QCoreApplication::translate("Office", "%1 的率定").arg(c.subject);
            break;
        case Conflict::Levels:
            subject = QCoreApplication::translate("Office", "测点 %1 的警戒值").arg(c.subject);
            break;
        }
        out << QCoreApplication::translate("Office", "%1在两台电脑上同时被修改。采用了较晚的修改（%2，%3）：%4。另一修改（%5，%6）：%7，"
                                                     "已保留在办公室数据库中。")
                   .arg(subject, who(c.appliedBy), when(c.appliedAt), c.applied, who(c.otherBy), when(c.otherAt),
                        c.other);
    }
    return out;
}

QString waitingText(qint64 readings)
{
    if (readings <= 0)
        return {};
    return QCoreApplication::translate("Office", "%1 条读数待同步到办公室数据库").arg(count(readings));
}

} // namespace office
