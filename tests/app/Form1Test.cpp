#include "app/Form1.h"

#include "serial/LinkTexts.h"
#include "app/HistoryView.h"
#include "plot/TrendPlot.h"
#include "app/TreeLook.h"
#include "archive/Recorder.h"
#include "grids/PreviewGrid.h"
#include "serial/PortDiscovery.h"
#include "storage/PartitionTree.h"
#include "tests/support/FakeSerialLink.h"
#include "tests/support/Form1Fixture.h"
#include "tests/support/QtTestMain.h"
#include "tests/support/RecordingMessenger.h"

#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QCheckBox>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QTreeView>
#include <QTest>
#include <gtest/gtest.h>

using testing_qt::pump;
using testing_qt::waitFor;

namespace {
const QString kOpenError = LinkTexts::openError();
} // namespace

TEST_F(Form1Fixture, StartsWithTreeGridListsAndWatchdog)
{
    EXPECT_EQ(window.windowTitle(), QStringLiteral("KTM-520型振弦读数仪-Varnok电子科技有限公司_V2.0"));
    // the tree lists A to J under the root before any connection, root expanded
    ASSERT_EQ(window.tree().rowCount(), 1);
    EXPECT_EQ(window.tree().item(0)->text(), "数据分区");
    EXPECT_EQ(window.tree().item(0)->rowCount(), 10);
    EXPECT_TRUE(window.SSTree1->isExpanded(window.treeLook().mapFromSource(window.tree().index(0, 0))));
    // the empty reading grid
    EXPECT_EQ(window.grid().rows(), 1);
    EXPECT_EQ(window.grid().text(0, 3), "时间");
    // the port list falls back to COM1; the other lists and their initial texts
    EXPECT_EQ(window.Combo1->count(), 1);
    EXPECT_EQ(window.Combo1->currentText(), "COM1");
    EXPECT_EQ(window.Combo2->count(), 10);
    EXPECT_EQ(window.Combo2->currentText(), "9600");
    EXPECT_EQ(window.Combo2->itemText(9), "115200");
    // parity in the window's words; the line takes its value
    EXPECT_EQ(window.Combo3->currentText(), "无");
    EXPECT_EQ(window.Combo3->itemText(3), "标记");
    EXPECT_EQ(window.parity(), "None");
    EXPECT_EQ(window.Combo4->currentText(), "1");
    EXPECT_TRUE(window.Combo1->isEditable());
    EXPECT_EQ(window.settingsString(), "9600,N,8,1");
    EXPECT_TRUE(window.exchange().watchdogActive());
    EXPECT_FALSE(window.exchange().replyTimerActive());
    EXPECT_EQ(window.Command1->text(), "连接");
    for (QWidget* b : commandButtons())
        EXPECT_TRUE(b->isEnabled());
}

TEST_F(Form1Fixture, ButtonColumnKeepsItsOrder)
{
    window.show();
    QStringList captions;
    QList<QPushButton*> column = {window.Command2, window.Command3, window.Command6, window.Command5,
                                  window.Command4, window.Command7, window.Command8, window.Command9,
                                  window.Command10, window.Command11};
    for (int i = 1; i < column.size(); ++i)
        EXPECT_LT(column[i - 1]->geometry().y(), column[i]->geometry().y()) << i;
    for (QPushButton* b : column)
        captions << b->text();
    EXPECT_EQ(captions, QStringList({"读取数据分区", "查阅分区文件", "拷贝分区", "拷贝文件", "保存预览文件<==",
                                     "删除分区", "删除分区数据", "新建文件名", "查阅分区元件编号",
                                     "写入分区元件编号"}));
    // tree left of the column, grid right of it
    EXPECT_LT(window.SSTree1->mapTo(&window, QPoint(0, 0)).x(), window.Command2->mapTo(&window, QPoint(0, 0)).x());
    EXPECT_GT(window.MSFlexGrid1->mapTo(&window, QPoint(0, 0)).x(), window.Command2->mapTo(&window, QPoint(0, 0)).x());
}

TEST_F(Form1Fixture, GatingLeavesConnectionControlsAlone)
{
    window.ComFalse();
    EXPECT_FALSE(window.SSTree1->isEnabled());
    for (QWidget* b : commandButtons())
        EXPECT_FALSE(b->isEnabled());
    for (QWidget* w : QList<QWidget*>{window.Command1, window.Command12, window.Combo1, window.Combo2,
                                      window.Combo3, window.Combo4})
        EXPECT_TRUE(w->isEnabled());
    window.ComEnable();
    EXPECT_TRUE(window.SSTree1->isEnabled());
    for (QWidget* b : commandButtons())
        EXPECT_TRUE(b->isEnabled());
}

namespace {
class Form1WithPortsTest : public Form1Fixture {
protected:
    Form1WithPortsTest() : Form1Fixture({"COM3", "com1"}) {}
};
} // namespace

TEST_F(Form1WithPortsTest, PortListComesFromTheRegistryInOrder)
{
    ASSERT_EQ(window.Combo1->count(), 2);
    EXPECT_EQ(window.Combo1->itemText(0), "COM3");
    EXPECT_EQ(window.Combo1->itemText(1), "COM1");
    EXPECT_EQ(window.Combo1->currentText(), "COM3");
    EXPECT_EQ(window.Combo1->itemData(0, Qt::ToolTipRole).toString(), "设备：/dev/ttyCOM3");
}

TEST_F(Form1WithPortsTest, OpeningTheListReadsItAgainAndKeepsTheText)
{
    ports = {"COM3", "COM1", "COM7"};
    window.Combo1->setCurrentText("COM42");
    window.Combo1->showPopup();
    window.Combo1->hidePopup();
    ASSERT_EQ(window.Combo1->count(), 3);
    EXPECT_EQ(window.Combo1->itemText(2), "COM7");
    EXPECT_EQ(window.Combo1->currentText(), "COM42");
}

TEST_F(Form1WithPortsTest, AListedNameConnectsToTheDeviceTheListShowed)
{
    // the registry changes after the list was read: the names now stand for other devices
    ports = {"COM1", "COM3"};
    window.Combo1->setCurrentIndex(1); // COM1 as the list showed it
    window.Command1->click();
    EXPECT_EQ(link.portNumber, 1);
    EXPECT_EQ(link.device, "/dev/ttyCOM1");
    window.Command12->click();

    // a typed name (any case) that the list holds is the listed entry
    window.Combo1->setCurrentText("com3");
    window.Command1->click();
    EXPECT_EQ(link.device, "/dev/ttyCOM3");
    window.Command12->click();

    // a typed name not in the list is left for the link to resolve
    window.Combo1->setCurrentText("COM9");
    window.Command1->click();
    EXPECT_EQ(link.portNumber, 9);
    EXPECT_EQ(link.device, QString());
    window.Command12->click();
    EXPECT_TRUE(messenger.messages.isEmpty());

    // the listed device has gone: no connection, and the message says so
    link.failOpenWith = SerialLink::OpenError::NotFound;
    window.Combo1->setCurrentText("COM3");
    window.Command1->click();
    EXPECT_EQ(window.Command1->text(), "连接");
    ASSERT_EQ(messenger.messages.size(), 1);
    EXPECT_TRUE(messenger.messages[0].startsWith(kOpenError));
    EXPECT_TRUE(messenger.messages[0].contains("/dev/ttyCOM3"));
    EXPECT_TRUE(messenger.messages[0].contains("已不存在"));
}

TEST_F(Form1Fixture, TheFallbackEntryIsResolvedWhenOpening)
{
    // an empty registry lists COM1 without a device of its own
    window.Command1->click();
    EXPECT_EQ(link.portNumber, 1);
    EXPECT_EQ(link.device, QString());
}

TEST_F(Form1Fixture, ConnectUsesPortNumberAndSettings)
{
    window.Combo1->setCurrentText("COM12");
    window.Combo2->setCurrentText("115200");
    window.Combo3->setCurrentText("Even");
    window.Combo4->setCurrentText("2");
    window.Command2->click(); // refused while disconnected: the gate is left for the watchdog
    ASSERT_TRUE(window.exchange().busy());
    messenger.messages.clear();
    window.Command1->click(); // connecting releases it
    EXPECT_EQ(link.portNumber, 12);
    EXPECT_EQ(link.settings, "115200,E,8,2");
    EXPECT_TRUE(link.isOpen());
    EXPECT_EQ(window.Command1->text(), "已连接");
    EXPECT_FALSE(window.Command1->isEnabled());
    EXPECT_FALSE(window.exchange().busy());
    EXPECT_TRUE(messenger.messages.isEmpty());

    window.Command12->click();
    EXPECT_FALSE(link.isOpen());
    EXPECT_EQ(window.Command1->text(), "连接");
    EXPECT_TRUE(window.Command1->isEnabled());
    const int closes = link.closeCount;
    window.Command12->click(); // nothing to do when disconnected
    EXPECT_EQ(link.closeCount, closes);
}

TEST_F(Form1Fixture, BadPortTextOrSettingsTakeTheErrorPath)
{
    struct Case {
        QString port, baud, parity;
    };
    for (const Case& c : {Case{"CO", "9600", "None"}, Case{"COMx", "9600", "None"}, Case{"COM0", "9600", "None"},
                          Case{"COM1", "fast", "None"}, Case{"COM1", "9600", ""}}) {
        messenger.messages.clear();
        window.Combo1->setCurrentText(c.port);
        window.Combo2->setCurrentText(c.baud);
        window.Combo3->setCurrentText(c.parity);
        window.Command1->click();
        EXPECT_EQ(messenger.messages, QStringList({kOpenError})) << c.port.toStdString();
        EXPECT_EQ(window.Command1->text(), "连接");
        EXPECT_TRUE(window.Command1->isEnabled());
        EXPECT_FALSE(link.isOpen());
    }
    EXPECT_EQ(link.openCount, 0);
}

TEST_F(Form1Fixture, OpenFailureShowsTheMessageAndPermissionSaysWhatToDo)
{
    link.failOpenWith = SerialLink::OpenError::Busy;
    window.Command1->click();
    EXPECT_EQ(messenger.messages, QStringList({kOpenError}));
    EXPECT_TRUE(window.Command1->isEnabled());
    EXPECT_GE(link.closeCount, 1);

    link.failOpenWith = SerialLink::OpenError::PermissionDenied;
    window.Command1->click();
    ASSERT_EQ(messenger.messages.size(), 2);
    EXPECT_TRUE(messenger.messages[1].startsWith(kOpenError));
    EXPECT_TRUE(messenger.messages[1].contains("dialout"));
}

TEST_F(Form1Fixture, LosingTheDeviceReturnsToDisconnected)
{
    connectPort();
    window.Command2->click();
    link.deliver("A-"); // a reply has started...
    link.unplug();      // ...and the adapter is pulled
    EXPECT_EQ(window.Command1->text(), "连接");
    EXPECT_TRUE(window.Command1->isEnabled());
    // (on a loaded machine the DIR time-out may already have said that nothing came)
    ASSERT_FALSE(messenger.messages.isEmpty());
    EXPECT_TRUE(messenger.messages.last().contains("已断开"));
    EXPECT_EQ(messenger.messages.filter("已断开").size(), 1);
    EXPECT_FALSE(window.exchange().busy());
    EXPECT_FALSE(window.exchange().receiving());
    EXPECT_EQ(window.exchange().pendingCode(), 0);
    EXPECT_EQ(window.tree().item(0)->rowCount(), 10);
}

TEST_F(Form1Fixture, ReadPartitionsSendsDirAndRebuildsTheTree)
{
    connectPort();
    link.autoReplies.append("A-E\r\n");
    window.Command2->click();
    EXPECT_EQ(link.writes, QList<QByteArray>({"DIR\r\n"}));
    ASSERT_TRUE(waitFor([&] { return !window.exchange().busy(); }));
    EXPECT_EQ(window.tree().item(0)->rowCount(), 5);
    EXPECT_TRUE(window.Command2->isEnabled());
    EXPECT_TRUE(messenger.messages.isEmpty());
    EXPECT_TRUE(window.statusLine->text().startsWith("接收完成：5 字节，用时 ")) << window.statusLine->text().toStdString();
}

TEST_F(Form1Fixture, ReadPartitionsWhileDisconnected)
{
    window.Command2->click();
    EXPECT_EQ(messenger.messages, QStringList({"没有连接设备！请先连接设备，再操作！"}));
    EXPECT_TRUE(link.writes.isEmpty());
    EXPECT_TRUE(window.Command2->isEnabled());
    window.Command2->click();
    EXPECT_EQ(messenger.messages.last(), "等待上次命令执行完成，稍后再试！");
}

TEST_F(Form1Fixture, TheComponentListReachesThePreviewInItsLayout)
{
    connectPort();
    window.SSTree1->setCurrentIndex(window.treeLook().mapFromSource(window.tree().itemByKey("A")->index()));
    link.autoReplies.append("A001=N\r\n");
    window.Command10->click();
    ASSERT_TRUE(waitFor([&] { return !window.exchange().lineBusy(); }));
    EXPECT_EQ(window.grid().cols(), 2);
    EXPECT_EQ(window.grid().text(1, 1), "A001=N");
    // the view follows the layout's widths (twips to pixels)
    EXPECT_EQ(window.MSFlexGrid1->columnWidth(1), 3000 / PreviewGrid::kTwipsPerPixel);
}

namespace {
// A main window whose preview shows a copied file before each case starts.
class TransferFixture : public Form1Fixture {
protected:
    void SetUp() override
    {
        connectPort();
        window.tree().Bulid_Tree("A", "F1\r\nF2\r\n");
        select("A0");
        link.autoReplies.append("F1\r\nA001 100 200 D T\r\n");
        window.Command5->click();
        ASSERT_TRUE(waitFor([&] { return !window.exchange().lineBusy(); }));
        ASSERT_EQ(window.grid().rows(), 3);
        select("A1");
        window.Command5->click(); // F2 is being copied; its reply comes in pieces below
        link.deliver("F2\r\nA002 1 2 D T\r\n");
    }
    void select(const QString& key)
    {
        window.SSTree1->setCurrentIndex(window.treeLook().mapFromSource(window.tree().itemByKey(key)->index()));
    }
    void expectPreviewUnchanged()
    {
        EXPECT_EQ(window.grid().rows(), 3);
        EXPECT_EQ(window.grid().text(2, 1), "100");
    }
    QString status() const { return window.statusLine->text(); }
};
} // namespace

TEST_F(TransferFixture, DisconnectMidTransferDropsThePartialReply)
{
    ASSERT_TRUE(window.exchange().receiving());
    window.Command12->click();
    EXPECT_EQ(status(), "已断开，传输中断：已接收的 18 字节已丢弃");
    pump(50);
    expectPreviewUnchanged();
    EXPECT_EQ(window.exchange().pendingCode(), 0);

    // Reconnected while the instrument still sends the rest: read and dropped, then quiet.
    window.Command1->click();
    link.deliver("A003 1 2 D T\r\n");
    EXPECT_TRUE(status().startsWith("正在丢弃上次未完成的数据：14 字节")) << status().toStdString();
    window.Command3->click(); // refused meanwhile
    EXPECT_EQ(messenger.messages.last(), "等待上次命令执行完成，稍后再试！");
    ASSERT_TRUE(waitFor([&] { return !window.exchange().lineBusy(); }));
    EXPECT_EQ(status(), "已丢弃上次未完成的数据：14 字节");
    expectPreviewUnchanged();
    EXPECT_TRUE(link.writes.size() == 2); // the two copies; nothing since
}

TEST_F(TransferFixture, ADeviceLostMidReplyIsNoCompleteTransfer)
{
    link.unplug();
    EXPECT_EQ(window.Command1->text(), "连接");
    EXPECT_EQ(status(), "串口已断开，传输中断：已接收的 18 字节已丢弃");
    pump(50);
    expectPreviewUnchanged();
    ASSERT_FALSE(messenger.messages.isEmpty());
    EXPECT_TRUE(messenger.messages.last().contains("已断开"));
}

TEST_F(TransferFixture, StopButtonAndEscapeEndAReplyWithoutClosingThePort)
{
    EXPECT_TRUE(window.stopButton->isVisibleTo(&window));
    window.stopButton->click();
    EXPECT_FALSE(window.stopButton->isVisibleTo(&window));
    EXPECT_EQ(status(), "已停止接收：已接收的 18 字节已丢弃");
    EXPECT_EQ(window.Command1->text(), Form1::connectedText());
    link.deliver("A003 1 2 D T\r\n"); // the instrument goes on sending
    ASSERT_TRUE(waitFor([&] { return !window.exchange().lineBusy(); }));
    expectPreviewUnchanged();

    // Esc does the same.
    window.show();
    window.Command5->click();
    link.deliver("F2\r\n");
    ASSERT_TRUE(window.exchange().receiving());
    QTest::keyClick(&window, Qt::Key_Escape);
    EXPECT_FALSE(window.exchange().receiving());
    ASSERT_TRUE(waitFor([&] { return !window.exchange().lineBusy(); }));
    expectPreviewUnchanged();
}

TEST_F(Form1Fixture, AListingLongerThanAnyInstrumentHoldsLeavesTheTree)
{
    connectPort();
    window.tree().Bulid_Tree("A", "F1\r\n");
    QByteArray huge;
    for (int i = 0; i <= PartitionTree::kMaxListingLines; ++i)
        huge += "A" + QByteArray::number(i) + " 1 2 D T\r\n";
    window.SSTree1->setCurrentIndex(window.treeLook().mapFromSource(window.tree().itemByKey("A")->index()));
    link.autoReplies.append(huge);
    window.Command3->click();
    ASSERT_TRUE(waitFor([&] { return !window.exchange().lineBusy(); }));
    EXPECT_EQ(window.tree().itemByKey("A")->rowCount(), 1);
    ASSERT_EQ(messenger.messages.size(), 1);
    EXPECT_TRUE(messenger.messages[0].contains("10000"));
}

namespace {

class Form1KeyboardTest : public Form1Fixture {
protected:
    void SetUp() override
    {
        window.show();
        window.activateWindow();
        ASSERT_TRUE(waitFor([&] { return QApplication::activeWindow() == &window; }));
    }
    static void press(QWidget* w, int key, bool autoRepeat = false)
    {
        QKeyEvent down(QEvent::KeyPress, key, Qt::NoModifier, QString(), autoRepeat);
        QApplication::sendEvent(w, &down);
        QKeyEvent up(QEvent::KeyRelease, key, Qt::NoModifier, QString(), autoRepeat);
        QApplication::sendEvent(w, &up);
    }
    static void mouse(QWidget* w, QEvent::Type type, QPoint at)
    {
        QMouseEvent e(type, at, w->mapToGlobal(at), Qt::LeftButton,
                      type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(w, &e);
    }
    // The partition's node as the tree view shows it.
    QModelIndex partition(const QString& letter)
    {
        return window.treeLook().mapFromSource(window.tree().itemByKey(letter)->index());
    }
};

} // namespace

TEST_F(Form1KeyboardTest, TabLeavesThePreviewGrid)
{
    window.MSFlexGrid1->setFocus(Qt::TabFocusReason);
    window.MSFlexGrid1->setCurrentIndex(window.grid().index(0, 0));
    ASSERT_EQ(QApplication::focusWidget(), window.MSFlexGrid1);
    press(window.MSFlexGrid1, Qt::Key_Tab);
    EXPECT_NE(QApplication::focusWidget(), window.MSFlexGrid1);
    EXPECT_EQ(window.MSFlexGrid1->currentIndex(), window.grid().index(0, 0));
}

TEST_F(Form1KeyboardTest, EnterPressesTheFocusedButton)
{
    for (QPushButton* b : {window.Command2, window.Command1}) {
        b->setFocus(Qt::TabFocusReason);
        press(b, Qt::Key_Return);
    }
    // as clicks: the refusal of a command while disconnected, then the connection
    EXPECT_EQ(messenger.messages, QStringList({"没有连接设备！请先连接设备，再操作！"}));
    EXPECT_EQ(window.Command1->text(), Form1::connectedText());
    EXPECT_EQ(link.openCount, 1);
}

TEST_F(Form1KeyboardTest, EnterOrSpaceOnANodeActsAsAClickOnce)
{
    connectPort();
    link.autoReplies = {"F1\r\n", "F1\r\n", "F1\r\n", "F1\r\n"};
    window.SSTree1->setFocus(Qt::TabFocusReason);
    window.SSTree1->setCurrentIndex(partition("A"));
    press(window.SSTree1, Qt::Key_Return);
    ASSERT_TRUE(waitFor([&] { return !window.exchange().lineBusy(); }));
    window.SSTree1->setCurrentIndex(partition("B"));
    press(window.SSTree1, Qt::Key_Space);
    ASSERT_TRUE(waitFor([&] { return !window.exchange().lineBusy(); }));
    press(window.SSTree1, Qt::Key_Enter, true); // a held key does not repeat the command
    EXPECT_EQ(link.writes, QList<QByteArray>({"DIR A\r\n", "DIR B\r\n"}));

    // a double click is one click
    link.writes.clear();
    const QPoint at = window.SSTree1->visualRect(partition("C")).center();
    QWidget* viewport = window.SSTree1->viewport();
    for (QEvent::Type t : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease, QEvent::MouseButtonDblClick,
                           QEvent::MouseButtonRelease})
        mouse(viewport, t, at);
    ASSERT_TRUE(waitFor([&] { return !window.exchange().lineBusy(); }));
    EXPECT_EQ(link.writes, QList<QByteArray>({"DIR C\r\n"}));
    EXPECT_TRUE(messenger.messages.isEmpty());
}

TEST_F(Form1KeyboardTest, TheFocusComesBackAfterACommand)
{
    connectPort();
    window.SSTree1->setFocus(Qt::TabFocusReason);
    window.SSTree1->setCurrentIndex(partition("A"));
    press(window.SSTree1, Qt::Key_Return);
    ASSERT_TRUE(waitFor([&] { return !window.exchange().busy(); }));
    EXPECT_EQ(QApplication::focusWidget(), window.SSTree1);

    window.Command2->setFocus(Qt::TabFocusReason);
    press(window.Command2, Qt::Key_Return);
    ASSERT_TRUE(waitFor([&] { return window.Command2->isEnabled(); }));
    EXPECT_EQ(QApplication::focusWidget(), window.Command2);

    // focus the user moved elsewhere meanwhile stays there
    window.ComFalse();
    window.Combo2->setFocus(Qt::MouseFocusReason);
    window.ComEnable();
    EXPECT_EQ(QApplication::focusWidget(), window.Combo2);
}

TEST_F(Form1KeyboardTest, AtItsMinimumSizeTheWindowHidesAndOverlapsNothing)
{
    window.resize(1, 1);
    ASSERT_TRUE(waitFor([&] { return window.size() == window.minimumSize(); }));
    EXPECT_GT(window.minimumWidth(), 0);
    const QRect inside = window.rect();
    auto frame = [&](QWidget* w) { return QRect(w->mapTo(&window, QPoint(0, 0)), w->size()); };
    auto whole = [&](QWidget* w, const QString& what) {
        EXPECT_TRUE(w->isVisible()) << what.toStdString();
        EXPECT_TRUE(inside.contains(frame(w))) << what.toStdString();
        EXPECT_EQ(w->visibleRegion(), QRegion(w->rect())) << what.toStdString();
        EXPECT_GE(w->width(), w->sizeHint().width()) << what.toStdString(); // the text is not cut
    };
    const QList<QWidget*> strip = {window.Combo1, window.Combo2, window.Combo3, window.Combo4, window.Command1,
                                   window.Command12};
    QList<QWidget*> column;
    for (QWidget* b : commandButtons())
        column << b;
    for (QWidget* w : strip + column)
        whole(w, w->accessibleName().isEmpty() ? static_cast<QPushButton*>(w)->text() : w->accessibleName());
    // apart from each other, from the labels and from the tree and the grid
    QList<QWidget*> all = strip + column + QList<QWidget*>{window.SSTree1, window.MSFlexGrid1};
    for (QLabel* l : window.findChildren<QLabel*>())
        if (l->buddy())
            all << l;
    for (int i = 0; i < all.size(); ++i)
        for (int j = i + 1; j < all.size(); ++j)
            EXPECT_FALSE(frame(all[i]).intersects(frame(all[j]))) << i << " " << j;
}

TEST_F(Form1KeyboardTest, TheLineListsStartOnTheirEntriesAndParityIsShownInWordsButSentAsItsValue)
{
    // the arrow keys go on from the entry shown
    window.Combo2->setFocus(Qt::TabFocusReason);
    press(window.Combo2, Qt::Key_Down);
    EXPECT_EQ(window.Combo2->currentText(), "14400");
    press(window.Combo2, Qt::Key_Up);
    press(window.Combo2, Qt::Key_Up);
    EXPECT_EQ(window.Combo2->currentText(), "4800");
    window.Combo4->setFocus(Qt::TabFocusReason);
    press(window.Combo4, Qt::Key_Down);
    EXPECT_EQ(window.Combo4->currentText(), "2");

    // each parity word stands for its value on the line
    QStringList sent;
    for (int i = 0; i < window.Combo3->count(); ++i) {
        window.Combo3->setCurrentIndex(i);
        window.Command1->click();
        sent << link.settings;
        window.Command12->click();
    }
    EXPECT_EQ(sent, QStringList({"4800,N,8,2", "4800,O,8,2", "4800,E,8,2", "4800,M,8,2"}));
    QStringList shown;
    for (int i = 0; i < window.Combo3->count(); ++i)
        shown << window.Combo3->itemText(i);
    EXPECT_EQ(shown, QStringList({"无", "奇", "偶", "标记"}));
    // a word typed is the entry; a value typed is taken as it is
    window.Combo3->setCurrentText("奇");
    EXPECT_EQ(window.settingsString(), "4800,O,8,2");
    window.Combo3->setCurrentText("Even");
    EXPECT_EQ(window.settingsString(), "4800,E,8,2");
}

TEST_F(Form1Fixture, AResultBoxShowsOverATransferThatHasEnded)
{
    connectPort();
    window.SSTree1->setCurrentIndex(window.treeLook().mapFromSource(window.tree().itemByKey("B")->index()));
    QStringList statusWhileShown;
    QList<bool> stopShown;
    messenger.whileShowing = [&] {
        statusWhileShown << window.statusLine->text();
        stopShown << window.stopButton->isVisibleTo(&window);
    };
    messenger.answers = {true};
    link.autoReplies.append("OK\r\n");
    window.Command7->click(); // delete the partition: the instrument confirms
    ASSERT_TRUE(waitFor([&] { return !window.exchange().lineBusy(); }));
    link.autoReplies.append("ERR\r\n");
    window.Command6->click(); // copy it: nothing there
    ASSERT_TRUE(waitFor([&] { return !window.exchange().lineBusy(); }));
    EXPECT_EQ(messenger.messages, QStringList({"已成功删除分区！", "读取错误！请先选择您要查阅的数据区，再操作！"}));
    ASSERT_EQ(statusWhileShown.size(), 2);
    for (const QString& s : statusWhileShown)
        EXPECT_TRUE(s.startsWith("接收完成：4 字节，用时 ") || s.startsWith("接收完成：5 字节，用时 ")) << s.toStdString();
    EXPECT_EQ(stopShown, QList<bool>({false, false}));
}

TEST_F(Form1Fixture, APortWithNoDeviceSaysSo)
{
    // the start-up's "COM1" stands for no listed device; the link finds none behind it
    link.failOpenWith = SerialLink::OpenError::NotFound;
    window.Command1->click();
    ASSERT_EQ(messenger.messages.size(), 1);
    EXPECT_TRUE(messenger.messages[0].startsWith(kOpenError));
    EXPECT_TRUE(messenger.messages[0].contains("COM1 没有对应的设备")) << messenger.messages[0].toStdString();
    // a port that is merely busy is not said to be gone
    messenger.messages.clear();
    link.failOpenWith = SerialLink::OpenError::Busy;
    window.Command1->click();
    EXPECT_EQ(messenger.messages, QStringList({kOpenError}));
}

namespace {
// The window as the program builds it, with an archive and so with its history tab.
class Form1WithHistoryTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    archive::Recorder recorder{dir.filePath("archive.sqlite")};
    FakeSerialLink link;
    RecordingMessenger messenger;
    ScriptedFileDialogs dialogs;
    sheets::Servers servers;
    Form1 window{Form1Services{link, messenger,
                               [] { return std::make_unique<FixedPorts>(QList<QByteArray>{}); },
                               testing_qt::fastTiming(), dialogs, servers, QString(), &recorder}};
};
} // namespace

TEST_F(Form1WithHistoryTest, AtItsMinimumSizeTheHistoryTabIsUsable)
{
    window.show();
    window.resize(1, 1);
    ASSERT_TRUE(waitFor([&] { return window.size() == window.minimumSize(); }));
    ASSERT_NE(window.workTabs, nullptr);
    window.workTabs->setCurrentWidget(window.history);
    pump(20);
    HistoryView& h = *window.history;
    const QRect inside(QPoint(0, 0), h.size());
    auto frame = [&](QWidget* w) { return QRect(w->mapTo(&h, QPoint(0, 0)), w->size()); };
    const QList<QWidget*> controls = {h.span, h.engineering, h.calibrationButton, h.exportButton, h.pictureButton};
    for (QWidget* w : controls) {
        EXPECT_TRUE(w->isVisible());
        EXPECT_TRUE(inside.contains(frame(w)));
        EXPECT_GE(w->width(), w->sizeHint().width()) << "a caption is cut";
    }
    // a plot whose axes, dates and legend can be read, and a list that shows code and count
    EXPECT_GE(h.plot->width(), 480);
    EXPECT_GE(h.plot->height(), 260);
    EXPECT_GE(h.components->width(), 200);
    EXPECT_TRUE(inside.contains(frame(h.plot)));
    EXPECT_FALSE(frame(h.plot).intersects(frame(h.components)));
    // and the preview's side is as usable as before
    for (QPushButton* b : {window.Command2, window.Command11, window.Command1, window.Command12})
        EXPECT_GE(b->width(), b->sizeHint().width());
}
