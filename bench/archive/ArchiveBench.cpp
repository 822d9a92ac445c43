// The archive at the size of a large partition: a million records stored into a new archive
// (target: 2 s), the same million offered again (all of them already stored), and one
// component's 100,000 points read back for a chart (target: 50 ms).
#include "archive/Archive.h"

#include <QDateTime>
#include <QDir>
#include <QTemporaryDir>
#include <QTimeZone>
#include <benchmark/benchmark.h>

using namespace archive;

namespace {

constexpr int kRecords = 1'000'000;
constexpr int kComponents = 10; // 100,000 records each
constexpr int kPerFile = 10'000;
constexpr qint64 kStart = 1793872800; // 2026-11-05 10:00:00 UTC

// A partition as the instrument gives it: files of records, the components taking turns, a
// reading round every minute.
std::vector<Record> partitionRecords()
{
    std::vector<Record> out;
    out.reserve(kRecords);
    const QString partition = QStringLiteral("A");
    QString file;
    for (int i = 0; i < kRecords; ++i) {
        if (i % kPerFile == 0)
            file = QStringLiteral("A20261105-%1").arg(i / kPerFile + 1, 3, 10, QLatin1Char('0'));
        const qint64 t = kStart + 60 * (i / kComponents);
        out.push_back(Record{partition, file, QStringLiteral("A%1").arg(i % kComponents + 1, 3, 10, QLatin1Char('0')),
                             QDateTime::fromSecsSinceEpoch(t, QTimeZone::utc()).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
                             QString::number(28000 + i % 997), QString::number(200 + i % 61)});
    }
    return out;
}

const std::vector<Record>& records()
{
    static const std::vector<Record> all = partitionRecords();
    return all;
}

qint64 fileBytes(const QString& path) { return QFileInfo(path).size() + QFileInfo(path + "-wal").size(); }

void BM_StoreNew(benchmark::State& state)
{
    const auto& all = records();
    double bytes = 0;
    for (auto _ : state) {
        state.PauseTiming();
        QTemporaryDir dir;
        auto a = Archive::open(dir.filePath("archive.sqlite"), nullptr, nullptr);
        if (!a) {
            state.SkipWithError("cannot open");
            return;
        }
        state.ResumeTiming();
        const auto stored = a->store(all, QDateTime::currentDateTimeUtc(), nullptr);
        state.PauseTiming();
        if (!stored || stored->added != kRecords)
            state.SkipWithError("not every record was added");
        bytes = double(fileBytes(a->path()));
        a.reset();
        state.ResumeTiming();
    }
    state.counters["records"] = kRecords;
    state.counters["records_per_s"] = benchmark::Counter(kRecords, benchmark::Counter::kIsRate);
    state.counters["file_MB"] = bytes / 1e6;
}
BENCHMARK(BM_StoreNew)->Unit(benchmark::kMillisecond)->Iterations(1);

// One archive holding the million, for the benchmarks that find it full.
Archive& filled()
{
    static QTemporaryDir dir;
    static std::unique_ptr<Archive> archive = [] {
        auto a = Archive::open(dir.filePath("archive.sqlite"), nullptr, nullptr);
        if (a)
            a->store(records(), QDateTime::currentDateTimeUtc(), nullptr);
        return a;
    }();
    return *archive;
}

void BM_StoreAllDuplicates(benchmark::State& state)
{
    const auto& all = records();
    Archive& a = filled();
    for (auto _ : state) {
        const auto stored = a.store(all, QDateTime::currentDateTimeUtc(), nullptr);
        if (!stored || stored->added != 0)
            state.SkipWithError("duplicates were added");
    }
    state.counters["records"] = kRecords;
    state.counters["records_per_s"] = benchmark::Counter(kRecords, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_StoreAllDuplicates)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_SeriesOfOneComponent(benchmark::State& state)
{
    Archive& a = filled();
    size_t points = 0;
    for (auto _ : state) {
        const auto series = a.series("A", "A007", std::numeric_limits<qint64>::min(), std::numeric_limits<qint64>::max());
        points = series.size();
        benchmark::DoNotOptimize(series.data());
    }
    if (points != kRecords / kComponents)
        state.SkipWithError("wrong number of points");
    state.counters["points"] = double(points);
}
BENCHMARK(BM_SeriesOfOneComponent)->Unit(benchmark::kMillisecond)->Iterations(10)->Repetitions(3)->ReportAggregatesOnly(false);

} // namespace
