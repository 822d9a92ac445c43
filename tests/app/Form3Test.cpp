#include "app/Form3.h"

#include "grids/PreviewGrid.h"
#include "tests/support/Form1Fixture.h"
#include "tests/support/Modal.h"

#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTableView>

namespace {

const QString kDone = RecordingMessenger::kPlain + QStringLiteral("元件编号写入完成，请查阅，检查！");
const QString kFailed = RecordingMessenger::kPlain + QStringLiteral("元件编号写入失败！，请查阅，检查！");

class Form3Test : public Form1Fixture {
protected:
    void SetUp() override { connectPort(); }

    // Opens the editor with "写入分区元件编号", runs act inside it, and returns when it has closed.
    void inEditor(std::function<void(Form3&)> act, bool closeAfter = true)
    {
        whenModalOpens<Form3>([act, closeAfter](Form3& editor) {
            act(editor);
            if (closeAfter && editor.isVisible())
                editor.close();
        });
        window.Command11->click();
    }
    static void type(Form3& e, const QString& code, const QString& name)
    {
        e.Text2->setText(code);
        e.Text3->setText(name);
        e.Command4->click();
    }
    // Starts the write and waits until it has ended.
    static void writeAll(Form3& e)
    {
        e.Command2->click();
        testing_qt::waitFor([&] { return !e.writing(); }, 20000);
    }
    static QStringList column(Form3& e, int c)
    {
        QStringList out;
        for (int r = 1; r < e.grid().rows(); ++r)
            out << e.grid().text(r, c);
        return out;
    }
};

} // namespace

TEST_F(Form3Test, OpensEmptyAndClosingEnablesTheMainWindow)
{
    bool panelsHidden = false;
    int rows = 0;
    QString header;
    inEditor([&](Form3& e) {
        panelsHidden = !e.Frame2->isVisible() && !e.Frame3->isVisible() && !e.PB->isVisible();
        rows = e.grid().rows();
        header = e.grid().text(0, 0) + "/" + e.grid().text(0, 1);
        EXPECT_EQ(e.windowTitle(), "导入");
        EXPECT_EQ(e.grid().colWidth(0), 1194);
        EXPECT_EQ(e.grid().colWidth(1), 3350);
        EXPECT_FALSE(window.Command2->isEnabled()); // the main window's commands wait meanwhile
    });
    EXPECT_TRUE(panelsHidden);
    EXPECT_EQ(rows, 1);
    EXPECT_EQ(header, "序号/元件名");
    EXPECT_TRUE(window.Command2->isEnabled());
    EXPECT_TRUE(messenger.messages.isEmpty());
    EXPECT_TRUE(link.writes.isEmpty());
}

TEST_F(Form3Test, TypedListIsWrittenRowByRowAndTheEditorCloses)
{
    link.autoReplies = {"OK\r\n", "OK", "xxOKxx"};
    QStringList statuses;
    inEditor(
        [&](Form3& e) {
            e.Command3->click();
            EXPECT_TRUE(e.Frame3->isVisible());
            type(e, "A001", "QRVA000001");
            type(e, "A002", "ABCDEFGHIJ");
            type(e, " B003 ", " X ");
            EXPECT_EQ(e.Text2->text(), "B003");
            writeAll(e); // closes the editor when every row is accepted
            statuses = column(e, 0);
        },
        false);
    EXPECT_EQ(link.writes,
              QList<QByteArray>({"WR A001 QRVA000001\r\n", "WR A002 ABCDEFGHIJ\r\n", "WR B003 X\r\n"}));
    EXPECT_EQ(link.writes[1].size(), 20);
    EXPECT_EQ(statuses, QStringList({"OK", "OK", "OK"}));
    EXPECT_EQ(messenger.messages, QStringList({kDone}));
    EXPECT_TRUE(window.Command2->isEnabled());
}

TEST_F(Form3Test, RowStatusesAndTheLoopGoingOnAfterAFailure)
{
    // row 1: ERR; row 2: no answer; row 3: OK with a line break; row 4: any other text
    link.autoReplies = {"ERR\r\n", {}, "OK\r\n", "BUSY\r\n"};
    QStringList statuses;
    bool stillOpen = false, buttonsBack = false;
    inEditor([&](Form3& e) {
        e.Command3->click();
        for (const auto& [code, name] : QList<QPair<QString, QString>>{{"A001", "N1"}, {"A002", "N2"}, {"A003", "N3"}, {"A004", "N4"}})
            type(e, code, name);
        writeAll(e);
        statuses = column(e, 0);
        stillOpen = e.isVisible();
        buttonsBack = e.Command2->isEnabled() && e.Command4->isEnabled();
    });
    EXPECT_EQ(link.writes.size(), 4);
    EXPECT_EQ(statuses, QStringList({"ERR\r\n", "ERR", "OK", "BUSY\r\n"}));
    EXPECT_TRUE(stillOpen);
    EXPECT_TRUE(buttonsBack);
    EXPECT_EQ(messenger.messages, QStringList({kFailed}));
}

TEST_F(Form3Test, CheckFaultSendsNothing)
{
    bool enabledAfter = false;
    inEditor([&](Form3& e) {
        e.Command3->click();
        type(e, "A001", "N1");
        e.grid().setRows(3);
        e.grid().setText(2, 1, "A002=");
        e.Command2->click();
        enabledAfter = e.Command2->isEnabled();
    });
    EXPECT_TRUE(link.writes.isEmpty());
    EXPECT_EQ(messenger.messages,
              QStringList({RecordingMessenger::kPlain + "表格中有元件编号不符合要求，如：第2行，请检查修正！"}));
    EXPECT_TRUE(enabledAfter);
}

TEST_F(Form3Test, ImportedCellIsSentTrimmed)
{
    link.autoReplies = {"OK\r\n"};
    inEditor(
        [&](Form3& e) {
            e.grid().setRows(2);
            e.grid().setText(1, 0, "1");
            e.grid().setText(1, 1, " A001 = X1 ");
            e.Command2->click();
        },
        false);
    EXPECT_EQ(link.writes, QList<QByteArray>({"WR A001 X1\r\n"}));
}

TEST_F(Form3Test, EmptyListSendsNothingAndSaysSo)
{
    bool open = false, usable = false;
    inEditor([&](Form3& e) {
        e.Command2->click(); // only the header row
        e.Command3->click(); // a manual list started but nothing added
        e.Command2->click();
        open = e.isVisible();
        usable = e.Command2->isEnabled() && e.Command4->isEnabled();
    });
    EXPECT_TRUE(link.writes.isEmpty());
    EXPECT_EQ(messenger.messages, QStringList(2, "元件编号列表为空，没有可写入的内容！"));
    EXPECT_TRUE(open);
    EXPECT_TRUE(usable);
}

TEST_F(Form3Test, ClosingDuringAWriteStopsIt)
{
    // The instrument never answers; the operator closes the editor during the first wait.
    inEditor(
        [&](Form3& e) {
            e.Command3->click();
            type(e, "A001", "N1");
            type(e, "A002", "N2");
            type(e, "A003", "N3");
            QTimer::singleShot(30, &e, [&e] { e.close(); });
            e.Command2->click();
        },
        false);
    EXPECT_EQ(link.writes, QList<QByteArray>({"WR A001 N1\r\n"}));
    testing_qt::pump(500); // well past every wait of the editor
    EXPECT_EQ(link.writes.size(), 1);
    EXPECT_TRUE(messenger.messages.isEmpty());
    EXPECT_TRUE(window.Command2->isEnabled());
}

TEST_F(Form3Test, ManualModeStartsANewListEachTime)
{
    QStringList numbers;
    inEditor([&](Form3& e) {
        e.Command3->click();
        type(e, "A001", "N1");
        type(e, "A002", "N2");
        e.Command3->click();
        EXPECT_EQ(e.grid().rows(), 1);
        type(e, "A005", "N5");
        numbers = column(e, 0);
    });
    EXPECT_EQ(numbers, QStringList({"1"}));
}

TEST_F(Form3Test, TabLeavesTheListForTheWriteButton)
{
    QWidget* after = nullptr;
    inEditor([&](Form3& e) {
        e.activateWindow();
        ASSERT_TRUE(testing_qt::waitFor([&] { return QApplication::activeWindow() == &e; }));
        e.MSFlexGrid1->setFocus(Qt::TabFocusReason);
        e.MSFlexGrid1->setCurrentIndex(e.grid().index(0, 0));
        QKeyEvent tab(QEvent::KeyPress, Qt::Key_Tab, Qt::NoModifier);
        QApplication::sendEvent(e.MSFlexGrid1, &tab);
        after = QApplication::focusWidget();
        EXPECT_EQ(after, e.Command2);
    });
    EXPECT_NE(after, nullptr);
}
