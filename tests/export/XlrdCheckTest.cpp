// Saved through the built-in server, read back by python3-xlrd.
#include "export/BuiltinServer.h"
#include "export/SaveCommand.h"
#include "storage/PartitionTree.h"
#include "grids/PreviewGrid.h"
#include "tests/support/Form1Fixture.h"
#include "tests/support/XlrdReader.h"

#include <QJsonObject>
#include <QTemporaryDir>
#include <QTreeView>

namespace {

class XlrdCheckTest : public Form1Fixture {
protected:
    void SetUp() override
    {
        servers.add(sheets::kBuiltin, [] { return sheets::createBuiltinApplication(); });
        window.Bulid_Tree("A", "F\r\n");
        window.SSTree1->setCurrentIndex(window.tree().itemByKey("A")->index());
    }
    QJsonArray saveAndRead(const QString& reply)
    {
        window.exchange().SelectedName = "A";
        window.FillGrid(reply);
        const QString path = tmp.filePath("A.xls");
        dialogs.answers = {path};
        window.Command4->click();
        EXPECT_EQ(messenger.messages.value(0), SaveCommand::kSuccess);
        QString error;
        const QJsonArray sheets = readWithXlrd(path, &error);
        EXPECT_TRUE(error.isEmpty()) << error.toStdString();
        return sheets;
    }
    static QJsonArray cell(const QJsonObject& sheet, int row, int col)
    {
        for (const auto& c : sheet["cells"].toArray()) {
            const QJsonArray a = c.toArray();
            if (a[0].toInt() == row && a[1].toInt() == col)
                return a;
        }
        return {};
    }
    QTemporaryDir tmp;
};

} // namespace

TEST_F(XlrdCheckTest, OneSheetPerFileWithHeadersAndNumbers)
{
    const QJsonArray sheets = saveAndRead("A20261105-01\r\n"
                                          "A001 28456 235 2026-12-07 10:31:05\r\n"
                                          "A002 -52 -3 2026-12-07 10:32:05\r\n"
                                          "A20261106-02\r\n"
                                          "A001 30000 240 2026-12-08 09:00:00\r\n");
    ASSERT_EQ(sheets.size(), 2);
    const QJsonObject first = sheets[0].toObject(), second = sheets[1].toObject();
    EXPECT_EQ(first["name"].toString(), "A20261105-01");
    EXPECT_EQ(second["name"].toString(), "A20261106-02");
    for (const QJsonObject& s : {first, second}) {
        EXPECT_EQ(cell(s, 1, 1)[3].toString(), "编号");
        EXPECT_EQ(cell(s, 1, 4)[3].toString(), "时间");
    }
    EXPECT_EQ(cell(first, 3, 1)[3].toString(), "A001");
    EXPECT_EQ(cell(first, 3, 2)[2].toString(), "number");
    EXPECT_DOUBLE_EQ(cell(first, 3, 2)[3].toDouble(), 2845.6);
    EXPECT_DOUBLE_EQ(cell(first, 3, 3)[3].toDouble(), 23.5);
    EXPECT_DOUBLE_EQ(cell(first, 4, 2)[3].toDouble(), -5.2);
    EXPECT_EQ(cell(first, 4, 4)[3].toString(), "2026-12-07 10:32:05");
    EXPECT_EQ(cell(second, 2, 1)[3].toString(), "A20261106-02");
    EXPECT_DOUBLE_EQ(cell(second, 3, 2)[3].toDouble(), 3000.0);
}

TEST_F(XlrdCheckTest, MoreRowsThanASheetHoldsFailsAndClaimsNothing)
{
    QString reply = "BIG\r\n";
    for (int i = 0; i < 65536; ++i)
        reply += "A001 1 2 D T\r\n";
    window.exchange().SelectedName = "A";
    window.FillGrid(reply);
    const QString path = tmp.filePath("big.xls");
    dialogs.answers = {path};
    window.Command4->click();
    EXPECT_EQ(messenger.messages, QStringList({SaveCommand::kFailure}));
    // the file is the untouched template copy, not a partial export
    QString error;
    const QJsonArray sheets = readWithXlrd(path, &error);
    ASSERT_EQ(sheets.size(), 1) << error.toStdString();
    EXPECT_EQ(sheets[0].toObject()["name"].toString(), "Sheet1");
    EXPECT_TRUE(sheets[0].toObject()["cells"].toArray().isEmpty());
}
