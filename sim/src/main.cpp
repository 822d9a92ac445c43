// ktm520-sim: a simulated KTM-520 vibrating-wire readout on a pseudo-terminal or serial device.
#include "ktmsim/engine.h"
#include "ktmsim/frontend.h"
#include "ktmsim/protocol.h"
#include "ktmsim/seed.h"
#include "ktmsim/storage.h"

#include <cerrno>
#include <charconv>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <iostream>
#include <map>
#include <optional>
#include <string>
#include <unistd.h>

namespace {

constexpr const char* kUsage = R"(usage: ktm520-sim (--pty | --device PATH) [--state DIR] [--baud N] [--no-pace]
                  [--records N] [--measure N] [--drift CODE=TENTHS]... [--fault RULE]...

A simulated KTM-520 vibrating-wire readout. It answers the instrument's commands on a serial
line: DIR, DIR x, COPY x name, COPY x, DEL x, DELDATA x, NEWFILE x name, DIRPART x and
WR code name (x = A..J). Commands end in CR LF (a bare LF is accepted too).

  --pty          open a pseudo-terminal and publish it as comN (lowest free N of 1..256) in
                 the port folder: $VARNOK_PORT_DIR, else $XDG_RUNTIME_DIR/varnok-ports, else
                 /tmp/varnok-ports-<uid>. The first line on standard output is
                 "COMN /dev/pts/K". Runs until SIGINT or SIGTERM, then removes the link.
  --device PATH  serve a serial device (raw 8N1, no flow control, at --baud, which must
                 then be a standard rate from 1200 to 230400).
  --state DIR    state folder (default $XDG_DATA_HOME/ktm520-sim, else
                 ~/.local/share/ktm520-sim); a missing or empty folder is seeded with the
                 default contents. Deletes, new files and component writes are kept there.
                 One simulator per folder: a second one on the same folder refuses to start.
  --baud N       line speed; replies are paced at N/10 bytes per second, in chunks of
                 about 10 ms (default 9600).
  --no-pace      send replies as fast as the line takes them.
  --records N    replace partition A's files by files holding N records in total, at
                 most 10000 per file (N = 0..5000000; deterministic; the other partitions
                 and all component lists are kept). Done at every start with this option.
  --measure N    the instrument takes N more readings before serving: appended to the
                 newest file of partition A, its components in turn, 75 s apart after its
                 latest record (after --records; kept in the state folder). Each reading
                 is its component's last one plus a random step of at most 40 tenths of Hz.
  --drift CODE=TENTHS
                 with --measure: every reading of component CODE (of partition A, e.g.
                 A001) also moves by TENTHS tenths of Hz (-100000..100000; negative falls),
                 so over successive runs on one state folder its readings climb or sink
                 steadily. May be given for several components; a later one for the same
                 code replaces the earlier.
  --fault RULE   inject a fault; may be given several times. RULE is KIND[@N]:
                   drop         carry out the command, send no reply
                   late:MS      start the reply MS milliseconds late
                   split:MS     send the reply in two halves, MS milliseconds apart
                   pause:MS     stop for MS milliseconds at the line end nearest the
                                middle of the reply (a one-line reply is sent whole)
                   err          do not carry out the command, reply ERR
                   garbage[:L]  carry out the command, send L noise bytes (default 32)
                                instead of the reply
                   hangup       no reply: close the line and exit (status 3)
                 With @N the fault applies to the N-th command line since start-up only
                 (counted from 1); without it, to every command. Several rules may meet one
                 command: hangup beats drop, drop beats the rest; late combines with split or
                 pause.
  --help         show this text.

Exit status: 0 after SIGINT/SIGTERM, 1 on a start-up error, 2 on a usage error, 3 after a
hang-up fault, 4 when the line failed.
)";

int stopPipe[2] = {-1, -1};

extern "C" void onSignal(int)
{
    const int saved = errno;
    const char c = 's';
    [[maybe_unused]] auto r = ::write(stopPipe[1], &c, 1);
    errno = saved;
}

std::optional<long long> number(const char* s, long long lo, long long hi)
{
    long long v = 0;
    const char* end = s + std::strlen(s);
    auto [p, ec] = std::from_chars(s, end, v);
    if (ec != std::errc() || p != end || v < lo || v > hi) return std::nullopt;
    return v;
}

int usageError(const std::string& msg)
{
    std::cerr << "ktm520-sim: " << msg << "\n(see ktm520-sim --help)\n";
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    using namespace ktmsim;
    bool pty = false;
    std::string device, stateDir;
    std::optional<long long> records;
    std::optional<long long> measure;
    std::map<std::string, int> drift;
    LineOptions line;

    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
        if (a == "--help" || a == "-h") {
            std::cout << kUsage;
            return 0;
        } else if (a == "--pty") {
            pty = true;
        } else if (a == "--device") {
            const char* v = value();
            if (!v) return usageError("--device needs a path");
            device = v;
        } else if (a == "--state") {
            const char* v = value();
            if (!v || !*v) return usageError("--state needs a folder");
            stateDir = v;
        } else if (a == "--baud") {
            const char* v = value();
            auto n = v ? number(v, 50, 4'000'000) : std::nullopt;
            if (!n) return usageError("--baud needs a number from 50 to 4000000");
            line.baud = static_cast<int>(*n);
        } else if (a == "--no-pace") {
            line.paced = false;
        } else if (a == "--measure") {
            const char* v = value();
            measure = v ? number(v, 0, 1'000'000) : std::nullopt;
            if (!measure) return usageError("--measure needs a number from 0 to 1000000");
        } else if (a == "--drift") {
            const char* v = value();
            const std::string text = v ? v : "";
            const auto eq = text.find('=');
            const auto code = eq == std::string::npos ? std::nullopt : parseComponentCode(text.substr(0, eq));
            const auto tenths = code ? number(text.c_str() + eq + 1, -100'000, 100'000) : std::nullopt;
            if (!code || code->letter != 'A' || !tenths)
                return usageError("--drift needs CODE=TENTHS: a component of partition A (A001..A200) and a whole "
                                  "number from -100000 to 100000");
            drift[text.substr(0, eq)] = static_cast<int>(*tenths);
        } else if (a == "--records") {
            const char* v = value();
            records = v ? number(v, 0, 5'000'000) : std::nullopt;
            if (!records) return usageError("--records needs a number from 0 to 5000000");
        } else if (a == "--fault") {
            const char* v = value();
            if (!v) return usageError("--fault needs a rule");
            std::string err;
            auto rule = parseFaultRule(v, &err);
            if (!rule) return usageError(err);
            line.faults.push_back(*rule);
        } else {
            return usageError("unknown argument '" + a + "'");
        }
    }
    if (pty == !device.empty()) return usageError("give exactly one of --pty and --device PATH");
    if (!drift.empty() && !measure) return usageError("--drift only acts on the readings --measure takes");

    std::signal(SIGPIPE, SIG_IGN);
    if (::pipe(stopPipe) != 0) {
        std::perror("ktm520-sim: pipe");
        return 1;
    }
    for (int fd : stopPipe) ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    ::fcntl(stopPipe[1], F_SETFL, O_NONBLOCK);
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    ::sigaction(SIGINT, &sa, nullptr);
    ::sigaction(SIGTERM, &sa, nullptr);

    try {
        const std::filesystem::path state = stateDir.empty() ? defaultStateDirectory() : std::filesystem::path(stateDir);
        FolderLock lock(state);
        Instrument inst;
        Storage storage = Storage::openOrCreate(state, defaultSeed(), inst);
        if (records) {
            auto files = largePartitionFiles('A', static_cast<std::size_t>(*records));
            storage.replaceFiles('A', files);
            inst.partition('A').files = std::move(files);
        }
        if (measure) {
            takeReadings(inst.partition('A'), 'A', static_cast<std::size_t>(*measure), drift);
            storage.replaceFiles('A', inst.partition('A').files);
        }
        Protocol protocol(inst, &storage);
        LineEngine engine(protocol, line);

        ServeEnd end;
        if (pty) {
            Pty port;
            const auto dir = portDirectory();
            preparePortDirectory(dir);
            const int n = publishPortLink(dir, port.slavePath());
            std::printf("COM%d %s\n", n, port.slavePath().c_str());
            std::fflush(stdout);
            std::cerr << "ktm520-sim: COM" << n << " = " << port.slavePath() << " (" << (dir / ("com" + std::to_string(n))).string()
                      << "), state " << state.string() << ", " << line.baud << " baud" << (line.paced ? "" : ", not paced")
                      << "\n";
            end = serveLine(port.masterFd(), engine, stopPipe[0]);
            removePortLink(dir, n, port.slavePath());
            port.close();
        } else {
            const int fd = openSerialDevice(device, line.baud);
            std::cerr << "ktm520-sim: serving " << device << " at " << line.baud << " baud, state " << state.string() << "\n";
            end = serveLine(fd, engine, stopPipe[0]);
            ::close(fd);
        }
        switch (end) {
        case ServeEnd::Stopped: return 0;
        case ServeEnd::HungUp: std::cerr << "ktm520-sim: hung up (fault)\n"; return 3;
        case ServeEnd::LineClosed: std::cerr << "ktm520-sim: the line failed\n"; return 4;
        }
    } catch (const std::exception& e) {
        std::cerr << "ktm520-sim: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
