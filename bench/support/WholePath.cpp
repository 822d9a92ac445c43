#include "WholePath.h"

#include "ktmsim/engine.h"
#include "ktmsim/frontend.h"
#include "ktmsim/protocol.h"
#include "ktmsim/seed.h"

#include <QTemporaryDir>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <poll.h>
#include <spawn.h>
#include <stdexcept>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace benchpath {
namespace {

constexpr const char* kTime = "/usr/bin/time";
using Clock = std::chrono::steady_clock;

// The simulator's line loop (ktmsim::serveLine), noting when each write of the reply to the last
// command went out.
class TimedLine {
public:
    TimedLine(ktmsim::LineEngine& engine, int fd) : m_engine(engine), m_fd(fd)
    {
        if (::pipe(m_stop) != 0)
            throw std::runtime_error("pipe");
        m_thread = std::thread([this] { serve(); });
    }
    ~TimedLine()
    {
        const char c = 's';
        [[maybe_unused]] auto r = ::write(m_stop[1], &c, 1);
        m_thread.join();
        ::close(m_stop[0]);
        ::close(m_stop[1]);
    }
    Clock::time_point lastWrite() const { return Clock::time_point(Clock::duration(m_last.load())); }
    Clock::time_point firstWrite() const { return Clock::time_point(Clock::duration(m_first.load())); }
    std::uint64_t bytesOut() const { return m_bytes.load(); }

private:
    void serve()
    {
        char buf[4096];
        bool wantWrite = false;
        while (true) {
            auto now = Clock::now();
            int timeout = -1;
            if (auto wake = m_engine.nextWake(now); wake && !wantWrite)
                timeout = int(std::clamp<long long>(
                    std::chrono::ceil<std::chrono::milliseconds>(*wake - now).count(), 0, 60000));
            pollfd fds[2] = {{m_fd, short(POLLIN | (wantWrite ? POLLOUT : 0)), 0}, {m_stop[0], POLLIN, 0}};
            if (::poll(fds, 2, timeout) < 0) {
                if (errno == EINTR)
                    continue;
                return;
            }
            if (fds[1].revents)
                return;
            if (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) {
                const ssize_t n = ::read(m_fd, buf, sizeof buf);
                if (n > 0) {
                    // A program sends nothing while a reply is due: what goes out from here on
                    // answers this command.
                    m_bytes = 0;
                    m_engine.receive(std::string_view(buf, std::size_t(n)), Clock::now());
                }
            }
            wantWrite = false;
            while (true) {
                now = Clock::now();
                const std::string_view out = m_engine.writable(now);
                if (out.empty())
                    break;
                const ssize_t n = ::write(m_fd, out.data(), out.size());
                if (n < 0) {
                    if (errno == EINTR)
                        continue;
                    if (errno == EAGAIN)
                        wantWrite = true;
                    break;
                }
                const auto at = Clock::now().time_since_epoch().count();
                if (m_bytes.load() == 0)
                    m_first = at;
                m_last = at;
                m_bytes += std::uint64_t(n);
                m_engine.consumed(std::size_t(n), Clock::now());
                if (wantWrite)
                    break;
            }
        }
    }

    ktmsim::LineEngine& m_engine;
    int m_fd;
    int m_stop[2] = {-1, -1};
    std::atomic<Clock::rep> m_first{0};
    std::atomic<Clock::rep> m_last{0};
    std::atomic<std::uint64_t> m_bytes{0};
    std::thread m_thread;
};

std::vector<char*> pointers(std::vector<std::string>& strings)
{
    std::vector<char*> out;
    for (auto& s : strings)
        out.push_back(s.data());
    out.push_back(nullptr);
    return out;
}

} // namespace

void report(benchmark::State& state, const Outcome& out)
{
    state.counters["reply_MB"] = double(out.replyBytes) / 1e6;
    state.counters["transfer_s"] = out.transferSeconds;
    state.counters["after_last_byte_s"] = out.afterLastByteSeconds;
    state.counters["total_s"] = out.totalSeconds;
    state.counters["peak_rss_MB"] = out.peakRssBytes / 1e6;
    state.counters["peak_rss_per_reply"] = out.peakRssBytes / double(out.replyBytes);
}

double secondsAfterLastByte(const Outcome& outcome, const std::string& markFile)
{
    std::ifstream in(markFile);
    long long ns = 0;
    if (!(in >> ns) || outcome.lastByteSteadyNs == 0)
        return -1;
    return double(ns - outcome.lastByteSteadyNs) / 1e9;
}

long long countLines(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return -1;
    long long lines = 0;
    std::vector<char> chunk(1 << 20);
    while (in) {
        in.read(chunk.data(), std::streamsize(chunk.size()));
        lines += std::count(chunk.begin(), chunk.begin() + in.gcount(), '\n');
    }
    return lines;
}

Outcome copyPartitionThrough(std::size_t records, const std::string& program, std::vector<std::string> arguments,
                             const std::vector<std::string>& extraEnvironment)
{
    Outcome out;
    if (::access(kTime, X_OK) != 0) {
        out.error = "/usr/bin/time is missing (Debian package time; scripts/bootstrap installs it)";
        return out;
    }
    ktmsim::Instrument instrument = ktmsim::defaultSeed();
    instrument.partition('A').files = ktmsim::largePartitionFiles('A', records);
    ktmsim::Protocol protocol(instrument, nullptr);
    out.replyBytes = protocol.execute("COPY A").size();
    ktmsim::LineEngine engine(protocol, ktmsim::LineOptions{9600, /*paced=*/false, {}});

    QTemporaryDir dir;
    const std::string ports = (dir.path() + "/ports").toStdString();
    ktmsim::preparePortDirectory(ports);
    ktmsim::Pty pty;
    const int n = ktmsim::publishPortLink(ports, pty.slavePath());
    for (auto& a : arguments)
        if (a == "{port}")
            a = "COM" + std::to_string(n);

    std::vector<std::string> env{"VARNOK_PORT_DIR=" + ports};
    env.insert(env.end(), extraEnvironment.begin(), extraEnvironment.end());
    for (char** e = environ; *e; ++e)
        if (std::string_view(*e).rfind("VARNOK_PORT_DIR=", 0) != 0)
            env.emplace_back(*e);
    const std::string peakFile = (dir.path() + "/peak-kb").toStdString();
    std::vector<std::string> args{kTime, "-f", "%M", "-o", peakFile, program};
    args.insert(args.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv = pointers(args);
    std::vector<char*> envp = pointers(env);

    {
        TimedLine line(engine, pty.masterFd());
        const auto start = Clock::now();
        pid_t pid = -1;
        if (posix_spawn(&pid, kTime, nullptr, nullptr, argv.data(), envp.data()) != 0) {
            out.error = "cannot start " + program;
            ktmsim::removePortLink(ports, n, pty.slavePath());
            return out;
        }
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        const auto end = Clock::now();
        out.ran = true;
        out.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        out.afterLastByteSeconds = std::chrono::duration<double>(end - line.lastWrite()).count();
        out.transferSeconds = std::chrono::duration<double>(line.lastWrite() - line.firstWrite()).count();
        out.lastByteSteadyNs = std::chrono::duration_cast<std::chrono::nanoseconds>(line.lastWrite().time_since_epoch()).count();
        out.totalSeconds = std::chrono::duration<double>(end - start).count();
        if (line.bytesOut() != out.replyBytes)
            out.error = "the line did not carry the whole reply";
    }
    ktmsim::removePortLink(ports, n, pty.slavePath());
    // time(1) puts "Command exited with non-zero status N" before the figure when the child failed.
    std::ifstream peak(peakFile);
    std::string lastLine;
    for (std::string l; std::getline(peak, l);)
        if (!l.empty())
            lastLine = l;
    out.peakRssBytes = double(std::atoll(lastLine.c_str())) * 1024.0;
    return out;
}

} // namespace benchpath
