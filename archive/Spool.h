#pragma once

#include "archive/Archive.h"
#include "archive/Record.h"

#include <QDateTime>
#include <QString>
#include <optional>

// Completed copies that could not be stored yet, each kept whole in a file of its own in a
// folder beside the archive ("archive.sqlite.spool"), until a later open stores them.
namespace archive::Spool {

QString folderOf(const QString& archivePath);

// Keeps the records of one copy with where it came from; a file appears only once all of it is
// written. false and `failure` when it cannot be kept.
bool keep(const QString& archivePath, const RecordSource& records, const QDateTime& downloadedAt,
          const CopyOrigin& origin, QString* failure);

// How many copies wait.
int waiting(const QString& archivePath);

struct Drained {
    int stored = 0; // copies stored and taken out of the spool
    qint64 added = 0;
    int unreadable = 0; // files that are no copy of ours, renamed ".unreadable" and left
};
// Stores the waiting copies, oldest first, each with its origin (a copy kept without one, by an
// older program, under the readout "未命名仪器"), each once however many programs drain at the same
// time; stops at the first that cannot be stored (it stays waiting).
Drained drain(Archive& archive);

} // namespace archive::Spool
