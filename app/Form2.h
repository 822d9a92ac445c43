#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;
class Messenger;
class Gate;
class StorageCommands;

// The file-name dialog (文件名输入): takes a new file's name, checks it and sends the
// new-file command for the partition in NoteName.
class Form2 : public QDialog {
    Q_OBJECT
public:
    // The gate is the main window's: the dialog unlocks its controls when it closes.
    Form2(StorageCommands& commands, Gate& gate, Messenger& messenger, QWidget* parent = nullptr);

    QString NoteName; // the partition letter, set before the dialog is shown

    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QLineEdit* Filename = nullptr;
    QPushButton* Command1 = nullptr; // 确认
    QPushButton* Command2 = nullptr; // 取消

public slots:
    void Command1_Click();
    void Command2_Click();
    // Cancel, Escape and the window frame all end here.
    void reject() override;

private:
    StorageCommands& m_commands;
    Gate& m_gate;
    Messenger& m_messenger;
    bool m_sending = false; // the command is out; a second confirm must not send it again
};
