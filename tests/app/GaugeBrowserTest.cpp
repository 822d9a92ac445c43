// The history tab by site and gauge: the sites and gauges with their counts as the archive holds
// them, the slots no assignment covers, a gauge that moved between readouts plotted as one
// series naming where each reading came from; the register dialog saving what is typed and
// importing a file with a refused row; a slot assigned by hand.
#include "app/GaugeBrowser.h"

#include "app/CalibrationGrid.h"
#include "app/HistoryView.h"
#include "app/RegisterDialog.h"
#include "plot/TrendPlot.h"
#include "archive/GaugeRegisterTable.h"
#include "archive/Recorder.h"
#include "tests/support/RecordingMessenger.h"
#include "tests/support/ScriptedFileDialogs.h"

#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <gtest/gtest.h>

using namespace archive;

namespace {

constexpr qint64 kStart = 1'767'225'600; // 2026-01-01 00:00 on the readouts' clocks

std::vector<Record> readings(const QString& partition, const QString& code, qint64 from, int n)
{
    std::vector<Record> out;
    for (int i = 0; i < n; ++i)
        out.push_back(Record{partition, "F1", code, instrumentTimeText(from + i * 3600), QString::number(2800 + i), "21.5"});
    return out;
}

ComponentNames names(const QString& partition, std::vector<std::pair<QString, QString>> entries)
{
    return ComponentNames{partition, std::move(entries)};
}

class GaugeBrowserTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        a = recorder.archive();
        ASSERT_TRUE(a) << recorder.failure().toStdString();
        Error error;
        const auto r1 = a->addReadout("R1", "Asia/Shanghai", &error);
        const auto r2 = a->addReadout("R2", "Asia/Shanghai", &error);
        ASSERT_TRUE(r1 && r2) << error.detail.toStdString();
        one = r1->id;
        two = r2->id;
        ASSERT_TRUE(a->updateRegister({GaugeInfo{.name = "QRVA000001", .type = "裂缝计", .unit = "mm", .site = "大坝"},
                                       GaugeInfo{.name = "QRVA000002", .type = "渗压计", .unit = "kPa", .site = "大坝"},
                                       GaugeInfo{.name = "QRVB000001", .site = "隧洞"}},
                                      &error))
            << error.detail.toStdString();
        // R1 reads QRVA000001 in A001 and QRVA000002 in A002 for ten hours; A009 has no name.
        std::vector<Record> first = readings("A", "A001", kStart, 10);
        for (Record& r : readings("A", "A002", kStart, 10))
            first.push_back(r);
        for (Record& r : readings("A", "A009", kStart, 4))
            first.push_back(r);
        ASSERT_TRUE(a->store(first, QDateTime::currentDateTimeUtc(),
                             CopyOrigin{one, names("A", {{"A001", "QRVA000001"}, {"A002", "QRVA000002"}})}, &error))
            << error.detail.toStdString();
        // Then QRVA000001 moves to R2's B002, where it is read six more hours.
        ASSERT_TRUE(a->store(readings("B", "B002", kStart + 20 * 3600, 6), QDateTime::currentDateTimeUtc(),
                             CopyOrigin{two, names("B", {{"B002", "QRVA000001"}})}, &error))
            << error.detail.toStdString();
    }

    const GaugeBrowser::Entry* group(const GaugeBrowser& b, const QString& name, GaugeBrowser::Kind kind)
    {
        for (const GaugeBrowser::Entry& e : b.entries())
            if (e.kind == kind && e.name == name)
                return &e;
        return nullptr;
    }

    QTemporaryDir dir;
    Recorder recorder{dir.filePath("archive.sqlite")};
    Archive* a = nullptr;
    qint64 one = 0, two = 0;
    ScriptedFileDialogs dialogs;
    RecordingMessenger messenger;
};

} // namespace

TEST_F(GaugeBrowserTest, SitesAndGaugesWithTheirCountsAndTheUnassignedSlots)
{
    GaugeBrowser b;
    ASSERT_TRUE(b.load(*a));
    const GaugeBrowser::Entry* dam = group(b, "大坝", GaugeBrowser::Kind::Site);
    const GaugeBrowser::Entry* tunnel = group(b, "隧洞", GaugeBrowser::Kind::Site);
    ASSERT_NE(dam, nullptr);
    ASSERT_NE(tunnel, nullptr);
    ASSERT_EQ(dam->children.size(), 2u);
    EXPECT_EQ(dam->children[0].name, "QRVA000001");
    EXPECT_EQ(dam->children[0].count, 16); // ten in R1, six in R2
    EXPECT_EQ(dam->children[0].readouts, QStringList({"R1", "R2"}));
    EXPECT_EQ(dam->children[1].name, "QRVA000002");
    EXPECT_EQ(dam->children[1].count, 10);
    EXPECT_EQ(dam->count, 26);
    ASSERT_EQ(tunnel->children.size(), 1u);
    EXPECT_EQ(tunnel->children[0].count, 0);

    // The unassigned group comes last and holds only A009, which no list named.
    ASSERT_FALSE(b.entries().empty());
    const GaugeBrowser::Entry& loose = b.entries().back();
    ASSERT_EQ(loose.kind, GaugeBrowser::Kind::Unassigned);
    ASSERT_EQ(loose.children.size(), 1u);
    EXPECT_EQ(loose.children[0].name, "R1");
    EXPECT_EQ(loose.children[0].code, "A009");
    EXPECT_EQ(loose.children[0].readout, one);
    EXPECT_EQ(loose.children[0].count, 4);
}

TEST_F(GaugeBrowserTest, AMovedGaugeIsOneSeriesNamingWhereEachReadingCameFrom)
{
    GaugeBrowser b;
    ASSERT_TRUE(b.load(*a));
    const GaugeBrowser::Plotted p =
        b.plot(*a, GaugeBrowser::Pick{GaugeBrowser::Kind::Gauge, "QRVA000001", 0, {}}, false, History::Span::All);
    ASSERT_EQ(p.series.time.size(), 16u);
    ASSERT_EQ(p.series.origin.size(), 16u);
    EXPECT_EQ(p.series.origins, QStringList({"R1 A001", "R2 B002"}));
    // The readings in time order, the first ten from R1, the last six from R2.
    for (std::size_t i = 0; i < 16; ++i)
        EXPECT_EQ(p.series.origins[p.series.origin[i]], i < 10 ? "R1 A001" : "R2 B002") << i;
    EXPECT_EQ(p.series.time.front(), kStart);
    EXPECT_EQ(p.series.time.back(), kStart + 25 * 3600);

    // A span counts back from the gauge's newest reading.
    const GaugeBrowser::Plotted week =
        b.plot(*a, GaugeBrowser::Pick{GaugeBrowser::Kind::Gauge, "QRVA000001", 0, {}}, false, History::Span::Week);
    EXPECT_EQ(week.series.time.size(), 16u);

    // The window's tab plots it as one line, and its note names both slots.
    HistoryView view(recorder, dialogs, messenger);
    view.refresh();
    QTreeWidgetItem* item = view.gaugeItem("QRVA000001");
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->parent()->text(HistoryView::NameColumn), "大坝");
    EXPECT_EQ(item->text(HistoryView::CountColumn), "16");
    item->setSelected(true);
    ASSERT_EQ(view.plot->series().size(), 1u);
    EXPECT_EQ(view.plot->series()[0].time.size(), 16u);
    EXPECT_TRUE(view.note->text().contains("R1 A001、R2 B002")) << view.note->text().toStdString();
}

TEST_F(GaugeBrowserTest, AnUnassignedSlotAssignedByHandJoinsItsGauge)
{
    HistoryView view(recorder, dialogs, messenger);
    view.refresh();
    QTreeWidgetItem* slot = view.slotItem("R1", "A009");
    ASSERT_NE(slot, nullptr);
    slot->setSelected(true);
    EXPECT_TRUE(view.assignButton->isEnabled());
    ASSERT_TRUE(view.assignSlot(GaugeBrowser::Pick{GaugeBrowser::Kind::Slot, {}, one, "A009"}, "QRVB000001", kStart))
        << messenger.messages.join("\n").toStdString();
    EXPECT_EQ(view.slotItem("R1", "A009"), nullptr);
    QTreeWidgetItem* gauge = view.gaugeItem("QRVB000001");
    ASSERT_NE(gauge, nullptr);
    EXPECT_EQ(gauge->text(HistoryView::CountColumn), "4");
}

TEST_F(GaugeBrowserTest, TheRegisterDialogSavesWhatIsTypedAndReadsItBack)
{
    RegisterDialog dialog(*a, dialogs, messenger);
    ASSERT_EQ(dialog.rows->rowCount(), 3);
    int row = -1;
    for (int r = 0; r < dialog.rows->rowCount(); ++r)
        if (dialog.rows->rows()[size_t(r)][0] == "QRVB000001")
            row = r;
    ASSERT_GE(row, 0);
    const QStringList headers = archive::GaugeRegisterTable::headers();
    const auto set = [&](const QString& header, const QString& text) {
        ASSERT_TRUE(dialog.rows->setData(dialog.rows->index(row, int(headers.indexOf(header))), text, Qt::EditRole));
    };
    set("类型", "多点位移计");
    set("单位", "mm");
    set("位置", "K1+200 左洞");
    set("安装日期", "2025-11-03");
    set("测读间隔（天）", "7");
    ASSERT_TRUE(dialog.save()) << messenger.messages.join("\n").toStdString();
    GaugeInfo saved;
    for (const GaugeInfo& g : a->gaugeRegister())
        if (g.name == "QRVB000001")
            saved = g;
    EXPECT_EQ(saved.type, "多点位移计");
    EXPECT_EQ(saved.unit, "mm");
    EXPECT_EQ(saved.site, "隧洞");
    EXPECT_EQ(saved.location, "K1+200 左洞");
    EXPECT_EQ(saved.installed, QDate(2025, 11, 3));
    EXPECT_EQ(saved.intervalDays, 7);

    // A row that cannot be kept is refused with why, and nothing of the grid is saved.
    set("测读间隔（天）", "-3");
    set("位置", "changed");
    messenger.messages.clear();
    EXPECT_FALSE(dialog.save());
    ASSERT_EQ(messenger.messages.size(), 1);
    EXPECT_TRUE(messenger.messages[0].contains("测读间隔")) << messenger.messages[0].toStdString();
    for (const GaugeInfo& g : a->gaugeRegister())
        if (g.name == "QRVB000001")
            EXPECT_EQ(g.location, "K1+200 左洞");
}

TEST_F(GaugeBrowserTest, AnImportKeepsTheGoodRowsAndNamesTheRefusedOne)
{
    const QString path = dir.filePath("register.csv");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("测点,类型,单位,工程,位置,安装日期,测读间隔（天）,备注\r\n"
               "QRVA000002,渗压计,kPa,大坝,坝基 0+120,2025-10-01,1,\r\n"
               "QRVC000009,应变计,με,厂房,,2025-10-02,x,\r\n"
               "QRVC000010,应变计,με,厂房,,,3,新装\r\n");
    file.close();
    RegisterDialog dialog(*a, dialogs, messenger);
    dialogs.answers = {path};
    dialog.importButton->click();
    ASSERT_EQ(messenger.messages.size(), 1);
    EXPECT_TRUE(messenger.messages[0].contains("第 3 行")) << messenger.messages[0].toStdString();
    EXPECT_EQ(dialog.rows->rowCount(), 4); // QRVA000002 replaced, QRVC000010 added
    ASSERT_TRUE(dialog.save()) << messenger.messages.join("\n").toStdString();
    QStringList names;
    for (const GaugeInfo& g : a->gaugeRegister()) {
        names << g.name;
        if (g.name == "QRVA000002")
            EXPECT_EQ(g.location, "坝基 0+120");
    }
    EXPECT_TRUE(names.contains("QRVC000010"));
    EXPECT_FALSE(names.contains("QRVC000009"));
    GaugeBrowser b;
    ASSERT_TRUE(b.load(*a));
    EXPECT_NE(group(b, "厂房", GaugeBrowser::Kind::Site), nullptr);
}
