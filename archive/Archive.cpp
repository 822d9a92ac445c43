#include "archive/Archive.h"
#include "archive/ArchiveSql.h"

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
#include <utility>
#include "platform/FilePath.h"

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

namespace archive {

using namespace sql;

namespace {

// --- The schema -----------------------------------------------------------------------------

// Version 1 held the records as text only, each with the time of its download.
constexpr const char* kVersion1Columns = "SELECT partition, file, code, time, reading, temperature, downloaded "
                                         "FROM records LIMIT 0";

// Versions 2 and 3 keyed the records by their texts, (partition, code, time, file), with one
// readout only and the calibrations by component code; version 3 added the components' summary.
constexpr const char* kCreateDownloads3 = R"(
CREATE TABLE downloads(
    id INTEGER PRIMARY KEY,
    at TEXT,
    partition TEXT,
    received INTEGER NOT NULL,
    added INTEGER NOT NULL
);
)";

constexpr const char* kCreateRecords3 = R"(
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

constexpr const char* kCreateCalibrations3 = R"(
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

constexpr const char* kCreateComponents3 = R"(
CREATE TABLE components(
    partition TEXT NOT NULL,
    code TEXT NOT NULL,
    count INTEGER NOT NULL,
    first_s INTEGER,
    last_s INTEGER,
    PRIMARY KEY(partition, code)
) WITHOUT ROWID;
)";

constexpr const char* kFillComponents3 =
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

constexpr const char* kCreateComponentTriggers3[] = {
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

// Version 4: readouts, their slots (readout, partition, code) and the gauges that sat in them.
// Everything a record is keyed by is a small integer: its slot, its time (kOddTimes - id for a
// text that is not a time) and its file. The table is stored in the order of that key, so a
// slot's records lie together in time order and a series, or the part of it one assignment
// covers, is one range of the table itself. The time's text is kept only where it is not the
// canonical text of time_s; utc_s is the instant in the readout's zone of that time.
constexpr const char* kCreateSchema4[] = {
    "CREATE TABLE readouts(id INTEGER PRIMARY KEY, name TEXT NOT NULL UNIQUE COLLATE NOCASE, "
    "time_zone TEXT NOT NULL)",
    "CREATE TABLE readout_zones(readout INTEGER NOT NULL REFERENCES readouts(id), from_utc INTEGER NOT NULL, "
    "zone TEXT NOT NULL, PRIMARY KEY(readout, from_utc)) WITHOUT ROWID",
    "CREATE TABLE devices(device TEXT PRIMARY KEY NOT NULL, readout INTEGER NOT NULL REFERENCES readouts(id)) "
    "WITHOUT ROWID",
    // What the history lists of each slot, kept up to date so that it never needs the records
    // read: how many it has and the span of the times among them (count, first_s, last_s).
    "CREATE TABLE slots(id INTEGER PRIMARY KEY, readout INTEGER NOT NULL REFERENCES readouts(id), "
    "partition TEXT NOT NULL, code TEXT NOT NULL, count INTEGER NOT NULL DEFAULT 0, first_s INTEGER, "
    "last_s INTEGER, UNIQUE(readout, partition, code))",
    "CREATE TABLE files(id INTEGER PRIMARY KEY, name TEXT NOT NULL UNIQUE)",
    "CREATE TABLE odd_times(id INTEGER PRIMARY KEY, text TEXT NOT NULL UNIQUE)",
    "CREATE TABLE sites(id INTEGER PRIMARY KEY, name TEXT NOT NULL UNIQUE, notes TEXT NOT NULL DEFAULT '')",
    "CREATE TABLE gauges(id INTEGER PRIMARY KEY, name TEXT NOT NULL UNIQUE, type TEXT NOT NULL DEFAULT '', "
    "unit TEXT NOT NULL DEFAULT '', site INTEGER REFERENCES sites(id), location TEXT NOT NULL DEFAULT '', "
    "installed TEXT, interval_days INTEGER NOT NULL DEFAULT 0, notes TEXT NOT NULL DEFAULT '')",
    // In readout time [from_t, to_t); to_t 2^63 - 1 while it holds.
    "CREATE TABLE assignments(id INTEGER PRIMARY KEY, slot INTEGER NOT NULL REFERENCES slots(id), "
    "gauge INTEGER NOT NULL REFERENCES gauges(id), from_t INTEGER NOT NULL, to_t INTEGER NOT NULL, "
    "by_hand INTEGER NOT NULL, CHECK(from_t < to_t))",
    "CREATE INDEX assignments_of_slot ON assignments(slot, from_t)",
    "CREATE INDEX assignments_of_gauge ON assignments(gauge, from_t)",
    // A gauge's version (gauge set), or a component code's (code set; slot set when it is of one
    // readout's slot): from a UTC instant until the next one; `withdrawn` when the calibration was
    // taken out of the table from then on.
    "CREATE TABLE calibration_versions(id INTEGER PRIMARY KEY, gauge INTEGER REFERENCES gauges(id), "
    "slot INTEGER REFERENCES slots(id), code TEXT, from_utc INTEGER NOT NULL, withdrawn INTEGER NOT NULL DEFAULT 0, "
    "type TEXT NOT NULL, unit TEXT NOT NULL, kind TEXT NOT NULL CHECK(kind IN ('frequency', 'digits')), "
    "form TEXT NOT NULL CHECK(form IN ('linear', 'polynomial')), g REAL NOT NULL, reversed INTEGER NOT NULL, "
    "a REAL NOT NULL, b REAL NOT NULL, c REAL NOT NULL, field_zero INTEGER NOT NULL, r0 REAL NOT NULL, "
    "t0 REAL NOT NULL, k REAL NOT NULL, entered_at TEXT NOT NULL, entered_by TEXT NOT NULL, "
    "CHECK((gauge IS NULL) <> (code IS NULL)))",
    "CREATE INDEX calibration_versions_of_gauge ON calibration_versions(gauge, from_utc)",
    "CREATE INDEX calibration_versions_of_code ON calibration_versions(code, from_utc)",
};

constexpr const char* kCreateDownloads4 =
    "CREATE TABLE downloads(id INTEGER PRIMARY KEY, at TEXT, partition TEXT, received INTEGER NOT NULL, "
    "added INTEGER NOT NULL, readout INTEGER REFERENCES readouts(id))";

constexpr const char* kCreateRecords4 =
    "CREATE TABLE records(slot INTEGER NOT NULL, time_s INTEGER NOT NULL, file INTEGER NOT NULL, reading TEXT, "
    "temperature TEXT, time TEXT, download INTEGER, reading_hz REAL, temperature_c REAL, utc_s INTEGER, "
    "PRIMARY KEY(slot, time_s, file)) WITHOUT ROWID";

// The store counts the records it adds itself (a trigger run for each of a million records would
// double the store's time); triggers keep the slots' summary for a record taken out or changed,
// whose slot's span is read again only when the record was at an end of it.
#define KTM_SLOT_ADDED(row)                                                                   \
    "UPDATE slots SET count = count + 1, "                                                    \
    "first_s = CASE WHEN " row ".time_s < " KTM_FIRST_TIME " THEN first_s "                   \
    "WHEN first_s IS NULL OR " row ".time_s < first_s THEN " row ".time_s ELSE first_s END, " \
    "last_s = CASE WHEN " row ".time_s < " KTM_FIRST_TIME " THEN last_s "                     \
    "WHEN last_s IS NULL OR " row ".time_s > last_s THEN " row ".time_s ELSE last_s END WHERE id = " row ".slot;"

#define KTM_SLOT_REMOVED(row)                                                                                  \
    "UPDATE slots SET count = count - 1 WHERE id = " row ".slot;"                                              \
    "UPDATE slots SET "                                                                                        \
    "first_s = (SELECT min(time_s) FROM records WHERE slot = " row ".slot AND time_s >= " KTM_FIRST_TIME "), " \
    "last_s = (SELECT max(time_s) FROM records WHERE slot = " row ".slot AND time_s >= " KTM_FIRST_TIME ") "   \
    "WHERE id = " row ".slot AND " row ".time_s >= " KTM_FIRST_TIME " "                                        \
    "AND (first_s IS NULL OR last_s IS NULL OR " row ".time_s <= first_s OR " row ".time_s >= last_s);"

constexpr const char* kCreateSlotTriggers[] = {
    "CREATE TRIGGER slots_removed AFTER DELETE ON records BEGIN " KTM_SLOT_REMOVED("old") " END",
    "CREATE TRIGGER slots_changed AFTER UPDATE OF slot, time_s ON records BEGIN " KTM_SLOT_REMOVED(
        "old") KTM_SLOT_ADDED("new") " END",
};

#undef KTM_SLOT_ADDED
#undef KTM_SLOT_REMOVED

constexpr const char* kCountSlots =
    "UPDATE slots SET count = (SELECT count(*) FROM records WHERE slot = slots.id), "
    "first_s = (SELECT min(time_s) FROM records WHERE slot = slots.id AND time_s >= " KTM_FIRST_TIME "), "
    "last_s = (SELECT max(time_s) FROM records WHERE slot = slots.id AND time_s >= " KTM_FIRST_TIME ")";

constexpr const char* kVersion4Checks[] = {
    "SELECT slot, time_s, file, reading, temperature, time, download, reading_hz, temperature_c, utc_s "
    "FROM records LIMIT 0",
    "SELECT id, at, partition, received, added, readout FROM downloads LIMIT 0",
    "SELECT id, readout, partition, code, count, first_s, last_s FROM slots LIMIT 0",
    "SELECT id, name, time_zone FROM readouts LIMIT 0",
    "SELECT id, name FROM files LIMIT 0",
    "SELECT id, text FROM odd_times LIMIT 0",
    "SELECT id, slot, gauge, from_t, to_t, by_hand FROM assignments LIMIT 0",
    "SELECT id, name, type, unit, site, location, installed, interval_days, notes FROM gauges LIMIT 0",
    "SELECT id, gauge, slot, code, from_utc, withdrawn, type, unit, kind, form, g, reversed, a, b, c, field_zero, "
    "r0, t0, k, entered_at, entered_by FROM calibration_versions LIMIT 0",
};

// Version 5: trigger levels, quality rules and what judging the readings found. Versions of a
// gauge's levels are never changed, only added (level_sets, with their rows in levels); quality
// rules by gauge type (none stored: the built-in ones). Beside the records, keyed as they are and
// sparse: marks (only readings with a status above normal or a flag) and masks (every mask put
// on and, once lifted, who lifted it and when: a mask changes what the levels say, so its history
// is kept as that of the levels is). events are the transitions of the last judgement, made
// again whenever a gauge is judged again; acknowledgements are keyed by the transition itself
// (gauge, instant, status reached) so that they outlive it. judge_state is what judging a gauge
// carries after its last judged reading, so that a store goes on from there.
constexpr const char* kCreateSchema5[] = {
    "CREATE TABLE level_sets(id INTEGER PRIMARY KEY, gauge INTEGER NOT NULL REFERENCES gauges(id), "
    "from_utc INTEGER NOT NULL, baseline_utc INTEGER NOT NULL, rank_names TEXT NOT NULL, entered_at TEXT NOT NULL, "
    "entered_by TEXT NOT NULL)",
    "CREATE INDEX level_sets_of_gauge ON level_sets(gauge, from_utc)",
    "CREATE TABLE levels(level_set INTEGER NOT NULL REFERENCES level_sets(id), position INTEGER NOT NULL, "
    "side INTEGER NOT NULL, rank INTEGER NOT NULL, quantity INTEGER NOT NULL, threshold REAL NOT NULL, "
    "window_days REAL NOT NULL, confirm INTEGER NOT NULL, dead_band REAL NOT NULL, PRIMARY KEY(level_set, position)) "
    "WITHOUT ROWID",
    "CREATE TABLE quality_rules(type TEXT PRIMARY KEY NOT NULL, min_hz REAL NOT NULL, max_hz REAL NOT NULL, "
    "min_c REAL NOT NULL, max_c REAL NOT NULL, max_jump_c REAL NOT NULL, step_factor REAL NOT NULL, "
    "scatter_window INTEGER NOT NULL) WITHOUT ROWID",
    "CREATE TABLE marks(slot INTEGER NOT NULL, time_s INTEGER NOT NULL, file INTEGER NOT NULL, "
    "status INTEGER NOT NULL, level INTEGER NOT NULL, level_set INTEGER NOT NULL, flags INTEGER NOT NULL, "
    "PRIMARY KEY(slot, time_s, file)) WITHOUT ROWID",
    "CREATE TABLE masks(id INTEGER PRIMARY KEY, slot INTEGER NOT NULL, time_s INTEGER NOT NULL, file INTEGER NOT NULL, "
    "note TEXT NOT NULL, masked_by TEXT NOT NULL, masked_at TEXT NOT NULL, lifted_by TEXT, lifted_at TEXT)",
    "CREATE UNIQUE INDEX masks_in_force ON masks(slot, time_s, file) WHERE lifted_at IS NULL",
    "CREATE TABLE events(id INTEGER PRIMARY KEY, gauge INTEGER NOT NULL REFERENCES gauges(id), utc INTEGER NOT NULL, "
    "slot INTEGER NOT NULL, time_s INTEGER NOT NULL, file INTEGER NOT NULL, value REAL, unit TEXT NOT NULL, "
    "from_status INTEGER NOT NULL, to_status INTEGER NOT NULL, level_set INTEGER NOT NULL, level INTEGER NOT NULL)",
    "CREATE INDEX events_of_gauge ON events(gauge, utc)",
    "CREATE INDEX events_by_time ON events(utc)",
    "CREATE TABLE acknowledgements(gauge INTEGER NOT NULL, utc INTEGER NOT NULL, to_status INTEGER NOT NULL, "
    "note TEXT NOT NULL, by TEXT NOT NULL, at TEXT NOT NULL, PRIMARY KEY(gauge, utc, to_status)) WITHOUT ROWID",
    "CREATE TABLE judge_state(gauge INTEGER PRIMARY KEY REFERENCES gauges(id), state TEXT NOT NULL, "
    "utc INTEGER NOT NULL, slot INTEGER NOT NULL, time_s INTEGER NOT NULL, file INTEGER NOT NULL, value REAL)",
    // When the archive first saw a gauge: what a gauge never read is overdue from, when its
    // installation date is not known.
    "ALTER TABLE gauges ADD COLUMN seen_utc INTEGER",
    "UPDATE gauges SET seen_utc = CAST(strftime('%s', 'now') AS INTEGER)",
    "CREATE TRIGGER gauges_seen AFTER INSERT ON gauges WHEN new.seen_utc IS NULL BEGIN "
    "UPDATE gauges SET seen_utc = CAST(strftime('%s', 'now') AS INTEGER) WHERE id = new.id; END",
};

constexpr const char* kVersion5Checks[] = {
    "SELECT id, gauge, from_utc, baseline_utc, rank_names, entered_at, entered_by FROM level_sets LIMIT 0",
    "SELECT level_set, position, side, rank, quantity, threshold, window_days, confirm, dead_band FROM levels LIMIT 0",
    "SELECT type, min_hz, max_hz, min_c, max_c, max_jump_c, step_factor, scatter_window FROM quality_rules LIMIT 0",
    "SELECT slot, time_s, file, status, level, level_set, flags FROM marks LIMIT 0",
    "SELECT id, slot, time_s, file, note, masked_by, masked_at, lifted_by, lifted_at FROM masks LIMIT 0",
    "SELECT id, gauge, utc, slot, time_s, file, value, unit, from_status, to_status, level_set, level FROM events LIMIT 0",
    "SELECT gauge, utc, to_status, note, by, at FROM acknowledgements LIMIT 0",
    "SELECT gauge, state, utc, slot, time_s, file, value FROM judge_state LIMIT 0",
    "SELECT seen_utc FROM gauges LIMIT 0",
};

// Version 6: what the archive shares with an office database (ArchiveSharing.cpp). `sharing`
// keeps the archive's identity, the office it is bound to and, for records of an archive from
// before downloads were kept, how many there are and the office's id of them once sent;
// `office_notes` the sync's own notes. A download sent carries the office's id of it; one brought
// from the office its provenance (from_office, source, pc, pc_user) and is never sent back.
// `download_spans` is where a store put its records (each slot's range of keys), so that a
// download's records are read as ranges of the table rather than by a scan of it.
//
// Edits are counted where they are made, by triggers, so that every way of making them counts:
// a register row's `edits` against `sent_edits` (a row known only by its name from a component
// list is no edit), a slot's assignments likewise, a version or a mask or an acknowledgement
// with `sent`, a gauge judged again with `judged` against `judged_sent`. `revision` is the
// office's revision a row is based on. Versions get their identity (uid) and the identity of the
// latest version of the same gauge or code they followed (based_on) as they are entered.
#define KTM_NOW "strftime('%Y-%m-%dT%H:%M:%fZ', 'now')"
// A version 4 UUID, made afresh for every row (a subquery would be made once per statement).
#define KTM_NEW_UID                                                                                 \
    "(lower(hex(randomblob(4))) || '-' || lower(hex(randomblob(2))) || '-4' || "                    \
    "substr(lower(hex(randomblob(2))), 2) || '-' || substr('89ab', 1 + (abs(random()) % 4), 1) || " \
    "substr(lower(hex(randomblob(2))), 2) || '-' || lower(hex(randomblob(6))))"
#define KTM_GAUGE_CONTENT(row)                                                                                \
    "(" row ".type <> '' OR " row ".unit <> '' OR " row ".site IS NOT NULL OR " row ".location <> '' OR " row \
    ".installed IS NOT NULL OR " row ".interval_days <> 0 OR " row ".notes <> '')"
#define KTM_GAUGE_EDITED "UPDATE gauges SET edits = edits + 1, edited_at = " KTM_NOW ", edited_by = NULL WHERE id = new.id;"
#define KTM_SLOT_EDITED(row)                                                                                        \
    "UPDATE slots SET asg_edits = asg_edits + 1, asg_edited_at = " KTM_NOW ", asg_edited_by = NULL WHERE id = " row \
    ".slot;"
#define KTM_JUDGED(row) "UPDATE gauges SET judged = judged + 1 WHERE id = " row ".gauge;"

constexpr const char* kCreateSchema6[] = {
    "CREATE TABLE sharing(key TEXT PRIMARY KEY NOT NULL, value TEXT NOT NULL) WITHOUT ROWID",
    "INSERT INTO sharing(key, value) VALUES('identity', " KTM_NEW_UID ")",
    "CREATE TABLE office_notes(key TEXT PRIMARY KEY NOT NULL, value TEXT NOT NULL) WITHOUT ROWID",
    "CREATE TABLE download_spans(download INTEGER NOT NULL, slot INTEGER NOT NULL, from_s INTEGER NOT NULL, "
    "to_s INTEGER NOT NULL, PRIMARY KEY(download, slot)) WITHOUT ROWID",
    "ALTER TABLE downloads ADD COLUMN office_id INTEGER",
    "ALTER TABLE downloads ADD COLUMN from_office INTEGER NOT NULL DEFAULT 0",
    "ALTER TABLE downloads ADD COLUMN source TEXT",
    "ALTER TABLE downloads ADD COLUMN pc TEXT",
    "ALTER TABLE downloads ADD COLUMN pc_user TEXT",
    "ALTER TABLE downloads ADD COLUMN held INTEGER NOT NULL DEFAULT 0",
    "UPDATE downloads SET held = c.n FROM (SELECT download, count(*) AS n FROM records GROUP BY download) AS c "
    "WHERE c.download = downloads.id",
    "ALTER TABLE gauges ADD COLUMN revision INTEGER NOT NULL DEFAULT 0",
    "ALTER TABLE gauges ADD COLUMN edits INTEGER NOT NULL DEFAULT 0",
    "ALTER TABLE gauges ADD COLUMN sent_edits INTEGER NOT NULL DEFAULT 0",
    "ALTER TABLE gauges ADD COLUMN edited_at TEXT",
    "ALTER TABLE gauges ADD COLUMN edited_by TEXT",
    "ALTER TABLE gauges ADD COLUMN judged INTEGER NOT NULL DEFAULT 0",
    "ALTER TABLE gauges ADD COLUMN judged_sent INTEGER NOT NULL DEFAULT 0",
    "ALTER TABLE gauges ADD COLUMN judged_whole INTEGER NOT NULL DEFAULT 1",
    "ALTER TABLE gauges ADD COLUMN marks_sent_utc INTEGER",
    "ALTER TABLE slots ADD COLUMN asg_revision INTEGER NOT NULL DEFAULT 0",
    "ALTER TABLE slots ADD COLUMN asg_edits INTEGER NOT NULL DEFAULT 0",
    "ALTER TABLE slots ADD COLUMN asg_sent_edits INTEGER NOT NULL DEFAULT 0",
    "ALTER TABLE slots ADD COLUMN asg_edited_at TEXT",
    "ALTER TABLE slots ADD COLUMN asg_edited_by TEXT",
    "ALTER TABLE calibration_versions ADD COLUMN uid TEXT",
    "ALTER TABLE calibration_versions ADD COLUMN based_on TEXT",
    "ALTER TABLE calibration_versions ADD COLUMN sent INTEGER NOT NULL DEFAULT 0",
    "ALTER TABLE level_sets ADD COLUMN uid TEXT",
    "ALTER TABLE level_sets ADD COLUMN based_on TEXT",
    "ALTER TABLE level_sets ADD COLUMN sent INTEGER NOT NULL DEFAULT 0",
    "ALTER TABLE masks ADD COLUMN sent INTEGER NOT NULL DEFAULT 0",
    "ALTER TABLE acknowledgements ADD COLUMN sent INTEGER NOT NULL DEFAULT 0",
    // What an older archive already holds is all to be sent: its register rows with content,
    // its slots' assignments, its versions (each following the one entered before it) and its
    // judgements.
    "UPDATE gauges SET edits = 1, edited_at = " KTM_NOW " WHERE " KTM_GAUGE_CONTENT("gauges"),
    "UPDATE gauges SET judged = 1 WHERE id IN (SELECT gauge FROM judge_state)",
    "UPDATE slots SET asg_edits = 1, asg_edited_at = " KTM_NOW " WHERE id IN (SELECT slot FROM assignments)",
    "UPDATE calibration_versions SET uid = " KTM_NEW_UID,
    "UPDATE calibration_versions SET based_on = (SELECT p.uid FROM calibration_versions p WHERE p.id < "
    "calibration_versions.id AND (p.gauge = calibration_versions.gauge OR (p.gauge IS NULL AND "
    "calibration_versions.gauge IS NULL AND p.code = calibration_versions.code AND p.slot IS calibration_versions.slot)) "
    "ORDER BY p.id DESC LIMIT 1)",
    "UPDATE level_sets SET uid = " KTM_NEW_UID,
    "UPDATE level_sets SET based_on = (SELECT p.uid FROM level_sets p WHERE p.id < level_sets.id AND "
    "p.gauge = level_sets.gauge ORDER BY p.id DESC LIMIT 1)",
    "CREATE UNIQUE INDEX calibration_versions_by_uid ON calibration_versions(uid)",
    "CREATE UNIQUE INDEX level_sets_by_uid ON level_sets(uid)",
    "INSERT INTO sharing(key, value) SELECT 'legacy_records', count(*) FROM records WHERE download IS NULL",
    // What a download holds now: what it added, less what a repair took out since.
    "CREATE TRIGGER downloads_held AFTER DELETE ON records BEGIN "
    "UPDATE downloads SET held = held - 1 WHERE id = old.download; "
    "UPDATE sharing SET value = value - 1 WHERE key = 'legacy_records' AND old.download IS NULL; END",
    "CREATE TRIGGER gauges_entered AFTER INSERT ON gauges WHEN " KTM_GAUGE_CONTENT("new") " BEGIN " KTM_GAUGE_EDITED " END",
    "CREATE TRIGGER gauges_edited AFTER UPDATE OF type, unit, site, location, installed, interval_days, notes ON gauges "
    "WHEN old.type IS NOT new.type OR old.unit IS NOT new.unit OR old.site IS NOT new.site OR "
    "old.location IS NOT new.location OR old.installed IS NOT new.installed OR old.interval_days IS NOT new.interval_days "
    "OR old.notes IS NOT new.notes BEGIN " KTM_GAUGE_EDITED " END",
    "CREATE TRIGGER assignments_added AFTER INSERT ON assignments BEGIN " KTM_SLOT_EDITED("new") " END",
    "CREATE TRIGGER assignments_dropped AFTER DELETE ON assignments BEGIN " KTM_SLOT_EDITED("old") " END",
    "CREATE TRIGGER assignments_changed AFTER UPDATE OF slot, gauge, from_t, to_t, by_hand ON assignments BEGIN " KTM_SLOT_EDITED(
        "old") KTM_SLOT_EDITED("new") " END",
    "CREATE TRIGGER calibration_versions_entered AFTER INSERT ON calibration_versions WHEN new.uid IS NULL BEGIN "
    "UPDATE calibration_versions SET uid = " KTM_NEW_UID ", based_on = (SELECT p.uid FROM calibration_versions p "
    "WHERE p.id <> new.id AND (p.gauge = new.gauge OR (p.gauge IS NULL AND new.gauge IS NULL AND p.code = new.code "
    "AND p.slot IS new.slot)) ORDER BY p.id DESC LIMIT 1) WHERE id = new.id; END",
    "CREATE TRIGGER level_sets_entered AFTER INSERT ON level_sets WHEN new.uid IS NULL BEGIN "
    "UPDATE level_sets SET uid = " KTM_NEW_UID ", based_on = (SELECT p.uid FROM level_sets p WHERE p.id <> new.id "
    "AND p.gauge = new.gauge ORDER BY p.id DESC LIMIT 1) WHERE id = new.id; END",
    "CREATE TRIGGER masks_lifted AFTER UPDATE OF lifted_at ON masks BEGIN UPDATE masks SET sent = 0 WHERE id = new.id; END",
    "CREATE TRIGGER judged_kept AFTER INSERT ON judge_state BEGIN " KTM_JUDGED("new") " END",
    "CREATE TRIGGER judged_changed AFTER UPDATE ON judge_state BEGIN " KTM_JUDGED("new") " END",
    "CREATE TRIGGER judged_dropped AFTER DELETE ON judge_state BEGIN " KTM_JUDGED("old") " END",
};

#undef KTM_NOW
#undef KTM_NEW_UID
#undef KTM_GAUGE_CONTENT
#undef KTM_GAUGE_EDITED
#undef KTM_SLOT_EDITED
#undef KTM_JUDGED

constexpr const char* kVersion6Checks[] = {
    "SELECT key, value FROM sharing LIMIT 0",
    "SELECT key, value FROM office_notes LIMIT 0",
    "SELECT download, slot, from_s, to_s FROM download_spans LIMIT 0",
    "SELECT office_id, from_office, source, pc, pc_user, held FROM downloads LIMIT 0",
    "SELECT revision, edits, sent_edits, edited_at, edited_by, judged, judged_sent, judged_whole, marks_sent_utc "
    "FROM gauges LIMIT 0",
    "SELECT asg_revision, asg_edits, asg_sent_edits, asg_edited_at, asg_edited_by FROM slots LIMIT 0",
    "SELECT uid, based_on, sent FROM calibration_versions LIMIT 0",
    "SELECT uid, based_on, sent FROM level_sets LIMIT 0",
    "SELECT sent FROM masks LIMIT 0",
    "SELECT sent FROM acknowledgements LIMIT 0",
};

bool canPrepare(sqlite3* db, const char* sql) { return bool(Statement(db, sql)); }

bool createTables5(sqlite3* db)
{
    for (const char* sql : kCreateSchema5)
        if (!exec(db, sql))
            return false;
    return true;
}

bool createComponents3(sqlite3* db)
{
    if (!exec(db, kCreateComponents3))
        return false;
    for (const char* trigger : kCreateComponentTriggers3)
        if (!exec(db, trigger))
            return false;
    return true;
}

bool createTables4(sqlite3* db)
{
    for (const char* sql : kCreateSchema4)
        if (!exec(db, sql))
            return false;
    return exec(db, kCreateRecords4);
}

bool createSlotTriggers(sqlite3* db)
{
    for (const char* trigger : kCreateSlotTriggers)
        if (!exec(db, trigger))
            return false;
    return true;
}

bool createTables6(sqlite3* db)
{
    for (const char* sql : kCreateSchema6)
        if (!exec(db, sql))
            return false;
    return true;
}

bool createSchema(sqlite3* db)
{
    return createTables4(db) && exec(db, kCreateDownloads4) && createSlotTriggers(db) && createTables5(db) &&
           createTables6(db) && exec(db, "PRAGMA user_version = 6");
}

// Version 5 to 6: what is shared with an office database; everything the archive holds waits
// to be sent.
bool migrateFrom5(sqlite3* db) { return createTables6(db) && exec(db, "PRAGMA user_version = 6"); }

// Version 4 to 5: the tables of levels, rules and judgements, and the history judged once (with
// the built-in quality rules and no levels yet, that gives the readings' flags).
bool migrateFrom4(sqlite3* db)
{
    return createTables5(db) && judging::rejudgeAll(db) && exec(db, "PRAGMA user_version = 5") && migrateFrom5(db);
}

// The readers of the record texts, for the migrations to compute the numbers in SQL.
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

// Version 3 to 4: every record goes to one readout, "未命名仪器", in the PC's time zone, its
// slot made of its partition and code. No component list can be read here, so no gauge is
// known and every record is unassigned; each calibration becomes the first version (since
// ever) of its code, of that readout's slot where there is one.
bool migrateFrom3(sqlite3* db)
{
    if (!registerReaders(db))
        return false;
    bool ok = true;
    const bool anything = oneNumber(
                              db,
                              "SELECT EXISTS(SELECT 1 FROM records) OR EXISTS(SELECT 1 FROM downloads) "
                              "OR EXISTS(SELECT 1 FROM calibrations)",
                              [](sqlite3_stmt*) {}, &ok)
                              .value_or(0) != 0;
    if (!ok)
        return false;
    if (!exec(db, "DROP TRIGGER IF EXISTS components_removed") || !exec(db, "DROP TRIGGER IF EXISTS components_changed") ||
        !exec(db, "DROP TABLE components") || !exec(db, "ALTER TABLE records RENAME TO records_v3") ||
        !exec(db, "ALTER TABLE calibrations RENAME TO calibrations_v3") || !createTables4(db) ||
        !exec(db, "ALTER TABLE downloads ADD COLUMN readout INTEGER REFERENCES readouts(id)"))
        return false;
    if (anything) {
        Statement readout(db, "INSERT INTO readouts(name, time_zone) VALUES(?1, ?2)");
        if (!readout)
            return false;
        bindText(readout.get(), 1, unnamedReadoutName());
        bindText(readout.get(), 2, systemZone());
        if (!step(readout.get()))
            return false;
        const qint64 id = sqlite3_last_insert_rowid(db);
        std::optional<ZoneClock> clock = zoneClockOf(db, id, &ok);
        if (!clock)
            return false;
        const auto utc = [](sqlite3_context* context, int, sqlite3_value** args) {
            if (sqlite3_value_type(args[0]) == SQLITE_NULL) {
                sqlite3_result_null(context);
                return;
            }
            auto* c = static_cast<ZoneClock*>(sqlite3_user_data(context));
            sqlite3_result_int64(context, c->utc(sqlite3_value_int64(args[0])));
        };
        if (sqlite3_create_function_v2(db, "archive_utc", 1, SQLITE_UTF8 | SQLITE_DIRECTONLY, &*clock, utc, nullptr,
                                       nullptr, nullptr) != SQLITE_OK)
            return false;
        const std::string rid = std::to_string(id);
        const std::string steps[] = {
            "UPDATE downloads SET readout = " + rid,
            "INSERT INTO slots(readout, partition, code) SELECT DISTINCT " + rid +
                ", partition, code FROM records_v3 ORDER BY partition, code",
            "INSERT INTO files(name) SELECT DISTINCT file FROM records_v3 ORDER BY file",
            "INSERT INTO odd_times(text) SELECT DISTINCT time FROM records_v3 WHERE archive_time_s(time) IS NULL "
            "ORDER BY time",
            "INSERT INTO records(slot, time_s, file, reading, temperature, time, download, reading_hz, "
            "temperature_c, utc_s) "
            "SELECT s.id, coalesce(t.t, " KTM_FIRST_TIME " - 1 - o.id), f.id, r.reading, r.temperature, "
            "CASE WHEN t.t IS NULL THEN r.time END, r.download, r.reading_hz, r.temperature_c, archive_utc(t.t) "
            "FROM records_v3 r JOIN (SELECT DISTINCT time, archive_time_s(time) AS t FROM records_v3) t "
            "ON t.time = r.time "
            "JOIN slots s ON s.readout = " +
                rid +
                " AND s.partition = r.partition AND s.code = r.code "
                "JOIN files f ON f.name = r.file LEFT JOIN odd_times o ON o.text = r.time "
                "ORDER BY 1, 2, 3",
            kCountSlots,
            "INSERT INTO calibration_versions(gauge, slot, code, from_utc, withdrawn, type, unit, kind, form, g, "
            "reversed, a, b, c, field_zero, r0, t0, k, entered_at, entered_by) "
            "SELECT NULL, (SELECT min(id) FROM slots s WHERE s.readout = " +
                rid + " AND s.code = c.code), c.code, " + std::to_string(kSinceEver) +
                ", 0, c.gauge, c.unit, c.kind, c.form, c.g, c.reversed, c.a, c.b, c.c, c.field_zero, c.r0, c.t0, c.k, "
                "?1, ?2 FROM calibrations_v3 c ORDER BY c.code",
        };
        for (const std::string& s : steps) {
            Statement run(db, s.c_str());
            if (!run)
                return false;
            if (sqlite3_bind_parameter_count(run.get()) == 2) {
                bindText(run.get(), 1, QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs));
                bindText(run.get(), 2, pcUser());
            }
            if (!step(run.get()))
                return false;
        }
        sqlite3_create_function_v2(db, "archive_utc", 1, SQLITE_UTF8, nullptr, nullptr, nullptr, nullptr, nullptr);
        // Nothing lost: every record of version 3 is one of version 4.
        const std::optional<qint64> before = oneNumber(
            db, "SELECT count(*) FROM records_v3", [](sqlite3_stmt*) {}, &ok);
        const std::optional<qint64> after = oneNumber(
            db, "SELECT count(*) FROM records", [](sqlite3_stmt*) {}, &ok);
        if (!ok || before != after)
            return false;
    }
    return exec(db, "DROP TABLE records_v3") && exec(db, "DROP TABLE calibrations_v3") && createSlotTriggers(db) &&
           exec(db, "PRAGMA user_version = 4") && migrateFrom4(db);
}

// Version 2 to 3: the table of components, filled from the records once.
bool migrateFrom2(sqlite3* db)
{
    return createComponents3(db) && exec(db, kFillComponents3) && exec(db, "PRAGMA user_version = 3") &&
           migrateFrom3(db);
}

// Version 1 to 2: every record is kept with its texts; the numbers are filled in from them, and
// each distinct download time of a partition becomes a download. A key field version 1 left
// NULL becomes empty text; should that make two records one, the migration fails whole and the
// file stays as it was rather than lose a record.
bool migrateFrom1(sqlite3* db)
{
    return registerReaders(db) && exec(db, "ALTER TABLE records RENAME TO records_v1") &&
           exec(db, kCreateDownloads3) &&
           exec(db, "INSERT INTO downloads(at, partition, received, added) "
                    "SELECT downloaded, partition, count(*), count(*) FROM records_v1 "
                    "GROUP BY downloaded, partition ORDER BY min(rowid)") &&
           exec(db, "CREATE INDEX downloads_of_v1 ON downloads(at, partition)") && exec(db, kCreateRecords3) &&
           exec(db, "INSERT INTO records(partition, file, code, time, reading, temperature, download, reading_hz, "
                    "temperature_c, time_s) "
                    "SELECT coalesce(r.partition, ''), coalesce(r.file, ''), coalesce(r.code, ''), "
                    "coalesce(r.time, ''), r.reading, r.temperature, "
                    "(SELECT d.id FROM downloads d WHERE d.at IS r.downloaded AND d.partition IS r.partition), "
                    "archive_reading_hz(r.reading), archive_temperature_c(r.temperature), archive_time_s(r.time) "
                    "FROM records_v1 r ORDER BY r.rowid") &&
           exec(db, "DROP TABLE records_v1") && exec(db, "DROP INDEX downloads_of_v1") &&
           exec(db, kCreateCalibrations3) && exec(db, "PRAGMA user_version = 2") && migrateFrom2(db);
}

// --- Opening --------------------------------------------------------------------------------

enum class OpenVerdict {
    Usable,
    Fresh,
    Damaged,
    Newer,
    CannotOpen
};

struct Inspection {
    OpenVerdict verdict = OpenVerdict::CannotOpen;
    QString detail;
    int version = 0;
    std::unique_ptr<Waiter> waiter; // outlives the connection
    Connection db;
};

OpenVerdict verdictOfFailure(int code)
{
    switch (code & 0xFF) {
    case SQLITE_NOTADB:
    case SQLITE_CORRUPT:
    case SQLITE_FORMAT:
        return OpenVerdict::Damaged;
    default:
        return OpenVerdict::CannotOpen;
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
            out.verdict = OpenVerdict::Damaged;
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
        out.verdict = OpenVerdict::Newer;
        out.detail = QStringLiteral("schema version %1, this program knows up to %2").arg(out.version).arg(Archive::kSchemaVersion);
        return out;
    }

    out.verdict = OpenVerdict::Damaged;
    if (out.version == 0) {
        Statement objects(db, "SELECT count(*) FROM sqlite_master");
        if (!objects || sqlite3_step(objects.get()) != SQLITE_ROW) {
            out.verdict = verdictOfFailure(sqlite3_errcode(db));
            out.detail = message(db);
        } else if (sqlite3_column_int64(objects.get(), 0) == 0) {
            out.verdict = OpenVerdict::Fresh;
        } else {
            out.detail = QStringLiteral("a database without a schema version: not an archive");
        }
    } else if (out.version == 1) {
        if (canPrepare(db, kVersion1Columns))
            out.verdict = OpenVerdict::Usable;
        else
            out.detail = QStringLiteral("schema version 1 without its records table: %1").arg(message(db));
    } else if (out.version >= 4 && out.version <= 6) {
        out.verdict = OpenVerdict::Usable;
        for (const char* check : kVersion4Checks) {
            if (!canPrepare(db, check)) {
                out.verdict = OpenVerdict::Damaged;
                out.detail = QStringLiteral("schema version %1 without its tables: %2").arg(out.version).arg(message(db));
                break;
            }
        }
        if (out.verdict == OpenVerdict::Usable && out.version >= 5) {
            for (const char* check : kVersion5Checks) {
                if (!canPrepare(db, check)) {
                    out.verdict = OpenVerdict::Damaged;
                    out.detail = QStringLiteral("schema version %1 without its tables: %2").arg(out.version).arg(message(db));
                    break;
                }
            }
        }
        if (out.verdict == OpenVerdict::Usable && out.version >= 6) {
            for (const char* check : kVersion6Checks) {
                if (!canPrepare(db, check)) {
                    out.verdict = OpenVerdict::Damaged;
                    out.detail = QStringLiteral("schema version 6 without its tables: %1").arg(message(db));
                    break;
                }
            }
        }
    } else if (out.version == 2 || out.version == 3) {
        out.verdict = OpenVerdict::Usable;
        for (const char* check : kVersion2Checks) {
            if (!canPrepare(db, check)) {
                out.verdict = OpenVerdict::Damaged;
                out.detail = QStringLiteral("schema version %1 without its tables: %2").arg(out.version).arg(message(db));
                break;
            }
        }
        if (out.verdict == OpenVerdict::Usable && out.version == 3 && !canPrepare(db, kVersion3Check)) {
            out.verdict = OpenVerdict::Damaged;
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
            case 3: return migrateFrom3(db);
            case 4: return migrateFrom4(db);
            case 5: return migrateFrom5(db);
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
            if (found.verdict != OpenVerdict::Fresh || !createSchema(found.db.get())) {
                setError(error, ErrorKind::CannotOpen, QStringLiteral("%1: %2").arg(file, found.detail));
                return nullptr;
            }
            found.verdict = OpenVerdict::Usable;
            found.version = kSchemaVersion;
        } else {
            found = inspect(file, options);
            if (found.verdict == OpenVerdict::CannotOpen) // a medium that takes no log beside the file
                found = inspect(file, options, true);
        }
        switch (found.verdict) {
        case OpenVerdict::Usable: break;
        case OpenVerdict::Fresh: break; // cannot be: an empty file was taken as none above
        case OpenVerdict::Damaged:
        case OpenVerdict::Newer:
            setError(error, found.verdict == OpenVerdict::Newer ? ErrorKind::NewerVersion : ErrorKind::Damaged,
                     QStringLiteral("%1: %2").arg(file, found.detail));
            return nullptr;
        case OpenVerdict::CannotOpen:
            setError(error, ErrorKind::CannotOpen, QStringLiteral("%1: %2").arg(file, found.detail));
            return nullptr;
        }
        if (found.version == 1) {
            setError(error, ErrorKind::CannotOpen,
                     QStringLiteral("%1: an archive of schema version 1, to be brought forward by a program that may write to it").arg(file));
            return nullptr;
        }
        if (found.version != kSchemaVersion) {
            // An older archive read where it may not be changed: brought forward in memory, from
            // a copy of it; the file stays as it is.
            OpenOptions memory = options;
            memory.readOnly = false;
            memory.check = false;
            Inspection copy = inspect(QStringLiteral(":memory:"), memory);
            sqlite3_backup* backup =
                copy.db ? sqlite3_backup_init(copy.db.get(), "main", found.db.get(), "main") : nullptr;
            const bool copied = backup && sqlite3_backup_step(backup, -1) == SQLITE_DONE;
            if (backup)
                sqlite3_backup_finish(backup);
            const std::optional<QString> failed =
                copied ? prepareSchema(copy.db.get()) : std::optional<QString>(message(copy.db.get()));
            if (failed) {
                setError(error, ErrorKind::CannotOpen,
                         QStringLiteral("%1: cannot read version %2 as version %3: %4").arg(file).arg(found.version).arg(kSchemaVersion).arg(*failed));
                return nullptr;
            }
            found.db.reset();
            found = std::move(copy);
        }
    } else {
        if (!QDir().mkpath(info.absolutePath())) {
            setError(error, ErrorKind::CannotOpen, QStringLiteral("cannot create the folder %1").arg(info.absolutePath()));
            return nullptr;
        }
        bool created = !anyExists(file);
        found = inspect(file, options);
        if (found.verdict != OpenVerdict::Usable || found.version != kSchemaVersion) {
            // Set aside, made or brought forward by one program at a time; what the file is may
            // have changed while this one waited for its turn.
            found.db.reset();
            FolderLock lock(info.absolutePath());
            found = inspect(file, options);
            if (found.verdict == OpenVerdict::Damaged || found.verdict == OpenVerdict::Newer) {
                const ErrorKind kind = found.verdict == OpenVerdict::Newer ? ErrorKind::NewerVersion : ErrorKind::Damaged;
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
                if (found.verdict != OpenVerdict::Fresh) { // something appeared in its place meanwhile
                    setError(error, ErrorKind::CannotOpen, QStringLiteral("%1: %2").arg(file, found.detail));
                    return nullptr;
                }
            }
            if (found.verdict == OpenVerdict::CannotOpen) {
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
                const QString what = found.verdict == OpenVerdict::Fresh ? QStringLiteral("cannot create the tables")
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
    impl->version = userVersion(db).value_or(0);
    if (!options.readOnly) {
        impl->insertDownload =
            Statement(db, "INSERT INTO downloads(at, partition, received, added, readout) VALUES(?1, ?2, ?3, 0, ?4)", true);
        impl->insertRecords = Statement(db, insertRecordsSql(kRecordsPerInsert).c_str(), true);
        impl->insertRecord = Statement(db, insertRecordsSql(1).c_str(), true);
        impl->finishDownload =
            Statement(db, "UPDATE downloads SET added = ?1, held = ?1, partition = ?3, received = ?4 WHERE id = ?2", true);
        if (!impl->insertDownload || !impl->insertRecords || !impl->insertRecord || !impl->finishDownload) {
            setError(error, ErrorKind::CannotOpen, QStringLiteral("%1: %2").arg(file, message(db)));
            return nullptr; // the statements go before the connection
        }
    }
    impl->waiter = std::move(found.waiter);
    impl->db = std::move(found.db);
    return std::unique_ptr<Archive>(new Archive(std::move(impl)));
}

bool recountSummary(sqlite3* db)
{
    bool ok = true;
    const bool slotted = oneNumber(
                             db, "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = 'slots'",
                             [](sqlite3_stmt*) {}, &ok)
                             .has_value();
    const bool components = oneNumber(
                                db, "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = 'components'",
                                [](sqlite3_stmt*) {}, &ok)
                                .has_value();
    if (!ok)
        return false;
    if (slotted)
        return exec(db, kCountSlots);
    return !components || (exec(db, "DELETE FROM components") && exec(db, kFillComponents3));
}

} // namespace archive
