#include "app/CalibrationDialog.h"

#include "app/BackgroundWork.h"
#include "app/CalibrationGrid.h"
#include "app/QtSaveProgress.h"
#include "archive/CalibrationTable.h"
#include "archive/TableFile.h"
#include "platform/FileDialogs.h"
#include "platform/Messenger.h"

#include <QComboBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QVBoxLayout>

using namespace archive;

namespace {

// A cell whose column holds one of a few words is edited with a list of them.
class ChoiceDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        const QStringList choices = CalibrationTable::shownChoices(index.column());
        if (choices.isEmpty())
            return QStyledItemDelegate::createEditor(parent, option, index);
        auto* box = new QComboBox(parent);
        box->addItems(choices);
        return box;
    }
    void setEditorData(QWidget* editor, const QModelIndex& index) const override
    {
        auto* box = qobject_cast<QComboBox*>(editor);
        if (!box)
            return QStyledItemDelegate::setEditorData(editor, index);
        // A word read from a file in another spelling ("hz", "yes") shows as its choice.
        const QString text = index.data(Qt::EditRole).toString().trimmed();
        const int at = box->findText(text, Qt::MatchFixedString);
        box->setCurrentIndex(at >= 0 ? at : 0);
    }
    void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override
    {
        if (auto* box = qobject_cast<QComboBox*>(editor))
            model->setData(index, box->currentText(), Qt::EditRole);
        else
            QStyledItemDelegate::setModelData(editor, model, index);
    }
};

// At most `most` lines of a list, and how many more there are.
QString listed(const QStringList& lines, qsizetype most, const QString& separator)
{
    if (lines.size() <= most)
        return lines.join(separator);
    return lines.mid(0, most).join(separator) + separator +
           CalibrationDialog::tr("……另有 %1 项").arg(lines.size() - most);
}

} // namespace

CalibrationDialog::CalibrationDialog(std::vector<Calibration> initial, FileDialogs& dialogs, Messenger& messenger,
                                     QWidget* parent, SaveProgress* progress)
    : QDialog(parent), m_dialogs(dialogs), m_messenger(messenger), m_progress(progress)
{
    if (!m_progress) {
        m_ownProgress = std::make_unique<QtSaveProgress>(this, tr("标定表"), tr("正在导入 %1 …"));
        m_progress = m_ownProgress.get();
    }
    setWindowTitle(tr("标定表"));
    setSizeGripEnabled(true);
    auto* layout = new QVBoxLayout(this);
    rows = new CalibrationGrid(this);
    grid = new QTableView(this);
    grid->setModel(rows);
    grid->setItemDelegate(new ChoiceDelegate(grid));
    grid->setAccessibleName(tr("标定表"));
    grid->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::SelectedClicked |
                          QAbstractItemView::EditKeyPressed | QAbstractItemView::AnyKeyPressed);
    grid->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    layout->addWidget(grid, 1);
    auto* buttons = new QHBoxLayout;
    importButton = new QPushButton(tr("导入…"), this);
    addButton = new QPushButton(tr("添加行"), this);
    removeButton = new QPushButton(tr("删除行"), this);
    saveButton = new QPushButton(tr("保存"), this);
    cancelButton = new QPushButton(tr("取消"), this);
    importButton->setToolTip(tr("从工作簿（.xls、.xlsx）或 CSV 文件（UTF-8 或 GBK）导入标定表，第一行为列名；"
                                "已有的元件编号替换其行，其余的添加在后面"));
    for (QPushButton* b : {importButton, addButton, removeButton})
        buttons->addWidget(b);
    buttons->addStretch(1);
    buttons->addWidget(saveButton);
    buttons->addWidget(cancelButton);
    layout->addLayout(buttons);
    saveButton->setDefault(true);

    connect(importButton, &QPushButton::clicked, this, &CalibrationDialog::importFile);
    connect(addButton, &QPushButton::clicked, this, [this] {
        const int r = rows->appendRow(CalibrationTable::shownRow(Calibration{}));
        grid->setCurrentIndex(rows->index(r, 0));
        grid->scrollTo(rows->index(r, 0));
    });
    connect(removeButton, &QPushButton::clicked, this, [this] {
        if (grid->currentIndex().isValid())
            rows->removeRows(grid->currentIndex().row(), 1);
    });
    connect(saveButton, &QPushButton::clicked, this, [this] {
        if (this->table())
            accept();
    });
    connect(cancelButton, &QPushButton::clicked, this, &QDialog::reject);
    setRows(initial);
    fitColumns();
}

CalibrationDialog::~CalibrationDialog() = default;

void CalibrationDialog::fitColumns()
{
    grid->resizeColumnsToContents();
    // Wide enough to show every column, K last among them, as far as the screen allows; the
    // dialog can be made wider or narrower with its grip.
    int width = grid->verticalHeader()->sizeHint().width() + 2 * grid->frameWidth() +
                grid->verticalScrollBar()->sizeHint().width();
    for (int c = 0; c < rows->columnCount(); ++c)
        width += grid->columnWidth(c);
    const QMargins m = layout()->contentsMargins();
    width += m.left() + m.right();
    const QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    const int room = screen ? screen->availableGeometry().width() - 40 : width;
    resize(std::clamp(width, 600, std::max(600, room)), 420);
}

void CalibrationDialog::setRows(const std::vector<Calibration>& table)
{
    std::vector<QStringList> texts;
    texts.reserve(table.size());
    for (const Calibration& c : table)
        texts.push_back(CalibrationTable::shownRow(c));
    rows->setRows(std::move(texts));
}

std::optional<std::vector<Calibration>> CalibrationDialog::table()
{
    std::vector<QStringList> all{CalibrationTable::shownHeaders()};
    all.insert(all.end(), rows->rows().begin(), rows->rows().end());
    QStringList problems;
    std::vector<Calibration> out = CalibrationTable::fromRows(all, &problems, 0);
    if (!problems.isEmpty()) {
        m_messenger.information(tr("标定表有无法识别的行，未保存：\n%1").arg(listed(problems, 20, QStringLiteral("\n"))));
        return std::nullopt;
    }
    return out;
}

void CalibrationDialog::importFile()
{
    const std::optional<QString> path =
        m_dialogs.openFileName(tr("工作簿或 CSV|*.xls *.xlsx *.csv|EXCEL 工作簿|*.xls *.xlsx|CSV（逗号分隔）|*.csv"));
    if (!path || path->isEmpty())
        return;
    // Reading a large table takes seconds: off the window's thread, a thousandth at a time;
    // the file's rows are the first 300 of them.
    constexpr qint64 kSteps = 1000, kFileSteps = 300;
    QString error;
    std::optional<std::vector<QStringList>> fileRows;
    QStringList problems;
    std::vector<Calibration> read;
    const bool cancelled = runInBackground(m_progress, *path, kSteps, [&](BackgroundWork& work) {
        fileRows = TableFile::read(*path, &error);
        work.done = kFileSteps;
        if (!fileRows || work.cancelled)
            return;
        const qint64 n = std::max<qint64>(1, qint64(fileRows->size()));
        read = CalibrationTable::fromRows(*fileRows, &problems, 1, [&](qint64 done) {
            work.done = kFileSteps + (kSteps - kFileSteps) * done / n;
            return work.cancelled.load();
        });
    });
    // Whatever goes wrong, the grid stays as it was.
    if (cancelled) {
        m_messenger.information(tr("导入已取消，标定表未改变。"));
        return;
    }
    if (!fileRows) {
        m_messenger.information(tr("无法读取标定表：%1").arg(error));
        return;
    }
    if (read.empty()) {
        m_messenger.information(tr("文件中没有可以导入的行，标定表未改变：\n%1").arg(listed(problems, 20, QStringLiteral("\n"))));
        return;
    }
    std::vector<QStringList> merged = rows->rows();
    const QStringList replaced = CalibrationTable::merge(merged, read);
    rows->setRows(std::move(merged));
    QString text = tr("已导入 %1 行。").arg(read.size());
    if (!replaced.isEmpty())
        text += QLatin1Char('\n') + tr("其中 %1 行替换了表中已有的元件：%2").arg(replaced.size()).arg(listed(replaced, 20, tr("、")));
    if (!problems.isEmpty())
        text += QLatin1Char('\n') + tr("以下各行未能识别，已略过：\n%1").arg(listed(problems, 20, QStringLiteral("\n")));
    m_messenger.information(text);
}
