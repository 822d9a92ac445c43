// Component lists as the command line reads them: text lines and workbooks, checked as the
// editor checks them, plus the partition the operator named.
#include "cli/ComponentInput.h"

#include "export/Automation.h"
#include "export/BuiltinServer.h"
#include "grids/PreviewGrid.h"
#include "tests/support/GridRows.h"

#include <QBuffer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace cli;

TEST(CliComponentInput, TextLinesBecomeNumberedRowsBlankLinesLeftOut)
{
    PreviewGrid grid;
    EXPECT_FALSE(fillFromLines(grid, "A001=N1\r\n\n   \nA002=N2\nA010=Z"));
    EXPECT_EQ(rowsOf(grid), QStringList({"序号|元件名", "1|A001=N1", "2|A002=N2", "3|A010=Z"}));
    const ListCheck checked = checkList(grid, "A");
    ASSERT_TRUE(checked.fault.isEmpty()) << checked.fault.toStdString();
    ASSERT_EQ(checked.entries.size(), 3u);
    EXPECT_EQ(checked.entries[2].code, "A010");
    EXPECT_EQ(checked.entries[2].name, "Z");
}

TEST(CliComponentInput, TheEditorsCheckDecides)
{
    PreviewGrid grid;
    fillFromLines(grid, "A001=OK1\nA201=TOOHIGH\n");
    EXPECT_EQ(checkList(grid, "A").fault, "第2行元件编号错误，请输入如：*001的编号，最大值为*200，*为大写A-J ！");
    fillFromLines(grid, "A001\n");
    EXPECT_EQ(checkList(grid, "A").fault, "表格中有元件编号不符合要求，如：第1行，请检查修正！");
    fillFromLines(grid, "A001=ELEVENCHARS\n");
    EXPECT_FALSE(checkList(grid, "A").fault.isEmpty());
    fillFromLines(grid, "\n\n");
    EXPECT_EQ(checkList(grid, "A").fault, "元件编号列表为空，没有可写入的内容！");
    EXPECT_TRUE(checkList(grid, "A").entries.empty());
}

TEST(CliComponentInput, EveryCodeMustBelongToTheNamedPartition)
{
    PreviewGrid grid;
    fillFromLines(grid, "B001=X\nB002=Y\nC003=Z\n");
    const ListCheck checked = checkList(grid, "B");
    EXPECT_EQ(checked.fault, "第3行元件编号 C003 不属于分区 B，请检查修正！");
    EXPECT_TRUE(checked.entries.empty());
}

TEST(CliComponentInput, ListsLongerThanTheEditorImportsAreRefused)
{
    QByteArray text;
    for (int i = 1; i <= kMaxListEntries; ++i)
        text += QStringLiteral("A%1=N%2\n").arg(i % 200 + 1, 3, 10, QChar('0')).arg(i).toUtf8();
    PreviewGrid grid;
    EXPECT_FALSE(fillFromLines(grid, text));
    EXPECT_EQ(grid.rows(), kMaxListEntries + 1);
    EXPECT_TRUE(fillFromLines(grid, text + "A001=ONEMORE\n").has_value());
}

TEST(CliComponentInput, WorkbookFirstSheetThroughTheBuiltinEngine)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("list.xlsx");
    QProcess python;
    python.start(QStringLiteral(SYSTEM_PYTHON3),
                 {"-c",
                  "import sys, openpyxl\n"
                  "wb = openpyxl.Workbook(); ws = wb.active; ws.title = 'first'\n"
                  "ws['A1'] = '序号'; ws['B1'] = '元件名'\n"
                  "ws['B2'] = 'A001=N1'; ws['B4'] = 'A003=N3'\n"
                  "other = wb.create_sheet('second'); other['B2'] = 'A099=NOT_THIS'\n"
                  "wb.save(sys.argv[1])\n",
                  path});
    python.waitForFinished(60000);
    ASSERT_EQ(python.exitCode(), 0) << python.readAllStandardError().toStdString();

    sheets::Servers servers;
    servers.add(sheets::kBuiltin, [] { return sheets::createBuiltinApplication(); });
    QBuffer none;
    none.open(QIODevice::ReadOnly);
    PreviewGrid grid;
    ASSERT_FALSE(loadComponentList(path, grid, servers, none));
    EXPECT_EQ(rowsOf(grid), QStringList({"序号|元件名", "1|A001=N1", "2|A003=N3"}));

    // not a workbook at all: the editor's words
    QFile bogus(dir.filePath("bogus.xls"));
    ASSERT_TRUE(bogus.open(QIODevice::WriteOnly));
    bogus.write("not a workbook");
    bogus.close();
    const std::optional<QString> why = loadComponentList(bogus.fileName(), grid, servers, none);
    ASSERT_TRUE(why.has_value());
    EXPECT_EQ(*why, "Varnok提示：该文件不是EXCEL工作簿（.xls或.xlsx）。\r\n请稍后重试！");

    // a text list that is not there
    const std::optional<QString> missing = loadComponentList(dir.filePath("none.txt"), grid, servers, none);
    ASSERT_TRUE(missing.has_value());
    EXPECT_TRUE(missing->contains("找不到该文件或文件夹")) << missing->toStdString();

    // standard input
    QBuffer input;
    input.setData("A002=FROMSTDIN\n");
    input.open(QIODevice::ReadOnly);
    ASSERT_FALSE(loadComponentList("-", grid, servers, input));
    EXPECT_EQ(rowsOf(grid), QStringList({"序号|元件名", "1|A002=FROMSTDIN"}));
}
