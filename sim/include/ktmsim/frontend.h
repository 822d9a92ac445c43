// POSIX front ends of the simulator: a pseudo-terminal published as comN in the port folder,
// or a real serial device; and the poll() loop that connects a line to a LineEngine.
#pragma once

#include "ktmsim/engine.h"

#include <filesystem>
#include <string>

namespace ktmsim {

// $VARNOK_PORT_DIR, else $XDG_RUNTIME_DIR/varnok-ports, else /tmp/varnok-ports-<uid>.
std::filesystem::path portDirectory();
// $XDG_DATA_HOME/ktm520-sim, else ~/.local/share/ktm520-sim.
std::filesystem::path defaultStateDirectory();

// Creates the port folder if needed (mode 0700). Refuses a folder that is not a real folder
// owned by this user, since anyone may create names in /tmp.
void preparePortDirectory(const std::filesystem::path& dir);

// Publishes `target` as the lowest free link comN (N = 1..256) in `dir`. A name is free when
// it does not exist or is a link whose target is gone. Returns N; throws when all are taken.
int publishPortLink(const std::filesystem::path& dir, const std::string& target);
// Removes dir/comN, but only while it still points at `target`.
void removePortLink(const std::filesystem::path& dir, int n, const std::string& target);

// A pseudo-terminal in raw mode. The master is non-blocking; a slave descriptor stays open
// for the whole life of the object, so the master keeps working while no client has the
// device open and after clients close and reopen it.
class Pty {
public:
    Pty();
    ~Pty();
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;
    int masterFd() const { return master_; }
    const std::string& slavePath() const { return slavePath_; }
    void close();

private:
    int master_ = -1;
    int heldSlave_ = -1;
    std::string slavePath_;
};

// Opens a serial device raw, 8N1, no flow control, at `baud`, non-blocking. Throws on failure.
int openSerialDevice(const std::string& path, int baud);

enum class ServeEnd {
    Stopped,
    HungUp,
    LineClosed
};

// Moves bytes between `fd` and the engine until `stopFd` becomes readable (Stopped), a
// hang-up fault falls due (HungUp) or the line fails (LineClosed). Sleeps in poll().
ServeEnd serveLine(int fd, LineEngine& engine, int stopFd);

} // namespace ktmsim
