#pragma once

// What the archive's own files share of SQLite: the handles, the reads, the transactions, the
// connection's state (Archive::Impl) and the readout clocks that give a record's UTC instant.
// Not for use outside archive/.
#include "archive/Archive.h"

#include <QElapsedTimer>
#include <QString>
#include <QTimeZone>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <sqlite3.h>
#include <unordered_map>
#include <utility>
#include <vector>

namespace archive {

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

namespace sql {

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

inline QString message(sqlite3* db) { return QString::fromUtf8(sqlite3_errmsg(db)); }

inline bool exec(sqlite3* db, const char* sql) { return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK; }

inline void setError(Error* error, ErrorKind kind, const QString& detail)
{
    if (error)
        *error = Error{kind, detail};
}

inline void bindText(sqlite3_stmt* stmt, int index, const QString& text)
{
    const QByteArray utf8 = text.toUtf8();
    sqlite3_bind_text(stmt, index, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
}

inline QString columnText(sqlite3_stmt* stmt, int column)
{
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, column));
    return text ? QString::fromUtf8(text, sqlite3_column_bytes(stmt, column)) : QString();
}

// Runs a statement that gives no rows, ready to run again.
inline bool step(sqlite3_stmt* stmt)
{
    const int rc = sqlite3_step(stmt);
    sqlite3_reset(stmt);
    return rc == SQLITE_DONE;
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

// Runs `steps` in one transaction; on failure rolls back and gives SQLite's message (or the
// steps' own reason, when they gave one in `why`).
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

// Runs `steps` as one write, with the error filled as a failed write; `why` the refusal the
// steps found, if any.
template <typename F>
bool write(sqlite3* db, Error* error, F&& steps)
{
    QString why;
    const std::optional<QString> failed = inTransaction(db, [&] { return steps(&why); });
    if (failed) {
        setError(error, ErrorKind::WriteFailed, why.isEmpty() ? *failed : why);
        return false;
    }
    return true;
}

// The first column of the first row of a query as a number, nullopt when there is no row or
// it is NULL; `ok` false on an SQLite error.
template <typename Bind>
std::optional<qint64> oneNumber(sqlite3* db, const char* sql, Bind&& bind, bool* ok)
{
    Statement query(db, sql);
    if (!query) {
        *ok = false;
        return std::nullopt;
    }
    bind(query.get());
    const int rc = sqlite3_step(query.get());
    if (rc != SQLITE_ROW && rc != SQLITE_DONE)
        *ok = false;
    if (rc != SQLITE_ROW || sqlite3_column_type(query.get(), 0) == SQLITE_NULL)
        return std::nullopt;
    return sqlite3_column_int64(query.get(), 0);
}

} // namespace sql

// Times in the records' key: a time as the instrument writes it is its instrumentTime(), from
// year 1 on; a text that is not a time is kept in odd_times and keyed below every time, as
// kOddTimes - its id, so that it still has a place of its own in the key.
constexpr qint64 kFirstTime = -62135596800; // instrumentTime("0001-01-01 00:00:00")
constexpr qint64 kOddTimes = kFirstTime - 1;
#define KTM_FIRST_TIME "-62135596800"

// Records are inserted many to a statement: one run of the statement opens the table once and
// keeps its place in it from one record to the next.
constexpr int kRecordsPerInsert = 64;
constexpr int kRecordParameters = 10;
std::string insertRecordsSql(int records);

// The UTC instants of a readout's times: its zone since ever and the changes of zone, each from
// a UTC instant on. The offset found for an hour of the readout's clock is kept for that hour,
// so a store of a million records asks QTimeZone a few times an hour of readings at most.
class ZoneClock {
public:
    ZoneClock(const QString& zone, const std::vector<ZoneChange>& changes);
    qint64 utc(qint64 readoutTime);

private:
    qint64 compute(qint64 readoutTime) const;
    struct Zone {
        QTimeZone zone;
        qint64 from = kSinceEver;
    };
    std::vector<Zone> m_zones;                    // oldest first
    std::unordered_map<qint64, qint64> m_offsets; // hour of the readout's clock -> offset, or kMixed
    qint64 m_lastHour = kSinceEver;
    qint64 m_lastOffset = 0;
};

// The zone id the PC's clock is in ("UTC" when the system says none).
QString systemZone();

// The readout's clock as it was stored: nullopt when the readout is not known, `ok` false on an
// SQLite error.
std::optional<ZoneClock> zoneClockOf(sqlite3* db, qint64 readout, bool* ok);

} // namespace archive

struct archive::Archive::Impl {
    QString path;
    bool readOnly = false;
    int version = Archive::kSchemaVersion;
    std::unique_ptr<Waiter> waiter; // outlives the connection
    sql::Connection db;             // closed after the statements
    sql::Statement insertDownload;
    sql::Statement insertRecords; // kRecordsPerInsert at a time
    sql::Statement insertRecord;  // the rest one by one
    sql::Statement finishDownload;
    // Set while storeFromOffice stores: the download the store makes is the office's.
    const OfficeProvenance* fromOffice = nullptr;
    // What marksOf read of each gauge's judgements, for judgementsSent: the gauge's `judged`
    // count and its last judged reading's instant then.
    struct JudgedRead {
        qint64 judged = 0;
        std::optional<qint64> utc;
    };
    std::unordered_map<std::string, JudgedRead> judgedRead;
};

namespace archive {

// What a store or the operator does to the slot assignments, inside the caller's transaction.
namespace assigning {
// The slot's id, made when it is new; 0 on an SQLite error.
qint64 slotId(sqlite3* db, qint64 readout, const QString& partition, const QString& code);
// The gauge's id, added to the register when new; 0 on an SQLite error.
qint64 gaugeId(sqlite3* db, const QString& name);
// observeComponents inside a transaction: false on an SQLite error.
bool observe(sqlite3* db, qint64 readout, const ComponentNames& names, QStringList* changed);
// A register row added or replaced (its site made known), inside the caller's transaction.
bool writeGaugeRow(sqlite3* db, const GaugeInfo& g);
// Whether a name can be a gauge's: 1 to 10 printable ASCII characters, not all blank.
bool validGaugeName(const QString& name);
} // namespace assigning

// A gauge's calibration versions, oldest first (as calibrationVersions gives them); `ok` false
// on an SQLite error.
std::vector<CalibrationVersion> gaugeVersions(sqlite3* db, qint64 gauge, bool* ok);

// Judging the readings inside the caller's transaction (ArchiveJudge.cpp): what is stored is
// always what a fresh judgement of each gauge's whole history gives. False on an SQLite error.
namespace judging {
// Judges these gauges' whole histories again.
bool rejudge(sqlite3* db, const std::vector<qint64>& gauges);
bool rejudgeAll(sqlite3* db);
// The gauges a slot's assignments name (any time).
bool gaugesOfSlot(sqlite3* db, qint64 slot, std::vector<qint64>* gauges);
// Before and after a change of a slot's assignments: the slot's marks go (readings that no
// assignment covers any more keep none), and every gauge it had or has is judged again.
bool rejudgeSlot(sqlite3* db, qint64 slot, const std::vector<qint64>& gaugesBefore);
// What a store added to one slot: readout times in [from, to] (the records of `download` among them).
struct Added {
    qint64 slot = 0;
    qint64 from = 0;
    qint64 to = 0;
};
// Judges the records a store added: each gauge they went to goes on from its last judged
// reading when it can, else is judged whole; the verdict is of the records of `download`.
bool judgeStore(sqlite3* db, qint64 download, const std::vector<Added>& added, Verdict* verdict);
} // namespace judging

// Marks a download just stored as one brought from the office (ArchiveSharing.cpp), inside the
// store's transaction.
bool keepProvenance(sqlite3* db, qint64 download, const OfficeProvenance& provenance);

// What calibration versions and level sets look like as stored (ArchiveCalibrations.cpp,
// ArchiveJudge.cpp), for what the archive shares of them.
extern const char* const kVersionColumns;
extern const char* const kVersionJoins;
CalibrationVersion versionOfRow(sqlite3_stmt* s);
bool insertVersion(sqlite3* db, qint64 gauge, const QString& code, qint64 slot, qint64 fromUtc, bool withdrawn,
                   const Calibration& c, const QDateTime& at, const QString& by, qint64* id);
bool loadSets(sqlite3* db, const std::string& where, const std::function<void(sqlite3_stmt*)>& bind,
              std::vector<LevelSet>* out);
extern const QChar kNameSeparator;
// The gauges whose assignment covers a reading (ArchiveJudge.cpp).
bool gaugesOfReading(sqlite3* db, const ReadingRef& r, std::set<qint64>* out);
// Adds a level set and its levels inside the caller's transaction.
bool insertLevelSet(sqlite3* db, qint64 gauge, const LevelSet& set, const QString& at, const QString& by, qint64* id);

} // namespace archive
