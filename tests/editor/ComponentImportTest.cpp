// Importing a component list from a workbook, as the editor and the command line both do.
#include "editor/ComponentImport.h"

#include "editor/ComponentList.h"
#include "export/BuiltinServer.h"
#include "export/FailureText.h"
#include "grids/PreviewGrid.h"
#include "tests/support/GridRows.h"
#include "tests/support/RecordingServer.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

class ComponentImportTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(tmp.isValid());
        servers.add(sheets::kBuiltin, [] { return sheets::createBuiltinApplication(); });
    }

    // Three worksheets written by the engine: "第一" with headers, gaps and blanks among its
    // entries and one beyond B205; "空" with headers and no codes; "Third" with one entry.
    QString makeWorkbook()
    {
        auto made = workbook::Workbook::createXls("第一");
        EXPECT_TRUE(made);
        workbook::Workbook& book = made.value();
        workbook::Sheet& first = book.sheet(0);
        first.setText(1, 1, "序号");
        first.setText(1, 2, "元件名");
        first.setText(2, 2, "A001=N1");
        first.setText(3, 2, "   ");
        first.setText(5, 2, "A004=N4");
        first.setText(205, 2, "A204=LAST");
        first.setText(206, 2, "A205=TOO_FAR");
        workbook::Sheet* empty = book.addSheetAfter(0, "空").value();
        empty->setText(1, 1, "No");
        empty->setText(1, 2, "Entry");
        workbook::Sheet* third = book.addSheetAfter(1, "Third").value();
        third->setNumber(2, 2, 12345);
        const QString path = tmp.filePath("list.xls");
        EXPECT_FALSE(book.saveAs(path.toStdString()));
        return path;
    }

    QTemporaryDir tmp;
    sheets::Servers servers;
    PreviewGrid grid;
};

} // namespace

TEST_F(ComponentImportTest, ListsTheWorksheetsAndShowsTheOneChosen)
{
    ComponentImport import(servers);
    ASSERT_EQ(import.open(sheets::kBuiltin, makeWorkbook()), std::nullopt);
    EXPECT_TRUE(import.isOpen());
    EXPECT_EQ(import.sheetNames(), QStringList({"第一", "空", "Third"}));

    ASSERT_EQ(import.fill(grid, 0), std::nullopt);
    EXPECT_EQ(rowsOf(grid), QStringList({"序号|元件名", "1|A001=N1", "2|A004=N4", "3|A204=LAST"}));
    // a worksheet without codes: its headers, and no entry
    ASSERT_EQ(import.fill(grid, 1), std::nullopt);
    EXPECT_EQ(rowsOf(grid), QStringList({"No|Entry"}));
    std::vector<ComponentList::Entry> entries;
    EXPECT_FALSE(ComponentList::check(grid, entries));
    EXPECT_TRUE(entries.empty()) << "a write of this list is refused with " << ComponentList::emptyText().toStdString();
    // the workbook stays open for another choice
    ASSERT_EQ(import.fill(grid, 2), std::nullopt);
    EXPECT_EQ(rowsOf(grid), QStringList({"|", "1|12345"}));

    const QString noSheet = ComponentImport::failureText(FailureText::reason(workbook::ErrorKind::Damaged));
    EXPECT_EQ(import.fill(grid, 3), noSheet);
    EXPECT_EQ(import.fill(grid, -1), noSheet);

    import.release();
    EXPECT_FALSE(import.isOpen());
    EXPECT_TRUE(import.sheetNames().isEmpty());
    EXPECT_TRUE(import.fill(grid, 0).has_value());
}

TEST_F(ComponentImportTest, AFileThatIsNoWorkbookIsReportedAndNothingIsHeld)
{
    ComponentImport import(servers);
    ASSERT_EQ(import.open(sheets::kBuiltin, makeWorkbook()), std::nullopt);

    QFile text(tmp.filePath("notes.xls"));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write("A001=N1\r\n");
    text.close();
    EXPECT_EQ(import.open(sheets::kBuiltin, text.fileName()),
              ComponentImport::failureText(FailureText::reason(workbook::ErrorKind::NotAWorkbook)));
    EXPECT_FALSE(import.isOpen());
    EXPECT_TRUE(import.sheetNames().isEmpty()) << "the sheets of the workbook before are gone";

    EXPECT_EQ(import.open(sheets::kBuiltin, tmp.filePath("missing.xls")),
              ComponentImport::failureText(FailureText::reason(workbook::ErrorKind::NotFound)));
    // no such server at all: the reason the servers give
    QString noServer;
    try {
        servers.create(sheets::kExcel);
    } catch (const sheets::Error& e) {
        noServer = ComponentImport::failureText(FailureText::reason(e));
    }
    ASSERT_FALSE(noServer.isEmpty());
    EXPECT_EQ(import.open(sheets::kExcel, makeWorkbook()), noServer);
}

TEST_F(ComponentImportTest, ReportedFailuresEndTheImportSkippedOnesDoNot)
{
    RecordingServer server;
    sheets::Servers recording;
    server.install(recording, sheets::kWps);
    server.files["/list.xls"] = {{"S1", {{{2, 2}, QString("A001=N")}}}, {"S2", {}}};
    server.failOn = "visible";
    {
        ComponentImport import(recording);
        const std::optional<QString> failure = import.open(sheets::kWps, "/list.xls");
        ASSERT_TRUE(failure.has_value());
        EXPECT_TRUE(failure->contains("scripted failure at visible")) << failure->toStdString();
        EXPECT_FALSE(import.isOpen());
        EXPECT_EQ(server.log.mid(server.log.size() - 2), QStringList({"close 0", "quit"}));

        // skipped: the steps after it still run
        server.failAt = 2; // the next "visible" fails again
        ASSERT_EQ(import.open(sheets::kWps, "/list.xls", ComponentImport::Failures::Skip), std::nullopt);
        EXPECT_EQ(import.sheetNames(), QStringList({"S1", "S2"}));
        ASSERT_EQ(import.fill(grid, 0), std::nullopt);
        EXPECT_EQ(rowsOf(grid), QStringList({"|", "1|A001=N"}));
        // a workbook that cannot be opened leaves no sheet to choose, and nothing said
        ASSERT_EQ(import.open(sheets::kWps, "/missing.xls", ComponentImport::Failures::Skip), std::nullopt);
        EXPECT_TRUE(import.sheetNames().isEmpty());
        EXPECT_FALSE(import.isOpen());
        ASSERT_EQ(import.open(sheets::kWps, "/list.xls", ComponentImport::Failures::Skip), std::nullopt);
        import.release(true);
        EXPECT_EQ(server.log.mid(server.log.size() - 2), QStringList({"close 1", "quit"}));
        ASSERT_EQ(import.open(sheets::kWps, "/list.xls", ComponentImport::Failures::Skip), std::nullopt);
        server.log.clear();
    }
    // the import that ends releases its workbook, unsaved
    EXPECT_EQ(server.log, QStringList({"close 0", "quit"}));

    // a server that cannot be started is said even when the steps' failures are skipped
    server.failOn = "create";
    server.failAt = 1;
    ComponentImport import(recording);
    const std::optional<QString> failure = import.open(sheets::kWps, "/list.xls", ComponentImport::Failures::Skip);
    ASSERT_TRUE(failure.has_value());
    EXPECT_TRUE(failure->contains("scripted failure at create")) << failure->toStdString();
}
