// ktm520-cli report, the built program run as a weekly cron job runs it, on an archive the report
// fixture filled: a PDF (also without any display), AGS4 and the long CSV, and what it refuses.
#include "tests/cli/CliFixture.h"
#include "tests/report/Poppler.h"
#include "tests/report/ReportFixture.h"

#include <QDateTime>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>

#include <ctime>

using report::test::pdfFonts;
using report::test::pdfPages;
using report::test::pdfText;

namespace {

// The fixture's site: 2 piezometers and 2 strain gauges read daily for 20 days from 1 November
// 2026 (the last strain gauge, overdue, only for its first 17 days).
constexpr int kGauges = 4;
constexpr int kDays = 20;
const qint64 kFirstUtc = QDateTime(QDate(2026, 11, 1), QTime(0, 0), Qt::UTC).toSecsSinceEpoch();
const char* kSite = "北坝";

class CliReportTest : public CliTest {
protected:
    bool withDefaultReadout() const override { return false; }

    void SetUp() override
    {
        // The report prints the PC's clock: UTC here and in the program, so that the days are
        // the fixture's days.
        qputenv("TZ", "UTC");
        tzset();
        CliTest::SetUp();
        m_archive = report::test::openTempArchive();
        ASSERT_TRUE(m_archive.archive);
        m_site = report::test::fillSite(*m_archive.archive, QString::fromUtf8(kSite), kGauges, kDays, kFirstUtc);
        m_archive.archive.reset(); // closed: the program opens it on its own
    }

    // The report of the whole fixture period into `output`, with more arguments.
    CliRun report(const QString& output, const QStringList& more = {})
    {
        return cli(QStringList{"--archive", m_archive.path, "report", "--site", QString::fromUtf8(kSite), "--from",
                               "2026-11-01", "--to", "2026-11-30", "-o", output} +
                       more,
                   {}, 120000, false);
    }

    report::test::TempArchive m_archive;
    report::test::FixtureSite m_site;
};

} // namespace

TEST_F(CliReportTest, APdfHoldsTheGaugesThePeriodAndWhoMadeIt)
{
    ASSERT_EQ(m_site.gauges, QStringList({"P001", "P002", "S001", "S002"}));
    const QString pdf = file("week.pdf");
    const CliRun run = report(pdf, {"--title", "北坝周报", "--reader", "王工", "--remarks", "闸门检修后"});
    ASSERT_EQ(run.exitCode, 0) << run.describe();
    EXPECT_TRUE(run.errText().contains("已写好报告")) << run.describe();
    EXPECT_GT(pdfPages(pdf), 0);
    const QString text = pdfText(pdf);
    for (const QString& gauge : m_site.gauges)
        EXPECT_TRUE(text.contains(gauge)) << gauge.toStdString();
    for (const char* word : {"2026-11-01", "2026-11-30", "北坝周报", "王工", "闸门检修后", "北坝"})
        EXPECT_TRUE(text.contains(QString::fromUtf8(word))) << word;
    // Chinese unless told otherwise (nothing remembered in the test's own settings)
    EXPECT_FALSE(text.contains("Monitoring report"));
    EXPECT_EQ(workFiles(), QStringList{"week.pdf"}); // no work copy left beside it
}

TEST_F(CliReportTest, LangEnglishGivesEnglishHeadingsAndMessages)
{
    const QString pdf = file("week-en.pdf");
    const CliRun run = report(pdf, {"--lang", "en", "--by-type"});
    ASSERT_EQ(run.exitCode, 0) << run.describe();
    EXPECT_TRUE(run.errText().contains("report")) << run.describe();
    EXPECT_FALSE(run.errText().contains("已写好")) << run.describe();
    const QString text = pdfText(pdf);
    EXPECT_GT(pdfPages(pdf), 0);
    EXPECT_TRUE(text.contains("Monitoring report")) << text.left(2000).toStdString();
    EXPECT_FALSE(text.contains("监测报告"));
    for (const QString& gauge : m_site.gauges)
        EXPECT_TRUE(text.contains(gauge)) << gauge.toStdString();
}

TEST_F(CliReportTest, WithoutAnyDisplayThePdfIsStillWritten)
{
    // As cron starts it: no X, no Wayland, no platform named.
    QProcessEnvironment env = environment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(name);
    const QString pdf = file("cron.pdf");
    QProcess p;
    p.setProcessEnvironment(env);
    launch(p, {"--quiet", "--archive", m_archive.path, "report", "--site", QString::fromUtf8(kSite), "--month",
               "2026-11", "-o", pdf});
    ASSERT_TRUE(p.waitForFinished(120000));
    const QString err = QString::fromUtf8(p.readAllStandardError());
    ASSERT_EQ(p.exitStatus(), QProcess::NormalExit) << err.toStdString();
    ASSERT_EQ(p.exitCode(), 0) << err.toStdString();
    EXPECT_EQ(err, ""); // --quiet: nothing to say when it worked
    EXPECT_GT(pdfPages(pdf), 0);
    EXPECT_TRUE(pdfText(pdf).contains("S002"));
}

TEST_F(CliReportTest, AgsAndLongCsvAreWrittenWithEveryReading)
{
    const QString ags = file("week.ags");
    CliRun run = report(ags);
    ASSERT_EQ(run.exitCode, 0) << run.describe();
    const QByteArray agsBytes = readAll(ags);
    EXPECT_TRUE(agsBytes.startsWith("\"GROUP\",\"PROJ\"")) << agsBytes.left(200).toStdString();
    for (const char* group : {"\"GROUP\",\"MONG\"", "\"GROUP\",\"MOND\""})
        EXPECT_TRUE(agsBytes.contains(group)) << group;
    EXPECT_TRUE(agsBytes.contains("\"S002\""));

    const QString csv = file("week.CSV"); // the suffix of any case
    run = report(csv);
    ASSERT_EQ(run.exitCode, 0) << run.describe();
    const QByteArray csvBytes = readAll(csv);
    ASSERT_TRUE(csvBytes.startsWith(kBom));
    const QList<QStringList> rows = parseCsv(QString::fromUtf8(csvBytes.mid(kBom.size())));
    // a header, a row of units, then every reading: 3 gauges x 20 days and the overdue one's 17
    EXPECT_EQ(m_site.readings, 77);
    EXPECT_EQ(rows.size(), 2 + 77);
    int s002 = 0;
    for (const QStringList& row : rows)
        s002 += row.contains("S002") ? 1 : 0;
    EXPECT_EQ(s002, 17);
}

TEST_F(CliReportTest, RefusalsSayWhyWriteNothingAndKeepAnEarlierFile)
{
    // An earlier report of that name, kept byte for byte by every refused run.
    const QString pdf = file("week.pdf");
    const QByteArray earlier = "%PDF-1.4 last week's report\n";
    {
        QFile f(pdf);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(earlier);
    }
    struct Case {
        QStringList arguments;
        int exitCode;
        const char* message;
    };
    const QString archive = m_archive.path;
    report::test::TempArchive empty = report::test::openTempArchive();
    ASSERT_TRUE(empty.archive);
    empty.archive.reset();
    const QList<Case> cases = {
        {{"--archive", archive, "report", "--site", "南坝", "-o", pdf}, 2, "档案中没有工程“南坝”"},
        {{"--archive", archive, "report", "--site", QString::fromUtf8(kSite), "--gauge", "P009", "-o", pdf},
         2,
         "工程“北坝”中没有测点 P009"},
        {{"--archive", archive, "report", "-o", file("week.txt")}, 2, "须以 .pdf、.ags 或 .csv 结尾"},
        {{"--archive", archive, "report"}, 2, "需要用 -o 指定输出文件"},
        {{"--archive", archive, "report", "--month", "2026-11", "--last", "7", "-o", pdf}, 2, "--month 不能与"},
        {{"--archive", archive, "report", "--from", "2026-11-30", "--to", "2026-11-01", "-o", pdf},
         2,
         "--from 晚于 --to"},
        {{"--archive", archive, "report", "--from", "2099-01-01", "-o", pdf}, 2, "报告的期间为空"},
        {{"--archive", archive, "report", "-o", file("no-such-folder/week.pdf")}, 6, "不存在"},
        // not there: read only it would be an empty archive, and the report one of nothing
        {{"--archive", file("no-such-folder/archive.sqlite"), "report", "-o", pdf}, 8, "不存在"},
        {{"--archive", empty.path, "report", "-o", pdf}, 2, "测点登记表中没有测点"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments.join(' ').toStdString());
        const CliRun run = cli(c.arguments, {}, 120000, false);
        EXPECT_EQ(run.exitCode, c.exitCode) << run.describe();
        EXPECT_TRUE(run.errText().contains(QString::fromUtf8(c.message))) << run.describe();
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(readAll(pdf), earlier);
        EXPECT_EQ(workFiles(), QStringList{"week.pdf"});
    }
}
