// The .xlsx save gives the same workbook as the .xls save (worksheets, names, every cell), read
// back by the engine and by openpyxl; and a failed or cancelled save leaves the old file.
#include "export/XlsxExport.h"

#include "export/Automation.h"
#include "export/BuiltinServer.h"
#include "export/SheetWriter.h"
#include "grids/GridLayouts.h"
#include "grids/PreviewGrid.h"
#include "tests/support/FileBytes.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <workbook/workbook.h>

namespace {

// Every worksheet as name and "row,col=text" cells, as the engine reads it.
QStringList contents(const QString& path)
{
    auto book = workbook::Workbook::open(path.toStdString());
    if (!book)
        return {QString::fromStdString("cannot open: " + book.error().description())};
    QStringList out;
    for (std::size_t i = 0; i < book->sheetCount(); ++i) {
        out << "sheet " + QString::fromStdString(book->sheet(i).name());
        book->sheet(i).forEachCell([&](int r, int c, const std::string& text) {
            out << QStringLiteral("%1,%2=%3").arg(r).arg(c).arg(QString::fromStdString(text));
        });
    }
    return out;
}

using testing_files::bytesOf;

class XlsxExportTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // Two files of a partition copy, a Chinese name, a name a worksheet cannot carry, and
        // a file named like the first.
        grids::FillGrid(grid, QStringLiteral("测点[1]:a\r\nA001 1234 -52 2026-12-07 10:31:05\r\nA002 -0015 0235 D T\r\n"
                                             "B2\r\nB001 x 7 D T\r\n测点[1]:a\r\nC001 1 2 D T\r\n"));
    }
    QTemporaryDir dir;
    PreviewGrid grid;
};

} // namespace

TEST_F(XlsxExportTest, TheSameWorkbookAsTheXlsSave)
{
    sheets::Servers servers;
    servers.add(sheets::kBuiltin, [] { return sheets::createBuiltinApplication(); });
    const QString xls = dir.filePath("p.xls");
    ASSERT_FALSE(SheetWriter::save(grid, servers, sheets::kBuiltin, SheetWriter::FailurePath::CloseAndReport,
                                   QStringLiteral(KTM_TEMPLATE_PATH), xls));
    const QString xlsx = dir.filePath("p.xlsx");
    ASSERT_EQ(XlsxExport::save(grid, xlsx), std::nullopt);

    // The template's other worksheets are the .xls file's own; the grid's worksheets come first.
    const QStringList fromXls = contents(xls);
    const QStringList fromXlsx = contents(xlsx);
    ASSERT_FALSE(fromXlsx.isEmpty());
    EXPECT_EQ(fromXlsx, fromXls.mid(0, fromXlsx.size()));
    EXPECT_EQ(fromXlsx.filter("sheet "), QStringList({"sheet 测点-1--a", "sheet B2", "sheet 测点-1--a-2"}));

    // An independent reader: numbers are numbers, texts are texts, in every worksheet.
    QProcess python;
    python.start(QStringLiteral(SYSTEM_PYTHON3),
                 {"-c", "import json,sys,openpyxl\n"
                        "wb=openpyxl.load_workbook(sys.argv[1])\n"
                        "print(json.dumps([[ws.title,[[c for c in r] for r in ws.iter_rows(values_only=True)]] for ws in wb]))",
                  xlsx});
    ASSERT_TRUE(python.waitForFinished(60000));
    const QJsonArray sheets = QJsonDocument::fromJson(python.readAllStandardOutput()).array();
    ASSERT_EQ(sheets.size(), 3) << python.readAllStandardError().toStdString();
    const QJsonArray first = sheets[0].toArray()[1].toArray();
    // the file's name line heads the rows, as in the .xls save
    ASSERT_EQ(first.size(), 4) << QJsonDocument(first).toJson().toStdString();
    EXPECT_EQ(first[0].toArray()[1].toString(), "读数");
    EXPECT_EQ(first[1].toArray()[0].toString(), "测点[1]:a");
    EXPECT_DOUBLE_EQ(first[2].toArray()[1].toDouble(), 123.4);
    EXPECT_TRUE(first[2].toArray()[1].isDouble());
    EXPECT_DOUBLE_EQ(first[2].toArray()[2].toDouble(), -5.2);
    EXPECT_EQ(first[2].toArray()[3].toString(), "2026-12-07 10:31:05");
    EXPECT_DOUBLE_EQ(first[3].toArray()[1].toDouble(), -1.5);
}

TEST_F(XlsxExportTest, AFailedOrCancelledSaveLeavesTheOldFile)
{
    const QString target = dir.filePath("keep.xlsx");
    {
        QFile f(target);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("the engineer's own workbook");
    }
    const QByteArray before = bytesOf(target);
    int asked = 0;
    EXPECT_TRUE(XlsxExport::save(grid, target, [&] { return ++asked >= 1; }).has_value());
    EXPECT_GE(asked, 1);
    EXPECT_EQ(bytesOf(target), before);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList({"keep.xlsx"}));

    const SaveResult missing = XlsxExport::save(grid, dir.filePath("no/such/folder/x.xlsx"));
    ASSERT_TRUE(missing.has_value());
    EXPECT_EQ(missing->kind, SaveFailure::Kind::Failed);
    EXPECT_FALSE(missing->reason.isEmpty());
}

TEST(XlsxExportText, TextsThatLookLikeFormulasAreStoredAsTextInBothWorkbooks)
{
    // The workbooks hold texts as texts (no formula record, no <f> element): nothing to guard,
    // and the texts are kept exactly, without the apostrophe the CSV needs.
    PreviewGrid grid;
    grids::FillGrid(grid, QStringLiteral("=1+1\r\n@A1 -52 -3 =2+3 +4\r\n"));
    QTemporaryDir dir;
    sheets::Servers servers;
    servers.add(sheets::kBuiltin, [] { return sheets::createBuiltinApplication(); });
    const QString xls = dir.filePath("f.xls");
    ASSERT_FALSE(SheetWriter::save(grid, servers, sheets::kBuiltin, SheetWriter::FailurePath::CloseAndReport,
                                   QStringLiteral(KTM_TEMPLATE_PATH), xls));
    const QString xlsx = dir.filePath("f.xlsx");
    ASSERT_EQ(XlsxExport::save(grid, xlsx), std::nullopt);

    const char* script = "import json,sys,openpyxl,xlrd\n"
                         "ws=openpyxl.load_workbook(sys.argv[1]).worksheets[0]\n"
                         "a=[[c.coordinate,c.data_type,c.value] for r in ws.iter_rows() for c in r if c.value is not None]\n"
                         "s=xlrd.open_workbook(sys.argv[2]).sheet_by_index(0)\n"
                         "b=[[r,c,s.cell(r,c).ctype,s.cell(r,c).value] for r in range(s.nrows) for c in range(s.ncols) if s.cell(r,c).value!='']\n"
                         "print(json.dumps([a,b]))";
    QProcess python;
    python.start(QStringLiteral(SYSTEM_PYTHON3), {"-c", script, xlsx, xls});
    ASSERT_TRUE(python.waitForFinished(60000));
    const QByteArray json = QJsonDocument(QJsonDocument::fromJson(python.readAllStandardOutput()).array()).toJson(QJsonDocument::Compact);
    ASSERT_FALSE(json.isEmpty() || json == "[]") << python.readAllStandardError().toStdString();
    // openpyxl: "s" text, "n" number, "f" formula; xlrd: 1 text, 2 number.
    EXPECT_EQ(json.toStdString(),
              R"([[["A1","s","编号"],["B1","s","读数"],["C1","s","温度"],["D1","s","时间"],["A2","s","=1+1"],["B2","n",0],["C2","n",0],)"
              R"(["A3","s","@A1"],["B3","n",-5.2],["C3","n",-0.3],["D3","s","=2+3 +4"]],)"
              R"([[0,0,1,"编号"],[0,1,1,"读数"],[0,2,1,"温度"],[0,3,1,"时间"],[1,0,1,"=1+1"],[1,1,2,0],[1,2,2,0],)"
              R"([2,0,1,"@A1"],[2,1,2,-5.2],[2,2,2,-0.3],[2,3,1,"=2+3 +4"]]])");
}
