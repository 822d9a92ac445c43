// The store of a copy's records and the reads of the records by slot: the summary, a slot's
// series and the downloads.
#include "archive/Archive.h"
#include "archive/ArchiveSql.h"

#include <QDateTime>
#include <algorithm>
#include <string>
#include <unordered_map>
#ifndef Q_OS_WIN
#include <pwd.h>
#include <unistd.h>
#endif

namespace archive {

using namespace sql;

namespace {
const qint64 kLastTime = *instrumentTime("9999-12-31 23:59:59");
constexpr qint64 kMixed = std::numeric_limits<qint64>::min();
constexpr qint64 kHour = 3600;

qint64 floorDiv(qint64 a, qint64 b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }
} // namespace

std::string insertRecordsSql(int records)
{
    std::string sql = "INSERT OR IGNORE INTO records(slot, time_s, file, reading, temperature, time, download, "
                      "reading_hz, temperature_c, utc_s) VALUES ";
    for (int r = 0; r < records; ++r)
        sql += r ? ",(?,?,?,?,?,?,?,?,?,?)" : "(?,?,?,?,?,?,?,?,?,?)";
    return sql;
}

// --- Readout clocks -------------------------------------------------------------------------

QString systemZone()
{
    const QByteArray id = QTimeZone::systemTimeZoneId();
    return id.isEmpty() || !QTimeZone(id).isValid() ? QStringLiteral("UTC") : QString::fromUtf8(id);
}

QString pcUser()
{
    // The environment first (what the session says), then the account itself: a cron job or a
    // service may run without USER.
    for (const char* name : {"USER", "USERNAME", "LOGNAME"}) {
        const QString user = qEnvironmentVariable(name);
        if (!user.isEmpty())
            return user;
    }
#ifndef Q_OS_WIN
    if (const passwd* account = ::getpwuid(::geteuid()))
        return QString::fromLocal8Bit(account->pw_name);
#endif
    return {};
}

QString unnamedReadoutName() { return QStringLiteral("未命名仪器"); }

ZoneClock::ZoneClock(const QString& zone, const std::vector<ZoneChange>& changes)
{
    m_zones.push_back(Zone{QTimeZone(zone.toUtf8()), kSinceEver});
    for (const ZoneChange& c : changes)
        m_zones.push_back(Zone{QTimeZone(c.timeZone.toUtf8()), c.fromUtc});
    std::stable_sort(m_zones.begin() + 1, m_zones.end(), [](const Zone& a, const Zone& b) { return a.from < b.from; });
}

qint64 ZoneClock::compute(qint64 readoutTime) const
{
    const QDateTime asRead = QDateTime::fromSecsSinceEpoch(readoutTime, QTimeZone::utc());
    // The zone the time was read in: the first whose instant for it comes before the next change.
    for (size_t i = 0; i < m_zones.size(); ++i) {
        const QTimeZone& zone = m_zones[i].zone.isValid() ? m_zones[i].zone : QTimeZone(QTimeZone::utc());
        const qint64 utc = QDateTime(asRead.date(), asRead.time(), zone).toSecsSinceEpoch();
        if (i + 1 == m_zones.size() || utc < m_zones[i + 1].from)
            return utc;
    }
    return readoutTime;
}

qint64 ZoneClock::utc(qint64 readoutTime)
{
    const qint64 hour = floorDiv(readoutTime, kHour);
    if (hour == m_lastHour && m_lastOffset != kMixed)
        return readoutTime - m_lastOffset;
    qint64 offset;
    if (const auto found = m_offsets.find(hour); found != m_offsets.end()) {
        offset = found->second;
    } else {
        // An hour whose start and end have one offset has it throughout (zones change on the hour
        // or the half hour at most once an hour); an hour with a change is computed each time.
        const qint64 start = hour * kHour;
        const qint64 first = start - compute(start);
        const qint64 last = start + kHour - 1 - compute(start + kHour - 1);
        offset = first == last ? first : kMixed;
        m_offsets.emplace(hour, offset);
    }
    m_lastHour = hour;
    m_lastOffset = offset;
    return offset == kMixed ? compute(readoutTime) : readoutTime - offset;
}

std::optional<ZoneClock> zoneClockOf(sqlite3* db, qint64 readout, bool* ok)
{
    std::optional<QString> zone;
    std::vector<ZoneChange> changes;
    if (!readRows(
            db, "SELECT time_zone FROM readouts WHERE id = ?1", nullptr,
            [&](sqlite3_stmt* s) { sqlite3_bind_int64(s, 1, readout); },
            [&](sqlite3_stmt* s) { zone = columnText(s, 0); }) ||
        !readRows(
            db, "SELECT zone, from_utc FROM readout_zones WHERE readout = ?1 ORDER BY from_utc", nullptr,
            [&](sqlite3_stmt* s) { sqlite3_bind_int64(s, 1, readout); },
            [&](sqlite3_stmt* s) { changes.push_back(ZoneChange{columnText(s, 0), sqlite3_column_int64(s, 1)}); })) {
        *ok = false;
        return std::nullopt;
    }
    if (!zone)
        return std::nullopt;
    return ZoneClock(*zone, changes);
}

// --- The store ------------------------------------------------------------------------------

std::optional<StoreResult> Archive::store(const std::vector<Record>& records, const QDateTime& downloadedAt,
                                          const CopyOrigin& origin, Error* error)
{
    return store(recordSource(records), downloadedAt, origin, error);
}

std::optional<StoreResult> Archive::store(const RecordSource& next, const QDateTime& downloadedAt,
                                          const CopyOrigin& origin, Error* error)
{
    if (m->readOnly) {
        setError(error, ErrorKind::WriteFailed, QStringLiteral("%1: opened for reading only").arg(m->path));
        return std::nullopt;
    }
    if (origin.readout <= 0) {
        setError(error, ErrorKind::WriteFailed,
                 QStringLiteral("no readout given: a copy is stored under the readout it was read from"));
        return std::nullopt;
    }
    sqlite3* db = m->db.get();
    sqlite3_stmt* download = m->insertDownload.get();
    sqlite3_stmt* finish = m->finishDownload.get();
    const Patience& patience = m->waiter->patience;
    StoreResult result;
    const qint64 readout = origin.readout;
    const qint64 aheadBeyond = QDateTime::currentSecsSinceEpoch() + kHour;

    // The partition of the copy, unless its records are of several.
    QByteArray partition;
    bool onePartition = true;

    // What the records added bring to each slot, and where a reading ahead of the PC's clock
    // was offered.
    struct SlotState {
        qint64 id = 0;
        bool recount = false;
        qint64 count = 0;
        bool timed = false;
        qint64 first = 0;
        qint64 last = 0;
        bool touched = false;
        std::optional<qint64> aheadFrom;                  // the oldest time offered that is ahead
        std::optional<std::pair<qint64, qint64>> offered; // the span of the times offered
        std::optional<std::pair<qint64, qint64>> keys;    // and of the keys' times (odd ones too)
    };
    std::unordered_map<std::string, SlotState> slotStates; // "partition\0code"
    std::unordered_map<std::string, qint64> files;
    std::unordered_map<std::string, qint64> oddTimes;
    std::string key;
    sqlite3_int64 downloadId = 0;
    bool cancelled = false;
    QString refused;

    // The texts of one statement's records, as UTF-8 one after the other; they are bound
    // without a copy (SQLITE_STATIC) once all are in, and stay until the statement has run.
    std::string texts;
    texts.reserve(kRecordsPerInsert * 32);
    struct Slice {
        size_t offset = 0;
        size_t length = 0;
    };
    struct Row {
        SlotState* slot = nullptr;
        qint64 time = 0;
        qint64 file = 0;
        Slice reading, temperature, oddTime;
        bool odd = false;
        std::optional<double> hz, c;
        qint64 utc = 0;
    };
    Row rows[kRecordsPerInsert];

    Statement findSlots(db, "SELECT partition, code, id FROM slots WHERE readout = ?1");
    Statement findFile(db, "SELECT id FROM files WHERE name = ?1");
    Statement addFile(db, "INSERT INTO files(name) VALUES(?1)");
    Statement findOdd(db, "SELECT id FROM odd_times WHERE text = ?1");
    Statement addOdd(db, "INSERT INTO odd_times(text) VALUES(?1)");
    Statement addToSlot(db, "UPDATE slots SET count = count + ?2, "
                            "first_s = CASE WHEN ?3 IS NULL THEN first_s WHEN first_s IS NULL OR ?3 < first_s "
                            "THEN ?3 ELSE first_s END, "
                            "last_s = CASE WHEN ?4 IS NULL THEN last_s WHEN last_s IS NULL OR ?4 > last_s "
                            "THEN ?4 ELSE last_s END WHERE id = ?1");
    Statement recountSlot(db, "UPDATE slots SET count = (SELECT count(*) FROM records WHERE slot = ?1), "
                              "first_s = (SELECT min(time_s) FROM records WHERE slot = ?1 AND time_s >= " KTM_FIRST_TIME "), "
                              "last_s = (SELECT max(time_s) FROM records WHERE slot = ?1 AND time_s >= " KTM_FIRST_TIME ") "
                              "WHERE id = ?1");
    Statement newestAhead(db, "SELECT max(utc_s) FROM records WHERE slot = ?1 AND time_s >= ?2 AND download = ?3");
    Statement beforeInstallation(
        db, "SELECT DISTINCT g.name FROM assignments a JOIN gauges g ON g.id = a.gauge "
            "WHERE a.slot = ?1 AND g.installed IS NOT NULL AND EXISTS(SELECT 1 FROM records r WHERE r.slot = ?1 "
            "AND r.time_s >= max(a.from_t, " KTM_FIRST_TIME ") "
            "AND r.time_s < min(a.to_t, CAST(strftime('%s', g.installed) AS INTEGER)) AND r.download = ?2)");

    const auto idOf = [&](std::unordered_map<std::string, qint64>& cache, sqlite3_stmt* find, sqlite3_stmt* add,
                          QByteArrayView text) -> qint64 {
        key.assign(text.data() ? text.data() : "", size_t(text.size()));
        if (const auto found = cache.find(key); found != cache.end())
            return found->second;
        sqlite3_bind_text(find, 1, key.data(), int(key.size()), SQLITE_STATIC);
        qint64 id = 0;
        const int rc = sqlite3_step(find);
        if (rc == SQLITE_ROW)
            id = sqlite3_column_int64(find, 0);
        sqlite3_reset(find);
        if (rc != SQLITE_ROW && rc != SQLITE_DONE)
            return 0;
        if (id == 0) {
            sqlite3_bind_text(add, 1, key.data(), int(key.size()), SQLITE_STATIC);
            if (!step(add))
                return 0;
            id = sqlite3_last_insert_rowid(db);
        }
        cache.emplace(key, id);
        return id;
    };

    const auto bindAndRun = [&](sqlite3_stmt* stmt, int count) {
        const char* base = texts.data();
        for (int i = 0; i < count; ++i) {
            const Row& r = rows[i];
            const int p = i * kRecordParameters;
            sqlite3_bind_int64(stmt, p + 1, r.slot->id);
            sqlite3_bind_int64(stmt, p + 2, r.time);
            sqlite3_bind_int64(stmt, p + 3, r.file);
            sqlite3_bind_text(stmt, p + 4, base + r.reading.offset, int(r.reading.length), SQLITE_STATIC);
            sqlite3_bind_text(stmt, p + 5, base + r.temperature.offset, int(r.temperature.length), SQLITE_STATIC);
            if (r.odd)
                sqlite3_bind_text(stmt, p + 6, base + r.oddTime.offset, int(r.oddTime.length), SQLITE_STATIC);
            else
                sqlite3_bind_null(stmt, p + 6);
            sqlite3_bind_int64(stmt, p + 7, downloadId);
            if (r.hz)
                sqlite3_bind_double(stmt, p + 8, *r.hz);
            else
                sqlite3_bind_null(stmt, p + 8);
            if (r.c)
                sqlite3_bind_double(stmt, p + 9, *r.c);
            else
                sqlite3_bind_null(stmt, p + 9);
            if (r.odd)
                sqlite3_bind_null(stmt, p + 10);
            else
                sqlite3_bind_int64(stmt, p + 10, r.utc);
        }
        if (!step(stmt))
            return false;
        // Where every record of the statement was added, what each brings to its slot is known
        // here; where only some were, their slots are counted again at the end.
        const int changed = sqlite3_changes(db);
        result.added += changed;
        if (changed == 0)
            return true;
        for (int i = 0; i < count; ++i) {
            SlotState& a = *rows[i].slot;
            a.touched = true;
            if (changed != count) {
                a.recount = true;
                continue;
            }
            ++a.count;
            if (!rows[i].odd) {
                const qint64 t = rows[i].time;
                a.first = a.timed ? std::min(a.first, t) : t;
                a.last = a.timed ? std::max(a.last, t) : t;
                a.timed = true;
            }
        }
        return true;
    };

    const std::optional<QString> failed = inTransaction(db, [&] {
        if (!findSlots || !findFile || !addFile || !findOdd || !addOdd || !addToSlot || !recountSlot || !newestAhead ||
            !beforeInstallation)
            return false;
        bool ok = true;
        std::optional<ZoneClock> clock = zoneClockOf(db, readout, &ok);
        if (!clock) {
            if (ok)
                refused = QStringLiteral("readout %1 is not in the archive").arg(readout);
            return false;
        }
        // The copy's component list first: the records it brings go to the gauges it names.
        if (origin.names && !assigning::observe(db, readout, *origin.names, &result.assignmentsChanged))
            return false;
        sqlite3_bind_int64(findSlots.get(), 1, readout);
        while (sqlite3_step(findSlots.get()) == SQLITE_ROW) {
            key = columnText(findSlots.get(), 0).toStdString();
            key.push_back('\0');
            key += columnText(findSlots.get(), 1).toStdString();
            slotStates[key].id = sqlite3_column_int64(findSlots.get(), 2);
        }
        sqlite3_reset(findSlots.get());

        if (downloadedAt.isValid())
            bindText(download, 1, downloadedAt.toUTC().toString(Qt::ISODateWithMs));
        else
            sqlite3_bind_null(download, 1);
        sqlite3_bind_null(download, 2);
        sqlite3_bind_int64(download, 3, 0);
        sqlite3_bind_int64(download, 4, readout);
        if (!step(download))
            return false;
        downloadId = sqlite3_last_insert_rowid(db);

        // One statement's records at a time, each read from the source once.
        RecordView r;
        int count = 0;
        bool more = true;
        SlotState* lastSlot = nullptr;
        std::string lastSlotKey;
        QByteArray lastFile;
        qint64 lastFileId = 0;
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
                Row& row = rows[count++];
                key.assign(r.partition.data() ? r.partition.data() : "", size_t(r.partition.size()));
                key.push_back('\0');
                key.append(r.code.data() ? r.code.data() : "", size_t(r.code.size()));
                if (!lastSlot || key != lastSlotKey) {
                    SlotState& s = slotStates[key];
                    if (s.id == 0) {
                        s.id = assigning::slotId(db, readout, QString::fromUtf8(r.partition), QString::fromUtf8(r.code));
                        if (s.id == 0)
                            return false;
                    }
                    lastSlot = &s;
                    lastSlotKey = key;
                }
                row.slot = lastSlot;
                if (lastFileId == 0 || r.file != QByteArrayView(lastFile)) {
                    lastFileId = idOf(files, findFile.get(), addFile.get(), r.file);
                    if (lastFileId == 0)
                        return false;
                    lastFile = r.file.toByteArray();
                }
                row.file = lastFileId;
                row.reading = add(r.reading);
                row.temperature = add(r.temperature);
                row.hz = readingHz(r.reading);
                row.c = temperatureC(r.temperature);
                if (const std::optional<qint64> t = instrumentTime(r.time)) {
                    row.odd = false;
                    row.time = *t;
                    row.utc = clock->utc(*t);
                    auto& span = lastSlot->offered;
                    span = span ? std::pair(std::min(span->first, *t), std::max(span->second, *t)) : std::pair(*t, *t);
                    if (row.utc > aheadBeyond)
                        lastSlot->aheadFrom = std::min(lastSlot->aheadFrom.value_or(*t), *t);
                } else {
                    row.odd = true;
                    const qint64 id = idOf(oddTimes, findOdd.get(), addOdd.get(), r.time);
                    if (id == 0)
                        return false;
                    row.time = kOddTimes - id;
                    row.oddTime = add(r.time);
                }
                auto& keys = lastSlot->keys;
                keys = keys ? std::pair(std::min(keys->first, row.time), std::max(keys->second, row.time))
                            : std::pair(row.time, row.time);
            }
            if (count == kRecordsPerInsert) {
                if (!bindAndRun(m->insertRecords.get(), count))
                    return false;
            } else {
                // The rest one by one: their texts are slices of the same buffer.
                for (int i = 0; i < count; ++i) {
                    if (i)
                        rows[0] = rows[i];
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
        // Where the records added lie, so that the download's records are found again by range.
        Statement span(db, "INSERT INTO download_spans(download, slot, from_s, to_s) VALUES(?1, ?2, ?3, ?4)");
        if (!span)
            return false;
        for (const auto& [which, a] : slotStates) {
            if (!a.touched || !a.keys)
                continue;
            sqlite3_bind_int64(span.get(), 1, downloadId);
            sqlite3_bind_int64(span.get(), 2, a.id);
            sqlite3_bind_int64(span.get(), 3, a.keys->first);
            sqlite3_bind_int64(span.get(), 4, a.keys->second);
            if (!step(span.get()))
                return false;
        }
        if (m->fromOffice && !keepProvenance(db, downloadId, *m->fromOffice))
            return false;
        QStringList before;
        for (const auto& [which, a] : slotStates) {
            if (!a.touched)
                continue;
            if (a.recount) {
                sqlite3_bind_int64(recountSlot.get(), 1, a.id);
                if (!step(recountSlot.get()))
                    return false;
            } else {
                sqlite3_stmt* s = addToSlot.get();
                sqlite3_bind_int64(s, 1, a.id);
                sqlite3_bind_int64(s, 2, a.count);
                for (int i : {3, 4}) {
                    if (a.timed)
                        sqlite3_bind_int64(s, i, i == 3 ? a.first : a.last);
                    else
                        sqlite3_bind_null(s, i);
                }
                if (!step(s))
                    return false;
            }
            // The clock guard, over the records this store added.
            if (a.aheadFrom) {
                sqlite3_stmt* s = newestAhead.get();
                sqlite3_bind_int64(s, 1, a.id);
                sqlite3_bind_int64(s, 2, *a.aheadFrom);
                sqlite3_bind_int64(s, 3, downloadId);
                if (sqlite3_step(s) == SQLITE_ROW && sqlite3_column_type(s, 0) != SQLITE_NULL) {
                    const qint64 newest = sqlite3_column_int64(s, 0);
                    if (newest > aheadBeyond) {
                        result.clock.ahead = true;
                        result.clock.newestUtc = std::max(result.clock.newestUtc, newest);
                    }
                }
                sqlite3_reset(s);
            }
            sqlite3_stmt* s = beforeInstallation.get();
            sqlite3_bind_int64(s, 1, a.id);
            sqlite3_bind_int64(s, 2, downloadId);
            int rc;
            while ((rc = sqlite3_step(s)) == SQLITE_ROW)
                before << columnText(s, 0);
            sqlite3_reset(s);
            if (rc != SQLITE_DONE)
                return false;
        }
        before.removeDuplicates();
        before.sort();
        result.clock.beforeInstallation = before;
        // The readings added judged, in the same transaction: a store that fails keeps no marks.
        std::vector<judging::Added> added;
        for (const auto& [which, a] : slotStates)
            if (a.touched && a.offered)
                added.push_back(judging::Added{a.id, a.offered->first, a.offered->second});
        return judging::judgeStore(db, downloadId, added, &result.verdict);
    });
    // No statement keeps a pointer into the texts above.
    sqlite3_clear_bindings(m->insertRecords.get());
    sqlite3_clear_bindings(m->insertRecord.get());
    if (failed) {
        const bool stopped = cancelled || m->waiter->gaveUp;
        m->waiter->gaveUp = false;
        setError(error, stopped ? ErrorKind::Cancelled : ErrorKind::WriteFailed, refused.isEmpty() ? *failed : refused);
        return std::nullopt;
    }
    return result;
}

// --- Reads by slot --------------------------------------------------------------------------

std::vector<SeriesSummary> Archive::summary(Error* error) const
{
    std::vector<SeriesSummary> out;
    if (!readRows(m->db.get(),
                  "SELECT r.name, s.partition, s.code, s.count, s.first_s, s.last_s FROM slots s "
                  "JOIN readouts r ON r.id = s.readout WHERE s.count > 0 ORDER BY r.name, s.partition, s.code",
                  error, [&](sqlite3_stmt* s) {
                      out.push_back(SeriesSummary{columnText(s, 0), columnText(s, 1), columnText(s, 2),
                                                  sqlite3_column_int64(s, 3), sqlite3_column_int64(s, 4),
                                                  sqlite3_column_int64(s, 5)});
                  }))
        return {};
    return out;
}

std::vector<Point> Archive::series(const QString& partition, const QString& code, qint64 from, qint64 to,
                                   Error* error) const
{
    return series(QString(), partition, code, from, to, error);
}

std::vector<Point> Archive::series(const QString& readout, const QString& partition, const QString& code, qint64 from,
                                   qint64 to, Error* error) const
{
    std::vector<Point> out;
    // Every time there is lies in years 1 to 9999; the key's range of them leaves out the texts
    // that are not times, which lie below.
    from = std::max(from, kFirstTime);
    to = std::min(to, kLastTime);
    if (from > to)
        return out;
    const auto bind = [&](sqlite3_stmt* s) {
        bindText(s, 1, partition);
        bindText(s, 2, code);
        sqlite3_bind_int64(s, 3, from);
        sqlite3_bind_int64(s, 4, to);
        bindText(s, 5, readout);
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
                  "SELECT r.time_s, r.reading_hz, r.temperature_c FROM slots s "
                  "JOIN records r ON r.slot = s.id AND r.time_s BETWEEN ?3 AND ?4 "
                  "WHERE s.partition = ?1 AND s.code = ?2 "
                  "AND (?5 = '' OR s.readout = (SELECT id FROM readouts WHERE name = ?5)) "
                  "AND r.reading_hz IS NOT NULL ORDER BY r.time_s, s.readout, r.file",
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

} // namespace archive
