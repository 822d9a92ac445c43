#pragma once

#include "archive/Archive.h"
#include "office/PgConnection.h"

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>
#include <vector>

// Synchronising the local archive with the office database: both front ends call this.
//
// A sync pushes what the archive has that the office has not, then pulls what other PCs sent.
// Push: readouts, sites and the register first, then each pending download as one transaction
// (its records through COPY into a temporary staging table, then one INSERT that skips the
// readings the office holds: a reading two PCs downloaded is stored once, with the provenance of
// the first), marked sent locally only once the office committed it; then versions, assignments,
// masks, acknowledgements and the judgements of gauges judged again. Pull: the register, versions,
// assignments, masks and acknowledgements changed since the last pull, and the readings other PCs
// sent of the followed sites, each office download stored as one local download. Every step is
// idempotent, so a sync broken off anywhere (network gone, server stopped, program killed) leaves
// the office and the archive each whole and the next sync goes on from there.
//
// Register rows and assignments are revisioned; calibration and level versions carry the version
// they followed. Two edits of the same revision (or two versions following the same one) are a
// conflict: both are kept in the office, the later applies, and the sync reports the other.
namespace office {

struct SyncProgress {
    enum Step {
        Connecting,
        Register,
        Readings, // done/total: readings
        Versions,
        Pulling, // done/total: office downloads
        Finished,
    };
    Step step = Connecting;
    qint64 done = 0;
    qint64 total = 0;
};

struct SyncOptions {
    QStringList followedSites;                         // empty: the sites of the gauges this PC has read itself
    QString password;                                  // given to libpq for this connection only; empty: ~/.pgpass or none
    int timeoutSeconds = 10;                           // connecting, and how long a silent server is waited for
    std::function<bool()> cancelled;                   // polled between batches and chunks
    std::function<void(const SyncProgress&)> progress; // from the calling thread
    bool pull = true;
};

// Two edits of the same version: what applies (the later) and the other, both kept in the office.
struct Conflict {
    enum Kind {
        Gauge,       // a register row
        Assignments, // a slot's assignments
        Calibration, // a calibration version
        Levels,      // a trigger level version
    };
    Kind kind = Gauge;
    QString subject; // the gauge's name, or the slot "R1 A001"
    QString applied; // the applied edit, in the operator's words (what it set)
    QString appliedBy;
    QDateTime appliedAt;
    QString other; // the edit that did not apply
    QString otherBy;
    QDateTime otherAt;
};

struct SyncResult {
    bool readOnly = false; // the user may only read: nothing was pushed
    QString office;        // the office's identity
    QString user;          // who the server says we are
    bool tls = false;
    qint64 downloadsSent = 0;
    qint64 readingsSent = 0; // offered to the office
    qint64 readingsNew = 0;  // of them, the office did not hold
    qint64 downloadsPulled = 0;
    qint64 readingsPulled = 0;  // new to this archive
    qint64 registerSent = 0;    // rows, versions, slots, masks, acknowledgements sent
    qint64 registerPulled = 0;  // and brought in
    qint64 readingsWaiting = 0; // still not sent (after a read-only sync, all of them)
    std::vector<Conflict> conflicts;
};

// Syncs `archive` with the office at `conninfo`. nullopt and `failure` when it could not finish:
// what it had committed before stays committed on both sides, the rest is for the next sync.
std::optional<SyncResult> synchronise(archive::Archive& archive, const QString& conninfo, const SyncOptions& options,
                                      Failure* failure);

// The operator's words for a result (context "Office"): one line for the status line, and the
// conflicts, one paragraph each.
QString resultText(const SyncResult& result);
QStringList conflictTexts(const SyncResult& result);
// "3,412 条读数待同步到办公室数据库" / "" when none wait.
QString waitingText(qint64 readings);

} // namespace office
