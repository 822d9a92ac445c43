#pragma once

#include <QString>
#include <QTemporaryDir>
#include <memory>

// A throwaway PostgreSQL cluster of the distribution's server, for one test program or benchmark:
// made with initdb in a temporary folder, listening on a Unix socket in that folder and on
// 127.0.0.1 at a free port, removed with the object. Run as root (as on these machines), the
// server runs as the `postgres` system user, since PostgreSQL refuses to run as root.
//
// The superuser "ktm_admin" connects without a password (over the socket or 127.0.0.1); every
// other login needs its password (scram-sha-256). With `tls`, the server offers TLS with a
// certificate for the name "localhost" only, signed by a certificate authority made for it
// (caFile()), so that verify-full passes for host=localhost and fails for host=127.0.0.1.
class PgServer {
public:
    struct Options {
        bool tls = false;
        bool fsync = false; // off for tests (nothing here must survive a crash of the machine)
        int maxConnections = 60;
    };

    // nullptr and `why` when the server cannot be made or started here.
    static std::unique_ptr<PgServer> start(QString* why, const Options& options);
    static std::unique_ptr<PgServer> start(QString* why) { return start(why, Options()); }
    ~PgServer();
    PgServer(const PgServer&) = delete;
    PgServer& operator=(const PgServer&) = delete;

    int port() const { return m_port; }
    QString socketDir() const;
    QString dataDir() const;
    // The folder for the test's own files (pgpass, service files), owned by the test's user.
    QString scratchDir() const;
    // The certificate authority that signed the server's certificate ("" without TLS).
    QString caFile() const;

    // The superuser over the Unix socket.
    QString adminConninfo(const QString& database = QStringLiteral("postgres")) const;
    // A login over TCP: "host=HOST port=N user=U dbname=D" and `extra` ("sslmode=disable" ...).
    QString tcpConninfo(const QString& user, const QString& database, const QString& extra = {},
                        const QString& host = QStringLiteral("127.0.0.1")) const;

    // Runs SQL as the superuser with psql (ON_ERROR_STOP); `out` the rows unaligned, '|' between
    // fields, one line a row; `error` psql's message.
    bool psql(const QString& sql, QString* out = nullptr, const QString& database = QStringLiteral("postgres"),
              QString* error = nullptr) const;
    // One value (the first field of the first row), "" on failure.
    QString value(const QString& sql, const QString& database = QStringLiteral("postgres")) const;

    bool createDatabase(const QString& name) const;
    // A login role with a password, member of `memberOf` when given (a role that must exist).
    bool createLogin(const QString& user, const QString& password, const QString& memberOf = {}) const;

    // Stops the server ("fast": sessions are ended, "immediate": as if it were killed) and starts
    // it again on the same port and data.
    bool stop(const QString& mode = QStringLiteral("fast"));
    bool startAgain();
    bool running() const { return m_running; }

    QString binDir() const { return m_bin; }
    QString psqlProgram() const;

private:
    PgServer() = default;
    bool runServerTool(const QString& tool, const QStringList& args, QString* output) const;
    bool launch(QString* why);

    std::unique_ptr<QTemporaryDir> m_root; // data/, socket/, scratch/
    QString m_bin;
    int m_port = 0;
    bool m_asPostgresUser = false;
    bool m_running = false;
    Options m_options;
};
