#pragma once

#include "archive/Archive.h"
#include "tests/support/ArchiveOrigin.h"

#include <QByteArray>
#include <QDateTime>
#include <QFile>
#include <QString>
#include <QTemporaryDir>
#include <QTimeZone>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <string>
#include <utility>
#include <vector>

namespace archive::test {

// SQLite on the archive's file directly, beside the archive: to build a file as an older
// program left it, to change one behind the archive's back, and to look at what was written.
class RawDb {
public:
    explicit RawDb(const QString& path)
    {
        if (sqlite3_open(QFile::encodeName(path).constData(), &m_db) != SQLITE_OK)
            ADD_FAILURE() << "cannot open " << path.toStdString();
    }
    ~RawDb() { sqlite3_close(m_db); }
    RawDb(const RawDb&) = delete;
    RawDb& operator=(const RawDb&) = delete;

    void exec(const char* sql)
    {
        char* message = nullptr;
        if (sqlite3_exec(m_db, sql, nullptr, nullptr, &message) != SQLITE_OK)
            ADD_FAILURE() << sql << ": " << (message ? message : "?");
        sqlite3_free(message);
    }
    // The first column of every row of a query, as text ("NULL" for a null).
    QStringList column(const char* sql)
    {
        QStringList out;
        sqlite3_stmt* s = nullptr;
        if (sqlite3_prepare_v2(m_db, sql, -1, &s, nullptr) != SQLITE_OK) {
            ADD_FAILURE() << sql << ": " << sqlite3_errmsg(m_db);
            return out;
        }
        while (sqlite3_step(s) == SQLITE_ROW) {
            const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(s, 0));
            out << (text ? QString::fromUtf8(text) : QStringLiteral("NULL"));
        }
        sqlite3_finalize(s);
        return out;
    }
    qint64 number(const char* sql) { return column(sql).value(0).toLongLong(); }
    // The records as their texts, on this connection only (the file does not change): the view
    // record_texts(readout, partition, file, code, time, reading, temperature, download,
    // reading_hz, temperature_c, time_s, utc_s), time_s NULL where the time is not a time.
    void textView()
    {
        exec("CREATE TEMP VIEW record_texts AS SELECT o.name AS readout, s.partition AS partition, f.name AS file, "
             "s.code AS code, coalesce(r.time, strftime('%Y-%m-%d %H:%M:%S', r.time_s, 'unixepoch')) AS time, "
             "r.reading AS reading, r.temperature AS temperature, r.download AS download, r.reading_hz AS reading_hz, "
             "r.temperature_c AS temperature_c, CASE WHEN r.time_s >= -62135596800 THEN r.time_s END AS time_s, "
             "r.utc_s AS utc_s FROM records r JOIN slots s ON s.id = r.slot JOIN files f ON f.id = r.file "
             "JOIN readouts o ON o.id = s.readout");
    }
    sqlite3* handle() const { return m_db; }
    // Takes an archive of the current schema back to version 5, as a program of that version
    // left it: without what the archive shares with an office database.
    void backToVersion5()
    {
        for (const char* sql :
             {"DROP TABLE sharing", "DROP TABLE office_notes", "DROP TABLE download_spans",
              "DROP INDEX calibration_versions_by_uid", "DROP INDEX level_sets_by_uid",
              "DROP TRIGGER gauges_entered", "DROP TRIGGER gauges_edited", "DROP TRIGGER assignments_added",
              "DROP TRIGGER assignments_dropped", "DROP TRIGGER assignments_changed",
              "DROP TRIGGER calibration_versions_entered", "DROP TRIGGER level_sets_entered",
              "DROP TRIGGER masks_lifted", "DROP TRIGGER judged_kept", "DROP TRIGGER judged_changed",
              "DROP TRIGGER judged_dropped", "DROP TRIGGER downloads_held"})
            exec(sql);
        const std::pair<const char*, std::vector<const char*>> columns[] = {
            {"downloads", {"office_id", "from_office", "source", "pc", "pc_user", "held"}},
            {"gauges",
             {"revision", "edits", "sent_edits", "edited_at", "edited_by", "judged", "judged_sent", "judged_whole",
              "marks_sent_utc"}},
            {"slots", {"asg_revision", "asg_edits", "asg_sent_edits", "asg_edited_at", "asg_edited_by"}},
            {"calibration_versions", {"uid", "based_on", "sent"}},
            {"level_sets", {"uid", "based_on", "sent"}},
            {"masks", {"sent"}},
            {"acknowledgements", {"sent"}},
        };
        for (const auto& [table, names] : columns)
            for (const char* name : names)
                exec((std::string("ALTER TABLE ") + table + " DROP COLUMN " + name).c_str());
        exec("PRAGMA user_version = 5");
    }

private:
    sqlite3* m_db = nullptr;
};

inline QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

inline void writeAll(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(f.write(bytes), bytes.size());
}

// "2026-11-05 10:00:00" plus `seconds`, as the instrument writes a time.
inline QString instrumentText(qint64 seconds)
{
    return QDateTime::fromSecsSinceEpoch(seconds, QTimeZone::utc()).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

constexpr qint64 kStart = 1793872800; // 2026-11-05 10:00:00 UTC

// `count` records of one file, the codes taking turns, a minute apart.
inline std::vector<Record> fileRecords(const QString& partition, const QString& file, int codes, int count,
                                       qint64 start = kStart)
{
    std::vector<Record> out;
    for (int i = 0; i < count; ++i) {
        const QString code = partition + QStringLiteral("%1").arg(i % codes + 1, 3, 10, QLatin1Char('0'));
        out.push_back(Record{partition, file, code, instrumentText(start + 60 * (i / codes)),
                             QString::number(28000 + i % 997), QString::number(200 + i % 61)});
    }
    return out;
}

// An archive as a program of schema version 2 left it, made with SQL alone: `records` with
// their texts and numbers, one download, and calibrations by component code.
inline void makeVersion2(const QString& path, const std::vector<Record>& records,
                         const std::vector<QString>& calibratedCodes = {})
{
    RawDb raw(path);
    raw.exec("CREATE TABLE downloads(id INTEGER PRIMARY KEY, at TEXT, partition TEXT, received INTEGER NOT NULL, "
             "added INTEGER NOT NULL)");
    raw.exec("CREATE TABLE records(partition TEXT NOT NULL, file TEXT NOT NULL, code TEXT NOT NULL, time TEXT NOT NULL, "
             "reading TEXT, temperature TEXT, download INTEGER REFERENCES downloads(id), reading_hz REAL, "
             "temperature_c REAL, time_s INTEGER, PRIMARY KEY(partition, code, time, file)) WITHOUT ROWID");
    raw.exec("CREATE TABLE calibrations(code TEXT PRIMARY KEY NOT NULL, gauge TEXT NOT NULL, unit TEXT NOT NULL, "
             "kind TEXT NOT NULL CHECK(kind IN ('frequency', 'digits')), form TEXT NOT NULL CHECK(form IN ('linear', "
             "'polynomial')), g REAL NOT NULL, reversed INTEGER NOT NULL, a REAL NOT NULL, b REAL NOT NULL, "
             "c REAL NOT NULL, field_zero INTEGER NOT NULL, r0 REAL NOT NULL, t0 REAL NOT NULL, k REAL NOT NULL)");
    raw.exec("INSERT INTO downloads VALUES(1, '2026-11-06T09:00:00.000Z', NULL, 0, 0)");
    raw.exec("BEGIN");
    sqlite3_stmt* s = nullptr;
    sqlite3_prepare_v2(raw.handle(), "INSERT INTO records VALUES(?1, ?2, ?3, ?4, ?5, ?6, 1, ?7, ?8, ?9)", -1, &s, nullptr);
    for (const Record& r : records) {
        const QString texts[] = {r.partition, r.file, r.code, r.time, r.reading, r.temperature};
        for (int i = 0; i < 6; ++i) {
            const QByteArray utf8 = texts[i].toUtf8();
            sqlite3_bind_text(s, i + 1, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
        }
        const auto hz = readingHz(r.reading);
        const auto c = temperatureC(r.temperature);
        const auto t = instrumentTime(r.time);
        hz ? sqlite3_bind_double(s, 7, *hz) : sqlite3_bind_null(s, 7);
        c ? sqlite3_bind_double(s, 8, *c) : sqlite3_bind_null(s, 8);
        t ? sqlite3_bind_int64(s, 9, *t) : sqlite3_bind_null(s, 9);
        if (sqlite3_step(s) != SQLITE_DONE)
            ADD_FAILURE() << sqlite3_errmsg(raw.handle());
        sqlite3_reset(s);
    }
    sqlite3_finalize(s);
    raw.exec("UPDATE downloads SET received = (SELECT count(*) FROM records), added = (SELECT count(*) FROM records)");
    for (const QString& code : calibratedCodes) {
        const std::string sql = "INSERT INTO calibrations VALUES('" + code.toStdString() +
                                "', '裂缝计', 'mm', 'frequency', 'linear', 0.5, 0, 0, 0, 0, 0, 2000, 20, 0.1)";
        raw.exec(sql.c_str());
    }
    raw.exec("COMMIT");
    raw.exec("PRAGMA user_version = 2");
}

// The same as schema version 3 had it: with the components' summary and its triggers.
inline void makeVersion3(const QString& path, const std::vector<Record>& records,
                         const std::vector<QString>& calibratedCodes = {})
{
    makeVersion2(path, records, calibratedCodes);
    RawDb raw(path);
    raw.exec("CREATE TABLE components(partition TEXT NOT NULL, code TEXT NOT NULL, count INTEGER NOT NULL, "
             "first_s INTEGER, last_s INTEGER, PRIMARY KEY(partition, code)) WITHOUT ROWID");
    raw.exec("INSERT INTO components SELECT partition, code, count(*), min(time_s), max(time_s) FROM records "
             "GROUP BY partition, code");
    raw.exec("CREATE TRIGGER components_removed AFTER DELETE ON records BEGIN "
             "UPDATE components SET count = count - 1 WHERE partition = old.partition AND code = old.code; END");
    raw.exec("CREATE TRIGGER components_changed AFTER UPDATE OF partition, code, time_s ON records BEGIN "
             "SELECT 1; END");
    raw.exec("PRAGMA journal_mode = WAL");
    raw.exec("PRAGMA user_version = 3");
}

class ArchiveTest : public ::testing::Test {
protected:
    QString path() const { return dir.filePath(QStringLiteral("data/archive.sqlite")); }
    std::unique_ptr<Archive> openArchive()
    {
        std::optional<SetAside> aside;
        Error error;
        auto a = Archive::open(path(), &aside, &error);
        EXPECT_TRUE(a) << error.detail.toStdString();
        EXPECT_FALSE(aside.has_value()) << aside->movedTo.toStdString();
        return a;
    }
    qint64 total(const Archive& a)
    {
        qint64 n = 0;
        for (const SeriesSummary& s : a.summary())
            n += s.count;
        return n;
    }

    QTemporaryDir dir;
};

} // namespace archive::test
