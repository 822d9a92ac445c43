#include "app/HistoryView.h"

#include "app/BackgroundWork.h"
#include "app/CalibrationDialog.h"
#include "app/EventLists.h"
#include "app/LevelsDialog.h"
#include "app/QualityRulesDialog.h"
#include "app/ReadingsModel.h"
#include "app/QtSaveProgress.h"
#include "app/RegisterDialog.h"
#include "app/ReportDialog.h"
#include "plot/TrendPlot.h"
#include "plot/TrendSeries.h"
#include "archive/ArchiveCheck.h"
#include "archive/ArchiveExport.h"
#include "archive/History.h"
#include "archive/Recorder.h"
#include "platform/FileDialogs.h"
#include "platform/Messenger.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QDateTimeEdit>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSplitter>
#include <QTabWidget>
#include <QTableView>
#include <QTimeZone>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <QVBoxLayout>
#include <map>

using namespace archive;

namespace {

QString timeText(qint64 t)
{
    return QDateTime::fromSecsSinceEpoch(t, QTimeZone::utc()).toString(QStringLiteral("yyyy-MM-dd HH:mm"));
}

// A UTC instant on this computer's clock.
QString localTimeText(qint64 utc)
{
    return QDateTime::fromSecsSinceEpoch(utc, QTimeZone::utc()).toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm"));
}

// A gauge's or a slot's readings for export, over the span counted back from its newest one,
// each converted by the calibration version valid at its instant.
ExportSeries exportSeriesOf(const Archive& a, const GaugeBrowser::Pick& p, const GaugeBrowser::Entry* entry,
                            History::Span span)
{
    const bool gauge = p.kind == GaugeBrowser::Kind::Gauge;
    ExportSeries e;
    std::vector<GaugePoint> points =
        gauge ? a.gaugeSeries(p.name, kSinceEver, kUntilNow) : a.unassignedSeries(p.readout, p.code, kSinceEver, kUntilNow);
    qint64 from = std::numeric_limits<qint64>::min();
    if (span != History::Span::All && !points.empty()) {
        qint64 newest = points.front().time;
        for (const GaugePoint& g : points)
            newest = std::max(newest, g.time);
        from = History::rangeOf(span, {SeriesSummary{.lastTime = newest}}).from;
    }
    std::erase_if(points, [&](const GaugePoint& g) { return g.time < from; });
    // The readout of the readings, for its name and clock: a slot's, or the newest of a gauge's.
    const qint64 readout = gauge ? (points.empty() ? 0 : points.back().readout) : p.readout;
    for (const Readout& r : a.readouts())
        if (r.id == readout) {
            e.readout = r.name;
            e.timeZone = r.timeZone;
            e.zoneChanges = a.zoneChanges(r.id);
        }
    if (gauge) {
        e.code = p.name;
        e.gauge = p.name;
        for (const GaugeInfo& g : a.gaugeRegister())
            if (g.name == p.name)
                e.site = g.site;
        e.versions = a.calibrationVersions(p.name);
        e.levelSets = a.levelSets(p.name); // the status and rule columns in the levels' own words
    } else {
        e.code = p.code;
        e.partition = entry ? entry->partition : QString();
        for (CalibrationVersion& v : a.allCalibrationVersions())
            if (v.gauge.isEmpty() && v.readout == e.readout && v.code == p.code)
                e.versions.push_back(std::move(v));
    }
    e.points = std::move(points);
    return e;
}

} // namespace

namespace {

constexpr int kPickRole = Qt::UserRole;

GaugeBrowser::Pick pickOf(const QTreeWidgetItem* item)
{
    return item->data(HistoryView::NameColumn, kPickRole).value<GaugeBrowser::Pick>();
}

bool plottable(const QTreeWidgetItem* item) { return item->data(HistoryView::NameColumn, kPickRole).isValid(); }

// Columns as wide as their texts, but none so wide that the ones after it leave the view (a
// long rule shows whole in its tool tip).
void fitColumns(QTableView* view)
{
    view->resizeColumnsToContents();
    const int most = view->fontMetrics().horizontalAdvance(QLatin1Char('M')) * 24;
    for (int c = 0; c < view->model()->columnCount(); ++c)
        view->setColumnWidth(c, std::min(view->columnWidth(c), most));
}

} // namespace

HistoryView::HistoryView(Recorder& recorder, FileDialogs& dialogs, Messenger& messenger, QWidget* parent)
    : QWidget(parent), m_recorder(recorder), m_dialogs(dialogs), m_messenger(messenger)
{
    auto* layout = new QVBoxLayout(this);
    auto* bar = new QHBoxLayout;
    bar->addWidget(new QLabel(tr("时间范围："), this));
    span = new QComboBox(this);
    span->addItems(History::spanNames());
    span->setAccessibleName(tr("时间范围"));
    bar->addWidget(span);
    engineering = new QCheckBox(tr("换算为工程单位"), this);
    engineering->setChecked(true);
    engineering->setToolTip(tr("按标定表把读数换算为工程值；没有标定的元件仍显示读数 (Hz)"));
    bar->addWidget(engineering);
    showMasked = new QCheckBox(tr("显示屏蔽的读数"), this);
    showMasked->setToolTip(tr("屏蔽的读数不参与触发值判断，也不连入趋势线；勾选后以灰点显示"));
    bar->addWidget(showMasked);
    bar->addStretch(1);
    calibrationButton = new QPushButton(tr("标定表…"), this);
    exportButton = new QPushButton(tr("导出数据…"), this);
    pictureButton = new QPushButton(tr("导出图片…"), this);
    calibrationButton->setToolTip(tr("查看、录入或导入各元件的标定系数"));
    exportButton->setToolTip(tr("把所选元件在所选时间范围内的记录导出为 .xlsx 或 .csv，含读数、温度和工程值"));
    pictureButton->setToolTip(tr("把当前趋势图保存为 PNG 图片"));
    checkButton = new QPushButton(tr("检查档案"), this);
    checkButton->setToolTip(tr("全面检查档案数据库，并按记录的文本修复能修复的问题"));
    registerButton = new QPushButton(tr("测点登记…"), this);
    registerButton->setToolTip(tr("查看、录入、导入或导出测点登记表（类型、单位、工程、位置、安装日期等）"));
    assignButton = new QPushButton(tr("分配到测点…"), this);
    assignButton->setToolTip(tr("把“未分配”下所选元件自某时起的读数分配给一个测点"));
    assignButton->setEnabled(false);
    levelsButton = new QPushButton(tr("触发值…"), this);
    levelsButton->setToolTip(tr("查看或设定所选测点的触发值（预警、报警、控制），可同时用于同类型或同工程的测点"));
    levelsButton->setEnabled(false);
    qualityButton = new QPushButton(tr("质量规则…"), this);
    qualityButton->setToolTip(tr("按测点类型设定读数质量规则：频率范围、温度范围、温度跳变和台阶"));
    reportButton = new QPushButton(tr("生成报告…"), this);
    reportButton->setToolTip(tr("为一个工程或所选测点生成一段时间的监测报告（PDF、AGS4 或长表 CSV）"));
    // Two rows, so that the window fits a laptop's screen: what is shown and made of the chosen
    // gauges beside the time range, the archive's registers and rules beneath.
    for (QPushButton* b : {exportButton, pictureButton, reportButton})
        bar->addWidget(b);
    layout->addLayout(bar);
    auto* tools = new QHBoxLayout;
    for (QPushButton* b : {registerButton, assignButton, calibrationButton, levelsButton, qualityButton})
        tools->addWidget(b);
    tools->addStretch(1);
    syncButton = new QPushButton(tr("同步到办公室数据库"), this);
    syncButton->setToolTip(tr("上传本机档案中办公室数据库还没有的读数和登记，并取回其他电脑上传的内容"));
    syncButton->hide();
    tools->addWidget(syncButton);
    tools->addWidget(checkButton);
    layout->addLayout(tools);

    auto* split = new QSplitter(Qt::Horizontal, this);
    components = new QTreeWidget(split);
    components->setColumnCount(6);
    components->setHeaderLabels({tr("工程 / 测点"), tr("记录数"), tr("最早"), tr("最新"), tr("读数仪"), tr("标定")});
    components->headerItem()->setToolTip(CalibrationColumn, tr("有标定的测点显示其工程单位；没有标定的测点以读数 (Hz) 显示"));
    components->setSelectionMode(QAbstractItemView::ExtendedSelection);
    components->setAccessibleName(tr("档案中的测点"));
    components->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    // Shown beside the name, where the list's narrow pane leaves it in view.
    components->header()->moveSection(CalibrationColumn, CountColumn);
    components->setContextMenuPolicy(Qt::CustomContextMenu);
    auto* right = new QSplitter(Qt::Vertical, split);
    plot = new TrendPlot(right);
    details = new QTabWidget(right);
    details->setAccessibleName(tr("读数、事件和逾期"));
    const auto tableOf = [this](QAbstractItemModel* model, const QString& name) {
        auto* view = new QTableView(this);
        view->setModel(model);
        view->setAccessibleName(name);
        view->setSelectionBehavior(QAbstractItemView::SelectRows);
        view->setEditTriggers(QAbstractItemView::NoEditTriggers);
        view->verticalHeader()->setVisible(false);
        view->verticalHeader()->setDefaultSectionSize(view->fontMetrics().height() + 6);
        view->horizontalHeader()->setStretchLastSection(true);
        return view;
    };
    const auto pageOf = [this](QWidget* list, std::initializer_list<QWidget*> tools) {
        auto* page = new QWidget(this);
        auto* box = new QVBoxLayout(page);
        box->setContentsMargins(2, 2, 2, 2);
        auto* row = new QHBoxLayout;
        for (QWidget* w : tools)
            row->addWidget(w);
        row->addStretch(1);
        box->addLayout(row);
        box->addWidget(list, 1);
        return page;
    };
    readingsModel = new ReadingsModel(this);
    readings = tableOf(readingsModel, tr("测点读数"));
    readings->setSelectionMode(QAbstractItemView::ExtendedSelection);
    maskButton = new QPushButton(tr("屏蔽…"), this);
    maskButton->setToolTip(tr("所选读数不再参与触发值判断、变化速率和趋势图；读数本身保留"));
    unmaskButton = new QPushButton(tr("取消屏蔽"), this);
    details->addTab(pageOf(readings, {maskButton, unmaskButton}), tr("读数"));
    eventsModel = new EventsModel(this);
    events = tableOf(eventsModel, tr("事件"));
    events->setSelectionMode(QAbstractItemView::ExtendedSelection);
    unacknowledgedOnly = new QCheckBox(tr("只显示未确认的"), this);
    acknowledgeButton = new QPushButton(tr("确认…"), this);
    acknowledgeButton->setToolTip(tr("确认所选事件，并写下说明"));
    details->addTab(pageOf(events, {unacknowledgedOnly, acknowledgeButton}), tr("事件"));
    overdueModel = new OverdueModel(this);
    overdueList = tableOf(overdueModel, tr("逾期未测"));
    details->addTab(pageOf(overdueList, {}), tr("逾期未测"));
    auto* corner = new QWidget(this);
    auto* cornerRow = new QHBoxLayout(corner);
    cornerRow->setContentsMargins(0, 0, 4, 0);
    cornerRow->addWidget(new QLabel(tr("工程："), corner));
    siteFilter = new QComboBox(corner);
    siteFilter->setAccessibleName(tr("事件和逾期的工程"));
    siteFilter->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    cornerRow->addWidget(siteFilter);
    details->setCornerWidget(corner);
    right->addWidget(plot);
    right->addWidget(details);
    right->setStretchFactor(0, 3);
    right->setStretchFactor(1, 2);
    split->addWidget(components);
    split->addWidget(right);
    split->setStretchFactor(1, 1);
    split->setSizes({250, 750}); // the plot takes the room; the list shows code, calibration and count
    layout->addWidget(split, 1);
    note = new QLabel(this);
    layout->addWidget(note);

    m_ownProgress = std::make_unique<QtSaveProgress>(this, tr("导出数据"), tr("正在导出 %1 …"));
    progress = m_ownProgress.get();

    connect(components, &QTreeWidget::itemSelectionChanged, this, &HistoryView::replot);
    connect(span, &QComboBox::currentIndexChanged, this, &HistoryView::replot);
    connect(engineering, &QCheckBox::toggled, this, &HistoryView::replot);
    connect(showMasked, &QCheckBox::toggled, plot, &TrendPlot::setShowMasked);
    connect(calibrationButton, &QPushButton::clicked, this, &HistoryView::editCalibrations);
    connect(exportButton, &QPushButton::clicked, this, &HistoryView::exportData);
    connect(pictureButton, &QPushButton::clicked, this, &HistoryView::exportPicture);
    connect(checkButton, &QPushButton::clicked, this, &HistoryView::checkArchive);
    connect(registerButton, &QPushButton::clicked, this, &HistoryView::editRegister);
    connect(assignButton, &QPushButton::clicked, this, &HistoryView::assignChosenSlot);
    connect(levelsButton, &QPushButton::clicked, this, &HistoryView::editLevels);
    connect(qualityButton, &QPushButton::clicked, this, &HistoryView::editQualityRules);
    connect(reportButton, &QPushButton::clicked, this, &HistoryView::makeReport);
    connect(maskButton, &QPushButton::clicked, this, &HistoryView::askMask);
    connect(unmaskButton, &QPushButton::clicked, this, &HistoryView::unmaskSelected);
    connect(acknowledgeButton, &QPushButton::clicked, this, &HistoryView::askAcknowledge);
    connect(siteFilter, &QComboBox::currentIndexChanged, this, &HistoryView::refreshEvents);
    connect(unacknowledgedOnly, &QCheckBox::toggled, this, &HistoryView::refreshEvents);
    connect(components, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        QTreeWidgetItem* item = components->itemAt(at);
        if (!item || !plottable(item) || pickOf(item).kind != GaugeBrowser::Kind::Gauge)
            return;
        if (!item->isSelected()) {
            components->clearSelection();
            item->setSelected(true);
        }
        QMenu menu(this);
        menu.addAction(tr("触发值…"), this, &HistoryView::editLevels);
        menu.exec(components->viewport()->mapToGlobal(at));
    });
    askNote = [this](const QString& title, const QString& label) -> std::optional<QString> {
        bool ok = false;
        const QString text = QInputDialog::getText(this, title, label, QLineEdit::Normal, QString(), &ok);
        return ok ? std::optional<QString>(text) : std::nullopt;
    };
    updateDetailButtons();
}

HistoryView::~HistoryView() = default;

QList<GaugeBrowser::Pick> HistoryView::chosen() const
{
    QList<GaugeBrowser::Pick> out;
    for (QTreeWidgetItem* item : components->selectedItems())
        if (plottable(item))
            out << pickOf(item);
    // In the list's order, whatever order they were chosen in.
    QList<GaugeBrowser::Pick> ordered;
    for (QTreeWidgetItemIterator it(components); *it; ++it)
        if (plottable(*it) && out.contains(pickOf(*it)))
            ordered << pickOf(*it);
    return ordered;
}

QTreeWidgetItem* HistoryView::gaugeItem(const QString& gauge) const
{
    for (QTreeWidgetItemIterator it(components); *it; ++it)
        if (plottable(*it) && pickOf(*it) == GaugeBrowser::Pick{GaugeBrowser::Kind::Gauge, gauge, 0, {}})
            return *it;
    return nullptr;
}

bool HistoryView::showGauge(const QString& gauge)
{
    QTreeWidgetItem* item = gaugeItem(gauge);
    if (!item)
        return false;
    {
        const QSignalBlocker block(components);
        components->clearSelection();
        item->setSelected(true);
    }
    components->setCurrentItem(item, NameColumn, QItemSelectionModel::NoUpdate);
    components->scrollToItem(item);
    replot();
    return true;
}

QTreeWidgetItem* HistoryView::slotItem(const QString& readout, const QString& code) const
{
    for (QTreeWidgetItemIterator it(components); *it; ++it)
        if (plottable(*it) && pickOf(*it).kind == GaugeBrowser::Kind::Slot && pickOf(*it).code == code &&
            (*it)->data(ReadoutColumn, kPickRole).toString() == readout)
            return *it;
    return nullptr;
}

void HistoryView::refresh()
{
    const QList<GaugeBrowser::Pick> before = chosen();
    const QSignalBlocker block(components);
    components->clear();
    Archive* a = m_recorder.archive();
    Error error;
    if (!a || !m_browser.load(*a, &error)) {
        note->setText(a ? Recorder::errorText(error) : m_recorder.failure());
        plot->setSeries({});
        readingsModel->clear();
        eventsModel->setEvents({});
        overdueModel->setGauges({});
        updateDetailButtons();
        return;
    }
    for (const GaugeBrowser::Entry& group : m_browser.entries()) {
        const QString name = group.kind == GaugeBrowser::Kind::Unassigned ? tr("未分配")
                           : group.name.isEmpty()                         ? tr("（未归属工程）")
                                                                          : group.name;
        auto* top = new QTreeWidgetItem(components, {name, QString::number(group.count)});
        top->setTextAlignment(CountColumn, Qt::AlignRight | Qt::AlignVCenter);
        top->setFlags(top->flags() & ~Qt::ItemIsSelectable);
        if (group.kind == GaugeBrowser::Kind::Unassigned)
            top->setToolTip(NameColumn, tr("没有任何测点分配的记录，按读数仪和元件编号列出；可用“分配到测点…”指定其测点"));
        for (const GaugeBrowser::Entry& e : group.children) {
            const bool slot = e.kind == GaugeBrowser::Kind::Slot;
            auto* item = new QTreeWidgetItem(top);
            item->setText(NameColumn, slot ? GaugeBrowser::slotText(e.name, e.code) : e.name);
            item->setText(CountColumn, QString::number(e.count));
            item->setTextAlignment(CountColumn, Qt::AlignRight | Qt::AlignVCenter);
            if (e.count > 0) {
                item->setText(FirstColumn, slot ? timeText(e.first) : localTimeText(e.first));
                item->setText(LastColumn, slot ? timeText(e.last) : localTimeText(e.last));
            }
            item->setText(ReadoutColumn, slot ? e.partition : e.readouts.join(tr("、")));
            if (!slot && !e.places.isEmpty())
                item->setToolTip(ReadoutColumn, tr("读数来自：%1").arg(e.places.join(tr("、"))));
            if (!slot && !e.type.isEmpty())
                item->setToolTip(NameColumn, e.unit.isEmpty() ? e.type : QStringLiteral("%1 (%2)").arg(e.type, e.unit));
            item->setData(NameColumn, kPickRole, QVariant::fromValue(GaugeBrowser::pickOf(e)));
            item->setData(ReadoutColumn, kPickRole, e.name);
            if (before.contains(GaugeBrowser::pickOf(e)))
                item->setSelected(true);
        }
    }
    components->expandAll();
    markCalibrations(*a);
    fillSites();
    readingsModel->clear(); // read again: the readings' statuses and masks may have changed
    replot();
    refreshEvents();
}

void HistoryView::markCalibrations(const Archive& a)
{
    // The newest version of each gauge's calibration names the unit its values are shown in.
    std::map<QString, Calibration> latest;
    for (CalibrationVersion& v : a.allCalibrationVersions()) {
        if (v.gauge.isEmpty())
            continue;
        if (v.withdrawn)
            latest.erase(v.gauge);
        else
            latest.insert_or_assign(v.gauge, std::move(v.values));
    }
    for (QTreeWidgetItemIterator it(components); *it; ++it) {
        QTreeWidgetItem* item = *it;
        if (!plottable(item) || pickOf(item).kind != GaugeBrowser::Kind::Gauge)
            continue;
        const auto found = latest.find(pickOf(item).name);
        if (found == latest.end()) {
            item->setText(CalibrationColumn, tr("无 (Hz)"));
            item->setToolTip(CalibrationColumn, tr("没有标定：趋势和导出中只有读数 (Hz)"));
            item->setForeground(CalibrationColumn, components->palette().brush(QPalette::Disabled, QPalette::Text));
        } else {
            const QString unit = found->second.unit.isEmpty() ? tr("有") : found->second.unit;
            item->setText(CalibrationColumn, unit);
            item->setToolTip(CalibrationColumn, found->second.gauge.isEmpty()
                                                    ? tr("有标定")
                                                    : tr("有标定：%1").arg(found->second.gauge));
            item->setForeground(CalibrationColumn, components->palette().brush(QPalette::Text));
        }
    }
}

void HistoryView::replot()
{
    Archive* a = m_recorder.archive();
    QList<GaugeBrowser::Pick> picked = chosen();
    const bool oneSlot = picked.size() == 1 && picked[0].kind == GaugeBrowser::Kind::Slot;
    assignButton->setEnabled(oneSlot);
    levelsButton->setEnabled(a && !chosenGauge().isEmpty());
    showReadings();
    if (!a || picked.isEmpty()) {
        plot->setSeries({});
        note->setText(a ? tr("选择左侧的测点以显示趋势（可按住 Ctrl 多选）。") : m_recorder.failure());
        return;
    }
    QString extra;
    if (picked.size() > kMaxPlotted) {
        extra = tr("；只显示前 %1 个测点").arg(kMaxPlotted);
        picked = picked.mid(0, kMaxPlotted);
    }
    const auto spanChosen = History::Span(std::max(0, span->currentIndex()));
    std::vector<TrendSeries> series;
    qint64 points = 0, uncorrected = 0;
    QStringList inHertz; // chosen to be converted, but without a calibration
    QStringList origins;
    for (const GaugeBrowser::Pick& p : picked) {
        GaugeBrowser::Plotted t = m_browser.plot(*a, p, engineering->isChecked(), spanChosen);
        points += qint64(t.series.time.size());
        uncorrected += t.uncorrected;
        if (engineering->isChecked() && !t.converted)
            inHertz << t.series.code;
        if (picked.size() == 1)
            origins = t.series.origins;
        series.push_back(std::move(t.series));
    }
    plot->setSeries(std::move(series));
    plot->showAll();
    QString text = tr("%1 个测点，%2 条记录").arg(picked.size()).arg(points);
    if (!origins.isEmpty())
        text += tr("；读数来自 %1").arg(origins.join(tr("、")));
    if (uncorrected > 0)
        text += tr("；%1 个工程值缺少温度，未作温度修正").arg(uncorrected);
    if (!inHertz.isEmpty())
        text += tr("；%1 没有标定，仍显示读数 (Hz)").arg(inHertz.join(tr("、")));
    note->setText(text + extra);
}

void HistoryView::editCalibrations()
{
    Archive* a = m_recorder.archive();
    if (!a) {
        m_messenger.information(m_recorder.failure());
        return;
    }
    CalibrationDialog dialog(a->calibrations(), m_dialogs, m_messenger, this);
    dialog.setArchive(a);
    if (dialog.exec() != QDialog::Accepted)
        return;
    const auto table = dialog.table();
    if (!table)
        return;
    Error error;
    if (!a->setCalibrations(*table, &error)) {
        m_messenger.information(tr("标定表未保存：%1").arg(Recorder::errorText(error)));
        return;
    }
    markCalibrations(*a);
    replot();
}

void HistoryView::editRegister()
{
    Archive* a = m_recorder.archive();
    if (!a) {
        m_messenger.information(m_recorder.failure());
        return;
    }
    RegisterDialog dialog(*a, m_dialogs, m_messenger, this);
    if (dialog.exec() == QDialog::Accepted)
        refresh();
}

bool HistoryView::assignSlot(const GaugeBrowser::Pick& slot, const QString& gauge, qint64 from)
{
    Archive* a = m_recorder.archive();
    if (!a)
        return false;
    Error error;
    if (!a->assign(slot.readout, slot.code, gauge.trimmed(), from, &error)) {
        m_messenger.information(tr("未能分配到测点 %1：%2").arg(gauge, Recorder::errorText(error)));
        return false;
    }
    refresh();
    return true;
}

void HistoryView::assignChosenSlot()
{
    Archive* a = m_recorder.archive();
    const QList<GaugeBrowser::Pick> picked = chosen();
    if (!a || picked.size() != 1 || picked[0].kind != GaugeBrowser::Kind::Slot) {
        m_messenger.information(tr("请先在“未分配”下选择一个元件。"));
        return;
    }
    const GaugeBrowser::Entry* slot = m_browser.find(picked[0]);
    QDialog dialog(this);
    dialog.setWindowTitle(tr("分配到测点"));
    auto* form = new QFormLayout(&dialog);
    auto* gauge = new QComboBox(&dialog);
    gauge->setEditable(true);
    for (const GaugeInfo& g : a->gaugeRegister())
        gauge->addItem(g.name);
    gauge->setCurrentText(QString());
    gauge->setAccessibleName(tr("测点"));
    auto* from = new QDateTimeEdit(&dialog);
    from->setDisplayFormat(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    from->setTimeSpec(Qt::UTC);
    from->setDateTime(QDateTime::fromSecsSinceEpoch(slot ? slot->first : 0, QTimeZone::utc()));
    from->setAccessibleName(tr("起始时间"));
    form->addRow(new QLabel(tr("元件：%1").arg(slot ? GaugeBrowser::slotText(slot->name, slot->code) : picked[0].code), &dialog));
    form->addRow(tr("测点："), gauge);
    form->addRow(tr("自（读数仪时间）："), from);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    buttons->button(QDialogButtonBox::Ok)->setText(tr("分配"));
    buttons->button(QDialogButtonBox::Cancel)->setText(tr("取消"));
    form->addRow(buttons);
    connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    if (dialog.exec() != QDialog::Accepted)
        return;
    if (gauge->currentText().trimmed().isEmpty()) {
        m_messenger.information(tr("没有填写测点，未分配。"));
        return;
    }
    assignSlot(picked[0], gauge->currentText(), from->dateTime().toSecsSinceEpoch());
}

void HistoryView::exportData()
{
    Archive* a = m_recorder.archive();
    const QList<GaugeBrowser::Pick> picked = chosen();
    if (!a || picked.isEmpty()) {
        m_messenger.information(tr("请先在左侧选择要导出的测点。"));
        return;
    }
    const std::optional<QString> path =
        m_dialogs.saveFileName(tr("EXCEL 工作簿|*.xlsx|CSV（逗号分隔）|*.csv"), tr("历史数据.xlsx"));
    if (!path || path->isEmpty())
        return;
    const auto spanChosen = History::Span(std::max(0, span->currentIndex()));
    std::vector<ExportSeries> series;
    qint64 total = 0;
    for (const GaugeBrowser::Pick& p : picked) {
        ExportSeries& e = series.emplace_back(exportSeriesOf(*a, p, m_browser.find(p), spanChosen));
        total += qint64(e.points.size());
    }
    // A million records take seconds to write: off the window's thread, with a cancel. The
    // writer asks every 4096 records whether to stop, which also tells how far it has come.
    std::optional<QString> failure;
    const bool cancelled = runInBackground(progress, *path, total, [&](BackgroundWork& work) {
        failure = exportSeries(*path, series, [&] {
            work.done += 4096;
            return work.cancelled.load();
        });
    });
    if (!failure)
        m_messenger.information(tr("成功导出文件，请查阅！"));
    else if (cancelled)
        m_messenger.information(tr("导出已取消，没有写入文件。"));
    else
        m_messenger.information(tr("导出失败：%1").arg(*failure));
}

void HistoryView::checkArchive()
{
    Archive* a = m_recorder.archive();
    if (!a) {
        m_messenger.information(m_recorder.failure());
        return;
    }
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    Error error;
    const std::optional<ArchiveCheck::Result> result = ArchiveCheck::run(a->path(), true, &error);
    QGuiApplication::restoreOverrideCursor();
    m_messenger.information(result ? ArchiveCheck::text(*result) : Recorder::errorText(error));
    refresh();
}

void HistoryView::exportPicture()
{
    const std::optional<QString> path = m_dialogs.saveFileName(tr("PNG 图片|*.png"), tr("趋势图.png"));
    if (!path || path->isEmpty())
        return;
    m_messenger.information(plot->savePng(*path, 1600, 900) ? tr("成功导出图片，请查阅！")
                                                            : tr("图片未能保存：%1").arg(*path));
}

QString HistoryView::chosenGauge() const
{
    const QList<GaugeBrowser::Pick> picked = chosen();
    return picked.size() == 1 && picked[0].kind == GaugeBrowser::Kind::Gauge ? picked[0].name : QString();
}

void HistoryView::fillSites()
{
    const QString before = siteFilter->currentData().toString();
    const QSignalBlocker block(siteFilter);
    siteFilter->clear();
    siteFilter->addItem(tr("全部工程"), QString());
    for (const GaugeBrowser::Entry& group : m_browser.entries())
        if (group.kind == GaugeBrowser::Kind::Site && !group.name.isEmpty())
            siteFilter->addItem(group.name, group.name);
    siteFilter->setCurrentIndex(std::max(0, siteFilter->findData(before)));
}

void HistoryView::showReadings()
{
    Archive* a = m_recorder.archive();
    const QString gauge = a ? chosenGauge() : QString();
    if (gauge.isEmpty()) {
        readingsModel->clear();
    } else if (gauge != readingsModel->gauge()) {
        Error error;
        if (!readingsModel->load(*a, gauge, &error))
            note->setText(Recorder::errorText(error));
        fitColumns(readings);
        readings->scrollToBottom(); // the newest readings first in view
    }
    updateDetailButtons();
}

void HistoryView::updateDetailButtons()
{
    const bool any = readingsModel->rowCount() > 0;
    maskButton->setEnabled(any);
    unmaskButton->setEnabled(any);
    acknowledgeButton->setEnabled(eventsModel->rowCount() > 0);
    details->setTabText(0, readingsModel->gauge().isEmpty() ? tr("读数") : tr("读数：%1").arg(readingsModel->gauge()));
    details->setTabText(1, eventsModel->rowCount() > 0 ? tr("事件（%1）").arg(eventsModel->rowCount()) : tr("事件"));
    details->setTabText(2, overdueModel->rowCount() > 0 ? tr("逾期未测（%1）").arg(overdueModel->rowCount()) : tr("逾期未测"));
}

void HistoryView::refreshEvents()
{
    Archive* a = m_recorder.archive();
    if (!a) {
        eventsModel->setEvents({});
        overdueModel->setGauges({});
        updateDetailButtons();
        return;
    }
    const QString site = siteFilter->currentData().toString();
    EventQuery query;
    query.site = site;
    query.unacknowledgedOnly = unacknowledgedOnly->isChecked();
    Error error{ErrorKind::ReadFailed, {}};
    std::vector<LevelEvent> found = a->events(query, &error);
    // The newest first: what needs attention is at the top.
    std::reverse(found.begin(), found.end());
    eventsModel->setEvents(std::move(found));
    overdueModel->setGauges(a->overdue(QDateTime::currentDateTimeUtc(), site, &error));
    if (!error.detail.isEmpty())
        note->setText(Recorder::errorText(error));
    fitColumns(events);
    fitColumns(overdueList);
    updateDetailButtons();
}

void HistoryView::editLevels()
{
    Archive* a = m_recorder.archive();
    const QString gauge = chosenGauge();
    if (!a || gauge.isEmpty()) {
        m_messenger.information(a ? tr("请先在左侧选择一个测点。") : m_recorder.failure());
        return;
    }
    LevelsDialog dialog(*a, gauge, m_messenger, this);
    if (dialog.exec() == QDialog::Accepted)
        refresh();
}

void HistoryView::editQualityRules()
{
    Archive* a = m_recorder.archive();
    if (!a) {
        m_messenger.information(m_recorder.failure());
        return;
    }
    QualityRulesDialog dialog(*a, m_messenger, this);
    if (dialog.exec() == QDialog::Accepted)
        refresh();
}

namespace {

std::vector<int> selectedRows(const QTableView* view)
{
    std::vector<int> rows;
    for (const QModelIndex& i : view->selectionModel()->selectedRows())
        rows.push_back(i.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

} // namespace

bool HistoryView::maskSelected(const QString& note_)
{
    Archive* a = m_recorder.archive();
    const std::vector<int> rows = selectedRows(readings);
    if (!a || rows.empty()) {
        m_messenger.information(tr("请先在读数列表中选择要屏蔽的读数。"));
        return false;
    }
    const QString text = note_.trimmed();
    if (text.isEmpty()) {
        m_messenger.information(tr("屏蔽读数须写明原因，未屏蔽。"));
        return false;
    }
    std::vector<ReadingRef> refs;
    for (int r : rows)
        if (!readingsModel->points()[std::size_t(r)].masked)
            refs.push_back(readingsModel->ref(r));
    if (refs.empty()) {
        m_messenger.information(tr("所选读数都已屏蔽。"));
        return false;
    }
    Error error;
    if (!a->mask(refs, text, &error)) {
        m_messenger.information(tr("读数未屏蔽：%1").arg(Recorder::errorText(error)));
        return false;
    }
    refresh();
    return true;
}

bool HistoryView::unmaskSelected()
{
    Archive* a = m_recorder.archive();
    const std::vector<int> rows = selectedRows(readings);
    std::vector<ReadingRef> refs;
    for (int r : rows)
        if (readingsModel->points()[std::size_t(r)].masked)
            refs.push_back(readingsModel->ref(r));
    if (!a || refs.empty()) {
        m_messenger.information(tr("请先在读数列表中选择已屏蔽的读数。"));
        return false;
    }
    Error error;
    if (!a->unmask(refs, &error)) {
        m_messenger.information(tr("屏蔽未取消：%1").arg(Recorder::errorText(error)));
        return false;
    }
    refresh();
    return true;
}

void HistoryView::askMask()
{
    if (selectedRows(readings).empty()) {
        m_messenger.information(tr("请先在读数列表中选择要屏蔽的读数。"));
        return;
    }
    const std::optional<QString> text =
        askNote(tr("屏蔽读数"), tr("屏蔽 %1 条读数的原因：").arg(selectedRows(readings).size()));
    if (text)
        maskSelected(*text);
}

bool HistoryView::acknowledgeSelected(const QString& note_)
{
    Archive* a = m_recorder.archive();
    const std::vector<int> rows = selectedRows(events);
    if (!a || rows.empty()) {
        m_messenger.information(tr("请先在事件列表中选择要确认的事件。"));
        return false;
    }
    for (int r : rows) {
        Error error;
        const LevelEvent& e = eventsModel->events()[std::size_t(r)];
        if (!a->acknowledge(e.id, note_.trimmed(), &error)) {
            m_messenger.information(tr("事件未确认：%1").arg(Recorder::errorText(error)));
            refreshEvents();
            return false;
        }
    }
    refreshEvents();
    return true;
}

void HistoryView::askAcknowledge()
{
    const std::size_t n = selectedRows(events).size();
    if (n == 0) {
        m_messenger.information(tr("请先在事件列表中选择要确认的事件。"));
        return;
    }
    if (const std::optional<QString> text = askNote(tr("确认事件"), tr("确认 %1 个事件的说明：").arg(n)))
        acknowledgeSelected(*text);
}

QString HistoryView::currentSite() const
{
    if (const QTreeWidgetItem* item = components->currentItem()) {
        while (item->parent())
            item = item->parent();
        const int at = components->indexOfTopLevelItem(const_cast<QTreeWidgetItem*>(item));
        const auto& groups = m_browser.entries();
        if (at >= 0 && std::size_t(at) < groups.size() && groups[std::size_t(at)].kind == GaugeBrowser::Kind::Site &&
            !groups[std::size_t(at)].name.isEmpty())
            return groups[std::size_t(at)].name;
    }
    return siteFilter->currentData().toString();
}

QStringList HistoryView::chosenGauges() const
{
    QStringList out;
    for (const GaugeBrowser::Pick& p : chosen())
        if (p.kind == GaugeBrowser::Kind::Gauge)
            out << p.name;
    return out;
}

void HistoryView::makeReport()
{
    Archive* a = m_recorder.archive();
    if (!a) {
        m_messenger.information(m_recorder.failure());
        return;
    }
    if (m_report)
        return; // one report dialog at a time
    Error error{ErrorKind::ReadFailed, {}};
    ReportDialog::Offer offer;
    for (const Site& s : a->sites(&error))
        offer.sites << s.name;
    if (!error.detail.isEmpty()) {
        m_messenger.information(Recorder::errorText(error));
        return;
    }
    offer.currentSite = currentSite();
    offer.chosenGauges = chosenGauges();
    ReportDialog dialog(*a, offer, m_dialogs, m_messenger, m_settings, this);
    m_report = &dialog;
    connect(&dialog, &ReportDialog::written, this, [this](const QString& text) {
        note->setText(text);
        emit reportWritten(text);
    });
    dialog.exec();
    emit reportClosed();
}

ReportDialog* HistoryView::reportDialog() const { return m_report.data(); }

bool HistoryView::reportRunning() const { return m_report && m_report->running(); }

void HistoryView::cancelReport()
{
    if (m_report)
        m_report->cancelAndClose();
}
