#include "office/OfficeSchema.h"

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
        "CREATE TABLE ktm520.readings(slot integer NOT NULL, time_s bigint NOT NULL, file integer NOT NULL, "
        "reading text, temperature text, time_text text, reading_hz double precision, "
        "temperature_c double precision, utc_s bigint, download bigint NOT NULL, PRIMARY KEY(slot, time_s, file))",
        // Readings arrive download by download, so the table's order follows `download`: a block
        // range index finds one download's readings at a few hundred bytes per million rows.
        "CREATE INDEX readings_by_download ON ktm520.readings USING brin(download)",
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

} // namespace office
