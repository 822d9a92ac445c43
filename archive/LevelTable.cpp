#include "archive/LevelTable.h"

#include "archive/TableFile.h"
#include "platform/ComponentRules.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QLocale>

#include <algorithm>
#include <cmath>
#include <map>

namespace archive::LevelTable {
namespace {

enum Column {
    Gauge,
    Side,
    Rank,
    RankName,
    Quantity,
    Threshold,
    Window,
    Confirm,
    DeadBand,
    Baseline,
    From,
    Count
};

const char* const kChinese[Count] = {"测点", "方向", "等级", "等级名称", "比较量", "阈值",
                                     "窗口（天）", "连续次数", "回差", "基准时间", "生效时间"};
const char* const kEnglish[Count] = {"gauge", "side", "rank", "rank name", "quantity", "threshold",
                                     "window days", "confirmations", "dead band", "baseline", "from"};

// Also accepted in a header (compared in lower case).
const std::map<QString, int>& aliases()
{
    static const std::map<QString, int> a{
        {QStringLiteral("测点名"), Gauge}, {QStringLiteral("测点编号"), Gauge}, {QStringLiteral("上下限"), Side}, {QStringLiteral("级别"), Rank}, {QStringLiteral("级别名称"), RankName}, {QStringLiteral("量"), Quantity}, {QStringLiteral("窗口(天)"), Window}, {QStringLiteral("窗口"), Window}, {QStringLiteral("window"), Window}, {QStringLiteral("window (days)"), Window}, {QStringLiteral("确认次数"), Confirm}, {QStringLiteral("confirm"), Confirm}, {QStringLiteral("deadband"), DeadBand}, {QStringLiteral("基准"), Baseline}, {QStringLiteral("初始读数时间"), Baseline}, {QStringLiteral("生效日期"), From}, {QStringLiteral("起始时间"), From}, {QStringLiteral("applies from"), From}};
    return a;
}

struct Texts {
    Q_DECLARE_TR_FUNCTIONS(archive::LevelTable)
};

QString sideWord(LevelSide side, bool english)
{
    if (english)
        return side == LevelSide::High ? QStringLiteral("high") : QStringLiteral("low");
    return side == LevelSide::High ? QStringLiteral("上限") : QStringLiteral("下限");
}

QString quantityWord(LevelQuantity q, bool english)
{
    switch (q) {
    case LevelQuantity::Value: return english ? QStringLiteral("value") : QStringLiteral("数值");
    case LevelQuantity::Change: return english ? QStringLiteral("change") : QStringLiteral("累计变化");
    case LevelQuantity::Rate: return english ? QStringLiteral("rate") : QStringLiteral("变化速率");
    }
    return {};
}

std::optional<LevelSide> sideOf(const QString& text)
{
    for (LevelSide s : {LevelSide::High, LevelSide::Low})
        if (text == sideWord(s, false) || text.compare(sideWord(s, true), Qt::CaseInsensitive) == 0)
            return s;
    if (text == QStringLiteral("上") || text == QStringLiteral("≥") || text == QStringLiteral(">="))
        return LevelSide::High;
    if (text == QStringLiteral("下") || text == QStringLiteral("≤") || text == QStringLiteral("<="))
        return LevelSide::Low;
    return std::nullopt;
}

std::optional<LevelQuantity> quantityOf(const QString& text)
{
    if (text.isEmpty())
        return LevelQuantity::Value;
    for (LevelQuantity q : {LevelQuantity::Value, LevelQuantity::Change, LevelQuantity::Rate})
        if (text == quantityWord(q, false) || text.compare(quantityWord(q, true), Qt::CaseInsensitive) == 0)
            return q;
    if (text == QStringLiteral("变化量") || text == QStringLiteral("累计变化量"))
        return LevelQuantity::Change;
    if (text == QStringLiteral("速率"))
        return LevelQuantity::Rate;
    return std::nullopt;
}

std::optional<double> numberOf(const QString& text)
{
    bool ok = false;
    const double v = QLocale::c().toDouble(text, &ok);
    return ok && std::isfinite(v) ? std::optional<double>(v) : std::nullopt;
}

QString numberText(double v) { return QString::number(v, 'g', QLocale::FloatingPointShortest); }

// An instant as the table writes it and as it is typed: "2026-12-01", "2026/12/1",
// "2026-12-01 08:30" or with seconds, or a workbook's day number (its fraction the time of day).
// Empty: kSinceEver.
std::optional<qint64> instantOf(const QString& text, const QTimeZone& zone)
{
    if (text.isEmpty())
        return kSinceEver;
    for (const char* format : {"yyyy-M-d H:mm:ss", "yyyy-M-d H:mm", "yyyy-M-d", "yyyy/M/d H:mm:ss", "yyyy/M/d H:mm",
                               "yyyy/M/d"}) {
        const QDateTime t = QDateTime::fromString(text, QString::fromLatin1(format));
        if (t.isValid())
            return QDateTime(t.date(), t.time(), zone).toSecsSinceEpoch();
    }
    // Excel's day numbers count from 1899-12-30 (valid from day 61, 1900-03-01).
    if (const std::optional<double> day = numberOf(text); day && *day >= 61 && *day < 2958466) {
        const double whole = std::floor(*day);
        const int seconds = int(std::lround((*day - whole) * 86400.0));
        return QDateTime(QDate(1899, 12, 30).addDays(qint64(whole)), QTime(0, 0), zone).toSecsSinceEpoch() + seconds;
    }
    return std::nullopt;
}

QString instantText(qint64 t, const QTimeZone& zone)
{
    if (t == kSinceEver)
        return {};
    const QDateTime d = QDateTime::fromSecsSinceEpoch(t, zone);
    return d.time() == QTime(0, 0) ? d.toString(QStringLiteral("yyyy-MM-dd"))
                                   : d.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

// One gauge's rows as they are read.
struct Pending {
    LevelSet set;
    int firstRow = 0;                            // where its baseline and "from" were first given
    std::map<int, int> nameRow;                  // rank -> the row that named it
    std::map<std::pair<int, int>, int> levelRow; // (side, rank) -> the row that gave it
    bool endsLevels = false;                     // a row without a level
    int rows = 0;
    bool refused = false;
};

} // namespace

QStringList headers(bool english)
{
    QStringList out;
    for (const char* name : english ? kEnglish : kChinese)
        out << QString::fromUtf8(name);
    return out;
}

std::vector<QStringList> toRows(const LevelSet& set, bool english, const QTimeZone& zone)
{
    std::vector<QStringList> rows;
    const auto start = [&] {
        QStringList row(Count);
        row[Gauge] = set.gauge;
        row[Baseline] = instantText(set.baselineUtc, zone);
        row[From] = instantText(set.fromUtc, zone);
        return row;
    };
    if (set.levels.empty())
        rows.push_back(start());
    for (const TriggerLevel& l : set.levels) {
        QStringList row = start();
        row[Side] = sideWord(l.side, english);
        row[Rank] = QString::number(l.rank);
        row[RankName] = set.rankNames.value(l.rank - 1);
        row[Quantity] = quantityWord(l.quantity, english);
        row[Threshold] = numberText(l.threshold);
        if (l.quantity == LevelQuantity::Rate)
            row[Window] = numberText(l.windowDays);
        row[Confirm] = QString::number(l.confirm);
        row[DeadBand] = numberText(l.deadBand);
        rows.push_back(row);
    }
    return rows;
}

std::vector<LevelSet> fromRows(const std::vector<QStringList>& rows, QStringList* problems, int headerRow,
                               const QTimeZone& zone)
{
    std::vector<LevelSet> out;
    if (rows.empty())
        return out;
    const QStringList chinese = headers(false);
    const std::vector<int> field = TableFile::columns(rows[0], chinese, headers(true), aliases());
    QStringList missing;
    for (int needed : {int(Gauge), int(Side), int(Rank), int(Threshold)})
        if (std::find(field.begin(), field.end(), needed) == field.end())
            missing << QStringLiteral("“%1”").arg(chinese[needed]);
    if (!missing.isEmpty()) {
        if (problems)
            //: %1 the row, %2 the columns' names
            *problems << Texts::tr("第 %1 行：没有%2列").arg(headerRow).arg(missing.join(Texts::tr("、")));
        return out;
    }
    std::vector<Pending> pending;
    std::map<QString, std::size_t> byGauge;
    for (std::size_t r = 1; r < rows.size(); ++r) {
        const int rowNumber = int(r) + headerRow;
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
        const QString gauge = v[Gauge];
        if (gauge.isEmpty())
            bad << Texts::tr("没有测点名");
        else if (!ComponentRules::isName(gauge))
            //: %1 the name as the row gives it
            bad << Texts::tr("测点“%1”不是仪器能保存的元件名（1 到 10 个可显示的 ASCII 字符，不含空格）").arg(gauge);
        Pending* p = nullptr;
        if (!gauge.isEmpty()) {
            auto [it, added] = byGauge.try_emplace(gauge, pending.size());
            if (added) {
                pending.emplace_back();
                pending.back().set.gauge = gauge;
                pending.back().firstRow = rowNumber;
            }
            p = &pending[it->second];
        }
        // A row without a level: the gauge's levels end from its instant on.
        const bool noLevel = v[Side].isEmpty() && v[Rank].isEmpty() && v[Threshold].isEmpty() &&
                             v[Quantity].isEmpty() && v[RankName].isEmpty();
        TriggerLevel level;
        if (!noLevel) {
            if (const auto side = sideOf(v[Side]))
                level.side = *side;
            else
                bad << Texts::tr("方向“%1”应为 上限 或 下限").arg(v[Side]);
            bool ok = false;
            level.rank = v[Rank].toInt(&ok);
            if (!ok || level.rank < 1 || level.rank > kMaxRank)
                bad << Texts::tr("等级“%1”应为 1、2 或 3").arg(v[Rank]);
            if (const auto q = quantityOf(v[Quantity]))
                level.quantity = *q;
            else
                bad << Texts::tr("比较量“%1”应为 数值、累计变化 或 变化速率").arg(v[Quantity]);
            if (const auto t = numberOf(v[Threshold]))
                level.threshold = *t;
            else
                bad << Texts::tr("阈值“%1”不是数").arg(v[Threshold]);
            if (!v[Window].isEmpty()) {
                const auto w = numberOf(v[Window]);
                if (w && *w > 0)
                    level.windowDays = *w;
                else
                    bad << Texts::tr("窗口“%1”应为大于 0 的天数").arg(v[Window]);
            }
            if (!v[Confirm].isEmpty()) {
                const int c = v[Confirm].toInt(&ok);
                if (ok && c >= 1)
                    level.confirm = c;
                else
                    bad << Texts::tr("连续次数“%1”应为不小于 1 的整数").arg(v[Confirm]);
            }
            if (!v[DeadBand].isEmpty()) {
                const auto d = numberOf(v[DeadBand]);
                if (d && *d >= 0)
                    level.deadBand = *d;
                else
                    bad << Texts::tr("回差“%1”应为不小于 0 的数").arg(v[DeadBand]);
            }
        }
        const std::optional<qint64> baseline = instantOf(v[Baseline], zone);
        if (!baseline)
            bad << Texts::tr("基准时间“%1”不是日期或时间（如 2026-12-01 或 2026-12-01 08:30）").arg(v[Baseline]);
        const std::optional<qint64> from = instantOf(v[From], zone);
        if (!from)
            bad << Texts::tr("生效时间“%1”不是日期或时间（如 2026-12-01 或 2026-12-01 08:30）").arg(v[From]);
        // What the gauge's earlier rows said.
        if (p) {
            const bool first = p->rows == 0;
            if (!first && baseline && *baseline != p->set.baselineUtc)
                bad << Texts::tr("基准时间与第 %1 行不同").arg(p->firstRow);
            if (!first && from && *from != p->set.fromUtc)
                bad << Texts::tr("生效时间与第 %1 行不同").arg(p->firstRow);
            if (first) {
                p->set.baselineUtc = baseline.value_or(kSinceEver);
                p->set.fromUtc = from.value_or(kSinceEver);
            }
            if ((noLevel && p->rows > 0) || (!noLevel && p->endsLevels))
                bad << Texts::tr("测点的一行不含任何等级（结束其触发值），它须是该测点唯一的一行");
            const bool rankRead = level.rank >= 1 && level.rank <= kMaxRank;
            if (!noLevel && rankRead) {
                const auto key = std::pair{int(level.side), level.rank};
                if (auto it = p->levelRow.find(key); it != p->levelRow.end())
                    bad << Texts::tr("%1 %2 级已在第 %3 行给出")
                               .arg(sideWord(level.side, false), QString::number(level.rank), QString::number(it->second));
                else
                    p->levelRow[key] = rowNumber;
                const QString name = v[RankName];
                if (!name.isEmpty()) {
                    QString& kept = p->set.rankNames[level.rank - 1];
                    if (auto it = p->nameRow.find(level.rank); it != p->nameRow.end() && kept != name)
                        bad << Texts::tr("等级 %1 的名称“%2”与第 %3 行的“%4”不同")
                                   .arg(QString::number(level.rank), name, QString::number(it->second), kept);
                    else if (it == p->nameRow.end()) {
                        kept = name;
                        p->nameRow[level.rank] = rowNumber;
                    }
                }
            }
            ++p->rows;
            p->endsLevels = p->endsLevels || noLevel;
        }
        if (!bad.isEmpty()) {
            if (problems)
                *problems << Texts::tr("第 %1 行：").arg(rowNumber) + bad.join(Texts::tr("；"));
            if (p)
                p->refused = true;
            continue;
        }
        if (!noLevel)
            p->set.levels.push_back(level);
    }
    for (Pending& p : pending) {
        if (p.refused)
            continue;
        // What the rows cannot show on their own (the archive refuses such a set as well).
        if (const QString problem = levelSetProblem(p.set); !problem.isEmpty()) {
            if (problems)
                //: %1 the gauge, %2 what is wrong with its levels
                *problems << Texts::tr("测点 %1：%2").arg(p.set.gauge, problem);
            continue;
        }
        out.push_back(std::move(p.set));
    }
    return out;
}

namespace {
std::vector<QStringList> table(const std::vector<LevelSet>& sets, bool english, const QTimeZone& zone)
{
    std::vector<QStringList> rows{headers(english)};
    for (const LevelSet& s : sets)
        for (QStringList& row : toRows(s, english, zone))
            rows.push_back(std::move(row));
    return rows;
}
} // namespace

QByteArray toCsv(const std::vector<LevelSet>& sets, bool english, const QTimeZone& zone)
{
    return TableFile::csvText(table(sets, english, zone));
}

std::optional<QString> writeFile(const QString& path, const std::vector<LevelSet>& sets, bool english,
                                 const QTimeZone& zone)
{
    return TableFile::write(path, table(sets, english, zone), english ? QStringLiteral("Levels") : QStringLiteral("触发值"));
}

} // namespace archive::LevelTable
