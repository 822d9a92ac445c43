#pragma once

#include "archive/Judgement.h"

#include <QAbstractTableModel>
#include <QColor>
#include <vector>

// The history tab's lists of what judging the readings found: the events (a gauge's change of
// status, with its acknowledgement) and the gauges overdue for a reading. Models without
// widgets; the tab shows them in table views.

// Whether the window speaks English (its catalogue translates the marker), for the texts the
// archive words itself.
bool windowSpeaksEnglish();

// The colour of a status: none for 0 (normal), amber, orange and red for ranks 1, 2 and 3.
QColor rankColour(int rank);

class EventsModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column {
        TimeColumn, // the PC's local time of the reading
        GaugeColumn,
        ValueColumn,  // with its unit
        ChangeColumn, // "正常 → 报警", coloured by the status reached
        RuleColumn,
        AcknowledgedColumn, // "张三 2026-12-10 10:02：note", or "未确认"
        ColumnCount
    };
    static constexpr int kEventIdRole = Qt::UserRole;

    explicit EventsModel(QObject* parent = nullptr);
    void setEvents(std::vector<archive::LevelEvent> events);
    const std::vector<archive::LevelEvent>& events() const { return m_events; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    std::vector<archive::LevelEvent> m_events;
};

class OverdueModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column {
        GaugeColumn,
        SiteColumn,
        IntervalColumn, // days
        LastColumn,     // the PC's local time of the last reading, or "从未测读"
        DaysColumn,     // days since, one decimal
        ColumnCount
    };
    explicit OverdueModel(QObject* parent = nullptr);
    void setGauges(std::vector<archive::OverdueGauge> gauges);
    const std::vector<archive::OverdueGauge>& gauges() const { return m_gauges; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    std::vector<archive::OverdueGauge> m_gauges;
};
