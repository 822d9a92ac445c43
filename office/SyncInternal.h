#pragma once

#include "office/Sync.h"

#include <QHash>
#include <QJsonObject>

// What the parts of a sync (Sync.cpp, SyncPush.cpp, SyncPull.cpp) share: the sync's state, the
// office's ids of what the archive names, and small helpers for statements and their parameters.
namespace office::sync {

// The office's ids of the archive's slots, files and times that are not times, by the archive's
// own ids and by name, made in the office as needed.
struct OfficeIds {
    bool made = false;
    QHash<qint64, qint64> slotOf;      // local slot id -> office slot id
    QHash<qint64, qint64> fileOf;      // local file id -> office file id
    QHash<qint64, qint64> oddOf;       // local odd time id -> office odd time id
    QHash<QString, qint64> slotByName; // slotKey(readout, partition, code)
    QHash<QString, qint64> fileByName;
    QHash<QString, qint64> oddByText;
};

QString slotKey(const QString& readout, const QString& partition, const QString& code);

struct Context {
    archive::Archive& archive;
    PgConnection& conn;
    const SyncOptions& options;
    SyncResult& result;
    Failure* failure;
    qint64 source = 0; // this archive's row in ktm520.sources (0: none yet, a read-only user)
    QString identity;
    QHash<QString, qint64> readouts; // lower-case name -> office id
    QHash<QString, qint64> sites;    // name -> office id
    QHash<QString, qint64> gauges;   // name -> office id
    OfficeIds ids;

    bool cancelled();
    void progress(SyncProgress::Step step, qint64 done = 0, qint64 total = 0);
    bool fail(FailureKind kind, const QString& detail);
    bool local(const archive::Error& error); // a failure of the archive: Local
    std::optional<PgResult> query(const char* sql, const std::vector<Param>& params = {});
    bool exec(const char* sql);
};

// An open server transaction, rolled back unless committed.
class Transaction {
public:
    explicit Transaction(Context& ctx);
    ~Transaction();
    bool ok() const { return m_open; }
    bool commit();

private:
    Context& m_ctx;
    bool m_open = false;
};

// Parameters in text format.
Param text(const QString& value);
Param textOrNull(const QString& value);
Param number(qint64 value);
Param real(double value);
Param boolean(bool value);
Param instant(const QDateTime& utc); // NULL when invalid
// A text[] or bigint[] literal.
Param textArray(const QStringList& values);
Param numberArray(const std::vector<qint64>& values);
// Milliseconds since 1970 (as selected with KTM_MS) as a UTC time; invalid for NULL.
QDateTime instantOf(const PgResult& r, int row, int column);
#define KTM_MS(col) "(extract(epoch from " col ") * 1000)::bigint"

// The rows a statement changed (INSERT/UPDATE/DELETE).
qint64 changedRows(const PgResult& result);

// The time in the office's key of a reading's time text: its readout time, or the key of its
// odd_times row.
constexpr qint64 kOfficeOddTimes = -62135596801;

// The office's ids of readouts, sites, gauges and slots, made as needed (outside any transaction,
// so that syncs running at once never wait on each other's made rows in a cycle).
bool ensureReadouts(Context& ctx, bool write);
std::optional<qint64> ensureSite(Context& ctx, const QString& name);
// A gauge the office does not hold yet is made as a placeholder (revision 0) that the first push
// of its register row fills without a conflict.
std::optional<qint64> ensureGauge(Context& ctx, const QString& name);
bool ensureIds(Context& ctx);
std::optional<qint64> ensureSlot(Context& ctx, const QString& readout, const QString& partition, const QString& code);

// The steps.
bool pushRegister(Context& ctx);
bool pushAssignments(Context& ctx);
bool pushDownloads(Context& ctx);
bool pushVersions(Context& ctx);
bool pushMasksAndAcknowledgements(Context& ctx);
bool pushJudgements(Context& ctx);
bool pull(Context& ctx);

// The conflicts' words (SyncTexts.cpp): what an edit set, as it differs from the other.
QString gaugeEditText(const archive::GaugeInfo& edit, const archive::GaugeInfo& other);
QString assignmentsText(const std::vector<archive::Assignment>& assignments);
QString calibrationText(const archive::CalibrationVersion& version);
QString levelSetText(const archive::LevelSet& set);

// Register rows, assignments and versions as jsonb for ktm520.conflicts.
QJsonObject gaugeJson(const archive::GaugeInfo& info);
QByteArray json(const QJsonObject& object);

} // namespace office::sync
