// The calibration table dialog: imports merged into what is typed, failed and cancelled
// imports leaving it alone, problems named by the grid's own row numbers, lists for the cells
// that hold one of a few words.
#include "app/CalibrationDialog.h"

#include "app/CalibrationGrid.h"
#include "archive/Archive.h"
#include "archive/CalibrationTable.h"
#include "tests/support/RecordingMessenger.h"
#include "tests/support/ScriptedFileDialogs.h"
#include "tests/support/ScriptedProgress.h"

#include <QComboBox>
#include <QFile>
#include <QHeaderView>
#include <QPushButton>
#include <QScreen>
#include <QStringEncoder>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QTableWidget>
#include <QTimeZone>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

using namespace archive;

namespace {

Calibration gauge(const QString& code, double g)
{
    Calibration c;
    c.code = code;
    c.gauge = QStringLiteral("裂缝计");
    c.unit = QStringLiteral("mm");
    c.G = g;
    c.R0 = 2441.3;
    c.T0 = 20;
    return c;
}

class CalibrationDialogTest : public ::testing::Test {
protected:
    void write(const QString& name, const QByteArray& bytes)
    {
        QFile f(dir.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
    }
    // Imports the file through the dialog's button; the message it gave.
    QString import(CalibrationDialog& dialog, const QString& name)
    {
        dialogs.answers = {dir.filePath(name)};
        messenger.messages.clear();
        dialog.importButton->click();
        return messenger.messages.value(0);
    }

    QTemporaryDir dir;
    ScriptedFileDialogs dialogs;
    RecordingMessenger messenger;
    ScriptedProgress progress;
};

} // namespace

TEST_F(CalibrationDialogTest, AnImportMergesByCodeAndAFailedOneChangesNothing)
{
    CalibrationDialog dialog({gauge("A001", 0.25), gauge("A007", 0.75)}, dialogs, messenger, nullptr, &progress);
    // A row typed by hand, not yet complete, stays as it is.
    dialog.addButton->click();
    dialog.rows->setData(dialog.rows->index(2, 0), QStringLiteral("B001"), Qt::EditRole);
    const std::vector<QStringList> typed = dialog.rows->rows();

    // A file from a Chinese spreadsheet: GBK, a gauge already there and a new one.
    QStringEncoder gbk("GBK");
    write("gauges.csv", gbk.encode(QStringLiteral("元件编号,仪器类型,单位,G\r\nA001,裂缝计,mm,0.5\r\nC003,渗压计,kPa,-2\r\n")));
    QString said = import(dialog, "gauges.csv");
    EXPECT_EQ(said, QStringLiteral("已导入 2 行。\n其中 1 行替换了表中已有的元件：A001")) << said.toStdString();
    EXPECT_TRUE(progress.finished);
    ASSERT_EQ(dialog.rows->rowCount(), 4);
    EXPECT_EQ(dialog.rows->rows()[1], typed[1]);
    EXPECT_EQ(dialog.rows->rows()[2], typed[2]);
    std::optional<std::vector<Calibration>> table = dialog.table();
    ASSERT_TRUE(table) << messenger.messages.join('\n').toStdString();
    ASSERT_EQ(table->size(), 4u);
    EXPECT_EQ((*table)[0].code, "A001");
    EXPECT_DOUBLE_EQ((*table)[0].G, 0.5);
    EXPECT_DOUBLE_EQ((*table)[0].R0, 0); // the file's row replaces the whole row
    EXPECT_EQ((*table)[1], gauge("A007", 0.75));
    EXPECT_EQ((*table)[2].code, "B001");
    EXPECT_EQ((*table)[3].unit, "kPa");

    // Files that cannot be imported: the grid stays as it was, and the operator is told so.
    const std::vector<QStringList> before = dialog.rows->rows();
    write("no code.csv", "unit,G\r\nmm,1\r\n");
    write("open quote.csv", "元件编号,G\r\nA001,1\r\nA002,\"2\r\nA003,3\r\n");
    write("bad rows.csv", "元件编号,G\r\nA001,x\r\n");
    write("empty.csv", "");
    const QStringList files{"missing.csv", "no code.csv", "open quote.csv", "bad rows.csv", "empty.csv"};
    for (const QString& name : files) {
        said = import(dialog, name);
        EXPECT_EQ(dialog.rows->rows(), before) << name.toStdString();
        EXPECT_FALSE(said.isEmpty()) << name.toStdString();
    }
    EXPECT_TRUE(import(dialog, "open quote.csv").contains("第 3 行：引号没有结束"));
    EXPECT_TRUE(import(dialog, "bad rows.csv").contains("第 2 行：G“x”不是数字"));

    // A table of 100,000 gauges is read beside the window, and a cancel while it is read
    // changes nothing either.
    QByteArray big = "元件编号,单位,G\r\n";
    for (int i = 0; i < 100'000; ++i)
        big += "X" + QByteArray::number(i) + ",mm,0.5\r\n";
    write("big.csv", big);
    progress.during = [&] { progress.cancel = true; };
    said = import(dialog, "big.csv");
    EXPECT_EQ(said, QStringLiteral("导入已取消，标定表未改变。"));
    EXPECT_EQ(dialog.rows->rows(), before);
    EXPECT_FALSE(progress.advances.isEmpty());
    // Not cancelled: every row arrives, the progress went up to the end.
    progress = ScriptedProgress{};
    said = import(dialog, "big.csv");
    EXPECT_EQ(said, QStringLiteral("已导入 100000 行。"));
    EXPECT_EQ(dialog.rows->rowCount(), int(before.size()) + 100'000);
    EXPECT_EQ(progress.startedWith, 1000);
    EXPECT_TRUE(std::is_sorted(progress.advances.begin(), progress.advances.end()));
}

TEST_F(CalibrationDialogTest, ProblemsNameTheRowsAsTheGridNumbersThem)
{
    CalibrationDialog dialog({gauge("A001", 0.25), gauge("A002", 0.5)}, dialogs, messenger, nullptr, &progress);
    EXPECT_EQ(dialog.rows->headerData(1, Qt::Vertical, Qt::DisplayRole).toInt(), 2);
    dialog.rows->setData(dialog.rows->index(1, 3), QStringLiteral("兆赫"), Qt::EditRole);
    dialog.rows->setData(dialog.rows->index(1, 13), QStringLiteral("k"), Qt::EditRole);
    EXPECT_FALSE(dialog.table());
    ASSERT_EQ(messenger.messages.size(), 1);
    EXPECT_EQ(messenger.messages[0].toStdString(),
              "标定表有无法识别的行，未保存：\n第 2 行：读数类型“兆赫”不是“频率”或“模数”；K“k”不是数字");
}

TEST_F(CalibrationDialogTest, WordCellsAreChosenFromAListAndEveryColumnIsInView)
{
    CalibrationDialog dialog({gauge("A001", 0.25)}, dialogs, messenger, nullptr, &progress);
    QWidget parent;
    QStyleOptionViewItem option;
    for (int column : {3, 4, 6, 10}) {
        const QModelIndex cell = dialog.rows->index(0, column);
        QWidget* editor = dialog.grid->itemDelegate()->createEditor(&parent, option, cell);
        auto* box = qobject_cast<QComboBox*>(editor);
        ASSERT_NE(box, nullptr) << column;
        EXPECT_EQ(box->count(), 2) << column;
        EXPECT_FALSE(box->isEditable());
        dialog.grid->itemDelegate()->setEditorData(box, cell);
        EXPECT_EQ(box->currentText(), cell.data().toString()) << column;
        box->setCurrentIndex(1 - box->currentIndex());
        dialog.grid->itemDelegate()->setModelData(box, dialog.rows, cell);
        EXPECT_EQ(cell.data().toString(), box->currentText());
    }
    // Each list's other word was chosen: the row reads back with every choice turned over.
    const std::optional<std::vector<Calibration>> table = dialog.table();
    ASSERT_TRUE(table && table->size() == 1u) << messenger.messages.join('\n').toStdString();
    EXPECT_EQ((*table)[0].kind, ReadingKind::Frequency);
    EXPECT_EQ((*table)[0].form, Form::Polynomial);
    EXPECT_TRUE((*table)[0].reversed);
    EXPECT_TRUE((*table)[0].fieldZero);
    // Codes and numbers are typed.
    QWidget* text = dialog.grid->itemDelegate()->createEditor(&parent, option, dialog.rows->index(0, 13));
    EXPECT_EQ(qobject_cast<QComboBox*>(text), nullptr);

    // The dialog opens wide enough to show the last column, K, where the screen has the room.
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    const int last = dialog.rows->columnCount() - 1;
    const int right = dialog.grid->columnViewportPosition(last) + dialog.grid->columnWidth(last);
    const int room = dialog.screen()->availableGeometry().width();
    if (dialog.width() < room - 40) {
        EXPECT_LE(right, dialog.grid->viewport()->width());
    }
    EXPECT_GT(dialog.grid->columnWidth(last), 0);
}

// With the archive, the dialog lists the chosen gauge's versions and adds one from a date; a
// polynomial fitted for f^2 * 10^-6 is refused with the guard's reason, in a new version as in
// the table.
TEST(CalibrationDialogVersions, ANewVersionFromADateIsListedAndAMisscaledOneRefused)
{
    QTemporaryDir dir;
    auto a = Archive::open(dir.filePath("archive.sqlite"), nullptr, nullptr);
    ASSERT_TRUE(a);
    ASSERT_TRUE(a->updateRegister({GaugeInfo{.name = "QRVA000001", .type = "裂缝计", .unit = "mm"}}, nullptr));
    Calibration c;
    c.code = "QRVA000001";
    c.gauge = "裂缝计";
    c.unit = "mm";
    c.form = Form::Polynomial;
    c.G = 0.00975839;
    c.A = 2.6645441378193e-8;
    c.B = 0.0094917094213891;
    c.C = -23.33732890100;
    c.R0 = 2441.3;
    c.T0 = 20;
    ScriptedFileDialogs dialogs;
    RecordingMessenger messenger;
    CalibrationDialog dialog({c}, dialogs, messenger);
    dialog.setArchive(a.get());
    dialog.grid->setCurrentIndex(dialog.rows->index(0, 0));
    const qint64 from = QDateTime(QDate(2026, 3, 1), QTime(0, 0), QTimeZone::utc()).toSecsSinceEpoch();
    ASSERT_TRUE(dialog.addVersion(from)) << messenger.messages.join('\n').toStdString();
    ASSERT_TRUE(dialog.addVersion(from + 86400 * 30)) << messenger.messages.join('\n').toStdString();
    const std::vector<CalibrationVersion> versions = a->calibrationVersions("QRVA000001");
    ASSERT_EQ(versions.size(), 2u);
    EXPECT_EQ(versions[0].fromUtc, from);
    EXPECT_EQ(versions[0].values.B, c.B);
    EXPECT_EQ(dialog.versions->rowCount(), 2);
    EXPECT_FALSE(dialog.versions->item(0, 1)->text().isEmpty()); // when it was entered
    EXPECT_EQ(dialog.versions->item(0, 2)->text(), versions[0].enteredBy);
    EXPECT_EQ(dialog.versions->editTriggers(), QAbstractItemView::NoEditTriggers); // read-only

    // The same curve fitted for f^2 * 10^-6: refused, and nothing added.
    Calibration micro = c;
    micro.A = c.A * 1e6;
    micro.B = c.B * 1e3;
    dialog.setRows({micro});
    dialog.grid->setCurrentIndex(dialog.rows->index(0, 0));
    EXPECT_FALSE(dialog.addVersion(from + 86400 * 60));
    ASSERT_FALSE(messenger.messages.isEmpty());
    EXPECT_TRUE(messenger.messages.last().contains("f²×10⁻⁶")) << messenger.messages.last().toStdString();
    EXPECT_EQ(a->calibrationVersions("QRVA000001").size(), 2u);
    messenger.messages.clear();
    EXPECT_FALSE(dialog.table());
    ASSERT_EQ(messenger.messages.size(), 1);
    EXPECT_TRUE(messenger.messages[0].contains("测点 QRVA000001")) << messenger.messages[0].toStdString();
}
