// The Recorder is fed the records of a copy as the grid's reading layout gives them.
#include "ArchiveFixture.h"

#include "archive/Recorder.h"
#include "grids/GridLayouts.h"
#include "grids/PreviewGrid.h"

using namespace archive;
using namespace archive::test;

namespace {

// Two files of a copy: the second with a record without a temperature and one without a time.
constexpr char kCopy[] = "A20261105-01\r\n"
                         "A001 28456 235 2026-11-05 10:00:00\r\n"
                         "A002 -052 -012 2026-11-05 10:01:05\r\n"
                         "A20261106-01\r\n"
                         "A001 28460 240 2026-11-06 10:00:00\r\n"
                         "A004 28462 2026-11-06 10:02:00\r\n"
                         "A005 28463 242 2026-11-06 10:03:00\r\n";

class RecorderTest : public ArchiveTest {};

} // namespace

TEST_F(RecorderTest, ACopyIsStoredWithTheNumbersAndTimesItsLayoutReads)
{
    PreviewGrid grid;
    grids::FillGrid(grid, kCopy);
    Recorder recorder(path());
    recorder.storeCopy(ReadingLayout::Records(grid), "A", CopyOrigin{Recorder::kUnnamedReadout});
    ASSERT_TRUE(recorder.stored());
    Archive* a = recorder.archive();
    ASSERT_TRUE(a);
    EXPECT_EQ(total(*a), 5);

    const std::vector<Point> first = a->series("A", "A001", kStart - 86400, kStart + 2 * 86400);
    ASSERT_EQ(first.size(), 2u);
    EXPECT_EQ(first[0].time, *ReadingLayout::timeOf(QByteArrayView("2026-11-05 10:00:00")));
    EXPECT_DOUBLE_EQ(first[0].readingHz, 2845.6);
    EXPECT_DOUBLE_EQ(first[0].temperatureC, 23.5);
    const std::vector<Point> negative = a->series("A", "A002", kStart - 86400, kStart + 2 * 86400);
    ASSERT_EQ(negative.size(), 1u);
    EXPECT_DOUBLE_EQ(negative[0].readingHz, -5.2);
    EXPECT_DOUBLE_EQ(negative[0].temperatureC, -1.2);
    // The time of a record without a temperature is its time, and it has no temperature.
    const std::vector<Point> noTemperature = a->series("A", "A004", kStart - 86400, kStart + 2 * 86400);
    ASSERT_EQ(noTemperature.size(), 1u);
    EXPECT_EQ(noTemperature[0].time, *ReadingLayout::timeOf(QByteArrayView("2026-11-06 10:02:00")));
    EXPECT_FALSE(noTemperature[0].hasTemperature);
    EXPECT_DOUBLE_EQ(noTemperature[0].readingHz, 2846.2);

    // The same copy again adds nothing.
    recorder.storeCopy(ReadingLayout::Records(grid), "A", CopyOrigin{Recorder::kUnnamedReadout});
    ASSERT_TRUE(recorder.stored());
    EXPECT_EQ(total(*a), 5);
}

TEST_F(RecorderTest, AStoreThatFailsAfterReadingSomeRecordsKeepsTheWholeCopy)
{
    // The store has read the first records when the archive refuses one: the spool must still
    // get every record of the copy, read from the grid afresh.
    openArchive().reset();
    {
        RawDb raw(path());
        raw.exec("CREATE TRIGGER refuse BEFORE INSERT ON records WHEN NEW.slot IN (SELECT id FROM slots WHERE code = 'A005') "
                 "BEGIN SELECT RAISE(ABORT, 'no room'); END");
    }
    PreviewGrid grid;
    grids::FillGrid(grid, kCopy);
    {
        Recorder recorder(path());
        recorder.storeCopy(ReadingLayout::Records(grid), "A", CopyOrigin{Recorder::kUnnamedReadout});
        EXPECT_FALSE(recorder.stored());
        ASSERT_TRUE(recorder.spooled());
    }
    {
        RawDb raw(path());
        EXPECT_EQ(raw.number("SELECT count(*) FROM records"), 0); // all or nothing
        raw.exec("DROP TRIGGER refuse");
    }
    Recorder recorder(path());
    ASSERT_TRUE(recorder.archive());
    EXPECT_EQ(recorder.waitingCopies(), 0);
    RawDb raw(path());
    raw.textView();
    EXPECT_EQ(raw.column("SELECT file || ' ' || code FROM record_texts ORDER BY file, code"),
              QStringList({"A20261105-01 A001", "A20261105-01 A002", "A20261106-01 A001", "A20261106-01 A004",
                           "A20261106-01 A005"}));
}

TEST_F(RecorderTest, TheStatusOfAStoreSaysWhatJudgingItsReadingsFound)
{
    PreviewGrid grid;
    grids::FillGrid(grid, kCopy);
    Recorder recorder(path());
    // A002 reads -5.2 Hz, outside every band: the one reading flagged.
    CopyOrigin origin{Recorder::kUnnamedReadout, ComponentNames{"A", {{"A001", "G1"}, {"A002", "G2"}}}};
    const QString text = recorder.storeCopy(ReadingLayout::Records(grid), "A", origin);
    ASSERT_TRUE(recorder.stored());
    EXPECT_EQ(recorder.verdict().flagged, 1);
    EXPECT_EQ(recorder.verdict().flaggedGauges, QStringList{"G2"});
    const QString judged = verdictText(recorder.verdict());
    ASSERT_FALSE(judged.isEmpty());
    EXPECT_TRUE(text.endsWith(judged)) << text.toStdString();
    // Nothing new the second time: nothing judged, nothing said of it.
    const QString again = recorder.storeCopy(ReadingLayout::Records(grid), "A", origin);
    EXPECT_EQ(recorder.verdict().flagged, 0);
    EXPECT_FALSE(again.contains(judged));
}
