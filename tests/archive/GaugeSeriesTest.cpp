// Readouts, slotList and gauges: which records a gauge's series holds as component lists change,
// gauges move and the operator assigns by hand; calibration versions by date; the clock guard;
// a readout's zone changing; and archives of schema 2 and 3 brought forward.
#include "ArchiveFixture.h"
#include "archive/Recorder.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

using namespace archive;
using namespace archive::test;

namespace {

const QDateTime kDay = QDateTime(QDate(2026, 12, 8), QTime(14, 30), QTimeZone::utc());

ComponentNames names(const QString& partition, std::vector<std::pair<QString, QString>> entries)
{
    return ComponentNames{partition, std::move(entries)};
}

CopyOrigin withNames(Archive& a, const QString& readout, ComponentNames list)
{
    CopyOrigin origin = testOrigin(a, readout);
    origin.names = std::move(list);
    return origin;
}

std::vector<qint64> timesOf(const std::vector<GaugePoint>& points)
{
    std::vector<qint64> out;
    for (const GaugePoint& p : points)
        out.push_back(p.time);
    return out;
}

std::vector<qint64> minutes(qint64 from, int count)
{
    std::vector<qint64> out;
    for (int i = 0; i < count; ++i)
        out.push_back(kStart + 60 * (from + i));
    return out;
}

// `count` records of one code, a minute apart from minute `from`.
std::vector<Record> codeRecords(const QString& code, int from, int count, const QString& file = "F")
{
    std::vector<Record> out;
    for (int i = from; i < from + count; ++i)
        out.push_back(Record{code.left(1), file, code, instrumentText(kStart + 60 * i), QString::number(28000 + i), "200"});
    return out;
}

std::vector<Record> concat(std::vector<Record> a, const std::vector<Record>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

using GaugeSeriesTest = ArchiveTest;

} // namespace

TEST_F(GaugeSeriesTest, TwoReadoutsWithTheSameRecordsKeepTwoSeries)
{
    auto a = openArchive();
    const auto records = fileRecords("A", "F", 2, 20);
    const auto one = a->store(records, kDay, withNames(*a, "R1", names("A", {{"A001", "G1"}, {"A002", "G2"}})), nullptr);
    const auto two = a->store(records, kDay, withNames(*a, "R2", names("A", {{"A001", "H1"}, {"A002", "H2"}})), nullptr);
    ASSERT_TRUE(one && two);
    EXPECT_EQ(one->added, 20);
    EXPECT_EQ(two->added, 20); // the same key on another readout is another record
    EXPECT_EQ(two->assignmentsChanged, QStringList({"A001", "A002"}));

    const auto slotList = a->slotSummaries();
    ASSERT_EQ(slotList.size(), 4u);
    EXPECT_EQ(slotList[0].readout, "R1");
    EXPECT_EQ(slotList[2].readout, "R2");
    for (const SlotSummary& s : slotList) {
        EXPECT_EQ(s.count, 10);
        EXPECT_EQ(s.unassigned, 0);
    }
    const auto g1 = a->gaugeSeries("G1", kSinceEver, kUntilNow);
    const auto h1 = a->gaugeSeries("H1", kSinceEver, kUntilNow);
    EXPECT_EQ(timesOf(g1), minutes(0, 10));
    EXPECT_EQ(timesOf(h1), minutes(0, 10));
    EXPECT_NE(g1[0].readout, h1[0].readout);
    EXPECT_EQ(a->summary().size(), 4u);
    EXPECT_EQ(a->series("R1", "A", "A001", kSinceEver, kUntilNow).size(), 10u);
    EXPECT_EQ(a->series("A", "A001", kSinceEver, kUntilNow).size(), 20u); // both readouts' slotList
}

TEST_F(GaugeSeriesTest, APartitionReusedStartsNewGaugesAndAMovedGaugeKeepsOneSeries)
{
    auto a = openArchive();
    // First use of partition A: gauges OLD1 in A001 and MOVER in A002.
    ASSERT_TRUE(a->store(concat(codeRecords("A001", 0, 10), codeRecords("A002", 0, 10)), kDay,
                         withNames(*a, "R1", names("A", {{"A001", "OLD1"}, {"A002", "MOVER"}})), nullptr));
    // The partition cleared and reused: A001 now holds NEW1, MOVER sits in A003, A002 is empty.
    const auto reused = a->store(concat(codeRecords("A001", 10, 10), codeRecords("A003", 10, 5)), kDay,
                                 withNames(*a, "R1", names("A", {{"A001", "NEW1"}, {"A003", "MOVER"}})), nullptr);
    ASSERT_TRUE(reused);
    EXPECT_EQ(reused->assignmentsChanged, QStringList({"A001", "A003", "A002"}));

    EXPECT_EQ(timesOf(a->gaugeSeries("OLD1", kSinceEver, kUntilNow)), minutes(0, 10)); // whole, and no more
    EXPECT_EQ(timesOf(a->gaugeSeries("NEW1", kSinceEver, kUntilNow)), minutes(10, 10));
    const auto mover = a->gaugeSeries("MOVER", kSinceEver, kUntilNow);
    EXPECT_EQ(timesOf(mover), minutes(0, 15));
    EXPECT_EQ(mover.front().code, "A002");
    EXPECT_EQ(mover.back().code, "A003");

    // The same list again changes nothing.
    const auto again = a->observeComponents(testOrigin(*a, "R1").readout,
                                            names("A", {{"A001", "NEW1"}, {"A003", "MOVER"}}), nullptr);
    ASSERT_TRUE(again);
    EXPECT_TRUE(again->isEmpty());

    const auto gauges = a->gauges();
    ASSERT_EQ(gauges.size(), 3u);
    const auto it = std::find_if(gauges.begin(), gauges.end(), [](const GaugeSummary& g) { return g.info.name == "MOVER"; });
    ASSERT_NE(it, gauges.end());
    EXPECT_EQ(it->count, 15);
    EXPECT_EQ(it->slotNames, QStringList({"R1 A002", "R1 A003"}));
    EXPECT_EQ(it->firstUtc, kStart); // the readout's zone is UTC here
    EXPECT_EQ(it->lastUtc, kStart + 60 * 14);
}

TEST_F(GaugeSeriesTest, AHandAssignmentTakesTheRecordsFromItsTime)
{
    auto a = openArchive();
    ASSERT_TRUE(a->store(codeRecords("A001", 0, 10), kDay, testOrigin(*a, "R1"), nullptr));
    const qint64 r1 = testOrigin(*a, "R1").readout;
    ASSERT_EQ(a->slotSummaries().at(0).unassigned, 10);

    ASSERT_TRUE(a->assign(r1, "A001", "HG", kStart + 60 * 6, nullptr));
    EXPECT_EQ(timesOf(a->gaugeSeries("HG", kSinceEver, kUntilNow)), minutes(6, 4));
    EXPECT_EQ(timesOf(a->unassignedSeries(r1, "A001", kSinceEver, kUntilNow)), minutes(0, 6));
    EXPECT_EQ(a->slotSummaries().at(0).unassigned, 6);

    // An earlier one ends where the later begins.
    ASSERT_TRUE(a->assign(r1, "A001", "EARLY", kStart + 60 * 2, nullptr));
    EXPECT_EQ(timesOf(a->gaugeSeries("EARLY", kSinceEver, kUntilNow)), minutes(2, 4));
    EXPECT_EQ(timesOf(a->gaugeSeries("HG", kSinceEver, kUntilNow)), minutes(6, 4));
    EXPECT_EQ(a->slotSummaries().at(0).unassigned, 2);
    const auto all = a->assignments();
    ASSERT_EQ(all.size(), 2u);
    EXPECT_TRUE(all[0].byHand);
    EXPECT_EQ(all[0].to, all[1].from);

    Error error;
    EXPECT_FALSE(a->assign(r1, "A009", "HG", kStart, &error)); // no such slot
    EXPECT_FALSE(a->assign(r1, "A001", "", kStart, &error));
}

TEST_F(GaugeSeriesTest, CalibrationVersionsConvertTheReadingsOfTheirTime)
{
    auto a = openArchive();
    ASSERT_TRUE(a->store(codeRecords("A001", 0, 10), kDay, withNames(*a, "R1", names("A", {{"A001", "G"}})), nullptr));
    Calibration first{.code = "G", .unit = "mm", .kind = ReadingKind::Frequency, .G = 0.5, .R0 = 2000};
    Calibration second = first;
    second.G = 0.25;
    CalibrationVersion v{.gauge = "G", .values = first};
    ASSERT_TRUE(a->addCalibrationVersion(v, nullptr));
    v.values = second;
    v.fromUtc = kStart + 60 * 5; // changed from minute 5 on
    const auto added = a->addCalibrationVersion(v, nullptr);
    ASSERT_TRUE(added);
    EXPECT_LE(std::abs(added->enteredAt.secsTo(QDateTime::currentDateTimeUtc())), 60);

    const auto versions = a->calibrationVersions("G");
    ASSERT_EQ(versions.size(), 2u);
    const auto points = a->gaugeSeries("G", kSinceEver, kUntilNow);
    ASSERT_EQ(points.size(), 10u);
    // Minute 4: 2800.4 Hz, 0.5 * (2800.4 - 2000); minute 5: 2800.5 Hz, 0.25 * (2800.5 - 2000).
    const auto valueAt = [&](const GaugePoint& p) {
        const CalibrationVersion* applies = versionAt(versions, p.utc);
        return applies ? convert(applies->values, p.readingHz, std::nullopt)->value : -1;
    };
    EXPECT_DOUBLE_EQ(valueAt(points[4]), 400.2);
    EXPECT_DOUBLE_EQ(valueAt(points[5]), 200.125);

    // The table as it stands: the latest; a change adds a version and keeps the history.
    EXPECT_EQ(a->calibrations(), std::vector<Calibration>{second});
    Calibration third = second;
    third.K = 0.1;
    ASSERT_TRUE(a->setCalibrations({third}, nullptr));
    EXPECT_EQ(a->calibration("G"), third);
    EXPECT_EQ(a->calibrationVersions("G").size(), 3u);
    EXPECT_DOUBLE_EQ(valueAt(points[4]), 400.2);

    // Coefficients fitted for f^2 * 10^-6 are refused.
    Calibration doubtful{.code = "G", .kind = ReadingKind::Digits, .form = Form::Polynomial, .A = 0.0266454, .B = 9.49171, .C = -23.337};
    Error error;
    EXPECT_FALSE(a->addCalibrationVersion(CalibrationVersion{.gauge = "G", .values = doubtful}, &error));
}

TEST_F(GaugeSeriesTest, TheClockGuardFindsReadingsAheadOrBeforeInstallationAndKeepsThem)
{
    auto a = openArchive();
    GaugeInfo g{.name = "G", .installed = QDate(2026, 11, 5)};
    ASSERT_TRUE(a->updateRegister({g}, nullptr));
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    std::vector<Record> records = {
        {"A", "F", "A001", instrumentText(kStart - 86400), "28000", "200"}, // the day before installation
        {"A", "F", "A001", instrumentText(kStart), "28001", "200"},
    };
    const auto early = a->store(records, kDay, withNames(*a, "R1", names("A", {{"A001", "G"}})), nullptr);
    ASSERT_TRUE(early);
    EXPECT_EQ(early->added, 2);
    EXPECT_FALSE(early->clock.ahead);
    EXPECT_EQ(early->clock.beforeInstallation, QStringList{"G"});

    const auto ahead = a->store({{"A", "F", "A001", instrumentText(now + 3 * 3600), "28002", "200"}}, kDay,
                                testOrigin(*a, "R1"), nullptr);
    ASSERT_TRUE(ahead);
    EXPECT_TRUE(ahead->clock.ahead);
    EXPECT_TRUE(ahead->clock.beforeInstallation.isEmpty()); // only what this copy added counts
    EXPECT_EQ(a->gaugeSeries("G", kSinceEver, kUntilNow).size(), 3u);
    EXPECT_TRUE(Recorder::clockText(ahead->clock).contains("仪器时钟可能不准"));
    EXPECT_TRUE(Recorder::clockText(early->clock).contains("G"));

    // An hour ahead is not yet doubted; a copy without a readout is refused.
    const auto within = a->store({{"A", "F", "A001", instrumentText(now + 1800), "28003", "200"}}, kDay,
                                 testOrigin(*a, "R1"), nullptr);
    ASSERT_TRUE(within);
    EXPECT_FALSE(within->clock.any());
    Error error;
    EXPECT_FALSE(a->store(records, kDay, CopyOrigin{}, &error));
    EXPECT_EQ(error.kind, ErrorKind::WriteFailed);
    EXPECT_FALSE(a->store(records, kDay, CopyOrigin{999}, &error));
}

TEST_F(GaugeSeriesTest, AZoneChangeRecomputesTheInstantsAfterItOnly)
{
    auto a = openArchive();
    const auto r = a->addReadout("R1", "Asia/Shanghai", nullptr);
    ASSERT_TRUE(r);
    ASSERT_TRUE(a->store(codeRecords("A001", 0, 10), kDay, CopyOrigin{r->id, std::nullopt}, nullptr));
    auto utcs = [&] {
        std::vector<qint64> out;
        for (const GaugePoint& p : a->unassignedSeries(r->id, "A001", kSinceEver, kUntilNow))
            out.push_back(p.utc - p.time);
        return out;
    };
    EXPECT_EQ(utcs(), std::vector<qint64>(10, -8 * 3600));
    // From the instant of minute 5 read in Shanghai, the clock is in UTC.
    ASSERT_TRUE(a->setReadoutZone(r->id, "UTC", kStart + 60 * 5 - 8 * 3600, nullptr));
    std::vector<qint64> expected(5, -8 * 3600);
    expected.resize(10, 0);
    EXPECT_EQ(utcs(), expected);
    const auto zones = a->zoneChanges(r->id);
    ASSERT_EQ(zones.size(), 2u);
    EXPECT_EQ(zones[1].timeZone, "UTC");
    Error error;
    EXPECT_FALSE(a->setReadoutZone(r->id, "Not/AZone", 0, &error));
}

TEST_F(GaugeSeriesTest, ArchivesOfSchema3And2AreBroughtForwardWhole)
{
    for (int version : {2, 3}) {
        SCOPED_TRACE(version);
        QTemporaryDir folder;
        const QString file = folder.filePath("archive.sqlite");
        std::vector<Record> records = fileRecords("A", "F", 3, 30);
        records.push_back({"A", "F", "A001", "not a time", "1", "2"});
        version == 2 ? makeVersion2(file, records, {"A001"}) : makeVersion3(file, records, {"A001"});
        Error error;
        {
            // Read where it may not be changed: brought forward in memory, the file untouched.
            const QByteArray before = readAll(file);
            auto reader = Archive::open(file, nullptr, &error, OpenOptions{true, true, {}});
            ASSERT_TRUE(reader) << error.detail.toStdString();
            EXPECT_EQ(total(*reader), 31);
            EXPECT_EQ(reader->series(unnamedReadoutName(), "A", "A002", kSinceEver, kUntilNow).size(), 10u);
            reader.reset();
            EXPECT_EQ(readAll(file), before);
        }
        auto a = Archive::open(file, nullptr, &error);
        ASSERT_TRUE(a) << error.detail.toStdString();
        const auto slotList = a->slotSummaries();
        ASSERT_EQ(slotList.size(), 3u);
        EXPECT_EQ(slotList[0].readout, unnamedReadoutName());
        EXPECT_EQ(slotList[0].count, 11);
        EXPECT_EQ(slotList[0].unassigned, 11); // no gauge can be known
        EXPECT_TRUE(a->gaugeRegister().empty());
        const auto versions = a->calibrationVersions("A001");
        ASSERT_EQ(versions.size(), 1u);
        EXPECT_EQ(versions[0].fromUtc, kSinceEver);
        EXPECT_EQ(versions[0].readout, unnamedReadoutName());
        EXPECT_DOUBLE_EQ(versions[0].values.G, 0.5);
        // The records keep their key: offered again under that readout they add nothing.
        EXPECT_EQ(a->store(records, kDay, testOrigin(*a), nullptr)->added, 0);
        RawDb raw(file);
        EXPECT_EQ(raw.number("PRAGMA user_version"), Archive::kSchemaVersion);
    }
}

TEST_F(GaugeSeriesTest, AMigrationKilledHalfwayLeavesTheFileAsItWas)
{
    QTemporaryDir folder;
    const QString file = folder.filePath("archive.sqlite");
    const auto records = fileRecords("A", "F", 20, 200000);
    makeVersion3(file, records);
    // How long the migration takes, on a copy, to aim the kill at its middle.
    qint64 took = 0;
    {
        const QString copy = folder.filePath("copy.sqlite");
        ASSERT_TRUE(QFile::copy(file, copy));
        QElapsedTimer clock;
        clock.start();
        ASSERT_TRUE(Archive::open(copy, nullptr, nullptr));
        took = clock.elapsed();
    }
    int gate[2];
    ASSERT_EQ(::pipe(gate), 0);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(gate[0]);
        [[maybe_unused]] auto w = ::write(gate[1], "x", 1);
        Archive::open(file, nullptr, nullptr);
        ::_exit(0);
    }
    ::close(gate[1]);
    char c;
    ASSERT_EQ(::read(gate[0], &c, 1), 1);
    ::usleep(useconds_t(std::max<qint64>(took / 2, 1) * 1000));
    ::kill(pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);
    RawDb raw(file);
    const qint64 version = raw.number("PRAGMA user_version");
    if (WIFSIGNALED(status)) {
        // Killed: the file is as it was, every record in it (the log it left is not committed).
        EXPECT_EQ(version, 3);
        EXPECT_EQ(raw.number("SELECT count(*) FROM records"), qint64(records.size()));
        EXPECT_EQ(raw.number("SELECT count(*) FROM components"), 20);
    }
    // Whatever happened, the next open brings it forward whole.
    auto a = Archive::open(file, nullptr, nullptr);
    ASSERT_TRUE(a);
    EXPECT_EQ(total(*a), qint64(records.size()));
}
