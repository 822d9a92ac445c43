#include "app/Form1.h"
#include "app/CopyArchiver.h"
#include "app/ReadoutDialog.h"
#include "editor/ComponentWriter.h"
#include "app/HelpMenu.h"
#include "app/QuietSetting.h"
#include "app/WindowSettings.h"
#include "platform/SupportLog.h"

#include "app/PortCombo.h"
#include "app/HistoryView.h"
#include "app/OfficeDialog.h"
#include "app/OfficeSync.h"
#include "office/OfficeSettings.h"
#include "app/MarkedRowDelegate.h"
#include "app/PreviewMarks.h"
#include "app/VerdictModel.h"
#include "app/VerdictPanel.h"
#include "plot/TrendPlot.h"
#include "app/QtSaveProgress.h"
#include "archive/Recorder.h"
#include "app/Form3.h"
#include "app/TreeLook.h"
#include "app/WindowLanguage.h"
#include "app/SaveCommand.h"
#include "grids/GridLayouts.h"
#include "grids/PreviewGrid.h"
#include "platform/Delay.h"
#include "platform/Messenger.h"
#include "serial/Commands.h"
#include "serial/Connection.h"
#include "serial/LinkTexts.h"
#include "serial/PortDiscovery.h"
#include "serial/SerialLink.h"
#include "app/Form2.h"
#include "storage/PartitionTree.h"
#include "storage/StorageReplies.h"
#include "app/StorageCommands.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QFrame>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QShortcut>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <QTableView>
#include <QTreeView>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <functional>

namespace {

constexpr int kTwips = PreviewGrid::kTwipsPerPixel;
constexpr int kHistoryListMinimumWidth = 200;
constexpr QSize kHistoryPlotMinimum(480, 260);
// Item data of a port list entry: the device the name stood for when the list was read.
constexpr int kDeviceRole = Qt::UserRole;

QPushButton* makeButton(const QString& caption, QWidget* parent)
{
    auto* button = new QPushButton(caption, parent);
    button->setMinimumHeight(375 / kTwips);
    button->setAutoDefault(true); // Enter presses the focused button
    return button;
}

// Enter and Space on a node of a view do what a click on it does. Other keys, and a key held
// down, are left alone (a held key would repeat the command).
class KeyClick : public QObject {
public:
    KeyClick(QAbstractItemView* view, std::function<void()> act)
        : QObject(view), m_view(view), m_act(std::move(act))
    {
        view->installEventFilter(this);
    }
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() != QEvent::KeyPress)
            return false;
        const auto* key = static_cast<QKeyEvent*>(event);
        const bool activates = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter || key->key() == Qt::Key_Space;
        if (!activates || (key->modifiers() & ~Qt::KeypadModifier) || !m_view->currentIndex().isValid())
            return false;
        if (!key->isAutoRepeat())
            m_act();
        return true;
    }

private:
    QAbstractItemView* m_view;
    std::function<void()> m_act;
};

// The sync's progress dialog, whose work the window also stops when it is asked to close.
class SyncProgress : public QtSaveProgress {
public:
    explicit SyncProgress(QWidget* parent)
        : QtSaveProgress(parent, Form1::tr("同步到办公室数据库"), Form1::tr("正在与办公室数据库同步…%1"))
    {
    }
    bool cancelRequested() const override { return stop || QtSaveProgress::cancelRequested(); }
    void start(const QString& path, qint64 rows) override
    {
        stop = false;
        QtSaveProgress::start(path, rows);
    }
    bool stop = false;
};

QFrame* makeFrame(QWidget* parent)
{
    auto* frame = new QFrame(parent);
    frame->setFrameShape(QFrame::StyledPanel);
    frame->setFrameShadow(QFrame::Sunken);
    return frame;
}

} // namespace

Form1::Form1(Form1Services services, QWidget* parent)
    : QMainWindow(parent), m_services(services)
{
    m_tree = new PartitionTree(this);
    m_treeLook = new TreeLook(this);
    m_treeLook->setSourceModel(m_tree);
    m_grid = new PreviewGrid(this);
    m_exchange = new CommandExchange(m_services.link, m_services.messenger, m_services.timing, this);
    m_storage = std::make_unique<StorageCommands>(
        *m_exchange, m_services.messenger,
        [this]() -> std::optional<SelectedNode> {
            const QModelIndex index = m_treeLook->mapToSource(SSTree1->currentIndex());
            if (!index.isValid())
                return std::nullopt;
            SelectedNode node{index.data(Qt::DisplayRole).toString(), PartitionTree::keyOf(index)};
            switch (PartitionTree::kindOf(index)) {
            case PartitionTree::Kind::Root: node.kind = SelectedNode::Kind::Root; break;
            case PartitionTree::Kind::Partition:
                node.kind = SelectedNode::Kind::Partition;
                node.partition = node.key;
                break;
            case PartitionTree::Kind::File:
                node.kind = SelectedNode::Kind::File;
                node.partition = PartitionTree::keyOf(index.parent());
                break;
            }
            return node;
        },
        [this](const QString& noteName) {
            Form2 dialog(*m_storage, m_exchange->gate(), m_services.messenger, this);
            dialog.NoteName = noteName;
            dialog.exec();
        },
        [this] {
            Form3 editor(Form3::Context{*m_exchange, m_services.messenger, m_services.dialogs,
                                        m_services.servers, m_services.timing},
                         this);
            m_editor = &editor;
            bool wrote = false;
            connect(&editor.writer(), &ComponentWriter::rowStarted, this, [&wrote] { wrote = true; });
            editor.exec();
            // What the instrument holds may have changed wherever a row went: read again.
            if (wrote && m_archiver)
                m_archiver->forgetAllComponents();
        });
    buildUi();
    routeReplies();
    m_saveProgress = std::make_unique<QtSaveProgress>(this);
    m_syncProgress = std::make_unique<SyncProgress>(this);
    if (office::PasswordStore::available())
        officePassword = &office::PasswordStore::read;
    m_save = std::make_unique<SaveCommand>(SaveCommand::Context{
        *m_grid, *m_exchange, m_services.messenger, m_services.dialogs, m_services.servers,
        m_services.templatePath, [this]() -> std::optional<QString> {
            // The file is named after what the preview shows, whatever is selected since.
            if (!m_previewName.isEmpty())
                return m_previewName;
            // A preview that no reply filled is named after the selected node.
            const QModelIndex index = m_treeLook->mapToSource(SSTree1->currentIndex());
            if (!index.isValid())
                return std::nullopt;
            return index.data(Qt::DisplayRole).toString();
        },
        m_saveProgress.get()});

    connect(&m_exchange->gate(), &Gate::controlsLocked, this, &Form1::ComFalse);
    connect(&m_exchange->gate(), &Gate::controlsUnlocked, this, &Form1::ComEnable);
    connect(m_grid, &PreviewGrid::sizesChanged, this, &Form1::applyGridSizes);
    connect(m_grid, &QAbstractItemModel::modelReset, this, &Form1::applyGridSizes);
    connect(&m_services.link, &SerialLink::lost, this, &Form1::onLinkLost);
    connect(m_exchange, &CommandExchange::receiveProgress, this, &Form1::showProgress);
    connect(m_exchange, &CommandExchange::receiveFinished, this, &Form1::showFinished);
    // Before the reply is handled, which may show a message over the window.
    connect(m_exchange, &CommandExchange::receiveComplete, this, &Form1::showReceived);
    connect(m_exchange, &CommandExchange::receiveInterrupted, this, &Form1::showInterrupted);
    connect(m_exchange, &CommandExchange::replyConfirmed, this, &Form1::onReplyConfirmed);
    connect(m_exchange, &CommandExchange::replyCut, this, [this](qint16 code, const QString&) { onReplyCut(code); });
    connect(m_exchange, &CommandExchange::discardProgress, this, &Form1::showDiscarding);
    connect(m_exchange, &CommandExchange::discardFinished, this, &Form1::showDiscarded);
    connect(stopButton, &QPushButton::clicked, m_exchange, &CommandExchange::stopReceiving);
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, m_exchange, &CommandExchange::stopReceiving);
    connect(escape, &QShortcut::activated, this, [this] {
        if (m_archiving)
            m_services.recorder->stopStore(); // the copy waits in the spool
    });
    connect(Command1, &QPushButton::clicked, this, &Form1::Command1_Click);
    connect(Command12, &QPushButton::clicked, this, &Form1::Command12_Click);
    // A single click on a node acts on it (the click selects it first).
    connect(SSTree1, &QTreeView::clicked, this, [this] { m_storage->treeClick(); });
    StorageCommands* storage = m_storage.get();
    connect(Command2, &QPushButton::clicked, this, [storage] { storage->Command2_Click(); });
    connect(Command3, &QPushButton::clicked, this, [storage] { storage->Command3_Click(); });
    connect(Command5, &QPushButton::clicked, this, [storage] { storage->Command5_Click(); });
    connect(Command6, &QPushButton::clicked, this, [storage] { storage->Command6_Click(); });
    connect(Command7, &QPushButton::clicked, this, [storage] { storage->Command7_Click(); });
    connect(Command8, &QPushButton::clicked, this, [storage] { storage->Command8_Click(); });
    connect(Command9, &QPushButton::clicked, this, [storage] { storage->Command9_Click(); });
    connect(Command10, &QPushButton::clicked, this, [storage] { storage->Command10_Click(); });
    connect(Command4, &QPushButton::clicked, this, [this] {
        m_save->Command4_Click();
        if (std::exchange(m_closeAfterSave, false))
            close(); // asked while the save ran
    });
    connect(Command11, &QPushButton::clicked, this, [storage] { storage->Command11_Click(); });

    if (m_services.recorder) {
        // Made after the exchange's signals are connected above: the window hears of a cut
        // reply before the archiver does, and so knows whose read it was.
        m_archiver = new CopyArchiver(
            *m_exchange, *m_services.recorder,
            [this](const std::vector<archive::Readout>& readouts, const QString& device,
                   qint64 current) -> std::optional<ReadoutAnswer> {
                ReadoutDialog dialog(readouts, device, current, this);
                if (dialog.exec() != QDialog::Accepted)
                    return std::nullopt;
                return dialog.answer();
            },
            this);
        connect(m_archiver, &CopyArchiver::readoutChanged, this, &Form1::showReadout);
        connect(m_archiver, &CopyArchiver::progress, this, [this](const QString& text) {
            statusLine->setText(m_finishedText.isEmpty() ? text : tr("%1；%2").arg(m_finishedText, text));
        });
        connect(m_archiver, &CopyArchiver::waiting, this, [this](qint64 waitedMs) {
            statusLine->setText(tr("正在等待档案数据库：另一个程序正在写入（已等待 %1 秒）。按 Esc 停止等待，本次拷贝将暂存。")
                                    .arg((waitedMs + 999) / 1000));
        });
        connect(m_archiver, &CopyArchiver::finished, this, [this](const QString& text, bool) { onCopyArchived(text); });
        connect(m_archiver, &CopyArchiver::notice, this,
                [this](const QString& text) { m_services.messenger.information(text); });
        m_storage->setComponentsChanged([this](const QString& partition) { m_archiver->forgetComponents(partition); });
        connect(readoutButton, &QPushButton::clicked, this, &Form1::changeReadout);
        connect(changeReadoutAction, &QAction::triggered, this, &Form1::changeReadout);
        showReadout();
        if (officeSettingsAction) {
            connect(officeSettingsAction, &QAction::triggered, this, &Form1::editOfficeSettings);
            connect(syncAction, &QAction::triggered, this, &Form1::syncWithOffice);
            connect(history->syncButton, &QPushButton::clicked, this, &Form1::syncWithOffice);
            showOfficeState();
        }
    }

    Form_Load();
    // What was chosen last time, once the start-up has filled the lists and made its choice.
    restoreSettings();
}

Form1::~Form1()
{
    // A copy still being archived is kept in the archive's spool before the grid goes.
    if (m_services.recorder)
        m_services.recorder->finish();
    // The exchange must not reach into half-destroyed widgets from a late timer or event.
    m_exchange->stopTimers();
    disconnect(&m_services.link, nullptr, m_exchange, nullptr);
    m_services.link.close();
}

void Form1::buildUi()
{
    setWindowTitle(tr("KTM-520型振弦读数仪-Varnok电子科技有限公司_V2.0"));
    auto* central = new QWidget(this);
    auto* outer = new QVBoxLayout(central);
    outer->setContentsMargins(8, 0, 8, 4);
    outer->setSpacing(0);

    // Top strip: port settings, connect and disconnect.
    auto* frame1 = makeFrame(central);
    auto* strip = new QHBoxLayout(frame1);
    auto addCombo = [&](const QString& label, int widthTwips, QComboBox* combo) {
        auto* l = new QLabel(label, frame1);
        combo->setEditable(true);
        combo->setMinimumWidth(widthTwips / kTwips);
        combo->setAccessibleName(label);
        l->setBuddy(combo);
        strip->addWidget(l);
        strip->addWidget(combo);
        strip->addSpacing(12);
        return combo;
    };
    auto* portCombo = new PortCombo(frame1);
    connect(portCombo, &PortCombo::aboutToShowPopup, this, &Form1::refreshPorts);
    Combo1 = addCombo(tr("串口："), 975, portCombo);
    Combo2 = addCombo(tr("波特率："), 975, new QComboBox(frame1));
    Combo3 = addCombo(tr("校验位："), 975, new QComboBox(frame1));
    Combo4 = addCombo(tr("停止位："), 615, new QComboBox(frame1));
    Combo2->addItems({QStringLiteral("300"), QStringLiteral("600"), QStringLiteral("1200"), QStringLiteral("2400"),
                      QStringLiteral("4800"), QStringLiteral("9600"), QStringLiteral("14400"),
                      QStringLiteral("19200"), QStringLiteral("28800"), QStringLiteral("115200")});
    // The entry itself is chosen, not only its text shown: the arrow keys go on from it.
    Combo2->setCurrentIndex(Combo2->findText(QStringLiteral("9600")));
    // Parity in the operator's words; the item's data is what the line and the settings take.
    Combo3->addItem(tr("无"), QStringLiteral("None"));
    Combo3->addItem(tr("奇"), QStringLiteral("Odd"));
    Combo3->addItem(tr("偶"), QStringLiteral("Even"));
    Combo3->addItem(tr("标记"), QStringLiteral("Mark"));
    Combo3->setCurrentIndex(0);
    Combo4->addItems({QStringLiteral("1"), QStringLiteral("2")});
    Combo4->setCurrentIndex(0);
    strip->addStretch(1);
    if (m_services.recorder) {
        readoutButton = new QPushButton(frame1);
        readoutButton->setFlat(true);
        readoutButton->setToolTip(tr("单击可更改连接的是哪台仪器"));
        strip->addWidget(readoutButton);
        strip->addSpacing(8);
    }
    Command1 = makeButton(connectText(), frame1);
    Command12 = makeButton(tr("断开"), frame1);
    Command1->setMinimumWidth(1095 / kTwips);
    Command12->setMinimumWidth(1095 / kTwips);
    strip->addWidget(Command1);
    strip->addWidget(Command12);
    outer->addWidget(frame1);

    // Work area: tree, command column, preview grid.
    auto* frame2 = makeFrame(central);
    auto* work = new QHBoxLayout(frame2);
    auto* frame3 = makeFrame(frame2);
    auto* treeBox = new QVBoxLayout(frame3);
    SSTree1 = new QTreeView(frame3);
    SSTree1->setModel(m_treeLook);
    SSTree1->setHeaderHidden(true);
    SSTree1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    SSTree1->setAccessibleName(PartitionTree::rootText());
    SSTree1->setMinimumWidth(160);
    new KeyClick(SSTree1, [this] { m_storage->treeClick(); });
    treeBox->addWidget(SSTree1);
    work->addWidget(frame3, 3855);

    auto* column = new QVBoxLayout();
    column->setSpacing(480 / kTwips - 375 / kTwips);
    Command2 = makeButton(tr("读取数据分区"), frame2);
    Command3 = makeButton(tr("查阅分区文件"), frame2);
    Command6 = makeButton(tr("拷贝分区"), frame2);
    Command5 = makeButton(tr("拷贝文件"), frame2);
    Command4 = makeButton(tr("保存预览文件<=="), frame2);
    Command7 = makeButton(tr("删除分区"), frame2);
    Command8 = makeButton(tr("删除分区数据"), frame2);
    Command9 = makeButton(tr("新建文件名"), frame2);
    Command10 = makeButton(tr("查阅分区元件编号"), frame2);
    Command11 = makeButton(tr("写入分区元件编号"), frame2);
    for (QPushButton* b : {Command2, Command3, Command6, Command5, Command4, Command7, Command8, Command9,
                           Command10, Command11}) {
        b->setMinimumWidth(1575 / kTwips);
        column->addWidget(b);
    }
    column->addStretch(1);
    work->addLayout(column, 0);

    auto* frame4 = makeFrame(frame2);
    auto* gridBox = new QVBoxLayout(frame4);
    MSFlexGrid1 = new QTableView(frame4);
    MSFlexGrid1->setModel(m_grid);
    // The rows of the archived copy's readings above normal or flagged, in their colours; any
    // change of the grid drops the marks (they are of the rows the copy left).
    m_marks = std::make_unique<PreviewMarks>();
    MSFlexGrid1->setItemDelegate(new MarkedRowDelegate(*m_marks, MSFlexGrid1));
    connect(m_grid, &QAbstractItemModel::modelReset, this, [this] { m_marks->clear(); });
    connect(m_grid, &QAbstractItemModel::dataChanged, this, [this] { m_marks->clear(); });
    MSFlexGrid1->horizontalHeader()->hide();
    MSFlexGrid1->verticalHeader()->hide();
    MSFlexGrid1->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    MSFlexGrid1->verticalHeader()->setMinimumSectionSize(1);
    MSFlexGrid1->verticalHeader()->setDefaultSectionSize(MSFlexGrid1->fontMetrics().height() + 4);
    // The last column takes the rest of the width, so the time stamps show whole.
    MSFlexGrid1->horizontalHeader()->setStretchLastSection(true);
    MSFlexGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    MSFlexGrid1->setWordWrap(false);
    MSFlexGrid1->setAccessibleName(tr("预览"));
    MSFlexGrid1->setTabKeyNavigation(false); // Tab goes on to the next control
    if (m_services.recorder) {
        workTabs = new QTabWidget(frame4);
        workTabs->addTab(MSFlexGrid1, tr("预览"));
        history = new HistoryView(*m_services.recorder, m_services.dialogs, m_services.messenger, workTabs);
        workTabs->addTab(history, tr("历史数据"));
        history->setSettings(m_services.settings);
        connect(history, &HistoryView::reportWritten, this, [this](const QString& text) { statusLine->setText(text); });
        connect(history, &HistoryView::reportClosed, this, [this] {
            if (m_closeAfterReport)
                QTimer::singleShot(0, this, &QWidget::close);
        });
        verdictPanel = new VerdictPanel(this);
        connect(verdictPanel, &VerdictPanel::gaugeChosen, this, &Form1::showGauge);
        // The history's list and plot need room to be read: the window's minimum size includes
        // it, so that at that size the plot's axes, dates and legend are legible and the list
        // shows a component's code and count.
        history->components->setMinimumWidth(kHistoryListMinimumWidth);
        history->plot->setMinimumSize(kHistoryPlotMinimum);
        // The archive is opened and checked on a thread of its own once the window shows, so
        // that the window is usable at once and a database set aside is reported over it.
        QTimer::singleShot(0, history, [this] {
            m_services.recorder->openInBackground(history, [this] {
                history->refresh();
                showReadout(); // a connection made before the archive was open has its readout now
                if (const QString drained = m_services.recorder->takeDrained(); !drained.isEmpty())
                    statusLine->setText(drained);
                if (const QString notice = m_services.recorder->takeNotice(); !notice.isEmpty())
                    m_services.messenger.information(notice);
            });
        });
        gridBox->addWidget(workTabs);
    } else {
        gridBox->addWidget(MSFlexGrid1);
    }
    work->addWidget(frame4, 4695);
    outer->addWidget(frame2, 1);

    // Status line: shows a transfer while it streams in.
    statusLine = new QLabel(this);
    statusBar()->addWidget(statusLine, 1);
    stopButton = new QPushButton(tr("停止接收"), this);
    stopButton->setToolTip(tr("放弃正在接收的数据（Esc）"));
    stopButton->hide();
    statusBar()->addPermanentWidget(stopButton);

    // Every command has a shortcut and says what it does; the help menu lists them.
    help::describe({
        {Command1, QKeySequence(Qt::CTRL | Qt::Key_O), tr("用所选串口和参数连接仪器")},
        {Command12, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O), tr("关闭串口")},
        {Command2, QKeySequence(Qt::Key_F5), tr("向仪器询问有哪些数据分区，重建左边的树")},
        {Command3, QKeySequence(Qt::CTRL | Qt::Key_L), tr("列出所选分区中的文件")},
        {Command6, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_D), tr("把所选分区的全部文件拷贝到预览中，并存入档案")},
        {Command5, QKeySequence(Qt::CTRL | Qt::Key_D), tr("把所选文件拷贝到预览中，并存入档案")},
        {Command4, QKeySequence(Qt::CTRL | Qt::Key_S), tr("把预览保存为 .xls、.xlsx 或 .csv 文件")},
        {Command7, QKeySequence(Qt::SHIFT | Qt::Key_Delete), tr("删除所选分区（先询问）")},
        {Command8, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Delete), tr("删除所选分区中的数据（先询问）")},
        {Command9, QKeySequence(Qt::CTRL | Qt::Key_N), tr("在所选分区中建立新文件")},
        {Command10, QKeySequence(Qt::CTRL | Qt::Key_K), tr("显示所选分区的元件编号")},
        {Command11, QKeySequence(Qt::CTRL | Qt::Key_E), tr("打开元件编号编辑窗口，导入或输入后写入仪器")},
    });

    // Nothing is narrower than its text, so at the window's minimum size (that of the layout)
    // every list, caption and the connect buttons show whole and apart.
    for (QWidget* w : QList<QWidget*>{Combo1, Combo2, Combo3, Combo4, Command1, Command12, Command2, Command3,
                                      Command6, Command5, Command4, Command7, Command8, Command9, Command10,
                                      Command11})
        w->setMinimumWidth(std::max(w->minimumWidth(), w->sizeHint().width()));

    setCentralWidget(central);
    addLanguageMenu(*this, m_services.messenger);
    QMenu* settingsMenu = addQuietSetting(*this, *m_exchange, m_services.settings);
    if (m_services.recorder) {
        changeReadoutAction = settingsMenu->addAction(tr("更改仪器(&I)…"));
        changeReadoutAction->setToolTip(tr("更改连接的是哪台仪器：档案按仪器保存拷贝的数据"));
        if (m_services.officeSettings) {
            settingsMenu->addSeparator();
            officeSettingsAction = settingsMenu->addAction(tr("办公室数据库设置…"));
            officeSettingsAction->setToolTip(tr("办公室的 PostgreSQL 数据库：连接、密码、关注的工程"));
            syncAction = settingsMenu->addAction(tr("同步到办公室数据库"));
            syncAction->setToolTip(history->syncButton->toolTip());
        }
    }
    // Help comes last on the menu bar, as everywhere.
    help::addMenu(*this, {Command1, Command12, Command2, Command3, Command6, Command5, Command4, Command7, Command8,
                          Command9, Command10, Command11});
    resize(10725 * 5 / 4 / kTwips, 5850 * 5 / 4 / kTwips);
}

void Form1::Form_Load()
{
    Check_Comm();
    const QModelIndex root = m_tree->Ini_Tree(QStringLiteral("A-J"));
    if (root.isValid())
        SSTree1->expand(m_treeLook->mapFromSource(root));
    grids::Ini_Grid(*m_grid);
    m_exchange->startWatchdog();
}

void Form1::Check_Comm()
{
    const std::unique_ptr<PortRegistry> registry = m_services.ports();
    fillPortList(*registry, false);
    Combo1->setCurrentIndex(0);
}

void Form1::refreshPorts()
{
    // Ports come and go (a USB adapter plugged in after start-up); the list is read again each
    // time it opens, keeping what the user typed or chose.
    const std::unique_ptr<PortRegistry> registry = m_services.ports();
    fillPortList(*registry, true);
}

void Form1::fillPortList(PortRegistry& registry, bool keepText)
{
    const QString kept = Combo1->currentText();
    const connection::PortList ports = connection::portEntries(registry);
    // The stand-in COM1 of an empty list is added to what the list held at start-up.
    if (ports.listed || keepText)
        Combo1->clear();
    for (const connection::PortEntry& entry : ports.entries) {
        Combo1->addItem(entry.name);
        const int i = Combo1->count() - 1;
        if (ports.listed)
            Combo1->setItemData(i, entry.device, kDeviceRole);
        QStringList tip;
        if (!entry.device.isEmpty())
            tip << tr("设备：%1").arg(entry.device);
        if (!entry.description.isEmpty())
            tip << tr("说明：%1").arg(entry.description);
        if (!tip.isEmpty())
            Combo1->setItemData(i, tip.join(QLatin1Char('\n')), Qt::ToolTipRole);
    }
    if (keepText)
        Combo1->setCurrentText(kept);
}

QList<QWidget*> Form1::gatedControls() const
{
    return {SSTree1, Command2, Command3, Command4, Command5, Command6, Command7, Command8, Command9, Command10,
            Command11};
}

void Form1::ComFalse()
{
    QWidget* focused = focusWidget();
    const QList<QWidget*> gated = gatedControls();
    for (QWidget* w : gated)
        w->setEnabled(false);
    // Disabling the focused control moves the focus on (to the grid); it comes back afterwards.
    if (gated.contains(focused)) {
        m_refocus = focused;
        m_movedFocus = focusWidget();
    }
}

void Form1::ComEnable()
{
    // A save reads the preview on a thread of its own: no command may change the grid under it
    // (a lost link, a reconnect and a copy would). The save enables the commands when it ends.
    if (m_save && m_save->saving())
        return;
    if (m_archiving) {
        // The archive reads the grid: nothing may change it until the store is done; saving
        // it, which only reads it too, may go on.
        Command4->setEnabled(true);
        return;
    }
    for (QWidget* w : gatedControls())
        w->setEnabled(true);
    if (m_refocus && focusWidget() == m_movedFocus) // unless the user has put it elsewhere since
        m_refocus->setFocus(Qt::OtherFocusReason);
    m_refocus = nullptr;
    m_movedFocus = nullptr;
}

bool Form1::IsExistExcel() const { return m_save->IsExistExcel(); }

bool Form1::IsExistWPS() const { return m_save->IsExistWPS(); }

QString Form1::parity() const
{
    // A listed entry stands for its value; a typed text ("Even", "E") is taken as it is.
    const int listed = Combo3->findText(Combo3->currentText(), Qt::MatchFixedString);
    return listed >= 0 ? Combo3->itemData(listed).toString() : Combo3->currentText();
}

QString Form1::settingsString() const
{
    return Combo2->currentText() + QStringLiteral(",") + parity().left(1) + QStringLiteral(",8,") + Combo4->currentText();
}

void Form1::Command1_Click()
{
    QPointer<Form1> self(this);
    Command1->setEnabled(false);
    const QString name = Combo1->currentText();
    bool numbered = false;
    const int number = name.mid(3).trimmed().toInt(&numbered);
    // A name chosen from the list stands for the device the list showed under it; a typed
    // name is resolved when the port opens.
    const int listed = Combo1->findText(name, Qt::MatchFixedString);
    const QString device = listed >= 0 ? Combo1->itemData(listed, kDeviceRole).toString() : QString();
    const connection::OpenResult opened = connection::open(
        m_services.link, {name, numbered ? std::optional<int>(number) : std::nullopt, device}, settingsString());
    if (!opened.ok) {
        m_services.messenger.information(opened.text);
        Command1->setEnabled(true);
        statusLine->setText(LinkTexts::portClosed().arg(opened.reason));
        return;
    }
    help::setCaption(Command1, connectedText());
    m_exchange->gate().setConnected(true);
    Command1->setEnabled(false);
    statusLine->setText(tr("已连接 %1（%2）").arg(name, settingsString()));
    if (m_archiver)
        m_archiver->connected(connection::deviceIdentity(name, m_services.link.openedDevice()));
    saveSettings(); // a line that opened is worth remembering at once
    Delay(m_services.timing.commandWait);
    if (self)
        m_exchange->gate().release();
}

void Form1::restoreSettings()
{
    if (!m_services.settings)
        return;
    WindowSettings remembered(*m_services.settings);
    const WindowSettings::Line line = remembered.line();
    auto pick = [](QComboBox* combo, const QString& text) {
        QStringList items;
        for (int i = 0; i < combo->count(); ++i)
            items << combo->itemText(i);
        // Only an entry of the list is chosen again; otherwise the start-up's choice stands.
        if (const int at = WindowSettings::indexIn(items, text); at >= 0)
            combo->setCurrentIndex(at);
    };
    // A remembered port that is no longer there leaves the start-up's choice, the list's first.
    pick(Combo1, line.port);
    pick(Combo2, line.baud);
    // The parity is remembered by its value, whatever the language shows.
    QStringList parities;
    for (int i = 0; i < Combo3->count(); ++i)
        parities << Combo3->itemData(i).toString();
    if (const int at = WindowSettings::indexIn(parities, line.parity); at >= 0)
        Combo3->setCurrentIndex(at);
    pick(Combo4, line.stopBits);
    restoreQuietSetting(*m_exchange, m_services.settings);
    const QByteArray geometry = remembered.geometry();
    if (!geometry.isEmpty())
        restoreGeometry(geometry);
}

void Form1::saveSettings()
{
    if (!m_services.settings)
        return;
    WindowSettings remembered(*m_services.settings);
    remembered.setLine({Combo1->currentText(), Combo2->currentText(), parity(), Combo4->currentText()});
    remembered.setGeometry(saveGeometry());
}

void Form1::closeEvent(QCloseEvent* event)
{
    if (m_save && m_save->saving()) {
        // Closing now would end the program under the writer: the window closes once the save
        // has ended.
        event->ignore();
        m_closeAfterSave = true;
        statusLine->setText(tr("正在保存文件，保存完成后将关闭窗口"));
        return;
    }
    if (m_syncing) {
        // The sync stops (what the office committed stays, the rest is for the next); the
        // window closes after it.
        event->ignore();
        m_closeAfterSync = true;
        static_cast<SyncProgress*>(m_syncProgress.get())->stop = true;
        statusLine->setText(tr("正在停止同步，停止后将关闭窗口"));
        return;
    }
    if (history && history->reportRunning()) {
        // The report being written stops (nothing is written); the window closes after it.
        event->ignore();
        m_closeAfterReport = true;
        history->cancelReport();
        return;
    }
    saveSettings();
    QMainWindow::closeEvent(event);
}

void Form1::Command12_Click()
{
    if (!m_exchange->gate().connected())
        return;
    m_services.link.close();
    qCInfo(logLink).noquote() << "closed" << Combo1->currentText();
    help::setCaption(Command1, connectText());
    m_exchange->gate().setConnected(false);
    Command1->setEnabled(true);
    statusLine->setText(tr("已断开"));
    // Nothing of the closed session may reach the next one: the pending command is forgotten
    // and a reply cut short is dropped (the status line then says so).
    m_exchange->abort(CommandExchange::Interruption::Disconnected);
    connectionEnded();
}

void Form1::onLinkLost(const QString& reason)
{
    // The device vanished under an open port: back to the disconnected state, and say so,
    // rather than leave the operator waiting for replies that cannot come.
    qCWarning(logLink).noquote() << "lost" << Combo1->currentText() << "-" << reason;
    help::setCaption(Command1, connectText());
    m_exchange->gate().setConnected(false);
    Command1->setEnabled(true);
    ComEnable();
    statusLine->setText(tr("串口已断开"));
    m_exchange->abort(CommandExchange::Interruption::LinkLost);
    connectionEnded();
    m_services.messenger.information(
        LinkTexts::linkLost().arg(Combo1->currentText(), reason));
}

void Form1::routeReplies()
{
    // Where each reply goes: the storage commands' replies to the tree and the preview, the
    // kept reply to the exchange itself, component writes to the open editor.
    StorageReplies::route(*m_exchange, StorageReplies::Consumers{*m_tree, *m_grid, m_services.messenger,
                                                                 [this](const QModelIndex& index) { SSTree1->expand(m_treeLook->mapFromSource(index)); },
                                                                 [this](const QString& partition) { copied(partition); },
                                                                 [this](const QString& name) { m_previewName = name; }});
    CommandExchange* exchange = m_exchange;
    m_exchange->route(commands::StoreReturn, [exchange](const CommandExchange::Reply& r) { exchange->SetReturn(r.text); });
    m_exchange->route(commands::WriteComponent, [this](const CommandExchange::Reply& r) {
        if (m_editor)
            m_editor->receive(r.text);
    });
}

Form3* Form1::editor() const { return m_editor.data(); }

void Form1::applyGridSizes()
{
    for (int c = 0; c < m_grid->cols(); ++c) {
        const int w = m_grid->colWidth(c);
        if (w >= 0)
            MSFlexGrid1->setColumnWidth(c, w / kTwips);
    }
    const int h = m_grid->rowHeight(0);
    if (h >= 0 && m_grid->rows() > 0)
        MSFlexGrid1->setRowHeight(0, h / kTwips);
}

void Form1::showProgress(qint64 bytes, qint64 elapsedMs)
{
    stopButton->show();
    const QLocale locale;
    const qint64 rate = elapsedMs > 0 ? bytes * 1000 / elapsedMs : 0;
    statusLine->setText(tr("正在接收数据：%1 字节，%2 字节/秒")
                            .arg(locale.toString(bytes), locale.toString(rate)));
}

QString Form1::receivedText(qint64 bytes, qint64 elapsedMs)
{
    return tr("接收完成：%1 字节，用时 %2 秒")
        .arg(QLocale().toString(bytes), QString::number(double(elapsedMs) / 1000.0, 'f', 1));
}

void Form1::showReceived(qint64 bytes, qint64 elapsedMs)
{
    stopButton->hide();
    if (m_archiver && m_archiver->readingComponents())
        return; // the archiver's read: the status line keeps the copy's transfer
    statusLine->setText(receivedText(bytes, elapsedMs));
}

void Form1::showFinished(qint64 bytes, qint64 elapsedMs)
{
    stopButton->hide();
    if (m_archiver && m_archiver->readingComponents())
        return;
    m_finishedText = receivedText(bytes, elapsedMs);
    QString text = m_finishedText;
    if (!m_archiveNote.isEmpty())
        //: %1 the transfer, %2 what the archive did with it
        text = tr("%1；%2").arg(text, std::exchange(m_archiveNote, QString()));
    statusLine->setText(text);
}

void Form1::copied(const QString& partition)
{
    m_copyAwaitingGrace = partition;
    if (!m_archiver || partition.isEmpty())
        return;
    // From the moment the grid holds the copy until the archive has it, nothing may change the
    // grid (a command given during the grace would bring a reply into it); saving it may go on.
    m_archiving = true;
    ComFalse();
    Command4->setEnabled(!m_save->saving());
}

void Form1::archiveCopy(const QString& partition)
{
    // Every completed copy goes into the archive: which readout it came from is asked once per
    // device, the partition's component list is read once per connection, and the store runs
    // on the archive's own thread. The grid shows at once, and the status line tells that it is
    // archiving and then what was new. Until the store is done the commands that would change
    // the grid stay disabled.
    if (!m_archiver || partition.isEmpty())
        return;
    m_archiving = true;
    ComFalse();
    Command4->setEnabled(!m_save->saving());
    m_archiveNote = tr("正在存档…");
    m_archiver->archive(ReadingLayout::Records(*m_grid), partition);
}

void Form1::onCopyArchived(const QString& text)
{
    m_archiving = false;
    m_archiveNote.clear();
    statusLine->setText(withWaiting(m_finishedText.isEmpty() ? text : tr("%1；%2").arg(m_finishedText, text)));
    if (!m_save->saving()) // else the save's end gives the commands back
        ComEnable();
    if (history)
        history->refresh();
    showVerdict();
    // Once the window is back in the operator's hands: the sync runs with its progress dialog.
    if (officeConfigured() && officeSettings().syncAfterDownload && m_services.recorder->stored())
        QTimer::singleShot(0, this, [this] {
            if (!m_syncing && !m_archiving)
                syncWithOffice();
        });
}

bool Form1::officeConfigured() const
{
    return m_services.recorder && m_services.officeSettings && officeSettings().configured();
}

office::Settings Form1::officeSettings() const
{
    return m_services.officeSettings ? office::loadSettings(*m_services.officeSettings) : office::Settings();
}

QString Form1::withWaiting(const QString& text) const
{
    if (!officeConfigured())
        return text; // without an office the window says what it always said
    archive::Archive* a = m_services.recorder->archive();
    const QString waiting = a ? office::waitingText(a->readingsWaiting()) : QString();
    return waiting.isEmpty() ? text : tr("%1；%2").arg(text, waiting);
}

void Form1::showOfficeState()
{
    if (!officeSettingsAction)
        return;
    const bool configured = officeConfigured();
    syncAction->setEnabled(configured && !m_syncing);
    history->syncButton->setVisible(configured);
    history->syncButton->setEnabled(!m_syncing);
}

void Form1::editOfficeSettings()
{
    if (!m_services.officeSettings)
        return;
    QStringList sites;
    if (archive::Archive* a = m_services.recorder->archive())
        for (const archive::Site& site : a->sites())
            sites << site.name;
    OfficeDialog dialog(officeSettings(), sites, this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    if (!office::saveSettings(dialog.settings(), *m_services.officeSettings))
        m_services.messenger.information(tr("办公室数据库的设置未能保存。"));
    showOfficeState();
    if (officeConfigured())
        statusLine->setText(withWaiting(tr("已保存办公室数据库设置")));
}

bool Form1::syncWithOffice()
{
    if (m_syncing || !m_services.recorder || !m_services.officeSettings)
        return false;
    const office::Settings settings = officeSettings();
    if (!settings.configured()) {
        m_services.messenger.information(office::failureText(office::Failure{office::FailureKind::NotConfigured, {}}));
        return false;
    }
    if (const QString problem = office::settingsProblem(settings); !problem.isEmpty()) {
        m_services.messenger.information(problem);
        return false;
    }
    archive::Archive* a = m_services.recorder->archive();
    if (!a) {
        m_services.messenger.information(m_services.recorder->failure());
        return false;
    }
    const QString password = officePassword ? officePassword(settings).value_or(QString()) : QString();
    m_syncing = true;
    showOfficeState();
    statusLine->setText(tr("正在同步到办公室数据库…"));
    // On a thread of its own with its own connection to the archive: the window's stays the
    // window's, and the copies go on being archived by theirs.
    const OfficeSync::Outcome outcome = OfficeSync::run(a->path(), settings, password, m_syncProgress.get());
    m_syncing = false;
    showOfficeState();
    statusLine->setText(OfficeSync::statusText(outcome, a->readingsWaiting()));
    if (history)
        history->refresh(); // what the office brought
    if (!outcome.result) {
        if (outcome.failure.kind != office::FailureKind::Cancelled && !m_closeAfterSync)
            m_services.messenger.information(office::failureText(outcome.failure));
    } else if (const QString conflicts = OfficeSync::conflictsMessage(*outcome.result); !conflicts.isEmpty()) {
        m_services.messenger.information(conflicts);
    }
    if (std::exchange(m_closeAfterSync, false))
        QTimer::singleShot(0, this, &QWidget::close);
    return outcome.result.has_value();
}

void Form1::showVerdict()
{
    const archive::Verdict& verdict = m_archiver->verdict();
    m_marks->mark(*m_grid, m_archiver->partition(), verdict.marked);
    MSFlexGrid1->viewport()->update();
    if (verdictPanel && verdictmodel::worthShowing(verdict))
        //: what was copied, for the verdict panel
        verdictPanel->show(verdict, tr("分区 %1 的拷贝").arg(m_archiver->partition()));
}

void Form1::showGauge(const QString& gauge)
{
    if (!history)
        return;
    workTabs->setCurrentWidget(history);
    history->showGauge(gauge);
}

void Form1::connectionEnded()
{
    // A copy whose grace nothing ended (its handling was cut off) is archived as it stands.
    if (m_copyAwaitingGrace)
        onReplyConfirmed();
    if (m_archiver)
        m_archiver->disconnected();
}

void Form1::showReadout()
{
    if (!readoutButton)
        return;
    const bool connected = m_archiver->isConnected();
    readoutButton->setEnabled(connected);
    changeReadoutAction->setEnabled(connected);
    if (!connected) {
        readoutButton->setText(tr("仪器：—"));
        return;
    }
    const std::optional<archive::Readout> readout = m_archiver->readout();
    readoutButton->setText(readout ? tr("仪器：%1").arg(readout->name) : tr("仪器：未命名"));
    readoutButton->setToolTip(tr("设备：%1\n单击可更改连接的是哪台仪器").arg(m_archiver->device()));
}

void Form1::changeReadout()
{
    if (!m_archiver)
        return;
    if (m_archiver->running()) {
        m_services.messenger.information(CommandExchange::busyText());
        return;
    }
    if (m_archiver->changeReadout())
        if (const std::optional<archive::Readout> readout = m_archiver->readout())
            statusLine->setText(tr("连接的仪器：%1").arg(readout->name));
}

void Form1::onReplyConfirmed()
{
    if (!m_copyAwaitingGrace)
        return;
    archiveCopy(*std::exchange(m_copyAwaitingGrace, std::nullopt));
    if (!m_archiveNote.isEmpty())
        statusLine->setText(tr("%1；%2").arg(statusLine->text(), std::exchange(m_archiveNote, QString())));
}

void Form1::onReplyCut(qint16 code)
{
    if (code == commands::ListComponents && m_archiver && m_archiver->readingComponents())
        return; // the archiver's own read: it stores the copy without the list and says so
    // The instrument went on after a pause: what the reply's handler showed is only a part.
    const bool copy = m_copyAwaitingGrace.has_value();
    m_copyAwaitingGrace.reset();
    if (copy && m_archiving) {
        m_archiving = false; // nothing is archived: the grid is the operator's again
        if (!m_save->saving())
            ComEnable();
    }
    QString text;
    if (copy)
        text = tr("接收的数据不完整：仪器的回答中途停顿后又继续发送，预览中的数据不完整，未存档！请重新拷贝。");
    else if (code == commands::ListFiles || code == commands::ListComponents || code == commands::ReadPartitions)
        text = tr("接收的数据不完整：仪器的回答中途停顿后又继续发送，显示的列表可能不完整！请重试。");
    else
        return; // a confirmation or a component row is one line: nothing of it is shown cut
    statusLine->setText(text);
    m_cutNotice = text; // stays on the status line when the rest has been read off the line
    m_services.messenger.information(text);
}

void Form1::showInterrupted(qint64 bytes, CommandExchange::Interruption why)
{
    stopButton->hide();
    statusLine->setText(LinkTexts::interrupted(why).arg(QLocale().toString(bytes)));
}

void Form1::showDiscarding(qint64 bytes)
{
    statusLine->setText(LinkTexts::discarding().arg(QLocale().toString(bytes)));
}

void Form1::showDiscarded(qint64 bytes)
{
    const QString text = LinkTexts::discarded().arg(QLocale().toString(bytes));
    if (!m_cutNotice.isEmpty()) {
        statusLine->setText(tr("%1；%2").arg(std::exchange(m_cutNotice, QString()), text));
        return;
    }
    statusLine->setText(text);
}
