#include "report/LongCsv.h"

#include "tests/report/HandContent.h"
#include "tests/support/FileBytes.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

using testing_files::bytesOf;

QByteArray lines(std::initializer_list<const char*> rows)
{
    QByteArray out("\xEF\xBB\xBF");
    for (const char* row : rows)
        out.append(row).append("\r\n");
    return out;
}

class LongCsvTest : public ::testing::Test {
protected:
    QString path() const { return dir.filePath(QStringLiteral("report.csv")); }
    QTemporaryDir dir;
};

TEST_F(LongCsvTest, TheHandMadeContentGivesARowPerReadingUnderTheHeaderAndUnitRows)
{
    std::vector<qint64> steps;
    const report::WriteResult r = report::writeLongCsv(path(), handcontent::content(), [&](qint64 done, qint64 total) {
        EXPECT_EQ(total, 2);
        steps.push_back(done);
        return true;
    });
    ASSERT_TRUE(r.written) << r.reason.toStdString();
    // The site's name holds a comma and quotes: quoted, its quotes doubled. The gauges' units
    // differ, so the units row leaves the values' unit to the unit column. The masked reading
    // has no status; the gauge without calibration has its frequency as its value.
    const QByteArray expected = lines({
        "工程,测点,类型,读数仪,UTC 时间,读数仪时间,频率,温度,数值,单位,状态,质量标记,屏蔽",
        ",,,,UTC,,Hz,℃,,,,,",
        R"("North ""A"", dam",QRVA000001,渗压计,R1,2026-12-05 02:00:00,2026-12-05 10:00:00,2845.6,12.5,101.25,kPa,正常,,)",
        R"("North ""A"", dam",QRVA000001,渗压计,R1,2026-12-06 02:00:00,2026-12-06 10:00:00,2830.1,12.7,105.5,kPa,预警,读数突变,)",
        R"("North ""A"", dam",QRVB000002,测斜仪,R2,2026-12-06 03:00:00,2026-12-06 11:00:00,1500.2,,1500.2,Hz,,,是)",
    });
    EXPECT_EQ(bytesOf(path()).toStdString(), expected.toStdString());
    EXPECT_EQ(steps, (std::vector<qint64>{0, 1, 2}));
}

TEST_F(LongCsvTest, OneUnitHeadsTheValuesAndAFormulaIsWrittenAsText)
{
    report::Content c = handcontent::content();
    c.gauges.pop_back();
    c.gauges.front().info.name = QStringLiteral("=1+2");
    c.gauges.front().readingReadouts = {QStringLiteral("R1"), QStringLiteral("R,3")};
    ASSERT_TRUE(report::writeLongCsv(path(), c).written);
    const QList<QByteArray> rows = bytesOf(path()).split('\n');
    ASSERT_EQ(rows.size(), 5); // BOM and header, units, two readings, and what follows the last line end
    EXPECT_EQ(rows[1].toStdString(), ",,,,UTC,,Hz,℃,kPa,,,,\r");
    EXPECT_TRUE(rows[2].startsWith(R"("North ""A"", dam",'=1+2,渗压计,R1,)")) << rows[2].toStdString();
    EXPECT_TRUE(rows[3].contains(R"(,"R,3",)")) << rows[3].toStdString();
}

TEST_F(LongCsvTest, WithoutGatheredFrequenciesAConvertedGaugeLeavesTheFrequencyEmpty)
{
    report::Content c = handcontent::content();
    c.gauges.front().readingHz.clear();
    c.gauges.front().readingReadouts.clear();
    c.gauges.front().readouts = {QStringLiteral("R1"), QStringLiteral("R9")};
    ASSERT_TRUE(report::writeLongCsv(path(), c).written);
    EXPECT_TRUE(bytesOf(path()).contains(
        R"(,QRVA000001,渗压计,,2026-12-05 02:00:00,2026-12-05 10:00:00,,12.5,101.25,kPa,正常,,)"));
}

TEST_F(LongCsvTest, AnEnglishReportHasEnglishHeadersAndWords)
{
    ASSERT_TRUE(report::writeLongCsv(path(), handcontent::content(QStringLiteral("en"))).written);
    const QList<QByteArray> rows = bytesOf(path()).split('\n');
    ASSERT_EQ(rows.size(), 6);
    EXPECT_EQ(rows[0].toStdString(), "\xEF\xBB\xBFSite,Gauge,Type,Readout,UTC time,Readout time,Frequency,Temperature,Value,"
                                     "Unit,Status,Quality flags,Masked\r");
    EXPECT_TRUE(rows[3].endsWith(",kPa,Alert,step in value,\r")) << rows[3].toStdString();
    EXPECT_TRUE(rows[4].endsWith(",Hz,,,yes\r")) << rows[4].toStdString();
}

TEST_F(LongCsvTest, ACancelOrAnUnwritablePathLeavesNoFileAndAnOldOneAsItWas)
{
    const report::Content c = handcontent::content();
    const auto stopAt = [](qint64 at) { return [at](qint64 done, qint64) { return done < at; }; };
    EXPECT_TRUE(report::writeLongCsv(path(), c, stopAt(1)).cancelled);
    EXPECT_FALSE(QFile::exists(path()));

    QFile old(path());
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("old");
    old.close();
    const report::WriteResult r = report::writeLongCsv(path(), c, stopAt(2));
    EXPECT_TRUE(r.cancelled);
    EXPECT_FALSE(r.written);
    EXPECT_EQ(bytesOf(path()), QByteArray("old"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("report.csv")});

    const report::WriteResult failed = report::writeLongCsv(dir.filePath(QStringLiteral("missing/report.csv")), c);
    EXPECT_FALSE(failed.written);
    EXPECT_FALSE(failed.cancelled);
    EXPECT_FALSE(failed.reason.isEmpty());
}

} // namespace
