#pragma once

#include "archive/Calibration.h"
#include "archive/Judgement.h"
#include "archive/Monitoring.h"
#include "archive/Record.h"
#include "archive/Sharing.h"

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
    qint64 received = 0;            // records offered
    qint64 added = 0;               // records not stored before (same readout, partition, file, code and time)
    ClockDoubt clock;               // of the records added
    QStringList assignmentsChanged; // slots whose gauge the copy's component list changed, "A001"
    Verdict verdict;                // what judging the records added found (in the same transaction)
};

// One component's history in the archive.
struct SeriesSummary {
    QString readout; // its name
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
    static constexpr int kSchemaVersion = 6;

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
    // The origin's readout keys the records (0 or a readout the archive does not know is refused,
    // ErrorKind::WriteFailed); its component list, when given, is brought into the slot
    // assignments first (observeComponents), in the same transaction, so that the records go to
    // the gauges it names. The result's clock says what the clock guard found of the records added.
    std::optional<StoreResult> store(const RecordSource& records, const QDateTime& downloadedAt,
                                     const CopyOrigin& origin, Error* error);
    std::optional<StoreResult> store(const std::vector<Record>& records, const QDateTime& downloadedAt,
                                     const CopyOrigin& origin, Error* error);

    // The reads below give nothing and fill `error` (when given) if the database cannot be read,
    // so that a failed read is not taken for an empty archive.

    // Every slot (readout, partition, code) with records, ordered by readout name, partition and
    // code. `count` includes
    // records whose time is not a time; the times span only those that have one (0 and 0
    // when none has). Read from the table of components the archive keeps up to date with
    // every change of its records, not from the records themselves.
    std::vector<SeriesSummary> summary(Error* error = nullptr) const;
    // One slot's records with a time in [from, to], oldest first; records whose time is not a
    // time, or whose reading is not a number, are left out. `readout` empty: the slots of that
    // partition and code of every readout, together in time order.
    std::vector<Point> series(const QString& readout, const QString& partition, const QString& code, qint64 from,
                              qint64 to, Error* error = nullptr) const;
    std::vector<Point> series(const QString& partition, const QString& code, qint64 from, qint64 to,
                              Error* error = nullptr) const;

    // Every store, oldest first.
    std::vector<Download> downloads(Error* error = nullptr) const;

    // The calibration table as it stands now: the latest version of every gauge and of every
    // component code that has versions (not withdrawn), ordered by `code`, which holds the
    // gauge's name, or the code for a version of a code or slot (what an archive from before
    // gauges held). calibration(name) is the latest of that gauge, else of that code.
    std::vector<Calibration> calibrations(Error* error = nullptr) const;
    std::optional<Calibration> calibration(const QString& code, Error* error = nullptr) const;
    // Brings the table to `all` in one transaction, keeping the history: every entry that differs
    // from its latest version gets a new version valid from now (since ever when it has none),
    // of the gauge of that name, else of that component code; every one the table had and `all`
    // lacks is withdrawn from now on. Refused (nothing changes) for an empty or repeated code and
    // for a number that is not finite.
    bool setCalibrations(const std::vector<Calibration>& all, Error* error);

    // --- Readouts ----------------------------------------------------------------------------
    std::vector<Readout> readouts(Error* error = nullptr) const;
    std::optional<Readout> readout(const QString& name, Error* error = nullptr) const;
    // A new readout; refused (nullopt) for an empty name, a name taken (case-insensitive) or a
    // time zone Qt does not know. `timeZone` empty: the PC's.
    std::optional<Readout> addReadout(const QString& name, const QString& timeZone, Error* error);
    bool renameReadout(qint64 id, const QString& newName, Error* error);
    // The readout's clock is in `timeZone` from `fromUtc` on; readings already stored after that
    // instant get their UTC instants computed again.
    bool setReadoutZone(qint64 id, const QString& timeZone, qint64 fromUtc, Error* error);
    std::vector<ZoneChange> zoneChanges(qint64 readout, Error* error = nullptr) const;
    // The readout remembered for a device (serial/DeviceIdentity), and remembering it.
    std::optional<Readout> readoutOfDevice(const QString& device, Error* error = nullptr) const;
    bool rememberDevice(const QString& device, qint64 readout, Error* error);
    // The devices remembered for a readout, in name order.
    QStringList devicesOf(qint64 readout, Error* error = nullptr) const;

    // --- Gauges, sites and slots ------------------------------------------------------------
    // Brings a readout's component list into the slot assignments (what a store with names
    // does): a slot whose name is new or changed closes the assignment it had and opens one for
    // the gauge of that name (added to the register when new) from just after the newest record
    // the archive holds of that slot (since ever when it holds none); a slot the list no longer
    // names closes its assignment. The codes whose gauge changed.
    std::optional<QStringList> observeComponents(qint64 readout, const ComponentNames& names, Error* error);
    // The operator's assignment of a slot to a gauge from readout time `from`; it closes the
    // assignment that covered `from` there and ends where the next one begins.
    bool assign(qint64 readout, const QString& code, const QString& gauge, qint64 from, Error* error);
    std::vector<Assignment> assignments(Error* error = nullptr) const;

    std::vector<GaugeInfo> gaugeRegister(Error* error = nullptr) const;
    // Adds or updates register rows by name (sites created by name as needed); nothing changes
    // when one row is refused (an empty or malformed name, a negative interval).
    bool updateRegister(const std::vector<GaugeInfo>& rows, Error* error);
    std::vector<Site> sites(Error* error = nullptr) const;
    // The gauges with their histories, of one site (all when empty), ordered by site and name.
    std::vector<GaugeSummary> gauges(const QString& site = {}, Error* error = nullptr) const;
    // Every slot with records, ordered by readout, partition and code.
    std::vector<SlotSummary> slotSummaries(Error* error = nullptr) const;
    // One gauge's readings with a UTC instant in [fromUtc, toUtc], oldest first, from every slot
    // it sat in; readings whose time or reading is not a number are left out.
    std::vector<GaugePoint> gaugeSeries(const QString& gauge, qint64 fromUtc, qint64 toUtc,
                                        Error* error = nullptr) const;
    // A slot's readings that no assignment covers, in the same way.
    std::vector<GaugePoint> unassignedSeries(qint64 readout, const QString& code, qint64 fromUtc, qint64 toUtc,
                                             Error* error = nullptr) const;

    // --- Calibration versions ----------------------------------------------------------------
    // Every version of a gauge (or, when no gauge has that name, of that component code; all
    // versions of codes when empty), oldest first (by fromUtc, then as entered).
    std::vector<CalibrationVersion> calibrationVersions(const QString& gauge, Error* error = nullptr) const;
    std::vector<CalibrationVersion> allCalibrationVersions(Error* error = nullptr) const;
    // Adds a version (entered now, by the PC's user); refused as setCalibrations refuses, and for
    // a polynomial on digits whose coefficients are those of f^2 * 10^-6 (calibrationDoubt). A
    // version of a slot names its readout and code; one with neither gauge nor readout is of
    // the code on every readout. A gauge or readout the archive does not know is refused.
    std::optional<CalibrationVersion> addCalibrationVersion(const CalibrationVersion& version, Error* error);

    // --- Trigger levels, quality and events ----------------------------------------------------
    // Every new reading is judged (judgeSeries) in the store that adds it, and a gauge's readings
    // are judged again, in the same transaction, whenever what judges them changes: its level
    // versions, its calibration versions, its register row (type, installation date), the
    // quality rules of its type, a mask, an assignment that moves readings to it or away. What is
    // stored is always what a fresh judgement of the whole history gives.

    // A gauge's level versions, oldest first (by fromUtc, then as entered).
    std::vector<LevelSet> levelSets(const QString& gauge, Error* error = nullptr) const;
    // The version of every gauge that applies now (not those that end the levels), by gauge name.
    std::vector<LevelSet> currentLevelSets(Error* error = nullptr) const;
    // Adds versions (entered now, by the PC's user) in one transaction, one per set whose rules
    // differ from the version it would follow; refused, nothing kept, for a gauge the archive
    // does not know or a set with a levelSetProblem. The gauges' readings are judged again.
    bool addLevelSets(const std::vector<LevelSet>& sets, Error* error);

    // The quality rules by type (an empty type first), defaultQualityRules() until changed.
    std::vector<QualityRules> qualityRules(Error* error = nullptr) const;
    // Replaces them (a type not listed falls back to the empty type's); the readings of every
    // gauge whose rules changed are judged again.
    bool setQualityRules(const std::vector<QualityRules>& rules, Error* error);

    // Masks readings with a note (by the PC's user, now), or lifts their masks; the gauges are
    // judged again. A reading the archive does not hold is refused.
    bool mask(const std::vector<ReadingRef>& readings, const QString& note, Error* error);
    bool unmask(const std::vector<ReadingRef>& readings, Error* error);
    // The masks in force, of one gauge (all when empty), oldest reading first.
    std::vector<Mask> masks(const QString& gauge = {}, Error* error = nullptr) const;

    // The transitions, oldest first, with their acknowledgements; an acknowledgement stays with its
    // transition (gauge, instant, status reached) when the gauge is judged again.
    std::vector<LevelEvent> events(const EventQuery& query = {}, Error* error = nullptr) const;
    bool acknowledge(qint64 event, const QString& note, Error* error);

    // The gauges with an interval whose last reading is older than that interval at `now` (and
    // those never read whose installation date, or else first sight, is older), of one site (all
    // when empty), most overdue first.
    std::vector<OverdueGauge> overdue(const QDateTime& now, const QString& site = {}, Error* error = nullptr) const;
    // Every gauge's status now, of one site (all when empty), by site and name.
    std::vector<GaugeStatus> gaugeStatuses(const QString& site = {}, Error* error = nullptr) const;

    // Judges a gauge's whole history again (all gauges when empty): a repair; normally not needed.
    bool rejudge(const QString& gauge, Error* error);

    // --- The office database (archive/Sharing.h) ---------------------------------------------
    // What a sync reads and brings in. Every edit the archive makes (a register row, an
    // assignment, a version, a mask, an acknowledgement, a gauge judged again) is remembered as
    // not yet sent, in the transaction that makes it; what comes from the office is kept as sent.

    // This archive's identity: a UUID made once, the office's name for where its readings came from.
    QString identity(Error* error = nullptr) const;
    // The office the marks of what was sent belong to ("" when none). Binding another forgets
    // every mark and every office id kept (downloads, revisions, cursors) in one transaction.
    QString boundOffice(Error* error = nullptr) const;
    bool bindOffice(const QString& officeId, Error* error);
    // The sync's own notes (cursors, the last sync's time), by key; "" when not set. Forgotten with
    // the marks when another office is bound.
    QString officeNote(const QString& key, Error* error = nullptr) const;
    bool setOfficeNote(const QString& key, const QString& value, Error* error);

    // This PC's downloads the office has not been given, oldest first, and how many records
    // they hold (what the status line says is waiting).
    std::vector<PendingDownload> unsentDownloads(Error* error = nullptr) const;
    qint64 readingsWaiting(Error* error = nullptr) const;
    // The archive's slots, file names and times that are not times, by id.
    std::vector<SlotName> slotNames(Error* error = nullptr) const;
    std::vector<NamedId> fileNames(Error* error = nullptr) const;
    std::vector<NamedId> oddTimes(Error* error = nullptr) const;
    // A download's records in the order of their key; `each` false stops the read (then false,
    // with no error). Read in one read transaction.
    bool recordsOfDownload(qint64 download, const std::function<bool(const SharedRecord&)>& each,
                           Error* error = nullptr) const;
    // The office holds the download as its `officeDownload`.
    bool markDownloadSent(qint64 download, qint64 officeDownload, Error* error);
    // The office's downloads this archive holds (sent from here or brought from there), by the
    // office's id, ascending.
    std::vector<qint64> officeDownloads(Error* error = nullptr) const;
    // Stores records brought from the office as one download of that provenance (kept as sent,
    // never sent back): as store() does, the records judged; each record once.
    std::optional<StoreResult> storeFromOffice(const std::vector<Record>& records, const QString& readout,
                                               const OfficeProvenance& provenance, Error* error);

    // Register rows edited here since they were last sent; the office took them (or not): each
    // row's revision set to the one given and its edit cleared unless it was edited again since
    // `localEdit`. Rows from the office apply where their revision is above this archive's and the
    // row was not edited here since; the gauges whose rows changed are judged again.
    std::vector<SharedGauge> changedGauges(Error* error = nullptr) const;
    bool gaugesSent(const std::vector<SharedGauge>& sent, Error* error);
    bool applySharedGauges(const std::vector<SharedGauge>& rows, Error* error);

    // Versions entered here not yet sent (oldest first), marking them sent, and bringing in the
    // office's: those the archive holds (by uid) are skipped, the rest added as they were entered
    // (their gauge, slot or code made known as needed) and the gauges judged again.
    std::vector<SharedCalibration> unsentCalibrationVersions(Error* error = nullptr) const;
    bool calibrationVersionsSent(const QStringList& uids, Error* error);
    bool importCalibrationVersions(const std::vector<SharedCalibration>& versions, Error* error);
    std::vector<SharedLevelSet> unsentLevelSets(Error* error = nullptr) const;
    bool levelSetsSent(const QStringList& uids, Error* error);
    bool importLevelSets(const std::vector<SharedLevelSet>& sets, Error* error);

    // Slots whose assignments changed here since they were last sent, and as above for register
    // rows; a slot's assignments from the office replace the archive's (the readouts and slots
    // made known as needed) and the gauges judged again.
    std::vector<SharedAssignments> changedAssignments(Error* error = nullptr) const;
    bool assignmentsSent(const std::vector<SharedAssignments>& sent, Error* error);
    bool applySharedAssignments(const std::vector<SharedAssignments>& slots, Error* error);

    // Masks put on or lifted here, and acknowledgements made here, not yet sent; brought in from
    // the office (a mask of a reading the archive does not hold is kept for when it arrives, a
    // lift applies to the mask it names).
    std::vector<SharedMask> unsentMasks(Error* error = nullptr) const;
    bool masksSent(const std::vector<SharedMask>& sent, Error* error);
    bool importMasks(const std::vector<SharedMask>& masks, Error* error);
    std::vector<SharedAcknowledgement> unsentAcknowledgements(Error* error = nullptr) const;
    bool acknowledgementsSent(const std::vector<SharedAcknowledgement>& sent, Error* error);
    bool importAcknowledgements(const std::vector<SharedAcknowledgement>& acks, Error* error);

    // Gauges judged again here since their judgements were last sent, with their marks as shared.
    QStringList gaugesJudgedSinceSent(Error* error = nullptr) const;
    std::vector<SharedMark> marksOf(const QString& gauge, Error* error = nullptr) const;
    // What of them the office has not had: all of them (`since` nullopt) when the gauge was judged
    // whole since they were last sent (or never sent), else those of its readings after `since`
    // (UTC), the last judged reading's instant when they were sent, which judging going on from
    // there added; its events after `since` likewise.
    std::vector<SharedMark> marksToSend(const QString& gauge, std::optional<qint64>* since, Error* error = nullptr) const;
    bool judgementsSent(const QStringList& gauges, Error* error);

private:
    struct Impl;
    explicit Archive(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> m;
};

// The version that applies at a UTC instant: the one with the latest fromUtc at or before it
// (the later entered of two from the same instant); nullptr when none does or it is withdrawn.
const CalibrationVersion* versionAt(const std::vector<CalibrationVersion>& versions, qint64 utc);

// The PC's user (the session's, else the account's; "" when not known): who entered a version,
// a mask, an acknowledgement; who made a report when its reader is not given.
QString pcUser();

// The readout every record of an archive from before readouts was given, and the one a kept
// copy without its readout is stored under: "未命名仪器".
QString unnamedReadoutName();

// Counts the slots' summary again from the records, inside the caller's transaction, for
// a tool that changed records behind the store's back (a repair). True also for an archive of a
// version without the summary; false on an SQLite error.
bool recountSummary(sqlite3* db);

} // namespace archive
