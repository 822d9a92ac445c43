#pragma once

#include <QtGlobal>
#include <span>
#include <vector>

// Reduction of a long series to what a plot can show: per pixel column of the visible time
// range, the least and the greatest value (exact, so no peak is ever lost) and the first and
// the last one (so that the line from one column to the next joins the right points).
namespace plot {

struct Column {
    int pixel = 0;       // 0 .. width - 1
    qsizetype count = 0; // points of the column with a value (NaN values are not counted)
    qint64 firstX = 0;   // the column's first point
    double firstY = 0;
    qint64 lastX = 0; // its last point
    double lastY = 0;
    qint64 minX = 0; // its least value and where it is (the first such point)
    double minY = 0;
    qint64 maxX = 0; // its greatest value and where it is (the first such point)
    double maxY = 0;
};

struct Aggregation {
    std::vector<Column> columns; // in pixel order; a column without points is left out
    // The points with x0 <= x <= x1 are [begin, end) of the input.
    qsizetype begin = 0;
    qsizetype end = 0;
    // The input was found not sorted by x inside the range; `columns` is then empty, since a
    // binary search on it cannot be trusted. Sort first (sortByX).
    bool unsorted = false;
};

// Aggregates the points (x[i], y[i]) with x0 <= x[i] <= x1 into `width` equal columns over
// [x0, x1]; x1 itself falls into the last column. x must be sorted ascending (equal x allowed);
// the points of the range are found by binary search and visited once. y values that are NaN
// are skipped. Nothing for width < 1, x1 < x0, a NaN limit or x and y of different lengths.
Aggregation aggregate(std::span<const qint64> x, std::span<const double> y, double x0, double x1, int width);

// The polyline that draws an aggregation: per column its first point, its extremes in the
// order they occur and its last point (at most 4 points a column; a point that repeats the one
// before is left out). Appended to xs and ys.
void appendPolyline(const Aggregation& aggregation, std::vector<double>& xs, std::vector<double>& ys);

// A stretch without records between two consecutive points of a series, from the one to the
// other.
struct Gap {
    qint64 from = 0;
    qint64 to = 0;
};

// How many usual reading intervals two records may lie apart and still be joined by a line.
inline constexpr double kGapIntervals = 3;

// The gaps of a series whose x is sorted ascending: where one point lies more than `intervals`
// times the usual interval (the median of the positive steps) after the one before. In order.
std::vector<Gap> findGaps(std::span<const qint64> x, double intervals = kGapIntervals);

// Breaks a polyline whose x ascends wherever one of the `gaps` (in order) lies between two
// consecutive points: a point (the gap's middle, NaN) goes between them, which a plot draws as
// no line.
void breakAtGaps(std::vector<double>& xs, std::vector<double>& ys, const std::vector<Gap>& gaps);

// The index of the point whose x is nearest to `at` (the earlier one of two as near); -1 for
// no points. x sorted ascending.
qsizetype nearest(std::span<const qint64> x, double at);

// The order that sorts x ascending, keeping points of equal x in their order; empty when x is
// already sorted.
std::vector<qsizetype> sortOrderByX(std::span<const qint64> x);

} // namespace plot
