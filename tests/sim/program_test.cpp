// The real ktm520-sim program over a pseudo-terminal, as the data manager and scripts use it.
#include "sim_fixtures.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <thread>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

class SimProcess {
public:
    SimProcess(const fs::path& portDir, const fs::path& state, std::vector<std::string> extra = {},
               std::string port = "--pty")
    {
        int out[2];
        if (::pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
        std::vector<std::string> args = {KTM520_SIM_PATH, "--state", state.string(), "--no-pace"};
        if (port == "--pty") args.push_back(port);
        else args.insert(args.end(), {"--device", port});
        args.insert(args.end(), extra.begin(), extra.end());
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(out[1], 1);
            ::close(out[0]);
            ::close(out[1]);
            ::setenv("VARNOK_PORT_DIR", portDir.c_str(), 1);
            std::vector<char*> argv;
            for (auto& a : args) argv.push_back(a.data());
            argv.push_back(nullptr);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        ::close(out[1]);
        stdout_ = out[0];
    }
    ~SimProcess()
    {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        ::close(stdout_);
    }
    // The first line of standard output, without its line end ("" on time-out or end of output).
    std::string firstLine()
    {
        std::string line;
        char c;
        while (true) {
            pollfd p{stdout_, POLLIN, 0};
            if (::poll(&p, 1, 10000) <= 0 || ::read(stdout_, &c, 1) != 1 || c == '\n') return line;
            line += c;
        }
    }
    int terminate(int sig = SIGTERM)
    {
        ::kill(pid_, sig);
        return wait();
    }
    // Exit status, or -1 when it did not end within 10 s.
    int wait()
    {
        for (int i = 0; i < 1000; ++i) {
            int status = 0;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(10ms);
        }
        return -1;
    }

private:
    pid_t pid_ = -1;
    int stdout_ = -1;
};

// A client on the slave side, like a serial port opened by the data manager.
class Client {
public:
    explicit Client(const std::string& dev) : fd_(::open(dev.c_str(), O_RDWR | O_NOCTTY))
    {
        if (fd_ < 0) throw std::runtime_error("cannot open " + dev);
        termios t{};
        ::tcgetattr(fd_, &t);
        ::cfmakeraw(&t);
        ::tcsetattr(fd_, TCSANOW, &t);
    }
    ~Client() { ::close(fd_); }
    // Sends a command and collects the reply until the line is quiet for 200 ms.
    std::string ask(const std::string& cmd)
    {
        if (::write(fd_, cmd.data(), cmd.size()) != static_cast<ssize_t>(cmd.size())) return "<write failed>";
        return readQuiet();
    }
    std::string readQuiet()
    {
        std::string got;
        char buf[4096];
        while (true) {
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, 200) <= 0) return got;
            const ssize_t n = ::read(fd_, buf, sizeof buf);
            if (n <= 0) return got + "<closed>";
            got.append(buf, static_cast<std::size_t>(n));
        }
    }

private:
    int fd_;
};

std::string linkTarget(const fs::path& p)
{
    std::error_code ec;
    auto t = fs::read_symlink(p, ec);
    return ec ? std::string() : t.string();
}

class ProgramTest : public ::testing::Test {
protected:
    simtest::TempDir tmp;
    fs::path ports = tmp.path() / "ports";
    fs::path state = tmp.path() / "state";
};

TEST_F(ProgramTest, PublishesPortAnswersAcrossReconnectsAndCleansUp)
{
    SimProcess sim(ports, state);
    const std::string first = sim.firstLine();
    ASSERT_EQ(first.rfind("COM1 /dev/pts/", 0), 0u) << first;
    const std::string dev = first.substr(5);
    EXPECT_EQ(linkTarget(ports / "com1"), dev);

    {
        Client c(dev);
        EXPECT_EQ(c.ask("DIR\r\n"), "A-J\r\n");
        EXPECT_EQ(c.ask("NEWFILE A KEPT\r\n"), "OK\r\n");
    }
    {
        Client c(dev); // a second connection after the first one closed
        EXPECT_EQ(c.ask("DI"), "");
        EXPECT_EQ(c.ask("R\r\n"), "A-J\r\n");
        const std::string list = c.ask("DIR A\r\n");
        EXPECT_NE(list.find("\r\nKEPT\r\n"), std::string::npos) << list;
    }
    EXPECT_EQ(sim.terminate(SIGTERM), 0);
    EXPECT_FALSE(fs::exists(fs::symlink_status(ports / "com1")));

    // The change was kept in the state folder: a new run lists it.
    SimProcess again(ports, state);
    const std::string dev2 = again.firstLine().substr(5);
    Client c(dev2);
    EXPECT_NE(c.ask("DIR A\r\n").find("\r\nKEPT\r\n"), std::string::npos);
    EXPECT_EQ(again.terminate(SIGINT), 0);
}

TEST_F(ProgramTest, TakesTheLowestFreeNameAndReplacesDanglingLinks)
{
    fs::create_directories(ports);
    fs::create_symlink(tmp.path() / "gone", ports / "com1"); // left by a killed run
    std::ofstream(ports / "com2") << "not a link";           // not ours: left alone
    SimProcess a(ports, state);
    EXPECT_EQ(a.firstLine().substr(0, 5), "COM1 ");
    SimProcess b(ports, tmp.path() / "state-b");
    const std::string second = b.firstLine();
    EXPECT_EQ(second.substr(0, 5), "COM3 ") << second;
    EXPECT_EQ(linkTarget(ports / "com3"), second.substr(5));
    EXPECT_EQ(b.terminate(), 0);
    EXPECT_TRUE(fs::is_symlink(ports / "com1"));
    EXPECT_FALSE(fs::exists(fs::symlink_status(ports / "com3")));
    EXPECT_EQ(a.terminate(), 0);
    EXPECT_TRUE(fs::is_regular_file(ports / "com2"));
}

TEST_F(ProgramTest, HangUpFaultClosesTheLineAndRemovesTheLink)
{
    SimProcess sim(ports, state, {"--fault", "hangup@2"});
    const std::string dev = sim.firstLine().substr(5);
    Client c(dev);
    EXPECT_EQ(c.ask("DIR\r\n"), "A-J\r\n");
    c.ask("DIR\r\n");
    EXPECT_EQ(sim.wait(), 3);
    EXPECT_FALSE(fs::exists(fs::symlink_status(ports / "com1")));
}

TEST_F(ProgramTest, ServesASerialDeviceUntilTheLineGoes)
{
    // One end of a pseudo-terminal pair stands in for a serial device.
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    const std::string slave = ::ptsname(master);
    termios t{};
    ::tcgetattr(master, &t);
    ::cfmakeraw(&t); // no echo while the simulator is still starting
    ::tcsetattr(master, TCSANOW, &t);
    SimProcess sim(ports, state, {"--baud", "115200"}, slave);
    std::string reply;
    for (int i = 0; i < 50 && reply.empty(); ++i) { // until the simulator has opened the device
        ASSERT_EQ(::write(master, "DIR\r\n", 5), 5);
        pollfd p{master, POLLIN, 0};
        if (::poll(&p, 1, 100) > 0) {
            char buf[64];
            const ssize_t n = ::read(master, buf, sizeof buf);
            if (n > 0) reply.assign(buf, static_cast<std::size_t>(n));
        }
    }
    EXPECT_EQ(reply.substr(0, 5), "A-J\r\n");
    EXPECT_FALSE(fs::exists(ports)); // no port link for a device
    ::close(master);                 // the device goes away
    EXPECT_EQ(sim.wait(), 4);
}

TEST_F(ProgramTest, SecondSimulatorOnTheSameStateRefusesToStart)
{
    SimProcess a(ports, state);
    ASSERT_EQ(a.firstLine().substr(0, 5), "COM1 ");
    SimProcess b(ports, state);
    EXPECT_EQ(b.firstLine(), "");
    EXPECT_EQ(b.wait(), 1);
    EXPECT_EQ(a.terminate(), 0);
}

// The last reading of `code` in the newest file of partition A in a state folder.
int lastReading(const fs::path& state, const std::string& code)
{
    std::ifstream index(state / "A" / "index.txt");
    std::string line, id;
    while (std::getline(index, line))
        if (!line.empty()) id = line.substr(0, line.find(' '));
    std::ifstream records(state / "A" / (id + ".txt"));
    int last = -1;
    while (std::getline(records, line))
        if (line.starts_with(code + " ")) last = std::stoi(line.substr(code.size() + 1));
    return last;
}

TEST_F(ProgramTest, DriftCarriesAcrossMeasuringRuns)
{
    int previous = -1;
    for (int run = 0; run < 2; ++run) {
        // the seeded partition A has 4 components, so 6 readings take A001 twice
        SimProcess sim(ports, state, {"--measure", "6", "--drift", "A001=2000"});
        ASSERT_EQ(sim.firstLine().substr(0, 5), "COM1 ");
        ASSERT_EQ(sim.terminate(), 0);
        const int now = lastReading(state, "A001");
        ASSERT_GT(now, 0);
        // each A001 reading adds 2000 ± 40: two readings at least 3920 more
        if (previous > 0) EXPECT_GE(now - previous, 3920) << run;
        previous = now;
    }
}

TEST_F(ProgramTest, RefusesBadCommandLines)
{
    for (std::vector<std::string> args : {std::vector<std::string>{"--fault", "late"}, {"--baud", "fast"}, {"--records", "-1"}, {"--bogus"}, {"--measure", "1", "--drift", "A001"}, {"--measure", "1", "--drift", "A001=x"}, {"--measure", "1", "--drift", "B001=30"}, {"--measure", "1", "--drift", "A001=100001"}, {"--drift", "A001=30"}}) {
        SimProcess sim(ports, state, args);
        EXPECT_EQ(sim.firstLine(), "");
        EXPECT_EQ(sim.wait(), 2) << args[0];
    }
    EXPECT_FALSE(fs::exists(state));
}

} // namespace
