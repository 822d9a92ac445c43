// ktm520-cli copying a partition of 1,000,000 records to CSV, as a nightly download would, from
// the simulated instrument on an unpaced pseudo-terminal.
//
// The simulator runs here, in this process, from the same library ktm520-sim is built from and
// with what `ktm520-sim --records 1000000 --no-pace` would give it, so that the moment the last
// byte of the reply is written to the line is known exactly. ktm520-cli is started as a child
// process through /usr/bin/time, which reports its peak resident memory. (The peak of a child
// spawned from this process directly would include this process's memory: the kernel carries
// the high-water mark of the address space a child had before exec over into the program it
// runs, and this process holds the simulator's million records.)
//
// Reported: after_last_byte_s, from the last byte written to the line until the program has
// exited with the CSV written (the reply's quiet spell of 0.2 s included; target <= 2 s), and
// peak_rss_per_reply, the program's peak memory over the size of the reply (target <= 3).
#include "ktmsim/engine.h"
#include "ktmsim/frontend.h"
#include "ktmsim/protocol.h"
#include "ktmsim/seed.h"

#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

constexpr std::size_t kRecords = 1000000;
constexpr const char* kTime = "/usr/bin/time";
using Clock = std::chrono::steady_clock;

// The simulator's line loop (ktmsim::serveLine), noting when each write went out.
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
                if (n > 0)
                    m_engine.receive(std::string_view(buf, std::size_t(n)), Clock::now());
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

qint64 countLines(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    qint64 lines = 0;
    while (!f.atEnd()) {
        const QByteArray chunk = f.read(1 << 20);
        lines += chunk.count('\n');
    }
    return lines;
}

void BM_CliCopyMillionRecordsToCsv(benchmark::State& state)
{
    ktmsim::Instrument instrument = ktmsim::defaultSeed();
    instrument.partition('A').files = ktmsim::largePartitionFiles('A', kRecords);
    ktmsim::Protocol protocol(instrument, nullptr);
    const std::size_t replyBytes = protocol.execute("COPY A").size();
    ktmsim::LineEngine engine(protocol, ktmsim::LineOptions{9600, /*paced=*/false, {}});

    QTemporaryDir dir;
    const std::string ports = (dir.path() + "/ports").toStdString();
    ktmsim::preparePortDirectory(ports);
    ktmsim::Pty pty;
    const int n = ktmsim::publishPortLink(ports, pty.slavePath());
    const QString csv = dir.path() + "/A.csv";

    double afterLastByte = 0;
    double total = 0;
    double transfer = 0;
    long peakKb = 0;
    int status = -1;
    for (auto _ : state) {
        TimedLine line(engine, pty.masterFd());
        const std::string portDir = "VARNOK_PORT_DIR=" + ports;
        std::vector<std::string> env{portDir};
        for (char** e = environ; *e; ++e)
            if (std::string_view(*e).rfind("VARNOK_PORT_DIR=", 0) != 0)
                env.emplace_back(*e);
        std::vector<char*> envp;
        for (auto& s : env)
            envp.push_back(s.data());
        envp.push_back(nullptr);
        const std::string peakFile = (dir.path() + "/peak-kb").toStdString();
        std::vector<std::string> args{kTime, "-f", "%M", "-o", peakFile, KTM_CLI_PATH, "--quiet", "--port",
                                      "COM" + std::to_string(n), "copy", "A", "-o", csv.toStdString()};
        std::vector<char*> argv;
        for (auto& s : args)
            argv.push_back(s.data());
        argv.push_back(nullptr);

        const auto start = Clock::now();
        pid_t pid = -1;
        if (::access(kTime, X_OK) != 0) {
            state.SkipWithError("/usr/bin/time is missing (Debian package time; scripts/bootstrap installs it)");
            return;
        }
        if (posix_spawn(&pid, kTime, nullptr, nullptr, argv.data(), envp.data()) != 0) {
            state.SkipWithError("cannot start ktm520-cli");
            return;
        }
        rusage usage{};
        while (::wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
        }
        const auto end = Clock::now();
        afterLastByte = std::chrono::duration<double>(end - line.lastWrite()).count();
        transfer = std::chrono::duration<double>(line.lastWrite() - line.firstWrite()).count();
        total = std::chrono::duration<double>(end - start).count();
        QFile peak(QString::fromStdString(peakFile));
        peakKb = peak.open(QIODevice::ReadOnly) ? peak.readAll().trimmed().toLong() : 0;
        state.SetIterationTime(afterLastByte);
        if (line.bytesOut() != replyBytes) {
            state.SkipWithError("the line did not carry the whole reply");
            return;
        }
    }
    ktmsim::removePortLink(ports, n, pty.slavePath());

    const double peakBytes = double(peakKb) * 1024.0;
    state.counters["reply_MB"] = double(replyBytes) / 1e6;
    state.counters["transfer_s"] = transfer;
    state.counters["after_last_byte_s"] = afterLastByte;
    state.counters["total_s"] = total;
    state.counters["peak_rss_MB"] = peakBytes / 1e6;
    state.counters["peak_rss_per_reply"] = peakBytes / double(replyBytes);
    state.counters["csv_lines"] = double(countLines(csv));
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        state.SkipWithError("ktm520-cli did not succeed");
    else if (countLines(csv) != qint64(kRecords) + 1)
        state.SkipWithError("the CSV does not hold every record");
}
BENCHMARK(BM_CliCopyMillionRecordsToCsv)->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);

} // namespace
