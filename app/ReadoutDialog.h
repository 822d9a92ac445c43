#pragma once

#include "app/ReadoutChoice.h"

#include <QDialog>
#include <vector>

class QComboBox;
class QLabel;
class QLineEdit;
class QRadioButton;

// Which readout is this? Asked for a device the archive does not know yet, and when the
// operator changes the readout of the connection: one of the archive's readouts (with a new
// name for it, if it is to be renamed), or a new one with its clock's time zone.
class ReadoutDialog : public QDialog {
    Q_OBJECT
public:
    // `device` is what the question is about, as the operator sees it; `current` the readout
    // chosen so far for it (0: none).
    ReadoutDialog(std::vector<archive::Readout> readouts, const QString& device, qint64 current,
                  QWidget* parent = nullptr);

    // The answer, once accepted.
    ReadoutAnswer answer() const;

    QRadioButton* existingChoice = nullptr;
    QComboBox* readoutList = nullptr;
    QLineEdit* renameEdit = nullptr; // a new name for the chosen readout; empty keeps it
    QRadioButton* newChoice = nullptr;
    QLineEdit* nameEdit = nullptr;
    QComboBox* zoneList = nullptr;
    QLabel* problem = nullptr; // why OK was refused

public slots:
    void accept() override;

private:
    void updateEnabled();

    std::vector<archive::Readout> m_readouts;
};
