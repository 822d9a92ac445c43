// Values of a registry key below HKEY_LOCAL_MACHINE, enumerated by index with the ANSI calls
// (RegOpenKeyA, RegEnumValueA), as the serial port list reads HARDWARE\DEVICEMAP\SERIALCOMM.
// Windows only.
#pragma once

#include <string>

namespace win {

class LocalMachineKey {
public:
    LocalMachineKey() = default;
    ~LocalMachineKey();
    LocalMachineKey(const LocalMachineKey&) = delete;
    LocalMachineKey& operator=(const LocalMachineKey&) = delete;

    // Opens the key (closing one opened before); false if it cannot be opened.
    bool open(const std::string& subKey);
    void close();
    // Value number `index`, read into a name buffer of nameCapacity characters and a data buffer
    // of dataCapacity bytes. False when the call does not succeed (no such value, a name or data
    // that does not fit, no key open). Name and data come back as whole buffers, as the call left
    // them: what it wrote, then the zeros the buffers started with.
    bool enumValue(unsigned index, unsigned nameCapacity, unsigned dataCapacity, std::string& name,
                   std::string& data) const;
    // The type (REG_SZ, REG_DWORD, ...) of the value last enumerated.
    unsigned long lastType() const { return m_lastType; }

private:
    void* m_key = nullptr; // HKEY
    mutable unsigned long m_lastType = 0;
};

} // namespace win
