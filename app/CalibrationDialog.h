#pragma once

#include "archive/Calibration.h"
#include "archive/Monitoring.h"

#include <QDialog>
#include <memory>
#include <vector>

class CalibrationGrid;
class FileDialogs;
class Messenger;
class QPushButton;
class QTableView;
class QTableWidget;
class SaveProgress;

namespace archive {
class Archive;
}

// The calibration table in a grid: a row per gauge (测点), the columns of the table's files;
// rows are typed in, added, removed, or imported from a workbook or a CSV file. The words of
// the reading kind, the form, the direction and the field zero are chosen from a list.
// With an archive, the chosen gauge's versions are listed (from when, entered when and by whom)
// and a row can be added as a new version that applies from a date.
class CalibrationDialog : public QDialog {
    Q_OBJECT
public:
    // `progress` shows a long import (a progress dialog over this one unless given).
    CalibrationDialog(std::vector<archive::Calibration> table, FileDialogs& dialogs, Messenger& messenger,
                      QWidget* parent = nullptr, SaveProgress* progress = nullptr);
    ~CalibrationDialog() override;

    // The table as entered, when every row can be read; otherwise the problems are shown and
    // nullopt is returned.
    std::optional<std::vector<archive::Calibration>> table();

    // Reads a file off the window's thread and merges it into the grid by code; a file that
    // cannot be read, holds no readable row, or whose reading is cancelled changes nothing.
    void importFile();
    void setRows(const std::vector<archive::Calibration>& table);

    // Lists the versions of the current row's gauge and offers a new version from a date.
    void setArchive(archive::Archive* archive);
    // Adds the current row as a version of its gauge from `fromUtc`; says why when refused.
    bool addVersion(qint64 fromUtc);
    // The versions listed for the current row's gauge.
    void showVersions();

    CalibrationGrid* rows = nullptr;
    QTableView* grid = nullptr;
    QPushButton* importButton = nullptr;
    QPushButton* addButton = nullptr;
    QPushButton* removeButton = nullptr;
    QPushButton* saveButton = nullptr;
    QPushButton* cancelButton = nullptr;
    QTableWidget* versions = nullptr; // 自, 录入时间, 录入人; read-only
    QPushButton* versionButton = nullptr;

private:
    void fitColumns();

    FileDialogs& m_dialogs;
    Messenger& m_messenger;
    std::unique_ptr<SaveProgress> m_ownProgress;
    SaveProgress* m_progress = nullptr;
    archive::Archive* m_archive = nullptr;
};
