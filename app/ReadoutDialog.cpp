#include "app/ReadoutDialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimeZone>
#include <QVBoxLayout>
#include <algorithm>

ReadoutDialog::ReadoutDialog(std::vector<archive::Readout> readouts, const QString& device, qint64 current,
                             QWidget* parent)
    : QDialog(parent), m_readouts(std::move(readouts))
{
    setWindowTitle(tr("选择仪器"));
    auto* layout = new QVBoxLayout(this);
    auto* intro = new QLabel(current == 0 ? tr("档案还不知道连接的是哪台读数仪（%1）。\n"
                                               "请选择它，或给它起个名称：档案按仪器保存拷贝的数据。")
                                                .arg(device)
                                          : tr("连接的读数仪（%1）是哪台仪器？").arg(device),
                             this);
    intro->setWordWrap(true);
    layout->addWidget(intro);

    existingChoice = new QRadioButton(tr("已有的仪器"), this);
    layout->addWidget(existingChoice);
    auto* existingForm = new QFormLayout;
    existingForm->setContentsMargins(24, 0, 0, 0);
    readoutList = new QComboBox(this);
    readoutList->setAccessibleName(tr("仪器"));
    for (const archive::Readout& r : m_readouts)
        readoutList->addItem(tr("%1（时区 %2）").arg(r.name, r.timeZone), r.id);
    existingForm->addRow(tr("仪器："), readoutList);
    renameEdit = new QLineEdit(this);
    renameEdit->setAccessibleName(tr("改名为"));
    renameEdit->setPlaceholderText(tr("不改名请留空"));
    existingForm->addRow(tr("改名为："), renameEdit);
    layout->addLayout(existingForm);

    newChoice = new QRadioButton(tr("新的仪器"), this);
    layout->addWidget(newChoice);
    auto* newForm = new QFormLayout;
    newForm->setContentsMargins(24, 0, 0, 0);
    nameEdit = new QLineEdit(this);
    nameEdit->setAccessibleName(tr("名称"));
    newForm->addRow(tr("名称："), nameEdit);
    zoneList = new QComboBox(this);
    zoneList->setAccessibleName(tr("仪器时钟的时区"));
    zoneList->setEditable(true); // a long list: typing finds the zone
    zoneList->setInsertPolicy(QComboBox::NoInsert);
    for (const QByteArray& id : QTimeZone::availableTimeZoneIds())
        zoneList->addItem(QString::fromUtf8(id));
    const QString pc = pcTimeZoneId();
    const int at = zoneList->findText(pc);
    if (at >= 0)
        zoneList->setCurrentIndex(at);
    else
        zoneList->setCurrentText(pc);
    newForm->addRow(tr("仪器时钟的时区："), zoneList);
    layout->addLayout(newForm);

    problem = new QLabel(this);
    problem->setStyleSheet(QStringLiteral("color: #b00000"));
    problem->setWordWrap(true);
    problem->hide();
    layout->addWidget(problem);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(tr("确定"));
    buttons->button(QDialogButtonBox::Cancel)->setText(tr("取消"));
    connect(buttons, &QDialogButtonBox::accepted, this, &ReadoutDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &ReadoutDialog::reject);
    layout->addWidget(buttons);

    if (m_readouts.empty()) {
        existingChoice->setEnabled(false);
        newChoice->setChecked(true);
    } else {
        existingChoice->setChecked(true);
        const int chosen = readoutList->findData(current);
        readoutList->setCurrentIndex(chosen >= 0 ? chosen : 0);
    }
    connect(existingChoice, &QRadioButton::toggled, this, &ReadoutDialog::updateEnabled);
    // Typing a new name means a new readout.
    connect(nameEdit, &QLineEdit::textEdited, this, [this] { newChoice->setChecked(true); });
    connect(renameEdit, &QLineEdit::textEdited, this, [this] {
        if (existingChoice->isEnabled())
            existingChoice->setChecked(true);
    });
    updateEnabled();
    (newChoice->isChecked() ? static_cast<QWidget*>(nameEdit) : readoutList)->setFocus();
}

void ReadoutDialog::updateEnabled()
{
    const bool existing = existingChoice->isChecked();
    readoutList->setEnabled(existing);
    zoneList->setEnabled(!existing);
}

ReadoutAnswer ReadoutDialog::answer() const
{
    ReadoutAnswer a;
    if (existingChoice->isChecked()) {
        a.kind = ReadoutAnswer::Kind::Existing;
        a.existing = readoutList->currentData().toLongLong();
        a.name = renameEdit->text().trimmed();
    } else {
        a.kind = ReadoutAnswer::Kind::New;
        a.name = nameEdit->text().trimmed();
        a.timeZone = zoneList->currentText().trimmed();
    }
    return a;
}

void ReadoutDialog::accept()
{
    const QString why = readoutAnswerProblem(m_readouts, answer());
    if (!why.isEmpty()) {
        problem->setText(why);
        problem->show();
        return;
    }
    QDialog::accept();
}
