#include "serial/WindowsPortRegistry.h"

#ifdef Q_OS_WIN

bool WindowsPortRegistry::open(const QString& subKey) { return m_key.open(subKey.toStdString()); }

bool WindowsPortRegistry::enumValue(int index, int nameCapacity, int dataCapacity, QByteArray& name,
                                    QByteArray& data)
{
    std::string n;
    std::string d;
    if (index < 0 || !m_key.enumValue(unsigned(index), unsigned(nameCapacity), unsigned(dataCapacity), n, d))
        return false;
    name = QByteArray(n.data(), qsizetype(n.size()));
    data = QByteArray(d.data(), qsizetype(d.size()));
    return true;
}

QString WindowsPortRegistry::devicePath(const QString& portName) const
{
    return QStringLiteral("\\\\.\\") + portName;
}

#endif
