#include "archive/GaugeRegisterTable.h"

#include "archive/TableFile.h"
#include "platform/ComponentRules.h"

#include <QCoreApplication>
#include <QLocale>

#include <algorithm>
#include <cmath>
#include <map>

namespace archive::GaugeRegisterTable {
namespace {

enum Column {
    Name,
    Type,
    Unit,
    Site,
    Location,
    Installed,
    Interval,
    Notes,
    Count
};

const char* const kChinese[Count] = {"测点", "类型", "单位", "工程", "位置", "安装日期", "测读间隔（天）", "备注"};
const char* const kEnglish[Count] = {"gauge", "type", "unit", "site", "location", "installed", "interval", "notes"};

// Also accepted in a header, for sheets made elsewhere (compared in lower case).
const std::map<QString, int>& aliases()
{
    static const std::map<QString, int> a{
        {QStringLiteral("测点名"), Name}, {QStringLiteral("测点编号"), Name}, {QStringLiteral("name"), Name}, {QStringLiteral("仪器类型"), Type}, {QStringLiteral("测读间隔(天)"), Interval}, {QStringLiteral("测读间隔"), Interval}, {QStringLiteral("interval (days)"), Interval}, {QStringLiteral("installation date"), Installed}, {QStringLiteral("工程名称"), Site}, {QStringLiteral("note"), Notes}};
    return a;
}

// Excel's day numbers count from 1899-12-30 (day 60 is the leap day 1900 never had, so the
// count holds from day 61, 1900-03-01) up to 9999-12-31.
std::optional<QDate> dateOf(const QString& text)
{
    QString t = text;
    if (const qsizetype space = t.indexOf(QLatin1Char(' ')); space > 0)
        t = t.left(space); // a date with a time of day: the date
    for (const QString& format : {QStringLiteral("yyyy-M-d"), QStringLiteral("yyyy/M/d")}) {
        const QDate d = QDate::fromString(t, format);
        if (d.isValid())
            return d;
    }
    bool ok = false;
    const double day = QLocale::c().toDouble(text, &ok);
    if (ok && day >= 61 && day < 2958466)
        return QDate(1899, 12, 30).addDays(qint64(std::floor(day)));
    return std::nullopt;
}

std::optional<int> intervalOf(const QString& text)
{
    if (text.isEmpty())
        return 0;
    bool ok = false;
    const double d = QLocale::c().toDouble(text, &ok);
    if (!ok || !(d >= 0) || d > 36500 || d != std::floor(d))
        return std::nullopt;
    return int(d);
}

} // namespace

QStringList headers(bool english)
{
    QStringList out;
    for (const char* name : english ? kEnglish : kChinese)
        out << QString::fromUtf8(name);
    return out;
}

QStringList toRow(const GaugeInfo& g)
{
    QStringList row(Count);
    row[Name] = g.name;
    row[Type] = g.type;
    row[Unit] = g.unit;
    row[Site] = g.site;
    row[Location] = g.location;
    row[Installed] = g.installed.isValid() ? g.installed.toString(QStringLiteral("yyyy-MM-dd")) : QString();
    row[Interval] = g.intervalDays > 0 ? QString::number(g.intervalDays) : QString();
    row[Notes] = g.notes;
    return row;
}

std::vector<GaugeInfo> fromRows(const std::vector<QStringList>& rows, QStringList* problems, int headerRow)
{
    std::vector<GaugeInfo> out;
    if (rows.empty())
        return out;
    const QStringList chinese = headers(false);
    const std::vector<int> field = TableFile::columns(rows[0], chinese, headers(true), aliases());
    if (std::find(field.begin(), field.end(), int(Name)) == field.end()) {
        if (problems)
            //: %1 the row, %2 the column's name
            *problems << QCoreApplication::translate("GaugeRegisterTable", "第 %1 行：没有“%2”列").arg(headerRow).arg(chinese[Name]);
        return out;
    }
    std::map<QString, std::size_t> byName;
    for (std::size_t r = 1; r < rows.size(); ++r) {
        QStringList v(Count);
        bool blank = true;
        for (qsizetype i = 0; i < rows[r].size(); ++i) {
            blank = blank && rows[r][i].trimmed().isEmpty();
            if (std::size_t(i) < field.size() && field[std::size_t(i)] >= 0)
                v[field[std::size_t(i)]] = rows[r][i].trimmed();
        }
        if (blank)
            continue;
        QStringList bad; // every field that cannot be read, in the order of the columns
        GaugeInfo g;
        g.name = v[Name];
        if (g.name.isEmpty())
            bad << QCoreApplication::translate("GaugeRegisterTable", "没有测点名");
        else if (!ComponentRules::isName(g.name))
            //: %1 the name as the row gives it
            bad << QCoreApplication::translate("GaugeRegisterTable", "测点“%1”不是仪器能保存的元件名（1 到 10 个可显示的 ASCII 字符，不含空格）").arg(g.name);
        g.type = v[Type];
        g.unit = v[Unit];
        g.site = v[Site];
        g.location = v[Location];
        if (!v[Installed].isEmpty()) {
            if (const auto d = dateOf(v[Installed]))
                g.installed = *d;
            else
                bad << QCoreApplication::translate("GaugeRegisterTable", "安装日期“%1”不是日期（如 2026-01-05）").arg(v[Installed]);
        }
        if (const auto days = intervalOf(v[Interval]))
            g.intervalDays = *days;
        else
            bad << QCoreApplication::translate("GaugeRegisterTable", "测读间隔“%1”不是天数（不小于 0 的整数）").arg(v[Interval]);
        g.notes = v[Notes];
        if (!bad.isEmpty()) {
            if (problems)
                *problems << QCoreApplication::translate("GaugeRegisterTable", "第 %1 行：").arg(qint64(r) + headerRow) + bad.join(QCoreApplication::translate("GaugeRegisterTable", "；"));
            continue;
        }
        if (auto it = byName.find(g.name); it != byName.end()) {
            out[it->second] = g;
        } else {
            byName[g.name] = out.size();
            out.push_back(g);
        }
    }
    return out;
}

namespace {
std::vector<QStringList> table(const std::vector<GaugeInfo>& gauges, bool english)
{
    std::vector<QStringList> rows{headers(english)};
    for (const GaugeInfo& g : gauges)
        rows.push_back(toRow(g));
    return rows;
}
} // namespace

QByteArray toCsv(const std::vector<GaugeInfo>& gauges, bool english) { return TableFile::csvText(table(gauges, english)); }

std::optional<QString> writeFile(const QString& path, const std::vector<GaugeInfo>& gauges, bool english)
{
    return TableFile::write(path, table(gauges, english), english ? QStringLiteral("Gauges") : QStringLiteral("测点登记"));
}

} // namespace archive::GaugeRegisterTable
