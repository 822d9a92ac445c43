#pragma once

#include "platform/FileDialogs.h"
#include "platform/Messenger.h"

#include <QDir>
#include <QString>
#include <QStringList>

class Form1;

// Messages of an unattended run: written to standard output; questions are answered No.
class ConsoleMessenger : public Messenger {
public:
    void information(const QString& text) override;
    void plain(const QString& text) override { information(text); }
    bool confirm(const QString& text) override;
};

// File dialogs of an unattended run: a save goes into a fixed folder under the proposed name;
// an open takes the file saved last.
class TourFileDialogs : public FileDialogs {
public:
    explicit TourFileDialogs(const QString& folder) : m_folder(folder) {}
    std::optional<QString> saveFileName(const QString& filter, const QString& proposedName) override;
    std::optional<QString> openFileName(const QString&) override;

private:
    QDir m_folder;
    QString m_lastSaved;
};

// A short unattended walk through the program's main job, for demonstrations without a display:
// connect, read the partitions, list partition A, copy its first file (the question which readout
// it is answered with a new one), view the component list,
// show the file-name dialog, import a saved component list in the component-code editor and
// write a typed one, and last copy partition A and save it as a workbook; a screenshot after
// each step. Returns the exit code (0 when every step worked).
class DemoTour {
public:
    DemoTour(Form1& window, const QString& outputDir);
    int run();
    const QStringList& screenshots() const { return m_shots; }

private:
    bool waitIdle();
    void shoot(const QString& name);
    void shoot(QWidget& widget, const QString& name);
    bool editorSteps();
    bool fail(const QString& why);

    Form1& m_window;
    QDir m_out;
    QStringList m_shots;
    int m_step = 0;
};
