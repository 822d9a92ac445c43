#pragma once

#include <QString>

// The folder in which serial ports are published under the names the program shows: a link
// "comN" stands for the port "COMN" (the simulated instrument publishes its pseudo-terminal
// there; a user may add links with ln -s). $VARNOK_PORT_DIR, else $XDG_RUNTIME_DIR/varnok-ports,
// else /tmp/varnok-ports-<uid>.
namespace PortFolder {

QString directory();

} // namespace PortFolder
