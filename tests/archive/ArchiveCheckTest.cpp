// The thorough check of an archive that the test damages itself, byte by byte, the way a
// failing disk or a stray write would: damage SQLite's quick check at opening does not see.
#include "archive/ArchiveCheck.h"

#include "ArchiveFixture.h"
#include "tests/support/Scribble.h"
#include "archive/History.h"
#include "archive/Recorder.h"

#include <QDir>
#include <QRegularExpression>
#include <QFileInfo>

#include <QtEndian>
#include <cstring>

using namespace archive;
using namespace archive::test;

namespace {

const QDateTime kDay = QDateTime(QDate(2026, 12, 8), QTime(14, 30), QTimeZone::utc());

class CheckTest : public ArchiveTest {
protected:
    // Two readings of A001 a second apart, one of A002, and one record of partition B in a
    // file of its own; every text that is damaged below occurs once in the file.
    void makeArchive()
    {
        auto a = openArchive();
        ASSERT_TRUE(a);
        const std::vector<Record> records = {
            {"A", "F1", "A001", "2026-12-07 10:31:05", "28456", "235"},
            {"A", "F1", "A001", "2026-12-07 10:31:06", "28457", "236"},
            {"A", "F1", "A002", "2026-12-07 10:31:05", "31234", "-52"},
            {"B", "B2026XYZ", "B001", "2026-11-30 08:00:00", "17000", "120"},
        };
        ASSERT_TRUE(a->store(records, kDay, testOrigin(*a), nullptr));
    } // closed: everything is in the database file itself

    void scribble(const QByteArray& from, const QByteArray& to) { testing_damage::scribble(path(), from, to); }

    qint64 countOf(const Archive& a, const QString& code)
    {
        for (const SeriesSummary& s : a.summary())
            if (s.code == code)
                return s.count;
        return -1;
    }
};

} // namespace

TEST_F(CheckTest, DamageTheOpeningMissesIsFoundAndRepairedFromTheTexts)
{
    makeArchive();
    // A time turned into its neighbour's (the record is now stored twice, its UTC instant left
    // as it was), a file name no longer UTF-8 (in the table of files and in its index), and a
    // reading's number far off while its text stayed right.
    QByteArray was(4, '\0'), now(4, '\0');
    qToBigEndian(quint32(1796639466), was.data()); // 2026-12-07 10:31:06 as the record's key holds it
    qToBigEndian(quint32(1796639465), now.data());
    scribble(was + "28457", now + "28457");
    {
        QByteArray bytes = readAll(path());
        ASSERT_EQ(bytes.count("B2026XYZ"), 2);
        bytes.replace("B2026XYZ", "B2026\xFFYZ");
        writeAll(path(), bytes);
    }
    testing_damage::scribbleNumber(path(), 3123.4); // -5.8e22

    // The archive opens as if nothing had happened: the damage would be kept and grow.
    {
        auto a = openArchive();
        ASSERT_TRUE(a);
        EXPECT_EQ(countOf(*a, "A001"), 2);
        const std::vector<Point> a002 = a->series("A", "A002", 0, History::kAllTime);
        ASSERT_EQ(a002.size(), 1u);
        EXPECT_LT(a002[0].readingHz, -1e21);
    }

    // Looking only: everything found, nothing changed.
    const QByteArray damaged = readAll(path());
    Error error;
    std::optional<ArchiveCheck::Result> looked = ArchiveCheck::run(path(), false, &error);
    ASSERT_TRUE(looked) << error.detail.toStdString();
    EXPECT_EQ(looked->found.records, 4);
    EXPECT_EQ(looked->found.duplicates, 1);
    EXPECT_EQ(looked->found.wrongNumbers, 2) << "the reading of A002, and the copy of A001 whose text says 28457";
    EXPECT_EQ(looked->found.invalidTexts, 1);
    EXPECT_FALSE(looked->repairTried);
    EXPECT_FALSE(looked->sound());
    EXPECT_EQ(readAll(path()), damaged);
    const QString report = ArchiveCheck::text(*looked);
    EXPECT_TRUE(report.contains("A 分区 A001 2026-12-07 10:31:05（文件 F1）：存了 2 次")) << report.toStdString();
    EXPECT_TRUE(report.contains("A 分区 A002 2026-12-07 10:31:05（文件 F1）：读数存为 -5.76165604398244e+22 Hz，"
                                "按文本“31234”应为 3123.4 Hz"))
        << report.toStdString();
    EXPECT_TRUE(report.contains("A 分区 A001 2026-12-07 10:31:05（文件 F1）：时间的数值与文本不符")) << report.toStdString();
    EXPECT_TRUE(report.contains("1 条记录含有无效的文字")) << report.toStdString();

    // Repairing: the numbers from the texts, the record once; the file name cannot be known.
    std::optional<ArchiveCheck::Result> repaired = ArchiveCheck::run(path(), true, &error);
    ASSERT_TRUE(repaired) << error.detail.toStdString();
    EXPECT_TRUE(repaired->repairTried);
    EXPECT_EQ(repaired->repairFailure, "");
    ASSERT_TRUE(repaired->afterRepair);
    EXPECT_EQ(repaired->afterRepair->integrity, QStringList());
    EXPECT_EQ(repaired->afterRepair->duplicates, 0);
    EXPECT_EQ(repaired->afterRepair->wrongNumbers, 0);
    EXPECT_EQ(repaired->afterRepair->invalidTexts, 1);
    EXPECT_EQ(repaired->afterRepair->records, 3);
    EXPECT_FALSE(repaired->sound());
    EXPECT_TRUE(ArchiveCheck::text(*repaired).contains("已按记录的文本修复能修复的部分")) << ArchiveCheck::text(*repaired).toStdString();

    auto a = openArchive();
    ASSERT_TRUE(a);
    EXPECT_EQ(countOf(*a, "A001"), 1);
    const std::vector<Point> a001 = a->series("A", "A001", 0, History::kAllTime);
    ASSERT_EQ(a001.size(), 1u);
    EXPECT_DOUBLE_EQ(a001[0].readingHz, 2845.6) << "the first copy is kept, its number from its text";
    const std::vector<Point> a002 = a->series("A", "A002", 0, History::kAllTime);
    ASSERT_EQ(a002.size(), 1u);
    EXPECT_DOUBLE_EQ(a002[0].readingHz, 3123.4);
    EXPECT_DOUBLE_EQ(a002[0].temperatureC, -5.2);
    // What waits for the office is what the archive holds now, the copy kept counted once.
    EXPECT_EQ(a->readingsWaiting(), 3);
    // A new copy of the same records finds them stored.
    const auto again = a->store({{"A", "F1", "A002", "2026-12-07 10:31:05", "31234", "-52"}}, kDay, testOrigin(*a), nullptr);
    ASSERT_TRUE(again);
    EXPECT_EQ(again->added, 0);
}

TEST_F(CheckTest, ASoundArchiveIsReportedSoundAndAMissingOneIsNotCreated)
{
    makeArchive();
    const QByteArray before = readAll(path());
    Error error;
    for (bool repair : {false, true}) {
        std::optional<ArchiveCheck::Result> r = ArchiveCheck::run(path(), repair, &error);
        ASSERT_TRUE(r) << error.detail.toStdString();
        EXPECT_TRUE(r->found.clean());
        EXPECT_EQ(r->found.records, 4);
        EXPECT_FALSE(r->repairTried);
        EXPECT_TRUE(r->sound());
        EXPECT_EQ(ArchiveCheck::text(*r), "档案检查完毕：4 条记录，未发现问题。");
    }
    EXPECT_EQ(readAll(path()), before);
    EXPECT_EQ(QDir(QFileInfo(path()).absolutePath()).entryList(QDir::Files | QDir::Hidden), QStringList({"archive.sqlite"}));

    const QString missing = dir.filePath("none/archive.sqlite");
    EXPECT_FALSE(ArchiveCheck::run(missing, true, &error));
    EXPECT_EQ(error.kind, ErrorKind::CannotOpen);
    EXPECT_FALSE(QFileInfo::exists(missing));

    // A file that is no archive is refused, not changed.
    writeAll(dir.filePath("notes.sqlite"), "plain text, not a database at all, and long enough to be read as one");
    EXPECT_FALSE(ArchiveCheck::run(dir.filePath("notes.sqlite"), true, &error));
    EXPECT_EQ(error.kind, ErrorKind::Damaged);
    EXPECT_EQ(readAll(dir.filePath("notes.sqlite")), "plain text, not a database at all, and long enough to be read as one");
}

TEST_F(CheckTest, AnArchiveSetAsideIsCheckedAndWhatItHoldsIsSaid)
{
    {
        auto a = openArchive();
        ASSERT_TRUE(a);
        ASSERT_TRUE(a->store(fileRecords("A", "F", 5, 20000), kDay, testOrigin(*a), nullptr));
    }
    QByteArray bytes = readAll(path());
    bytes.truncate(bytes.size() / 2);
    writeAll(path(), bytes);

    Recorder recorder(path());
    ASSERT_TRUE(recorder.archive());
    const QString notice = recorder.takeNotice();
    EXPECT_TRUE(notice.contains("已原样移至")) << notice.toStdString();
    EXPECT_TRUE(notice.contains("档案检查完毕")) << notice.toStdString();
    EXPECT_TRUE(notice.contains("数据库完整性")) << notice.toStdString();
    // The file set aside is only looked at (its companions, made when it was opened, moved with it).
    const QStringList aside = QDir(QFileInfo(path()).absolutePath())
                                  .entryList({"archive.sqlite.damaged-*"})
                                  .filter(QRegularExpression("-\\d{6}$"));
    ASSERT_EQ(aside.size(), 1) << aside.join(" ").toStdString();
    EXPECT_EQ(readAll(QFileInfo(path()).absolutePath() + "/" + aside[0]), bytes);
}
