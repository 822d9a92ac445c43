#pragma once

#include "app/LevelsForm.h"
#include "archive/Judgement.h"

#include <QDialog>
#include <array>

class Messenger;
class QCheckBox;
class QComboBox;
class QDateTimeEdit;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QTableWidget;

namespace archive {
class Archive;
}

// The trigger levels of one gauge: up to three levels on each side (上限, 下限), each comparing
// a quantity (数值, 累计变化, 变化速率 over a window of days) with its threshold, after a number
// of confirmations, with a dead band; the names of the ranks; the baseline (the first reading,
// or the first from a chosen time); the instant the version applies from. Lists the gauge's
// versions (from when, entered when, by whom). Saving adds a version to this gauge, or to every
// gauge of its type or of its site, and the archive judges their readings again.
class LevelsDialog : public QDialog {
    Q_OBJECT
public:
    LevelsDialog(archive::Archive& archive, const QString& gauge, Messenger& messenger, QWidget* parent = nullptr);

    const QString& gauge() const { return m_gauge; }
    // The set as edited, of this gauge (id and entry empty).
    archive::LevelSet levelSet() const;
    void setLevelSet(const archive::LevelSet& set);
    LevelsForm::Scope scope() const;
    void setScope(LevelsForm::Scope scope);
    // The gauges the set goes to on saving.
    QStringList targets() const;
    // levelSetProblem of the set as edited ("" when it can be saved).
    QString problem() const;
    // Adds the set as edited to each target; says why when refused.
    bool save();
    void showVersions();

    // The widgets of one level, row LevelsForm::rowOf(side, rank).
    struct LevelRow {
        QLabel* name = nullptr; // "上限 · 预警"
        QCheckBox* used = nullptr;
        QComboBox* quantity = nullptr; // LevelQuantity's order
        QDoubleSpinBox* threshold = nullptr;
        QDoubleSpinBox* window = nullptr; // days, for a rate
        QSpinBox* confirm = nullptr;
        QDoubleSpinBox* deadBand = nullptr;
    };
    std::array<LevelRow, LevelsForm::kRows> levels{};
    std::array<QLineEdit*, archive::kMaxRank> rankNames{};
    QRadioButton* baselineFirst = nullptr;
    QRadioButton* baselineFrom = nullptr;
    QDateTimeEdit* baselineAt = nullptr; // the PC's local time
    QRadioButton* fromEver = nullptr;
    QRadioButton* fromDate = nullptr;
    QDateTimeEdit* fromAt = nullptr;
    QComboBox* scopeBox = nullptr; // LevelsForm::Scope's order
    QLabel* problemLabel = nullptr;
    QTableWidget* versions = nullptr; // 自, 基准, 录入时间, 录入人, 触发值
    QPushButton* saveButton = nullptr;
    QPushButton* cancelButton = nullptr;

private:
    void updateState();

    archive::Archive& m_archive;
    Messenger& m_messenger;
    QString m_gauge;
    QString m_unit;
    std::vector<archive::GaugeInfo> m_register;
};
