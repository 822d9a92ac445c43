#include "app/ReadingsModel.h"

#include "app/EventLists.h"
#include "archive/Archive.h"
#include "archive/History.h"

#include <QBrush>
#include <QGuiApplication>
#include <QPalette>
#include <cmath>

using namespace archive;

ReadingsModel::ReadingsModel(QObject* parent) : QAbstractTableModel(parent) {}

void ReadingsModel::clear()
{
    beginResetModel();
    m_gauge.clear();
    m_points.clear();
    m_values.clear();
    m_unit.clear();
    m_sets.clear();
    m_notes.clear();
    endResetModel();
}

bool ReadingsModel::load(const Archive& archive, const QString& gauge, Error* error)
{
    clear();
    if (gauge.isEmpty())
        return true;
    // A read that fails says why in the error's detail; one that succeeds leaves it empty.
    Error readError{ErrorKind::ReadFailed, {}};
    std::vector<GaugePoint> points = archive.gaugeSeries(gauge, kSinceEver, kUntilNow, &readError);
    const std::vector<CalibrationVersion> versions = readError.detail.isEmpty()
                                                       ? archive.calibrationVersions(gauge, &readError)
                                                       : std::vector<CalibrationVersion>{};
    const std::vector<LevelSet> sets =
        readError.detail.isEmpty() ? archive.levelSets(gauge, &readError) : std::vector<LevelSet>{};
    const std::vector<Mask> masks = readError.detail.isEmpty() ? archive.masks(gauge, &readError) : std::vector<Mask>{};
    if (!readError.detail.isEmpty()) {
        if (error)
            *error = readError;
        return false;
    }
    beginResetModel();
    m_gauge = gauge;
    m_english = windowSpeaksEnglish();
    if (versions.empty()) {
        // Without a calibration a gauge's values are its readings (what the judge compares).
        for (const GaugePoint& p : points)
            m_values.push_back(p.readingHz);
        m_unit = QStringLiteral("Hz");
    } else {
        m_values = History::convertByVersions(points, versions).value;
        m_unit = versions.back().values.unit;
    }
    for (const LevelSet& s : sets)
        m_sets.emplace(s.id, s);
    for (const Mask& m : masks)
        m_notes.emplace(std::pair{m.reading.slot, m.reading.time}, m.note);
    m_points = std::move(points);
    endResetModel();
    return true;
}

ReadingRef ReadingsModel::ref(int row) const
{
    if (row < 0 || row >= int(m_points.size()))
        return {};
    const GaugePoint& p = m_points[std::size_t(row)];
    return ReadingRef{p.slot, p.time, p.file};
}

int ReadingsModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : int(m_points.size()); }

int ReadingsModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : ColumnCount; }

QVariant ReadingsModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= int(m_points.size()))
        return {};
    const GaugePoint& p = m_points[std::size_t(index.row())];
    const auto set = m_sets.find(p.levelSet);
    const LevelSet* levels = set == m_sets.end() ? nullptr : &set->second;
    switch (role) {
    case Qt::DisplayRole:
        break;
    case Qt::BackgroundRole:
        if (index.column() == StatusColumn && p.status > 0 && !p.masked)
            return rankColour(p.status);
        return {};
    case Qt::ForegroundRole:
        // A masked reading is left out of levels and plots: shown greyed.
        if (p.masked)
            return QGuiApplication::palette().brush(QPalette::Disabled, QPalette::Text);
        return {};
    case Qt::ToolTipRole:
        if (index.column() == MaskedColumn && p.masked) {
            const auto note = m_notes.find({p.slot, p.time});
            return note == m_notes.end() ? QVariant() : QVariant(note->second);
        }
        if (index.column() == StatusColumn && levels && p.level >= 0 && p.level < int(levels->levels.size()))
            return levelText(*levels, p.level, m_unit, m_english);
        return {};
    case Qt::TextAlignmentRole:
        if (index.column() == ReadingColumn || index.column() == TemperatureColumn || index.column() == ValueColumn)
            return int(Qt::AlignRight | Qt::AlignVCenter);
        return {};
    default:
        return {};
    }
    switch (index.column()) {
    case TimeColumn:
        return instrumentTimeText(p.time);
    case ReadingColumn:
        return QString::number(p.readingHz, 'f', 1);
    case TemperatureColumn:
        return p.hasTemperature ? QString::number(p.temperatureC, 'f', 1) : QString();
    case ValueColumn: {
        const double v = m_values[std::size_t(index.row())];
        return std::isfinite(v) ? QString::number(v, 'g', 6) : QString();
    }
    case StatusColumn:
        if (p.masked)
            return QString();
        return statusName(levels, p.status, m_english);
    case FlagsColumn:
        return flagsText(p.flags, m_english);
    case MaskedColumn: {
        if (!p.masked)
            return QString();
        const auto note = m_notes.find({p.slot, p.time});
        return note == m_notes.end() || note->second.isEmpty() ? tr("已屏蔽") : tr("已屏蔽：%1").arg(note->second);
    }
    default:
        return {};
    }
}

QVariant ReadingsModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    switch (section) {
    case TimeColumn:
        return tr("时间");
    case ReadingColumn:
        return tr("读数 (Hz)");
    case TemperatureColumn:
        return tr("温度 (°C)");
    case ValueColumn:
        return m_unit.isEmpty() || m_unit == QLatin1String("Hz") ? tr("数值") : tr("数值 (%1)").arg(m_unit);
    case StatusColumn:
        return tr("状态");
    case FlagsColumn:
        return tr("质量标记");
    case MaskedColumn:
        return tr("屏蔽");
    default:
        return {};
    }
}
