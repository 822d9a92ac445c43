// The history tab's lists of what judging found: events coloured by the status reached and
// acknowledged with a note, gauges overdue, a gauge's readings masked and unmasked from the
// list, and the trigger levels exported and imported beside the register.
#include "app/EventLists.h"
#include "app/HistoryView.h"
#include "app/ReadingsModel.h"
#include "app/RegisterDialog.h"
#include "archive/Recorder.h"
#include "archive/TableFile.h"
#include "tests/support/RecordingMessenger.h"
#include "tests/support/ScriptedFileDialogs.h"

#include <QAbstractItemModelTester>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QItemSelectionModel>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <gtest/gtest.h>

using namespace archive;

TEST(EventsModel, ColoursByTheStatusReachedAndSaysWhoAcknowledged)
{
    EventsModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    std::vector<LevelEvent> events(4);
    const char* names[] = {"正常", "预警", "报警", "控制"};
    for (int i = 0; i < 4; ++i) {
        events[std::size_t(i)].id = 10 + i;
        events[std::size_t(i)].gauge = "P1";
        events[std::size_t(i)].from = i == 0 ? 3 : i - 1;
        events[std::size_t(i)].to = i;
        events[std::size_t(i)].fromName = names[i == 0 ? 3 : i - 1];
        events[std::size_t(i)].toName = names[i];
        events[std::size_t(i)].value = 12.5;
        events[std::size_t(i)].unit = "kPa";
    }
    events[2].acknowledged = true;
    events[2].acknowledgedBy = "li";
    events[2].acknowledgedAt = QDateTime(QDate(2026, 12, 10), QTime(9, 30));
    events[2].note = "现场已查看";
    model.setEvents(events);
    ASSERT_EQ(model.rowCount(), 4);
    const auto cell = [&](int row, int column, int role = Qt::DisplayRole) { return model.index(row, column).data(role); };
    // Back to normal is not coloured; ranks 1, 2, 3 are amber, orange, red, each its own.
    EXPECT_FALSE(cell(0, EventsModel::ChangeColumn, Qt::BackgroundRole).isValid());
    QList<QColor> colours;
    for (int r = 1; r <= 3; ++r) {
        const QColor c = cell(r, EventsModel::ChangeColumn, Qt::BackgroundRole).value<QColor>();
        EXPECT_EQ(c, rankColour(r));
        EXPECT_FALSE(colours.contains(c));
        colours << c;
    }
    EXPECT_GT(rankColour(1).green(), rankColour(2).green()); // amber lighter than orange,
    EXPECT_GT(rankColour(2).green(), rankColour(3).green()); // orange than red
    EXPECT_EQ(cell(1, EventsModel::ChangeColumn).toString(), "正常 → 预警");
    EXPECT_EQ(cell(0, EventsModel::ChangeColumn).toString(), "控制 → 正常");
    EXPECT_EQ(cell(1, EventsModel::ValueColumn).toString(), "12.5 kPa");
    EXPECT_EQ(cell(1, EventsModel::AcknowledgedColumn).toString(), "未确认");
    const QString ack = cell(2, EventsModel::AcknowledgedColumn).toString();
    EXPECT_TRUE(ack.startsWith("li 2026-12-10 ")) << ack.toStdString();
    EXPECT_TRUE(ack.endsWith("：现场已查看")) << ack.toStdString();
    EXPECT_EQ(cell(3, 0, EventsModel::kEventIdRole).toLongLong(), 13);
}

namespace {

// Gauge P1 (no calibration: judged in Hz) with readings 2900, 2950, 3050, 3100, 2900, 2800 Hz a
// day apart from 2026-01-01, read every day; gauge P2 on another site, never read since.
class HistoryEventsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // Versions and acknowledgements keep the PC's user: one known here.
        qputenv("USER", "tester");
        ASSERT_TRUE(dir.isValid());
        Archive* a = recorder.archive();
        ASSERT_TRUE(a) << recorder.failure().toStdString();
        const auto readout = a->addReadout("R1", "UTC", &error);
        ASSERT_TRUE(readout) << error.detail.toStdString();
        const int hz[] = {29000, 29500, 30500, 31000, 29000, 28000};
        std::vector<Record> records;
        for (int i = 0; i < 6; ++i) {
            records.push_back(Record{"A", "F1", "A001", instrumentTimeText(kStart + i * 86400), QString::number(hz[i]), "200"});
            records.push_back(Record{"A", "F1", "A002", instrumentTimeText(kStart + i * 86400), "25000", "200"});
        }
        const CopyOrigin origin{readout->id, ComponentNames{"A", {{"A001", "P1"}, {"A002", "P2"}}}};
        ASSERT_TRUE(a->store(records, QDateTime::currentDateTimeUtc(), origin, &error)) << error.detail.toStdString();
        ASSERT_TRUE(a->updateRegister({GaugeInfo{.name = "P1", .type = "渗压计", .site = "大坝", .intervalDays = 1},
                                       GaugeInfo{.name = "P2", .type = "渗压计", .site = "隧洞", .intervalDays = 0}},
                                      &error))
            << error.detail.toStdString();
        LevelSet set;
        set.gauge = "P1";
        set.levels = {TriggerLevel{.side = LevelSide::High, .rank = 2, .threshold = 3000}};
        ASSERT_TRUE(a->addLevelSets({set}, &error)) << error.detail.toStdString();
        view.askNote = [this](const QString&, const QString&) { return answer; };
        view.refresh();
    }
    void chooseGauge(const QString& gauge)
    {
        view.components->clearSelection();
        ASSERT_NE(view.gaugeItem(gauge), nullptr);
        view.gaugeItem(gauge)->setSelected(true);
    }
    static void selectRows(QTableView* table, std::initializer_list<int> rows)
    {
        table->clearSelection();
        for (int r : rows)
            table->selectionModel()->select(table->model()->index(r, 0),
                                            QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }

    static constexpr qint64 kStart = 1'767'225'600; // 2026-01-01 00:00 UTC
    void TearDown() override
    {
        if (userBefore.isEmpty())
            qunsetenv("USER");
        else
            qputenv("USER", userBefore);
    }

    QByteArray userBefore = qgetenv("USER");
    QTemporaryDir dir;
    Error error;
    Recorder recorder{dir.filePath("archive.sqlite")};
    ScriptedFileDialogs dialogs;
    RecordingMessenger messenger;
    HistoryView view{recorder, dialogs, messenger};
    std::optional<QString> answer;
};

} // namespace

TEST_F(HistoryEventsTest, EventsAreListedBySiteAndAcknowledgedWithANote)
{
    // Up at 3050 Hz (rank 2), back at 2900 Hz: newest first.
    ASSERT_EQ(view.eventsModel->rowCount(), 2);
    const LevelEvent& up = view.eventsModel->events()[1];
    EXPECT_EQ(up.gauge, "P1");
    EXPECT_EQ(up.to, 2);
    EXPECT_EQ(up.utc, kStart + 2 * 86400);
    EXPECT_EQ(view.eventsModel->index(1, EventsModel::ChangeColumn).data(Qt::BackgroundRole).value<QColor>(), rankColour(2));
    EXPECT_EQ(view.eventsModel->events()[0].to, 0);

    // Another site has none.
    view.siteFilter->setCurrentIndex(view.siteFilter->findData("隧洞"));
    EXPECT_EQ(view.eventsModel->rowCount(), 0);
    EXPECT_FALSE(view.acknowledgeButton->isEnabled());
    view.siteFilter->setCurrentIndex(view.siteFilter->findData("大坝"));
    ASSERT_EQ(view.eventsModel->rowCount(), 2);

    // Cancelled: nothing acknowledged. Answered: the chosen event keeps the note and who.
    selectRows(view.events, {1});
    answer = std::nullopt;
    view.acknowledgeButton->click();
    EXPECT_FALSE(view.eventsModel->events()[1].acknowledged);
    answer = QStringLiteral("已通知现场");
    view.acknowledgeButton->click();
    const std::vector<LevelEvent> kept = recorder.archive()->events({}, &error);
    ASSERT_EQ(kept.size(), 2u);
    EXPECT_TRUE(kept[0].acknowledged);
    EXPECT_EQ(kept[0].note, "已通知现场");
    EXPECT_EQ(kept[0].acknowledgedBy, "tester");
    EXPECT_FALSE(kept[1].acknowledged);
    EXPECT_TRUE(view.eventsModel->index(1, EventsModel::AcknowledgedColumn).data().toString().endsWith("：已通知现场"));

    // Only the unacknowledged: the one left.
    view.unacknowledgedOnly->setChecked(true);
    ASSERT_EQ(view.eventsModel->rowCount(), 1);
    EXPECT_EQ(view.eventsModel->events()[0].to, 0);
}

TEST_F(HistoryEventsTest, OverdueGaugesAreThoseReadLongerAgoThanTheirInterval)
{
    // P1 is read every day and was last read on 2026-01-06; P2 has no interval.
    ASSERT_EQ(view.overdueModel->rowCount(), 1);
    EXPECT_EQ(view.overdueModel->index(0, OverdueModel::GaugeColumn).data().toString(), "P1");
    EXPECT_EQ(view.overdueModel->index(0, OverdueModel::IntervalColumn).data().toString(), "1");
    const double days = view.overdueModel->index(0, OverdueModel::DaysColumn).data().toString().toDouble();
    const double expected = double(QDateTime::currentSecsSinceEpoch() - (kStart + 5 * 86400)) / 86400;
    EXPECT_NEAR(days, expected, 0.2);
    view.siteFilter->setCurrentIndex(view.siteFilter->findData("隧洞"));
    EXPECT_EQ(view.overdueModel->rowCount(), 0);
}

TEST_F(HistoryEventsTest, TheSelectedReadingsAreMaskedAndUnmasked)
{
    chooseGauge("P1");
    ASSERT_EQ(view.readingsModel->gauge(), "P1");
    ASSERT_EQ(view.readingsModel->rowCount(), 6);
    QAbstractItemModelTester tester(view.readingsModel, QAbstractItemModelTester::FailureReportingMode::Fatal);
    const auto text = [&](int row, int column) { return view.readingsModel->index(row, column).data().toString(); };
    EXPECT_EQ(text(2, ReadingsModel::ReadingColumn), "3050.0");
    EXPECT_EQ(text(2, ReadingsModel::ValueColumn), "3050"); // no calibration: the reading
    EXPECT_EQ(text(2, ReadingsModel::StatusColumn), "报警");
    EXPECT_EQ(text(1, ReadingsModel::StatusColumn), "正常");

    // No note: refused, nothing masked.
    selectRows(view.readings, {2, 3});
    answer = QStringLiteral("  ");
    view.maskButton->click();
    EXPECT_TRUE(messenger.messages.last().contains("须写明原因")) << messenger.messages.last().toStdString();
    EXPECT_TRUE(recorder.archive()->masks("P1", &error).empty());

    // The readings above 3000 Hz masked: no event is left, the list shows the masks.
    answer = QStringLiteral("传感器受扰");
    view.maskButton->click();
    const std::vector<Mask> masks = recorder.archive()->masks("P1", &error);
    ASSERT_EQ(masks.size(), 2u);
    EXPECT_EQ(masks[0].utc, kStart + 2 * 86400);
    EXPECT_EQ(masks[1].utc, kStart + 3 * 86400);
    EXPECT_EQ(masks[0].note, "传感器受扰");
    ASSERT_EQ(view.readingsModel->rowCount(), 6); // the list was read again
    EXPECT_EQ(text(2, ReadingsModel::MaskedColumn), "已屏蔽：传感器受扰");
    EXPECT_EQ(view.readingsModel->index(2, ReadingsModel::MaskedColumn).data(Qt::ToolTipRole).toString(), "传感器受扰");
    EXPECT_TRUE(text(4, ReadingsModel::MaskedColumn).isEmpty());
    EXPECT_EQ(view.eventsModel->rowCount(), 0);

    // One of them unmasked: its event is back.
    selectRows(view.readings, {3});
    view.unmaskButton->click();
    ASSERT_EQ(recorder.archive()->masks("P1", &error).size(), 1u);
    EXPECT_EQ(recorder.archive()->masks("P1", &error)[0].utc, kStart + 2 * 86400);
    EXPECT_TRUE(text(3, ReadingsModel::MaskedColumn).isEmpty());
    ASSERT_EQ(view.eventsModel->rowCount(), 2);
    EXPECT_EQ(view.eventsModel->events()[1].utc, kStart + 3 * 86400);
}

TEST_F(HistoryEventsTest, LevelsAreExportedAndImportedBesideTheRegister)
{
    RegisterDialog dialog(*recorder.archive(), dialogs, messenger);
    const QString path = dir.filePath("levels.csv");
    dialogs.answers = {path};
    dialog.exportLevelsButton->click();
    EXPECT_EQ(messenger.messages.last(), "成功导出文件，请查阅！");
    QString readError;
    const auto rows = TableFile::read(path, &readError);
    ASSERT_TRUE(rows) << readError.toStdString();
    ASSERT_EQ(rows->size(), 2u); // the header and P1's one level
    EXPECT_EQ((*rows)[1].value(0), "P1");

    // A file for P2 (known), Q9 (not in the register) and a row that cannot be read.
    QFile file(dir.filePath("in.csv"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("测点,方向,等级,阈值\nP2,上限,1,2600\nQ9,上限,1,2600\nP2X,侧面,1,5\n");
    file.close();
    dialogs.answers = {file.fileName()};
    dialog.importLevelsButton->click();
    const QString said = messenger.messages.last();
    EXPECT_TRUE(said.startsWith("已导入 1 个测点的触发值。")) << said.toStdString();
    EXPECT_TRUE(said.contains("Q9")) << said.toStdString();
    EXPECT_TRUE(said.contains("第 4 行")) << said.toStdString();
    const std::vector<LevelSet> kept = recorder.archive()->levelSets("P2", &error);
    ASSERT_EQ(kept.size(), 1u);
    ASSERT_EQ(kept[0].levels.size(), 1u);
    EXPECT_EQ(kept[0].levels[0].threshold, 2600);
}
