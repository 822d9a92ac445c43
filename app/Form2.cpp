#include "app/Form2.h"

#include "platform/Messenger.h"
#include "serial/CommandExchange.h"
#include "storage/NewFileName.h"
#include "app/StorageCommands.h"

#include <QFont>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

Form2::Form2(StorageCommands& commands, Gate& gate, Messenger& messenger, QWidget* parent)
    : QDialog(parent), m_commands(commands), m_gate(gate), m_messenger(messenger)
{
    setWindowTitle(tr("文件名输入"));
    setModal(true);
    auto* layout = new QVBoxLayout(this);
    Label1 = new QLabel(tr("请在以下文本框中输入文件名称："), this);
    Label2 = new QLabel(
        tr("文件名要小于20个字符，规则请遵循文件系统命名规则，如不含有：<,>,/,\\,|,:,\"\",*,? 等字符"), this);
    Label2->setWordWrap(true);
    Filename = new QLineEdit(this);
    Filename->setFont(QFont(QStringLiteral("宋体"), 12));
    Filename->setAccessibleName(tr("文件名"));
    Label1->setBuddy(Filename);
    Command1 = new QPushButton(tr("确认"), this);
    Command2 = new QPushButton(tr("取消"), this);
    Command1->setDefault(true);
    layout->addWidget(Label1);
    layout->addWidget(Label2);
    layout->addWidget(Filename);
    auto* buttons = new QHBoxLayout();
    buttons->addStretch(1);
    buttons->addWidget(Command1);
    buttons->addSpacing(30);
    buttons->addWidget(Command2);
    buttons->addStretch(1);
    layout->addLayout(buttons);
    resize(4680 / 15 + 40, 2175 / 15);

    connect(Command1, &QPushButton::clicked, this, &Form2::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &Form2::Command2_Click);
}

void Form2::Command1_Click()
{
    // The command wait runs the event loop: a second Enter or click arrives inside it.
    if (m_sending)
        return;
    const NewFileName name = NewFileName::check(Filename->text());
    Filename->setText(name.trimmed);
    if (!name.error.isEmpty()) {
        m_messenger.information(name.error);
        return;
    }
    m_sending = true;
    Command1->setEnabled(false);
    Command2->setEnabled(false);
    const StorageCommands::NewFileSent sent = m_commands.sendNewFile(NoteName, name.trimmed);
    if (sent != StorageCommands::NewFileSent::Sent) {
        m_sending = false;
        Command1->setEnabled(true);
        Command2->setEnabled(true);
        // The dialog stays open with the name, to be confirmed again.
        m_messenger.information(sent == StorageCommands::NewFileSent::LineBusy
                                    ? CommandExchange::busyText()
                                    : NewFileName::unshowableText());
        return;
    }
    QDialog::accept(); // the controls were enabled again after sending
}

void Form2::Command2_Click() { reject(); }

void Form2::reject()
{
    if (m_sending)
        return; // Escape during the command wait: the dialog closes when the command is out
    QDialog::reject();
    m_gate.unlockControls();
}
