// The history tab's list and export: which gauges have a calibration, what stays in Hz
// although engineering units are asked for, and an export off the window's thread that a
// cancel stops without a file; and the check of the archive, which repairs and says what it found.
#include "app/HistoryView.h"

#include "plot/TrendPlot.h"
#include "archive/Recorder.h"
#include "tests/support/ArchiveOrigin.h"
#include "tests/support/RecordingMessenger.h"
#include "tests/support/ScriptedFileDialogs.h"
#include "tests/support/ScriptedProgress.h"
#include "tests/support/Scribble.h"

#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtEndian>
#include <gtest/gtest.h>

using namespace archive;
using archive::test::testOrigin;

namespace {

class HistoryViewTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        // Gauge A001 with a calibration in mm, A002 without: 100,000 records each, ten minutes apart.
        Error error;
        ASSERT_TRUE(recorder.archive()) << recorder.failure().toStdString();
        const auto readout = recorder.archive()->addReadout("R1", "Asia/Shanghai", &error);
        ASSERT_TRUE(readout) << error.detail.toStdString();
        std::vector<Record> records;
        for (const char* code : {"A001", "A002"})
            for (qint64 i = 0; i < kRecords; ++i)
                records.push_back(Record{"A", "F1", code, instrumentTimeText(1'767'225'600 + i * 600),
                                         QString::number(28000 + i % 900), "235"});
        const CopyOrigin origin{readout->id, ComponentNames{"A", {{"A001", "A001"}, {"A002", "A002"}}}};
        ASSERT_TRUE(recorder.archive()->store(records, QDateTime::currentDateTimeUtc(), origin, &error));
        Calibration c;
        c.code = "A001";
        c.gauge = "裂缝计";
        c.unit = "mm";
        c.G = 0.01;
        c.R0 = 7800;
        ASSERT_TRUE(recorder.archive()->setCalibrations({c}, &error));
        view.progress = &progress;
        view.refresh();
    }
    QTreeWidgetItem* row(const QString& gauge) { return view.gaugeItem(gauge); }

    static constexpr qint64 kRecords = 100'000;
    QTemporaryDir dir;
    Recorder recorder{dir.filePath("archive.sqlite")};
    ScriptedFileDialogs dialogs;
    RecordingMessenger messenger;
    ScriptedProgress progress;
    HistoryView view{recorder, dialogs, messenger};
};

} // namespace

TEST_F(HistoryViewTest, TheListSaysWhichComponentsHaveACalibration)
{
    ASSERT_NE(row("A001"), nullptr);
    ASSERT_NE(row("A002"), nullptr);
    EXPECT_EQ(row("A001")->text(HistoryView::CalibrationColumn), "mm");
    EXPECT_EQ(row("A002")->text(HistoryView::CalibrationColumn), "无 (Hz)");
    EXPECT_EQ(row("A001")->text(HistoryView::CountColumn), QString::number(kRecords));

    // Both chosen, in engineering units: the one without a calibration is named as staying in
    // Hz, and each unit is drawn on an axis of its own.
    ASSERT_TRUE(view.engineering->isChecked());
    row("A001")->setSelected(true);
    row("A002")->setSelected(true);
    EXPECT_TRUE(view.note->text().contains("A002 没有标定，仍显示读数 (Hz)")) << view.note->text().toStdString();
    EXPECT_FALSE(view.note->text().contains("A001 没有标定"));
    EXPECT_EQ(view.plot->valueAxisCount(), 2);
    // Readings asked for: nothing to say, one axis.
    view.engineering->setChecked(false);
    EXPECT_FALSE(view.note->text().contains("没有标定")) << view.note->text().toStdString();
    EXPECT_EQ(view.plot->valueAxisCount(), 1);
}

TEST_F(HistoryViewTest, AnExportRunsBesideTheWindowAndACancelLeavesNoFile)
{
    row("A001")->setSelected(true);
    row("A002")->setSelected(true);
    const QString path = dir.filePath("history.csv");
    dialogs.answers = {path};
    view.exportButton->click();
    EXPECT_EQ(messenger.messages, QStringList({"成功导出文件，请查阅！"}));
    EXPECT_EQ(progress.startedWith, 2 * kRecords);
    EXPECT_TRUE(progress.finished);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll().count('\n'), 2 * kRecords + 1);
    file.close();
    ASSERT_TRUE(QFile::remove(path));

    // Cancelled: no file, and the operator is told so.
    progress = ScriptedProgress{};
    progress.cancel = true;
    messenger.messages.clear();
    dialogs.answers = {path};
    view.exportButton->click();
    EXPECT_EQ(messenger.messages, QStringList({"导出已取消，没有写入文件。"}));
    EXPECT_FALSE(QFile::exists(path));
}

TEST(HistoryViewCheck, TheCheckButtonRepairsTheNumbersAndSaysSo)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("archive.sqlite");
    {
        auto a = archive::Archive::open(path, nullptr, nullptr);
        ASSERT_TRUE(a);
        const auto readout = a->addReadout("R1", "Asia/Shanghai", nullptr);
        ASSERT_TRUE(readout);
        ASSERT_TRUE(a->store({{"A", "F1", "A001", "2026-12-07 10:31:05", "31234", "-52"}}, QDateTime::currentDateTimeUtc(),
                             CopyOrigin{readout->id, {}}, nullptr));
    }
    // The reading's number changed behind the archive's back; its text did not.
    testing_damage::scribbleNumber(path, 3123.4);

    archive::Recorder recorder(path);
    RecordingMessenger messenger;
    ScriptedFileDialogs dialogs;
    HistoryView view(recorder, dialogs, messenger);
    view.refresh();
    ASSERT_NE(view.slotItem("R1", "A001"), nullptr); // no list named it: unassigned
    ASSERT_NE(view.checkButton, nullptr);
    view.checkButton->click();
    ASSERT_EQ(messenger.messages.size(), 1);
    EXPECT_TRUE(messenger.messages[0].contains("1 条记录的数值与其文本不符")) << messenger.messages[0].toStdString();
    EXPECT_TRUE(messenger.messages[0].contains("已按记录的文本修复，档案现已完好。")) << messenger.messages[0].toStdString();
    const std::vector<archive::Point> p = recorder.archive()->series("A", "A001", 0, archive::History::kAllTime);
    ASSERT_EQ(p.size(), 1u);
    EXPECT_DOUBLE_EQ(p[0].readingHz, 3123.4);

    view.checkButton->click();
    ASSERT_EQ(messenger.messages.size(), 2);
    EXPECT_EQ(messenger.messages[1], "档案检查完毕：1 条记录，未发现问题。");
}

TEST_F(HistoryViewTest, ShowingAGaugeChoosesItAloneAndPlotsIt)
{
    row("A001")->setSelected(true);
    ASSERT_TRUE(view.showGauge("A002"));
    EXPECT_FALSE(row("A001")->isSelected());
    EXPECT_TRUE(row("A002")->isSelected());
    ASSERT_EQ(view.plot->series().size(), 1u);
    EXPECT_EQ(view.plot->series()[0].code, "A002");
    EXPECT_EQ(view.plot->series()[0].status.size(), size_t(kRecords)); // judged: a status a reading
    // A gauge the list does not hold changes nothing.
    EXPECT_FALSE(view.showGauge("B999"));
    EXPECT_TRUE(row("A002")->isSelected());
    // Masked readings: the plot's choice follows the box.
    view.showMasked->setChecked(true);
    EXPECT_TRUE(view.plot->showsMasked());
}
