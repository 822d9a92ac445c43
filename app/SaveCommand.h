#pragma once

#include "export/SaveGrid.h"
#include "export/SheetWriter.h"

#include <QCoreApplication>
#include <QString>
#include <functional>
#include <optional>

class CommandExchange;
class FileDialogs;
class Messenger;
class PreviewGrid;
namespace sheets {
class Servers;
}

// Shows how far a save off the window's thread has come, and whether the operator asked to
// cancel it. The window shows a progress dialog; tests script it.
class SaveProgress {
public:
    virtual ~SaveProgress();
    virtual void start(const QString& path, qint64 rows) = 0;
    virtual void advance(qint64 rowsDone) = 0;
    virtual bool cancelRequested() const = 0;
    virtual void finish() = 0;
};

// The save command (保存预览文件<==): asks for a file name, copies the template workbook beside
// it and writes the preview into that copy through the first spreadsheet server present: Excel,
// then WPS spreadsheets, then the program's own engine; the copy replaces the chosen file only
// when it was written in full (saveGrid). It sends nothing to the instrument.
class SaveCommand {
    Q_DECLARE_TR_FUNCTIONS(SaveCommand)

public:
    struct Context {
        PreviewGrid& grid;
        CommandExchange& exchange; // its gate locks and unlocks the window's commands
        Messenger& messenger;
        FileDialogs& dialogs;
        const sheets::Servers& servers;
        QString templatePath;                                 // Data.xls (platform/DataFiles)
        std::function<std::optional<QString>()> selectedText; // the name of what the preview shows
        SaveProgress* progress = nullptr;                     // for .xlsx and .csv saves, which run off the window's thread
    };

    explicit SaveCommand(Context context);

    void Command4_Click();
    // True while a save runs; a second one is refused meanwhile.
    bool saving() const { return m_saving; }
    bool IsExistExcel() const;
    bool IsExistWPS() const;

    // The workbook of the last save.
    QString SaveFileName;

    // The chosen path with the ending ".xls": a short extension is replaced, a name without
    // one gets it added.
    static QString xlsPath(const QString& chosen);

    // The failure message with its reason on a line of its own.

    // What the .xls server does when a step of the save fails (SheetWriter::save).
    using FailurePath = SheetWriter::FailurePath;

private:
    // Writes SaveFileName as .xlsx or .csv with the program's own writers.
    void saveStreamed();
    void SaveExcel();
    void SaveWps();
    void SaveBuiltin();
    void saveWith(const QString& server, FailurePath failurePath);

    Context m_c;
    bool m_saving = false;
};
