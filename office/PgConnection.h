#pragma once

#include <QByteArray>
#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

// One connection to the office's PostgreSQL server through libpq, its own client library: a
// connection string or URI, a service of pg_service.conf, the password from ~/.pgpass (or
// PGPASSFILE) or given at connect time, TLS as sslmode says. A build without libpq has the same
// interface and refuses every connection (FailureKind::NotBuilt).
typedef struct pg_conn PGconn;
typedef struct pg_result PGresult;

namespace office {

// What went wrong, as a kind and the server's or libpq's own message; failureText words it.
enum class FailureKind {
    NotConfigured,    // no office database is set up in the settings
    NotBuilt,         // this build of the program has no office database support
    Unreachable,      // no server answered at the host and port (or the socket), or not in time
    Authentication,   // the server refused the user or the password (or no password was found)
    TlsRefused,       // TLS was required and the server does not offer it
    TlsUntrusted,     // the server's certificate or its name did not check out (verify-ca / verify-full)
    NoDatabase,       // the database named does not exist
    NoSchema,         // the database has no office schema, and this user may not make it
    SchemaNewer,      // the office schema was made by a newer version of the program
    ReadOnly,         // this user may only read (a push was refused)
    PermissionDenied, // the server refused a statement for want of a privilege
    ConnectionLost,   // the connection broke off during the work (the open transaction was rolled back)
    Cancelled,        // the caller stopped the work (the open transaction was rolled back)
    QueryFailed,      // any other failure of a statement
    Local,            // the local archive could not be read or written
};
struct Failure {
    FailureKind kind = FailureKind::QueryFailed;
    QString detail;
};

// The operator's words for a failure (context "Office"), with the detail where it helps.
QString failureText(const Failure& failure);

// A result of a statement, owned; empty (no rows) when the statement failed.
class PgResult {
public:
    PgResult() = default;
    explicit PgResult(PGresult* result);
    ~PgResult();
    PgResult(PgResult&& other) noexcept;
    PgResult& operator=(PgResult&& other) noexcept;
    PgResult(const PgResult&) = delete;
    PgResult& operator=(const PgResult&) = delete;

    int rows() const;
    bool isNull(int row, int column) const;
    // The value's text (UTF-8, as the server sends it in text format).
    QString text(int row, int column) const;
    QByteArray bytes(int row, int column) const;
    qint64 number(int row, int column) const; // 0 for NULL
    double real(int row, int column) const;   // NaN for NULL
    bool boolean(int row, int column) const;  // "t"
    PGresult* get() const { return m_result; }

private:
    PGresult* m_result = nullptr;
};

// A parameter in text format; nullopt is SQL NULL.
using Param = std::optional<QByteArray>;

class PgConnection {
public:
    // Connects with `conninfo` (a connection string "host=... dbname=..." or a URI
    // "postgresql://..."); `password`, when not empty, is given to libpq for this connection only
    // (never written anywhere). connect_timeout is `timeoutSeconds` unless the string sets one;
    // application_name is "ktm520". nullptr with `failure` classified when it cannot.
    static std::unique_ptr<PgConnection> open(const QString& conninfo, Failure* failure,
                                              const QString& password = {}, int timeoutSeconds = 10);
    ~PgConnection();
    PgConnection(const PgConnection&) = delete;
    PgConnection& operator=(const PgConnection&) = delete;

    // A statement without parameters (may be several separated by ';'); false and `failure`
    // classified (ConnectionLost when the connection broke).
    bool exec(const char* sql, Failure* failure);
    // A statement with parameters $1.. in text format; nullopt on failure.
    std::optional<PgResult> query(const char* sql, const std::vector<Param>& params, Failure* failure);
    std::optional<PgResult> query(const char* sql, Failure* failure) { return query(sql, {}, failure); }

    // COPY ... FROM STDIN: `produce` fills `chunk` with the next piece of COPY text (it is cleared
    // before each call) and gives false when there is no more; the chunks are sent as they come.
    // `produce` may stop the copy by setting `*stop` (then Cancelled, and the server discards it).
    // The number of rows the server took, or nullopt.
    std::optional<qint64> copyIn(const char* copySql,
                                 const std::function<bool(QByteArray& chunk, bool* stop)>& produce,
                                 Failure* failure);

    // What the connection is: the server's version (150018), the user, whether TLS is in use
    // and the sslmode in force ("disable", "prefer", "require", "verify-ca", "verify-full").
    int serverVersion() const;
    QString user() const;
    QString database() const;
    bool usesTls() const;
    QString sslMode() const;
    // Whether the connection still works (a broken one stays broken: open another).
    bool ok() const;

    PGconn* raw() const { return m_conn; }

private:
    explicit PgConnection(PGconn* conn);
    PGconn* m_conn = nullptr;
};

// A text for COPY's text format: backslash, tab, newline and carriage return escaped; appended.
void appendCopyText(QByteArray& out, QByteArrayView utf8);
// SQL NULL in COPY's text format.
inline constexpr char kCopyNull[] = "\\N";

// Whether libpq is built in.
bool available();

} // namespace office
