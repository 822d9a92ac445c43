// The trigger level table as files: typed by hand, written by the program and read back.
#include "archive/LevelTable.h"
#include "archive/TableFile.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace archive;

namespace {

const QTimeZone kUtc = QTimeZone::utc();
constexpr qint64 kDec1 = 1796083200; // 2026-12-01 00:00:00 UTC

std::vector<QStringList> csvRows(const QByteArray& text, QString* error)
{
    static QTemporaryDir dir;
    const QString path = dir.filePath("levels.csv");
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(text) != text.size())
        return {};
    f.close();
    return TableFile::read(path, error).value_or(std::vector<QStringList>{});
}

TriggerLevel level(LevelSide side, int rank, LevelQuantity q, double threshold, int confirm = 1, double deadBand = 0,
                   double window = 1)
{
    TriggerLevel l;
    l.side = side;
    l.rank = rank;
    l.quantity = q;
    l.threshold = threshold;
    l.confirm = confirm;
    l.deadBand = deadBand;
    l.windowDays = window;
    return l;
}

std::vector<LevelSet> twoSets()
{
    LevelSet a;
    a.gauge = "QRVA000001";
    a.baselineUtc = kDec1;
    a.fromUtc = kDec1 + 8 * 3600 + 30 * 60;
    a.rankNames = QStringList{"注意", "报警", "停工"};
    a.levels = {level(LevelSide::High, 1, LevelQuantity::Change, 20),
                level(LevelSide::High, 3, LevelQuantity::Change, 50.25, 3, 1.5),
                level(LevelSide::Low, 2, LevelQuantity::Value, -5)};
    LevelSet b;
    b.gauge = "CR-07";
    b.levels = {level(LevelSide::High, 2, LevelQuantity::Rate, 0.1, 1, 0, 7)};
    return {a, b};
}

void expectSame(const std::vector<LevelSet>& got, const std::vector<LevelSet>& want)
{
    ASSERT_EQ(got.size(), want.size());
    for (std::size_t i = 0; i < got.size(); ++i) {
        EXPECT_EQ(got[i].gauge, want[i].gauge);
        EXPECT_EQ(got[i].fromUtc, want[i].fromUtc) << got[i].gauge.toStdString();
        EXPECT_EQ(got[i].baselineUtc, want[i].baselineUtc) << got[i].gauge.toStdString();
        EXPECT_EQ(got[i].rankNames, want[i].rankNames) << got[i].gauge.toStdString();
        EXPECT_EQ(got[i].levels, want[i].levels) << got[i].gauge.toStdString();
    }
}

} // namespace

TEST(LevelTable, AHandMadeTableReadsColumnsByNameInAnyOrderAndEitherLanguage)
{
    // Chinese headers out of order, English words in cells, a rank name given once for two rows.
    QString error;
    const auto rows = csvRows("\xEF\xBB\xBF"
                              "阈值,测点,方向,等级,等级名称,比较量,连续次数,回差,基准时间,生效时间,备注\r\n"
                              "20,QRVA000001,上限,1,注意,累计变化,,,2026-12-01,2026-12-01 08:30,\r\n"
                              "50.25,QRVA000001,high,3,停工,change,3,1.5,2026/12/1,2026-12-01 08:30:00,紧急\r\n"
                              "-5,QRVA000001,下限,2,,,,,2026-12-01,2026-12-01 08:30,\r\n"
                              ",,,,,,,,,,\r\n"
                              "0.1,CR-07,上限,2,,变化速率,,,,,\r\n",
                              &error);
    ASSERT_FALSE(rows.empty()) << error.toStdString();
    QStringList problems;
    auto sets = LevelTable::fromRows(rows, &problems, 1, kUtc);
    EXPECT_TRUE(problems.isEmpty()) << problems.join('\n').toStdString();
    // no window column: a rate level keeps the default window of a day
    std::vector<LevelSet> want = twoSets();
    want[1].levels[0].windowDays = 1;
    expectSame(sets, want);

    // English headers, the window given; a workbook's day number for an instant (noon of 2026-12-01).
    const auto english = csvRows("gauge,side,rank,quantity,threshold,window days,from\n"
                                 "CR-07,low,1,rate,-0.5,7,46357.5\n",
                                 &error);
    sets = LevelTable::fromRows(english, &problems, 1, kUtc);
    ASSERT_EQ(sets.size(), 1u) << problems.join('\n').toStdString();
    EXPECT_EQ(sets[0].fromUtc, kDec1 + 12 * 3600);
    EXPECT_EQ(sets[0].baselineUtc, kSinceEver);
    EXPECT_EQ(sets[0].rankNames, defaultRankNames());
    EXPECT_EQ(sets[0].levels, std::vector<TriggerLevel>{level(LevelSide::Low, 1, LevelQuantity::Rate, -0.5, 1, 0, 7)});

    // Instants are read on the clock given: 08:30 in Shanghai is 00:30 UTC.
    sets = LevelTable::fromRows({{"测点", "方向", "等级", "阈值", "生效时间"}, {"QRVA000001", "上限", "1", "3", "2026-12-01 08:30"}},
                                &problems, 1, QTimeZone("Asia/Shanghai"));
    ASSERT_EQ(sets.size(), 1u);
    EXPECT_EQ(sets[0].fromUtc, kDec1 + 30 * 60);
}

TEST(LevelTable, RowsThatCannotBeReadAreNamedAndTheirGaugeLeftOut)
{
    const std::vector<QStringList> rows{
        {"测点", "方向", "等级", "等级名称", "比较量", "阈值", "窗口（天）", "连续次数", "回差", "基准时间", "生效时间"},
        {"G1", "上限", "1", "", "数值", "10", "", "", "", "2026-12-01", ""},
        {"G1", "上方", "4", "", "位移", "十", "0", "0", "-1", "昨天", ""},         // row 3: every field wrong
        {"G1", "上限", "1", "", "", "11", "", "", "", "2026-12-02", "2026-12-01"}, // row 4: again, and other instants
        {"G2", "下限", "2", "甲", "", "1", "", "", "", "", ""},
        {"G2", "上限", "2", "乙", "", "9", "", "", "", "", ""}, // row 6: another name for rank 2
        {"", "上限", "1", "", "", "9", "", "", "", "", ""},     // row 7: no gauge
        {"含 空格", "上限", "1", "", "", "9", "", "", "", "", ""},
        {"G3", "", "", "", "", "", "", "", "", "", "2026-12-05"}, // ends G3's levels
        {"G4", "", "", "", "", "", "", "", "", "", ""},           // row 10: an end, then a level
        {"G4", "上限", "1", "", "", "5", "", "", "", "", ""},
        {"G5", "上限", "1", "", "变化速率", "0.5", "2", "2", "0.1", "", ""},
    };
    QStringList problems;
    const auto sets = LevelTable::fromRows(rows, &problems, 1, kUtc);
    ASSERT_EQ(sets.size(), 2u);
    EXPECT_EQ(sets[0].gauge, "G3");
    EXPECT_TRUE(sets[0].levels.empty());
    EXPECT_EQ(sets[0].fromUtc, kDec1 + 4 * 86400);
    EXPECT_EQ(sets[1].gauge, "G5");
    EXPECT_EQ(sets[1].levels, std::vector<TriggerLevel>{level(LevelSide::High, 1, LevelQuantity::Rate, 0.5, 2, 0.1, 2)});
    ASSERT_EQ(problems.size(), 6) << problems.join('\n').toStdString();
    EXPECT_EQ(problems[0], "第 3 行：方向“上方”应为 上限 或 下限；等级“4”应为 1、2 或 3；比较量“位移”应为 数值、累计变化 或 "
                           "变化速率；阈值“十”不是数；窗口“0”应为大于 0 的天数；连续次数“0”应为不小于 1 的整数；回差“-1”"
                           "应为不小于 0 的数；基准时间“昨天”不是日期或时间（如 2026-12-01 或 2026-12-01 08:30）");
    EXPECT_EQ(problems[1], "第 4 行：基准时间与第 2 行不同；生效时间与第 2 行不同；上限 1 级已在第 2 行给出");
    EXPECT_EQ(problems[2], "第 6 行：等级 2 的名称“乙”与第 5 行的“甲”不同");
    EXPECT_EQ(problems[3], "第 7 行：没有测点名");
    EXPECT_TRUE(problems[4].startsWith("第 8 行：测点“含 空格”不是仪器能保存的元件名")) << problems[4].toStdString();
    EXPECT_EQ(problems[5], "第 11 行：测点的一行不含任何等级（结束其触发值），它须是该测点唯一的一行");

    // The columns a level cannot do without, named on the header's row.
    EXPECT_TRUE(LevelTable::fromRows({{"测点", "等级"}, {"G1", "1"}}, &problems, 0).empty());
    EXPECT_EQ(problems.last(), "第 0 行：没有“方向”、“阈值”列");
}

TEST(LevelTable, AWrittenTableReadsBackAsItWasAsCsvAndWorkbookInEitherLanguage)
{
    QTemporaryDir dir;
    std::vector<LevelSet> sets = twoSets();
    LevelSet ended;
    ended.gauge = "G9";
    ended.fromUtc = kDec1 + 86400 + 61;
    sets.push_back(ended);
    for (const QTimeZone& zone : {kUtc, QTimeZone("Asia/Shanghai")})
        for (bool english : {false, true})
            for (const char* name : {"levels.csv", "levels.xlsx"}) {
                const QString path = dir.filePath(name);
                ASSERT_EQ(LevelTable::writeFile(path, sets, english, zone), std::nullopt) << name;
                QString error;
                const auto rows = TableFile::read(path, &error);
                ASSERT_TRUE(rows) << error.toStdString();
                ASSERT_EQ(rows->size(), 6u) << name; // the header, 3 + 1 levels, the set without levels
                EXPECT_EQ(rows->front(), LevelTable::headers(english)) << name;
                QStringList problems;
                expectSame(LevelTable::fromRows(*rows, &problems, 1, zone), sets);
                EXPECT_TRUE(problems.isEmpty()) << problems.join('\n').toStdString();
            }
    // How the cells read: words of the language, a midnight as a date, a window only for a rate.
    const auto rows = LevelTable::toRows(twoSets()[0], false, kUtc);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[1], QStringList({"QRVA000001", "上限", "3", "停工", "累计变化", "50.25", "", "3", "1.5", "2026-12-01",
                                    "2026-12-01 08:30:00"}));
    EXPECT_EQ(LevelTable::toRows(twoSets()[1], true, kUtc)[0],
              QStringList({"CR-07", "high", "2", "报警", "rate", "0.1", "7", "1", "0", "", ""}));
    EXPECT_TRUE(LevelTable::toCsv(twoSets(), true, kUtc).startsWith("\xEF\xBB\xBFgauge,side,rank,rank name,quantity"));
}
