// What the archive shares with an office database: its identity and the office it is bound to,
// the ledger of what was sent, and its downloads, register rows, assignments, versions, masks,
// acknowledgements and judgements as they leave it, with those of other PCs as they come in.
// The edits themselves are counted by the schema's triggers (Archive.cpp, version 6), so that
// every way of making one counts; what comes from the office is marked as sent where it is
// brought in, in the same transaction.
#include "archive/Archive.h"
#include "archive/ArchiveSql.h"

#include <QHash>
#include <set>

namespace archive {

using namespace sql;

namespace {

QString utcText(const QDateTime& at) { return at.isValid() ? at.toUTC().toString(Qt::ISODateWithMs) : QString(); }
QDateTime utcOf(const QString& text)
{
    return text.isEmpty() ? QDateTime() : QDateTime::fromString(text, Qt::ISODateWithMs).toUTC();
}

void bindOptionalText(sqlite3_stmt* s, int index, const QString& text)
{
    if (text.isNull())
        sqlite3_bind_null(s, index);
    else
        bindText(s, index, text);
}

// One value of `sharing` or `office_notes`; nullopt when not set, `ok` false on an SQLite error.
std::optional<QString> valueOf(sqlite3* db, const char* sql, const QString& key, Error* error, bool* ok = nullptr)
{
    std::optional<QString> out;
    if (!readRows(
            db, sql, error, [&](sqlite3_stmt* s) { bindText(s, 1, key); },
            [&](sqlite3_stmt* s) { out = columnText(s, 0); })) {
        if (ok)
            *ok = false;
        return std::nullopt;
    }
    return out;
}
constexpr const char* kSharingValue = "SELECT value FROM sharing WHERE key = ?1";

bool runWith(sqlite3* db, const char* sql, const std::function<void(sqlite3_stmt*)>& bind)
{
    Statement s(db, sql);
    if (!s)
        return false;
    bind(s.get());
    return step(s.get());
}

// The text of a reading's time as received: the record's own text where it kept one, the text
// that is not a time, or the canonical text of its time.
QString timeTextOf(sqlite3_stmt* s, int timeColumn, int recordText, int oddText)
{
    if (sqlite3_column_type(s, recordText) != SQLITE_NULL)
        return columnText(s, recordText);
    const qint64 time = sqlite3_column_int64(s, timeColumn);
    if (time < kFirstTime)
        return columnText(s, oddText);
    return instrumentTimeText(time);
}

// The columns that name a reading (readout, partition, file, code, time as received) of a row
// of `alias` keyed by (slot, time_s, file); the joins that give them.
#define KTM_KEY_COLUMNS(alias) "r.name, s.partition, f.name, s.code, " alias ".time_s, x.time, o.text"
#define KTM_KEY_JOINS(alias)                                                                                   \
    " JOIN slots s ON s.id = " alias ".slot JOIN readouts r ON r.id = s.readout JOIN files f ON f.id = " alias \
    ".file LEFT JOIN records x ON x.slot = " alias ".slot AND x.time_s = " alias ".time_s AND x.file = " alias \
    ".file LEFT JOIN odd_times o ON " alias ".time_s < " KTM_FIRST_TIME " AND o.id = " KTM_FIRST_TIME          \
    " - 1 - " alias ".time_s "

ReadingKey keyOfRow(sqlite3_stmt* s, int first)
{
    return ReadingKey{columnText(s, first), columnText(s, first + 1), columnText(s, first + 2),
                      columnText(s, first + 3), timeTextOf(s, first + 4, first + 5, first + 6)};
}

std::optional<qint64> idOf(sqlite3* db, const char* sql, const QString& text, bool* ok)
{
    return oneNumber(
        db, sql, [&](sqlite3_stmt* s) { bindText(s, 1, text); }, ok);
}

// A readout by name, made (in the PC's zone) when `make` and the archive does not know it; 0 when
// not known, nullopt on an SQLite error.
std::optional<qint64> readoutOf(sqlite3* db, const QString& name, bool make)
{
    bool ok = true;
    if (const std::optional<qint64> id = idOf(db, "SELECT id FROM readouts WHERE name = ?1", name, &ok))
        return id;
    if (!ok)
        return std::nullopt;
    if (!make || name.trimmed().isEmpty())
        return 0;
    if (!runWith(db, "INSERT INTO readouts(name, time_zone) VALUES(?1, ?2)", [&](sqlite3_stmt* s) {
            bindText(s, 1, name);
            bindText(s, 2, systemZone());
        }))
        return std::nullopt;
    return sqlite3_last_insert_rowid(db);
}

// A name of `files` or `odd_times` by its id, made when new; 0 on an SQLite error.
qint64 nameId(sqlite3* db, const char* table, const char* column, const QString& name)
{
    bool ok = true;
    const std::string find = std::string("SELECT id FROM ") + table + " WHERE " + column + " = ?1";
    if (const std::optional<qint64> id = idOf(db, find.c_str(), name, &ok))
        return *id;
    const std::string add = std::string("INSERT INTO ") + table + "(" + column + ") VALUES(?1)";
    if (!ok || !runWith(db, add.c_str(), [&](sqlite3_stmt* s) { bindText(s, 1, name); }))
        return 0;
    return sqlite3_last_insert_rowid(db);
}

// A reading's key in the archive's ids, what it names made known; nullopt when its readout is
// not known here (`ok` stays true) or on an SQLite error (`ok` false).
std::optional<ReadingRef> localKey(sqlite3* db, const ReadingKey& k, bool* ok)
{
    const std::optional<qint64> readout = readoutOf(db, k.readout, false);
    if (!readout || *readout == 0) {
        *ok = readout.has_value();
        return std::nullopt;
    }
    ReadingRef out;
    out.slot = assigning::slotId(db, *readout, k.partition, k.code);
    out.file = nameId(db, "files", "name", k.file);
    if (const std::optional<qint64> t = instrumentTime(k.time)) {
        out.time = *t;
    } else {
        const qint64 odd = nameId(db, "odd_times", "text", k.time);
        out.time = kOddTimes - odd;
        if (odd == 0)
            out.slot = 0;
    }
    if (out.slot == 0 || out.file == 0) {
        *ok = false;
        return std::nullopt;
    }
    return out;
}

// Versions sent, by their uids, in one write.
bool markUidsSent(sqlite3* db, const char* sql, const QStringList& uids, Error* error)
{
    return write(db, error, [&](QString*) {
        Statement mark(db, sql);
        if (!mark)
            return false;
        for (const QString& uid : uids) {
            bindText(mark.get(), 1, uid);
            if (!step(mark.get()))
                return false;
        }
        return true;
    });
}

std::vector<qint64> listOf(const std::set<qint64>& ids) { return std::vector<qint64>(ids.begin(), ids.end()); }

} // namespace

bool keepProvenance(sqlite3* db, qint64 download, const OfficeProvenance& p)
{
    return runWith(db,
                   "UPDATE downloads SET from_office = 1, office_id = ?2, source = ?3, pc = ?4, pc_user = ?5 "
                   "WHERE id = ?1",
                   [&](sqlite3_stmt* s) {
                       sqlite3_bind_int64(s, 1, download);
                       sqlite3_bind_int64(s, 2, p.officeDownload);
                       bindText(s, 3, p.source);
                       bindText(s, 4, p.pc);
                       bindText(s, 5, p.user);
                   });
}

// --- Identity, the office bound and the sync's notes -----------------------------------------

QString Archive::identity(Error* error) const
{
    return valueOf(m->db.get(), kSharingValue, QStringLiteral("identity"), error).value_or(QString());
}

QString Archive::boundOffice(Error* error) const
{
    return valueOf(m->db.get(), kSharingValue, QStringLiteral("office"), error).value_or(QString());
}

bool Archive::bindOffice(const QString& officeId, Error* error)
{
    sqlite3* db = m->db.get();
    return write(db, error, [&](QString*) {
        bool ok = true;
        if (valueOf(db, kSharingValue, QStringLiteral("office"), nullptr, &ok) == officeId)
            return true; // bound already: nothing to forget
        if (!ok)
            return false;
        // Everything goes again to another office; what it holds already, it skips.
        static const char* const forget[] = {
            "DELETE FROM sharing WHERE key = 'legacy_sent'",
            "DELETE FROM office_notes",
            "UPDATE downloads SET office_id = NULL WHERE office_id IS NOT NULL",
            "UPDATE gauges SET revision = 0, sent_edits = 0, judged_sent = 0, judged_whole = 1, marks_sent_utc = NULL",
            "UPDATE slots SET asg_revision = 0, asg_sent_edits = 0",
            "UPDATE calibration_versions SET sent = 0",
            "UPDATE level_sets SET sent = 0",
            "UPDATE masks SET sent = 0",
            "UPDATE acknowledgements SET sent = 0",
        };
        for (const char* sql : forget)
            if (!exec(db, sql))
                return false;
        m->judgedRead.clear();
        return runWith(db, "INSERT OR REPLACE INTO sharing(key, value) VALUES('office', ?1)",
                       [&](sqlite3_stmt* s) { bindText(s, 1, officeId); });
    });
}

QString Archive::officeNote(const QString& key, Error* error) const
{
    return valueOf(m->db.get(), "SELECT value FROM office_notes WHERE key = ?1", key, error).value_or(QString());
}

bool Archive::setOfficeNote(const QString& key, const QString& value, Error* error)
{
    sqlite3* db = m->db.get();
    return write(db, error, [&](QString*) {
        return runWith(db, "INSERT OR REPLACE INTO office_notes(key, value) VALUES(?1, ?2)", [&](sqlite3_stmt* s) {
            bindText(s, 1, key);
            bindText(s, 2, value);
        });
    });
}

// --- Downloads and their records ------------------------------------------------------------

std::vector<PendingDownload> Archive::unsentDownloads(Error* error) const
{
    sqlite3* db = m->db.get();
    std::vector<PendingDownload> out;
    // Records from before downloads were kept: one download of id 0, of the readout of the first.
    bool ok = true;
    const qint64 legacy = valueOf(db, kSharingValue, QStringLiteral("legacy_records"), error, &ok).value_or("0").toLongLong();
    if (!ok)
        return {};
    if (legacy > 0 && !valueOf(db, kSharingValue, QStringLiteral("legacy_sent"), error, &ok) && ok) {
        PendingDownload d;
        d.received = d.added = d.records = legacy;
        if (!readRows(
                db,
                "SELECT r.name FROM records x JOIN slots s ON s.id = x.slot JOIN readouts r ON r.id = s.readout "
                "WHERE x.download IS NULL LIMIT 1",
                error, [&](sqlite3_stmt* s) { d.readout = columnText(s, 0); }))
            return {};
        out.push_back(d);
    }
    if (!ok)
        return {};
    if (!readRows(db,
                  "SELECT d.id, d.at, coalesce(r.name, ''), d.partition, d.received, d.added, d.held FROM downloads d "
                  "LEFT JOIN readouts r ON r.id = d.readout WHERE d.office_id IS NULL AND d.from_office = 0 "
                  "AND d.held > 0 ORDER BY d.id",
                  error, [&](sqlite3_stmt* s) {
                      PendingDownload d;
                      d.id = sqlite3_column_int64(s, 0);
                      d.at = utcOf(columnText(s, 1));
                      d.readout = columnText(s, 2);
                      d.partition = columnText(s, 3);
                      d.received = sqlite3_column_int64(s, 4);
                      d.added = sqlite3_column_int64(s, 5);
                      d.records = sqlite3_column_int64(s, 6);
                      out.push_back(d);
                  }))
        return {};
    return out;
}

qint64 Archive::readingsWaiting(Error* error) const
{
    qint64 total = 0;
    for (const PendingDownload& d : unsentDownloads(error))
        total += d.records;
    return total;
}

std::vector<SlotName> Archive::slotNames(Error* error) const
{
    std::vector<SlotName> out;
    if (!readRows(m->db.get(),
                  "SELECT s.id, r.name, s.partition, s.code FROM slots s JOIN readouts r ON r.id = s.readout ORDER BY s.id",
                  error, [&](sqlite3_stmt* s) {
                      out.push_back(SlotName{sqlite3_column_int64(s, 0), columnText(s, 1), columnText(s, 2), columnText(s, 3)});
                  }))
        return {};
    return out;
}

std::vector<NamedId> Archive::fileNames(Error* error) const
{
    std::vector<NamedId> out;
    if (!readRows(m->db.get(), "SELECT id, name FROM files ORDER BY id", error,
                  [&](sqlite3_stmt* s) { out.push_back(NamedId{sqlite3_column_int64(s, 0), columnText(s, 1)}); }))
        return {};
    return out;
}

std::vector<NamedId> Archive::oddTimes(Error* error) const
{
    std::vector<NamedId> out;
    if (!readRows(m->db.get(), "SELECT id, text FROM odd_times ORDER BY id", error,
                  [&](sqlite3_stmt* s) { out.push_back(NamedId{sqlite3_column_int64(s, 0), columnText(s, 1)}); }))
        return {};
    return out;
}

bool Archive::recordsOfDownload(qint64 download, const std::function<bool(const SharedRecord&)>& each,
                                Error* error) const
{
    sqlite3* db = m->db.get();
    bool stopped = false;
    const auto give = [&](sqlite3_stmt* s) {
        if (stopped)
            return;
        const auto view = [&](int column) {
            const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(s, column));
            return QByteArrayView(text, text ? sqlite3_column_bytes(s, column) : 0);
        };
        const auto optionalReal = [&](int column) {
            return sqlite3_column_type(s, column) == SQLITE_NULL ? std::nullopt
                                                                 : std::optional<double>(sqlite3_column_double(s, column));
        };
        SharedRecord r;
        r.slot = sqlite3_column_int64(s, 0);
        r.time = sqlite3_column_int64(s, 1);
        r.file = sqlite3_column_int64(s, 2);
        r.reading = view(3);
        r.temperature = view(4);
        r.timeText = view(5);
        r.readingHz = optionalReal(6);
        r.temperatureC = optionalReal(7);
        if (sqlite3_column_type(s, 8) != SQLITE_NULL)
            r.utc = sqlite3_column_int64(s, 8);
        if (!each(r))
            stopped = true;
    };
#define KTM_SHARED_RECORD "SELECT slot, time_s, file, reading, temperature, time, reading_hz, temperature_c, utc_s FROM records "
    QString failure;
    const std::optional<QString> failed = inTransaction(
        db,
        [&] {
            struct Span {
                qint64 slot, from, to;
            };
            std::vector<Span> spans;
            if (download != 0 &&
                !readRows(
                    db, "SELECT slot, from_s, to_s FROM download_spans WHERE download = ?1 ORDER BY slot", nullptr,
                    [&](sqlite3_stmt* s) { sqlite3_bind_int64(s, 1, download); },
                    [&](sqlite3_stmt* s) {
                        spans.push_back(Span{sqlite3_column_int64(s, 0), sqlite3_column_int64(s, 1),
                                             sqlite3_column_int64(s, 2)});
                    }))
                return false;
            if (spans.empty()) {
                // Stored before spans were kept (or records from before downloads): the table read whole.
                const char* sql = download == 0 ? KTM_SHARED_RECORD "WHERE download IS NULL ORDER BY slot, time_s, file"
                                                : KTM_SHARED_RECORD "WHERE download = ?1 ORDER BY slot, time_s, file";
                return readRows(
                    db, sql, nullptr, [&](sqlite3_stmt* s) { sqlite3_bind_int64(s, 1, download); }, give);
            }
            Statement range(db, KTM_SHARED_RECORD "WHERE slot = ?1 AND time_s >= ?2 AND time_s <= ?3 AND download = ?4 "
                                                  "ORDER BY time_s, file");
            if (!range)
                return false;
            for (const Span& span : spans) {
                sqlite3_stmt* s = range.get();
                sqlite3_bind_int64(s, 1, span.slot);
                sqlite3_bind_int64(s, 2, span.from);
                sqlite3_bind_int64(s, 3, span.to);
                sqlite3_bind_int64(s, 4, download);
                int rc;
                while (!stopped && (rc = sqlite3_step(s)) == SQLITE_ROW)
                    give(s);
                sqlite3_reset(s);
                if (stopped)
                    return true;
                if (rc != SQLITE_DONE)
                    return false;
            }
            return true;
        },
        "BEGIN");
#undef KTM_SHARED_RECORD
    if (failed) {
        setError(error, ErrorKind::ReadFailed, *failed);
        return false;
    }
    return !stopped;
}

bool Archive::markDownloadSent(qint64 download, qint64 officeDownload, Error* error)
{
    sqlite3* db = m->db.get();
    return write(db, error, [&](QString*) {
        if (download == 0)
            return runWith(db, "INSERT OR REPLACE INTO sharing(key, value) VALUES('legacy_sent', ?1)",
                           [&](sqlite3_stmt* s) { sqlite3_bind_int64(s, 1, officeDownload); });
        return runWith(db, "UPDATE downloads SET office_id = ?2 WHERE id = ?1", [&](sqlite3_stmt* s) {
            sqlite3_bind_int64(s, 1, download);
            sqlite3_bind_int64(s, 2, officeDownload);
        });
    });
}

std::vector<qint64> Archive::officeDownloads(Error* error) const
{
    std::vector<qint64> out;
    if (!readRows(m->db.get(),
                  "SELECT office_id FROM downloads WHERE office_id IS NOT NULL UNION "
                  "SELECT CAST(value AS INTEGER) FROM sharing WHERE key = 'legacy_sent' ORDER BY 1",
                  error, [&](sqlite3_stmt* s) { out.push_back(sqlite3_column_int64(s, 0)); }))
        return {};
    return out;
}

std::optional<StoreResult> Archive::storeFromOffice(const std::vector<Record>& records, const QString& readout,
                                                    const OfficeProvenance& provenance, Error* error)
{
    std::optional<Readout> known = this->readout(readout, error);
    if (!known) {
        if (error && !error->detail.isEmpty())
            return std::nullopt;
        known = addReadout(readout, QString(), error);
        if (!known && !(known = this->readout(readout))) // made meanwhile by another program
            return std::nullopt;
    }
    struct Keep {
        Impl& impl;
        ~Keep() { impl.fromOffice = nullptr; }
    } keep{*m};
    m->fromOffice = &provenance;
    return store(records, provenance.downloadedAt, CopyOrigin{known->id, std::nullopt}, error);
}

// --- Register rows ---------------------------------------------------------------------------

std::vector<SharedGauge> Archive::changedGauges(Error* error) const
{
    std::vector<SharedGauge> out;
    const QString user = pcUser();
    if (!readRows(m->db.get(),
                  "SELECT g.name, g.type, g.unit, coalesce(t.name, ''), g.location, g.installed, g.interval_days, "
                  "g.notes, g.revision, g.edits, g.edited_at, g.edited_by FROM gauges g "
                  "LEFT JOIN sites t ON t.id = g.site WHERE g.edits > g.sent_edits ORDER BY g.name",
                  error, [&](sqlite3_stmt* s) {
                      SharedGauge g;
                      g.info.name = columnText(s, 0);
                      g.info.type = columnText(s, 1);
                      g.info.unit = columnText(s, 2);
                      g.info.site = columnText(s, 3);
                      g.info.location = columnText(s, 4);
                      g.info.installed = QDate::fromString(columnText(s, 5), Qt::ISODate);
                      g.info.intervalDays = sqlite3_column_int(s, 6);
                      g.info.notes = columnText(s, 7);
                      g.revision = sqlite3_column_int64(s, 8);
                      g.localEdit = sqlite3_column_int64(s, 9);
                      g.editedAt = utcOf(columnText(s, 10));
                      g.editedBy = sqlite3_column_type(s, 11) == SQLITE_NULL ? user : columnText(s, 11);
                      out.push_back(std::move(g));
                  }))
        return {};
    return out;
}

bool Archive::gaugesSent(const std::vector<SharedGauge>& sent, Error* error)
{
    sqlite3* db = m->db.get();
    return write(db, error, [&](QString*) {
        Statement mark(db, "UPDATE gauges SET revision = ?2, sent_edits = max(sent_edits, ?3) WHERE name = ?1");
        if (!mark)
            return false;
        for (const SharedGauge& g : sent) {
            bindText(mark.get(), 1, g.info.name);
            sqlite3_bind_int64(mark.get(), 2, g.revision);
            sqlite3_bind_int64(mark.get(), 3, g.localEdit);
            if (!step(mark.get()))
                return false;
        }
        return true;
    });
}

bool Archive::applySharedGauges(const std::vector<SharedGauge>& rows, Error* error)
{
    sqlite3* db = m->db.get();
    return write(db, error, [&](QString*) {
        Statement find(db, "SELECT id, revision, edits > sent_edits, type, installed FROM gauges WHERE name = ?1");
        Statement asSent(db, "UPDATE gauges SET revision = ?2, sent_edits = edits, edited_at = ?3, edited_by = ?4 "
                             "WHERE name = ?1 RETURNING id");
        if (!find || !asSent)
            return false;
        std::set<qint64> rejudge;
        for (const SharedGauge& g : rows) {
            if (!assigning::validGaugeName(g.info.name))
                continue;
            sqlite3_stmt* f = find.get();
            bindText(f, 1, g.info.name);
            const int rc = sqlite3_step(f);
            const bool known = rc == SQLITE_ROW;
            const bool older = known && sqlite3_column_int64(f, 1) >= g.revision;
            const bool editedHere = known && sqlite3_column_int(f, 2) != 0;
            const bool judgingChanges =
                !known || columnText(f, 3) != g.info.type || QDate::fromString(columnText(f, 4), Qt::ISODate) != g.info.installed;
            sqlite3_reset(f);
            if (rc != SQLITE_ROW && rc != SQLITE_DONE)
                return false;
            // A row edited here since it was last sent waits for the next push, which decides.
            if (older || editedHere)
                continue;
            if (!assigning::writeGaugeRow(db, g.info))
                return false;
            sqlite3_stmt* s = asSent.get();
            bindText(s, 1, g.info.name);
            sqlite3_bind_int64(s, 2, g.revision);
            bindOptionalText(s, 3, utcText(g.editedAt).isEmpty() ? QString() : utcText(g.editedAt));
            bindText(s, 4, g.editedBy);
            const int applied = sqlite3_step(s);
            const qint64 id = applied == SQLITE_ROW ? sqlite3_column_int64(s, 0) : 0;
            sqlite3_reset(s);
            if (applied != SQLITE_ROW)
                return false;
            if (judgingChanges)
                rejudge.insert(id);
        }
        return judging::rejudge(db, listOf(rejudge));
    });
}

// --- Calibration versions and level sets -----------------------------------------------------

std::vector<SharedCalibration> Archive::unsentCalibrationVersions(Error* error) const
{
    std::vector<SharedCalibration> out;
    const std::string sql = std::string("SELECT ") + kVersionColumns + ", v.uid, coalesce(v.based_on, '')" +
                            kVersionJoins + "WHERE v.sent = 0 ORDER BY v.id";
    if (!readRows(m->db.get(), sql.c_str(), error, [&](sqlite3_stmt* s) {
            out.push_back(SharedCalibration{versionOfRow(s), columnText(s, 21), columnText(s, 22)});
        }))
        return {};
    return out;
}

bool Archive::calibrationVersionsSent(const QStringList& uids, Error* error)
{
    return markUidsSent(m->db.get(), "UPDATE calibration_versions SET sent = 1 WHERE uid = ?1", uids, error);
}

bool Archive::importCalibrationVersions(const std::vector<SharedCalibration>& versions, Error* error)
{
    sqlite3* db = m->db.get();
    return write(db, error, [&](QString*) {
        Statement keep(db, "UPDATE calibration_versions SET uid = ?2, based_on = ?3, sent = 1 WHERE id = ?1");
        if (!keep)
            return false;
        std::set<qint64> rejudge;
        bool ok = true;
        for (const SharedCalibration& shared : versions) {
            const CalibrationVersion& v = shared.version;
            if (shared.uid.isEmpty() || idOf(db, "SELECT id FROM calibration_versions WHERE uid = ?1", shared.uid, &ok))
                continue;
            if (!ok)
                return false;
            qint64 gauge = 0;
            qint64 slot = 0;
            if (!v.gauge.isEmpty()) {
                if (!assigning::validGaugeName(v.gauge))
                    continue;
                gauge = assigning::gaugeId(db, v.gauge);
                if (gauge == 0)
                    return false;
                rejudge.insert(gauge);
            } else {
                if (v.code.isEmpty())
                    continue;
                if (!v.readout.isEmpty()) {
                    const std::optional<qint64> readout = readoutOf(db, v.readout, true);
                    if (!readout)
                        return false;
                    // The slot of that code the archive knows, else one in the code's partition.
                    const std::optional<qint64> known = oneNumber(
                        db, "SELECT id FROM slots WHERE readout = ?1 AND code = ?2 ORDER BY id LIMIT 1",
                        [&](sqlite3_stmt* s) {
                            sqlite3_bind_int64(s, 1, *readout);
                            bindText(s, 2, v.code);
                        },
                        &ok);
                    slot = known ? *known : assigning::slotId(db, *readout, v.code.left(1), v.code);
                    if (!ok || slot == 0)
                        return false;
                }
                if (!readRows(
                        db,
                        "SELECT DISTINCT a.gauge FROM assignments a JOIN slots s ON s.id = a.slot "
                        "WHERE s.code = ?1 AND (?2 = 0 OR s.id = ?2)",
                        nullptr,
                        [&](sqlite3_stmt* s) {
                            bindText(s, 1, v.code);
                            sqlite3_bind_int64(s, 2, slot);
                        },
                        [&](sqlite3_stmt* s) { rejudge.insert(sqlite3_column_int64(s, 0)); }))
                    return false;
            }
            qint64 id = 0;
            if (!insertVersion(db, gauge, v.code, slot, v.fromUtc, v.withdrawn, v.values, v.enteredAt, v.enteredBy, &id))
                return false;
            bindText(keep.get(), 2, shared.uid);
            bindOptionalText(keep.get(), 3, shared.basedOn.isEmpty() ? QString() : shared.basedOn);
            sqlite3_bind_int64(keep.get(), 1, id);
            if (!step(keep.get()))
                return false;
        }
        return judging::rejudge(db, listOf(rejudge));
    });
}

std::vector<SharedLevelSet> Archive::unsentLevelSets(Error* error) const
{
    sqlite3* db = m->db.get();
    std::vector<LevelSet> sets;
    QHash<qint64, std::pair<QString, QString>> uids;
    if (!loadSets(
            db, "s.sent = 0", [](sqlite3_stmt*) {}, &sets) ||
        !readRows(db, "SELECT id, uid, coalesce(based_on, '') FROM level_sets WHERE sent = 0", nullptr,
                  [&](sqlite3_stmt* s) {
                      uids.insert(sqlite3_column_int64(s, 0), {columnText(s, 1), columnText(s, 2)});
                  })) {
        setError(error, ErrorKind::ReadFailed, message(db));
        return {};
    }
    std::sort(sets.begin(), sets.end(), [](const LevelSet& a, const LevelSet& b) { return a.id < b.id; });
    std::vector<SharedLevelSet> out;
    for (LevelSet& set : sets) {
        const auto [uid, basedOn] = uids.value(set.id);
        out.push_back(SharedLevelSet{std::move(set), uid, basedOn});
    }
    return out;
}

bool Archive::levelSetsSent(const QStringList& uids, Error* error)
{
    return markUidsSent(m->db.get(), "UPDATE level_sets SET sent = 1 WHERE uid = ?1", uids, error);
}

bool Archive::importLevelSets(const std::vector<SharedLevelSet>& sets, Error* error)
{
    sqlite3* db = m->db.get();
    return write(db, error, [&](QString*) {
        Statement keep(db, "UPDATE level_sets SET uid = ?2, based_on = ?3, sent = 1 WHERE id = ?1");
        if (!keep)
            return false;
        std::set<qint64> rejudge;
        bool ok = true;
        for (const SharedLevelSet& shared : sets) {
            const LevelSet& set = shared.set;
            if (shared.uid.isEmpty() || !assigning::validGaugeName(set.gauge) ||
                idOf(db, "SELECT id FROM level_sets WHERE uid = ?1", shared.uid, &ok))
                continue;
            if (!ok)
                return false;
            const qint64 gauge = assigning::gaugeId(db, set.gauge);
            if (gauge == 0)
                return false;
            qint64 id = 0;
            const QDateTime at = set.enteredAt.isValid() ? set.enteredAt : QDateTime::currentDateTimeUtc();
            if (!insertLevelSet(db, gauge, set, utcText(at), set.enteredBy, &id))
                return false;
            bindText(keep.get(), 2, shared.uid);
            bindOptionalText(keep.get(), 3, shared.basedOn.isEmpty() ? QString() : shared.basedOn);
            sqlite3_bind_int64(keep.get(), 1, id);
            if (!step(keep.get()))
                return false;
            rejudge.insert(gauge);
        }
        return judging::rejudge(db, listOf(rejudge));
    });
}

// --- Slot assignments ------------------------------------------------------------------------

std::vector<SharedAssignments> Archive::changedAssignments(Error* error) const
{
    sqlite3* db = m->db.get();
    std::vector<std::pair<qint64, SharedAssignments>> changed;
    const QString user = pcUser();
    if (!readRows(db,
                  "SELECT s.id, r.name, s.partition, s.code, s.asg_revision, s.asg_edits, s.asg_edited_at, "
                  "s.asg_edited_by FROM slots s JOIN readouts r ON r.id = s.readout "
                  "WHERE s.asg_edits > s.asg_sent_edits ORDER BY s.id",
                  error, [&](sqlite3_stmt* s) {
                      SharedAssignments a;
                      a.readout = columnText(s, 1);
                      a.partition = columnText(s, 2);
                      a.code = columnText(s, 3);
                      a.revision = sqlite3_column_int64(s, 4);
                      a.localEdit = sqlite3_column_int64(s, 5);
                      a.editedAt = utcOf(columnText(s, 6));
                      a.editedBy = sqlite3_column_type(s, 7) == SQLITE_NULL ? user : columnText(s, 7);
                      changed.emplace_back(sqlite3_column_int64(s, 0), std::move(a));
                  }))
        return {};
    Statement intervals(db, "SELECT a.id, g.name, a.from_t, a.to_t, a.by_hand FROM assignments a "
                            "JOIN gauges g ON g.id = a.gauge WHERE a.slot = ?1 ORDER BY a.from_t, a.id");
    if (!intervals) {
        setError(error, ErrorKind::ReadFailed, message(db));
        return {};
    }
    std::vector<SharedAssignments> out;
    for (auto& [slot, shared] : changed) {
        sqlite3_stmt* s = intervals.get();
        sqlite3_bind_int64(s, 1, slot);
        int rc;
        while ((rc = sqlite3_step(s)) == SQLITE_ROW) {
            Assignment a;
            a.id = sqlite3_column_int64(s, 0);
            a.readout = shared.readout;
            a.partition = shared.partition;
            a.code = shared.code;
            a.gauge = columnText(s, 1);
            a.from = sqlite3_column_int64(s, 2);
            a.to = sqlite3_column_int64(s, 3);
            a.byHand = sqlite3_column_int(s, 4) != 0;
            shared.assignments.push_back(std::move(a));
        }
        sqlite3_reset(s);
        if (rc != SQLITE_DONE) {
            setError(error, ErrorKind::ReadFailed, message(db));
            return {};
        }
        out.push_back(std::move(shared));
    }
    return out;
}

bool Archive::assignmentsSent(const std::vector<SharedAssignments>& sent, Error* error)
{
    sqlite3* db = m->db.get();
    return write(db, error, [&](QString*) {
        Statement mark(db, "UPDATE slots SET asg_revision = ?4, asg_sent_edits = max(asg_sent_edits, ?5) "
                           "WHERE readout = (SELECT id FROM readouts WHERE name = ?1) AND partition = ?2 AND code = ?3");
        if (!mark)
            return false;
        for (const SharedAssignments& a : sent) {
            sqlite3_stmt* s = mark.get();
            bindText(s, 1, a.readout);
            bindText(s, 2, a.partition);
            bindText(s, 3, a.code);
            sqlite3_bind_int64(s, 4, a.revision);
            sqlite3_bind_int64(s, 5, a.localEdit);
            if (!step(s))
                return false;
        }
        return true;
    });
}

bool Archive::applySharedAssignments(const std::vector<SharedAssignments>& rows, Error* error)
{
    sqlite3* db = m->db.get();
    return write(db, error, [&](QString*) {
        Statement state(db, "SELECT asg_revision >= ?2 OR asg_edits > asg_sent_edits FROM slots WHERE id = ?1");
        Statement drop(db, "DELETE FROM assignments WHERE slot = ?1");
        Statement add(db, "INSERT INTO assignments(slot, gauge, from_t, to_t, by_hand) VALUES(?1, ?2, ?3, ?4, ?5)");
        Statement asSent(db, "UPDATE slots SET asg_revision = ?2, asg_sent_edits = asg_edits, asg_edited_at = ?3, "
                             "asg_edited_by = ?4 WHERE id = ?1");
        if (!state || !drop || !add || !asSent)
            return false;
        for (const SharedAssignments& shared : rows) {
            const std::optional<qint64> readout = readoutOf(db, shared.readout, true);
            if (!readout)
                return false;
            if (*readout == 0 || shared.code.isEmpty())
                continue;
            const qint64 slot = assigning::slotId(db, *readout, shared.partition, shared.code);
            if (slot == 0)
                return false;
            sqlite3_stmt* s = state.get();
            sqlite3_bind_int64(s, 1, slot);
            sqlite3_bind_int64(s, 2, shared.revision);
            const int rc = sqlite3_step(s);
            const bool keep = rc == SQLITE_ROW && sqlite3_column_int(s, 0) != 0;
            sqlite3_reset(s);
            if (rc != SQLITE_ROW)
                return false;
            // Not newer than what this archive has, or edited here since it was last sent.
            if (keep)
                continue;
            std::vector<qint64> before;
            if (!judging::gaugesOfSlot(db, slot, &before))
                return false;
            sqlite3_bind_int64(drop.get(), 1, slot);
            if (!step(drop.get()))
                return false;
            for (const Assignment& a : shared.assignments) {
                if (!assigning::validGaugeName(a.gauge) || a.from >= a.to)
                    continue;
                const qint64 gauge = assigning::gaugeId(db, a.gauge);
                if (gauge == 0)
                    return false;
                s = add.get();
                sqlite3_bind_int64(s, 1, slot);
                sqlite3_bind_int64(s, 2, gauge);
                sqlite3_bind_int64(s, 3, a.from);
                sqlite3_bind_int64(s, 4, a.to);
                sqlite3_bind_int(s, 5, a.byHand ? 1 : 0);
                if (!step(s))
                    return false;
            }
            s = asSent.get();
            sqlite3_bind_int64(s, 1, slot);
            sqlite3_bind_int64(s, 2, shared.revision);
            bindOptionalText(s, 3, utcText(shared.editedAt).isEmpty() ? QString() : utcText(shared.editedAt));
            bindText(s, 4, shared.editedBy);
            if (!step(s) || !judging::rejudgeSlot(db, slot, before))
                return false;
        }
        return true;
    });
}

// --- Masks and acknowledgements --------------------------------------------------------------

std::vector<SharedMask> Archive::unsentMasks(Error* error) const
{
    std::vector<SharedMask> out;
    if (!readRows(m->db.get(),
                  "SELECT " KTM_KEY_COLUMNS("m") ", m.note, m.masked_by, m.masked_at, m.lifted_by, m.lifted_at "
                                                 "FROM masks m" KTM_KEY_JOINS("m") "WHERE m.sent = 0 ORDER BY m.id",
                  error, [&](sqlite3_stmt* s) {
                      SharedMask k;
                      k.reading = keyOfRow(s, 0);
                      k.note = columnText(s, 7);
                      k.by = columnText(s, 8);
                      k.at = utcOf(columnText(s, 9));
                      k.liftedBy = columnText(s, 10);
                      k.liftedAt = utcOf(columnText(s, 11));
                      out.push_back(std::move(k));
                  }))
        return {};
    return out;
}

bool Archive::masksSent(const std::vector<SharedMask>& sent, Error* error)
{
    sqlite3* db = m->db.get();
    return write(db, error, [&](QString*) {
        // Only as it was sent: a mask lifted since stays to be sent.
        Statement mark(db, "UPDATE masks SET sent = 1 WHERE slot = ?1 AND time_s = ?2 AND file = ?3 AND masked_at = ?4 "
                           "AND lifted_at IS ?5");
        if (!mark)
            return false;
        for (const SharedMask& k : sent) {
            bool ok = true;
            const std::optional<ReadingRef> key = localKey(db, k.reading, &ok);
            if (!key) {
                if (!ok)
                    return false;
                continue;
            }
            sqlite3_stmt* s = mark.get();
            sqlite3_bind_int64(s, 1, key->slot);
            sqlite3_bind_int64(s, 2, key->time);
            sqlite3_bind_int64(s, 3, key->file);
            bindText(s, 4, utcText(k.at));
            bindOptionalText(s, 5, k.liftedAt.isValid() ? utcText(k.liftedAt) : QString());
            if (!step(s))
                return false;
        }
        return true;
    });
}

bool Archive::importMasks(const std::vector<SharedMask>& masks, Error* error)
{
    sqlite3* db = m->db.get();
    return write(db, error, [&](QString*) {
        Statement lift(db, "UPDATE masks SET lifted_by = ?5, lifted_at = ?6 WHERE slot = ?1 AND time_s = ?2 "
                           "AND file = ?3 AND masked_at = ?4 AND lifted_at IS NULL");
        Statement known(db, "SELECT 1 FROM masks WHERE slot = ?1 AND time_s = ?2 AND file = ?3 AND masked_at = ?4");
        Statement add(db, "INSERT OR IGNORE INTO masks(slot, time_s, file, note, masked_by, masked_at, lifted_by, "
                          "lifted_at, sent) VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, 1)");
        Statement asSent(db, "UPDATE masks SET sent = 1 WHERE slot = ?1 AND time_s = ?2 AND file = ?3 AND masked_at = ?4");
        if (!lift || !known || !add || !asSent)
            return false;
        std::set<qint64> rejudge;
        for (const SharedMask& k : masks) {
            if (!k.at.isValid())
                continue;
            bool ok = true;
            const std::optional<ReadingRef> key = localKey(db, k.reading, &ok);
            if (!key) {
                if (!ok)
                    return false;
                continue;
            }
            const auto bindKey = [&](sqlite3_stmt* s) {
                sqlite3_bind_int64(s, 1, key->slot);
                sqlite3_bind_int64(s, 2, key->time);
                sqlite3_bind_int64(s, 3, key->file);
                bindText(s, 4, utcText(k.at));
            };
            bindKey(known.get());
            const int rc = sqlite3_step(known.get());
            sqlite3_reset(known.get());
            if (rc != SQLITE_ROW && rc != SQLITE_DONE)
                return false;
            if (rc == SQLITE_ROW) {
                if (!k.liftedAt.isValid())
                    continue;
                bindKey(lift.get());
                bindText(lift.get(), 5, k.liftedBy);
                bindText(lift.get(), 6, utcText(k.liftedAt));
                if (!step(lift.get()))
                    return false;
                if (sqlite3_changes(db) == 0)
                    continue;
                bindKey(asSent.get());
                if (!step(asSent.get()))
                    return false;
            } else {
                // A second mask in force on one reading (masked on two PCs) is not kept twice.
                sqlite3_stmt* s = add.get();
                sqlite3_bind_int64(s, 1, key->slot);
                sqlite3_bind_int64(s, 2, key->time);
                sqlite3_bind_int64(s, 3, key->file);
                bindText(s, 4, k.note);
                bindText(s, 5, k.by);
                bindText(s, 6, utcText(k.at));
                bindOptionalText(s, 7, k.liftedAt.isValid() ? k.liftedBy : QString());
                bindOptionalText(s, 8, k.liftedAt.isValid() ? utcText(k.liftedAt) : QString());
                if (!step(s))
                    return false;
                if (sqlite3_changes(db) == 0)
                    continue;
            }
            if (!gaugesOfReading(db, *key, &rejudge))
                return false;
        }
        return judging::rejudge(db, listOf(rejudge));
    });
}

std::vector<SharedAcknowledgement> Archive::unsentAcknowledgements(Error* error) const
{
    std::vector<SharedAcknowledgement> out;
    if (!readRows(m->db.get(),
                  "SELECT g.name, a.utc, a.to_status, a.note, a.by, a.at FROM acknowledgements a "
                  "JOIN gauges g ON g.id = a.gauge WHERE a.sent = 0 ORDER BY g.name, a.utc, a.to_status",
                  error, [&](sqlite3_stmt* s) {
                      out.push_back(SharedAcknowledgement{columnText(s, 0), sqlite3_column_int64(s, 1),
                                                          sqlite3_column_int(s, 2), columnText(s, 3), columnText(s, 4),
                                                          utcOf(columnText(s, 5))});
                  }))
        return {};
    return out;
}

bool Archive::acknowledgementsSent(const std::vector<SharedAcknowledgement>& sent, Error* error)
{
    sqlite3* db = m->db.get();
    return write(db, error, [&](QString*) {
        // As it was sent: one acknowledged again since stays to be sent.
        Statement mark(db, "UPDATE acknowledgements SET sent = 1 WHERE gauge = (SELECT id FROM gauges WHERE name = ?1) "
                           "AND utc = ?2 AND to_status = ?3 AND at = ?4");
        if (!mark)
            return false;
        for (const SharedAcknowledgement& a : sent) {
            sqlite3_stmt* s = mark.get();
            bindText(s, 1, a.gauge);
            sqlite3_bind_int64(s, 2, a.utc);
            sqlite3_bind_int(s, 3, a.toStatus);
            bindText(s, 4, utcText(a.at));
            if (!step(s))
                return false;
        }
        return true;
    });
}

bool Archive::importAcknowledgements(const std::vector<SharedAcknowledgement>& acks, Error* error)
{
    sqlite3* db = m->db.get();
    return write(db, error, [&](QString*) {
        // The first acknowledgement of a transition stands; this archive's own is not replaced.
        Statement add(db, "INSERT OR IGNORE INTO acknowledgements(gauge, utc, to_status, note, by, at, sent) "
                          "VALUES(?1, ?2, ?3, ?4, ?5, ?6, 1)");
        if (!add)
            return false;
        for (const SharedAcknowledgement& a : acks) {
            if (!assigning::validGaugeName(a.gauge))
                continue;
            const qint64 gauge = assigning::gaugeId(db, a.gauge);
            if (gauge == 0)
                return false;
            sqlite3_stmt* s = add.get();
            sqlite3_bind_int64(s, 1, gauge);
            sqlite3_bind_int64(s, 2, a.utc);
            sqlite3_bind_int(s, 3, a.toStatus);
            bindText(s, 4, a.note);
            bindText(s, 5, a.by);
            bindText(s, 6, utcText(a.at.isValid() ? a.at : QDateTime::currentDateTimeUtc()));
            if (!step(s))
                return false;
        }
        return true;
    });
}

// --- Judgements ------------------------------------------------------------------------------

QStringList Archive::gaugesJudgedSinceSent(Error* error) const
{
    QStringList out;
    if (!readRows(m->db.get(), "SELECT name FROM gauges WHERE judged > judged_sent ORDER BY name", error,
                  [&](sqlite3_stmt* s) { out << columnText(s, 0); }))
        return {};
    return out;
}

std::vector<SharedMark> Archive::marksOf(const QString& gauge, Error* error) const
{
    return marksToSend(gauge, nullptr, error);
}

// `since` null: every mark; else as marksToSend says.
std::vector<SharedMark> Archive::marksToSend(const QString& gauge, std::optional<qint64>* since, Error* error) const
{
    sqlite3* db = m->db.get();
    std::vector<SharedMark> out;
    Impl::JudgedRead read;
    bool known = false;
    std::optional<qint64> after;
    // The marks, the count of judgements they are of and the last judged reading, read together.
    const std::optional<QString> failed = inTransaction(
        db,
        [&] {
            if (!readRows(
                    db,
                    "SELECT g.judged, j.utc, g.judged_whole OR g.marks_sent_utc IS NULL, g.marks_sent_utc "
                    "FROM gauges g LEFT JOIN judge_state j ON j.gauge = g.id WHERE g.name = ?1",
                    nullptr, [&](sqlite3_stmt* s) { bindText(s, 1, gauge); },
                    [&](sqlite3_stmt* s) {
                        known = true;
                        read.judged = sqlite3_column_int64(s, 0);
                        if (sqlite3_column_type(s, 1) != SQLITE_NULL)
                            read.utc = sqlite3_column_int64(s, 1);
                        if (since && sqlite3_column_int(s, 2) == 0)
                            after = sqlite3_column_int64(s, 3);
                    }))
                return false;
            return readRows(
                db,
                "SELECT " KTM_KEY_COLUMNS("k") ", k.status, k.level, k.flags FROM marks k "
                                               "JOIN assignments a ON a.slot = k.slot AND k.time_s >= a.from_t AND k.time_s < a.to_t "
                                               "JOIN gauges g ON g.id = a.gauge" KTM_KEY_JOINS("k") "WHERE g.name = ?1 AND (?2 IS NULL OR x.utc_s > ?2) "
                                                                                                    "ORDER BY k.slot, k.time_s, k.file",
                nullptr,
                [&](sqlite3_stmt* s) {
                    bindText(s, 1, gauge);
                    if (after)
                        sqlite3_bind_int64(s, 2, *after);
                    else
                        sqlite3_bind_null(s, 2);
                },
                [&](sqlite3_stmt* s) {
                    SharedMark k;
                    k.reading = keyOfRow(s, 0);
                    k.status = sqlite3_column_int(s, 7);
                    k.level = sqlite3_column_int(s, 8);
                    k.flags = std::uint16_t(sqlite3_column_int(s, 9));
                    out.push_back(std::move(k));
                });
        },
        "BEGIN");
    if (failed) {
        setError(error, ErrorKind::ReadFailed, *failed);
        return {};
    }
    if (since)
        *since = after;
    if (known)
        m->judgedRead[gauge.toStdString()] = read;
    return out;
}

bool Archive::judgementsSent(const QStringList& gauges, Error* error)
{
    sqlite3* db = m->db.get();
    return write(db, error, [&](QString*) {
        // As far as what was read: a gauge judged again since stays to be sent, and one judged
        // whole since stays to be sent whole.
        Statement mark(db, "UPDATE gauges SET judged_sent = max(judged_sent, ?2), marks_sent_utc = ?3, "
                           "judged_whole = CASE WHEN judged = ?2 THEN 0 ELSE judged_whole END WHERE name = ?1");
        if (!mark)
            return false;
        for (const QString& name : gauges) {
            const auto read = m->judgedRead.find(name.toStdString());
            if (read == m->judgedRead.end())
                continue;
            bindText(mark.get(), 1, name);
            sqlite3_bind_int64(mark.get(), 2, read->second.judged);
            if (read->second.utc)
                sqlite3_bind_int64(mark.get(), 3, *read->second.utc);
            else
                sqlite3_bind_null(mark.get(), 3);
            if (!step(mark.get()))
                return false;
        }
        for (const QString& name : gauges)
            m->judgedRead.erase(name.toStdString());
        return true;
    });
}

#undef KTM_KEY_COLUMNS
#undef KTM_KEY_JOINS

} // namespace archive
