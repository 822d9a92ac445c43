// A completed copy reaches the archive with its readout, asked once per device, and with the
// component list of its partition, read once per partition per connection without touching
// the preview.
#include "app/CopyArchiver.h"
#include "app/Form1.h"
#include "app/Form3.h"
#include "app/ReadoutDialog.h"
#include "app/StorageCommands.h"
#include "app/TreeLook.h"
#include "archive/Archive.h"
#include "archive/Recorder.h"
#include "office/OfficeSettings.h"
#include "export/Automation.h"
#include "grids/GridLayouts.h"
#include "grids/PreviewGrid.h"
#include "storage/PartitionTree.h"
#include "tests/support/FakeSerialLink.h"
#include "tests/support/FixedPorts.h"
#include "tests/support/Modal.h"
#include "tests/support/QtTestMain.h"
#include "tests/support/RecordingMessenger.h"
#include "tests/support/ScriptedFileDialogs.h"
#include "ktmsim/protocol.h"
#include "ktmsim/seed.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTimeZone>
#include <QTimer>
#include <QTreeView>
#include <gtest/gtest.h>

using testing_qt::waitFor;

namespace {

// The line to the simulated instrument, in-process: each command written is answered by the
// simulator's protocol on the next turn of the event loop, unless its verb is `unanswered`.
class SimulatedLine : public FakeSerialLink {
public:
    bool write(const QByteArray& bytes) override
    {
        if (!FakeSerialLink::write(bytes))
            return false;
        const QByteArray line = bytes.trimmed();
        if (!unanswered.contains(line.split(' ').first())) {
            const QByteArray reply = execute(line);
            QMetaObject::invokeMethod(
                this, [this, reply] { deliver(reply); }, Qt::QueuedConnection);
        }
        return true;
    }
    // The instrument's answer to a command line, as it stands now.
    QByteArray execute(const QByteArray& line) { return QByteArray::fromStdString(m_protocol.execute(line.toStdString())); }

    QList<QByteArray> unanswered;

private:
    ktmsim::Instrument m_instrument = ktmsim::defaultSeed();
    ktmsim::Protocol m_protocol{m_instrument, nullptr};
};

// The window as the program builds it, with an archive, against the simulated instrument. The
// question of the readout is answered by `answer` (cancelled when it gives false), and counted.
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
            offered = dialog->readoutList->count();
            if (answer(*dialog))
                dialog->accept();
            else
                dialog->reject();
        });
        m_answering.start();
    }
    void SetUp() override
    {
        ASSERT_TRUE(waitFor([&] { return recorder.archive() != nullptr; }, 20000));
    }

    void waitIdle()
    {
        ASSERT_TRUE(waitFor([&] {
            return !window.exchange().lineBusy() && !window.exchange().inGrace() && !window.archiver()->running();
        },
                            20000));
    }
    // Connects, and lists partition A with a click on it, as the operator does first.
    void connectPort(const QString& port = "COM1")
    {
        window.Combo1->setCurrentText(port);
        window.Command1->click();
        ASSERT_EQ(window.Command1->text(), Form1::connectedText());
        select("A");
        window.storage().treeClick();
        waitIdle();
        ASSERT_GT(window.tree().itemByKey("A")->rowCount(), 0);
    }
    void disconnectPort() { window.Command12->click(); }
    void select(const QString& key)
    {
        window.SSTree1->setCurrentIndex(window.treeLook().mapFromSource(window.tree().itemByKey(key)->index()));
    }
    // Copies partition A with "拷贝分区" and returns when the copy's way into the archive ended.
    void copyA()
    {
        select("A");
        const int before = copies;
        window.Command6->click();
        waitIdle();
        ASSERT_EQ(copies, before + 1);
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
    // The records of partition A as the instrument holds them.
    qint64 recordsOfA()
    {
        qint64 n = 0;
        for (const QByteArray& line : link.execute("COPY A").split('\n'))
            n += line.contains(' ') ? 1 : 0;
        return n;
    }
    // The gauges the archive has in partition A's slots now, and the instrument's list, both
    // as "A001=QRVA000001".
    QStringList heldGauges()
    {
        QStringList out;
        for (const archive::Assignment& a : recorder.archive()->assignments())
            if (a.to == archive::kUntilNow)
                out << a.code + "=" + a.gauge;
        out.sort();
        return out;
    }
    QStringList instrumentList()
    {
        QStringList out;
        for (const auto& [code, name] : archive::componentNamesOfReply("A", QString::fromLatin1(link.execute("DIRPART A"))).entries)
            out << code + "=" + name;
        out.sort();
        return out;
    }

    QTemporaryDir dir;
    archive::Recorder recorder{dir.filePath("archive.sqlite")};
    SimulatedLine link;
    RecordingMessenger messenger;
    ScriptedFileDialogs dialogs;
    sheets::Servers servers;
    QList<QByteArray> ports{"COM1", "COM2"};
    // The office database's settings: none unless a test writes them.
    QString officePath = dir.filePath("office.ini");
    Form1 window{Form1Services{link, messenger, [this] { return std::make_unique<FixedPorts>(ports); },
                               testing_qt::fastTiming(), dialogs, servers, QString(), &recorder, nullptr, officePath}};

    std::function<bool(ReadoutDialog&)> answer = [](ReadoutDialog& d) {
        d.newChoice->setChecked(true);
        d.nameEdit->setText("一号仪");
        d.zoneList->setCurrentText("Asia/Shanghai");
        return true;
    };
    int asked = 0;
    int offered = 0; // how many readouts the last question offered
    int copies = 0;
    QString lastText;
    bool lastStored = false;

private:
    QTimer m_answering;
};

} // namespace

TEST_F(ReadoutFlowTest, TheReadoutIsAskedOncePerDeviceAndRemembered)
{
    const qint64 records = recordsOfA();
    ASSERT_GT(records, 0);
    connectPort("COM1");
    EXPECT_EQ(window.readoutButton->text(), "仪器：未命名");
    copyA();
    EXPECT_EQ(asked, 1);
    EXPECT_TRUE(lastStored) << lastText.toStdString();
    EXPECT_EQ(archived(), records);
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
    EXPECT_EQ(archived(), records) << "the same records are kept once";

    // Another device is asked about, with the readouts known so far to choose from.
    disconnectPort();
    answer = [](ReadoutDialog& d) {
        EXPECT_TRUE(d.existingChoice->isChecked());
        d.readoutList->setCurrentIndex(0);
        return true;
    };
    connectPort("COM2");
    copyA();
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(offered, 1);
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
    EXPECT_TRUE(window.statusLine->text().contains(CopyArchiver::notArchivedText()))
        << window.statusLine->text().toStdString();
    EXPECT_EQ(archived(), 0);
    EXPECT_EQ(listReads(), 0) << "nothing is read for a copy that is not archived";
    PreviewGrid shown;
    grids::FillGrid(shown, QString::fromLatin1(link.execute("COPY A")));
    ASSERT_EQ(window.grid().rows(), shown.rows());
    EXPECT_EQ(window.grid().text(shown.rows() - 1, 0), shown.text(shown.rows() - 1, 0));
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
    EXPECT_EQ(archived(), recordsOfA());
}

TEST_F(ReadoutFlowTest, TheListIsReadOncePerPartitionPerConnectionAndAgainAfterAWrite)
{
    connectPort();
    copyA();
    EXPECT_EQ(listReads(), 1);
    ASSERT_FALSE(instrumentList().isEmpty());
    EXPECT_EQ(heldGauges(), instrumentList());
    copyA();
    EXPECT_EQ(listReads(), 1);

    // A component written through the editor: read again with the next copy.
    whenModalOpens<Form3>([](Form3& e) {
        e.Text2->setText("A001");
        e.Text3->setText("QRVA000777");
        e.Command4->click();
        e.Command2->click();
        waitFor([&] { return !e.writing(); }, 20000);
        if (e.isVisible())
            e.close();
    });
    window.Command11->click();
    waitIdle();
    ASSERT_TRUE(instrumentList().contains("A001=QRVA000777"));
    copyA();
    EXPECT_EQ(listReads(), 2);
    EXPECT_EQ(heldGauges(), instrumentList());

    // The partition's data deleted: its list is forgotten too.
    ASSERT_NE(window.archiver()->components().find("A"), nullptr);
    messenger.answers = {true};
    select("A");
    window.Command8->click();
    waitIdle();
    EXPECT_EQ(window.archiver()->components().find("A"), nullptr);

    // A new connection reads every list again.
    copyA(); // an emptied partition copies its file names and no record
    EXPECT_EQ(listReads(), 3);
    disconnectPort();
    EXPECT_EQ(window.archiver()->components().find("A"), nullptr);
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
    const QByteArray reply = link.execute("COPY A");
    PreviewGrid want;
    grids::FillGrid(want, QString::fromLatin1(reply));
    ASSERT_EQ(window.grid().rows(), want.rows());
    ASSERT_EQ(window.grid().cols(), want.cols());
    for (int r = 0; r < want.rows(); ++r)
        for (int c = 0; c < want.cols(); ++c)
            ASSERT_EQ(window.grid().text(r, c), want.text(r, c)) << r << "," << c;
    // The status line tells of the copy and the store, not of the list's own transfer.
    const QString status = window.statusLine->text();
    EXPECT_TRUE(status.startsWith(QStringLiteral("接收完成：%1 字节").arg(QLocale().toString(reply.size()))))
        << status.toStdString();
    EXPECT_TRUE(status.contains(QStringLiteral("已存档：新增 %1 条记录").arg(recordsOfA()))) << status.toStdString();
    // A save names the file after the copy, not after the list.
    window.Command4->click(); // the save dialog, cancelled
    ASSERT_FALSE(dialogs.proposals.isEmpty());
    EXPECT_EQ(dialogs.proposals.last(), "A.xls");
    EXPECT_TRUE(messenger.messages.isEmpty()) << messenger.messages.join("; ").toStdString();
}

TEST_F(ReadoutFlowTest, AListThatCannotBeReadLeavesTheCopyArchivedWithoutIt)
{
    connectPort();
    link.unanswered = {"DIRPART"};
    copyA();
    EXPECT_EQ(listReads(), 1);
    EXPECT_TRUE(lastStored);
    EXPECT_EQ(archived(), recordsOfA());
    EXPECT_TRUE(heldGauges().isEmpty());
    EXPECT_TRUE(window.statusLine->text().contains("未能读取分区 A 的元件编号")) << window.statusLine->text().toStdString();
    EXPECT_TRUE(window.Command6->isEnabled());
    // Nothing was kept of the failed read: the next copy tries again.
    link.unanswered.clear();
    copyA();
    EXPECT_EQ(listReads(), 2);
    EXPECT_EQ(heldGauges(), instrumentList());
}

TEST_F(ReadoutFlowTest, ChangingTheReadoutReAsksAndRemembersTheAnswer)
{
    connectPort();
    copyA();
    ASSERT_EQ(window.readoutButton->text(), "仪器：一号仪");
    // Renamed in the same dialog.
    answer = [](ReadoutDialog& d) {
        EXPECT_TRUE(d.existingChoice->isChecked());
        EXPECT_TRUE(d.readoutList->currentText().startsWith("一号仪"));
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
    EXPECT_EQ(fresh.zoneList->currentText(), pcTimeZoneId());
    EXPECT_TRUE(QTimeZone::isTimeZoneIdAvailable(pcTimeZoneId().toUtf8())) << "a zone the archive takes";

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
    EXPECT_EQ(dialog.result(), QDialog::Accepted) << dialog.problem->text().toStdString() << " / " << dialog.zoneList->currentText().toStdString();
    EXPECT_EQ(dialog.answer().kind, ReadoutAnswer::Kind::New);
    EXPECT_EQ(dialog.answer().name, "三号仪");
}

TEST_F(ReadoutFlowTest, WithAnOfficeSetUpTheStatusLineSaysWhatWaitsAfterEachDownload)
{
    const qint64 records = recordsOfA();
    connectPort("COM1");
    copyA();
    // No office: the status line as it always was.
    EXPECT_FALSE(window.statusLine->text().contains("办公室")) << window.statusLine->text().toStdString();

    office::Settings settings;
    settings.connection = "host=127.0.0.1 port=1 dbname=office sslmode=disable";
    ASSERT_TRUE(office::saveSettings(settings, officePath));
    copyA();
    const QString waiting = QLocale(QLocale::English).toString(records) + " 条读数待同步到办公室数据库";
    EXPECT_TRUE(window.statusLine->text().contains(waiting)) << window.statusLine->text().toStdString();
    EXPECT_TRUE(messenger.messages.isEmpty()) << messenger.messages.join("; ").toStdString(); // no sync was tried

    // Told to sync after each download: it does, once the copy is archived (here to an office
    // nobody answers for, which it says).
    settings.syncAfterDownload = true;
    ASSERT_TRUE(office::saveSettings(settings, officePath));
    copyA();
    ASSERT_TRUE(waitFor([&] { return !messenger.messages.isEmpty(); }, 20000));
    EXPECT_TRUE(messenger.messages[0].contains("无法连接办公室数据库服务器")) << messenger.messages[0].toStdString();
    EXPECT_TRUE(window.statusLine->text().contains(waiting)) << window.statusLine->text().toStdString();
}
