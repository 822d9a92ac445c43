#pragma once

#include "serial/PortDiscovery.h"

#include <QHash>
#include <QList>
#include <QString>

// The serial ports of a machine without the Windows registry, as "COMn" names:
//  1. every link comN (N = 1..256) in the port folder, as "COMN", standing for its target;
//  2. every serial device the system reports that no link already names, as "COMn" with the
//     lowest free n, in order of device path.
// The table is read when it is built; build a new one to see ports that came or went. A device
// keeps the number it was given as long as the numbers are remembered (for the default table:
// while the program runs), and a new device does not take the number of one that went away.
class LinuxPortTable : public PortRegistry {
public:
    // The numbers given so far: device (canonical path) -> n.
    using Numbers = QHash<QString, int>;

    struct Entry {
        QString name;        // "COM3"
        QString device;      // "/dev/ttyUSB0"
        QString description; // "USB-Serial Controller" or "published link"
    };
    struct Device {
        QString path;
        QString description;
    };

    // Reads the port folder and the system's serial devices, numbering them as the tables
    // built before in this program did.
    LinuxPortTable();
    // For tests: a given port folder and device list; numbers are remembered in *numbers if
    // given, else not at all.
    LinuxPortTable(const QString& portFolder, QList<Device> devices, Numbers* numbers = nullptr);

    const QList<Entry>& entries() const { return m_entries; }

    bool open(const QString& subKey) override;
    bool enumValue(int index, int nameCapacity, int dataCapacity, QByteArray& name, QByteArray& data) override;
    QString devicePath(const QString& portName) const override;
    QString description(const QString& portName) const override;

    // The device of port n, or "" if the table has no such port.
    QString resolve(int portNumber) const;
    // The device itself if the table still lists it (under whatever name), else "".
    QString find(const QString& device) const;

private:
    void build(const QString& portFolder, QList<Device> devices, Numbers& numbers);

    QList<Entry> m_entries;
};
