#include "app/SaveCommand.h"

#include "app/TreeLook.h"
#include "export/FailureText.h"

#include "grids/GridLayouts.h"
#include "grids/PreviewGrid.h"
#include "storage/PartitionTree.h"
#include "tests/support/Form1Fixture.h"
#include "tests/support/RecordingServer.h"
#include "tests/support/ScriptedProgress.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeView>
#include <QLabel>
#include <QMenuBar>
#include <QProgressDialog>

#include <csignal>

using testing_qt::waitFor;

namespace {

const QString kPreviewFirst = QStringLiteral("请先预览文件后，再保存！");
const QString kNoOffice = QStringLiteral("你的电脑没有安装MS-OFFICE和WPS软件，无法保存EXCEL格式！");

class SaveCommandTest : public Form1Fixture {
protected:
    void SetUp() override
    {
        window.tree().Bulid_Tree("A", "a/b\r\n");
        select("A0");
        grids::FillGrid(window.grid(), "F1\r\nA001 1234 -52 D T\r\n");
        target = dir.filePath("out.xls");
    }
    void select(const QString& key)
    {
        window.SSTree1->setCurrentIndex(window.treeLook().mapFromSource(window.tree().itemByKey(key)->index()));
    }
    void save() { window.Command4->click(); }
    static QByteArray contents(const QString& path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(missing)");
    }
    void writeOld()
    {
        QFile old(target);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("the workbook saved last week");
    }
    QStringList files() const { return dir.entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name); }
    QStringList logOf(const QString& prefix) const
    {
        QStringList out;
        for (const QString& e : excel.log + wps.log)
            if (e.startsWith(prefix))
                out << e;
        return out;
    }

    QTemporaryDir tmp;
    QDir dir{tmp.path()};
    QString target;
    RecordingServer excel;
    RecordingServer wps;
};

} // namespace

TEST_F(SaveCommandTest, NothingPreviewedNothingAsked)
{
    grids::Ini_Grid(window.grid());
    save();
    EXPECT_EQ(messenger.messages, QStringList({kPreviewFirst}));
    EXPECT_TRUE(dialogs.proposals.isEmpty());
    EXPECT_TRUE(window.Command4->isEnabled());
}

TEST_F(SaveCommandTest, ProposesTheSanitisedNodeNameWithTheFilter)
{
    link.raiseEmptyEvent(); // input has arrived since the last command
    ASSERT_TRUE(window.exchange().replied());
    save(); // cancelled: the script is empty
    EXPECT_EQ(dialogs.proposals, QStringList({"a-b.xls"}));
    EXPECT_EQ(dialogs.filters, QStringList({"EXCEL 97-2003 工作簿|*.xls|EXCEL 工作簿|*.xlsx|CSV（逗号分隔）|*.csv"}));
    EXPECT_FALSE(window.exchange().replied());
    EXPECT_TRUE(messenger.messages.isEmpty());
    EXPECT_TRUE(window.Command4->isEnabled());
    EXPECT_FALSE(window.exchange().busy()); // the save command does not take the gate

    window.tree().Bulid_Tree("A", R"(<>/\|?*"x:y)"
                                  "\r\n");
    select("A0");
    save();
    EXPECT_EQ(dialogs.proposals.last(), "--------x:y.xls");
}

TEST_F(SaveCommandTest, EmptyNameIsRefused)
{
    dialogs.answers = {QString()};
    save();
    EXPECT_EQ(messenger.messages, QStringList({"请填写正确的文件名称！"}));
    EXPECT_TRUE(window.Command4->isEnabled());
}

TEST_F(SaveCommandTest, EndingBecomesXls)
{
    EXPECT_EQ(SaveCommand::xlsPath("/d/a.xls"), "/d/a.xls");
    EXPECT_EQ(SaveCommand::xlsPath("/d/a.XLS"), "/d/a.xls");
    EXPECT_EQ(SaveCommand::xlsPath("/d/a.txt"), "/d/a.xls");
    EXPECT_EQ(SaveCommand::xlsPath("/d/a.xlsx"), "/d/a.xls");
    // a name without an extension keeps all of its characters
    EXPECT_EQ(SaveCommand::xlsPath("/d/report"), "/d/report.xls");
    EXPECT_EQ(SaveCommand::xlsPath("/d.x/report"), "/d.x/report.xls");
    EXPECT_EQ(SaveCommand::xlsPath("C:\\d\\A20261105-01"), "C:\\d\\A20261105-01.xls");
    EXPECT_EQ(SaveCommand::xlsPath("/d/.hidden"), "/d/.hidden.xls");
}

TEST_F(SaveCommandTest, NoServerAtAll)
{
    dialogs.answers = {target};
    save();
    EXPECT_EQ(messenger.messages, QStringList({kNoOffice}));
    EXPECT_FALSE(QFile::exists(target));
    EXPECT_TRUE(window.Command4->isEnabled());
}

TEST_F(SaveCommandTest, ExcelFirstThenWps)
{
    excel.install(servers, sheets::kExcel);
    wps.install(servers, sheets::kWps);
    EXPECT_TRUE(window.IsExistExcel());
    EXPECT_TRUE(window.IsExistWPS());
    excel.log.clear();
    wps.log.clear();
    dialogs.answers = {dir.filePath("x.txt")};
    save();
    EXPECT_EQ(window.saver().SaveFileName, dir.filePath("x.xls"));
    EXPECT_EQ(messenger.messages, QStringList({SaveGrid::successText()}));
    // the server writes a work copy beside the chosen file, which then takes its place
    EXPECT_EQ(excel.log.filter(QRegularExpression("^open " + QRegularExpression::escape(dir.filePath("~x.xls.")) +
                                                  "\\d+-\\d+\\.saving\\.xls$"))
                  .size(),
              1)
        << excel.log.join("; ").toStdString();
    EXPECT_EQ(excel.log.last(), "quit");
    // the presence test creates and releases WPS... no: Excel is present, WPS is never asked
    EXPECT_TRUE(wps.log.isEmpty());
    EXPECT_EQ(files(), QStringList({"x.xls"}));
    EXPECT_EQ(contents(dir.filePath("x.xls")), contents(templatePath())); // this server writes nothing to disk
}

TEST_F(SaveCommandTest, WorkCopyIsNamedAfterTheTarget)
{
    // Beside the target, after it, this process's own and new for every save: two saves to one
    // file never write into one work copy.
    excel.install(servers, sheets::kExcel);
    for (int i = 0; i < 2; ++i) {
        dialogs.answers = {dir.filePath("A20261105-01.xls")};
        save();
    }
    const QStringList opened = excel.log.filter(QRegularExpression("^open "));
    ASSERT_EQ(opened.size(), 2) << excel.log.join("; ").toStdString();
    const QString own = "open " + dir.filePath("~A20261105-01.xls.%1-").arg(QCoreApplication::applicationPid());
    for (const QString& entry : opened) {
        EXPECT_TRUE(entry.startsWith(own)) << entry.toStdString();
        EXPECT_TRUE(entry.endsWith(".saving.xls")) << entry.toStdString();
    }
    EXPECT_NE(opened[0], opened[1]);
    EXPECT_EQ(files(), QStringList({"A20261105-01.xls"}));
}

TEST_F(SaveCommandTest, AFailedSaveLeavesTheOldFileAndNoWorkCopy)
{
    excel.install(servers, sheets::kExcel);
    writeOld();
    for (const char* failing : {"open", "sheet Sheet1", "name", "text 2 1", "number", "save", "close", "quit"}) {
        dialogs.answers = {target};
        excel.failOn = failing;
        save();
        EXPECT_EQ(contents(target), "the workbook saved last week") << failing;
        EXPECT_EQ(files(), QStringList({"out.xls"})) << failing;
    }

    // WPS saves what it has on its failure path; that stays in the work copy, which is dropped
    sheets::Servers wpsOnly;
    wps.install(wpsOnly, sheets::kWps);
    SaveCommand saver(SaveCommand::Context{window.grid(), window.exchange(), messenger, dialogs, wpsOnly,
                                           templatePath(), [] { return std::optional<QString>("F1"); }});
    wps.failOn = "name";
    dialogs.answers = {target};
    saver.Command4_Click();
    EXPECT_TRUE(wps.log.contains("save"));
    EXPECT_EQ(contents(target), "the workbook saved last week");
    EXPECT_EQ(files(), QStringList({"out.xls"}));

    // a save that succeeds replaces it
    wps.failOn.clear();
    messenger.messages.clear();
    dialogs.answers = {target};
    saver.Command4_Click();
    EXPECT_EQ(messenger.messages, QStringList({SaveGrid::successText()}));
    EXPECT_EQ(contents(target), contents(templatePath()));
    EXPECT_EQ(files(), QStringList({"out.xls"}));
}

TEST_F(SaveCommandTest, KilledInTheMiddleLeavesTheOldFileAndTheNextSaveCleansUp)
{
    GTEST_FLAG_SET(death_test_style, "fast"); // the child works in this test's folder
    excel.install(servers, sheets::kExcel);
    writeOld();
    excel.onCall = [](const QString& entry) {
        if (entry.startsWith("number 2 3"))
            std::raise(SIGKILL);
    };
    dialogs.answers = {target};
    EXPECT_EXIT(save(), ::testing::KilledBySignal(SIGKILL), "");
    EXPECT_EQ(contents(target), "the workbook saved last week");
    const QStringList left = files();
    ASSERT_EQ(left.size(), 2) << left.join(" ").toStdString();
    EXPECT_EQ(left[0], "out.xls");
    EXPECT_TRUE(QRegularExpression("^~out\\.xls\\.\\d+-\\d+\\.saving\\.xls$").match(left[1]).hasMatch()) << left[1].toStdString();

    // the work copy of the killed save is removed by the next save to the same file
    excel.onCall = nullptr;
    save();
    EXPECT_EQ(messenger.messages, QStringList({SaveGrid::successText()}));
    EXPECT_EQ(files(), QStringList({"out.xls"}));
}

TEST_F(SaveCommandTest, MissingTemplateWritesNothing)
{
    // a window whose template is not where it should be
    Form1 other(Form1Services{link, messenger, [] { return std::make_unique<FixedPorts>(QList<QByteArray>{}); },
                              testing_qt::fastTiming(), dialogs, servers, dir.filePath("no/Data.xls")});
    excel.install(servers, sheets::kExcel);
    other.tree().Bulid_Tree("A", "F\r\n");
    other.SSTree1->setCurrentIndex(other.treeLook().mapFromSource(other.tree().itemByKey("A0")->index()));
    grids::FillGrid(other.grid(), "F\r\nA001 1 2 D T\r\n");
    QFile keep(target);
    ASSERT_TRUE(keep.open(QIODevice::WriteOnly));
    keep.write("someone's file");
    keep.close();
    excel.log.clear();
    dialogs.answers = {target};
    other.Command4->click();
    EXPECT_EQ(messenger.messages, QStringList({SaveGrid::failureText() + "\n" + FailureText::templateMissing()}));
    EXPECT_EQ(logOf("open"), QStringList()); // the server never touched the path
    QFile check(target);
    ASSERT_TRUE(check.open(QIODevice::ReadOnly));
    EXPECT_EQ(check.readAll(), "someone's file");
    EXPECT_EQ(files(), QStringList({"out.xls"}));
    EXPECT_TRUE(other.Command4->isEnabled());
}

TEST_F(SaveCommandTest, ExcelFailurePathEnablesQuitsAndReports)
{
    excel.install(servers, sheets::kExcel);
    for (const QString failing : {"open", "sheet Sheet1", "name", "text 2 1", "number", "save"}) {
        excel.log.clear();
        messenger.messages.clear();
        excel.failOn = failing;
        dialogs.answers = {target};
        save();
        // a failure of no known kind gives the server's own description as the reason
        EXPECT_EQ(messenger.messages, QStringList({SaveGrid::failureText() + "\nscripted failure at " + logOf(failing).value(0)}))
            << failing.toStdString();
        EXPECT_EQ(excel.log.last(), "quit") << failing.toStdString();
        EXPECT_FALSE(excel.log.contains("close 1")) << failing.toStdString();
        EXPECT_TRUE(window.Command4->isEnabled());
    }
    // no application at all: the failure path cannot quit it and ends silently
    excel.failOn = "create";
    excel.failAt = 2; // the presence test is the first creation
    messenger.messages.clear();
    dialogs.answers = {target};
    save();
    EXPECT_TRUE(messenger.messages.isEmpty());
    EXPECT_TRUE(window.Command4->isEnabled());
}

TEST_F(SaveCommandTest, WpsFailurePathSavesClosesQuitsThenReports)
{
    wps.install(servers, sheets::kWps);
    wps.failOn = "name";
    dialogs.answers = {target};
    save();
    const qsizetype named = wps.log.indexOf("name F1");
    ASSERT_GE(named, 0);
    EXPECT_EQ(wps.log.mid(named + 1), QStringList({"save", "close 1", "quit"}));
    EXPECT_EQ(messenger.messages, QStringList({SaveGrid::failureText() + "\nscripted failure at name F1"}));

    // the workbook never opened: nothing to save, the path ends silently
    wps.log.clear();
    messenger.messages.clear();
    wps.failOn = "open";
    dialogs.answers = {target};
    save();
    EXPECT_TRUE(messenger.messages.isEmpty());
    EXPECT_FALSE(wps.log.contains("quit"));
    EXPECT_TRUE(window.Command4->isEnabled());
}

TEST_F(SaveCommandTest, ALongSaveRunsBesideTheWindowAndCancelLeavesTheOldFile)
{
    // A million records: the writer runs on its own thread while the window's loop goes on.
    QByteArray reply = "BIG\r\n";
    reply.reserve(30 * 1000000);
    for (int i = 0; i < 1000000; ++i)
        reply += "A001 1234 -52 2026-12-07 10:31:05\r\n";
    grids::FillGridFromWire(window.grid(), reply);
    reply.clear();

    ScriptedProgress progress;
    SaveCommand saver(SaveCommand::Context{window.grid(), window.exchange(), messenger, dialogs, servers,
                                           templatePath(), [] { return std::optional<QString>("BIG"); }, &progress});
    const QString csv = dir.filePath("big.csv");
    {
        QFile f(csv);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("the engineer's own file");
    }
    dialogs.answers = {csv};
    progress.during = [&] {
        EXPECT_TRUE(saver.saving());
        saver.Command4_Click(); // a second save meanwhile is refused: no dialog, nothing written
        progress.cancel = true;
    };
    saver.Command4_Click();
    EXPECT_FALSE(saver.saving());
    EXPECT_EQ(progress.startedWith, window.grid().rows());
    ASSERT_FALSE(progress.advances.isEmpty());
    EXPECT_TRUE(progress.finished);
    EXPECT_EQ(dialogs.proposals.size(), 1);
    EXPECT_EQ(messenger.messages, QStringList({FailureText::saveCancelled()}));
    EXPECT_EQ(contents(csv), "the engineer's own file");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList({"big.csv"}));
    EXPECT_TRUE(window.Command4->isEnabled());

    // Not cancelled, the same save writes the whole grid.
    messenger.messages.clear();
    progress = ScriptedProgress{};
    dialogs.answers = {dir.filePath("big.xlsx")};
    saver.Command4_Click();
    EXPECT_EQ(messenger.messages, QStringList({SaveGrid::successText()}));
    EXPECT_TRUE(QFileInfo(dir.filePath("big.xlsx")).size() > 1000000);
}

TEST_F(SaveCommandTest, NoCommandComesBackWhileTheWindowsOwnSaveReadsThePreview)
{
    // Long enough that the writer is still at work when the window's loop first turns.
    QByteArray reply = "BIG\r\n";
    constexpr int kRecords = 300000;
    for (int i = 0; i < kRecords; ++i)
        reply += "A001 1234 -52 2026-12-07 10:31:05\r\n";
    grids::FillGridFromWire(window.grid(), reply);
    reply.clear();
    connectPort();
    const QString csv = dir.filePath("big.csv");
    dialogs.answers = {csv};
    bool during = false;
    QList<QWidget*> usable;
    QTimer::singleShot(0, &window, [&] {
        during = window.saver().saving();
        link.unplug();           // the device vanishes mid-save...
        window.Command1_Click(); // ...and the link is opened again at once
        // (the window as a whole is disabled meanwhile too; that is not what is looked at here)
        for (QWidget* w : commandButtons() + QList<QWidget*>{window.SSTree1})
            if (w->isEnabledTo(window.centralWidget()))
                usable << w;
    });
    save();
    ASSERT_TRUE(during) << "the save ended before the window's loop turned";
    EXPECT_TRUE(usable.isEmpty()) << "a command could change the grid under the writer";
    EXPECT_EQ(window.Command1->text(), Form1::connectedText());
    ASSERT_FALSE(messenger.messages.isEmpty());
    EXPECT_EQ(messenger.messages.last(), SaveGrid::successText());
    // the commands are back once the save has ended, and the file holds every record
    for (QWidget* w : commandButtons())
        EXPECT_TRUE(w->isEnabled());
    QFile f(csv);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll().count('\n'), kRecords + 1); // the header and every record
}

TEST_F(SaveCommandTest, ANameWithoutItsEndingAsksBeforeReplacingTheFileItNames)
{
    excel.install(servers, sheets::kExcel);
    writeOld(); // out.xls is there
    // "out" becomes out.xls: No leaves the file, nothing is written
    messenger.answers = {false};
    dialogs.answers = {dir.filePath("out")};
    save();
    ASSERT_EQ(messenger.questions.size(), 1);
    EXPECT_TRUE(messenger.questions[0].startsWith("out.xls 已存在。")) << messenger.questions[0].toStdString();
    EXPECT_EQ(contents(target), "the workbook saved last week");
    EXPECT_TRUE(excel.log.isEmpty());
    EXPECT_TRUE(messenger.messages.isEmpty());
    EXPECT_TRUE(window.Command4->isEnabled());
    // another ending is replaced by .xls: asked the same way; Yes writes it
    messenger.answers = {true};
    dialogs.answers = {dir.filePath("out.txt")};
    save();
    EXPECT_EQ(messenger.questions.size(), 2);
    EXPECT_EQ(messenger.messages, QStringList({SaveGrid::successText()}));
    EXPECT_EQ(contents(target), contents(templatePath()));
    // the full name was asked about by the dialog; a name that names no file is not asked about
    dialogs.answers = {target, dir.filePath("new")};
    save();
    save();
    EXPECT_EQ(messenger.questions.size(), 2);
    EXPECT_TRUE(QFile::exists(dir.filePath("new.xls")));
}

TEST_F(SaveCommandTest, TheProposedNameIsWhatThePreviewShowsAndNoSaveWhileAReplyIsDue)
{
    connectPort();
    window.tree().Bulid_Tree("B", "T01\r\nT02\r\n");
    select("B0");
    link.autoReplies.append("T01\r\nB001 1 2 D T\r\n");
    window.Command5->click();
    ASSERT_TRUE(waitFor([&] { return !window.exchange().lineBusy(); }));
    ASSERT_EQ(window.grid().text(2, 0), "B001");
    // another node is selected: the file is still named after the preview
    select("B1");
    save();
    select("C");
    save();
    EXPECT_EQ(dialogs.proposals, QStringList({"T01.xls", "T01.xls"}));

    // a copy of the partition streams in: no dialog, the operator is told to wait
    select("B");
    window.Command6->click();
    link.deliver("T01\r\n");
    ASSERT_TRUE(window.exchange().receiving());
    messenger.messages.clear();
    dialogs.answers = {dir.filePath("old.xls")};
    save();
    EXPECT_EQ(messenger.messages, QStringList({"等待上次命令执行完成，稍后再试！"}));
    EXPECT_EQ(dialogs.proposals.size(), 2);
    EXPECT_FALSE(QFile::exists(dir.filePath("old.xls")));
    // a command sent whose reply has not begun counts as due too
    window.exchange().abort();
    window.Command10->click();
    ASSERT_NE(window.exchange().pendingCode(), 0);
    save();
    EXPECT_EQ(messenger.messages.size(), 2);
    EXPECT_EQ(dialogs.proposals.size(), 2);
    link.deliver("A001=QRVA000001\r\n");
    // once the component list is in, the file is named after its partition
    ASSERT_TRUE(waitFor([&] { return !window.exchange().lineBusy(); }));
    dialogs.answers.clear();
    save();
    EXPECT_EQ(dialogs.proposals.last(), "B.xls");
}

TEST_F(SaveCommandTest, ClosingTheWindowDuringASaveWaitsForItAndSaysSo)
{
    QByteArray reply = "BIG\r\n";
    for (int i = 0; i < 300000; ++i)
        reply += "A001 1234 -52 2026-12-07 10:31:05\r\n";
    grids::FillGridFromWire(window.grid(), reply);
    reply.clear();
    window.show();
    const QString csv = dir.filePath("big.csv");
    dialogs.answers = {csv};
    bool during = false, closed = true, shown = false, usable = true;
    int modality = -1;
    QString status;
    QTimer::singleShot(0, &window, [&] {
        during = window.saver().saving();
        closed = window.close();
        shown = window.isVisible();
        status = window.statusLine->text();
        usable = window.centralWidget()->isEnabled() || window.menuBar()->isEnabled();
        if (auto* dialog = window.findChild<QProgressDialog*>())
            modality = dialog->windowModality();
    });
    save();
    ASSERT_TRUE(during) << "the save ended before the window's loop turned";
    EXPECT_FALSE(closed);
    EXPECT_TRUE(shown);
    EXPECT_EQ(status, "正在保存文件，保存完成后将关闭窗口");
    // the window is disabled, not blocked: a blocked window would never hear the close
    EXPECT_FALSE(usable);
    EXPECT_EQ(modality, int(Qt::NonModal));
    // the save ended whole, was reported, and then the window closed
    EXPECT_EQ(messenger.messages, QStringList({SaveGrid::successText()}));
    EXPECT_FALSE(window.isVisible());
    QFile f(csv);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll().count('\n'), 300000 + 1); // the header and every record
    EXPECT_TRUE(window.centralWidget()->isEnabled());
}
