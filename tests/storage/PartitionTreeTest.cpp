#include "storage/PartitionTree.h"

#include <QAbstractItemModelTester>
#include <QFont>
#include <gtest/gtest.h>

namespace {

// "text(key)" of the children of an item, in order.
QStringList children(const QStandardItem* item)
{
    QStringList out;
    for (int r = 0; r < item->rowCount(); ++r)
        out << item->child(r)->text() + "(" + item->child(r)->data(PartitionTree::KeyRole).toString() + ")";
    return out;
}

} // namespace

TEST(PartitionTree, RangeBuildsRootAndPartitions)
{
    PartitionTree t;
    QAbstractItemModelTester tester(&t, QAbstractItemModelTester::FailureReportingMode::Fatal);
    EXPECT_TRUE(t.Ini_Tree("A-J").isValid());
    ASSERT_EQ(t.rowCount(), 1);
    const QStandardItem* root = t.item(0);
    EXPECT_EQ(root->text(), "数据分区");
    EXPECT_EQ(root->data(PartitionTree::KeyRole).toString(), "1");
    EXPECT_EQ(children(root), QStringList({"A(A)", "B(B)", "C(C)", "D(D)", "E(E)", "F(F)", "G(G)", "H(H)",
                                           "I(I)", "J(J)"}));
    EXPECT_EQ(root->font().pointSize(), 12);
    EXPECT_EQ(root->font().family(), "宋体");
    EXPECT_EQ(root->child(0)->font().pointSize(), 10);
    EXPECT_EQ(root->foreground().color(), QColor(0, 0, 255));

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
    for (const char* bad : {"", "\r\n", "A", "A-", "-J", "J-A", "1-9", "a-j", "ERR\r\n", "A_J", "??"}) {
        EXPECT_FALSE(t.Ini_Tree(QString::fromLatin1(bad)).isValid()) << bad;
        ASSERT_EQ(t.item(0)->rowCount(), 10) << bad;
        EXPECT_EQ(t.itemByKey("B")->rowCount(), 1) << bad;
    }
}

TEST(PartitionTree, ListingKeysFollowTheLineNumber)
{
    PartitionTree t;
    QAbstractItemModelTester tester(&t, QAbstractItemModelTester::FailureReportingMode::Fatal);
    t.Ini_Tree("A-J");
    EXPECT_TRUE(t.Bulid_Tree("B", "T01\r\nT02\r\n").isValid());
    EXPECT_EQ(children(t.itemByKey("B")), QStringList({"T01(B0)", "T02(B1)"}));
    EXPECT_EQ(t.itemByKey("B")->child(0)->font().pointSize(), 11);

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
}
