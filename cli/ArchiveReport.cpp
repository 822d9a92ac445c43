// The report command: the monitoring report of a site (or of chosen gauges) over a period,
// gathered from the archive and written as a PDF, an AGS4 file or a long CSV.
#include "cli/ArchiveCommands.h"

#include "archive/Archive.h"
#include "archive/Recorder.h"
#include "cli/Console.h"
#include "cli/Progress.h"
#include "export/SaveGrid.h"
#include "report/Ags4.h"
#include "report/LongCsv.h"
#include "report/Report.h"
#include "report/ReportPdf.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>

namespace cli {

namespace {

struct Texts {
    Q_DECLARE_TR_FUNCTIONS(cli::ArchiveReport)
};

// The period the options name: --month, --from (to --to, else now), or the last 7 (--last 30:
// 30) days up to --to, else now. nullopt when it ends before it begins.
std::optional<report::Period> periodOf(const Options& o, const QDateTime& now)
{
    if (o.month.isValid())
        return report::periodOf(report::PeriodKind::Month, now, o.month);
    if (o.from) {
        const report::Period p{*o.from, o.to.value_or(now.toSecsSinceEpoch())};
        return p.toUtc >= p.fromUtc ? std::optional(p) : std::nullopt;
    }
    const QDateTime end = o.to ? QDateTime::fromSecsSinceEpoch(*o.to, Qt::UTC) : now;
    return report::periodOf(o.lastDays == 30 ? report::PeriodKind::Last30Days : report::PeriodKind::Last7Days, end);
}

} // namespace

int ArchiveCommands::report()
{
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const std::optional<report::Period> period = periodOf(m_o, now);
    if (!period) {
        m_console.error(Texts::tr("报告的期间为空：结束时间早于开始时间。"));
        return UsageError;
    }
    // Read only, an archive not there is an empty one; a report of nothing, week after week
    // from a cron job with a mistyped --archive, would look like a quiet site.
    if (!QFileInfo::exists(archivePath(m_o))) {
        m_console.error(Texts::tr("档案“%1”不存在，报告未写入。").arg(QDir::toNativeSeparators(archivePath(m_o))));
        return ArchiveFailed;
    }
    archive::Recorder recorder(archivePath(m_o), archive::Recorder::Access::ReadOnly);
    archive::Archive* a = openArchive(recorder);
    if (!a)
        return ArchiveFailed;
    // An unknown site or gauge is the operator's mistake, told as archive export tells it; what
    // gather refuses after that is the archive's failure.
    std::vector<archive::GaugeInfo> chosen;
    if (const int code = chooseGauges(*a, chosen); code != Success)
        return code;
    if (chosen.empty()) {
        m_console.error(m_o.site.isEmpty() ? Texts::tr("测点登记表中没有测点，报告未写入。")
                                           : Texts::tr("工程“%1”中没有测点，报告未写入。").arg(m_o.site));
        return UsageError;
    }

    report::Request request;
    request.site = m_o.site;
    request.gauges = m_o.gauges;
    request.period = *period;
    request.language = language(m_o);
    request.title = m_o.title;
    request.reader = m_o.reader;
    request.remarks = m_o.remarks;
    request.grouping = m_o.byType ? report::Grouping::PerType : report::Grouping::PerGauge;

    Progress progress(m_console);
    const auto shown = [&](const QString& what) {
        return [&, what](qint64 done, qint64 total) {
            if (m_stopRequested())
                return false;
            progress.steps(what, done, total);
            return true;
        };
    };
    const auto stopped = [&] {
        m_console.error(Texts::tr("已中止：报告未写入，原有的文件保持不变。"));
        return int(Interrupted);
    };

    QString reason;
    const std::optional<report::Content> content =
        report::gather(*a, request, now, shown(Texts::tr("正在收集数据")), &reason);
    progress.end();
    if (!content) {
        if (m_stopRequested() || reason.isEmpty())
            return stopped();
        m_console.error(reason);
        return ArchiveFailed;
    }
    if (m_stopRequested())
        return stopped();

    const report::Progress writing = shown(Texts::tr("正在写入报告"));
    report::WriteResult result;
    switch (reportFormat(m_o.output)) {
    case ReportFormat::Pdf: result = report::writePdf(m_o.output, *content, writing); break;
    case ReportFormat::Ags: result = report::writeAgs4(m_o.output, *content, writing); break;
    case ReportFormat::Csv: result = report::writeLongCsv(m_o.output, *content, writing); break;
    case ReportFormat::Unknown: return UsageError; // refused by the parser
    }
    progress.end();
    if (result.cancelled || (!result.written && m_stopRequested()))
        return stopped();
    if (!result.written) {
        m_console.error(SaveGrid::failureMessage(result.reason));
        return SaveFailed;
    }
    const QString file = QDir::toNativeSeparators(m_o.output);
    if (result.pages > 0)
        //: %1 the file, %2 gauges, %3 pages
        m_console.note(Texts::tr("已写好报告 %1：%2 个测点，%3 页。").arg(file).arg(content->gauges.size()).arg(result.pages));
    else
        //: %1 the file, %2 gauges
        m_console.note(Texts::tr("已写好报告 %1：%2 个测点。").arg(file).arg(content->gauges.size()));
    return Success;
}

} // namespace cli
