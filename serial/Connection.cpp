#include "serial/Connection.h"

#include "platform/SupportLog.h"
#include "serial/LinkTexts.h"
#include "serial/PortDiscovery.h"
#include "serial/QtSerialLink.h"

#include <QDir>
#include <QFileInfo>

#ifdef Q_OS_WIN
#include "serial/WindowsPortRegistry.h"
#else
#include "serial/LinuxPortTable.h"
#endif

namespace connection {

PortList portEntries(PortRegistry& registry)
{
    PortList list;
    const QString ports = GetComPorts(registry).trimmed();
    list.listed = ports.size() >= 3;
    const QStringList names =
        list.listed ? ports.split(QLatin1Char(' '), Qt::SkipEmptyParts) : QStringList{QStringLiteral("COM1")};
    for (const QString& name : names)
        list.entries.append(PortEntry{name, registry.devicePath(name), registry.description(name)});
    return list;
}

std::unique_ptr<PortRegistry> platformPorts()
{
#ifdef Q_OS_WIN
    return std::make_unique<WindowsPortRegistry>();
#else
    return std::make_unique<LinuxPortTable>();
#endif
}

std::unique_ptr<QtSerialLink> platformLink()
{
#ifdef Q_OS_WIN
    return std::make_unique<QtSerialLink>([](int n) { return QStringLiteral("COM%1").arg(n); });
#else
    // The table is read anew for each connection, so a port published after start-up is found.
    return std::make_unique<QtSerialLink>([](int n) { return LinuxPortTable().resolve(n); },
                                          [](const QString& device) { return LinuxPortTable().find(device); });
#endif
}

std::unique_ptr<QtSerialLink> deviceLink(const QString& device)
{
    return std::make_unique<QtSerialLink>([device](int) { return device; });
}

OpenResult open(SerialLink& link, const PortTarget& target, const QString& settings)
{
    link.setDevice(target.listedDevice);
    const bool opened = target.number && link.setPortNumber(*target.number) && link.setSettings(settings) && link.open();
    if (opened) {
        qCInfo(logLink).noquote() << "opened" << target.name << target.listedDevice << settings;
        return OpenResult{.ok = true, .kind = OpenResult::Kind::Opened};
    }
    OpenResult result;
    result.reason = link.lastErrorText();
    qCWarning(logLink).noquote() << "cannot open" << target.name << target.listedDevice << settings << "-" << result.reason;
    // A name without a number never reached the link: what the link says is about another try.
    const SerialLink::OpenError error = target.number ? link.lastOpenError() : SerialLink::OpenError::Other;
    result.text = LinkTexts::openError();
    if (error == SerialLink::OpenError::PermissionDenied) {
        result.kind = OpenResult::Kind::Permission;
        result.text += QLatin1Char('\n') + LinkTexts::permissionHint();
    } else if (error == SerialLink::OpenError::NotFound && !target.listedDevice.isEmpty()) {
        result.kind = OpenResult::Kind::DeviceGone;
        result.text += QLatin1Char('\n') + LinkTexts::deviceGone().arg(target.name, target.listedDevice);
    } else if (error == SerialLink::OpenError::NotFound) {
        result.kind = OpenResult::Kind::NoDevice;
        result.text += QLatin1Char('\n') + LinkTexts::noDevice().arg(target.name);
    }
    link.close();
    return result;
}

QString deviceIdentity(const QString& portName, const QString& openedDevice, const QString& byIdFolder)
{
#ifdef Q_OS_WIN
    Q_UNUSED(openedDevice);
    Q_UNUSED(byIdFolder);
    return portName;
#else
    if (openedDevice.isEmpty())
        return portName;
    // The device itself, not a published link to it ("com1" in the port folder), which may
    // point at another device tomorrow.
    const QString device = QFileInfo(openedDevice).canonicalFilePath();
    if (device.isEmpty())
        return openedDevice;
    // The by-id links name the adapter by its maker and serial number: the same name whichever
    // ttyUSBn it becomes when plugged in again. The first in name order that points at it.
    const QFileInfoList links =
        QDir(byIdFolder).entryInfoList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo& link : links)
        if (link.isSymLink() && link.canonicalFilePath() == device)
            return link.absoluteFilePath();
    return device;
#endif
}

} // namespace connection
