#include "serial/LinuxPortTable.h"

#include "serial/PortFolder.h"

#include <QDir>
#include <QFileInfo>
#include <QSerialPortInfo>
#include <QSet>
#include <algorithm>

namespace {

QString canonical(const QString& path)
{
    const QString c = QFileInfo(path).canonicalFilePath();
    return c.isEmpty() ? path : c;
}

QList<LinuxPortTable::Device> systemDevices()
{
    QList<LinuxPortTable::Device> devices;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        QString description = info.description();
        if (!info.manufacturer().isEmpty())
            description += (description.isEmpty() ? QString() : QStringLiteral(", ")) + info.manufacturer();
        devices.append({info.systemLocation(), description});
    }
    return devices;
}

} // namespace

LinuxPortTable::LinuxPortTable() { build(PortFolder::directory(), systemDevices()); }

LinuxPortTable::LinuxPortTable(const QString& portFolder, QList<Device> devices)
{
    build(portFolder, std::move(devices));
}

void LinuxPortTable::build(const QString& portFolder, QList<Device> devices)
{
    QSet<int> used;
    QSet<QString> named;
    const QDir folder(portFolder);
    for (int n = 1; n <= 256; ++n) {
        const QFileInfo link(folder.filePath(QStringLiteral("com%1").arg(n)));
        if (!link.isSymLink() || !link.exists())
            continue; // dangling links stand for nothing
        const QString target = link.symLinkTarget();
        m_entries.append({QStringLiteral("COM%1").arg(n), target, QStringLiteral("published link")});
        used.insert(n);
        named.insert(canonical(target));
    }

    std::sort(devices.begin(), devices.end(), [](const Device& a, const Device& b) { return a.path < b.path; });
    int next = 1;
    for (const Device& d : devices) {
        if (named.contains(canonical(d.path)))
            continue;
        while (used.contains(next))
            ++next;
        if (next > 256)
            break;
        m_entries.append({QStringLiteral("COM%1").arg(next), d.path, d.description});
        used.insert(next);
        named.insert(canonical(d.path));
    }
}

bool LinuxPortTable::open(const QString&) { return true; }

bool LinuxPortTable::enumValue(int index, int nameCapacity, int dataCapacity, QByteArray& name, QByteArray& data)
{
    if (index < 0 || index >= m_entries.size())
        return false;
    const Entry& e = m_entries[index];
    const QByteArray n = e.device.toLocal8Bit();
    const QByteArray d = e.name.toLatin1();
    if (n.size() + 1 > nameCapacity || d.size() + 1 > dataCapacity)
        return false;
    name = n + '\0';
    data = d + '\0';
    return true;
}

QString LinuxPortTable::devicePath(const QString& portName) const
{
    for (const Entry& e : m_entries)
        if (e.name.compare(portName, Qt::CaseInsensitive) == 0)
            return e.device;
    return {};
}

QString LinuxPortTable::description(const QString& portName) const
{
    for (const Entry& e : m_entries)
        if (e.name.compare(portName, Qt::CaseInsensitive) == 0)
            return e.description;
    return {};
}

QString LinuxPortTable::resolve(int portNumber) const
{
    return devicePath(QStringLiteral("COM%1").arg(portNumber));
}
