// The bands a series' trigger levels make, the records where its status changed, and the
// thinning of markers to one a pixel column.
#include "plot/TrendLevels.h"

#include <gtest/gtest.h>
#include <limits>

using plot::Band;

namespace {
constexpr double kInf = std::numeric_limits<double>::infinity();
const double kNaN = std::nan("");
} // namespace

TEST(LevelBands, EachSideRisesThroughItsRanksFromTheNearestThresholdOutward)
{
    // 预警 ≥ 10, 报警 ≥ 15, 控制 ≥ 20; 预警 ≤ -5, 控制 ≤ -12.
    const std::vector<TrendLevel> levels{{true, 2, false, 15}, {true, 1, false, 10}, {true, 3, false, 20}, {false, 3, false, -12}, {false, 1, false, -5}};
    EXPECT_EQ(plot::levelBands(levels, kNaN),
              (std::vector<Band>{{10, 15, 1}, {15, 20, 2}, {20, kInf, 3}, {-12, -5, 1}, {-kInf, -12, 3}}));
}

TEST(LevelBands, AHigherRankAtALowerThresholdHoldsBeyondTheMilderOnes)
{
    // 报警 at 10 but 预警 only at 15: from 10 on the status is 报警 whatever lies beyond.
    EXPECT_EQ(plot::levelBands({{true, 1, false, 15}, {true, 2, false, 10}}, kNaN), (std::vector<Band>{{10, kInf, 2}}));
    // Two thresholds at one value: the higher rank from there.
    EXPECT_EQ(plot::levelBands({{true, 1, false, 10}, {true, 3, false, 10}}, kNaN), (std::vector<Band>{{10, kInf, 3}}));
}

TEST(LevelBands, ChangeLevelsStandAtTheBaselineAndNeedOne)
{
    const std::vector<TrendLevel> levels{{true, 1, true, 2.5}, {false, 2, true, -4}, {true, 3, false, 100}};
    EXPECT_EQ(plot::levelBands(levels, 10), (std::vector<Band>{{12.5, 100, 1}, {100, kInf, 3}, {-kInf, 6, 2}}));
    // Without a baseline only the Value level is drawn.
    EXPECT_EQ(plot::levelBands(levels, kNaN), (std::vector<Band>{{100, kInf, 3}}));
    EXPECT_TRUE(plot::levelBands({}, 0).empty());
}

TEST(StatusTransitions, AreWhereAJudgedRecordsStatusDiffersFromTheJudgedOneBefore)
{
    const std::vector<std::uint8_t> status{1, 1, 0, 2, 2, 0, 0, 3};
    const std::vector<double> value{1, 2, 3, kNaN, 5, 6, 7, 8};
    // Record 2 is masked (its status 0 is no return to normal); record 3 has no value.
    const std::vector<bool> masked{false, false, true, false, false, false, false, false};
    EXPECT_EQ(plot::transitions(status, value, masked), (std::vector<qsizetype>{0, 4, 5, 7}));
    EXPECT_TRUE(plot::transitions({}, {}, {}).empty());
    const std::vector<std::uint8_t> normal{0, 0};
    EXPECT_TRUE(plot::transitions(normal, std::vector<double>{1, 2}, {}).empty());
}

TEST(ThinnedMarkers, KeepTheFirstPickedRecordOfEachPixelColumn)
{
    // 10 columns over [0, 100]: a column each 10 s.
    const std::vector<qint64> x{0, 3, 5, 12, 15, 31, 99, 100};
    const auto odd = [](qsizetype i) { return i != 0; };
    EXPECT_EQ(plot::thinned(x, 0, qsizetype(x.size()), 0, 100, 10, odd), (std::vector<qsizetype>{1, 3, 5, 6, 7}));
    // 100 lies at the edge: a column of its own beyond 99's.
    EXPECT_EQ(plot::thinned(x, 6, 8, 0, 100, 10, [](qsizetype) { return true; }), (std::vector<qsizetype>{6, 7}));
    EXPECT_TRUE(plot::thinned(x, 0, 8, 0, 0, 10, odd).empty());
}
