#include "plot/TrendLevels.h"

#include "archive/Judgement.h"

#include <algorithm>
#include <limits>

namespace plot {

namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();

struct Edge {
    double at = 0;
    int rank = 0;
};

// One side's bands: `edges` sorted from the nearest to normal outward.
void sideBands(std::vector<Edge> edges, bool high, std::vector<Band>& out)
{
    std::stable_sort(edges.begin(), edges.end(),
                     [high](const Edge& a, const Edge& b) { return high ? a.at < b.at : a.at > b.at; });
    int reached = 0;
    for (size_t i = 0; i < edges.size(); ++i) {
        reached = std::max(reached, edges[i].rank);
        const double next = i + 1 < edges.size() ? edges[i + 1].at : (high ? kInfinity : -kInfinity);
        if (next == edges[i].at)
            continue; // two thresholds at one value: the band begins with the higher rank
        if (reached <= 0)
            continue;
        Band b = high ? Band{edges[i].at, next, reached} : Band{next, edges[i].at, reached};
        // A band of the same rank as the one before it widens that one.
        if (!out.empty() && out.back().rank == reached && (high ? out.back().high == b.low : out.back().low == b.high)) {
            (high ? out.back().high : out.back().low) = high ? b.high : b.low;
            continue;
        }
        out.push_back(b);
    }
}

} // namespace

std::vector<Band> levelBands(const std::vector<TrendLevel>& levels, double baseline)
{
    std::vector<Edge> high, low;
    for (const TrendLevel& l : levels) {
        if (l.change && std::isnan(baseline))
            continue;
        const double at = l.change ? baseline + l.threshold : l.threshold;
        if (!std::isfinite(at))
            continue;
        (l.high ? high : low).push_back(Edge{at, l.rank});
    }
    std::vector<Band> out;
    sideBands(std::move(high), true, out);
    sideBands(std::move(low), false, out);
    return out;
}

std::vector<qsizetype> transitions(std::span<const std::uint8_t> status, std::span<const double> value,
                                   const std::vector<bool>& masked)
{
    std::vector<qsizetype> out;
    std::uint8_t before = 0;
    for (size_t i = 0; i < status.size(); ++i) {
        if ((i < masked.size() && masked[i]) || (i < value.size() && std::isnan(value[i])))
            continue;
        if (status[i] != before)
            out.push_back(qsizetype(i));
        before = status[i];
    }
    return out;
}

void applyLevelSet(TrendSeries& series, const archive::LevelSet* set, bool levelsApply, const QString& unit,
                   double baseline, bool english)
{
    for (int status = 0; status <= archive::kMaxRank; ++status)
        series.statusNames << archive::statusName(set, status, english);
    if (!set || !levelsApply)
        return;
    for (int i = 0; i < int(set->levels.size()); ++i) {
        const archive::TriggerLevel& l = set->levels[size_t(i)];
        if (l.quantity == archive::LevelQuantity::Rate)
            series.rateLevels << archive::levelText(*set, i, unit, english);
        else
            series.levels.push_back(TrendLevel{l.side == archive::LevelSide::High, l.rank,
                                               l.quantity == archive::LevelQuantity::Change, l.threshold});
    }
    series.baseline = baseline;
}

} // namespace plot
