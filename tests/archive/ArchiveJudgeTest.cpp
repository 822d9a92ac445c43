// Judging in the archive: what a store, a change of levels, calibrations, masks, rules, register
// rows or assignments leaves stored is what a fresh judgement of the gauge's whole history gives;
// the verdict of a store; acknowledgements kept across judgements; overdue gauges; an archive of
// version 4 judged when it is brought forward; a store that fails keeps no marks.
#include "ArchiveFixture.h"
#include "archive/History.h"

#include <cmath>

using namespace archive;
using namespace archive::test;

namespace {

const QDateTime kDownloaded = QDateTime(QDate(2027, 1, 10), QTime(9, 0), QTimeZone::utc());

// One reading of A001 at minute `minute` after kStart: the frequency in Hz, 20.0 C.
Record reading(int minute, double hz, const QString& file = "F1", const QString& code = "A001")
{
    return Record{code.left(1), file, code, instrumentText(kStart + 60 * minute), QString::number(qRound(hz * 10)), "200"};
}

std::vector<Record> steady(int from, int count, double hz, const QString& file = "F1", const QString& code = "A001")
{
    std::vector<Record> out;
    for (int i = 0; i < count; ++i)
        out.push_back(reading(from + i, hz, file, code));
    return out;
}

TriggerLevel high(int rank, double threshold, int confirm = 1)
{
    TriggerLevel l;
    l.side = LevelSide::High;
    l.rank = rank;
    l.quantity = LevelQuantity::Value;
    l.threshold = threshold;
    l.confirm = confirm;
    return l;
}

LevelSet levels(const QString& gauge, std::vector<TriggerLevel> list, qint64 from = kSinceEver)
{
    LevelSet s;
    s.gauge = gauge;
    s.fromUtc = from;
    s.levels = std::move(list);
    return s;
}

class JudgeTest : public ArchiveTest {
protected:
    void SetUp() override
    {
        a = openArchive();
        ASSERT_TRUE(a);
        origin = testOrigin(*a, "R1");
        origin.names = ComponentNames{"A", {{"A001", "G1"}, {"A002", "G2"}}};
    }

    StoreResult store(const std::vector<Record>& records, const QDateTime& at = kDownloaded)
    {
        Error error;
        const std::optional<StoreResult> r = a->store(records, at, origin, &error);
        EXPECT_TRUE(r) << error.detail.toStdString();
        return r.value_or(StoreResult{});
    }

    // The stored judgement of a gauge against judgeSeries over the same points from scratch.
    void expectFresh(const QString& gauge)
    {
        SCOPED_TRACE(gauge.toStdString());
        const std::vector<GaugePoint> points = a->gaugeSeries(gauge, kSinceEver, kUntilNow);
        const std::vector<CalibrationVersion> versions = a->calibrationVersions(gauge);
        const History::Conversion values = History::convertByVersions(points, versions);
        GaugeInfo info;
        for (const GaugeInfo& g : a->gaugeRegister())
            if (g.name == gauge)
                info = g;
        std::vector<JudgeInput> inputs;
        for (size_t i = 0; i < points.size(); ++i) {
            const GaugePoint& p = points[i];
            JudgeInput in;
            in.utc = p.utc;
            in.hz = p.readingHz;
            in.temperatureC = p.hasTemperature ? p.temperatureC : NAN;
            in.value = versions.empty() ? p.readingHz : values.value[i];
            in.masked = p.masked;
            inputs.push_back(in);
        }
        JudgeState state;
        const JudgeOutput fresh =
            judgeSeries(inputs, 0, a->levelSets(gauge), rulesFor(a->qualityRules(), info.type), info.installed, &state);
        ASSERT_EQ(fresh.judgements.size(), points.size());
        for (size_t i = 0; i < points.size(); ++i) {
            SCOPED_TRACE(i);
            EXPECT_EQ(points[i].status, fresh.judgements[i].status);
            EXPECT_EQ(points[i].flags, fresh.judgements[i].flags);
            if (fresh.judgements[i].status > 0) {
                EXPECT_EQ(points[i].level, fresh.judgements[i].level);
                EXPECT_EQ(points[i].levelSet, fresh.judgements[i].levelSet);
            }
        }
        EventQuery query;
        query.gauge = gauge;
        const std::vector<LevelEvent> events = a->events(query);
        ASSERT_EQ(events.size(), fresh.transitions.size());
        for (size_t i = 0; i < events.size(); ++i) {
            EXPECT_EQ(events[i].utc, points[fresh.transitions[i].index].utc);
            EXPECT_EQ(events[i].from, fresh.transitions[i].from);
            EXPECT_EQ(events[i].to, fresh.transitions[i].to);
        }
        const std::vector<GaugeStatus> statuses = a->gaugeStatuses();
        for (const GaugeStatus& s : statuses)
            if (s.gauge == gauge)
                EXPECT_EQ(s.status, state.status);
    }

    std::vector<int> statuses(const QString& gauge)
    {
        std::vector<int> out;
        for (const GaugePoint& p : a->gaugeSeries(gauge, kSinceEver, kUntilNow))
            out.push_back(p.status);
        return out;
    }

    std::unique_ptr<Archive> a;
    CopyOrigin origin;
};

TEST_F(JudgeTest, AStoreThatCrossesALevelReportsItAndKeepsWhatAFreshJudgementGives)
{
    store(steady(0, 10, 2800));
    ASSERT_TRUE(a->addLevelSets({levels("G1", {high(1, 2900), high(2, 3000)})}, nullptr));
    expectFresh("G1");

    // Minutes 10..12: 2950 (rank 1 reached at 10), 3050 (rank 2 at 11), back to 2800 at 12.
    const StoreResult r = store({reading(10, 2950), reading(11, 3050), reading(12, 2800)});
    ASSERT_EQ(r.verdict.events.size(), 3u);
    EXPECT_EQ(r.verdict.events[0].gauge, "G1");
    EXPECT_EQ(r.verdict.events[0].utc, kStart + 600);
    EXPECT_EQ(r.verdict.events[0].from, 0);
    EXPECT_EQ(r.verdict.events[0].to, 1);
    EXPECT_EQ(r.verdict.events[0].unit, "Hz");
    EXPECT_EQ(r.verdict.events[0].readout, "R1");
    EXPECT_FALSE(r.verdict.events[0].rule.isEmpty());
    EXPECT_DOUBLE_EQ(r.verdict.events[0].value, 2950);
    EXPECT_EQ(r.verdict.events[1].to, 2);
    EXPECT_EQ(r.verdict.events[2].to, 0);
    // Back to normal: the status did not change over the store as a whole.
    EXPECT_TRUE(r.verdict.changed.empty());
    ASSERT_EQ(r.verdict.marked.size(), 2u);
    EXPECT_EQ(r.verdict.marked[0].code, "A001");
    EXPECT_EQ(r.verdict.marked[0].file, "F1");
    EXPECT_EQ(r.verdict.marked[0].partition, "A");
    EXPECT_EQ(r.verdict.marked[0].time, kStart + 600);
    EXPECT_EQ(r.verdict.marked[1].status, 2);
    expectFresh("G1");

    // Several stores going on from the last: raised and left raised.
    const StoreResult up = store({reading(13, 2960)});
    ASSERT_EQ(up.verdict.changed.size(), 1u);
    EXPECT_EQ(up.verdict.changed[0].gauge, "G1");
    EXPECT_EQ(up.verdict.changed[0].status, 1);
    EXPECT_DOUBLE_EQ(up.verdict.changed[0].lastValue, 2960);
    expectFresh("G1");
    store({reading(14, 2970), reading(15, 2980)});
    expectFresh("G1");
    const StoreResult down = store({reading(16, 2800)});
    ASSERT_EQ(down.verdict.changed.size(), 1u);
    EXPECT_EQ(down.verdict.changed[0].status, 0);
    expectFresh("G1");
    EXPECT_EQ(statuses("G1"), (std::vector<int>{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 2, 0, 1, 1, 1, 0}));

    // The same records again add nothing and judge nothing.
    const StoreResult again = store({reading(13, 2960)});
    EXPECT_EQ(again.added, 0);
    EXPECT_TRUE(again.verdict.events.empty());
    EXPECT_EQ(a->events().size(), 5u);
}

TEST_F(JudgeTest, ManyStoresGoingOnFromTheLastMatchOneJudgementOfTheWhole)
{
    // Scatter, a ramp and two jumps over 300 readings two hours apart; levels on the value, on
    // the change since the baseline and on the rate over 30 hours, each store going on from the
    // one before with more readings behind it than the judge looks back on.
    const auto hzAt = [](int minute) {
        double hz = 2800 + ((minute * 37) % 11) * 0.1;
        if (minute > 120)
            hz += (minute - 120) * 0.8;
        if (minute == 200 || minute == 201)
            hz += 60;
        return hz;
    };
    constexpr int kEvery = 120; // minutes
    store({reading(0, hzAt(0))});
    TriggerLevel rate = high(2, 8); // Hz a day: 0.67 Hz a reading
    rate.quantity = LevelQuantity::Rate;
    rate.windowDays = 15.0 * kEvery / 1440;
    rate.confirm = 3;
    rate.deadBand = 1;
    TriggerLevel change = high(1, 40);
    change.quantity = LevelQuantity::Change;
    LevelSet set = levels("G1", {high(3, 2920), rate, change});
    set.baselineUtc = kStart + 60 * 10 * kEvery; // reading 10
    ASSERT_TRUE(a->addLevelSets({set}, nullptr));
    for (int from = 1; from < 300; from += 7) {
        std::vector<Record> batch;
        for (int m = from; m < std::min(from + 7, 300); ++m)
            batch.push_back(reading(m * kEvery, hzAt(m)));
        store(batch);
    }
    expectFresh("G1");
    const std::vector<int> got = statuses("G1");
    ASSERT_EQ(got.size(), 300u);
    // Before the ramp: scatter only. On it: 0.8 Hz a reading, 9.6 Hz a day, rank 2 (the change
    // since reading 10, rank 1, reached later, is below it). The jump at readings 200 and 201 to
    // 2924 Hz reaches rank 3; at 202, back on the ramp at 2866 Hz, it clears; the ramp itself
    // reaches 2920 Hz about reading (2920 - 2800) / 0.8 + 120 = 270.
    EXPECT_EQ(got[100], 0);
    EXPECT_EQ(got[200], 3);
    EXPECT_EQ(got[201], 3);
    EXPECT_EQ(got[202], 2);
    EXPECT_EQ(got[250], 2);
    EXPECT_EQ(got[265], 2);
    EXPECT_EQ(got[299], 3);
    EXPECT_TRUE(a->gaugeSeries("G1", kSinceEver, kUntilNow)[200].flags & Step);
}

TEST_F(JudgeTest, AnOlderFileStoredLaterIsJudgedInItsPlace)
{
    EXPECT_FALSE(a->addLevelSets({levels("G1", {high(1, 2900, 2)})}, nullptr)); // G1 is made by the store: not yet
    store(steady(0, 3, 2800));
    ASSERT_TRUE(a->addLevelSets({levels("G1", {high(1, 2900, 2)})}, nullptr));
    store({reading(20, 2950), reading(21, 2800)}, kDownloaded);
    EXPECT_TRUE(a->events().empty()); // one reading beyond, two needed
    // An older file: minutes 18 and 19 beyond too, so that 19 and 20 make the second in a row.
    const StoreResult r = store({reading(18, 2800, "F0"), reading(19, 2950, "F0")});
    expectFresh("G1");
    EXPECT_EQ(statuses("G1"), (std::vector<int>{0, 0, 0, 0, 0, 1, 0}));
    // The event is at minute 20, a reading of the earlier store: not among this store's.
    EXPECT_TRUE(r.verdict.events.empty());
    ASSERT_EQ(a->events().size(), 2u);
    EXPECT_EQ(a->events()[0].utc, kStart + 1200);
}

TEST_F(JudgeTest, ChangesOfLevelsCalibrationsMasksRulesAndRegisterJudgeAgain)
{
    store(steady(0, 5, 2800));
    store({reading(5, 2950), reading(6, 2960), reading(7, 2800)});
    EXPECT_TRUE(a->events().empty()); // no levels yet
    ASSERT_TRUE(a->addLevelSets({levels("G1", {high(1, 2900)})}, nullptr));
    EXPECT_EQ(statuses("G1"), (std::vector<int>{0, 0, 0, 0, 0, 1, 1, 0}));
    expectFresh("G1");
    // The same rules again: no version added.
    ASSERT_TRUE(a->addLevelSets({levels("G1", {high(1, 2900)})}, nullptr));
    EXPECT_EQ(a->levelSets("G1").size(), 1u);

    // A new version from minute 6 on: 2960 no longer reaches.
    ASSERT_TRUE(a->addLevelSets({levels("G1", {high(1, 2965)}, kStart + 360)}, nullptr));
    EXPECT_EQ(a->levelSets("G1").size(), 2u);
    expectFresh("G1");
    EXPECT_EQ(statuses("G1"), (std::vector<int>{0, 0, 0, 0, 0, 1, 0, 0}));
    ASSERT_EQ(a->currentLevelSets().size(), 1u);
    EXPECT_EQ(a->currentLevelSets()[0].levels[0].threshold, 2965);

    // A mask on minute 5 leaves it out of the levels; lifting it brings it back.
    std::vector<GaugePoint> points = a->gaugeSeries("G1", kSinceEver, kUntilNow);
    const ReadingRef fifth{points[5].slot, points[5].time, points[5].file};
    ASSERT_TRUE(a->mask({fifth}, "pump test", nullptr));
    points = a->gaugeSeries("G1", kSinceEver, kUntilNow);
    EXPECT_TRUE(points[5].masked);
    EXPECT_EQ(points[5].status, 0);
    ASSERT_EQ(a->masks("G1").size(), 1u);
    EXPECT_EQ(a->masks("G1")[0].note, "pump test");
    EXPECT_EQ(a->masks("G1")[0].utc, kStart + 300);
    EXPECT_TRUE(a->masks("G2").empty());
    expectFresh("G1");
    ASSERT_TRUE(a->unmask({fifth}, nullptr));
    EXPECT_TRUE(a->masks().empty());
    EXPECT_FALSE(a->gaugeSeries("G1", kSinceEver, kUntilNow)[5].masked);
    expectFresh("G1");
    Error error;
    EXPECT_FALSE(a->mask({ReadingRef{fifth.slot, fifth.time + 1, fifth.file}}, "none", &error));

    // A calibration: values in mm, the levels compared with them.
    CalibrationVersion v;
    v.gauge = "G1";
    v.fromUtc = kSinceEver;
    v.values.unit = "mm";
    v.values.kind = ReadingKind::Frequency;
    v.values.form = Form::Linear;
    v.values.G = 0.01;
    v.values.R0 = 2000;
    ASSERT_TRUE(a->addCalibrationVersion(v, &error)) << error.detail.toStdString();
    expectFresh("G1");
    ASSERT_FALSE(a->gaugeStatuses().empty());
    EXPECT_EQ(a->gaugeStatuses()[0].gauge, "G1");
    EXPECT_EQ(a->gaugeStatuses()[0].unit, "mm");

    // Rules of the gauge's type: a band that leaves 2800 Hz out flags every reading.
    QualityRules narrow = defaultQualityRules().front();
    narrow.type = "裂缝计";
    narrow.minHz = 2900;
    ASSERT_TRUE(a->setQualityRules({defaultQualityRules().front(), narrow}, &error)) << error.detail.toStdString();
    expectFresh("G1");
    EXPECT_EQ(a->gaugeSeries("G1", kSinceEver, kUntilNow)[0].flags, 0); // not of that type yet
    GaugeInfo info;
    info.name = "G1";
    info.type = "裂缝计";
    ASSERT_TRUE(a->updateRegister({info}, &error));
    expectFresh("G1");
    EXPECT_EQ(a->gaugeSeries("G1", kSinceEver, kUntilNow)[0].flags, OutOfBand);
    // The installation date after the first readings flags them.
    info.installed = QDate(2026, 11, 6);
    ASSERT_TRUE(a->updateRegister({info}, &error));
    expectFresh("G1");
    EXPECT_TRUE(a->gaugeSeries("G1", kSinceEver, kUntilNow)[0].flags & BeforeInstallation);
}

TEST_F(JudgeTest, ReadingsMovedToAnotherGaugeAreJudgedThere)
{
    store(steady(0, 4, 2800));
    store({reading(4, 2950), reading(5, 2950)});
    ASSERT_TRUE(a->addLevelSets({levels("G1", {high(1, 2900)})}, nullptr));
    ASSERT_TRUE(a->addLevelSets({levels("G9", {high(2, 2940)})}, nullptr) == false); // not in the register yet
    GaugeInfo g9;
    g9.name = "G9";
    ASSERT_TRUE(a->updateRegister({g9}, nullptr));
    ASSERT_TRUE(a->addLevelSets({levels("G9", {high(2, 2940)})}, nullptr));
    // From minute 4 on the slot's readings were G9's.
    ASSERT_TRUE(a->assign(origin.readout, "A001", "G9", kStart + 240, nullptr));
    expectFresh("G1");
    expectFresh("G9");
    EXPECT_EQ(statuses("G1"), (std::vector<int>{0, 0, 0, 0}));
    EXPECT_EQ(statuses("G9"), (std::vector<int>{2, 2}));
    EventQuery q;
    q.gauge = "G1";
    EXPECT_TRUE(a->events(q).empty());
    q.gauge = "G9";
    ASSERT_EQ(a->events(q).size(), 1u);
    EXPECT_EQ(a->events(q)[0].to, 2);
    EXPECT_EQ(a->events(q)[0].toName, defaultRankNames()[1]);
}

TEST_F(JudgeTest, AcknowledgementsSurviveJudgingAgain)
{
    store(steady(0, 3, 2800));
    ASSERT_TRUE(a->addLevelSets({levels("G1", {high(1, 2900)})}, nullptr));
    store({reading(3, 2950), reading(4, 2800), reading(5, 2990)});
    std::vector<LevelEvent> events = a->events();
    ASSERT_EQ(events.size(), 3u);
    Error error;
    ASSERT_TRUE(a->acknowledge(events[0].id, "checked on site", &error)) << error.detail.toStdString();
    EXPECT_FALSE(a->acknowledge(events.back().id + 100, "none", &error));
    // A level added that none reaches, a full judgement again: the same transitions, new rows.
    ASSERT_TRUE(a->addLevelSets({levels("G1", {high(1, 2900), high(3, 5000)})}, nullptr));
    ASSERT_TRUE(a->rejudge("G1", &error));
    EXPECT_FALSE(a->rejudge("NOPE", &error));
    events = a->events();
    ASSERT_EQ(events.size(), 3u);
    EXPECT_TRUE(events[0].acknowledged);
    EXPECT_EQ(events[0].note, "checked on site");
    EXPECT_TRUE(events[0].acknowledgedAt.isValid());
    EXPECT_FALSE(events[1].acknowledged);
    EventQuery open;
    open.unacknowledgedOnly = true;
    EXPECT_EQ(a->events(open).size(), 2u);
    EventQuery later;
    later.sinceUtc = kStart + 240;
    EXPECT_EQ(a->events(later).size(), 2u);
}

TEST_F(JudgeTest, OverdueByInterval)
{
    store(steady(0, 2, 2800));               // G1 read at kStart + 60
    store(steady(0, 1, 2800, "F1", "A002")); // G2 read at kStart
    std::vector<GaugeInfo> rows(4);
    rows[0].name = "G1";
    rows[0].intervalDays = 7;
    rows[1].name = "G2";
    rows[1].intervalDays = 30;
    rows[2].name = "NEVER";
    rows[2].intervalDays = 1;
    rows[2].installed = QDate(2026, 11, 1);
    rows[3].name = "NOINT"; // no interval: never overdue
    for (GaugeInfo& g : rows)
        g.site = "S";
    ASSERT_TRUE(a->updateRegister(rows, nullptr));
    const QDateTime tenDays = QDateTime::fromSecsSinceEpoch(kStart + 10 * 86400, QTimeZone::utc());
    const std::vector<OverdueGauge> late = a->overdue(tenDays);
    ASSERT_EQ(late.size(), 2u);
    // NEVER: installed 2026-11-01, 14.4 days before, 13.4 beyond its day; G1: 3 days beyond its week.
    EXPECT_EQ(late[0].gauge, "NEVER");
    EXPECT_EQ(late[0].lastUtc, 0);
    EXPECT_NEAR(late[0].daysSince, 14 + 10.0 / 24, 1e-9);
    EXPECT_EQ(late[1].gauge, "G1");
    EXPECT_EQ(late[1].lastUtc, kStart + 60);
    EXPECT_NEAR(late[1].daysSince, 10 - 60.0 / 86400, 1e-9);
    EXPECT_EQ(late[1].site, "S");
    EXPECT_TRUE(a->overdue(tenDays, "elsewhere").empty());
    EXPECT_TRUE(a->overdue(QDateTime::fromSecsSinceEpoch(kStart - 86400 * 4, QTimeZone::utc())).empty());
}

TEST_F(JudgeTest, AStoreThatFailsKeepsNoMarks)
{
    // Readings out of band are flagged by the built-in rules; a cancelled store keeps none.
    std::vector<Record> records = steady(0, 200, 100);
    a.reset();
    OpenOptions options;
    options.patience.cancelled = [] { return true; };
    Error error;
    a = Archive::open(path(), nullptr, &error, options);
    ASSERT_TRUE(a);
    EXPECT_FALSE(a->store(records, kDownloaded, origin, &error));
    EXPECT_EQ(error.kind, ErrorKind::Cancelled);
    a.reset();
    RawDb raw(path());
    EXPECT_EQ(raw.number("SELECT count(*) FROM marks"), 0);
    EXPECT_EQ(raw.number("SELECT count(*) FROM records"), 0);
    EXPECT_EQ(raw.number("SELECT count(*) FROM judge_state"), 0);
}

TEST_F(JudgeTest, FlaggedReadingsAreCountedInTheVerdict)
{
    const StoreResult r = store({reading(0, 2800), reading(1, 100), reading(2, 2800), reading(0, 2800, "F1", "A002")});
    EXPECT_EQ(r.verdict.flagged, 1);
    EXPECT_EQ(r.verdict.flaggedGauges, QStringList{"G1"});
    ASSERT_EQ(r.verdict.marked.size(), 1u);
    EXPECT_EQ(r.verdict.marked[0].flags & OutOfBand, OutOfBand);
    EXPECT_TRUE(r.verdict.raised());
    expectFresh("G1");
    expectFresh("G2");
}

TEST_F(JudgeTest, AnArchiveOfVersion4IsJudgedWhenBroughtForward)
{
    store({reading(0, 2800), reading(1, 100), reading(2, 2800)});
    a.reset();
    {
        // Back to version 4 as that program left it: no judging tables, nothing judged.
        RawDb raw(path());
        raw.backToVersion5();
        for (const char* table : {"level_sets", "levels", "quality_rules", "marks", "masks", "events", "acknowledgements",
                                  "judge_state"}) {
            const std::string sql = std::string("DROP TABLE ") + table;
            raw.exec(sql.c_str());
        }
        raw.exec("DROP TRIGGER gauges_seen");
        raw.exec("ALTER TABLE gauges DROP COLUMN seen_utc");
        raw.exec("PRAGMA user_version = 4");
    }
    a = openArchive();
    ASSERT_TRUE(a);
    const std::vector<GaugePoint> points = a->gaugeSeries("G1", kSinceEver, kUntilNow);
    ASSERT_EQ(points.size(), 3u);
    EXPECT_EQ(points[0].flags, 0);
    EXPECT_TRUE(points[1].flags & OutOfBand);
    expectFresh("G1");
    RawDb raw(path());
    EXPECT_EQ(raw.number("PRAGMA user_version"), Archive::kSchemaVersion);
    EXPECT_EQ(raw.number("SELECT count(*) FROM judge_state"), 1);
}

TEST_F(JudgeTest, RefusedChangesKeepNothing)
{
    store(steady(0, 3, 2800));
    Error error;
    LevelSet bad = levels("G1", {high(1, 2900), high(1, 2950)}); // rank 1 twice on one side
    EXPECT_FALSE(a->addLevelSets({levels("G1", {high(1, 2900)}), bad}, &error));
    EXPECT_TRUE(a->levelSets("G1").empty());
    QualityRules broken = defaultQualityRules().front();
    broken.minHz = NAN;
    EXPECT_FALSE(a->setQualityRules({broken}, &error));
    EXPECT_EQ(a->qualityRules(), defaultQualityRules());
}

} // namespace
