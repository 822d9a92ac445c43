#pragma once

#include "archive/Judgement.h"

#include <QDialog>
#include <optional>
#include <vector>

class CalibrationGrid;
class Messenger;
class QPushButton;
class QTableView;

namespace archive {
class Archive;
}

// The quality rules by gauge type in a grid (QualityRulesRows): rows added, removed, put back to
// the built-in rules, and saved into the archive, which judges the readings of every gauge whose
// rules changed again.
class QualityRulesDialog : public QDialog {
    Q_OBJECT
public:
    QualityRulesDialog(archive::Archive& archive, Messenger& messenger, QWidget* parent = nullptr);

    // The rules as entered, when every row can be read; otherwise the problems are shown.
    std::optional<std::vector<archive::QualityRules>> rules();
    void setRules(const std::vector<archive::QualityRules>& rules);
    // Saves the grid into the archive; says why when refused.
    bool save();

    CalibrationGrid* rows = nullptr;
    QTableView* grid = nullptr;
    QPushButton* addButton = nullptr;
    QPushButton* removeButton = nullptr;
    QPushButton* defaultsButton = nullptr;
    QPushButton* saveButton = nullptr;
    QPushButton* cancelButton = nullptr;

private:
    archive::Archive& m_archive;
    Messenger& m_messenger;
};
