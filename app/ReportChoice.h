#pragma once

#include "report/Report.h"

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <optional>

class QSettings;

// The kinds of file a report is written as, known by the path's suffix.
enum class ReportFormat {
    Pdf,
    Ags4,
    LongCsv
};

// What the operator chose in the report dialog, apart from its widgets: which gauges, which
// period, the report's language, title, reader, remarks and plots. Turned into the report's
// Request here, and remembered between runs in the window's settings.
struct ReportChoice {
    enum class Scope {
        Site,   // the gauges of `site`
        Chosen, // the gauges chosen in the history tab
        All     // every gauge of the archive
    };
    Scope scope = Scope::Site;
    QString site;
    QStringList gauges; // for Scope::Chosen

    report::PeriodKind period = report::PeriodKind::Last30Days;
    QDate month; // any day of it (PeriodKind::Month)
    QDate from;  // PeriodKind::Custom, both days included
    QDate to;

    QString language = QStringLiteral("zh_CN");
    QString title;
    QString reader;
    QString remarks;
    report::Grouping grouping = report::Grouping::PerGauge;
    ReportFormat format = ReportFormat::Pdf; // of the last file written, for the next one's name

    // The request for these choices at `now`; nullopt with the operator's reason when they do
    // not make one (no site, no gauges chosen, a period that ends before it begins).
    std::optional<report::Request> request(const QDateTime& now, QString* reason = nullptr) const;

    // The choices remembered (period, month, custom days, language, title, reader, grouping,
    // format); the reader is `defaultReader` when none was remembered. The site, the gauges and
    // the remarks belong to one report and are not remembered.
    static ReportChoice remembered(const QSettings& settings, const QString& defaultReader);
    void remember(QSettings& settings) const;
};

// The file dialog's filters ("description|pattern|..."), the PDF first.
QString reportFilters();
// The format of `path` by its suffix (.pdf, .ags, .csv, any case); nullopt for another.
std::optional<ReportFormat> reportFormatOf(const QString& path);
// The suffix of a format, with its dot.
QString reportSuffix(ReportFormat format);
