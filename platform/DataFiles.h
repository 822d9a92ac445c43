#pragma once

#include <QString>

// Where the program's own read-only files (the template workbook Data.xls) are found. The
// first that exists of:
//   1. beside the program (a build tree, and the installation on Windows);
//   2. <program folder>/../share/ktm520/<name> (installed under any prefix, e.g. /usr or /opt/ktm520);
//   3. ktm520/<name> in the system's data folders ($XDG_DATA_HOME, then $XDG_DATA_DIRS).
// When none has it, the path beside the program, so that the message about a missing file still
// names a place.
QString dataFilePath(const QString& name);
// The same search from the given program folder.
QString dataFilePath(const QString& name, const QString& programFolder);
