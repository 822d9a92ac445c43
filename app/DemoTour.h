#pragma once

#include "platform/Messenger.h"

#include <QDir>
#include <QString>
#include <QStringList>

class Form1;

// Messages of an unattended run: written to standard output; questions are answered No.
class ConsoleMessenger : public Messenger {
public:
    void information(const QString& text) override;
    bool confirm(const QString& text) override;
};

// A short unattended walk through the program's main job, for demonstrations without a display:
// connect, read the partitions, list partition A, copy its first file; a screenshot after each
// step. Returns the exit code (0 when every step worked).
class DemoTour {
public:
    DemoTour(Form1& window, const QString& outputDir);
    int run();
    const QStringList& screenshots() const { return m_shots; }

private:
    bool waitIdle();
    void shoot(const QString& name);
    bool fail(const QString& why);

    Form1& m_window;
    QDir m_out;
    QStringList m_shots;
    int m_step = 0;
};
