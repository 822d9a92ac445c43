#include "serial/WindowsPortRegistry.h"

#ifdef Q_OS_WIN

WindowsPortRegistry::~WindowsPortRegistry()
{
    if (m_key)
        RegCloseKey(m_key);
}

bool WindowsPortRegistry::open(const QString& subKey)
{
    if (m_key) {
        RegCloseKey(m_key);
        m_key = nullptr;
    }
    const QByteArray path = subKey.toLocal8Bit();
    return RegOpenKeyA(HKEY_LOCAL_MACHINE, path.constData(), &m_key) == ERROR_SUCCESS;
}

bool WindowsPortRegistry::enumValue(int index, int nameCapacity, int dataCapacity, QByteArray& name,
                                    QByteArray& data)
{
    if (!m_key)
        return false;
    QByteArray nameBuffer(nameCapacity, '\0');
    QByteArray dataBuffer(dataCapacity, '\0');
    DWORD nameLength = DWORD(nameCapacity);
    DWORD dataLength = DWORD(dataCapacity);
    DWORD type = 0;
    const LONG status = RegEnumValueA(m_key, DWORD(index), nameBuffer.data(), &nameLength, nullptr, &type,
                                      reinterpret_cast<LPBYTE>(dataBuffer.data()), &dataLength);
    if (status != ERROR_SUCCESS)
        return false;
    // The buffers are returned whole, as the call filled them: callers cut at the first NUL.
    name = nameBuffer;
    data = dataBuffer;
    return true;
}

QString WindowsPortRegistry::devicePath(const QString& portName) const
{
    return QStringLiteral("\\\\.\\") + portName;
}

#endif
