#pragma once

#include "archive/Judgement.h"
#include "archive/Monitoring.h"

#include <QByteArrayView>
#include <QDateTime>
#include <QString>
#include <optional>
#include <vector>

// What the archive shares with an office database: the ledger of what has been sent there, and
// the forms in which its records, register rows, versions, assignments, masks and
// acknowledgements leave it and come back from other PCs. The archive itself knows nothing of the
// office's engine; office/ reads and brings in through these.
//
// Marks of what was sent belong to one office (bound by its identity): bound to another, the
// archive forgets them all and everything goes again, the office skipping what it holds.
namespace archive {

// A download of this PC (not one brought from the office) whose records the office has not been
// given yet. Records of an archive from before downloads were kept (no download) go as the
// download of id 0.
struct PendingDownload {
    qint64 id = 0;
    QDateTime at; // UTC; invalid when not known
    QString readout;
    QString partition; // empty when of several
    qint64 received = 0;
    qint64 added = 0;
    qint64 records = 0; // of it in the archive now
};

// A slot, a file name and a time that is not a time, by the archive's own ids.
struct SlotName {
    qint64 id = 0;
    QString readout;
    QString partition;
    QString code;
};
struct NamedId {
    qint64 id = 0;
    QString name;
};

// One record as the archive keeps it. The views are valid only during the call that gives it.
struct SharedRecord {
    qint64 slot = 0;
    qint64 time = 0; // the key's time: readout time, or kOddTimes - id for a text that is not a time
    qint64 file = 0;
    QByteArrayView reading; // as received
    QByteArrayView temperature;
    QByteArrayView timeText; // as received where it is not instrumentTimeText(time); empty otherwise
    std::optional<double> readingHz;
    std::optional<double> temperatureC;
    std::optional<qint64> utc;
};

// Where readings brought from the office came from: the office's download, the archive (its
// identity), PC and user that sent it, and when its readout was read.
struct OfficeProvenance {
    qint64 officeDownload = 0;
    QString source;
    QString pc;
    QString user;
    QDateTime downloadedAt; // UTC
};

// A register row as shared: `revision` is the office's revision this PC's row is based on (0: never
// sent nor received), `localEdit` what the archive counts of its edits (so that a row edited again
// during a sync stays to be sent), with who changed it last and when.
struct SharedGauge {
    GaugeInfo info;
    qint64 revision = 0;
    qint64 localEdit = 0;
    QDateTime editedAt; // UTC
    QString editedBy;
};

// Versions carry an identity made when they were entered (a UUID) and the identity of the version
// of the same gauge (or slot, or code) that was the latest when they were entered ("" for a
// first): two versions based on the same one are two edits of the same version.
struct SharedCalibration {
    CalibrationVersion version;
    QString uid;
    QString basedOn;
};
struct SharedLevelSet {
    LevelSet set;
    QString uid;
    QString basedOn;
};

// A slot's assignments as one shared row, revisioned as register rows are.
struct SharedAssignments {
    QString readout;
    QString partition;
    QString code;
    std::vector<Assignment> assignments; // oldest first; their id is the archive's own
    qint64 revision = 0;
    qint64 localEdit = 0;
    QDateTime editedAt;
    QString editedBy;
};

// A reading by its natural identity (readout, partition, file, code, time as received).
struct ReadingKey {
    QString readout;
    QString partition;
    QString file;
    QString code;
    QString time; // the text as received
    bool operator==(const ReadingKey&) const = default;
};

// A mask as shared: put on by `by` at `at`, lifted (when `liftedAt` is valid) by `liftedBy`.
struct SharedMask {
    ReadingKey reading;
    QString note;
    QString by;
    QDateTime at;
    QString liftedBy;
    QDateTime liftedAt;
};

// An acknowledgement, keyed by its transition (gauge, instant, status reached).
struct SharedAcknowledgement {
    QString gauge;
    qint64 utc = 0;
    int toStatus = 0;
    QString note;
    QString by;
    QDateTime at;
};

// One reading's judgement as shared with the office (sparse: only readings with a status above
// normal or a flag).
struct SharedMark {
    ReadingKey reading;
    int status = 0;
    int level = -1;
    std::uint16_t flags = 0;
};

} // namespace archive
