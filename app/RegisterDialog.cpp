#include "app/RegisterDialog.h"

#include "app/CalibrationGrid.h"
#include "archive/Archive.h"
#include "app/EventLists.h"
#include "archive/GaugeRegisterTable.h"
#include "archive/LevelTable.h"
#include "archive/Recorder.h"
#include "archive/TableFile.h"
#include "platform/FileDialogs.h"
#include "platform/Messenger.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QVBoxLayout>

using namespace archive;

namespace {

constexpr int kTypeColumn = 1;

// The type is chosen from the usual kinds, or typed.
class TypeDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        if (index.column() != kTypeColumn)
            return QStyledItemDelegate::createEditor(parent, option, index);
        auto* box = new QComboBox(parent);
        box->setEditable(true);
        box->addItems(RegisterDialog::gaugeTypes());
        return box;
    }
    void setEditorData(QWidget* editor, const QModelIndex& index) const override
    {
        if (auto* box = qobject_cast<QComboBox*>(editor))
            box->setCurrentText(index.data(Qt::EditRole).toString());
        else
            QStyledItemDelegate::setEditorData(editor, index);
    }
    void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override
    {
        if (auto* box = qobject_cast<QComboBox*>(editor))
            model->setData(index, box->currentText().trimmed(), Qt::EditRole);
        else
            QStyledItemDelegate::setModelData(editor, model, index);
    }
};

QString listed(const QStringList& lines)
{
    constexpr qsizetype kMost = 20;
    if (lines.size() <= kMost)
        return lines.join(QLatin1Char('\n'));
    return lines.mid(0, kMost).join(QLatin1Char('\n')) + QLatin1Char('\n') +
           RegisterDialog::tr("……另有 %1 项").arg(lines.size() - kMost);
}

} // namespace

QStringList RegisterDialog::gaugeTypes()
{
    return {tr("渗压计"), tr("应变计"), tr("裂缝计"), tr("测力计"), tr("位移计"), tr("温度计")};
}

RegisterDialog::RegisterDialog(Archive& archive, FileDialogs& dialogs, Messenger& messenger, QWidget* parent)
    : QDialog(parent), m_archive(archive), m_dialogs(dialogs), m_messenger(messenger)
{
    setWindowTitle(tr("测点登记"));
    setSizeGripEnabled(true);
    auto* layout = new QVBoxLayout(this);
    // The register's columns (GaugeRegisterTable::headers()) in the window's language.
    rows = new CalibrationGrid({tr("测点"), tr("类型"), tr("单位"), tr("工程"), tr("位置"), tr("安装日期"), tr("测读间隔（天）"), tr("备注")},
                               this);
    grid = new QTableView(this);
    grid->setModel(rows);
    grid->setItemDelegate(new TypeDelegate(grid));
    grid->setAccessibleName(tr("测点登记表"));
    grid->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::SelectedClicked |
                          QAbstractItemView::EditKeyPressed | QAbstractItemView::AnyKeyPressed);
    layout->addWidget(grid, 1);
    auto* buttons = new QHBoxLayout;
    importButton = new QPushButton(tr("导入…"), this);
    exportButton = new QPushButton(tr("导出…"), this);
    addButton = new QPushButton(tr("添加行"), this);
    removeButton = new QPushButton(tr("删除行"), this);
    saveButton = new QPushButton(tr("保存"), this);
    cancelButton = new QPushButton(tr("取消"), this);
    importButton->setToolTip(tr("从工作簿（.xls、.xlsx）或 CSV 文件导入测点登记表，第一行为列名（中文或英文）；"
                                "已有的测点替换其行，其余的添加在后面"));
    exportButton->setToolTip(tr("把表中的测点导出为 .xlsx 或 .csv"));
    importLevelsButton = new QPushButton(tr("导入触发值…"), this);
    exportLevelsButton = new QPushButton(tr("导出触发值…"), this);
    importLevelsButton->setToolTip(tr("从工作簿或 CSV 文件导入各测点的触发值（每行一个触发值），"
                                      "立即作为新版本保存到档案；测点须已在档案的登记表中"));
    exportLevelsButton->setToolTip(tr("把各测点现行的触发值导出为 .xlsx 或 .csv，每行一个触发值"));
    for (QPushButton* b : {importButton, exportButton, addButton, removeButton, importLevelsButton, exportLevelsButton})
        buttons->addWidget(b);
    buttons->addStretch(1);
    buttons->addWidget(saveButton);
    buttons->addWidget(cancelButton);
    layout->addLayout(buttons);
    saveButton->setDefault(true);

    connect(importButton, &QPushButton::clicked, this, &RegisterDialog::importFile);
    connect(exportButton, &QPushButton::clicked, this, &RegisterDialog::exportFile);
    connect(importLevelsButton, &QPushButton::clicked, this, &RegisterDialog::importLevels);
    connect(exportLevelsButton, &QPushButton::clicked, this, &RegisterDialog::exportLevels);
    connect(addButton, &QPushButton::clicked, this, [this] {
        const int r = rows->appendRow(GaugeRegisterTable::toRow(GaugeInfo{}));
        grid->setCurrentIndex(rows->index(r, 0));
        grid->scrollTo(rows->index(r, 0));
    });
    connect(removeButton, &QPushButton::clicked, this, [this] {
        if (grid->currentIndex().isValid())
            rows->removeRows(grid->currentIndex().row(), 1);
    });
    connect(saveButton, &QPushButton::clicked, this, [this] {
        if (save())
            accept();
    });
    connect(cancelButton, &QPushButton::clicked, this, &QDialog::reject);

    Error error;
    setRows(m_archive.gaugeRegister(&error));
    grid->resizeColumnsToContents();
    resize(900, 460);
}

void RegisterDialog::setRows(const std::vector<GaugeInfo>& table)
{
    std::vector<QStringList> texts;
    texts.reserve(table.size());
    for (const GaugeInfo& g : table)
        texts.push_back(GaugeRegisterTable::toRow(g));
    rows->setRows(std::move(texts));
}

std::optional<std::vector<GaugeInfo>> RegisterDialog::table()
{
    std::vector<QStringList> all{GaugeRegisterTable::headers()};
    all.insert(all.end(), rows->rows().begin(), rows->rows().end());
    QStringList problems;
    std::vector<GaugeInfo> out = GaugeRegisterTable::fromRows(all, &problems, 0);
    if (!problems.isEmpty()) {
        m_messenger.information(tr("测点登记表有无法识别的行，未保存：\n%1").arg(listed(problems)));
        return std::nullopt;
    }
    return out;
}

bool RegisterDialog::save()
{
    const auto register_ = table();
    if (!register_)
        return false;
    Error error;
    if (!m_archive.updateRegister(*register_, &error)) {
        m_messenger.information(tr("测点登记表未保存：%1").arg(Recorder::errorText(error)));
        return false;
    }
    return true;
}

void RegisterDialog::importFile()
{
    const std::optional<QString> path =
        m_dialogs.openFileName(tr("工作簿或 CSV|*.xls *.xlsx *.csv|EXCEL 工作簿|*.xls *.xlsx|CSV（逗号分隔）|*.csv"));
    if (!path || path->isEmpty())
        return;
    QString error;
    const std::optional<std::vector<QStringList>> fileRows = TableFile::read(*path, &error);
    if (!fileRows) {
        m_messenger.information(tr("无法读取测点登记表：%1").arg(error));
        return;
    }
    QStringList problems;
    const std::vector<GaugeInfo> read = GaugeRegisterTable::fromRows(*fileRows, &problems, 1);
    if (read.empty()) {
        m_messenger.information(tr("文件中没有可以导入的行，测点登记表未改变：\n%1").arg(listed(problems)));
        return;
    }
    // By name: a gauge the grid holds has its row replaced, any other is added at the end.
    std::vector<QStringList> merged = rows->rows();
    int replaced = 0;
    for (const GaugeInfo& g : read) {
        const auto same = std::find_if(merged.begin(), merged.end(),
                                       [&](const QStringList& r) { return r.value(0).trimmed() == g.name; });
        if (same != merged.end()) {
            *same = GaugeRegisterTable::toRow(g);
            ++replaced;
        } else {
            merged.push_back(GaugeRegisterTable::toRow(g));
        }
    }
    rows->setRows(std::move(merged));
    QString text = tr("已导入 %1 行，其中 %2 行替换了表中已有的测点。").arg(read.size()).arg(replaced);
    if (!problems.isEmpty())
        text += QLatin1Char('\n') + tr("以下各行未能识别，已略过：\n%1").arg(listed(problems));
    m_messenger.information(text);
}

void RegisterDialog::exportFile()
{
    const auto register_ = table();
    if (!register_)
        return;
    const std::optional<QString> path =
        m_dialogs.saveFileName(tr("EXCEL 工作簿|*.xlsx|CSV（逗号分隔）|*.csv"), tr("测点登记表.xlsx"));
    if (!path || path->isEmpty())
        return;
    const std::optional<QString> failure = GaugeRegisterTable::writeFile(*path, *register_);
    m_messenger.information(failure ? tr("导出失败：%1").arg(*failure) : tr("成功导出文件，请查阅！"));
}

void RegisterDialog::exportLevels()
{
    Error error{ErrorKind::ReadFailed, {}};
    const std::vector<LevelSet> sets = m_archive.currentLevelSets(&error);
    if (!error.detail.isEmpty()) {
        m_messenger.information(tr("无法读取触发值：%1").arg(Recorder::errorText(error)));
        return;
    }
    if (sets.empty()) {
        m_messenger.information(tr("档案中还没有任何测点的触发值。"));
        return;
    }
    const std::optional<QString> path =
        m_dialogs.saveFileName(tr("EXCEL 工作簿|*.xlsx|CSV（逗号分隔）|*.csv"), tr("触发值表.xlsx"));
    if (!path || path->isEmpty())
        return;
    const std::optional<QString> failure = LevelTable::writeFile(*path, sets, windowSpeaksEnglish());
    m_messenger.information(failure ? tr("导出失败：%1").arg(*failure) : tr("成功导出文件，请查阅！"));
}

void RegisterDialog::importLevels()
{
    const std::optional<QString> path =
        m_dialogs.openFileName(tr("工作簿或 CSV|*.xls *.xlsx *.csv|EXCEL 工作簿|*.xls *.xlsx|CSV（逗号分隔）|*.csv"));
    if (!path || path->isEmpty())
        return;
    QString readError;
    const std::optional<std::vector<QStringList>> fileRows = TableFile::read(*path, &readError);
    if (!fileRows) {
        m_messenger.information(tr("无法读取触发值表：%1").arg(readError));
        return;
    }
    QStringList problems;
    std::vector<LevelSet> sets = LevelTable::fromRows(*fileRows, &problems, 1);
    // The archive keeps levels of the gauges it knows only: the others are named, not lost in
    // a refusal of the whole file.
    Error error;
    QStringList known;
    for (const GaugeInfo& g : m_archive.gaugeRegister(&error))
        known << g.name;
    QStringList unknown;
    std::erase_if(sets, [&](const LevelSet& s) {
        if (known.contains(s.gauge))
            return false;
        unknown << s.gauge;
        return true;
    });
    if (!unknown.isEmpty())
        problems << tr("以下测点不在档案的测点登记表中（请先保存登记表）：%1").arg(unknown.join(tr("、")));
    if (sets.empty()) {
        m_messenger.information(tr("文件中没有可以导入的触发值，档案未改变：\n%1").arg(listed(problems)));
        return;
    }
    if (!m_archive.addLevelSets(sets, &error)) {
        m_messenger.information(tr("触发值未导入：%1").arg(Recorder::errorText(error)));
        return;
    }
    QString text = tr("已导入 %1 个测点的触发值。").arg(sets.size());
    if (!problems.isEmpty())
        text += QLatin1Char('\n') + tr("以下各项未导入：\n%1").arg(listed(problems));
    m_messenger.information(text);
}
