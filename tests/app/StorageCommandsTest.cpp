#include "app/StorageCommands.h"

#include "serial/Commands.h"
#include "storage/StorageReplies.h"

#include "app/TreeLook.h"
#include "grids/PreviewGrid.h"
#include "app/Form2.h"
#include "storage/PartitionTree.h"
#include "tests/support/Form1Fixture.h"
#include "tests/support/Modal.h"

#include <QApplication>
#include <QLineEdit>
#include <QTest>
#include <QTimer>
#include <QTreeView>

using testing_qt::waitFor;

namespace {

const QString kWait = CommandExchange::busyText();
const QString kNotConnected = CommandExchange::notConnectedText();
const QString kSelectPartition = QStringLiteral("请选择分区，再操作！");
const QString kReadFile = StorageReplies::copyErrorText(commands::CopyFile);
const QString kReadPartition = StorageReplies::copyErrorText(commands::CopyPartition);
const QString kSelectCopy = QStringLiteral("请先选择您要拷贝的分区，再操作！");

class StorageCommandsTest : public Form1Fixture {
protected:
    void SetUp() override
    {
        connectPort();
        window.tree().Bulid_Tree("B", "T01\r\nT02\r\nX\r\n测试\r\n");
        window.tree().Bulid_Tree("A", "D1\r\nABCDEFGHIJ0123456789\r\n");
        window.tree().Bulid_Tree("J", "Z9\r\n");
    }
    void select(const QString& key)
    {
        const PartitionTree::Node* item = window.tree().itemByKey(key);
        ASSERT_NE(item, nullptr) << key.toStdString();
        window.SSTree1->setCurrentIndex(window.treeLook().mapFromSource(item->index()));
    }
    void selectNothing() { window.SSTree1->setCurrentIndex({}); }
    // Runs one handler on an idle line (the previous command forgotten) and reports what
    // went out.
    QList<QByteArray> run(void (StorageCommands::*handler)())
    {
        window.exchange().abort();
        link.writes.clear();
        messenger.messages.clear();
        (window.storage().*handler)();
        return link.writes;
    }
    CommandExchange& ex() { return window.exchange(); }
    StorageCommands& sc() { return window.storage(); }
};

} // namespace

TEST_F(StorageCommandsTest, TreeClickListsPartitionsAndCopiesFiles)
{
    select("C");
    EXPECT_EQ(run(&StorageCommands::treeClick), QList<QByteArray>({"DIR C\r\n"}));
    EXPECT_EQ(ex().pendingCode(), 2);
    EXPECT_EQ(ex().target(), "C");
    EXPECT_FALSE(ex().busy()); // the click releases the gate itself

    select("B0");
    EXPECT_EQ(run(&StorageCommands::treeClick), QList<QByteArray>({"COPY B T01\r\n"}));
    EXPECT_EQ(ex().pendingCode(), 3);
    select("J0");
    EXPECT_EQ(run(&StorageCommands::treeClick), QList<QByteArray>({"COPY J Z9\r\n"}));

    // the root: nothing sent, controls back at once, gate free
    select("1");
    EXPECT_TRUE(run(&StorageCommands::treeClick).isEmpty());
    EXPECT_FALSE(ex().busy());
    EXPECT_TRUE(window.Command2->isEnabled());
    EXPECT_TRUE(messenger.messages.isEmpty());

    // nothing selected: nothing sent (not "DIR " with a NUL)
    selectNothing();
    EXPECT_TRUE(run(&StorageCommands::treeClick).isEmpty());
    EXPECT_FALSE(ex().busy());

    // a name the line cannot carry byte for byte is refused
    select("B3");
    EXPECT_TRUE(run(&StorageCommands::treeClick).isEmpty());
    EXPECT_EQ(messenger.messages, QStringList({kReadFile}));
    EXPECT_FALSE(ex().busy());
}

TEST_F(StorageCommandsTest, AMouseClickOnANodeSendsItsCommand)
{
    window.show();
    const QModelIndex c = window.tree().itemByKey("C")->index();
    const QRect rect = window.SSTree1->visualRect(window.treeLook().mapFromSource(c));
    QTest::mouseClick(window.SSTree1->viewport(), Qt::LeftButton, {}, rect.center());
    EXPECT_EQ(link.writes, QList<QByteArray>({"DIR C\r\n"}));
}

TEST_F(StorageCommandsTest, ListingCommandSendsOnlyForPartitionLetters)
{
    select("J");
    EXPECT_EQ(run(&StorageCommands::Command3_Click), QList<QByteArray>({"DIR J\r\n"}));
    EXPECT_FALSE(ex().replied());
    select("1");
    EXPECT_TRUE(run(&StorageCommands::Command3_Click).isEmpty());
    EXPECT_TRUE(messenger.messages.isEmpty());
    EXPECT_TRUE(ex().busy()); // left for the reply or the watchdog
    select("B0");
    EXPECT_TRUE(run(&StorageCommands::Command3_Click).isEmpty());
    selectNothing();
    EXPECT_TRUE(run(&StorageCommands::Command3_Click).isEmpty());
    EXPECT_EQ(messenger.messages, QStringList({kReadPartition}));
    EXPECT_TRUE(window.Command3->isEnabled());
}

TEST_F(StorageCommandsTest, CopyFileBytesAndRefusals)
{
    select("A0");
    const QList<QByteArray> sent = run(&StorageCommands::Command5_Click);
    ASSERT_EQ(sent.size(), 1);
    EXPECT_EQ(sent[0], QByteArray::fromHex("434f505920412044310d0a")); // 67 79 80 89 32 65 32 68 49 13 10
    EXPECT_EQ(ex().pendingCode(), 3);
    select("A1");
    EXPECT_EQ(run(&StorageCommands::Command5_Click), QList<QByteArray>({"COPY A ABCDEFGHIJ0123456789\r\n"}));
    EXPECT_EQ(link.writes[0].size(), 29);

    for (const QString key : {"B", "1", "B3"}) {
        select(key);
        EXPECT_TRUE(run(&StorageCommands::Command5_Click).isEmpty()) << key.toStdString();
        EXPECT_EQ(messenger.messages, QStringList({kReadFile})) << key.toStdString();
        EXPECT_TRUE(ex().busy());
        EXPECT_TRUE(window.Command5->isEnabled());
    }
    selectNothing();
    EXPECT_TRUE(run(&StorageCommands::Command5_Click).isEmpty());
    EXPECT_EQ(messenger.messages, QStringList({kReadFile}));
}

TEST_F(StorageCommandsTest, AListedNameThatWouldSplitTheCommandIsRefused)
{
    // names as a listing may carry them: a bare CR or a blank inside a line, a tab, DEL
    window.tree().Bulid_Tree("C", QStringLiteral("x\rDELDATA D\r\nTWO WORDS\r\nT\tX\r\nT") + QChar(127) + "\r\n");
    for (const QString key : {"C0", "C1", "C2", "C3"}) {
        select(key);
        for (auto handler : {&StorageCommands::treeClick, &StorageCommands::Command5_Click}) {
            EXPECT_TRUE(run(handler).isEmpty()) << key.toStdString();
            EXPECT_EQ(messenger.messages, QStringList({kReadFile})) << key.toStdString();
        }
    }
}

TEST_F(StorageCommandsTest, CopyPartitionBytesAndRefusals)
{
    select("C");
    EXPECT_EQ(run(&StorageCommands::Command6_Click), QList<QByteArray>({QByteArray::fromHex("434f505920430d0a")}));
    EXPECT_EQ(ex().pendingCode(), 4);
    EXPECT_FALSE(ex().replied());

    select("1");
    EXPECT_TRUE(run(&StorageCommands::Command6_Click).isEmpty());
    EXPECT_EQ(messenger.messages, QStringList({kSelectCopy}));
    select("B0");
    EXPECT_TRUE(run(&StorageCommands::Command6_Click).isEmpty());
    EXPECT_EQ(messenger.messages, QStringList({kSelectPartition}));
    // a file called "X" is a file, not partition X
    select("B2");
    EXPECT_TRUE(run(&StorageCommands::Command6_Click).isEmpty());
    EXPECT_EQ(messenger.messages, QStringList({kSelectPartition}));
    selectNothing();
    EXPECT_TRUE(run(&StorageCommands::Command6_Click).isEmpty());
    EXPECT_EQ(messenger.messages, QStringList({kReadPartition}));
}

TEST_F(StorageCommandsTest, CopiedRecordsReachTheGrid)
{
    select("B0");
    link.autoReplies.append("X1 2 3 D T\r\n");
    run(&StorageCommands::Command5_Click);
    ASSERT_TRUE(waitFor([&] { return !ex().busy(); }));
    EXPECT_EQ(window.grid().rows(), 2);
    EXPECT_EQ(window.grid().text(1, 3), "D T");
    EXPECT_TRUE(ex().target().isEmpty());
}

TEST_F(StorageCommandsTest, DeleteAsksFirstAndSendsOnlyOnYes)
{
    select("B");
    messenger.answers = {true};
    EXPECT_EQ(run(&StorageCommands::Command7_Click), QList<QByteArray>({QByteArray::fromHex("44454c20420d0a")}));
    EXPECT_EQ(messenger.questions.last(), "确定要删除分区 B 吗？");
    EXPECT_EQ(ex().pendingCode(), 7);
    messenger.answers = {true};
    EXPECT_EQ(run(&StorageCommands::Command8_Click),
              QList<QByteArray>({QByteArray::fromHex("44454c4441544120420d0a")}));
    EXPECT_EQ(messenger.questions.last(), "确定要删除分区 B 的数据吗？");
    EXPECT_EQ(ex().pendingCode(), 8);

    // No: nothing goes out, the gate and the controls are free again
    ex().abandonPending();
    ex().gate().release();
    for (auto handler : {&StorageCommands::Command7_Click, &StorageCommands::Command8_Click}) {
        messenger.answers = {false};
        EXPECT_TRUE(run(handler).isEmpty());
        EXPECT_FALSE(ex().busy());
        EXPECT_EQ(ex().pendingCode(), 0);
        EXPECT_TRUE(window.Command7->isEnabled());
        EXPECT_TRUE(messenger.messages.isEmpty());
    }
    // the default answer (closing the box) is No
    messenger.answers.clear();
    EXPECT_TRUE(run(&StorageCommands::Command7_Click).isEmpty());
}

TEST_F(StorageCommandsTest, PartitionCommandsRefuseRootAndFiles)
{
    for (auto handler : {&StorageCommands::Command7_Click, &StorageCommands::Command8_Click,
                         &StorageCommands::Command9_Click, &StorageCommands::Command10_Click}) {
        select("1"); // root: silently nothing
        EXPECT_TRUE(run(handler).isEmpty());
        EXPECT_TRUE(messenger.messages.isEmpty());
        EXPECT_TRUE(messenger.questions.isEmpty());
        EXPECT_TRUE(window.Command7->isEnabled());
        select("B0");
        EXPECT_TRUE(run(handler).isEmpty());
        EXPECT_EQ(messenger.messages, QStringList({kSelectPartition}));
        EXPECT_TRUE(ex().busy()); // the watchdog releases it
        selectNothing();
        EXPECT_TRUE(run(handler).isEmpty());
        EXPECT_EQ(messenger.messages, QStringList({kSelectPartition}));
    }
}

TEST_F(StorageCommandsTest, ComponentListBytesAndAOneLetterFileIsNoPartition)
{
    select("C");
    EXPECT_EQ(run(&StorageCommands::Command10_Click),
              QList<QByteArray>({QByteArray::fromHex("4449525041525420430d0a")}));
    EXPECT_EQ(ex().pendingCode(), 10);
    select("B2"); // file "X": one character, but a file
    EXPECT_TRUE(run(&StorageCommands::Command10_Click).isEmpty());
    EXPECT_EQ(messenger.messages, QStringList({kSelectPartition}));

    link.autoReplies.append("A001=QRVA000001\r\nA002=QRVA000002\r\n");
    select("A");
    run(&StorageCommands::Command10_Click);
    ASSERT_TRUE(waitFor([&] { return !ex().busy(); }));
    EXPECT_EQ(window.grid().cols(), 2);
    EXPECT_EQ(window.grid().text(2, 0), "2");
    EXPECT_EQ(window.grid().text(2, 1), "A002=QRVA000002");
}

TEST_F(StorageCommandsTest, EveryCommandRefusesWhileBusyOrDisconnected)
{
    select("B");
    const QList<void (StorageCommands::*)()> handlers = {
        &StorageCommands::Command2_Click, &StorageCommands::treeClick, &StorageCommands::Command3_Click,
        &StorageCommands::Command5_Click, &StorageCommands::Command6_Click, &StorageCommands::Command7_Click,
        &StorageCommands::Command8_Click, &StorageCommands::Command9_Click, &StorageCommands::Command10_Click};
    for (auto handler : handlers) {
        ex().abort(); // a command of its own awaits its reply
        ASSERT_TRUE(ex().send(CommandExchange::Request{.bytes = commands::dir(), .code = commands::ReadPartitions, .wait = false}));
        link.writes.clear();
        messenger.messages.clear();
        (sc().*handler)();
        EXPECT_EQ(messenger.messages, QStringList({kWait}));
        EXPECT_TRUE(link.writes.isEmpty());
    }
    window.Command12->click();
    for (auto handler : handlers) {
        EXPECT_TRUE(run(handler).isEmpty());
        EXPECT_EQ(messenger.messages, QStringList({kNotConnected}));
        EXPECT_TRUE(ex().busy());
        EXPECT_TRUE(window.Command3->isEnabled());
    }
}

namespace {
void whenDialogOpens(std::function<void(Form2&)> act) { whenModalOpens<Form2>(std::move(act)); }
} // namespace

TEST_F(StorageCommandsTest, NewFileDialogChecksTrimsAndSends)
{
    select("A");
    bool wasEmpty = false;
    QString shownAfterTrim;
    whenDialogOpens([&](Form2& d) {
        EXPECT_EQ(d.windowTitle(), "文件名输入");
        EXPECT_EQ(d.NoteName, "A");
        wasEmpty = d.Filename->text().isEmpty();
        d.Filename->setText("A B");
        d.Command1->click(); // refused: inner space; the dialog stays open
        d.Filename->setText("  AB1  ");
        d.Command1->click();
        shownAfterTrim = d.Filename->text();
    });
    EXPECT_EQ(run(&StorageCommands::Command9_Click), QList<QByteArray>({QByteArray::fromHex("4e455746494c452041204142310d0a")}));
    EXPECT_TRUE(wasEmpty);
    EXPECT_EQ(shownAfterTrim, "AB1");
    EXPECT_EQ(messenger.messages, QStringList({"文件名中含有不可显示字符（含空格），请修正！"}));
    EXPECT_EQ(ex().pendingCode(), 9);
    EXPECT_TRUE(window.Command9->isEnabled());

    // the characters the hint forbids are refused by name; a 20-character name goes out
    select("J");
    QString refusal;
    whenDialogOpens([&](Form2& d) {
        d.Filename->setText("a<b");
        d.Command1->click();
        refusal = messenger.messages.value(0);
        d.Filename->setText("~!#$%&'()[]^`{}-_.AB");
        d.Command1->click();
    });
    EXPECT_EQ(run(&StorageCommands::Command9_Click), QList<QByteArray>({"NEWFILE J ~!#$%&'()[]^`{}-_.AB\r\n"}));
    EXPECT_EQ(link.writes[0].size(), 32);
    EXPECT_EQ(refusal, "文件名中不能含有以下字符：< > / \\ | : \" * ?，请修正！");
}

TEST_F(StorageCommandsTest, ConfirmingTwiceDuringTheWaitSendsOnce)
{
    select("A");
    whenDialogOpens([](Form2& d) {
        d.Filename->setText("N1");
        // The second press arrives while the first one's command wait runs the event loop.
        QTimer::singleShot(1, &d, [&d] { QTest::keyClick(d.Filename, Qt::Key_Return); });
        QTest::keyClick(d.Filename, Qt::Key_Return);
    });
    EXPECT_EQ(run(&StorageCommands::Command9_Click), QList<QByteArray>({"NEWFILE A N1\r\n"}));
}

TEST_F(StorageCommandsTest, TheTreeShowsWhatTheInstrumentConfirmed)
{
    // deleted: the partition's files go from the tree
    select("B");
    messenger.answers = {true};
    link.autoReplies.append("OK\r\n");
    run(&StorageCommands::Command7_Click);
    ASSERT_TRUE(waitFor([&] { return !ex().lineBusy(); }));
    EXPECT_EQ(window.tree().itemByKey("B")->rowCount(), 0);
    // refused: they stay
    select("A");
    messenger.answers = {true};
    link.autoReplies.append("ERR\r\n");
    run(&StorageCommands::Command7_Click);
    ASSERT_TRUE(waitFor([&] { return !ex().lineBusy(); }));
    EXPECT_EQ(window.tree().itemByKey("A")->rowCount(), 2);

    // created: the new file appears under its partition, and a click copies it
    link.autoReplies.append("OK\r\n");
    whenDialogOpens([](Form2& d) {
        d.Filename->setText("NEW1");
        d.Command1->click();
    });
    run(&StorageCommands::Command9_Click);
    ASSERT_TRUE(waitFor([&] { return !ex().lineBusy(); }));
    const PartitionTree::Node* a = window.tree().itemByKey("A");
    ASSERT_EQ(a->rowCount(), 3);
    EXPECT_EQ(a->child(2)->text(), "NEW1");
    window.SSTree1->setCurrentIndex(window.treeLook().mapFromSource(a->child(2)->index()));
    EXPECT_EQ(run(&StorageCommands::treeClick), QList<QByteArray>({"COPY A NEW1\r\n"}));
}

TEST_F(StorageCommandsTest, AFileCalledLikeAPartitionActsAsAFile)
{
    window.tree().Bulid_Tree("B", "C\r\n"); // a file "C" under partition B
    select("B0");
    EXPECT_EQ(run(&StorageCommands::treeClick), QList<QByteArray>({"COPY B C\r\n"}));
    EXPECT_EQ(run(&StorageCommands::Command5_Click), QList<QByteArray>({"COPY B C\r\n"}));
    messenger.answers = {true, true};
    for (auto handler : {&StorageCommands::Command3_Click, &StorageCommands::Command6_Click,
                         &StorageCommands::Command7_Click, &StorageCommands::Command8_Click,
                         &StorageCommands::Command10_Click})
        EXPECT_TRUE(run(handler).isEmpty());
    EXPECT_TRUE(messenger.questions.isEmpty()); // never asked to erase anything
}

TEST_F(StorageCommandsTest, AnErrorReplyToACopyIsNoRecord)
{
    select("B0");
    link.autoReplies.append("T01\r\nA001 1 2 D T\r\n");
    run(&StorageCommands::Command5_Click);
    ASSERT_TRUE(waitFor([&] { return !ex().lineBusy(); }));
    ASSERT_EQ(window.grid().rows(), 3);

    for (auto handler : {&StorageCommands::Command5_Click, &StorageCommands::Command6_Click}) {
        select(handler == &StorageCommands::Command5_Click ? "B1" : "B");
        link.autoReplies.append("ERR\r\n");
        run(handler);
        ASSERT_TRUE(waitFor([&] { return !ex().lineBusy(); }));
        EXPECT_EQ(messenger.messages,
                  QStringList({handler == &StorageCommands::Command5_Click ? kReadFile : kReadPartition}));
        EXPECT_EQ(window.grid().rows(), 3); // the preview keeps what it showed
        EXPECT_EQ(window.grid().text(2, 1), "1");
    }
}

TEST_F(StorageCommandsTest, NewFileDialogCancelSendsNothing)
{
    select("C");
    whenDialogOpens([](Form2& d) {
        d.Filename->setText("NAME");
        d.Command2->click();
    });
    EXPECT_TRUE(run(&StorageCommands::Command9_Click).isEmpty());
    EXPECT_TRUE(window.Command9->isEnabled());
    EXPECT_EQ(ex().pendingCode(), 0);
    // the reply to a created file is reported
    link.autoReplies.append("OK\r\n");
    whenDialogOpens([](Form2& d) {
        d.Filename->setText("NEW1");
        d.Command1->click();
    });
    run(&StorageCommands::Command9_Click);
    ASSERT_TRUE(waitFor([&] { return !ex().busy(); }));
    EXPECT_EQ(messenger.messages, QStringList({"文件创建成功！"}));
}

TEST_F(StorageCommandsTest, AConfirmedCommandThatTheLineRefusesSaysSo)
{
    // Input comes while the delete question is open: the line is busy again when Yes is
    // pressed, so nothing goes out, and the operator is told.
    select("B");
    for (auto handler : {&StorageCommands::Command7_Click, &StorageCommands::Command8_Click}) {
        messenger.answers = {true};
        messenger.whileAsking = [&] { link.deliver("late\r\n"); };
        EXPECT_TRUE(run(handler).isEmpty());
        messenger.whileAsking = {};
        EXPECT_EQ(messenger.messages, QStringList({kWait}));
        EXPECT_EQ(ex().pendingCode(), 0);
        ASSERT_TRUE(waitFor([&] { return !ex().lineBusy(); }));
        EXPECT_TRUE(window.Command7->isEnabled());
    }

    // The same in the new-file dialog: it stays open with the name, and a second confirm once
    // the line is quiet sends it.
    select("A");
    bool openAfterRefusal = false;
    QString keptName;
    QStringList toldAfterRefusal;
    whenDialogOpens([&](Form2& d) {
        d.Filename->setText("N2");
        link.deliver("late\r\n");
        d.Command1->click();
        openAfterRefusal = d.isVisible();
        keptName = d.Filename->text();
        toldAfterRefusal = messenger.messages;
        EXPECT_TRUE(d.Command1->isEnabled());
        EXPECT_FALSE(window.Command9->isEnabled()); // the window's commands wait for the dialog
        ASSERT_TRUE(waitFor([&] { return !ex().discarding(); }));
        d.Command1->click();
    });
    EXPECT_EQ(run(&StorageCommands::Command9_Click), QList<QByteArray>({"NEWFILE A N2\r\n"}));
    EXPECT_TRUE(openAfterRefusal);
    EXPECT_EQ(keptName, "N2");
    EXPECT_EQ(toldAfterRefusal, QStringList({kWait}));
    EXPECT_TRUE(window.Command9->isEnabled());
}
