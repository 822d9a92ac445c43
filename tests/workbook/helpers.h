// Shared helpers of the workbook engine tests: scratch folders, running the independent Python
// readers and writers, and reading files.
#pragma once

#include "workbook/workbook.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#ifndef _WIN32
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace wbtest {

namespace fs = std::filesystem;

class ScratchDir {
public:
    ScratchDir()
    {
        std::random_device rd;
        path_ = fs::temp_directory_path() / ("wbtest-" + std::to_string(rd()) + std::to_string(rd()));
        fs::create_directories(path_);
    }
    ~ScratchDir()
    {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    std::string file(const std::string& name) const { return (path_ / name).string(); }
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

struct RunResult {
    int status = -1;
    std::string out;
};

inline RunResult run(const std::string& command)
{
    RunResult r;
    std::FILE* p = popen(command.c_str(), "r");
    if (!p) return r;
    char buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
    r.status = pclose(p);
    return r;
}

inline std::string quote(const std::string& s) { return "'" + s + "'"; }

// Runs one of the helper scripts with the distribution's Python (which carries xlrd, xlwt, openpyxl).
inline RunResult python(const std::string& script, const std::string& args)
{
    return run(std::string(WB_PYTHON) + " " + quote(std::string(WB_PY_DIR) + "/" + script) + " " + args + " 2>&1");
}

inline std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

inline void writeFile(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out << bytes;
}

#ifndef _WIN32
// The number of a process that has ended: a child that exits at once, waited for.
inline long endedProcess()
{
    const pid_t child = fork();
    if (child == 0) _exit(0);
    waitpid(child, nullptr, 0);
    return long(child);
}

// Runs `body` with every file this process writes limited to `bytes` (the write beyond fails with
// EFBIG, as a full disk fails it with ENOSPC); the limit is lifted again afterwards.
template <class F>
void withFileSizeLimit(rlim_t bytes, F&& body)
{
    const auto handler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit saved{}, limit{};
    getrlimit(RLIMIT_FSIZE, &saved);
    limit = {bytes, saved.rlim_max};
    setrlimit(RLIMIT_FSIZE, &limit);
    body();
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, handler);
}

#endif

// The files in a folder whose names are of the temporary files of writes to `target`.
inline std::vector<std::string> temporariesOf(const fs::path& target)
{
    std::vector<std::string> out;
    const std::string prefix = "~" + target.filename().string() + ".";
    for (auto& e : fs::directory_iterator(target.parent_path())) {
        const std::string name = e.path().filename().string();
        if (name.rfind(prefix, 0) == 0 && name.find(".saving") != std::string::npos) out.push_back(name);
    }
    return out;
}

inline std::string escape(const std::string& s)
{
    std::string out;
    for (char c : s) {
        if (c == '\\') out += "\\\\";
        else if (c == '\n') out += "\\n";
        else if (c == '\t') out += "\\t";
        else if (c == '\r') out += "\\r";
        else out += c;
    }
    return out;
}

} // namespace wbtest
