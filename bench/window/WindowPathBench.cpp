// The main window receiving a partition of 1,000,000 records from the simulated instrument on
// an unpaced pseudo-terminal, filling its preview and saving it as .xlsx and as CSV, as an
// engineer's click on "拷贝分区" and "保存预览文件<==" would (bench_window_run, offscreen).
//
// The window keeps its archive as users run it, each case in an archive of its own.
//
// Reported: after_last_byte_s, from the last byte written to the line until the window had saved
// the file, archived the copy and exited (the reply's quiet spell of 0.2 s included),
// grid_shown_s, from the last byte until the filled grid could be painted (target: 0.25 s
// beyond the quiet spell), and peak_rss_per_reply, the program's peak resident memory over the
// size of the reply (target <= 3).
#include "WholePath.h"

#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

namespace {

constexpr std::size_t kRecords = 1000000;

void BM_WindowCopyAndSaveMillionRecords(benchmark::State& state, const char* suffix)
{
    QTemporaryDir dir;
    const std::string file = (dir.path() + "/A" + suffix).toStdString();
    const std::string archive = (dir.path() + "/archive.sqlite").toStdString();
    const std::string mark = (dir.path() + "/grid-shown").toStdString();
    benchpath::Outcome out;
    for (auto _ : state) {
        out = benchpath::copyPartitionThrough(kRecords, KTM_WINDOW_RUN_PATH,
                                              {"--port", "{port}", "--out", file, "--archive", archive, "--mark", mark},
                                              {"QT_QPA_PLATFORM=offscreen"});
        state.SetIterationTime(out.afterLastByteSeconds);
    }
    benchpath::report(state, out);
    state.counters["grid_shown_s"] = benchpath::secondsAfterLastByte(out, mark);
    if (!out.error.empty())
        state.SkipWithError(out.error.c_str());
    else if (out.exitCode != 0)
        state.SkipWithError("the window did not save the partition");
    else if (std::string(suffix) == ".csv" && benchpath::countLines(file) != (long long)kRecords + 1)
        state.SkipWithError("the CSV does not hold every record");
    else if (std::filesystem::file_size(file) < kRecords)
        state.SkipWithError("the workbook is too small to hold every record");
}
BENCHMARK_CAPTURE(BM_WindowCopyAndSaveMillionRecords, xlsx, ".xlsx")
    ->UseManualTime()
    ->Iterations(1)
    ->Unit(benchmark::kSecond);
BENCHMARK_CAPTURE(BM_WindowCopyAndSaveMillionRecords, csv, ".csv")
    ->UseManualTime()
    ->Iterations(1)
    ->Unit(benchmark::kSecond);

} // namespace
