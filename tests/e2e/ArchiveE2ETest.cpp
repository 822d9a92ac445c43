// The window keeps every completed copy in its archive: downloading the same partition again
// after the instrument took new readings adds exactly those.
#include "archive/Recorder.h"
#include "app/HistoryView.h"
#include "app/TreeLook.h"
#include "grids/PreviewGrid.h"
#include "storage/PartitionTree.h"
#include "tests/e2e/SimFixture.h"
#include "tests/support/QtTestMain.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTreeView>
#include <QTest>
#include <QTreeWidget>
#include <sqlite3.h>

namespace {

class ArchiveE2ETest : public SimFixture {
protected:
    archive::Recorder* recorder() override { return &m_recorder; }

    // Starts copying partition A with "拷贝分区" and waits until its store has begun.
    void startCopyA()
    {
        window->Command2->click();
        ASSERT_TRUE(waitIdle());
        const PartitionTree::Node* a = window->tree().itemByKey("A");
        ASSERT_NE(a, nullptr);
        window->SSTree1->setCurrentIndex(window->treeLook().mapFromSource(a->index()));
        window->Command6->click();
        // The copy is in and its store has begun (its way into the archive goes on meanwhile).
        ASSERT_TRUE(testing_qt::waitFor([&] { return m_recorder.storing(); }, 60000));
    }
    // Copies partition A with "拷贝分区" and gives the status line after it.
    QString copyA()
    {
        window->Command2->click();
        EXPECT_TRUE(waitIdle());
        const PartitionTree::Node* a = window->tree().itemByKey("A");
        EXPECT_NE(a, nullptr);
        if (!a)
            return {};
        window->SSTree1->setCurrentIndex(window->treeLook().mapFromSource(a->index()));
        window->Command6->click();
        EXPECT_TRUE(waitIdle(60000));
        // The copy is stored on the archive's own thread; the commands wait for it.
        EXPECT_TRUE(testing_qt::waitFor([&] { return !m_recorder.storing(); }, 60000));
        EXPECT_TRUE(window->Command6->isEnabled());
        return window->statusLine->text();
    }
    qint64 archived()
    {
        qint64 n = 0;
        for (const auto& s : m_recorder.archive()->summary())
            n += s.count;
        return n;
    }
    static qint64 records(const QString& reply)
    {
        // every line with more than one field is a record; a file's name line has one
        qint64 n = 0;
        for (const QString& line : reply.split("\r\n", Qt::SkipEmptyParts))
            n += line.contains(' ') ? 1 : 0;
        return n;
    }

    QTemporaryDir m_data;
    archive::Recorder m_recorder{m_data.filePath("archive.sqlite")};
};

} // namespace

TEST_F(ArchiveE2ETest, TwoDownloadsWithNewReadingsBetweenKeepEachRecordOnce)
{
    const qint64 seeded = records(expected("COPY A"));
    ASSERT_GT(seeded, 0);
    QString status = copyA();
    EXPECT_TRUE(status.contains(QStringLiteral("已存档：新增 %1 条记录，共 %1 条").arg(seeded))) << status.toStdString();
    EXPECT_EQ(archived(), seeded);

    // The same download again adds nothing.
    status = copyA();
    EXPECT_TRUE(status.contains(QStringLiteral("已存档：新增 0 条记录，共 %1 条").arg(seeded))) << status.toStdString();
    EXPECT_EQ(archived(), seeded);

    // The instrument takes 25 readings; the next download brings them and the old ones.
    window->Command12->click();
    sim.stop();
    ASSERT_TRUE(sim.start(stateDir() + "/state", m_ports.path(), {"--no-pace", "--measure", "25"}));
    window->Combo1->setCurrentText(sim.portName());
    window->Command1->click();
    ASSERT_EQ(window->Command1->text(), Form1::connectedText()) << messenger.messages.join("; ").toStdString();
    status = copyA();
    EXPECT_TRUE(status.contains(QStringLiteral("已存档：新增 25 条记录，共 %1 条").arg(seeded + 25))) << status.toStdString();
    EXPECT_EQ(archived(), seeded + 25);

    // The history tab lists the sites and the unassigned slots with what the archive holds.
    ASSERT_NE(window->history, nullptr);
    qint64 listed = 0;
    for (int i = 0; i < window->history->components->topLevelItemCount(); ++i)
        listed += window->history->components->topLevelItem(i)->text(HistoryView::CountColumn).toLongLong();
    EXPECT_EQ(listed, seeded + 25);
    EXPECT_TRUE(messenger.messages.isEmpty()) << messenger.messages.join("; ").toStdString();
}

TEST_F(ArchiveE2ETest, TheGridShowsWhileTheArchiveWaitsForAnotherProgramAndEscKeepsTheCopy)
{
    const qint64 seeded = records(expected("COPY A"));
    ASSERT_TRUE(testing_qt::waitFor([&] { return m_recorder.archive() != nullptr; }, 20000));
    // Another program holds the archive for writing.
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(m_data.filePath("archive.sqlite")).constData(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);

    startCopyA();
    EXPECT_EQ(window->grid().rows() - 1, expected("COPY A").count("\r\n"));
    EXPECT_TRUE(m_recorder.storing());
    EXPECT_TRUE(testing_qt::waitFor([&] { return window->statusLine->text().contains("正在等待档案数据库"); }, 10000))
        << window->statusLine->text().toStdString();
    // Nothing may change the grid meanwhile; saving it may go on.
    EXPECT_FALSE(window->Command6->isEnabled());
    EXPECT_FALSE(window->Command2->isEnabled());
    EXPECT_TRUE(window->Command4->isEnabled());

    window->show(); // keys reach a shown, active window only
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    QTest::keyClick(window.get(), Qt::Key_Escape);
    ASSERT_TRUE(testing_qt::waitFor([&] { return !m_recorder.storing(); }, 10000));
    EXPECT_TRUE(window->statusLine->text().contains("本次拷贝已暂存")) << window->statusLine->text().toStdString();
    EXPECT_TRUE(window->Command6->isEnabled());
    EXPECT_EQ(m_recorder.waitingCopies(), 1);
    sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(other);

    // The next program to open the archive stores it.
    archive::Recorder next(m_data.filePath("archive.sqlite"));
    ASSERT_NE(next.archive(), nullptr);
    qint64 n = 0;
    for (const auto& s : next.archive()->summary())
        n += s.count;
    EXPECT_EQ(n, seeded);
    EXPECT_EQ(next.waitingCopies(), 0);
}

TEST_F(ArchiveE2ETest, TheReadoutIsAskedOnceAndTheCopyBringsItsPartitionsComponentList)
{
    copyA();
    EXPECT_EQ(readoutQuestions, 1);
    EXPECT_EQ(window->readoutButton->text(), "仪器：模拟仪器");
    // The list was read for the archive, not for the preview: the grid still shows the copy.
    expectGridShows(expected("COPY A"));
    const archive::ComponentNames names = archive::componentNamesOfReply("A", expected("DIRPART A"));
    ASSERT_FALSE(names.entries.empty());
    QStringList listed;
    for (const auto& [code, name] : names.entries)
        listed << code + "=" + name;
    QStringList held;
    for (const archive::Assignment& a : m_recorder.archive()->assignments())
        if (a.to == archive::kUntilNow)
            held << a.code + "=" + a.gauge;
    listed.sort();
    held.sort();
    EXPECT_EQ(held, listed);

    // The same connection again: no question, and the list is not read again.
    window->Command10->click(); // what the operator reads still goes to the preview
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(window->grid().cols(), 2);
    copyA();
    EXPECT_EQ(readoutQuestions, 1);
    expectGridShows(expected("COPY A"));
    EXPECT_TRUE(messenger.messages.isEmpty()) << messenger.messages.join("; ").toStdString();
}
