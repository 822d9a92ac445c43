// The archive at the size of a large partition: a million records stored into a new archive
// (target: 2 s), the same million offered again (all of them already stored), one
// component's 100,000 points read back for a chart (target: 50 ms), and four programs each
// storing a million records of a partition of its own into one archive at the same moment
// (every record stored once, none waiting in the spool); and what the history lists when the
// window opens on an archive of 5,000,000 records: the summary the archive keeps, against
// counting the records themselves as it was once done.
#include "archive/Archive.h"
#include "archive/Recorder.h"
#include "archive/Spool.h"
#include "grids/GridLayouts.h"
#include "grids/PreviewGrid.h"

#include <chrono>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
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

// The readout the benchmark's copies come from, made on first use.
CopyOrigin readoutOf(Archive& a)
{
    if (const std::optional<Readout> r = a.readout(QStringLiteral("R1")))
        return CopyOrigin{r->id, std::nullopt};
    const std::optional<Readout> made = a.addReadout(QStringLiteral("R1"), QStringLiteral("Asia/Shanghai"), nullptr);
    return CopyOrigin{made ? made->id : 0, std::nullopt};
}

// The same with the partition's component list, so that the store assigns its slots to gauges
// ("G-A001" for A001).
CopyOrigin namedOrigin(Archive& a, const QString& partition)
{
    CopyOrigin origin = readoutOf(a);
    ComponentNames names{partition, {}};
    for (int c = 1; c <= kComponents; ++c) {
        const QString code = partition + QStringLiteral("%1").arg(c, 3, 10, QLatin1Char('0'));
        names.entries.emplace_back(code, QStringLiteral("G-") + code);
    }
    origin.names = names;
    return origin;
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
        const CopyOrigin origin = namedOrigin(*a, QStringLiteral("A"));
        state.ResumeTiming();
        const auto stored = a->store(all, QDateTime::currentDateTimeUtc(), origin, nullptr);
        state.PauseTiming();
        if (!stored || stored->added != kRecords || stored->assignmentsChanged.size() != kComponents)
            state.SkipWithError("not every record was added, or the slots not assigned");
        bytes = double(fileBytes(a->path()));
        a.reset();
        state.ResumeTiming();
    }
    state.counters["records"] = kRecords;
    state.counters["records_per_s"] = benchmark::Counter(kRecords, benchmark::Counter::kIsRate);
    state.counters["file_MB"] = bytes / 1e6;
}
BENCHMARK(BM_StoreNew)->Unit(benchmark::kMillisecond)->Iterations(1);

// The floor: SQLite alone storing the same rows, their numbers already read, into a table of
// the same key, as many to a statement as the store puts.
void BM_StoreNewSqliteAlone(benchmark::State& state)
{
    const auto& all = records();
    struct Row {
        qint64 slot, time, file;
        QByteArray reading, temperature;
        double hz, c;
    };
    std::vector<Row> rows;
    rows.reserve(all.size());
    for (const Record& r : all)
        rows.push_back(Row{r.code.mid(1).toLongLong(), *instrumentTime(r.time), r.file.mid(10).toLongLong(),
                           r.reading.toUtf8(), r.temperature.toUtf8(), *readingHz(r.reading), *temperatureC(r.temperature)});
    constexpr int kPerStatement = 64;
    std::string sql = "INSERT OR IGNORE INTO records VALUES ";
    for (int i = 0; i < kPerStatement; ++i)
        sql += i ? ",(?,?,?,?,?,NULL,1,?,?,?)" : "(?,?,?,?,?,NULL,1,?,?,?)";
    for (auto _ : state) {
        state.PauseTiming();
        QTemporaryDir dir;
        sqlite3* db = nullptr;
        sqlite3_open(QFile::encodeName(dir.filePath("bare.sqlite")).constData(), &db);
        sqlite3_exec(db, "PRAGMA journal_mode = WAL; PRAGMA synchronous = NORMAL; PRAGMA cache_size = -1024; "
                         "CREATE TABLE records(slot INTEGER NOT NULL, time_s INTEGER NOT NULL, file INTEGER NOT NULL, "
                         "reading TEXT, temperature TEXT, time TEXT, download INTEGER, reading_hz REAL, "
                         "temperature_c REAL, utc_s INTEGER, PRIMARY KEY(slot, time_s, file)) WITHOUT ROWID",
                     nullptr, nullptr, nullptr);
        sqlite3_stmt* insert = nullptr;
        sqlite3_prepare_v2(db, sql.c_str(), -1, &insert, nullptr);
        state.ResumeTiming();
        sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
        for (size_t at = 0; at + kPerStatement <= rows.size(); at += kPerStatement) {
            for (int i = 0; i < kPerStatement; ++i) {
                const Row& r = rows[at + size_t(i)];
                const int p = i * 8;
                sqlite3_bind_int64(insert, p + 1, r.slot);
                sqlite3_bind_int64(insert, p + 2, r.time);
                sqlite3_bind_int64(insert, p + 3, r.file);
                sqlite3_bind_text(insert, p + 4, r.reading.constData(), int(r.reading.size()), SQLITE_STATIC);
                sqlite3_bind_text(insert, p + 5, r.temperature.constData(), int(r.temperature.size()), SQLITE_STATIC);
                sqlite3_bind_double(insert, p + 6, r.hz);
                sqlite3_bind_double(insert, p + 7, r.c);
                sqlite3_bind_int64(insert, p + 8, r.time - 8 * 3600);
            }
            sqlite3_step(insert);
            sqlite3_reset(insert);
        }
        sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
        state.PauseTiming();
        sqlite3_finalize(insert);
        sqlite3_close(db);
        state.ResumeTiming();
    }
    state.counters["records"] = double(rows.size() / kPerStatement * kPerStatement);
}
BENCHMARK(BM_StoreNewSqliteAlone)->Unit(benchmark::kMillisecond)->Iterations(1);

// One archive holding the million, for the benchmarks that find it full.
Archive& filled()
{
    static QTemporaryDir dir;
    static std::unique_ptr<Archive> archive = [] {
        auto a = Archive::open(dir.filePath("archive.sqlite"), nullptr, nullptr);
        if (a)
            a->store(records(), QDateTime::currentDateTimeUtc(), readoutOf(*a), nullptr);
        return a;
    }();
    return *archive;
}

void BM_StoreAllDuplicates(benchmark::State& state)
{
    const auto& all = records();
    Archive& a = filled();
    for (auto _ : state) {
        const auto stored = a.store(all, QDateTime::currentDateTimeUtc(), readoutOf(a), nullptr);
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

// A million records of one partition as a copy leaves them in the grid.
void fillPartition(PreviewGrid& grid, char partition)
{
    QByteArray wire;
    wire.reserve(kRecords * 38);
    for (int i = 0; i < kRecords; ++i) {
        if (i % kPerFile == 0)
            wire += QStringLiteral("%1%2\r\n").arg(QLatin1Char(partition)).arg(i / kPerFile + 1, 6, 10, QLatin1Char('0')).toLatin1();
        const qint64 t = kStart + 60 * (i / kComponents);
        wire += QStringLiteral("%1%2 %3 %4 %5\r\n")
                    .arg(QLatin1Char(partition))
                    .arg(i % kComponents + 1, 3, 10, QLatin1Char('0'))
                    .arg(28000 + i % 997)
                    .arg(200 + i % 61)
                    .arg(QDateTime::fromSecsSinceEpoch(t, QTimeZone::utc()).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")))
                    .toLatin1();
    }
    grids::FillGridFromWire(grid, std::move(wire));
}

void BM_FourProgramsStoreAMillionEachIntoOneArchive(benchmark::State& state)
{
    constexpr int kPrograms = 4;
    QTemporaryDir dir;
    const QString path = dir.filePath("archive.sqlite");
    int failed = 0;
    double slowest = 0;
    for (auto _ : state) {
        std::vector<pid_t> children;
        int gate[2];
        if (::pipe(gate) != 0)
            return;
        for (int p = 0; p < kPrograms; ++p) {
            const pid_t pid = ::fork();
            if (pid == 0) {
                ::close(gate[1]);
                PreviewGrid grid;
                fillPartition(grid, char('A' + p));
                char c;
                [[maybe_unused]] auto r = ::read(gate[0], &c, 1);
                archive::Recorder recorder(path); // the command line's way: open, wait, store
                const QString text = recorder.storeCopy(ReadingLayout::Records(grid), QString(QLatin1Char(char('A' + p))), CopyOrigin{Recorder::kUnnamedReadout});
                std::fprintf(stderr, "program %d: %s\n", p, qPrintable(text));
                ::_exit(recorder.stored() ? 0 : 8);
            }
            children.push_back(pid);
        }
        ::sleep(8); // every program has its grid before they start together
        const auto start = std::chrono::steady_clock::now();
        ::close(gate[0]);
        ::close(gate[1]);
        for (pid_t pid : children) {
            int status = 0;
            ::waitpid(pid, &status, 0);
            if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
                ++failed;
            slowest = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        }
        state.SetIterationTime(slowest);
    }
    auto a = Archive::open(path, nullptr, nullptr);
    qint64 stored = 0;
    if (a)
        for (const SeriesSummary& s : a->summary())
            stored += s.count;
    state.counters["programs_failed"] = failed;
    state.counters["records_archived"] = double(stored);
    state.counters["copies_waiting"] = Spool::waiting(path);
    state.counters["all_done_s"] = slowest;
    if (failed != 0 || stored != qint64(kPrograms) * kRecords)
        state.SkipWithError("not every record was archived once");
}
// Five partitions of a million records each.
const QString& fiveMillion()
{
    static QTemporaryDir dir;
    static const QString path = [] {
        const QString p = dir.filePath("archive.sqlite");
        auto a = Archive::open(p, nullptr, nullptr);
        for (char partition = 'A'; a && partition <= 'E'; ++partition) {
            std::vector<Record> all = records();
            for (Record& r : all)
                r.partition = QString(QLatin1Char(partition));
            a->store(all, QDateTime::currentDateTimeUtc(), namedOrigin(*a, QString(QLatin1Char(partition))), nullptr);
        }
        return p;
    }();
    return path;
}

// One gauge's 100,000 points out of the 5,000,000, through its assignment.
void BM_GaugeSeriesOfFiveMillion(benchmark::State& state)
{
    auto a = Archive::open(fiveMillion(), nullptr, nullptr, OpenOptions{false, false, {}});
    size_t points = 0;
    for (auto _ : state) {
        const auto series = a->gaugeSeries(QStringLiteral("G-C007"), kSinceEver, kUntilNow);
        points = series.size();
        benchmark::DoNotOptimize(series.data());
    }
    if (points != kRecords / kComponents)
        state.SkipWithError("wrong number of points");
    state.counters["points"] = double(points);
}
BENCHMARK(BM_GaugeSeriesOfFiveMillion)->Unit(benchmark::kMillisecond)->Iterations(10)->Repetitions(3)->ReportAggregatesOnly(false);

void BM_SummaryOfFiveMillionKept(benchmark::State& state)
{
    auto a = Archive::open(fiveMillion(), nullptr, nullptr, OpenOptions{false, false, {}});
    qint64 n = 0;
    for (auto _ : state) {
        n = 0;
        for (const SeriesSummary& s : a->summary())
            n += s.count;
    }
    if (n != 5 * qint64(kRecords))
        state.SkipWithError("the summary does not count every record");
}
BENCHMARK(BM_SummaryOfFiveMillionKept)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_SummaryOfFiveMillionCounted(benchmark::State& state)
{
    sqlite3* db = nullptr;
    sqlite3_open_v2(fiveMillion().toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    qint64 n = 0;
    for (auto _ : state) {
        sqlite3_stmt* s = nullptr;
        sqlite3_prepare_v2(db, "SELECT slot, min(time_s), count(*), max(time_s) FROM records GROUP BY slot ORDER BY slot",
                           -1, &s, nullptr);
        n = 0;
        while (sqlite3_step(s) == SQLITE_ROW)
            n += sqlite3_column_int64(s, 2);
        sqlite3_finalize(s);
    }
    sqlite3_close(db);
    if (n != 5 * qint64(kRecords))
        state.SkipWithError("the count does not cover every record");
}
BENCHMARK(BM_SummaryOfFiveMillionCounted)->Unit(benchmark::kMillisecond)->Iterations(3);

// The open the window's archive thread does, with the integrity check, at 5,000,000 records.
void BM_OpenWithCheckAtFiveMillion(benchmark::State& state)
{
    const QString& path = fiveMillion();
    for (auto _ : state) {
        auto a = Archive::open(path, nullptr, nullptr);
        if (!a)
            state.SkipWithError("cannot open");
    }
}
BENCHMARK(BM_OpenWithCheckAtFiveMillion)->Unit(benchmark::kMillisecond)->Iterations(1);

BENCHMARK(BM_FourProgramsStoreAMillionEachIntoOneArchive)->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);

} // namespace
