// Gathering the report from the archive: hand-worked values of a small archive, the periods, the
// refusals and the cancel, the texts in English; and the shared fixture's site as it says.
#include "ReportFixture.h"
#include "report/Report.h"
#include "report/ReportTexts.h"

#include <QFile>
#include <QTimeZone>
#include <cmath>
#include <ctime>
#include <gtest/gtest.h>
#include <sqlite3.h>

using namespace archive;
using namespace report;
using namespace report::test;

namespace {

constexpr qint64 kFirst = 1793836800; // 2026-11-05 00:00:00 UTC

TEST(ReportFixture, MakesTheSiteItDescribes)
{
    TempArchive temp = openTempArchive();
    ASSERT_TRUE(temp.archive);
    const FixtureSite made = fillSite(*temp.archive, QStringLiteral("一号坝"), 10, 30, kFirst);
    EXPECT_EQ(made.gauges.size(), 10);
    EXPECT_EQ(made.piezometers, (QStringList{"P001", "P002", "P003", "P004", "P005"}));
    EXPECT_EQ(made.withLevels, (QStringList{"P001", "P005", "S001", "S005"}));
    EXPECT_EQ(made.reaching, (QStringList{"P001", "S001"}));
    EXPECT_EQ(made.flagged, (QStringList{"P002", "S002"}));
    EXPECT_EQ(made.masked, "P004");
    EXPECT_EQ(made.overdue, "S005");
    // 10 gauges x 30 days, less the 3 days the overdue gauge missed; a store a readout.
    EXPECT_EQ(made.readings, 10 * 30 - 3);
    EXPECT_EQ(made.downloads, 2);
    EXPECT_EQ(made.lastUtc, kFirst + 29 * 86400 + 4 * 60);

    // Each reaching gauge goes to 预警 by its Value level, then to 报警 by its Change level.
    EXPECT_EQ(made.events, 4);
    EventQuery query;
    query.gauge = "P001";
    const std::vector<LevelEvent> events = temp.archive->events(query);
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].to, 1);
    EXPECT_EQ(events[1].to, 2);

    qint64 flagged = 0;
    qint64 masked = 0;
    for (const QString& gauge : made.gauges)
        for (const GaugePoint& p : temp.archive->gaugeSeries(gauge, kSinceEver, kUntilNow)) {
            flagged += p.flags != 0;
            masked += p.masked;
            if (p.flags) {
                EXPECT_EQ(p.flags, OutOfBand) << gauge.toStdString();
            }
        }
    EXPECT_EQ(flagged, 2);
    EXPECT_EQ(masked, 1);
    const std::vector<OverdueGauge> overdue =
        temp.archive->overdue(QDateTime::fromSecsSinceEpoch(kFirst + 30 * 86400, QTimeZone::utc()));
    ASSERT_EQ(overdue.size(), 1u);
    EXPECT_EQ(overdue[0].gauge, "S005");
}

} // namespace

// The PC's time zone for a test, as it was afterwards.
class ZoneScope {
public:
    explicit ZoneScope(const char* zone)
        : m_had(qEnvironmentVariableIsSet("TZ")), m_was(qgetenv("TZ"))
    {
        qputenv("TZ", zone);
        tzset();
    }
    ~ZoneScope()
    {
        if (m_had)
            qputenv("TZ", m_was);
        else
            qunsetenv("TZ");
        tzset();
    }

private:
    bool m_had;
    QByteArray m_was;
};

// A small archive whose report is worked out by hand. Day d is kFirst + d days (UTC).
//  G1 (裂缝计, mm, site 一号坝, readout R1 A001): day d 06:00 at 2100 + 10 d Hz, 20.0 C (75.0 C on
//     day 4: flagged, and day 5 for the jump back); version 1 since ever E = 0.01 (f - 2000), version 2 from day 5 E = 0.02 (f - 2000):
//     1.00 1.10 1.20 1.30 1.40 | 3.00 3.20 3.40 3.60 3.80 (days 0..9); day 6 masked. Levels since
//     ever, baseline from day 2 06:00 (1.20): 预警 at a value >= 3.5, 报警 at a change >= 2.5, so
//     day 8 goes to 预警, day 9 to 报警. Interval 2 days.
//  G2 (渗压计, no calibration: Hz, site 一号坝, R1 A002): day d 07:00 at 1500 + d Hz on days 0..5
//     and 9; no levels; interval 1 day.
//  H1 (裂缝计, site 二号坝, readout R2 A001): 1000 Hz on day 4, 1200 Hz on day 5 (a 预警 at >= 1100).
// Stores: R1 days 0..2 at day 2 12:00, days 3..5 at day 5 12:00, days 6..9 at day 9 12:00; R2 at
// day 5 13:00. The period: days 3 to 8, whole days.
class ReportGather : public ::testing::Test {
protected:
    static constexpr qint64 kDay = 86400;
    static qint64 day(int d, int hour = 0) { return kFirst + d * kDay + hour * 3600; }
    static QDateTime at(qint64 utc) { return QDateTime::fromSecsSinceEpoch(utc, QTimeZone::utc()); }

    void SetUp() override
    {
        temp = openTempArchive();
        ASSERT_TRUE(temp.archive);
        Archive& a = *temp.archive;
        Error error;
        const std::optional<Readout> r1 = a.addReadout("R1", "UTC", &error);
        const std::optional<Readout> r2 = a.addReadout("R2", "UTC", &error);
        ASSERT_TRUE(r1 && r2) << error.detail.toStdString();
        GaugeInfo g1{"G1", "裂缝计", "mm", "一号坝", "左岸", QDate(2026, 10, 1), 2, {}};
        GaugeInfo g2{"G2", "渗压计", "kPa", "一号坝", "右岸", QDate(2026, 10, 1), 1, {}};
        GaugeInfo h1{"H1", "裂缝计", "mm", "二号坝", "", QDate(2026, 10, 1), 0, {}};
        ASSERT_TRUE(a.updateRegister({g1, g2, h1}, &error)) << error.detail.toStdString();

        CalibrationVersion v;
        v.gauge = "G1";
        v.values.code = "G1";
        v.values.unit = "mm";
        v.values.kind = ReadingKind::Frequency;
        v.values.form = Form::Linear;
        v.values.G = 0.01;
        v.values.R0 = 2000;
        ASSERT_TRUE(a.addCalibrationVersion(v, &error)) << error.detail.toStdString();
        v.fromUtc = day(5);
        v.values.G = 0.02;
        ASSERT_TRUE(a.addCalibrationVersion(v, &error)) << error.detail.toStdString();

        LevelSet set;
        set.gauge = "G1";
        set.baselineUtc = day(2, 6);
        TriggerLevel value;
        value.rank = 1;
        value.threshold = 3.5;
        TriggerLevel change;
        change.rank = 2;
        change.quantity = LevelQuantity::Change;
        change.threshold = 2.5;
        set.levels = {value, change};
        LevelSet h1Set;
        h1Set.gauge = "H1";
        value.threshold = 1100;
        h1Set.levels = {value};
        ASSERT_TRUE(a.addLevelSets({set, h1Set}, &error)) << error.detail.toStdString();

        const auto g1Reading = [](int d) {
            return Record{"A", "F1", "A001", instrumentTimeText(day(d, 6)), QString::number((2100 + 10 * d) * 10),
                          d == 4 ? "750" : "200"};
        };
        const auto g2Reading = [](int d) {
            return Record{"A", "F1", "A002", instrumentTimeText(day(d, 7)), QString::number((1500 + d) * 10), "200"};
        };
        const CopyOrigin o1{r1->id, ComponentNames{"A", {{"A001", "G1"}, {"A002", "G2"}}}};
        const auto store = [&](const std::vector<Record>& records, qint64 downloaded, const CopyOrigin& origin) {
            Error e;
            EXPECT_TRUE(a.store(records, at(downloaded), origin, &e)) << e.detail.toStdString();
        };
        store({g1Reading(0), g1Reading(1), g1Reading(2), g2Reading(0), g2Reading(1), g2Reading(2)}, day(2, 12), o1);
        store({g1Reading(3), g1Reading(4), g1Reading(5), g2Reading(3), g2Reading(4), g2Reading(5)}, day(5, 12), o1);
        store({g1Reading(6), g1Reading(7), g1Reading(8), g1Reading(9), g2Reading(9)}, day(9, 12), o1);
        store({Record{"A", "F1", "A001", instrumentTimeText(day(4, 8)), "10000", "200"},
               Record{"A", "F1", "A001", instrumentTimeText(day(5, 8)), "12000", "200"}},
              day(5, 13), CopyOrigin{r2->id, ComponentNames{"A", {{"A001", "H1"}}}});

        const std::vector<GaugePoint> points = a.gaugeSeries("G1", day(6, 6), day(6, 6));
        ASSERT_EQ(points.size(), 1u);
        ASSERT_TRUE(a.mask({ReadingRef{points[0].slot, points[0].time, points[0].file}}, "泵试验", &error));

        request.site = "一号坝";
        request.period = Period{day(3), day(9) - 1};
    }

    std::optional<Content> gathered(const Request& r, QString* reason = nullptr, const Progress& progress = {})
    {
        return gather(*temp.archive, r, at(day(20)), progress, reason);
    }

    TempArchive temp;
    Request request;
};

TEST_F(ReportGather, EachGaugesFiguresAreThoseOfItsJudgedReadingsInThePeriod)
{
    QString reason = "unchanged";
    const std::optional<Content> c = gathered(request, &reason);
    ASSERT_TRUE(c) << reason.toStdString();
    EXPECT_TRUE(reason.isEmpty());
    EXPECT_EQ(c->site.name, "一号坝");
    EXPECT_EQ(c->title, "监测报告");
    ASSERT_EQ(c->gauges.size(), 2u);
    // By type, then name: 渗压计 (U+6E17) before 裂缝计 (U+88C2).
    const GaugeReport& g2 = c->gauges[0];
    const GaugeReport& g1 = c->gauges[1];
    ASSERT_EQ(g1.info.name, "G1");
    ASSERT_EQ(g2.info.name, "G2");

    // G1: days 3..8 are in the period (6 readings), day 6 masked, days 4 and 5 flagged.
    EXPECT_EQ(g1.unit, "mm");
    EXPECT_EQ(g1.readings, 6);
    EXPECT_EQ(g1.maskedInPeriod, 1);
    EXPECT_EQ(g1.flaggedInPeriod, 2);
    EXPECT_NEAR(g1.latestValue, 3.60, 1e-9);
    EXPECT_EQ(g1.latestUtc, day(8, 6));
    EXPECT_NEAR(g1.firstValue, 1.30, 1e-9);
    EXPECT_EQ(g1.firstUtc, day(3, 6));
    EXPECT_NEAR(g1.changeOverPeriod, 2.30, 1e-9);
    EXPECT_NEAR(g1.ratePerDay, 2.30 / 5, 1e-9);
    // The baseline the levels name (day 2, before the period) and the change since it.
    EXPECT_NEAR(g1.baselineValue, 1.20, 1e-9);
    EXPECT_EQ(g1.baselineUtc, day(2, 6));
    EXPECT_NEAR(g1.changeSinceBaseline, 2.40, 1e-9);
    EXPECT_EQ(g1.status, 1);
    EXPECT_EQ(g1.statusName, "预警");
    EXPECT_EQ(g1.rule, "预警：数值 ≥ 3.5 mm");
    ASSERT_EQ(g1.versionsUsed.size(), 2u);
    EXPECT_EQ(g1.versionsUsed[0].values.G, 0.01);
    EXPECT_EQ(g1.versionsUsed[1].fromUtc, day(5));
    EXPECT_EQ(g1.readouts, QStringList{"R1"});
    EXPECT_EQ(g1.lastReadingUtc, day(8, 6));
    EXPECT_EQ(g1.overdueDays, 0);
    EXPECT_EQ(g1.trend.time.size(), 6u);

    // G2: no calibration (Hz) and no levels: the baseline is its first reading ever (day 0).
    EXPECT_EQ(g2.unit, "Hz");
    EXPECT_EQ(g2.readings, 3);
    EXPECT_EQ(g2.latestValue, 1505);
    EXPECT_EQ(g2.firstValue, 1503);
    EXPECT_EQ(g2.changeOverPeriod, 2);
    EXPECT_NEAR(g2.ratePerDay, 1.0, 1e-9);
    EXPECT_EQ(g2.baselineValue, 1500);
    EXPECT_EQ(g2.baselineUtc, day(0, 7));
    EXPECT_EQ(g2.changeSinceBaseline, 5);
    EXPECT_EQ(g2.status, 0);
    EXPECT_EQ(g2.statusName, "正常");
    EXPECT_EQ(g2.rule, "");
    EXPECT_TRUE(g2.versionsUsed.empty());
    // Read on day 9 again, but overdue at the period's end: 3 days 16:59:59 after day 5 07:00,
    // with an interval of 1 day.
    EXPECT_EQ(g2.lastReadingUtc, day(5, 7));
    const double since = (3 * kDay + 61199) / double(kDay);
    EXPECT_NEAR(g2.overdueDays, since - 1, 1e-9);
    ASSERT_EQ(c->overdue.size(), 1u);
    EXPECT_EQ(c->overdue[0].gauge, "G2");
    EXPECT_EQ(c->overdue[0].lastUtc, day(5, 7));
    EXPECT_NEAR(c->overdue[0].daysSince, since, 1e-9);

    // Events: G1's 预警 on day 8; not its 报警 on day 9 (after the period), nor H1's (another site).
    ASSERT_EQ(c->events.size(), 1u);
    EXPECT_EQ(c->events[0].gauge, "G1");
    EXPECT_EQ(c->events[0].utc, day(8, 6));
    EXPECT_EQ(c->events[0].to, 1);
    ASSERT_EQ(c->flagged.size(), 2u);
    EXPECT_EQ(c->flagged[0].utc, day(4, 6));
    // 75.0 C: out of range, and a jump from day 3's 20.0 C; day 5 jumps back.
    EXPECT_EQ(c->flagged[0].flags, TemperatureRange | TemperatureJump);
    EXPECT_EQ(c->flagged[0].flagsText, "温度超出范围；温度跳变");
    EXPECT_NEAR(c->flagged[0].value, 1.40, 1e-9);
    EXPECT_EQ(c->flagged[0].unit, "mm");
    EXPECT_EQ(c->flagged[1].flags, TemperatureJump);
    ASSERT_EQ(c->masks.size(), 1u);
    EXPECT_EQ(c->masks[0].utc, day(6, 6));
    EXPECT_EQ(c->masks[0].note, "泵试验");
    // The stores made in the period: R1's of day 5 and R2's (downloads name no readout).
    ASSERT_EQ(c->downloads.size(), 2u);
    EXPECT_EQ(c->downloads[0].at, at(day(5, 12)));
    EXPECT_EQ(c->downloads[1].at, at(day(5, 13)));
    EXPECT_EQ(c->readouts, QStringList{"R1"});
    EXPECT_EQ(c->madeAt, at(day(20)));
    EXPECT_FALSE(c->programVersion.isEmpty());
}

TEST_F(ReportGather, ALaterPeriodAndChosenGauges)
{
    // Days 9 on: G1 at 报警 by its change (3.80 - 1.20 = 2.60 >= 2.5); one reading: no change or rate.
    request.site.clear();
    request.gauges = QStringList{"G1", "H1", "G1"};
    request.period = Period{day(9), day(10) - 1};
    request.reader = "  张工 ";
    request.title = "十一月报告";
    const std::optional<Content> c = gathered(request);
    ASSERT_TRUE(c);
    EXPECT_EQ(c->title, "十一月报告");
    EXPECT_EQ(c->madeBy, "张工");
    EXPECT_TRUE(c->site.name.isEmpty());
    ASSERT_EQ(c->gauges.size(), 2u);
    const GaugeReport& g1 = c->gauges[0];
    EXPECT_EQ(g1.info.name, "G1");
    EXPECT_EQ(g1.status, 2);
    EXPECT_EQ(g1.statusName, "报警");
    EXPECT_EQ(g1.rule, "报警：累计变化 ≥ 2.5 mm");
    EXPECT_NEAR(g1.changeSinceBaseline, 2.60, 1e-9);
    EXPECT_TRUE(std::isnan(g1.changeOverPeriod));
    EXPECT_TRUE(std::isnan(g1.ratePerDay));
    EXPECT_EQ(g1.versionsUsed.size(), 1u);
    // H1: nothing in the period; its last reading before it, its baseline its first reading.
    const GaugeReport& h1 = c->gauges[1];
    EXPECT_EQ(h1.info.name, "H1");
    EXPECT_EQ(h1.readings, 0);
    EXPECT_TRUE(std::isnan(h1.latestValue));
    EXPECT_EQ(h1.latestUtc, 0);
    EXPECT_TRUE(h1.statusName.isEmpty());
    EXPECT_EQ(h1.lastReadingUtc, day(5, 8));
    EXPECT_EQ(h1.baselineValue, 1000);
    EXPECT_TRUE(std::isnan(h1.changeSinceBaseline));
    ASSERT_EQ(c->events.size(), 1u);
    EXPECT_EQ(c->events[0].to, 2);
    EXPECT_TRUE(c->masks.empty());
    EXPECT_TRUE(c->flagged.empty());
}

TEST_F(ReportGather, AGaugeNotReadInThePeriodIsOverdueFromItsLastReadingBefore)
{
    // Days 6 to 8: G2 has no reading there (it was read on day 5 and again on day 9).
    request.gauges = QStringList{"G2"};
    request.period = Period{day(6), day(9) - 1};
    std::optional<Content> c = gathered(request);
    ASSERT_TRUE(c);
    ASSERT_EQ(c->gauges.size(), 1u);
    const GaugeReport& g2 = c->gauges[0];
    EXPECT_EQ(g2.readings, 0);
    EXPECT_TRUE(g2.readouts.isEmpty());
    EXPECT_TRUE(c->readouts.isEmpty());
    EXPECT_EQ(g2.lastReadingUtc, day(5, 7));
    EXPECT_EQ(g2.baselineValue, 1500);
    EXPECT_NEAR(g2.overdueDays, (3 * kDay + 61199) / double(kDay) - 1, 1e-9);

    // Now before the period's end: overdue counted at now; the newest reading counts when it is
    // not after that instant.
    c = gather(*temp.archive, request, at(day(7, 7)));
    ASSERT_TRUE(c);
    EXPECT_NEAR(c->gauges[0].overdueDays, 1.0, 1e-9);
    request.period = Period{day(9), day(12) - 1};
    c = gather(*temp.archive, request, at(day(11, 7)));
    ASSERT_TRUE(c);
    EXPECT_NEAR(c->gauges[0].overdueDays, 1.0, 1e-9);
    ASSERT_EQ(c->overdue.size(), 1u);
    EXPECT_EQ(c->overdue[0].lastUtc, day(9, 7));
}

TEST_F(ReportGather, EnglishWordsTheStatusesRulesFlagsAndTitle)
{
    request.language = "en";
    const std::optional<Content> c = gathered(request);
    ASSERT_TRUE(c);
    EXPECT_EQ(c->title, "Monitoring report");
    EXPECT_EQ(c->gauges[1].statusName, "Alert");
    EXPECT_EQ(c->gauges[1].rule, "Alert: value ≥ 3.5 mm");
    EXPECT_EQ(c->gauges[0].statusName, "Normal");
    EXPECT_EQ(c->flagged[1].flagsText, "temperature jump");
}

TEST_F(ReportGather, RefusesWhatItCannotReport)
{
    QString reason;
    Request r = request;
    r.site = "三号坝";
    EXPECT_FALSE(gathered(r, &reason));
    EXPECT_EQ(reason, "档案中没有工程“三号坝”。");
    r.language = "en";
    EXPECT_FALSE(gathered(r, &reason));
    EXPECT_EQ(reason, "The archive has no site \"三号坝\".");

    r = request;
    r.gauges = QStringList{"G9"};
    EXPECT_FALSE(gathered(r, &reason));
    EXPECT_EQ(reason, "档案中没有测点“G9”。");
    r.gauges = QStringList{"H1"};
    EXPECT_FALSE(gathered(r, &reason));
    EXPECT_EQ(reason, "测点“H1”不属于工程“一号坝”。");

    r = request;
    r.period = Period{day(5), day(5) - 1};
    EXPECT_FALSE(gathered(r, &reason));
    EXPECT_EQ(reason, "报告期间无效：结束早于开始。");
    // A period of one instant is a period.
    r.period = Period{day(5, 7), day(5, 7)};
    const std::optional<Content> c = gathered(r, &reason);
    ASSERT_TRUE(c);
    EXPECT_EQ(c->gauges[0].readings, 1);
}

TEST_F(ReportGather, AnArchiveThatCannotBeReadIsNotAnEmptyReport)
{
    // The table of readouts taken away behind the archive's back: its reads fail.
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(temp.path).constData(), &db), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(db, "PRAGMA foreign_keys = OFF; DROP TABLE readouts", nullptr, nullptr, nullptr), SQLITE_OK)
        << sqlite3_errmsg(db);
    sqlite3_close(db);
    QString reason;
    request.language = "en";
    EXPECT_FALSE(gathered(request, &reason));
    EXPECT_TRUE(reason.startsWith("The archive cannot be read: ")) << reason.toStdString();
    EXPECT_GT(reason.size(), QString("The archive cannot be read: ").size());
}

TEST_F(ReportGather, AProgressThatSaysStopStopsIt)
{
    std::vector<std::pair<qint64, qint64>> told;
    QString reason = "unchanged";
    const auto stopAtFirst = [&](qint64 done, qint64 total) {
        told.emplace_back(done, total);
        return done < 1;
    };
    EXPECT_FALSE(gathered(request, &reason, stopAtFirst));
    EXPECT_TRUE(reason.isEmpty());
    EXPECT_EQ(told, (std::vector<std::pair<qint64, qint64>>{{0, 2}, {1, 2}}));

    told.clear();
    EXPECT_TRUE(gathered(request, &reason, [&](qint64 done, qint64 total) {
        told.emplace_back(done, total);
        return true;
    }));
    EXPECT_EQ(told, (std::vector<std::pair<qint64, qint64>>{{0, 2}, {1, 2}, {2, 2}}));
}

TEST(ReportPeriod, TheWindowsPeriodsInThePCsZone)
{
    const ZoneScope zone("Asia/Shanghai");
    const QDateTime now = QDateTime::fromSecsSinceEpoch(1796000000, QTimeZone::utc());
    const std::optional<Period> week = periodOf(PeriodKind::Last7Days, now);
    ASSERT_TRUE(week);
    EXPECT_EQ(week->fromUtc, 1796000000 - 7 * 86400);
    EXPECT_EQ(week->toUtc, 1796000000);
    EXPECT_EQ(periodOf(PeriodKind::Last30Days, now)->fromUtc, 1796000000 - 30 * 86400);
    EXPECT_FALSE(periodOf(PeriodKind::Last7Days, QDateTime()));

    // December 2026 in UTC+8: 2026-11-30 16:00:00 to 2026-12-31 15:59:59 UTC, from any day of it.
    const qint64 december = QDateTime(QDate(2026, 11, 30), QTime(16, 0), QTimeZone::utc()).toSecsSinceEpoch();
    const qint64 january = QDateTime(QDate(2026, 12, 31), QTime(16, 0), QTimeZone::utc()).toSecsSinceEpoch();
    for (const QDate& any : {QDate(2026, 12, 1), QDate(2026, 12, 17), QDate(2026, 12, 31)}) {
        const std::optional<Period> month = periodOf(PeriodKind::Month, now, any);
        ASSERT_TRUE(month);
        EXPECT_EQ(month->fromUtc, december);
        EXPECT_EQ(month->toUtc, january - 1);
    }
    EXPECT_FALSE(periodOf(PeriodKind::Month, now, QDate()));

    // The operator's days: the whole `to` day; one day is a period; `to` before `from` is not.
    const std::optional<Period> custom =
        periodOf(PeriodKind::Custom, now, {}, QDate(2026, 12, 1), QDate(2026, 12, 7));
    ASSERT_TRUE(custom);
    EXPECT_EQ(custom->fromUtc, december);
    EXPECT_EQ(custom->toUtc, december + 7 * 86400 - 1);
    const std::optional<Period> one = periodOf(PeriodKind::Custom, now, {}, QDate(2026, 12, 7), QDate(2026, 12, 7));
    ASSERT_TRUE(one);
    EXPECT_EQ(one->toUtc - one->fromUtc, 86400 - 1);
    EXPECT_FALSE(periodOf(PeriodKind::Custom, now, {}, QDate(2026, 12, 8), QDate(2026, 12, 7)));
    EXPECT_FALSE(periodOf(PeriodKind::Custom, now, {}, QDate(), QDate(2026, 12, 7)));
    EXPECT_FALSE(periodOf(PeriodKind::Custom, now, {}, QDate(2026, 12, 1), QDate(2026, 2, 30)));
}

TEST(ReportTexts, NumbersTimesAndZones)
{
    EXPECT_EQ(Texts::number(3.14159, 3), "3.142");
    EXPECT_EQ(Texts::number(-2.5, 2), "-2.50");
    EXPECT_EQ(Texts::number(1234567.891, 1), "1234567.9");
    EXPECT_EQ(Texts::number(12, 0), "12");
    EXPECT_EQ(Texts::number(-0.001, 2), "0.00");
    EXPECT_EQ(Texts::number(NAN), "—");
    EXPECT_EQ(Texts::number(INFINITY), "—");

    {
        const ZoneScope zone("Asia/Shanghai");
        EXPECT_EQ(Texts::time(kFirst + 16 * 3600 + 31 * 60), "2026-11-06 00:31");
        EXPECT_EQ(Texts::date(kFirst + 16 * 3600), "2026-11-06");
        EXPECT_EQ(Texts::zone(kFirst), "UTC+08:00");
        EXPECT_EQ(Texts::time(0), "—");
        EXPECT_EQ(Texts::date(0), "—");
    }
    {
        const ZoneScope zone("America/New_York"); // EST in November, EDT in July
        EXPECT_EQ(Texts::zone(kFirst + 5 * 86400), "UTC-05:00");
        EXPECT_EQ(Texts::zone(1783000000), "UTC-04:00");
        EXPECT_EQ(Texts::time(kFirst + 5 * 86400), "2026-11-09 19:00");
    }
    const ZoneScope zone("Asia/Kolkata");
    EXPECT_EQ(Texts::zone(kFirst), "UTC+05:30");
}

TEST(ReportTexts, TheReportsLanguageWhateverTheWindowSpeaks)
{
    const Texts chinese("zh_CN");
    EXPECT_FALSE(chinese.english());
    EXPECT_EQ(chinese("监测报告"), "监测报告");
    const Texts english("en");
    EXPECT_TRUE(english.english());
    EXPECT_EQ(english("监测报告"), "Monitoring report");
    // A text the catalogue lacks stays as written; an unknown language is Chinese.
    EXPECT_EQ(english("没有这句"), "没有这句");
    EXPECT_FALSE(Texts("fr").english());
    EXPECT_TRUE(Texts("en_GB").english());
}
