// ktm520-cli report as a weekly cron job runs it, on a year of a large site: 200 gauges read once
// a day for 365 days (the report fixture's site, in a new archive), the whole year in one report.
//
// Reported: wall_s, from the start of the program until it has exited with the file written
// (target for the PDF <= 10 s), and peak_rss_MB, its peak resident memory (target <= 300 MB), as
// wait4 gives it for the child of /usr/bin/time: a child of this process would carry over exec
// the memory this process used to fill the archive. pages: of the PDF.
#include "tests/report/ReportFixture.h"

#include <QDateTime>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

constexpr int kGauges = 200;
constexpr int kDays = 365;
constexpr const char* kTime = "/usr/bin/time";

// The archive, made once for every case.
const QString& yearArchive()
{
    static report::test::TempArchive made = [] {
        report::test::TempArchive a = report::test::openTempArchive();
        if (a.archive) {
            const qint64 first = QDateTime(QDate(2025, 12, 1), QTime(0, 0), Qt::UTC).toSecsSinceEpoch();
            report::test::fillSite(*a.archive, QStringLiteral("大坝"), kGauges, kDays, first);
            a.archive.reset(); // closed: the program opens it on its own
        }
        return a;
    }();
    return made.path;
}

struct Run {
    int exitCode = -1;
    double wallSeconds = 0;
    double peakRssBytes = 0;
};

Run runThroughTime(const std::string& program, const std::vector<std::string>& arguments, const std::string& peakFile)
{
    std::vector<std::string> args{kTime, "-f", "%M", "-o", peakFile, program};
    args.insert(args.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    Run run;
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = -1;
    if (posix_spawn(&pid, kTime, nullptr, nullptr, argv.data(), environ) != 0)
        return run;
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    run.wallSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    // time(1) puts "Command exited with non-zero status N" before the figure when the child failed.
    std::ifstream peak(peakFile);
    std::string last;
    for (std::string l; std::getline(peak, l);)
        if (!l.empty())
            last = l;
    run.peakRssBytes = double(std::atoll(last.c_str())) * 1024.0;
    return run;
}

int pdfPages(const QString& path)
{
    QProcess p;
    p.start(QStringLiteral("pdfinfo"), {path});
    p.waitForFinished(60000);
    const QRegularExpressionMatch m =
        QRegularExpression(QStringLiteral("Pages:\\s+(\\d+)")).match(QString::fromUtf8(p.readAllStandardOutput()));
    return m.hasMatch() ? m.captured(1).toInt() : 0;
}

void BM_CliReportYear(benchmark::State& state, const char* suffix)
{
    if (::access(kTime, X_OK) != 0) {
        state.SkipWithError("/usr/bin/time is missing (Debian package time; scripts/bootstrap installs it)");
        return;
    }
    const QString archive = yearArchive();
    QTemporaryDir dir;
    const std::string out = (dir.path() + "/year" + suffix).toStdString();
    // KTM_BENCH_CLI measures another build of the program the same way (an earlier one).
    const char* other = std::getenv("KTM_BENCH_CLI");
    Run run;
    for (auto _ : state) {
        run = runThroughTime(other ? other : KTM_CLI_PATH,
                             {"--quiet", "--archive", archive.toStdString(), "report", "--site", "大坝", "--from",
                              "2025-12-01", "--to", "2026-11-30", "-o", out},
                             (dir.path() + "/peak-kb").toStdString());
        state.SetIterationTime(run.wallSeconds);
    }
    state.counters["wall_s"] = run.wallSeconds;
    state.counters["peak_rss_MB"] = run.peakRssBytes / 1e6;
    state.counters["file_MB"] = double(QFileInfo(QString::fromStdString(out)).size()) / 1e6;
    if (std::string(suffix) == ".pdf")
        state.counters["pages"] = pdfPages(QString::fromStdString(out));
    if (run.exitCode != 0)
        state.SkipWithError("ktm520-cli report did not succeed");
}
BENCHMARK_CAPTURE(BM_CliReportYear, pdf, ".pdf")->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK_CAPTURE(BM_CliReportYear, ags, ".ags")->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK_CAPTURE(BM_CliReportYear, csv, ".csv")->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);

} // namespace
