#include "app/QualityRulesDialog.h"

#include "app/CalibrationGrid.h"
#include "app/QualityRulesRows.h"
#include "archive/Archive.h"
#include "archive/Recorder.h"
#include "platform/Messenger.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

using namespace archive;

QualityRulesDialog::QualityRulesDialog(Archive& archive, Messenger& messenger, QWidget* parent)
    : QDialog(parent), m_archive(archive), m_messenger(messenger)
{
    setWindowTitle(tr("质量规则"));
    setSizeGripEnabled(true);
    auto* layout = new QVBoxLayout(this);
    auto* about = new QLabel(tr("每种测点类型的读数质量规则；“其他类型”用于没有自己规则的类型。"
                                "台阶倍数为 0 时不检查台阶。保存后按新规则重新判断各测点的读数。"),
                             this);
    about->setWordWrap(true);
    layout->addWidget(about);
    rows = new CalibrationGrid(QualityRulesRows::headers(), this);
    grid = new QTableView(this);
    grid->setModel(rows);
    grid->setAccessibleName(tr("质量规则表"));
    grid->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::SelectedClicked |
                          QAbstractItemView::EditKeyPressed | QAbstractItemView::AnyKeyPressed);
    layout->addWidget(grid, 1);
    auto* buttons = new QHBoxLayout;
    addButton = new QPushButton(tr("添加行"), this);
    removeButton = new QPushButton(tr("删除行"), this);
    defaultsButton = new QPushButton(tr("恢复默认"), this);
    defaultsButton->setToolTip(tr("把表格换成程序内置的规则（保存后才生效）"));
    saveButton = new QPushButton(tr("保存"), this);
    cancelButton = new QPushButton(tr("取消"), this);
    for (QPushButton* b : {addButton, removeButton, defaultsButton})
        buttons->addWidget(b);
    buttons->addStretch(1);
    buttons->addWidget(saveButton);
    buttons->addWidget(cancelButton);
    layout->addLayout(buttons);
    saveButton->setDefault(true);

    connect(addButton, &QPushButton::clicked, this, [this] {
        QualityRules fresh;
        fresh.type = tr("新类型");
        const int r = rows->appendRow(QualityRulesRows::toRow(fresh));
        grid->setCurrentIndex(rows->index(r, 0));
        grid->scrollTo(rows->index(r, 0));
    });
    connect(removeButton, &QPushButton::clicked, this, [this] {
        if (grid->currentIndex().isValid())
            rows->removeRows(grid->currentIndex().row(), 1);
    });
    connect(defaultsButton, &QPushButton::clicked, this, [this] { setRules(defaultQualityRules()); });
    connect(saveButton, &QPushButton::clicked, this, [this] {
        if (save())
            accept();
    });
    connect(cancelButton, &QPushButton::clicked, this, &QDialog::reject);

    Error error;
    std::vector<QualityRules> now = m_archive.qualityRules(&error);
    setRules(now.empty() ? defaultQualityRules() : now);
    grid->resizeColumnsToContents();
    resize(900, 360);
}

void QualityRulesDialog::setRules(const std::vector<QualityRules>& all)
{
    std::vector<QStringList> texts;
    for (const QualityRules& r : all)
        texts.push_back(QualityRulesRows::toRow(r));
    rows->setRows(std::move(texts));
}

std::optional<std::vector<QualityRules>> QualityRulesDialog::rules()
{
    QStringList problems;
    std::vector<QualityRules> out = QualityRulesRows::fromRows(rows->rows(), &problems);
    if (!problems.isEmpty()) {
        m_messenger.information(tr("质量规则有无法识别的行，未保存：\n%1").arg(problems.join(QLatin1Char('\n'))));
        return std::nullopt;
    }
    return out;
}

bool QualityRulesDialog::save()
{
    const auto all = rules();
    if (!all)
        return false;
    Error error;
    if (!m_archive.setQualityRules(*all, &error)) {
        m_messenger.information(tr("质量规则未保存：%1").arg(Recorder::errorText(error)));
        return false;
    }
    return true;
}
