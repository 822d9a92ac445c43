// Writes the report of a fixture site as a PDF, to look at (docs/screenshots/report-*.png are
// its pages through pdftoppm): report_shot OUT.pdf [gauges [days [zh_CN|en [type]]]].
#include "report/Report.h"
#include "report/ReportPdf.h"
#include "tests/report/ReportFixture.h"

#include <QApplication>
#include <QDateTime>
#include <QTimeZone>
#include <cstdio>

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 2) {
        std::fprintf(stderr, "usage: report_shot OUT.pdf [gauges [days [zh_CN|en [type]]]]\n");
        return 2;
    }
    const int gauges = args.size() > 2 ? args[2].toInt() : 8;
    const int days = args.size() > 3 ? args[3].toInt() : 60;
    constexpr qint64 first = 1'791'072'000; // 2026-10-04 00:00 UTC
    report::test::TempArchive a = report::test::openTempArchive();
    report::test::fillSite(*a.archive, QStringLiteral("东江大坝"), gauges, days, first);
    report::Request request;
    request.site = QStringLiteral("东江大坝");
    request.period = {first, first + qint64(days) * 86'400 - 1};
    request.language = args.size() > 4 ? args[4] : QStringLiteral("zh_CN");
    request.reader = QStringLiteral("张工");
    request.remarks = QStringLiteral("汛前例行检查；3 号坝段渗压计读数偏高，已安排复测。");
    request.grouping = args.size() > 5 && args[5] == QLatin1String("type") ? report::Grouping::PerType : report::Grouping::PerGauge;
    QString reason;
    const std::optional<report::Content> content =
        report::gather(*a.archive, request, QDateTime::fromSecsSinceEpoch(request.period.toUtc + 3600, QTimeZone::utc()), {}, &reason);
    if (!content) {
        std::fprintf(stderr, "gather: %s\n", qPrintable(reason));
        return 1;
    }
    const report::WriteResult r = report::writePdf(args[1], *content);
    if (!r.written) {
        std::fprintf(stderr, "writePdf: %s\n", qPrintable(r.reason));
        return 1;
    }
    std::printf("%d pages\n", r.pages);
    return 0;
}
