// Trigger levels, quality rules, masks and what judging the readings found: the judging of a
// gauge's readings inside a write's transaction (whole, or going on from its last judged reading
// in a store), and the reads of levels, rules, masks, events, statuses and overdue gauges.
#include "archive/Archive.h"
#include "archive/ArchiveSql.h"

#include <QSet>
#include <algorithm>
#include <cmath>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <unordered_map>

namespace archive {

using namespace sql;

namespace {

constexpr qint64 kDay = 86400;
// A readout's clock is at most a day off UTC (zones lie within UTC-12 and UTC+14).
constexpr qint64 kClockMargin = kDay;
const double kNan = std::numeric_limits<double>::quiet_NaN();

qint64 clampedSub(qint64 a, qint64 b) { return a < kSinceEver + b ? kSinceEver : a - b; }

// Marks are inserted many to a statement, as the store inserts records.
constexpr size_t kMarksPerInsert = 64;
std::string marksSql(size_t rows)
{
    std::string sql = "INSERT OR REPLACE INTO marks(slot, time_s, file, status, level, level_set, flags) VALUES ";
    for (size_t r = 0; r < rows; ++r)
        sql += r ? ",(?,?,?,?,?,?,?)" : "(?,?,?,?,?,?,?)";
    return sql;
}

// A mark as stored, in key order, and whether the judgement now keeps it.
struct StoredMark {
    qint64 slot = 0;
    qint64 time = 0;
    qint64 file = 0;
    int status = 0;
    int level = -1;
    qint64 levelSet = 0;
    int flags = 0;
    bool seen = false;
    bool operator<(const StoredMark& o) const { return std::tie(slot, time, file) < std::tie(o.slot, o.time, o.file); }
};

// One reading of a gauge as it is judged: its key, its instant and its numbers.
struct Reading {
    qint64 utc = 0;
    qint64 slot = 0;
    qint64 time = 0;
    qint64 file = 0;
    qint64 download = 0;
    double hz = kNan;
    double c = kNan; // NaN: no temperature
};

bool inOrder(const Reading& a, const Reading& b)
{
    return std::tie(a.utc, a.slot, a.time, a.file) < std::tie(b.utc, b.slot, b.time, b.file);
}

// Where a gauge sat: a slot over readout time [from, to).
struct Held {
    qint64 slot = 0;
    qint64 from = kSinceEver;
    qint64 to = kUntilNow;
    QString readout;
    QString partition;
    QString code;
};

// Everything that judges one gauge's readings.
struct Gauge {
    qint64 id = 0;
    QString name, type, unit, site;
    QDate installed;
    std::vector<Held> held;
    std::vector<LevelSet> sets;
    QualityRules rules;
    std::vector<CalibrationVersion> versions;

    const Held* heldAt(qint64 slot, qint64 time) const
    {
        for (const Held& h : held)
            if (h.slot == slot && h.from <= time && time < h.to)
                return &h;
        return nullptr;
    }
};

// The set that applies at an instant (versionAt's rule); nullptr when none does.
const LevelSet* setAt(const std::vector<LevelSet>& sets, qint64 utc)
{
    const LevelSet* found = nullptr;
    for (const LevelSet& s : sets)
        if (s.fromUtc <= utc &&
            (!found || s.fromUtc > found->fromUtc ||
             (s.fromUtc == found->fromUtc &&
              (s.enteredAt > found->enteredAt || (s.enteredAt == found->enteredAt && s.id > found->id)))))
            found = &s;
    return found;
}

} // namespace

const QChar kNameSeparator(0x1F);

// Level sets as stored, `where` a condition on the set (s) and its gauge (g).
bool loadSets(sqlite3* db, const std::string& where, const std::function<void(sqlite3_stmt*)>& bind,
              std::vector<LevelSet>* out)
{
    const std::string sql = "SELECT s.id, g.name, s.from_utc, s.baseline_utc, s.rank_names, s.entered_at, s.entered_by "
                            "FROM level_sets s JOIN gauges g ON g.id = s.gauge WHERE " +
                            where + " ORDER BY s.from_utc, s.entered_at, s.id";
    const size_t start = out->size();
    if (!readRows(db, sql.c_str(), nullptr, bind, [&](sqlite3_stmt* s) {
            LevelSet set;
            set.id = sqlite3_column_int64(s, 0);
            set.gauge = columnText(s, 1);
            set.fromUtc = sqlite3_column_int64(s, 2);
            set.baselineUtc = sqlite3_column_int64(s, 3);
            set.rankNames = columnText(s, 4).split(kNameSeparator);
            set.enteredAt = QDateTime::fromString(columnText(s, 5), Qt::ISODateWithMs).toUTC();
            set.enteredBy = columnText(s, 6);
            out->push_back(std::move(set));
        }))
        return false;
    Statement levels(db, "SELECT side, rank, quantity, threshold, window_days, confirm, dead_band FROM levels "
                         "WHERE level_set = ?1 ORDER BY position");
    if (!levels)
        return false;
    for (size_t i = start; i < out->size(); ++i) {
        sqlite3_stmt* s = levels.get();
        sqlite3_bind_int64(s, 1, (*out)[i].id);
        int rc;
        while ((rc = sqlite3_step(s)) == SQLITE_ROW) {
            TriggerLevel l;
            l.side = sqlite3_column_int(s, 0) ? LevelSide::Low : LevelSide::High;
            l.rank = sqlite3_column_int(s, 1);
            l.quantity = LevelQuantity(sqlite3_column_int(s, 2));
            l.threshold = sqlite3_column_double(s, 3);
            l.windowDays = sqlite3_column_double(s, 4);
            l.confirm = sqlite3_column_int(s, 5);
            l.deadBand = sqlite3_column_double(s, 6);
            (*out)[i].levels.push_back(l);
        }
        sqlite3_reset(s);
        if (rc != SQLITE_DONE)
            return false;
    }
    return true;
}

namespace {

bool loadRules(sqlite3* db, std::vector<QualityRules>* out, Error* error = nullptr)
{
    if (!readRows(db,
                  "SELECT type, min_hz, max_hz, min_c, max_c, max_jump_c, step_factor, scatter_window FROM quality_rules "
                  "ORDER BY type",
                  error, [&](sqlite3_stmt* s) {
                      QualityRules r;
                      r.type = columnText(s, 0);
                      r.minHz = sqlite3_column_double(s, 1);
                      r.maxHz = sqlite3_column_double(s, 2);
                      r.minC = sqlite3_column_double(s, 3);
                      r.maxC = sqlite3_column_double(s, 4);
                      r.maxJumpC = sqlite3_column_double(s, 5);
                      r.stepFactor = sqlite3_column_double(s, 6);
                      r.scatterWindow = sqlite3_column_int(s, 7);
                      out->push_back(r);
                  }))
        return false;
    if (out->empty())
        *out = defaultQualityRules();
    return true;
}

// The unit of a gauge's values at an instant: its calibration's, else the register's; Hz for a
// gauge without calibration versions.
QString unitAt(const Gauge& g, qint64 utc)
{
    if (g.versions.empty())
        return QStringLiteral("Hz");
    const CalibrationVersion* v = versionAt(g.versions, utc);
    return v && !v->values.unit.isEmpty() ? v->values.unit : g.unit;
}

double valueOf(const Gauge& g, const Reading& r)
{
    if (g.versions.empty())
        return r.hz;
    const CalibrationVersion* v = versionAt(g.versions, r.utc);
    if (!v)
        return kNan;
    const auto converted = convert(v->values, r.hz, std::isnan(r.c) ? std::nullopt : std::optional<double>(r.c));
    return converted ? converted->value : kNan;
}

// What one gauge's judging found of a store's records.
struct Found {
    int before = 0; // the gauge's status before and after
    int after = 0;
    bool any = false; // the store added readings to it
    std::vector<qint64> events;
    qint64 flagged = 0;
    std::vector<MarkedRecord> marked;
};

// Judges gauges inside a transaction, with the statements and the look-ups they share.
class Judger {
public:
    explicit Judger(sqlite3* db) : m_db(db) {}

    bool prepare()
    {
        m_range = Statement(m_db, "SELECT time_s, file, utc_s, reading_hz, temperature_c, download FROM records "
                                  "WHERE slot = ?1 AND time_s >= ?2 AND time_s <= ?3 AND reading_hz IS NOT NULL "
                                  "AND utc_s IS NOT NULL");
        m_rangeOf = Statement(m_db, "SELECT time_s, file, utc_s, reading_hz, temperature_c, download FROM records "
                                    "WHERE slot = ?1 AND time_s >= ?2 AND time_s <= ?3 AND reading_hz IS NOT NULL "
                                    "AND utc_s IS NOT NULL AND download = ?4");
        m_lastBefore = Statement(m_db, "SELECT time_s, file, utc_s, reading_hz, temperature_c, download FROM records "
                                       "WHERE slot = ?1 AND time_s >= ?2 AND time_s < ?3 AND reading_hz IS NOT NULL "
                                       "AND utc_s IS NOT NULL ORDER BY time_s DESC, file DESC LIMIT ?4");
        m_masks = Statement(m_db, "SELECT time_s, file FROM masks WHERE slot = ?1 AND lifted_at IS NULL "
                                  "AND time_s >= ?2 AND time_s < ?3");
        m_marksOf = Statement(m_db, "SELECT time_s, file, status, level, level_set, flags FROM marks WHERE slot = ?1 "
                                    "AND time_s >= ?2 AND time_s < ?3");
        m_dropMark = Statement(m_db, "DELETE FROM marks WHERE slot = ?1 AND time_s = ?2 AND file = ?3");
        m_addMark = Statement(m_db, marksSql(1).c_str());
        m_addMarks = Statement(m_db, marksSql(kMarksPerInsert).c_str());
        m_dropEvents = Statement(m_db, "DELETE FROM events WHERE gauge = ?1");
        m_addEvent = Statement(m_db, "INSERT INTO events(gauge, utc, slot, time_s, file, value, unit, from_status, "
                                     "to_status, level_set, level) VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11)");
        m_keepState = Statement(m_db, "INSERT OR REPLACE INTO judge_state(gauge, state, utc, slot, time_s, file, value) "
                                      "VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7)");
        m_dropState = Statement(m_db, "DELETE FROM judge_state WHERE gauge = ?1");
        // What the office is sent of a gauge judged whole: all its marks again (not made while an
        // archive from before the office database is brought forward: it has no such column, and
        // every gauge starts judged whole).
        m_judgedWhole = Statement(m_db, "UPDATE gauges SET judged_whole = 1 WHERE id = ?1");
        if (!m_range || !m_rangeOf || !m_lastBefore || !m_masks || !m_marksOf || !m_dropMark || !m_addMark || !m_addMarks || !m_dropEvents ||
            !m_addEvent || !m_keepState || !m_dropState)
            return false;
        if (!loadRules(m_db, &m_rules))
            return false;
        return readRows(m_db, "SELECT id, at FROM downloads WHERE at IS NOT NULL", nullptr, [&](sqlite3_stmt* s) {
            const QDateTime at = QDateTime::fromString(columnText(s, 1), Qt::ISODateWithMs);
            if (at.isValid())
                m_downloaded.emplace(sqlite3_column_int64(s, 0), at.toSecsSinceEpoch());
        });
    }

    bool load(qint64 id, Gauge* g)
    {
        g->id = id;
        bool found = false;
        if (!readRows(
                m_db,
                "SELECT g.name, g.type, g.unit, coalesce(t.name, ''), g.installed FROM gauges g "
                "LEFT JOIN sites t ON t.id = g.site WHERE g.id = ?1",
                nullptr, [&](sqlite3_stmt* s) { sqlite3_bind_int64(s, 1, id); },
                [&](sqlite3_stmt* s) {
                    found = true;
                    g->name = columnText(s, 0);
                    g->type = columnText(s, 1);
                    g->unit = columnText(s, 2);
                    g->site = columnText(s, 3);
                    g->installed = QDate::fromString(columnText(s, 4), Qt::ISODate);
                }) ||
            !readRows(
                m_db,
                "SELECT a.slot, a.from_t, a.to_t, r.name, s.partition, s.code FROM assignments a "
                "JOIN slots s ON s.id = a.slot JOIN readouts r ON r.id = s.readout WHERE a.gauge = ?1 ORDER BY a.from_t",
                nullptr, [&](sqlite3_stmt* s) { sqlite3_bind_int64(s, 1, id); },
                [&](sqlite3_stmt* s) {
                    g->held.push_back(Held{sqlite3_column_int64(s, 0), sqlite3_column_int64(s, 1),
                                           sqlite3_column_int64(s, 2), columnText(s, 3), columnText(s, 4),
                                           columnText(s, 5)});
                }) ||
            !loadSets(
                m_db, "s.gauge = ?1", [&](sqlite3_stmt* s) { sqlite3_bind_int64(s, 1, id); }, &g->sets))
            return false;
        if (!found)
            return true; // gone: nothing to judge
        bool ok = true;
        g->versions = gaugeVersions(m_db, id, &ok);
        g->rules = rulesFor(m_rules, g->type);
        return ok;
    }

    // The gauge's whole history judged again. `download` (0: none) marks the store's records.
    bool whole(const Gauge& g, qint64 download, Found* found)
    {
        std::vector<Reading> readings;
        for (const Held& h : g.held)
            if (!readRange(m_range.get(), h.slot, h.from, h.to - 1, 0, &readings))
                return false;
        if (!std::is_sorted(readings.begin(), readings.end(), inOrder))
            std::sort(readings.begin(), readings.end(), inOrder);
        // The marks the gauge's readings have now: only those that change are written again.
        std::vector<StoredMark> stored;
        for (const Held& h : g.held) {
            sqlite3_stmt* s = m_marksOf.get();
            sqlite3_bind_int64(s, 1, h.slot);
            sqlite3_bind_int64(s, 2, h.from);
            sqlite3_bind_int64(s, 3, h.to);
            int rc;
            while ((rc = sqlite3_step(s)) == SQLITE_ROW)
                stored.push_back(StoredMark{h.slot, sqlite3_column_int64(s, 0), sqlite3_column_int64(s, 1),
                                            sqlite3_column_int(s, 2), sqlite3_column_int(s, 3),
                                            sqlite3_column_int64(s, 4), sqlite3_column_int(s, 5)});
            sqlite3_reset(s);
            if (rc != SQLITE_DONE)
                return false;
        }
        std::sort(stored.begin(), stored.end());
        sqlite3_bind_int64(m_dropEvents.get(), 1, g.id);
        if (!step(m_dropEvents.get()))
            return false;
        if (m_judgedWhole) {
            sqlite3_bind_int64(m_judgedWhole.get(), 1, g.id);
            if (!step(m_judgedWhole.get()))
                return false;
        }
        std::vector<JudgeInput> inputs;
        JudgeState state;
        return inputsOf(g, readings, &inputs) && judge(g, readings, inputs, 0, &state, download, found, &stored) &&
               dropUnseen(stored);
    }

    // Takes out the marks no reading judged now keeps.
    bool dropUnseen(const std::vector<StoredMark>& stored)
    {
        for (const StoredMark& m : stored) {
            if (m.seen)
                continue;
            sqlite3_stmt* s = m_dropMark.get();
            sqlite3_bind_int64(s, 1, m.slot);
            sqlite3_bind_int64(s, 2, m.time);
            sqlite3_bind_int64(s, 3, m.file);
            if (!step(s))
                return false;
        }
        return true;
    }

    // Goes on from the gauge's last judged reading with the store's records of `download` in
    // the ranges `added`, when every one of them comes after it and the same level set applies
    // throughout; else judges the whole history.
    bool store(const Gauge& g, qint64 download, const std::vector<judging::Added>& added, Found* found)
    {
        std::optional<JudgeState> state;
        qint64 lastUtc = 0;
        if (!readRows(
                m_db, "SELECT state, utc FROM judge_state WHERE gauge = ?1", nullptr,
                [&](sqlite3_stmt* s) { sqlite3_bind_int64(s, 1, g.id); },
                [&](sqlite3_stmt* s) {
                    state = JudgeState::fromText(columnText(s, 0));
                    lastUtc = sqlite3_column_int64(s, 1);
                }))
            return false;
        if (!state) // never judged (or a state this program cannot read): judged whole at once
            return whole(g, download, found);
        found->before = state->status;
        std::vector<Reading> fresh;
        for (const judging::Added& a : added)
            for (const Held& h : g.held) {
                if (h.slot != a.slot)
                    continue;
                const qint64 lo = std::max(h.from, a.from);
                const qint64 hi = std::min(h.to - 1, a.to);
                if (lo <= hi && !readRange(m_rangeOf.get(), h.slot, lo, hi, download, &fresh))
                    return false;
            }
        if (fresh.empty()) {
            found->after = found->before;
            return true;
        }
        std::sort(fresh.begin(), fresh.end(), inOrder);
        const bool goOn = fresh.front().utc > lastUtc &&
                          std::none_of(g.sets.begin(), g.sets.end(), [&](const LevelSet& s) {
                              return s.fromUtc > lastUtc && s.fromUtc <= fresh.back().utc;
                          });
        if (!goOn)
            return whole(g, download, found);
        // A set with a change level whose baseline the state has not found yet may look back to
        // the gauge's first reading: judged whole.
        const LevelSet* set = setAt(g.sets, fresh.front().utc);
        const bool changeLevels = set && std::any_of(set->levels.begin(), set->levels.end(), [](const TriggerLevel& l) {
                                      return l.quantity == LevelQuantity::Change;
                                  });
        if (changeLevels && (!state->baseline || state->baselineUtc != set->baselineUtc))
            return whole(g, download, found);
        // What the judge looks back on: the readings from the lookback's instant on, and before
        // it at least its count of readings (and always the latest judged one, and the latest
        // unmasked one with a temperature, which the judge also looks back to).
        const Lookback back = lookbackFor(g.sets, g.rules);
        const int count = std::max(back.readings, 2);
        const qint64 since = clampedSub(fresh.front().utc, std::max<qint64>(back.seconds, 0));
        const qint64 fromTime = clampedSub(since, kClockMargin);
        std::vector<Reading> readings;
        bool complete = true; // every reading of the gauge before the new ones is given
        for (const Held& h : g.held) {
            const qint64 lo = std::max(h.from, fromTime);
            if (lo <= h.to - 1 && !readRange(m_range.get(), h.slot, lo, h.to - 1, -download, &readings))
                return false;
            if (h.from < lo) {
                sqlite3_stmt* s = m_lastBefore.get();
                sqlite3_bind_int64(s, 1, h.slot);
                sqlite3_bind_int64(s, 2, std::max(h.from, kFirstTime));
                sqlite3_bind_int64(s, 3, lo);
                sqlite3_bind_int64(s, 4, count);
                const size_t had = readings.size();
                if (!collect(s, h.slot, download, &readings))
                    return false;
                if (readings.size() - had >= size_t(count))
                    complete = false;
            }
        }
        std::sort(readings.begin(), readings.end(), inOrder);
        const size_t first = readings.size();
        readings.insert(readings.end(), fresh.begin(), fresh.end());
        std::vector<JudgeInput> inputs;
        if (!inputsOf(g, readings, &inputs))
            return false;
        if (!complete) {
            int judgedBefore = 0;
            bool judgedAtSince = false, temperature = false;
            for (size_t i = 0; i < first; ++i) {
                const JudgeInput& in = inputs[i];
                const bool judged = !in.masked && std::isfinite(in.value);
                judgedBefore += judged;
                judgedAtSince = judgedAtSince || (judged && in.utc <= since);
                temperature = temperature || (!in.masked && std::isfinite(in.temperatureC));
            }
            const bool temperatureNeeded = std::any_of(inputs.begin() + first, inputs.end(), [](const JudgeInput& in) {
                return std::isfinite(in.temperatureC);
            });
            if (judgedBefore < back.readings || !judgedAtSince || (temperatureNeeded && !temperature))
                return whole(g, download, found);
        }
        return judge(g, readings, inputs, first, &*state, download, found);
    }

    QString fileName(qint64 id)
    {
        if (const auto f = m_files.find(id); f != m_files.end())
            return f->second;
        QString name;
        readRows(
            m_db, "SELECT name FROM files WHERE id = ?1", nullptr, [&](sqlite3_stmt* s) { sqlite3_bind_int64(s, 1, id); },
            [&](sqlite3_stmt* s) { name = columnText(s, 0); });
        m_files.emplace(id, name);
        return name;
    }

private:
    // The readings of a slot in readout time [lo, hi]: all (download 0), those of a download
    // (> 0, with the statement that selects them) or all but those of a download (< 0).
    bool readRange(sqlite3_stmt* s, qint64 slot, qint64 lo, qint64 hi, qint64 download, std::vector<Reading>* out)
    {
        sqlite3_bind_int64(s, 1, slot);
        sqlite3_bind_int64(s, 2, std::max(lo, kFirstTime));
        sqlite3_bind_int64(s, 3, hi);
        if (s == m_rangeOf.get())
            sqlite3_bind_int64(s, 4, download);
        return collect(s, slot, download < 0 ? -download : 0, out);
    }

    bool collect(sqlite3_stmt* s, qint64 slot, qint64 except, std::vector<Reading>* out)
    {
        int rc;
        while ((rc = sqlite3_step(s)) == SQLITE_ROW) {
            Reading r;
            r.slot = slot;
            r.time = sqlite3_column_int64(s, 0);
            r.file = sqlite3_column_int64(s, 1);
            r.utc = sqlite3_column_int64(s, 2);
            r.hz = sqlite3_column_double(s, 3);
            if (sqlite3_column_type(s, 4) != SQLITE_NULL)
                r.c = sqlite3_column_double(s, 4);
            r.download = sqlite3_column_int64(s, 5);
            if (except != 0 && r.download == except)
                continue;
            out->push_back(r);
        }
        sqlite3_reset(s);
        return rc == SQLITE_DONE;
    }

    bool masksOf(const Gauge& g, std::set<std::tuple<qint64, qint64, qint64>>* out)
    {
        for (const Held& h : g.held) {
            sqlite3_stmt* s = m_masks.get();
            sqlite3_bind_int64(s, 1, h.slot);
            sqlite3_bind_int64(s, 2, h.from);
            sqlite3_bind_int64(s, 3, h.to);
            int rc;
            while ((rc = sqlite3_step(s)) == SQLITE_ROW)
                out->emplace(h.slot, sqlite3_column_int64(s, 0), sqlite3_column_int64(s, 1));
            sqlite3_reset(s);
            if (rc != SQLITE_DONE)
                return false;
        }
        return true;
    }

    // The readings as the judge takes them: values by the calibration at their instants, masks,
    // and when their downloads ended.
    bool inputsOf(const Gauge& g, const std::vector<Reading>& readings, std::vector<JudgeInput>* inputs)
    {
        std::set<std::tuple<qint64, qint64, qint64>> masked;
        if (!masksOf(g, &masked))
            return false;
        inputs->resize(readings.size());
        for (size_t i = 0; i < readings.size(); ++i) {
            const Reading& r = readings[i];
            JudgeInput& in = (*inputs)[i];
            in.utc = r.utc;
            in.hz = r.hz;
            in.temperatureC = r.c;
            in.value = valueOf(g, r);
            in.masked = !masked.empty() && masked.count({r.slot, r.time, r.file}) != 0;
            if (const auto d = m_downloaded.find(r.download); d != m_downloaded.end())
                in.downloadedUtc = d->second;
        }
        return true;
    }

    // Judges readings[first..] going on from `state` and keeps what it finds: their marks, their
    // transitions and the state after the last of them.
    bool judge(const Gauge& g, const std::vector<Reading>& readings, const std::vector<JudgeInput>& inputs,
               size_t first, JudgeState* state, qint64 download, Found* found, std::vector<StoredMark>* stored = nullptr)
    {
        if (readings.empty()) {
            sqlite3_bind_int64(m_dropState.get(), 1, g.id);
            found->after = 0;
            return step(m_dropState.get());
        }
        const JudgeOutput out = judgeSeries(inputs, first, g.sets, g.rules, g.installed, state);
        if (out.judgements.size() != readings.size() - first)
            return false;
        // The marks in key order, many to a statement.
        std::vector<size_t> pending;
        pending.reserve(kMarksPerInsert);
        const auto flush = [&](sqlite3_stmt* s) {
            int p = 0;
            for (size_t k : pending) {
                const Judgement& j = out.judgements[k];
                const Reading& r = readings[first + k];
                sqlite3_bind_int64(s, ++p, r.slot);
                sqlite3_bind_int64(s, ++p, r.time);
                sqlite3_bind_int64(s, ++p, r.file);
                sqlite3_bind_int(s, ++p, j.status);
                sqlite3_bind_int(s, ++p, j.status ? j.level : -1);
                sqlite3_bind_int64(s, ++p, j.status ? j.levelSet : 0);
                sqlite3_bind_int(s, ++p, j.flags);
            }
            pending.clear();
            return step(s);
        };
        for (size_t k = 0; k < out.judgements.size(); ++k) {
            const Judgement& j = out.judgements[k];
            const Reading& r = readings[first + k];
            const bool mine = download != 0 && r.download == download;
            found->any = found->any || mine;
            if (mine && j.flags)
                ++found->flagged;
            StoredMark* had = nullptr;
            if (stored && !stored->empty()) {
                const StoredMark key{r.slot, r.time, r.file};
                const auto at = std::lower_bound(stored->begin(), stored->end(), key);
                if (at != stored->end() && !(key < *at)) {
                    had = &*at;
                    had->seen = j.status != 0 || j.flags != 0;
                }
            }
            if (j.status == 0 && j.flags == 0)
                continue;
            // The level and the set are kept for a status above normal only (what a reading
            // without a mark reads as too), so that a flag outlives a change of levels unwritten.
            const bool same = had && had->status == j.status && had->level == (j.status ? j.level : -1) &&
                              had->levelSet == (j.status ? j.levelSet : 0) && had->flags == j.flags;
            if (!same)
                pending.push_back(k);
            if (!same && pending.size() == kMarksPerInsert && !flush(m_addMarks.get()))
                return false;
            if (mine) {
                const Held* h = g.heldAt(r.slot, r.time);
                found->marked.push_back(MarkedRecord{h ? h->partition : QString(), fileName(r.file),
                                                     h ? h->code : QString(), r.time, j.status, j.flags});
            }
        }
        const std::vector<size_t> rest = pending;
        for (size_t k : rest) {
            pending = {k};
            if (!flush(m_addMark.get()))
                return false;
        }
        for (const Transition& t : out.transitions) {
            if (t.index >= readings.size())
                return false;
            const Reading& r = readings[t.index];
            sqlite3_stmt* s = m_addEvent.get();
            sqlite3_bind_int64(s, 1, g.id);
            sqlite3_bind_int64(s, 2, r.utc);
            sqlite3_bind_int64(s, 3, r.slot);
            sqlite3_bind_int64(s, 4, r.time);
            sqlite3_bind_int64(s, 5, r.file);
            if (std::isfinite(inputs[t.index].value))
                sqlite3_bind_double(s, 6, inputs[t.index].value);
            else
                sqlite3_bind_null(s, 6);
            bindText(s, 7, unitAt(g, r.utc));
            sqlite3_bind_int(s, 8, t.from);
            sqlite3_bind_int(s, 9, t.to);
            sqlite3_bind_int64(s, 10, t.levelSet);
            sqlite3_bind_int(s, 11, t.level);
            if (!step(s))
                return false;
            if (download != 0 && r.download == download)
                found->events.push_back(sqlite3_last_insert_rowid(m_db));
        }
        const Reading& last = readings.back();
        sqlite3_stmt* s = m_keepState.get();
        sqlite3_bind_int64(s, 1, g.id);
        bindText(s, 2, state->toText());
        sqlite3_bind_int64(s, 3, last.utc);
        sqlite3_bind_int64(s, 4, last.slot);
        sqlite3_bind_int64(s, 5, last.time);
        sqlite3_bind_int64(s, 6, last.file);
        if (std::isfinite(inputs.back().value))
            sqlite3_bind_double(s, 7, inputs.back().value);
        else
            sqlite3_bind_null(s, 7);
        found->after = state->status;
        return step(s);
    }

    sqlite3* m_db;
    Statement m_range, m_rangeOf, m_lastBefore, m_masks, m_marksOf, m_dropMark, m_addMark, m_addMarks, m_dropEvents, m_addEvent,
        m_keepState, m_dropState, m_judgedWhole;
    std::vector<QualityRules> m_rules;
    std::unordered_map<qint64, qint64> m_downloaded;
    std::unordered_map<qint64, QString> m_files;
};

// The transitions as the operator reads them, `where` a condition on the event (e), its gauge
// (g), its site (t) and its acknowledgement (k).
bool readEvents(sqlite3* db, const std::string& where, const std::function<void(sqlite3_stmt*)>& bind,
                std::vector<LevelEvent>* out, Error* error)
{
    const std::string sql =
        "SELECT e.id, g.name, coalesce(t.name, ''), e.utc, e.time_s, o.name, e.value, e.unit, e.from_status, "
        "e.to_status, e.level_set, e.level, k.note, k.by, k.at FROM events e JOIN gauges g ON g.id = e.gauge "
        "LEFT JOIN sites t ON t.id = g.site JOIN slots s ON s.id = e.slot JOIN readouts o ON o.id = s.readout "
        "LEFT JOIN acknowledgements k ON k.gauge = e.gauge AND k.utc = e.utc AND k.to_status = e.to_status WHERE " +
        where + " ORDER BY e.utc, e.id";
    std::vector<qint64> setIds;
    if (!readRows(db, sql.c_str(), error, bind, [&](sqlite3_stmt* s) {
            LevelEvent e;
            e.id = sqlite3_column_int64(s, 0);
            e.gauge = columnText(s, 1);
            e.site = columnText(s, 2);
            e.utc = sqlite3_column_int64(s, 3);
            e.time = sqlite3_column_int64(s, 4);
            e.readout = columnText(s, 5);
            e.value = sqlite3_column_type(s, 6) == SQLITE_NULL ? kNan : sqlite3_column_double(s, 6);
            e.unit = columnText(s, 7);
            e.from = sqlite3_column_int(s, 8);
            e.to = sqlite3_column_int(s, 9);
            setIds.push_back(sqlite3_column_int64(s, 10));
            e.rule = QString::number(sqlite3_column_int(s, 11)); // the level's index until the set is read
            e.acknowledged = sqlite3_column_type(s, 12) != SQLITE_NULL;
            e.note = columnText(s, 12);
            e.acknowledgedBy = columnText(s, 13);
            if (e.acknowledged)
                e.acknowledgedAt = QDateTime::fromString(columnText(s, 14), Qt::ISODateWithMs).toUTC();
            out->push_back(std::move(e));
        }))
        return false;
    std::map<qint64, std::optional<LevelSet>> sets;
    for (size_t i = 0; i < out->size(); ++i) {
        LevelEvent& e = (*out)[i];
        auto found = sets.find(setIds[i]);
        if (found == sets.end()) {
            std::vector<LevelSet> one;
            if (setIds[i] != 0 &&
                !loadSets(
                    db, "s.id = ?1", [&](sqlite3_stmt* s) { sqlite3_bind_int64(s, 1, setIds[i]); }, &one)) {
                setError(error, ErrorKind::ReadFailed, message(db));
                return false;
            }
            found = sets.emplace(setIds[i], one.empty() ? std::nullopt : std::optional<LevelSet>(one.front())).first;
        }
        const LevelSet* set = found->second ? &*found->second : nullptr;
        const int level = e.rule.toInt();
        e.rule = set && level >= 0 && level < int(set->levels.size()) && e.to > 0 ? levelText(*set, level, e.unit) : QString();
        e.fromName = statusName(set, e.from);
        e.toName = statusName(set, e.to);
    }
    return true;
}

// Where a gauge stands now, from its judge state and its last transition.
bool statusOf(sqlite3* db, const Gauge& g, GaugeStatus* out)
{
    out->gauge = g.name;
    out->site = g.site;
    std::optional<JudgeState> state;
    bool ok = true;
    if (!readRows(
            db, "SELECT state, utc, value FROM judge_state WHERE gauge = ?1", nullptr,
            [&](sqlite3_stmt* s) { sqlite3_bind_int64(s, 1, g.id); },
            [&](sqlite3_stmt* s) {
                state = JudgeState::fromText(columnText(s, 0));
                out->lastUtc = sqlite3_column_int64(s, 1);
                out->lastValue = sqlite3_column_type(s, 2) == SQLITE_NULL ? kNan : sqlite3_column_double(s, 2);
            }))
        return false;
    out->status = state ? state->status : 0;
    out->unit = out->lastUtc ? unitAt(g, out->lastUtc) : (g.versions.empty() ? QStringLiteral("Hz") : g.unit);
    const LevelSet* set = out->lastUtc ? setAt(g.sets, out->lastUtc) : nullptr;
    out->statusName = statusName(set, out->status);
    if (out->status > 0) {
        std::vector<LevelEvent> last;
        if (!readEvents(
                db, "e.gauge = ?1 AND e.to_status = ?2 AND e.id = (SELECT max(id) FROM events WHERE gauge = ?1 AND to_status = ?2)",
                [&](sqlite3_stmt* s) {
                    sqlite3_bind_int64(s, 1, g.id);
                    sqlite3_bind_int(s, 2, out->status);
                },
                &last, nullptr))
            return false;
        if (!last.empty())
            out->rule = last.back().rule;
    }
    return ok;
}

std::vector<qint64> allGauges(sqlite3* db, bool* ok)
{
    std::vector<qint64> out;
    if (!readRows(db, "SELECT id FROM gauges ORDER BY id", nullptr,
                  [&](sqlite3_stmt* s) { out.push_back(sqlite3_column_int64(s, 0)); }))
        *ok = false;
    return out;
}

} // namespace

// The gauges whose assignment covers a reading.
bool gaugesOfReading(sqlite3* db, const ReadingRef& r, std::set<qint64>* out)
{
    return readRows(
        db, "SELECT gauge FROM assignments WHERE slot = ?1 AND from_t <= ?2 AND to_t > ?2", nullptr,
        [&](sqlite3_stmt* s) {
            sqlite3_bind_int64(s, 1, r.slot);
            sqlite3_bind_int64(s, 2, r.time);
        },
        [&](sqlite3_stmt* s) { out->insert(sqlite3_column_int64(s, 0)); });
}

namespace {

bool holds(sqlite3* db, const ReadingRef& r, bool* ok)
{
    return oneNumber(
               db, "SELECT 1 FROM records WHERE slot = ?1 AND time_s = ?2 AND file = ?3",
               [&](sqlite3_stmt* s) {
                   sqlite3_bind_int64(s, 1, r.slot);
                   sqlite3_bind_int64(s, 2, r.time);
                   sqlite3_bind_int64(s, 3, r.file);
               },
               ok)
        .has_value();
}

QString nowText() { return QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs); }

} // namespace

// --- Judging inside a transaction ----------------------------------------------------------

namespace judging {

bool rejudge(sqlite3* db, const std::vector<qint64>& gauges)
{
    if (gauges.empty())
        return true;
    Judger judger(db);
    if (!judger.prepare())
        return false;
    for (qint64 id : gauges) {
        Gauge g;
        Found found;
        if (!judger.load(id, &g) || !judger.whole(g, 0, &found))
            return false;
    }
    return true;
}

bool rejudgeAll(sqlite3* db)
{
    // Marks left on readings no gauge holds any more go too.
    bool ok = exec(db, "DELETE FROM marks") && exec(db, "DELETE FROM events") && exec(db, "DELETE FROM judge_state");
    const std::vector<qint64> gauges = allGauges(db, &ok);
    return ok && rejudge(db, gauges);
}

bool gaugesOfSlot(sqlite3* db, qint64 slot, std::vector<qint64>* gauges)
{
    return readRows(
        db, "SELECT DISTINCT gauge FROM assignments WHERE slot = ?1", nullptr,
        [&](sqlite3_stmt* s) { sqlite3_bind_int64(s, 1, slot); },
        [&](sqlite3_stmt* s) { gauges->push_back(sqlite3_column_int64(s, 0)); });
}

bool rejudgeSlot(sqlite3* db, qint64 slot, const std::vector<qint64>& gaugesBefore)
{
    std::vector<qint64> gauges = gaugesBefore;
    if (!gaugesOfSlot(db, slot, &gauges))
        return false;
    std::sort(gauges.begin(), gauges.end());
    gauges.erase(std::unique(gauges.begin(), gauges.end()), gauges.end());
    Statement drop(db, "DELETE FROM marks WHERE slot = ?1");
    if (!drop)
        return false;
    sqlite3_bind_int64(drop.get(), 1, slot);
    return step(drop.get()) && rejudge(db, gauges);
}

bool judgeStore(sqlite3* db, qint64 download, const std::vector<Added>& added, Verdict* verdict)
{
    std::set<qint64> gauges;
    for (const Added& a : added) {
        if (!readRows(
                db, "SELECT DISTINCT gauge FROM assignments WHERE slot = ?1 AND from_t <= ?3 AND to_t > ?2", nullptr,
                [&](sqlite3_stmt* s) {
                    sqlite3_bind_int64(s, 1, a.slot);
                    sqlite3_bind_int64(s, 2, a.from);
                    sqlite3_bind_int64(s, 3, a.to);
                },
                [&](sqlite3_stmt* s) { gauges.insert(sqlite3_column_int64(s, 0)); }))
            return false;
    }
    if (gauges.empty())
        return true;
    Judger judger(db);
    if (!judger.prepare())
        return false;
    std::vector<qint64> events;
    for (qint64 id : gauges) {
        Gauge g;
        Found found;
        if (!judger.load(id, &g) || !judger.store(g, download, added, &found))
            return false;
        if (!found.any)
            continue;
        events.insert(events.end(), found.events.begin(), found.events.end());
        verdict->flagged += found.flagged;
        if (found.flagged)
            verdict->flaggedGauges << g.name;
        verdict->marked.insert(verdict->marked.end(), found.marked.begin(), found.marked.end());
        if (found.after != found.before) {
            GaugeStatus status;
            if (!statusOf(db, g, &status))
                return false;
            verdict->changed.push_back(status);
        }
    }
    std::sort(verdict->changed.begin(), verdict->changed.end(), [](const GaugeStatus& a, const GaugeStatus& b) {
        return a.status != b.status ? a.status > b.status : a.gauge < b.gauge;
    });
    verdict->flaggedGauges.sort();
    if (!events.empty()) {
        std::string ids;
        for (qint64 id : events)
            ids += (ids.empty() ? "" : ",") + std::to_string(id);
        if (!readEvents(
                db, "e.id IN (" + ids + ")", [](sqlite3_stmt*) {}, &verdict->events, nullptr))
            return false;
    }
    return true;
}

} // namespace judging

// --- Level sets -----------------------------------------------------------------------------

std::vector<LevelSet> Archive::levelSets(const QString& gauge, Error* error) const
{
    std::vector<LevelSet> out;
    if (!loadSets(
            m->db.get(), "g.name = ?1", [&](sqlite3_stmt* s) { bindText(s, 1, gauge); }, &out)) {
        setError(error, ErrorKind::ReadFailed, message(m->db.get()));
        return {};
    }
    return out;
}

std::vector<LevelSet> Archive::currentLevelSets(Error* error) const
{
    std::vector<LevelSet> all;
    if (!loadSets(
            m->db.get(), "1", [](sqlite3_stmt*) {}, &all)) {
        setError(error, ErrorKind::ReadFailed, message(m->db.get()));
        return {};
    }
    std::map<QString, std::vector<LevelSet>> byGauge;
    for (LevelSet& s : all)
        byGauge[s.gauge].push_back(std::move(s));
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    std::vector<LevelSet> out;
    for (const auto& [gauge, sets] : byGauge)
        if (const LevelSet* s = setAt(sets, now); s && !s->levels.empty())
            out.push_back(*s);
    return out;
}

bool insertLevelSet(sqlite3* db, qint64 gauge, const LevelSet& set, const QString& at, const QString& by, qint64* id)
{
    Statement addSet(db, "INSERT INTO level_sets(gauge, from_utc, baseline_utc, rank_names, entered_at, entered_by) "
                         "VALUES(?1, ?2, ?3, ?4, ?5, ?6)");
    Statement addLevel(db, "INSERT INTO levels(level_set, position, side, rank, quantity, threshold, window_days, "
                           "confirm, dead_band) VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9)");
    if (!addSet || !addLevel)
        return false;
    sqlite3_stmt* s = addSet.get();
    sqlite3_bind_int64(s, 1, gauge);
    sqlite3_bind_int64(s, 2, set.fromUtc);
    sqlite3_bind_int64(s, 3, set.baselineUtc);
    bindText(s, 4, set.rankNames.join(kNameSeparator));
    bindText(s, 5, at);
    bindText(s, 6, by);
    if (!step(s))
        return false;
    const qint64 made = sqlite3_last_insert_rowid(db);
    for (size_t i = 0; i < set.levels.size(); ++i) {
        const TriggerLevel& l = set.levels[i];
        sqlite3_stmt* q = addLevel.get();
        sqlite3_bind_int64(q, 1, made);
        sqlite3_bind_int64(q, 2, qint64(i));
        sqlite3_bind_int(q, 3, l.side == LevelSide::Low ? 1 : 0);
        sqlite3_bind_int(q, 4, l.rank);
        sqlite3_bind_int(q, 5, int(l.quantity));
        sqlite3_bind_double(q, 6, l.threshold);
        sqlite3_bind_double(q, 7, l.windowDays);
        sqlite3_bind_int(q, 8, l.confirm);
        sqlite3_bind_double(q, 9, l.deadBand);
        if (!step(q))
            return false;
    }
    if (id)
        *id = made;
    return true;
}

bool Archive::addLevelSets(const std::vector<LevelSet>& sets, Error* error)
{
    for (const LevelSet& set : sets) {
        if (const QString why = levelSetProblem(set); !why.isEmpty()) {
            setError(error, ErrorKind::WriteFailed, QStringLiteral("%1: %2").arg(set.gauge, why));
            return false;
        }
    }
    sqlite3* db = m->db.get();
    const QString at = nowText();
    const QString by = pcUser();
    return write(db, error, [&](QString* why) {
        std::set<qint64> changed;
        for (const LevelSet& set : sets) {
            bool ok = true;
            const std::optional<qint64> gauge = oneNumber(
                db, "SELECT id FROM gauges WHERE name = ?1", [&](sqlite3_stmt* s) { bindText(s, 1, set.gauge); }, &ok);
            if (!gauge) {
                if (ok)
                    *why = QStringLiteral("gauge %1 is not in the register").arg(set.gauge);
                return false;
            }
            std::vector<LevelSet> existing;
            if (!loadSets(
                    db, "s.gauge = ?1", [&](sqlite3_stmt* s) { sqlite3_bind_int64(s, 1, *gauge); }, &existing))
                return false;
            const LevelSet* follows = setAt(existing, set.fromUtc);
            if (follows ? follows->sameRules(set) : set.levels.empty())
                continue;
            if (!insertLevelSet(db, *gauge, set, at, by, nullptr))
                return false;
            changed.insert(*gauge);
        }
        return judging::rejudge(db, std::vector<qint64>(changed.begin(), changed.end()));
    });
}

// --- Quality rules --------------------------------------------------------------------------

std::vector<QualityRules> Archive::qualityRules(Error* error) const
{
    std::vector<QualityRules> out;
    if (!loadRules(m->db.get(), &out, error))
        return {};
    return out;
}

bool Archive::setQualityRules(const std::vector<QualityRules>& rules, Error* error)
{
    QSet<QString> types;
    for (const QualityRules& r : rules) {
        QString why = qualityRulesProblem(r);
        if (why.isEmpty() && types.contains(r.type))
            why = QStringLiteral("rules given twice");
        if (!why.isEmpty()) {
            setError(error, ErrorKind::WriteFailed, QStringLiteral("%1: %2").arg(r.type, why));
            return false;
        }
        types.insert(r.type);
    }
    sqlite3* db = m->db.get();
    return write(db, error, [&](QString*) {
        std::vector<QualityRules> before;
        if (!loadRules(db, &before) || !exec(db, "DELETE FROM quality_rules"))
            return false;
        Statement add(db, "INSERT INTO quality_rules(type, min_hz, max_hz, min_c, max_c, max_jump_c, step_factor, "
                          "scatter_window) VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8)");
        if (!add)
            return false;
        for (const QualityRules& r : rules) {
            sqlite3_stmt* s = add.get();
            bindText(s, 1, r.type);
            sqlite3_bind_double(s, 2, r.minHz);
            sqlite3_bind_double(s, 3, r.maxHz);
            sqlite3_bind_double(s, 4, r.minC);
            sqlite3_bind_double(s, 5, r.maxC);
            sqlite3_bind_double(s, 6, r.maxJumpC);
            sqlite3_bind_double(s, 7, r.stepFactor);
            sqlite3_bind_int(s, 8, r.scatterWindow);
            if (!step(s))
                return false;
        }
        std::vector<QualityRules> after;
        if (!loadRules(db, &after))
            return false;
        std::vector<qint64> changed;
        if (!readRows(db, "SELECT id, type FROM gauges ORDER BY id", nullptr, [&](sqlite3_stmt* s) {
                const QString type = columnText(s, 1);
                if (!(rulesFor(before, type) == rulesFor(after, type)))
                    changed.push_back(sqlite3_column_int64(s, 0));
            }))
            return false;
        return judging::rejudge(db, changed);
    });
}

// --- Masks ----------------------------------------------------------------------------------

namespace {

// Puts on or lifts the masks of readings: `sql` run for each reading, with the reading's key in
// ?1..?3 and `texts` from ?4 on; refused for a reading the archive does not hold. The gauges of the
// readings are judged again in the same transaction.
bool changeMasks(sqlite3* db, Error* error, const std::vector<ReadingRef>& readings, const char* sql,
                 const QStringList& texts)
{
    return write(db, error, [&](QString* why) {
        Statement change(db, sql);
        if (!change)
            return false;
        std::set<qint64> gauges;
        for (const ReadingRef& r : readings) {
            bool ok = true;
            if (!holds(db, r, &ok)) {
                if (ok)
                    *why = QStringLiteral("no reading %1/%2/%3 in the archive").arg(r.slot).arg(r.time).arg(r.file);
                return false;
            }
            sqlite3_stmt* s = change.get();
            sqlite3_bind_int64(s, 1, r.slot);
            sqlite3_bind_int64(s, 2, r.time);
            sqlite3_bind_int64(s, 3, r.file);
            for (int i = 0; i < texts.size(); ++i)
                bindText(s, 4 + i, texts[i]);
            if (!step(s) || !gaugesOfReading(db, r, &gauges))
                return false;
        }
        return judging::rejudge(db, std::vector<qint64>(gauges.begin(), gauges.end()));
    });
}

} // namespace

bool Archive::mask(const std::vector<ReadingRef>& readings, const QString& note, Error* error)
{
    return changeMasks(m->db.get(), error, readings,
                       "INSERT OR IGNORE INTO masks(slot, time_s, file, note, masked_by, masked_at) "
                       "VALUES(?1, ?2, ?3, ?4, ?5, ?6)",
                       {note, pcUser(), nowText()});
}

bool Archive::unmask(const std::vector<ReadingRef>& readings, Error* error)
{
    return changeMasks(m->db.get(), error, readings,
                       "UPDATE masks SET lifted_by = ?4, lifted_at = ?5 WHERE slot = ?1 AND time_s = ?2 "
                       "AND file = ?3 AND lifted_at IS NULL",
                       {pcUser(), nowText()});
}

std::vector<Mask> Archive::masks(const QString& gauge, Error* error) const
{
    std::vector<Mask> out;
    if (!readRows(
            m->db.get(),
            "SELECT m.slot, m.time_s, m.file, r.utc_s, m.note, m.masked_by, m.masked_at, "
            "coalesce((SELECT g.name FROM assignments a JOIN gauges g ON g.id = a.gauge WHERE a.slot = m.slot "
            "AND a.from_t <= m.time_s AND a.to_t > m.time_s), '') AS gauge "
            "FROM masks m JOIN records r ON r.slot = m.slot AND r.time_s = m.time_s AND r.file = m.file "
            "WHERE m.lifted_at IS NULL AND (?1 = '' OR gauge = ?1) ORDER BY r.utc_s, m.slot, m.time_s, m.file",
            error, [&](sqlite3_stmt* s) { bindText(s, 1, gauge); },
            [&](sqlite3_stmt* s) {
                Mask k;
                k.reading = ReadingRef{sqlite3_column_int64(s, 0), sqlite3_column_int64(s, 1), sqlite3_column_int64(s, 2)};
                k.utc = sqlite3_column_int64(s, 3);
                k.note = columnText(s, 4);
                k.by = columnText(s, 5);
                k.at = QDateTime::fromString(columnText(s, 6), Qt::ISODateWithMs).toUTC();
                k.gauge = columnText(s, 7);
                out.push_back(std::move(k));
            }))
        return {};
    return out;
}

// --- Events ---------------------------------------------------------------------------------

std::vector<LevelEvent> Archive::events(const EventQuery& query, Error* error) const
{
    std::vector<LevelEvent> out;
    if (!readEvents(
            m->db.get(), "e.utc >= ?1 AND (?2 = '' OR t.name = ?2) AND (?3 = '' OR g.name = ?3) AND (?4 = 0 OR k.at IS NULL)",
            [&](sqlite3_stmt* s) {
                sqlite3_bind_int64(s, 1, query.sinceUtc);
                bindText(s, 2, query.site);
                bindText(s, 3, query.gauge);
                sqlite3_bind_int(s, 4, query.unacknowledgedOnly ? 1 : 0);
            },
            &out, error))
        return {};
    return out;
}

bool Archive::acknowledge(qint64 event, const QString& note, Error* error)
{
    sqlite3* db = m->db.get();
    return write(db, error, [&](QString* why) {
        Statement keep(db, "INSERT OR REPLACE INTO acknowledgements(gauge, utc, to_status, note, by, at) "
                           "SELECT gauge, utc, to_status, ?2, ?3, ?4 FROM events WHERE id = ?1");
        if (!keep)
            return false;
        sqlite3_bind_int64(keep.get(), 1, event);
        bindText(keep.get(), 2, note);
        bindText(keep.get(), 3, pcUser());
        bindText(keep.get(), 4, nowText());
        if (!step(keep.get()))
            return false;
        if (sqlite3_changes(db) == 0) {
            *why = QStringLiteral("event %1 is not in the archive").arg(event);
            return false;
        }
        return true;
    });
}

// --- Where the gauges stand -----------------------------------------------------------------

std::vector<OverdueGauge> Archive::overdue(const QDateTime& now, const QString& site, Error* error) const
{
    sqlite3* db = m->db.get();
    struct Row {
        qint64 id;
        OverdueGauge g;
        QDate installed;
        qint64 seen;
    };
    std::vector<Row> rows;
    if (!readRows(
            db,
            "SELECT g.id, g.name, coalesce(t.name, ''), g.interval_days, g.installed, g.seen_utc FROM gauges g "
            "LEFT JOIN sites t ON t.id = g.site WHERE g.interval_days > 0 AND (?1 = '' OR t.name = ?1)",
            error, [&](sqlite3_stmt* s) { bindText(s, 1, site); },
            [&](sqlite3_stmt* s) {
                Row r{sqlite3_column_int64(s, 0), OverdueGauge{columnText(s, 1), columnText(s, 2), sqlite3_column_int(s, 3)},
                      QDate::fromString(columnText(s, 4), Qt::ISODate),
                      sqlite3_column_type(s, 5) == SQLITE_NULL ? 0 : sqlite3_column_int64(s, 5)};
                rows.push_back(r);
            }))
        return {};
    const qint64 at = now.toSecsSinceEpoch();
    std::vector<OverdueGauge> out;
    for (Row& r : rows) {
        // The newest reading of each slot the gauge sat in, by its place in the key.
        std::optional<qint64> last;
        if (!readRows(
                db,
                "SELECT (SELECT utc_s FROM records WHERE slot = a.slot AND time_s >= max(a.from_t, " KTM_FIRST_TIME ") "
                "AND time_s < a.to_t AND utc_s IS NOT NULL ORDER BY time_s DESC LIMIT 1) FROM assignments a "
                "WHERE a.gauge = ?1",
                error, [&](sqlite3_stmt* s) { sqlite3_bind_int64(s, 1, r.id); },
                [&](sqlite3_stmt* s) {
                    if (sqlite3_column_type(s, 0) != SQLITE_NULL)
                        last = std::max(last.value_or(kSinceEver), sqlite3_column_int64(s, 0));
                }))
            return {};
        qint64 since;
        if (last) {
            since = *last;
            r.g.lastUtc = *last;
        } else if (r.installed.isValid()) {
            since = r.installed.startOfDay(QTimeZone::utc()).toSecsSinceEpoch();
        } else if (r.seen != 0) {
            since = r.seen;
        } else {
            continue;
        }
        r.g.daysSince = double(at - since) / double(kDay);
        if (r.g.daysSince > r.g.intervalDays)
            out.push_back(r.g);
    }
    std::sort(out.begin(), out.end(), [](const OverdueGauge& a, const OverdueGauge& b) {
        const double la = a.daysSince - a.intervalDays, lb = b.daysSince - b.intervalDays;
        return la != lb ? la > lb : a.gauge < b.gauge;
    });
    return out;
}

std::vector<GaugeStatus> Archive::gaugeStatuses(const QString& site, Error* error) const
{
    sqlite3* db = m->db.get();
    std::vector<qint64> ids;
    if (!readRows(
            db,
            "SELECT g.id FROM gauges g LEFT JOIN sites t ON t.id = g.site WHERE ?1 = '' OR t.name = ?1 "
            "ORDER BY coalesce(t.name, ''), g.name",
            error, [&](sqlite3_stmt* s) { bindText(s, 1, site); },
            [&](sqlite3_stmt* s) { ids.push_back(sqlite3_column_int64(s, 0)); }))
        return {};
    Judger judger(db);
    if (!judger.prepare()) {
        setError(error, ErrorKind::ReadFailed, message(db));
        return {};
    }
    std::vector<GaugeStatus> out;
    for (qint64 id : ids) {
        Gauge g;
        GaugeStatus status;
        if (!judger.load(id, &g) || !statusOf(db, g, &status)) {
            setError(error, ErrorKind::ReadFailed, message(db));
            return {};
        }
        out.push_back(std::move(status));
    }
    return out;
}

bool Archive::rejudge(const QString& gauge, Error* error)
{
    sqlite3* db = m->db.get();
    return write(db, error, [&](QString* why) {
        if (gauge.isEmpty())
            return judging::rejudgeAll(db);
        bool ok = true;
        const std::optional<qint64> id = oneNumber(
            db, "SELECT id FROM gauges WHERE name = ?1", [&](sqlite3_stmt* s) { bindText(s, 1, gauge); }, &ok);
        if (!id) {
            if (ok)
                *why = QStringLiteral("gauge %1 is not in the register").arg(gauge);
            return false;
        }
        return judging::rejudge(db, {*id});
    });
}

} // namespace archive
