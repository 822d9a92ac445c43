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

    auto broken = [](auto change) {
        QualityRules r;
        change(r);
        return qualityRulesProblem(r);
    };
    EXPECT_NE(broken([](QualityRules& r) { r.minHz = r.maxHz; }), "");
    EXPECT_NE(broken([](QualityRules& r) { r.maxHz = NAN; }), "");
    EXPECT_NE(broken([](QualityRules& r) { r.minC = 80; }), "");
    EXPECT_NE(broken([](QualityRules& r) { r.maxJumpC = 0; }), "");
    EXPECT_NE(broken([](QualityRules& r) { r.stepFactor = -1; }), "");
    EXPECT_NE(broken([](QualityRules& r) { r.scatterWindow = 5; }), ""); // 4 differences: never enough
    EXPECT_EQ(broken([](QualityRules& r) { r.scatterWindow = 6; }), "");
    EXPECT_EQ(broken([](QualityRules& r) { r.stepFactor = 0; }), "");
}

// ------------------------------------------------------------------------------------------------
// Changes of set

TEST(JudgementSets, AChangeOfSetStartsTheLevelsAfresh)
{
    const TriggerLevel twice = level(LevelSide::High, 1, LevelQuantity::Value, 10, 2);
    const std::vector<LevelSet> sets{setOf(2, {twice}, kT0 + 3 * kDaySecs), setOf(1, {twice})};
    JudgeState state;
    const JudgeOutput out = judgeSeries(series({10, 10, 10, 10, 10}), 0, sets, quiet(), QDate(), &state);
    // Reached at day 1; from day 3 on the new set counts again from its first reading.
    EXPECT_EQ(statuses(out), (Ints{0, 1, 1, 0, 1}));
    EXPECT_EQ(out.judgements[2].levelSet, 1);
    EXPECT_EQ(out.judgements[3].levelSet, 2);
    ASSERT_EQ(out.transitions.size(), 3u);
    EXPECT_EQ(out.transitions[1].index, 3u);
    EXPECT_EQ(out.transitions[1].levelSet, 2);
    EXPECT_EQ(state.levelSet, 2);
    EXPECT_EQ(state.beyond, (Ints{2}));

    // Of two sets from one instant the later entered applies: the larger id.
    const std::vector<LevelSet> same{setOf(7, {level(LevelSide::High, 3, LevelQuantity::Value, 10)}, kT0),
                                     setOf(5, {level(LevelSide::High, 1, LevelQuantity::Value, 10)}, kT0)};
    EXPECT_EQ(statusesOf(series({10}), same), (Ints{3}));
    // Without ids (not yet kept), the later enteredAt.
    std::vector<LevelSet> unsaved = same;
    unsaved[0].id = 0;
    unsaved[1].id = 0;
    unsaved[0].enteredAt = QDateTime::fromSecsSinceEpoch(kT0 + 100, QTimeZone::utc());
    unsaved[1].enteredAt = QDateTime::fromSecsSinceEpoch(kT0 + 200, QTimeZone::utc());
    EXPECT_EQ(statusesOf(series({10}), unsaved), (Ints{1}));

    // A set without levels ends them: back to normal, with that set's id; before any set: none.
    const std::vector<LevelSet> ended{setOf(1, {level(LevelSide::High, 1, LevelQuantity::Value, 10)}, kT0 + kDaySecs),
                                      setOf(2, {}, kT0 + 3 * kDaySecs)};
    JudgeState s2;
    const JudgeOutput out2 = judgeSeries(series({10, 10, 10, 10}), 0, ended, quiet(), QDate(), &s2);
    EXPECT_EQ(statuses(out2), (Ints{0, 1, 1, 0}));
    EXPECT_EQ(out2.judgements[0].levelSet, 0);
    EXPECT_EQ(out2.judgements[3].levelSet, 2);
    ASSERT_EQ(out2.transitions.size(), 2u);
    EXPECT_EQ(out2.transitions[1].to, 0);
    EXPECT_EQ(out2.transitions[1].levelSet, 2);
}

TEST(JudgementSets, ANewBaselineIsSearchedAgainOnlyWhenItDiffers)
{
    const TriggerLevel change = level(LevelSide::High, 1, LevelQuantity::Change, 5);
    // Set 1 counts from day 0 (100); set 2 from day 3, its baseline day 2 (103): found back.
    const std::vector<LevelSet> sets{setOf(1, {change}, kSinceEver, kT0),
                                     setOf(2, {change}, kT0 + 3 * kDaySecs, kT0 + 2 * kDaySecs)};
    const auto readings = series({100, 105, 103, 107, 108, 109});
    // 5 from 100 reached, 3 cleared; then 4, 5 and 6 from 103 (from 100, day 3 would be 7).
    EXPECT_EQ(statusesOf(readings, sets), (Ints{0, 1, 0, 0, 1, 1}));
    JudgeState state;
    judgeSeries(readings, 0, sets, quiet(), QDate(), &state);
    EXPECT_EQ(state.baseline, 103);
    EXPECT_EQ(state.baselineUtc, kT0 + 2 * kDaySecs);

    // The same baseline instant: the baseline found stays (change from 100 on).
    const std::vector<LevelSet> kept{setOf(1, {change}, kSinceEver, kT0), setOf(2, {change}, kT0 + 3 * kDaySecs, kT0)};
    EXPECT_EQ(statusesOf(series({100, 102, 103, 104, 105}), kept), (Ints{0, 0, 0, 0, 1}));

    // A baseline after the set starts: no change (and no level) until its reading.
    const std::vector<LevelSet> ahead{setOf(1, {change}, kSinceEver, kT0 + 2 * kDaySecs)};
    EXPECT_EQ(statusesOf(series({200, 300, 100, 105}), ahead), (Ints{0, 0, 0, 1}));
}

// ------------------------------------------------------------------------------------------------
// Masked readings and readings without a value

TEST(JudgementMasked, LeftOutOfLevelsRatesBaselineAndScatterButFlagged)
{
    // Confirmation by 2 goes on over a masked reading and one without a value.
    const std::vector<LevelSet> twice{setOf(1, {level(LevelSide::High, 1, LevelQuantity::Value, 10, 2)})};
    auto readings = series({10, 0, NAN, 10});
    readings[1].masked = true;
    JudgeState state;
    JudgeOutput out = judgeSeries(readings, 0, twice, quiet(), QDate(), &state);
    EXPECT_EQ(statuses(out), (Ints{0, 0, 0, 1}));
    EXPECT_FALSE(out.judgements[1].judged);
    EXPECT_FALSE(out.judgements[2].judged);
    EXPECT_EQ(out.judgements[1].levelSet, 0);
    EXPECT_EQ(out.judgements[1].level, -1);

    // Not the j of a rate: from day 2 back 1 day the latest judged is day 0 (0), not day 1.
    const std::vector<LevelSet> rate{setOf(1, {level(LevelSide::High, 1, LevelQuantity::Rate, 4, 1, 0, 1)})};
    auto masked = series({0, 100, 10});
    masked[1].masked = true;
    EXPECT_EQ(statusesOf(masked, rate), (Ints{0, 0, 1})); // (10 - 0) / 2 = 5
    masked[1].masked = false;
    EXPECT_EQ(statusesOf(masked, rate), (Ints{0, 1, 0})); // 100 / 1, then -90

    // Not the baseline: the first reading is masked, the baseline is the second (5).
    const std::vector<LevelSet> change{setOf(1, {level(LevelSide::High, 1, LevelQuantity::Change, 5)})};
    auto first = series({0, 5, 10});
    first[0].masked = true;
    EXPECT_EQ(statusesOf(first, change), (Ints{0, 0, 1}));

    // Out of the scatter and the previous value, yet flagged itself: the masked 50 steps from 1;
    // the 2 after it steps 1 from the 1 before, within 10 times the scatter of 1.
    QualityRules rules;
    rules.scatterWindow = 6;
    auto steps = series({0, 1, 0, 1, 0, 1, 50, 2});
    steps[6].masked = true;
    out = judgeSeries(steps, 0, {}, rules, QDate(), &state);
    EXPECT_EQ(out.judgements[6].flags, Step);
    EXPECT_EQ(out.judgements[7].flags, 0);
}

// ------------------------------------------------------------------------------------------------
// Quality flags, each at its boundary

namespace {

std::vector<std::uint16_t> flagsOf(const std::vector<JudgeInput>& readings, const QualityRules& rules,
                                   const QDate& installed = QDate(), std::size_t first = 0)
{
    JudgeState state;
    std::vector<std::uint16_t> out;
    for (const Judgement& j : judgeSeries(readings, first, {}, rules, installed, &state).judgements)
        out.push_back(j.flags);
    return out;
}

using Flags = std::vector<std::uint16_t>;

} // namespace

TEST(JudgementFlags, FrequencyOutsideTheBand)
{
    auto readings = series({1, 1, 1, 1, 1, 1});
    const double hz[] = {400, 399.9, 4500, 4500.1, NAN, 2000};
    for (std::size_t i = 0; i < readings.size(); ++i)
        readings[i].hz = hz[i];
    readings[5].masked = true;
    readings[5].hz = 10; // masked readings are flagged too
    EXPECT_EQ(flagsOf(readings, quiet()), (Flags{0, OutOfBand, 0, OutOfBand, 0, OutOfBand}));
}

TEST(JudgementFlags, TemperatureOutsideItsRangeAndJumps)
{
    QualityRules rules = quiet();
    auto range = series({1, 1, 1, 1, 1});
    const double c[] = {-30, -30.1, NAN, 70, 70.1};
    for (std::size_t i = 0; i < range.size(); ++i)
        range[i].temperatureC = c[i];
    rules.maxJumpC = 1000;
    EXPECT_EQ(flagsOf(range, rules), (Flags{0, TemperatureRange, 0, 0, TemperatureRange}));

    // Jumps of more than 5 from the previous unmasked reading with a temperature.
    rules.maxJumpC = 5;
    auto jumps = series({1, 1, 1, 1, 1, 1, 1});
    const double t[] = {20, 25, 30.5, 0, 31, NAN, 36.5};
    for (std::size_t i = 0; i < jumps.size(); ++i)
        jumps[i].temperatureC = t[i];
    jumps[3].masked = true; // flagged, but not what the next one is compared with
    EXPECT_EQ(flagsOf(jumps, rules), (Flags{0, 0, TemperatureJump, TemperatureJump, 0, 0, TemperatureJump}));
    // From `first` on the reading before it counts.
    EXPECT_EQ(flagsOf(jumps, rules, QDate(), 2), (Flags{TemperatureJump, TemperatureJump, 0, 0, TemperatureJump}));
}

TEST(JudgementFlags, StepsAgainstTheUsualScatter)
{
    QualityRules rules;
    rules.scatterWindow = 6;
    // Five differences of 1 are needed: the sixth reading is not checked, the seventh is.
    EXPECT_EQ(flagsOf(series({0, 1, 0, 1, 0, 100}), rules), (Flags{0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(flagsOf(series({0, 1, 0, 1, 0, 1, 11}), rules).back(), 0); // exactly 10 times
    EXPECT_EQ(flagsOf(series({0, 1, 0, 1, 0, 1, 11.5}), rules).back(), Step);
    EXPECT_EQ(flagsOf(series({0, 1, 0, 1, 0, 1, -9.5}), rules).back(), Step);

    // Only the last scatterWindow judged readings count: with 6 the swings of 5 are gone (11 > 10
    // times 1); with 12 they are 6 differences of 11, their median 5.
    const auto swings = series({0, 5, 0, 5, 0, 5, 0, 1, 0, 1, 0, 1, 12});
    EXPECT_EQ(flagsOf(swings, rules).back(), Step);
    rules.scatterWindow = 12;
    EXPECT_EQ(flagsOf(swings, rules).back(), 0);
    rules.scatterWindow = 6;

    // Readings that mostly repeat: the median is 0, the floor the smallest step seen (0.25).
    EXPECT_EQ(flagsOf(series({5, 5, 5, 5.25, 5, 5, 7.5}), rules).back(), 0);
    EXPECT_EQ(flagsOf(series({5, 5, 5, 5.25, 5, 5, 7.75}), rules).back(), Step);
    // One value repeated tells nothing of the scatter: not checked.
    EXPECT_EQ(flagsOf(series({5, 5, 5, 5, 5, 5, 100}), rules).back(), 0);

    rules.stepFactor = 0;
    EXPECT_EQ(flagsOf(series({0, 1, 0, 1, 0, 1, 100}), rules).back(), 0);
}

TEST(JudgementFlags, SameInstantWithAnotherReading)
{
    auto readings = series({1, 1, 1, 1, 1, 1});
    for (JudgeInput& r : readings)
        r.utc = kT0;
    readings[3].utc = readings[4].utc = readings[5].utc = kT0 + 60;
    readings[1].hz = 2000; // the same reading twice is not flagged
    readings[2].hz = 2000;
    readings[4].hz = 2100.5;
    readings[5].hz = 2000;
    readings[5].masked = true;
    EXPECT_EQ(flagsOf(readings, quiet()), (Flags{0, 0, 0, DuplicateTime, DuplicateTime, DuplicateTime}));
    // Readings before `first` count, and readings after a reading too.
    readings[0].hz = 1999;
    EXPECT_EQ(flagsOf(readings, quiet(), QDate(), 2), (Flags{DuplicateTime, DuplicateTime, DuplicateTime, DuplicateTime}));
    EXPECT_EQ(flagsOf(readings, quiet(), QDate(), 4), (Flags{DuplicateTime, DuplicateTime}));
}

TEST(JudgementFlags, LaterThanItsDownloadAndBeforeInstallation)
{
    const qint64 downloaded = kT0 + 10 * kDaySecs;
    std::vector<JudgeInput> readings(4, at(0, 1));
    readings[0].utc = downloaded + 3600;
    readings[1].utc = downloaded + 3601;
    readings[2].utc = downloaded + 7200;
    readings[3].utc = downloaded + 7200;
    for (JudgeInput& r : readings)
        r.downloadedUtc = downloaded;
    readings[3].downloadedUtc = 0; // not known
    EXPECT_EQ(flagsOf(readings, quiet()), (Flags{0, FutureTime, FutureTime, 0}));

    // Installed on 2026-01-02: readings before its UTC midnight are flagged.
    std::vector<JudgeInput> early{at(0, 1), at(0, 1), at(0, 1)};
    early[0].utc = kT0 + kDaySecs - 1;
    early[1].utc = kT0 + kDaySecs;
    early[2].utc = kT0 + kDaySecs + 1;
    EXPECT_EQ(flagsOf(early, quiet(), QDate(2026, 1, 2)), (Flags{BeforeInstallation, 0, 0}));
    EXPECT_EQ(flagsOf(early, quiet(), QDate()), (Flags{0, 0, 0}));
}

// ------------------------------------------------------------------------------------------------
// The operator's words

TEST(JudgementWords, LevelsStatusesFlagsAndVerdicts)
{
    LevelSet set = setOf(1, {level(LevelSide::High, 2, LevelQuantity::Change, 20, 3, 1),
                             level(LevelSide::High, 1, LevelQuantity::Rate, 2, 1, 0, 7),
                             level(LevelSide::Low, 3, LevelQuantity::Value, -5.5)});
    EXPECT_EQ(levelText(set, 0, "mm"), "报警：累计变化 ≥ 20 mm（连续 3 次，回差 1）");
    EXPECT_EQ(levelText(set, 1, "mm"), "预警：变化速率（7 天） ≥ 2 mm/天");
    EXPECT_EQ(levelText(set, 2, ""), "控制：数值 ≤ -5.5");
    EXPECT_EQ(levelText(set, 0, "mm", true), "Alarm: change ≥ 20 mm (3 in a row, dead band 1)");
    EXPECT_EQ(levelText(set, 1, "kPa", true), "Alert: rate over 7 days ≥ 2 kPa/day");
    EXPECT_EQ(levelText(set, 3, "mm"), "");

    EXPECT_EQ(statusName(nullptr, 0), "正常");
    EXPECT_EQ(statusName(&set, 2), "报警");
    EXPECT_EQ(statusName(&set, 3, true), "Control");
    EXPECT_EQ(statusName(nullptr, 0, true), "Normal");
    set.rankNames = QStringList{"注意", "报警", "停工"};
    EXPECT_EQ(statusName(&set, 1, true), "注意"); // the operator's own name as typed
    EXPECT_EQ(statusName(&set, 3), "停工");
    EXPECT_EQ(levelText(set, 2, "m"), "停工：数值 ≤ -5.5 m");

    EXPECT_EQ(flagsText(0), "");
    EXPECT_EQ(flagsText(OutOfBand | TemperatureJump), "频率超出范围；温度跳变");
    EXPECT_EQ(flagsText(Step | BeforeInstallation, true), "step in value; before installation");

    Verdict v;
    EXPECT_EQ(verdictText(v), "");
    EXPECT_FALSE(v.raised());
    GaugeStatus alarm;
    alarm.status = 2;
    GaugeStatus normal;
    v.changed = {alarm, normal};
    v.flagged = 3;
    EXPECT_EQ(v.atAlarm(), 1);
    EXPECT_EQ(verdictText(v), "2 个测点状态改变，1 个测点超过报警值，3 条读数有质量标记");
    EXPECT_EQ(verdictText(v, true), "2 gauges changed status, 1 gauge at its alarm level or above, 3 readings flagged");
    EXPECT_TRUE(v.raised());

    // Raised: a higher status reached, or a reading flagged; going back to normal is not.
    Verdict back;
    LevelEvent down;
    down.from = 2;
    down.to = 0;
    back.events = {down};
    back.changed = {normal};
    EXPECT_FALSE(back.raised());
    EXPECT_EQ(verdictText(back), "1 个测点状态改变");
    LevelEvent up;
    up.from = 1;
    up.to = 3;
    back.events.push_back(up);
    EXPECT_TRUE(back.raised());
}

// ------------------------------------------------------------------------------------------------
// Judging in parts

namespace {

// A gauge's sets over the random series below: a rate over 10 days, a change and a value level
// from the start; from day 60 a change from day 50's reading and a rate over 8 days; from day
// 100 none; from day 110 a change from day 105 and a rate over 6 days; with `sinceEverLater`,
// from day 130 a change from the gauge's first reading again, which needs the whole series
// before day 130. The windows are longer than the scatter's readings reach, so that the
// readings the lookback's seconds ask for count.
std::vector<LevelSet> partSets(bool sinceEverLater)
{
    std::vector<LevelSet> sets{
        setOf(1, {level(LevelSide::High, 1, LevelQuantity::Rate, 0.4, 2, 0.1, 10),
                  level(LevelSide::High, 2, LevelQuantity::Change, 6, 3, 1),
                  level(LevelSide::Low, 1, LevelQuantity::Value, -4, 1, 0.5)}),
        setOf(2, {level(LevelSide::High, 3, LevelQuantity::Change, 3, 2), level(LevelSide::Low, 2, LevelQuantity::Rate, -0.3, 1, 0, 8)},
              kT0 + 60 * kDaySecs, kT0 + 50 * kDaySecs),
        setOf(3, {}, kT0 + 100 * kDaySecs),
        setOf(4, {level(LevelSide::High, 1, LevelQuantity::Change, 2), level(LevelSide::Low, 2, LevelQuantity::Rate, -0.3, 2, 0, 6)},
              kT0 + 110 * kDaySecs, kT0 + 105 * kDaySecs),
    };
    if (sinceEverLater)
        sets.push_back(setOf(5, {level(LevelSide::High, 2, LevelQuantity::Change, 4), level(LevelSide::Low, 1, LevelQuantity::Change, -2, 2)},
                             kT0 + 130 * kDaySecs));
    return sets;
}

// Readings every few hours to a few days, a random walk with jumps, some masked, some without a
// value or temperature, some at the same instant.
std::vector<JudgeInput> randomSeries(std::mt19937* rng, int count)
{
    std::uniform_real_distribution<double> u(0, 1);
    std::vector<JudgeInput> out;
    qint64 t = kT0;
    double v = 0;
    double c = 15;
    for (int i = 0; i < count; ++i) {
        if (u(*rng) > 0.05)
            t += qint64(u(*rng) * 1.5 * kDaySecs) / 60 * 60;
        v += (u(*rng) - 0.5) * 1.2 + (u(*rng) < 0.04 ? (u(*rng) - 0.5) * 20 : 0);
        c += (u(*rng) - 0.5) * 4 + (u(*rng) < 0.03 ? 8 : 0);
        JudgeInput r;
        r.utc = t;
        r.value = u(*rng) < 0.05 ? NAN : std::round(v * 4) / 4;
        r.hz = 2000 + r.value;
        r.temperatureC = u(*rng) < 0.1 ? NAN : c;
        r.masked = u(*rng) < 0.08;
        r.downloadedUtc = kT0 + 150 * kDaySecs;
        out.push_back(r);
    }
    return out;
}

// Where the readings given must begin for readings[first..] to be judged from `state` as the
// header of the judge promises.
std::size_t lookbackStart(const std::vector<JudgeInput>& r, std::size_t first, const Lookback& lb,
                          const std::vector<LevelSet>& sets, const JudgeState& state)
{
    const auto judged = [&](std::size_t i) { return !r[i].masked && std::isfinite(r[i].value); };
    const qint64 from = r[first].utc - lb.seconds;
    std::size_t s = first;
    std::size_t start = first;
    while (start > 0 && r[start - 1].utc >= from)
        --start;
    // And the latest judged reading at or before `from`, unless one is at `from` itself.
    bool atFrom = false;
    for (std::size_t k = start; k < first && r[k].utc == from; ++k)
        atFrom = atFrom || judged(k);
    if (!atFrom) {
        s = start;
        while (s > 0 && !judged(s - 1))
            --s;
        start = s > 0 ? s - 1 : start;
    }
    s = first;
    for (int counted = 0; s > 0 && counted < lb.readings;)
        counted += judged(--s) ? 1 : 0;
    start = std::min(start, s);
    s = first;
    while (s > 0 && (r[s - 1].masked || !std::isfinite(r[s - 1].temperatureC)))
        --s;
    start = std::min(start, s > 0 ? s - 1 : 0);
    const qint64 baseline = baselineLookbackUtc(sets, state, r[first].utc);
    s = first;
    while (s > 0 && r[s - 1].utc >= baseline)
        --s;
    return std::min(start, s);
}

} // namespace

TEST(JudgementParts, JudgingInPartsGivesWhatJudgingTheWholeGives)
{
    std::mt19937 rng(520);
    for (const bool sinceEverLater : {false, true}) {
        const std::vector<LevelSet> sets = partSets(sinceEverLater);
        QualityRules rules;
        rules.scatterWindow = 6;
        rules.stepFactor = 4;
        rules.maxJumpC = 4;
        const Lookback lb = lookbackFor(sets, rules);
        EXPECT_EQ(lb.seconds, 10 * kDaySecs);
        EXPECT_EQ(lb.readings, 7);

        int cut = 0;
        int transitions = 0;
        for (int round = 0; round < 20; ++round) {
            const std::vector<JudgeInput> all = randomSeries(&rng, 220);
            JudgeState whole;
            const JudgeOutput expected = judgeSeries(all, 0, sets, rules, QDate(2026, 1, 3), &whole);
            transitions += int(expected.transitions.size());
            for (std::size_t k = 1; k < all.size(); k += 7) {
                JudgeState before;
                const std::vector<JudgeInput> head(all.begin(), all.begin() + qint64(k));
                judgeSeries(head, 0, sets, rules, QDate(2026, 1, 3), &before);
                std::optional<JudgeState> state = JudgeState::fromText(before.toText());
                ASSERT_TRUE(state);
                ASSERT_EQ(*state, before);

                const std::size_t start = lookbackStart(all, k, lb, sets, *state);
                cut += start > 0 ? 1 : 0;
                const std::vector<JudgeInput> given(all.begin() + qint64(start), all.end());
                const JudgeOutput part = judgeSeries(given, k - start, sets, rules, QDate(2026, 1, 3), &*state);
                ASSERT_EQ(part.judgements.size(), all.size() - k);
                for (std::size_t i = 0; i < part.judgements.size(); ++i) {
                    const Judgement& a = part.judgements[i];
                    const Judgement& b = expected.judgements[k + i];
                    ASSERT_EQ(std::tie(a.status, a.judged, a.level, a.levelSet, a.flags),
                              std::tie(b.status, b.judged, b.level, b.levelSet, b.flags))
                        << "round " << round << " cut at " << k << " reading " << k + i;
                }
                std::vector<Transition> later;
                for (const Transition& t : expected.transitions)
                    if (t.index >= k)
                        later.push_back(t);
                ASSERT_EQ(part.transitions.size(), later.size()) << "round " << round << " cut at " << k;
                for (std::size_t i = 0; i < later.size(); ++i) {
                    EXPECT_EQ(part.transitions[i].index + start, later[i].index);
                    EXPECT_EQ(std::tie(part.transitions[i].from, part.transitions[i].to, part.transitions[i].level,
                                       part.transitions[i].levelSet),
                              std::tie(later[i].from, later[i].to, later[i].level, later[i].levelSet));
                }
                EXPECT_EQ(*state, whole);
            }
        }
        // The series did what they are for: parts given without their early readings, and levels
        // reached and cleared.
        EXPECT_GT(cut, 100);
        EXPECT_GT(transitions, 100);
    }
}

TEST(JudgementParts, LookbackCoversTheLongestWindowAndTheBaselinesToFind)
{
    const std::vector<LevelSet> sets = partSets(true);
    QualityRules rules;
    Lookback lb = lookbackFor(sets, rules);
    EXPECT_EQ(lb.seconds, 10 * kDaySecs);
    EXPECT_EQ(lb.readings, 21);
    std::vector<LevelSet> fraction{setOf(1, {level(LevelSide::High, 1, LevelQuantity::Rate, 1, 30, 0, 0.5001)})};
    lb = lookbackFor(fraction, rules);
    EXPECT_EQ(lb.seconds, 43209); // 0.5001 days, rounded up
    EXPECT_EQ(lb.readings, 30);
    EXPECT_EQ(lookbackFor({}, rules).seconds, 0);

    // Within set 1 with its baseline found: set 2's baseline of day 50 is needed once past it.
    JudgeState state;
    state.levelSet = 1;
    state.baseline = 0;
    EXPECT_EQ(baselineLookbackUtc(partSets(false), state, kT0 + 40 * kDaySecs), kUntilNow);
    EXPECT_EQ(baselineLookbackUtc(partSets(false), state, kT0 + 55 * kDaySecs), kT0 + 50 * kDaySecs);
    // Set 5 to come needs the first reading of all.
    EXPECT_EQ(baselineLookbackUtc(partSets(true), state, kT0 + 40 * kDaySecs), kSinceEver);
    // Within set 3 (no levels): set 4 needs day 105's reading once past it.
    state.levelSet = 3;
    state.baselineUtc = kT0 + 50 * kDaySecs;
    EXPECT_EQ(baselineLookbackUtc(partSets(false), state, kT0 + 107 * kDaySecs), kT0 + 105 * kDaySecs);
    // Within set 4, its baseline held: nothing, but for set 5 to come.
    state.levelSet = 4;
    state.baselineUtc = kT0 + 105 * kDaySecs;
    EXPECT_EQ(baselineLookbackUtc(partSets(false), state, kT0 + 120 * kDaySecs), kUntilNow);
    EXPECT_EQ(baselineLookbackUtc(partSets(true), state, kT0 + 120 * kDaySecs), kSinceEver);
    state.levelSet = 5;
    state.baselineUtc = kSinceEver;
    EXPECT_EQ(baselineLookbackUtc(partSets(true), state, kT0 + 140 * kDaySecs), kUntilNow);
    // Within set 2, its baseline not found yet: going on finds it among the new readings.
    state.levelSet = 2;
    state.baselineUtc = kT0 + 50 * kDaySecs;
    state.baseline.reset();
    EXPECT_EQ(baselineLookbackUtc(partSets(false), state, kT0 + 70 * kDaySecs), kUntilNow);
    // A set without a change level needs no baseline: set 1 and 3 alone.
    const std::vector<LevelSet> noChange{setOf(1, {level(LevelSide::High, 1, LevelQuantity::Value, 1)}),
                                         setOf(3, {}, kT0 + 100 * kDaySecs)};
    EXPECT_EQ(baselineLookbackUtc(noChange, JudgeState{}, kT0 + 40 * kDaySecs), kUntilNow);
}
