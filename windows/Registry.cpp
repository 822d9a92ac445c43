#include "Registry.h"

#include <windows.h>

namespace win {

LocalMachineKey::~LocalMachineKey() { close(); }

void LocalMachineKey::close()
{
    if (m_key)
        RegCloseKey(static_cast<HKEY>(m_key));
    m_key = nullptr;
}

bool LocalMachineKey::open(const std::string& subKey)
{
    close();
    HKEY key = nullptr;
    if (RegOpenKeyA(HKEY_LOCAL_MACHINE, subKey.c_str(), &key) != ERROR_SUCCESS)
        return false;
    m_key = key;
    return true;
}

bool LocalMachineKey::enumValue(unsigned index, unsigned nameCapacity, unsigned dataCapacity, std::string& name,
                                std::string& data) const
{
    if (!m_key)
        return false;
    std::string nameBuffer(nameCapacity, '\0');
    std::string dataBuffer(dataCapacity, '\0');
    DWORD nameLength = nameCapacity;
    DWORD dataLength = dataCapacity;
    DWORD type = 0;
    const LONG status = RegEnumValueA(static_cast<HKEY>(m_key), index, nameBuffer.data(), &nameLength, nullptr, &type,
                                      reinterpret_cast<LPBYTE>(dataBuffer.data()), &dataLength);
    if (status != ERROR_SUCCESS)
        return false;
    m_lastType = type;
    name = std::move(nameBuffer);
    data = std::move(dataBuffer);
    return true;
}

} // namespace win
