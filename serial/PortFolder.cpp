#include "serial/PortFolder.h"

#include <QDir>
#include <QtGlobal>

#ifndef Q_OS_WIN
#include <unistd.h>
#endif

namespace PortFolder {

QString directory()
{
    const QString explicitDir = qEnvironmentVariable("VARNOK_PORT_DIR");
    if (!explicitDir.isEmpty())
        return explicitDir;
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty())
        return runtime + QStringLiteral("/varnok-ports");
#ifdef Q_OS_WIN
    return QDir::tempPath() + QStringLiteral("/varnok-ports");
#else
    return QStringLiteral("/tmp/varnok-ports-%1").arg(getuid());
#endif
}

} // namespace PortFolder
