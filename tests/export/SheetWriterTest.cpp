#include "export/SheetWriter.h"

#include "grids/GridLayouts.h"
#include "grids/PreviewGrid.h"
#include "tests/support/RecordingServer.h"

#include <gtest/gtest.h>

namespace {

class SheetWriterTest : public ::testing::Test {
protected:
    SheetWriterTest()
    {
        server.files["/w.xls"] = {{"Sheet1", {}}, {"Extra", {}}};
        server.install(servers, sheets::kExcel);
    }
    // Writes the grid and returns the saved workbook.
    RecordingServer::Book write(const QString& reply, bool components = false)
    {
        components ? grids::FillYJGrid(grid, reply) : grids::FillGrid(grid, reply);
        auto app = servers.create(sheets::kExcel);
        sheets::Workbook* opened = nullptr;
        SheetWriter::write(grid, *app, "/w.xls", opened);
        EXPECT_NE(opened, nullptr);
        return server.saved.value("/w.xls");
    }
    static QVariant cell(const RecordingServer::Sheet& s, int r, int c)
    {
        const auto it = s.cells.find({r, c});
        return it == s.cells.end() ? QVariant() : it->second;
    }
    static QStringList names(const RecordingServer::Book& b)
    {
        QStringList out;
        for (const auto& s : b)
            out << s.name;
        return out;
    }

    PreviewGrid grid;
    RecordingServer server;
    sheets::Servers servers;
};

} // namespace

TEST_F(SheetWriterTest, CallSequenceForOneRecord)
{
    write("F/1\r\n");
    EXPECT_EQ(server.log, QStringList({"create Excel.Application", "open /w.xls", "visible 0", "sheet Sheet1",
                                       "sheet# 0", "sheet# 1", "name F-1", "text 1 1 编号", "text 1 2 读数", "text 1 3 温度",
                                       "text 1 4 时间", "text 2 1 F/1", "text 2 2 ", "number 2 2 0",
                                       "text 2 3 ", "number 2 3 0", "text 2 4 ", "save", "close 1"}));
}

TEST_F(SheetWriterTest, RecordsOnOneSheetWithNumbersDividedByTen)
{
    const auto book = write("A|1 1234 -52 2026-12-07 10:31:05\r\nA002 12 34 - x\r\nA003 -5.2x &H1F D T\r\n"
                            "A004 12 34\r\nA005 2.5D1 &O17 D T\r\n");
    ASSERT_EQ(names(book), QStringList({"A-1", "Extra"})); // template's other sheets stay after
    const auto& s = book[0];
    EXPECT_EQ(cell(s, 1, 2).toString(), "读数");
    EXPECT_EQ(cell(s, 2, 1).toString(), "A|1");
    EXPECT_DOUBLE_EQ(cell(s, 2, 2).toDouble(), 123.4);
    EXPECT_DOUBLE_EQ(cell(s, 2, 3).toDouble(), -5.2);
    EXPECT_EQ(cell(s, 2, 4).toString(), "2026-12-07 10:31:05");
    EXPECT_DOUBLE_EQ(cell(s, 3, 2).toDouble(), 1.2);
    EXPECT_DOUBLE_EQ(cell(s, 3, 3).toDouble(), 3.4);
    EXPECT_EQ(cell(s, 3, 4).toString(), "- x");
    EXPECT_DOUBLE_EQ(cell(s, 4, 2).toDouble(), -0.52); // "-5.2x"
    EXPECT_DOUBLE_EQ(cell(s, 4, 3).toDouble(), 3.1);   // "&H1F"
    EXPECT_EQ(cell(s, 5, 2).typeId(), QMetaType::Double);
    EXPECT_DOUBLE_EQ(cell(s, 5, 2).toDouble(), 123.4); // three fields: "12 34" shares a cell
    EXPECT_DOUBLE_EQ(cell(s, 5, 3).toDouble(), 0);     // empty
    EXPECT_DOUBLE_EQ(cell(s, 6, 2).toDouble(), 2.5);   // "2.5D1"
    EXPECT_DOUBLE_EQ(cell(s, 6, 3).toDouble(), 1.5);   // "&O17"
}

TEST_F(SheetWriterTest, SectionsAtRowsFiveAndNine)
{
    QString reply = "FILE1\r\n";
    for (int i = 2; i <= 4; ++i)
        reply += QStringLiteral("A00%1 100 200 D T\r\n").arg(i);
    reply += "FILE2\r\n";
    for (int i = 6; i <= 8; ++i)
        reply += QStringLiteral("B00%1 100 200 D T\r\n").arg(i);
    reply += "FILE<3>\r\nC009 1 2 D T\r\n";
    const auto book = write(reply);
    ASSERT_EQ(names(book), QStringList({"FILE1", "FILE2", "FILE<3>", "Extra"})); // sections keep their names
    // first sheet: grid rows 1..4 in sheet rows 2..5
    EXPECT_EQ(cell(book[0], 5, 1).toString(), "A004");
    EXPECT_FALSE(cell(book[0], 6, 1).isValid());
    // second: the section row in row 2 (0 in the numeric columns), records from row 3
    EXPECT_EQ(cell(book[1], 1, 1).toString(), "编号");
    EXPECT_EQ(cell(book[1], 2, 1).toString(), "FILE2");
    EXPECT_DOUBLE_EQ(cell(book[1], 2, 2).toDouble(), 0);
    EXPECT_EQ(cell(book[1], 3, 1).toString(), "B006");
    EXPECT_EQ(cell(book[1], 5, 1).toString(), "B008");
    EXPECT_EQ(cell(book[2], 3, 1).toString(), "C009");
    EXPECT_TRUE(server.log.contains("add after FILE1"));
    EXPECT_TRUE(server.log.contains("add after FILE2"));
}

TEST_F(SheetWriterTest, EmptyNamesTheServerRefusesFailTheWrite)
{
    // an empty first cell names the first sheet ""; an empty line after row 1 starts a section
    // whose name is empty
    for (const QString& reply : {QString("\r\nA001 1 2 D T\r\n"), QString("F1\r\nA001 1 2 D T\r\n\r\n")}) {
        server.saved.clear();
        EXPECT_THROW(write(reply), sheets::Error) << reply.toStdString();
        EXPECT_TRUE(server.saved.isEmpty());
    }
}

TEST_F(SheetWriterTest, EveryFileGetsAWorksheetOfItsOwn)
{
    // names the instrument accepts for files but a worksheet cannot carry, twice the same name
    // (in another case), the name of a sheet of the template, the reserved name, long names
    const auto book = write("F1:[a]\r\nA001 1 2 D T\r\n"
                            "'q'\r\nA002 1 2 D T\r\n"
                            "f1:[A]\r\nA003 1 2 D T\r\n"
                            "extra\r\nA004 1 2 D T\r\n"
                            "History\r\nA005 1 2 D T\r\n"
                            "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789\r\nA006 1 2 D T\r\n"
                            "ABCDEFGHIJKLMNOPQRSTUVWXYZ012345xyz\r\nA007 1 2 D T\r\n"
                            "a*b?c\\d/e\r\nA008 1 2 D T\r\n");
    EXPECT_EQ(names(book), QStringList({"F1--a-", "-q-", "f1--A--2", "extra-2", "History-2",
                                        "ABCDEFGHIJKLMNOPQRSTUVWXYZ01234", "ABCDEFGHIJKLMNOPQRSTUVWXYZ012-2",
                                        "a-b-c-d-e", "Extra"}));
    EXPECT_EQ(cell(book[2], 3, 1).toString(), "A003");   // each section still gets its own rows
    EXPECT_EQ(cell(book[2], 2, 1).toString(), "f1:[A]"); // the cell keeps the file's name
}

TEST(SheetName, CutsWithoutBreakingACharacterOrLeavingAnApostrophe)
{
    const QString thirty(30, QLatin1Char('x'));
    EXPECT_EQ(SheetWriter::sheetName(thirty + QString::fromUcs4(U"𠀀"), {}), thirty);
    EXPECT_EQ(SheetWriter::sheetName(thirty + "'b", {}), thirty + "-");
    EXPECT_EQ(SheetWriter::sheetName("'", {}), "-");
    EXPECT_EQ(SheetWriter::sheetName(QStringLiteral("温度\t记录"), {}), QStringLiteral("温度-记录"));
    EXPECT_EQ(SheetWriter::sheetName(thirty + "x", {thirty + "X"}), QString(29, QLatin1Char('x')) + "-2");
    EXPECT_EQ(SheetWriter::sheetName("A", {"a", "A-2", "a-3"}), "A-4");
    // a cut suffix base never ends in half a character
    EXPECT_EQ(SheetWriter::sheetName(QString(28, QLatin1Char('y')) + QString::fromUcs4(U"𠀀"), {QString(28, QLatin1Char('y')) + QString::fromUcs4(U"𠀀")}),
              QString(28, QLatin1Char('y')) + "-2");
}

TEST(SheetRows, AGridLongerThanAWorksheetIsFoundBeforeWriting)
{
    // a header row and 65,535 records fill a worksheet exactly; one more does not fit
    PreviewGrid grid;
    QString reply = "FIRST\r\n";
    for (int i = 1; i < 65535; ++i)
        reply += "A001 1 2 D T\r\n";
    grids::FillGrid(grid, reply);
    ASSERT_EQ(grid.rows(), 65536);
    EXPECT_FALSE(SheetWriter::tooLongForXls(grid));
    grids::FillGrid(grid, reply + "A001 1 2 D T\r\n");
    const auto tooLong = SheetWriter::tooLongForXls(grid);
    ASSERT_TRUE(tooLong);
    EXPECT_EQ(tooLong->name, "FIRST");
    EXPECT_EQ(tooLong->rows, 65537);

    // the same counted per section: a short first file, then one too long
    QString two = "SHORT\r\nA001 1 2 D T\r\nLONG\r\n";
    for (int i = 1; i < 65535; ++i)
        two += "A001 1 2 D T\r\n";
    grids::FillGrid(grid, two);
    EXPECT_FALSE(SheetWriter::tooLongForXls(grid)); // LONG: header, its own row, 65,534 records
    grids::FillGrid(grid, two + "A001 1 2 D T\r\n");
    const auto second = SheetWriter::tooLongForXls(grid);
    ASSERT_TRUE(second);
    EXPECT_EQ(second->name, "LONG");
    EXPECT_EQ(second->rows, 65537);
}

TEST_F(SheetWriterTest, TwoColumnGridIsTextOnly)
{
    const auto book = write("A001=N1\r\n\r\nA003=N3\r\n", /*components=*/true);
    ASSERT_EQ(names(book), QStringList({"1", "Extra"}));
    EXPECT_EQ(cell(book[0], 1, 1).toString(), "序号");
    EXPECT_EQ(cell(book[0], 3, 2).toString(), "");
    EXPECT_EQ(cell(book[0], 4, 2).toString(), "A003=N3");
    for (const QString& entry : server.log)
        EXPECT_FALSE(entry.startsWith("number") || entry.startsWith("add")) << entry.toStdString();
}
