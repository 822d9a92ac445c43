#pragma once

#include "serial/PortDiscovery.h"

#ifdef Q_OS_WIN
#include <qt_windows.h>

// The registry of Windows: values of a key below HKEY_LOCAL_MACHINE, read with RegOpenKeyA and
// RegEnumValueA. Only built on Windows.
class WindowsPortRegistry : public PortRegistry {
public:
    ~WindowsPortRegistry() override;
    bool open(const QString& subKey) override;
    bool enumValue(int index, int nameCapacity, int dataCapacity, QByteArray& name, QByteArray& data) override;
    QString devicePath(const QString& portName) const override;

private:
    HKEY m_key = nullptr;
};
#endif
