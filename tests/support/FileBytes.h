#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

namespace testing_files {

// The bytes of a file as it stands on disk; empty when it cannot be read.
inline QByteArray bytesOf(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace testing_files
