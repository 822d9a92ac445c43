// Importing component lists from workbooks that other programs wrote.
#include "app/Form3.h"

#include "export/BuiltinServer.h"
#include "grids/PreviewGrid.h"
#include "tests/support/Form1Fixture.h"
#include "tests/support/Modal.h"
#include "tests/support/RecordingServer.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>

namespace {

// Three sheets: "第一" with headers, entries with gaps, blanks and an entry in B206; "Second"
// with empty A1/B1; "Third" with one entry.
const char* kMakeWorkbook = R"(
import sys
path = sys.argv[1]
rows = {2: "A001=N1", 3: "", 4: "   ", 5: "A004=N4", 7: " A006 = N6 ", 205: "A204=LAST", 206: "A205=TOO_FAR"}
if path.endswith(".xlsx"):
    import openpyxl
    wb = openpyxl.Workbook()
    ws = wb.active
    ws.title = "第一"
    sheets = [ws, wb.create_sheet("Second"), wb.create_sheet("Third")]
    def put(s, r, c, v): s.cell(row=r, column=c, value=v)
else:
    import xlwt
    wb = xlwt.Workbook(encoding="utf-8")
    sheets = [wb.add_sheet("第一"), wb.add_sheet("Second"), wb.add_sheet("Third")]
    def put(s, r, c, v): s.write(r - 1, c - 1, v)
put(sheets[0], 1, 1, "序号")
put(sheets[0], 1, 2, "元件名")
for r, v in rows.items():
    put(sheets[0], r, 1, r - 1)
    put(sheets[0], r, 2, v)
put(sheets[1], 2, 2, "B001=X")
put(sheets[2], 1, 1, "No")
put(sheets[2], 1, 2, "Entry")
put(sheets[2], 2, 2, 12345)
wb.save(path)
)";

class ImportTest : public Form1Fixture {
protected:
    void SetUp() override { connectPort(); }
    QString makeWorkbook(const QString& name)
    {
        const QString path = tmp.filePath(name);
        QProcess python;
        python.start(QStringLiteral(SYSTEM_PYTHON3), {"-c", QString::fromUtf8(kMakeWorkbook), path});
        python.waitForFinished(60000);
        EXPECT_EQ(python.exitCode(), 0) << python.readAllStandardError().toStdString();
        return path;
    }
    struct Shown {
        QStringList sheets;
        QStringList rows; // "number|entry", header row first
        bool importMode = false;
        QString path;
    };
    static Shown shown(Form3& e)
    {
        Shown s;
        for (int i = 0; i < e.Combo1->count(); ++i)
            s.sheets << e.Combo1->itemText(i);
        for (int r = 0; r < e.grid().rows(); ++r)
            s.rows << e.grid().text(r, 0) + "|" + e.grid().text(r, 1);
        s.importMode = e.Frame2->isVisible() && !e.Frame3->isVisible();
        s.path = e.Text1->text();
        return s;
    }
    // Imports the file in a fresh editor; `more` runs afterwards inside it.
    Shown importFile(const QString& path, std::function<void(Form3&)> more = {})
    {
        Shown result;
        // the editor leaves the gate to the watchdog; a second opening waits for it
        EXPECT_TRUE(testing_qt::waitFor([&] { return !window.exchange().busy(); }));
        dialogs.answers = {path};
        whenModalOpens<Form3>([&](Form3& e) {
            e.Command1->click();
            result = shown(e);
            if (more)
                more(e);
            e.close();
        });
        window.Command11->click();
        return result;
    }
    QTemporaryDir tmp;
};

const QStringList kFirstSheet = {"序号|元件名", "1|A001=N1", "2|A004=N4", "3| A006 = N6 ", "4|A204=LAST"};

} // namespace

TEST_F(ImportTest, XlsMadeByXlwtThroughTheBuiltInEngine)
{
    servers.add(sheets::kBuiltin, [] { return sheets::createBuiltinApplication(); });
    const QString path = makeWorkbook("list.xls");
    QStringList second, third;
    const Shown s = importFile(path, [&](Form3& e) {
        e.Combo1->setCurrentIndex(1);
        second = shown(e).rows;
        e.Combo1->setCurrentIndex(2);
        third = shown(e).rows;
    });
    EXPECT_EQ(s.sheets, QStringList({"第一", "Second", "Third"}));
    EXPECT_TRUE(s.importMode);
    EXPECT_EQ(s.path, path);
    EXPECT_EQ(s.rows, kFirstSheet);                    // gaps closed, blanks skipped, B206 not read
    EXPECT_EQ(second, QStringList({"|", "1|B001=X"})); // empty A1/B1 still replace the headers
    EXPECT_EQ(third, QStringList({"No|Entry", "1|12345"}));
    EXPECT_TRUE(messenger.messages.isEmpty());
}

TEST_F(ImportTest, XlsxMadeByOpenpyxl)
{
    servers.add(sheets::kBuiltin, [] { return sheets::createBuiltinApplication(); });
    const Shown s = importFile(makeWorkbook("list.xlsx"));
    EXPECT_EQ(s.sheets, QStringList({"第一", "Second", "Third"}));
    EXPECT_EQ(s.rows, kFirstSheet);
}

TEST_F(ImportTest, EngineFailuresAreReportedInChinese)
{
    servers.add(sheets::kBuiltin, [] { return sheets::createBuiltinApplication(); });
    const Shown missing = importFile(tmp.filePath("missing.xls"));
    EXPECT_EQ(messenger.messages, QStringList({"Varnok提示：找不到该文件或文件夹。\r\n请稍后重试！"}));
    EXPECT_FALSE(missing.importMode);

    QFile text(tmp.filePath("notes.xls"));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write("A001=N1\r\n");
    text.close();
    messenger.messages.clear();
    importFile(text.fileName());
    EXPECT_EQ(messenger.messages, QStringList({"Varnok提示：该文件不是EXCEL工作簿（.xls或.xlsx）。\r\n请稍后重试！"}));
}

TEST_F(ImportTest, ManualModeAfterImportClearsTheList)
{
    servers.add(sheets::kBuiltin, [] { return sheets::createBuiltinApplication(); });
    QStringList after;
    bool manual = false;
    importFile(makeWorkbook("list.xls"), [&](Form3& e) {
        e.Command3->click();
        after = shown(e).rows;
        manual = e.Frame3->isVisible() && !e.Frame2->isVisible();
    });
    EXPECT_EQ(after, QStringList({"序号|元件名"}));
    EXPECT_TRUE(manual);
}

TEST_F(ImportTest, ExcelIsPreferredAndReleasedOnClose)
{
    RecordingServer excel, wps;
    excel.install(servers, sheets::kExcel);
    wps.install(servers, sheets::kWps);
    excel.files["/list.xls"] = {{"S1", {{{1, 1}, QString("H1")}, {{1, 2}, QString("H2")}, {{2, 2}, QString("A001=N")}}}};
    bool usingWps = true;
    const Shown s = importFile("/list.xls", [&](Form3& e) { usingWps = e.UsingWps; });
    EXPECT_FALSE(usingWps);
    EXPECT_EQ(s.rows, QStringList({"H1|H2", "1|A001=N"}));
    EXPECT_TRUE(wps.log.isEmpty());
    // closing the editor closed the workbook without saving and quit the application
    EXPECT_EQ(excel.log.mid(excel.log.size() - 2), QStringList({"close 0", "quit"}));
}

TEST_F(ImportTest, WpsSavesOnCloseAndSkipsFailingSteps)
{
    RecordingServer wps;
    wps.install(servers, sheets::kWps);
    wps.files["/list.xls"] = {{"S1", {{{2, 2}, QString("A001=N")}}}, {"S2", {}}};
    wps.failOn = "visible";
    bool usingWps = false;
    const Shown s = importFile("/list.xls", [&](Form3& e) { usingWps = e.UsingWps; });
    EXPECT_TRUE(usingWps);
    EXPECT_EQ(s.sheets, QStringList({"S1", "S2"}));
    EXPECT_EQ(s.rows, QStringList({"|", "1|A001=N"}));
    EXPECT_TRUE(messenger.messages.isEmpty()); // nothing is reported through WPS
    EXPECT_EQ(wps.log.mid(wps.log.size() - 2), QStringList({"close 1", "quit"}));
}

TEST_F(ImportTest, ExcelFailureIsReportedWithItsDescription)
{
    RecordingServer excel;
    excel.install(servers, sheets::kExcel);
    const Shown s = importFile("/missing.xls");
    ASSERT_EQ(messenger.messages.size(), 1);
    EXPECT_TRUE(messenger.messages[0].startsWith("Varnok提示：cannot open /missing.xls"));
    EXPECT_TRUE(messenger.messages[0].endsWith("\r\n请稍后重试！"));
    EXPECT_EQ(s.path, "/missing.xls");
    EXPECT_FALSE(s.importMode);
    EXPECT_EQ(s.rows, QStringList({"序号|元件名"}));
    EXPECT_EQ(excel.log.last(), "quit");
}

TEST_F(ImportTest, NoServerAtAllAndCancel)
{
    const Shown s = importFile("/list.xls");
    EXPECT_EQ(messenger.messages, QStringList({"你的电脑没有安装MS-OFFICE和WPS软件，无法打开EXCEL格式！"}));
    EXPECT_FALSE(s.importMode);
    messenger.messages.clear();
    const Shown cancelled = importFile(QString()); // "" from the dialog: nothing happens
    EXPECT_TRUE(messenger.messages.isEmpty());
    EXPECT_EQ(cancelled.path, "打开文件名");
    EXPECT_EQ(dialogs.filters.last(), "*.xls|*.xls|*.xlsx|*.xlsx");
}

TEST_F(ImportTest, ServerThatCannotStartForTheImportIsReported)
{
    // The presence test starts the server once; the import's own start then fails.
    for (const QString& identifier : {sheets::kExcel, sheets::kWps}) {
        SCOPED_TRACE(identifier.toStdString());
        sheets::Servers only;
        RecordingServer server;
        server.install(only, identifier);
        server.failOn = "create";
        server.failAt = 2;
        servers = only;
        messenger.messages.clear();
        const Shown s = importFile("/list.xls");
        EXPECT_EQ(server.log, QStringList({"create " + identifier, "create " + identifier}));
        ASSERT_EQ(messenger.messages.size(), 1);
        EXPECT_TRUE(messenger.messages[0].contains("scripted failure at create")) << messenger.messages[0].toStdString();
        EXPECT_TRUE(messenger.messages[0].endsWith("请稍后重试！"));
        EXPECT_FALSE(s.importMode);
        EXPECT_EQ(s.rows, QStringList({"序号|元件名"}));
        servers = sheets::Servers(); // the server ends with this round
    }
}

TEST_F(ImportTest, AFailedWpsOpenLeavesNoSheetOfTheWorkbookBefore)
{
    RecordingServer wps;
    wps.install(servers, sheets::kWps);
    wps.files["/list.xls"] = {{"S1", {{{2, 2}, QString("A001=N")}}}, {"S2", {}}};
    Shown after;
    const Shown before = importFile("/list.xls", [&](Form3& e) {
        dialogs.answers = {"/missing.xls"}; // WPS cannot open it, and says nothing
        e.Command1->click();
        after = shown(e);
    });
    EXPECT_EQ(before.sheets, QStringList({"S1", "S2"}));
    EXPECT_TRUE(after.sheets.isEmpty()) << after.sheets.join(",").toStdString();
    EXPECT_EQ(after.path, "/missing.xls");
    EXPECT_TRUE(messenger.messages.isEmpty());
}
