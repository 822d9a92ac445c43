#pragma once

#include "platform/FileDialogs.h"

#include <QList>
#include <QStringList>

// File dialogs answered from a script: each call takes the next answer (nullopt = cancel;
// cancel when the script is empty) and records what it was shown.
class ScriptedFileDialogs : public FileDialogs {
public:
    std::optional<QString> saveFileName(const QString& filter, const QString& proposedName) override
    {
        filters << filter;
        proposals << proposedName;
        return next();
    }
    std::optional<QString> openFileName(const QString& filter) override
    {
        filters << filter;
        return next();
    }

    QList<std::optional<QString>> answers;
    QStringList filters;
    QStringList proposals;

private:
    std::optional<QString> next() { return answers.isEmpty() ? std::nullopt : answers.takeFirst(); }
};
