// Calibration versions: of a gauge, or of a component code (on one readout's slot or on every
// readout), each from a UTC instant, never changed, only added; and the calibration table as
// it stands now, read from and written as versions.
#include "archive/Archive.h"
#include "archive/ArchiveSql.h"

#include <QSet>
#include <cmath>
#include <map>

namespace archive {

using namespace sql;

const char* const kVersionColumns =
    "v.id, coalesce(g.name, ''), coalesce(r.name, ''), coalesce(v.code, ''), v.from_utc, v.withdrawn, v.type, v.unit, "
    "v.kind, v.form, v.g, v.reversed, v.a, v.b, v.c, v.field_zero, v.r0, v.t0, v.k, v.entered_at, v.entered_by";
const char* const kVersionJoins = " FROM calibration_versions v LEFT JOIN gauges g ON g.id = v.gauge "
                                  "LEFT JOIN slots s ON s.id = v.slot LEFT JOIN readouts r ON r.id = s.readout ";

CalibrationVersion versionOfRow(sqlite3_stmt* s)
{
    CalibrationVersion v;
    v.id = sqlite3_column_int64(s, 0);
    v.gauge = columnText(s, 1);
    v.readout = columnText(s, 2);
    v.code = columnText(s, 3);
    v.fromUtc = sqlite3_column_int64(s, 4);
    v.withdrawn = sqlite3_column_int(s, 5) != 0;
    Calibration& c = v.values;
    c.code = v.gauge.isEmpty() ? v.code : v.gauge;
    c.gauge = columnText(s, 6);
    c.unit = columnText(s, 7);
    c.kind = columnText(s, 8) == QLatin1String("frequency") ? ReadingKind::Frequency : ReadingKind::Digits;
    c.form = columnText(s, 9) == QLatin1String("polynomial") ? Form::Polynomial : Form::Linear;
    c.G = sqlite3_column_double(s, 10);
    c.reversed = sqlite3_column_int(s, 11) != 0;
    c.A = sqlite3_column_double(s, 12);
    c.B = sqlite3_column_double(s, 13);
    c.C = sqlite3_column_double(s, 14);
    c.fieldZero = sqlite3_column_int(s, 15) != 0;
    c.R0 = sqlite3_column_double(s, 16);
    c.T0 = sqlite3_column_double(s, 17);
    c.K = sqlite3_column_double(s, 18);
    v.enteredAt = QDateTime::fromString(columnText(s, 19), Qt::ISODateWithMs).toUTC();
    v.enteredBy = columnText(s, 20);
    return v;
}

namespace {

QString refusal(const Calibration& c)
{
    if (c.code.isEmpty())
        return QStringLiteral("a calibration without a component code");
    for (double v : {c.G, c.A, c.B, c.C, c.R0, c.T0, c.K})
        if (!std::isfinite(v))
            return QStringLiteral("calibration %1: a factor that is not a finite number").arg(c.code);
    return {};
}

} // namespace

// Adds one version inside the caller's transaction: gauge id or (code, slot id or 0).
bool insertVersion(sqlite3* db, qint64 gauge, const QString& code, qint64 slot, qint64 fromUtc, bool withdrawn,
                   const Calibration& c, const QDateTime& at, const QString& by, qint64* id)
{
    Statement add(db, "INSERT INTO calibration_versions(gauge, slot, code, from_utc, withdrawn, type, unit, kind, "
                      "form, g, reversed, a, b, c, field_zero, r0, t0, k, entered_at, entered_by) "
                      "VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13, ?14, ?15, ?16, ?17, ?18, ?19, ?20)");
    if (!add)
        return false;
    sqlite3_stmt* s = add.get();
    if (gauge)
        sqlite3_bind_int64(s, 1, gauge);
    else
        sqlite3_bind_null(s, 1);
    if (slot)
        sqlite3_bind_int64(s, 2, slot);
    else
        sqlite3_bind_null(s, 2);
    if (gauge)
        sqlite3_bind_null(s, 3);
    else
        bindText(s, 3, code);
    sqlite3_bind_int64(s, 4, fromUtc);
    sqlite3_bind_int(s, 5, withdrawn ? 1 : 0);
    bindText(s, 6, c.gauge);
    bindText(s, 7, c.unit);
    sqlite3_bind_text(s, 8, c.kind == ReadingKind::Frequency ? "frequency" : "digits", -1, SQLITE_STATIC);
    sqlite3_bind_text(s, 9, c.form == Form::Polynomial ? "polynomial" : "linear", -1, SQLITE_STATIC);
    sqlite3_bind_double(s, 10, c.G);
    sqlite3_bind_int(s, 11, c.reversed ? 1 : 0);
    sqlite3_bind_double(s, 12, c.A);
    sqlite3_bind_double(s, 13, c.B);
    sqlite3_bind_double(s, 14, c.C);
    sqlite3_bind_int(s, 15, c.fieldZero ? 1 : 0);
    sqlite3_bind_double(s, 16, c.R0);
    sqlite3_bind_double(s, 17, c.T0);
    sqlite3_bind_double(s, 18, c.K);
    bindText(s, 19, at.toUTC().toString(Qt::ISODateWithMs));
    bindText(s, 20, by);
    if (!step(s))
        return false;
    if (id)
        *id = sqlite3_last_insert_rowid(db);
    return true;
}

namespace {

// The latest version of each gauge and of each code, withdrawn ones included, keyed by the
// table's code (gauge name or component code).
bool latestVersions(sqlite3* db, std::map<QString, CalibrationVersion>* out, Error* error)
{
    const std::string sql = std::string("SELECT ") + kVersionColumns + kVersionJoins + "ORDER BY v.from_utc, v.entered_at, v.id";
    return readRows(db, sql.c_str(), error, [&](sqlite3_stmt* s) {
        CalibrationVersion v = versionOfRow(s);
        (*out)[v.values.code] = v; // the later replaces the earlier
    });
}

} // namespace

std::vector<CalibrationVersion> gaugeVersions(sqlite3* db, qint64 gauge, bool* ok)
{
    std::vector<CalibrationVersion> out;
    const std::string sql = std::string("SELECT ") + kVersionColumns + kVersionJoins + "WHERE v.gauge = ?1 ORDER BY v.from_utc, v.entered_at, v.id";
    if (!readRows(
            db, sql.c_str(), nullptr, [&](sqlite3_stmt* s) { sqlite3_bind_int64(s, 1, gauge); },
            [&](sqlite3_stmt* s) { out.push_back(versionOfRow(s)); }))
        *ok = false;
    return out;
}

const CalibrationVersion* versionAt(const std::vector<CalibrationVersion>& versions, qint64 utc)
{
    const CalibrationVersion* found = nullptr;
    for (const CalibrationVersion& v : versions)
        // Of two from the same instant, the later entered (as two PCs entered them, whatever order
        // this archive got them in).
        if (v.fromUtc <= utc &&
            (!found || v.fromUtc > found->fromUtc ||
             (v.fromUtc == found->fromUtc &&
              (v.enteredAt > found->enteredAt || (v.enteredAt == found->enteredAt && v.id > found->id)))))
            found = &v;
    return found && !found->withdrawn ? found : nullptr;
}

std::vector<Calibration> Archive::calibrations(Error* error) const
{
    std::map<QString, CalibrationVersion> latest;
    if (!latestVersions(m->db.get(), &latest, error))
        return {};
    std::vector<Calibration> out;
    for (const auto& [code, v] : latest)
        if (!v.withdrawn)
            out.push_back(v.values);
    return out;
}

std::optional<Calibration> Archive::calibration(const QString& code, Error* error) const
{
    const std::vector<CalibrationVersion> versions = calibrationVersions(code, error);
    if (versions.empty())
        return std::nullopt;
    const CalibrationVersion* latest = versionAt(versions, kUntilNow);
    return latest ? std::optional<Calibration>(latest->values) : std::nullopt;
}

bool Archive::setCalibrations(const std::vector<Calibration>& all, Error* error)
{
    QSet<QString> codes;
    for (const Calibration& c : all) {
        if (const QString why = refusal(c); !why.isEmpty()) {
            setError(error, ErrorKind::WriteFailed, why);
            return false;
        }
        if (codes.contains(c.code)) {
            setError(error, ErrorKind::WriteFailed, QStringLiteral("calibration %1 given twice").arg(c.code));
            return false;
        }
        codes.insert(c.code);
    }
    sqlite3* db = m->db.get();
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const QString by = pcUser();
    const std::optional<QString> failed = inTransaction(db, [&] {
        std::map<QString, CalibrationVersion> latest;
        if (!latestVersions(db, &latest, nullptr))
            return false;
        bool ok = true;
        std::vector<qint64> gauges; // whose versions changed: judged again
        const auto add = [&](const Calibration& c, qint64 from, bool withdrawn) {
            const std::optional<qint64> gauge = oneNumber(
                db, "SELECT id FROM gauges WHERE name = ?1", [&](sqlite3_stmt* s) { bindText(s, 1, c.code); }, &ok);
            if (gauge)
                gauges.push_back(*gauge);
            return ok && insertVersion(db, gauge.value_or(0), c.code, 0, from, withdrawn, c, now, by, nullptr);
        };
        for (const Calibration& c : all) {
            const auto found = latest.find(c.code);
            if (found == latest.end())
                ok = add(c, kSinceEver, false);
            else if (found->second.withdrawn || !(found->second.values == c))
                ok = add(c, now.toSecsSinceEpoch(), false);
            if (!ok)
                return false;
        }
        for (const auto& [code, v] : latest)
            if (!v.withdrawn && !codes.contains(code) && !add(v.values, now.toSecsSinceEpoch(), true))
                return false;
        return judging::rejudge(db, gauges);
    });
    if (failed) {
        setError(error, ErrorKind::WriteFailed, *failed);
        return false;
    }
    return true;
}

std::vector<CalibrationVersion> Archive::calibrationVersions(const QString& gauge, Error* error) const
{
    std::vector<CalibrationVersion> out;
    const std::string sql = std::string("SELECT ") + kVersionColumns + kVersionJoins +
                            "WHERE CASE WHEN EXISTS(SELECT 1 FROM gauges WHERE name = ?1) THEN g.name = ?1 "
                            "WHEN ?1 = '' THEN v.gauge IS NULL ELSE v.gauge IS NULL AND v.code = ?1 END "
                            "ORDER BY v.from_utc, v.entered_at, v.id";
    if (!readRows(
            m->db.get(), sql.c_str(), error, [&](sqlite3_stmt* s) { bindText(s, 1, gauge); },
            [&](sqlite3_stmt* s) { out.push_back(versionOfRow(s)); }))
        return {};
    return out;
}

std::vector<CalibrationVersion> Archive::allCalibrationVersions(Error* error) const
{
    std::vector<CalibrationVersion> out;
    const std::string sql = std::string("SELECT ") + kVersionColumns + kVersionJoins + "ORDER BY v.from_utc, v.entered_at, v.id";
    if (!readRows(m->db.get(), sql.c_str(), error, [&](sqlite3_stmt* s) { out.push_back(versionOfRow(s)); }))
        return {};
    return out;
}

std::optional<CalibrationVersion> Archive::addCalibrationVersion(const CalibrationVersion& version, Error* error)
{
    Calibration values = version.values;
    values.code = version.gauge.isEmpty() ? version.code : version.gauge;
    QString why = refusal(values);
    if (why.isEmpty())
        why = calibrationDoubt(values);
    if (why.isEmpty() && !version.gauge.isEmpty() && !assigning::validGaugeName(version.gauge))
        why = QStringLiteral("%1 cannot be a gauge's name").arg(version.gauge);
    if (!why.isEmpty()) {
        setError(error, ErrorKind::WriteFailed, why);
        return std::nullopt;
    }
    sqlite3* db = m->db.get();
    CalibrationVersion out = version;
    out.values = values;
    out.enteredAt = QDateTime::currentDateTimeUtc();
    out.enteredBy = pcUser();
    out.withdrawn = false;
    const std::optional<QString> failed = inTransaction(db, [&] {
        bool ok = true;
        qint64 gauge = 0, slot = 0;
        if (!version.gauge.isEmpty()) {
            gauge = oneNumber(
                        db, "SELECT id FROM gauges WHERE name = ?1",
                        [&](sqlite3_stmt* s) { bindText(s, 1, version.gauge); }, &ok)
                        .value_or(0);
            if (gauge == 0) {
                why = ok ? QStringLiteral("gauge %1 is not in the register").arg(version.gauge) : QString();
                return false;
            }
        } else if (!version.readout.isEmpty()) {
            slot = oneNumber(
                       db,
                       "SELECT min(s.id) FROM slots s JOIN readouts r ON r.id = s.readout "
                       "WHERE r.name = ?1 AND s.code = ?2",
                       [&](sqlite3_stmt* s) {
                           bindText(s, 1, version.readout);
                           bindText(s, 2, version.code);
                       },
                       &ok)
                       .value_or(0);
            if (slot == 0) {
                why = ok ? QStringLiteral("readout %1 has no slot %2").arg(version.readout, version.code) : QString();
                return false;
            }
        }
        return insertVersion(db, gauge, version.code, slot, version.fromUtc, false, values, out.enteredAt,
                             out.enteredBy, &out.id) &&
               (gauge == 0 || judging::rejudge(db, {gauge}));
    });
    if (failed) {
        setError(error, ErrorKind::WriteFailed, why.isEmpty() ? *failed : why);
        return std::nullopt;
    }
    return out;
}

} // namespace archive
