// The archive at the size of a large partition: a million records stored into a new archive
// (target: 2 s), the same million offered again (all of them already stored), one
// component's 100,000 points read back for a chart (target: 50 ms), and four programs each
// storing a million records of a partition of its own into one archive at the same moment
// (every record stored once, none waiting in the spool); and what the history lists when the
// window opens on an archive of 5,000,000 records: the summary the archive keeps, against
// counting the records themselves as it was once done. Judging: a million records over 200
// gauges with trigger levels stored into a new archive (target: judging adds at most 0.5 s),
// against the same records with no gauge to judge, and one gauge's 100,000 readings judged again
// after its levels change (target: 50 ms).
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
// ("G-AA001" for A001 of partition A).
CopyOrigin namedOrigin(Archive& a, const QString& partition)
{
    CopyOrigin origin = readoutOf(a);
    ComponentNames names{partition, {}};
    for (int c = 1; c <= kComponents; ++c) {
        const QString code = QStringLiteral("A%1").arg(c, 3, 10, QLatin1Char('0')); // as records() codes them
        names.entries.emplace_back(code, QStringLiteral("G-") + partition + code);
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
        const auto series = a->gaugeSeries(QStringLiteral("G-CA007"), kSinceEver, kUntilNow);
        points = series.size();
        benchmark::DoNotOptimize(series.data());
    }
    if (points != kRecords / kComponents)
        state.SkipWithError("wrong number of points");
    state.counters["points"] = double(points);
}
BENCHMARK(BM_GaugeSeriesOfFiveMillion)->Unit(benchmark::kMillisecond)->Iterations(10)->Repetitions(3)->ReportAggregatesOnly(false);

// --- Judging ---------------------------------------------------------------------------------

constexpr int kGauges = 200; // 5,000 readings each

// When the copies were made: after their readings, none of which is then ahead of its download.
QDateTime afterTheReadings() { return QDateTime::fromSecsSinceEpoch(kStart + 100 * 86400, QTimeZone::utc()); }

// A million records of 200 components of partition A, a reading round every minute.
const std::vector<Record>& gaugeRecords()
{
    static const std::vector<Record> all = [] {
        std::vector<Record> out;
        out.reserve(kRecords);
        QString file;
        for (int i = 0; i < kRecords; ++i) {
            if (i % kPerFile == 0)
                file = QStringLiteral("A20261105-%1").arg(i / kPerFile + 1, 3, 10, QLatin1Char('0'));
            const qint64 t = kStart + 60 * (i / kGauges);
            out.push_back(Record{QStringLiteral("A"), file, QStringLiteral("A%1").arg(i % kGauges + 1, 3, 10, QLatin1Char('0')),
                                 QDateTime::fromSecsSinceEpoch(t, QTimeZone::utc()).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
                                 QString::number(28000 + (i * 7) % 997), QString::number(200 + i % 61)});
        }
        return out;
    }();
    return all;
}

// Levels on the value, the change since the first reading and the rate over a day.
LevelSet benchLevels(const QString& gauge, double valueThreshold)
{
    LevelSet set;
    set.gauge = gauge;
    TriggerLevel value;
    value.rank = 3;
    value.threshold = valueThreshold;
    value.confirm = 2;
    TriggerLevel change;
    change.rank = 2;
    change.quantity = LevelQuantity::Change;
    change.threshold = 90;
    TriggerLevel rate;
    rate.rank = 1;
    rate.quantity = LevelQuantity::Rate;
    rate.threshold = 50;
    rate.windowDays = 1;
    set.levels = {value, change, rate};
    return set;
}

// The store of the million into a new archive: `gauges` names the 200 slots' gauges (judged,
// with levels when `levels`), else the records stay unassigned and nothing is judged.
void storeGaugeRecords(benchmark::State& state, bool gauges, bool levels)
{
    const auto& all = gaugeRecords();
    qint64 flagged = 0, events = 0;
    for (auto _ : state) {
        state.PauseTiming();
        QTemporaryDir dir;
        auto a = Archive::open(dir.filePath("archive.sqlite"), nullptr, nullptr);
        if (!a) {
            state.SkipWithError("cannot open");
            return;
        }
        CopyOrigin origin = readoutOf(*a);
        if (gauges) {
            ComponentNames names{QStringLiteral("A"), {}};
            std::vector<GaugeInfo> rows;
            std::vector<LevelSet> sets;
            for (int c = 1; c <= kGauges; ++c) {
                const QString code = QStringLiteral("A%1").arg(c, 3, 10, QLatin1Char('0'));
                names.entries.emplace_back(code, QStringLiteral("G-") + code);
                GaugeInfo g;
                g.name = QStringLiteral("G-") + code;
                rows.push_back(g);
                sets.push_back(benchLevels(g.name, 2890));
            }
            origin.names = names;
            if (!a->updateRegister(rows, nullptr) || (levels && !a->addLevelSets(sets, nullptr))) {
                state.SkipWithError("cannot enter the gauges");
                return;
            }
        }
        state.ResumeTiming();
        const auto stored = a->store(all, afterTheReadings(), origin, nullptr);
        state.PauseTiming();
        if (!stored || stored->added != kRecords)
            state.SkipWithError("not every record was added");
        else {
            flagged = stored->verdict.flagged;
            events = qint64(a->events().size());
        }
        a.reset();
        state.ResumeTiming();
    }
    state.counters["records"] = kRecords;
    state.counters["flagged"] = double(flagged);
    state.counters["events"] = double(events);
}

void BM_StoreMillionUnassigned(benchmark::State& state) { storeGaugeRecords(state, false, false); }
BENCHMARK(BM_StoreMillionUnassigned)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_StoreMillionOver200GaugesWithoutLevels(benchmark::State& state) { storeGaugeRecords(state, true, false); }
BENCHMARK(BM_StoreMillionOver200GaugesWithoutLevels)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_StoreMillionOver200GaugesWithLevels(benchmark::State& state) { storeGaugeRecords(state, true, true); }
BENCHMARK(BM_StoreMillionOver200GaugesWithLevels)->Unit(benchmark::kMillisecond)->Iterations(1);

// One more round of readings (200, one per gauge) into the archive of the million with levels:
// each gauge goes on from its last judged reading.
void BM_StoreOneRoundAfterTheMillion(benchmark::State& state)
{
    QTemporaryDir dir;
    auto a = Archive::open(dir.filePath("archive.sqlite"), nullptr, nullptr);
    CopyOrigin origin = readoutOf(*a);
    ComponentNames names{QStringLiteral("A"), {}};
    std::vector<GaugeInfo> rows;
    std::vector<LevelSet> sets;
    for (int c = 1; c <= kGauges; ++c) {
        const QString code = QStringLiteral("A%1").arg(c, 3, 10, QLatin1Char('0'));
        names.entries.emplace_back(code, QStringLiteral("G-") + code);
        GaugeInfo g;
        g.name = QStringLiteral("G-") + code;
        rows.push_back(g);
        sets.push_back(benchLevels(g.name, 2890));
    }
    origin.names = names;
    if (!a->updateRegister(rows, nullptr) || !a->addLevelSets(sets, nullptr) ||
        !a->store(gaugeRecords(), afterTheReadings(), origin, nullptr)) {
        state.SkipWithError("cannot fill the archive");
        return;
    }
    int round = 0;
    for (auto _ : state) {
        state.PauseTiming();
        std::vector<Record> next;
        const qint64 t = kStart + 60 * (kRecords / kGauges + round++);
        for (int c = 1; c <= kGauges; ++c)
            next.push_back(Record{QStringLiteral("A"), QStringLiteral("A20261231-001"),
                                  QStringLiteral("A%1").arg(c, 3, 10, QLatin1Char('0')),
                                  QDateTime::fromSecsSinceEpoch(t, QTimeZone::utc()).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
                                  QString::number(28000 + c), QStringLiteral("200")});
        state.ResumeTiming();
        const auto stored = a->store(next, afterTheReadings(), origin, nullptr);
        if (!stored || stored->added != kGauges)
            state.SkipWithError("the round was not added");
    }
}
BENCHMARK(BM_StoreOneRoundAfterTheMillion)->Unit(benchmark::kMillisecond)->Iterations(5);

// One gauge's 100,000 readings of the million judged again after a change of its levels: levels
// that most of its readings reach (the readings sweep 2800..2899.6 Hz; about 60 % end marked), or
// (range(0) 1) levels that only the highest few reach, as levels are set in practice.
void BM_RejudgeOneGaugeAfterALevelChange(benchmark::State& state)
{
    const bool rare = state.range(0) == 1;
    QTemporaryDir dir;
    auto a = Archive::open(dir.filePath("archive.sqlite"), nullptr, nullptr);
    if (!a || !a->store(records(), afterTheReadings(), namedOrigin(*a, QStringLiteral("A")), nullptr)) {
        state.SkipWithError("cannot fill the archive");
        return;
    }
    int change = 0;
    for (auto _ : state) {
        LevelSet set = benchLevels(QStringLiteral("G-AA007"), (rare ? 2899.4 : 2890) + 0.01 * (change++ % 7));
        if (rare) {
            set.levels[1].threshold = 99.5; // the change since the first reading
            set.levels[2].threshold = 1e6;  // the rate over a day: never
        }
        if (!a->addLevelSets({set}, nullptr))
            state.SkipWithError("the levels were refused");
    }
    state.counters["readings"] = double(kRecords / kComponents);
    state.counters["events"] = double(a->events().size());
    std::size_t marked = 0;
    for (const GaugePoint& p : a->gaugeSeries(QStringLiteral("G-AA007"), kSinceEver, kUntilNow))
        marked += p.status > 0 || p.flags != 0;
    state.counters["marked"] = double(marked);
}
BENCHMARK(BM_RejudgeOneGaugeAfterALevelChange)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(5);

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
