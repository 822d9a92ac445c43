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

TEST(PreviewGrid, CellsFarFromTheirRowKeepTheirTextThroughEdits)
{
    // A long arena: slices at its start and at its end share rows, and a text longer than a
    // 16-bit length is set beside short ones.
    PreviewGrid g;
    g.setCols(3);
    g.setRows(4);
    QByteArray arena(200000, '.');
    arena.replace(0, 3, "abc");
    arena.replace(150000, 3, "xyz");
    g.adoptArena(arena);
    ASSERT_TRUE(g.setSlice(1, 0, 150000, 3));
    ASSERT_TRUE(g.setSlice(1, 1, 0, 3));      // before the row's first cell
    ASSERT_TRUE(g.setSlice(1, 2, 0, 100000)); // longer than 65535 bytes
    const QString longText(70000, QChar(u'长'));
    ASSERT_TRUE(g.setText(2, 1, QStringLiteral("近")));
    ASSERT_TRUE(g.setText(2, 0, longText));
    ASSERT_TRUE(g.setText(2, 2, QStringLiteral("后")));
    EXPECT_EQ(g.text(1, 0), "xyz");
    EXPECT_EQ(g.text(1, 1), "abc");
    EXPECT_EQ(g.utf8(1, 2).size(), 100000);
    EXPECT_EQ(g.text(2, 0), longText);
    EXPECT_EQ(g.text(2, 1), "近");
    EXPECT_EQ(g.text(2, 2), "后");

    // Overwriting a far cell with a near one, and emptying one.
    ASSERT_TRUE(g.setSlice(1, 1, 150001, 2));
    ASSERT_TRUE(g.setText(1, 2, QString()));
    EXPECT_EQ(g.text(1, 1), "yz");
    EXPECT_EQ(g.text(1, 2), "");

    // A change of column count keeps every cell; dropping rows drops their cells for good.
    g.setCols(5);
    EXPECT_EQ(g.text(1, 0), "xyz");
    EXPECT_EQ(g.text(1, 1), "yz");
    EXPECT_EQ(g.text(2, 0), longText);
    g.setCols(2);
    EXPECT_EQ(g.text(2, 1), "近");
    g.setRows(2);
    g.setRows(4);
    EXPECT_EQ(g.text(2, 0), "");
    EXPECT_EQ(g.text(2, 1), "");
    EXPECT_EQ(g.text(1, 0), "xyz");
    g.clear();
    EXPECT_EQ(g.text(1, 0), "");
    ASSERT_TRUE(g.setText(1, 0, QStringLiteral("新")));
    EXPECT_EQ(g.text(1, 0), "新");
}
