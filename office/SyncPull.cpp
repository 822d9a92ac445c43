// The pull: what the office has that this archive has not, from the rows written by transactions
// at or after the oldest one still running when the previous pull began.
#include "office/SyncInternal.h"

#include "archive/Record.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QSet>

namespace office::sync {

namespace {

constexpr char kCursorNote[] = "pull-cursor";
// The sites whose readings the last pull brought, one a line.
constexpr char kSitesNote[] = "pull-sites";

bool pullReadouts(Context& ctx, const Param& cursor)
{
    archive::Error error;
    const std::optional<PgResult> readouts =
        ctx.query("SELECT name, time_zone FROM ktm520.readouts WHERE xid >= $1::xid8", {cursor});
    if (!readouts)
        return false;
    for (int row = 0; row < readouts->rows(); ++row) {
        const QString name = readouts->text(row, 0);
        if (!ctx.archive.readout(name, &error) && error.detail.isEmpty() &&
            !ctx.archive.addReadout(name, readouts->text(row, 1), &error) && !ctx.archive.readout(name))
            return ctx.local(error);
    }
    const std::optional<PgResult> zones =
        ctx.query("SELECT o.name, z.from_utc, z.zone FROM ktm520.readout_zones z JOIN ktm520.readouts o "
                  "ON o.id = z.readout WHERE z.xid >= $1::xid8 ORDER BY o.name, z.from_utc",
                  {cursor});
    if (!zones)
        return false;
    for (int row = 0; row < zones->rows(); ++row) {
        const std::optional<archive::Readout> readout = ctx.archive.readout(zones->text(row, 0), &error);
        if (!readout)
            continue;
        const qint64 from = zones->number(row, 1);
        const QString zone = zones->text(row, 2);
        bool held = false;
        for (const archive::ZoneChange& z : ctx.archive.zoneChanges(readout->id, &error))
            held = held || (z.fromUtc == from && z.timeZone == zone);
        if (!held && !ctx.archive.setReadoutZone(readout->id, zone, from, &error))
            return ctx.local(error);
    }
    return true;
}

bool pullRegister(Context& ctx, const Param& cursor)
{
    archive::Error error;
    const std::optional<PgResult> rows = ctx.query(
        "SELECT g.name, g.type, g.unit, coalesce(s.name, ''), g.location, coalesce(g.installed::text, ''), "
        "g.interval_days, g.notes, g.revision, " KTM_MS("g.edited_at") ", g.edited_by FROM ktm520.gauges g "
                                                                       "LEFT JOIN ktm520.sites s ON s.id = g.site WHERE g.xid >= $1::xid8 AND g.revision > 0 ORDER BY g.name",
        {cursor});
    if (!rows)
        return false;
    std::vector<archive::SharedGauge> gauges;
    for (int row = 0; row < rows->rows(); ++row) {
        archive::SharedGauge g;
        g.info.name = rows->text(row, 0);
        g.info.type = rows->text(row, 1);
        g.info.unit = rows->text(row, 2);
        g.info.site = rows->text(row, 3);
        g.info.location = rows->text(row, 4);
        g.info.installed = QDate::fromString(rows->text(row, 5), Qt::ISODate);
        g.info.intervalDays = int(rows->number(row, 6));
        g.info.notes = rows->text(row, 7);
        g.revision = rows->number(row, 8);
        g.editedAt = instantOf(*rows, row, 9);
        g.editedBy = rows->text(row, 10);
        gauges.push_back(g);
    }
    if (!gauges.empty() && !ctx.archive.applySharedGauges(gauges, &error))
        return ctx.local(error);
    ctx.result.registerPulled += qint64(gauges.size());

    const std::optional<PgResult> slotRows =
        ctx.query("SELECT sa.slot, o.name, sl.partition, sl.code, sa.revision, " KTM_MS("sa.edited_at") ", sa.edited_by FROM ktm520.slot_assignments sa JOIN ktm520.slots sl ON sl.id = sa.slot "
                                                                                                        "JOIN ktm520.readouts o ON o.id = sl.readout WHERE sa.xid >= $1::xid8 AND sa.revision > 0 "
                                                                                                        "ORDER BY sa.slot",
                  {cursor});
    if (!slotRows)
        return false;
    if (slotRows->rows() == 0)
        return true;
    std::vector<qint64> ids;
    std::vector<archive::SharedAssignments> shared;
    QHash<qint64, std::size_t> indexOf;
    for (int row = 0; row < slotRows->rows(); ++row) {
        archive::SharedAssignments s;
        s.readout = slotRows->text(row, 1);
        s.partition = slotRows->text(row, 2);
        s.code = slotRows->text(row, 3);
        s.revision = slotRows->number(row, 4);
        s.editedAt = instantOf(*slotRows, row, 5);
        s.editedBy = slotRows->text(row, 6);
        ids.push_back(slotRows->number(row, 0));
        indexOf.insert(ids.back(), shared.size());
        shared.push_back(s);
    }
    const std::optional<PgResult> intervals =
        ctx.query("SELECT a.slot, g.name, a.from_t, a.to_t, a.by_hand FROM ktm520.assignments a "
                  "JOIN ktm520.gauges g ON g.id = a.gauge WHERE a.slot = ANY($1::int[]) ORDER BY a.slot, a.from_t",
                  {numberArray(ids)});
    if (!intervals)
        return false;
    for (int row = 0; row < intervals->rows(); ++row) {
        archive::SharedAssignments& s = shared[indexOf.value(intervals->number(row, 0))];
        archive::Assignment a;
        a.readout = s.readout;
        a.partition = s.partition;
        a.code = s.code;
        a.gauge = intervals->text(row, 1);
        a.from = intervals->number(row, 2);
        a.to = intervals->number(row, 3);
        a.byHand = intervals->boolean(row, 4);
        s.assignments.push_back(a);
    }
    if (!ctx.archive.applySharedAssignments(shared, &error))
        return ctx.local(error);
    ctx.result.registerPulled += qint64(shared.size());
    return true;
}

bool pullVersions(Context& ctx, const Param& cursor)
{
    archive::Error error;
    const std::optional<PgResult> rows = ctx.query(
        "SELECT c.uid::text, coalesce(c.based_on::text, ''), coalesce(g.name, ''), coalesce(o.name, ''), "
        "coalesce(c.code, sl.code, ''), c.from_utc, c.withdrawn, c.type, c.unit, c.kind, c.form, c.g, c.reversed, "
        "c.a, c.b, c.c, c.field_zero, c.r0, c.t0, c.k, " KTM_MS("c.entered_at") ", c.entered_by "
                                                                                "FROM ktm520.calibration_versions c LEFT JOIN ktm520.gauges g ON g.id = c.gauge "
                                                                                "LEFT JOIN ktm520.slots sl ON sl.id = c.slot LEFT JOIN ktm520.readouts o ON o.id = sl.readout "
                                                                                "WHERE c.xid >= $1::xid8 ORDER BY c.entered_at",
        {cursor});
    if (!rows)
        return false;
    std::vector<archive::SharedCalibration> calibrations;
    for (int row = 0; row < rows->rows(); ++row) {
        archive::SharedCalibration c;
        c.uid = rows->text(row, 0);
        c.basedOn = rows->text(row, 1);
        archive::CalibrationVersion& v = c.version;
        v.gauge = rows->text(row, 2);
        v.readout = rows->text(row, 3);
        v.code = rows->text(row, 4);
        v.fromUtc = rows->number(row, 5);
        v.withdrawn = rows->boolean(row, 6);
        v.values.code = v.gauge.isEmpty() ? v.code : v.gauge;
        v.values.gauge = rows->text(row, 7);
        v.values.unit = rows->text(row, 8);
        v.values.kind = rows->text(row, 9) == QLatin1String("frequency") ? archive::ReadingKind::Frequency
                                                                         : archive::ReadingKind::Digits;
        v.values.form = rows->text(row, 10) == QLatin1String("linear") ? archive::Form::Linear
                                                                       : archive::Form::Polynomial;
        v.values.G = rows->real(row, 11);
        v.values.reversed = rows->boolean(row, 12);
        v.values.A = rows->real(row, 13);
        v.values.B = rows->real(row, 14);
        v.values.C = rows->real(row, 15);
        v.values.fieldZero = rows->boolean(row, 16);
        v.values.R0 = rows->real(row, 17);
        v.values.T0 = rows->real(row, 18);
        v.values.K = rows->real(row, 19);
        v.enteredAt = instantOf(*rows, row, 20);
        v.enteredBy = rows->text(row, 21);
        calibrations.push_back(c);
    }
    if (!calibrations.empty() && !ctx.archive.importCalibrationVersions(calibrations, &error))
        return ctx.local(error);

    const std::optional<PgResult> sets = ctx.query(
        "SELECT l.uid::text, coalesce(l.based_on::text, ''), g.name, l.from_utc, l.baseline_utc, "
        "array_to_json(l.rank_names)::text, l.levels::text, " KTM_MS("l.entered_at") ", l.entered_by "
                                                                                     "FROM ktm520.level_sets l JOIN ktm520.gauges g ON g.id = l.gauge WHERE l.xid >= $1::xid8 "
                                                                                     "ORDER BY l.entered_at",
        {cursor});
    if (!sets)
        return false;
    std::vector<archive::SharedLevelSet> levels;
    for (int row = 0; row < sets->rows(); ++row) {
        archive::SharedLevelSet s;
        s.uid = sets->text(row, 0);
        s.basedOn = sets->text(row, 1);
        s.set.gauge = sets->text(row, 2);
        s.set.fromUtc = sets->number(row, 3);
        s.set.baselineUtc = sets->number(row, 4);
        s.set.rankNames.clear();
        for (const QJsonValue& name : QJsonDocument::fromJson(sets->bytes(row, 5)).array())
            s.set.rankNames << name.toString();
        for (const QJsonValue& value : QJsonDocument::fromJson(sets->bytes(row, 6)).array()) {
            const QJsonObject o = value.toObject();
            archive::TriggerLevel l;
            l.side = archive::LevelSide(o.value("side").toInt());
            l.rank = o.value("rank").toInt();
            l.quantity = archive::LevelQuantity(o.value("quantity").toInt());
            l.threshold = o.value("threshold").toDouble();
            l.windowDays = o.value("window_days").toDouble();
            l.confirm = o.value("confirm").toInt();
            l.deadBand = o.value("dead_band").toDouble();
            s.set.levels.push_back(l);
        }
        s.set.enteredAt = instantOf(*sets, row, 7);
        s.set.enteredBy = sets->text(row, 8);
        levels.push_back(s);
    }
    if (!levels.empty() && !ctx.archive.importLevelSets(levels, &error))
        return ctx.local(error);
    ctx.result.registerPulled += qint64(calibrations.size() + levels.size());
    return true;
}

QString timeTextOf(qint64 time, const QString& text)
{
    return text.isEmpty() ? archive::instrumentTimeText(time) : text;
}

bool pullMasksAndAcknowledgements(Context& ctx, const Param& cursor)
{
    archive::Error error;
    const std::optional<PgResult> rows = ctx.query(
        "SELECT o.name, sl.partition, f.name, sl.code, m.time_s, coalesce(ot.text, ''), m.note, m.masked_by, " KTM_MS("m.masked_at") ", coalesce(m.lifted_by, ''), " KTM_MS("m.lifted_at") " FROM ktm520.masks m "
                                                                                                                                                                                           "JOIN ktm520.slots sl ON sl.id = m.slot JOIN ktm520.readouts o ON o.id = sl.readout "
                                                                                                                                                                                           "JOIN ktm520.files f ON f.id = m.file LEFT JOIN ktm520.odd_times ot ON ot.id = -62135596801 - m.time_s "
                                                                                                                                                                                           "WHERE m.xid >= $1::xid8 AND (m.source IS DISTINCT FROM $2 OR m.lifted_at IS NOT NULL)",
        {cursor, number(ctx.source)});
    if (!rows)
        return false;
    std::vector<archive::SharedMask> masks;
    for (int row = 0; row < rows->rows(); ++row) {
        archive::SharedMask m;
        m.reading = archive::ReadingKey{rows->text(row, 0), rows->text(row, 1), rows->text(row, 2), rows->text(row, 3),
                                        timeTextOf(rows->number(row, 4), rows->text(row, 5))};
        m.note = rows->text(row, 6);
        m.by = rows->text(row, 7);
        m.at = instantOf(*rows, row, 8);
        m.liftedBy = rows->text(row, 9);
        m.liftedAt = instantOf(*rows, row, 10);
        masks.push_back(m);
    }
    if (!masks.empty() && !ctx.archive.importMasks(masks, &error))
        return ctx.local(error);

    const std::optional<PgResult> acks =
        ctx.query("SELECT g.name, a.utc, a.to_status, a.note, a.by, " KTM_MS("a.at") " FROM ktm520.acknowledgements a "
                                                                                     "JOIN ktm520.gauges g ON g.id = a.gauge WHERE a.xid >= $1::xid8 AND a.source IS DISTINCT FROM $2",
                  {cursor, number(ctx.source)});
    if (!acks)
        return false;
    std::vector<archive::SharedAcknowledgement> shared;
    for (int row = 0; row < acks->rows(); ++row)
        shared.push_back(archive::SharedAcknowledgement{acks->text(row, 0), acks->number(row, 1),
                                                        int(acks->number(row, 2)), acks->text(row, 3),
                                                        acks->text(row, 4), instantOf(*acks, row, 5)});
    if (!shared.empty() && !ctx.archive.importAcknowledgements(shared, &error))
        return ctx.local(error);
    ctx.result.registerPulled += qint64(masks.size() + shared.size());
    return true;
}

// The sites whose readings of other PCs come here.
QStringList followedSites(Context& ctx)
{
    if (!ctx.options.followedSites.isEmpty())
        return ctx.options.followedSites;
    QSet<QString> sites;
    archive::Error error;
    for (const archive::GaugeSummary& g : ctx.archive.gauges({}, &error))
        if (g.count > 0 && !g.info.site.isEmpty())
            sites.insert(g.info.site);
    QStringList out(sites.begin(), sites.end());
    out.sort();
    return out;
}

bool pullReadings(Context& ctx, const Param& cursor, QStringList* followed)
{
    const QStringList sites = followedSites(ctx);
    *followed = sites;
    if (sites.isEmpty())
        return true;
    archive::Error error;
    // A site followed since the last pull (a PC that has just read its gauges, or one told to
    // follow it) has readings the office got before the cursor: for it, every office download
    // is looked at (those held here are skipped below).
    const QStringList before = ctx.archive.officeNote(kSitesNote, &error).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    if (!error.detail.isEmpty())
        return ctx.local(error);
    bool newSite = false;
    for (const QString& site : sites)
        newSite = newSite || !before.contains(site);
    const Param from = newSite ? text(QStringLiteral("0")) : cursor;
    const std::vector<qint64> held = ctx.archive.officeDownloads(&error);
    if (!error.detail.isEmpty())
        return ctx.local(error);
    const QSet<qint64> heldSet(held.begin(), held.end());
    const std::optional<PgResult> downloads = ctx.query(
        "SELECT d.id, o.name, src.identity::text, d.pc, d.pc_user, " KTM_MS("d.downloaded_at") " "
                                                                                               "FROM ktm520.downloads d JOIN ktm520.readouts o ON o.id = d.readout "
                                                                                               "JOIN ktm520.sources src ON src.id = d.source WHERE d.xid >= $1::xid8 AND d.source <> $2 AND d.added > 0 "
                                                                                               "AND EXISTS (SELECT 1 FROM ktm520.readings r JOIN ktm520.assignments a ON a.slot = r.slot "
                                                                                               "AND r.time_s >= a.from_t AND r.time_s < a.to_t JOIN ktm520.gauges g ON g.id = a.gauge "
                                                                                               "JOIN ktm520.sites s ON s.id = g.site WHERE r.download = d.id AND s.name = ANY($3::text[])) ORDER BY d.id",
        {from, number(ctx.source), textArray(sites)});
    if (!downloads)
        return false;
    std::vector<int> wanted;
    for (int row = 0; row < downloads->rows(); ++row)
        if (!heldSet.contains(downloads->number(row, 0)))
            wanted.push_back(row);
    qint64 done = 0;
    ctx.progress(SyncProgress::Pulling, 0, qint64(wanted.size()));
    for (int row : wanted) {
        if (ctx.cancelled())
            return false;
        const qint64 id = downloads->number(row, 0);
        const std::optional<PgResult> readings =
            ctx.query("SELECT sl.partition, f.name, sl.code, r.time_s, coalesce(r.time_text, ot.text, ''), "
                      "r.reading, r.temperature FROM ktm520.readings r JOIN ktm520.slots sl ON sl.id = r.slot "
                      "JOIN ktm520.files f ON f.id = r.file LEFT JOIN ktm520.odd_times ot "
                      "ON r.time_s < -62135596800 AND ot.id = -62135596801 - r.time_s WHERE r.download = $1",
                      {number(id)});
        if (!readings)
            return false;
        std::vector<archive::Record> records;
        records.reserve(std::size_t(readings->rows()));
        for (int r = 0; r < readings->rows(); ++r)
            records.push_back(archive::Record{readings->text(r, 0), readings->text(r, 1), readings->text(r, 2),
                                              timeTextOf(readings->number(r, 3), readings->text(r, 4)),
                                              readings->text(r, 5), readings->text(r, 6)});
        const archive::OfficeProvenance provenance{id, downloads->text(row, 2), downloads->text(row, 3),
                                                   downloads->text(row, 4), instantOf(*downloads, row, 5)};
        const std::optional<archive::StoreResult> stored =
            ctx.archive.storeFromOffice(records, downloads->text(row, 1), provenance, &error);
        if (!stored)
            return ctx.local(error);
        ++ctx.result.downloadsPulled;
        ctx.result.readingsPulled += stored->added;
        ctx.progress(SyncProgress::Pulling, ++done, qint64(wanted.size()));
    }
    return true;
}

} // namespace

bool pull(Context& ctx)
{
    ctx.progress(SyncProgress::Pulling);
    archive::Error error;
    QString old = ctx.archive.officeNote(kCursorNote, &error);
    if (!error.detail.isEmpty())
        return ctx.local(error);
    if (old.isEmpty())
        old = QStringLiteral("0");
    // The new cursor first: every transaction not yet committed now has an xid at or above it.
    const std::optional<PgResult> now = ctx.query("SELECT pg_snapshot_xmin(pg_current_snapshot())::text");
    if (!now || now->rows() != 1)
        return now ? ctx.fail(FailureKind::QueryFailed, QStringLiteral("no snapshot")) : false;
    const Param cursor = text(old);
    QStringList sites;
    if (!pullReadouts(ctx, cursor) || !pullRegister(ctx, cursor) || !pullVersions(ctx, cursor) ||
        !pullReadings(ctx, cursor, &sites) || !pullMasksAndAcknowledgements(ctx, cursor))
        return false;
    if (!ctx.archive.setOfficeNote(kCursorNote, now->text(0, 0), &error) ||
        !ctx.archive.setOfficeNote(kSitesNote, sites.join(QLatin1Char('\n')), &error))
        return ctx.local(error);
    return true;
}

} // namespace office::sync
