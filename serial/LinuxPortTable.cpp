#include "serial/LinuxPortTable.h"

#include "serial/PortFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSerialPortInfo>
#include <QSet>
#include <algorithm>

#ifndef Q_OS_WIN
#include <sys/stat.h>
#endif

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

#ifndef Q_OS_WIN
bool later(const struct timespec& a, const struct timespec& b)
{
    return a.tv_sec != b.tv_sec ? a.tv_sec > b.tv_sec : a.tv_nsec > b.tv_nsec;
}
#endif

// A link to a pseudo-terminal that was made before that terminal: the program that published
// it has ended without removing it, and the system has since given the terminal's number to
// another session (a shell, another simulator). It stands for nothing of ours.
bool staleLink(const QString& linkPath)
{
#ifdef Q_OS_WIN
    Q_UNUSED(linkPath);
    return false;
#else
    const QByteArray path = QFile::encodeName(linkPath);
    struct stat link {};
    struct stat target {};
    if (::lstat(path.constData(), &link) != 0 || ::stat(path.constData(), &target) != 0)
        return false;
    if (!S_ISCHR(target.st_mode) || !canonical(linkPath).startsWith(QLatin1String("/dev/pts/")))
        return false;
    return later(target.st_ctim, link.st_mtim);
#endif
}

// The numbers of this run of the program.
LinuxPortTable::Numbers& programNumbers()
{
    static LinuxPortTable::Numbers numbers;
    return numbers;
}

// Gives number n to a device; n now stands for that device alone.
void remember(LinuxPortTable::Numbers& numbers, const QString& device, int n)
{
    for (auto it = numbers.begin(); it != numbers.end();)
        it = (it.value() == n && it.key() != device) ? numbers.erase(it) : std::next(it);
    numbers.insert(device, n);
}

} // namespace

LinuxPortTable::LinuxPortTable() { build(PortFolder::directory(), systemDevices(), programNumbers()); }

LinuxPortTable::LinuxPortTable(const QString& portFolder, QList<Device> devices, Numbers* numbers)
{
    Numbers forgotten;
    build(portFolder, std::move(devices), numbers ? *numbers : forgotten);
}

void LinuxPortTable::build(const QString& portFolder, QList<Device> devices, Numbers& numbers)
{
    QSet<int> used;
    QSet<QString> named;
    const QDir folder(portFolder);
    for (int n = 1; n <= 256; ++n) {
        const QFileInfo link(folder.filePath(QStringLiteral("com%1").arg(n)));
        if (!link.isSymLink() || !link.exists())
            continue; // dangling links stand for nothing
        if (staleLink(link.filePath()))
            continue; // nor do links to a terminal that came after them
        const QString target = link.symLinkTarget();
        m_entries.append({QStringLiteral("COM%1").arg(n), target, QCoreApplication::translate("LinuxPortTable", "发布的串口链接")});
        used.insert(n);
        named.insert(canonical(target));
        remember(numbers, canonical(target), n);
    }

    std::sort(devices.begin(), devices.end(), [](const Device& a, const Device& b) { return a.path < b.path; });
    devices.erase(std::remove_if(devices.begin(), devices.end(),
                                 [&](const Device& d) { return named.contains(canonical(d.path)); }),
                  devices.end());
    // A device seen before takes its number again unless a link has it now; then the others get
    // the lowest number that no present or earlier device has.
    QList<int> given(devices.size(), 0);
    for (qsizetype i = 0; i < devices.size(); ++i) {
        const int n = numbers.value(canonical(devices[i].path), 0);
        if (n > 0 && !used.contains(n)) {
            given[i] = n;
            used.insert(n);
        }
    }
    QSet<int> taken = used;
    for (const int n : std::as_const(numbers))
        taken.insert(n);
    int next = 1;
    for (qsizetype i = 0; i < devices.size(); ++i) {
        if (given[i] > 0)
            continue;
        while (taken.contains(next))
            ++next;
        if (next > 256)
            break;
        given[i] = next;
        taken.insert(next);
    }
    for (qsizetype i = 0; i < devices.size(); ++i) {
        if (given[i] == 0)
            continue;
        const Device& d = devices[i];
        m_entries.append({QStringLiteral("COM%1").arg(given[i]), d.path, d.description});
        named.insert(canonical(d.path));
        remember(numbers, canonical(d.path), given[i]);
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

QString LinuxPortTable::find(const QString& device) const
{
    if (device.isEmpty())
        return {};
    const QString wanted = canonical(device);
    for (const Entry& e : m_entries)
        if (e.device == device || canonical(e.device) == wanted)
            return e.device;
    return {};
}
