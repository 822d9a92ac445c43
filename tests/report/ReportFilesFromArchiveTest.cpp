// The AGS4 and long CSV files of a report gathered from a real archive (the shared fixture's site):
// the rules kept, and every reading there with its frequency, readout, flags and mask.
#include "ReportFixture.h"
#include "report/Ags4.h"
#include "report/LongCsv.h"
#include "tests/report/Ags4Check.h"
#include "tests/support/FileBytes.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

using testing_files::bytesOf;

constexpr qint64 kFirst = 1793836800; // 2026-11-05 00:00:00 UTC
constexpr int kDays = 10;

struct Gathered {
    report::test::TempArchive temp;
    report::test::FixtureSite made;
    std::optional<report::Content> content;
};

Gathered gathered()
{
    Gathered g;
    g.temp = report::test::openTempArchive();
    g.made = report::test::fillSite(*g.temp.archive, QStringLiteral("一号坝"), 8, kDays, kFirst);
    report::Request request;
    request.site = g.made.site;
    request.period = {kFirst, kFirst + kDays * 86400};
    QString reason;
    g.content = report::gather(*g.temp.archive, request, QDateTime::fromSecsSinceEpoch(kFirst + (kDays + 1) * 86400, Qt::UTC),
                               {}, &reason);
    EXPECT_TRUE(g.content) << reason.toStdString();
    return g;
}

TEST(ReportFilesFromArchive, TheAgs4FileKeepsTheRulesAndHoldsEveryReading)
{
    Gathered g = gathered();
    ASSERT_TRUE(g.content);
    ASSERT_FALSE(g.made.masked.isEmpty());
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("site.ags"));
    ASSERT_TRUE(report::writeAgs4(path, *g.content).written);
    const QByteArray bytes = bytesOf(path);
    EXPECT_EQ(ags4check::check(bytes).join('\n').toStdString(), "");

    QStringList problems;
    const ags4check::File file = ags4check::parse(bytes, &problems);
    const ags4check::Group* mong = file.group(QStringLiteral("MONG"));
    const ags4check::Group* mond = file.group(QStringLiteral("MOND"));
    ASSERT_TRUE(mong && mond);
    EXPECT_EQ(qsizetype(mong->data.size()), g.made.gauges.size());
    const int type = mond->column(QStringLiteral("MOND_TYPE"));
    const int inst = mond->column(QStringLiteral("MOND_INST"));
    const int remark = mond->column(QStringLiteral("MOND_REM"));
    const int when = mond->column(QStringLiteral("MOND_DTIM"));
    qint64 frequencies = 0, values = 0, masked = 0, flagged = 0;
    for (const QStringList& row : mond->data) {
        EXPECT_TRUE(g.made.readouts.contains(row[inst])) << row[inst].toStdString();
        if (row[type] == QLatin1String("FREQ")) {
            ++frequencies;
            masked += row[remark].contains(QStringLiteral("已屏蔽：fixture mask"));
            flagged += row[remark].contains(QStringLiteral("频率超出范围"));
        }
        values += row[type] == QLatin1String("VAL");
    }
    // Every gauge is calibrated since ever: a frequency and a value per reading.
    EXPECT_EQ(frequencies, g.made.readings);
    EXPECT_EQ(values, g.made.readings);
    EXPECT_EQ(masked, 1);
    EXPECT_EQ(flagged, g.made.flagged.size());
    const QString maskedAt =
        QDateTime::fromSecsSinceEpoch(g.made.maskedUtc, Qt::UTC).toString(QStringLiteral("yyyy-MM-dd'T'HH:mm:ss"));
    EXPECT_TRUE(bytes.contains(QStringLiteral("\"%1\",\"%1\",\"\",\"%2\",\"FREQ\"").arg(g.made.masked, maskedAt).toUtf8()));
    // The strain gauges' unit, in ASCII.
    EXPECT_TRUE(bytes.contains("\"DATA\",\"ustrain\""));
}

TEST(ReportFilesFromArchive, TheLongCsvHasARowPerReadingWithItsFrequencyAndReadout)
{
    Gathered g = gathered();
    ASSERT_TRUE(g.content);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("site.csv"));
    ASSERT_TRUE(report::writeLongCsv(path, *g.content).written);
    QList<QByteArray> rows = bytesOf(path).split('\n');
    ASSERT_FALSE(rows.isEmpty());
    rows.removeLast(); // after the last line end
    ASSERT_EQ(rows.size(), g.made.readings + 2);
    for (qsizetype i = 2; i < rows.size(); ++i) {
        const QList<QByteArray> fields = rows[i].split(',');
        ASSERT_EQ(fields.size(), 13) << rows[i].toStdString();
        EXPECT_TRUE(g.made.readouts.contains(QString::fromUtf8(fields[3]))) << rows[i].toStdString();
        EXPECT_FALSE(fields[6].isEmpty()) << rows[i].toStdString(); // the frequency
    }
}

} // namespace
