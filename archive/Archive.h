#pragma once

#include "archive/Calibration.h"
#include "archive/Record.h"

#include <QDateTime>
#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

struct sqlite3;

namespace archive {

// What went wrong, as a kind and the engine's detail (SQLite's message, the file's path); the
// front ends word it for the operator.
enum class ErrorKind {
    CannotOpen,   // the folder or the file cannot be created or opened
    Damaged,      // not a database of ours, or a database that fails its integrity check
    NewerVersion, // written by a newer version of the program
    WriteFailed,  // a store or an update did not complete (nothing of it was kept)
    ReadFailed,   // a read did not complete
    Cancelled,    // a wait or a store was stopped by its caller (nothing of the store was kept)
};
struct Error {
    ErrorKind kind = ErrorKind::CannotOpen;
    QString detail;
};

// A database found damaged or from a newer version is never overwritten: it is renamed beside
// itself ("archive.sqlite.damaged-20261208-143000", ".newer-..."), a new one is started, and
// this says so.
struct SetAside {
    ErrorKind kind = ErrorKind::Damaged;
    QString movedTo;
    QString detail;
};

// How a writer waits while another program writes to the archive: as long as it takes, unless
// it is cancelled.
struct Patience {
    std::function<bool()> cancelled;              // polled while waiting and between a store's batches
    std::function<void(qint64 waitedMs)> waiting; // told about twice a second while it waits
};

struct OpenOptions {
    // Read-only opens change nothing (a read-only medium works): a file found unusable is
    // reported, not set aside, and an archive that does not exist yet reads as empty.
    bool readOnly = false;
    // The integrity check; a second connection of a program whose first ran it may skip it.
    bool check = true;
    Patience patience;
};

struct StoreResult {
    qint64 received = 0; // records offered
    qint64 added = 0;    // records not stored before (same partition, file, code and time)
};

// One component's history in the archive.
struct SeriesSummary {
    QString partition;
    QString code;
    qint64 count = 0;
    qint64 firstTime = 0; // instrumentTime() of the oldest and newest record
    qint64 lastTime = 0;
};

// One completed copy as it was stored: when, which partition (empty when the records were of
// several), how many records it offered and how many of them were new.
struct Download {
    qint64 id = 0;
    QDateTime at; // UTC; invalid when not known
    QString partition;
    qint64 received = 0;
    qint64 added = 0;
};

struct Point {
    qint64 time = 0; // instrumentTime()
    double readingHz = 0;
    double temperatureC = 0;
    bool hasTemperature = false;
};

// The readings archive: every record of every completed copy, kept once, with the calibrations
// of the components. One SQLite file; the schema carries a version and is migrated forward.
class Archive {
public:
    static constexpr int kSchemaVersion = 3;

    // The archive in the user's data folder.
    static QString defaultPath();

    // Opens or creates the archive at path. nullptr and `error` when it cannot; `setAside` is
    // filled when an unusable file was moved aside and a new archive started in its place.
    // Two programs opening a new (or just set-aside) file at the same moment both succeed: the
    // tables are made in one exclusive transaction that the later one finds done.
    static std::unique_ptr<Archive> open(const QString& path, std::optional<SetAside>* setAside, Error* error,
                                         const OpenOptions& options = {});
    ~Archive();
    Archive(const Archive&) = delete;
    Archive& operator=(const Archive&) = delete;

    QString path() const;

    bool readOnly() const;

    // Stores the records of one copy in one transaction, each record once. While another
    // program writes, the store waits as the open's patience says; cancelled, it keeps nothing
    // (ErrorKind::Cancelled).
    std::optional<StoreResult> store(const RecordSource& records, const QDateTime& downloadedAt, Error* error);
    std::optional<StoreResult> store(const std::vector<Record>& records, const QDateTime& downloadedAt,
                                     Error* error);

    // The reads below give nothing and fill `error` (when given) if the database cannot be read,
    // so that a failed read is not taken for an empty archive.

    // Every (partition, code) with records, ordered by partition and code. `count` includes
    // records whose time is not a time; the times span only those that have one (0 and 0
    // when none has). Read from the table of components the archive keeps up to date with
    // every change of its records, not from the records themselves.
    std::vector<SeriesSummary> summary(Error* error = nullptr) const;
    // One component's records with a time in [from, to], oldest first; records whose time is
    // not a time, or whose reading is not a number, are left out.
    std::vector<Point> series(const QString& partition, const QString& code, qint64 from, qint64 to,
                              Error* error = nullptr) const;

    // Every store, oldest first.
    std::vector<Download> downloads(Error* error = nullptr) const;

    // Calibrations by component code, ordered by code.
    std::vector<Calibration> calibrations(Error* error = nullptr) const;
    std::optional<Calibration> calibration(const QString& code, Error* error = nullptr) const;
    // Replaces the whole table in one transaction. Refused (nothing changes) for an empty or
    // repeated code and for a number that is not finite.
    bool setCalibrations(const std::vector<Calibration>& all, Error* error);

private:
    struct Impl;
    explicit Archive(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> m;
};

// Counts the components' summary again from the records, inside the caller's transaction, for
// a tool that changed records behind the store's back (a repair). True also for an archive of a
// version without the summary; false on an SQLite error.
bool recountSummary(sqlite3* db);

} // namespace archive
