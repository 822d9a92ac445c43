#pragma once

#include "plot/TrendSeries.h"

#include <QString>
#include <QtGlobal>
#include <span>
#include <vector>

// What the trend plot draws of a series' trigger levels and judgements, without widgets.
namespace archive {
struct LevelSet;
}

namespace plot {

inline constexpr int kMaxBandRank = 3;

// Gives a series the level version `set` in force (nullptr: none): the names of its statuses in
// the set's words (statusName); and, where `levelsApply` (the series is in the levels' units), its
// Value and Change levels as bands, its Rate levels named for the legend (levelText in `unit`),
// and `baseline`, the value its Change levels are measured from.
void applyLevelSet(TrendSeries& series, const archive::LevelSet* set, bool levelsApply, const QString& unit,
                   double baseline, bool english = false);

// A stretch of values in which the status the levels of one side give is `rank`: from `low` to
// `high` (either may be infinite).
struct Band {
    double low = 0;
    double high = 0;
    int rank = 0;
    bool operator==(const Band&) const = default;
};

// The bands of a series' levels. A value is reached by every High level whose threshold it is at
// or above (every Low level whose threshold it is at or below) and stands at the highest rank among
// them, so between two thresholds of a side the band has the highest rank of the levels already
// passed; a band of rank 0 is not given. Change levels stand at baseline + threshold, and are left
// out when the baseline is NaN. High bands first, each side from the nearest to normal outward.
std::vector<Band> levelBands(const std::vector<TrendLevel>& levels, double baseline);

// The records where the status changed: the index of each judged record (not masked, with a
// value) whose status differs from that of the judged record before it (the first judged record
// counts when its status is above normal). Empty status: none.
std::vector<qsizetype> transitions(std::span<const std::uint8_t> status, std::span<const double> value,
                                   const std::vector<bool>& masked);

// Of the records [begin, end) picked by `keep`, at most one a pixel column of `width` columns over
// [x0, x1]: the first of each column. x sorted ascending.
template <typename Keep>
std::vector<qsizetype> thinned(std::span<const qint64> x, qsizetype begin, qsizetype end, double x0, double x1, int width,
                               Keep keep)
{
    std::vector<qsizetype> out;
    if (width < 1 || !(x1 > x0))
        return out;
    const double perPixel = double(width) / (x1 - x0);
    qint64 lastColumn = -1;
    for (qsizetype i = begin; i < end; ++i) {
        if (!keep(i))
            continue;
        const qint64 column = qint64((double(x[size_t(i)]) - x0) * perPixel);
        if (!out.empty() && column == lastColumn)
            continue;
        out.push_back(i);
        lastColumn = column;
    }
    return out;
}

} // namespace plot
