// Every command button has a shortcut that works and a tool tip; the help menu offers the guide,
// the shortcuts, the log folder and the About box.
#include "app/HelpMenu.h"
#include "archive/CalibrationTable.h"

#include "platform/SupportLog.h"
#include "storage/PartitionTree.h"
#include "tests/support/Form1Fixture.h"

#include <QAction>
#include <QComboBox>
#include <QApplication>
#include <QTreeView>
#include <QMenu>
#include <QMenuBar>
#include <QSet>
#include <QTest>

using testing_qt::waitFor;

namespace {

QList<QPushButton*> allCommands(Form1& w)
{
    return {w.Command1, w.Command12, w.Command2, w.Command3, w.Command6, w.Command5,
            w.Command4, w.Command7, w.Command8, w.Command9, w.Command10, w.Command11};
}

} // namespace

TEST_F(Form1Fixture, EveryCommandHasItsOwnShortcutAndATipThatNamesIt)
{
    QSet<QString> seen;
    for (QPushButton* b : allCommands(window)) {
        const QString keys = b->shortcut().toString(QKeySequence::NativeText);
        EXPECT_FALSE(keys.isEmpty()) << b->text().toStdString();
        EXPECT_FALSE(seen.contains(keys)) << keys.toStdString() << " is taken twice";
        seen.insert(keys);
        EXPECT_TRUE(b->toolTip().endsWith(QStringLiteral("（%1）").arg(keys))) << b->toolTip().toStdString();
        EXPECT_GT(b->toolTip().size(), keys.size() + 4) << "the tip says what the button does";
    }
    const QString list = help::shortcutsHtml(allCommands(window));
    for (const QString& keys : seen)
        EXPECT_TRUE(list.contains(keys.toHtmlEscaped())) << keys.toStdString();
}

TEST_F(Form1Fixture, AShortcutDoesWhatItsButtonDoesAndNothingWhileTheButtonIsDisabled)
{
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    window.SSTree1->setFocus();
    QWidget* focus = QApplication::focusWidget();
    ASSERT_NE(focus, nullptr);
    QTest::keyClick(focus, Qt::Key_O, Qt::ControlModifier);
    // A button's shortcut presses it visibly: the click comes a moment later.
    ASSERT_TRUE(waitFor([&] { return window.Command1->text() == Form1::connectedText(); })) << "Ctrl+O connects";
    ASSERT_TRUE(waitFor([&] { return !window.exchange().busy(); }));
    link.writes.clear();
    link.autoReplies.append("A-E\r\n");
    QTest::keyClick(focus, Qt::Key_F5);
    ASSERT_TRUE(waitFor([&] { return !link.writes.isEmpty(); }));
    EXPECT_EQ(link.writes, QList<QByteArray>({"DIR\r\n"}));
    ASSERT_TRUE(waitFor([&] { return !window.exchange().busy(); }));
    EXPECT_EQ(window.tree().item(0)->rowCount(), 5);

    window.ComFalse(); // the commands are gated, as while a reply arrives
    QTest::keyClick(focus, Qt::Key_F5);
    QTest::qWait(300);
    EXPECT_EQ(link.writes.size(), 1) << "a disabled command's shortcut sends nothing";
    window.ComEnable();
}

TEST_F(Form1Fixture, TheConnectShortcutsKeepWorkingAfterEveryCaptionChange)
{
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    window.SSTree1->setFocus();
    QWidget* focus = QApplication::focusWidget();
    ASSERT_NE(focus, nullptr);
    for (int round = 1; round <= 2; ++round) {
        QTest::keyClick(focus, Qt::Key_O, Qt::ControlModifier);
        ASSERT_TRUE(waitFor([&] { return window.Command1->text() == Form1::connectedText(); }))
            << "Ctrl+O connects, round " << round;
        EXPECT_EQ(window.Command1->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_O));
        ASSERT_TRUE(waitFor([&] { return !window.exchange().busy(); }));
        QTest::keyClick(focus, Qt::Key_O, Qt::ControlModifier | Qt::ShiftModifier);
        ASSERT_TRUE(waitFor([&] { return window.Command1->text() == Form1::connectText(); }))
            << "Ctrl+Shift+O disconnects, round " << round;
        EXPECT_EQ(window.Command1->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_O));
    }
    EXPECT_EQ(link.openCount, 2);

    // the device vanishing changes the caption too
    QTest::keyClick(focus, Qt::Key_O, Qt::ControlModifier);
    ASSERT_TRUE(waitFor([&] { return window.Command1->text() == Form1::connectedText(); }));
    ASSERT_TRUE(waitFor([&] { return !window.exchange().busy(); }));
    link.unplug();
    ASSERT_EQ(window.Command1->text(), Form1::connectText());
    QTest::keyClick(focus, Qt::Key_O, Qt::ControlModifier);
    ASSERT_TRUE(waitFor([&] { return window.Command1->text() == Form1::connectedText(); }))
        << "Ctrl+O connects after the device was lost";
    EXPECT_EQ(link.openCount, 4);
    // the shortcut list tells the truth
    EXPECT_TRUE(help::shortcutsHtml({window.Command1}).contains(QKeySequence(Qt::CTRL | Qt::Key_O).toString(QKeySequence::NativeText)));
}

TEST_F(Form1Fixture, TheHelpMenuOffersTheGuideTheShortcutsTheLogFolderAndAbout)
{
    QMenu* menu = window.menuBar()->findChild<QMenu*>(QStringLiteral("helpMenu"));
    ASSERT_NE(menu, nullptr);
    QStringList texts;
    for (QAction* a : menu->actions())
        if (!a->isSeparator())
            texts << a->text();
    EXPECT_EQ(texts, QStringList({"使用说明", "键盘快捷键", "打开日志文件夹", "关于"}));
    QAction* logs = menu->findChild<QAction*>(QStringLiteral("openLogFolder"));
    ASSERT_NE(logs, nullptr);
    EXPECT_EQ(logs->data().toString(), SupportLog::defaultFolder());

    EXPECT_TRUE(help::aboutHtml().contains(QStringLiteral("版本 " KTM_VERSION)));
    for (const char* library : {"Qt", "QCustomPlot", "libzip", "pugixml", "SQLite", "zlib"})
        EXPECT_TRUE(help::aboutHtml().contains(QLatin1String(library))) << library;
    // The guide explains the messages the operator meets most.
    for (const char* message : {"没有连接设备！请先连接设备，再操作！", "等待上次命令执行完成，稍后再试！",
                                "没有读取到数据！请检查连线或仪器的电源开关是否关闭！"})
        EXPECT_TRUE(help::guideHtml().contains(QString::fromUtf8(message))) << message;
}

TEST(HelpGuide, TheCalibrationFilesColumnsWordsAndEncodingsAreExplained)
{
    const QString guide = help::guideHtml();
    for (const QString& column : archive::CalibrationTable::headers())
        EXPECT_TRUE(guide.contains(column)) << column.toStdString();
    for (int column = 0; column < archive::CalibrationTable::headers().size(); ++column)
        for (const QString& word : archive::CalibrationTable::shownChoices(column))
            EXPECT_TRUE(guide.contains(word)) << word.toStdString();
    for (const char* said : {"UTF-8", "GBK", "历史数据", "无 (Hz)", "双击"})
        EXPECT_TRUE(guide.contains(QString::fromUtf8(said))) << said;
}

TEST_F(Form1Fixture, AltHOpensTheHelpMenuAndTypesNothingIntoThePortField)
{
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    QMenu* menu = window.menuBar()->findChild<QMenu*>(QStringLiteral("helpMenu"));
    ASSERT_NE(menu, nullptr);
    window.Combo1->setFocus();
    ASSERT_EQ(QApplication::focusWidget(), window.Combo1);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_H, Qt::AltModifier);
    EXPECT_TRUE(waitFor([&] { return menu->isVisible(); })) << "Alt+H opens 帮助";
    EXPECT_EQ(window.Combo1->currentText(), "COM1");
    menu->hide();
}
