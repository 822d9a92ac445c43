#pragma once

#include "app/GaugeBrowser.h"
#include "archive/History.h"

#include <QWidget>
#include <memory>

class FileDialogs;
class Messenger;
class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;
class SaveProgress;
class TrendPlot;

namespace archive {
class Recorder;
}

// The history beside the preview: the archive's sites and their gauges with their counts and
// time spans, and the slots whose readings no gauge holds ("未分配"); for the chosen ones a
// trend of the reading (or its engineering value) and the temperature, over a chosen time
// range; the gauge register, the calibrations, the hand assignment of a slot to a gauge;
// exports of the data and of the plot.
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
    QLabel* note = nullptr;
    TrendPlot* plot = nullptr;
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

private:
    void replot();
    QList<GaugeBrowser::Pick> chosen() const;

    // Marks each listed gauge with whether it has a calibration.
    void markCalibrations(const archive::Archive& archive);

    archive::Recorder& m_recorder;
    FileDialogs& m_dialogs;
    Messenger& m_messenger;
    std::unique_ptr<SaveProgress> m_ownProgress;
    GaugeBrowser m_browser;
};
