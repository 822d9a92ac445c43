#include "ktmsim/frontend.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace ktmsim {

namespace {

std::runtime_error sysError(const std::string& what)
{
    return std::runtime_error(what + ": " + std::strerror(errno));
}

std::string envOr(const char* name)
{
    const char* v = std::getenv(name);
    return v ? std::string(v) : std::string();
}

speed_t speedFor(int baud)
{
    switch (baud) {
    case 1200: return B1200;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    case 230400: return B230400;
    default: throw std::runtime_error("unsupported baud rate " + std::to_string(baud));
    }
}

void makeRaw(int fd)
{
    termios t{};
    if (::tcgetattr(fd, &t) != 0) throw sysError("tcgetattr");
    ::cfmakeraw(&t);
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    if (::tcsetattr(fd, TCSANOW, &t) != 0) throw sysError("tcsetattr");
}

} // namespace

fs::path portDirectory()
{
    if (auto d = envOr("VARNOK_PORT_DIR"); !d.empty()) return d;
    if (auto d = envOr("XDG_RUNTIME_DIR"); !d.empty()) return fs::path(d) / "varnok-ports";
    return "/tmp/varnok-ports-" + std::to_string(::getuid());
}

fs::path defaultStateDirectory()
{
    if (auto d = envOr("XDG_DATA_HOME"); !d.empty()) return fs::path(d) / "ktm520-sim";
    auto home = envOr("HOME");
    if (home.empty()) throw std::runtime_error("neither XDG_DATA_HOME nor HOME is set; use --state DIR");
    return fs::path(home) / ".local" / "share" / "ktm520-sim";
}

void preparePortDirectory(const fs::path& dir)
{
    std::error_code ec;
    fs::create_directories(dir.parent_path(), ec);
    if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) throw sysError("cannot create " + dir.string());
    struct stat st {};
    if (::lstat(dir.c_str(), &st) != 0) throw sysError("cannot inspect " + dir.string());
    if (!S_ISDIR(st.st_mode)) throw std::runtime_error(dir.string() + " is not a folder");
    if (st.st_uid != ::getuid()) throw std::runtime_error(dir.string() + " belongs to another user");
}

int publishPortLink(const fs::path& dir, const std::string& target)
{
    for (int n = 1; n <= 256; ++n) {
        const fs::path link = dir / ("com" + std::to_string(n));
        if (::symlink(target.c_str(), link.c_str()) == 0) return n;
        if (errno != EEXIST) throw sysError("cannot create " + link.string());
        struct stat lst {
        }, st{};
        if (::lstat(link.c_str(), &lst) != 0 || !S_ISLNK(lst.st_mode)) continue; // not a link: leave it
        if (::stat(link.c_str(), &st) == 0) continue;                            // live link
        // Dangling: replace it in one step with a fresh link renamed over it.
        const fs::path tmp = dir / (".com" + std::to_string(n) + ".new-" + std::to_string(::getpid()));
        ::unlink(tmp.c_str());
        if (::symlink(target.c_str(), tmp.c_str()) != 0) throw sysError("cannot create " + tmp.string());
        if (::rename(tmp.c_str(), link.c_str()) == 0) return n;
        ::unlink(tmp.c_str());
    }
    throw std::runtime_error("no free port name com1..com256 in " + dir.string());
}

void removePortLink(const fs::path& dir, int n, const std::string& target)
{
    const fs::path link = dir / ("com" + std::to_string(n));
    char buf[4096];
    const ssize_t len = ::readlink(link.c_str(), buf, sizeof buf - 1);
    if (len < 0) return;
    if (std::string(buf, static_cast<std::size_t>(len)) == target) ::unlink(link.c_str());
}

Pty::Pty()
{
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0) throw sysError("posix_openpt");
    if (::grantpt(master_) != 0 || ::unlockpt(master_) != 0) {
        auto e = sysError("grantpt/unlockpt");
        close();
        throw e;
    }
    char name[256];
    if (::ptsname_r(master_, name, sizeof name) != 0) {
        auto e = sysError("ptsname");
        close();
        throw e;
    }
    slavePath_ = name;
    heldSlave_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (heldSlave_ < 0) {
        auto e = sysError("cannot open " + slavePath_);
        close();
        throw e;
    }
    makeRaw(heldSlave_);
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
}

Pty::~Pty() { close(); }

void Pty::close()
{
    if (heldSlave_ >= 0) ::close(heldSlave_);
    if (master_ >= 0) ::close(master_);
    heldSlave_ = master_ = -1;
}

int openSerialDevice(const std::string& path, int baud)
{
    const speed_t speed = speedFor(baud);
    int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) throw sysError("cannot open " + path);
    try {
        termios t{};
        if (::tcgetattr(fd, &t) != 0) throw sysError(path + " is not a serial device");
        ::cfmakeraw(&t);
        t.c_cflag &= ~static_cast<tcflag_t>(PARENB | CSTOPB | CSIZE | CRTSCTS);
        t.c_cflag |= CS8 | CLOCAL | CREAD;
        t.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
        t.c_cc[VMIN] = 0;
        t.c_cc[VTIME] = 0;
        ::cfsetispeed(&t, speed);
        ::cfsetospeed(&t, speed);
        if (::tcsetattr(fd, TCSANOW, &t) != 0) throw sysError("cannot configure " + path);
        ::tcflush(fd, TCIOFLUSH);
    } catch (...) {
        ::close(fd);
        throw;
    }
    return fd;
}

ServeEnd serveLine(int fd, LineEngine& engine, int stopFd)
{
    char buf[4096];
    bool wantWrite = false; // the last write did not take everything: wait for POLLOUT
    while (true) {
        auto now = Clock::now();
        if (engine.hangUpDue(now)) return ServeEnd::HungUp;

        int timeout = -1;
        if (auto wake = engine.nextWake(now); wake && !wantWrite) {
            const auto ms = std::chrono::ceil<std::chrono::milliseconds>(*wake - now).count();
            timeout = static_cast<int>(std::clamp<long long>(ms, 0, 60'000));
        }
        pollfd fds[2] = {{fd, static_cast<short>(POLLIN | (wantWrite ? POLLOUT : 0)), 0}, {stopFd, POLLIN, 0}};
        if (::poll(fds, 2, timeout) < 0) {
            if (errno == EINTR) continue;
            return ServeEnd::LineClosed;
        }
        if (fds[1].revents) return ServeEnd::Stopped;
        now = Clock::now();
        if (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) {
            const ssize_t n = ::read(fd, buf, sizeof buf);
            if (n > 0) {
                engine.receive(std::string_view(buf, static_cast<std::size_t>(n)), now);
            } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
                return ServeEnd::LineClosed;
            }
        }
        wantWrite = false;
        while (true) {
            now = Clock::now();
            const std::string_view out = engine.writable(now);
            if (out.empty()) break;
            const ssize_t n = ::write(fd, out.data(), out.size());
            if (n < 0) {
                if (errno == EINTR) continue;
                if (errno == EAGAIN) {
                    wantWrite = true;
                    break;
                }
                return ServeEnd::LineClosed;
            }
            engine.consumed(static_cast<std::size_t>(n), now);
        }
    }
}

} // namespace ktmsim
