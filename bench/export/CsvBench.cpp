// CSV of a 1,000,000-record preview: our writer against Python's csv module writing the same
// rows (the file name, number, reading and temperature as numbers, time), side by side.
// Reported: seconds of each and ratio_python_over_ours (target: at least 3).
#include "export/CsvWriter.h"
#include "grids/GridLayouts.h"
#include "grids/PreviewGrid.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

namespace {

constexpr int kRecords = 1000000;
double g_ours = 0;

void BM_OurCsvWriter(benchmark::State& state)
{
    QByteArray reply = "A20261207-01\r\n";
    for (int i = 0; i < kRecords; ++i)
        reply += "A" + QByteArray::number(1 + i % 200).rightJustified(3, '0') + " " + QByteArray::number(10000 + i % 5000) + " " + QByteArray::number(-52 + i % 300) + " 2026-12-07 10:31:05\r\n";
    PreviewGrid grid;
    grids::FillGridFromWire(grid, std::move(reply));
    QTemporaryDir dir;
    for (auto _ : state) {
        QElapsedTimer clock;
        clock.start();
        if (const SaveResult failure = CsvWriter::save(grid, dir.filePath("ours.csv")))
            state.SkipWithError(failure->reason.toUtf8().constData());
        g_ours = clock.nsecsElapsed() / 1e9;
        state.SetIterationTime(g_ours);
    }
    state.counters["seconds"] = g_ours;
}
BENCHMARK(BM_OurCsvWriter)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

void BM_PythonCsvModule(benchmark::State& state)
{
    // The same rows, built and written by the csv module; the row building is outside the
    // timed part, as the grid's filling is for ours.
    static const char* script = R"(
import csv, sys, time
rows = [("A20261207-01", "A%03d" % (1 + i % 200), (10000 + i % 5000) / 10, (-52 + i % 300) / 10, "2026-12-07 10:31:05")
        for i in range(%d)]
start = time.perf_counter()
with open(sys.argv[1], "w", newline="", encoding="utf-8-sig") as f:
    w = csv.writer(f)
    w.writerow(["文件名", "编号", "读数", "温度", "时间"])
    w.writerows(rows)
print(time.perf_counter() - start)
)";
    QTemporaryDir dir;
    double seconds = 0;
    for (auto _ : state) {
        QProcess python;
        python.start(QStringLiteral(SYSTEM_PYTHON3),
                     {"-c", QString::fromUtf8(script).replace("%d", QString::number(kRecords)), dir.filePath("py.csv")});
        if (!python.waitForFinished(300000) || python.exitCode() != 0) {
            state.SkipWithError("python3 failed");
            return;
        }
        seconds = python.readAllStandardOutput().trimmed().toDouble();
        state.SetIterationTime(seconds);
    }
    state.counters["seconds"] = seconds;
    if (g_ours > 0)
        state.counters["ratio_python_over_ours"] = seconds / g_ours;
}
BENCHMARK(BM_PythonCsvModule)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

} // namespace
