#pragma once

#include "serial/PortDiscovery.h"

#ifdef Q_OS_WIN
#include <windows/Registry.h>

// The registry of Windows, through the Windows layer. Only built on Windows.
class WindowsPortRegistry : public PortRegistry {
public:
    bool open(const QString& subKey) override;
    bool enumValue(int index, int nameCapacity, int dataCapacity, QByteArray& name, QByteArray& data) override;
    QString devicePath(const QString& portName) const override;

private:
    win::LocalMachineKey m_key;
};
#endif
