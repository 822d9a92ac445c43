#include "editor/ComponentList.h"

#include "grids/PreviewGrid.h"

#include <QList>
#include <gtest/gtest.h>

using namespace ComponentList;

namespace {

const QString kCodeLength =
    QStringLiteral("元件编号的长度需不符合仪器要求，请输入如：*001的编号，最大值为*200，*为A-J区 ！");
const QString kCodeWrong = QStringLiteral("元件编号错误，请输入如：*001的编号，最大值为*200，*为大写A-J ！");
const QString kNameLength =
    QStringLiteral("元件名的长度需至少有1个字符，最大长度不能超过10个字符，且必须为可现实字符！");
const QString kNameChars = QStringLiteral("元件名中含有不可显示字符（含空格），请修正！");

struct Typed : ::testing::Test {
    PreviewGrid grid;
    int count = 0;
    Typed() { reset(grid); }
    QString add(QString code, QString name) { return addTyped(grid, count, code, name); }
    QStringList entries() const
    {
        QStringList out;
        for (int r = 1; r < grid.rows(); ++r)
            out << grid.text(r, 0) + "|" + grid.text(r, 1);
        return out;
    }
};

} // namespace

TEST_F(Typed, ChecksCodeAndName)
{
    struct Case {
        QString code, name, message;
    };
    const QList<Case> cases = {
        {"A0001", "N", kCodeLength},
        {"A01", "N", kCodeLength},
        {"", "N", kCodeLength},
        {"a001", "N", kCodeWrong},
        {"K001", "N", kCodeWrong},
        {"A000", "N", kCodeWrong},
        {"A201", "N", kCodeWrong},
        {"AXYZ", "N", kCodeWrong},
        {"J200", "", kNameLength},
        {"J200", "ABCDEFGHIJK", kNameLength},
        {"J200", "AB CD", kNameChars},
        {"J200", "名字", kNameChars},
        {"J200", QString("A") + QChar(127), kNameChars},
        {"J200", QString("A") + QChar(9), kNameChars},
    };
    for (const Case& c : cases)
        EXPECT_EQ(add(c.code, c.name), c.message) << c.code.toStdString() << " " << c.name.toStdString();
    EXPECT_TRUE(entries().isEmpty());
    EXPECT_EQ(count, 0);
}

TEST_F(Typed, AppendsTrimmedEntriesNumberedFromOne)
{
    QString code = "  A001 ", name = " QRVA000001  ";
    EXPECT_EQ(addTyped(grid, count, code, name), "");
    EXPECT_EQ(code, "A001"); // the boxes show the trimmed texts
    EXPECT_EQ(name, "QRVA000001");
    EXPECT_EQ(add("J200", "ABCDEFGHIJ"), "");
    EXPECT_EQ(add("B010", "~!\"#"), "");
    EXPECT_EQ(entries(), QStringList({"1|A001=QRVA000001", "2|J200=ABCDEFGHIJ", "3|B010=~!\"#"}));
    EXPECT_EQ(count, 3);
}

TEST_F(Typed, DuplicateRules)
{
    ASSERT_EQ(add("A001", "QRVA000001"), "");
    ASSERT_EQ(add("A002", "N2"), "");
    // the same code and name again
    EXPECT_EQ(add("A001", "QRVA000001"), "元件名和第1行A001相同，请修正！");
    // another code with the name of row 1
    EXPECT_EQ(add("A003", "QRVA000001"), "元件名和第1行A001相同，请修正！");
    // an existing code with the name of another row
    EXPECT_EQ(add("A001", "N2"), "元件名和第2行A002相同，请修正！");
    // an existing code with a new name: that row's name is replaced, no row is added
    EXPECT_EQ(add("A001", "NEW"), "");
    EXPECT_EQ(entries(), QStringList({"1|A001=NEW", "2|A002=N2"}));
    EXPECT_EQ(count, 2);
    // comparisons are case-sensitive
    EXPECT_EQ(add("A003", "new"), "");
    EXPECT_EQ(entries().last(), "3|A003=new");
}

namespace {
void fill(PreviewGrid& g, const QStringList& entries)
{
    reset(g);
    g.setRows(int(entries.size()) + 1);
    for (int i = 0; i < entries.size(); ++i) {
        g.setText(i + 1, 0, QString::number(i + 1));
        g.setText(i + 1, 1, entries[i]);
    }
}
} // namespace

TEST(WriteCheck, FaultsAndTheirMessages)
{
    struct Case {
        QString entry;
        QString message;
        bool plain;
    };
    const QList<Case> cases = {
        {"A001", "表格中有元件编号不符合要求，如：第2行，请检查修正！", true},
        {"A001=", "表格中有元件编号不符合要求，如：第2行，请检查修正！", true},
        {"A01=X", "表格中有元件编号不符合要求，如：第2行，请检查修正！", true},
        {"A001=ABCDEFGHIJK", "表格中有元件编号不符合要求，如：第2行，请检查修正！", true},
        {"K001=X", "第2元件编号错误，请输入如：*001的编号，最大值为*200，*为大写A-J ！", false},
        {"a001=X", "第2元件编号错误，请输入如：*001的编号，最大值为*200，*为大写A-J ！", false},
        {"A201=X", "第2行元件编号错误，请输入如：*001的编号，最大值为*200，*为大写A-J ！", false},
        {"A000=X", "第2行元件编号错误，请输入如：*001的编号，最大值为*200，*为大写A-J ！", false},
        {"A001=AB CD", "第2行元件名中含有不可显示字符（含空格），请修正！", false},
        {"A001=名", "第2行元件名中含有不可显示字符（含空格），请修正！", false},
    };
    for (const Case& c : cases) {
        // a good row first, the faulty one second, another faulty one third: only row 2 counts
        PreviewGrid g;
        fill(g, {"A001=OK1", c.entry, "bad"});
        std::vector<Entry> approved;
        const auto fault = check(g, approved);
        ASSERT_TRUE(fault.has_value()) << c.entry.toStdString();
        EXPECT_EQ(fault->row, 2);
        EXPECT_EQ(fault->message, c.message) << c.entry.toStdString();
        EXPECT_EQ(fault->plain, c.plain) << c.entry.toStdString();
    }
}

TEST(WriteCheck, ApprovesTrimmedEntriesAndAllowsDuplicates)
{
    PreviewGrid g;
    fill(g, {" A001 = X1 ", "A002=X1", "A002=Y=ignored", "J200=ABCDEFGHIJ"});
    std::vector<Entry> approved;
    EXPECT_FALSE(check(g, approved).has_value());
    ASSERT_EQ(approved.size(), 4u);
    EXPECT_EQ(approved[0].code, "A001");
    EXPECT_EQ(approved[0].name, "X1");
    EXPECT_EQ(approved[2].name, "Y");
    // a header-only list passes with nothing to send
    PreviewGrid empty;
    fill(empty, {});
    EXPECT_FALSE(check(empty, approved).has_value());
    EXPECT_TRUE(approved.empty());
}
