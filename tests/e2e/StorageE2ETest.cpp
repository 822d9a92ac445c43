// The storage commands against the real simulator: what the window shows must match what the
// instrument model holds, computed here independently from the same deterministic seed.
#include "tests/e2e/SimFixture.h"

#include "app/TreeLook.h"
#include "grids/GridLayouts.h"
#include "grids/PreviewGrid.h"
#include "ktmsim/protocol.h"
#include "ktmsim/seed.h"
#include "app/Form2.h"
#include "storage/PartitionTree.h"
#include "app/StorageCommands.h"
#include "tests/support/Modal.h"
#include "tests/support/QtTestMain.h"
#include "tests/support/XlrdReader.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QMap>

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QTreeView>

using testing_qt::waitFor;

namespace {

class StorageE2ETest : public SimFixture {
protected:
    void select(const QString& key)
    {
        const PartitionTree::Node* item = window->tree().itemByKey(key);
        ASSERT_NE(item, nullptr) << key.toStdString();
        window->SSTree1->setCurrentIndex(window->treeLook().mapFromSource(item->index()));
    }
    void clickButton(QPushButton* b)
    {
        b->click();
        ASSERT_TRUE(waitIdle());
    }
    void answerDialog(const QString& name)
    {
        whenModalOpens<Form2>([name](Form2& d) {
            d.Filename->setText(name);
            d.Command1->click();
        });
    }
};

} // namespace

TEST_F(StorageE2ETest, ListingByClickAndByButton)
{
    select("A");
    window->storage().treeClick();
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(childTexts("A"), listingLines(expected("DIR A")));
    EXPECT_FALSE(childTexts("A").isEmpty());

    select("D");
    clickButton(window->Command3);
    EXPECT_EQ(childTexts("D"), listingLines(expected("DIR D")));
    EXPECT_TRUE(messenger.messages.isEmpty());
}

TEST_F(StorageE2ETest, CopiedFileAndPartitionMatchTheInstrumentsRecords)
{
    select("B");
    clickButton(window->Command3);
    const QStringList files = childTexts("B");
    ASSERT_GE(files.size(), 2);

    select("B1");
    clickButton(window->Command5);
    expectGridShows(expected("COPY B " + files[1].toStdString()));
    EXPECT_GT(window->grid().rows(), 5);

    // a click on a file node does the same
    select("B0");
    window->storage().treeClick();
    ASSERT_TRUE(waitIdle());
    expectGridShows(expected("COPY B " + files[0].toStdString()));

    select("B");
    clickButton(window->Command6);
    expectGridShows(expected("COPY B"));
    EXPECT_TRUE(messenger.messages.isEmpty());
}

TEST_F(StorageE2ETest, DeletingDataKeepsNamesAndDeletingThePartitionEmptiesIt)
{
    select("E");
    clickButton(window->Command3);
    const QStringList before = childTexts("E");
    ASSERT_FALSE(before.isEmpty());

    select("E");
    messenger.answers = {true};
    clickButton(window->Command8);
    EXPECT_EQ(messenger.messages, QStringList({"已成功删除分区数据！"}));
    select("E");
    clickButton(window->Command3);
    EXPECT_EQ(childTexts("E"), before);
    select("E0");
    clickButton(window->Command5);
    EXPECT_EQ(window->grid().rows(), 2); // the file's name line, no records
    EXPECT_EQ(window->grid().text(1, 0), before[0]);

    select("E");
    messenger.answers = {true};
    clickButton(window->Command7);
    EXPECT_EQ(messenger.messages.last(), "已成功删除分区！");
    select("E");
    clickButton(window->Command3);
    EXPECT_TRUE(childTexts("E").isEmpty());

    // refusing the question leaves the instrument alone
    select("F");
    clickButton(window->Command3);
    const QStringList f = childTexts("F");
    select("F");
    messenger.answers = {false};
    window->Command7->click();
    select("F");
    clickButton(window->Command3);
    EXPECT_EQ(childTexts("F"), f);
}

TEST_F(StorageE2ETest, ANewFileIsListed)
{
    select("C");
    answerDialog("  NEW-FILE_1  ");
    clickButton(window->Command9);
    EXPECT_EQ(messenger.messages, QStringList({"文件创建成功！"}));
    select("C");
    clickButton(window->Command3);
    EXPECT_TRUE(childTexts("C").contains("NEW-FILE_1"));

    // the same name again: the instrument refuses, and the program says so
    select("C");
    answerDialog("NEW-FILE_1");
    clickButton(window->Command9);
    EXPECT_EQ(messenger.messages.last(), "文件创建失败，请稍后重试！");
}

TEST_F(StorageE2ETest, ComponentListOfAPartition)
{
    select("A");
    clickButton(window->Command10);
    EXPECT_EQ(window->grid().cols(), 2);
    expectGridShows(expected("DIRPART A"), /*components=*/true);
    EXPECT_GT(window->grid().rows(), 2);
    EXPECT_EQ(window->grid().text(0, 1), "元件名");
}

TEST_F(StorageE2ETest, CopiedPartitionSavedAsOneWorksheetPerFile)
{
    select("A");
    clickButton(window->Command6);
    const QString path = m_state.path() + "/A.xls";
    dialogs.answers = {path};
    window->Command4->click();
    ASSERT_EQ(messenger.messages, QStringList({"成功保存文件，请查阅！"}));

    // What the instrument holds for A, file by file: the listing gives the files in order,
    // and "COPY A name" each file's records.
    const QStringList files = listingLines(expected("DIR A"));
    QString error;
    const QJsonArray sheets = readWithXlrd(path, &error);
    ASSERT_EQ(sheets.size(), files.size()) << error.toStdString();
    for (int f = 0; f < files.size(); ++f) {
        const QJsonObject sheet = sheets[f].toObject();
        EXPECT_EQ(sheet["name"].toString(), files[f]);
        QStringList records = expected("COPY A " + files[f].toStdString()).split("\r\n");
        records.removeFirst(); // the name line
        records.removeAll(QString());
        // cells of each sheet row, keyed by row: column 1 text and column 2 number
        QMap<int, QString> codes;
        QMap<int, double> readings;
        for (const auto& c : sheet["cells"].toArray()) {
            const QJsonArray a = c.toArray();
            if (a[1].toInt() == 1)
                codes[a[0].toInt()] = a[3].toString();
            if (a[1].toInt() == 2 && a[2].toString() == "number")
                readings[a[0].toInt()] = a[3].toDouble();
        }
        EXPECT_EQ(codes.value(1), "编号");
        EXPECT_EQ(codes.value(2), files[f]);
        ASSERT_EQ(codes.size(), records.size() + 2) << files[f].toStdString();
        for (int i = 0; i < records.size(); ++i) {
            const QStringList fields = records[i].split(' ');
            EXPECT_EQ(codes.value(i + 3), fields[0]);
            EXPECT_DOUBLE_EQ(readings.value(i + 3), fields[1].toDouble() / 10.0);
        }
    }
}
