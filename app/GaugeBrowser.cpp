#include "app/GaugeBrowser.h"

#include "plot/TrendLevels.h"

#include <QCoreApplication>
#include <map>

using namespace archive;

namespace {

GaugeBrowser::Entry gaugeEntry(const GaugeSummary& g)
{
    return GaugeBrowser::Entry{.kind = GaugeBrowser::Kind::Gauge,
                               .name = g.info.name,
                               .count = g.count,
                               .first = g.firstUtc,
                               .last = g.lastUtc,
                               .readouts = g.readouts,
                               .places = g.slotNames,
                               .type = g.info.type,
                               .unit = g.info.unit};
}

} // namespace

QString GaugeBrowser::slotText(const QString& readout, const QString& code)
{
    return readout.isEmpty() ? code : readout + QLatin1Char(' ') + code;
}

bool GaugeBrowser::load(const Archive& archive, Error* error)
{
    m_entries.clear();
    const auto failed = [&](const Error& what) {
        m_entries.clear();
        if (error)
            *error = what;
        return false;
    };
    // A read that fails says why in the error's detail; one that succeeds leaves it empty.
    Error readError{ErrorKind::ReadFailed, {}};
    const std::vector<Site> sites = archive.sites(&readError);
    if (!readError.detail.isEmpty())
        return failed(readError);
    const std::vector<GaugeSummary> gauges = archive.gauges({}, &readError);
    if (!readError.detail.isEmpty())
        return failed(readError);
    const std::vector<SlotSummary> slotList = archive.slotSummaries(&readError);
    if (!readError.detail.isEmpty())
        return failed(readError);
    const std::vector<Readout> readouts = archive.readouts(&readError);
    if (!readError.detail.isEmpty())
        return failed(readError);

    // Every site the archive knows, also one without gauges yet, in its order; a gauge's site
    // that the list of sites lacks is added as it comes.
    std::map<QString, std::size_t> siteAt;
    const auto siteEntry = [&](const QString& name) -> Entry& {
        auto it = siteAt.find(name);
        if (it == siteAt.end()) {
            it = siteAt.emplace(name, m_entries.size()).first;
            m_entries.push_back(Entry{.kind = Kind::Site, .name = name});
        }
        return m_entries[it->second];
    };
    for (const Site& s : sites)
        siteEntry(s.name);
    for (const GaugeSummary& g : gauges) {
        if (g.info.site.isEmpty())
            continue;
        Entry& site = siteEntry(g.info.site);
        site.children.push_back(gaugeEntry(g));
        site.count += g.count;
    }
    Entry loose{.kind = Kind::Site};
    for (const GaugeSummary& g : gauges)
        if (g.info.site.isEmpty()) {
            loose.children.push_back(gaugeEntry(g));
            loose.count += g.count;
        }
    if (!loose.children.empty())
        m_entries.push_back(std::move(loose));

    std::map<QString, qint64> readoutId;
    for (const Readout& r : readouts)
        readoutId.emplace(r.name, r.id);
    Entry unassigned{.kind = Kind::Unassigned};
    for (const SlotSummary& s : slotList) {
        if (s.unassigned <= 0)
            continue;
        const auto id = readoutId.find(s.readout);
        unassigned.children.push_back(Entry{.kind = Kind::Slot,
                                            .name = s.readout,
                                            .code = s.code,
                                            .readout = id == readoutId.end() ? 0 : id->second,
                                            .partition = s.partition,
                                            .count = s.unassigned,
                                            .first = s.firstTime,
                                            .last = s.lastTime});
        unassigned.count += s.unassigned;
    }
    if (!unassigned.children.empty())
        m_entries.push_back(std::move(unassigned));
    return true;
}

const GaugeBrowser::Entry* GaugeBrowser::find(const Pick& pick) const
{
    for (const Entry& group : m_entries)
        for (const Entry& e : group.children)
            if (pickOf(e) == pick)
                return &e;
    return nullptr;
}

namespace {

// The level version in force now, as the plot draws it: its Value and Change levels as bands
// (when the values are in the levels' units), its rate levels in words.
} // namespace

GaugeBrowser::Plotted GaugeBrowser::plot(const Archive& archive, const Pick& pick, bool engineering,
                                         History::Span span) const
{
    Plotted out;
    const bool gauge = pick.kind == Kind::Gauge;
    History::Trend t = gauge ? History::gaugeTrend(archive, pick.name, engineering)
                             : History::unassignedTrend(archive, pick.readout, pick.code, engineering);
    const std::vector<GaugePoint> points = gauge ? archive.gaugeSeries(pick.name, kSinceEver, kUntilNow)
                                                 : archive.unassignedSeries(pick.readout, pick.code, kSinceEver, kUntilNow);
    out.converted = t.converted;
    out.uncorrected = t.uncorrected;
    TrendSeries& s = out.series;
    s.code = gauge ? pick.name : slotText(find(pick) ? find(pick)->name : QString(), pick.code);
    s.valueLabel = t.valueLabel;
    s.unit = t.unit;
    // Where each reading came from, when the trend holds the readings the series does.
    std::map<std::pair<qint64, QString>, int> originAt;
    std::map<qint64, QString> readoutName;
    for (const Readout& r : archive.readouts())
        readoutName.emplace(r.id, r.name);
    const bool named = points.size() == t.time.size();
    qint64 from = std::numeric_limits<qint64>::min();
    if (span != History::Span::All && !t.time.empty()) {
        const qint64 newest = *std::max_element(t.time.begin(), t.time.end());
        from = History::rangeOf(span, {SeriesSummary{.lastTime = newest}}).from;
    }
    for (std::size_t i = 0; i < t.time.size(); ++i) {
        if (t.time[i] < from)
            continue;
        s.time.push_back(t.time[i]);
        s.value.push_back(t.value[i]);
        s.temperature.push_back(t.temperature[i]);
        if (i < t.status.size()) {
            s.status.push_back(t.status[i]);
            s.flags.push_back(t.flags[i]);
            s.masked.push_back(t.masked[i]);
            if (t.flags[i] != 0 && !s.flagNames.contains(t.flags[i]))
                s.flagNames.insert(t.flags[i], flagsText(t.flags[i]));
        }
        if (!named)
            continue;
        const std::pair<qint64, QString> key{points[i].readout, points[i].code};
        auto it = originAt.find(key);
        if (it == originAt.end()) {
            it = originAt.emplace(key, int(s.origins.size())).first;
            s.origins << slotText(readoutName[key.first], key.second);
        }
        s.origin.push_back(it->second);
    }
    if (gauge) {
        const LevelSet* set = History::levelSetAt(t.levelSets, kUntilNow);
        plot::applyLevelSet(s, set, t.levelsApply, t.unit, set ? History::baselineValue(t, *set) : NAN);
    }
    return out;
}
