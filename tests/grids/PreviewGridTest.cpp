#include "grids/PreviewGrid.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <gtest/gtest.h>

TEST(PreviewGrid, BehavesAsAConsistentModelThroughEveryOperation)
{
    PreviewGrid g;
    QAbstractItemModelTester tester(&g, QAbstractItemModelTester::FailureReportingMode::Fatal);
    g.setCols(4);
    g.setRows(3);
    g.setText(2, 3, "x");
    g.setCols(2);
    g.setRows(5);
    {
        PreviewGrid::Batch batch(g);
        g.clear();
        g.setCols(4);
        g.setRows(1);
        g.adoptArena("abc def");
        g.setSlice(0, 1, 4, 3);
    }
    EXPECT_EQ(g.rowCount(), 1);
    EXPECT_EQ(g.columnCount(), 4);
    EXPECT_EQ(g.data(g.index(0, 1), Qt::DisplayRole).toString(), QStringLiteral("def"));
}

TEST(PreviewGrid, ResizingKeepsCellsAndRefusesWritesOutside)
{
    PreviewGrid g;
    g.setCols(4);
    g.setRows(2);
    EXPECT_TRUE(g.setText(1, 3, "d"));
    EXPECT_TRUE(g.setText(1, 0, "a"));
    EXPECT_FALSE(g.setText(1, 4, "out"));
    EXPECT_FALSE(g.setText(2, 0, "out"));
    EXPECT_FALSE(g.setText(-1, 0, "out"));
    g.setRows(4);
    EXPECT_EQ(g.text(1, 3), "d");
    EXPECT_EQ(g.text(3, 0), "");
    g.setCols(2);
    EXPECT_EQ(g.text(1, 0), "a");
    EXPECT_EQ(g.text(1, 3), "");
    g.setCols(4);
    EXPECT_EQ(g.text(1, 3), ""); // dropped columns do not come back
    g.clear();
    EXPECT_EQ(g.text(1, 0), "");
    EXPECT_EQ(g.rows(), 4);
}

TEST(PreviewGrid, SlicesOutsideTheArenaAreRefused)
{
    PreviewGrid g;
    g.setCols(1);
    g.setRows(1);
    g.adoptArena("abc");
    EXPECT_FALSE(g.setSlice(0, 0, 2, 2));
    EXPECT_FALSE(g.setSlice(0, 0, -1, 1));
    EXPECT_TRUE(g.setSlice(0, 0, 1, 2));
    EXPECT_EQ(g.text(0, 0), "bc");
}

TEST(PreviewGrid, BatchTellsViewsOnceAndSizeChangesAreAnnounced)
{
    PreviewGrid g;
    QSignalSpy resets(&g, &QAbstractItemModel::modelReset);
    QSignalSpy inserts(&g, &QAbstractItemModel::rowsInserted);
    QSignalSpy sizes(&g, &PreviewGrid::sizesChanged);
    {
        PreviewGrid::Batch batch(g);
        g.setCols(4);
        for (int r = 1; r <= 100; ++r)
            g.setRows(r);
        g.setColWidth(0, 1400);
    }
    EXPECT_EQ(resets.count(), 1);
    EXPECT_EQ(inserts.count(), 0);
    EXPECT_EQ(sizes.count(), 1);
    g.setRowHeight(0, 300);
    EXPECT_EQ(sizes.count(), 2);
    EXPECT_EQ(g.rowHeight(0), 300);
    EXPECT_EQ(g.rowHeight(1), -1);
}
