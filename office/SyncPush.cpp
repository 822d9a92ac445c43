// The push: what this archive has that the office has not, each step idempotent.
#include "office/SyncInternal.h"

#include "archive/Record.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <condition_variable>
#include <deque>
#include <limits>
#include <mutex>
#include <thread>

namespace office::sync {

namespace {

// The register row's columns as the office's statements take and give them.
constexpr char kGaugeColumns[] = "g.id, g.revision, g.type, g.unit, coalesce(s.name, ''), g.location, "
                                 "coalesce(g.installed::text, ''), g.interval_days, g.notes, " KTM_MS("g.edited_at") ", g.edited_by";

archive::GaugeInfo gaugeOf(const PgResult& r, int row, const QString& name)
{
    archive::GaugeInfo info;
    info.name = name;
    info.type = r.text(row, 2);
    info.unit = r.text(row, 3);
    info.site = r.text(row, 4);
    info.location = r.text(row, 5);
    info.installed = QDate::fromString(r.text(row, 6), Qt::ISODate);
    info.intervalDays = int(r.number(row, 7));
    info.notes = r.text(row, 8);
    return info;
}

Conflict conflictOf(Conflict::Kind kind, const QString& subject, const QString& applied, const QString& appliedBy,
                    const QDateTime& appliedAt, const QString& other, const QString& otherBy, const QDateTime& otherAt)
{
    return Conflict{kind, subject, applied, appliedBy, appliedAt, other, otherBy, otherAt};
}

bool recordConflict(Context& ctx, const char* kind, const Conflict& c, const QJsonObject& applied,
                    const QJsonObject& other)
{
    ctx.result.conflicts.push_back(c);
    return bool(ctx.query("INSERT INTO ktm520.conflicts(kind, subject, applied, applied_by, applied_at, other, "
                          "other_by, other_at, found_by) VALUES($1, $2, $3::jsonb, $4, coalesce($5::timestamptz, now()), "
                          "$6::jsonb, $7, coalesce($8::timestamptz, now()), $9)",
                          {QByteArray(kind), text(c.subject), json(applied), text(c.appliedBy), instant(c.appliedAt),
                           json(other), text(c.otherBy), instant(c.otherAt), number(ctx.source)}));
}

} // namespace

QJsonObject gaugeJson(const archive::GaugeInfo& info)
{
    return QJsonObject{{"name", info.name}, {"type", info.type}, {"unit", info.unit}, {"site", info.site}, {"location", info.location}, {"installed", info.installed.toString(Qt::ISODate)}, {"interval_days", info.intervalDays}, {"notes", info.notes}};
}

bool pushRegister(Context& ctx)
{
    archive::Error error;
    std::vector<archive::SharedGauge> rows = ctx.archive.changedGauges(&error);
    if (!error.detail.isEmpty())
        return ctx.local(error);
    if (rows.empty())
        return true;
    // Locked in name order, so that two syncs editing the same rows never wait on each other in a cycle.
    std::sort(rows.begin(), rows.end(), [](const auto& a, const auto& b) { return a.info.name < b.info.name; });
    for (const archive::SharedGauge& row : rows)
        if (!row.info.site.isEmpty() && !ensureSite(ctx, row.info.site))
            return false;

    Transaction t(ctx);
    if (!t.ok())
        return false;
    std::vector<archive::SharedGauge> sent;
    for (const archive::SharedGauge& row : rows) {
        const archive::GaugeInfo& g = row.info;
        const Param site = g.site.isEmpty() ? Param() : number(ctx.sites.value(g.site));
        const Param installed = g.installed.isValid() ? Param(g.installed.toString(Qt::ISODate).toUtf8()) : Param();
        const std::vector<Param> content = {text(g.name), text(g.type), text(g.unit),
                                            site, text(g.location), installed,
                                            number(g.intervalDays), text(g.notes), instant(row.editedAt),
                                            text(row.editedBy), number(ctx.source)};
        const std::optional<PgResult> made = ctx.query(
            "INSERT INTO ktm520.gauges(name, type, unit, site, location, installed, interval_days, notes, edited_at, "
            "edited_by, edited_from) VALUES($1, $2, $3, $4, $5, $6::date, $7, $8, coalesce($9::timestamptz, now()), "
            "$10, $11) ON CONFLICT (name) DO NOTHING RETURNING id, revision",
            content);
        if (!made)
            return false;
        archive::SharedGauge done = row;
        if (made->rows() == 1) {
            done.revision = made->number(0, 1);
            ctx.gauges.insert(g.name, made->number(0, 0));
            sent.push_back(done);
            continue;
        }
        const std::optional<PgResult> office =
            ctx.query((QByteArray("SELECT ") + kGaugeColumns +
                       " FROM ktm520.gauges g LEFT JOIN ktm520.sites s ON s.id = g.site WHERE g.name = $1 "
                       "FOR UPDATE OF g")
                          .constData(),
                      {text(g.name)});
        if (!office || office->rows() != 1)
            return office ? ctx.fail(FailureKind::QueryFailed, g.name) : false;
        ctx.gauges.insert(g.name, office->number(0, 0));
        const qint64 revision = office->number(0, 1);
        const archive::GaugeInfo theirs = gaugeOf(*office, 0, g.name);
        const QDateTime theirAt = instantOf(*office, 0, 9);
        const QString theirBy = office->text(0, 10);
        // A placeholder (made for an assignment or an acknowledgement) is no one's edit.
        const bool mineApplies = revision == row.revision || revision == 0;
        const bool same = theirs == g;
        bool mineLater = row.editedAt.isValid() && (!theirAt.isValid() || row.editedAt > theirAt);
        if (mineApplies || (!same && mineLater)) {
            if (!ctx.query("UPDATE ktm520.gauges SET type = $2, unit = $3, site = $4, location = $5, "
                           "installed = $6::date, interval_days = $7, notes = $8, "
                           "edited_at = coalesce($9::timestamptz, now()), edited_by = $10, edited_from = $11, "
                           "revision = revision + 1, xid = pg_current_xact_id() WHERE name = $1",
                           content))
                return false;
            done.revision = revision + 1;
        } else if (same) {
            done.revision = revision;
        } else {
            // The office's edit is the later: it stays, and a new revision makes every PC's next
            // pull bring it, this one's too (its row keeps its base).
            if (!ctx.query("UPDATE ktm520.gauges SET revision = revision + 1, xid = pg_current_xact_id() "
                           "WHERE name = $1",
                           {text(g.name)}))
                return false;
            done.revision = row.revision;
        }
        if (!mineApplies && !same) {
            const Conflict c = mineLater ? conflictOf(Conflict::Gauge, g.name, gaugeEditText(g, theirs), row.editedBy,
                                                      row.editedAt, gaugeEditText(theirs, g), theirBy, theirAt)
                                         : conflictOf(Conflict::Gauge, g.name, gaugeEditText(theirs, g), theirBy,
                                                      theirAt, gaugeEditText(g, theirs), row.editedBy, row.editedAt);
            if (!recordConflict(ctx, "gauge", c, gaugeJson(mineLater ? g : theirs), gaugeJson(mineLater ? theirs : g)))
                return false;
        }
        sent.push_back(done);
    }
    if (!t.commit())
        return false;
    ctx.result.registerSent += qint64(sent.size());
    if (!ctx.archive.gaugesSent(sent, &error))
        return ctx.local(error);
    return true;
}

namespace {

// A slot's intervals as compared and kept: (gauge, from, to, by hand) each.
bool sameAssignments(const std::vector<archive::Assignment>& a, const std::vector<archive::Assignment>& b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (a[i].gauge != b[i].gauge || a[i].from != b[i].from || a[i].to != b[i].to || a[i].byHand != b[i].byHand)
            return false;
    return true;
}

QJsonObject assignmentsJson(const std::vector<archive::Assignment>& list)
{
    QJsonArray out;
    for (const archive::Assignment& a : list)
        out.append(QJsonObject{{"gauge", a.gauge},
                               {"from", QString::number(a.from)},
                               {"to", QString::number(a.to)},
                               {"by_hand", a.byHand}});
    return QJsonObject{{"assignments", out}};
}

} // namespace

bool pushAssignments(Context& ctx)
{
    archive::Error error;
    std::vector<archive::SharedAssignments> slotRows = ctx.archive.changedAssignments(&error);
    if (!error.detail.isEmpty())
        return ctx.local(error);
    if (slotRows.empty())
        return true;
    std::vector<std::pair<qint64, std::size_t>> order; // office slot id, index
    for (std::size_t i = 0; i < slotRows.size(); ++i) {
        const std::optional<qint64> slot = ensureSlot(ctx, slotRows[i].readout, slotRows[i].partition, slotRows[i].code);
        if (!slot)
            return false;
        for (const archive::Assignment& a : slotRows[i].assignments)
            if (!ensureGauge(ctx, a.gauge))
                return false;
        order.emplace_back(*slot, i);
    }
    std::sort(order.begin(), order.end());

    Transaction t(ctx);
    if (!t.ok())
        return false;
    std::vector<archive::SharedAssignments> sent;
    for (const auto& [slot, index] : order) {
        const archive::SharedAssignments& mine = slotRows[index];
        const QString subject = mine.readout + QLatin1Char(' ') + mine.code;
        if (!ctx.query("INSERT INTO ktm520.slot_assignments(slot, revision) VALUES($1, 0) ON CONFLICT DO NOTHING",
                       {number(slot)}))
            return false;
        const std::optional<PgResult> office =
            ctx.query("SELECT revision, " KTM_MS("edited_at") ", edited_by FROM ktm520.slot_assignments "
                                                              "WHERE slot = $1 FOR UPDATE",
                      {number(slot)});
        const std::optional<PgResult> intervals =
            office ? ctx.query("SELECT g.name, a.from_t, a.to_t, a.by_hand FROM ktm520.assignments a "
                               "JOIN ktm520.gauges g ON g.id = a.gauge WHERE a.slot = $1 ORDER BY a.from_t",
                               {number(slot)})
                   : std::nullopt;
        if (!intervals || office->rows() != 1)
            return intervals ? ctx.fail(FailureKind::QueryFailed, subject) : false;
        std::vector<archive::Assignment> theirs;
        for (int row = 0; row < intervals->rows(); ++row) {
            archive::Assignment a;
            a.readout = mine.readout;
            a.partition = mine.partition;
            a.code = mine.code;
            a.gauge = intervals->text(row, 0);
            a.from = intervals->number(row, 1);
            a.to = intervals->number(row, 2);
            a.byHand = intervals->boolean(row, 3);
            theirs.push_back(a);
        }
        const qint64 revision = office->number(0, 0);
        const QDateTime theirAt = instantOf(*office, 0, 1);
        const QString theirBy = office->text(0, 2);
        const bool mineApplies = revision == mine.revision || revision == 0;
        const bool same = sameAssignments(theirs, mine.assignments);
        const bool mineLater = mine.editedAt.isValid() && (!theirAt.isValid() || mine.editedAt > theirAt);
        archive::SharedAssignments done = mine;
        if (mineApplies || (!same && mineLater)) {
            if (!ctx.query("DELETE FROM ktm520.assignments WHERE slot = $1", {number(slot)}))
                return false;
            for (const archive::Assignment& a : mine.assignments)
                if (!ctx.query("INSERT INTO ktm520.assignments(slot, gauge, from_t, to_t, by_hand) "
                               "VALUES($1, $2, $3, $4, $5) ON CONFLICT DO NOTHING",
                               {number(slot), number(ctx.gauges.value(a.gauge)), number(a.from), number(a.to),
                                boolean(a.byHand)}))
                    return false;
            if (!ctx.query("UPDATE ktm520.slot_assignments SET revision = revision + 1, "
                           "edited_at = coalesce($2::timestamptz, now()), edited_by = $3, edited_from = $4, "
                           "xid = pg_current_xact_id() WHERE slot = $1",
                           {number(slot), instant(mine.editedAt), text(mine.editedBy), number(ctx.source)}))
                return false;
            done.revision = revision + 1;
        } else if (same) {
            done.revision = revision;
        } else {
            if (!ctx.query("UPDATE ktm520.slot_assignments SET revision = revision + 1, xid = pg_current_xact_id() "
                           "WHERE slot = $1",
                           {number(slot)}))
                return false;
            done.revision = mine.revision;
        }
        if (!mineApplies && !same) {
            const Conflict c = mineLater
                                 ? conflictOf(Conflict::Assignments, subject, assignmentsText(mine.assignments),
                                              mine.editedBy, mine.editedAt, assignmentsText(theirs), theirBy, theirAt)
                                 : conflictOf(Conflict::Assignments, subject, assignmentsText(theirs), theirBy,
                                              theirAt, assignmentsText(mine.assignments), mine.editedBy,
                                              mine.editedAt);
            if (!recordConflict(ctx, "assignments", c, assignmentsJson(mineLater ? mine.assignments : theirs),
                                assignmentsJson(mineLater ? theirs : mine.assignments)))
                return false;
        }
        sent.push_back(done);
    }
    if (!t.commit())
        return false;
    ctx.result.registerSent += qint64(sent.size());
    if (!ctx.archive.assignmentsSent(sent, &error))
        return ctx.local(error);
    return true;
}

// ------------------------------------------------------------------------------------------------
// Downloads: the records are read from the archive on a thread of their own, which turns them into
// COPY text in chunks of about a megabyte while this thread sends the chunk before.

namespace {

constexpr qsizetype kChunkBytes = 1 << 20;

struct Chunk {
    QByteArray bytes;
    qint64 rows = 0;
};

void appendNumber(QByteArray& out, qint64 v)
{
    char buffer[24];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, v).ptr;
    out.append(buffer, end - buffer);
}

void appendReal(QByteArray& out, const std::optional<double>& v)
{
    if (!v) {
        out.append(kCopyNull, 2);
        return;
    }
    char buffer[32];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, *v).ptr;
    out.append(buffer, end - buffer);
}

// Gives the chunks the reader makes, at most a few ahead.
class ChunkQueue {
public:
    void push(Chunk chunk)
    {
        std::unique_lock lock(m_mutex);
        m_room.wait(lock, [&] { return m_chunks.size() < 4 || m_stopped; });
        if (m_stopped)
            return;
        m_chunks.push_back(std::move(chunk));
        m_ready.notify_one();
    }
    // False when no more will come.
    bool pop(Chunk* chunk)
    {
        std::unique_lock lock(m_mutex);
        m_ready.wait(lock, [&] { return !m_chunks.empty() || m_finished; });
        if (m_chunks.empty())
            return false;
        *chunk = std::move(m_chunks.front());
        m_chunks.pop_front();
        m_room.notify_one();
        return true;
    }
    void finish()
    {
        std::lock_guard lock(m_mutex);
        m_finished = true;
        m_ready.notify_all();
    }
    void stop()
    {
        std::lock_guard lock(m_mutex);
        m_stopped = true;
        m_room.notify_all();
    }
    bool stopped()
    {
        std::lock_guard lock(m_mutex);
        return m_stopped;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_ready, m_room;
    std::deque<Chunk> m_chunks;
    bool m_finished = false;
    bool m_stopped = false;
};

struct DownloadOutcome {
    qint64 office = 0;
    qint64 copied = 0;
    qint64 added = 0;
    bool already = false;
};

bool sendDownload(Context& ctx, const archive::PendingDownload& d, qint64* done, qint64 total, DownloadOutcome* out)
{
    Transaction t(ctx);
    if (!t.ok())
        return false;
    const qint64 readout = ctx.readouts.value(d.readout.toLower());
    if (readout == 0)
        return ctx.fail(FailureKind::Local, QStringLiteral("readout %1 unknown to the office").arg(d.readout));
    const std::optional<PgResult> made =
        ctx.query("INSERT INTO ktm520.downloads(source, source_download, readout, partition, downloaded_at, pc, "
                  "pc_user, received, added) SELECT $1, $2, $3, $4, $5::timestamptz, pc, pc_user, 0, 0 "
                  "FROM ktm520.sources WHERE id = $1 ON CONFLICT (source, source_download) DO NOTHING RETURNING id",
                  {number(ctx.source), number(d.id), number(readout), textOrNull(d.partition), instant(d.at)});
    if (!made)
        return false;
    if (made->rows() == 0) {
        // Committed by an earlier sync that was stopped before it could mark it here.
        const std::optional<PgResult> found =
            ctx.query("SELECT id FROM ktm520.downloads WHERE source = $1 AND source_download = $2",
                      {number(ctx.source), number(d.id)});
        if (!found || found->rows() != 1)
            return found ? ctx.fail(FailureKind::QueryFailed, QStringLiteral("download %1").arg(d.id)) : false;
        out->office = found->number(0, 0);
        out->already = true;
        return t.commit();
    }
    out->office = made->number(0, 0);
    // A sort of a million rows in memory, not on disk.
    if (!ctx.exec("SET LOCAL work_mem = '256MB'") ||
        !ctx.exec("CREATE TEMP TABLE staging ON COMMIT DROP AS SELECT slot, time_s, file, reading, temperature, "
                  "time_text, reading_hz, temperature_c, utc_s FROM ktm520.readings WITH NO DATA"))
        return false;

    ChunkQueue queue;
    archive::Error readError;
    bool readOk = true;
    bool unknownId = false;
    const OfficeIds& ids = ctx.ids;
    std::thread reader([&] {
        Chunk chunk;
        chunk.bytes.reserve(kChunkBytes + 4096);
        readOk = ctx.archive.recordsOfDownload(
            d.id,
            [&](const archive::SharedRecord& r) {
                const auto slot = ids.slotOf.constFind(r.slot);
                const auto file = ids.fileOf.constFind(r.file);
                qint64 time = r.time;
                if (r.time < -62135596800) {
                    const auto odd = ids.oddOf.constFind(-62135596801 - r.time);
                    if (odd == ids.oddOf.constEnd()) {
                        unknownId = true;
                        return false;
                    }
                    time = kOfficeOddTimes - *odd;
                }
                if (slot == ids.slotOf.constEnd() || file == ids.fileOf.constEnd()) {
                    unknownId = true;
                    return false;
                }
                QByteArray& o = chunk.bytes;
                appendNumber(o, *slot);
                o += '\t';
                appendNumber(o, time);
                o += '\t';
                appendNumber(o, *file);
                o += '\t';
                appendCopyText(o, r.reading);
                o += '\t';
                appendCopyText(o, r.temperature);
                o += '\t';
                if (r.timeText.empty())
                    o.append(kCopyNull, 2);
                else
                    appendCopyText(o, r.timeText);
                o += '\t';
                appendReal(o, r.readingHz);
                o += '\t';
                appendReal(o, r.temperatureC);
                o += '\t';
                if (r.utc)
                    appendNumber(o, *r.utc);
                else
                    o.append(kCopyNull, 2);
                o += '\n';
                if (++chunk.rows % 4096 == 0 && queue.stopped())
                    return false;
                if (o.size() >= kChunkBytes) {
                    queue.push(std::move(chunk));
                    chunk = Chunk();
                    chunk.bytes.reserve(kChunkBytes + 4096);
                }
                return true;
            },
            &readError);
        if (chunk.rows > 0)
            queue.push(std::move(chunk));
        queue.finish();
    });
    struct Join {
        ChunkQueue& queue;
        std::thread& thread;
        ~Join()
        {
            queue.stop();
            if (thread.joinable())
                thread.join();
        }
    } join{queue, reader};

    const std::optional<qint64> copied = ctx.conn.copyIn(
        "COPY staging FROM STDIN",
        [&](QByteArray& bytes, bool* stop) {
            if (ctx.options.cancelled && ctx.options.cancelled()) {
                *stop = true;
                return false;
            }
            Chunk chunk;
            if (!queue.pop(&chunk))
                return false;
            bytes = std::move(chunk.bytes);
            *done += chunk.rows;
            ctx.progress(SyncProgress::Readings, *done, total);
            return true;
        },
        ctx.failure);
    queue.stop();
    reader.join();
    if (!copied)
        return false;
    if (unknownId)
        return ctx.fail(FailureKind::Local, QStringLiteral("a record of download %1 has no office id").arg(d.id));
    if (!readOk && !readError.detail.isEmpty())
        return ctx.local(readError);
    // In the key's order: two syncs adding the same readings at once take their keys in the same
    // order, so neither waits for the other in a cycle.
    const std::optional<PgResult> inserted = ctx.query(
        "INSERT INTO ktm520.readings(slot, time_s, file, reading, temperature, time_text, reading_hz, temperature_c, "
        "utc_s, download) SELECT slot, time_s, file, reading, temperature, time_text, reading_hz, temperature_c, "
        "utc_s, $1 FROM staging ORDER BY slot, time_s, file ON CONFLICT DO NOTHING",
        {number(out->office)});
    if (!inserted)
        return false;
    out->copied = *copied;
    out->added = changedRows(*inserted);
    if (!ctx.query("UPDATE ktm520.downloads SET received = $2, added = $3 WHERE id = $1",
                   {number(out->office), number(out->copied), number(out->added)}))
        return false;
    return t.commit();
}

} // namespace

bool pushDownloads(Context& ctx)
{
    archive::Error error;
    const std::vector<archive::PendingDownload> pending = ctx.archive.unsentDownloads(&error);
    if (!error.detail.isEmpty())
        return ctx.local(error);
    if (pending.empty())
        return true;
    if (!ensureIds(ctx))
        return false;
    qint64 total = 0;
    for (const archive::PendingDownload& d : pending)
        total += d.records;
    qint64 done = 0;
    ctx.progress(SyncProgress::Readings, 0, total);
    for (const archive::PendingDownload& d : pending) {
        if (ctx.cancelled())
            return false;
        DownloadOutcome outcome;
        const qint64 before = done;
        if (!sendDownload(ctx, d, &done, total, &outcome))
            return false;
        if (!ctx.archive.markDownloadSent(d.id, outcome.office, &error))
            return ctx.local(error);
        done = before + d.records;
        ++ctx.result.downloadsSent;
        ctx.result.readingsSent += outcome.copied;
        ctx.result.readingsNew += outcome.added;
        ctx.progress(SyncProgress::Readings, done, total);
    }
    return true;
}

// ------------------------------------------------------------------------------------------------
// Versions: added by uid; two following the same version are a conflict (both kept, the later applies).

namespace {

const char* kindName(archive::ReadingKind k) { return k == archive::ReadingKind::Frequency ? "frequency" : "digits"; }
const char* formName(archive::Form f) { return f == archive::Form::Linear ? "linear" : "polynomial"; }

// The subject of a version: its gauge, else its slot, else its code.
QString versionSubject(const archive::CalibrationVersion& v)
{
    if (!v.gauge.isEmpty())
        return v.gauge;
    if (!v.readout.isEmpty())
        return v.readout + QLatin1Char(' ') + v.code;
    return v.code;
}

// The partition of a slot a version names: as the archive's slotRows have it, else the code's letter.
QString partitionOf(Context& ctx, const QString& readout, const QString& code)
{
    archive::Error error;
    for (const archive::SlotName& s : ctx.archive.slotNames(&error))
        if (s.readout.compare(readout, Qt::CaseInsensitive) == 0 && s.code == code)
            return s.partition;
    return code.left(1);
}

} // namespace

bool pushVersions(Context& ctx)
{
    archive::Error error;
    const std::vector<archive::SharedCalibration> calibrations = ctx.archive.unsentCalibrationVersions(&error);
    if (!error.detail.isEmpty())
        return ctx.local(error);
    QStringList sentCalibrations;
    for (const archive::SharedCalibration& c : calibrations) {
        const archive::CalibrationVersion& v = c.version;
        Param gauge, slot;
        if (!v.gauge.isEmpty()) {
            const std::optional<qint64> id = ensureGauge(ctx, v.gauge);
            if (!id)
                return false;
            gauge = number(*id);
        } else if (!v.readout.isEmpty()) {
            const std::optional<qint64> id = ensureSlot(ctx, v.readout, partitionOf(ctx, v.readout, v.code), v.code);
            if (!id)
                return false;
            slot = number(*id);
        }
        Transaction t(ctx);
        const QString subject = versionSubject(v);
        if (!t.ok() || !ctx.query("SELECT pg_advisory_xact_lock(hashtext('ktm520.calibration:' || $1))", {text(subject)}))
            return false;
        const std::optional<PgResult> sibling =
            ctx.query("SELECT uid::text, " KTM_MS("entered_at") ", entered_by, from_utc, withdrawn, kind, form, g, "
                                                                "reversed, a, b, c, field_zero, r0, t0, k, type, unit FROM ktm520.calibration_versions "
                                                                "WHERE based_on IS NOT DISTINCT FROM $1::uuid AND gauge IS NOT DISTINCT FROM $2::integer "
                                                                "AND slot IS NOT DISTINCT FROM $3::integer AND (gauge IS NOT NULL OR slot IS NOT NULL OR "
                                                                "code = $4) AND uid <> $5::uuid ORDER BY entered_at DESC LIMIT 1",
                      {textOrNull(c.basedOn), gauge, slot, text(v.code), text(c.uid)});
        const std::optional<PgResult> added =
            sibling ? ctx.query("INSERT INTO ktm520.calibration_versions(uid, based_on, gauge, slot, code, from_utc, "
                                "withdrawn, type, unit, kind, form, g, reversed, a, b, c, field_zero, r0, t0, k, "
                                "entered_at, entered_by, source) VALUES($1::uuid, $2::uuid, $3, $4, $5, $6, $7, $8, $9, "
                                "$10, $11, $12, $13, $14, $15, $16, $17, $18, $19, $20, "
                                "coalesce($21::timestamptz, now()), $22, $23) ON CONFLICT (uid) DO NOTHING",
                                {text(c.uid), textOrNull(c.basedOn), gauge, slot, textOrNull(v.code),
                                 number(v.fromUtc), boolean(v.withdrawn), text(v.values.gauge), text(v.values.unit),
                                 QByteArray(kindName(v.values.kind)), QByteArray(formName(v.values.form)),
                                 real(v.values.G), boolean(v.values.reversed), real(v.values.A), real(v.values.B),
                                 real(v.values.C), boolean(v.values.fieldZero), real(v.values.R0), real(v.values.T0),
                                 real(v.values.K), instant(v.enteredAt), text(v.enteredBy), number(ctx.source)})
                    : std::nullopt;
        if (!added)
            return false;
        if (changedRows(*added) == 1 && sibling->rows() == 1) {
            archive::CalibrationVersion other = v;
            other.enteredAt = instantOf(*sibling, 0, 1);
            other.enteredBy = sibling->text(0, 2);
            other.fromUtc = sibling->number(0, 3);
            other.withdrawn = sibling->boolean(0, 4);
            other.values.kind = sibling->text(0, 5) == QLatin1String("frequency") ? archive::ReadingKind::Frequency
                                                                                  : archive::ReadingKind::Digits;
            other.values.form =
                sibling->text(0, 6) == QLatin1String("linear") ? archive::Form::Linear : archive::Form::Polynomial;
            other.values.G = sibling->real(0, 7);
            other.values.reversed = sibling->boolean(0, 8);
            other.values.A = sibling->real(0, 9);
            other.values.B = sibling->real(0, 10);
            other.values.C = sibling->real(0, 11);
            other.values.fieldZero = sibling->boolean(0, 12);
            other.values.R0 = sibling->real(0, 13);
            other.values.T0 = sibling->real(0, 14);
            other.values.K = sibling->real(0, 15);
            other.values.gauge = sibling->text(0, 16);
            other.values.unit = sibling->text(0, 17);
            const bool mineLater = v.enteredAt > other.enteredAt;
            const archive::CalibrationVersion& a = mineLater ? v : other;
            const archive::CalibrationVersion& b = mineLater ? other : v;
            const QString aUid = mineLater ? c.uid : sibling->text(0, 0);
            const QString bUid = mineLater ? sibling->text(0, 0) : c.uid;
            if (!recordConflict(ctx, "calibration",
                                Conflict{Conflict::Calibration, subject, calibrationText(a), a.enteredBy, a.enteredAt,
                                         calibrationText(b), b.enteredBy, b.enteredAt},
                                QJsonObject{{"uid", aUid}}, QJsonObject{{"uid", bUid}}))
                return false;
        }
        if (!t.commit())
            return false;
        sentCalibrations << c.uid;
    }
    if (!sentCalibrations.isEmpty() && !ctx.archive.calibrationVersionsSent(sentCalibrations, &error))
        return ctx.local(error);

    const std::vector<archive::SharedLevelSet> sets = ctx.archive.unsentLevelSets(&error);
    if (!error.detail.isEmpty())
        return ctx.local(error);
    QStringList sentSets;
    for (const archive::SharedLevelSet& s : sets) {
        const std::optional<qint64> gauge = ensureGauge(ctx, s.set.gauge);
        if (!gauge)
            return false;
        QJsonArray levels;
        for (const archive::TriggerLevel& l : s.set.levels)
            levels.append(QJsonObject{{"side", int(l.side)},
                                      {"rank", l.rank},
                                      {"quantity", int(l.quantity)},
                                      {"threshold", l.threshold},
                                      {"window_days", l.windowDays},
                                      {"confirm", l.confirm},
                                      {"dead_band", l.deadBand}});
        Transaction t(ctx);
        if (!t.ok() || !ctx.query("SELECT pg_advisory_xact_lock(hashtext('ktm520.levels:' || $1))", {text(s.set.gauge)}))
            return false;
        const std::optional<PgResult> sibling =
            ctx.query("SELECT uid::text, " KTM_MS("entered_at") ", entered_by FROM ktm520.level_sets "
                                                                "WHERE based_on IS NOT DISTINCT FROM $1::uuid AND gauge = $2 AND uid <> $3::uuid "
                                                                "ORDER BY entered_at DESC LIMIT 1",
                      {textOrNull(s.basedOn), number(*gauge), text(s.uid)});
        const std::optional<PgResult> added =
            sibling ? ctx.query("INSERT INTO ktm520.level_sets(uid, based_on, gauge, from_utc, baseline_utc, "
                                "rank_names, levels, entered_at, entered_by, source) VALUES($1::uuid, $2::uuid, $3, "
                                "$4, $5, $6::text[], $7::jsonb, coalesce($8::timestamptz, now()), $9, $10) "
                                "ON CONFLICT (uid) DO NOTHING",
                                {text(s.uid), textOrNull(s.basedOn), number(*gauge), number(s.set.fromUtc),
                                 number(s.set.baselineUtc), textArray(s.set.rankNames),
                                 Param(QJsonDocument(levels).toJson(QJsonDocument::Compact)),
                                 instant(s.set.enteredAt), text(s.set.enteredBy), number(ctx.source)})
                    : std::nullopt;
        if (!added)
            return false;
        if (changedRows(*added) == 1 && sibling->rows() == 1) {
            const QDateTime otherAt = instantOf(*sibling, 0, 1);
            const QString otherBy = sibling->text(0, 2);
            const bool mineLater = s.set.enteredAt > otherAt;
            const QString mine = levelSetText(s.set);
            const QString theirs = QCoreApplication::translate("Office", "另一版本");
            const Conflict c = mineLater ? Conflict{Conflict::Levels, s.set.gauge, mine, s.set.enteredBy,
                                                    s.set.enteredAt, theirs, otherBy, otherAt}
                                         : Conflict{Conflict::Levels, s.set.gauge, theirs, otherBy, otherAt, mine,
                                                    s.set.enteredBy, s.set.enteredAt};
            if (!recordConflict(ctx, "levels", c, QJsonObject{{"uid", mineLater ? s.uid : sibling->text(0, 0)}},
                                QJsonObject{{"uid", mineLater ? sibling->text(0, 0) : s.uid}}))
                return false;
        }
        if (!t.commit())
            return false;
        sentSets << s.uid;
    }
    ctx.result.registerSent += sentCalibrations.size() + sentSets.size();
    if (!sentSets.isEmpty() && !ctx.archive.levelSetsSent(sentSets, &error))
        return ctx.local(error);
    return true;
}

// ------------------------------------------------------------------------------------------------
// Masks, acknowledgements, judgements.

namespace {

struct OfficeKey {
    qint64 slot = 0;
    qint64 time = 0;
    qint64 file = 0;
};

std::optional<OfficeKey> officeKey(Context& ctx, const archive::ReadingKey& k)
{
    const std::optional<qint64> slot = ensureSlot(ctx, k.readout, k.partition, k.code);
    if (!slot)
        return std::nullopt;
    const auto file = ctx.ids.fileByName.constFind(k.file);
    if (file == ctx.ids.fileByName.constEnd()) {
        ctx.fail(FailureKind::Local, QStringLiteral("file %1 unknown to the office").arg(k.file));
        return std::nullopt;
    }
    OfficeKey out{*slot, 0, *file};
    if (const std::optional<qint64> t = archive::instrumentTime(k.time)) {
        out.time = *t;
    } else {
        const auto odd = ctx.ids.oddByText.constFind(k.time);
        if (odd == ctx.ids.oddByText.constEnd()) {
            ctx.fail(FailureKind::Local, QStringLiteral("time %1 unknown to the office").arg(k.time));
            return std::nullopt;
        }
        out.time = kOfficeOddTimes - *odd;
    }
    return out;
}

} // namespace

bool pushMasksAndAcknowledgements(Context& ctx)
{
    archive::Error error;
    const std::vector<archive::SharedMask> masks = ctx.archive.unsentMasks(&error);
    if (!error.detail.isEmpty())
        return ctx.local(error);
    if (!masks.empty() && !ensureIds(ctx))
        return false;
    for (const archive::SharedMask& m : masks) {
        const std::optional<OfficeKey> key = officeKey(ctx, m.reading);
        if (!key)
            return false;
        if (!ctx.query("INSERT INTO ktm520.masks(slot, time_s, file, masked_at, masked_by, note, lifted_at, lifted_by, "
                       "source) VALUES($1, $2, $3, $4::timestamptz, $5, $6, $7::timestamptz, $8, $9) "
                       "ON CONFLICT (slot, time_s, file, masked_at) DO UPDATE SET lifted_at = excluded.lifted_at, "
                       "lifted_by = excluded.lifted_by, xid = pg_current_xact_id() "
                       "WHERE excluded.lifted_at IS NOT NULL AND ktm520.masks.lifted_at IS NULL",
                       {number(key->slot), number(key->time), number(key->file), instant(m.at), text(m.by),
                        text(m.note), instant(m.liftedAt), m.liftedAt.isValid() ? text(m.liftedBy) : Param(),
                        number(ctx.source)}))
            return false;
    }
    if (!masks.empty() && !ctx.archive.masksSent(masks, &error))
        return ctx.local(error);

    const std::vector<archive::SharedAcknowledgement> acks = ctx.archive.unsentAcknowledgements(&error);
    if (!error.detail.isEmpty())
        return ctx.local(error);
    for (const archive::SharedAcknowledgement& a : acks) {
        const std::optional<qint64> gauge = ensureGauge(ctx, a.gauge);
        if (!gauge || !ctx.query("INSERT INTO ktm520.acknowledgements(gauge, utc, to_status, note, by, at, source) "
                                 "VALUES($1, $2, $3, $4, $5, coalesce($6::timestamptz, now()), $7) ON CONFLICT DO NOTHING",
                                 {number(*gauge), number(a.utc), number(a.toStatus), text(a.note), text(a.by),
                                  instant(a.at), number(ctx.source)}))
            return false;
    }
    if (!acks.empty() && !ctx.archive.acknowledgementsSent(acks, &error))
        return ctx.local(error);
    ctx.result.registerSent += qint64(masks.size() + acks.size());
    return true;
}

bool pushJudgements(Context& ctx)
{
    archive::Error error;
    const QStringList gauges = ctx.archive.gaugesJudgedSinceSent(&error);
    if (!error.detail.isEmpty())
        return ctx.local(error);
    if (gauges.isEmpty())
        return true;
    if (!ensureIds(ctx))
        return false;
    for (const QString& name : gauges) {
        if (ctx.cancelled())
            return false;
        const std::optional<qint64> gauge = ensureGauge(ctx, name);
        if (!gauge)
            return false;
        // Judging that went on from the last reading sent adds marks and events after it only: those
        // are sent; a gauge judged whole is sent whole.
        std::optional<qint64> since;
        const std::vector<archive::SharedMark> marks = ctx.archive.marksToSend(name, &since, &error);
        if (!error.detail.isEmpty())
            return ctx.local(error);
        archive::EventQuery query;
        query.gauge = name;
        if (since)
            query.sinceUtc = *since + 1;
        const std::vector<archive::LevelEvent> events = ctx.archive.events(query, &error);
        if (!error.detail.isEmpty())
            return ctx.local(error);
        // The marks as COPY text (a gauge may have hundreds of thousands), staged, then put in
        // in the key's order so that two syncs of the same readings never wait on each other in a cycle.
        QByteArray copy;
        for (const archive::SharedMark& m : marks) {
            const std::optional<OfficeKey> key = officeKey(ctx, m.reading);
            if (!key)
                return false;
            for (qint64 v : {key->slot, key->time, key->file, qint64(m.status), qint64(m.level)}) {
                appendNumber(copy, v);
                copy += '\t';
            }
            appendNumber(copy, m.flags);
            copy += '\n';
        }
        Transaction t(ctx);
        bool sent = false;
        const auto produce = [&](QByteArray& chunk, bool*) {
            if (sent)
                return false;
            chunk = copy;
            sent = true;
            return true;
        };
        // One PC's judgements of a gauge at a time: a whole one takes the gauge's marks in the order
        // of its index, one going on in the key's order, and the two must not meet half-way.
        if (!t.ok() || !ctx.query("SELECT pg_advisory_xact_lock(hashtext('ktm520.marks:' || $1))", {text(name)}) ||
            (!since && !ctx.query("DELETE FROM ktm520.marks WHERE gauge = $1", {number(*gauge)})) ||
            (!copy.isEmpty() &&
             (!ctx.exec("CREATE TEMP TABLE mark_staging(slot integer, time_s bigint, file integer, status smallint, "
                        "level smallint, flags integer) ON COMMIT DROP") ||
              !ctx.conn.copyIn("COPY mark_staging FROM STDIN", produce, ctx.failure) ||
              !ctx.query("INSERT INTO ktm520.marks(slot, time_s, file, gauge, status, level, flags) "
                         "SELECT slot, time_s, file, $1, status, level, flags FROM mark_staging ORDER BY 1, 2, 3 "
                         "ON CONFLICT (slot, time_s, file) DO UPDATE SET gauge = excluded.gauge, "
                         "status = excluded.status, level = excluded.level, flags = excluded.flags",
                         {number(*gauge)}))) ||
            !ctx.query("DELETE FROM ktm520.events WHERE gauge = $1 AND utc >= $2",
                       {number(*gauge), number(since ? *since + 1 : std::numeric_limits<qint64>::min())}))
            return false;
        // An event names its reading by the readout's clock only (the archive keeps no more of it
        // with the event): slot and file 0.
        for (const archive::LevelEvent& e : events)
            if (!ctx.query("INSERT INTO ktm520.events(gauge, utc, to_status, from_status, slot, time_s, file, value, "
                           "unit, level, judged_by) VALUES($1, $2, $3, $4, 0, $5, 0, $6, $7, -1, $8) "
                           "ON CONFLICT DO NOTHING",
                           {number(*gauge), number(e.utc), number(e.to), number(e.from), number(e.time),
                            std::isfinite(e.value) ? real(e.value) : Param(), text(e.unit), number(ctx.source)}))
                return false;
        if (!t.commit())
            return false;
    }
    if (!ctx.archive.judgementsSent(gauges, &error))
        return ctx.local(error);
    return true;
}

} // namespace office::sync
