// A gauge's and a slot's trends read from the archive, converted by calibration version.
#include "archive/History.h"

#include "tests/archive/ArchiveFixture.h"

#include <cmath>

using namespace archive;
using namespace archive::test;

namespace {

// On the frequency: 0.5 mm/Hz x (f - 2000) + 0.1 mm/C x (T - 20); re-zeroed at 2100 Hz later.
Calibration onHertz(double zero)
{
    Calibration c;
    c.gauge = "裂缝计";
    c.unit = "mm";
    c.kind = ReadingKind::Frequency;
    c.G = 0.5;
    c.R0 = zero;
    c.K = 0.1;
    c.T0 = 20;
    return c;
}

} // namespace

TEST_F(ArchiveTest, AGaugesTrendIsConvertedByTheVersionValidAtEachReading)
{
    auto a = openArchive();
    ASSERT_TRUE(a);
    Error error;
    const auto readout = a->addReadout("KTM-1", "Asia/Shanghai", &error);
    ASSERT_TRUE(readout) << error.detail.toStdString();
    // Beijing time on the readout's clock: eight hours ahead of UTC.
    const qint64 utc0 = kStart - 8 * 3600;
    const std::vector<Record> records = {
        {"A", "F1", "A001", instrumentText(kStart), "20100", "250"},        // 2010 Hz, 25 C
        {"A", "F1", "A001", instrumentText(kStart + 3600), "21000", "300"}, // 2100 Hz, 30 C
        {"A", "F1", "A001", instrumentText(kStart + 7200), "22000", ""},    // 2200 Hz, no temperature
        {"A", "F1", "A002", instrumentText(kStart), "19000", "200"},        // a slot no gauge holds
    };
    CopyOrigin origin{readout->id, ComponentNames{"A", {{"A001", "QRVA000001"}}}};
    ASSERT_TRUE(a->store(records, QDateTime::currentDateTimeUtc(), origin, &error)) << error.detail.toStdString();
    CalibrationVersion first;
    first.gauge = "QRVA000001";
    first.values = onHertz(2000);
    ASSERT_TRUE(a->addCalibrationVersion(first, &error)) << error.detail.toStdString();
    CalibrationVersion rezeroed = first;
    rezeroed.fromUtc = utc0 + 3600; // from the second reading on
    rezeroed.values = onHertz(2100);
    ASSERT_TRUE(a->addCalibrationVersion(rezeroed, &error)) << error.detail.toStdString();

    const History::Trend t = History::gaugeTrend(*a, "QRVA000001", true);
    EXPECT_TRUE(t.converted);
    EXPECT_EQ(t.gauge, "QRVA000001");
    EXPECT_EQ(t.valueLabel, "裂缝计 (mm)");
    ASSERT_EQ(t.value.size(), 3u);
    EXPECT_EQ(t.utc, (std::vector<qint64>{utc0, utc0 + 3600, utc0 + 7200}));
    EXPECT_EQ(t.time, (std::vector<qint64>{kStart, kStart + 3600, kStart + 7200}));
    ASSERT_EQ(t.versions.size(), 2u);
    EXPECT_EQ(t.version, (std::vector<int>{0, 1, 1}));
    EXPECT_NEAR(t.value[0], 0.5 * 10 + 0.1 * 5, 1e-9);
    EXPECT_NEAR(t.value[1], 0 + 0.1 * 10, 1e-9);
    EXPECT_NEAR(t.value[2], 0.5 * 100, 1e-9);
    EXPECT_EQ(t.uncorrected, 1);
    EXPECT_TRUE(std::isnan(t.temperature[2]));

    // As readings, and for a part of the time.
    const History::Trend raw = History::gaugeTrend(*a, "QRVA000001", false, utc0 + 1, utc0 + 7200);
    EXPECT_FALSE(raw.converted);
    EXPECT_EQ(raw.value, (std::vector<double>{2100, 2200}));
    EXPECT_EQ(raw.version, (std::vector<int>{-1, -1}));

    // The slot no gauge holds: its readings, without the gauge's versions, until it has one of
    // its own: 0.5 x (1900 - 1800) + 0.1 x 0 = 50 mm.
    History::Trend slot = History::unassignedTrend(*a, readout->id, "A002", true);
    EXPECT_EQ(slot.readout, "KTM-1");
    EXPECT_FALSE(slot.converted);
    EXPECT_EQ(slot.value, std::vector<double>{1900});
    EXPECT_EQ(slot.utc, std::vector<qint64>{utc0});
    CalibrationVersion ofSlot;
    ofSlot.readout = "KTM-1";
    ofSlot.code = "A002";
    ofSlot.values = onHertz(1800);
    ASSERT_TRUE(a->addCalibrationVersion(ofSlot, &error)) << error.detail.toStdString();
    slot = History::unassignedTrend(*a, readout->id, "A002", true);
    EXPECT_TRUE(slot.converted);
    ASSERT_EQ(slot.value.size(), 1u);
    EXPECT_NEAR(slot.value[0], 50, 1e-9);
    EXPECT_EQ(slot.version, std::vector<int>{0});
}

TEST_F(ArchiveTest, AGaugesTrendCarriesStatusesMasksAndLevels)
{
    auto a = openArchive();
    ASSERT_TRUE(a);
    Error error;
    const auto readout = a->addReadout("KTM-1", "UTC", &error);
    ASSERT_TRUE(readout) << error.detail.toStdString();
    CopyOrigin origin{readout->id, ComponentNames{"A", {{"A001", "QRVA000001"}}}};
    ASSERT_TRUE(a->store({{"A", "F1", "A001", instrumentText(kStart), "20100", "250"}}, QDateTime::currentDateTimeUtc(),
                         origin, &error))
        << error.detail.toStdString();
    // No calibration: the levels are in Hz. 报警 at 2150 Hz and above.
    LevelSet set;
    set.gauge = "QRVA000001";
    set.levels = {TriggerLevel{.side = LevelSide::High, .rank = 2, .threshold = 2150}};
    ASSERT_TRUE(a->addLevelSets({set}, &error)) << error.detail.toStdString();
    ASSERT_TRUE(a->store({{"A", "F1", "A001", instrumentText(kStart + 3600), "21000", "250"},
                          {"A", "F1", "A001", instrumentText(kStart + 7200), "22000", "250"}},
                         QDateTime::currentDateTimeUtc(), origin, &error))
        << error.detail.toStdString();

    const std::vector<GaugePoint> points = a->gaugeSeries("QRVA000001", kSinceEver, kUntilNow);
    ASSERT_EQ(points.size(), 3u);
    ASSERT_TRUE(a->mask({ReadingRef{points[1].slot, points[1].time, points[1].file}}, "换线", &error))
        << error.detail.toStdString();

    const History::Trend t = History::gaugeTrend(*a, "QRVA000001", true);
    EXPECT_TRUE(t.levelsApply); // no calibration: Hz, the levels' units
    EXPECT_EQ(t.status, (std::vector<std::uint8_t>{0, 0, 2}));
    EXPECT_EQ(t.masked, (std::vector<bool>{false, true, false}));
    EXPECT_EQ(t.flags.size(), 3u);
    ASSERT_EQ(t.levelSets.size(), 1u);
    EXPECT_EQ(t.levelSets[0].levels, set.levels);
    const LevelSet* now = History::levelSetAt(t.levelSets, kUntilNow);
    ASSERT_NE(now, nullptr);
    EXPECT_DOUBLE_EQ(History::baselineValue(t, *now), 2010);

    // With a calibration, readings in Hz are not in the levels' units.
    CalibrationVersion v;
    v.gauge = "QRVA000001";
    v.values = onHertz(2000);
    ASSERT_TRUE(a->addCalibrationVersion(v, &error)) << error.detail.toStdString();
    EXPECT_FALSE(History::gaugeTrend(*a, "QRVA000001", false).levelsApply);
    EXPECT_TRUE(History::gaugeTrend(*a, "QRVA000001", true).levelsApply);
}

TEST(LevelSetAt, TheLatestBeginningAtOrBeforeTheInstantAppliesAndAnEmptyOneEndsTheLevels)
{
    const TriggerLevel high{.threshold = 10};
    LevelSet first, second, ended, sameInstant;
    first.id = 1;
    first.fromUtc = 100;
    first.levels = {high};
    second.id = 2;
    second.fromUtc = 200;
    second.levels = {high, TriggerLevel{.rank = 2, .threshold = 20}};
    ended.id = 3;
    ended.fromUtc = 300; // no levels from 300 on
    sameInstant.id = 4;
    sameInstant.fromUtc = 200; // entered after `second`: applies from 200 instead
    sameInstant.levels = {TriggerLevel{.rank = 3, .threshold = 30}};
    const std::vector<LevelSet> sets{ended, second, first};
    EXPECT_EQ(History::levelSetAt(sets, 99), nullptr);
    EXPECT_EQ(History::levelSetAt(sets, 100)->id, 1);
    EXPECT_EQ(History::levelSetAt(sets, 299)->id, 2);
    EXPECT_EQ(History::levelSetAt(sets, 300), nullptr);
    EXPECT_EQ(History::levelSetAt({first, second, sameInstant}, 250)->id, 4);

    // The baseline: the first reading from baselineUtc on that is not masked and has a value.
    History::Trend t;
    t.utc = {50, 150, 160, 170, 180};
    t.time = t.utc;
    t.value = {1, 2, std::nan(""), 4, 5};
    t.masked = {false, true, false, false, false};
    LevelSet b = first;
    b.baselineUtc = 100;
    EXPECT_DOUBLE_EQ(History::baselineValue(t, b), 4);
    b.baselineUtc = kSinceEver;
    EXPECT_DOUBLE_EQ(History::baselineValue(t, b), 1);
    b.baselineUtc = 181;
    EXPECT_TRUE(std::isnan(History::baselineValue(t, b)));
}
