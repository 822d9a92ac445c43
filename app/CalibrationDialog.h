#pragma once

#include "archive/Calibration.h"

#include <QDialog>
#include <vector>

class FileDialogs;
class Messenger;
class QPushButton;
class QTableWidget;

// The calibration table in a grid: a row per component, the columns of the table's files;
// rows are typed in, added, removed, or imported from a workbook or a CSV file.
class CalibrationDialog : public QDialog {
    Q_OBJECT
public:
    CalibrationDialog(std::vector<archive::Calibration> table, FileDialogs& dialogs, Messenger& messenger,
                      QWidget* parent = nullptr);

    // The table as entered, when every row can be read; otherwise the problems are shown and
    // nullopt is returned.
    std::optional<std::vector<archive::Calibration>> table();

    void importFile();
    void setRows(const std::vector<archive::Calibration>& table);

    QTableWidget* grid = nullptr;
    QPushButton* importButton = nullptr;
    QPushButton* addButton = nullptr;
    QPushButton* removeButton = nullptr;
    QPushButton* saveButton = nullptr;
    QPushButton* cancelButton = nullptr;

private:
    FileDialogs& m_dialogs;
    Messenger& m_messenger;
};
