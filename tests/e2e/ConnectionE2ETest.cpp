#include "tests/e2e/SimFixture.h"

#include "app/TreeLook.h"
#include "grids/PreviewGrid.h"
#include "ktmsim/seed.h"
#include "serial/Requests.h"
#include "storage/PartitionTree.h"
#include "tests/support/QtTestMain.h"

#include <QPushButton>
#include <QTreeView>

TEST_F(SimFixture, ReadPartitionsRebuildsTheTreeFromTheInstrument)
{
    window->tree().Ini_Tree("A-C"); // start from a different tree, so the rebuild is visible
    ASSERT_EQ(childTexts("1").size(), 3);
    window->Command2->click();
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(childTexts("1"), QStringList({"A", "B", "C", "D", "E", "F", "G", "H", "I", "J"}));
    // the reply came in time: the time-out passes without a message
    ASSERT_TRUE(testing_qt::waitFor([&] { return !window->exchange().replyTimerActive(); }));
    EXPECT_TRUE(messenger.messages.isEmpty()) << messenger.messages.join("; ").toStdString();
}

TEST_F(SimFixture, ListingFillsFileNodes)
{
    CommandExchange& ex = window->exchange();
    ASSERT_TRUE(ex.send(requests::listFiles("A")));
    ASSERT_TRUE(waitIdle());
    const QStringList files = listingLines(expected("DIR A"));
    ASSERT_GE(files.size(), 2); // the seed's partition A holds files
    EXPECT_EQ(childTexts("A"), files);
    const QModelIndex a = window->tree().itemByKey("A")->index();
    EXPECT_TRUE(window->SSTree1->isExpanded(window->treeLook().mapFromSource(a)));
    EXPECT_EQ(window->tree().itemByKey("A")->child(0)->data(PartitionTree::KeyRole).toString(), "A0");
}

TEST_F(SimFixture, CopyPartitionFillsTheGridWithEveryRecord)
{
    CommandExchange& ex = window->exchange();
    ASSERT_TRUE(ex.send(requests::copyPartition("A")));
    ASSERT_TRUE(waitIdle());
    const QString reply = expected("COPY A");
    expectGridShows(reply);
    // every record the instrument holds is a row with a time, file-name lines are not
    const ktmsim::Instrument instrument = ktmsim::defaultSeed();
    std::size_t held = 0;
    for (const ktmsim::DataFile& f : instrument.partition('A').files)
        held += f.records.size();
    const PreviewGrid& g = window->grid();
    std::size_t records = 0;
    for (int r = 1; r < g.rows(); ++r)
        if (!g.text(r, 3).isEmpty())
            ++records;
    EXPECT_EQ(records, held);
    EXPECT_GT(records, 0);
    EXPECT_EQ(g.text(0, 0), "编号");
}

namespace {
class UnpluggedSimTest : public SimFixture {};
} // namespace

TEST_F(UnpluggedSimTest, InstrumentGoneMidSessionIsReportedAndTheWindowRecovers)
{
    sim.stop(); // the pty disappears with the simulator
    // Either the port reports the loss itself, or the next command finds no answer; in both
    // cases the program must not hang and must come back to a usable state.
    window->Command2->click();
    testing_qt::waitFor([&] { return !messenger.messages.isEmpty(); }, 8000);
    ASSERT_FALSE(messenger.messages.isEmpty());
    EXPECT_TRUE(messenger.messages.last().contains("已断开")) << messenger.messages.join(" | ").toStdString();
    EXPECT_TRUE(testing_qt::waitFor([&] { return window->Command1->text() == Form1::connectText(); }));
    EXPECT_TRUE(window->Command1->isEnabled());
    testing_qt::waitFor([&] { return !window->exchange().busy(); }, 8000);
    EXPECT_FALSE(window->exchange().busy());
    EXPECT_TRUE(window->Command2->isEnabled());
}
