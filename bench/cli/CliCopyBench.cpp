// ktm520-cli copying a partition of 1,000,000 records, as a nightly download would, from the
// simulated instrument on an unpaced pseudo-terminal, to CSV and to .xlsx, archiving it as users
// run it: each case in a new archive of its own, so that each stores every record.
//
// Reported: after_last_byte_s, from the last byte written to the line until the program has
// exited with the file written (the reply's quiet spell of 0.2 s included; target <= 2 s), and
// peak_rss_per_reply, the program's peak memory over the size of the reply (target <= 3).
#include "WholePath.h"

#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

constexpr std::size_t kRecords = 1000000;

void BM_CliCopyMillionRecords(benchmark::State& state, const char* suffix)
{
    QTemporaryDir dir;
    const std::string file = (dir.path() + "/A" + suffix).toStdString();
    const std::string archive = (dir.path() + "/archive.sqlite").toStdString();
    benchpath::Outcome out;
    for (auto _ : state) {
        // KTM_BENCH_CLI measures another build of the program the same way (an earlier one).
        const char* other = std::getenv("KTM_BENCH_CLI");
        out = benchpath::copyPartitionThrough(kRecords, other ? other : KTM_CLI_PATH,
                                              {"--quiet", "--port", "{port}", "--archive", archive, "copy", "A", "-o", file});
        state.SetIterationTime(out.afterLastByteSeconds);
    }
    benchpath::report(state, out);
    if (!out.error.empty())
        state.SkipWithError(out.error.c_str());
    else if (out.exitCode != 0)
        state.SkipWithError("ktm520-cli did not succeed");
    else if (std::string(suffix) == ".csv" && benchpath::countLines(file) != (long long)kRecords + 1)
        state.SkipWithError("the CSV does not hold every record");
    else if (std::filesystem::file_size(file) < kRecords) // about 10 bytes a record, compressed
        state.SkipWithError("the workbook is too small to hold every record");
}
BENCHMARK_CAPTURE(BM_CliCopyMillionRecords, csv, ".csv")->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK_CAPTURE(BM_CliCopyMillionRecords, xlsx, ".xlsx")->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);

} // namespace
