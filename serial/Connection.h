#pragma once

#include <QList>
#include <QString>
#include <memory>
#include <optional>

class PortRegistry;
class QtSerialLink;
class SerialLink;

// Connecting to the instrument as both front ends do it: the port list, the platform's link
// and opening a port with the operator's settings. The front ends only show the results.
namespace connection {

// One entry of the port list.
struct PortEntry {
    QString name;        // "COM3"
    QString device;      // what the registry says stands behind the name; "" unknown
    QString description; // the registry's words for it; "" none
};

struct PortList {
    // The registry's ports in its order; when it lists none (fewer than 3 characters of
    // names), the one entry "COM1".
    QList<PortEntry> entries;
    // False for that stand-in "COM1": it names no listed device and is resolved when it opens.
    bool listed = false;
};

PortList portEntries(PortRegistry& registry);

// The platform's port registry: the Windows registry, elsewhere the published port links and
// the system's serial devices (LinuxPortTable), read anew each time.
std::unique_ptr<PortRegistry> platformPorts();

// The platform's link: "COMn" is the port of that name on Windows; elsewhere it is resolved
// through the port table when it opens, and a listed device opens itself if it is still there.
std::unique_ptr<QtSerialLink> platformLink();
// A link that opens the given device whatever the port number.
std::unique_ptr<QtSerialLink> deviceLink(const QString& device);

// The port to open.
struct PortTarget {
    QString name;              // as the operator chose it: "COM3", or a device path
    std::optional<int> number; // n of "COMn"; none when the name gives no number
    QString listedDevice;      // the device the list showed under the name; "" none
};

struct OpenResult {
    enum class Kind {
        Opened,
        Permission, // this user may not open the device
        DeviceGone, // the listed device is no longer there
        NoDevice,   // no device stands behind the name
        Other       // a bad number or settings, a busy port, anything else
    };
    bool ok = false;
    Kind kind = Kind::Other;
    QString text;   // what the operator is told of a failure; "" when opened
    QString reason; // the system's reason for it (for LinkTexts::portClosed)
};

// Opens the link on the target with the settings ("9600,N,8,1"). A failure leaves the link
// closed.
OpenResult open(SerialLink& link, const PortTarget& target, const QString& settings);

// The name under which the program remembers which readout stands behind a port: on Linux the
// stable link in `byIdFolder` that points at the device the port opened, where there is one,
// else that device's path; on Windows the port's name ("COM3").
QString deviceIdentity(const QString& portName, const QString& openedDevice,
                       const QString& byIdFolder = QStringLiteral("/dev/serial/by-id"));

} // namespace connection
