#include "app/TreeLook.h"
#include "serial/CommandExchange.h"
#include "serial/Commands.h"

#include "storage/PartitionTree.h"
#include "tests/support/Form1Fixture.h"

#include <QAbstractItemModelTester>
#include <QBrush>
#include <QSignalSpy>
#include <QTreeView>
#include <gtest/gtest.h>

namespace {

QFont fontOf(const TreeLook& look, const PartitionTree::Node* node)
{
    return look.data(look.mapFromSource(node->index()), Qt::FontRole).value<QFont>();
}

QColor colourOf(const TreeLook& look, const PartitionTree::Node* node)
{
    return look.data(look.mapFromSource(node->index()), Qt::ForegroundRole).value<QBrush>().color();
}

} // namespace

TEST(TreeLook, EachKindHasItsFontAndEveryNodeIsBlue)
{
    PartitionTree t;
    TreeLook look;
    look.setSourceModel(&t);
    t.Ini_Tree("A-J");
    t.Bulid_Tree("B", "T01\r\nT02\r\n");

    const PartitionTree::Node* root = t.item(0);
    EXPECT_EQ(fontOf(look, root).pointSize(), 12);
    EXPECT_EQ(fontOf(look, root).family(), "宋体");
    EXPECT_EQ(fontOf(look, root->child(0)).pointSize(), 10);
    EXPECT_EQ(fontOf(look, root->child(0)).family(), "宋体");
    EXPECT_EQ(fontOf(look, t.itemByKey("B")->child(0)).pointSize(), 11);
    EXPECT_EQ(fontOf(look, t.itemByKey("B1")).family(), "宋体");
    for (const QString& key : {QStringLiteral("1"), QStringLiteral("A"), QStringLiteral("B0")})
        EXPECT_EQ(colourOf(look, t.itemByKey(key)), QColor(0, 0, 255)) << key.toStdString();

    // It is the kind that decides, not the text: a file called "C" looks like a file.
    t.Bulid_Tree("A", "C\r\n");
    EXPECT_EQ(fontOf(look, t.itemByKey("A0")).pointSize(), 11);
    // The rest passes through as the tree says it.
    const QModelIndex file = look.mapFromSource(t.itemByKey("B1")->index());
    EXPECT_EQ(file.data().toString(), "T02");
    EXPECT_EQ(PartitionTree::keyOf(file), "B1");
    EXPECT_EQ(PartitionTree::kindOf(file), PartitionTree::Kind::File);
    EXPECT_FALSE(look.data({}, Qt::FontRole).isValid());
    // The tree itself has no look.
    EXPECT_FALSE(t.data(t.itemByKey("B1")->index(), Qt::FontRole).isValid());
    EXPECT_FALSE(t.data(t.itemByKey("B1")->index(), Qt::ForegroundRole).isValid());
}

TEST(TreeLook, FollowsTheTreeThroughEveryChange)
{
    PartitionTree t;
    TreeLook look;
    look.setSourceModel(&t);
    QAbstractItemModelTester tester(&look, QAbstractItemModelTester::FailureReportingMode::Fatal);
    t.Ini_Tree("A-J");
    t.Bulid_Tree("A", "F1\r\nF2\r\n");
    t.Bulid_Tree("A", "G1\r\n");
    t.removeFiles("A");
    t.addFile("A", "N1");
    t.Ini_Tree("C-E");
    ASSERT_EQ(look.rowCount(), 1);
    EXPECT_EQ(look.rowCount(look.index(0, 0)), 3);
}

TEST_F(Form1Fixture, TheTreeViewShowsTheTreeThroughItsLook)
{
    EXPECT_EQ(window.SSTree1->model(), &window.treeLook());
    EXPECT_EQ(window.treeLook().sourceModel(), &window.tree());
    const QModelIndex root = window.SSTree1->model()->index(0, 0);
    EXPECT_EQ(root.data(Qt::FontRole).value<QFont>().pointSize(), 12);
    EXPECT_EQ(root.data(Qt::ForegroundRole).value<QBrush>().color(), QColor(0, 0, 255));
}

TEST_F(Form1Fixture, AListingKeepsWhatTheViewShowsOfTheOtherPartitions)
{
    window.show();
    connectPort();
    auto view = [&](const QString& key) {
        return window.treeLook().mapFromSource(window.tree().itemByKey(key)->index());
    };
    // the instrument's answer to a command for the partition, routed as the window routes it
    auto answer = [&](qint16 code, const QString& partition, const QByteArray& reply, const QString& detail = {}) {
        ASSERT_TRUE(window.exchange().send(
            CommandExchange::Request{.bytes = "X\r\n", .code = code, .target = partition, .detail = detail}));
        link.deliver(reply);
        ASSERT_TRUE(testing_qt::waitFor([&] { return !window.exchange().lineBusy(); }));
    };
    answer(commands::ListFiles, "B", "T01\r\nT02\r\n");
    answer(commands::ListFiles, "C", "U01\r\n");
    window.SSTree1->collapse(view("C"));
    window.SSTree1->setCurrentIndex(view("B1"));
    QSignalSpy resets(&window.tree(), &QAbstractItemModel::modelReset);

    answer(commands::ListFiles, "A", "F1\r\n");
    EXPECT_TRUE(window.SSTree1->isExpanded(view("A")));
    EXPECT_TRUE(window.SSTree1->isExpanded(view("B")));
    EXPECT_FALSE(window.SSTree1->isExpanded(view("C")));
    EXPECT_TRUE(window.SSTree1->isExpanded(view("1")));
    EXPECT_EQ(window.SSTree1->currentIndex(), view("B1"));

    // listed again, B stays open and A too; its old files are gone from the view
    answer(commands::ListFiles, "B", "X\r\n");
    EXPECT_TRUE(window.SSTree1->isExpanded(view("A")));
    EXPECT_TRUE(window.SSTree1->isExpanded(view("B")));
    EXPECT_EQ(window.SSTree1->model()->rowCount(view("B")), 1);
    EXPECT_EQ(view("B0").data().toString(), "X");

    // confirmed deletes and new files do not close the other partitions either
    answer(commands::DeletePartition, "B", "OK\r\n");
    answer(commands::NewFile, "C", "OK\r\n", "NEW");
    EXPECT_TRUE(window.SSTree1->isExpanded(view("A")));
    EXPECT_TRUE(window.SSTree1->isExpanded(view("C")));
    EXPECT_EQ(resets.count(), 0);
}
