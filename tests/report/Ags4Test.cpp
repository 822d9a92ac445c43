#include "report/Ags4.h"

#include "tests/report/Ags4Check.h"
#include "tests/report/HandContent.h"
#include "tests/support/FileBytes.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

using testing_files::bytesOf;

// The hand-made content's file, every line as it must stand (CR LF ends added below).
const char* const kExpected[] = {
    R"("GROUP","PROJ")",
    R"("HEADING","PROJ_ID","PROJ_NAME","PROJ_MEMO")",
    R"("UNIT","","","")",
    R"("TYPE","ID","X","X")",
    R"("DATA","North ""A"", dam","监测报告","第一行 第二行")",
    "",
    R"("GROUP","TRAN")",
    R"("HEADING","TRAN_ISNO","TRAN_DATE","TRAN_PROD","TRAN_STAT","TRAN_DESC","TRAN_AGS","TRAN_RECV","TRAN_DLIM","TRAN_RCON","TRAN_REM")",
    R"("UNIT","","yyyy-mm-dd","","","","","","","","")",
    R"("TYPE","X","DT","X","X","X","X","X","X","X","X")",
    R"("DATA","1","2026-12-08","li","","监测报告：2026-12-01 00:00 至 2026-12-07 23:59（UTC）","4.0.4","","+","+","KTM-520 数据管理程序 1.4.0；时间均为 UTC")",
    "",
    R"("GROUP","UNIT")",
    R"("HEADING","UNIT_UNIT","UNIT_DESC")",
    R"("UNIT","","")",
    R"("TYPE","X","X")",
    R"("DATA","yyyy-mm-dd","年-月-日")",
    R"("DATA","m","米")",
    R"("DATA","yyyy-mm-ddThh:mm:ss","年-月-日T时:分:秒（UTC）")",
    R"("DATA","Hz","赫兹（振弦频率）")",
    R"("DATA","DegC","摄氏度")",
    R"("DATA","kPa","kPa")",
    "",
    R"("GROUP","TYPE")",
    R"("HEADING","TYPE_TYPE","TYPE_DESC")",
    R"("UNIT","","")",
    R"("TYPE","X","X")",
    R"("DATA","2DP","Value; required number of decimal places, 2")",
    R"("DATA","DT","Date time in international format")",
    R"("DATA","ID","Unique identifier")",
    R"("DATA","PA","Text listed in ABBR group")",
    R"("DATA","PU","Text listed in UNIT group")",
    R"("DATA","X","Text")",
    R"("DATA","XN","Text or numeric")",
    "",
    R"("GROUP","ABBR")",
    R"("HEADING","ABBR_HDNG","ABBR_CODE","ABBR_DESC","ABBR_LIST")",
    R"("UNIT","","","","")",
    R"("TYPE","X","X","X","X")",
    R"("DATA","MONG_TYPE","VWP","渗压计","")",
    R"("DATA","MONG_TYPE","TYPE1","测斜仪","")",
    R"("DATA","MOND_TYPE","FREQ","振弦频率（读数）","")",
    R"("DATA","MOND_TYPE","TEMP","测点温度","")",
    R"("DATA","MOND_TYPE","VAL","工程值（按当时的标定版本换算）","")",
    "",
    R"("GROUP","LOCA")",
    R"("HEADING","LOCA_ID","LOCA_REM")",
    R"("UNIT","","")",
    R"("TYPE","ID","X")",
    R"("DATA","QRVA000001","K1+200, 左岸")",
    R"("DATA","QRVB000002","")",
    "",
    R"("GROUP","MONG")",
    R"("HEADING","LOCA_ID","MONG_ID","MONG_DIS","MONG_DATE","MONG_TYPE","MONG_DETL","MONG_REM")",
    R"("UNIT","","","m","yyyy-mm-dd","","","")",
    R"("TYPE","ID","X","2DP","DT","PA","X","X")",
    R"("DATA","QRVA000001","QRVA000001","","2026-11-20","VWP","R1","")",
    R"("DATA","QRVB000002","QRVB000002","","","TYPE1","R2","新装; 无标定")",
    "",
    R"("GROUP","MOND")",
    R"("HEADING","LOCA_ID","MONG_ID","MONG_DIS","MOND_DTIM","MOND_TYPE","MOND_REF","MOND_INST","MOND_RDNG","MOND_UNIT","MOND_REM")",
    R"("UNIT","","","m","yyyy-mm-ddThh:mm:ss","","","","","","")",
    R"("TYPE","ID","X","2DP","DT","PA","X","X","XN","PU","X")",
    R"("DATA","QRVA000001","QRVA000001","","2026-12-05T02:00:00","FREQ","","R1","2845.6","Hz","")",
    R"("DATA","QRVA000001","QRVA000001","","2026-12-05T02:00:00","TEMP","","R1","12.5","DegC","")",
    R"("DATA","QRVA000001","QRVA000001","","2026-12-05T02:00:00","VAL","","R1","101.25","kPa","")",
    R"("DATA","QRVA000001","QRVA000001","","2026-12-06T02:00:00","FREQ","","R1","2830.1","Hz","状态：预警；质量标记：读数突变")",
    R"("DATA","QRVA000001","QRVA000001","","2026-12-06T02:00:00","TEMP","","R1","12.7","DegC","状态：预警；质量标记：读数突变")",
    R"("DATA","QRVA000001","QRVA000001","","2026-12-06T02:00:00","VAL","","R1","105.5","kPa","状态：预警；质量标记：读数突变")",
    R"("DATA","QRVB000002","QRVB000002","","2026-12-06T03:00:00","FREQ","","R2","1500.2","Hz","已屏蔽：检修时读数")",
};

QByteArray expectedFile()
{
    QByteArray out;
    for (const char* line : kExpected)
        out.append(line).append("\r\n");
    return out;
}

class Ags4Test : public ::testing::Test {
protected:
    QString path(const QString& name = QStringLiteral("report.ags")) const { return dir.filePath(name); }
    QTemporaryDir dir;
};

TEST_F(Ags4Test, TheHandMadeContentGivesTheFileWorkedOutByHandAndKeepsTheRules)
{
    std::vector<std::pair<qint64, qint64>> steps;
    const report::WriteResult r = report::writeAgs4(path(), handcontent::content(), [&](qint64 done, qint64 total) {
        steps.emplace_back(done, total);
        return true;
    });
    ASSERT_TRUE(r.written) << r.reason.toStdString();
    const QByteArray bytes = bytesOf(path());
    EXPECT_EQ(bytes.toStdString(), expectedFile().toStdString());
    EXPECT_EQ(ags4check::check(bytes).join('\n').toStdString(), "");
    // One step per gauge, after a first that lets the operator stop before anything is written.
    const std::vector<std::pair<qint64, qint64>> perGauge = {{0, 2}, {1, 2}, {2, 2}};
    EXPECT_EQ(steps, perGauge);
}

TEST_F(Ags4Test, TheCheckerFindsWhatBreaksTheRules)
{
    // The checker itself must see faults, or its silence above means nothing.
    const QByteArray good = expectedFile();
    ASSERT_TRUE(ags4check::check(good).isEmpty());
    const auto problems = [&](QByteArray bytes) { return ags4check::check(bytes).join('\n').toStdString(); };
    EXPECT_NE(problems(QByteArray(good).replace("\r\n", "\n")), "");                                   // LF only
    EXPECT_NE(problems(QByteArray(good).replace(R"("North ""A"", dam")", R"("North "A", dam")")), ""); // quotes not doubled
    EXPECT_NE(problems(QByteArray(good).replace(R"("DATA","kPa","kPa")", R"("DATA","mm","mm")")), ""); // kPa not listed
    EXPECT_NE(problems(QByteArray(good).replace(R"("DATA","MONG_TYPE","TYPE1","测斜仪","")"
                                                "\r\n",
                                                "")),
              ""); // code not listed
    EXPECT_NE(problems(QByteArray(good).replace(R"("DATA","QRVB000002","")"
                                                "\r\n",
                                                "")),
              "");                                                                                             // MONG without LOCA
    EXPECT_NE(problems(QByteArray(good).replace("2026-12-05T02:00:00", "2026-12-05 02:00")), "");              // DT not in its format
    EXPECT_NE(problems(QByteArray(good).replace(R"("TEMP","","R1","12.7")", R"("FREQ","","R1","12.7")")), ""); // repeated key
    EXPECT_NE(problems(QByteArray(good).replace(R"("DATA","XN","Text or numeric")"
                                                "\r\n",
                                                "")),
              "");                                                                                             // type not listed
    EXPECT_NE(problems(QByteArray(good).replace("\r\n\r\n\"GROUP\",\"TRAN\"", "\r\n\"GROUP\",\"TRAN\"")), ""); // no blank line
}

TEST_F(Ags4Test, AnEnglishReportOfAsciiNamesIsAsciiThroughout)
{
    report::Content c = handcontent::content(QStringLiteral("en"));
    c.title = QStringLiteral("Monitoring report");
    c.request.remarks = QStringLiteral("after the flood");
    c.gauges.front().info.location = QStringLiteral("K1+200, left bank");
    c.gauges.back().info.type = QStringLiteral("Tiltmeter");
    c.gauges.back().info.notes.clear();
    c.masks.front().note = QStringLiteral("maintenance");
    ASSERT_TRUE(report::writeAgs4(path(), c).written);
    const QByteArray bytes = bytesOf(path());
    EXPECT_EQ(ags4check::check(bytes).join('\n').toStdString(), "");
    for (qsizetype i = 0; i < bytes.size(); ++i)
        ASSERT_LT(static_cast<unsigned char>(bytes[i]), 0x80) << "at " << i << ": " << bytes.mid(i - 40, 60).toStdString();
    EXPECT_TRUE(bytes.contains(R"("DATA","MONG_TYPE","VWP","piezometer","")"));
    EXPECT_TRUE(bytes.contains(R"("DATA","MONG_TYPE","TILTMETER","Tiltmeter","")"));
    EXPECT_TRUE(bytes.contains(R"("DATA","DegC","degree Celsius")"));
    EXPECT_TRUE(bytes.contains(R"("105.5","kPa","Status: Alert; Quality flags: step in value")"));
    EXPECT_TRUE(bytes.contains(R"("1500.2","Hz","Masked: maintenance")"));
    EXPECT_TRUE(bytes.contains(R"x("Monitoring report: 2026-12-01 00:00 to 2026-12-07 23:59 (UTC)")x"));
}

TEST_F(Ags4Test, ReadingsOfOneInstantAreNumberedSoThatKeysStayUnique)
{
    report::Content c = handcontent::content();
    report::GaugeReport& g = c.gauges.front();
    // A second reading at the first one's instant, another frequency (a DuplicateTime pair).
    g.readingHz = {2845.6, 2845.9, 2830.1};
    g.readingReadouts = {QStringLiteral("R1"), QStringLiteral("R1"), QStringLiteral("R1")};
    auto& t = g.trend;
    t.utc = {handcontent::kDec5, handcontent::kDec5, handcontent::kDec6};
    t.time = {t.utc[0] + handcontent::kClockAhead, t.utc[1] + handcontent::kClockAhead, t.utc[2] + handcontent::kClockAhead};
    t.value = {101.25, 101.5, 105.5};
    t.temperature = {12.5, 12.5, 12.7};
    t.status = {0, 0, 1};
    t.flags = {archive::DuplicateTime, archive::DuplicateTime, archive::Step};
    t.masked = {false, false, false};
    ASSERT_TRUE(report::writeAgs4(path(), c).written);
    const QByteArray bytes = bytesOf(path());
    EXPECT_EQ(ags4check::check(bytes).join('\n').toStdString(), "");
    EXPECT_TRUE(bytes.contains(R"("2026-12-05T02:00:00","FREQ","1","R1","2845.6","Hz")"));
    EXPECT_TRUE(bytes.contains(R"("2026-12-05T02:00:00","FREQ","2","R1","2845.9","Hz")"));
    EXPECT_TRUE(bytes.contains(R"("2026-12-06T02:00:00","FREQ","","R1","2830.1","Hz")"));
}

TEST_F(Ags4Test, TextsOfTheOperatorCannotBreakTheRows)
{
    report::Content c = handcontent::content();
    c.gauges.front().info.notes = QStringLiteral("a \"quoted\" note,\r\nover two lines");
    c.gauges.front().info.type = QStringLiteral("VW-TILT"); // not a code: letters and a dash
    c.gauges.back().info.type = QStringLiteral("tilt2");    // a code of its own
    c.gauges.front().unit = QStringLiteral("με");
    c.masks.front().note.clear();
    ASSERT_TRUE(report::writeAgs4(path(), c).written);
    const QByteArray bytes = bytesOf(path());
    EXPECT_EQ(ags4check::check(bytes).join('\n').toStdString(), "");
    EXPECT_TRUE(bytes.contains(R"("a ""quoted"" note,  over two lines")"));
    EXPECT_TRUE(bytes.contains(R"("DATA","MONG_TYPE","TYPE1","VW-TILT","")"));
    EXPECT_TRUE(bytes.contains(R"("DATA","MONG_TYPE","TILT2","tilt2","")"));
    EXPECT_TRUE(bytes.contains(R"("DATA","ustrain","ustrain")"));
    EXPECT_TRUE(bytes.contains(R"("105.5","ustrain",)"));
    EXPECT_TRUE(bytes.contains(R"("Hz","已屏蔽")"));
}

TEST_F(Ags4Test, AReportWithoutGaugesOrReadingsLeavesOutTheirGroups)
{
    report::Content c = handcontent::content();
    c.gauges.clear();
    c.masks.clear();
    ASSERT_TRUE(report::writeAgs4(path(), c).written);
    QByteArray bytes = bytesOf(path());
    EXPECT_EQ(ags4check::check(bytes).join('\n').toStdString(), "");
    for (const char* absent : {"\"LOCA\"", "\"MONG\"", "\"MOND\"", "\"ABBR\"", "\"XN\"", "\"Hz\""})
        EXPECT_FALSE(bytes.contains(absent)) << absent;

    c = handcontent::content();
    for (report::GaugeReport& g : c.gauges)
        g.trend = {};
    ASSERT_TRUE(report::writeAgs4(path(), c).written);
    bytes = bytesOf(path());
    EXPECT_EQ(ags4check::check(bytes).join('\n').toStdString(), "");
    EXPECT_TRUE(bytes.contains("\"GROUP\",\"MONG\""));
    EXPECT_FALSE(bytes.contains("\"GROUP\",\"MOND\""));
}

TEST_F(Ags4Test, ACancelLeavesNoFileAndAnOldOneAsItWas)
{
    const report::Content c = handcontent::content();
    const auto stopAt = [](qint64 at) { return [at](qint64 done, qint64) { return done < at; }; };
    for (const qint64 at : {0, 1, 2}) {
        const report::WriteResult r = report::writeAgs4(path(), c, stopAt(at));
        EXPECT_TRUE(r.cancelled) << at;
        EXPECT_FALSE(r.written) << at;
        EXPECT_FALSE(QFile::exists(path())) << at;
    }
    QFile old(path());
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("old");
    old.close();
    EXPECT_TRUE(report::writeAgs4(path(), c, stopAt(1)).cancelled);
    EXPECT_EQ(bytesOf(path()), QByteArray("old"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("report.ags")}); // no temporary left
}

TEST_F(Ags4Test, AnUnwritablePathIsReportedAndAReadOnlyFileStays)
{
    const report::WriteResult r = report::writeAgs4(dir.filePath(QStringLiteral("missing/report.ags")), handcontent::content());
    EXPECT_FALSE(r.written);
    EXPECT_FALSE(r.cancelled);
    EXPECT_FALSE(r.reason.isEmpty());

    QFile old(path());
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("old");
    old.close();
    ASSERT_TRUE(QFile::setPermissions(path(), QFileDevice::ReadOwner));
    const report::WriteResult refused = report::writeAgs4(path(), handcontent::content());
    QFile::setPermissions(path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    EXPECT_FALSE(refused.written);
    EXPECT_FALSE(refused.reason.isEmpty());
    EXPECT_EQ(bytesOf(path()), QByteArray("old"));
}

} // namespace
