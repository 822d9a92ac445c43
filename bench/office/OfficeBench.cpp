// The office database on a throwaway PostgreSQL cluster (fsync on, as a real server runs), in one
// run, side by side:
//  (a) psql's \copy of 1,000,000 readings into ktm520.readings of a new office, psql's start
//      included: the floor, the server taking the rows as fast as it can;
//  (b) office::synchronise() of a local archive holding the same 1,000,000 readings (one
//      download, ten gauges of 100,000 readings each) into another new office (target: at most
//      twice (a));
//  (c) a sync of 1,000 readings downloaded after that (target: 1 s);
//  (d) one gauge's 100,000 points read from the server by office::gaugeTrend (target: 200 ms;
//      the first read and the median of five).
// The figures and the targets are printed after the benchmarks' table.
#include "archive/Archive.h"
#include "office/OfficeHistory.h"
#include "office/OfficeSchema.h"
#include "office/Sync.h"
#include "tests/office/PgServer.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimeZone>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>

namespace {

constexpr int kRecords = 1'000'000;
constexpr int kComponents = 10; // gauges G-AA001..G-AA010, 100,000 readings each
constexpr int kPerFile = 10'000;
constexpr int kMore = 1'000;
constexpr qint64 kStart = 1793872800;    // 2026-11-05 10:00:00 readout time
constexpr qint64 kZoneOffset = 8 * 3600; // the readout's zone, Asia/Shanghai

std::map<std::string, double> g_seconds; // what each case measured
std::map<std::string, std::string> g_failed;

// Records `first`.. of the partition as the instrument gives them: files of 10,000 records, the
// components taking turns, a reading round every minute.
std::vector<archive::Record> partitionRecords(int first, int count)
{
    std::vector<archive::Record> out;
    out.reserve(size_t(count));
    for (int i = first; i < first + count; ++i) {
        const qint64 t = kStart + 60 * (i / kComponents);
        out.push_back(archive::Record{
            QStringLiteral("A"), QStringLiteral("A20261105-%1").arg(i / kPerFile + 1, 3, 10, QLatin1Char('0')),
            QStringLiteral("A%1").arg(i % kComponents + 1, 3, 10, QLatin1Char('0')),
            QDateTime::fromSecsSinceEpoch(t, QTimeZone::utc()).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
            QString::number(28000 + i % 997), QString::number(200 + i % 61)});
    }
    return out;
}

struct Bench {
    std::unique_ptr<PgServer> server;
    QString why;
    QTemporaryDir dir;
    std::unique_ptr<archive::Archive> archive;
    archive::CopyOrigin origin;
    bool synced = false;
};

Bench& bench()
{
    static Bench b = [] {
        Bench made;
        PgServer::Options options;
        options.fsync = true;
        made.server = PgServer::start(&made.why, options);
        return made;
    }();
    return b;
}

// A new database with the office schema made in it; its connection string, "" when it failed.
QString newOffice(const QString& name, std::string* error)
{
    Bench& b = bench();
    if (!b.server) {
        *error = "PostgreSQL cannot be started here: " + b.why.toStdString();
        return {};
    }
    if (!b.server->createDatabase(name)) {
        *error = "cannot make the database " + name.toStdString();
        return {};
    }
    const QString conninfo = b.server->adminConninfo(name);
    office::Failure failure;
    std::unique_ptr<office::PgConnection> conn = office::PgConnection::open(conninfo, &failure);
    if (!conn || !office::ensureSchema(*conn, &failure)) {
        *error = "the office schema: " + failure.detail.toStdString();
        return {};
    }
    return conninfo;
}

// The local archive with the million readings in one download, its slots assigned to the gauges.
archive::Archive* filledArchive(std::string* error)
{
    Bench& b = bench();
    if (b.archive)
        return b.archive.get();
    archive::Error e;
    b.archive = archive::Archive::open(b.dir.filePath(QStringLiteral("archive.sqlite")), nullptr, &e);
    const std::optional<archive::Readout> readout =
        b.archive ? b.archive->addReadout(QStringLiteral("R1"), QStringLiteral("Asia/Shanghai"), &e) : std::nullopt;
    if (!readout) {
        *error = "cannot make the local archive";
        b.archive.reset();
        return nullptr;
    }
    b.origin.readout = readout->id;
    archive::ComponentNames names{QStringLiteral("A"), {}};
    for (int c = 1; c <= kComponents; ++c) {
        const QString code = QStringLiteral("A%1").arg(c, 3, 10, QLatin1Char('0'));
        names.entries.emplace_back(code, QStringLiteral("G-A") + code);
    }
    b.origin.names = names;
    const auto stored = b.archive->store(partitionRecords(0, kRecords), QDateTime::currentDateTimeUtc(), b.origin, &e);
    if (!stored || stored->added != kRecords) {
        *error = "the local archive did not take the million readings";
        b.archive.reset();
        return nullptr;
    }
    return b.archive.get();
}

// The same rows as ktm520.readings holds them, in COPY's text format: slots 1..10, files
// 1..100, the time text left out (it is the readout time's own text), one download.
QByteArray copyText()
{
    QByteArray out;
    out.reserve(kRecords * 64);
    const std::vector<archive::Record> records = partitionRecords(0, kRecords);
    for (int i = 0; i < kRecords; ++i) {
        const archive::Record& r = records[size_t(i)];
        const qint64 t = kStart + 60 * (i / kComponents);
        out += QByteArray::number(i % kComponents + 1) + '\t' + QByteArray::number(t) + '\t' +
               QByteArray::number(i / kPerFile + 1) + '\t' + r.reading.toUtf8() + '\t' + r.temperature.toUtf8() +
               "\t\\N\t" + QByteArray::number(*archive::readingHz(r.reading), 'g', 17) + '\t' +
               QByteArray::number(*archive::temperatureC(r.temperature), 'g', 17) + '\t' +
               QByteArray::number(t - kZoneOffset) + "\t1\n";
    }
    return out;
}

void fail(benchmark::State& state, const std::string& name, const std::string& why)
{
    g_failed[name] = why;
    state.SkipWithError(why.c_str());
}

void BM_PsqlCopyMillion(benchmark::State& state)
{
    std::string error;
    const QString conninfo = newOffice(QStringLiteral("office_copy"), &error);
    if (conninfo.isEmpty())
        return fail(state, "copy", error);
    const QString path = bench().dir.filePath(QStringLiteral("readings.copy"));
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(copyText()) < 0)
            return fail(state, "copy", "cannot write the rows for psql");
    }
    for (auto _ : state) {
        QElapsedTimer clock;
        clock.start();
        QProcess psql;
        psql.start(bench().server->psqlProgram(),
                   {QStringLiteral("-X"), QStringLiteral("-q"), QStringLiteral("-v"), QStringLiteral("ON_ERROR_STOP=1"),
                    QStringLiteral("-d"), conninfo, QStringLiteral("-c"),
                    QStringLiteral("\\copy ktm520.readings FROM '%1'").arg(path)});
        if (!psql.waitForFinished(600'000) || psql.exitStatus() != QProcess::NormalExit || psql.exitCode() != 0)
            return fail(state, "copy", "psql: " + psql.readAllStandardError().toStdString());
        g_seconds["copy"] = double(clock.nsecsElapsed()) / 1e9;
        state.SetIterationTime(g_seconds["copy"]);
    }
    const QString rows = bench().server->value(QStringLiteral("SELECT count(*) FROM ktm520.readings"), "office_copy");
    if (rows.toLongLong() != kRecords)
        return fail(state, "copy", "the office holds " + rows.toStdString() + " readings after psql");
    state.counters["readings"] = kRecords;
}
BENCHMARK(BM_PsqlCopyMillion)->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);

bool syncOnce(benchmark::State& state, const std::string& name, const QString& conninfo, qint64 expectNew)
{
    office::Failure failure;
    QElapsedTimer clock;
    clock.start();
    const std::optional<office::SyncResult> result =
        office::synchronise(*bench().archive, conninfo, office::SyncOptions(), &failure);
    const double seconds = double(clock.nsecsElapsed()) / 1e9;
    if (!result) {
        fail(state, name, "synchronise: " + failure.detail.toStdString());
        return false;
    }
    if (result->readingsNew != expectNew) {
        fail(state, name, "the office took " + std::to_string(result->readingsNew) + " new readings, not " + std::to_string(expectNew));
        return false;
    }
    g_seconds[name] = seconds;
    state.SetIterationTime(seconds);
    return true;
}

QString& syncOffice()
{
    static QString conninfo;
    return conninfo;
}

void BM_SyncMillion(benchmark::State& state)
{
    std::string error;
    if (!filledArchive(&error))
        return fail(state, "sync", error);
    syncOffice() = newOffice(QStringLiteral("office_sync"), &error);
    if (syncOffice().isEmpty())
        return fail(state, "sync", error);
    for (auto _ : state)
        bench().synced = syncOnce(state, "sync", syncOffice(), kRecords);
    state.counters["readings"] = kRecords;
}
BENCHMARK(BM_SyncMillion)->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);

void BM_SyncThousandMore(benchmark::State& state)
{
    if (!bench().synced)
        return fail(state, "more", "the million readings were not synced");
    archive::Error e;
    const auto stored = bench().archive->store(partitionRecords(kRecords, kMore), QDateTime::currentDateTimeUtc(),
                                               bench().origin, &e);
    if (!stored || stored->added != kMore)
        return fail(state, "more", "the local archive did not take the new readings");
    for (auto _ : state)
        syncOnce(state, "more", syncOffice(), kMore);
    state.counters["readings"] = kMore;
}
BENCHMARK(BM_SyncThousandMore)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_TrendFromOffice(benchmark::State& state)
{
    if (!bench().synced)
        return fail(state, "trend", "the million readings were not synced");
    office::Failure failure;
    std::unique_ptr<office::PgConnection> conn = office::PgConnection::open(syncOffice(), &failure);
    if (!conn)
        return fail(state, "trend", "connect: " + failure.detail.toStdString());
    // The first 100,000 rounds' period: G-AA001's readings of the million, in UTC.
    const qint64 from = kStart - kZoneOffset;
    const qint64 to = from + 60 * qint64(kRecords / kComponents - 1);
    std::vector<double> times;
    for (auto _ : state) {
        QElapsedTimer clock;
        clock.start();
        const auto points = office::gaugeTrend(*conn, QStringLiteral("G-AA001"), from, to, &failure);
        const double seconds = double(clock.nsecsElapsed()) / 1e9;
        if (!points)
            return fail(state, "trend", "gaugeTrend: " + failure.detail.toStdString());
        if (points->size() != size_t(kRecords / kComponents))
            return fail(state, "trend", "gaugeTrend gave " + std::to_string(points->size()) + " points");
        times.push_back(seconds);
        state.SetIterationTime(seconds);
    }
    g_seconds["trend_first"] = times.front();
    std::sort(times.begin(), times.end());
    g_seconds["trend"] = times[times.size() / 2];
    state.counters["points"] = kRecords / kComponents;
}
BENCHMARK(BM_TrendFromOffice)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);

void line(const char* what, const std::string& key, double target, const char* unit, double scale)
{
    if (g_failed.count(key)) {
        std::printf("%-44s failed: %s\n", what, g_failed[key].c_str());
        return;
    }
    if (!g_seconds.count(key))
        return;
    const double v = g_seconds[key];
    std::printf("%-44s %9.3f %s", what, v * scale, unit);
    if (target > 0)
        std::printf("   (target <= %g %s: %s)", target * scale, unit, v <= target ? "met" : "NOT met");
    std::printf("\n");
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::printf("\nThe office database, 1,000,000 readings (PostgreSQL %s, fsync on):\n",
                bench().server ? qPrintable(bench().server->value(QStringLiteral("SHOW server_version"))) : "-");
    line("(a) psql \\copy, psql's start included", "copy", 0, "s", 1);
    line("(b) office::synchronise() of the same", "sync", 0, "s", 1);
    if (g_seconds.count("copy") && g_seconds.count("sync")) {
        const double ratio = g_seconds["sync"] / g_seconds["copy"];
        std::printf("%-44s %9.2f x   (target <= 2: %s)\n", "    sync / \\copy", ratio, ratio <= 2.0 ? "met" : "NOT met");
    }
    line("(c) sync of 1,000 readings more", "more", 1.0, "s", 1);
    line("(d) gaugeTrend, 100,000 points, first read", "trend_first", 0, "ms", 1e3);
    line("    median of five", "trend", 0.2, "ms", 1e3);
    bench().archive.reset();
    bench().server.reset();
    return 0;
}
