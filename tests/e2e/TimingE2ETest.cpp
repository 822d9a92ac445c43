// Field timing against the paced simulator at 9600 baud: a long transfer cut short by the
// operator or by the line, and what the next command gets afterwards.
#include "app/TreeLook.h"
#include "grids/PreviewGrid.h"
#include "storage/PartitionTree.h"
#include "tests/e2e/SimFixture.h"
#include "tests/support/QtTestMain.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QTreeView>
#include <csignal>

using testing_qt::pump;
using testing_qt::waitFor;

namespace {

class SlowLineTest : public SimFixture {
protected:
    // 1,500 records in partition A: about a minute at 9600 baud.
    QStringList simArguments() const override { return {"--baud", "9600", "--records", "1500"}; }

    void select(const QString& key)
    {
        window->SSTree1->setCurrentIndex(window->treeLook().mapFromSource(window->tree().itemByKey(key)->index()));
    }
    QString status() const { return window->statusLine->text(); }

    // Lists partition B and returns its file names.
    QStringList listB()
    {
        select("B");
        window->Command3->click();
        EXPECT_TRUE(waitIdle(20000));
        return childTexts("B");
    }
    // Copies file B's first file into the preview, so that it shows something known.
    void previewFirstFileOfB()
    {
        if (childTexts("B").isEmpty())
            listB();
        ASSERT_NE(window->tree().itemByKey("B0"), nullptr);
        select("B0");
        window->Command5->click();
        ASSERT_TRUE(waitIdle(20000));
        ASSERT_GT(window->grid().rows(), 1);
    }
    // Starts copying partition A and waits until its reply is streaming.
    void startCopyingA()
    {
        select("A");
        window->Command6->click();
        ASSERT_TRUE(waitFor([&] { return window->exchange().receiving(); }, 10000));
    }
    QStringList previewTexts() const
    {
        QStringList out;
        for (int r = 0; r < window->grid().rows(); ++r)
            out << window->grid().text(r, 0) + "|" + window->grid().text(r, 1);
        return out;
    }
};

} // namespace

TEST_F(SlowLineTest, DisconnectMidCopyThenReconnectListsExactlyTheNextPartition)
{
    const QStringList filesOfB = listB();
    ASSERT_FALSE(filesOfB.isEmpty());
    ASSERT_FALSE(filesOfB.contains(QString())); // real names, no empty lines
    previewFirstFileOfB();
    const QStringList shown = previewTexts();

    bool claimedComplete = false;
    QObject::connect(&window->exchange(), &CommandExchange::receiveFinished, [&] { claimedComplete = true; });
    startCopyingA();
    pump(5000);
    ASSERT_TRUE(window->exchange().receiving());
    window->Command12->click();
    EXPECT_TRUE(status().contains("传输中断")) << status().toStdString();

    window->Command1->click();
    ASSERT_EQ(window->Command1->text(), Form1::connectedText());
    // The instrument still sends the rest of the copy: it is discarded, and commands are
    // refused until the line is quiet.
    QElapsedTimer sinceQuiet;
    QObject::connect(&window->exchange(), &CommandExchange::discardFinished, [&] { sinceQuiet.start(); });
    ASSERT_TRUE(waitFor([&] { return window->exchange().discarding(); }, 5000));
    EXPECT_TRUE(status().startsWith("正在丢弃上次未完成的数据")) << status().toStdString();
    ASSERT_TRUE(waitFor([&] { return !window->exchange().lineBusy(); }, 120000));
    ASSERT_TRUE(sinceQuiet.isValid());

    window->tree().removeFiles("B");
    messenger.messages.clear();
    EXPECT_EQ(listB(), filesOfB);
    EXPECT_LT(sinceQuiet.elapsed(), 5000);
    EXPECT_TRUE(messenger.messages.isEmpty()) << messenger.messages.join(" | ").toStdString();
    EXPECT_FALSE(claimedComplete && previewTexts() != shown);
    EXPECT_EQ(previewTexts(), shown); // the partial copy never reached the preview
}

TEST_F(SlowLineTest, TheLineGoingDeadMidReplyIsNoticedWhileReceiving)
{
    previewFirstFileOfB();
    const QStringList shown = previewTexts();
    startCopyingA();
    pump(1500);
    ::kill(sim.process().processId(), SIGKILL); // the far end hangs up mid-reply
    ASSERT_TRUE(waitFor([&] { return window->Command1->text() == Form1::connectText(); }, 5000))
        << "caption still " << window->Command1->text().toStdString();
    EXPECT_TRUE(status().contains("传输中断")) << status().toStdString();
    ASSERT_FALSE(messenger.messages.isEmpty());
    EXPECT_TRUE(messenger.messages.last().contains("已断开"));
    EXPECT_FALSE(window->exchange().lineBusy());
    EXPECT_EQ(previewTexts(), shown);
}
