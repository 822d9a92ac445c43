#include "tests/office/PgServer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// The newest server of the distribution: /usr/lib/postgresql/<major>/bin.
QString serverBinDir()
{
    QDir versions(QStringLiteral("/usr/lib/postgresql"));
    QStringList majors = versions.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    std::sort(majors.begin(), majors.end(), [](const QString& a, const QString& b) { return a.toInt() > b.toInt(); });
    for (const QString& major : majors) {
        const QString bin = versions.filePath(major + QStringLiteral("/bin"));
        if (QFileInfo(bin + QStringLiteral("/initdb")).isExecutable() &&
            QFileInfo(bin + QStringLiteral("/pg_ctl")).isExecutable())
            return bin;
    }
    const QString initdb = QStandardPaths::findExecutable(QStringLiteral("initdb"));
    return initdb.isEmpty() ? QString() : QFileInfo(initdb).canonicalPath();
}

// A port nobody listens on now (the kernel's choice for port 0).
int freePort()
{
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    if (s < 0)
        return 0;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    int port = 0;
    if (::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    ::close(s);
    return port;
}

bool run(const QString& program, const QStringList& args, QString* output, int timeoutMs = 120000)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, args);
    if (!process.waitForStarted(10000)) {
        if (output)
            *output = program + QStringLiteral(": ") + process.errorString();
        return false;
    }
    process.closeWriteChannel();
    const bool finished = process.waitForFinished(timeoutMs);
    if (output)
        *output = QString::fromUtf8(process.readAll()).trimmed();
    return finished && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

bool writeFile(const QString& path, const QByteArray& text, bool append = false)
{
    QFile file(path);
    if (!file.open(append ? QIODevice::Append : QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return file.write(text) == text.size();
}

QString quoted(const QString& text)
{
    QString out = text;
    out.replace(QLatin1Char('\''), QStringLiteral("''"));
    return QLatin1Char('\'') + out + QLatin1Char('\'');
}

} // namespace

std::unique_ptr<PgServer> PgServer::start(QString* why, const Options& options)
{
    auto fail = [why](const QString& text) {
        if (why)
            *why = text;
        return nullptr;
    };
    std::unique_ptr<PgServer> server(new PgServer);
    server->m_options = options;
    server->m_bin = serverBinDir();
    if (server->m_bin.isEmpty())
        return fail(QStringLiteral("no PostgreSQL server programs (initdb, pg_ctl) are installed"));

    server->m_root = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/ktm520-pg-XXXXXX"));
    if (!server->m_root->isValid())
        return fail(QStringLiteral("cannot make a temporary folder"));
    const QString root = server->m_root->path();
    QDir().mkpath(root + QStringLiteral("/data"));
    QDir().mkpath(root + QStringLiteral("/socket"));
    QDir().mkpath(root + QStringLiteral("/scratch"));

    // PostgreSQL will not run as root: the server then runs as the postgres system user, who must
    // own its folders (and reach them).
    server->m_asPostgresUser = ::geteuid() == 0;
    if (server->m_asPostgresUser) {
        const passwd* postgres = ::getpwnam("postgres");
        if (!postgres)
            return fail(QStringLiteral("running as root and there is no postgres system user"));
        QString output;
        if (!run(QStringLiteral("chown"),
                 {QStringLiteral("-R"), QStringLiteral("postgres:postgres"), root + QStringLiteral("/data"),
                  root + QStringLiteral("/socket")},
                 &output) ||
            !run(QStringLiteral("chmod"), {QStringLiteral("0755"), root}, &output))
            return fail(QStringLiteral("cannot give the server's folders to postgres: ") + output);
    }

    QString output;
    if (!server->runServerTool(QStringLiteral("initdb"),
                               {QStringLiteral("-D"), server->dataDir(), QStringLiteral("-U"), QStringLiteral("ktm_admin"),
                                QStringLiteral("-A"), QStringLiteral("trust"), QStringLiteral("-E"),
                                QStringLiteral("UTF8"), QStringLiteral("--locale=C.UTF-8"), QStringLiteral("-N")},
                               &output))
        return fail(QStringLiteral("initdb failed: ") + output.right(400));

    // The superuser without a password, everyone else with theirs; TCP from 127.0.0.1 only.
    const QByteArray hba = "local all ktm_admin trust\n"
                           "local all all scram-sha-256\n"
                           "host all ktm_admin 127.0.0.1/32 trust\n"
                           "host all all 127.0.0.1/32 scram-sha-256\n";
    if (!writeFile(server->dataDir() + QStringLiteral("/pg_hba.conf"), hba))
        return fail(QStringLiteral("cannot write pg_hba.conf"));

    if (options.tls) {
        const QString ca = root + QStringLiteral("/scratch/ca");
        const QString key = server->dataDir() + QStringLiteral("/server.key");
        const QString cert = server->dataDir() + QStringLiteral("/server.crt");
        const QString request = root + QStringLiteral("/scratch/server.csr");
        const QString ext = root + QStringLiteral("/scratch/server.ext");
        writeFile(ext, "subjectAltName=DNS:localhost\n");
        const QString openssl = QStringLiteral("openssl");
        if (!run(openssl,
                 {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"), QStringLiteral("rsa:2048"),
                  QStringLiteral("-nodes"), QStringLiteral("-days"), QStringLiteral("2"), QStringLiteral("-subj"),
                  QStringLiteral("/CN=ktm520 test CA"), QStringLiteral("-keyout"), ca + QStringLiteral(".key"),
                  QStringLiteral("-out"), ca + QStringLiteral(".crt")},
                 &output) ||
            !run(openssl,
                 {QStringLiteral("req"), QStringLiteral("-newkey"), QStringLiteral("rsa:2048"), QStringLiteral("-nodes"),
                  QStringLiteral("-subj"), QStringLiteral("/CN=localhost"), QStringLiteral("-keyout"), key,
                  QStringLiteral("-out"), request},
                 &output) ||
            !run(openssl,
                 {QStringLiteral("x509"), QStringLiteral("-req"), QStringLiteral("-in"), request, QStringLiteral("-CA"),
                  ca + QStringLiteral(".crt"), QStringLiteral("-CAkey"), ca + QStringLiteral(".key"),
                  QStringLiteral("-CAcreateserial"), QStringLiteral("-days"), QStringLiteral("2"),
                  QStringLiteral("-extfile"), ext, QStringLiteral("-out"), cert},
                 &output))
            return fail(QStringLiteral("cannot make the TLS certificates: ") + output.right(400));
        QFile::setPermissions(key, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        if (server->m_asPostgresUser)
            run(QStringLiteral("chown"), {QStringLiteral("postgres:postgres"), key, cert}, &output);
    }

    for (int attempt = 0; attempt < 3; ++attempt) {
        server->m_port = freePort();
        if (server->m_port != 0 && server->launch(&output))
            return server;
    }
    return fail(QStringLiteral("the server did not start: ") + output.right(600));
}

PgServer::~PgServer()
{
    if (m_running)
        stop(QStringLiteral("immediate"));
}

QString PgServer::socketDir() const { return m_root->path() + QStringLiteral("/socket"); }
QString PgServer::dataDir() const { return m_root->path() + QStringLiteral("/data"); }
QString PgServer::scratchDir() const { return m_root->path() + QStringLiteral("/scratch"); }
QString PgServer::caFile() const
{
    return m_options.tls ? m_root->path() + QStringLiteral("/scratch/ca.crt") : QString();
}
QString PgServer::psqlProgram() const
{
    const QString own = m_bin + QStringLiteral("/psql");
    return QFileInfo(own).isExecutable() ? own : QStringLiteral("psql");
}

QString PgServer::adminConninfo(const QString& database) const
{
    return QStringLiteral("host=%1 port=%2 user=ktm_admin dbname=%3").arg(socketDir()).arg(m_port).arg(database);
}

QString PgServer::tcpConninfo(const QString& user, const QString& database, const QString& extra,
                              const QString& host) const
{
    QString info = QStringLiteral("host=%1 port=%2 user=%3 dbname=%4").arg(host).arg(m_port).arg(user, database);
    if (!extra.isEmpty())
        info += QLatin1Char(' ') + extra;
    return info;
}

bool PgServer::runServerTool(const QString& tool, const QStringList& args, QString* output) const
{
    const QString program = m_bin + QLatin1Char('/') + tool;
    if (!m_asPostgresUser)
        return run(program, args, output);
    QStringList full{QStringLiteral("-u"), QStringLiteral("postgres"), QStringLiteral("--"), program};
    full += args;
    return run(QStringLiteral("runuser"), full, output);
}

bool PgServer::launch(QString* why)
{
    QStringList settings{
        QStringLiteral("-c listen_addresses=127.0.0.1"),
        QStringLiteral("-c port=%1").arg(m_port),
        QStringLiteral("-c unix_socket_directories=%1").arg(socketDir()),
        QStringLiteral("-c max_connections=%1").arg(m_options.maxConnections),
        QStringLiteral("-c fsync=%1").arg(m_options.fsync ? QStringLiteral("on") : QStringLiteral("off")),
        QStringLiteral("-c synchronous_commit=%1").arg(m_options.fsync ? QStringLiteral("on") : QStringLiteral("off")),
        QStringLiteral("-c full_page_writes=%1").arg(m_options.fsync ? QStringLiteral("on") : QStringLiteral("off")),
    };
    if (m_options.tls)
        settings << QStringLiteral("-c ssl=on");
    const bool started = runServerTool(QStringLiteral("pg_ctl"),
                                       {QStringLiteral("-D"), dataDir(), QStringLiteral("-w"), QStringLiteral("-t"),
                                        QStringLiteral("60"), QStringLiteral("-l"),
                                        dataDir() + QStringLiteral("/server.log"), QStringLiteral("-o"),
                                        settings.join(QLatin1Char(' ')), QStringLiteral("start")},
                                       why);
    m_running = started;
    if (!started) {
        QFile log(dataDir() + QStringLiteral("/server.log"));
        if (why && log.open(QIODevice::ReadOnly))
            *why += QLatin1Char('\n') + QString::fromUtf8(log.readAll()).right(600);
    }
    return started;
}

bool PgServer::stop(const QString& mode)
{
    QString output;
    const bool stopped = runServerTool(
        QStringLiteral("pg_ctl"), {QStringLiteral("-D"), dataDir(), QStringLiteral("-m"), mode, QStringLiteral("-w"), QStringLiteral("stop")},
        &output);
    if (stopped)
        m_running = false;
    return stopped;
}

bool PgServer::startAgain()
{
    QString why;
    return m_running || launch(&why);
}

bool PgServer::psql(const QString& sql, QString* out, const QString& database, QString* error) const
{
    QProcess process;
    process.start(psqlProgram(), {QStringLiteral("-X"), QStringLiteral("-q"), QStringLiteral("-A"), QStringLiteral("-t"),
                                  QStringLiteral("-v"), QStringLiteral("ON_ERROR_STOP=1"), QStringLiteral("-d"),
                                  adminConninfo(database), QStringLiteral("-c"), sql});
    if (!process.waitForStarted(10000)) {
        if (error)
            *error = process.errorString();
        return false;
    }
    process.waitForFinished(600000);
    if (out)
        *out = QString::fromUtf8(process.readAllStandardOutput()).trimmed();
    if (error)
        *error = QString::fromUtf8(process.readAllStandardError()).trimmed();
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

QString PgServer::value(const QString& sql, const QString& database) const
{
    QString out;
    if (!psql(sql, &out, database))
        return {};
    return out.section(QLatin1Char('\n'), 0, 0).section(QLatin1Char('|'), 0, 0);
}

bool PgServer::createDatabase(const QString& name) const
{
    return psql(QStringLiteral("CREATE DATABASE \"%1\"").arg(name));
}

bool PgServer::createLogin(const QString& user, const QString& password, const QString& memberOf) const
{
    QString sql = QStringLiteral("CREATE ROLE \"%1\" LOGIN PASSWORD %2").arg(user, quoted(password));
    if (!memberOf.isEmpty())
        sql += QStringLiteral(" IN ROLE \"%1\"").arg(memberOf);
    return psql(sql);
}
