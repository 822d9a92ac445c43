#include "cli/PortChoice.h"

#include "serial/Connection.h"
#include "serial/PortDiscovery.h"
#include "serial/QtSerialLink.h"

#include <QRegularExpression>

namespace cli {

PortChoice choosePort(const QString& requested, PortRegistry& registry)
{
    PortChoice choice;
    QString name = requested;
    if (name.isEmpty()) {
        // As the window starts: the first port of the list, "COM1" when there is none.
        name = connection::portEntries(registry).entries.first().name;
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
    // A name opens as in the window: the device the list showed, if it is still there.
    return choice.path ? connection::deviceLink(choice.device) : connection::platformLink();
}

} // namespace cli
