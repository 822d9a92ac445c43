#pragma once

#include "archive/Archive.h"

#include <QString>
#include <QStringList>
#include <optional>

// The thorough check of an archive, beyond what opening it checks (SQLite's quick check): the
// database's full integrity check, every record's texts read as text, every number computed
// again from its text, and every record looked for twice. The repair works from the texts, which
// are the record as it was received: the numbers are computed again and a record stored twice is
// kept once, in one transaction (all of it or nothing). What the texts cannot restore (a text
// that is no longer valid UTF-8) is reported and left as it is.
namespace archive::ArchiveCheck {

// What one pass over the archive found.
struct Findings {
    QStringList integrity;   // what the full integrity check found (empty: nothing)
    qint64 records = 0;      // records read
    qint64 duplicates = 0;   // extra copies of records stored more than once
    qint64 wrongNumbers = 0; // records whose reading, temperature or time number differs from its text
    qint64 invalidTexts = 0; // records with a text that is not valid UTF-8
    QStringList examples;    // the first of these, in the operator's words

    bool clean() const { return integrity.isEmpty() && duplicates == 0 && wrongNumbers == 0 && invalidTexts == 0; }
};

struct Result {
    Findings found;
    bool repairTried = false;            // there was something to repair and a repair was asked for
    QString repairFailure;               // why the repair was not kept (empty when it was)
    std::optional<Findings> afterRepair; // the check again, after a repair that was kept

    // Whether the archive is sound now: nothing found, or nothing left after the repair.
    bool sound() const { return afterRepair ? afterRepair->clean() : found.clean(); }
};

// Checks the archive at `path`; with `repair`, repairs what the texts allow. Nothing is created:
// nullopt and `error` when the file is missing, is no archive, or cannot be read at all. Without
// `repair` the file is opened read-only and never changed.
std::optional<Result> run(const QString& path, bool repair, Error* error);

// The result in the operator's words, one finding a line.
QString text(const Result& result);

} // namespace archive::ArchiveCheck
