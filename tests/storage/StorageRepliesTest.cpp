// Where the storage commands' replies go, with no window: the tree and the preview take them,
// confirmations become the operator's messages and change the tree.
#include "storage/StorageReplies.h"

#include "grids/GridLayouts.h"
#include "grids/PreviewGrid.h"
#include "serial/Commands.h"
#include "storage/PartitionTree.h"
#include "tests/support/FakeSerialLink.h"
#include "tests/support/QtTestMain.h"
#include "tests/support/RecordingMessenger.h"

#include <gtest/gtest.h>

using testing_qt::waitFor;

namespace {

class StorageRepliesTest : public ::testing::Test {
protected:
    StorageRepliesTest() : exchange(link, messenger, testing_qt::fastTiming())
    {
        link.open();
        exchange.gate().setConnected(true);
        tree.Ini_Tree("A-J");
        tree.Bulid_Tree("B", "B1\r\nB2\r\n");
        grids::Ini_Grid(grid);
        StorageReplies::route(exchange, {tree, grid, messenger, [this](const QModelIndex& i) { expanded.append(PartitionTree::keyOf(i)); }});
    }
    void answer(qint16 code, const QString& target, const QByteArray& reply, const QString& detail = {})
    {
        ASSERT_TRUE(exchange.send(CommandExchange::Request{.bytes = "X\r\n", .code = code, .target = target, .detail = detail}));
        link.deliver(reply);
        ASSERT_TRUE(waitFor([&] { return !exchange.lineBusy(); }));
    }
    QStringList files(const QString& partition) const
    {
        QStringList out;
        const auto* p = tree.itemByKey(partition);
        for (int r = 0; r < p->rowCount(); ++r)
            out << p->child(r)->text();
        return out;
    }

    FakeSerialLink link;
    RecordingMessenger messenger;
    CommandExchange exchange;
    PartitionTree tree;
    PreviewGrid grid;
    QStringList expanded;
};

} // namespace

TEST_F(StorageRepliesTest, ConfirmationsPreferOkOverErrAndSayNothingOtherwise)
{
    struct Case {
        qint16 code;
        QByteArray reply;
        QStringList messages;
    };
    const QList<Case> cases = {
        {7, "OK\r\n", {"已成功删除分区！"}},
        {7, "ERR\r\n", {"删除分区失败，请稍后重试！"}},
        {7, "ERR OK\r\n", {"已成功删除分区！"}},
        {8, "OK", {"已成功删除分区数据！"}},
        {8, "xxERRxx", {"删除分区数据失败，请稍后重试！"}},
        {9, "OK\r\n", {"文件创建成功！"}},
        {9, "ERR\r\n", {"文件创建失败，请稍后重试！"}},
        {9, "ok err\r\n", {}}, // case-sensitive: nothing found, nothing shown
        {7, "\r\n", {}},
    };
    for (const Case& c : cases) {
        messenger.messages.clear();
        answer(c.code, "C", c.reply, "N");
        EXPECT_EQ(messenger.messages, c.messages) << c.code << " " << c.reply.constData();
    }
}

TEST_F(StorageRepliesTest, TheTreeChangesOnlyAsTheInstrumentConfirmed)
{
    answer(commands::DeletePartition, "B", "ERR\r\n");
    EXPECT_EQ(files("B"), QStringList({"B1", "B2"}));
    answer(commands::DeleteData, "B", "OK\r\n"); // the names stay, only the records go
    EXPECT_EQ(files("B"), QStringList({"B1", "B2"}));
    answer(commands::DeletePartition, "B", "OK\r\n");
    EXPECT_TRUE(files("B").isEmpty());

    answer(commands::NewFile, "C", "ERR\r\n", "N1");
    EXPECT_TRUE(files("C").isEmpty());
    answer(commands::NewFile, "C", "OK\r\n", "N1");
    EXPECT_EQ(files("C"), QStringList({"N1"}));
    EXPECT_EQ(expanded.last(), "C");
}

TEST_F(StorageRepliesTest, CopiesFillThePreviewUnlessTheyAreNotForANodeOrAnError)
{
    answer(commands::CopyFile, "", "F 1 2 D T\r\n"); // no node asked: nothing shown
    answer(commands::ListComponents, "", "A001=N\r\n");
    EXPECT_EQ(grid.rows(), 1);
    EXPECT_EQ(grid.cols(), 4);

    answer(commands::CopyFile, "F", "F\r\nA001 1 2 D T\r\n");
    EXPECT_EQ(grid.rows(), 3);
    answer(commands::CopyFile, "G", "ERR\r\n"); // the file is gone: the preview stays
    answer(commands::CopyPartition, "A", "ERR\r\n");
    EXPECT_EQ(grid.rows(), 3);
    EXPECT_EQ(messenger.messages, QStringList({"读取错误！请先选择您要查阅的文件，再操作！",
                                               "读取错误！请先选择您要查阅的数据区，再操作！"}));
    answer(commands::CopyFile, "ERR", "ERR\r\n"); // a file called ERR sends its name line: data
    EXPECT_EQ(grid.rows(), 2);
    EXPECT_EQ(grid.text(1, 0), "ERR");

    answer(commands::ListComponents, "A", "A001=N\r\n");
    EXPECT_EQ(grid.cols(), 2);
    EXPECT_EQ(grid.text(1, 1), "A001=N");
}

TEST_F(StorageRepliesTest, ListingsAndPartitionsReachTheTree)
{
    answer(commands::ListFiles, "D", "D1\r\nD2\r\n");
    EXPECT_EQ(files("D"), QStringList({"D1", "D2"}));
    EXPECT_EQ(expanded, QStringList({"D"}));
    QByteArray huge;
    for (int i = 0; i <= PartitionTree::kMaxListingLines; ++i)
        huge += "L\r\n";
    answer(commands::ListFiles, "D", huge);
    EXPECT_EQ(files("D"), QStringList({"D1", "D2"}));
    EXPECT_EQ(messenger.messages, QStringList({StorageReplies::listingTooLongText()}));

    answer(commands::ReadPartitions, "", "A-C\r\n");
    EXPECT_EQ(tree.itemByKey(PartitionTree::kRootKey)->rowCount(), 3);
}

TEST(MissingFile, EveryListedNameLineMustComeInOrder)
{
    const QByteArray copy = "B1\r\nB001 1 2 D T\r\nB2\r\nB3\r\nB001 3 4 D T\r\n";
    EXPECT_EQ(StorageReplies::missingFile(copy, {"B1", "B2", "B3"}), std::nullopt);
    EXPECT_EQ(StorageReplies::missingFile(copy, {}), std::nullopt);
    EXPECT_EQ(StorageReplies::missingFile(copy, {"B1", "B3"}), std::nullopt);     // a file added since
    EXPECT_EQ(StorageReplies::missingFile(copy, {"B1", "B2", "B3", "B4"}), "B4"); // cut before B4
    EXPECT_EQ(StorageReplies::missingFile(copy, {"B2", "B1"}), "B1");             // out of order
    // A name is a whole line, not a part of one; the last line may lack its end.
    EXPECT_EQ(StorageReplies::missingFile(copy, {"B"}), "B");
    EXPECT_EQ(StorageReplies::missingFile("X\r\nA001 1 2 D T\r\nY", {"X", "Y"}), std::nullopt);
}

TEST_F(StorageRepliesTest, APartitionCopyLackingAListedFileIsNotShown)
{
    bool copied = false;
    StorageReplies::route(exchange, {tree, grid, messenger, {}, [&](const QString&) { copied = true; }});
    // B was listed as B1, B2: a copy that ends after B1 was cut at a line boundary.
    answer(commands::CopyPartition, "B", "B1\r\nB001 1 2 D T\r\n");
    EXPECT_FALSE(copied);
    EXPECT_EQ(grid.rows(), 1) << "the preview keeps what it showed";
    EXPECT_EQ(messenger.messages, QStringList({StorageReplies::missingFileText().arg("B2")}));
    answer(commands::CopyPartition, "B", "B1\r\nB001 1 2 D T\r\nB2\r\nB002 1 2 D T\r\n");
    EXPECT_TRUE(copied);
    EXPECT_GT(grid.rows(), 1);
    // A partition whose listing was never read has nothing to check against.
    copied = false;
    answer(commands::CopyPartition, "C", "C1\r\nC001 1 2 D T\r\n");
    EXPECT_TRUE(copied);
}
