// The temporary file a write goes to before it replaces its target, shared by every writer of the
// program: its name, its exclusive creation, the read-only check and the clean-up after writers
// that were killed.
#include "system.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>

#ifdef _WIN32
#include <io.h>
#include <process.h>
#include <windows.h>
#else
#include <csignal>
#include <unistd.h>
#endif

namespace workbook {

namespace fs = std::filesystem;
using detail::inQuotes;

namespace {

constexpr std::string_view kSaving = ".saving";

long currentProcess()
{
#ifdef _WIN32
    return long(_getpid());
#else
    return long(getpid());
#endif
}

// Whether a process of that number runs on this computer; in doubt, it does.
bool running(long pid)
{
    if (pid <= 0)
        return true;
#ifdef _WIN32
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, DWORD(pid));
    if (!process)
        return GetLastError() != ERROR_INVALID_PARAMETER; // no such process
    DWORD code = 0;
    const bool alive = !GetExitCodeProcess(process, &code) || code == STILL_ACTIVE;
    CloseHandle(process);
    return alive;
#else
    return ::kill(pid_t(pid), 0) == 0 || errno != ESRCH;
#endif
}

std::string bytes(const fs::path& p)
{
    const std::u8string s = p.u8string();
    return std::string(s.begin(), s.end());
}

fs::path fromBytes(const std::string& s) { return fs::path(std::u8string(s.begin(), s.end())); }

bool digits(std::string_view s)
{
    if (s.empty() || s.size() > 18)
        return false;
    for (char c : s)
        if (c < '0' || c > '9')
            return false;
    return true;
}

// A name of the pattern "~NAME.PID-N.saving" + ending: NAME and PID; nothing otherwise.
struct Parsed {
    std::string inner;
    long pid = 0;
};
std::optional<Parsed> parse(const std::string& name)
{
    if (name.size() < 2 || name[0] != '~')
        return std::nullopt;
    const size_t saving = name.rfind(kSaving);
    if (saving == std::string::npos)
        return std::nullopt;
    const std::string_view ending = std::string_view(name).substr(saving + kSaving.size());
    if (!ending.empty()) {
        if (ending.size() < 2 || ending.size() > 9 || ending[0] != '.')
            return std::nullopt;
        for (char c : ending.substr(1))
            if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')))
                return std::nullopt;
    }
    const std::string_view head = std::string_view(name).substr(0, saving); // "~NAME.PID-N"
    const size_t dash = head.rfind('-');
    if (dash == std::string::npos || !digits(head.substr(dash + 1)))
        return std::nullopt;
    const size_t dot = head.rfind('.', dash);
    if (dot == std::string::npos || dot < 2 || !digits(head.substr(dot + 1, dash - dot - 1)))
        return std::nullopt;
    return Parsed{std::string(head.substr(1, dot - 1)), std::stol(std::string(head.substr(dot + 1, dash - dot - 1)))};
}

int openExclusive(const fs::path& path)
{
#ifdef _WIN32
    return _wopen(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
#else
    return ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
#endif
}

std::atomic<unsigned long> g_next{0};

} // namespace

Error checkReplaceable(const fs::path& target)
{
    std::error_code ec;
    const fs::file_status status = fs::status(target, ec);
    if (ec || !fs::exists(status))
        return {};
    if (fs::is_directory(status))
        return Error(ErrorKind::NotAFile, "Cannot replace " + inQuotes(detail::utf8(target)) + ": it is a folder.");
    if (!fs::is_regular_file(status))
        return {};
    constexpr fs::perms writable = fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
    bool readOnly = (status.permissions() & writable) == fs::perms::none;
#ifndef _WIN32
    // Also a file this user may not write, whoever else may.
    if (!readOnly && faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0 && (errno == EACCES || errno == EROFS))
        readOnly = true;
#endif
    if (readOnly)
        return Error(ErrorKind::AccessDenied, "Cannot replace " + inQuotes(detail::utf8(target)) + ": the file is read-only.");
    return {};
}

int removeStaleTemporaries(const fs::path& target)
{
    const std::string name = bytes(target.filename());
    if (name.empty())
        return 0;
    fs::path folder = target.parent_path();
    if (folder.empty())
        folder = ".";
    std::error_code ec;
    fs::directory_iterator it(folder, ec);
    int removed = 0;
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        // A temporary file of the target, or of a temporary file of the target (the engine's own
        // work file beside the .xls save's work copy), whose writers are all gone.
        std::string candidate = bytes(it->path().filename());
        bool ours = false;
        bool abandoned = true;
        for (int depth = 0; depth < 4 && !ours; ++depth) {
            const std::optional<Parsed> p = parse(candidate);
            if (!p)
                break;
            abandoned = abandoned && !running(p->pid);
            ours = p->inner == name;
            candidate = p->inner;
        }
        std::error_code removing;
        if (ours && abandoned && fs::remove(it->path(), removing))
            ++removed;
    }
    return removed;
}

Result<TemporaryFile> createTemporaryFor(const fs::path& target, std::string_view ending)
{
    if (target.empty() || target.filename().empty())
        return Error(ErrorKind::NoPath, "No file name was given.");
    if (Error e = checkReplaceable(target))
        return e;
    removeStaleTemporaries(target);
    const std::string name = bytes(target.filename());
    const std::string process = std::to_string(currentProcess());
    for (int attempt = 0; attempt < 1000; ++attempt) {
        const std::string own = "~" + name + "." + process + "-" + std::to_string(++g_next) + std::string(kSaving) +
                                std::string(ending);
        const fs::path path = target.parent_path() / fromBytes(own);
        errno = 0;
        const int fd = openExclusive(path);
        if (fd < 0) {
            if (errno == EEXIST)
                continue; // left by an earlier process of the same number, or a writer elsewhere
            const int err = errno ? errno : EIO;
            return Error(detail::kindOfErrno(err), "Cannot write " + inQuotes(detail::utf8(target)) + ": " +
                                                       std::strerror(err) + ".");
        }
#ifdef _WIN32
        std::FILE* file = _fdopen(fd, "wb");
#else
        std::FILE* file = fdopen(fd, "wb");
#endif
        if (!file) {
            const int err = errno ? errno : EIO;
#ifdef _WIN32
            _close(fd);
#else
            ::close(fd);
#endif
            std::error_code ec;
            fs::remove(path, ec);
            return Error(detail::kindOfErrno(err), "Cannot write " + inQuotes(detail::utf8(target)) + ": " +
                                                       std::strerror(err) + ".");
        }
        return TemporaryFile{path, file};
    }
    return Error(ErrorKind::InUse, "Cannot write " + inQuotes(detail::utf8(target)) +
                                       ": no free name for its temporary file beside it.");
}

} // namespace workbook
