#pragma once

#include <QLoggingCategory>
#include <QString>

// The log for support: what the program did (connections, each command's bytes, reply sizes
// and durations, every message shown, errors with their system text), never the records a
// reply carries. Written through Qt's logging categories below; SupportLog::install() sends
// them, and Qt's own warnings, to a file that rotates at a size limit.
Q_DECLARE_LOGGING_CATEGORY(logLink)     // ports opened and closed, devices lost
Q_DECLARE_LOGGING_CATEGORY(logExchange) // commands sent, replies received, interruptions
Q_DECLARE_LOGGING_CATEGORY(logMessages) // every message shown to the operator
Q_DECLARE_LOGGING_CATEGORY(logFiles)    // saves, exports and the archive

namespace SupportLog {

// The folder of the log: "logs" in the user's data folder (shared by the window and the
// command line).
QString defaultFolder();

struct Limits {
    qint64 maxBytes = 1024 * 1024; // a file is rotated when it would grow beyond this
    int keep = 4;                  // rotated files kept: name.1 (newest) to name.<keep>
};

// Sends every message to the file `path` (folders made as needed). False, with the reason in
// `why`, when the file cannot be opened; logging then stays as it was.
bool install(const QString& path, Limits limits = {}, QString* why = nullptr);
// Back to Qt's default handler; the file is closed.
void uninstall();
// The file being written, empty when none.
QString currentFile();

} // namespace SupportLog
