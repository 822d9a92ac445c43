#include "app/HistoryView.h"

#include "app/BackgroundWork.h"
#include "app/CalibrationDialog.h"
#include "app/QtSaveProgress.h"
#include "app/TrendPlot.h"
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
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSplitter>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <map>

using namespace archive;

namespace {

QString timeText(qint64 t)
{
    return QDateTime::fromSecsSinceEpoch(t, Qt::UTC).toString(QStringLiteral("yyyy-MM-dd HH:mm"));
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
    bar->addStretch(1);
    calibrationButton = new QPushButton(tr("标定表…"), this);
    exportButton = new QPushButton(tr("导出数据…"), this);
    pictureButton = new QPushButton(tr("导出图片…"), this);
    calibrationButton->setToolTip(tr("查看、录入或导入各元件的标定系数"));
    exportButton->setToolTip(tr("把所选元件在所选时间范围内的记录导出为 .xlsx 或 .csv，含读数、温度和工程值"));
    pictureButton->setToolTip(tr("把当前趋势图保存为 PNG 图片"));
    checkButton = new QPushButton(tr("检查档案"), this);
    checkButton->setToolTip(tr("全面检查档案数据库，并按记录的文本修复能修复的问题"));
    for (QPushButton* b : {calibrationButton, exportButton, pictureButton, checkButton})
        bar->addWidget(b);
    layout->addLayout(bar);

    auto* split = new QSplitter(Qt::Horizontal, this);
    components = new QTreeWidget(split);
    components->setColumnCount(6);
    components->setHeaderLabels({tr("分区"), tr("元件编号"), tr("记录数"),
                                 tr("最早"), tr("最新"), tr("标定")});
    components->headerItem()->setToolTip(CalibrationColumn, tr("有标定的元件显示其工程单位；没有标定的元件以读数 (Hz) 显示"));
    components->setRootIsDecorated(false);
    components->setSelectionMode(QAbstractItemView::ExtendedSelection);
    components->setAccessibleName(tr("档案中的元件"));
    components->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    // Shown beside the code, where the list's narrow pane leaves it in view.
    components->header()->moveSection(CalibrationColumn, CountColumn);
    plot = new TrendPlot(split);
    split->addWidget(components);
    split->addWidget(plot);
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
    connect(calibrationButton, &QPushButton::clicked, this, &HistoryView::editCalibrations);
    connect(exportButton, &QPushButton::clicked, this, &HistoryView::exportData);
    connect(pictureButton, &QPushButton::clicked, this, &HistoryView::exportPicture);
    connect(checkButton, &QPushButton::clicked, this, &HistoryView::checkArchive);
}

HistoryView::~HistoryView() = default;

QList<HistoryView::Chosen> HistoryView::chosen() const
{
    QList<Chosen> out;
    for (int i = 0; i < components->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = components->topLevelItem(i);
        if (item->isSelected())
            out << Chosen{item->text(0), item->text(1)};
    }
    return out;
}

void HistoryView::refresh()
{
    const QList<Chosen> before = chosen();
    const QSignalBlocker block(components);
    components->clear();
    Archive* a = m_recorder.archive();
    if (!a) {
        note->setText(m_recorder.failure());
        plot->setSeries({});
        return;
    }
    for (const SeriesSummary& s : a->summary()) {
        auto* item = new QTreeWidgetItem(components, {s.partition, s.code, QString::number(s.count),
                                                      timeText(s.firstTime), timeText(s.lastTime)});
        item->setTextAlignment(2, Qt::AlignRight | Qt::AlignVCenter);
        for (const Chosen& c : before)
            if (c.partition == s.partition && c.code == s.code)
                item->setSelected(true);
    }
    markCalibrations(*a);
    replot();
}

void HistoryView::markCalibrations(const Archive& a)
{
    std::map<QString, Calibration> byCode;
    for (Calibration& c : a.calibrations())
        byCode.emplace(c.code, std::move(c));
    for (int i = 0; i < components->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = components->topLevelItem(i);
        const auto it = byCode.find(item->text(CodeColumn));
        if (it == byCode.end()) {
            item->setText(CalibrationColumn, tr("无 (Hz)"));
            item->setToolTip(CalibrationColumn, tr("没有标定：趋势和导出中只有读数 (Hz)"));
            item->setForeground(CalibrationColumn, components->palette().brush(QPalette::Disabled, QPalette::Text));
        } else {
            const QString unit = it->second.unit.isEmpty() ? tr("有") : it->second.unit;
            item->setText(CalibrationColumn, unit);
            item->setToolTip(CalibrationColumn, it->second.gauge.isEmpty()
                                                    ? tr("有标定")
                                                    : tr("有标定：%1").arg(it->second.gauge));
            item->setForeground(CalibrationColumn, components->palette().brush(QPalette::Text));
        }
    }
}

History::Range HistoryView::rangeFor(const Archive& a, const QList<Chosen>& picked) const
{
    std::vector<SeriesSummary> spans;
    for (const SeriesSummary& s : a.summary())
        for (const Chosen& c : picked)
            if (c.partition == s.partition && c.code == s.code)
                spans.push_back(s);
    return History::rangeOf(History::Span(std::max(0, span->currentIndex())), spans);
}

void HistoryView::replot()
{
    Archive* a = m_recorder.archive();
    QList<Chosen> picked = chosen();
    if (!a || picked.isEmpty()) {
        plot->setSeries({});
        note->setText(a ? tr("选择左侧的元件以显示趋势（可按住 Ctrl 多选）。") : m_recorder.failure());
        return;
    }
    QString extra;
    if (picked.size() > kMaxPlotted) {
        extra = tr("；只显示前 %1 个元件").arg(kMaxPlotted);
        picked = picked.mid(0, kMaxPlotted);
    }
    const History::Range range = rangeFor(*a, picked);
    std::vector<TrendSeries> series;
    qint64 points = 0, uncorrected = 0;
    QStringList inHertz; // chosen to be converted, but without a calibration
    for (const Chosen& c : picked) {
        History::Trend t = History::trend(*a, c.partition, c.code, engineering->isChecked(), range.from, range.to);
        points += qint64(t.time.size());
        uncorrected += t.uncorrected;
        if (engineering->isChecked() && !t.converted)
            inHertz << t.code;
        series.push_back(TrendSeries{t.code, t.valueLabel, std::move(t.time), std::move(t.value), std::move(t.temperature), t.unit});
    }
    plot->setSeries(series);
    if (range.from == History::Range{}.from)
        plot->showAll();
    else
        plot->setTimeRange(range.from, range.to);
    QString text = tr("%1 个元件，%2 条记录").arg(picked.size()).arg(points);
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

void HistoryView::exportData()
{
    Archive* a = m_recorder.archive();
    const QList<Chosen> picked = chosen();
    if (!a || picked.isEmpty()) {
        m_messenger.information(tr("请先在左侧选择要导出的元件。"));
        return;
    }
    const std::optional<QString> path =
        m_dialogs.saveFileName(tr("EXCEL 工作簿|*.xlsx|CSV（逗号分隔）|*.csv"), tr("历史数据.xlsx"));
    if (!path || path->isEmpty())
        return;
    const History::Range range = rangeFor(*a, picked);
    std::vector<ExportSeries> series;
    qint64 total = 0;
    for (const Chosen& c : picked) {
        series.push_back(ExportSeries{c.partition, c.code, a->calibration(c.code),
                                      exportPoints(a->series(c.partition, c.code, range.from, range.to))});
        total += qint64(series.back().points.size());
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
