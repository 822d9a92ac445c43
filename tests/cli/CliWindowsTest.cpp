// What only the Windows build of ktm520-cli does, run under Wine (see CliFixture.h): the port
// list from the registry's SERIALCOMM key, opening a COM port, paths through the wide calls, the
// archive in the user's local application data, exports written by the Windows build.
//
// Wine 8's serial driver cannot carry a reply to Qt's serial port: it waits for a port's events
// in the calling thread when the wait names no event (Qt waits so) and posts no completion for
// it, so the data never reaches the program. The exchange itself is therefore not run here; the
// copies come from the Linux build on the same simulator, into the archive the Windows build reads.
#include "tests/cli/CliFixture.h"
#include "tests/office/PgTest.h"
#include "tests/report/Poppler.h"
#include "tests/report/ReportFixture.h"
#include "tests/support/XlrdReader.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

namespace {

class WindowsCliTest : public CliTest {
protected:
    void SetUp() override
    {
        CliTest::SetUp();
        if (!HasFatalFailure() && !underWine())
            GTEST_SKIP() << "runs the Windows program under Wine only";
    }
    // The Windows name of a file in the work folder, as a Windows user types it (Wine's Z: is /).
    QString windowsPath(const QString& name) const { return "Z:" + QDir::toNativeSeparators(file(name)); }

    // Runs the Linux build (not under Wine) on the simulator's own name for its terminal, as
    // another computer on the same instrument would.
    CliRun linuxCli(const QStringList& arguments, bool withPort = true)
    {
        QProcess process;
        process.setProcessEnvironment(environment());
        process.start(QStringLiteral(KTM_CLI_PATH),
                      (withPort ? QStringList{"--port", m_simPortName} : QStringList{}) + arguments);
        CliRun run;
        run.finished = process.waitForFinished(120000);
        run.out = process.readAllStandardOutput();
        run.err = process.readAllStandardError();
        run.exitCode = run.finished ? process.exitCode() : -1;
        return run;
    }
};

} // namespace

TEST_F(WindowsCliTest, ThePortListIsTheRegistrysAndItsComPortOpens)
{
    CliRun run = cli({"ports", "--json"}, {}, 60000, false);
    ASSERT_EQ(run.exitCode, 0) << run.describe();
    QStringList names;
    for (const auto& p : QJsonDocument::fromJson(run.out).array()) {
        names << p.toObject()["name"].toString();
        if (names.last() == kWineComPort) {
            EXPECT_EQ(p.toObject()["device"].toString(), QString("\\\\.\\") + kWineComPort);
        }
    }
    EXPECT_TRUE(names.contains(kWineComPort)) << run.describe();

    // A COM port that is not there is a connection failure in the operator's words (exit 3);
    // the listed one opens (no reply comes under Wine: exit 5, see above).
    run = cli({"--port", "COM42", "partitions"}, {}, 60000, false);
    EXPECT_EQ(run.exitCode, 3) << run.describe();
    run = cli({"--timeout", "1", "partitions"});
    EXPECT_EQ(run.exitCode, 5) << run.describe();
}

TEST_F(WindowsCliTest, TheArchiveInTheLocalApplicationDataIsListedAndExportedToWindowsPaths)
{
    // The Linux build copies partitions C and D into an archive, which becomes the Windows
    // user's own (%LOCALAPPDATA%\Varnok\archive.sqlite).
    const QString made = file("made-on-linux.sqlite");
    ASSERT_FALSE(QFileInfo::exists(defaultArchive()));
    ASSERT_TRUE(QDir().mkpath(QFileInfo(defaultArchive()).absolutePath()));
    ASSERT_EQ(linuxCli({"archive", "instruments", "add", kReadout, "--archive", made}, false).exitCode, 0);
    for (const char* partition : {"C", "D"}) {
        const CliRun copy =
            linuxCli({"copy", partition, "-o", file("copy.csv"), "--archive", made, "--instrument", kReadout});
        ASSERT_EQ(copy.exitCode, 0) << copy.describe();
    }
    ASSERT_TRUE(QFile::copy(made, defaultArchive()));

    const CliRun linuxList = linuxCli({"archive", "list", "--json", "--archive", made}, false);
    ASSERT_EQ(linuxList.exitCode, 0) << linuxList.describe();
    CliRun run = cli({"archive", "list", "--json"}, {}, 60000, false);
    ASSERT_EQ(run.exitCode, 0) << run.describe();
    EXPECT_EQ(QJsonDocument::fromJson(run.out), QJsonDocument::fromJson(linuxList.out));
    EXPECT_FALSE(QJsonDocument::fromJson(run.out).array().isEmpty()) << run.describe();

    // Exports into a folder with a Chinese name, given as Windows names: the same bytes as the
    // Linux build's (CSV), the same cells (xlsx, read by openpyxl).
    ASSERT_TRUE(QDir().mkpath(file("现场数据")));
    run = cli({"archive", "export", "C", "-o", windowsPath("现场数据/坝体 C.csv")}, {}, 60000, false);
    ASSERT_EQ(run.exitCode, 0) << run.describe();
    ASSERT_EQ(linuxCli({"archive", "export", "C", "-o", file("linux-C.csv"), "--archive", made}, false).exitCode, 0);
    EXPECT_EQ(readAll(file("现场数据/坝体 C.csv")), readAll(file("linux-C.csv")));
    EXPECT_GT(readAll(file("linux-C.csv")).count('\n'), 2);

    run = cli({"archive", "export", "-o", windowsPath("现场数据/全部.xlsx")}, {}, 60000, false);
    ASSERT_EQ(run.exitCode, 0) << run.describe();
    ASSERT_EQ(linuxCli({"archive", "export", "-o", file("linux-all.xlsx"), "--archive", made}, false).exitCode, 0);
    QString error;
    const QJsonArray windowsSheets = readWithOpenpyxl(file("现场数据/全部.xlsx"), &error);
    ASSERT_FALSE(windowsSheets.isEmpty()) << error.toStdString();
    EXPECT_EQ(windowsSheets, readWithOpenpyxl(file("linux-all.xlsx"), &error)) << error.toStdString();
    EXPECT_EQ(QDir(file("现场数据")).entryList(QDir::Files | QDir::Hidden, QDir::Name),
              QStringList({"全部.xlsx", "坝体 C.csv"}));
}

TEST_F(WindowsCliTest, TheWindowsBuildWritesTheMonitoringReportWithItsPlotsAndFont)
{
    // The report draws the window's trend plot into its pages: the Windows build's QApplication,
    // its platform plugin and a CJK font of the system (under Wine, the host's) are all needed.
    report::test::TempArchive made = report::test::openTempArchive();
    ASSERT_TRUE(made.archive);
    const qint64 first = QDateTime(QDate(2026, 11, 1), QTime(0, 0), Qt::UTC).toSecsSinceEpoch();
    const report::test::FixtureSite site = report::test::fillSite(*made.archive, QStringLiteral("北坝"), 4, 10, first);
    made.archive.reset();
    ASSERT_TRUE(QDir().mkpath(file("报告")));

    const CliRun run = cli({"--archive", "Z:" + QDir::toNativeSeparators(made.path), "report", "--site", "北坝", "--from",
                            "2026-11-01", "--to", "2026-11-30", "-o", windowsPath("报告/北坝 11月.pdf")},
                           {}, 120000, false);
    ASSERT_EQ(run.exitCode, 0) << run.describe();
    const QString pdf = file("报告/北坝 11月.pdf");
    EXPECT_GE(report::test::pdfPages(pdf), 4) << run.describe(); // cover, summary, plots, lists
    const QString text = report::test::pdfText(pdf);
    for (const QString& gauge : site.gauges)
        EXPECT_TRUE(text.contains(gauge)) << gauge.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("测点汇总")));
    // Every font the file uses is embedded (pdffonts' "emb" column).
    const QStringList fonts = report::test::pdfFonts(pdf).split(QLatin1Char('\n'), Qt::SkipEmptyParts).mid(2);
    ASSERT_FALSE(fonts.isEmpty());
    for (const QString& line : fonts)
        EXPECT_TRUE(line.contains(QRegularExpression(QStringLiteral("\\s+yes\\s+(yes|no)\\s+(yes|no)\\s+\\d+\\s+\\d+\\s*$"))))
            << line.toStdString();
    EXPECT_EQ(QDir(file("报告")).entryList(QDir::Files | QDir::Hidden), QStringList({"北坝 11月.pdf"}));
}

TEST_F(WindowsCliTest, TheWindowsBuildSyncsWithTheOfficeOverVerifiedTls)
{
    // The Windows build carries libpq (with OpenSSL inside it): a sync from a Windows PC to the
    // office's server, its certificate checked against the office's authority and the host name.
    QString why;
    PgServer::Options options;
    options.tls = true;
    std::unique_ptr<PgServer> server = PgServer::start(&why, options);
    KTM_SKIP_WITHOUT_SERVER(server, why);
    ASSERT_TRUE(server->createDatabase(QStringLiteral("office")));
    ASSERT_TRUE(server->createLogin(QStringLiteral("alice"), QStringLiteral("w1ne-pass")));
    ASSERT_TRUE(server->psql(QStringLiteral("ALTER ROLE alice CREATEROLE; ALTER DATABASE office OWNER TO alice")));

    report::test::TempArchive made = report::test::openTempArchive();
    ASSERT_TRUE(made.archive);
    const qint64 first = QDateTime(QDate(2026, 11, 1), QTime(0, 0), Qt::UTC).toSecsSinceEpoch();
    report::test::fillSite(*made.archive, QStringLiteral("北坝"), 4, 10, first);
    const qint64 waiting = made.archive->readingsWaiting();
    ASSERT_GT(waiting, 0);
    made.archive.reset();

    // libpq takes the password from the environment here (a Windows user's pgpass.conf would do).
    qputenv("PGPASSWORD", "w1ne-pass");
    auto sync = [&](const QString& host) {
        const QString office = QStringLiteral("host=%1 port=%2 dbname=office user=alice sslmode=verify-full sslrootcert=%3")
                                   .arg(host)
                                   .arg(server->port())
                                   .arg("Z:" + QDir::toNativeSeparators(server->caFile()));
        return cli({"--archive", "Z:" + QDir::toNativeSeparators(made.path), "sync", "--office", office}, {}, 120000,
                   false);
    };
    // The certificate names "localhost": connecting by the address does not check out, and
    // nothing is sent.
    const CliRun refused = sync(QStringLiteral("127.0.0.1"));
    EXPECT_EQ(refused.exitCode, 12) << refused.describe();
    EXPECT_TRUE(server->value(QStringLiteral("SELECT to_regclass('ktm520.readings')"), QStringLiteral("office")).isEmpty());

    const CliRun run = sync(QStringLiteral("localhost"));
    qunsetenv("PGPASSWORD");
    ASSERT_EQ(run.exitCode, 0) << run.describe();
    EXPECT_EQ(server->value(QStringLiteral("SELECT count(*) FROM ktm520.readings"), QStringLiteral("office")),
              QString::number(waiting));
    EXPECT_EQ(server->value(QStringLiteral("SELECT count(*) FROM ktm520.downloads WHERE pc_user <> ''"),
                            QStringLiteral("office")),
              server->value(QStringLiteral("SELECT count(*) FROM ktm520.downloads"), QStringLiteral("office")));
}
