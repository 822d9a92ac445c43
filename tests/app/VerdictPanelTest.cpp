// What the verdict panel lists after a copy and the preview rows it marks: the gauges in order,
// worst first, the headline, and the rows of the marked records found by file, code and time.
#include "app/PreviewMarks.h"
#include "app/VerdictModel.h"
#include "app/VerdictPanel.h"
#include "grids/GridLayouts.h"
#include "grids/PreviewGrid.h"
#include "grids/ReadingLayout.h"

#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTreeWidget>
#include <gtest/gtest.h>

using namespace archive;

namespace {

GaugeStatus status(const QString& gauge, int rank, const QString& name)
{
    GaugeStatus s;
    s.gauge = gauge;
    s.status = rank;
    s.statusName = name;
    s.lastValue = 1;
    s.unit = "mm";
    return s;
}

// Four gauges changed (one back to normal) and two more with flagged readings only.
Verdict sample()
{
    Verdict v;
    v.changed = {status("P-2", 1, "预警"), status("P-9", 0, "正常"), status("P-4", 3, "控制"), status("P-1", 2, "报警"),
                 status("P-3", 2, "报警")};
    LevelEvent older;
    older.gauge = "P-4";
    older.utc = 100;
    older.time = 1'767'254'400; // 2026-01-01 08:00:00 on the readout's clock
    older.value = 12.5;
    older.unit = "mm";
    older.from = 0;
    older.to = 2;
    older.rule = "报警：测值 ≥ 12 mm";
    older.toName = "报警";
    LevelEvent newer = older;
    newer.utc = 200;
    newer.time = older.time + 3600;
    newer.value = 18.25;
    newer.from = 2;
    newer.to = 3;
    newer.rule = "控制：测值 ≥ 18 mm";
    newer.toName = "控制";
    v.events = {newer, older};
    v.flagged = 4;
    v.flaggedGauges = {"Q-7", "P-1", "Q-2"};
    return v;
}

} // namespace

TEST(VerdictModel, ListsTheChangedGaugesWorstFirstThenTheFlaggedOnes)
{
    const std::vector<verdictmodel::Row> rows = verdictmodel::rows(sample());
    QStringList order;
    for (const verdictmodel::Row& r : rows)
        order << r.gauge;
    // Control, alarm (by name), warning, back to normal; then flagged only, by name (P-1 is among
    // the changed ones and not listed twice).
    EXPECT_EQ(order, (QStringList{"P-4", "P-1", "P-3", "P-2", "P-9", "Q-2", "Q-7"}));
    // P-4 is shown at its latest transition among the new readings.
    EXPECT_EQ(rows[0].status, 3);
    EXPECT_EQ(rows[0].from, 2);
    EXPECT_DOUBLE_EQ(rows[0].value, 18.25);
    EXPECT_EQ(rows[0].rule, "控制：测值 ≥ 18 mm");
    EXPECT_EQ(verdictmodel::valueText(rows[0]), "18.25 mm");
    EXPECT_EQ(verdictmodel::timeText(rows[0]), "2026-01-01 09:00:00");
    EXPECT_EQ(verdictmodel::statusText(rows[0]), "控制");
    EXPECT_TRUE(rows[1].flagged && rows[1].changed);
    EXPECT_FALSE(rows[5].changed);
    EXPECT_TRUE(rows[5].flagged);
    EXPECT_EQ(verdictmodel::valueText(rows[5]), "");
}

TEST(VerdictModel, TheHeadlineCountsTheGaugesAtAlarmAndTheFlaggedReadings)
{
    EXPECT_EQ(verdictmodel::headline(sample()),
              "3 个测点超过报警值（其中 1 个超过控制值），1 个测点达到预警值，1 个测点恢复正常，4 条读数有质量标记（3 个测点）");
    Verdict onlyAlarm;
    onlyAlarm.changed = {status("A", 2, "报警"), status("B", 2, "报警"), status("C", 2, "报警")};
    EXPECT_EQ(verdictmodel::headline(onlyAlarm), "3 个测点超过报警值");
    EXPECT_TRUE(verdictmodel::worthShowing(onlyAlarm));
    EXPECT_FALSE(verdictmodel::worthShowing(Verdict{}));
    EXPECT_EQ(verdictmodel::headline(Verdict{}), "没有测点状态改变，读数没有质量标记");
}

TEST(VerdictPanel, OnePanelServesEachCopyAndAsksForTheChosenGauge)
{
    VerdictPanel panel;
    QSignalSpy chosen(&panel, &VerdictPanel::gaugeChosen);
    panel.show(sample(), "分区 A 的拷贝");
    EXPECT_FALSE(panel.isModal());
    EXPECT_TRUE(panel.isVisible());
    ASSERT_EQ(panel.list->topLevelItemCount(), 7);
    EXPECT_EQ(panel.list->topLevelItem(0)->text(VerdictPanel::GaugeColumn), "P-4");
    EXPECT_EQ(panel.list->topLevelItem(4)->text(VerdictPanel::RuleColumn), "恢复正常");
    EXPECT_TRUE(panel.headline->text().startsWith("3 个测点超过报警值"));
    panel.list->setCurrentItem(panel.list->topLevelItem(2));
    panel.viewButton->click();
    ASSERT_EQ(chosen.count(), 1);
    EXPECT_EQ(chosen.at(0).at(0).toString(), "P-3");

    // The next copy replaces what is listed.
    Verdict next;
    next.changed = {status("Z-1", 1, "预警")};
    panel.show(next, "分区 B 的拷贝");
    ASSERT_EQ(panel.list->topLevelItemCount(), 1);
    EXPECT_EQ(panel.list->topLevelItem(0)->text(VerdictPanel::GaugeColumn), "Z-1");
    emit panel.list->itemActivated(panel.list->topLevelItem(0), 0);
    ASSERT_EQ(chosen.count(), 2);
    EXPECT_EQ(chosen.at(1).at(0).toString(), "Z-1");
}

TEST(PreviewMarks, MarkTheRowsOfTheMarkedRecordsByFileCodeAndTime)
{
    PreviewGrid grid;
    grids::Ini_Grid(grid);
    // A partition of two files, each with A001 at the same time; a record without a temperature.
    grids::FillGrid(grid, "F1\r\n"
                          "A001 28461 241 2026-11-06 10:02:00\r\n"
                          "A002 27000 240 2026-11-06 10:02:00\r\n"
                          "F2\r\n"
                          "A001 28500 242 2026-11-06 10:02:00\r\n"
                          "A001 28600 2026-11-06 11:02:00\r\n");
    ASSERT_EQ(grid.text(4, ReadingLayout::kCode), "F2");
    const qint64 ten = *ReadingLayout::timeOf(QStringLiteral("2026-11-06 10:02:00"));
    const qint64 eleven = ten + 3600;
    const std::vector<MarkedRecord> marked{
        {"A", "F2", "A001", ten, 2, 0},         // row 5, not row 2
        {"A", "F2", "A001", eleven, 0, Step},   // row 6: its time in the temperature's place
        {"A", "F1", "A002", ten, 1, OutOfBand}, // row 3
        {"B", "F1", "A001", ten, 3, 0},         // another partition: not this copy
        {"A", "F3", "A001", ten, 3, 0},         // no such file
        {"A", "F1", "A001", ten + 1, 3, 0},     // no such time
    };
    PreviewMarks marks;
    marks.mark(grid, "A", marked);
    EXPECT_EQ(marks.count(), 3u);
    EXPECT_EQ(marks.at(2), nullptr); // F1's A001 at the same time as F2's
    ASSERT_NE(marks.at(5), nullptr);
    EXPECT_EQ(marks.at(5)->status, 2);
    ASSERT_NE(marks.at(6), nullptr);
    EXPECT_EQ(marks.at(6)->status, 0);
    EXPECT_EQ(marks.at(6)->flags, Step);
    ASSERT_NE(marks.at(3), nullptr);
    EXPECT_EQ(marks.at(3)->status, 1);
    EXPECT_EQ(marks.at(3)->flags, OutOfBand);
    EXPECT_EQ(marks.at(4), nullptr); // the name row of F2
    EXPECT_EQ(PreviewMarks::toolTip(*marks.at(3)), "状态：预警\n质量标记：频率超出范围");

    // A copy of one file: its section has no name row, and its records' file is empty.
    grids::FillGrid(grid, "A001 28461 241 2026-11-06 10:02:00\r\n");
    marks.mark(grid, "A", {{"A", "", "A001", ten, 1, 0}});
    ASSERT_NE(marks.at(1), nullptr);
    EXPECT_EQ(marks.at(1)->status, 1);
    marks.clear();
    EXPECT_EQ(marks.at(1), nullptr);
}
