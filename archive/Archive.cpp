#include "archive/Archive.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QElapsedTimer>
#include <QStandardPaths>
#include <QUrl>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <sqlite3.h>
#include <string>
#include <type_traits>
#include <unordered_map>
#include <utility>
#include "platform/FilePath.h"

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

namespace archive {

namespace {

// --- SQLite handles -------------------------------------------------------------------------

struct CloseConnection {
    void operator()(sqlite3* db) const { sqlite3_close(db); }
};
using Connection = std::unique_ptr<sqlite3, CloseConnection>;

class Statement {
public:
    Statement() = default;
    Statement(sqlite3* db, const char* sql, bool persistent = false)
    {
        sqlite3_prepare_v3(db, sql, -1, persistent ? SQLITE_PREPARE_PERSISTENT : 0, &m_stmt, nullptr);
    }
    ~Statement() { sqlite3_finalize(m_stmt); }
    Statement(Statement&& other) noexcept : m_stmt(std::exchange(other.m_stmt, nullptr)) {}
    Statement& operator=(Statement&& other) noexcept
    {
        std::swap(m_stmt, other.m_stmt);
        return *this;
    }
    sqlite3_stmt* get() const { return m_stmt; }
    explicit operator bool() const { return m_stmt != nullptr; }

private:
    sqlite3_stmt* m_stmt = nullptr;
};

QString message(sqlite3* db) { return QString::fromUtf8(sqlite3_errmsg(db)); }

bool exec(sqlite3* db, const char* sql) { return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK; }

void setError(Error* error, ErrorKind kind, const QString& detail)
{
    if (error)
        *error = Error{kind, detail};
}

void bindText(sqlite3_stmt* stmt, int index, const QString& text)
{
    const QByteArray utf8 = text.toUtf8();
    sqlite3_bind_text(stmt, index, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
}

QString columnText(sqlite3_stmt* stmt, int column)
{
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, column));
    return text ? QString::fromUtf8(text, sqlite3_column_bytes(stmt, column)) : QString();
}

// One read: prepares `sql`, lets `bind` bind its parameters and gives every row to `row`. False,
// with `error` filled as a failed read, when the statement cannot be prepared or a step fails, so
// that the caller gives nothing rather than what it had read before the failure.
template <typename Bind, typename Row>
bool readRows(sqlite3* db, const char* sql, Error* error, Bind&& bind, Row&& row)
{
    Statement query(db, sql);
    int rc = SQLITE_ERROR;
    if (query) {
        sqlite3_stmt* s = query.get();
        bind(s);
        while ((rc = sqlite3_step(s)) == SQLITE_ROW)
            row(s);
    }
    if (rc != SQLITE_DONE) {
        setError(error, ErrorKind::ReadFailed, message(db));
        return false;
    }
    return true;
}

template <typename Row>
bool readRows(sqlite3* db, const char* sql, Error* error, Row&& row)
{
    return readRows(
        db, sql, error, [](sqlite3_stmt*) {}, std::forward<Row>(row));
}

// --- The schema -----------------------------------------------------------------------------

// Version 1 held the records as text only, each with the time of its download.
constexpr const char* kVersion1Columns = "SELECT partition, file, code, time, reading, temperature, downloaded "
                                         "FROM records LIMIT 0";

constexpr const char* kCreateDownloads = R"(
CREATE TABLE downloads(
    id INTEGER PRIMARY KEY,
    at TEXT,
    partition TEXT,
    received INTEGER NOT NULL,
    added INTEGER NOT NULL
);
)";

// The text as received stays the record; the numbers are read from it once, on the way in
// (NULL where the text is not a number or a time).
//
// A record is kept once for its partition, file, code and time. The table is stored in the
// order of that key with the component first, (partition, code, time, file): a component's
// records lie together in time order, because the instrument's times ("yyyy-MM-dd HH:mm:ss",
// fixed width) sort as text as they do as numbers, and a series is one range of the table
// itself. There is no second tree to keep up to date on a store.
constexpr const char* kCreateRecords = R"(
CREATE TABLE records(
    partition TEXT NOT NULL,
    file TEXT NOT NULL,
    code TEXT NOT NULL,
    time TEXT NOT NULL,
    reading TEXT,
    temperature TEXT,
    download INTEGER REFERENCES downloads(id),
    reading_hz REAL,
    temperature_c REAL,
    time_s INTEGER,
    PRIMARY KEY(partition, code, time, file)
) WITHOUT ROWID;
)";

constexpr const char* kCreateCalibrations = R"(
CREATE TABLE calibrations(
    code TEXT PRIMARY KEY NOT NULL,
    gauge TEXT NOT NULL,
    unit TEXT NOT NULL,
    kind TEXT NOT NULL CHECK(kind IN ('frequency', 'digits')),
    form TEXT NOT NULL CHECK(form IN ('linear', 'polynomial')),
    g REAL NOT NULL,
    reversed INTEGER NOT NULL,
    a REAL NOT NULL,
    b REAL NOT NULL,
    c REAL NOT NULL,
    field_zero INTEGER NOT NULL,
    r0 REAL NOT NULL,
    t0 REAL NOT NULL,
    k REAL NOT NULL
);
)";

// What the history lists of each component, kept up to date so that it never needs the records
// read: how many a component has and the span of their times. The store counts the records it
// adds itself (a trigger run for each of a million records would double the store's time);
// triggers keep it for a record taken out or changed, whose component's span is read again
// only when the record was at an end of it.
constexpr const char* kCreateComponents = R"(
CREATE TABLE components(
    partition TEXT NOT NULL,
    code TEXT NOT NULL,
    count INTEGER NOT NULL,
    first_s INTEGER,
    last_s INTEGER,
    PRIMARY KEY(partition, code)
) WITHOUT ROWID;
)";

constexpr const char* kFillComponents =
    "INSERT INTO components(partition, code, count, first_s, last_s) "
    "SELECT partition, code, count(*), min(time_s), max(time_s) FROM records GROUP BY partition, code";

#define KTM_COMPONENT_ADDED(row)                                                                  \
    "INSERT INTO components(partition, code, count, first_s, last_s) "                            \
    "VALUES(" row ".partition, " row ".code, 1, " row ".time_s, " row ".time_s) "                 \
    "ON CONFLICT(partition, code) DO UPDATE SET count = count + 1, "                              \
    "first_s = CASE WHEN excluded.first_s IS NULL THEN first_s "                                  \
    "WHEN first_s IS NULL OR excluded.first_s < first_s THEN excluded.first_s ELSE first_s END, " \
    "last_s = CASE WHEN excluded.last_s IS NULL THEN last_s "                                     \
    "WHEN last_s IS NULL OR excluded.last_s > last_s THEN excluded.last_s ELSE last_s END;"

#define KTM_COMPONENT_REMOVED(row)                                                                              \
    "UPDATE components SET count = count - 1 WHERE partition = " row ".partition AND code = " row ".code;"      \
    "DELETE FROM components WHERE partition = " row ".partition AND code = " row ".code AND count <= 0;"        \
    "UPDATE components SET "                                                                                    \
    "first_s = (SELECT min(time_s) FROM records WHERE partition = " row ".partition AND code = " row ".code), " \
    "last_s = (SELECT max(time_s) FROM records WHERE partition = " row ".partition AND code = " row ".code) "   \
    "WHERE partition = " row ".partition AND code = " row ".code AND " row ".time_s IS NOT NULL "               \
    "AND (first_s IS NULL OR last_s IS NULL OR " row ".time_s <= first_s OR " row ".time_s >= last_s);"

// What the store adds of one component: ?1 partition, ?2 code, ?3 records, ?4 and ?5 their span.
constexpr const char* kAddToComponent =
    "INSERT INTO components(partition, code, count, first_s, last_s) VALUES(?1, ?2, ?3, ?4, ?5) "
    "ON CONFLICT(partition, code) DO UPDATE SET count = count + excluded.count, "
    "first_s = CASE WHEN excluded.first_s IS NULL THEN first_s "
    "WHEN first_s IS NULL OR excluded.first_s < first_s THEN excluded.first_s ELSE first_s END, "
    "last_s = CASE WHEN excluded.last_s IS NULL THEN last_s "
    "WHEN last_s IS NULL OR excluded.last_s > last_s THEN excluded.last_s ELSE last_s END";

// One component counted from its records: ?1 partition, ?2 code.
constexpr const char* kRecountComponent =
    "INSERT OR REPLACE INTO components(partition, code, count, first_s, last_s) "
    "SELECT partition, code, count(*), min(time_s), max(time_s) FROM records "
    "WHERE partition = ?1 AND code = ?2 GROUP BY partition, code";

constexpr const char* kCreateComponentTriggers[] = {
    "CREATE TRIGGER components_removed AFTER DELETE ON records BEGIN " KTM_COMPONENT_REMOVED("old") " END",
    "CREATE TRIGGER components_changed AFTER UPDATE OF partition, code, time_s ON records BEGIN " KTM_COMPONENT_REMOVED(
        "old") KTM_COMPONENT_ADDED("new") " END",
};

#undef KTM_COMPONENT_ADDED
#undef KTM_COMPONENT_REMOVED

constexpr const char* kVersion2Checks[] = {
    "SELECT partition, file, code, time, reading, temperature, download, reading_hz, temperature_c, time_s "
    "FROM records LIMIT 0",
    "SELECT id, at, partition, received, added FROM downloads LIMIT 0",
    "SELECT code, gauge, unit, kind, form, g, reversed, a, b, c, field_zero, r0, t0, k FROM calibrations LIMIT 0",
};

constexpr const char* kVersion3Check = "SELECT partition, code, count, first_s, last_s FROM components LIMIT 0";

// Records are inserted many to a statement: one run of the statement opens the table once and
// keeps its place in it from one record to the next.
constexpr int kRecordsPerInsert = 64;
constexpr int kRecordParameters = 10;

std::string insertRecordsSql(int records)
{
    std::string sql = "INSERT OR IGNORE INTO records(partition, file, code, time, reading, temperature, download, "
                      "reading_hz, temperature_c, time_s) VALUES ";
    for (int r = 0; r < records; ++r)
        sql += r ? ",(?,?,?,?,?,?,?,?,?,?)" : "(?,?,?,?,?,?,?,?,?,?)";
    return sql;
}

bool canPrepare(sqlite3* db, const char* sql) { return bool(Statement(db, sql)); }

bool createComponents(sqlite3* db)
{
    if (!exec(db, kCreateComponents))
        return false;
    for (const char* trigger : kCreateComponentTriggers)
        if (!exec(db, trigger))
            return false;
    return true;
}

bool createSchema(sqlite3* db)
{
    return exec(db, kCreateDownloads) && exec(db, kCreateRecords) && exec(db, kCreateCalibrations) &&
           createComponents(db) && exec(db, "PRAGMA user_version = 3");
}

// Version 2 to 3: the table of components, filled from the records once.
bool migrateFrom2(sqlite3* db)
{
    return createComponents(db) && exec(db, kFillComponents) && exec(db, "PRAGMA user_version = 3");
}

// The readers of the record texts, for the migration to compute the numbers in SQL.
template <typename Result, std::optional<Result> (*read)(const QString&)>
void sqlNumber(sqlite3_context* context, int, sqlite3_value** args)
{
    if (sqlite3_value_type(args[0]) == SQLITE_NULL) {
        sqlite3_result_null(context);
        return;
    }
    const auto* chars = static_cast<const char16_t*>(sqlite3_value_text16(args[0]));
    const int bytes = sqlite3_value_bytes16(args[0]);
    const std::optional<Result> value = read(QString::fromUtf16(chars, bytes / 2));
    if (!value)
        sqlite3_result_null(context);
    else if constexpr (std::is_same_v<Result, double>)
        sqlite3_result_double(context, *value);
    else
        sqlite3_result_int64(context, *value);
}

bool registerReaders(sqlite3* db)
{
    constexpr int flags = SQLITE_UTF16 | SQLITE_DETERMINISTIC | SQLITE_DIRECTONLY;
    return sqlite3_create_function_v2(db, "archive_reading_hz", 1, flags, nullptr, sqlNumber<double, readingHz>,
                                      nullptr, nullptr, nullptr) == SQLITE_OK &&
           sqlite3_create_function_v2(db, "archive_temperature_c", 1, flags, nullptr,
                                      sqlNumber<double, temperatureC>, nullptr, nullptr, nullptr) == SQLITE_OK &&
           sqlite3_create_function_v2(db, "archive_time_s", 1, flags, nullptr, sqlNumber<qint64, instrumentTime>,
                                      nullptr, nullptr, nullptr) == SQLITE_OK;
}

// Version 1 to 2: every record is kept with its texts; the numbers are filled in from them, and
// each distinct download time of a partition becomes a download. A key field version 1 left
// NULL becomes empty text; should that make two records one, the migration fails whole and the
// file stays as it was rather than lose a record.
bool migrateFrom1(sqlite3* db)
{
    return registerReaders(db) && exec(db, "ALTER TABLE records RENAME TO records_v1") &&
           exec(db, kCreateDownloads) &&
           exec(db, "INSERT INTO downloads(at, partition, received, added) "
                    "SELECT downloaded, partition, count(*), count(*) FROM records_v1 "
                    "GROUP BY downloaded, partition ORDER BY min(rowid)") &&
           exec(db, "CREATE INDEX downloads_of_v1 ON downloads(at, partition)") && exec(db, kCreateRecords) &&
           exec(db, "INSERT INTO records(partition, file, code, time, reading, temperature, download, reading_hz, "
                    "temperature_c, time_s) "
                    "SELECT coalesce(r.partition, ''), coalesce(r.file, ''), coalesce(r.code, ''), "
                    "coalesce(r.time, ''), r.reading, r.temperature, "
                    "(SELECT d.id FROM downloads d WHERE d.at IS r.downloaded AND d.partition IS r.partition), "
                    "archive_reading_hz(r.reading), archive_temperature_c(r.temperature), archive_time_s(r.time) "
                    "FROM records_v1 r ORDER BY r.rowid") &&
           exec(db, "DROP TABLE records_v1") && exec(db, "DROP INDEX downloads_of_v1") &&
           exec(db, kCreateCalibrations) && exec(db, "PRAGMA user_version = 2") && migrateFrom2(db);
}

// Runs `steps` in one transaction; on failure rolls back and gives SQLite's message.
template <typename F>
std::optional<QString> inTransaction(sqlite3* db, F&& steps, const char* begin = "BEGIN IMMEDIATE")
{
    if (!exec(db, begin))
        return message(db);
    if (steps() && exec(db, "COMMIT"))
        return std::nullopt;
    const QString detail = message(db);
    if (!sqlite3_get_autocommit(db))
        exec(db, "ROLLBACK");
    return detail;
}

// --- Opening --------------------------------------------------------------------------------

enum class Verdict {
    Usable,
    Fresh,
    Damaged,
    Newer,
    CannotOpen
};

// Waits for the archive while another connection holds it, as long as the patience allows.
// Owned beside the connection it serves, at a fixed address.
struct Waiter {
    Patience patience;
    QElapsedTimer clock;
    qint64 told = 0;
    bool gaveUp = false;

    static int onBusy(void* self, int attempt)
    {
        auto* w = static_cast<Waiter*>(self);
        if (attempt == 0) {
            w->clock.start();
            w->told = 0;
            w->gaveUp = false;
        }
        if (w->patience.cancelled && w->patience.cancelled()) {
            w->gaveUp = true;
            return 0;
        }
        sqlite3_sleep(std::min(1 + attempt, 25)); // soon at first, then 25 ms apart
        const qint64 waited = w->clock.elapsed();
        if (w->patience.waiting && waited - w->told >= 500) {
            w->told = waited;
            w->patience.waiting(waited);
        }
        return 1;
    }
};

struct Inspection {
    Verdict verdict = Verdict::CannotOpen;
    QString detail;
    int version = 0;
    std::unique_ptr<Waiter> waiter; // outlives the connection
    Connection db;
};

Verdict verdictOfFailure(int code)
{
    switch (code & 0xFF) {
    case SQLITE_NOTADB:
    case SQLITE_CORRUPT:
    case SQLITE_FORMAT:
        return Verdict::Damaged;
    default:
        return Verdict::CannotOpen;
    }
}

// Opens the file and decides what it is, changing nothing in it: the connection does not
// checkpoint into the file when it closes, so a file found unusable is set aside as it was.
// A read-only open on a medium that cannot take the companions SQLite's log needs: the file is
// read as it is, as something that cannot change meanwhile.
QByteArray immutableUri(const QString& path)
{
    return "file:" + QUrl::toPercentEncoding(path, "/") + "?immutable=1";
}

Inspection inspect(const QString& path, const OpenOptions& options, bool immutable = false)
{
    Inspection out;
    out.waiter = std::make_unique<Waiter>();
    out.waiter->patience = options.patience;
    sqlite3* raw = nullptr;
    const int flags = options.readOnly ? SQLITE_OPEN_READONLY | (immutable ? SQLITE_OPEN_URI : 0)
                                       : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
    const QByteArray name = immutable ? immutableUri(path) : path.toUtf8(); // SQLite takes UTF-8 names everywhere
    const int opened = sqlite3_open_v2(name.constData(), &raw, flags | SQLITE_OPEN_NOMUTEX, nullptr);
    out.db.reset(raw);
    if (opened != SQLITE_OK) {
        out.detail = raw ? message(raw) : QString::fromUtf8(sqlite3_errstr(opened));
        return out;
    }
    sqlite3* db = raw;
    sqlite3_db_config(db, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
    sqlite3_busy_handler(db, &Waiter::onBusy, out.waiter.get());

    if (options.check) {
        Statement check(db, "PRAGMA quick_check");
        if (!check) {
            out.verdict = verdictOfFailure(sqlite3_errcode(db));
            out.detail = message(db);
            return out;
        }
        QStringList problems;
        int rc;
        while ((rc = sqlite3_step(check.get())) == SQLITE_ROW) {
            if (problems.size() < 10)
                problems << columnText(check.get(), 0);
        }
        if (rc != SQLITE_DONE) {
            out.verdict = verdictOfFailure(rc);
            out.detail = message(db);
            return out;
        }
        if (problems != QStringList{QStringLiteral("ok")}) {
            out.verdict = Verdict::Damaged;
            out.detail = problems.join(QLatin1Char('\n'));
            return out;
        }
    }

    Statement version(db, "PRAGMA user_version");
    if (!version || sqlite3_step(version.get()) != SQLITE_ROW) {
        out.verdict = verdictOfFailure(sqlite3_errcode(db));
        out.detail = message(db);
        return out;
    }
    out.version = sqlite3_column_int(version.get(), 0);
    if (out.version > Archive::kSchemaVersion) {
        out.verdict = Verdict::Newer;
        out.detail = QStringLiteral("schema version %1, this program knows up to %2").arg(out.version).arg(Archive::kSchemaVersion);
        return out;
    }

    out.verdict = Verdict::Damaged;
    if (out.version == 0) {
        Statement objects(db, "SELECT count(*) FROM sqlite_master");
        if (!objects || sqlite3_step(objects.get()) != SQLITE_ROW) {
            out.verdict = verdictOfFailure(sqlite3_errcode(db));
            out.detail = message(db);
        } else if (sqlite3_column_int64(objects.get(), 0) == 0) {
            out.verdict = Verdict::Fresh;
        } else {
            out.detail = QStringLiteral("a database without a schema version: not an archive");
        }
    } else if (out.version == 1) {
        if (canPrepare(db, kVersion1Columns))
            out.verdict = Verdict::Usable;
        else
            out.detail = QStringLiteral("schema version 1 without its records table: %1").arg(message(db));
    } else if (out.version == 2 || out.version == 3) {
        out.verdict = Verdict::Usable;
        for (const char* check : kVersion2Checks) {
            if (!canPrepare(db, check)) {
                out.verdict = Verdict::Damaged;
                out.detail = QStringLiteral("schema version %1 without its tables: %2").arg(out.version).arg(message(db));
                break;
            }
        }
        if (out.verdict == Verdict::Usable && out.version == 3 && !canPrepare(db, kVersion3Check)) {
            out.verdict = Verdict::Damaged;
            out.detail = QStringLiteral("schema version 3 without its table of components: %1").arg(message(db));
        }
    } else {
        out.detail = QStringLiteral("schema version %1").arg(out.version);
    }
    return out;
}

// The companions SQLite keeps beside a database; they belong to it and move with it.
constexpr const char* kCompanions[] = {"-wal", "-shm", "-journal"};

bool anyExists(const QString& path)
{
    if (QFileInfo::exists(path))
        return true;
    for (const char* suffix : kCompanions)
        if (QFileInfo::exists(path + QLatin1String(suffix)))
            return true;
    return false;
}

// Renames the file (and its companions) to a name beside it that nothing holds yet.
std::optional<QString> moveAside(const QString& path, ErrorKind kind, QString* failure)
{
    const QString base = path + (kind == ErrorKind::NewerVersion ? QStringLiteral(".newer-") : QStringLiteral(".damaged-")) +
                         QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString target = base;
    for (int n = 2; anyExists(target); ++n)
        target = base + QStringLiteral("-%1").arg(n);
    std::error_code ec;
    std::filesystem::rename(toFilePath(path), toFilePath(target), ec);
    if (ec) {
        *failure = QStringLiteral("cannot rename %1 to %2: %3").arg(path, target, QString::fromStdString(ec.message()));
        return std::nullopt;
    }
    for (const char* suffix : kCompanions) {
        const QString companion = path + QLatin1String(suffix);
        if (!QFileInfo::exists(companion))
            continue;
        const QString moved = target + QLatin1String(suffix);
        std::filesystem::rename(toFilePath(companion), toFilePath(moved), ec);
        if (ec) {
            // Left here it would be taken for part of the new archive.
            *failure = QStringLiteral("cannot rename %1 to %2: %3").arg(companion, moved, QString::fromStdString(ec.message()));
            return std::nullopt;
        }
    }
    return target;
}

} // namespace

// --- The archive ----------------------------------------------------------------------------

namespace {
const qint64 kFirstTime = *instrumentTime(QStringLiteral("0001-01-01 00:00:00"));
const qint64 kLastTime = *instrumentTime(QStringLiteral("9999-12-31 23:59:59"));
} // namespace

struct Archive::Impl {
    QString path;
    bool readOnly = false;
    bool hasComponents = true;
    std::unique_ptr<Waiter> waiter; // outlives the connection
    Connection db;                  // closed after the statements
    Statement insertDownload;
    Statement insertRecords; // kRecordsPerInsert at a time
    Statement insertRecord;  // the rest one by one
    Statement finishDownload;
    Statement addToComponent;
    Statement recountComponent;
};

Archive::Archive(std::unique_ptr<Impl> impl) : m(std::move(impl)) {}

Archive::~Archive() = default;

QString Archive::defaultPath()
{
    // One archive for the window and the command line, whatever each calls itself.
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/Varnok/archive.sqlite");
}

QString Archive::path() const { return m->path; }

namespace {

// Holds the folder of an archive while a program decides what a file there is and makes it
// usable (sets an unusable one aside, makes the tables of a new one): a second program opening
// the same file waits, then finds it done, instead of setting aside the first one's new archive.
class FolderLock {
public:
    explicit FolderLock(const QString& folder)
    {
#ifdef Q_OS_UNIX
        m_fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (m_fd >= 0)
            while (::flock(m_fd, LOCK_EX) != 0 && errno == EINTR) {
            }
#else
        Q_UNUSED(folder);
#endif
    }
    ~FolderLock()
    {
#ifdef Q_OS_UNIX
        if (m_fd >= 0)
            ::close(m_fd);
#endif
    }
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

private:
    int m_fd = -1;
};

std::optional<int> userVersion(sqlite3* db)
{
    Statement version(db, "PRAGMA user_version");
    if (!version || sqlite3_step(version.get()) != SQLITE_ROW)
        return std::nullopt;
    return sqlite3_column_int(version.get(), 0);
}

// Brings the file to the current schema in one exclusive transaction, deciding inside it what
// to do: another program that made or moved the tables meanwhile has left nothing to do.
std::optional<QString> prepareSchema(sqlite3* db)
{
    QString why;
    const std::optional<QString> failed = inTransaction(
        db,
        [&] {
            const std::optional<int> version = userVersion(db);
            if (!version)
                return false;
            switch (*version) {
            case 0: {
                Statement objects(db, "SELECT count(*) FROM sqlite_master");
                if (!objects || sqlite3_step(objects.get()) != SQLITE_ROW)
                    return false;
                if (sqlite3_column_int64(objects.get(), 0) != 0) {
                    why = QStringLiteral("a database without a schema version: not an archive");
                    return false;
                }
                return createSchema(db);
            }
            case 1: return migrateFrom1(db);
            case 2: return migrateFrom2(db);
            case Archive::kSchemaVersion: return true;
            default: why = QStringLiteral("schema version %1").arg(*version); return false;
            }
        },
        "BEGIN EXCLUSIVE");
    if (failed && !why.isEmpty())
        return why;
    return failed;
}

// A file this open created and could not make an archive of holds nothing: it goes, so that
// the next open does not take an empty file for an archive that was started.
void removeEmptyNew(const QString& file)
{
    if (QFileInfo(file).size() != 0)
        return;
    QFile::remove(file);
    for (const char* suffix : kCompanions)
        if (QFileInfo(file + QLatin1String(suffix)).size() == 0)
            QFile::remove(file + QLatin1String(suffix));
}

} // namespace

bool Archive::readOnly() const { return m->readOnly; }

std::unique_ptr<Archive> Archive::open(const QString& path, std::optional<SetAside>* setAside, Error* error,
                                       const OpenOptions& options)
{
    if (setAside)
        setAside->reset();
    if (path.isEmpty()) {
        setError(error, ErrorKind::CannotOpen, QStringLiteral("no path"));
        return nullptr;
    }
    const QFileInfo info(path);
    const QString file = info.absoluteFilePath();
    if (info.isDir()) {
        setError(error, ErrorKind::CannotOpen, QStringLiteral("%1 is a folder").arg(file));
        return nullptr;
    }
    Inspection found;
    if (options.readOnly) {
        if (!QFileInfo::exists(file) || QFileInfo(file).size() == 0) {
            // Nothing archived yet: an empty archive of its own, in memory.
            OpenOptions memory = options;
            memory.readOnly = false;
            memory.check = false;
            found = inspect(QStringLiteral(":memory:"), memory);
            if (found.verdict != Verdict::Fresh || !createSchema(found.db.get())) {
                setError(error, ErrorKind::CannotOpen, QStringLiteral("%1: %2").arg(file, found.detail));
                return nullptr;
            }
            found.verdict = Verdict::Usable;
            found.version = kSchemaVersion;
        } else {
            found = inspect(file, options);
            if (found.verdict == Verdict::CannotOpen) // a medium that takes no log beside the file
                found = inspect(file, options, true);
        }
        switch (found.verdict) {
        case Verdict::Usable: break;
        case Verdict::Fresh: break; // cannot be: an empty file was taken as none above
        case Verdict::Damaged:
        case Verdict::Newer:
            setError(error, found.verdict == Verdict::Newer ? ErrorKind::NewerVersion : ErrorKind::Damaged,
                     QStringLiteral("%1: %2").arg(file, found.detail));
            return nullptr;
        case Verdict::CannotOpen:
            setError(error, ErrorKind::CannotOpen, QStringLiteral("%1: %2").arg(file, found.detail));
            return nullptr;
        }
        if (found.version == 1) {
            setError(error, ErrorKind::CannotOpen,
                     QStringLiteral("%1: an archive of schema version 1, to be brought forward by a program that may write to it").arg(file));
            return nullptr;
        }
    } else {
        if (!QDir().mkpath(info.absolutePath())) {
            setError(error, ErrorKind::CannotOpen, QStringLiteral("cannot create the folder %1").arg(info.absolutePath()));
            return nullptr;
        }
        bool created = !anyExists(file);
        found = inspect(file, options);
        if (found.verdict != Verdict::Usable || found.version != kSchemaVersion) {
            // Set aside, made or brought forward by one program at a time; what the file is may
            // have changed while this one waited for its turn.
            found.db.reset();
            FolderLock lock(info.absolutePath());
            found = inspect(file, options);
            if (found.verdict == Verdict::Damaged || found.verdict == Verdict::Newer) {
                const ErrorKind kind = found.verdict == Verdict::Newer ? ErrorKind::NewerVersion : ErrorKind::Damaged;
                found.db.reset(); // closed before it is renamed
                QString failure;
                const std::optional<QString> movedTo = moveAside(file, kind, &failure);
                if (!movedTo) {
                    setError(error, kind, found.detail + QStringLiteral("; ") + failure);
                    return nullptr;
                }
                if (setAside)
                    *setAside = SetAside{kind, *movedTo, found.detail};
                created = true;
                found = inspect(file, options);
                if (found.verdict != Verdict::Fresh) { // something appeared in its place meanwhile
                    setError(error, ErrorKind::CannotOpen, QStringLiteral("%1: %2").arg(file, found.detail));
                    return nullptr;
                }
            }
            if (found.verdict == Verdict::CannotOpen) {
                found.db.reset();
                if (created)
                    removeEmptyNew(file);
                setError(error, ErrorKind::CannotOpen, QStringLiteral("%1: %2").arg(file, found.detail));
                return nullptr;
            }
            sqlite3* db = found.db.get();
            sqlite3_db_config(db, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 0, nullptr);
            // The tables are made or brought forward before the file changes its journal, so
            // that a migration that fails leaves the old file exactly as it was.
            if (const std::optional<QString> failed = prepareSchema(db)) {
                const QString what = found.verdict == Verdict::Fresh ? QStringLiteral("cannot create the tables")
                                                                     : QStringLiteral("cannot bring the tables forward from version %1").arg(found.version);
                const bool cancelled = found.waiter->gaveUp;
                found.db.reset();
                if (created)
                    removeEmptyNew(file);
                setError(error, cancelled ? ErrorKind::Cancelled : ErrorKind::CannotOpen,
                         QStringLiteral("%1: %2: %3").arg(file, what, *failed));
                return nullptr;
            }
            // The write-ahead log takes a store as one sequential write and never blocks a
            // reader; NORMAL synchronisation loses no committed store when the program dies (a
            // power cut may lose the last ones, never the file).
            exec(db, "PRAGMA journal_mode = WAL");
        }
    }

    sqlite3* db = found.db.get();
    sqlite3_db_config(db, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 0, nullptr);
    // A large store's pages spill into the log beyond this much memory rather than all stay in
    // memory until it commits.
    exec(db, "PRAGMA cache_size = -1024");
    exec(db, "PRAGMA temp_store = MEMORY");
    if (!options.readOnly)
        exec(db, "PRAGMA synchronous = NORMAL");

    auto impl = std::make_unique<Impl>();
    impl->path = file;
    impl->readOnly = options.readOnly;
    const std::optional<int> version = userVersion(db);
    impl->hasComponents = version && *version >= 3;
    if (!options.readOnly) {
        impl->insertDownload = Statement(db, "INSERT INTO downloads(at, partition, received, added) VALUES(?1, ?2, ?3, 0)", true);
        impl->insertRecords = Statement(db, insertRecordsSql(kRecordsPerInsert).c_str(), true);
        impl->insertRecord = Statement(db, insertRecordsSql(1).c_str(), true);
        impl->finishDownload = Statement(db, "UPDATE downloads SET added = ?1, partition = ?3, received = ?4 WHERE id = ?2", true);
        impl->addToComponent = Statement(db, kAddToComponent, true);
        impl->recountComponent = Statement(db, kRecountComponent, true);
        if (!impl->insertDownload || !impl->insertRecords || !impl->insertRecord || !impl->finishDownload ||
            !impl->addToComponent || !impl->recountComponent) {
            setError(error, ErrorKind::CannotOpen, QStringLiteral("%1: %2").arg(file, message(db)));
            return nullptr; // the statements go before the connection
        }
    }
    impl->waiter = std::move(found.waiter);
    impl->db = std::move(found.db);
    return std::unique_ptr<Archive>(new Archive(std::move(impl)));
}

std::optional<StoreResult> Archive::store(const std::vector<Record>& records, const QDateTime& downloadedAt,
                                          Error* error)
{
    return store(recordSource(records), downloadedAt, error);
}

std::optional<StoreResult> Archive::store(const RecordSource& next, const QDateTime& downloadedAt, Error* error)
{
    if (m->readOnly) {
        setError(error, ErrorKind::WriteFailed, QStringLiteral("%1: opened for reading only").arg(m->path));
        return std::nullopt;
    }
    sqlite3* db = m->db.get();
    sqlite3_stmt* download = m->insertDownload.get();
    sqlite3_stmt* finish = m->finishDownload.get();
    const Patience& patience = m->waiter->patience;
    StoreResult result;

    auto step = [&](sqlite3_stmt* stmt) {
        const int rc = sqlite3_step(stmt);
        sqlite3_reset(stmt);
        return rc == SQLITE_DONE;
    };

    // The partition of the copy, unless its records are of several.
    QByteArray partition;
    bool onePartition = true;

    // The texts of one statement's records, as UTF-8 one after the other; they are bound
    // without a copy (SQLITE_STATIC) once all are in, and stay until the statement has run.
    // Partition and file, the same for record after record, are held once.
    std::string texts;
    texts.reserve(kRecordsPerInsert * 64);
    struct Slice {
        size_t offset = 0;
        size_t length = 0;
    };
    struct Numbers {
        std::optional<double> hz;
        std::optional<double> c;
        std::optional<qint64> t;
    };
    Slice slices[kRecordsPerInsert][6];
    Numbers numbers[kRecordsPerInsert];
    // What the records added bring to each component, keyed "partition\0code".
    struct Added {
        bool recount = false;
        qint64 count = 0;
        bool timed = false;
        qint64 first = 0;
        qint64 last = 0;
    };
    std::unordered_map<std::string, Added> added;
    std::string key;
    sqlite3_int64 downloadId = 0;
    bool cancelled = false;

    auto bindAndRun = [&](sqlite3_stmt* stmt, int count) {
        const char* base = texts.data();
        for (int i = 0; i < count; ++i) {
            const int p = i * kRecordParameters;
            for (int f = 0; f < 6; ++f)
                sqlite3_bind_text(stmt, p + f + 1, base + slices[i][f].offset, int(slices[i][f].length), SQLITE_STATIC);
            sqlite3_bind_int64(stmt, p + 7, downloadId);
            if (numbers[i].hz)
                sqlite3_bind_double(stmt, p + 8, *numbers[i].hz);
            else
                sqlite3_bind_null(stmt, p + 8);
            if (numbers[i].c)
                sqlite3_bind_double(stmt, p + 9, *numbers[i].c);
            else
                sqlite3_bind_null(stmt, p + 9);
            if (numbers[i].t)
                sqlite3_bind_int64(stmt, p + 10, *numbers[i].t);
            else
                sqlite3_bind_null(stmt, p + 10);
        }
        if (!step(stmt))
            return false;
        // Where every record of the statement was added, what each brings to its component
        // is known here; where only some were, their components are counted again at the end.
        const int changed = sqlite3_changes(db);
        result.added += changed;
        if (changed == 0)
            return true;
        for (int i = 0; i < count; ++i) {
            key.assign(base + slices[i][0].offset, slices[i][0].length);
            key.push_back('\0');
            key.append(base + slices[i][2].offset, slices[i][2].length);
            Added& a = added[key];
            if (changed != count) {
                a.recount = true;
                continue;
            }
            ++a.count;
            if (const std::optional<qint64> t = numbers[i].t) {
                a.first = a.timed ? std::min(a.first, *t) : *t;
                a.last = a.timed ? std::max(a.last, *t) : *t;
                a.timed = true;
            }
        }
        return true;
    };

    const std::optional<QString> failed = inTransaction(db, [&] {
        if (downloadedAt.isValid())
            bindText(download, 1, downloadedAt.toUTC().toString(Qt::ISODateWithMs));
        else
            sqlite3_bind_null(download, 1);
        sqlite3_bind_null(download, 2);
        sqlite3_bind_int64(download, 3, 0);
        if (!step(download))
            return false;
        downloadId = sqlite3_last_insert_rowid(db);

        // One statement's records at a time, each read from the source once.
        RecordView r;
        QByteArrayView lastPartition, lastFile;
        int count = 0;
        bool more = true;
        while (more) {
            texts.clear();
            count = 0;
            auto add = [&](QByteArrayView text) {
                const size_t offset = texts.size();
                texts.append(text.data() ? text.data() : "", size_t(text.size()));
                return Slice{offset, size_t(text.size())};
            };
            while (count < kRecordsPerInsert && (more = next(r))) {
                if (result.received == 0)
                    partition = r.partition.toByteArray();
                else if (onePartition && r.partition != QByteArrayView(partition))
                    onePartition = false;
                ++result.received;
                const int i = count++;
                // Compared by content: a source may give the same text from a buffer of its own.
                const bool samePartition = i && r.partition == QByteArrayView(texts.data() + slices[i - 1][0].offset, qsizetype(slices[i - 1][0].length));
                const bool sameFile = i && r.file == QByteArrayView(texts.data() + slices[i - 1][1].offset, qsizetype(slices[i - 1][1].length));
                slices[i][0] = samePartition ? slices[i - 1][0] : add(r.partition);
                slices[i][1] = sameFile ? slices[i - 1][1] : add(r.file);
                slices[i][2] = add(r.code);
                slices[i][3] = add(r.time);
                slices[i][4] = add(r.reading);
                slices[i][5] = add(r.temperature);
                numbers[i] = Numbers{readingHz(r.reading), temperatureC(r.temperature), instrumentTime(r.time)};
            }
            if (count == kRecordsPerInsert) {
                if (!bindAndRun(m->insertRecords.get(), count))
                    return false;
            } else {
                // The rest one by one: their texts are slices of the same buffer.
                for (int i = 0; i < count; ++i) {
                    for (int f = 0; f < 6; ++f)
                        slices[0][f] = slices[i][f];
                    numbers[0] = numbers[i];
                    if (!bindAndRun(m->insertRecord.get(), 1))
                        return false;
                }
            }
            if (patience.cancelled && patience.cancelled()) {
                cancelled = true;
                return false;
            }
        }

        sqlite3_bind_int64(finish, 1, result.added);
        sqlite3_bind_int64(finish, 2, downloadId);
        if (onePartition && result.received > 0)
            sqlite3_bind_text(finish, 3, partition.constData(), int(partition.size()), SQLITE_TRANSIENT);
        else
            sqlite3_bind_null(finish, 3);
        sqlite3_bind_int64(finish, 4, result.received); // known only now
        if (!step(finish))
            return false;
        sqlite3_stmt* component = m->addToComponent.get();
        sqlite3_stmt* recount = m->recountComponent.get();
        for (const auto& [which, a] : added) {
            const size_t split = which.find('\0');
            if (a.recount) {
                sqlite3_bind_text(recount, 1, which.data(), int(split), SQLITE_STATIC);
                sqlite3_bind_text(recount, 2, which.data() + split + 1, int(which.size() - split - 1), SQLITE_STATIC);
                if (!step(recount))
                    return false;
                continue;
            }
            sqlite3_bind_text(component, 1, which.data(), int(split), SQLITE_STATIC);
            sqlite3_bind_text(component, 2, which.data() + split + 1, int(which.size() - split - 1), SQLITE_STATIC);
            sqlite3_bind_int64(component, 3, a.count);
            for (int i : {4, 5}) {
                if (a.timed)
                    sqlite3_bind_int64(component, i, i == 4 ? a.first : a.last);
                else
                    sqlite3_bind_null(component, i);
            }
            if (!step(component))
                return false;
        }
        sqlite3_clear_bindings(component);
        sqlite3_clear_bindings(recount);
        return true;
    });
    // No statement keeps a pointer into the texts above.
    sqlite3_clear_bindings(m->insertRecords.get());
    sqlite3_clear_bindings(m->insertRecord.get());
    if (failed) {
        const bool stopped = cancelled || m->waiter->gaveUp;
        m->waiter->gaveUp = false;
        setError(error, stopped ? ErrorKind::Cancelled : ErrorKind::WriteFailed, *failed);
        return std::nullopt;
    }
    return result;
}

std::vector<SeriesSummary> Archive::summary(Error* error) const
{
    std::vector<SeriesSummary> out;
    // An archive of version 2 read where it cannot be brought forward has no table of components.
    const char* sql = m->hasComponents ? "SELECT partition, code, count, first_s, last_s FROM components "
                                         "ORDER BY partition, code"
                                       : "SELECT partition, code, count(*), min(time_s), max(time_s) FROM records "
                                         "GROUP BY partition, code ORDER BY partition, code";
    if (!readRows(m->db.get(), sql, error, [&](sqlite3_stmt* s) {
            out.push_back(SeriesSummary{columnText(s, 0), columnText(s, 1), sqlite3_column_int64(s, 2),
                                        sqlite3_column_int64(s, 3), sqlite3_column_int64(s, 4)});
        }))
        return {};
    return out;
}

std::vector<Point> Archive::series(const QString& partition, const QString& code, qint64 from, qint64 to,
                                   Error* error) const
{
    std::vector<Point> out;
    // Every time there is lies in years 1 to 9999; within them the texts bound the range of the
    // table that holds it, and the numbers leave out the texts that are not times.
    from = std::max(from, kFirstTime);
    to = std::min(to, kLastTime);
    if (from > to)
        return out;
    const auto bind = [&](sqlite3_stmt* s) {
        bindText(s, 1, partition);
        bindText(s, 2, code);
        bindText(s, 3, instrumentTimeText(from));
        bindText(s, 4, instrumentTimeText(to));
        sqlite3_bind_int64(s, 5, from);
        sqlite3_bind_int64(s, 6, to);
    };
    const auto row = [&](sqlite3_stmt* s) {
        Point p;
        p.time = sqlite3_column_int64(s, 0);
        p.readingHz = sqlite3_column_double(s, 1);
        p.hasTemperature = sqlite3_column_type(s, 2) != SQLITE_NULL;
        if (p.hasTemperature)
            p.temperatureC = sqlite3_column_double(s, 2);
        out.push_back(p);
    };
    if (!readRows(m->db.get(),
                  "SELECT time_s, reading_hz, temperature_c FROM records "
                  "WHERE partition = ?1 AND code = ?2 AND time BETWEEN ?3 AND ?4 "
                  "AND time_s BETWEEN ?5 AND ?6 AND reading_hz IS NOT NULL ORDER BY time",
                  error, bind, row))
        return {};
    return out;
}

std::vector<Download> Archive::downloads(Error* error) const
{
    std::vector<Download> out;
    if (!readRows(m->db.get(), "SELECT id, at, partition, received, added FROM downloads ORDER BY id", error,
                  [&](sqlite3_stmt* s) {
                      Download d;
                      d.id = sqlite3_column_int64(s, 0);
                      d.at = QDateTime::fromString(columnText(s, 1), Qt::ISODateWithMs).toUTC();
                      d.partition = columnText(s, 2);
                      d.received = sqlite3_column_int64(s, 3);
                      d.added = sqlite3_column_int64(s, 4);
                      out.push_back(d);
                  }))
        return {};
    return out;
}

namespace {

constexpr const char* kCalibrationColumns = "code, gauge, unit, kind, form, g, reversed, a, b, c, field_zero, r0, t0, k";

Calibration calibrationOfRow(sqlite3_stmt* s)
{
    Calibration c;
    c.code = columnText(s, 0);
    c.gauge = columnText(s, 1);
    c.unit = columnText(s, 2);
    c.kind = columnText(s, 3) == QLatin1String("frequency") ? ReadingKind::Frequency : ReadingKind::Digits;
    c.form = columnText(s, 4) == QLatin1String("polynomial") ? Form::Polynomial : Form::Linear;
    c.G = sqlite3_column_double(s, 5);
    c.reversed = sqlite3_column_int(s, 6) != 0;
    c.A = sqlite3_column_double(s, 7);
    c.B = sqlite3_column_double(s, 8);
    c.C = sqlite3_column_double(s, 9);
    c.fieldZero = sqlite3_column_int(s, 10) != 0;
    c.R0 = sqlite3_column_double(s, 11);
    c.T0 = sqlite3_column_double(s, 12);
    c.K = sqlite3_column_double(s, 13);
    return c;
}

} // namespace

std::vector<Calibration> Archive::calibrations(Error* error) const
{
    std::vector<Calibration> out;
    const std::string sql = std::string("SELECT ") + kCalibrationColumns + " FROM calibrations ORDER BY code";
    if (!readRows(m->db.get(), sql.c_str(), error, [&](sqlite3_stmt* s) { out.push_back(calibrationOfRow(s)); }))
        return {};
    return out;
}

std::optional<Calibration> Archive::calibration(const QString& code, Error* error) const
{
    // The code is the table's key: one row at most.
    std::optional<Calibration> out;
    const std::string sql = std::string("SELECT ") + kCalibrationColumns + " FROM calibrations WHERE code = ?1";
    if (!readRows(
            m->db.get(), sql.c_str(), error, [&](sqlite3_stmt* s) { bindText(s, 1, code); },
            [&](sqlite3_stmt* s) { out = calibrationOfRow(s); }))
        return std::nullopt;
    return out;
}

bool Archive::setCalibrations(const std::vector<Calibration>& all, Error* error)
{
    for (const Calibration& c : all) {
        if (c.code.isEmpty()) {
            setError(error, ErrorKind::WriteFailed, QStringLiteral("a calibration without a component code"));
            return false;
        }
        for (double v : {c.G, c.A, c.B, c.C, c.R0, c.T0, c.K}) {
            if (!std::isfinite(v)) {
                setError(error, ErrorKind::WriteFailed, QStringLiteral("calibration %1: a factor that is not a finite number").arg(c.code));
                return false;
            }
        }
    }
    sqlite3* db = m->db.get();
    const std::optional<QString> failed = inTransaction(db, [&] {
        if (!exec(db, "DELETE FROM calibrations"))
            return false;
        const std::string sql = std::string("INSERT INTO calibrations(") + kCalibrationColumns +
                                ") VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13, ?14)";
        Statement insert(db, sql.c_str());
        if (!insert)
            return false;
        sqlite3_stmt* s = insert.get();
        for (const Calibration& c : all) {
            bindText(s, 1, c.code);
            bindText(s, 2, c.gauge);
            bindText(s, 3, c.unit);
            sqlite3_bind_text(s, 4, c.kind == ReadingKind::Frequency ? "frequency" : "digits", -1, SQLITE_STATIC);
            sqlite3_bind_text(s, 5, c.form == Form::Polynomial ? "polynomial" : "linear", -1, SQLITE_STATIC);
            sqlite3_bind_double(s, 6, c.G);
            sqlite3_bind_int(s, 7, c.reversed ? 1 : 0);
            sqlite3_bind_double(s, 8, c.A);
            sqlite3_bind_double(s, 9, c.B);
            sqlite3_bind_double(s, 10, c.C);
            sqlite3_bind_int(s, 11, c.fieldZero ? 1 : 0);
            sqlite3_bind_double(s, 12, c.R0);
            sqlite3_bind_double(s, 13, c.T0);
            sqlite3_bind_double(s, 14, c.K);
            const int rc = sqlite3_step(s);
            sqlite3_reset(s);
            if (rc != SQLITE_DONE)
                return false;
        }
        return true;
    });
    if (failed) {
        setError(error, ErrorKind::WriteFailed, *failed);
        return false;
    }
    return true;
}

bool recountSummary(sqlite3* db)
{
    sqlite3_stmt* has = nullptr;
    if (sqlite3_prepare_v2(db, "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = 'components'", -1, &has,
                           nullptr) != SQLITE_OK)
        return false;
    const bool summarised = sqlite3_step(has) == SQLITE_ROW;
    sqlite3_finalize(has);
    return !summarised || (exec(db, "DELETE FROM components") && exec(db, kFillComponents));
}

} // namespace archive
