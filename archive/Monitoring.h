#pragma once

#include "archive/Calibration.h"

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <limits>
#include <optional>
#include <utility>
#include <vector>

// What the archive knows of what was measured, where, by which readout and when: readouts,
// sites, gauges and which gauge sat in which slot (readout, partition, code) from when.
//
// Times: a record's time is the readout's clock as read ("yyyy-MM-dd HH:mm:ss"); as a number
// it is instrumentTime() of that text (seconds since 1970 counted as if the clock were UTC),
// called "readout time" below. The UTC instant of a record is its readout time read in the
// readout's time zone. Slot assignments are bounded in readout time (they belong to one
// readout); calibration versions and everything shared between readouts in UTC.
namespace archive {

constexpr qint64 kSinceEver = std::numeric_limits<qint64>::min();
constexpr qint64 kUntilNow = std::numeric_limits<qint64>::max();

// A readout (instrument) as the operator named it once. Its clock's time zone is an IANA id
// ("Asia/Shanghai"); a change of zone applies from a UTC instant, and readings before it keep
// the zone they were read in.
struct Readout {
    qint64 id = 0;
    QString name;
    QString timeZone;
};
struct ZoneChange {
    QString timeZone;
    qint64 fromUtc = kSinceEver;
};

// A project or monitored structure (工程/监测项目).
struct Site {
    qint64 id = 0;
    QString name;
    QString notes;
};

// One row of the gauge register: a measuring point, known by the component name its readout
// holds for it (1 to 10 printable ASCII characters, e.g. "QRVA000001"), with what the readout
// does not know of it.
struct GaugeInfo {
    QString name;
    QString type; // "渗压计", "应变计", "裂缝计", "测力计", ... or the operator's own
    QString unit;
    QString site; // the site's name; empty: none yet
    QString location;
    QDate installed;      // invalid: not known
    int intervalDays = 0; // read every N days; 0: no interval
    QString notes;
    bool operator==(const GaugeInfo&) const = default;
};

// Which gauge sat in a slot of a readout, in readout time [from, to); `to` is kUntilNow while
// the assignment holds. `byHand` when the operator made it, not the readout's list.
struct Assignment {
    qint64 id = 0;
    QString readout;
    QString partition;
    QString code;
    QString gauge;
    qint64 from = kSinceEver;
    qint64 to = kUntilNow;
    bool byHand = false;
};

// A partition's component list as the readout gave it (DIRPART), code to name, in its order.
struct ComponentNames {
    QString partition;
    std::vector<std::pair<QString, QString>> entries;
};

// The component list of a DIRPART reply of `partition` ("A001=QRVA000001" lines, CR LF; a bare
// CR LF for none): each line with a code and a non-empty name, in order; other lines skipped.
ComponentNames componentNamesOfReply(const QString& partition, const QString& reply);

// The component lists a front end has read on one connection, so that each partition's list is
// read once: forgotten for a partition after a component write or a delete on it, and all of
// them when the connection ends.
class ComponentNamesCache {
public:
    const ComponentNames* find(const QString& partition) const;
    void keep(ComponentNames names);
    void forget(const QString& partition);
    void clear();

private:
    std::vector<ComponentNames> m_lists;
};

// Where a copy came from: the readout (its id in the archive; 0 is refused) and, when it was
// read, the component list of the copy's partition, which the store brings into the slot
// assignments in the same transaction.
struct CopyOrigin {
    qint64 readout = 0;
    std::optional<ComponentNames> names;
};

// One gauge's history as the history view lists it.
struct GaugeSummary {
    GaugeInfo info;
    qint64 count = 0;
    qint64 firstUtc = 0; // of the oldest and newest record with a time (0 and 0 when none)
    qint64 lastUtc = 0;
    QStringList readouts;  // that read it, by name
    QStringList slotNames; // where its readings came from, "readout A001" (not "slots": a Qt keyword)
};

// One slot's records, with how many of them no assignment covers ("未分配").
struct SlotSummary {
    QString readout;
    QString partition;
    QString code;
    qint64 count = 0;
    qint64 unassigned = 0;
    qint64 firstTime = 0; // readout time of the oldest and newest record with a time
    qint64 lastTime = 0;
};

// One reading of a gauge's or a slot's series.
struct GaugePoint {
    qint64 time = 0; // readout time
    qint64 utc = 0;
    double readingHz = 0;
    double temperatureC = 0;
    bool hasTemperature = false;
    qint64 readout = 0;
    QString code;
    // Which reading it is (ReadingRef: its slot, its time in the key, its file), and what judging
    // it found (Judgement), as stored: status 0 and no flags where nothing was found.
    qint64 slot = 0;
    qint64 file = 0;
    std::uint8_t status = 0;
    std::int16_t level = -1;
    qint64 levelSet = 0;
    std::uint16_t flags = 0;
    bool masked = false;
};

// A calibration of a gauge (or, for readings no gauge holds, of a slot: `gauge` empty and
// `readout`/`code` set), applying from a UTC instant until the next version. Versions are
// never changed, only added; each keeps when it was entered and by whom (the PC's user).
struct CalibrationVersion {
    qint64 id = 0;
    QString gauge;
    QString readout;
    QString code;
    qint64 fromUtc = kSinceEver;
    Calibration values;
    QDateTime enteredAt; // UTC
    QString enteredBy;
    bool withdrawn = false; // the calibration was taken out of the table from fromUtc on
};

// What the clock guard found in a copy: its newest reading more than an hour ahead of the PC's
// clock, or readings older than their gauge's installation date. The readings are kept.
struct ClockDoubt {
    bool ahead = false;
    qint64 newestUtc = 0;
    QStringList beforeInstallation; // gauges with readings dated before their installation
    bool any() const { return ahead || !beforeInstallation.isEmpty(); }
};

} // namespace archive
