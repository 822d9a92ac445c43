// ktm520-cli and the judgement of readings: the trigger level table in and out, the gauges'
// events and those overdue, and what a copy says of the readings it archived.
#include "tests/cli/CliFixture.h"
#include "archive/Archive.h"
#include "archive/LevelTable.h"
#include "archive/Record.h"
#include "archive/TableFile.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <algorithm>

namespace {

class CliLevelsTest : public CliTest {
protected:
    void write(const QString& name, const QByteArray& text)
    {
        QFile f(file(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ASSERT_EQ(f.write(text), text.size());
    }
    CliRun archiveRun(const QStringList& arguments) { return cli(QStringList{"archive"} + arguments, {}, 60000, false); }
};

// An archive with readout R (on UTC) and three readings of its slot A001: 1900.0, 2100.0 and
// 1950.0 Hz on 2026-11-10 at 08:00, 09:00 and 10:00; the slot holds gauge G1 (site 大坝, read
// daily) since ever, with a value level of 2000 Hz, which the readings reach and leave again.
void buildJudgedArchive(const QString& path)
{
    auto a = archive::Archive::open(path, nullptr, nullptr);
    ASSERT_TRUE(a);
    archive::Error error;
    const std::optional<archive::Readout> r = a->addReadout("R", "UTC", &error);
    ASSERT_TRUE(r) << error.detail.toStdString();
    archive::GaugeInfo g1;
    g1.name = "G1";
    g1.site = "大坝";
    g1.intervalDays = 1;
    archive::GaugeInfo g2;
    g2.name = "G2";
    g2.site = "小坝";
    ASSERT_TRUE(a->updateRegister({g1, g2}, &error)) << error.detail.toStdString();
    ASSERT_TRUE(a->store({{"A", "F1", "A001", "2026-11-10 08:00:00", "19000", "200"},
                          {"A", "F1", "A001", "2026-11-10 09:00:00", "21000", "200"},
                          {"A", "F1", "A001", "2026-11-10 10:00:00", "19500", "200"}},
                         QDateTime::currentDateTimeUtc(), archive::CopyOrigin{r->id, std::nullopt}, &error))
        << error.detail.toStdString();
    // The slot is known once it has records; assigned, then given levels, its readings are
    // judged again each time.
    ASSERT_TRUE(a->assign(r->id, "A001", "G1", archive::kSinceEver, &error)) << error.detail.toStdString();
    archive::LevelSet set;
    set.gauge = "G1";
    archive::TriggerLevel level;
    level.threshold = 2000;
    set.levels = {level};
    ASSERT_TRUE(a->addLevelSets({set}, &error)) << error.detail.toStdString();
}

} // namespace

TEST_F(CliLevelsTest, TheLevelTableGoesInWholeOrNotAtAllAndComesOutAsItWent)
{
    write("register.csv", "测点,工程\nQRVA000001,北坝\nQRVA000002,北坝\n");
    ASSERT_EQ(archiveRun({"register", "import", file("register.csv")}).exitCode, 0);

    // A row that cannot be read: named, and nothing kept, not even the good gauge's rows.
    write("bad.csv", "测点,方向,等级,比较量,阈值\n"
                     "QRVA000001,上限,1,累计变化,10\n"
                     "QRVA000002,上限,9,累计变化,10\n");
    CliRun run = archiveRun({"levels", "import", file("bad.csv")});
    EXPECT_EQ(run.exitCode, 2) << run.describe();
    EXPECT_TRUE(run.errText().contains("第 3 行：等级“9”应为 1、2 或 3")) << run.describe();
    // A gauge the register does not hold: nothing kept either.
    write("unknown.csv", "测点,方向,等级,阈值\nQRVA000001,上限,1,10\nQRVZ000009,下限,1,-10\n");
    run = archiveRun({"levels", "import", file("unknown.csv")});
    EXPECT_EQ(run.exitCode, 2) << run.describe();
    EXPECT_TRUE(run.errText().contains("QRVZ000009")) << run.describe();
    run = archiveRun({"levels", "import", file("missing.csv")});
    EXPECT_EQ(run.exitCode, 2) << run.describe();
    run = archiveRun({"levels", "export", file("none.csv")});
    ASSERT_EQ(run.exitCode, 0) << run.describe();
    QString error;
    auto rows = archive::TableFile::read(file("none.csv"), &error);
    ASSERT_TRUE(rows) << error.toStdString();
    EXPECT_EQ(rows->size(), 1u) << "only the header: nothing was kept";

    // The whole table: in, and out again as it went, in Chinese and in English.
    write("good.csv", "测点,方向,等级,等级名称,比较量,阈值,连续次数,回差,生效时间\n"
                      "QRVA000001,上限,1,注意,累计变化,10,2,0.5,2026-12-01\n"
                      "QRVA000001,上限,3,,累计变化,30,1,0,2026-12-01\n"
                      "QRVA000002,下限,2,,数值,1500.5,1,0,\n");
    run = archiveRun({"levels", "import", file("good.csv")});
    ASSERT_EQ(run.exitCode, 0) << run.describe();
    EXPECT_TRUE(run.errText().contains("已读入 2 个测点的触发值")) << run.describe();
    QStringList problems;
    rows = archive::TableFile::read(file("good.csv"), &error);
    ASSERT_TRUE(rows);
    const std::vector<archive::LevelSet> typed = archive::LevelTable::fromRows(*rows, &problems);
    ASSERT_EQ(typed.size(), 2u);
    for (const char* name : {"out.xlsx", "out.csv"}) {
        for (bool english : {false, true}) {
            run = cli(QStringList{english ? "--lang=en" : "--lang=zh_CN", "archive", "levels", "export", file(name)}, {},
                      60000, false);
            ASSERT_EQ(run.exitCode, 0) << run.describe();
            rows = archive::TableFile::read(file(name), &error);
            ASSERT_TRUE(rows) << error.toStdString();
            EXPECT_EQ(rows->front(), archive::LevelTable::headers(english)) << name;
            // The program runs on this test's clock, so the instants read back alike.
            std::vector<archive::LevelSet> back = archive::LevelTable::fromRows(*rows, &problems);
            EXPECT_TRUE(problems.isEmpty()) << problems.join('\n').toStdString();
            ASSERT_EQ(back.size(), 2u) << name;
            std::sort(back.begin(), back.end(), [](const auto& x, const auto& y) { return x.gauge < y.gauge; });
            for (std::size_t i = 0; i < 2; ++i) {
                EXPECT_EQ(back[i].gauge, typed[i].gauge);
                EXPECT_EQ(back[i].levels, typed[i].levels) << name;
                EXPECT_EQ(back[i].fromUtc, typed[i].fromUtc) << name;
                EXPECT_EQ(back[i].rankNames, typed[i].rankNames) << name;
            }
        }
    }
    // The same table again makes no new version; the export still says the same.
    ASSERT_EQ(archiveRun({"levels", "import", file("out.csv")}).exitCode, 0);
    auto a = archive::Archive::open(defaultArchive(), nullptr, nullptr);
    ASSERT_TRUE(a);
    EXPECT_EQ(a->levelSets("QRVA000001").size(), 1u);
}

TEST_F(CliLevelsTest, EventsAndOverdueGaugesAreListedBySiteAndTime)
{
    const QString path = file("judged.sqlite");
    buildJudgedArchive(path);
    if (HasFatalFailure())
        return;
    CliRun run = archiveRun({"events", "--archive", path});
    ASSERT_EQ(run.exitCode, 0) << run.describe();
    QStringList rows = lines(run.outText());
    ASSERT_EQ(rows.size(), 2) << run.describe();
    QStringList first = rows[0].split('\t');
    ASSERT_GE(first.size(), 7) << rows[0].toStdString();
    EXPECT_EQ(first[0], "G1");
    EXPECT_EQ(first[1], "大坝");
    EXPECT_EQ(first[3], "R");
    EXPECT_EQ(first[4], "2100 Hz");
    EXPECT_EQ(first[5], "正常 -> 预警");
    EXPECT_FALSE(first[6].isEmpty()) << "the rule that set it";
    EXPECT_EQ(rows[1].split('\t').value(5), "预警 -> 正常");

    run = archiveRun({"events", "--json", "--archive", path});
    ASSERT_EQ(run.exitCode, 0) << run.describe();
    const QJsonArray events = QJsonDocument::fromJson(run.out).array();
    ASSERT_EQ(events.size(), 2) << run.describe();
    EXPECT_EQ(events[0].toObject()["time"].toString(), "2026-11-10 09:00:00");
    EXPECT_EQ(events[0].toObject()["utc"].toString(), "2026-11-10T09:00:00Z");
    EXPECT_EQ(events[0].toObject()["from"].toInt(), 0);
    EXPECT_EQ(events[0].toObject()["to"].toInt(), 1);
    EXPECT_DOUBLE_EQ(events[1].toObject()["value"].toDouble(), 1950.0);
    EXPECT_EQ(events[1].toObject()["toName"].toString(), "正常");

    // From a time on (the PC's clock), and by site.
    const QString between = QDateTime::fromSecsSinceEpoch(QDateTime(QDate(2026, 11, 10), QTime(9, 30), Qt::UTC).toSecsSinceEpoch())
                                .toLocalTime()
                                .toString("yyyy-MM-dd HH:mm:ss");
    run = archiveRun({"events", "--since", between, "--archive", path});
    ASSERT_EQ(run.exitCode, 0) << run.describe();
    EXPECT_EQ(lines(run.outText()).size(), 1) << run.describe();
    run = archiveRun({"events", "--site", "小坝", "--archive", path});
    ASSERT_EQ(run.exitCode, 0) << run.describe();
    EXPECT_TRUE(run.outText().isEmpty()) << run.describe();
    EXPECT_EQ(archiveRun({"events", "--site", "西坝", "--archive", path}).exitCode, 2);

    // G1 is read daily and was last read on 2026-11-10: overdue; G2 has no interval.
    run = archiveRun({"overdue", "--archive", path});
    ASSERT_EQ(run.exitCode, 0) << run.describe();
    rows = lines(run.outText());
    ASSERT_EQ(rows.size(), 2) << run.describe();
    EXPECT_EQ(rows[0], "逾期未测（1 个测点）：");
    const QStringList g1 = rows[1].split('\t');
    ASSERT_EQ(g1.size(), 5) << rows[1].toStdString();
    EXPECT_EQ(g1[0], "G1");
    EXPECT_EQ(g1[1], "大坝");
    EXPECT_EQ(g1[2], "每 1 天");
    const qint64 last = QDateTime(QDate(2026, 11, 10), QTime(10, 0), Qt::UTC).toSecsSinceEpoch();
    EXPECT_EQ(g1[3], QDateTime::fromSecsSinceEpoch(last).toLocalTime().toString("yyyy-MM-dd HH:mm:ss"));
    run = archiveRun({"overdue", "--json", "--archive", path});
    const QJsonArray overdue = QJsonDocument::fromJson(run.out).array();
    ASSERT_EQ(overdue.size(), 1) << run.describe();
    EXPECT_EQ(overdue[0].toObject()["interval"].toInt(), 1);
    EXPECT_EQ(overdue[0].toObject()["last"].toString(), "2026-11-10T10:00:00Z");
    const double days = double(QDateTime::currentSecsSinceEpoch() - last) / 86400.0;
    EXPECT_NEAR(overdue[0].toObject()["daysSince"].toDouble(), days, 0.1);
    run = archiveRun({"overdue", "--site", "小坝", "--archive", path});
    ASSERT_EQ(run.exitCode, 0) << run.describe();
    EXPECT_TRUE(run.outText().isEmpty()) << run.describe();
    EXPECT_TRUE(run.errText().contains("没有逾期未测的测点")) << run.describe();
}

TEST_F(CliLevelsTest, ACopyThatRaisesAGaugeSaysSoAndExitsTen)
{
    // A001 of the seeded partition A holds QRVA000001; every frequency is above 100 Hz.
    write("register.csv", "测点\nQRVA000001\n");
    ASSERT_EQ(archiveRun({"register", "import", file("register.csv")}).exitCode, 0);
    write("levels.csv", "测点,方向,等级,比较量,阈值\nQRVA000001,上限,2,数值,100\n");
    ASSERT_EQ(archiveRun({"levels", "import", file("levels.csv")}).exitCode, 0);

    // Without the archive there is nothing to judge: exit 0, no verdict.
    CliRun run = cli({"copy", "A", "-o", file("A0.csv"), "--no-archive", "--json"});
    ASSERT_EQ(run.exitCode, 0) << run.describe();
    QJsonObject result = QJsonDocument::fromJson(run.out).object();
    EXPECT_FALSE(result["archived"].toBool()) << run.describe();
    EXPECT_TRUE(result["verdict"].isNull()) << run.describe();

    run = cli({"copy", "A", "-o", file("A.csv"), "--json", "--quiet"});
    EXPECT_EQ(run.exitCode, 10) << run.describe();
    EXPECT_TRUE(QFile::exists(file("A.csv")));
    // Said even when quiet: the gauge's change, its value and unit, and the rule.
    EXPECT_TRUE(run.errText().contains(QRegularExpression("状态变化：QRVA000001  \\S+ \\S+  [0-9.]+ Hz  正常 -> 报警  \\S")))
        << run.describe();
    result = QJsonDocument::fromJson(run.out).object();
    EXPECT_EQ(result["output"].toString(), file("A.csv"));
    EXPECT_TRUE(result["saved"].toBool());
    EXPECT_TRUE(result["archived"].toBool());
    EXPECT_EQ(result["readout"].toString(), kReadout);
    const QJsonObject verdict = result["verdict"].toObject();
    EXPECT_TRUE(verdict["raised"].toBool());
    const QJsonArray events = verdict["events"].toArray();
    ASSERT_EQ(events.size(), 1) << run.describe();
    EXPECT_EQ(events[0].toObject()["gauge"].toString(), "QRVA000001");
    EXPECT_EQ(events[0].toObject()["to"].toInt(), 2);
    EXPECT_EQ(events[0].toObject()["unit"].toString(), "Hz");
    bool found = false;
    for (const auto& g : verdict["changed"].toArray())
        if (g.toObject()["gauge"].toString() == "QRVA000001") {
            found = true;
            EXPECT_EQ(g.toObject()["statusName"].toString(), "报警");
            EXPECT_EQ(g.toObject()["status"].toInt(), 2);
        }
    EXPECT_TRUE(found) << run.describe();

    // The same copy again adds nothing new: nothing is raised.
    run = cli({"copy", "A", "-o", file("A.csv"), "--json"});
    EXPECT_EQ(run.exitCode, 0) << run.describe();
    EXPECT_FALSE(QJsonDocument::fromJson(run.out).object()["verdict"].toObject()["raised"].toBool()) << run.describe();
    EXPECT_FALSE(run.errText().contains("状态变化")) << run.describe();
}
