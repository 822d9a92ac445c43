#pragma once

#include "archive/Monitoring.h"

#include <QDialog>
#include <optional>
#include <vector>

class CalibrationGrid;
class FileDialogs;
class Messenger;
class QPushButton;
class QTableView;

namespace archive {
class Archive;
}

// The gauge register in a grid, a row per gauge (测点, 类型, 单位, 工程, 位置, 安装日期,
// 测读间隔（天）, 备注): typed in, imported from a workbook or CSV file, exported, and saved
// into the archive. The type is chosen from the usual kinds or typed. The gauges' trigger levels
// are imported and exported beside it, as a table of their own.
class RegisterDialog : public QDialog {
    Q_OBJECT
public:
    RegisterDialog(archive::Archive& archive, FileDialogs& dialogs, Messenger& messenger, QWidget* parent = nullptr);

    // The register as entered, when every row can be read; otherwise the problems are shown.
    std::optional<std::vector<archive::GaugeInfo>> table();
    // Saves the grid into the archive; says why a row or the save was refused.
    bool save();
    // Reads a file and merges it into the grid by name; rows that cannot be read are named.
    void importFile();
    void exportFile();
    // The trigger levels in force, one set per gauge (archive::LevelTable), exported beside the
    // register; an import adds its sets to the archive at once as new versions, leaving out the
    // gauges the file gives wrongly and those the archive's register does not hold.
    void exportLevels();
    void importLevels();
    void setRows(const std::vector<archive::GaugeInfo>& rows);

    // The types offered for a gauge.
    static QStringList gaugeTypes();

    CalibrationGrid* rows = nullptr;
    QTableView* grid = nullptr;
    QPushButton* importButton = nullptr;
    QPushButton* exportButton = nullptr;
    QPushButton* importLevelsButton = nullptr;
    QPushButton* exportLevelsButton = nullptr;
    QPushButton* addButton = nullptr;
    QPushButton* removeButton = nullptr;
    QPushButton* saveButton = nullptr;
    QPushButton* cancelButton = nullptr;

private:
    archive::Archive& m_archive;
    FileDialogs& m_dialogs;
    Messenger& m_messenger;
};
