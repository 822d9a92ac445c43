// Storing copies: each record once, a store whole or not at all, and what the archive gives back.
#include "ArchiveFixture.h"

using namespace archive;
using namespace archive::test;

namespace {

const QDateTime kMonday = QDateTime(QDate(2026, 12, 7), QTime(8, 15, 30, 250), QTimeZone::utc());

std::vector<Record> concat(std::vector<Record> a, const std::vector<Record>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

using StoreTest = ArchiveTest;

} // namespace

TEST_F(StoreTest, TheSameDownloadTwiceAddsNothing)
{
    auto a = openArchive();
    const auto records = concat(fileRecords("A", "A20261105-01", 5, 100), fileRecords("A", "A20261106-01", 5, 50));
    const auto first = a->store(records, kMonday, testOrigin(*a), nullptr);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->received, 150);
    EXPECT_EQ(first->added, 150);
    const auto again = a->store(records, kMonday.addDays(1), testOrigin(*a), nullptr);
    ASSERT_TRUE(again);
    EXPECT_EQ(again->received, 150);
    EXPECT_EQ(again->added, 0);
    EXPECT_EQ(total(*a), 150);

    // Each store is logged, the empty one too.
    const auto log = a->downloads();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].at, kMonday);
    EXPECT_EQ(log[0].partition, "A");
    EXPECT_EQ(log[0].received, 150);
    EXPECT_EQ(log[0].added, 150);
    EXPECT_EQ(log[1].at, kMonday.addDays(1));
    EXPECT_EQ(log[1].added, 0);

    // Still so after reopening: the key is in the file, not in the session.
    a.reset();
    a = openArchive();
    const auto later = a->store(records, kMonday.addDays(2), testOrigin(*a), nullptr);
    ASSERT_TRUE(later);
    EXPECT_EQ(later->added, 0);
    EXPECT_EQ(total(*a), 150);
}

TEST_F(StoreTest, AnOverlappingDownloadAddsExactlyTheNewRecords)
{
    auto a = openArchive();
    const auto all = fileRecords("B", "B-01", 4, 200);
    const std::vector<Record> firstHalf(all.begin(), all.begin() + 120);
    const std::vector<Record> secondPart(all.begin() + 80, all.end()); // 40 already stored
    ASSERT_EQ(a->store(firstHalf, kMonday, testOrigin(*a), nullptr)->added, 120);
    const auto second = a->store(secondPart, kMonday, testOrigin(*a), nullptr);
    ASSERT_TRUE(second);
    EXPECT_EQ(second->received, 120);
    EXPECT_EQ(second->added, 80);
    EXPECT_EQ(total(*a), 200);

    // The key is partition, file, code and time: the same code and time elsewhere is another
    // record, and a changed reading under the same key is not.
    std::vector<Record> variants;
    Record r = all.front();
    r.file = "B-02";
    variants.push_back(r);
    r = all.front();
    r.partition = "C";
    variants.push_back(r);
    r = all.front();
    r.reading = "99999";
    variants.push_back(r);
    const auto third = a->store(variants, kMonday, testOrigin(*a), nullptr);
    ASSERT_TRUE(third);
    EXPECT_EQ(third->added, 2);
    EXPECT_EQ(a->downloads().back().partition, ""); // records of two partitions
    const auto points = a->series("B", "B001", kStart, kStart);
    ASSERT_EQ(points.size(), 2u); // files B-01 and B-02
    EXPECT_DOUBLE_EQ(points[0].readingHz, 2800.0);
    EXPECT_DOUBLE_EQ(points[1].readingHz, 2800.0);
}

TEST_F(StoreTest, AStoreThatFailsKeepsNothingOfIt)
{
    auto a = openArchive();
    ASSERT_TRUE(a->store(fileRecords("A", "F1", 3, 30), kMonday, testOrigin(*a), nullptr));
    // Behind the archive's back: a record of component A999 cannot be written.
    {
        RawDb raw(path());
        raw.exec("CREATE TRIGGER refuse BEFORE INSERT ON records WHEN NEW.slot IN (SELECT id FROM slots WHERE code = 'A999') "
                 "BEGIN SELECT RAISE(ABORT, 'refused by the test'); END");
    }
    auto batch = fileRecords("A", "F2", 3, 200);
    batch[151].code = "A999"; // after two full statements' worth of records
    Error error;
    EXPECT_FALSE(a->store(batch, kMonday, testOrigin(*a), &error));
    EXPECT_EQ(error.kind, ErrorKind::WriteFailed);
    EXPECT_TRUE(error.detail.contains("refused by the test")) << error.detail.toStdString();
    EXPECT_EQ(total(*a), 30); // none of the 151 before the refused one
    EXPECT_EQ(a->downloads().size(), 1u);

    // The archive goes on working, and the refused batch can be stored once it is acceptable.
    batch[151].code = "A001";
    const auto stored = a->store(batch, kMonday, testOrigin(*a), nullptr);
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->added, 199); // A001 at that time already came in earlier in the batch
    EXPECT_EQ(total(*a), 229);
}

TEST_F(StoreTest, PartitionsAndFilesChangingFromRecordToRecord)
{
    // Records of two partitions and three files interleaved, many to a statement, one file name
    // beyond ASCII: each record is stored under its own partition and file.
    std::vector<Record> records;
    const QStringList files = {"F1", "文件2", "F3"};
    for (int i = 0; i < 301; ++i) {
        const QString partition = i % 2 ? "C" : "B";
        records.push_back(Record{partition, files[i % 3], partition + "001", instrumentText(kStart + 60 * i),
                                 QString::number(28000 + i), "200"});
    }
    auto a = openArchive();
    const auto stored = a->store(records, kMonday, testOrigin(*a), nullptr);
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->added, 301);
    RawDb raw(path());
    raw.textView();
    EXPECT_EQ(raw.column("SELECT partition || ' ' || file || ' ' || count(*) FROM record_texts GROUP BY partition, file "
                         "ORDER BY partition, file"),
              QStringList({"B F1 51", "B F3 50", "B 文件2 50", "C F1 50", "C F3 50", "C 文件2 50"}));
    EXPECT_EQ(raw.number("SELECT count(*) FROM record_texts WHERE time_s - 1793872800 = 60 * (reading - 28000) AND "
                         "code = partition || '001' AND "
                         "file = CASE (reading - 28000) % 3 WHEN 0 THEN 'F1' WHEN 1 THEN '文件2' ELSE 'F3' END AND "
                         "partition = CASE (reading - 28000) % 2 WHEN 0 THEN 'B' ELSE 'C' END"),
              301);
}

TEST_F(StoreTest, FieldsThatAreNotNumbersAreKeptAsText)
{
    auto a = openArchive();
    const std::vector<Record> records = {
        {"A", "F", "A001", "2026-11-05 10:00:00", "28456", "235"},
        {"A", "F", "A001", "2026-11-05 10:01:00", "28457", ""},     // no temperature
        {"A", "F", "A001", "2026-11-05 10:02:00", "--", "236"},     // no reading: no point
        {"A", "F", "A001", "2026-11-05 25:00:00", "28458", "237"},  // no time: no point
        {"A", "F", "A001", "", "28459", "238"},                     // a short row
        {"A", "F", "测点1", "2026-11-05 10:00:00", "-052", "-012"}, // a name beyond ASCII
    };
    ASSERT_EQ(a->store(records, kMonday, testOrigin(*a), nullptr)->added, 6);
    const auto points = a->series("A", "A001", 0, kStart * 2);
    ASSERT_EQ(points.size(), 2u);
    EXPECT_EQ(points[0].time, kStart);
    EXPECT_DOUBLE_EQ(points[0].readingHz, 2845.6);
    EXPECT_TRUE(points[0].hasTemperature);
    EXPECT_DOUBLE_EQ(points[0].temperatureC, 23.5);
    EXPECT_EQ(points[1].time, kStart + 60);
    EXPECT_FALSE(points[1].hasTemperature);
    const auto named = a->series("A", "测点1", 0, kStart * 2);
    ASSERT_EQ(named.size(), 1u);
    EXPECT_DOUBLE_EQ(named[0].readingHz, -5.2);
    EXPECT_DOUBLE_EQ(named[0].temperatureC, -1.2);

    // Every text is stored as received.
    a.reset();
    RawDb raw(path());
    raw.textView();
    QStringList rows = raw.column("SELECT code || '|' || reading || '|' || temperature || '|' || time || '|' || "
                                  "coalesce(reading_hz, 'NULL') || '|' || coalesce(time_s, 'NULL') FROM record_texts");
    QStringList expected = {"A001|28456|235|2026-11-05 10:00:00|2845.6|1793872800",
                            "A001|28457||2026-11-05 10:01:00|2845.7|1793872860",
                            "A001|--|236|2026-11-05 10:02:00|NULL|1793872920",
                            "A001|28458|237|2026-11-05 25:00:00|2845.8|NULL",
                            "A001|28459|238||2845.9|NULL",
                            "测点1|-052|-012|2026-11-05 10:00:00|-5.2|1793872800"};
    rows.sort();
    expected.sort();
    EXPECT_EQ(rows, expected);
}

TEST_F(StoreTest, SummaryCountsEveryRecordAndSpansItsTimes)
{
    auto a = openArchive();
    std::vector<Record> records = concat(fileRecords("B", "B-1", 2, 10, kStart + 1000), fileRecords("A", "A-1", 3, 9));
    records.push_back({"A", "A-1", "A003", "not a time", "28000", "200"});
    ASSERT_TRUE(a->store(records, kMonday, testOrigin(*a), nullptr));
    ASSERT_TRUE(a->store({{"A", "A-1", "A004", "?", "1", "2"}}, kMonday, testOrigin(*a), nullptr));

    const auto s = a->summary();
    ASSERT_EQ(s.size(), 6u);
    auto is = [](const SeriesSummary& x, const char* partition, const char* code, qint64 count, qint64 first, qint64 last) {
        return x.partition == partition && x.code == code && x.count == count && x.firstTime == first && x.lastTime == last;
    };
    EXPECT_TRUE(is(s[0], "A", "A001", 3, kStart, kStart + 120));
    EXPECT_TRUE(is(s[1], "A", "A002", 3, kStart, kStart + 120));
    EXPECT_TRUE(is(s[2], "A", "A003", 4, kStart, kStart + 120)); // the record without a time counts
    EXPECT_TRUE(is(s[3], "A", "A004", 1, 0, 0));                 // no time at all
    EXPECT_TRUE(is(s[4], "B", "B001", 5, kStart + 1000, kStart + 1240));
    EXPECT_TRUE(is(s[5], "B", "B002", 5, kStart + 1000, kStart + 1240));
}

TEST_F(StoreTest, SeriesHoldsTheRangeInclusiveOldestFirst)
{
    auto a = openArchive();
    auto records = fileRecords("A", "F", 2, 20); // A001 at kStart + 0, 60, ... 540
    std::reverse(records.begin(), records.end());
    records.push_back({"A", "G", "A001", instrumentText(kStart - 60), "30000", "100"});
    ASSERT_TRUE(a->store(records, kMonday, testOrigin(*a), nullptr));

    const auto all = a->series("A", "A001", std::numeric_limits<qint64>::min(), std::numeric_limits<qint64>::max());
    ASSERT_EQ(all.size(), 11u);
    for (size_t i = 0; i < all.size(); ++i)
        EXPECT_EQ(all[i].time, kStart - 60 + 60 * qint64(i));
    EXPECT_DOUBLE_EQ(all[0].readingHz, 3000.0);

    const auto middle = a->series("A", "A001", kStart + 60, kStart + 180);
    ASSERT_EQ(middle.size(), 3u);
    EXPECT_EQ(middle.front().time, kStart + 60);
    EXPECT_EQ(middle.back().time, kStart + 180);
    EXPECT_EQ(a->series("A", "A001", kStart + 61, kStart + 119).size(), 0u);
    EXPECT_EQ(a->series("A", "A001", kStart + 180, kStart + 60).size(), 0u);
    EXPECT_EQ(a->series("A", "A003", 0, kStart * 2).size(), 0u);
    EXPECT_EQ(a->series("B", "A001", 0, kStart * 2).size(), 0u);
}

TEST_F(StoreTest, AReadThatFailsIsReportedNotEmpty)
{
    auto a = openArchive();
    ASSERT_TRUE(a->store(fileRecords("A", "F", 2, 4), kMonday, testOrigin(*a), nullptr));
    {
        RawDb raw(path());
        raw.exec("DROP TABLE records");
        raw.exec("DROP TABLE slots");
    }
    Error error;
    EXPECT_TRUE(a->summary(&error).empty());
    EXPECT_EQ(error.kind, ErrorKind::ReadFailed);
    EXPECT_FALSE(error.detail.isEmpty());
    error = {};
    EXPECT_TRUE(a->series("A", "A001", 0, kStart * 2, &error).empty());
    EXPECT_EQ(error.kind, ErrorKind::ReadFailed);
    error = {};
    EXPECT_FALSE(a->store(fileRecords("A", "F", 2, 4), kMonday, testOrigin(*a), &error));
    EXPECT_EQ(error.kind, ErrorKind::WriteFailed);
}
