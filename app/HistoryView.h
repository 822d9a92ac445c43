#pragma once

#include "app/GaugeBrowser.h"
#include "archive/History.h"

#include <QPointer>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>

class FileDialogs;
class Messenger;
class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QSettings;
class QTabWidget;
class QTableView;
class QTreeWidget;
class QTreeWidgetItem;
class EventsModel;
class OverdueModel;
class ReadingsModel;
class ReportDialog;
class SaveProgress;
class TrendPlot;

namespace archive {
class Recorder;
}

// The history beside the preview: the archive's sites and their gauges with their counts and
// time spans, and the slots whose readings no gauge holds ("未分配"); for the chosen ones a
// trend of the reading (or its engineering value) and the temperature, over a chosen time
// range; the gauge register, the calibrations, the hand assignment of a slot to a gauge;
// exports of the data and of the plot; the trigger levels and quality rules; under the plot, the
// chosen gauge's readings (to mask or unmask), the events of a site (to acknowledge) and its
// gauges overdue for a reading.
class HistoryView : public QWidget {
    Q_OBJECT
public:
    static constexpr int kMaxPlotted = 8; // gauges plotted at once

    // The list's columns: a site, with its gauges under it, or the unassigned group with its slots.
    enum Column {
        NameColumn,
        CountColumn,
        FirstColumn,
        LastColumn,
        ReadoutColumn,    // a gauge's readouts and slots
        CalibrationColumn // the calibration's unit, or that there is none
    };

    HistoryView(archive::Recorder& recorder, FileDialogs& dialogs, Messenger& messenger, QWidget* parent = nullptr);
    ~HistoryView() override;

    // Where the report dialog remembers its choices (none: nothing is remembered).
    void setSettings(QSettings* settings) { m_settings = settings; }

    // Reads the archive's gauges again (after a copy was stored), keeping the choice.
    void refresh();

    // Selects the gauge in the list (alone) and shows its trend; false when the list has no such gauge.
    bool showGauge(const QString& gauge);

    // The list's item of a gauge, or of an unassigned slot (readout name, code); nullptr if none.
    QTreeWidgetItem* gaugeItem(const QString& gauge) const;
    QTreeWidgetItem* slotItem(const QString& readout, const QString& code) const;
    const GaugeBrowser& browser() const { return m_browser; }

    QTreeWidget* components = nullptr;
    QComboBox* span = nullptr;
    QCheckBox* engineering = nullptr;
    QCheckBox* showMasked = nullptr; // masked readings in the plot, grey
    QPushButton* calibrationButton = nullptr;
    QPushButton* exportButton = nullptr;
    QPushButton* pictureButton = nullptr;
    QPushButton* checkButton = nullptr;
    QPushButton* registerButton = nullptr;
    QPushButton* assignButton = nullptr;
    QPushButton* levelsButton = nullptr;
    QPushButton* qualityButton = nullptr;
    QPushButton* reportButton = nullptr; // 生成报告…
    // 同步到办公室数据库: the window shows it and acts on it when an office database is set up.
    QPushButton* syncButton = nullptr;
    QLabel* note = nullptr;
    TrendPlot* plot = nullptr;

    // Under the plot: 读数, 事件, 逾期未测; the site chosen in the corner applies to the last two.
    QTabWidget* details = nullptr;
    QComboBox* siteFilter = nullptr; // 全部工程, then the sites by name (item data: the name)
    QTableView* readings = nullptr;
    ReadingsModel* readingsModel = nullptr;
    QPushButton* maskButton = nullptr;
    QPushButton* unmaskButton = nullptr;
    QTableView* events = nullptr;
    EventsModel* eventsModel = nullptr;
    QCheckBox* unacknowledgedOnly = nullptr;
    QPushButton* acknowledgeButton = nullptr;
    QTableView* overdueList = nullptr;
    OverdueModel* overdueModel = nullptr;

    // Asks the operator for a note (屏蔽, 确认): nullopt when cancelled. A text input dialog
    // unless replaced.
    std::function<std::optional<QString>(const QString& title, const QString& label)> askNote;
    // Shows how far an export has come, with its cancel (a progress dialog unless replaced).
    SaveProgress* progress = nullptr;

    void editCalibrations();
    void exportData();
    void exportPicture();
    // The thorough check of the archive and its repair from the records' texts; says what it found.
    void checkArchive();
    void editRegister();
    // Asks for the gauge and the time from which the chosen unassigned slot held it.
    void assignChosenSlot();
    // Assigns an unassigned slot to a gauge from readout time `from`; says why when refused.
    bool assignSlot(const GaugeBrowser::Pick& slot, const QString& gauge, qint64 from);

    // The trigger levels of the one gauge chosen, and the quality rules (dialogs).
    void editLevels();
    void editQualityRules();
    // The gauge whose readings the 读数 list shows: the one gauge chosen, else none.
    QString chosenGauge() const;
    // Masks the readings selected in the 读数 list with a note (required), or lifts their masks;
    // the tab is read again. Says why when refused.
    bool maskSelected(const QString& note);
    bool unmaskSelected();
    // Acknowledges the events selected in the 事件 list with a note.
    bool acknowledgeSelected(const QString& note);
    // Reads the events and the overdue gauges of the chosen site again.
    void refreshEvents();

    // The site the tab shows: that of the list's current row, else the one chosen for the
    // events; "" when neither is a site.
    QString currentSite() const;
    // The gauges chosen in the list, in its order (slots left out).
    QStringList chosenGauges() const;
    // The report dialog for the site shown or the gauges chosen (生成报告…).
    void makeReport();
    // The report dialog while it is open.
    ReportDialog* reportDialog() const;
    // Whether a report is being written, and stops it (the dialog closes once it has stopped).
    bool reportRunning() const;
    void cancelReport();

signals:
    // A report was written; `text` names its file.
    void reportWritten(const QString& text);
    // The report dialog has closed.
    void reportClosed();

private:
    void replot();
    void showReadings();
    void askMask();
    void askAcknowledge();
    void fillSites();
    void updateDetailButtons();
    QList<GaugeBrowser::Pick> chosen() const;

    // Marks each listed gauge with whether it has a calibration.
    void markCalibrations(const archive::Archive& archive);

    archive::Recorder& m_recorder;
    FileDialogs& m_dialogs;
    Messenger& m_messenger;
    QSettings* m_settings = nullptr;
    QPointer<ReportDialog> m_report;
    std::unique_ptr<SaveProgress> m_ownProgress;
    GaugeBrowser m_browser;
};
