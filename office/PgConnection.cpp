#include "office/PgConnection.h"

#include <QCoreApplication>
#include <QRegularExpression>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <utility>

#ifdef KTM_HAVE_LIBPQ
#include <libpq-fe.h>
#endif
#if defined(KTM_HAVE_LIBPQ) && !defined(_WIN32) && __has_include(<libintl.h>)
#include <libintl.h>
#include <string>
#define KTM_LIBPQ_CATALOGUE 1
#endif

namespace office {

namespace {

// The text with the detail where there is one, else the text without it.
QString withDetail(const QString& withDetailText, const QString& withoutText, const QString& detail)
{
    return detail.isEmpty() ? withoutText : withDetailText.arg(detail);
}

void setFailure(Failure* failure, FailureKind kind, const QString& detail)
{
    if (failure)
        *failure = Failure{kind, detail};
}

#ifdef KTM_HAVE_LIBPQ

// Whether `text` holds any of `needles` (the English of libpq and the server, and their Simplified
// Chinese as Debian's catalogues word them: libpq and a server in a Chinese locale translate their
// messages, and the classification must not depend on the language they speak).
bool mentions(const QString& text, std::initializer_list<const char*> needles)
{
    for (const char* needle : needles)
        if (text.contains(QString::fromUtf8(needle), Qt::CaseInsensitive))
            return true;
    return false;
}

// A message of the server's that a name "does not exist": `object` "x" ... does not exist.
bool mentionsMissing(const QString& text, const char* english, const char* chinese)
{
    const QString englishPattern = QString::fromUtf8(english) + QStringLiteral(R"( "[^"]*" does not exist)");
    const QString chinesePattern = QString::fromUtf8(chinese) + QStringLiteral(R"(\s*"[^"]*"\s*不存在)");
    return QRegularExpression(englishPattern, QRegularExpression::CaseInsensitiveOption).match(text).hasMatch() ||
           QRegularExpression(chinesePattern).match(text).hasMatch();
}

// libpq's own messages are in the locale's encoding; the server's in UTF-8 once the connection
// has set client_encoding (on the platforms with libpq both are UTF-8).
QString libpqText(const char* message) { return QString::fromLocal8Bit(message).simplified(); }

// Whether `text` is libpq's message `msgid` (as its source words it) in the language libpq speaks
// now: looked up in libpq's own catalogue, so that the words are those of the libpq installed,
// whatever its translators changed between versions. Each literal piece between the format's
// conversions must be found in the text, in order.
bool saysLibpq(const QString& text, const char* msgid)
{
    QString words = QString::fromUtf8(msgid);
#ifdef KTM_LIBPQ_CATALOGUE
    const std::string domain = "libpq5-" + std::to_string(PQlibVersion() / 10000);
    words = QString::fromLocal8Bit(dgettext(domain.c_str(), msgid));
#endif
    static const QRegularExpression conversion(QStringLiteral(R"(%(\d+\$)?[-+ #0-9.]*l*[a-zA-Z])"));
    qsizetype from = 0;
    bool any = false;
    for (const QString& piece : words.split(conversion)) {
        const QString literal = piece.simplified();
        if (literal.size() < 2)
            continue;
        const qsizetype at = text.indexOf(literal, from, Qt::CaseInsensitive);
        if (at < 0)
            return false;
        from = at + literal.size();
        any = true;
    }
    return any;
}

QString optionInForce(PGconn* conn, const char* keyword)
{
    QString value;
    if (PQconninfoOption* options = PQconninfo(conn)) {
        for (PQconninfoOption* o = options; o->keyword; ++o)
            if (qstrcmp(o->keyword, keyword) == 0 && o->val)
                value = QString::fromUtf8(o->val);
        PQconninfoFree(options);
    }
    return value;
}

// Why a connection could not be made, from what libpq knows and what it and the server said.
Failure connectFailure(PGconn* conn)
{
    const QString message = libpqText(PQerrorMessage(conn));
    if (mentions(message, {"server does not support SSL, but SSL was required", "服务器不支持 SSL, 但是要求使用 SSL"}) ||
        saysLibpq(message, "server does not support SSL, but SSL was required\n")) {
        const QString mode = optionInForce(conn, "sslmode");
        return {FailureKind::TlsRefused, mode.isEmpty() ? QStringLiteral("require") : mode};
    }
    if (mentions(message, {"certificate", "证书", "根认证文件"}))
        return {FailureKind::TlsUntrusted, message};
    // Settings libpq could read but not use: a service nobody defines, a value it does not know.
    if (mentions(message, {"definition of service", "没有找到服务", "service file", "服务文件", "invalid connection option",
                           "非法联接选项", "invalid integer value", "连接选项", "invalid URI", "无效的URI"}) ||
        QRegularExpression(QStringLiteral(R"(invalid \S+ value|无效的 \S+值)")).match(message).hasMatch() ||
        saysLibpq(message, "definition of service \"%s\" not found\n") ||
        saysLibpq(message, "service file \"%s\" not found\n") || saysLibpq(message, "invalid %s value: \"%s\"\n") ||
        saysLibpq(message, "invalid connection option \"%s\"\n") ||
        saysLibpq(message, "invalid integer value \"%s\" for connection option \"%s\"\n"))
        return {FailureKind::NotConfigured, message};
    // The server asked for a password and none was given or found in the password file.
    if (PQconnectionNeedsPassword(conn) || mentions(message, {"no password supplied"}))
        return {FailureKind::Authentication, message};
    if (mentions(message, {"authentication failed", "认证失败", "pg_hba.conf", "is not permitted to log in",
                           "不允许角色"}) ||
        mentionsMissing(message, "role", "角色"))
        return {FailureKind::Authentication, message};
    if (mentionsMissing(message, "database", "数据库"))
        return {FailureKind::NoDatabase, message};
    if (mentions(message, {"permission denied for database", "访问数据库", "权限不够"}))
        return {FailureKind::PermissionDenied, message};
    // A server that answers but takes no sessions now (starting, stopping, full) is, for the
    // operator, one that cannot be reached now: the readings wait here for a later sync.
    if (mentions(message, {"the database system is", "数据库系统", "too many clients", "太多的客户"}))
        return {FailureKind::Unreachable, message};
    if (mentions(message, {"could not connect", "Connection refused", "timeout expired", "超时满",
                           "No such file or directory", "could not translate host name", "无法解释主机名",
                           "Is the server running", "服务器是否在", "server closed the connection", "服务器意外地关闭了联接",
                           "Network is unreachable", "No route to host", "could not send", "could not receive",
                           "无法向服务器发送数据", "无法从服务器接收数据"}))
        return {FailureKind::Unreachable, message};
    // Any other refusal the server itself sent (it came with its severity); without one, no
    // server spoke to us at all.
    if (mentions(message, {"FATAL:", "致命错误", "ERROR:", "错误:"}))
        return {FailureKind::QueryFailed, message};
    return {FailureKind::Unreachable, message};
}

// Why a statement failed: by its SQLSTATE, and by the connection's state when there is none.
Failure statementFailure(PGconn* conn, const PGresult* result)
{
    QString message;
    QByteArray state;
    if (result) {
        if (const char* primary = PQresultErrorField(result, PG_DIAG_MESSAGE_PRIMARY))
            message = QString::fromUtf8(primary).simplified();
        else
            message = libpqText(PQresultErrorMessage(result));
        if (const char* s = PQresultErrorField(result, PG_DIAG_SQLSTATE))
            state = s;
    }
    if (message.isEmpty())
        message = libpqText(PQerrorMessage(conn));
    if (PQstatus(conn) == CONNECTION_BAD || state.startsWith("08") || state == "57P01" || state == "57P02")
        return {FailureKind::ConnectionLost, message};
    if (state == "57P03")
        return {FailureKind::Unreachable, message};
    if (state == "28P01" || state == "28000")
        return {FailureKind::Authentication, message};
    if (state == "3D000")
        return {FailureKind::NoDatabase, message};
    if (state == "3F000")
        return {FailureKind::NoSchema, message};
    if (state == "42501")
        return {FailureKind::PermissionDenied, message};
    if (state == "25006")
        return {FailureKind::ReadOnly, message};
    if (state.isEmpty() && !result)
        return {FailureKind::ConnectionLost, message};
    return {FailureKind::QueryFailed, message};
}

bool succeeded(const PGresult* result)
{
    const ExecStatusType status = PQresultStatus(result);
    return result && (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK || status == PGRES_EMPTY_QUERY);
}

#endif

} // namespace

QString failureText(const Failure& failure)
{
    const QString& d = failure.detail;
    switch (failure.kind) {
    case FailureKind::NotConfigured:
        return withDetail(QCoreApplication::translate("Office", "办公室数据库的连接设置无法使用：%1"),
                          QCoreApplication::translate("Office", "尚未设置办公室数据库：请先在“办公室数据库”设置中填写连接。"),
                          d);
    case FailureKind::NotBuilt:
        return QCoreApplication::translate("Office", "此版本的程序不支持办公室数据库。");
    case FailureKind::Unreachable:
        return withDetail(QCoreApplication::translate("Office", "无法连接办公室数据库服务器（%1）：读数已保存在本机，稍后可再同步。"),
                          QCoreApplication::translate("Office", "无法连接办公室数据库服务器：读数已保存在本机，稍后可再同步。"), d);
    case FailureKind::Authentication:
        return withDetail(QCoreApplication::translate("Office", "办公室数据库拒绝了用户名或密码（%1）。"),
                          QCoreApplication::translate("Office", "办公室数据库拒绝了用户名或密码。"),
                          d);
    case FailureKind::TlsRefused:
        return withDetail(QCoreApplication::translate("Office", "办公室数据库服务器不支持加密连接（TLS），而连接设置要求加密（sslmode=%1）。"),
                          QCoreApplication::translate("Office", "办公室数据库服务器不支持加密连接（TLS），而连接设置要求加密。"), d);
    case FailureKind::TlsUntrusted:
        return withDetail(QCoreApplication::translate("Office", "办公室数据库服务器的证书未通过检查（%1）：请确认连接中的服务器名称与证书相符，且根证书（sslrootcert）正确。"),
                          QCoreApplication::translate("Office", "办公室数据库服务器的证书未通过检查：请确认连接中的服务器名称与证书相符，且根证书（sslrootcert）正确。"), d);
    case FailureKind::NoDatabase:
        return withDetail(QCoreApplication::translate("Office", "办公室数据库服务器上没有连接设置中的数据库（%1）。"),
                          QCoreApplication::translate("Office", "办公室数据库服务器上没有连接设置中的数据库。"),
                          d);
    case FailureKind::NoSchema:
        return withDetail(QCoreApplication::translate("Office", "办公室数据库中还没有本程序的数据表，而此用户无权建立（%1）：请先用有建表权限的用户同步一次。"),
                          QCoreApplication::translate("Office", "办公室数据库中还没有本程序的数据表，而此用户无权建立：请先用有建表权限的用户同步一次。"), d);
    case FailureKind::SchemaNewer:
        return withDetail(QCoreApplication::translate("Office", "办公室数据库由更新版本的程序建立（%1）：请先升级本程序再同步。"),
                          QCoreApplication::translate("Office", "办公室数据库由更新版本的程序建立：请先升级本程序再同步。"), d);
    case FailureKind::ReadOnly:
        return withDetail(QCoreApplication::translate("Office", "此用户只能读取办公室数据库，不能上传（%1）。"),
                          QCoreApplication::translate("Office", "此用户只能读取办公室数据库，不能上传。"),
                          d);
    case FailureKind::PermissionDenied:
        return withDetail(QCoreApplication::translate("Office", "办公室数据库拒绝了操作：此用户权限不足（%1）。"),
                          QCoreApplication::translate("Office", "办公室数据库拒绝了操作：此用户权限不足。"),
                          d);
    case FailureKind::ConnectionLost:
        return withDetail(QCoreApplication::translate("Office", "与办公室数据库的连接中断了（%1）：未完成的部分已撤销，本机数据完好，稍后可再同步。"),
                          QCoreApplication::translate("Office", "与办公室数据库的连接中断了：未完成的部分已撤销，本机数据完好，稍后可再同步。"), d);
    case FailureKind::Cancelled:
        return QCoreApplication::translate("Office", "已停止：未完成的部分已撤销，本机数据完好。");
    case FailureKind::QueryFailed:
        return withDetail(QCoreApplication::translate("Office", "办公室数据库出错：%1"),
                          QCoreApplication::translate("Office", "办公室数据库出错。"),
                          d);
    case FailureKind::Local:
        return withDetail(QCoreApplication::translate("Office", "本机数据库读写失败：%1"),
                          QCoreApplication::translate("Office", "本机数据库读写失败。"),
                          d);
    }
    return d;
}

void appendCopyText(QByteArray& out, QByteArrayView utf8)
{
    out.reserve(out.size() + utf8.size() + 8);
    for (const char c : utf8) {
        switch (c) {
        case '\\': out.append("\\\\", 2); break;
        case '\t': out.append("\\t", 2); break;
        case '\n': out.append("\\n", 2); break;
        case '\r': out.append("\\r", 2); break;
        // PostgreSQL's text cannot hold the NUL character at all (the server refuses the whole
        // COPY); it is left out rather than let one such text stop every later sync.
        case '\0': break;
        default: out.append(c);
        }
    }
}

// ---------------------------------------------------------------------------------------------
// PgResult

PgResult::PgResult(PGresult* result)
    : m_result(result)
{
}

PgResult::~PgResult()
{
#ifdef KTM_HAVE_LIBPQ
    if (m_result)
        PQclear(m_result);
#endif
}

PgResult::PgResult(PgResult&& other) noexcept
    : m_result(std::exchange(other.m_result, nullptr))
{
}

PgResult& PgResult::operator=(PgResult&& other) noexcept
{
    if (this != &other) {
        PgResult gone(std::exchange(m_result, std::exchange(other.m_result, nullptr)));
        (void)gone;
    }
    return *this;
}

#ifdef KTM_HAVE_LIBPQ

int PgResult::rows() const
{
    return m_result ? PQntuples(m_result) : 0;
}

bool PgResult::isNull(int row, int column) const
{
    if (!m_result || row < 0 || row >= PQntuples(m_result) || column < 0 || column >= PQnfields(m_result))
        return true;
    return PQgetisnull(m_result, row, column) != 0;
}

QByteArray PgResult::bytes(int row, int column) const
{
    if (isNull(row, column))
        return {};
    return QByteArray(PQgetvalue(m_result, row, column), PQgetlength(m_result, row, column));
}

QString PgResult::text(int row, int column) const
{
    if (isNull(row, column))
        return {};
    return QString::fromUtf8(PQgetvalue(m_result, row, column), PQgetlength(m_result, row, column));
}

qint64 PgResult::number(int row, int column) const
{
    if (isNull(row, column))
        return 0;
    const char* begin = PQgetvalue(m_result, row, column);
    qint64 value = 0;
    std::from_chars(begin, begin + PQgetlength(m_result, row, column), value);
    return value;
}

double PgResult::real(int row, int column) const
{
    if (isNull(row, column))
        return std::numeric_limits<double>::quiet_NaN();
    // std::from_chars reads the C number whatever the process's locale (strtod would not), and
    // the server's "NaN", "Infinity" and "-Infinity" too.
    const char* begin = PQgetvalue(m_result, row, column);
    double value = std::numeric_limits<double>::quiet_NaN();
    std::from_chars(begin, begin + PQgetlength(m_result, row, column), value);
    return value;
}

bool PgResult::boolean(int row, int column) const
{
    return !isNull(row, column) && PQgetvalue(m_result, row, column)[0] == 't';
}

#else

int PgResult::rows() const
{
    return 0;
}
bool PgResult::isNull(int, int) const { return true; }
QByteArray PgResult::bytes(int, int) const { return {}; }
QString PgResult::text(int, int) const { return {}; }
qint64 PgResult::number(int, int) const { return 0; }
double PgResult::real(int, int) const { return std::numeric_limits<double>::quiet_NaN(); }
bool PgResult::boolean(int, int) const { return false; }

#endif

// ---------------------------------------------------------------------------------------------
// PgConnection

PgConnection::PgConnection(PGconn* conn)
    : m_conn(conn)
{
}

#ifdef KTM_HAVE_LIBPQ

bool available()
{
    return true;
}

std::unique_ptr<PgConnection> PgConnection::open(const QString& conninfo, Failure* failure, const QString& password,
                                                 int timeoutSeconds)
{
    const QByteArray info = conninfo.trimmed().toUtf8();
    if (info.isEmpty()) {
        setFailure(failure, FailureKind::NotConfigured, {});
        return nullptr;
    }
    // A string libpq cannot read is a fault of the settings, not of the server.
    char* parseError = nullptr;
    if (PQconninfoOption* parsed = PQconninfoParse(info.constData(), &parseError)) {
        PQconninfoFree(parsed);
    } else if (info.contains('=') || info.contains("://")) {
        setFailure(failure, FailureKind::NotConfigured, parseError ? libpqText(parseError) : QString());
        PQfreemem(parseError);
        return nullptr;
    }

    // Entries before "dbname" are defaults the string may override; those after it are ours.
    // The keepalives make a server that falls silent while we wait for it (the network gone)
    // a failure after about twice `timeoutSeconds`; tcp_user_timeout does the same for data the
    // server does not take, but with a minute at least: a busy server may rightly stall a COPY
    // for a while (a checkpoint), and that must not break the sync off.
    const int timeout = std::max(2, timeoutSeconds);
    const QByteArray timeoutText = QByteArray::number(timeout);
    const QByteArray idleText = QByteArray::number(timeout);
    const QByteArray intervalText = QByteArray::number(std::max(1, timeout / 3));
    const QByteArray userTimeoutText = QByteArray::number(std::max(60, 6 * timeout) * 1000);
    const QByteArray passwordText = password.toUtf8();
    std::vector<const char*> keywords{"connect_timeout", "keepalives", "keepalives_idle", "keepalives_interval",
                                      "keepalives_count", "tcp_user_timeout", "dbname", "application_name",
                                      "client_encoding"};
    std::vector<const char*> values{timeoutText.constData(), "1", idleText.constData(), intervalText.constData(),
                                    "3", userTimeoutText.constData(), info.constData(), "ktm520", "UTF8"};
    if (!passwordText.isEmpty()) {
        keywords.push_back("password");
        values.push_back(passwordText.constData());
    }
    keywords.push_back(nullptr);
    values.push_back(nullptr);

    PGconn* conn = PQconnectdbParams(keywords.data(), values.data(), 1);
    if (!conn) {
        setFailure(failure, FailureKind::Local, QStringLiteral("out of memory"));
        return nullptr;
    }
    if (PQstatus(conn) != CONNECTION_OK) {
        if (failure)
            *failure = connectFailure(conn);
        PQfinish(conn);
        return nullptr;
    }
    return std::unique_ptr<PgConnection>(new PgConnection(conn));
}

PgConnection::~PgConnection()
{
    if (m_conn)
        PQfinish(m_conn);
}

bool PgConnection::exec(const char* sql, Failure* failure)
{
    PgResult result(PQexec(m_conn, sql));
    if (succeeded(result.get()))
        return true;
    if (failure)
        *failure = statementFailure(m_conn, result.get());
    return false;
}

std::optional<PgResult> PgConnection::query(const char* sql, const std::vector<Param>& params, Failure* failure)
{
    std::vector<const char*> values;
    values.reserve(params.size());
    for (const Param& p : params)
        values.push_back(p ? p->constData() : nullptr); // a QByteArray's data ends with a NUL
    PgResult result(PQexecParams(m_conn, sql, int(values.size()), nullptr, values.data(), nullptr, nullptr, 0));
    if (succeeded(result.get()))
        return result;
    if (failure)
        *failure = statementFailure(m_conn, result.get());
    return std::nullopt;
}

std::optional<qint64> PgConnection::copyIn(const char* copySql,
                                           const std::function<bool(QByteArray& chunk, bool* stop)>& produce,
                                           Failure* failure)
{
    {
        PgResult start(PQexec(m_conn, copySql));
        if (PQresultStatus(start.get()) != PGRES_COPY_IN) {
            if (failure)
                *failure = start.get() && succeeded(start.get())
                             ? Failure{FailureKind::QueryFailed, QStringLiteral("not a COPY FROM STDIN")}
                             : statementFailure(m_conn, start.get());
            return std::nullopt;
        }
    }

    QByteArray chunk;
    bool stop = false;
    bool sent = true;
    for (;;) {
        chunk.clear();
        const bool more = produce(chunk, &stop);
        if (stop)
            break;
        if (!chunk.isEmpty() && PQputCopyData(m_conn, chunk.constData(), int(chunk.size())) != 1) {
            sent = false;
            break;
        }
        if (!more)
            break;
    }
    // Stopped: the server is told the copy failed, and takes none of it.
    if (sent && PQputCopyEnd(m_conn, stop ? "stopped by the program" : nullptr) != 1)
        sent = false;

    // The copy's own result, then whatever follows it, until libpq has no more.
    std::optional<qint64> rows;
    Failure why;
    bool failed = !sent;
    if (failed)
        why = statementFailure(m_conn, nullptr);
    while (PGresult* raw = PQgetResult(m_conn)) {
        PgResult result(raw);
        if (PQresultStatus(raw) == PGRES_COPY_IN) {
            // Only after a failed send: end the copy so that the connection can go on.
            if (PQputCopyEnd(m_conn, "the copy could not be sent") != 1)
                break;
            continue;
        }
        if (succeeded(raw) && !failed && !stop) {
            const char* tuples = PQcmdTuples(raw);
            qint64 count = 0;
            std::from_chars(tuples, tuples + qstrlen(tuples), count);
            rows = count;
        } else if (!succeeded(raw) && !failed) {
            failed = true;
            why = statementFailure(m_conn, raw);
        }
        if (PQstatus(m_conn) == CONNECTION_BAD)
            break;
    }
    if (stop) {
        setFailure(failure, PQstatus(m_conn) == CONNECTION_BAD ? FailureKind::ConnectionLost : FailureKind::Cancelled,
                   {});
        return std::nullopt;
    }
    if (failed || !rows) {
        if (failure)
            *failure = failed ? why : statementFailure(m_conn, nullptr);
        return std::nullopt;
    }
    return rows;
}

int PgConnection::serverVersion() const { return PQserverVersion(m_conn); }
QString PgConnection::user() const { return QString::fromUtf8(PQuser(m_conn)); }
QString PgConnection::database() const { return QString::fromUtf8(PQdb(m_conn)); }
bool PgConnection::usesTls() const { return PQsslInUse(m_conn) != 0; }
QString PgConnection::sslMode() const { return optionInForce(m_conn, "sslmode"); }
bool PgConnection::ok() const { return PQstatus(m_conn) == CONNECTION_OK; }

#else

bool available()
{
    return false;
}

std::unique_ptr<PgConnection> PgConnection::open(const QString& conninfo, Failure* failure, const QString&, int)
{
    setFailure(failure, conninfo.trimmed().isEmpty() ? FailureKind::NotConfigured : FailureKind::NotBuilt, {});
    return nullptr;
}

PgConnection::~PgConnection() = default;

bool PgConnection::exec(const char*, Failure* failure)
{
    setFailure(failure, FailureKind::NotBuilt, {});
    return false;
}

std::optional<PgResult> PgConnection::query(const char*, const std::vector<Param>&, Failure* failure)
{
    setFailure(failure, FailureKind::NotBuilt, {});
    return std::nullopt;
}

std::optional<qint64> PgConnection::copyIn(const char*, const std::function<bool(QByteArray&, bool*)>&,
                                           Failure* failure)
{
    setFailure(failure, FailureKind::NotBuilt, {});
    return std::nullopt;
}

int PgConnection::serverVersion() const { return 0; }
QString PgConnection::user() const { return {}; }
QString PgConnection::database() const { return {}; }
bool PgConnection::usesTls() const { return false; }
QString PgConnection::sslMode() const { return {}; }
bool PgConnection::ok() const { return false; }

#endif

} // namespace office
