// The judge of trigger levels and reading quality, on series worked out by hand.
#include "archive/Judgement.h"

#include <QTimeZone>
#include <gtest/gtest.h>
#include <random>

using namespace archive;

namespace {

constexpr qint64 kT0 = 1767225600; // 2026-01-01 00:00:00 UTC
constexpr qint64 kDaySecs = 86400;

JudgeInput at(double day, double value)
{
    JudgeInput r;
    r.utc = kT0 + qint64(day * kDaySecs);
    r.hz = 2000;
    r.temperatureC = 20;
    r.value = value;
    return r;
}

std::vector<JudgeInput> series(const std::vector<double>& values)
{
    std::vector<JudgeInput> out;
    for (std::size_t i = 0; i < values.size(); ++i)
        out.push_back(at(double(i), values[i]));
    return out;
}

TriggerLevel level(LevelSide side, int rank, LevelQuantity q, double threshold, int confirm = 1, double deadBand = 0,
                   double windowDays = 1)
{
    TriggerLevel l;
    l.side = side;
    l.rank = rank;
    l.quantity = q;
    l.threshold = threshold;
    l.confirm = confirm;
    l.deadBand = deadBand;
    l.windowDays = windowDays;
    return l;
}

LevelSet setOf(qint64 id, std::vector<TriggerLevel> levels, qint64 fromUtc = kSinceEver, qint64 baselineUtc = kSinceEver)
{
    LevelSet s;
    s.id = id;
    s.gauge = "P1";
    s.fromUtc = fromUtc;
    s.baselineUtc = baselineUtc;
    s.levels = std::move(levels);
    return s;
}

// Rules that flag nothing in the series above, for the tests of levels.
QualityRules quiet()
{
    QualityRules r;
    r.stepFactor = 0;
    return r;
}

std::vector<int> statuses(const JudgeOutput& out)
{
    std::vector<int> s;
    for (const Judgement& j : out.judgements)
        s.push_back(j.status);
    return s;
}

std::vector<int> statusesOf(const std::vector<JudgeInput>& readings, const std::vector<LevelSet>& sets)
{
    JudgeState state;
    return statuses(judgeSeries(readings, 0, sets, quiet(), QDate(), &state));
}

using Ints = std::vector<int>;

} // namespace

// ------------------------------------------------------------------------------------------------
// Quantities

TEST(JudgementQuantity, ValueComparesTheValueItself)
{
    const std::vector<LevelSet> sets{setOf(1, {level(LevelSide::High, 1, LevelQuantity::Value, 10),
                                               level(LevelSide::High, 2, LevelQuantity::Value, 20)})};
    const auto readings = series({5, 10, 19.9, 20, 25, 9.99, 10});
    JudgeState state;
    const JudgeOutput out = judgeSeries(readings, 0, sets, quiet(), QDate(), &state);
    EXPECT_EQ(statuses(out), (Ints{0, 1, 1, 2, 2, 0, 1}));
    // The level that set each status, and the set that applied.
    EXPECT_EQ(out.judgements[1].level, 0);
    EXPECT_EQ(out.judgements[3].level, 1);
    EXPECT_EQ(out.judgements[5].level, -1);
    EXPECT_EQ(out.judgements[3].levelSet, 1);
    EXPECT_TRUE(out.judgements[0].judged);

    // A transition at each change, with the reading's index.
    ASSERT_EQ(out.transitions.size(), 4u);
    EXPECT_EQ(out.transitions[0].index, 1u);
    EXPECT_EQ(out.transitions[0].from, 0);
    EXPECT_EQ(out.transitions[0].to, 1);
    EXPECT_EQ(out.transitions[1].index, 3u);
    EXPECT_EQ(out.transitions[1].to, 2);
    EXPECT_EQ(out.transitions[1].level, 1);
    EXPECT_EQ(out.transitions[2].index, 5u);
    EXPECT_EQ(out.transitions[2].from, 2);
    EXPECT_EQ(out.transitions[2].to, 0);
    EXPECT_EQ(out.transitions[2].level, -1);
    EXPECT_EQ(out.transitions[3].index, 6u);
    EXPECT_EQ(state.status, 1);
}

TEST(JudgementQuantity, ChangeIsFromTheFirstJudgedReadingAtTheBaselineDate)
{
    // Baseline day 2 (reading of 100); change >= 5 reaches the level.
    const qint64 baseline = kT0 + 2 * kDaySecs;
    const std::vector<LevelSet> sets{setOf(1, {level(LevelSide::High, 1, LevelQuantity::Change, 5)}, kSinceEver, baseline)};
    auto readings = series({300, 300, 100, 104.9, 105, 99});
    EXPECT_EQ(statusesOf(readings, sets), (Ints{0, 0, 0, 0, 1, 0}));

    // The baseline's own reading masked: the next judged one is the baseline.
    readings[2].masked = true;
    EXPECT_EQ(statusesOf(readings, sets), (Ints{0, 0, 0, 0, 0, 0}));
    readings[5].value = 110;
    EXPECT_EQ(statusesOf(readings, sets), (Ints{0, 0, 0, 0, 0, 1})); // 110 - 104.9

    // Since ever: the gauge's first judged reading (a reading without a value is not it).
    const std::vector<LevelSet> ever{setOf(1, {level(LevelSide::High, 1, LevelQuantity::Change, 5)})};
    auto noValue = series({NAN, 10, 14, 15, 16});
    EXPECT_EQ(statusesOf(noValue, ever), (Ints{0, 0, 0, 1, 1}));
    // A set applying from later on still counts from the first reading of all.
    const std::vector<LevelSet> later{setOf(1, {level(LevelSide::High, 1, LevelQuantity::Change, 5)}, kT0 + 3 * kDaySecs)};
    EXPECT_EQ(statusesOf(noValue, later), (Ints{0, 0, 0, 1, 1}));
}

TEST(JudgementQuantity, RateIsPerDayFromTheLatestReadingAtLeastTheWindowBefore)
{
    // A 2-day window over irregular readings: days 0, 1, 2.5, 3, 5.
    const std::vector<LevelSet> sets{setOf(1, {level(LevelSide::High, 1, LevelQuantity::Rate, 2, 1, 0, 2)})};
    std::vector<JudgeInput> readings{at(0, 0), at(1, 3), at(2.5, 5), at(3, 6), at(5, 8)};
    // Day 0 and 1: nothing 2 days before. Day 2.5: from day 0, 5 / 2.5 = 2 -> reached.
    // Day 3: from day 1 (the latest at or before day 1), 3 / 2 = 1.5 -> cleared.
    // Day 5: from day 3, 2 / 2 = 1.
    EXPECT_EQ(statusesOf(readings, sets), (Ints{0, 0, 1, 0, 0}));
    readings[4].value = 10; // 4 / 2 = 2
    EXPECT_EQ(statusesOf(readings, sets), (Ints{0, 0, 1, 0, 1}));

    // The same reading j serves as long as no later one is old enough: day 2.6 goes back to day
    // 0 again (the latest at or before day 1.6), 0 / 2.6 = 0 clears.
    const std::vector<LevelSet> day{setOf(1, {level(LevelSide::High, 1, LevelQuantity::Rate, 2, 1, 0, 1)})};
    std::vector<JudgeInput> gap{at(0, 0), at(2.5, 10), at(2.6, 0)};
    EXPECT_EQ(statusesOf(gap, day), (Ints{0, 1, 0}));
    // Nothing a whole window before: no rate, however steep.
    std::vector<JudgeInput> early{at(0.5, 0), at(0.9, 10)};
    EXPECT_EQ(statusesOf(early, day), (Ints{0, 0}));
}

// ------------------------------------------------------------------------------------------------
// Confirmation, dead band, sides

TEST(JudgementLevels, ConfirmationNeedsNConsecutiveReadingsBeyond)
{
    const std::vector<LevelSet> sets{setOf(1, {level(LevelSide::High, 2, LevelQuantity::Value, 10, 3)})};
    // Two beyond then back: not reached; three: reached at the third.
    EXPECT_EQ(statusesOf(series({11, 12, 9, 11, 11, 9, 10, 10, 10, 11}), sets), (Ints{0, 0, 0, 0, 0, 0, 0, 0, 2, 2}));
}

TEST(JudgementLevels, DeadBandKeepsTheLevelUntilBelowIt)
{
    const std::vector<LevelSet> sets{setOf(1, {level(LevelSide::High, 1, LevelQuantity::Value, 10, 1, 2)})};
    // Reached at 10; 9 and 8 are inside the band (>= 8): kept; 7.9 clears; 9 does not reach again.
    EXPECT_EQ(statusesOf(series({10, 9, 8, 7.9, 9, 10}), sets), (Ints{1, 1, 1, 0, 0, 1}));
}

TEST(JudgementLevels, LowSideIsReachedAtOrBelow)
{
    const std::vector<LevelSet> sets{setOf(1, {level(LevelSide::Low, 3, LevelQuantity::Value, -5, 2, 1)})};
    // -5, -6: reached at the second; -4.5 inside the band (<= -4); -3.9 clears.
    EXPECT_EQ(statusesOf(series({0, -5, -6, -4.5, -4, -3.9, -10}), sets), (Ints{0, 0, 3, 3, 3, 0, 0}));
}

TEST(JudgementLevels, HighestRankWinsAndTiesGoToTheFirstLevel)
{
    // Rank 2 above 30 (clearing only below -10), rank 2 at or below 0, rank 1 from 10.
    const std::vector<LevelSet> sets{setOf(1, {level(LevelSide::High, 2, LevelQuantity::Value, 30, 1, 40),
                                               level(LevelSide::Low, 2, LevelQuantity::Value, 0),
                                               level(LevelSide::High, 1, LevelQuantity::Value, 10)})};
    JudgeState state;
    const JudgeOutput out = judgeSeries(series({15, 35, -5, -20}), 0, sets, quiet(), QDate(), &state);
    EXPECT_EQ(statuses(out), (Ints{1, 2, 2, 2}));
    EXPECT_EQ(out.judgements[0].level, 2);
    EXPECT_EQ(out.judgements[1].level, 0);
    EXPECT_EQ(out.judgements[2].level, 0); // both rank 2 levels reached: the first
    EXPECT_EQ(out.judgements[3].level, 1);
    EXPECT_EQ(out.transitions.size(), 2u); // 0 -> 1 -> 2; a change of level alone is none
}

// ------------------------------------------------------------------------------------------------
// The state's text

TEST(JudgementState, TextGivesTheStateBackExactly)
{
    JudgeState s;
    s.levelSet = 42;
    s.active = {true, false, true};
    s.beyond = {3, 0, 17};
    s.status = 2;
    s.baseline = 0.1 + 0.2; // not a short decimal
    s.baselineUtc = kSinceEver;
    const std::optional<JudgeState> back = JudgeState::fromText(s.toText());
    ASSERT_TRUE(back);
    EXPECT_EQ(*back, s);
    EXPECT_EQ(*back->baseline, 0.1 + 0.2);

    JudgeState fresh;
    EXPECT_EQ(JudgeState::fromText(fresh.toText()), fresh);
    s.baseline = -1.2345678901234567e-300;
    s.baselineUtc = kT0;
    EXPECT_EQ(JudgeState::fromText(s.toText()), s);

    for (const char* bad : {"", "1", "2;42;2;0;-;1;3", "1;42;2;0;-;10;3", "1;42;4;0;-;1;3", "1;x;0;0;-;;",
                            "1;1;0;0;nan;;", "1;1;0;0;inf;;", "1;1;0;0;-;2;1", "1;1;0;0;-;1;-1", "1;1;0;0;-;1;1;"})
        EXPECT_FALSE(JudgeState::fromText(QString::fromLatin1(bad))) << bad;
}

// ------------------------------------------------------------------------------------------------
// Sets, rules and what is wrong with them

TEST(JudgementSets, ProblemsAreNamed)
{
    LevelSet s = setOf(1, {level(LevelSide::High, 1, LevelQuantity::Value, 10),
                           level(LevelSide::Low, 1, LevelQuantity::Rate, -1, 1, 0, 3)});
    EXPECT_EQ(levelSetProblem(s), "");
    EXPECT_EQ(levelSetProblem(setOf(1, {})), ""); // ends the levels

    auto broken = [&](auto change) {
        LevelSet b = s;
        change(b);
        return levelSetProblem(b);
    };
    EXPECT_NE(broken([](LevelSet& b) { b.levels[0].rank = 0; }), "");
    EXPECT_NE(broken([](LevelSet& b) { b.levels[0].rank = 4; }), "");
    EXPECT_NE(broken([](LevelSet& b) { b.levels[1].side = LevelSide::High; }), ""); // rank 1 twice on High
    EXPECT_NE(broken([](LevelSet& b) { b.levels[0].threshold = NAN; }), "");
    EXPECT_NE(broken([](LevelSet& b) { b.levels[0].deadBand = INFINITY; }), "");
    EXPECT_NE(broken([](LevelSet& b) { b.levels[0].deadBand = -0.1; }), "");
    EXPECT_NE(broken([](LevelSet& b) { b.levels[1].windowDays = 0; }), "");
    EXPECT_NE(broken([](LevelSet& b) { b.levels[0].confirm = 0; }), "");
    EXPECT_NE(broken([](LevelSet& b) { b.rankNames.removeLast(); }), "");
    EXPECT_NE(broken([](LevelSet& b) { b.rankNames[1] = " "; }), "");
    // A window matters for rates only.
    EXPECT_EQ(broken([](LevelSet& b) { b.levels[0].windowDays = 0; }), "");
}

TEST(JudgementSets, SameRulesLooksAtLevelsBaselineAndNames)
{
    LevelSet a = setOf(1, {level(LevelSide::High, 1, LevelQuantity::Value, 10)});
    LevelSet b = a;
    b.id = 2;
    b.fromUtc = kT0;
    b.enteredBy = "someone";
    EXPECT_TRUE(a.sameRules(b));
    b.levels[0].deadBand = 1;
    EXPECT_FALSE(a.sameRules(b));
    b = a;
    b.baselineUtc = kT0;
    EXPECT_FALSE(a.sameRules(b));
    b = a;
    b.rankNames[0] = "注意";
    EXPECT_FALSE(a.sameRules(b));
}

TEST(JudgementSets, RulesForATypeFallBackToTheGeneralOnes)
{
    EXPECT_EQ(defaultRankNames(), (QStringList{"预警", "报警", "控制"}));
    ASSERT_EQ(defaultQualityRules().size(), 1u);
    EXPECT_EQ(defaultQualityRules()[0], QualityRules{});
    EXPECT_EQ(qualityRulesProblem(QualityRules{}), "");

    QualityRules general;
    general.maxHz = 3000;
    QualityRules strain;
    strain.type = "应变计";
    strain.minHz = 450;
    const std::vector<QualityRules> all{strain, general};
    EXPECT_EQ(rulesFor(all, "应变计").minHz, 450);
    EXPECT_EQ(rulesFor(all, "渗压计").maxHz, 3000);
    EXPECT_EQ(rulesFor(all, "").maxHz, 3000);
    EXPECT_EQ(rulesFor({strain}, "渗压计"), QualityRules{});
}
