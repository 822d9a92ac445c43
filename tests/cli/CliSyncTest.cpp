// ktm520-cli sync, the built program run as a cron job runs it, against a real PostgreSQL server
// the test starts: a push and a second sync with nothing new, a server out of reach (11), a wrong
// password (12), an office not set up (12), and the program killed in the middle of its readings
// and run again.
#include "tests/cli/CliFixture.h"
#include "tests/office/PgTest.h"

#include "archive/Archive.h"
#include "office/OfficeSettings.h"
#include "tests/support/ArchiveOrigin.h"
#include "tests/support/QtTestMain.h"

#include <QDateTime>
#include <QFile>
#include <QProcess>

#include <csignal>
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <pty.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

const QString kUser = QStringLiteral("alice");
const QString kPassword = QStringLiteral("s3cret-o'neil");
const QString kDatabase = QStringLiteral("office");
const qint64 kFirstTime = QDateTime(QDate(2026, 6, 1), QTime(0, 0), Qt::UTC).toSecsSinceEpoch();

// A TCP port of 127.0.0.1 where nothing listens: one the system gave and that was let go again.
int unusedPort()
{
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = 0;
    if (::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    ::close(s);
    return port;
}

class CliSyncTest : public CliTest {
protected:
    bool withDefaultReadout() const override { return false; }

    static void SetUpTestSuite()
    {
        s_server = PgServer::start(&s_why).release();
        if (!s_server)
            return;
        // A writer of its own database that may make the office's roles, as an office's
        // administrator would set one up; its password only in the test's pgpass.
        if (!s_server->createDatabase(kDatabase) || !s_server->createLogin(kUser, kPassword) ||
            !s_server->psql(QStringLiteral("ALTER ROLE alice CREATEROLE; ALTER DATABASE office OWNER TO alice"))) {
            s_why = QStringLiteral("the office's login could not be made");
            delete s_server;
            s_server = nullptr;
        }
    }
    static void TearDownTestSuite()
    {
        delete s_server;
        s_server = nullptr;
    }

    void SetUp() override
    {
        KTM_SKIP_WITHOUT_SERVER(s_server, s_why);
        CliTest::SetUp();
        // Each test starts with an empty office.
        ASSERT_TRUE(s_server->psql(QStringLiteral("DROP SCHEMA IF EXISTS ktm520 CASCADE"), nullptr, kDatabase));
        // libpq finds the password where it finds it for a cron job: a pgpass file (the
        // program started from here inherits PGPASSFILE).
        m_pgpass = file(QStringLiteral("pgpass"));
        writePgpass(kPassword);
        qputenv("PGPASSFILE", QFile::encodeName(m_pgpass));
        m_archivePath = file(QStringLiteral("archive.sqlite"));
    }
    void TearDown() override
    {
        qunsetenv("PGPASSFILE");
        CliTest::TearDown();
    }

    void writePgpass(const QString& password)
    {
        QFile f(m_pgpass);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QString escaped = password;
        escaped.replace(QLatin1Char('\\'), QStringLiteral("\\\\")).replace(QLatin1Char(':'), QStringLiteral("\\:"));
        f.write(QStringLiteral("127.0.0.1:%1:%2:%3:%4\n").arg(s_server->port()).arg(kDatabase, kUser, escaped).toUtf8());
        f.write(QStringLiteral("127.0.0.1:%1:%2:bob:bobs-own\n").arg(s_server->port()).arg(kDatabase).toUtf8());
        f.close();
        f.setPermissions(QFile::ReadOwner | QFile::WriteOwner); // libpq ignores a file others may read
    }

    QString conninfo(int port = 0, const QString& user = kUser) const
    {
        return QStringLiteral("host=127.0.0.1 port=%1 dbname=%2 user=%3 sslmode=disable")
            .arg(port ? port : s_server->port())
            .arg(kDatabase, user);
    }

    // `downloads` downloads more of `perDownload` readings each (40 slots of one readout, a
    // reading a minute, after those stored before), none of them in the office yet.
    void fillArchive(int downloads, int perDownload)
    {
        archive::Error error;
        std::unique_ptr<archive::Archive> a = archive::Archive::open(m_archivePath, nullptr, &error);
        ASSERT_TRUE(a) << error.detail.toStdString();
        const archive::CopyOrigin origin = archive::test::testOrigin(*a, QStringLiteral("北坝一号"));
        constexpr int kSlots = 40;
        const qint64 waiting = a->readingsWaiting();
        for (int d = 0; d < downloads; ++d) {
            std::vector<archive::Record> records;
            records.reserve(size_t(perDownload));
            for (int i = 0; i < perDownload; ++i) {
                const qint64 t = kFirstTime + (m_readings + qint64(d) * perDownload + i) / kSlots * 60;
                records.push_back(archive::Record{QStringLiteral("A"), QStringLiteral("F%1").arg(m_files + d + 1),
                                                  QStringLiteral("A%1").arg(i % kSlots + 1, 3, 10, QLatin1Char('0')),
                                                  archive::instrumentTimeText(t),
                                                  QString::number(20000 + i % 5000), QString::number(215)});
            }
            const std::optional<archive::StoreResult> stored =
                a->store(records, QDateTime::currentDateTimeUtc(), origin, &error);
            ASSERT_TRUE(stored) << error.detail.toStdString();
            ASSERT_EQ(stored->added, perDownload);
        }
        m_readings += qint64(downloads) * perDownload;
        m_files += downloads;
        ASSERT_EQ(a->readingsWaiting(), waiting + qint64(downloads) * perDownload);
    }

    qint64 waitingInArchive() const
    {
        archive::Error error;
        std::unique_ptr<archive::Archive> a = archive::Archive::open(m_archivePath, nullptr, &error);
        EXPECT_TRUE(a) << error.detail.toStdString();
        return a ? a->readingsWaiting(&error) : -1;
    }

    QString office(const QString& sql) const { return s_server->value(sql, kDatabase); }

    CliRun sync(const QStringList& more = {})
    {
        return cli(QStringList{"--archive", m_archivePath, "sync", "--office", conninfo()} + more, {}, 300000, false);
    }

    static PgServer* s_server;
    static QString s_why;
    QString m_pgpass;
    QString m_archivePath;
    qint64 m_readings = 0; // in the archive
    int m_files = 0;
};

PgServer* CliSyncTest::s_server = nullptr;
QString CliSyncTest::s_why;

} // namespace

TEST_F(CliSyncTest, PushesEveryReadingOnceAndASecondSyncFindsNothingNew)
{
    fillArchive(3, 2000);
    const CliRun first = sync();
    ASSERT_EQ(first.exitCode, 0) << first.describe();
    EXPECT_FALSE(first.outText().trimmed().isEmpty()) << first.describe(); // the result's line
    EXPECT_EQ(office("SELECT count(*) FROM ktm520.readings"), QString::number(m_readings));
    EXPECT_EQ(office("SELECT count(*) FROM ktm520.downloads"), "3");
    EXPECT_EQ(office("SELECT sum(added) FROM ktm520.downloads"), QString::number(m_readings));
    EXPECT_EQ(waitingInArchive(), 0);

    const CliRun second = sync();
    ASSERT_EQ(second.exitCode, 0) << second.describe();
    EXPECT_EQ(office("SELECT count(*) FROM ktm520.readings"), QString::number(m_readings));
    EXPECT_EQ(office("SELECT count(*) FROM ktm520.downloads"), "3");
    EXPECT_EQ(waitingInArchive(), 0);
    // The first sent what the second had nothing of: their results differ.
    EXPECT_NE(first.outText(), second.outText());
}

TEST_F(CliSyncTest, TheSettingsTheWindowKeepsAreTheOnesUsed)
{
    fillArchive(1, 500);
    office::Settings settings;
    settings.connection = conninfo();
    const QString path = file(QStringLiteral("office.ini"));
    ASSERT_TRUE(office::saveSettings(settings, path));
    const CliRun run = cli({"--archive", m_archivePath, "sync", "--office-settings", path, "--no-pull"}, {}, 120000,
                           false);
    ASSERT_EQ(run.exitCode, 0) << run.describe();
    EXPECT_EQ(office("SELECT count(*) FROM ktm520.readings"), "500");
}

TEST_F(CliSyncTest, AServerOutOfReachIs11AndAnythingElseTheOfficeRefusesIs12)
{
    fillArchive(1, 100);
    const int freePort = unusedPort();
    ASSERT_GT(freePort, 0);
    const CliRun unreachable =
        cli({"--archive", m_archivePath, "sync", "--office", conninfo(freePort)}, {}, 120000, false);
    EXPECT_EQ(unreachable.exitCode, 11) << unreachable.describe();
    EXPECT_TRUE(unreachable.errText().contains("无法连接办公室数据库服务器")) << unreachable.describe();
    EXPECT_EQ(waitingInArchive(), 100); // nothing marked sent

    writePgpass(QStringLiteral("not-the-password"));
    const CliRun refused = sync();
    EXPECT_EQ(refused.exitCode, 12) << refused.describe();
    EXPECT_TRUE(refused.errText().contains("拒绝了用户名或密码")) << refused.describe();
    EXPECT_TRUE(refused.errText().contains(".pgpass")) << refused.describe(); // where the command line looks
    EXPECT_TRUE(refused.outText().isEmpty()) << refused.describe();

    // No office set up: 12, and how to set one up.
    const CliRun none = cli({"--archive", m_archivePath, "sync"}, {}, 60000, false);
    EXPECT_EQ(none.exitCode, 12) << none.describe();
    EXPECT_TRUE(none.errText().contains("--office")) << none.describe();
    EXPECT_TRUE(none.errText().contains("办公室数据库设置")) << none.describe();

    // A password typed into the connection is refused before anything is sent.
    const CliRun withPassword =
        cli({"--archive", m_archivePath, "sync", "--office", conninfo() + " password=x"}, {}, 60000, false);
    EXPECT_EQ(withPassword.exitCode, 2) << withPassword.describe();
    EXPECT_TRUE(withPassword.errText().contains("密码")) << withPassword.describe();
    EXPECT_EQ(waitingInArchive(), 100);
}

TEST_F(CliSyncTest, KilledDuringItsReadingsTheNextSyncSendsTheRestEachReadingOnce)
{
    fillArchive(6, 50000);

    // On a terminal, as an operator watches it, so that the progress line is drawn.
    int master = -1;
    int slave = -1;
    ASSERT_EQ(::openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
    QProcess process;
    process.setProcessEnvironment(environment());
    process.setChildProcessModifier([slave] { ::dup2(slave, STDERR_FILENO); });
    launch(process, {"--archive", m_archivePath, "sync", "--office", conninfo(), "--no-pull"});
    ASSERT_TRUE(process.waitForStarted(10000));
    ::close(slave);
    ::fcntl(master, F_SETFL, O_NONBLOCK);

    // Killed once the readings are on their way and one download at least is in the office.
    QByteArray terminal;
    const bool sending = testing_qt::waitFor(
        [&] {
            char buffer[4096];
            for (ssize_t n; (n = ::read(master, buffer, sizeof buffer)) > 0;)
                terminal.append(buffer, n);
            return QString::fromUtf8(terminal).contains(QStringLiteral("正在上传读数")) &&
                   office("SELECT count(*) FROM ktm520.downloads").toInt() >= 1;
        },
        120000);
    ASSERT_TRUE(sending) << terminal.toStdString() << process.readAllStandardError().toStdString();
    ::kill(pid_t(process.processId()), SIGKILL);
    process.waitForFinished(10000);
    ::close(master);
    const qint64 before = office("SELECT count(*) FROM ktm520.readings").toLongLong();
    EXPECT_GT(before, 0);
    EXPECT_LT(before, m_readings) << "the sync ended before it was killed: more readings are needed";

    const CliRun again = sync();
    ASSERT_EQ(again.exitCode, 0) << again.describe();
    EXPECT_EQ(office("SELECT count(*) FROM ktm520.readings"), QString::number(m_readings));
    EXPECT_EQ(office("SELECT count(*) FROM ktm520.downloads"), "6");
    EXPECT_EQ(office("SELECT sum(added) FROM ktm520.downloads"), QString::number(m_readings));
    EXPECT_EQ(waitingInArchive(), 0);
}

TEST_F(CliSyncTest, AUserWhoMayOnlyReadSendsNothingAndSaysSo)
{
    fillArchive(1, 300);
    const CliRun made = sync(); // the office's schema and roles, made by its writer
    ASSERT_EQ(made.exitCode, 0) << made.describe();
    fillArchive(1, 200); // a download more, after the first
    if (office("SELECT count(*) FROM pg_roles WHERE rolname = 'bob'") == "0")
        ASSERT_TRUE(s_server->createLogin("bob", "bobs-own", "ktm520_reader"));

    const CliRun read = cli({"--archive", m_archivePath, "sync", "--office", conninfo(0, "bob")}, {}, 120000, false);
    EXPECT_EQ(read.exitCode, 0) << read.describe();
    EXPECT_TRUE(read.errText().contains("只能读取办公室数据库")) << read.describe();
    EXPECT_TRUE(read.errText().contains("200 条读数待同步到办公室数据库")) << read.describe();
    EXPECT_EQ(office("SELECT count(*) FROM ktm520.readings"), "300");
    EXPECT_EQ(waitingInArchive(), 200);
}
