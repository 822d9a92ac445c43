#include "app/ReportChoice.h"

#include "platform/Language.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QSettings>

namespace {

// The keys of the remembered choices; the period and the grouping by name, so that a reordered
// list in a later version does not change what was remembered.
const QString kPeriod = QStringLiteral("report/period");
const QString kMonth = QStringLiteral("report/month");
const QString kFrom = QStringLiteral("report/from");
const QString kTo = QStringLiteral("report/to");
const QString kLanguage = QStringLiteral("report/language");
const QString kTitle = QStringLiteral("report/title");
const QString kReader = QStringLiteral("report/reader");
const QString kGrouping = QStringLiteral("report/grouping");
const QString kFormat = QStringLiteral("report/format");

QString periodKey(report::PeriodKind kind)
{
    switch (kind) {
    case report::PeriodKind::Last7Days:
        return QStringLiteral("last7");
    case report::PeriodKind::Last30Days:
        return QStringLiteral("last30");
    case report::PeriodKind::Month:
        return QStringLiteral("month");
    case report::PeriodKind::Custom:
        return QStringLiteral("custom");
    }
    return {};
}

} // namespace

std::optional<report::Request> ReportChoice::request(const QDateTime& now, QString* reason) const
{
    const auto refuse = [reason](const QString& why) {
        if (reason)
            *reason = why;
        return std::nullopt;
    };
    report::Request r;
    switch (scope) {
    case Scope::Site:
        if (site.trimmed().isEmpty())
            return refuse(QCoreApplication::translate("ReportChoice", "请选择工程。"));
        r.site = site;
        break;
    case Scope::Chosen:
        if (gauges.isEmpty())
            return refuse(QCoreApplication::translate("ReportChoice", "历史数据中没有选中的测点：请先在左侧列表中选择测点。"));
        r.gauges = gauges;
        break;
    case Scope::All:
        break;
    }
    const std::optional<report::Period> p = report::periodOf(period, now, month, from, to);
    if (!p) {
        if (period == report::PeriodKind::Month)
            return refuse(QCoreApplication::translate("ReportChoice", "请选择月份。"));
        return refuse(from.isValid() && to.isValid() ? QCoreApplication::translate("ReportChoice", "结束日期早于开始日期。") : QCoreApplication::translate("ReportChoice", "请填写开始和结束日期。"));
    }
    r.period = *p;
    const QString code = Language::normalised(language);
    r.language = code.isEmpty() ? Language::kChinese : code;
    r.title = title.trimmed();
    r.reader = reader.trimmed();
    r.remarks = remarks.trimmed();
    r.grouping = grouping;
    return r;
}

ReportChoice ReportChoice::remembered(const QSettings& settings, const QString& defaultReader)
{
    ReportChoice c;
    const QString period = settings.value(kPeriod).toString();
    for (report::PeriodKind k : {report::PeriodKind::Last7Days, report::PeriodKind::Last30Days,
                                 report::PeriodKind::Month, report::PeriodKind::Custom})
        if (periodKey(k) == period)
            c.period = k;
    c.month = settings.value(kMonth).toDate();
    c.from = settings.value(kFrom).toDate();
    c.to = settings.value(kTo).toDate();
    const QString language = Language::normalised(settings.value(kLanguage).toString());
    c.language = language.isEmpty() ? Language::kChinese : language;
    c.title = settings.value(kTitle).toString();
    c.reader = settings.contains(kReader) ? settings.value(kReader).toString() : defaultReader;
    c.grouping = settings.value(kGrouping).toString() == QLatin1String("type") ? report::Grouping::PerType
                                                                               : report::Grouping::PerGauge;
    c.format = reportFormatOf(QStringLiteral("report.") + settings.value(kFormat).toString()).value_or(ReportFormat::Pdf);
    return c;
}

void ReportChoice::remember(QSettings& settings) const
{
    settings.setValue(kPeriod, periodKey(period));
    const auto setDate = [&settings](const QString& key, const QDate& date) {
        if (date.isValid())
            settings.setValue(key, date);
        else
            settings.remove(key);
    };
    setDate(kMonth, month);
    setDate(kFrom, from);
    setDate(kTo, to);
    settings.setValue(kLanguage, language);
    settings.setValue(kTitle, title.trimmed());
    settings.setValue(kReader, reader.trimmed());
    settings.setValue(kGrouping, grouping == report::Grouping::PerType ? QStringLiteral("type") : QStringLiteral("gauge"));
    settings.setValue(kFormat, reportSuffix(format).mid(1));
}

QString reportFilters() { return QCoreApplication::translate("ReportChoice", "PDF 报告|*.pdf|AGS4|*.ags|长表 CSV|*.csv"); }

std::optional<ReportFormat> reportFormatOf(const QString& path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QLatin1String("pdf"))
        return ReportFormat::Pdf;
    if (suffix == QLatin1String("ags"))
        return ReportFormat::Ags4;
    if (suffix == QLatin1String("csv"))
        return ReportFormat::LongCsv;
    return std::nullopt;
}

QString reportSuffix(ReportFormat format)
{
    switch (format) {
    case ReportFormat::Pdf:
        return QStringLiteral(".pdf");
    case ReportFormat::Ags4:
        return QStringLiteral(".ags");
    case ReportFormat::LongCsv:
        return QStringLiteral(".csv");
    }
    return {};
}
