#include "app/CalibrationDialog.h"

#include "archive/CalibrationTable.h"
#include "platform/FileDialogs.h"
#include "platform/Messenger.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

using namespace archive;

CalibrationDialog::CalibrationDialog(std::vector<Calibration> initial, FileDialogs& dialogs, Messenger& messenger,
                                     QWidget* parent)
    : QDialog(parent), m_dialogs(dialogs), m_messenger(messenger)
{
    setWindowTitle(tr("标定表"));
    auto* layout = new QVBoxLayout(this);
    grid = new QTableWidget(0, int(CalibrationTable::shownHeaders().size()), this);
    grid->setHorizontalHeaderLabels(CalibrationTable::shownHeaders());
    grid->setAccessibleName(tr("标定表"));
    grid->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    layout->addWidget(grid, 1);
    auto* buttons = new QHBoxLayout;
    importButton = new QPushButton(tr("导入…"), this);
    addButton = new QPushButton(tr("添加行"), this);
    removeButton = new QPushButton(tr("删除行"), this);
    saveButton = new QPushButton(tr("保存"), this);
    cancelButton = new QPushButton(tr("取消"), this);
    importButton->setToolTip(tr("从工作簿（.xls、.xlsx）或 CSV 文件导入标定表，第一行为列名"));
    for (QPushButton* b : {importButton, addButton, removeButton})
        buttons->addWidget(b);
    buttons->addStretch(1);
    buttons->addWidget(saveButton);
    buttons->addWidget(cancelButton);
    layout->addLayout(buttons);
    saveButton->setDefault(true);

    connect(importButton, &QPushButton::clicked, this, &CalibrationDialog::importFile);
    connect(addButton, &QPushButton::clicked, this, [this] {
        grid->insertRow(grid->rowCount());
        const QStringList defaults = CalibrationTable::shownRow(Calibration{});
        for (int c = 0; c < grid->columnCount(); ++c)
            grid->setItem(grid->rowCount() - 1, c, new QTableWidgetItem(defaults.value(c)));
        grid->setCurrentCell(grid->rowCount() - 1, 0);
    });
    connect(removeButton, &QPushButton::clicked, this, [this] {
        if (grid->currentRow() >= 0)
            grid->removeRow(grid->currentRow());
    });
    connect(saveButton, &QPushButton::clicked, this, [this] {
        if (this->table())
            accept();
    });
    connect(cancelButton, &QPushButton::clicked, this, &QDialog::reject);
    setRows(initial);
    resize(900, 400);
}

void CalibrationDialog::setRows(const std::vector<Calibration>& table)
{
    grid->setRowCount(0);
    for (const Calibration& c : table) {
        const int r = grid->rowCount();
        grid->insertRow(r);
        const QStringList row = CalibrationTable::shownRow(c);
        for (int col = 0; col < row.size(); ++col)
            grid->setItem(r, col, new QTableWidgetItem(row[col]));
    }
}

std::optional<std::vector<Calibration>> CalibrationDialog::table()
{
    std::vector<QStringList> rows{CalibrationTable::shownHeaders()};
    for (int r = 0; r < grid->rowCount(); ++r) {
        QStringList row;
        for (int c = 0; c < grid->columnCount(); ++c)
            row << (grid->item(r, c) ? grid->item(r, c)->text() : QString());
        rows.push_back(row);
    }
    QStringList problems;
    std::vector<Calibration> out = CalibrationTable::fromRows(rows, &problems);
    if (!problems.isEmpty()) {
        m_messenger.information(tr("标定表有无法识别的行，未保存：\n%1").arg(problems.join(QLatin1Char('\n'))));
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
    QString error;
    const auto rows = CalibrationTable::readFile(*path, &error);
    if (!rows) {
        m_messenger.information(tr("无法读取标定表：%1").arg(error));
        return;
    }
    QStringList problems;
    const std::vector<Calibration> read = CalibrationTable::fromRows(*rows, &problems);
    setRows(read);
    if (!problems.isEmpty())
        m_messenger.information(tr("已导入 %1 行；以下各行未能识别，已略过：\n%2")
                                    .arg(read.size())
                                    .arg(problems.join(QLatin1Char('\n'))));
}
