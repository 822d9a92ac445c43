#pragma once

#include "serial/PortDiscovery.h"

#include <QByteArray>
#include <QList>

// A registry holding the given port names.
class FixedPorts : public PortRegistry {
public:
    explicit FixedPorts(QList<QByteArray> data) : m_data(std::move(data)) {}
    bool open(const QString&) override { return true; }
    bool enumValue(int index, int, int, QByteArray& name, QByteArray& data) override
    {
        if (index >= m_data.size())
            return false;
        name = "dev" + QByteArray::number(index) + '\0';
        data = m_data[index] + '\0';
        return true;
    }
    QString devicePath(const QString& port) const override { return "/dev/tty" + port; }

private:
    QList<QByteArray> m_data;
};
