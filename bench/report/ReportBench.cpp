// The report of a large site: 200 gauges read daily for a year (73,000 readings, the fixture's
// levels, flags, masks and calibrations) gathered from the archive and written as a PDF, a plot
// a gauge. Targets: 10 s and a peak of 300 MB resident (counter peak_rss_mb: the process'
// highest, the filled archive's included; rss_before_mb: before the report).
#include "report/Report.h"
#include "report/ReportPdf.h"
#include "tests/report/ReportFixture.h"

#include <QApplication>
#include <QDateTime>
#include <QFileInfo>
#include <QTimeZone>
#include <benchmark/benchmark.h>
#include <sys/resource.h>

namespace {

constexpr qint64 kFirstUtc = 1'764'547'200; // 2025-12-01 00:00 UTC
constexpr int kGauges = 200;
constexpr int kDays = 365;

double peakRssMb()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_maxrss) / 1024.0; // kilobytes on Linux
}

void BM_GatherAndWritePdf(benchmark::State& state)
{
    report::test::TempArchive a = report::test::openTempArchive();
    const report::test::FixtureSite site = report::test::fillSite(*a.archive, QStringLiteral("大坝"), kGauges, kDays, kFirstUtc);
    const double before = peakRssMb();
    report::Request request;
    request.site = site.site;
    request.period = {kFirstUtc, kFirstUtc + qint64(kDays) * 86'400 - 1};
    request.reader = QStringLiteral("bench");
    const QDateTime now = QDateTime::fromSecsSinceEpoch(request.period.toUtc + 3600, QTimeZone::utc());
    const QString path = a.dir->filePath(QStringLiteral("report.pdf"));
    int pages = 0;
    for (auto _ : state) {
        QString reason;
        const std::optional<report::Content> content = report::gather(*a.archive, request, now, {}, &reason);
        if (!content) {
            state.SkipWithError(qPrintable(QStringLiteral("gather: ") + reason));
            return;
        }
        const report::WriteResult written = report::writePdf(path, *content);
        if (!written.written) {
            state.SkipWithError(qPrintable(QStringLiteral("writePdf: ") + written.reason));
            return;
        }
        pages = written.pages;
    }
    state.counters["pages"] = pages;
    state.counters["pdf_mb"] = double(QFileInfo(path).size()) / 1e6;
    state.counters["rss_before_mb"] = before;
    state.counters["peak_rss_mb"] = peakRssMb();
}
BENCHMARK(BM_GatherAndWritePdf)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv); // the plots are widgets
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
