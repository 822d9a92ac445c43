#include "plot/PlotAggregate.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>

namespace plot {

Aggregation aggregate(std::span<const qint64> x, std::span<const double> y, double x0, double x1, int width)
{
    Aggregation out;
    if (width < 1 || std::isnan(x0) || std::isnan(x1) || x1 < x0 || x.size() != y.size())
        return out;

    const auto first = std::lower_bound(x.begin(), x.end(), x0, [](qint64 v, double limit) { return double(v) < limit; });
    const auto last = std::upper_bound(first, x.end(), x1, [](double limit, qint64 v) { return limit < double(v); });
    out.begin = first - x.begin();
    out.end = last - x.begin();
    if (out.begin == out.end)
        return out;

    // Columns are equal slices of [x0, x1]. With x sorted the column index never decreases, so
    // one column is built at a time and handed over when the next one starts.
    const double span = x1 - x0;
    const double scale = span > 0 ? double(width) / span : 0;
    const int lastPixel = width - 1;
    out.columns.reserve(size_t(std::min<qsizetype>(width, out.end - out.begin)));

    Column column;
    column.pixel = -1;
    qint64 previous = x[size_t(out.begin)];
    for (qsizetype i = out.begin; i < out.end; ++i) {
        const qint64 xi = x[size_t(i)];
        if (xi < previous) {
            out.columns.clear();
            out.unsorted = true;
            return out;
        }
        previous = xi;
        const double yi = y[size_t(i)];
        if (std::isnan(yi))
            continue;
        const int pixel = std::min(int((double(xi) - x0) * scale), lastPixel);
        if (pixel != column.pixel) {
            if (column.count > 0)
                out.columns.push_back(column);
            column = Column{.pixel = pixel, .count = 1, .firstX = xi, .firstY = yi, .lastX = xi, .lastY = yi, .minX = xi, .minY = yi, .maxX = xi, .maxY = yi};
            continue;
        }
        ++column.count;
        column.lastX = xi;
        column.lastY = yi;
        if (yi < column.minY) {
            column.minY = yi;
            column.minX = xi;
        } else if (yi > column.maxY) {
            column.maxY = yi;
            column.maxX = xi;
        }
    }
    if (column.count > 0)
        out.columns.push_back(column);
    return out;
}

void appendPolyline(const Aggregation& aggregation, std::vector<double>& xs, std::vector<double>& ys)
{
    auto add = [&](qint64 x, double y) {
        if (!xs.empty() && xs.back() == double(x) && ys.back() == y)
            return;
        xs.push_back(double(x));
        ys.push_back(y);
    };
    xs.reserve(xs.size() + aggregation.columns.size() * 4);
    ys.reserve(ys.size() + aggregation.columns.size() * 4);
    for (const Column& c : aggregation.columns) {
        add(c.firstX, c.firstY);
        if (c.minX <= c.maxX) {
            add(c.minX, c.minY);
            add(c.maxX, c.maxY);
        } else {
            add(c.maxX, c.maxY);
            add(c.minX, c.minY);
        }
        add(c.lastX, c.lastY);
    }
}

std::vector<Gap> findGaps(std::span<const qint64> x, double intervals)
{
    std::vector<qint64> steps;
    steps.reserve(x.size());
    for (size_t i = 1; i < x.size(); ++i)
        if (x[i] > x[i - 1])
            steps.push_back(x[i] - x[i - 1]);
    if (steps.size() < 2)
        return {};
    const auto middle = steps.begin() + std::ptrdiff_t(steps.size() / 2);
    std::nth_element(steps.begin(), middle, steps.end());
    const double longest = intervals * double(*middle);
    std::vector<Gap> gaps;
    for (size_t i = 1; i < x.size(); ++i)
        if (double(x[i] - x[i - 1]) > longest)
            gaps.push_back(Gap{x[i - 1], x[i]});
    return gaps;
}

void breakAtGaps(std::vector<double>& xs, std::vector<double>& ys, const std::vector<Gap>& gaps)
{
    if (gaps.empty() || xs.size() < 2)
        return;
    std::vector<double> bx, by;
    bx.reserve(xs.size() + 16);
    by.reserve(ys.size() + 16);
    bx.push_back(xs[0]);
    by.push_back(ys[0]);
    for (size_t i = 1; i < xs.size(); ++i) {
        // The first gap that begins at or after the point before; it lies between the two
        // points when it also ends by the second.
        const auto g = std::lower_bound(gaps.begin(), gaps.end(), xs[i - 1],
                                        [](const Gap& gap, double at) { return double(gap.from) < at; });
        if (g != gaps.end() && double(g->to) <= xs[i]) {
            bx.push_back(double(g->from) / 2 + double(g->to) / 2);
            by.push_back(std::numeric_limits<double>::quiet_NaN());
        }
        bx.push_back(xs[i]);
        by.push_back(ys[i]);
    }
    xs = std::move(bx);
    ys = std::move(by);
}

qsizetype nearest(std::span<const qint64> x, double at)
{
    if (x.empty() || std::isnan(at))
        return -1;
    const auto after = std::lower_bound(x.begin(), x.end(), at, [](qint64 v, double limit) { return double(v) < limit; });
    if (after == x.begin())
        return 0;
    if (after == x.end())
        return qsizetype(x.size()) - 1;
    const auto before = after - 1;
    return (at - double(*before) <= double(*after) - at ? before : after) - x.begin();
}

std::vector<qsizetype> sortOrderByX(std::span<const qint64> x)
{
    if (std::is_sorted(x.begin(), x.end()))
        return {};
    std::vector<qsizetype> order(x.size());
    std::iota(order.begin(), order.end(), qsizetype(0));
    std::stable_sort(order.begin(), order.end(), [&](qsizetype a, qsizetype b) { return x[size_t(a)] < x[size_t(b)]; });
    return order;
}

} // namespace plot
