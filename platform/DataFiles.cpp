#include "platform/DataFiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

QString dataFilePath(const QString& name) { return dataFilePath(name, QCoreApplication::applicationDirPath()); }

QString dataFilePath(const QString& name, const QString& programFolder)
{
    const QDir program(programFolder);
    const QString beside = program.filePath(name);
    if (QFileInfo(beside).isFile())
        return beside;
    const QString shared = QDir::cleanPath(program.filePath(QStringLiteral("../share/ktm520/") + name));
    if (QFileInfo(shared).isFile())
        return shared;
    const QString located = QStandardPaths::locate(QStandardPaths::GenericDataLocation, QStringLiteral("ktm520/") + name);
    return located.isEmpty() ? beside : located;
}
