#pragma once

#include "archive/Archive.h"
#include "archive/History.h"
#include "archive/Judgement.h"
#include "archive/Monitoring.h"

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <cmath>
#include <functional>
#include <optional>
#include <vector>

// The monitoring report of a site (or of chosen gauges) over a period: what the archive holds and
// has judged of it, gathered once, then written as a PDF (ReportPdf), as AGS4 (Ags4) or as a long
// CSV (LongCsv). Gathering is logic on the archive only: no painting, no widgets.
namespace report {

// A report's period, UTC instants, both ends included.
struct Period {
    qint64 fromUtc = 0;
    qint64 toUtc = 0;
};

// The periods the window offers: the last 7 or 30 days up to `now` ([now - 7 * 86400 s, now]), a
// calendar month (of the PC's time zone, its first midnight to the second before the next
// month's), or the operator's own from-to (dates of the PC's time zone, from the midnight that
// starts `from` to the second before the one that ends `to`).
enum class PeriodKind {
    Last7Days,
    Last30Days,
    Month,
    Custom
};
// `month`: any day of the month (Month); `from`/`to`: the days (Custom). An invalid date or a
// `to` before `from` gives nullopt; so does an invalid `now` for the last 7 or 30 days.
std::optional<Period> periodOf(PeriodKind kind, const QDateTime& now, const QDate& month = {}, const QDate& from = {},
                               const QDate& to = {});

// A gauge per plot, or the gauges of one type together in one plot (at most kMaxPerGroupPlot a
// plot; more are continued on further plots).
enum class Grouping {
    PerGauge,
    PerType
};
constexpr int kMaxPerGroupPlot = 6;

struct Request {
    QString site;       // the site's gauges; empty: the gauges listed, or every gauge when none is
    QStringList gauges; // chosen gauges (within the site when one is given; a repeated one once); empty: all of it
    Period period;
    QString language = QStringLiteral("zh_CN"); // Language::kChinese or Language::kEnglish
    QString title;                              // empty: "监测报告" / "Monitoring report"
    QString reader;                             // who read and made the report (typed by the operator; trimmed)
    QString remarks;
    Grouping grouping = Grouping::PerGauge;
};

// One gauge of the report. "Judged" readings are those the judge uses: not masked, with a value.
// Values are engineering values by the calibration version valid at each instant (Hz, and unit
// "Hz", for a gauge without calibration versions), as the history tab and the judge have them.
struct GaugeReport {
    archive::GaugeInfo info;
    QString unit;                  // of the values
    archive::History::Trend trend; // the period's readings, with statuses, flags and masks as stored
    QStringList readouts;          // that read it in the period, by name, sorted
    // Per reading of `trend`, in its order: the frequency as read (Hz) and the name of the
    // readout that read it, which the trend itself does not keep of a converted gauge. The AGS4
    // and long CSV files write them; empty (not gathered), the frequency is known only of a
    // gauge whose values are readings, and the readout only of a gauge read by one readout.
    std::vector<double> readingHz;
    QStringList readingReadouts;

    qint64 readings = 0;        // in the period, all of them
    qint64 maskedInPeriod = 0;  // of those, masked
    qint64 flaggedInPeriod = 0; // of those, with quality flags
    // The latest and the first judged reading in the period (NaN and 0 when there is none).
    double latestValue = NAN;
    qint64 latestUtc = 0;
    double firstValue = NAN;
    qint64 firstUtc = 0;
    // latestValue - firstValue (NaN with fewer than two judged readings in the period).
    double changeOverPeriod = NAN;
    // The baseline: the level version in force at latestUtc names it (its first judged reading at
    // or after baselineUtc); without levels it is the gauge's first judged reading ever. Without a
    // judged reading in the period, the version in force at the period's end. Looked for up to the
    // period's end only (NaN and 0 when there is none by then).
    double baselineValue = NAN;
    qint64 baselineUtc = 0;
    double changeSinceBaseline = NAN; // latestValue - baselineValue
    // changeOverPeriod per day between firstUtc and latestUtc (NaN when they are the same instant).
    double ratePerDay = NAN;
    // The status of the latest judged reading in the period, as stored, in the report's language:
    // its name (正常, 预警, ...) and the level that set it (levelText; "" for normal). Without a
    // judged reading in the period: 0, and both "".
    int status = 0;
    QString statusName;
    QString rule;
    // The gauge's last reading at or before the period's end (0: none), masked or not, and by how
    // many days it is overdue at the period's end, or now when that is earlier (daysSince -
    // interval; 0 when not overdue or without interval). Only readings at or before that instant
    // count: a gauge overdue at the end of a past period is reported so though read since.
    qint64 lastReadingUtc = 0;
    double overdueDays = 0;
    // The calibration versions that converted readings in the period, oldest first, and the
    // level versions of the gauge (oldest first; the trend's levelSets).
    std::vector<archive::CalibrationVersion> versionsUsed;
};

// A reading in the period with quality flags (masked or not), in the report's words; its value as
// the trend has it (NaN where it could not be converted).
struct FlaggedReading {
    QString gauge;
    qint64 utc = 0;
    double value = NAN;
    QString unit;
    std::uint16_t flags = 0;
    QString flagsText; // archive::flagsText in the report's language
};

struct Content {
    Request request;
    QString title;      // the request's, or the default in the report's language
    archive::Site site; // the request's site (name empty when none was given)
    QDateTime madeAt;   // UTC
    QString programVersion;
    QString madeBy;                             // the request's reader, else the PC's user (archive::pcUser)
    QStringList readouts;                       // every readout that read a reported gauge in the period, by name
    std::vector<archive::Download> downloads;   // the stores whose time is in the period, oldest first (of every
                                                // readout and site: a store names neither)
    std::vector<GaugeReport> gauges;            // by type, then name (as text, code point by code point)
    std::vector<archive::LevelEvent> events;    // of the reported gauges in the period, oldest first, with acknowledgements
    std::vector<FlaggedReading> flagged;        // oldest first
    std::vector<archive::Mask> masks;           // masks in force on readings in the period, oldest reading first
    std::vector<archive::OverdueGauge> overdue; // of the reported gauges at the period's end (as
                                                // GaugeReport::overdueDays), most overdue first
};

// Told how far a long job is (done of total, in the job's own steps); returns false to stop it.
using Progress = std::function<bool(qint64 done, qint64 total)>;

// Gathers the report from the archive. nullopt with `reason` (the operator's words, in the
// report's language) when the archive cannot be read, a site or gauge asked for is not known (or
// a gauge asked for is not of the site asked for), the period is empty (to before from), or
// `progress` stopped it (reason empty then; it is emptied on success too). Progress: (0, gauges)
// first, then (n, gauges) after the n-th gauge. Each gauge reads its period, and before it no more
// than it needs to find its baseline and its last reading (a window that doubles while empty).
std::optional<Content> gather(const archive::Archive& archive, const Request& request, const QDateTime& now,
                              const Progress& progress = {}, QString* reason = nullptr);

// How a file of the report was written. The file appears only complete: a failure or a cancel
// leaves no file, and an earlier file of that name as it was.
struct WriteResult {
    bool written = false;
    bool cancelled = false;
    QString reason; // the operator's reason when neither written nor cancelled
    int pages = 0;  // of a PDF
};

} // namespace report
