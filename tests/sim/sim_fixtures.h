// Small hand-made instrument shared by the simulator tests, so expected replies can be written
// out byte by byte.
#pragma once

#include "ktmsim/model.h"

#include <filesystem>
#include <random>
#include <string>

namespace simtest {

inline ktmsim::Instrument smallInstrument()
{
    ktmsim::Instrument inst;
    auto& a = inst.partition('A');
    a.files.push_back({"F1", {"A001 28456 235 2026-12-07 10:31:05", "A002 30001 240 2026-12-07 10:32:05"}});
    a.files.push_back({"F2", {}});
    a.components = {{1, "QRVA000001"}, {12, "X"}};
    inst.partition('C').files.push_back({"C-1", {"C007 19990 -15 2026-01-02 03:04:05"}});
    return inst;
}

// A fresh empty folder under the system temp folder, removed at the end of the test.
class TempDir {
public:
    TempDir()
    {
        std::random_device rd;
        path_ = std::filesystem::temp_directory_path() / ("ktmsim-test-" + std::to_string(rd()) + std::to_string(rd()));
        std::filesystem::create_directories(path_);
    }
    ~TempDir()
    {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

} // namespace simtest
