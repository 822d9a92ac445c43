#include "cli/PortChoice.h"

#include "serial/PortDiscovery.h"
#include "serial/QtSerialLink.h"

#ifndef Q_OS_WIN
#include "serial/LinuxPortTable.h"
#endif

#include <QRegularExpression>

namespace cli {

PortChoice choosePort(const QString& requested, PortRegistry& registry)
{
    PortChoice choice;
    QString name = requested;
    if (name.isEmpty()) {
        // As the window starts: the first port of the list, "COM1" when there is none.
        const QString ports = GetComPorts(registry).trimmed();
        name = ports.size() < 3 ? QStringLiteral("COM1") : ports.section(QLatin1Char(' '), 0, 0);
    }
    static const QRegularExpression comName(QStringLiteral("^COM([0-9]{1,3})$"),
                                            QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = comName.match(name);
    if (m.hasMatch()) {
        choice.name = name.toUpper();
        choice.number = m.captured(1).toInt();
        choice.device = registry.devicePath(choice.name);
        return choice;
    }
    choice.name = name;
    choice.device = name;
    choice.path = true;
    return choice;
}

std::unique_ptr<QtSerialLink> makeLink(const PortChoice& choice)
{
    if (choice.path) {
        const QString device = choice.device;
        return std::make_unique<QtSerialLink>([device](int) { return device; });
    }
#ifdef Q_OS_WIN
    return std::make_unique<QtSerialLink>([](int n) { return QStringLiteral("COM%1").arg(n); });
#else
    // As the window: the table is read when the port opens, and a listed name opens the device
    // the list showed, if it is still there.
    return std::make_unique<QtSerialLink>([](int n) { return LinuxPortTable().resolve(n); },
                                          [](const QString& device) { return LinuxPortTable().find(device); });
#endif
}

} // namespace cli
