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
    sqlite3* handle() const { return m_db; }

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
