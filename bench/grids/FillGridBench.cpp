// Parsing a long data reply into the reading grid: time per fill, and how much memory the
// grid takes compared with the reply as it came over the line.
#include "grids/GridLayouts.h"
#include "grids/PreviewGrid.h"

#include <QString>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <fstream>
#include <string>

namespace {

QString makeReply(int records)
{
    QString reply;
    reply.reserve(qsizetype(records) * 36);
    for (int i = 0; i < records; ++i) {
        reply += QStringLiteral("A%1 %2 %3 2026-12-07 10:%4:%5\r\n")
                     .arg(i % 200 + 1, 3, 10, QLatin1Char('0'))
                     .arg(28000 + i % 997)
                     .arg(200 + i % 61)
                     .arg(i / 60 % 60, 2, 10, QLatin1Char('0'))
                     .arg(i % 60, 2, 10, QLatin1Char('0'));
    }
    return reply;
}

// Resident set size in bytes, from /proc (Linux).
long long residentBytes()
{
    std::ifstream statm("/proc/self/statm");
    long long pages = 0, resident = 0;
    statm >> pages >> resident;
    return resident * 4096;
}

// Peak resident set size since the last resetPeak(), in bytes (Linux).
void resetPeak() { std::ofstream("/proc/self/clear_refs") << "5"; }
long long peakBytes()
{
    std::ifstream status("/proc/self/status");
    std::string key;
    long long kb = 0;
    while (status >> key) {
        if (key == "VmHWM:") {
            status >> kb;
            return kb * 1024;
        }
        status.ignore(1 << 20, '\n');
    }
    return 0;
}

void BM_FillGrid(benchmark::State& state)
{
    const int records = int(state.range(0));
    const QString reply = makeReply(records);
    const double wireBytes = double(reply.size()); // one byte per character on the line
    double gridBytes = 0;
    double peakExtra = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto* grid = new PreviewGrid;
        const long long before = residentBytes();
        resetPeak();
        state.ResumeTiming();
        grids::FillGrid(*grid, reply);
        benchmark::DoNotOptimize(grid->rows());
        state.PauseTiming();
        gridBytes = double(residentBytes() - before);
        peakExtra = double(peakBytes() - before);
        if (grid->rows() != records + 1)
            state.SkipWithError("wrong row count");
        delete grid;
        state.ResumeTiming();
    }
    state.counters["records"] = records;
    state.counters["reply_MB"] = wireBytes / 1e6;
    state.counters["grid_MB"] = gridBytes / 1e6;
    state.counters["grid_per_reply"] = gridBytes / wireBytes;
    state.counters["peak_MB"] = peakExtra / 1e6;
    state.counters["peak_per_reply"] = peakExtra / wireBytes;
}
BENCHMARK(BM_FillGrid)->Arg(1'000'000)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace
