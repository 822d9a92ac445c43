#pragma once

#include "archive/Archive.h"
#include "archive/History.h"
#include "plot/TrendSeries.h"

#include <QString>
#include <QStringList>
#include <vector>

// What the history tab lists and plots, without widgets: the sites with their gauges (each with
// its count, first and last reading and the readouts that read it), and a group of the slots
// (readout, code) whose readings no assignment covers; for a chosen gauge or slot its one
// series, converted with the calibration version valid at each reading, each reading naming the
// readout and code it came from.
class GaugeBrowser {
public:
    enum class Kind {
        Site,
        Gauge,
        Unassigned, // the group of slots without a gauge
        Slot,
    };
    struct Entry {
        Kind kind = Kind::Site;
        QString name;       // the site's or the gauge's name; for a slot its readout's
        QString code;       // a slot's code
        qint64 readout = 0; // a slot's readout (its id)
        QString partition;
        qint64 count = 0; // a slot: its readings no assignment covers
        qint64 first = 0; // UTC for a gauge, readout time for a slot; 0 when none
        qint64 last = 0;
        QStringList readouts; // a gauge's readouts, by name
        QStringList places;   // a gauge's slots, "读数仪1 A001"
        QString type;         // a gauge's type and unit, from the register
        QString unit;
        std::vector<Entry> children;
    };
    // What picks one entry to plot: a gauge by name, or a slot by readout and code.
    struct Pick {
        Kind kind = Kind::Gauge;
        QString name;
        qint64 readout = 0;
        QString code;
        bool operator==(const Pick&) const = default;
    };
    static Pick pickOf(const Entry& e) { return Pick{e.kind, e.kind == Kind::Gauge ? e.name : QString(), e.readout, e.code}; }

    // Reads the archive's gauges and slots again; false (and the list empty) when it cannot be read.
    bool load(const archive::Archive& archive, archive::Error* error = nullptr);
    // The sites in order (gauges without a site under one without a name, last among them),
    // then the unassigned group when any slot has readings no assignment covers.
    const std::vector<Entry>& entries() const { return m_entries; }
    const Entry* find(const Pick& pick) const;

    // One plotted entry: its series, and what the line under the plot says of it.
    struct Plotted {
        TrendSeries series;
        bool converted = false; // engineering values asked for and given
        qint64 uncorrected = 0;
    };
    // The series of a gauge or slot, over the span counted back from its newest reading. Times
    // are the readout's clock as read, as the rest of the tab shows them.
    Plotted plot(const archive::Archive& archive, const Pick& pick, bool engineering, archive::History::Span span) const;

    // "读数仪1 A001": a slot as the list and the cursor name it.
    static QString slotText(const QString& readout, const QString& code);

private:
    std::vector<Entry> m_entries;
};
