#include "archive/ArchiveCheck.h"

#include "archive/Archive.h"
#include "archive/ArchiveSql.h"
#include "archive/Record.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QUrl>
#include <sqlite3.h>

#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace archive::ArchiveCheck {
namespace {

constexpr int kExamples = 10;

struct CloseConnection {
    void operator()(sqlite3* db) const { sqlite3_close(db); }
};
using Connection = std::unique_ptr<sqlite3, CloseConnection>;

struct FinalizeStatement {
    void operator()(sqlite3_stmt* s) const { sqlite3_finalize(s); }
};
using Statement = std::unique_ptr<sqlite3_stmt, FinalizeStatement>;

Statement prepare(sqlite3* db, const char* sql)
{
    sqlite3_stmt* s = nullptr;
    sqlite3_prepare_v2(db, sql, -1, &s, nullptr);
    return Statement(s);
}

QString message(sqlite3* db) { return QString::fromUtf8(sqlite3_errmsg(db)); }

bool exec(sqlite3* db, const char* sql) { return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK; }

// A column's bytes as they are stored, valid UTF-8 or not.
std::string bytesOf(sqlite3_stmt* s, int column)
{
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(s, column));
    return text ? std::string(text, size_t(sqlite3_column_bytes(s, column))) : std::string();
}

// Whether the bytes are well-formed UTF-8: no stray continuation byte, no overlong form, no
// surrogate, nothing beyond U+10FFFF.
bool validUtf8(const std::string& bytes)
{
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const auto* end = p + bytes.size();
    while (p < end) {
        const unsigned char c = *p++;
        if (c < 0x80)
            continue;
        int more = 0;
        char32_t cp = 0;
        if (c >= 0xC2 && c <= 0xDF) {
            more = 1;
            cp = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            more = 2;
            cp = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            more = 3;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (end - p < more)
            return false;
        for (int i = 0; i < more; ++i) {
            if ((p[i] & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (p[i] & 0x3F);
        }
        p += more;
        if ((more == 2 && cp < 0x800) || (more == 3 && cp < 0x10000) || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
    }
    return true;
}

// The key of a record as stored (slot, time_s, file), with the texts it stands for.
struct Key {
    std::string partition;
    std::string file;
    std::string code;
    std::string time;
    sqlite3_int64 slot = 0;
    sqlite3_int64 timeKey = 0;
    sqlite3_int64 fileId = 0;
};

// A record's key and texts: its slot's partition and code, its file's name, its time's text
// (kept only where it is not the canonical text of time_s), then the texts and numbers.
#define KTM_RECORD_TEXTS                                                                                           \
    "SELECT s.partition, f.name, s.code, coalesce(r.time, strftime('%Y-%m-%d %H:%M:%S', r.time_s, 'unixepoch')), " \
    "r.reading, r.temperature, r.reading_hz, r.temperature_c, "                                                    \
    "CASE WHEN r.time_s >= -62135596800 THEN r.time_s END, r.slot, r.time_s, r.file, s.readout, r.utc_s "
#define KTM_RECORD_FROM "FROM records r LEFT JOIN slots s ON s.id = r.slot LEFT JOIN files f ON f.id = r.file "

Key keyOfRow(sqlite3_stmt* s)
{
    return Key{bytesOf(s, 0),
               bytesOf(s, 1),
               bytesOf(s, 2),
               bytesOf(s, 3),
               sqlite3_column_int64(s, 9),
               sqlite3_column_int64(s, 10),
               sqlite3_column_int64(s, 11)};
}

QString placeText(const Key& k)
{
    // %1 partition, %2 code, %3 time, %4 file
    return QCoreApplication::translate("ArchiveCheck", "%1 分区 %2 %3（文件 %4）")
        .arg(QString::fromUtf8(k.partition), QString::fromUtf8(k.code), QString::fromUtf8(k.time),
             QString::fromUtf8(k.file));
}

// The numbers a record's texts give.
struct Numbers {
    std::optional<double> hz;
    std::optional<double> celsius;
    std::optional<qint64> seconds;
    std::optional<qint64> utc; // the instant of the time in its readout's zones
};

Numbers numbersOf(const std::string& reading, const std::string& temperature, const std::string& time)
{
    return Numbers{readingHz(QString::fromUtf8(reading)), temperatureC(QString::fromUtf8(temperature)),
                   instrumentTime(QString::fromUtf8(time))};
}

void bindKey(sqlite3_stmt* s, int first, const Key& k)
{
    sqlite3_bind_int64(s, first, k.slot);
    sqlite3_bind_int64(s, first + 1, k.timeKey);
    sqlite3_bind_int64(s, first + 2, k.fileId);
}

void bindNumbers(sqlite3_stmt* s, int first, const Numbers& n)
{
    if (n.hz)
        sqlite3_bind_double(s, first, *n.hz);
    else
        sqlite3_bind_null(s, first);
    if (n.celsius)
        sqlite3_bind_double(s, first + 1, *n.celsius);
    else
        sqlite3_bind_null(s, first + 1);
    if (n.seconds)
        sqlite3_bind_int64(s, first + 2, *n.seconds);
    else
        sqlite3_bind_null(s, first + 2);
}

QString numberText(sqlite3_stmt* s, int column)
{
    if (sqlite3_column_type(s, column) == SQLITE_NULL)
        return QCoreApplication::translate("ArchiveCheck", "空");
    return QString::number(sqlite3_column_double(s, column), 'g', 15);
}

QString numberText(const std::optional<double>& v) { return v ? QString::number(*v, 'g', 15) : QCoreApplication::translate("ArchiveCheck", "空"); }

// Whether a stored number is the one its text gives (both absent counts as the same).
bool sameReal(sqlite3_stmt* s, int column, const std::optional<double>& want)
{
    if (sqlite3_column_type(s, column) == SQLITE_NULL)
        return !want;
    return want && sqlite3_column_double(s, column) == *want;
}

bool sameInteger(sqlite3_stmt* s, int column, const std::optional<qint64>& want)
{
    if (sqlite3_column_type(s, column) == SQLITE_NULL)
        return !want;
    return want && sqlite3_column_type(s, column) == SQLITE_INTEGER && sqlite3_column_int64(s, column) == *want;
}

// A record whose numbers are to be written again.
struct WrongNumbers {
    Key key;
    Numbers numbers;
};

// A key found more than once, and how often.
struct Repeated {
    Key key;
    qint64 copies = 0;
};

struct Pass {
    Findings found;
    bool complete = true; // every record could be read
    std::vector<WrongNumbers> wrong;
    std::vector<Repeated> repeated;
};

void example(Findings& f, const QString& text)
{
    if (f.examples.size() < kExamples)
        f.examples << text;
}

Pass examine(sqlite3* db)
{
    Pass pass;
    Findings& f = pass.found;

    // The full check: every page, every index entry, every constraint SQLite can verify.
    if (Statement check = prepare(db, "PRAGMA integrity_check(100)")) {
        int rc;
        while ((rc = sqlite3_step(check.get())) == SQLITE_ROW) {
            const QString line = QString::fromUtf8(bytesOf(check.get(), 0));
            if (line != QLatin1String("ok"))
                f.integrity << line;
        }
        if (rc != SQLITE_DONE)
            f.integrity << message(db);
    } else {
        f.integrity << message(db);
    }

    // Every record: its texts as text, its numbers from its texts.
    std::map<sqlite3_int64, std::optional<ZoneClock>> clocks;
    Statement scan = prepare(db, KTM_RECORD_TEXTS KTM_RECORD_FROM);
    int rc = SQLITE_ERROR;
    if (scan) {
        sqlite3_stmt* s = scan.get();
        while ((rc = sqlite3_step(s)) == SQLITE_ROW) {
            ++f.records;
            Key key = keyOfRow(s);
            const std::string reading = bytesOf(s, 4);
            const std::string temperature = bytesOf(s, 5);
            bool valid = true;
            for (const std::string* text : std::initializer_list<const std::string*>{&key.partition, &key.file, &key.code, &key.time, &reading, &temperature})
                valid = valid && validUtf8(*text);
            if (!valid) {
                ++f.invalidTexts;
                example(f, QCoreApplication::translate("ArchiveCheck", "%1：含有无效的文字（不是有效的 UTF-8），无法按文本修复").arg(placeText(key)));
            }
            Numbers want = numbersOf(reading, temperature, key.time);
            // The UTC instant of the time, as the readout's clock gives it.
            const sqlite3_int64 readout = sqlite3_column_int64(s, 12);
            auto clock = clocks.find(readout);
            if (clock == clocks.end()) {
                bool ok = true;
                clock = clocks.emplace(readout, zoneClockOf(db, readout, &ok)).first;
            }
            if (want.seconds && clock->second)
                want.utc = clock->second->utc(*want.seconds);
            else if (want.seconds)
                want.utc = sqlite3_column_type(s, 13) == SQLITE_NULL ? std::nullopt
                                                                     : std::optional<qint64>(sqlite3_column_int64(s, 13));
            if (sameReal(s, 6, want.hz) && sameReal(s, 7, want.celsius) && sameInteger(s, 8, want.seconds) &&
                sameInteger(s, 13, want.utc))
                continue;
            ++f.wrongNumbers;
            if (!sameReal(s, 6, want.hz))
                example(f, QCoreApplication::translate("ArchiveCheck", "%1：读数存为 %2 Hz，按文本“%3”应为 %4 Hz")
                               .arg(placeText(key), numberText(s, 6), QString::fromUtf8(reading), numberText(want.hz)));
            else if (!sameReal(s, 7, want.celsius))
                example(f, QCoreApplication::translate("ArchiveCheck", "%1：温度存为 %2 ℃，按文本“%3”应为 %4 ℃")
                               .arg(placeText(key), numberText(s, 7), QString::fromUtf8(temperature),
                                    numberText(want.celsius)));
            else
                example(f, QCoreApplication::translate("ArchiveCheck", "%1：时间的数值与文本不符").arg(placeText(key)));
            pass.wrong.push_back(WrongNumbers{std::move(key), want});
        }
    }
    if (rc != SQLITE_DONE) {
        pass.complete = false;
        f.integrity << QCoreApplication::translate("ArchiveCheck", "无法读出全部记录：%1").arg(message(db));
    }

    // Records stored twice. The unary plus keeps the grouping off the table's own order, so
    // that two copies are found even where a damaged page has put them apart.
    Statement twice = prepare(db, KTM_RECORD_TEXTS ", count(*) " KTM_RECORD_FROM
                                                   "GROUP BY +r.slot, +r.time_s, +r.file HAVING count(*) > 1");
    rc = SQLITE_ERROR;
    if (twice) {
        sqlite3_stmt* s = twice.get();
        while ((rc = sqlite3_step(s)) == SQLITE_ROW) {
            Repeated r{keyOfRow(s), sqlite3_column_int64(s, 14)};
            f.duplicates += r.copies - 1;
            example(f, QCoreApplication::translate("ArchiveCheck", "%1：存了 %2 次").arg(placeText(r.key)).arg(r.copies));
            pass.repeated.push_back(std::move(r));
        }
    }
    if (rc != SQLITE_DONE) {
        pass.complete = false;
        f.integrity << QCoreApplication::translate("ArchiveCheck", "无法查找重复的记录：%1").arg(message(db));
    }
    return pass;
}

// Repairs from the texts in one transaction: the numbers written again, each record stored
// twice kept once (its first copy), the indexes rebuilt. The empty text when it was kept.
QString repairFrom(sqlite3* db, const Pass& pass)
{
    if (!exec(db, "BEGIN IMMEDIATE"))
        return message(db);
    const auto steps = [&]() -> bool {
        // A time text that is a time after all is keyed by it.
        Statement update = prepare(db, "UPDATE records SET reading_hz = ?5, temperature_c = ?6, "
                                       "time_s = coalesce(?7, time_s), time = CASE WHEN ?7 IS NULL THEN time END, "
                                       "utc_s = ?8 "
                                       "WHERE slot = ?1 AND time_s = ?2 AND file = ?3");
        Statement first = prepare(db, "SELECT reading, temperature, download, time, utc_s FROM records "
                                      "WHERE slot = ?1 AND time_s = ?2 AND file = ?3 LIMIT 1");
        Statement remove = prepare(db, "DELETE FROM records WHERE slot = ?1 AND time_s = ?2 AND file = ?3");
        Statement insert = prepare(db, "INSERT INTO records(slot, time_s, file, time, reading, temperature, download, "
                                       "reading_hz, temperature_c, utc_s) VALUES(?1, ?2, ?3, ?11, ?5, ?6, ?7, ?8, ?9, ?12)");
        if (!update || !first || !remove || !insert)
            return false;
        for (const WrongNumbers& w : pass.wrong) {
            bindKey(update.get(), 1, w.key);
            bindNumbers(update.get(), 5, w.numbers);
            if (w.numbers.utc)
                sqlite3_bind_int64(update.get(), 8, *w.numbers.utc);
            else
                sqlite3_bind_null(update.get(), 8);
            const int rc = sqlite3_step(update.get());
            sqlite3_reset(update.get());
            if (rc != SQLITE_DONE)
                return false;
        }
        for (const Repeated& r : pass.repeated) {
            bindKey(first.get(), 1, r.key);
            if (sqlite3_step(first.get()) != SQLITE_ROW) {
                sqlite3_reset(first.get());
                continue; // no longer found by its key: the check after the repair says so
            }
            const std::string reading = bytesOf(first.get(), 0);
            const std::string temperature = bytesOf(first.get(), 1);
            const bool hasDownload = sqlite3_column_type(first.get(), 2) != SQLITE_NULL;
            const sqlite3_int64 download = sqlite3_column_int64(first.get(), 2);
            const bool hasTime = sqlite3_column_type(first.get(), 3) != SQLITE_NULL;
            const std::string time = bytesOf(first.get(), 3);
            const bool hasUtc = sqlite3_column_type(first.get(), 4) != SQLITE_NULL;
            const sqlite3_int64 utc = sqlite3_column_int64(first.get(), 4);
            sqlite3_reset(first.get());
            // Each run of the statement may find one copy only, where the damage left two
            // entries under one key.
            bindKey(remove.get(), 1, r.key);
            for (qint64 i = 0; i < r.copies; ++i) {
                const int removed = sqlite3_step(remove.get());
                sqlite3_reset(remove.get());
                if (removed != SQLITE_DONE)
                    return false;
                if (sqlite3_changes(db) == 0)
                    break;
            }
            bindKey(insert.get(), 1, r.key);
            sqlite3_bind_text(insert.get(), 5, reading.data(), int(reading.size()), SQLITE_STATIC);
            sqlite3_bind_text(insert.get(), 6, temperature.data(), int(temperature.size()), SQLITE_STATIC);
            if (hasDownload)
                sqlite3_bind_int64(insert.get(), 7, download);
            else
                sqlite3_bind_null(insert.get(), 7);
            bindNumbers(insert.get(), 8, numbersOf(reading, temperature, r.key.time));
            if (hasTime)
                sqlite3_bind_text(insert.get(), 11, time.data(), int(time.size()), SQLITE_STATIC);
            else
                sqlite3_bind_null(insert.get(), 11);
            // The instant computed again, should the copy kept be the damaged one.
            bool ok = true;
            const std::optional<qint64> readout = sql::oneNumber(
                db, "SELECT readout FROM slots WHERE id = ?1",
                [&](sqlite3_stmt* q) { sqlite3_bind_int64(q, 1, r.key.slot); }, &ok);
            std::optional<ZoneClock> clock = readout ? zoneClockOf(db, *readout, &ok) : std::nullopt;
            if (clock && r.key.timeKey >= kFirstTime)
                sqlite3_bind_int64(insert.get(), 12, clock->utc(r.key.timeKey));
            else if (hasUtc)
                sqlite3_bind_int64(insert.get(), 12, utc);
            else
                sqlite3_bind_null(insert.get(), 12);
            const int inserted = sqlite3_step(insert.get());
            sqlite3_reset(insert.get());
            if (inserted != SQLITE_DONE)
                return false;
        }
        if (!exec(db, "REINDEX"))
            return false;
        // The components' summary follows deletes and changes by itself, but records are counted
        // into it by the store: after the repair's inserts it is counted again from the records;
        // the readings mended are judged again, as every change of them is.
        // What each download holds is counted again too (what waits for the office database):
        // a damaged table's copies are not all seen as they are taken out.
        return recountSummary(db) &&
               exec(db, "UPDATE downloads SET held = coalesce((SELECT n FROM (SELECT download, count(*) AS n FROM records "
                        "GROUP BY download) c WHERE c.download = downloads.id), 0)") &&
               exec(db, "UPDATE sharing SET value = (SELECT count(*) FROM records WHERE download IS NULL) "
                        "WHERE key = 'legacy_records'") &&
               judging::rejudgeAll(db);
    };
    if (steps() && exec(db, "COMMIT"))
        return {};
    const QString detail = message(db);
    if (!sqlite3_get_autocommit(db))
        exec(db, "ROLLBACK");
    return detail.isEmpty() ? QCoreApplication::translate("ArchiveCheck", "原因不明") : detail;
}

void setError(Error* error, ErrorKind kind, const QString& detail)
{
    if (error)
        *error = Error{kind, detail};
}

} // namespace

std::optional<Result> run(const QString& path, bool repair, Error* error)
{
    const QFileInfo info(path);
    if (!info.isFile()) {
        setError(error, ErrorKind::CannotOpen, QStringLiteral("%1: no such file").arg(QDir::toNativeSeparators(path)));
        return std::nullopt;
    }
    sqlite3* raw = nullptr;
    // Looking only leaves the folder as it was too: without a log beside the file nothing can
    // change it meanwhile, and SQLite is told so, so that it makes no companion files.
    QString name = info.absoluteFilePath();
    int flags = (repair ? SQLITE_OPEN_READWRITE : SQLITE_OPEN_READONLY) | SQLITE_OPEN_NOMUTEX;
    if (!repair && !QFileInfo::exists(name + QStringLiteral("-wal"))) {
        name = QUrl::fromLocalFile(name).toString(QUrl::FullyEncoded) + QStringLiteral("?immutable=1");
        flags |= SQLITE_OPEN_URI;
    }
    const int opened = sqlite3_open_v2(name.toUtf8().constData(), &raw, flags, nullptr);
    Connection db(raw);
    if (opened != SQLITE_OK) {
        setError(error, ErrorKind::CannotOpen, raw ? message(raw) : QString::fromUtf8(sqlite3_errstr(opened)));
        return std::nullopt;
    }
    // Another program may be storing a copy; the check waits for it.
    sqlite3_busy_timeout(db.get(), 60000);

    // Only an archive of this version is checked. One whose schema cannot even be read is
    // reported as the integrity check finds it.
    Statement version = prepare(db.get(), "PRAGMA user_version");
    if (!version || sqlite3_step(version.get()) != SQLITE_ROW) {
        if ((sqlite3_errcode(db.get()) & 0xFF) != SQLITE_CORRUPT) {
            setError(error, ErrorKind::Damaged, message(db.get()));
            return std::nullopt;
        }
        Result unreadable;
        unreadable.found = examine(db.get()).found;
        unreadable.repairTried = repair;
        if (repair)
            unreadable.repairFailure = QCoreApplication::translate("ArchiveCheck", "档案中有读不出的部分，未作修复");
        return unreadable;
    }
    const int schema = sqlite3_column_int(version.get(), 0);
    version.reset();
    if (schema > Archive::kSchemaVersion) {
        setError(error, ErrorKind::NewerVersion, QStringLiteral("schema version %1").arg(schema));
        return std::nullopt;
    }
    if (schema != Archive::kSchemaVersion ||
        !prepare(db.get(), "SELECT slot, time_s, file, time, reading, temperature, download, reading_hz, "
                           "temperature_c, utc_s FROM records LIMIT 0")) {
        setError(error, ErrorKind::Damaged, QStringLiteral("not an archive of schema version %1").arg(Archive::kSchemaVersion));
        return std::nullopt;
    }

    Result result;
    Pass pass = examine(db.get());
    result.found = pass.found;
    const Findings& f = pass.found;
    if (!repair || (f.integrity.isEmpty() && f.duplicates == 0 && f.wrongNumbers == 0))
        return result; // nothing the texts could mend (a text that is not UTF-8 stays as it is)
    result.repairTried = true;
    if (!pass.complete) {
        result.repairFailure = QCoreApplication::translate("ArchiveCheck", "档案中有读不出的部分，未作修复");
        return result;
    }
    result.repairFailure = repairFrom(db.get(), pass);
    if (result.repairFailure.isEmpty())
        result.afterRepair = examine(db.get()).found;
    return result;
}

namespace {

// The integrity check's findings, the first few of them.
void integrityLines(QStringList& lines, const QStringList& problems)
{
    constexpr qsizetype kShown = 5;
    for (qsizetype i = 0; i < std::min(problems.size(), kShown); ++i)
        lines << QCoreApplication::translate("ArchiveCheck", "数据库完整性：%1").arg(problems[i]);
    if (problems.size() > kShown)
        lines << QCoreApplication::translate("ArchiveCheck", "数据库完整性：另有 %1 处问题").arg(problems.size() - kShown);
}

} // namespace

QString text(const Result& r)
{
    QStringList lines;
    const Findings& f = r.found;
    if (f.clean()) {
        lines << QCoreApplication::translate("ArchiveCheck", "档案检查完毕：%1 条记录，未发现问题。").arg(f.records);
        return lines.join(QLatin1Char('\n'));
    }
    lines << QCoreApplication::translate("ArchiveCheck", "档案检查完毕：%1 条记录，发现以下问题：").arg(f.records);
    integrityLines(lines, f.integrity);
    if (f.duplicates)
        lines << QCoreApplication::translate("ArchiveCheck", "%1 条记录重复存储").arg(f.duplicates);
    if (f.wrongNumbers)
        lines << QCoreApplication::translate("ArchiveCheck", "%1 条记录的数值与其文本不符").arg(f.wrongNumbers);
    if (f.invalidTexts)
        lines << QCoreApplication::translate("ArchiveCheck", "%1 条记录含有无效的文字（不是有效的 UTF-8）").arg(f.invalidTexts);
    for (const QString& e : f.examples)
        lines << QStringLiteral("  ") + e;
    if (r.repairTried && !r.repairFailure.isEmpty())
        lines << QCoreApplication::translate("ArchiveCheck", "未能修复，档案未作任何改动：%1").arg(r.repairFailure);
    if (r.afterRepair) {
        const Findings& a = *r.afterRepair;
        if (a.clean()) {
            lines << QCoreApplication::translate("ArchiveCheck", "已按记录的文本修复，档案现已完好。");
        } else {
            lines << QCoreApplication::translate("ArchiveCheck", "已按记录的文本修复能修复的部分；仍有以下问题：");
            integrityLines(lines, a.integrity);
            if (a.duplicates)
                lines << QCoreApplication::translate("ArchiveCheck", "%1 条记录重复存储").arg(a.duplicates);
            if (a.wrongNumbers)
                lines << QCoreApplication::translate("ArchiveCheck", "%1 条记录的数值与其文本不符").arg(a.wrongNumbers);
            if (a.invalidTexts)
                lines << QCoreApplication::translate("ArchiveCheck", "%1 条记录含有无效的文字（不是有效的 UTF-8），无法按文本修复").arg(a.invalidTexts);
        }
    }
    return lines.join(QLatin1Char('\n'));
}

} // namespace archive::ArchiveCheck
