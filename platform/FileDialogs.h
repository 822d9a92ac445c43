#pragma once

#include <QString>
#include <optional>

// The file dialogs of the program. Filters are given as pairs "description|pattern|..."; the
// window installs the real dialogs, tests install scripted answers.
class FileDialogs {
public:
    virtual ~FileDialogs();
    // The chosen path, "" if the dialog was confirmed without a name, nullopt if cancelled.
    virtual std::optional<QString> saveFileName(const QString& filter, const QString& proposedName) = 0;
    virtual std::optional<QString> openFileName(const QString& filter) = 0;
};
