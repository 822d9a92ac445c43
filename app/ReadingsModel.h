#pragma once

#include "archive/Judgement.h"

#include <QAbstractTableModel>
#include <map>
#include <vector>

namespace archive {
class Archive;
struct Error;
}

// One gauge's readings as stored, a row each, for masking: the readout's time, the reading, the
// temperature, the value (by the calibration version valid at its instant; the reading in Hz
// for a gauge without versions), the status in the words of its level set, the quality flags
// and the mask with its note. A model, so that a long history costs no widget per row.
class ReadingsModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column {
        TimeColumn,
        ReadingColumn,
        TemperatureColumn,
        ValueColumn,
        StatusColumn,
        FlagsColumn,
        MaskedColumn,
        ColumnCount
    };

    explicit ReadingsModel(QObject* parent = nullptr);

    // Reads the gauge's readings, versions, level sets and masks; empty gauge: none. False
    // (and the list empty) when the archive cannot be read.
    bool load(const archive::Archive& archive, const QString& gauge, archive::Error* error = nullptr);
    void clear();
    const QString& gauge() const { return m_gauge; }
    const std::vector<archive::GaugePoint>& points() const { return m_points; }
    archive::ReadingRef ref(int row) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    QString m_gauge;
    std::vector<archive::GaugePoint> m_points;
    std::vector<double> m_values;
    QString m_unit;
    std::map<qint64, archive::LevelSet> m_sets;           // by id
    std::map<std::pair<qint64, qint64>, QString> m_notes; // (slot, time) -> the mask's note
    bool m_english = false;
};
