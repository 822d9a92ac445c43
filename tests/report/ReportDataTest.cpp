// Gathering the report from the archive: hand-worked values of a small archive, the periods, the
// refusals and the cancel, the texts in English; and the shared fixture's site as it says.
#include "ReportFixture.h"
#include "report/Report.h"
#include "report/ReportTexts.h"

#include <QTimeZone>
#include <gtest/gtest.h>

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
            if (p.flags)
                EXPECT_EQ(p.flags, OutOfBand) << gauge.toStdString();
        }
    EXPECT_EQ(flagged, 2);
    EXPECT_EQ(masked, 1);
    const std::vector<OverdueGauge> overdue =
        temp.archive->overdue(QDateTime::fromSecsSinceEpoch(kFirst + 30 * 86400, QTimeZone::utc()));
    ASSERT_EQ(overdue.size(), 1u);
    EXPECT_EQ(overdue[0].gauge, "S005");
}

} // namespace
