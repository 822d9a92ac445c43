#include "app/Form3.h"

#include "editor/ComponentImport.h"
#include "editor/ComponentList.h"
#include "editor/ComponentWriter.h"
#include "export/Automation.h"
#include "grids/PreviewGrid.h"
#include "platform/FileDialogs.h"
#include "platform/Messenger.h"
#include "serial/CommandExchange.h"
#include "serial/Commands.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>
#include <vector>

namespace {
constexpr int kTwips = PreviewGrid::kTwipsPerPixel;
} // namespace

Form3::Form3(Context context, QWidget* parent)
    : QDialog(parent), m_c(std::move(context)), m_import(std::make_unique<ComponentImport>(m_c.servers))
{
    m_grid = new PreviewGrid(this);
    m_writer = new ComponentWriter(m_c.exchange, m_c.timing, this);
    connect(m_writer, &ComponentWriter::rowDone, this,
            [this](int row, const QString& status, bool) { onRowDone(row, status); });
    connect(m_writer, &ComponentWriter::finished, this, &Form3::onWriteFinished);
    buildUi();
    connect(m_grid, &PreviewGrid::sizesChanged, this, &Form3::applyGridSizes);
    connect(m_grid, &QAbstractItemModel::modelReset, this, &Form3::applyGridSizes);
    Form_Load();
}

Form3::~Form3() { releaseWorkbook(); }

void Form3::buildUi()
{
    setWindowTitle(tr("导入"));
    setModal(true);
    auto* outer = new QVBoxLayout(this);

    auto* top = new QHBoxLayout();
    Text1 = new QLineEdit(tr("打开文件名"), this);
    Text1->setReadOnly(true);
    Command1 = new QPushButton(tr("文件导入"), this);
    Command3 = new QPushButton(tr("手工添加"), this);
    top->addWidget(Text1, 1);
    top->addWidget(Command1);
    top->addWidget(Command3);
    outer->addLayout(top);

    // The two panels share one place; at most one shows.
    Frame2 = new QGroupBox(tr("选择工作簿"), this);
    auto* f2 = new QHBoxLayout(Frame2);
    Combo1 = new QComboBox(Frame2);
    Combo1->setAccessibleName(tr("选择工作簿"));
    f2->addWidget(Combo1);
    outer->addWidget(Frame2);

    Frame3 = new QGroupBox(tr("手工添加"), this);
    auto* f3 = new QHBoxLayout(Frame3);
    auto* label1 = new QLabel(tr("编号："), Frame3);
    Text2 = new QLineEdit(QStringLiteral("A001"), Frame3);
    auto* label2 = new QLabel(tr("名称："), Frame3);
    Text3 = new QLineEdit(QStringLiteral("QRVA000001"), Frame3);
    label1->setBuddy(Text2);
    label2->setBuddy(Text3);
    Text2->setAccessibleName(tr("编号"));
    Text3->setAccessibleName(tr("名称"));
    Command4 = new QPushButton(tr("添加"), Frame3);
    f3->addWidget(label1);
    f3->addWidget(Text2);
    f3->addWidget(label2);
    f3->addWidget(Text3);
    f3->addWidget(Command4);
    outer->addWidget(Frame3);

    MSFlexGrid1 = new QTableView(this);
    MSFlexGrid1->setModel(m_grid);
    MSFlexGrid1->horizontalHeader()->hide();
    MSFlexGrid1->verticalHeader()->hide();
    MSFlexGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    MSFlexGrid1->verticalHeader()->setDefaultSectionSize(MSFlexGrid1->fontMetrics().height() + 4);
    MSFlexGrid1->setAccessibleName(tr("元件列表"));
    MSFlexGrid1->setTabKeyNavigation(false); // Tab goes on to 确认写入
    outer->addWidget(MSFlexGrid1, 1);

    auto* bottom = new QHBoxLayout();
    PB = new QProgressBar(this);
    Command2 = new QPushButton(tr("确认写入"), this);
    bottom->addWidget(PB, 4);
    bottom->addWidget(Command2, 3);
    outer->addLayout(bottom);

    setTabOrder(Text1, Command1);
    setTabOrder(Command1, Combo1);
    setTabOrder(Combo1, MSFlexGrid1);
    setTabOrder(MSFlexGrid1, Command2);
    setTabOrder(Command2, Command3);
    setTabOrder(Command3, Command4);
    setTabOrder(Command4, Text3);
    setTabOrder(Text3, Text2);

    resize(5625 * 5 / 4 / kTwips, 6060 * 5 / 4 / kTwips);

    connect(Command1, &QPushButton::clicked, this, &Form3::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &Form3::Command2_Click);
    connect(Command3, &QPushButton::clicked, this, &Form3::Command3_Click);
    connect(Command4, &QPushButton::clicked, this, &Form3::Command4_Click);
    connect(Combo1, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index >= 0)
            Combo1_Click();
    });
}

void Form3::Form_Load()
{
    Frame2->hide();
    Frame3->hide();
    PB->hide();
    ManualCount = 0;
    ComponentList::reset(*m_grid);
}

void Form3::applyGridSizes()
{
    for (int c = 0; c < m_grid->cols(); ++c)
        if (m_grid->colWidth(c) >= 0)
            MSFlexGrid1->setColumnWidth(c, m_grid->colWidth(c) / kTwips);
    if (m_grid->rows() > 0 && m_grid->rowHeight(0) >= 0)
        MSFlexGrid1->setRowHeight(0, m_grid->rowHeight(0) / kTwips);
}

void Form3::showPanel(QGroupBox* panel)
{
    (panel == Frame2 ? Frame3 : Frame2)->hide();
    panel->show(); // the layout moves the grid below the panel and shortens it
}

void Form3::ComFalse()
{
    for (QWidget* w : QList<QWidget*>{Combo1, Command1, Command2, Command3, Command4})
        w->setEnabled(false);
}

void Form3::ComEnable()
{
    for (QWidget* w : QList<QWidget*>{Combo1, Command1, Command2, Command3, Command4})
        w->setEnabled(true);
}

void Form3::receive(const QString& reply) { m_writer->receive(reply); }

// ---- import ---------------------------------------------------------------------------------

void Form3::Command1_Click()
{
    const std::optional<QString> path = m_c.dialogs.openFileName(QStringLiteral("*.xls|*.xls|*.xlsx|*.xlsx"));
    if (!path || path->isEmpty())
        return;
    Text1->setText(*path);
    if (m_c.servers.exists(sheets::kExcel)) {
        OpenExl(*path);
    } else if (m_c.servers.exists(sheets::kWps)) {
        UsingWps = true;
        OpenWPS(*path);
    } else if (m_c.servers.exists(sheets::kBuiltin)) {
        // No office suite: the program's own engine reads the workbook, reporting failures
        // the way the Excel import does.
        openWith(sheets::kBuiltin, *path, true);
    } else {
        m_c.messenger.information(tr("你的电脑没有安装MS-OFFICE和WPS软件，无法打开EXCEL格式！"));
    }
}

void Form3::OpenExl(const QString& path) { openWith(sheets::kExcel, path, true); }

void Form3::OpenWPS(const QString& path) { openWith(sheets::kWps, path, false); }

void Form3::openWith(const QString& server, const QString& path, bool reportFailure)
{
    // A new import replaces the workbook held so far; its sheets are no longer there to choose.
    releaseWorkbook();
    std::optional<QString> failure;
    {
        const QSignalBlocker quiet(Combo1); // the list is shown once, below
        Combo1->clear();
        failure = m_import->open(server, path,
                                 reportFailure ? ComponentImport::Failures::Report : ComponentImport::Failures::Skip);
        Combo1->addItems(m_import->sheetNames());
    }
    if (failure) {
        m_c.messenger.information(*failure);
        return;
    }
    showPanel(Frame2);
    if (Combo1->count() > 0) {
        if (Combo1->currentIndex() == 0)
            Combo1_Click();
        else
            Combo1->setCurrentIndex(0);
    }
}

void Form3::Combo1_Click()
{
    // A worksheet that cannot be read leaves the list as far as it was read.
    m_import->fill(*m_grid, Combo1->currentIndex());
}

void Form3::releaseWorkbook() { m_import->release(UsingWps); } // WPS saves on closing

// ---- manual entry ---------------------------------------------------------------------------

void Form3::Command3_Click()
{
    showPanel(Frame3);
    ComponentList::reset(*m_grid);
    ManualCount = 0;
}

void Form3::Command4_Click()
{
    QString code = Text2->text();
    QString name = Text3->text();
    const QString refusal = ComponentList::addTyped(*m_grid, ManualCount, code, name);
    Text2->setText(code);
    Text3->setText(name);
    if (!refusal.isEmpty())
        m_c.messenger.information(refusal);
}

// ---- writing --------------------------------------------------------------------------------

void Form3::Command2_Click()
{
    ComFalse();
    std::vector<ComponentList::Entry> entries;
    if (const auto fault = ComponentList::check(*m_grid, entries)) {
        fault->plain ? m_c.messenger.plain(fault->message) : m_c.messenger.information(fault->message);
        ComEnable();
        return;
    }
    if (entries.empty()) {
        // Nothing to write is not a write that succeeded.
        m_c.messenger.information(ComponentList::emptyText());
        ComEnable();
        return;
    }
    PB->show();
    PB->setMinimum(1);
    PB->setMaximum(std::max(1, m_grid->rows()));
    PB->setValue(1);
    m_writer->start(std::move(entries));
}

void Form3::onRowDone(int row, const QString& status)
{
    m_grid->setText(row + 1, 0, status);
    PB->setValue(PB->value() + 1);
}

void Form3::onWriteFinished(const ComponentWriter::Summary& summary)
{
    if (summary.stopped || m_closing)
        return; // closed while writing: nothing more is said
    // The write has ended: the main window's commands are usable again; Busy is the
    // gate's to free (Gate).
    if (summary.failed == 0) {
        m_c.messenger.plain(ComponentWriter::doneText());
        m_c.exchange.gate().unlockControls();
        close();
    } else {
        m_c.messenger.plain(ComponentWriter::failedText());
        ComEnable();
        m_c.exchange.gate().unlockControls();
    }
}

// ---- closing --------------------------------------------------------------------------------

void Form3::closeEvent(QCloseEvent* event)
{
    QDialog::closeEvent(event);
    event->accept(); // closing is never refused
}

void Form3::done(int result)
{
    // Every way of closing ends here once: a write in progress stops, the workbook is
    // released, the main window's commands are usable again.
    if (!m_closing) {
        m_closing = true;
        m_writer->stop(); // a write in progress sends nothing more
        releaseWorkbook();
        m_c.exchange.gate().unlockControls();
    }
    QDialog::done(result);
}
