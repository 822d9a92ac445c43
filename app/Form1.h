#pragma once

#include "platform/Timing.h"
#include "serial/CommandExchange.h"

#include <QMainWindow>
#include <QPointer>
#include <functional>
#include <memory>
#include <optional>

class QComboBox;
class QLabel;
class QPushButton;
class QTableView;
class QTreeView;
class Messenger;
class PartitionTree;
class PortRegistry;
class PreviewGrid;
class SerialLink;
class StorageCommands;
class TreeLook;
class SaveCommand;
class SaveProgress;
class Form3;
class FileDialogs;
class CopyArchiver;
class HistoryView;
class PreviewMarks;
class VerdictPanel;
class QTabWidget;
class QSettings;
namespace office {
struct Settings;
}
namespace sheets {
class Servers;
}
namespace archive {
class Recorder;
}

// What the main window is built on; main() passes the real ones, tests pass fakes.
struct Form1Services {
    SerialLink& link;
    Messenger& messenger;
    // Gives the port registry to read; called at start-up and whenever the port list opens.
    std::function<std::unique_ptr<PortRegistry>()> ports;
    Timing timing;
    FileDialogs& dialogs;
    const sheets::Servers& servers;
    QString templatePath; // the template workbook Data.xls (platform/DataFiles)
    // Where completed copies are kept; without one (tests) nothing is archived and the window
    // has no history tab.
    archive::Recorder* recorder = nullptr;
    // Where the serial line's settings and the window's geometry are remembered between runs;
    // without one (tests) nothing is remembered.
    QSettings* settings = nullptr;
    // The office database's settings file (office::loadSettings: "" the user's, shared with the
    // command line); without one, or without an archive, the window has no office database.
    std::optional<QString> officeSettings;
};

// The main window: the serial settings strip, the storage tree, the column of instrument
// commands and the preview grid. It owns the command exchange; the exchange's gate locks and
// unlocks the commands (ComFalse, ComEnable) and hears from the window when it connects.
class Form1 : public QMainWindow {
    Q_OBJECT
public:
    // The connect button's captions: connected, and not.
    static QString connectedText() { return tr("已连接"); }
    static QString connectText() { return tr("连接"); }

    explicit Form1(Form1Services services, QWidget* parent = nullptr);
    ~Form1() override;

    // Controls, named as the rest of the program refers to them.
    QComboBox* Combo1 = nullptr;      // port
    QComboBox* Combo2 = nullptr;      // baud rate
    QComboBox* Combo3 = nullptr;      // parity
    QComboBox* Combo4 = nullptr;      // stop bits
    QPushButton* Command1 = nullptr;  // connect
    QPushButton* Command12 = nullptr; // disconnect
    QPushButton* Command2 = nullptr;  // read partitions
    QPushButton* Command3 = nullptr;  // list the selected partition's files
    QPushButton* Command6 = nullptr;  // copy partition
    QPushButton* Command5 = nullptr;  // copy file
    QPushButton* Command4 = nullptr;  // save preview
    QPushButton* Command7 = nullptr;  // delete partition
    QPushButton* Command8 = nullptr;  // delete partition data
    QPushButton* Command9 = nullptr;  // new file name
    QPushButton* Command10 = nullptr; // view component codes
    QPushButton* Command11 = nullptr; // write component codes
    QTreeView* SSTree1 = nullptr;
    QTableView* MSFlexGrid1 = nullptr;
    QLabel* statusLine = nullptr;
    QTabWidget* workTabs = nullptr; // the preview and the history, when there is an archive
    HistoryView* history = nullptr;
    // What judging the last archived copy found, when there was anything to say (not modal).
    VerdictPanel* verdictPanel = nullptr;
    // The preview's rows of the last archived copy's readings above normal or flagged.
    const PreviewMarks& previewMarks() const { return *m_marks; }
    QPushButton* stopButton = nullptr; // 停止接收: shown while a reply is arriving
    // Beside the connection state, when there is an archive: the readout of the connection
    // ("仪器：…"); a click, or the settings menu's action, changes it.
    QPushButton* readoutButton = nullptr;
    QAction* changeReadoutAction = nullptr;
    // The office database, when the window has one (an archive and officeSettings): the settings
    // dialog (办公室数据库设置…) and the sync (同步到办公室数据库, also the history tab's
    // syncButton), enabled once an office is set up.
    QAction* officeSettingsAction = nullptr;
    QAction* syncAction = nullptr;
    // The password given to the office's connection: the one the system's key store keeps
    // unless replaced (tests).
    std::function<std::optional<QString>(const office::Settings&)> officePassword;
    // Whether an office database is set up, and its settings.
    bool officeConfigured() const;
    office::Settings officeSettings() const;
    // The settings dialog (saved when accepted), and the sync run in the background with its
    // progress; the result goes to the status line, conflicts and failures to a message.
    void editOfficeSettings();
    bool syncWithOffice();

    CommandExchange& exchange() { return *m_exchange; }
    PartitionTree& tree() { return *m_tree; }
    // What SSTree1 shows: the tree with its fonts and colours. Its indexes are not the tree's.
    TreeLook& treeLook() { return *m_treeLook; }
    PreviewGrid& grid() { return *m_grid; }
    StorageCommands& storage() { return *m_storage; }
    SaveCommand& saver() { return *m_save; }
    // How completed copies reach the archive; none without one.
    CopyArchiver* archiver() { return m_archiver; }
    // The component-code editor while it is open.
    Form3* editor() const;

    // Whether Excel, respectively WPS spreadsheets, can be started on this PC.
    bool IsExistExcel() const;
    bool IsExistWPS() const;
    SerialLink& link() { return m_services.link; }
    Messenger& messenger() { return m_services.messenger; }
    const Timing& timing() const { return m_services.timing; }

    // The settings string of the strip, e.g. "9600,N,8,1".
    QString settingsString() const;
    // The parity chosen, as the line and the settings take it: "None", "Odd", "Even", "Mark".
    QString parity() const;

    void SetReturn(const QString& text) { m_exchange->SetReturn(text); }
    QString GetReturn() { return m_exchange->GetReturn(); }

public slots:
    // The commands disabled while one is in progress, and usable again.
    void ComFalse();
    void ComEnable();

    void Command1_Click();
    void Command12_Click();

private:
    void buildUi();
    void routeReplies();
    void Form_Load();
    void Check_Comm();
    void restoreSettings();
    void saveSettings();
    void closeEvent(QCloseEvent* event) override;
    void fillPortList(PortRegistry& registry, bool keepText);
    void refreshPorts();
    void applyGridSizes();
    void onLinkLost(const QString& reason);
    void showProgress(qint64 bytes, qint64 elapsedMs);
    void showReceived(qint64 bytes, qint64 elapsedMs);
    void showFinished(qint64 bytes, qint64 elapsedMs);
    static QString receivedText(qint64 bytes, qint64 elapsedMs);
    void copied(const QString& partition);
    void archiveCopy(const QString& partition);
    void connectionEnded();
    void onCopyArchived(const QString& text);
    // The status line's text with what waits for the office appended, when one is set up.
    QString withWaiting(const QString& text) const;
    void showOfficeState();
    // Marks the preview's rows and shows the panel for what judging the archived copy found.
    void showVerdict();
    void showGauge(const QString& gauge);
    void showReadout();
    void changeReadout();
    void onReplyConfirmed();
    void onReplyCut(qint16 code);
    void showInterrupted(qint64 bytes, CommandExchange::Interruption why);
    void showDiscarding(qint64 bytes);
    void showDiscarded(qint64 bytes);
    QList<QWidget*> gatedControls() const;

    Form1Services m_services;
    PartitionTree* m_tree = nullptr;
    TreeLook* m_treeLook = nullptr;
    QString m_archiveNote; // what the archive did with the reply just received
    // A copy shown in the preview is archived once its grace has passed without more input.
    std::optional<QString> m_copyAwaitingGrace;
    QString m_cutNotice;             // a reply was cut: said again once its rest has been discarded
    QString m_previewName;           // the file or partition the preview shows, once a reply filled it
    bool m_closeAfterSave = false;   // the window was asked to close while a save ran
    bool m_closeAfterReport = false; // and while a report was being written
    QString m_finishedText;          // the last transfer, as the status line said it
    bool m_archiving = false;        // a copy is being stored from the grid
    bool m_syncing = false;          // a sync with the office runs
    bool m_closeAfterSync = false;   // the window was asked to close while it ran
    std::unique_ptr<SaveProgress> m_syncProgress;
    PreviewGrid* m_grid = nullptr;
    CommandExchange* m_exchange = nullptr;
    std::unique_ptr<StorageCommands> m_storage;
    std::unique_ptr<SaveProgress> m_saveProgress;
    std::unique_ptr<SaveCommand> m_save;
    CopyArchiver* m_archiver = nullptr;
    std::unique_ptr<PreviewMarks> m_marks;
    QPointer<Form3> m_editor;
    // The control that had the focus when the commands were disabled, and where it went.
    QPointer<QWidget> m_refocus;
    QPointer<QWidget> m_movedFocus;
};
