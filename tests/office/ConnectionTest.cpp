#include "office/OfficeSettings.h"
#include "office/PgConnection.h"
#include "tests/office/PgTest.h"
#include "tests/office/ScopedEnv.h"
#include "tests/support/ScopedLocale.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <cmath>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using office::Failure;
using office::FailureKind;
using office::PgConnection;

namespace {

// With a space and a quote: the password must reach libpq as it is, not through a string.
const QString kPassword = QStringLiteral("s3cret pass'word");

bool writeFile(const QString& path, const QByteArray& text, QFileDevice::Permissions permissions)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(text) != text.size())
        return false;
    file.close();
    return QFile::setPermissions(path, permissions);
}

const QFileDevice::Permissions kOwnerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;

// A TCP socket on 127.0.0.1 that is bound (so no one else takes its port) and, unless
// `listening`, refuses every connection; listening, it takes connections and never answers.
class LocalSocket {
public:
    explicit LocalSocket(bool listening)
    {
        m_socket = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (m_socket >= 0 && ::bind(m_socket, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
            ::getsockname(m_socket, reinterpret_cast<sockaddr*>(&address), &length) == 0 &&
            (!listening || ::listen(m_socket, 4) == 0))
            m_port = ntohs(address.sin_port);
    }
    ~LocalSocket()
    {
        if (m_socket >= 0)
            ::close(m_socket);
    }
    int port() const { return m_port; }

private:
    int m_socket = -1;
    int m_port = 0;
};

} // namespace

// Connections as the office's users make them: alice with her password over TCP, libpq's own
// password file and service file, and the failures an operator meets, each of its kind.
class OfficeConnection : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_server = PgServer::start(&s_why);
        if (s_server && (!s_server->createDatabase(QStringLiteral("office")) ||
                         !s_server->createLogin(QStringLiteral("alice"), kPassword))) {
            s_why = QStringLiteral("cannot make the database or the login");
            s_server.reset();
        }
    }
    static void TearDownTestSuite() { s_server.reset(); }

    void SetUp() override
    {
        KTM_SKIP_WITHOUT_SERVER(s_server, s_why);
        // Nothing of the machine's own: no password file, no service, no defaults.
        m_env.set("PGPASSFILE", (s_server->scratchDir() + QStringLiteral("/no-pgpass")).toUtf8());
        m_env.set("PGSERVICEFILE", (s_server->scratchDir() + QStringLiteral("/no-service")).toUtf8());
        for (const char* name : {"PGPASSWORD", "PGSERVICE", "PGSSLMODE", "PGUSER", "PGHOST", "PGPORT", "PGDATABASE",
                                 "PGSSLROOTCERT", "PGCONNECT_TIMEOUT"})
            m_env.unset(name);
    }

    static QString alice(const QString& extra = QStringLiteral("sslmode=disable"),
                         const QString& host = QStringLiteral("127.0.0.1"))
    {
        return s_server->tcpConninfo(QStringLiteral("alice"), QStringLiteral("office"), extra, host);
    }

    static std::unique_ptr<PgServer> s_server;
    static QString s_why;
    ScopedEnv m_env;
};
std::unique_ptr<PgServer> OfficeConnection::s_server;
QString OfficeConnection::s_why;

TEST_F(OfficeConnection, TheRightPasswordConnectsAndAWrongOneIsRefused)
{
    Failure failure;
    EXPECT_FALSE(PgConnection::open(alice(), &failure, QStringLiteral("wrong")));
    EXPECT_EQ(failure.kind, FailureKind::Authentication);
    EXPECT_TRUE(failure.detail.contains(QStringLiteral("alice"))) << failure.detail.toStdString();
    EXPECT_TRUE(office::failureText(failure).startsWith(QStringLiteral("办公室数据库拒绝了用户名或密码（")))
        << office::failureText(failure).toStdString();

    const auto connection = PgConnection::open(alice(), &failure, kPassword);
    ASSERT_TRUE(connection) << office::failureText(failure).toStdString();
    EXPECT_TRUE(connection->ok());
    EXPECT_EQ(connection->user(), QStringLiteral("alice"));
    EXPECT_EQ(connection->database(), QStringLiteral("office"));
    EXPECT_GE(connection->serverVersion(), 150000);
    EXPECT_FALSE(connection->usesTls());
    EXPECT_EQ(connection->sslMode(), QStringLiteral("disable"));
    // What the server sees of us: our name, and UTF-8 whatever the locale.
    const auto seen = connection->query("SELECT current_setting('application_name'), current_setting('client_encoding')",
                                        &failure);
    ASSERT_TRUE(seen) << failure.detail.toStdString();
    EXPECT_EQ(seen->text(0, 0), QStringLiteral("ktm520"));
    EXPECT_EQ(seen->text(0, 1), QStringLiteral("UTF8"));
}

TEST_F(OfficeConnection, NoPasswordAnywhereIsRefusedAsAuthentication)
{
    for (const QString& conninfo :
         {alice(), QStringLiteral("host=%1 port=%2 user=alice dbname=office").arg(s_server->socketDir()).arg(s_server->port())}) {
        Failure failure;
        EXPECT_FALSE(PgConnection::open(conninfo, &failure)) << conninfo.toStdString();
        EXPECT_EQ(failure.kind, FailureKind::Authentication) << failure.detail.toStdString();
    }
}

TEST_F(OfficeConnection, ThePasswordFileIsReadOnlyWhenItIsTheOwnersAlone)
{
    // The password file's fields escape ':' and '\'; the password has neither, but a quote and a space.
    const QString path = s_server->scratchDir() + QStringLiteral("/pgpass");
    const QByteArray line = QStringLiteral("127.0.0.1:%1:office:alice:%2\n").arg(s_server->port()).arg(kPassword).toUtf8();
    m_env.set("PGPASSFILE", path.toUtf8());

    ASSERT_TRUE(writeFile(path, line, kOwnerOnly));
    Failure failure;
    const auto connection = PgConnection::open(alice(), &failure);
    ASSERT_TRUE(connection) << office::failureText(failure).toStdString();
    EXPECT_EQ(connection->user(), QStringLiteral("alice"));

    // libpq ignores a password file others may read: then there is no password.
    ASSERT_TRUE(writeFile(path, line, kOwnerOnly | QFileDevice::ReadGroup | QFileDevice::ReadOther));
    EXPECT_FALSE(PgConnection::open(alice(), &failure));
    EXPECT_EQ(failure.kind, FailureKind::Authentication);
}

TEST_F(OfficeConnection, RequiringTlsOfAServerWithoutItIsTlsRefused)
{
    for (const QString mode : {QStringLiteral("require"), QStringLiteral("verify-full")}) {
        Failure failure;
        EXPECT_FALSE(PgConnection::open(alice(QStringLiteral("sslmode=") + mode), &failure, kPassword));
        EXPECT_EQ(failure.kind, FailureKind::TlsRefused) << failure.detail.toStdString();
        EXPECT_EQ(failure.detail, mode);
        EXPECT_TRUE(office::failureText(failure).contains(QStringLiteral("（sslmode=") + mode + QStringLiteral("）")))
            << office::failureText(failure).toStdString();
    }
    // "prefer", libpq's default, falls back to a plain connection.
    Failure failure;
    const auto connection = PgConnection::open(alice(QStringLiteral("sslmode=prefer")), &failure, kPassword);
    ASSERT_TRUE(connection) << failure.detail.toStdString();
    EXPECT_FALSE(connection->usesTls());
}

TEST_F(OfficeConnection, APortWhereNothingListensIsUnreachableAtOnce)
{
    LocalSocket refusing(false);
    ASSERT_NE(refusing.port(), 0);
    Failure failure;
    QElapsedTimer clock;
    clock.start();
    EXPECT_FALSE(PgConnection::open(QStringLiteral("host=127.0.0.1 port=%1 user=alice dbname=office").arg(refusing.port()),
                                    &failure, kPassword, 30));
    // A refusal is an answer: it is not waited out like a silent server.
    EXPECT_LT(clock.elapsed(), 10000);
    EXPECT_EQ(failure.kind, FailureKind::Unreachable) << failure.detail.toStdString();
    EXPECT_TRUE(office::failureText(failure).contains(QStringLiteral("读数已保存在本机")));
}

TEST_F(OfficeConnection, AServerThatNeverAnswersIsUnreachableAfterTheTimeout)
{
    LocalSocket silent(true);
    ASSERT_NE(silent.port(), 0);
    Failure failure;
    QElapsedTimer clock;
    clock.start();
    EXPECT_FALSE(PgConnection::open(QStringLiteral("host=127.0.0.1 port=%1 user=alice dbname=office").arg(silent.port()),
                                    &failure, kPassword, 2));
    EXPECT_GE(clock.elapsed(), 1500);
    EXPECT_EQ(failure.kind, FailureKind::Unreachable) << failure.detail.toStdString();
}

TEST_F(OfficeConnection, AStoppedServerIsUnreachableAndTheConnectionToItLost)
{
    Failure failure;
    const auto before = PgConnection::open(alice(), &failure, kPassword);
    ASSERT_TRUE(before) << failure.detail.toStdString();

    ASSERT_TRUE(s_server->stop());
    EXPECT_FALSE(before->exec("SELECT 1", &failure));
    EXPECT_EQ(failure.kind, FailureKind::ConnectionLost) << failure.detail.toStdString();
    EXPECT_FALSE(before->ok());
    // Over TCP (refused) and over the Unix socket (its file is gone).
    for (const QString& conninfo :
         {alice(), QStringLiteral("host=%1 port=%2 user=alice dbname=office").arg(s_server->socketDir()).arg(s_server->port())}) {
        EXPECT_FALSE(PgConnection::open(conninfo, &failure, kPassword));
        EXPECT_EQ(failure.kind, FailureKind::Unreachable) << failure.detail.toStdString();
    }

    ASSERT_TRUE(s_server->startAgain());
    EXPECT_TRUE(PgConnection::open(alice(), &failure, kPassword)) << failure.detail.toStdString();
}

TEST_F(OfficeConnection, StatementsGiveTheirValuesAndTheirFailuresByKind)
{
    Failure failure;
    EXPECT_FALSE(PgConnection::open(s_server->tcpConninfo(QStringLiteral("alice"), QStringLiteral("nosuch"),
                                                          QStringLiteral("sslmode=disable")),
                                    &failure, kPassword));
    EXPECT_EQ(failure.kind, FailureKind::NoDatabase) << failure.detail.toStdString();

    const auto connection = PgConnection::open(alice(), &failure, kPassword);
    ASSERT_TRUE(connection) << failure.detail.toStdString();

    // Parameters go as they are (a quote, a NULL), values come back typed.
    const auto values = connection->query("SELECT $1::text, $2::text IS NULL, $3::bigint, $4::float8, $5::float8, NULL",
                                          {QByteArray("it's 温度"), std::nullopt, QByteArray("-9007199254740993"),
                                           QByteArray("2.5"), QByteArray("NaN")},
                                          &failure);
    ASSERT_TRUE(values) << failure.detail.toStdString();
    ASSERT_EQ(values->rows(), 1);
    EXPECT_EQ(values->text(0, 0), QStringLiteral("it's 温度"));
    EXPECT_TRUE(values->boolean(0, 1));
    EXPECT_EQ(values->number(0, 2), -9007199254740993LL);
    EXPECT_EQ(values->real(0, 3), 2.5);
    EXPECT_TRUE(std::isnan(values->real(0, 4)));
    EXPECT_TRUE(values->isNull(0, 5));
    EXPECT_FALSE(values->isNull(0, 0));
    EXPECT_TRUE(values->isNull(1, 0)); // no such row

    // PostgreSQL 15 lets no one but the owner create in the public schema.
    EXPECT_FALSE(connection->exec("CREATE TABLE public.mine (n int)", &failure));
    EXPECT_EQ(failure.kind, FailureKind::PermissionDenied) << failure.detail.toStdString();
    EXPECT_FALSE(connection->exec("CREATE TABLE ktm520.mine (n int)", &failure));
    EXPECT_EQ(failure.kind, FailureKind::NoSchema) << failure.detail.toStdString();
    EXPECT_FALSE(connection->exec("SELEC 1", &failure));
    EXPECT_EQ(failure.kind, FailureKind::QueryFailed);
    EXPECT_TRUE(failure.detail.contains(QStringLiteral("SELEC"))) << failure.detail.toStdString();
    EXPECT_TRUE(connection->ok());

    // The administrator ends the session: the next statement finds the connection lost.
    ASSERT_TRUE(s_server->psql(QStringLiteral("SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE usename = 'alice'")));
    EXPECT_FALSE(connection->query("SELECT 1", &failure));
    EXPECT_EQ(failure.kind, FailureKind::ConnectionLost) << failure.detail.toStdString();
    EXPECT_FALSE(connection->ok());
}

TEST_F(OfficeConnection, ACopyArrivesWholeAndAStoppedOrFailedOneLeavesNothing)
{
    ASSERT_TRUE(s_server->psql(QStringLiteral("CREATE TABLE copied (id bigint, t text, x float8)"), nullptr,
                               QStringLiteral("office")));
    Failure failure;
    const auto connection = PgConnection::open(s_server->adminConninfo(QStringLiteral("office")), &failure);
    ASSERT_TRUE(connection) << failure.detail.toStdString();

    // Texts with every character COPY's text format escapes, and a NUL it cannot hold.
    const QString odd = QStringLiteral("tab\there\nnew line\\back\rreturn 仪器");
    const int total = 5000;
    auto rows = [&](int limit, int stopAfterChunks) {
        return [&, limit, stopAfterChunks, next = 0, chunks = 0](QByteArray& chunk, bool* stop) mutable {
            if (chunks++ == stopAfterChunks) {
                *stop = true;
                return false;
            }
            while (next < limit && chunk.size() < 16384) {
                chunk += QByteArray::number(next);
                chunk += '\t';
                office::appendCopyText(chunk, (odd + QString(QChar(0)) + QString::number(next)).toUtf8());
                chunk += '\t';
                chunk += next % 10 == 0 ? QByteArray(office::kCopyNull) : QByteArray::number(next * 0.5);
                chunk += '\n';
                ++next;
            }
            return next < limit;
        };
    };

    const auto copied = connection->copyIn("COPY copied FROM STDIN", rows(total, -1), &failure);
    ASSERT_TRUE(copied) << failure.detail.toStdString();
    EXPECT_EQ(*copied, total);
    const auto check = connection->query("SELECT count(*), count(x), sum(id) FROM copied", &failure);
    ASSERT_TRUE(check) << failure.detail.toStdString();
    EXPECT_EQ(check->number(0, 0), total);
    EXPECT_EQ(check->number(0, 1), total - total / 10);
    EXPECT_EQ(check->number(0, 2), qint64(total) * (total - 1) / 2);
    const auto one = connection->query("SELECT t, x FROM copied WHERE id = 4321", &failure);
    ASSERT_TRUE(one && one->rows() == 1) << failure.detail.toStdString();
    EXPECT_EQ(one->text(0, 0), odd + QStringLiteral("4321"));
    EXPECT_EQ(one->real(0, 1), 4321 * 0.5);

    // Stopped after two chunks (about 1000 rows sent): the server keeps none of them.
    ASSERT_TRUE(connection->exec("TRUNCATE copied", &failure)) << failure.detail.toStdString();
    EXPECT_FALSE(connection->copyIn("COPY copied FROM STDIN", rows(total, 2), &failure));
    EXPECT_EQ(failure.kind, FailureKind::Cancelled) << failure.detail.toStdString();
    EXPECT_TRUE(connection->ok());
    EXPECT_EQ(connection->query("SELECT count(*) FROM copied", &failure)->number(0, 0), 0);

    // A row the server refuses, after good ones: nothing of the copy stays, the connection goes on.
    int calls = 0;
    EXPECT_FALSE(connection->copyIn(
        "COPY copied FROM STDIN",
        [&](QByteArray& chunk, bool*) {
            chunk = ++calls == 1 ? QByteArray("1\tgood\t1\n2\tgood\t2\n") : QByteArray("three\tbad\t3\n");
            return calls < 2;
        },
        &failure));
    EXPECT_EQ(failure.kind, FailureKind::QueryFailed);
    EXPECT_TRUE(failure.detail.contains(QStringLiteral("three"))) << failure.detail.toStdString();
    EXPECT_TRUE(connection->ok());
    EXPECT_EQ(connection->query("SELECT count(*) FROM copied", &failure)->number(0, 0), 0);

    // A statement that is no COPY FROM STDIN is refused as such.
    EXPECT_FALSE(connection->copyIn("SELECT 1", rows(1, -1), &failure));
    EXPECT_EQ(failure.kind, FailureKind::QueryFailed);
}

TEST_F(OfficeConnection, AServiceOfTheServiceFileConnects)
{
    const QString services = s_server->scratchDir() + QStringLiteral("/pg_service.conf");
    const QString pgpass = s_server->scratchDir() + QStringLiteral("/pgpass-service");
    ASSERT_TRUE(writeFile(services,
                          QStringLiteral("# the office\n[office]\nhost=127.0.0.1\nport=%1\ndbname=office\nuser=alice\n"
                                         "sslmode=disable\n\n[other]\nhost=elsewhere.invalid\n")
                              .arg(s_server->port())
                              .toUtf8(),
                          kOwnerOnly));
    ASSERT_TRUE(writeFile(pgpass, QStringLiteral("*:*:*:alice:%1\n").arg(kPassword).toUtf8(), kOwnerOnly));
    m_env.set("PGSERVICEFILE", services.toUtf8());
    m_env.set("PGPASSFILE", pgpass.toUtf8());

    office::Settings settings;
    settings.service = QStringLiteral("office");
    EXPECT_EQ(office::settingsProblem(settings), QString());
    EXPECT_EQ(office::sslModeOf(settings), QStringLiteral("disable"));
    EXPECT_EQ(office::userOf(settings), QStringLiteral("alice"));
    EXPECT_EQ(office::hostOf(settings), QStringLiteral("127.0.0.1"));

    Failure failure;
    const auto connection = PgConnection::open(office::conninfo(settings), &failure);
    ASSERT_TRUE(connection) << office::failureText(failure).toStdString();
    EXPECT_EQ(connection->database(), QStringLiteral("office"));
    EXPECT_EQ(connection->user(), QStringLiteral("alice"));

    // A service the file does not define is a fault of the settings.
    settings.service = QStringLiteral("nosuch");
    EXPECT_FALSE(PgConnection::open(office::conninfo(settings), &failure));
    EXPECT_EQ(failure.kind, FailureKind::NotConfigured) << failure.detail.toStdString();
    EXPECT_TRUE(office::failureText(failure).contains(QStringLiteral("nosuch"))) << failure.detail.toStdString();
    // So is a value libpq does not know.
    EXPECT_FALSE(PgConnection::open(alice(QStringLiteral("sslmode=always")), &failure, kPassword));
    EXPECT_EQ(failure.kind, FailureKind::NotConfigured) << failure.detail.toStdString();
}

// On a Chinese desktop libpq words its messages in Chinese (Debian ships its catalogue): the
// failures are still known for what they are.
TEST_F(OfficeConnection, FailuresAreKnownWhateverLanguageLibpqSpeaks)
{
    ScopedLocale chinese("zh_CN.UTF-8");
    if (!chinese.active())
        GTEST_SKIP() << "the zh_CN.UTF-8 locale cannot be made here";
    m_env.unset("LANGUAGE");
    LocalSocket refusing(false);
    const QString services = s_server->scratchDir() + QStringLiteral("/pg_service.conf");
    ASSERT_TRUE(writeFile(services, "[empty]\n", kOwnerOnly));
    m_env.set("PGSERVICEFILE", services.toUtf8());

    const struct {
        QString conninfo;
        FailureKind kind;
    } cases[] = {
        {alice(QStringLiteral("sslmode=require")), FailureKind::TlsRefused},
        {QStringLiteral("host=127.0.0.1 port=%1 user=alice dbname=office").arg(refusing.port()), FailureKind::Unreachable},
        {QStringLiteral("host=%1 port=%2 user=alice dbname=office").arg(s_server->scratchDir()).arg(s_server->port()),
         FailureKind::Unreachable},
        {QStringLiteral("service=nosuch"), FailureKind::NotConfigured},
        {alice(QStringLiteral("sslmode=always")), FailureKind::NotConfigured},
    };
    bool spokeChinese = false;
    for (const auto& c : cases) {
        Failure failure;
        EXPECT_FALSE(PgConnection::open(c.conninfo, &failure, kPassword, 5)) << c.conninfo.toStdString();
        EXPECT_EQ(failure.kind, c.kind) << c.conninfo.toStdString() << ": " << failure.detail.toStdString();
        spokeChinese = spokeChinese || failure.detail.contains(QStringLiteral("服务"));
    }
    EXPECT_TRUE(spokeChinese) << "libpq's messages were not in Chinese: the cases above proved nothing";
    Failure failure;
    EXPECT_FALSE(PgConnection::open(alice(), &failure)); // no password anywhere
    EXPECT_EQ(failure.kind, FailureKind::Authentication) << failure.detail.toStdString();
}

// The server with TLS: its certificate names "localhost" and is signed by the fixture's own
// authority.
class OfficeTlsConnection : public OfficeConnection {
protected:
    static void SetUpTestSuite()
    {
        PgServer::Options options;
        options.tls = true;
        s_server = PgServer::start(&s_why, options);
        if (s_server && (!s_server->createDatabase(QStringLiteral("office")) ||
                         !s_server->createLogin(QStringLiteral("alice"), kPassword))) {
            s_why = QStringLiteral("cannot make the database or the login");
            s_server.reset();
        }
    }

    static QString verified(const QString& mode, const QString& host, const QString& rootCert = {})
    {
        return alice(QStringLiteral("sslmode=%1 sslrootcert=%2").arg(mode, rootCert.isEmpty() ? s_server->caFile() : rootCert),
                     host);
    }
};

TEST_F(OfficeTlsConnection, VerifyFullWithTheAuthorityAndTheCertificatesNameConnectsEncrypted)
{
    Failure failure;
    const auto connection = PgConnection::open(verified(QStringLiteral("verify-full"), QStringLiteral("localhost")),
                                               &failure, kPassword);
    ASSERT_TRUE(connection) << office::failureText(failure).toStdString();
    EXPECT_TRUE(connection->usesTls());
    EXPECT_EQ(connection->sslMode(), QStringLiteral("verify-full"));
    const auto seen = connection->query("SELECT ssl FROM pg_stat_ssl WHERE pid = pg_backend_pid()", &failure);
    ASSERT_TRUE(seen) << failure.detail.toStdString();
    EXPECT_TRUE(seen->boolean(0, 0));
}

TEST_F(OfficeTlsConnection, ANameTheCertificateDoesNotHoldOrAnUnknownAuthorityIsUntrusted)
{
    Failure failure;
    EXPECT_FALSE(PgConnection::open(verified(QStringLiteral("verify-full"), QStringLiteral("127.0.0.1")), &failure, kPassword));
    EXPECT_EQ(failure.kind, FailureKind::TlsUntrusted) << failure.detail.toStdString();
    EXPECT_TRUE(failure.detail.contains(QStringLiteral("127.0.0.1"))) << failure.detail.toStdString();
    EXPECT_TRUE(office::failureText(failure).contains(QStringLiteral("证书")));

    // verify-ca checks the authority, not the name.
    EXPECT_TRUE(PgConnection::open(verified(QStringLiteral("verify-ca"), QStringLiteral("127.0.0.1")), &failure, kPassword))
        << failure.detail.toStdString();

    // The root certificate missing, or another authority's.
    EXPECT_FALSE(PgConnection::open(verified(QStringLiteral("verify-full"), QStringLiteral("localhost"),
                                             s_server->scratchDir() + QStringLiteral("/no-root.crt")),
                                    &failure, kPassword));
    EXPECT_EQ(failure.kind, FailureKind::TlsUntrusted) << failure.detail.toStdString();
    const QString stranger = s_server->scratchDir() + QStringLiteral("/stranger");
    QProcess openssl;
    openssl.start(QStringLiteral("openssl"), {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"),
                                              QStringLiteral("rsa:2048"), QStringLiteral("-nodes"), QStringLiteral("-days"),
                                              QStringLiteral("1"), QStringLiteral("-subj"), QStringLiteral("/CN=stranger"),
                                              QStringLiteral("-keyout"), stranger + QStringLiteral(".key"),
                                              QStringLiteral("-out"), stranger + QStringLiteral(".crt")});
    ASSERT_TRUE(openssl.waitForFinished(60000) && openssl.exitCode() == 0);
    EXPECT_FALSE(PgConnection::open(verified(QStringLiteral("verify-full"), QStringLiteral("localhost"),
                                             stranger + QStringLiteral(".crt")),
                                    &failure, kPassword));
    EXPECT_EQ(failure.kind, FailureKind::TlsUntrusted) << failure.detail.toStdString();

    // The same in libpq's Chinese.
    ScopedLocale chinese("zh_CN.UTF-8");
    if (!chinese.active())
        GTEST_SKIP() << "the zh_CN.UTF-8 locale cannot be made here";
    m_env.unset("LANGUAGE");
    EXPECT_FALSE(PgConnection::open(verified(QStringLiteral("verify-full"), QStringLiteral("127.0.0.1")), &failure, kPassword));
    EXPECT_EQ(failure.kind, FailureKind::TlsUntrusted) << failure.detail.toStdString();
    EXPECT_TRUE(failure.detail.contains(QStringLiteral("连接到"))) << failure.detail.toStdString();
    EXPECT_FALSE(PgConnection::open(verified(QStringLiteral("verify-full"), QStringLiteral("localhost"),
                                             s_server->scratchDir() + QStringLiteral("/no-root.crt")),
                                    &failure, kPassword));
    EXPECT_EQ(failure.kind, FailureKind::TlsUntrusted) << failure.detail.toStdString();
}
