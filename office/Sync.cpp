#include "office/Sync.h"

#include "office/OfficeSchema.h"
#include "office/SyncInternal.h"

#include <QJsonDocument>
#include <QSysInfo>
#include <QTimeZone>
#include <algorithm>

#ifdef KTM_HAVE_LIBPQ
#include <libpq-fe.h>
#endif

namespace office::sync {

QString slotKey(const QString& readout, const QString& partition, const QString& code)
{
    return readout.toLower() + QLatin1Char('\t') + partition + QLatin1Char('\t') + code;
}

bool Context::cancelled()
{
    if (options.cancelled && options.cancelled())
        return !fail(FailureKind::Cancelled, {});
    return false;
}

void Context::progress(SyncProgress::Step step, qint64 done, qint64 total)
{
    if (options.progress)
        options.progress(SyncProgress{step, done, total});
}

bool Context::fail(FailureKind kind, const QString& detail)
{
    if (failure)
        *failure = Failure{kind, detail};
    return false;
}

bool Context::local(const archive::Error& error) { return fail(FailureKind::Local, error.detail); }

std::optional<PgResult> Context::query(const char* sql, const std::vector<Param>& params)
{
    return conn.query(sql, params, failure);
}

bool Context::exec(const char* sql) { return conn.exec(sql, failure); }

Transaction::Transaction(Context& ctx) : m_ctx(ctx) { m_open = ctx.exec("BEGIN"); }

Transaction::~Transaction()
{
    if (m_open) {
        Failure ignored; // the failure that made us roll back is the one to report
        m_ctx.conn.exec("ROLLBACK", &ignored);
    }
}

bool Transaction::commit()
{
    m_open = false;
    return m_ctx.exec("COMMIT");
}

Param text(const QString& value) { return value.toUtf8(); }
Param textOrNull(const QString& value) { return value.isEmpty() ? Param() : Param(value.toUtf8()); }
Param number(qint64 value) { return QByteArray::number(value); }
Param real(double value) { return QByteArray::number(value, 'g', 17); }
Param boolean(bool value) { return QByteArray(value ? "t" : "f"); }
Param instant(const QDateTime& utc)
{
    if (!utc.isValid())
        return std::nullopt;
    return utc.toUTC().toString(Qt::ISODateWithMs).toUtf8();
}

Param textArray(const QStringList& values)
{
    QByteArray out = "{";
    for (const QString& v : values) {
        if (out.size() > 1)
            out += ',';
        out += '"';
        for (char c : v.toUtf8()) {
            if (c == '"' || c == '\\')
                out += '\\';
            out += c;
        }
        out += '"';
    }
    out += '}';
    return out;
}

Param numberArray(const std::vector<qint64>& values)
{
    QByteArray out = "{";
    for (qint64 v : values) {
        if (out.size() > 1)
            out += ',';
        out += QByteArray::number(v);
    }
    out += '}';
    return out;
}

QDateTime instantOf(const PgResult& r, int row, int column)
{
    if (r.isNull(row, column))
        return {};
    return QDateTime::fromMSecsSinceEpoch(r.number(row, column), QTimeZone::utc());
}

qint64 changedRows(const PgResult& result)
{
#ifdef KTM_HAVE_LIBPQ
    if (result.get())
        return QByteArray(PQcmdTuples(result.get())).toLongLong();
#else
    Q_UNUSED(result);
#endif
    return 0;
}

QByteArray json(const QJsonObject& object) { return QJsonDocument(object).toJson(QJsonDocument::Compact); }

bool ensureReadouts(Context& ctx, bool write)
{
    archive::Error error;
    const std::vector<archive::Readout> readouts = ctx.archive.readouts(&error);
    if (readouts.empty() && !error.detail.isEmpty())
        return ctx.local(error);
    for (const archive::Readout& readout : readouts) {
        const std::vector<archive::ZoneChange> zones = ctx.archive.zoneChanges(readout.id, &error);
        if (write && !ctx.query("INSERT INTO ktm520.readouts(name, time_zone) VALUES($1, $2) "
                                "ON CONFLICT ((lower(name))) DO NOTHING",
                                {text(readout.name), text(readout.timeZone)}))
            return false;
        const std::optional<PgResult> found =
            ctx.query("SELECT id FROM ktm520.readouts WHERE lower(name) = lower($1)", {text(readout.name)});
        if (!found)
            return false;
        if (found->rows() == 0)
            continue; // a read-only user, and the office never heard of it
        const qint64 id = found->number(0, 0);
        ctx.readouts.insert(readout.name.toLower(), id);
        if (!write)
            continue;
        for (const archive::ZoneChange& zone : zones) {
            if (zone.fromUtc == archive::kSinceEver)
                continue; // the readout's own zone
            if (!ctx.query("INSERT INTO ktm520.readout_zones(readout, from_utc, zone) VALUES($1, $2, $3) "
                           "ON CONFLICT DO NOTHING",
                           {number(id), number(zone.fromUtc), text(zone.timeZone)}))
                return false;
        }
    }
    return true;
}

std::optional<qint64> ensureSite(Context& ctx, const QString& name)
{
    if (auto it = ctx.sites.constFind(name); it != ctx.sites.constEnd())
        return *it;
    if (!ctx.query("INSERT INTO ktm520.sites(name) VALUES($1) ON CONFLICT (name) DO NOTHING", {text(name)}))
        return std::nullopt;
    const std::optional<PgResult> found = ctx.query("SELECT id FROM ktm520.sites WHERE name = $1", {text(name)});
    if (!found || found->rows() != 1)
        return std::nullopt;
    ctx.sites.insert(name, found->number(0, 0));
    return found->number(0, 0);
}

std::optional<qint64> ensureGauge(Context& ctx, const QString& name)
{
    if (auto it = ctx.gauges.constFind(name); it != ctx.gauges.constEnd())
        return *it;
    if (!ctx.query("INSERT INTO ktm520.gauges(name, revision) VALUES($1, 0) ON CONFLICT (name) DO NOTHING",
                   {text(name)}))
        return std::nullopt;
    const std::optional<PgResult> found = ctx.query("SELECT id FROM ktm520.gauges WHERE name = $1", {text(name)});
    if (!found || found->rows() != 1)
        return std::nullopt;
    ctx.gauges.insert(name, found->number(0, 0));
    return found->number(0, 0);
}

std::optional<qint64> ensureSlot(Context& ctx, const QString& readout, const QString& partition, const QString& code)
{
    const QString key = slotKey(readout, partition, code);
    if (auto it = ctx.ids.slotByName.constFind(key); it != ctx.ids.slotByName.constEnd())
        return *it;
    const auto r = ctx.readouts.constFind(readout.toLower());
    if (r == ctx.readouts.constEnd()) {
        ctx.fail(FailureKind::Local, QStringLiteral("readout %1 unknown to the office").arg(readout));
        return std::nullopt;
    }
    if (!ctx.query("INSERT INTO ktm520.slots(readout, partition, code) VALUES($1, $2, $3) ON CONFLICT DO NOTHING",
                   {number(*r), text(partition), text(code)}))
        return std::nullopt;
    const std::optional<PgResult> found =
        ctx.query("SELECT id FROM ktm520.slots WHERE readout = $1 AND partition = $2 AND code = $3",
                  {number(*r), text(partition), text(code)});
    if (!found || found->rows() != 1)
        return std::nullopt;
    ctx.ids.slotByName.insert(key, found->number(0, 0));
    return found->number(0, 0);
}

namespace {

// Names made in a table of (id, name) in one statement, in the server's order of the names so
// that two syncs making the same names at once take them in the same order.
bool mapNames(Context& ctx, const char* insertSql, const char* selectSql, const std::vector<archive::NamedId>& named,
              QHash<qint64, qint64>* byLocal, QHash<QString, qint64>* byName)
{
    constexpr std::size_t kBatch = 5000;
    for (std::size_t first = 0; first < named.size(); first += kBatch) {
        QStringList names;
        for (std::size_t i = first; i < std::min(named.size(), first + kBatch); ++i)
            names << named[i].name;
        const Param array = textArray(names);
        if (!ctx.query(insertSql, {array}))
            return false;
        const std::optional<PgResult> found = ctx.query(selectSql, {array});
        if (!found)
            return false;
        for (int row = 0; row < found->rows(); ++row)
            byName->insert(found->text(row, 1), found->number(row, 0));
    }
    for (const archive::NamedId& n : named) {
        const auto it = byName->constFind(n.name);
        if (it == byName->constEnd())
            return ctx.fail(FailureKind::QueryFailed, QStringLiteral("no office id for %1").arg(n.name));
        byLocal->insert(n.id, *it);
    }
    return true;
}

} // namespace

bool ensureIds(Context& ctx)
{
    if (ctx.ids.made)
        return true;
    archive::Error error;
    const std::vector<archive::SlotName> slotRows = ctx.archive.slotNames(&error);
    if (!error.detail.isEmpty())
        return ctx.local(error);
    const std::vector<archive::NamedId> files = ctx.archive.fileNames(&error);
    if (!error.detail.isEmpty())
        return ctx.local(error);
    const std::vector<archive::NamedId> odd = ctx.archive.oddTimes(&error);
    if (!error.detail.isEmpty())
        return ctx.local(error);

    std::vector<qint64> readoutIds;
    QStringList partitions, codes;
    for (const archive::SlotName& s : slotRows) {
        const auto r = ctx.readouts.constFind(s.readout.toLower());
        if (r == ctx.readouts.constEnd())
            return ctx.fail(FailureKind::Local, QStringLiteral("readout %1 unknown to the office").arg(s.readout));
        readoutIds.push_back(*r);
        partitions << s.partition;
        codes << s.code;
    }
    if (!slotRows.empty()) {
        const std::vector<Param> arrays = {numberArray(readoutIds), textArray(partitions), textArray(codes)};
        if (!ctx.query("INSERT INTO ktm520.slots(readout, partition, code) SELECT * FROM "
                       "unnest($1::int[], $2::text[], $3::text[]) u ORDER BY 1, 2, 3 ON CONFLICT DO NOTHING",
                       arrays))
            return false;
        const std::optional<PgResult> found =
            ctx.query("SELECT s.id, o.name, s.partition, s.code FROM ktm520.slots s JOIN ktm520.readouts o "
                      "ON o.id = s.readout JOIN unnest($1::int[], $2::text[], $3::text[]) u(r, p, c) "
                      "ON s.readout = u.r AND s.partition = u.p AND s.code = u.c",
                      arrays);
        if (!found)
            return false;
        for (int row = 0; row < found->rows(); ++row)
            ctx.ids.slotByName.insert(slotKey(found->text(row, 1), found->text(row, 2), found->text(row, 3)),
                                      found->number(row, 0));
        for (const archive::SlotName& s : slotRows) {
            const auto it = ctx.ids.slotByName.constFind(slotKey(s.readout, s.partition, s.code));
            if (it == ctx.ids.slotByName.constEnd())
                return ctx.fail(FailureKind::QueryFailed, QStringLiteral("no office id for slot %1").arg(s.code));
            ctx.ids.slotOf.insert(s.id, *it);
        }
    }
    if (!mapNames(ctx,
                  "INSERT INTO ktm520.files(name) SELECT n FROM unnest($1::text[]) n ORDER BY 1 ON CONFLICT DO NOTHING",
                  "SELECT id, name FROM ktm520.files WHERE name = ANY($1::text[])", files, &ctx.ids.fileOf,
                  &ctx.ids.fileByName))
        return false;
    if (!mapNames(ctx,
                  "INSERT INTO ktm520.odd_times(text) SELECT n FROM unnest($1::text[]) n ORDER BY 1 "
                  "ON CONFLICT DO NOTHING",
                  "SELECT id, text FROM ktm520.odd_times WHERE text = ANY($1::text[])", odd, &ctx.ids.oddOf,
                  &ctx.ids.oddByText))
        return false;
    ctx.ids.made = true;
    return true;
}

namespace {

bool registerSource(Context& ctx, bool write)
{
    const QString pc = QSysInfo::machineHostName();
    const QString user = archive::pcUser();
    std::optional<PgResult> found;
    if (write)
        found = ctx.query("INSERT INTO ktm520.sources(identity, pc, pc_user) VALUES($1::uuid, $2, $3) "
                          "ON CONFLICT (identity) DO UPDATE SET pc = excluded.pc, pc_user = excluded.pc_user "
                          "RETURNING id",
                          {text(ctx.identity), text(pc), text(user)});
    else
        found = ctx.query("SELECT id FROM ktm520.sources WHERE identity = $1::uuid", {text(ctx.identity)});
    if (!found)
        return false;
    ctx.source = found->rows() ? found->number(0, 0) : 0;
    return true;
}

bool run(Context& ctx, bool write)
{
    if (!registerSource(ctx, write) || !ensureReadouts(ctx, write))
        return false;
    if (write) {
        ctx.progress(SyncProgress::Register);
        if (!pushRegister(ctx) || ctx.cancelled() || !pushAssignments(ctx) || ctx.cancelled())
            return false;
        if (!pushDownloads(ctx) || ctx.cancelled())
            return false;
        ctx.progress(SyncProgress::Versions);
        if (!pushVersions(ctx) || !pushMasksAndAcknowledgements(ctx) || !pushJudgements(ctx) || ctx.cancelled())
            return false;
    }
    if (ctx.options.pull && !pull(ctx))
        return false;
    if (write && !ctx.query("UPDATE ktm520.sources SET last_sync = now() WHERE id = $1", {number(ctx.source)}))
        return false;
    return true;
}

} // namespace
} // namespace office::sync

namespace office {

std::optional<SyncResult> synchronise(archive::Archive& archive, const QString& conninfo, const SyncOptions& options,
                                      Failure* failure)
{
    Failure own;
    if (!failure)
        failure = &own;
    if (options.progress)
        options.progress(SyncProgress{SyncProgress::Connecting, 0, 0});
    std::unique_ptr<PgConnection> conn = PgConnection::open(conninfo, failure, options.password, options.timeoutSeconds);
    if (!conn)
        return std::nullopt;
    const std::optional<SchemaInfo> schema = ensureSchema(*conn, failure);
    if (!schema)
        return std::nullopt;

    SyncResult result;
    result.office = schema->identity;
    result.user = conn->user();
    result.tls = conn->usesTls();
    result.readOnly = !schema->canWrite;
    sync::Context ctx{archive, *conn, options, result, failure};

    archive::Error error;
    ctx.identity = archive.identity(&error);
    if (ctx.identity.isEmpty()) {
        ctx.local(error);
        return std::nullopt;
    }
    if (archive.boundOffice(&error) != schema->identity && !archive.bindOffice(schema->identity, &error)) {
        ctx.local(error);
        return std::nullopt;
    }
    // Times the server gives as text (dates) are read the same whatever the server's settings.
    if (!ctx.exec("SET TIME ZONE 'UTC'") || !sync::run(ctx, schema->canWrite))
        return std::nullopt;

    result.readingsWaiting = archive.readingsWaiting(&error);
    ctx.progress(SyncProgress::Finished);
    return result;
}

} // namespace office
