// Readouts, their zones and devices, the gauge register and sites, the slot assignments and
// what is read of the records through them (a gauge's series and history, a slot's unassigned
// readings).
#include "archive/Archive.h"
#include "archive/ArchiveSql.h"

#include <QTimeZone>
#include <algorithm>
#include <map>
#include <set>
#include <tuple>

namespace archive {

using namespace sql;

namespace {

const qint64 kLastTime = *instrumentTime("9999-12-31 23:59:59");

bool validZone(const QString& zone) { return !zone.isEmpty() && QTimeZone(zone.toUtf8()).isValid(); }

const auto noBind = [](sqlite3_stmt*) {};

// One assignment of a slot, as stored.
struct Range {
    qint64 id = 0;
    qint64 gauge = 0;
    qint64 from = kSinceEver;
    qint64 to = kUntilNow;
    bool byHand = false;
};

std::vector<Range> rangesOfSlot(sqlite3* db, qint64 slot, bool* ok)
{
    std::vector<Range> out;
    if (!readRows(
            db, "SELECT id, gauge, from_t, to_t, by_hand FROM assignments WHERE slot = ?1 ORDER BY from_t", nullptr,
            [&](sqlite3_stmt* s) { sqlite3_bind_int64(s, 1, slot); },
            [&](sqlite3_stmt* s) {
                out.push_back(Range{sqlite3_column_int64(s, 0), sqlite3_column_int64(s, 1), sqlite3_column_int64(s, 2),
                                    sqlite3_column_int64(s, 3), sqlite3_column_int(s, 4) != 0});
            }))
        *ok = false;
    return out;
}

// Just after the newest record with a time the archive holds of the slot; since ever when none.
std::optional<qint64> afterNewest(sqlite3* db, qint64 slot, bool* ok)
{
    const std::optional<qint64> last = oneNumber(
        db, "SELECT last_s FROM slots WHERE id = ?1", [&](sqlite3_stmt* s) { sqlite3_bind_int64(s, 1, slot); }, ok);
    return last ? std::optional<qint64>(*last + 1) : std::nullopt;
}

// Ends the slot's open assignment at `at` (taken out when it would cover nothing).
bool closeOpen(sqlite3* db, qint64 slot, qint64 at)
{
    Statement drop(db, "DELETE FROM assignments WHERE slot = ?1 AND to_t = ?2 AND from_t >= ?3");
    Statement close(db, "UPDATE assignments SET to_t = ?3 WHERE slot = ?1 AND to_t = ?2");
    if (!drop || !close)
        return false;
    for (sqlite3_stmt* s : {drop.get(), close.get()}) {
        sqlite3_bind_int64(s, 1, slot);
        sqlite3_bind_int64(s, 2, kUntilNow);
        sqlite3_bind_int64(s, 3, at);
        if (!step(s))
            return false;
    }
    return true;
}

bool openAssignment(sqlite3* db, qint64 slot, qint64 gauge, qint64 from, qint64 to, bool byHand)
{
    Statement add(db, "INSERT INTO assignments(slot, gauge, from_t, to_t, by_hand) VALUES(?1, ?2, ?3, ?4, ?5)");
    if (!add)
        return false;
    sqlite3_bind_int64(add.get(), 1, slot);
    sqlite3_bind_int64(add.get(), 2, gauge);
    sqlite3_bind_int64(add.get(), 3, from);
    sqlite3_bind_int64(add.get(), 4, to);
    sqlite3_bind_int(add.get(), 5, byHand ? 1 : 0);
    return step(add.get());
}

std::optional<qint64> readoutId(sqlite3* db, const QString& name, bool* ok)
{
    return oneNumber(
        db, "SELECT id FROM readouts WHERE name = ?1", [&](sqlite3_stmt* s) { bindText(s, 1, name); }, ok);
}

std::optional<qint64> gaugeByName(sqlite3* db, const QString& name, bool* ok)
{
    return oneNumber(
        db, "SELECT id FROM gauges WHERE name = ?1", [&](sqlite3_stmt* s) { bindText(s, 1, name); }, ok);
}

// The records of a slot in readout time [from, to) with a time, read in key order, narrowed to
// the UTC instants [fromUtc, toUtc] (a readout's clock is at most a day off UTC), each with what
// judging it found: the sparse marks and the masks of the same range of the key, read in the same
// order and laid beside the records as they go.
bool readRange(sqlite3* db, qint64 slot, qint64 readout, const QString& code, qint64 from, qint64 to, qint64 fromUtc,
               qint64 toUtc, std::vector<GaugePoint>* out, Error* error)
{
    constexpr qint64 kDay = 86400;
    qint64 lo = std::max(from, kFirstTime);
    qint64 hi = to == kUntilNow ? kLastTime : std::min(to - 1, kLastTime);
    if (fromUtc > kFirstTime + kDay)
        lo = std::max(lo, fromUtc - kDay);
    if (toUtc < kLastTime - kDay)
        hi = std::min(hi, toUtc + kDay);
    if (lo > hi)
        return true;
    const size_t start = out->size();
    const auto bindRange = [&](sqlite3_stmt* s) {
        sqlite3_bind_int64(s, 1, slot);
        sqlite3_bind_int64(s, 2, lo);
        sqlite3_bind_int64(s, 3, hi);
    };
    if (!readRows(
            db,
            "SELECT time_s, utc_s, reading_hz, temperature_c, file FROM records WHERE slot = ?1 "
            "AND time_s BETWEEN ?2 AND ?3 AND utc_s BETWEEN ?4 AND ?5 AND reading_hz IS NOT NULL ORDER BY time_s, file",
            error,
            [&](sqlite3_stmt* s) {
                bindRange(s);
                sqlite3_bind_int64(s, 4, fromUtc);
                sqlite3_bind_int64(s, 5, toUtc);
            },
            [&](sqlite3_stmt* s) {
                GaugePoint p;
                p.time = sqlite3_column_int64(s, 0);
                p.utc = sqlite3_column_int64(s, 1);
                p.readingHz = sqlite3_column_double(s, 2);
                p.hasTemperature = sqlite3_column_type(s, 3) != SQLITE_NULL;
                if (p.hasTemperature)
                    p.temperatureC = sqlite3_column_double(s, 3);
                p.file = sqlite3_column_int64(s, 4);
                p.slot = slot;
                p.readout = readout;
                p.code = code;
                out->push_back(std::move(p));
            }))
        return false;
    if (out->size() == start)
        return true;
    // The points are in key order (time_s, file); so are the marks and the masks.
    size_t at = start;
    const auto seek = [&](qint64 time, qint64 file) -> GaugePoint* {
        while (at < out->size() && std::pair((*out)[at].time, (*out)[at].file) < std::pair(time, file))
            ++at;
        return at < out->size() && (*out)[at].time == time && (*out)[at].file == file ? &(*out)[at] : nullptr;
    };
    if (!readRows(
            db,
            "SELECT time_s, file, status, level, level_set, flags FROM marks WHERE slot = ?1 AND time_s BETWEEN ?2 AND ?3 "
            "ORDER BY time_s, file",
            error, bindRange, [&](sqlite3_stmt* s) {
                if (GaugePoint* p = seek(sqlite3_column_int64(s, 0), sqlite3_column_int64(s, 1))) {
                    p->status = std::uint8_t(sqlite3_column_int(s, 2));
                    p->level = std::int16_t(sqlite3_column_int(s, 3));
                    p->levelSet = sqlite3_column_int64(s, 4);
                    p->flags = std::uint16_t(sqlite3_column_int(s, 5));
                }
            }))
        return false;
    at = start;
    return readRows(
        db,
        "SELECT time_s, file FROM masks WHERE slot = ?1 AND time_s BETWEEN ?2 AND ?3 AND lifted_at IS NULL "
        "ORDER BY time_s, file",
        error, bindRange, [&](sqlite3_stmt* s) {
            if (GaugePoint* p = seek(sqlite3_column_int64(s, 0), sqlite3_column_int64(s, 1)))
                p->masked = true;
        });
}

// A series of several slots in the order the judge takes it: by instant, then by key.
void sortSeries(std::vector<GaugePoint>* points)
{
    const auto before = [](const GaugePoint& a, const GaugePoint& b) {
        return std::tie(a.utc, a.slot, a.time, a.file) < std::tie(b.utc, b.slot, b.time, b.file);
    };
    if (!std::is_sorted(points->begin(), points->end(), before))
        std::sort(points->begin(), points->end(), before);
}

// How many records of a slot with a time lie in readout time [from, to), and the UTC span.
struct Counted {
    qint64 count = 0;
    qint64 first = 0;
    qint64 last = 0;
};
std::optional<Counted> countRange(sqlite3* db, qint64 slot, qint64 from, qint64 to, Error* error)
{
    Counted c;
    if (!readRows(
            db,
            "SELECT count(*), min(utc_s), max(utc_s) FROM records WHERE slot = ?1 AND time_s >= ?2 AND time_s < ?3",
            error,
            [&](sqlite3_stmt* s) {
                sqlite3_bind_int64(s, 1, slot);
                sqlite3_bind_int64(s, 2, std::max(from, kFirstTime));
                sqlite3_bind_int64(s, 3, to);
            },
            [&](sqlite3_stmt* s) {
                c.count = sqlite3_column_int64(s, 0);
                c.first = sqlite3_column_int64(s, 1);
                c.last = sqlite3_column_int64(s, 2);
            }))
        return std::nullopt;
    return c;
}

} // namespace

// --- Slots and gauges inside a transaction --------------------------------------------------

namespace assigning {

bool validGaugeName(const QString& name)
{
    if (name.isEmpty() || name.size() > 10 || name.trimmed().isEmpty())
        return false;
    return std::all_of(name.begin(), name.end(), [](QChar c) { return c.unicode() >= 0x20 && c.unicode() < 0x7F; });
}

qint64 slotId(sqlite3* db, qint64 readout, const QString& partition, const QString& code)
{
    Statement add(db, "INSERT INTO slots(readout, partition, code) VALUES(?1, ?2, ?3) "
                      "ON CONFLICT(readout, partition, code) DO NOTHING");
    Statement find(db, "SELECT id FROM slots WHERE readout = ?1 AND partition = ?2 AND code = ?3");
    if (!add || !find)
        return 0;
    for (sqlite3_stmt* s : {add.get(), find.get()}) {
        sqlite3_bind_int64(s, 1, readout);
        bindText(s, 2, partition);
        bindText(s, 3, code);
    }
    if (!step(add.get()) || sqlite3_step(find.get()) != SQLITE_ROW)
        return 0;
    return sqlite3_column_int64(find.get(), 0);
}

qint64 gaugeId(sqlite3* db, const QString& name)
{
    bool ok = true;
    if (const std::optional<qint64> id = gaugeByName(db, name, &ok))
        return *id;
    Statement add(db, "INSERT INTO gauges(name) VALUES(?1)");
    if (!ok || !add)
        return 0;
    bindText(add.get(), 1, name);
    return step(add.get()) ? sqlite3_last_insert_rowid(db) : 0;
}

bool observe(sqlite3* db, qint64 readout, const ComponentNames& names, QStringList* changed)
{
    bool ok = true;
    QStringList named;
    for (const auto& [code, name] : names.entries) {
        if (code.isEmpty() || !validGaugeName(name))
            continue;
        named << code;
        const qint64 slot = slotId(db, readout, names.partition, code);
        if (slot == 0)
            return false;
        const std::optional<qint64> held = oneNumber(
            db, "SELECT a.gauge FROM assignments a WHERE a.slot = ?1 AND a.to_t = ?2",
            [&](sqlite3_stmt* s) {
                sqlite3_bind_int64(s, 1, slot);
                sqlite3_bind_int64(s, 2, kUntilNow);
            },
            &ok);
        const qint64 gauge = gaugeId(db, name);
        if (!ok || gauge == 0)
            return false;
        if (held == gauge)
            continue;
        const qint64 from = afterNewest(db, slot, &ok).value_or(kSinceEver);
        if (!ok || !closeOpen(db, slot, from) || !openAssignment(db, slot, gauge, from, kUntilNow, false))
            return false;
        if (changed)
            *changed << code;
    }
    // The partition's slots the list no longer names: what the readout held there is gone. An
    // operator's own assignment stays.
    std::vector<std::pair<qint64, QString>> open;
    if (!readRows(
            db,
            "SELECT s.id, s.code FROM slots s JOIN assignments a ON a.slot = s.id AND a.to_t = ?3 AND a.by_hand = 0 "
            "WHERE s.readout = ?1 AND s.partition = ?2 ORDER BY s.code",
            nullptr,
            [&](sqlite3_stmt* s) {
                sqlite3_bind_int64(s, 1, readout);
                bindText(s, 2, names.partition);
                sqlite3_bind_int64(s, 3, kUntilNow);
            },
            [&](sqlite3_stmt* s) { open.emplace_back(sqlite3_column_int64(s, 0), columnText(s, 1)); }))
        return false;
    for (const auto& [slot, code] : open) {
        if (named.contains(code))
            continue;
        const qint64 at = afterNewest(db, slot, &ok).value_or(kSinceEver);
        if (!ok || !closeOpen(db, slot, at))
            return false;
        if (changed)
            *changed << code;
    }
    return true;
}

} // namespace assigning

// --- Readouts -------------------------------------------------------------------------------

std::vector<Readout> Archive::readouts(Error* error) const
{
    std::vector<Readout> out;
    if (!readRows(m->db.get(), "SELECT id, name, time_zone FROM readouts ORDER BY name, id", error,
                  [&](sqlite3_stmt* s) {
                      out.push_back(Readout{sqlite3_column_int64(s, 0), columnText(s, 1), columnText(s, 2)});
                  }))
        return {};
    return out;
}

std::optional<Readout> Archive::readout(const QString& name, Error* error) const
{
    std::optional<Readout> out;
    if (!readRows(
            m->db.get(), "SELECT id, name, time_zone FROM readouts WHERE name = ?1", error,
            [&](sqlite3_stmt* s) { bindText(s, 1, name); },
            [&](sqlite3_stmt* s) { out = Readout{sqlite3_column_int64(s, 0), columnText(s, 1), columnText(s, 2)}; }))
        return std::nullopt;
    return out;
}

std::optional<Readout> Archive::addReadout(const QString& name, const QString& timeZone, Error* error)
{
    const QString zone = timeZone.isEmpty() ? systemZone() : timeZone;
    if (name.trimmed().isEmpty() || !validZone(zone)) {
        setError(error, ErrorKind::WriteFailed,
                 name.trimmed().isEmpty() ? QStringLiteral("a readout without a name")
                                          : QStringLiteral("unknown time zone %1").arg(zone));
        return std::nullopt;
    }
    sqlite3* db = m->db.get();
    Readout out{0, name.trimmed(), zone};
    if (!write(db, error, [&](QString* why) {
            bool ok = true;
            if (readoutId(db, out.name, &ok)) {
                *why = QStringLiteral("a readout named %1 exists").arg(out.name);
                return false;
            }
            Statement add(db, "INSERT INTO readouts(name, time_zone) VALUES(?1, ?2)");
            if (!ok || !add)
                return false;
            bindText(add.get(), 1, out.name);
            bindText(add.get(), 2, out.timeZone);
            if (!step(add.get()))
                return false;
            out.id = sqlite3_last_insert_rowid(db);
            return true;
        }))
        return std::nullopt;
    return out;
}

bool Archive::renameReadout(qint64 id, const QString& newName, Error* error)
{
    const QString name = newName.trimmed();
    if (name.isEmpty()) {
        setError(error, ErrorKind::WriteFailed, QStringLiteral("a readout without a name"));
        return false;
    }
    sqlite3* db = m->db.get();
    return write(db, error, [&](QString* why) {
        bool ok = true;
        if (const std::optional<qint64> taken = readoutId(db, name, &ok); taken && *taken != id) {
            *why = QStringLiteral("a readout named %1 exists").arg(name);
            return false;
        }
        Statement rename(db, "UPDATE readouts SET name = ?2 WHERE id = ?1");
        if (!ok || !rename)
            return false;
        sqlite3_bind_int64(rename.get(), 1, id);
        bindText(rename.get(), 2, name);
        if (!step(rename.get()))
            return false;
        if (sqlite3_changes(db) == 0) {
            *why = QStringLiteral("readout %1 is not in the archive").arg(id);
            return false;
        }
        return true;
    });
}

bool Archive::setReadoutZone(qint64 id, const QString& timeZone, qint64 fromUtc, Error* error)
{
    if (!validZone(timeZone)) {
        setError(error, ErrorKind::WriteFailed, QStringLiteral("unknown time zone %1").arg(timeZone));
        return false;
    }
    sqlite3* db = m->db.get();
    return write(db, error, [&](QString* why) {
        Statement add(db, "INSERT OR REPLACE INTO readout_zones(readout, from_utc, zone) VALUES(?1, ?2, ?3)");
        if (!add)
            return false;
        bool ok = true;
        if (!zoneClockOf(db, id, &ok)) {
            if (ok)
                *why = QStringLiteral("readout %1 is not in the archive").arg(id);
            return false;
        }
        sqlite3_bind_int64(add.get(), 1, id);
        sqlite3_bind_int64(add.get(), 2, fromUtc);
        bindText(add.get(), 3, timeZone);
        if (!step(add.get()))
            return false;
        std::optional<ZoneClock> clock = zoneClockOf(db, id, &ok);
        if (!clock)
            return false;
        // The readings whose instant may lie after the change, read again in the zones now known
        // (a clock is at most a day off UTC); those before it keep theirs.
        Statement read(db, "SELECT r.slot, r.time_s, r.file, r.utc_s FROM slots s JOIN records r ON r.slot = s.id "
                           "AND r.time_s >= ?2 WHERE s.readout = ?1");
        Statement update(db, "UPDATE records SET utc_s = ?4 WHERE slot = ?1 AND time_s = ?2 AND file = ?3");
        if (!read || !update)
            return false;
        sqlite3_bind_int64(read.get(), 1, id);
        sqlite3_bind_int64(read.get(), 2, std::max(kFirstTime, fromUtc > kFirstTime + 86400 ? fromUtc - 86400 : kFirstTime));
        int rc;
        std::set<qint64> moved; // slots whose readings' instants changed
        while ((rc = sqlite3_step(read.get())) == SQLITE_ROW) {
            const qint64 time = sqlite3_column_int64(read.get(), 1);
            const qint64 utc = clock->utc(time);
            if (utc == sqlite3_column_int64(read.get(), 3))
                continue;
            moved.insert(sqlite3_column_int64(read.get(), 0));
            sqlite3_bind_int64(update.get(), 1, sqlite3_column_int64(read.get(), 0));
            sqlite3_bind_int64(update.get(), 2, time);
            sqlite3_bind_int64(update.get(), 3, sqlite3_column_int64(read.get(), 2));
            sqlite3_bind_int64(update.get(), 4, utc);
            if (!step(update.get()))
                return false;
        }
        if (rc != SQLITE_DONE)
            return false;
        // Instants decide the order, the calibration and the levels that judge a reading.
        std::vector<qint64> gauges;
        for (qint64 slot : moved)
            if (!judging::gaugesOfSlot(db, slot, &gauges))
                return false;
        std::sort(gauges.begin(), gauges.end());
        gauges.erase(std::unique(gauges.begin(), gauges.end()), gauges.end());
        return judging::rejudge(db, gauges);
    });
}

std::vector<ZoneChange> Archive::zoneChanges(qint64 readout, Error* error) const
{
    std::vector<ZoneChange> out;
    if (!readRows(
            m->db.get(),
            "SELECT time_zone, NULL FROM readouts WHERE id = ?1 "
            "UNION ALL SELECT * FROM (SELECT zone, from_utc FROM readout_zones WHERE readout = ?1 ORDER BY from_utc)",
            error, [&](sqlite3_stmt* s) { sqlite3_bind_int64(s, 1, readout); },
            [&](sqlite3_stmt* s) {
                out.push_back(ZoneChange{columnText(s, 0), sqlite3_column_type(s, 1) == SQLITE_NULL
                                                               ? kSinceEver
                                                               : sqlite3_column_int64(s, 1)});
            }))
        return {};
    return out;
}

std::optional<Readout> Archive::readoutOfDevice(const QString& device, Error* error) const
{
    std::optional<Readout> out;
    if (!readRows(
            m->db.get(),
            "SELECT r.id, r.name, r.time_zone FROM devices d JOIN readouts r ON r.id = d.readout WHERE d.device = ?1",
            error, [&](sqlite3_stmt* s) { bindText(s, 1, device); },
            [&](sqlite3_stmt* s) { out = Readout{sqlite3_column_int64(s, 0), columnText(s, 1), columnText(s, 2)}; }))
        return std::nullopt;
    return out;
}

QStringList Archive::devicesOf(qint64 readout, Error* error) const
{
    QStringList out;
    if (!readRows(
            m->db.get(), "SELECT device FROM devices WHERE readout = ?1 ORDER BY device", error,
            [&](sqlite3_stmt* s) { sqlite3_bind_int64(s, 1, readout); },
            [&](sqlite3_stmt* s) { out << columnText(s, 0); }))
        return {};
    return out;
}

bool Archive::rememberDevice(const QString& device, qint64 readout, Error* error)
{
    if (device.isEmpty()) {
        setError(error, ErrorKind::WriteFailed, QStringLiteral("a device without a name"));
        return false;
    }
    sqlite3* db = m->db.get();
    return write(db, error, [&](QString* why) {
        bool ok = true;
        if (!zoneClockOf(db, readout, &ok)) {
            if (ok)
                *why = QStringLiteral("readout %1 is not in the archive").arg(readout);
            return false;
        }
        Statement keep(db, "INSERT OR REPLACE INTO devices(device, readout) VALUES(?1, ?2)");
        if (!keep)
            return false;
        bindText(keep.get(), 1, device);
        sqlite3_bind_int64(keep.get(), 2, readout);
        return step(keep.get());
    });
}

// --- Assignments ----------------------------------------------------------------------------

std::optional<QStringList> Archive::observeComponents(qint64 readout, const ComponentNames& names, Error* error)
{
    sqlite3* db = m->db.get();
    QStringList changed;
    if (!write(db, error, [&](QString* why) {
            bool ok = true;
            if (!zoneClockOf(db, readout, &ok)) {
                if (ok)
                    *why = QStringLiteral("readout %1 is not in the archive").arg(readout);
                return false;
            }
            // What the slots of the partition held before, for the gauges judged again after.
            std::vector<std::pair<qint64, QString>> slotList;
            if (!readRows(
                    db, "SELECT id, code FROM slots WHERE readout = ?1 AND partition = ?2", nullptr,
                    [&](sqlite3_stmt* s) {
                        sqlite3_bind_int64(s, 1, readout);
                        bindText(s, 2, names.partition);
                    },
                    [&](sqlite3_stmt* s) { slotList.emplace_back(sqlite3_column_int64(s, 0), columnText(s, 1)); }))
                return false;
            std::map<qint64, std::vector<qint64>> before;
            for (const auto& [slot, code] : slotList)
                if (!judging::gaugesOfSlot(db, slot, &before[slot]))
                    return false;
            if (!assigning::observe(db, readout, names, &changed))
                return false;
            for (const QString& code : changed) {
                const qint64 slot = assigning::slotId(db, readout, names.partition, code);
                if (slot == 0 || !judging::rejudgeSlot(db, slot, before[slot]))
                    return false;
            }
            return true;
        }))
        return std::nullopt;
    return changed;
}

bool Archive::assign(qint64 readout, const QString& code, const QString& gauge, qint64 from, Error* error)
{
    if (!assigning::validGaugeName(gauge)) {
        setError(error, ErrorKind::WriteFailed, QStringLiteral("%1 cannot be a gauge's name").arg(gauge));
        return false;
    }
    sqlite3* db = m->db.get();
    return write(db, error, [&](QString* why) {
        bool ok = true;
        const std::optional<qint64> slot = oneNumber(
            db, "SELECT min(id) FROM slots WHERE readout = ?1 AND code = ?2",
            [&](sqlite3_stmt* s) {
                sqlite3_bind_int64(s, 1, readout);
                bindText(s, 2, code);
            },
            &ok);
        if (!slot) {
            if (ok)
                *why = QStringLiteral("readout %1 has no slot %2").arg(readout).arg(code);
            return false;
        }
        const qint64 gaugeId = assigning::gaugeId(db, gauge);
        if (gaugeId == 0)
            return false;
        const std::vector<Range> ranges = rangesOfSlot(db, *slot, &ok);
        if (!ok)
            return false;
        qint64 to = kUntilNow;
        Statement drop(db, "DELETE FROM assignments WHERE id = ?1");
        Statement close(db, "UPDATE assignments SET to_t = ?2 WHERE id = ?1");
        if (!drop || !close)
            return false;
        for (const Range& r : ranges) {
            if (r.from > from) {
                to = std::min(to, r.from);
            } else if (r.to > from) { // covers `from`
                sqlite3_stmt* s = r.from == from ? drop.get() : close.get();
                sqlite3_bind_int64(s, 1, r.id);
                if (s == close.get())
                    sqlite3_bind_int64(s, 2, from);
                if (!step(s))
                    return false;
                to = std::min(to, r.to);
            }
        }
        // The readings that change gauges are judged again with every gauge the slot had or has.
        std::vector<qint64> before;
        for (const Range& r : ranges)
            before.push_back(r.gauge);
        return openAssignment(db, *slot, gaugeId, from, to, true) && judging::rejudgeSlot(db, *slot, before);
    });
}

std::vector<Assignment> Archive::assignments(Error* error) const
{
    std::vector<Assignment> out;
    if (!readRows(m->db.get(),
                  "SELECT a.id, r.name, s.partition, s.code, g.name, a.from_t, a.to_t, a.by_hand FROM assignments a "
                  "JOIN slots s ON s.id = a.slot JOIN readouts r ON r.id = s.readout JOIN gauges g ON g.id = a.gauge "
                  "ORDER BY r.name, s.partition, s.code, a.from_t",
                  error, [&](sqlite3_stmt* s) {
                      out.push_back(Assignment{sqlite3_column_int64(s, 0), columnText(s, 1), columnText(s, 2),
                                               columnText(s, 3), columnText(s, 4), sqlite3_column_int64(s, 5),
                                               sqlite3_column_int64(s, 6), sqlite3_column_int(s, 7) != 0});
                  }))
        return {};
    return out;
}

// --- The register and sites -----------------------------------------------------------------

namespace {

constexpr const char* kGaugeColumns = "g.name, g.type, g.unit, coalesce(t.name, ''), g.location, g.installed, "
                                      "g.interval_days, g.notes";

GaugeInfo gaugeOfRow(sqlite3_stmt* s, int at = 0)
{
    GaugeInfo g;
    g.name = columnText(s, at);
    g.type = columnText(s, at + 1);
    g.unit = columnText(s, at + 2);
    g.site = columnText(s, at + 3);
    g.location = columnText(s, at + 4);
    g.installed = QDate::fromString(columnText(s, at + 5), Qt::ISODate);
    g.intervalDays = sqlite3_column_int(s, at + 6);
    g.notes = columnText(s, at + 7);
    return g;
}

} // namespace

std::vector<GaugeInfo> Archive::gaugeRegister(Error* error) const
{
    std::vector<GaugeInfo> out;
    const std::string sql = std::string("SELECT ") + kGaugeColumns +
                            " FROM gauges g LEFT JOIN sites t ON t.id = g.site ORDER BY g.name";
    if (!readRows(m->db.get(), sql.c_str(), error, [&](sqlite3_stmt* s) { out.push_back(gaugeOfRow(s)); }))
        return {};
    return out;
}

bool assigning::writeGaugeRow(sqlite3* db, const GaugeInfo& g)
{
    Statement site(db, "INSERT INTO sites(name) VALUES(?1) ON CONFLICT(name) DO NOTHING");
    Statement upsert(db, "INSERT INTO gauges(name, type, unit, site, location, installed, interval_days, notes) "
                         "VALUES(?1, ?2, ?3, (SELECT id FROM sites WHERE name = ?4), ?5, ?6, ?7, ?8) "
                         "ON CONFLICT(name) DO UPDATE SET type = excluded.type, unit = excluded.unit, "
                         "site = excluded.site, location = excluded.location, installed = excluded.installed, "
                         "interval_days = excluded.interval_days, notes = excluded.notes");
    if (!site || !upsert)
        return false;
    if (!g.site.isEmpty()) {
        bindText(site.get(), 1, g.site);
        if (!step(site.get()))
            return false;
    }
    sqlite3_stmt* s = upsert.get();
    bindText(s, 1, g.name);
    bindText(s, 2, g.type);
    bindText(s, 3, g.unit);
    bindText(s, 4, g.site);
    bindText(s, 5, g.location);
    if (g.installed.isValid())
        bindText(s, 6, g.installed.toString(Qt::ISODate));
    else
        sqlite3_bind_null(s, 6);
    sqlite3_bind_int(s, 7, g.intervalDays);
    bindText(s, 8, g.notes);
    return step(s);
}

bool Archive::updateRegister(const std::vector<GaugeInfo>& rows, Error* error)
{
    for (const GaugeInfo& g : rows) {
        if (!assigning::validGaugeName(g.name) || g.intervalDays < 0) {
            setError(error, ErrorKind::WriteFailed,
                     g.intervalDays < 0 ? QStringLiteral("gauge %1: a negative reading interval").arg(g.name)
                                        : QStringLiteral("%1 cannot be a gauge's name").arg(g.name));
            return false;
        }
    }
    sqlite3* db = m->db.get();
    return write(db, error, [&](QString*) {
        Statement judgedBy(db, "SELECT id, type, installed FROM gauges WHERE name = ?1");
        if (!judgedBy)
            return false;
        // A gauge whose type or installation date changes is judged again.
        std::vector<qint64> changed;
        for (const GaugeInfo& g : rows) {
            sqlite3_stmt* s = judgedBy.get();
            bindText(s, 1, g.name);
            const int rc = sqlite3_step(s);
            if (rc == SQLITE_ROW &&
                (columnText(s, 1) != g.type || QDate::fromString(columnText(s, 2), Qt::ISODate) != g.installed))
                changed.push_back(sqlite3_column_int64(s, 0));
            sqlite3_reset(s);
            if (rc != SQLITE_ROW && rc != SQLITE_DONE)
                return false;
        }
        for (const GaugeInfo& g : rows)
            if (!assigning::writeGaugeRow(db, g))
                return false;
        return judging::rejudge(db, changed);
    });
}

std::vector<Site> Archive::sites(Error* error) const
{
    std::vector<Site> out;
    if (!readRows(m->db.get(), "SELECT id, name, notes FROM sites ORDER BY name", error, [&](sqlite3_stmt* s) {
            out.push_back(Site{sqlite3_column_int64(s, 0), columnText(s, 1), columnText(s, 2)});
        }))
        return {};
    return out;
}

std::vector<GaugeSummary> Archive::gauges(const QString& site, Error* error) const
{
    sqlite3* db = m->db.get();
    std::vector<GaugeSummary> out;
    std::vector<qint64> ids;
    const std::string sql = std::string("SELECT g.id, ") + kGaugeColumns +
                            " FROM gauges g LEFT JOIN sites t ON t.id = g.site "
                            "WHERE ?1 = '' OR t.name = ?1 ORDER BY coalesce(t.name, ''), g.name";
    if (!readRows(
            db, sql.c_str(), error, [&](sqlite3_stmt* s) { bindText(s, 1, site); },
            [&](sqlite3_stmt* s) {
                ids.push_back(sqlite3_column_int64(s, 0));
                out.push_back(GaugeSummary{gaugeOfRow(s, 1)});
            }))
        return {};
    for (size_t i = 0; i < out.size(); ++i) {
        GaugeSummary& g = out[i];
        struct Held {
            qint64 slot, from, to;
            QString readout, code;
        };
        std::vector<Held> held;
        if (!readRows(
                db,
                "SELECT a.slot, a.from_t, a.to_t, r.name, s.code FROM assignments a JOIN slots s ON s.id = a.slot "
                "JOIN readouts r ON r.id = s.readout WHERE a.gauge = ?1 ORDER BY a.from_t",
                error, [&](sqlite3_stmt* s) { sqlite3_bind_int64(s, 1, ids[i]); },
                [&](sqlite3_stmt* s) {
                    held.push_back(Held{sqlite3_column_int64(s, 0), sqlite3_column_int64(s, 1),
                                        sqlite3_column_int64(s, 2), columnText(s, 3), columnText(s, 4)});
                }))
            return {};
        for (const Held& h : held) {
            const std::optional<Counted> c = countRange(db, h.slot, h.from, h.to, error);
            if (!c)
                return {};
            if (c->count > 0) {
                g.firstUtc = g.count ? std::min(g.firstUtc, c->first) : c->first;
                g.lastUtc = g.count ? std::max(g.lastUtc, c->last) : c->last;
                g.count += c->count;
            }
            if (!g.readouts.contains(h.readout))
                g.readouts << h.readout;
            const QString slot = h.readout + QLatin1Char(' ') + h.code;
            if (!g.slotNames.contains(slot))
                g.slotNames << slot;
        }
    }
    return out;
}

std::vector<SlotSummary> Archive::slotSummaries(Error* error) const
{
    sqlite3* db = m->db.get();
    std::vector<SlotSummary> out;
    std::vector<qint64> ids;
    if (!readRows(db,
                  "SELECT s.id, r.name, s.partition, s.code, s.count, s.first_s, s.last_s FROM slots s "
                  "JOIN readouts r ON r.id = s.readout WHERE s.count > 0 ORDER BY r.name, s.partition, s.code",
                  error, [&](sqlite3_stmt* s) {
                      ids.push_back(sqlite3_column_int64(s, 0));
                      out.push_back(SlotSummary{columnText(s, 1), columnText(s, 2), columnText(s, 3),
                                                sqlite3_column_int64(s, 4), 0, sqlite3_column_int64(s, 5),
                                                sqlite3_column_int64(s, 6)});
                  }))
        return {};
    for (size_t i = 0; i < out.size(); ++i) {
        bool ok = true;
        const std::vector<Range> ranges = rangesOfSlot(db, ids[i], &ok);
        if (!ok) {
            setError(error, ErrorKind::ReadFailed, message(db));
            return {};
        }
        qint64 assigned = 0;
        for (const Range& r : ranges) {
            const std::optional<Counted> c = countRange(db, ids[i], r.from, r.to, error);
            if (!c)
                return {};
            assigned += c->count;
        }
        out[i].unassigned = out[i].count - assigned;
    }
    return out;
}

std::vector<GaugePoint> Archive::gaugeSeries(const QString& gauge, qint64 fromUtc, qint64 toUtc, Error* error) const
{
    sqlite3* db = m->db.get();
    std::vector<GaugePoint> out;
    struct Held {
        qint64 slot, readout, from, to;
        QString code;
    };
    std::vector<Held> held;
    if (!readRows(
            db,
            "SELECT a.slot, s.readout, a.from_t, a.to_t, s.code FROM assignments a JOIN slots s ON s.id = a.slot "
            "JOIN gauges g ON g.id = a.gauge WHERE g.name = ?1 ORDER BY a.from_t",
            error, [&](sqlite3_stmt* s) { bindText(s, 1, gauge); },
            [&](sqlite3_stmt* s) {
                held.push_back(Held{sqlite3_column_int64(s, 0), sqlite3_column_int64(s, 1), sqlite3_column_int64(s, 2),
                                    sqlite3_column_int64(s, 3), columnText(s, 4)});
            }))
        return {};
    for (const Held& h : held)
        if (!readRange(db, h.slot, h.readout, h.code, h.from, h.to, fromUtc, toUtc, &out, error))
            return {};
    sortSeries(&out);
    return out;
}

std::vector<GaugePoint> Archive::unassignedSeries(qint64 readout, const QString& code, qint64 fromUtc, qint64 toUtc,
                                                  Error* error) const
{
    sqlite3* db = m->db.get();
    std::vector<GaugePoint> out;
    std::vector<qint64> slotIds;
    if (!readRows(
            db, "SELECT id FROM slots WHERE readout = ?1 AND code = ?2 ORDER BY id", error,
            [&](sqlite3_stmt* s) {
                sqlite3_bind_int64(s, 1, readout);
                bindText(s, 2, code);
            },
            [&](sqlite3_stmt* s) { slotIds.push_back(sqlite3_column_int64(s, 0)); }))
        return {};
    for (qint64 slot : slotIds) {
        bool ok = true;
        const std::vector<Range> ranges = rangesOfSlot(db, slot, &ok);
        if (!ok) {
            setError(error, ErrorKind::ReadFailed, message(db));
            return {};
        }
        // The gaps between the assignments, oldest first.
        qint64 at = kSinceEver;
        for (const Range& r : ranges) {
            if (r.from > at && !readRange(db, slot, readout, code, at, r.from, fromUtc, toUtc, &out, error))
                return {};
            at = std::max(at, r.to);
        }
        if (at != kUntilNow && !readRange(db, slot, readout, code, at, kUntilNow, fromUtc, toUtc, &out, error))
            return {};
    }
    sortSeries(&out);
    return out;
}

} // namespace archive
