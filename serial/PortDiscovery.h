#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// Where the names of the serial ports come from: a list of (name, data) values enumerated by
// index, as the Windows registry key HARDWARE\DEVICEMAP\SERIALCOMM presents them. Each value's
// data is a port name such as "COM3".
class PortRegistry {
public:
    virtual ~PortRegistry();
    // Opens the key below the local machine hive; false if it cannot be opened.
    virtual bool open(const QString& subKey) = 0;
    // Value number index, with a name buffer of nameCapacity characters and a data buffer of
    // dataCapacity bytes. False when there is no such value or it does not fit: the
    // enumeration ends there. Name and data come back as the buffers hold them (NUL included).
    virtual bool enumValue(int index, int nameCapacity, int dataCapacity, QByteArray& name, QByteArray& data) = 0;
    // Device path and a description for the port "COMn", for the port list's tool tips.
    virtual QString devicePath(const QString& portName) const;
    virtual QString description(const QString& portName) const;
};

// An empty registry: no ports.
class EmptyPortRegistry : public PortRegistry {
public:
    bool open(const QString&) override { return false; }
    bool enumValue(int, int, int, QByteArray&, QByteArray&) override { return false; }
};

inline const char* kSerialCommKey = "HARDWARE\\DEVICEMAP\\SERIALCOMM";

// The port names of the key, in enumeration order, upper-cased, only those containing "COM".
// Element 0 is "" when there are none.
QStringList RegEnumValues(PortRegistry& registry, const QString& subKey);

// The names joined with one space after each ("COM1 COM3 "), or "" when there are none.
QString GetComPorts(PortRegistry& registry);
