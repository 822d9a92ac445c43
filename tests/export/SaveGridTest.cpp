// saveGrid picks the writer by the file's ending, in any case, and refuses an ending it does not know.
#include "export/SaveGrid.h"

#include "export/Automation.h"
#include "export/BuiltinServer.h"
#include "export/CsvWriter.h"
#include "export/FailureText.h"
#include "grids/GridLayouts.h"
#include "grids/PreviewGrid.h"
#include "tests/support/FileBytes.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <workbook/workbook.h>

namespace {

using SaveGrid::FileType;

using testing_files::bytesOf;

class SaveGridTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        grids::FillGrid(grid, "F1\r\nA001 28456 -052 2026-11-05 10:00:00\r\nF2\r\nA002 1 2 D T\r\n");
        servers.add(sheets::kBuiltin, [] { return sheets::createBuiltinApplication(); });
        options.servers = &servers;
        options.server = sheets::kBuiltin;
        options.templatePath = QStringLiteral(KTM_TEMPLATE_PATH);
    }
    QTemporaryDir dir;
    PreviewGrid grid;
    sheets::Servers servers;
    SaveGrid::Options options;
};

} // namespace

TEST(SaveGridType, TheEndingNamesTheTypeInAnyCase)
{
    EXPECT_EQ(SaveGrid::fileType("a.xls"), FileType::Xls);
    EXPECT_EQ(SaveGrid::fileType("C:\\数据\\A.XLS"), FileType::Xls);
    EXPECT_EQ(SaveGrid::fileType("b.XlsX"), FileType::Xlsx);
    EXPECT_EQ(SaveGrid::fileType("/x/c.CSV"), FileType::Csv);
    for (const char* none : {".csv", ".xls", ".xlsx", "d.txt", "e.xls.bak", "f", "g.xl", "h.csvx", ""})
        EXPECT_EQ(SaveGrid::fileType(none), FileType::Unknown) << none;
}

TEST_F(SaveGridTest, EachEndingGetsItsWriterWhateverItsCase)
{
    // CSV: the bytes the CSV writer makes.
    QBuffer expected;
    expected.open(QIODevice::WriteOnly);
    ASSERT_FALSE(CsvWriter::write(grid, expected));
    const QString csv = dir.filePath("A.CSV");
    ASSERT_EQ(saveGrid(grid, csv, options), std::nullopt);
    EXPECT_EQ(bytesOf(csv), expected.data());

    // .xlsx and .xls: workbooks the engine reads as their type, two worksheets each.
    for (const QString& name : {QStringLiteral("B.XLSX"), QStringLiteral("C.Xls")}) {
        const QString path = dir.filePath(name);
        ASSERT_EQ(saveGrid(grid, path, options), std::nullopt) << name.toStdString();
        auto book = workbook::Workbook::open(path.toStdString());
        ASSERT_TRUE(book) << name.toStdString() << ": " << book.error().description();
        EXPECT_EQ(book->sheetCount(), 2u) << name.toStdString();
    }
    EXPECT_TRUE(bytesOf(dir.filePath("B.XLSX")).startsWith("PK"));              // a zip package
    EXPECT_TRUE(bytesOf(dir.filePath("C.Xls")).startsWith("\xD0\xCF\x11\xE0")); // a compound file
}

TEST_F(SaveGridTest, AnUnknownEndingIsRefusedAndNothingIsWritten)
{
    for (const QString& name : {QStringLiteral("A.txt"), QStringLiteral("B"), QStringLiteral("C.xls.bak")}) {
        const SaveResult failure = saveGrid(grid, dir.filePath(name), options);
        ASSERT_TRUE(failure) << name.toStdString();
        EXPECT_EQ(failure->kind, SaveFailure::Kind::Refused);
        EXPECT_EQ(failure->reason, FailureText::unknownFileType());
    }
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList());
}

TEST_F(SaveGridTest, ACancelledSaveSaysSoForEveryType)
{
    options.cancel = [] { return true; };
    for (const QString& name : {QStringLiteral("A.csv"), QStringLiteral("B.xlsx"), QStringLiteral("C.xls")}) {
        const SaveResult failure = saveGrid(grid, dir.filePath(name), options);
        ASSERT_TRUE(failure) << name.toStdString();
        EXPECT_EQ(failure->kind, SaveFailure::Kind::Cancelled) << name.toStdString();
        EXPECT_EQ(failure->reason, FailureText::saveCancelled());
    }
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList());
}
