#include "report/Report.h"

#include "report/ReportTexts.h"

#include <QSet>
#include <QTimeZone>
#include <algorithm>
#include <limits>
#include <map>
#include <set>

using namespace archive;

namespace report {

namespace {

constexpr qint64 kDay = 86400;
// The first window a search before the period reads (it doubles while nothing is found there),
// so that a gauge read for years costs a few small reads, not its whole history.
constexpr qint64 kFirstWindow = 7 * kDay;

qint64 startOfDay(const QDate& day) { return day.startOfDay(Qt::LocalTime).toSecsSinceEpoch(); }

bool judged(const History::Trend& t, std::size_t i) { return !t.masked[i] && std::isfinite(t.value[i]); }

// A read of the archive: it failed when it says why (a read that succeeds leaves `detail` empty).
struct Reader {
    Error error{ErrorKind::ReadFailed, {}};
    bool failed() const { return !error.detail.isEmpty(); }
};

// The first judged reading of `gauge` at or after `start` in [start, before), read in windows that
// grow, with its engineering value by `versions` (Hz without any). nullopt when none there.
std::optional<std::pair<qint64, double>> firstJudgedBefore(const Archive& archive, const QString& gauge,
                                                           const std::vector<CalibrationVersion>& versions,
                                                           qint64 start, qint64 before, Reader& reader)
{
    qint64 span = kFirstWindow;
    for (qint64 from = start; from < before && !reader.failed();) {
        const qint64 to = before - from > span ? from + span - 1 : before - 1;
        const std::vector<GaugePoint> points = archive.gaugeSeries(gauge, from, to, &reader.error);
        const History::Conversion values =
            versions.empty() ? History::Conversion{} : History::convertByVersions(points, versions);
        for (std::size_t i = 0; i < points.size(); ++i) {
            const double value = versions.empty() ? points[i].readingHz : values.value[i];
            if (!points[i].masked && std::isfinite(value))
                return std::pair{points[i].utc, value};
        }
        if (to == before - 1)
            break;
        from = to + 1;
        span = span > std::numeric_limits<qint64>::max() / 4 ? span : span * 2;
    }
    return std::nullopt;
}

// The instant of the gauge's last reading in [first, before), read backwards in windows that
// grow; 0 when there is none.
qint64 lastReadingBefore(const Archive& archive, const QString& gauge, qint64 first, qint64 before, Reader& reader)
{
    qint64 span = 4 * kFirstWindow;
    for (qint64 to = before - 1; to >= first && !reader.failed();) {
        const qint64 from = to - first >= span ? to - span + 1 : first;
        const std::vector<GaugePoint> points = archive.gaugeSeries(gauge, from, to, &reader.error);
        if (!points.empty())
            return points.back().utc;
        if (from == first)
            break;
        to = from - 1;
        span = span > std::numeric_limits<qint64>::max() / 4 ? span : span * 2;
    }
    return 0;
}

bool overdueFirst(const OverdueGauge& a, const OverdueGauge& b)
{
    const double la = a.daysSince - a.intervalDays, lb = b.daysSince - b.intervalDays;
    return la != lb ? la > lb : a.gauge < b.gauge;
}

} // namespace

std::optional<Period> periodOf(PeriodKind kind, const QDateTime& now, const QDate& month, const QDate& from,
                               const QDate& to)
{
    switch (kind) {
    case PeriodKind::Last7Days:
    case PeriodKind::Last30Days: {
        if (!now.isValid())
            return std::nullopt;
        const qint64 end = now.toSecsSinceEpoch();
        return Period{end - (kind == PeriodKind::Last7Days ? 7 : 30) * kDay, end};
    }
    case PeriodKind::Month: {
        if (!month.isValid())
            return std::nullopt;
        const QDate first(month.year(), month.month(), 1);
        return Period{startOfDay(first), startOfDay(first.addMonths(1)) - 1};
    }
    case PeriodKind::Custom:
        if (!from.isValid() || !to.isValid() || to < from)
            return std::nullopt;
        return Period{startOfDay(from), startOfDay(to.addDays(1)) - 1};
    }
    return std::nullopt;
}

std::optional<Content> gather(const Archive& archive, const Request& request, const QDateTime& now,
                              const Progress& progress, QString* reason)
{
    const Texts texts(request.language);
    const bool english = texts.english();
    if (reason)
        reason->clear();
    const auto refuse = [&](const QString& why) -> std::optional<Content> {
        if (reason)
            *reason = why;
        return std::nullopt;
    };
    Reader reader;
    const auto unreadable = [&] {
        return refuse(texts(QT_TRANSLATE_NOOP("Report", "无法读取档案：%1")).arg(reader.error.detail));
    };
    const Period period = request.period;
    if (period.toUtc < period.fromUtc)
        return refuse(texts(QT_TRANSLATE_NOOP("Report", "报告期间无效：结束早于开始。")));

    Content content;
    content.request = request;
    content.title = request.title.trimmed().isEmpty() ? texts(QT_TRANSLATE_NOOP("Report", "监测报告"))
                                                      : request.title.trimmed();
    content.madeAt = now.toUTC();
    content.programVersion = QStringLiteral(KTM_VERSION);
    content.madeBy = request.reader.trimmed().isEmpty() ? pcUser() : request.reader.trimmed();

    // The site and the gauges asked for.
    if (!request.site.isEmpty()) {
        const std::vector<Site> sites = archive.sites(&reader.error);
        if (reader.failed())
            return unreadable();
        const auto found =
            std::find_if(sites.begin(), sites.end(), [&](const Site& s) { return s.name == request.site; });
        if (found == sites.end())
            return refuse(texts(QT_TRANSLATE_NOOP("Report", "档案中没有工程“%1”。")).arg(request.site));
        content.site = *found;
    }
    const std::vector<GaugeInfo> all = archive.gaugeRegister(&reader.error);
    if (reader.failed())
        return unreadable();
    std::vector<GaugeInfo> chosen;
    if (request.gauges.isEmpty()) {
        for (const GaugeInfo& g : all)
            if (request.site.isEmpty() || g.site == request.site)
                chosen.push_back(g);
    } else {
        QSet<QString> taken;
        for (const QString& name : request.gauges) {
            if (taken.contains(name))
                continue;
            taken.insert(name);
            const auto found = std::find_if(all.begin(), all.end(), [&](const GaugeInfo& g) { return g.name == name; });
            if (found == all.end())
                return refuse(texts(QT_TRANSLATE_NOOP("Report", "档案中没有测点“%1”。")).arg(name));
            if (!request.site.isEmpty() && found->site != request.site)
                return refuse(
                    texts(QT_TRANSLATE_NOOP("Report", "测点“%1”不属于工程“%2”。")).arg(name, request.site));
            chosen.push_back(*found);
        }
    }
    std::sort(chosen.begin(), chosen.end(), [](const GaugeInfo& a, const GaugeInfo& b) {
        return a.type != b.type ? a.type < b.type : a.name < b.name;
    });

    std::map<QString, GaugeSummary> summaries;
    for (GaugeSummary& s : archive.gauges(request.site, &reader.error))
        summaries.emplace(s.info.name, std::move(s));
    if (reader.failed())
        return unreadable();
    std::map<qint64, QString> readoutNames;
    for (const Readout& r : archive.readouts(&reader.error))
        readoutNames.emplace(r.id, r.name);
    if (reader.failed())
        return unreadable();

    const qint64 total = qint64(chosen.size());
    if (progress && !progress(0, total))
        return std::nullopt;
    QSet<QString> readouts;
    QSet<QString> reported;
    for (const GaugeInfo& info : chosen) {
        GaugeReport g;
        g.info = info;
        reported.insert(info.name);
        const GaugeSummary* summary = summaries.count(info.name) ? &summaries.at(info.name) : nullptr;

        // The period's readings, with what judging them found; the points for the readouts and
        // for the level that set the latest status.
        g.trend = History::gaugeTrend(archive, info.name, true, period.fromUtc, period.toUtc);
        const std::vector<GaugePoint> points = archive.gaugeSeries(info.name, period.fromUtc, period.toUtc, &reader.error);
        if (reader.failed())
            return unreadable();
        const History::Trend& t = g.trend;
        g.unit = t.unit.isEmpty() ? info.unit : t.unit;
        QSet<QString> own;
        for (const GaugePoint& p : points) {
            const auto name = readoutNames.find(p.readout);
            if (name != readoutNames.end())
                own.insert(name->second);
            // Each reading's frequency and readout, which the AGS4 and long CSV files write.
            g.readingHz.push_back(p.readingHz);
            g.readingReadouts << (name != readoutNames.end() ? name->second : QString());
        }
        g.readouts = QStringList(own.begin(), own.end());
        g.readouts.sort();
        readouts.unite(own);

        const std::size_t n = t.value.size();
        g.readings = qint64(n);
        std::optional<std::size_t> first, latest;
        std::set<int> versionsUsed;
        for (std::size_t i = 0; i < n; ++i) {
            g.maskedInPeriod += t.masked[i];
            if (t.flags[i] != 0) {
                ++g.flaggedInPeriod;
                content.flagged.push_back(
                    FlaggedReading{info.name, t.utc[i], t.value[i], g.unit, t.flags[i], flagsText(t.flags[i], english)});
            }
            if (i < t.version.size() && t.version[i] >= 0)
                versionsUsed.insert(t.version[i]);
            if (judged(t, i)) {
                if (!first)
                    first = i;
                latest = i;
            }
        }
        for (const int v : versionsUsed)
            g.versionsUsed.push_back(t.versions[std::size_t(v)]);

        const LevelSet* levels = nullptr;
        if (latest) {
            g.latestValue = t.value[*latest];
            g.latestUtc = t.utc[*latest];
            g.firstValue = t.value[*first];
            g.firstUtc = t.utc[*first];
            if (*first != *latest)
                g.changeOverPeriod = g.latestValue - g.firstValue;
            if (g.latestUtc != g.firstUtc)
                g.ratePerDay = g.changeOverPeriod / (double(g.latestUtc - g.firstUtc) / kDay);
            // The status as stored, and the set and level that set it (from the point itself).
            g.status = t.status[*latest];
            const GaugePoint* point = nullptr;
            for (auto p = points.rbegin(); p != points.rend() && !point; ++p)
                if (p->utc == g.latestUtc && !p->masked)
                    point = &*p;
            for (const LevelSet& s : t.levelSets)
                if (point && s.id == point->levelSet)
                    levels = &s;
            if (!levels)
                levels = History::levelSetAt(t.levelSets, g.latestUtc);
            g.statusName = statusName(levels, g.status, english);
            if (g.status > 0 && levels && point)
                g.rule = levelText(*levels, point->level, g.unit, english);
        }

        // The baseline: named by the level version in force at the latest judged reading (at the
        // period's end when there is none), else the gauge's first judged reading ever.
        const LevelSet* baselineSet = History::levelSetAt(t.levelSets, latest ? g.latestUtc : period.toUtc);
        qint64 start = baselineSet ? baselineSet->baselineUtc : kSinceEver;
        if (summary && summary->count > 0)
            start = std::max(start, summary->firstUtc);
        if (start < period.fromUtc && summary && summary->count > 0) {
            const auto found = firstJudgedBefore(archive, info.name, t.versions, start, period.fromUtc, reader);
            if (reader.failed())
                return unreadable();
            if (found)
                std::tie(g.baselineUtc, g.baselineValue) = *found;
        }
        if (g.baselineUtc == 0 && std::isnan(g.baselineValue))
            for (std::size_t i = 0; i < n; ++i)
                if (t.utc[i] >= start && judged(t, i)) {
                    g.baselineUtc = t.utc[i];
                    g.baselineValue = t.value[i];
                    break;
                }
        if (latest)
            g.changeSinceBaseline = g.latestValue - g.baselineValue;

        // The last reading at or before the period's end.
        if (n > 0)
            g.lastReadingUtc = t.utc.back();
        else if (summary && summary->count > 0) {
            if (summary->lastUtc <= period.toUtc)
                g.lastReadingUtc = summary->lastUtc;
            else if (summary->firstUtc < period.fromUtc)
                g.lastReadingUtc = lastReadingBefore(archive, info.name, summary->firstUtc, period.fromUtc, reader);
        }
        if (reader.failed())
            return unreadable();

        const std::vector<Mask> masks = archive.masks(info.name, &reader.error);
        if (reader.failed())
            return unreadable();
        for (const Mask& m : masks)
            if (m.utc >= period.fromUtc && m.utc <= period.toUtc)
                content.masks.push_back(m);

        content.gauges.push_back(std::move(g));
        if (progress && !progress(qint64(content.gauges.size()), total))
            return std::nullopt;
    }
    content.readouts = QStringList(readouts.begin(), readouts.end());
    content.readouts.sort();
    std::stable_sort(content.flagged.begin(), content.flagged.end(),
                     [](const FlaggedReading& a, const FlaggedReading& b) { return a.utc < b.utc; });
    std::stable_sort(content.masks.begin(), content.masks.end(),
                     [](const Mask& a, const Mask& b) { return a.utc < b.utc; });

    // The events and the downloads of the period.
    EventQuery query;
    query.sinceUtc = period.fromUtc;
    query.site = request.site;
    const std::vector<LevelEvent> events = archive.events(query, &reader.error);
    if (reader.failed())
        return unreadable();
    for (const LevelEvent& e : events)
        if (e.utc >= period.fromUtc && e.utc <= period.toUtc && reported.contains(e.gauge))
            content.events.push_back(e);
    const std::vector<Download> downloads = archive.downloads(&reader.error);
    if (reader.failed())
        return unreadable();
    for (const Download& d : downloads)
        if (d.at.isValid() && d.at.toSecsSinceEpoch() >= period.fromUtc && d.at.toSecsSinceEpoch() <= period.toUtc)
            content.downloads.push_back(d);

    // The overdue gauges at the period's end (now, for a period that reaches past it). The
    // archive counts a gauge's newest reading, also one after that instant; a gauge read since
    // then is counted here from its last reading at or before it.
    const qint64 overdueAt = std::min(period.toUtc, now.toSecsSinceEpoch());
    const std::vector<OverdueGauge> overdue =
        archive.overdue(QDateTime::fromSecsSinceEpoch(overdueAt, QTimeZone::utc()), request.site, &reader.error);
    if (reader.failed())
        return unreadable();
    for (GaugeReport& g : content.gauges) {
        const GaugeSummary* summary = summaries.count(g.info.name) ? &summaries.at(g.info.name) : nullptr;
        const bool readSince = summary && summary->count > 0 && summary->lastUtc > overdueAt;
        std::optional<OverdueGauge> entry;
        if (!readSince) {
            for (const OverdueGauge& o : overdue)
                if (o.gauge == g.info.name)
                    entry = o;
        } else if (g.info.intervalDays > 0) {
            qint64 since = 0;
            if (g.lastReadingUtc > 0 && g.lastReadingUtc <= overdueAt)
                since = g.lastReadingUtc;
            else if (g.lastReadingUtc == 0 && g.info.installed.isValid())
                since = g.info.installed.startOfDay(QTimeZone::utc()).toSecsSinceEpoch();
            const double days = double(overdueAt - since) / kDay;
            if (since != 0 && days > g.info.intervalDays)
                entry = OverdueGauge{g.info.name, g.info.site, g.info.intervalDays,
                                     g.lastReadingUtc <= overdueAt ? g.lastReadingUtc : 0, days};
        }
        if (entry) {
            g.overdueDays = entry->daysSince - entry->intervalDays;
            content.overdue.push_back(*entry);
        }
    }
    std::stable_sort(content.overdue.begin(), content.overdue.end(), overdueFirst);
    return content;
}

} // namespace report
