#pragma once

#include <QString>
#include <memory>

class PortRegistry;
class QtSerialLink;

// Which port --port means, resolved as the window resolves its port list: "COMn" stands for
// the device the list shows under that name (opened only if it is still there), a path for
// that device itself; no --port means the first port the list shows.
namespace cli {

struct PortChoice {
    QString name;      // "COM3", or the path as given
    int number = 1;    // n of "COMn"
    QString device;    // the device the list shows for the name, or the path given; "" unknown
    bool path = false; // a device path was given rather than a name
};

PortChoice choosePort(const QString& requested, PortRegistry& registry);

// The serial link that opens the chosen port.
std::unique_ptr<QtSerialLink> makeLink(const PortChoice& choice);

} // namespace cli
