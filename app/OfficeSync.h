#pragma once

#include "office/OfficeSettings.h"
#include "office/Sync.h"

#include <QCoreApplication>
#include <QString>
#include <optional>

class SaveProgress;

// The window's 同步到办公室数据库: the sync run off the window's thread, on a connection to the
// archive of its own (the window's connection stays the window's), with a progress dialog and its
// cancel; and the texts the window shows of it.
class OfficeSync {
    Q_DECLARE_TR_FUNCTIONS(OfficeSync)

public:
    struct Outcome {
        std::optional<office::SyncResult> result; // set when the sync finished
        office::Failure failure;                  // why not, otherwise
    };

    // How far a sync has come, in thousandths of the whole: connecting and the register first,
    // the readings most of the way, then the versions and what is brought from the office.
    static qint64 permille(const office::SyncProgress& progress);

    // Syncs the archive at `archivePath` with the office the settings name; `password` (may be
    // empty) is given to libpq for this connection only. Returns when it has ended; `progress`
    // (may be null) shows it meanwhile and its cancel stops it.
    static Outcome run(const QString& archivePath, const office::Settings& settings, const QString& password,
                       SaveProgress* progress);

    // The status line after a sync: its result (which says what still waits), or why it failed
    // and what waits.
    static QString statusText(const Outcome& outcome, qint64 waiting);
    // The operator's message of the conflicts a sync reported, each on its own; "" when none.
    static QString conflictsMessage(const office::SyncResult& result);
};
