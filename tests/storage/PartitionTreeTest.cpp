#include "storage/PartitionTree.h"

#include <QAbstractItemModelTester>
#include <QPersistentModelIndex>
#include <QSignalSpy>
#include <gtest/gtest.h>

namespace {

// "text(key)" of the children of a node, in order.
QStringList children(const PartitionTree::Node* item)
{
    QStringList out;
    for (int r = 0; r < item->rowCount(); ++r)
        out << item->child(r)->text() + "(" + item->child(r)->data(PartitionTree::KeyRole).toString() + ")";
    return out;
}

// A listing of n files called F0, F1, ...
QString listingOf(int n)
{
    QString out;
    for (int i = 0; i < n; ++i)
        out += QStringLiteral("F%1\r\n").arg(i);
    return out;
}

} // namespace

TEST(PartitionTree, RangeBuildsRootAndPartitions)
{
    PartitionTree t;
    QAbstractItemModelTester tester(&t, QAbstractItemModelTester::FailureReportingMode::Fatal);
    EXPECT_TRUE(t.Ini_Tree("A-J").isValid());
    ASSERT_EQ(t.rowCount(), 1);
    const PartitionTree::Node* root = t.item(0);
    EXPECT_EQ(root->text(), "数据分区");
    EXPECT_EQ(root->data(PartitionTree::KeyRole).toString(), "1");
    EXPECT_EQ(children(root), QStringList({"A(A)", "B(B)", "C(C)", "D(D)", "E(E)", "F(F)", "G(G)", "H(H)",
                                           "I(I)", "J(J)"}));

    EXPECT_TRUE(t.Ini_Tree("A-E\r\n").isValid());
    EXPECT_EQ(children(t.item(0)), QStringList({"A(A)", "B(B)", "C(C)", "D(D)", "E(E)"}));
    // A range need not start at A.
    EXPECT_TRUE(t.Ini_Tree("C-D").isValid());
    EXPECT_EQ(children(t.item(0)), QStringList({"C(C)", "D(D)"}));
}

TEST(PartitionTree, MalformedRangesLeaveTheTreeAsItWas)
{
    PartitionTree t;
    t.Ini_Tree("A-J");
    t.Bulid_Tree("B", "T01\r\n");
    QSignalSpy resets(&t, &QAbstractItemModel::modelReset);
    for (const char* bad : {"", "\r\n", "A", "A-", "-J", "J-A", "1-9", "a-j", "ERR\r\n", "A_J", "??"}) {
        EXPECT_FALSE(t.Ini_Tree(QString::fromLatin1(bad)).isValid()) << bad;
        ASSERT_EQ(t.item(0)->rowCount(), 10) << bad;
        EXPECT_EQ(t.itemByKey("B")->rowCount(), 1) << bad;
    }
    EXPECT_EQ(resets.count(), 0); // a view of the tree never notices a refused range
}

TEST(PartitionTree, ListingKeysFollowTheLineNumber)
{
    PartitionTree t;
    QAbstractItemModelTester tester(&t, QAbstractItemModelTester::FailureReportingMode::Fatal);
    t.Ini_Tree("A-J");
    EXPECT_TRUE(t.Bulid_Tree("B", "T01\r\nT02\r\n").isValid());
    EXPECT_EQ(children(t.itemByKey("B")), QStringList({"T01(B0)", "T02(B1)"}));

    t.Bulid_Tree("A", "F1\r\n\r\nF2\r\nlast-without-crlf");
    EXPECT_EQ(children(t.itemByKey("A")), QStringList({"F1(A0)", "F2(A2)", "last-without-crlf(A3)"}));
    // B keeps its files while A is listed
    EXPECT_EQ(t.itemByKey("B")->rowCount(), 2);

    // A new listing replaces the old one; an empty one removes all files.
    t.Bulid_Tree("B", "X\r\n");
    EXPECT_EQ(children(t.itemByKey("B")), QStringList({"X(B0)"}));
    t.Bulid_Tree("B", "\r\n");
    EXPECT_EQ(t.itemByKey("B")->rowCount(), 0);
}

TEST(PartitionTree, ListingForAnUnknownPartitionChangesNothing)
{
    PartitionTree t;
    t.Ini_Tree("A-C");
    EXPECT_FALSE(t.Bulid_Tree("J", "F\r\n").isValid());
    EXPECT_FALSE(t.Bulid_Tree("", "F\r\n").isValid());
    for (int r = 0; r < 3; ++r)
        EXPECT_EQ(t.item(0)->child(r)->rowCount(), 0);
    // Nor do the root and files take listings: only partitions hold files.
    t.Bulid_Tree("A", "F\r\n");
    EXPECT_FALSE(t.Bulid_Tree(PartitionTree::kRootKey, "X\r\n").isValid());
    EXPECT_FALSE(t.Bulid_Tree("A0", "X\r\n").isValid());
    EXPECT_EQ(children(t.itemByKey("A")), QStringList({"F(A0)"}));
    EXPECT_EQ(t.itemByKey("A0")->rowCount(), 0);
    EXPECT_EQ(t.item(0)->rowCount(), 3);
}

TEST(PartitionTree, ATooLongListingIsRefusedAndSaysSo)
{
    PartitionTree t;
    t.Ini_Tree("A-B");
    t.Bulid_Tree("A", "OLD\r\n");
    bool tooLong = true;
    EXPECT_TRUE(t.Bulid_Tree("B", listingOf(9999), &tooLong).isValid());
    EXPECT_FALSE(tooLong);
    EXPECT_EQ(t.itemByKey("B")->rowCount(), 9999);
    // as many files as the cap allows, with and without the last line's end
    const QString most = listingOf(int(PartitionTree::kMaxListingLines));
    EXPECT_TRUE(t.Bulid_Tree("B", most, &tooLong).isValid());
    EXPECT_FALSE(tooLong);
    EXPECT_EQ(t.itemByKey("B")->rowCount(), PartitionTree::kMaxListingLines);
    EXPECT_TRUE(t.Bulid_Tree("B", most.chopped(2), &tooLong).isValid());
    EXPECT_FALSE(tooLong);
    EXPECT_EQ(t.itemByKey("B")->rowCount(), PartitionTree::kMaxListingLines);
    // one more, ended or not, is refused
    EXPECT_FALSE(t.Bulid_Tree("B", most + QStringLiteral("LAST"), &tooLong).isValid());
    EXPECT_TRUE(tooLong);
    EXPECT_EQ(t.itemByKey("B")->rowCount(), PartitionTree::kMaxListingLines);

    QSignalSpy removed(&t, &QAbstractItemModel::rowsRemoved);
    EXPECT_FALSE(t.Bulid_Tree("A", listingOf(int(PartitionTree::kMaxListingLines) + 1), &tooLong).isValid());
    EXPECT_TRUE(tooLong);
    EXPECT_EQ(children(t.itemByKey("A")), QStringList({"OLD(A0)"}));
    EXPECT_EQ(removed.count(), 0);
    // No flag asked for: still refused.
    EXPECT_FALSE(t.Bulid_Tree("A", listingOf(int(PartitionTree::kMaxListingLines) + 1)).isValid());
    EXPECT_EQ(children(t.itemByKey("A")), QStringList({"OLD(A0)"}));
    // An unknown partition is not a long listing.
    EXPECT_FALSE(t.Bulid_Tree("J", "F\r\n", &tooLong).isValid());
    EXPECT_FALSE(tooLong);
}

TEST(PartitionTree, ConfirmedDeletesAndNewFilesChangeOnlyTheirPartition)
{
    PartitionTree t;
    t.Ini_Tree("A-C");
    t.Bulid_Tree("A", "F1\r\n\r\nF2\r\n");
    t.Bulid_Tree("B", "G1\r\n");

    // a new file takes the next number after the highest key, not the row count
    const QModelIndex a = t.addFile("A", "NEW");
    EXPECT_EQ(a, t.itemByKey("A")->index());
    EXPECT_EQ(children(t.itemByKey("A")), QStringList({"F1(A0)", "F2(A2)", "NEW(A3)"}));
    EXPECT_FALSE(t.addFile("A", "").isValid());
    EXPECT_FALSE(t.addFile("J", "X").isValid());
    EXPECT_FALSE(t.addFile(PartitionTree::kRootKey, "X").isValid());
    EXPECT_FALSE(t.addFile("A0", "X").isValid());
    EXPECT_EQ(t.itemByKey("A")->rowCount(), 3);
    EXPECT_EQ(t.item(0)->rowCount(), 3);

    t.removeFiles("A");
    EXPECT_EQ(t.itemByKey("A")->rowCount(), 0);
    EXPECT_EQ(children(t.itemByKey("B")), QStringList({"G1(B0)"}));
    t.removeFiles("J"); // nothing to remove
    t.removeFiles("B0");
    EXPECT_EQ(children(t.itemByKey("B")), QStringList({"G1(B0)"}));

    // into an empty partition: the first number
    t.addFile("A", "FIRST");
    EXPECT_EQ(children(t.itemByKey("A")), QStringList({"FIRST(A0)"}));
}

TEST(PartitionTree, NodesAndIndexesAgree)
{
    PartitionTree t;
    EXPECT_EQ(t.rowCount(), 0);
    EXPECT_EQ(t.item(0), nullptr);
    EXPECT_EQ(t.itemByKey(PartitionTree::kRootKey), nullptr);
    t.Ini_Tree("A-C");
    t.Bulid_Tree("B", "T01\r\nT02\r\n");

    const PartitionTree::Node* root = t.itemByKey(PartitionTree::kRootKey);
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root, t.item(0));
    EXPECT_EQ(root->parent(), nullptr);
    EXPECT_EQ(root->kind(), PartitionTree::Kind::Root);
    EXPECT_EQ(root->index(), t.index(0, 0));
    EXPECT_EQ(t.item(1), nullptr);

    const PartitionTree::Node* b = t.itemByKey("B");
    const PartitionTree::Node* file = t.itemByKey("B1");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(file->text(), "T02");
    EXPECT_EQ(file->key(), "B1");
    EXPECT_EQ(file->kind(), PartitionTree::Kind::File);
    EXPECT_EQ(file->data(Qt::DisplayRole).toString(), "T02");
    EXPECT_EQ(file->data(PartitionTree::KindRole).toInt(), int(PartitionTree::Kind::File));
    EXPECT_FALSE(file->data(Qt::ToolTipRole).isValid());
    EXPECT_EQ(file->parent(), b);
    EXPECT_EQ(file->row(), 1);
    EXPECT_EQ(b->child(1), file);
    EXPECT_EQ(b->child(2), nullptr);
    EXPECT_EQ(b->child(-1), nullptr);
    EXPECT_EQ(t.itemByKey("B2"), nullptr);
    EXPECT_EQ(t.itemByKey(""), nullptr);

    // An index and its node stand for each other, and the model's functions say the same.
    const QModelIndex at = file->index();
    EXPECT_EQ(at, t.index(1, 0, t.index(1, 0, t.index(0, 0))));
    EXPECT_EQ(t.nodeOf(at), file);
    EXPECT_EQ(t.nodeOf({}), nullptr);
    EXPECT_EQ(PartitionTree::keyOf(at), "B1");
    EXPECT_EQ(PartitionTree::kindOf(at), PartitionTree::Kind::File);
    EXPECT_EQ(PartitionTree::kindOf(b->index()), PartitionTree::Kind::Partition);
    EXPECT_EQ(PartitionTree::kindOf(root->index()), PartitionTree::Kind::Root);
    EXPECT_EQ(at.parent(), b->index());
    EXPECT_EQ(at.data().toString(), "T02");
    EXPECT_FALSE(t.index(2, 0, b->index()).isValid());
    EXPECT_FALSE(t.index(0, 1, b->index()).isValid());
    EXPECT_FALSE(t.flags(at) & Qt::ItemIsEditable);
    EXPECT_TRUE(t.flags(at) & Qt::ItemIsSelectable);

    // An index of another model is no node of this one.
    PartitionTree other;
    other.Ini_Tree("A-C");
    EXPECT_EQ(t.nodeOf(other.index(0, 0)), nullptr);
}

TEST(PartitionTree, AListingMovesOnlyTheRowsOfItsPartition)
{
    PartitionTree t;
    t.Ini_Tree("A-C");
    t.Bulid_Tree("A", "A1\r\nA2\r\n");
    t.Bulid_Tree("B", "B1\r\nB2\r\nB3\r\n");
    const QPersistentModelIndex otherFile = t.itemByKey("A1")->index();
    const QPersistentModelIndex partitionC = t.itemByKey("C")->index();
    const QPersistentModelIndex oldFile = t.itemByKey("B2")->index();
    QSignalSpy resets(&t, &QAbstractItemModel::modelReset);
    QSignalSpy removed(&t, &QAbstractItemModel::rowsRemoved);
    QSignalSpy inserted(&t, &QAbstractItemModel::rowsInserted);

    t.Bulid_Tree("B", "X\r\nY\r\n");
    EXPECT_EQ(resets.count(), 0);
    ASSERT_EQ(removed.count(), 1);
    EXPECT_EQ(removed[0][0].toModelIndex(), t.itemByKey("B")->index());
    EXPECT_EQ(removed[0][1].toInt(), 0);
    EXPECT_EQ(removed[0][2].toInt(), 2);
    ASSERT_EQ(inserted.count(), 1);
    EXPECT_EQ(inserted[0][0].toModelIndex(), t.itemByKey("B")->index());
    EXPECT_EQ(inserted[0][1].toInt(), 0);
    EXPECT_EQ(inserted[0][2].toInt(), 1);
    // what a view holds of the other partitions stays; what it held of B's old files goes
    EXPECT_TRUE(otherFile.isValid());
    EXPECT_EQ(otherFile.data().toString(), "A2");
    EXPECT_EQ(PartitionTree::keyOf(partitionC), "C");
    EXPECT_FALSE(oldFile.isValid());

    // an empty listing of an empty partition moves nothing at all
    t.Bulid_Tree("C", "");
    EXPECT_EQ(removed.count(), 1);
    EXPECT_EQ(inserted.count(), 1);
    // an add is one row at the end, a delete all the partition's rows
    t.addFile("B", "Z");
    ASSERT_EQ(inserted.count(), 2);
    EXPECT_EQ(inserted[1][1].toInt(), 2);
    EXPECT_EQ(inserted[1][2].toInt(), 2);
    t.removeFiles("B");
    ASSERT_EQ(removed.count(), 2);
    EXPECT_EQ(removed[1][2].toInt(), 2);
    EXPECT_EQ(resets.count(), 0);
    EXPECT_TRUE(otherFile.isValid());

    // a new range is a new tree
    t.Ini_Tree("A-J");
    EXPECT_EQ(resets.count(), 1);
    EXPECT_FALSE(otherFile.isValid());
}

TEST(PartitionTree, PassesTheModelTesterThroughEveryChange)
{
    PartitionTree t;
    QAbstractItemModelTester tester(&t, QAbstractItemModelTester::FailureReportingMode::Fatal);
    t.Ini_Tree("A-J");
    t.Bulid_Tree("A", "F1\r\nF2\r\n\r\nF3\r\n");
    t.Bulid_Tree("A", "G1\r\n");
    t.Bulid_Tree("J", listingOf(50));
    t.Bulid_Tree("A", listingOf(int(PartitionTree::kMaxListingLines) + 1)); // refused
    t.removeFiles("A");
    t.removeFiles("A"); // already empty
    t.addFile("A", "N1");
    t.addFile("A", "N2");
    t.addFile("J", "N3");
    t.Bulid_Tree("J", "\r\n");
    t.Ini_Tree("C-D");
    t.Ini_Tree("bad");
    t.addFile("C", "N4");
    EXPECT_EQ(children(t.item(0)), QStringList({"C(C)", "D(D)"}));
    EXPECT_EQ(children(t.itemByKey("C")), QStringList({"N4(C0)"}));
}
