#include "grids/GridLayouts.h"
#include "grids/PreviewGrid.h"
#include "platform/WireText.h"

#include <QStringList>
#include <gtest/gtest.h>

using namespace grids;

namespace {

QStringList row(const PreviewGrid& g, int r)
{
    QStringList out;
    for (int c = 0; c < g.cols(); ++c)
        out << g.text(r, c);
    return out;
}

const QStringList kReadingHeader = {"编号", "读数", "温度", "时间"};
const QStringList kComponentHeader = {"序号", "元件名"};

} // namespace

TEST(ReadingGrid, InitialLayout)
{
    PreviewGrid g;
    Ini_Grid(g);
    EXPECT_EQ(g.rows(), 1);
    EXPECT_EQ(g.cols(), 4);
    EXPECT_EQ(row(g, 0), kReadingHeader);
    EXPECT_EQ(g.rowHeight(0), 300);
    EXPECT_EQ(QList<int>({g.colWidth(0), g.colWidth(1), g.colWidth(2), g.colWidth(3)}),
              QList<int>({1400, 800, 600, 1400}));
}

TEST(ReadingGrid, PlacementByFieldCount)
{
    PreviewGrid g;
    FillGrid(g, "\r\n"              // 0 fields
                "a\r\n"             // 1
                "a b\r\n"           // 2
                "a b c\r\n"         // 3
                "a b c d\r\n"       // 4
                "X1 2 3 D T\r\n"    // 5
                "X1  2 3 D T\r\n"   // 6, the second one empty
                "a b c d e f g\r\n" // 7
                " x\r\n");          // leading space: empty first field
    ASSERT_EQ(g.rows(), 10);
    EXPECT_EQ(row(g, 0), kReadingHeader);
    EXPECT_EQ(row(g, 1), QStringList({"", "", "", ""}));
    EXPECT_EQ(row(g, 2), QStringList({"a", "", "", ""}));
    EXPECT_EQ(row(g, 3), QStringList({"a b", "", "", ""}));
    EXPECT_EQ(row(g, 4), QStringList({"a", "b c", "", ""}));
    EXPECT_EQ(row(g, 5), QStringList({"a", "b", "c d", ""}));
    EXPECT_EQ(row(g, 6), QStringList({"X1", "2", "3", "D T"}));
    EXPECT_EQ(row(g, 7), QStringList({"X1", "", "2", "3"}));
    EXPECT_EQ(row(g, 8), QStringList({"a", "b", "c", "d"}));
    EXPECT_EQ(row(g, 9), QStringList({" x", "", "", ""}));
}

TEST(ReadingGrid, OnlyTerminatedLinesAreRecords)
{
    PreviewGrid g;
    FillGrid(g, "A001 1 2 D T\r\nA002 3 4 D T");
    ASSERT_EQ(g.rows(), 2);
    EXPECT_EQ(row(g, 1), QStringList({"A001", "1", "2", "D T"}));

    FillGrid(g, "no line end at all");
    EXPECT_EQ(g.rows(), 1);
    EXPECT_EQ(row(g, 0), kReadingHeader);

    // A lone CR or LF is part of a line's text, not a line end.
    FillGrid(g, "a\rb\nc\r\n");
    ASSERT_EQ(g.rows(), 2);
    EXPECT_EQ(g.text(1, 0), QStringLiteral("a\rb\nc"));
}

TEST(ReadingGrid, TextIsKeptExactlyIncludingNonAscii)
{
    PreviewGrid g;
    FillGrid(g, QStringLiteral("测点1 -052 0235 2026-12-07 10:31:05\r\n"));
    EXPECT_EQ(row(g, 1), QStringList({"测点1", "-052", "0235", "2026-12-07 10:31:05"}));
}

TEST(ReadingGrid, FromTheLineAsFromTheDecodedText)
{
    // "测点1" in GBK, and bytes that are no valid GBK at all: the same cells either way.
    for (const QByteArray& wire : {QByteArray("\xB2\xE2\xB5\xE3"
                                              "1 -052 0235 2026-12-07 10:31:05\r\n"),
                                   QByteArray("\xFF\x80x 1 2 D T\r\nA001 3 4 D T\r\n")}) {
        PreviewGrid fromText;
        PreviewGrid fromWire;
        FillGrid(fromText, WireText::decode(wire));
        FillGridFromWire(fromWire, wire);
        ASSERT_EQ(fromWire.rows(), fromText.rows());
        for (int r = 0; r < fromText.rows(); ++r)
            EXPECT_EQ(row(fromWire, r), row(fromText, r)) << r;
    }
    PreviewGrid g;
    FillGridFromWire(g, QByteArray("\xB2\xE2\xB5\xE3"
                                   "1 -052 0235 D T\r\n"));
    EXPECT_EQ(g.text(1, 0), QStringLiteral("测点1"));
}

TEST(ReadingGrid, EachFillStartsFromAClearedGrid)
{
    PreviewGrid g;
    FillGrid(g, "a 1 2 D T\r\nb 1 2 D T\r\nc 1 2 D T\r\n");
    FillGrid(g, "z\r\n");
    ASSERT_EQ(g.rows(), 2);
    EXPECT_EQ(row(g, 1), QStringList({"z", "", "", ""}));
}

TEST(ComponentGrid, NumbersEveryTerminatedLineAndKeepsItWhole)
{
    PreviewGrid g;
    FillYJGrid(g, "A001=QRVA000001\r\n\r\nA003 = two words \r\ntail");
    ASSERT_EQ(g.rows(), 4);
    EXPECT_EQ(g.cols(), 2);
    EXPECT_EQ(row(g, 0), kComponentHeader);
    EXPECT_EQ(row(g, 1), QStringList({"1", "A001=QRVA000001"}));
    EXPECT_EQ(row(g, 2), QStringList({"2", ""}));
    EXPECT_EQ(row(g, 3), QStringList({"3", "A003 = two words "}));
    EXPECT_EQ(g.rowHeight(0), 300);
    EXPECT_EQ(g.colWidth(0), 500);
    EXPECT_EQ(g.colWidth(1), 3000);

    FillYJGrid(g, "no terminator");
    EXPECT_EQ(g.rows(), 1);
    EXPECT_EQ(row(g, 0), kComponentHeader);
}

TEST(PreviewLayouts, SwitchBetweenTwoAndFourColumns)
{
    PreviewGrid g;
    FillGrid(g, "a b c d e\r\n");
    FillYJGrid(g, "A001=N\r\n");
    EXPECT_EQ(g.cols(), 2);
    EXPECT_EQ(row(g, 1), QStringList({"1", "A001=N"}));
    FillGrid(g, "x 1 2 D T\r\n");
    EXPECT_EQ(g.cols(), 4);
    EXPECT_EQ(row(g, 0), kReadingHeader);
    EXPECT_EQ(row(g, 1), QStringList({"x", "1", "2", "D T"}));
    EXPECT_EQ(g.colWidth(0), 1400);
}

TEST(ReadingGrid, CarriesAMillionRecords)
{
    QString reply;
    const QString line = QStringLiteral("A001 28456 235 2026-12-07 10:31:05\r\n");
    reply.reserve(line.size() * 1'000'000);
    for (int i = 0; i < 1'000'000; ++i)
        reply += line;
    PreviewGrid g;
    FillGrid(g, reply);
    ASSERT_EQ(g.rows(), 1'000'001);
    EXPECT_EQ(row(g, 1'000'000), QStringList({"A001", "28456", "235", "2026-12-07 10:31:05"}));
}
