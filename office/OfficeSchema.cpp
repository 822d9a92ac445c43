#include "office/OfficeSchema.h"

#include <QCoreApplication>

// Schema version 1 of the office database. Everything lives in the schema "ktm520".
//
// Readings are keyed as in the local archive, by small integers: (slot, time_s, file), where a
// slot is (readout, partition, code), a file is its name and time_s the readout time of the
// record's text (or, for a text that is not a time, -62135596801 - the id of that text in
// odd_times). That key is the natural identity (readout, partition, file, code, time) spelled with
// ids the office makes, so a reading two PCs downloaded is stored once. Each reading names the
// office download that brought it first, and the download its PC, user and archive (source), and
// when it reached the office.
//
// Rows the sync must find "changed since the last pull" carry the transaction id that wrote them
// (xid8): a pull asks for what was written by transactions at or after the oldest one still
// running when the previous pull began, so that no commit is missed however commits interleave.
//
// Readings carry no foreign keys: the sync makes their slot, file and download in the same
// transaction, and a per-row check would cost as much again as the insert itself.
namespace office {

const std::vector<const char*>& schemaStatements()
{
    static const std::vector<const char*> statements = {
        "CREATE SCHEMA IF NOT EXISTS ktm520",
        // The office itself: one row.
        "CREATE TABLE ktm520.office(one boolean PRIMARY KEY DEFAULT true CHECK(one), identity uuid NOT NULL, "
        "version integer NOT NULL, made_at timestamptz NOT NULL DEFAULT now())",
        // Each local archive that has sent anything: its identity, PC and user.
        "CREATE TABLE ktm520.sources(id serial PRIMARY KEY, identity uuid NOT NULL UNIQUE, pc text NOT NULL, "
        "pc_user text NOT NULL, first_seen timestamptz NOT NULL DEFAULT now(), last_sync timestamptz)",
        "CREATE TABLE ktm520.readouts(id serial PRIMARY KEY, name text NOT NULL, time_zone text NOT NULL, "
        "xid xid8 NOT NULL DEFAULT pg_current_xact_id())",
        "CREATE UNIQUE INDEX readouts_by_name ON ktm520.readouts(lower(name))",
        "CREATE TABLE ktm520.readout_zones(readout integer NOT NULL REFERENCES ktm520.readouts, "
        "from_utc bigint NOT NULL, zone text NOT NULL, xid xid8 NOT NULL DEFAULT pg_current_xact_id(), "
        "PRIMARY KEY(readout, from_utc))",
        "CREATE TABLE ktm520.sites(id serial PRIMARY KEY, name text NOT NULL UNIQUE, notes text NOT NULL DEFAULT '')",
        // The register; `revision` counts the accepted edits of a row.
        "CREATE TABLE ktm520.gauges(id serial PRIMARY KEY, name text NOT NULL UNIQUE, type text NOT NULL DEFAULT '', "
        "unit text NOT NULL DEFAULT '', site integer REFERENCES ktm520.sites, location text NOT NULL DEFAULT '', "
        "installed date, interval_days integer NOT NULL DEFAULT 0, notes text NOT NULL DEFAULT '', "
        "revision bigint NOT NULL DEFAULT 1, edited_at timestamptz NOT NULL DEFAULT now(), "
        "edited_by text NOT NULL DEFAULT '', edited_from integer REFERENCES ktm520.sources, "
        "xid xid8 NOT NULL DEFAULT pg_current_xact_id())",
        "CREATE INDEX gauges_by_xid ON ktm520.gauges(xid)",
        "CREATE TABLE ktm520.slots(id serial PRIMARY KEY, readout integer NOT NULL REFERENCES ktm520.readouts, "
        "partition text NOT NULL, code text NOT NULL, UNIQUE(readout, partition, code))",
        // A slot's assignments are one revisioned row (slot_assignments) with its intervals
        // (assignments) in readout time [from_t, to_t).
        "CREATE TABLE ktm520.slot_assignments(slot integer PRIMARY KEY REFERENCES ktm520.slots, "
        "revision bigint NOT NULL DEFAULT 1, edited_at timestamptz NOT NULL DEFAULT now(), "
        "edited_by text NOT NULL DEFAULT '', edited_from integer REFERENCES ktm520.sources, "
        "xid xid8 NOT NULL DEFAULT pg_current_xact_id())",
        "CREATE INDEX slot_assignments_by_xid ON ktm520.slot_assignments(xid)",
        "CREATE TABLE ktm520.assignments(slot integer NOT NULL REFERENCES ktm520.slot_assignments, "
        "gauge integer NOT NULL REFERENCES ktm520.gauges, from_t bigint NOT NULL, to_t bigint NOT NULL, "
        "by_hand boolean NOT NULL, PRIMARY KEY(slot, from_t), CHECK(from_t < to_t))",
        "CREATE INDEX assignments_of_gauge ON ktm520.assignments(gauge, from_t)",
        "CREATE TABLE ktm520.files(id serial PRIMARY KEY, name text NOT NULL UNIQUE)",
        "CREATE TABLE ktm520.odd_times(id serial PRIMARY KEY, text text NOT NULL UNIQUE)",
        // One row per download a PC sent: `received` records offered, `added` of them new to the office.
        "CREATE TABLE ktm520.downloads(id bigserial PRIMARY KEY, source integer NOT NULL REFERENCES ktm520.sources, "
        "source_download bigint NOT NULL, readout integer NOT NULL REFERENCES ktm520.readouts, partition text, "
        "downloaded_at timestamptz, pc text NOT NULL, pc_user text NOT NULL, received bigint NOT NULL, "
        "added bigint NOT NULL, reached_office timestamptz NOT NULL DEFAULT now(), "
        "xid xid8 NOT NULL DEFAULT pg_current_xact_id(), UNIQUE(source, source_download))",
        "CREATE INDEX downloads_by_xid ON ktm520.downloads(xid)",
        // The key's index carries what a trend plots (UTC, frequency, temperature), so that one
        // gauge's readings are read from the index alone (an index-only scan) rather than from a
        // heap page each: readings of many slots arrive together, so one slot's share the heap's
        // pages with every other slot's. Vacuumed after 0.5 % new rows (not 20 %), so that
        // the pages of what was just sent are soon marked all-visible for such scans.
        "CREATE TABLE ktm520.readings(slot integer NOT NULL, time_s bigint NOT NULL, file integer NOT NULL, "
        "reading text, temperature text, time_text text, reading_hz double precision, "
        "temperature_c double precision, utc_s bigint, download bigint NOT NULL, "
        "PRIMARY KEY(slot, time_s, file) INCLUDE (utc_s, reading_hz, temperature_c)) "
        "WITH (autovacuum_vacuum_insert_scale_factor = 0.005)",
        // Readings arrive download by download, so the table's order follows `download` and,
        // roughly, time: block range indexes find one download's readings, or every reading of a
        // period, at a few kilobytes per ten million rows.
        "CREATE INDEX readings_by_download ON ktm520.readings USING brin(download)",
        "CREATE INDEX readings_by_utc ON ktm520.readings USING brin(utc_s)",
        // Versions are never changed, only added; `based_on` the version that was the latest when
        // this one was entered.
        "CREATE TABLE ktm520.calibration_versions(uid uuid PRIMARY KEY, based_on uuid, "
        "gauge integer REFERENCES ktm520.gauges, slot integer REFERENCES ktm520.slots, code text, "
        "from_utc bigint NOT NULL, withdrawn boolean NOT NULL, type text NOT NULL, unit text NOT NULL, "
        "kind text NOT NULL, form text NOT NULL, g double precision NOT NULL, reversed boolean NOT NULL, "
        "a double precision NOT NULL, b double precision NOT NULL, c double precision NOT NULL, "
        "field_zero boolean NOT NULL, r0 double precision NOT NULL, t0 double precision NOT NULL, "
        "k double precision NOT NULL, entered_at timestamptz NOT NULL, entered_by text NOT NULL, "
        "source integer REFERENCES ktm520.sources, xid xid8 NOT NULL DEFAULT pg_current_xact_id())",
        "CREATE INDEX calibration_versions_by_xid ON ktm520.calibration_versions(xid)",
        // levels: [{"side":0,"rank":1,"quantity":0,"threshold":..,"window_days":..,"confirm":..,"dead_band":..}]
        "CREATE TABLE ktm520.level_sets(uid uuid PRIMARY KEY, based_on uuid, "
        "gauge integer NOT NULL REFERENCES ktm520.gauges, from_utc bigint NOT NULL, baseline_utc bigint NOT NULL, "
        "rank_names text[] NOT NULL, levels jsonb NOT NULL, entered_at timestamptz NOT NULL, "
        "entered_by text NOT NULL, source integer REFERENCES ktm520.sources, "
        "xid xid8 NOT NULL DEFAULT pg_current_xact_id())",
        "CREATE INDEX level_sets_by_xid ON ktm520.level_sets(xid)",
        "CREATE TABLE ktm520.masks(slot integer NOT NULL, time_s bigint NOT NULL, file integer NOT NULL, "
        "masked_at timestamptz NOT NULL, masked_by text NOT NULL, note text NOT NULL, lifted_at timestamptz, "
        "lifted_by text, source integer REFERENCES ktm520.sources, xid xid8 NOT NULL DEFAULT pg_current_xact_id(), "
        "PRIMARY KEY(slot, time_s, file, masked_at))",
        "CREATE INDEX masks_by_xid ON ktm520.masks(xid)",
        "CREATE TABLE ktm520.acknowledgements(gauge integer NOT NULL REFERENCES ktm520.gauges, utc bigint NOT NULL, "
        "to_status integer NOT NULL, note text NOT NULL, by text NOT NULL, at timestamptz NOT NULL, "
        "source integer REFERENCES ktm520.sources, xid xid8 NOT NULL DEFAULT pg_current_xact_id(), "
        "PRIMARY KEY(gauge, utc, to_status))",
        "CREATE INDEX acknowledgements_by_xid ON ktm520.acknowledgements(xid)",
        // What judging found, as the PC that last judged the gauge sent it (every PC judges the
        // history it holds again from the shared levels and calibrations): sparse marks and the
        // transitions.
        "CREATE TABLE ktm520.marks(slot integer NOT NULL, time_s bigint NOT NULL, file integer NOT NULL, "
        "gauge integer NOT NULL REFERENCES ktm520.gauges, status smallint NOT NULL, level smallint NOT NULL, "
        "flags integer NOT NULL, PRIMARY KEY(slot, time_s, file))",
        "CREATE INDEX marks_of_gauge ON ktm520.marks(gauge)",
        "CREATE TABLE ktm520.events(gauge integer NOT NULL REFERENCES ktm520.gauges, utc bigint NOT NULL, "
        "to_status smallint NOT NULL, from_status smallint NOT NULL, slot integer NOT NULL, time_s bigint NOT NULL, "
        "file integer NOT NULL, value double precision, unit text NOT NULL, level smallint NOT NULL, "
        "judged_by integer REFERENCES ktm520.sources, judged_at timestamptz NOT NULL DEFAULT now(), "
        "PRIMARY KEY(gauge, utc, to_status))",
        "CREATE INDEX events_by_time ON ktm520.events(utc)",
        // Two edits of the same version: both kept, `applied` the later.
        "CREATE TABLE ktm520.conflicts(id bigserial PRIMARY KEY, kind text NOT NULL "
        "CHECK(kind IN ('gauge', 'assignments', 'calibration', 'levels')), subject text NOT NULL, "
        "applied jsonb NOT NULL, applied_by text NOT NULL, applied_at timestamptz NOT NULL, other jsonb NOT NULL, "
        "other_by text NOT NULL, other_at timestamptz NOT NULL, found_at timestamptz NOT NULL DEFAULT now(), "
        "found_by integer REFERENCES ktm520.sources, xid xid8 NOT NULL DEFAULT pg_current_xact_id())",
        "CREATE INDEX conflicts_by_xid ON ktm520.conflicts(xid)",
    };
    return statements;
}

namespace {

// The advisory lock every PC takes to make or migrate the schema (one number for this program's
// office schema; advisory locks are per database).
constexpr char kSchemaLock[] = "SELECT pg_advisory_xact_lock(5205200001)";

// Steps from each older version to the next, by the version they start from. Version 1 is the
// first: none yet. A step adds what its version brings (tables, columns, indexes) and is run in
// the transaction that makes the schema current, the grants given again after it.
struct MigrationStep {
    int from;
    std::vector<const char*> statements;
};
const std::vector<MigrationStep>& migrationSteps()
{
    static const std::vector<MigrationStep> steps = {};
    return steps;
}

// Makes the two roles where they are missing. Roles belong to the cluster: another database's
// office (or another PC at this very moment) may have made them already, so one made meanwhile
// counts as made.
constexpr char kMakeRoles[] = R"(DO $$
DECLARE r text;
BEGIN
  FOREACH r IN ARRAY ARRAY['ktm520_reader', 'ktm520_writer'] LOOP
    IF NOT EXISTS (SELECT 1 FROM pg_roles WHERE rolname = r) THEN
      BEGIN
        EXECUTE format('CREATE ROLE %I NOLOGIN', r);
      EXCEPTION WHEN duplicate_object OR unique_violation THEN
        NULL;
      END;
    END IF;
  END LOOP;
END $$)";

// What each role may do. The writer may add and change rows (not the office row itself), delete
// where rows are replaced (a slot's assignments, a gauge's marks and events), take ids from the
// sequences and make the temporary staging table of a push. Given by the schema's owner; TEMP
// on the database only where it may (PUBLIC has it by default).
constexpr char kGrants[] = R"(DO $$
BEGIN
  IF EXISTS (SELECT 1 FROM pg_roles WHERE rolname = 'ktm520_reader') THEN
    GRANT USAGE ON SCHEMA ktm520 TO ktm520_reader;
    GRANT SELECT ON ALL TABLES IN SCHEMA ktm520 TO ktm520_reader;
  END IF;
  IF EXISTS (SELECT 1 FROM pg_roles WHERE rolname = 'ktm520_writer') THEN
    GRANT USAGE ON SCHEMA ktm520 TO ktm520_writer;
    GRANT SELECT, INSERT, UPDATE ON ALL TABLES IN SCHEMA ktm520 TO ktm520_writer;
    REVOKE INSERT, UPDATE ON ktm520.office FROM ktm520_writer;
    GRANT DELETE ON ktm520.assignments, ktm520.marks, ktm520.events TO ktm520_writer;
    GRANT USAGE, SELECT ON ALL SEQUENCES IN SCHEMA ktm520 TO ktm520_writer;
    IF NOT has_database_privilege('ktm520_writer', current_database(), 'TEMP') THEN
      BEGIN
        EXECUTE format('GRANT TEMP ON DATABASE %I TO ktm520_writer', current_database());
      EXCEPTION WHEN insufficient_privilege THEN
        RAISE WARNING 'ktm520_writer may not make temporary tables in this database';
      END;
    END IF;
    IF EXISTS (SELECT 1 FROM pg_roles WHERE rolname = 'ktm520_reader')
       AND NOT pg_has_role('ktm520_writer', 'ktm520_reader', 'MEMBER') THEN
      BEGIN
        GRANT ktm520_reader TO ktm520_writer;
      EXCEPTION WHEN insufficient_privilege THEN
        RAISE WARNING 'ktm520_writer could not be made a member of ktm520_reader';
      END;
    END IF;
  END IF;
END $$)";

void rollback(PgConnection& conn)
{
    Failure ignored;
    if (conn.ok())
        conn.exec("ROLLBACK", &ignored);
}

std::optional<SchemaInfo> fail(PgConnection& conn, Failure* failure, FailureKind kind, const QString& detail)
{
    rollback(conn);
    if (failure)
        *failure = Failure{kind, detail};
    return std::nullopt;
}

} // namespace

std::optional<SchemaInfo> ensureSchema(PgConnection& conn, Failure* failure)
{
    Failure local;
    Failure* f = failure ? failure : &local;
    if (!conn.exec("BEGIN", f))
        return std::nullopt;
    if (!conn.exec(kSchemaLock, f)) {
        rollback(conn);
        return std::nullopt;
    }
    // Read from the catalogue, which everyone may read: a user without rights on the schema still
    // learns whether it exists, and what it may do.
    const std::optional<PgResult> found = conn.query(
        "SELECT EXISTS(SELECT 1 FROM pg_class c JOIN pg_namespace n ON n.oid = c.relnamespace "
        "WHERE n.nspname = 'ktm520' AND c.relname = 'office'), "
        "has_database_privilege(current_database(), 'CREATE'), "
        "(SELECT rolsuper OR rolcreaterole FROM pg_roles WHERE rolname = current_user), "
        "(SELECT pg_has_role(nspowner, 'USAGE') FROM pg_namespace WHERE nspname = 'ktm520')",
        f);
    if (!found || found->rows() != 1) {
        rollback(conn);
        return std::nullopt;
    }
    const bool exists = found->boolean(0, 0);
    const bool mayCreate = found->boolean(0, 1);
    const bool mayMakeRoles = found->boolean(0, 2);
    const bool owns = found->boolean(0, 3); // false when there is no schema yet
    bool grant = false;

    if (!exists) {
        if (!mayCreate)
            return fail(conn, failure, FailureKind::NoSchema, conn.database());
        for (const char* statement : schemaStatements())
            if (!conn.exec(statement, f)) {
                rollback(conn);
                return std::nullopt;
            }
        if (!conn.query("INSERT INTO ktm520.office(identity, version) VALUES (gen_random_uuid(), $1)",
                        {QByteArray::number(kOfficeSchemaVersion)}, f)) {
            rollback(conn);
            return std::nullopt;
        }
        grant = true;
    } else {
        const std::optional<PgResult> version = conn.query("SELECT version FROM ktm520.office", f);
        if (!version) {
            rollback(conn);
            return std::nullopt;
        }
        const int v = version->rows() == 1 ? int(version->number(0, 0)) : 0;
        if (v > kOfficeSchemaVersion)
            return fail(conn, failure, FailureKind::SchemaNewer,
                        QCoreApplication::translate("Office", "数据库结构版本 %1，本程序最高只支持版本 %2")
                            .arg(v)
                            .arg(kOfficeSchemaVersion));
        if (v < 1)
            return fail(conn, failure, FailureKind::QueryFailed,
                        QCoreApplication::translate("Office", "办公室数据库的版本记录缺失或无效。"));
        if (v < kOfficeSchemaVersion) {
            if (!owns)
                return fail(conn, failure, FailureKind::PermissionDenied,
                            QCoreApplication::translate("Office", "办公室数据库的结构是旧版本 %1，只有其所有者才能升级它。")
                                .arg(v));
            for (const MigrationStep& step : migrationSteps()) {
                if (step.from < v)
                    continue;
                for (const char* statement : step.statements)
                    if (!conn.exec(statement, f)) {
                        rollback(conn);
                        return std::nullopt;
                    }
            }
            if (!conn.query("UPDATE ktm520.office SET version = $1", {QByteArray::number(kOfficeSchemaVersion)}, f)) {
                rollback(conn);
                return std::nullopt;
            }
            grant = true;
        } else if (owns) {
            // The roles may have been made since (by an administrator, or in another database of
            // the cluster): the owner gives them their rights once they exist.
            const std::optional<PgResult> given = conn.query(
                "SELECT (SELECT count(*) FROM pg_roles WHERE rolname IN ('ktm520_reader', 'ktm520_writer')) = 2 "
                "AND NOT (has_table_privilege('ktm520_reader', 'ktm520.readings', 'SELECT') "
                "AND has_table_privilege('ktm520_writer', 'ktm520.readings', 'INSERT'))",
                f);
            if (!given) {
                rollback(conn);
                return std::nullopt;
            }
            grant = given->rows() == 1 && given->boolean(0, 0);
        }
    }
    if (grant) {
        if ((mayMakeRoles && !conn.exec(kMakeRoles, f)) || !conn.exec(kGrants, f)) {
            rollback(conn);
            return std::nullopt;
        }
    }
    const std::optional<PgResult> info = conn.query(
        "SELECT version, identity::text, has_table_privilege(current_user, 'ktm520.readings', 'INSERT') FROM ktm520.office",
        f);
    if (!info || info->rows() != 1) {
        if (info)
            return fail(conn, failure, FailureKind::QueryFailed,
                        QCoreApplication::translate("Office", "办公室数据库的版本记录缺失或无效。"));
        rollback(conn);
        return std::nullopt;
    }
    SchemaInfo out;
    out.version = int(info->number(0, 0));
    out.identity = info->text(0, 1);
    out.canWrite = info->boolean(0, 2);
    if (!conn.exec("COMMIT", f))
        return std::nullopt;
    return out;
}

} // namespace office
