#pragma once

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
class SaveProgress;
class TrendPlot;

namespace archive {
class Recorder;
}

// The history beside the preview: the archive's components with their counts and time spans,
// and for the chosen ones a trend of the reading (or its engineering value) and the
// temperature, over a chosen time range; the calibration table; exports of the data and of
// the plot.
class HistoryView : public QWidget {
    Q_OBJECT
public:
    static constexpr int kMaxPlotted = 8; // components plotted at once

    // The list's columns.
    enum Column {
        PartitionColumn,
        CodeColumn,
        CountColumn,
        FirstColumn,
        LastColumn,
        CalibrationColumn // the calibration's unit, or that there is none
    };

    HistoryView(archive::Recorder& recorder, FileDialogs& dialogs, Messenger& messenger, QWidget* parent = nullptr);
    ~HistoryView() override;

    // Reads the archive's components again (after a copy was stored), keeping the choice.
    void refresh();

    QTreeWidget* components = nullptr;
    QComboBox* span = nullptr;
    QCheckBox* engineering = nullptr;
    QPushButton* calibrationButton = nullptr;
    QPushButton* exportButton = nullptr;
    QPushButton* pictureButton = nullptr;
    QPushButton* checkButton = nullptr;
    QLabel* note = nullptr;
    TrendPlot* plot = nullptr;
    // Shows how far an export has come, with its cancel (a progress dialog unless replaced).
    SaveProgress* progress = nullptr;

    void editCalibrations();
    void exportData();
    void exportPicture();
    // The thorough check of the archive and its repair from the records' texts; says what it found.
    void checkArchive();

private:
    void replot();
    struct Chosen {
        QString partition;
        QString code;
    };
    QList<Chosen> chosen() const;
    // The chosen time span, counted back from the newest record of the chosen components.
    archive::History::Range rangeFor(const archive::Archive& archive, const QList<Chosen>& picked) const;

    // Marks each listed component with whether it has a calibration.
    void markCalibrations(const archive::Archive& archive);

    archive::Recorder& m_recorder;
    FileDialogs& m_dialogs;
    Messenger& m_messenger;
    std::unique_ptr<SaveProgress> m_ownProgress;
};
