// A completed copy reaches the archive with its readout, asked once per device, and with the
// component list of its partition, read once per partition per connection without touching
// the preview.
#include "app/CopyArchiver.h"
#include "app/Form1.h"
#include "app/Form3.h"
#include "app/ReadoutDialog.h"
#include "app/TreeLook.h"
#include "archive/Archive.h"
#include "archive/Recorder.h"
#include "grids/PreviewGrid.h"
#include "storage/PartitionTree.h"
#include "tests/support/FakeSerialLink.h"
#include "tests/support/FixedPorts.h"
#include "tests/support/Modal.h"
#include "tests/support/QtTestMain.h"
#include "tests/support/RecordingMessenger.h"
#include "tests/support/ScriptedFileDialogs.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTimeZone>
#include <QTimer>
#include <QTreeView>
#include <gtest/gtest.h>

using testing_qt::waitFor;

namespace {

const QByteArray kCopyA = "F1\r\nA001 28461 241 2026-11-06 10:02:00\r\nA002 30112 -52 2026-11-06 10:02:00\r\n";
const QByteArray kNamesA = "A001=QRVA000001\r\nA002=QRVA000002\r\n";

// The window as the program builds it, with an archive, on a scripted line. The question of
// the readout is answered by `answer` (cancelled when it gives nothing), and counted.
class ReadoutFlowTest : public ::testing::Test {
protected:
    ReadoutFlowTest()
    {
        QObject::connect(window.archiver(), &CopyArchiver::finished, [this](const QString& text, bool stored) {
            ++copies;
            lastText = text;
            lastStored = stored;
        });
        m_answering.setInterval(5);
        QObject::connect(&m_answering, &QTimer::timeout, [this] {
            auto* dialog = qobject_cast<ReadoutDialog*>(QApplication::activeModalWidget());
            if (!dialog || dialog->property("answered").toBool())
                return;
            dialog->setProperty("answered", true);
            ++asked;
            askedIntro = dialog->readoutList->count();
            if (!answer(*dialog))
                dialog->reject();
            else
                dialog->accept();
        });
        m_answering.start();
    }
    void SetUp() override
    {
        ASSERT_TRUE(waitFor([&] { return recorder.archive() != nullptr; }, 20000));
    }

    void connectPort(const QString& port = "COM1")
    {
        window.Combo1->setCurrentText(port);
        window.Command1->click();
        ASSERT_EQ(window.Command1->text(), Form1::connectedText());
    }
    void disconnectPort() { window.Command12->click(); }
    void select(const QString& key)
    {
        window.SSTree1->setCurrentIndex(window.treeLook().mapFromSource(window.tree().itemByKey(key)->index()));
    }
    // Copies partition A with "拷贝分区"; the instrument answers a component list read with
    // `names` (none: it does not answer). Returns when the copy's way into the archive ended.
    void copyA(std::optional<QByteArray> names = kNamesA)
    {
        window.tree().Bulid_Tree("A", "F1\r\n");
        select("A");
        const int before = copies;
        const qsizetype written = link.writes.size();
        bool answered = false;
        link.autoReplies = {kCopyA};
        window.Command6->click();
        // The component list is asked for once the copy has been taken as complete.
        ASSERT_TRUE(waitFor([&] {
            if (names && !answered && link.writes.size() > written && link.writes.last().startsWith("DIRPART")) {
                answered = true;
                link.deliver(*names);
            }
            return copies > before && !window.exchange().lineBusy();
        },
                            20000));
    }
    int listReads() const
    {
        return int(std::count_if(link.writes.begin(), link.writes.end(),
                                 [](const QByteArray& w) { return w.startsWith("DIRPART A"); }));
    }
    qint64 archived()
    {
        qint64 n = 0;
        for (const auto& s : recorder.archive()->summary())
            n += s.count;
        return n;
    }
    // The gauge each (readout, code) holds now, "A001=QRVA000001".
    QStringList heldGauges()
    {
        QStringList out;
        for (const archive::Assignment& a : recorder.archive()->assignments())
            if (a.to == archive::kUntilNow)
                out << a.code + "=" + a.gauge;
        out.sort();
        return out;
    }

    QTemporaryDir dir;
    archive::Recorder recorder{dir.filePath("archive.sqlite")};
    FakeSerialLink link;
    RecordingMessenger messenger;
    ScriptedFileDialogs dialogs;
    sheets::Servers servers;
    QList<QByteArray> ports{"COM1", "COM2"};
    Form1 window{Form1Services{link, messenger, [this] { return std::make_unique<FixedPorts>(ports); },
                               testing_qt::fastTiming(), dialogs, servers, QString(), &recorder}};

    std::function<bool(ReadoutDialog&)> answer = [](ReadoutDialog& d) {
        d.newChoice->setChecked(true);
        d.nameEdit->setText("一号仪");
        d.zoneList->setCurrentText("Asia/Shanghai");
        return true;
    };
    int asked = 0;
    int askedIntro = 0; // how many readouts the last question offered
    int copies = 0;
    QString lastText;
    bool lastStored = false;

private:
    QTimer m_answering;
};

} // namespace

TEST_F(ReadoutFlowTest, TheReadoutIsAskedOncePerDeviceAndRemembered)
{
    connectPort("COM1");
    EXPECT_EQ(window.readoutButton->text(), "仪器：未命名");
    copyA();
    EXPECT_EQ(asked, 1);
    EXPECT_TRUE(lastStored) << lastText.toStdString();
    EXPECT_EQ(archived(), 2);
    EXPECT_EQ(window.readoutButton->text(), "仪器：一号仪");
    const std::optional<archive::Readout> first = recorder.archive()->readoutOfDevice("/dev/ttyCOM1");
    ASSERT_TRUE(first);
    EXPECT_EQ(first->name, "一号仪");
    EXPECT_EQ(first->timeZone, "Asia/Shanghai");

    // The same device again, on this connection and the next: no question.
    copyA();
    disconnectPort();
    EXPECT_EQ(window.readoutButton->text(), "仪器：—");
    connectPort("COM1");
    EXPECT_EQ(window.readoutButton->text(), "仪器：一号仪");
    copyA();
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(archived(), 2) << "the same records are kept once";

    // Another device is asked about, with the readouts known so far to choose from.
    disconnectPort();
    connectPort("COM2");
    answer = [](ReadoutDialog& d) {
        d.existingChoice->setChecked(true);
        d.readoutList->setCurrentIndex(0);
        return true;
    };
    copyA();
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(askedIntro, 1);
    const std::optional<archive::Readout> second = recorder.archive()->readoutOfDevice("/dev/ttyCOM2");
    ASSERT_TRUE(second);
    EXPECT_EQ(second->id, first->id);
    EXPECT_EQ(recorder.archive()->readouts().size(), 1u);
    EXPECT_TRUE(messenger.messages.isEmpty()) << messenger.messages.join("; ").toStdString();
}

TEST_F(ReadoutFlowTest, ACancelledQuestionArchivesNothingAndTheCopyStaysInThePreview)
{
    answer = [](ReadoutDialog&) { return false; };
    connectPort();
    copyA();
    EXPECT_EQ(asked, 1);
    EXPECT_FALSE(lastStored);
    EXPECT_TRUE(window.statusLine->text().contains(CopyArchiver::notArchivedText())) << window.statusLine->text().toStdString();
    EXPECT_EQ(archived(), 0);
    EXPECT_EQ(listReads(), 0) << "nothing is read for a copy that is not archived";
    EXPECT_EQ(window.grid().rows(), 4);
    EXPECT_EQ(window.grid().text(2, 0), "A001");
    EXPECT_TRUE(window.Command6->isEnabled());
    EXPECT_TRUE(window.SSTree1->isEnabled());
    EXPECT_FALSE(recorder.archive()->readoutOfDevice("/dev/ttyCOM1"));

    // Not remembered: the next copy asks again, and this time it is archived.
    answer = [](ReadoutDialog& d) {
        d.nameEdit->setText("二号仪");
        d.newChoice->setChecked(true);
        return true;
    };
    copyA();
    EXPECT_EQ(asked, 2);
    EXPECT_TRUE(lastStored);
    EXPECT_EQ(archived(), 2);
}

TEST_F(ReadoutFlowTest, TheListIsReadOncePerPartitionPerConnectionAndAgainAfterAChange)
{
    connectPort();
    copyA();
    EXPECT_EQ(listReads(), 1);
    EXPECT_EQ(heldGauges(), QStringList({"A001=QRVA000001", "A002=QRVA000002"}));
    copyA();
    EXPECT_EQ(listReads(), 1);

    // The partition's data deleted: its list is read again with the next copy.
    messenger.answers = {true};
    link.autoReplies = {"OK\r\n"};
    window.Command8->click();
    ASSERT_TRUE(waitFor([&] { return !window.exchange().lineBusy() && !window.exchange().inGrace(); }));
    copyA(QByteArray("A001=QRVA000009\r\n"));
    EXPECT_EQ(listReads(), 2);
    EXPECT_EQ(heldGauges(), QStringList({"A001=QRVA000009"}));

    // A component written through the editor: read again too.
    whenModalOpens<Form3>([this](Form3& e) {
        e.Text2->setText("A002");
        e.Text3->setText("QRVA000007");
        e.Command4->click();
        link.autoReplies = {"OK\r\n"};
        e.Command2->click();
        waitFor([&] { return !e.writing(); }, 20000);
        if (e.isVisible())
            e.close();
    });
    window.Command11->click();
    ASSERT_TRUE(waitFor([&] { return !window.exchange().lineBusy(); }));
    copyA(QByteArray("A001=QRVA000009\r\nA002=QRVA000007\r\n"));
    EXPECT_EQ(listReads(), 3);
    EXPECT_EQ(heldGauges(), QStringList({"A001=QRVA000009", "A002=QRVA000007"}));

    // A new connection reads it again.
    disconnectPort();
    connectPort();
    copyA();
    EXPECT_EQ(listReads(), 4);
    EXPECT_EQ(asked, 1);
}

TEST_F(ReadoutFlowTest, TheListReadLeavesThePreviewShowingTheCopy)
{
    connectPort();
    copyA();
    ASSERT_EQ(listReads(), 1);
    EXPECT_EQ(window.grid().cols(), 4);
    ASSERT_EQ(window.grid().rows(), 4);
    EXPECT_EQ(window.grid().text(1, 0), "F1");
    EXPECT_EQ(window.grid().text(2, 0), "A001");
    EXPECT_EQ(window.grid().text(3, 0), "A002");
    // The status line tells of the copy and the store, not of the list's own transfer.
    const QString status = window.statusLine->text();
    EXPECT_TRUE(status.startsWith(QStringLiteral("接收完成：%1 字节").arg(kCopyA.size()))) << status.toStdString();
    EXPECT_TRUE(status.contains("已存档：新增 2 条记录")) << status.toStdString();
    EXPECT_TRUE(messenger.messages.isEmpty()) << messenger.messages.join("; ").toStdString();
}

TEST_F(ReadoutFlowTest, AListThatCannotBeReadLeavesTheCopyArchivedWithoutIt)
{
    connectPort();
    copyA(std::nullopt); // the instrument does not answer DIRPART
    EXPECT_EQ(listReads(), 1);
    EXPECT_TRUE(lastStored);
    EXPECT_EQ(archived(), 2);
    EXPECT_TRUE(heldGauges().isEmpty());
    EXPECT_TRUE(window.statusLine->text().contains("未能读取分区 A 的元件编号")) << window.statusLine->text().toStdString();
    EXPECT_TRUE(window.Command6->isEnabled());
    // Nothing was kept of the failed read: the next copy tries again.
    copyA();
    EXPECT_EQ(listReads(), 2);
    EXPECT_EQ(heldGauges(), QStringList({"A001=QRVA000001", "A002=QRVA000002"}));
}

TEST_F(ReadoutFlowTest, ChangingTheReadoutReAsksAndRemembersTheAnswer)
{
    connectPort();
    copyA();
    ASSERT_EQ(window.readoutButton->text(), "仪器：一号仪");
    // Renamed in the same dialog.
    answer = [](ReadoutDialog& d) {
        EXPECT_TRUE(d.existingChoice->isChecked());
        EXPECT_EQ(d.readoutList->currentText().left(3), "一号仪");
        d.renameEdit->setText("坝顶一号");
        return true;
    };
    window.readoutButton->click();
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(window.readoutButton->text(), "仪器：坝顶一号");
    // Another, new readout for this device.
    answer = [](ReadoutDialog& d) {
        d.newChoice->setChecked(true);
        d.nameEdit->setText("备用仪");
        return true;
    };
    window.changeReadoutAction->trigger();
    EXPECT_EQ(window.readoutButton->text(), "仪器：备用仪");
    EXPECT_EQ(recorder.archive()->readoutOfDevice("/dev/ttyCOM1")->name, "备用仪");
    EXPECT_EQ(recorder.archive()->readouts().size(), 2u);
    copyA();
    EXPECT_EQ(asked, 3) << "the copy after the change asks nothing";
    // Disconnected there is no device to name.
    disconnectPort();
    EXPECT_FALSE(window.readoutButton->isEnabled());
    EXPECT_FALSE(window.changeReadoutAction->isEnabled());
}

TEST(ReadoutChoice, AnAnswerIsRefusedForAMissingOrTakenNameAndAnUnknownZone)
{
    const std::vector<archive::Readout> known{{1, "一号仪", "Asia/Shanghai"}, {2, "Dam-B", "UTC"}};
    using Kind = ReadoutAnswer::Kind;
    EXPECT_EQ(readoutAnswerProblem(known, {Kind::New, 0, "三号仪", "Asia/Shanghai"}), "");
    EXPECT_NE(readoutAnswerProblem(known, {Kind::New, 0, "  ", "Asia/Shanghai"}), "");
    EXPECT_NE(readoutAnswerProblem(known, {Kind::New, 0, " dam-b ", "UTC"}), "") << "taken, whatever the case";
    EXPECT_NE(readoutAnswerProblem(known, {Kind::New, 0, "三号仪", "Mars/Olympus"}), "");
    EXPECT_EQ(readoutAnswerProblem(known, {Kind::Existing, 2, "", ""}), "");
    EXPECT_EQ(readoutAnswerProblem(known, {Kind::Existing, 2, "DAM-B", ""}), "") << "its own name in another case";
    EXPECT_NE(readoutAnswerProblem(known, {Kind::Existing, 2, "一号仪", ""}), "");
    EXPECT_NE(readoutAnswerProblem(known, {Kind::Existing, 7, "", ""}), "");
    EXPECT_NE(readoutAnswerProblem({}, {Kind::Existing, 0, "", ""}), "");
}

TEST(ReadoutDialogTest, OffersTheReadoutsAndANewOneInThePcsZoneAndRefusesATakenName)
{
    ReadoutDialog fresh({}, "/dev/ttyUSB0", 0);
    EXPECT_FALSE(fresh.existingChoice->isEnabled());
    EXPECT_TRUE(fresh.newChoice->isChecked());
    EXPECT_EQ(fresh.zoneList->currentText(), QString::fromUtf8(QTimeZone::systemTimeZoneId()));

    ReadoutDialog dialog({{4, "一号仪", "Asia/Shanghai"}, {9, "二号仪", "UTC"}}, "/dev/ttyUSB0", 9);
    EXPECT_TRUE(dialog.existingChoice->isChecked());
    EXPECT_EQ(dialog.readoutList->count(), 2);
    EXPECT_EQ(dialog.answer().existing, 9) << "the readout chosen so far is offered first";
    dialog.nameEdit->setText("一号仪");
    dialog.newChoice->setChecked(true);
    dialog.accept();
    EXPECT_EQ(dialog.result(), QDialog::Rejected) << "still open";
    EXPECT_FALSE(dialog.problem->text().isEmpty());
    dialog.nameEdit->setText("三号仪");
    dialog.accept();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.answer().kind, ReadoutAnswer::Kind::New);
    EXPECT_EQ(dialog.answer().name, "三号仪");
}
