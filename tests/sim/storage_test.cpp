#include "ktmsim/protocol.h"
#include "ktmsim/seed.h"
#include "ktmsim/storage.h"
#include "sim_fixtures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <map>
#include <regex>
#include <set>

namespace fs = std::filesystem;
using namespace ktmsim;

namespace {

Instrument reopen(const fs::path& dir)
{
    Instrument loaded;
    Storage::open(dir, loaded);
    return loaded;
}

TEST(Storage, SeededFolderLoadsBackIdentically)
{
    simtest::TempDir tmp;
    const auto dir = tmp.path() / "state";
    Instrument inst;
    Storage::openOrCreate(dir, defaultSeed(), inst);
    EXPECT_EQ(inst, defaultSeed());
    EXPECT_EQ(reopen(dir), defaultSeed());
    // An empty existing folder (as mkdtemp makes) is seeded too.
    Instrument again;
    Storage::openOrCreate(tmp.path() / "empty", simtest::smallInstrument(), again);
    fs::create_directory(tmp.path() / "empty2");
    Storage::openOrCreate(tmp.path() / "empty2", simtest::smallInstrument(), again);
    EXPECT_EQ(reopen(tmp.path() / "empty2"), simtest::smallInstrument());
}

TEST(Storage, EveryChangingCommandSurvivesARestart)
{
    simtest::TempDir tmp;
    Instrument inst;
    Storage store = Storage::openOrCreate(tmp.path(), simtest::smallInstrument(), inst);
    Protocol proto(inst, &store);
    for (const char* cmd : {"NEWFILE B T01", "NEWFILE B ../../escape", "DELDATA A", "NEWFILE A F9", "WR A003 Q3",
                            "WR J200 LAST", "DEL C", "NEWFILE C again"})
        ASSERT_EQ(proto.execute(cmd), "OK\r\n") << cmd;

    Instrument loaded = reopen(tmp.path());
    EXPECT_EQ(loaded, inst);
    Protocol after(loaded, nullptr);
    EXPECT_EQ(after.execute("DIR B"), "T01\r\n../../escape\r\n");
    EXPECT_EQ(after.execute("COPY A"), "F1\r\nF2\r\nF9\r\n");
    EXPECT_EQ(after.execute("DIR C"), "again\r\n");
    EXPECT_EQ(after.execute("DIRPART A"), "A001=QRVA000001\r\nA003=Q3\r\nA012=X\r\n");
    EXPECT_EQ(after.execute("DIRPART J"), "J200=LAST\r\n");
    // A file name is never used as a path: nothing appeared outside the state folder.
    EXPECT_FALSE(fs::exists(tmp.path().parent_path() / "escape"));
    EXPECT_FALSE(fs::exists(tmp.path() / "escape"));
    // Old data files of replaced partitions are gone, no temporaries are left.
    for (const auto& e : fs::recursive_directory_iterator(tmp.path()))
        EXPECT_EQ(e.path().filename().string().find(".tmp-"), std::string::npos) << e.path();
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(tmp.path() / "A")) names.insert(e.path().filename().string());
    EXPECT_EQ(names.size(), 2u + 3u) << "index, components and three data files";
}

TEST(Storage, FailedWriteLeavesModelUnchangedAndRepliesErr)
{
    simtest::TempDir tmp;
    Instrument inst;
    Storage store = Storage::openOrCreate(tmp.path(), simtest::smallInstrument(), inst);
    Protocol proto(inst, &store);
    fs::remove_all(tmp.path() / "B");
    std::ofstream(tmp.path() / "B") << "in the way\n"; // partition B can no longer be written
    EXPECT_EQ(proto.execute("NEWFILE B T01"), "ERR\r\n");
    EXPECT_EQ(proto.execute("WR B001 N"), "ERR\r\n");
    EXPECT_EQ(proto.execute("DIR B"), "\r\n");
    EXPECT_EQ(proto.execute("DIRPART B"), "\r\n");
    EXPECT_EQ(proto.execute("NEWFILE A T01"), "OK\r\n"); // the rest still works
}

TEST(Storage, InterruptedWriteLeftoversAreIgnoredAndCleaned)
{
    simtest::TempDir tmp;
    Instrument inst;
    Storage::openOrCreate(tmp.path(), simtest::smallInstrument(), inst);
    // What a crash between writing a data file and renaming the index leaves behind.
    std::ofstream(tmp.path() / "A" / "999999.txt") << "A001 1 2 2026-01-01 00:00:00\n";
    std::ofstream(tmp.path() / "A" / "index.txt.tmp-1-1") << "000001 half";
    EXPECT_EQ(reopen(tmp.path()), simtest::smallInstrument());
    EXPECT_FALSE(fs::exists(tmp.path() / "A" / "999999.txt"));
    EXPECT_FALSE(fs::exists(tmp.path() / "A" / "index.txt.tmp-1-1"));
}

TEST(Storage, RefusesAFolderThatIsNotItsOwn)
{
    simtest::TempDir tmp;
    std::ofstream(tmp.path() / "thesis.txt") << "precious\n";
    Instrument inst;
    EXPECT_THROW(Storage::openOrCreate(tmp.path(), defaultSeed(), inst), StorageError);
    EXPECT_THROW(Storage::open(tmp.path(), inst), StorageError);
    EXPECT_EQ(fs::directory_iterator(tmp.path())->path().filename(), "thesis.txt");
}

TEST(Storage, OneSimulatorPerFolder)
{
    simtest::TempDir tmp;
    {
        FolderLock first(tmp.path() / "state");
        EXPECT_THROW(FolderLock(tmp.path() / "state"), StorageError);
        EXPECT_THROW(FolderLock(tmp.path() / "state/"), StorageError); // same folder, other spelling
        FolderLock other(tmp.path() / "state-2");
    }
    FolderLock again(tmp.path() / "state"); // released when the first one ended
    Instrument inst;
    Storage::openOrCreate(tmp.path() / "state", defaultSeed(), inst); // the lock file is not inside
    EXPECT_EQ(reopen(tmp.path() / "state"), defaultSeed());
}

TEST(Seed, DefaultIsDeterministicAndRealistic)
{
    const Instrument seed = defaultSeed();
    EXPECT_EQ(seed, defaultSeed());
    const std::regex record(R"(([A-J])(\d{3}) (\d{5}) (-?\d{1,3}) (2026|2027)-(\d\d)-(\d\d) (\d\d):(\d\d):(\d\d))");
    for (int p = 0; p < kPartitionCount; ++p) {
        const char letter = partitionLetter(p);
        const Partition& part = seed.at(p);
        EXPECT_GE(part.files.size(), 3u);
        EXPECT_GE(part.components.size(), 3u);
        std::set<std::string> names;
        for (const auto& f : part.files) {
            EXPECT_TRUE(isValidFileName(f.name)) << f.name;
            names.insert(f.name);
            EXPECT_FALSE(f.records.empty());
            for (const auto& r : f.records) {
                std::smatch m;
                ASSERT_TRUE(std::regex_match(r, m, record)) << r;
                EXPECT_EQ(m[1].str()[0], letter);
                EXPECT_TRUE(part.components.count(std::stoi(m[2].str()))) << r; // a known component
                EXPECT_LE(std::stoi(m[6].str()), 12);
                EXPECT_LE(std::stoi(m[8].str()), 23);
            }
        }
        EXPECT_EQ(names.size(), part.files.size()) << "file names are unique";
        for (const auto& [n, name] : part.components) EXPECT_TRUE(isValidComponentName(name)) << name;
    }
}

TEST(Seed, LargePartitionHoldsExactlyTheAskedRecords)
{
    for (std::size_t n : {0u, 1u, 9999u, 10000u, 25001u}) {
        const auto files = largePartitionFiles('A', n, 10000);
        std::size_t total = 0;
        std::set<std::string> names;
        for (const auto& f : files) {
            total += f.records.size();
            EXPECT_LE(f.records.size(), 10000u);
            names.insert(f.name);
        }
        EXPECT_EQ(total, n);
        EXPECT_GE(files.size(), 1u);
        EXPECT_EQ(names.size(), files.size());
    }
    // Dates roll over months and years correctly.
    EXPECT_EQ(formatRecord("A001", 28456, 235, 1796639465), "A001 28456 235 2026-12-07 10:31:05");
    EXPECT_EQ(formatRecord("B002", 1, -5, 1830297599), "B002 1 -5 2027-12-31 23:59:59");
    EXPECT_EQ(formatRecord("B002", 1, -5, 1709164800), "B002 1 -5 2024-02-29 00:00:00");
}

TEST(Seed, NewReadingsFollowTheNewestRecordAndKeepEveryOldOne)
{
    Instrument inst = defaultSeed();
    Partition& a = inst.partition('A');
    const Partition before = a;
    const std::string lastBefore = a.files.back().records.back();
    takeReadings(a, 'A', 10);
    ASSERT_EQ(a.files.size(), before.files.size());
    for (std::size_t i = 0; i + 1 < a.files.size(); ++i)
        EXPECT_EQ(a.files[i], before.files[i]);
    const auto& records = a.files.back().records;
    ASSERT_EQ(records.size(), before.files.back().records.size() + 10);
    EXPECT_TRUE(std::equal(before.files.back().records.begin(), before.files.back().records.end(), records.begin()));
    // each new record is later than the one before it (times as text sort as times), the
    // partition's components in turn
    std::string previous = lastBefore.substr(lastBefore.size() - 19);
    for (std::size_t i = records.size() - 10; i < records.size(); ++i) {
        const std::string time = records[i].substr(records[i].size() - 19);
        EXPECT_GT(time, previous) << records[i];
        previous = time;
        EXPECT_EQ(records[i].substr(0, 4), formatComponentCode('A', int((i - (records.size() - 10)) % a.components.size()) + 1));
    }
    // a partition without files gets one
    Partition empty;
    empty.components[3] = "X";
    takeReadings(empty, 'C', 2);
    ASSERT_EQ(empty.files.size(), 1u);
    EXPECT_EQ(empty.files[0].records.size(), 2u);
    EXPECT_EQ(empty.files[0].records[0].substr(0, 4), "C003");
}

TEST(Seed, DriftAddsItsAmountToEveryReadingOfItsComponentOnly)
{
    // The random steps do not depend on the drift, so the same call with and without it differs
    // by exactly the drift accumulated so far: 300, 600, 900 on A001's 1st, 2nd, 3rd reading.
    Instrument plain = defaultSeed();
    Instrument drifting = plain;
    const std::size_t components = plain.partition('A').components.size();
    const std::size_t count = 3 * components;
    takeReadings(plain.partition('A'), 'A', count);
    takeReadings(drifting.partition('A'), 'A', count, {{"A001", 300}, {"A002", -25}, {"B001", 7000}});
    const auto& p = plain.partition('A').files.back().records;
    const auto& d = drifting.partition('A').files.back().records;
    ASSERT_EQ(p.size(), d.size());
    auto reading = [](const std::string& r) { return std::stoi(r.substr(5)); };
    int a001 = 0, a002 = 0;
    for (std::size_t i = p.size() - count; i < p.size(); ++i) {
        const std::string code = p[i].substr(0, 4);
        ASSERT_EQ(d[i].substr(0, 4), code);
        EXPECT_EQ(d[i].substr(d[i].size() - 19), p[i].substr(p[i].size() - 19)); // same times
        const int shift = reading(d[i]) - reading(p[i]);
        if (code == "A001") EXPECT_EQ(shift, 300 * ++a001) << d[i];
        else if (code == "A002") EXPECT_EQ(shift, -25 * ++a002) << d[i];
        else EXPECT_EQ(d[i], p[i]);
    }
    EXPECT_EQ(a001, 3);
    EXPECT_EQ(a002, 3);
    // A second call goes on from the drifted readings: A001 climbs by 300 ± 40 per reading.
    const int lastA001 = reading(*std::find_if(d.rbegin(), d.rend(), [](const std::string& r) { return r.starts_with("A001"); }));
    takeReadings(drifting.partition('A'), 'A', 1, {{"A001", 300}});
    const int next = reading(drifting.partition('A').files.back().records.back());
    EXPECT_GE(next, lastA001 + 260);
    EXPECT_LE(next, lastA001 + 340);
}

TEST(Seed, EveryComponentReadsPlausiblyAcrossItsFiles)
{
    // What the archive's quality checks look for: a gauge whose frequency jumps between
    // downloads, or whose temperature jumps 5 C or more between two readings. Per component:
    // every reading within 6 Hz of its base (a spread of at most 120 tenths) and every temperature
    // within 19.0 to 23.4 C (so two differ by at most 4.4 C), also for a large partition.
    std::vector<std::vector<DataFile>> partitions;
    const Instrument inst = defaultSeed();
    for (int p = 0; p < kPartitionCount; ++p)
        partitions.push_back(inst.at(p).files);
    partitions.push_back(largePartitionFiles('A', 25001, 10000));
    for (const auto& files : partitions) {
        std::map<std::string, std::pair<int, int>> readings, temperatures; // code -> min, max
        for (const DataFile& f : files)
            for (const std::string& r : f.records) {
                char code[8] = {};
                int reading = 0, temperature = 0;
                ASSERT_EQ(std::sscanf(r.c_str(), "%7s %d %d", code, &reading, &temperature), 3) << r;
                auto widen = [](auto& range, const std::string& key, int v) {
                    auto [it, added] = range.try_emplace(key, v, v);
                    it->second.first = std::min(it->second.first, v);
                    it->second.second = std::max(it->second.second, v);
                };
                widen(readings, code, reading);
                widen(temperatures, code, temperature);
            }
        ASSERT_FALSE(readings.empty());
        for (const auto& [code, range] : readings)
            EXPECT_LE(range.second - range.first, 120) << code;
        for (const auto& [code, range] : temperatures) {
            EXPECT_GE(range.first, 190) << code;
            EXPECT_LE(range.second, 234) << code;
        }
    }
}

} // namespace
