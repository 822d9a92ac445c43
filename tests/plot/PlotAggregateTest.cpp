#include "plot/PlotAggregate.h"

#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <random>

using plot::Aggregation;
using plot::Column;

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

struct Points {
    std::vector<qint64> x;
    std::vector<double> y;
};

// n points one every `step` from `start`, a smooth wave about 2800 with a little noise.
Points wave(qsizetype n, qint64 start = 1'700'000'000, qint64 step = 30)
{
    Points p;
    p.x.resize(size_t(n));
    p.y.resize(size_t(n));
    std::mt19937 random(7);
    std::uniform_real_distribution<double> noise(-0.5, 0.5);
    for (qsizetype i = 0; i < n; ++i) {
        p.x[size_t(i)] = start + i * step;
        p.y[size_t(i)] = 2800 + 20 * std::sin(double(i) / 5000) + noise(random);
    }
    return p;
}

Aggregation run(const Points& p, double x0, double x1, int width) { return plot::aggregate(p.x, p.y, x0, x1, width); }

} // namespace

TEST(PlotAggregate, ASingleSpikeAmongAMillionPointsSurvivesAtAnyWidth)
{
    Points p = wave(1'000'000);
    const size_t up = 612'345, down = 87'001;
    p.y[up] = 9999.5;
    p.y[down] = -42.25;
    const double x0 = double(p.x.front()), x1 = double(p.x.back());
    for (int width : {1, 2, 7, 640, 1199, 1200, 3840, 1'000'000, 3'000'000}) {
        const Aggregation a = run(p, x0, x1, width);
        ASSERT_FALSE(a.columns.empty()) << width;
        const auto top = std::max_element(a.columns.begin(), a.columns.end(), [](const Column& l, const Column& r) { return l.maxY < r.maxY; });
        const auto bottom = std::min_element(a.columns.begin(), a.columns.end(), [](const Column& l, const Column& r) { return l.minY < r.minY; });
        EXPECT_EQ(top->maxY, 9999.5) << width;
        EXPECT_EQ(top->maxX, p.x[up]) << width;
        EXPECT_EQ(bottom->minY, -42.25) << width;
        EXPECT_EQ(bottom->minX, p.x[down]) << width;
        EXPECT_LE(qsizetype(a.columns.size()), qsizetype(width));

        // The line drawn from the columns passes through both.
        std::vector<double> xs, ys;
        plot::appendPolyline(a, xs, ys);
        EXPECT_NE(std::find(ys.begin(), ys.end(), 9999.5), ys.end()) << width;
        EXPECT_NE(std::find(ys.begin(), ys.end(), -42.25), ys.end()) << width;
        EXPECT_LE(xs.size(), 4 * a.columns.size());
        EXPECT_TRUE(std::is_sorted(xs.begin(), xs.end())) << width;
    }
    // Zoomed in around the spike, and zoomed so that it is the range's last point.
    EXPECT_EQ(run(p, double(p.x[up - 10'000]), double(p.x[up + 3]), 1200).columns.back().maxY, 9999.5);
    EXPECT_EQ(run(p, double(p.x[up - 10'000]), double(p.x[up]), 1200).columns.back().maxY, 9999.5);
}

TEST(PlotAggregate, EveryColumnHoldsExactlyTheExtremesOfItsPoints)
{
    // Irregular times with repeats and gaps, values with NaN holes; checked against a plain
    // column-by-column scan of the points.
    std::mt19937 random(11);
    std::uniform_int_distribution<int> gap(0, 40);
    std::uniform_real_distribution<double> value(-1000, 1000);
    Points p;
    qint64 t = 1'000;
    for (int i = 0; i < 20'000; ++i) {
        t += gap(random) < 35 ? gap(random) % 4 : 500;
        p.x.push_back(t);
        p.y.push_back(i % 97 == 0 ? kNaN : value(random));
    }
    const double x0 = double(p.x[3'000]) + 0.5, x1 = double(p.x[17'000]) - 0.25;
    for (int width : {1, 3, 100, 1333, 50'000}) {
        const Aggregation a = run(p, x0, x1, width);
        ASSERT_FALSE(a.unsorted);
        std::vector<std::vector<size_t>> byPixel(static_cast<size_t>(width));
        for (size_t i = 0; i < p.x.size(); ++i) {
            if (double(p.x[i]) < x0 || double(p.x[i]) > x1 || std::isnan(p.y[i]))
                continue;
            const int pixel = std::min(width - 1, int((double(p.x[i]) - x0) / (x1 - x0) * width));
            byPixel[size_t(pixel)].push_back(i);
        }
        size_t next = 0;
        for (int pixel = 0; pixel < width; ++pixel) {
            const auto& in = byPixel[size_t(pixel)];
            if (in.empty())
                continue;
            ASSERT_LT(next, a.columns.size()) << "width " << width << " pixel " << pixel;
            const Column& c = a.columns[next++];
            ASSERT_EQ(c.pixel, pixel) << width;
            EXPECT_EQ(c.count, qsizetype(in.size()));
            EXPECT_EQ(c.firstX, p.x[in.front()]);
            EXPECT_EQ(c.firstY, p.y[in.front()]);
            EXPECT_EQ(c.lastX, p.x[in.back()]);
            EXPECT_EQ(c.lastY, p.y[in.back()]);
            const auto lo = std::min_element(in.begin(), in.end(), [&](size_t l, size_t r) { return p.y[l] < p.y[r]; });
            const auto hi = std::max_element(in.begin(), in.end(), [&](size_t l, size_t r) { return p.y[l] < p.y[r]; });
            EXPECT_EQ(c.minY, p.y[*lo]);
            EXPECT_EQ(c.minX, p.x[*lo]);
            EXPECT_EQ(c.maxY, p.y[*hi]);
            EXPECT_EQ(c.maxX, p.x[*hi]);
        }
        EXPECT_EQ(next, a.columns.size()) << "no column without points, width " << width;
    }
}

TEST(PlotAggregate, TheRangeHoldsItsLimitsAndNothingOutside)
{
    const Points p{{10, 20, 30, 40, 50, 60}, {1, 2, 3, 4, 5, 6}};
    // Both limits are inside; the upper one falls into the last column.
    Aggregation a = run(p, 20, 50, 3);
    EXPECT_EQ(a.begin, 1);
    EXPECT_EQ(a.end, 5);
    ASSERT_EQ(a.columns.size(), 3u);
    EXPECT_EQ(a.columns[0].firstX, 20);
    EXPECT_EQ(a.columns[0].count, 1);
    EXPECT_EQ(a.columns[2].pixel, 2);
    EXPECT_EQ(a.columns[2].firstX, 40);
    EXPECT_EQ(a.columns[2].lastX, 50);
    EXPECT_EQ(a.columns[2].maxY, 5);

    // Limits between points.
    a = run(p, 19.5, 50.5, 100);
    EXPECT_EQ(a.begin, 1);
    EXPECT_EQ(a.end, 5);
    EXPECT_EQ(a.columns.front().firstX, 20);
    EXPECT_EQ(a.columns.back().lastX, 50);

    // A range wider than the data, and ranges beside it or between two points.
    a = run(p, -1e12, 1e12, 10);
    EXPECT_EQ(a.end - a.begin, 6);
    EXPECT_TRUE(run(p, 61, 1000, 10).columns.empty());
    EXPECT_TRUE(run(p, 0, 9.9, 10).columns.empty());
    a = run(p, 31, 39, 10);
    EXPECT_TRUE(a.columns.empty());
    EXPECT_EQ(a.begin, 3);
    EXPECT_EQ(a.end, 3);

    // A range of no width holds the points at its one time, in the one column there is.
    a = run(p, 40, 40, 500);
    ASSERT_EQ(a.columns.size(), 1u);
    EXPECT_EQ(a.columns[0].pixel, 0);
    EXPECT_EQ(a.columns[0].firstX, 40);
}

TEST(PlotAggregate, OneColumnHoldsTheWholeRange)
{
    const Points p{{1, 2, 3, 4, 5}, {3, -7, 8, kNaN, 2}};
    const Aggregation a = run(p, 1, 5, 1);
    ASSERT_EQ(a.columns.size(), 1u);
    const Column& c = a.columns[0];
    EXPECT_EQ(c.count, 4);
    EXPECT_EQ(c.firstY, 3);
    EXPECT_EQ(c.lastX, 5);
    EXPECT_EQ(c.lastY, 2);
    EXPECT_EQ(c.minY, -7);
    EXPECT_EQ(c.minX, 2);
    EXPECT_EQ(c.maxY, 8);
    EXPECT_EQ(c.maxX, 3);
    // First, min, max, last: the line keeps the order in which they occur.
    std::vector<double> xs, ys;
    plot::appendPolyline(a, xs, ys);
    EXPECT_EQ(xs, (std::vector<double>{1, 2, 3, 5}));
    EXPECT_EQ(ys, (std::vector<double>{3, -7, 8, 2}));
}

TEST(PlotAggregate, NothingToAggregate)
{
    const Points none;
    EXPECT_TRUE(run(none, 0, 100, 100).columns.empty());
    std::vector<double> xs, ys;
    plot::appendPolyline(run(none, 0, 100, 100), xs, ys);
    EXPECT_TRUE(xs.empty());

    const Points p{{1, 2, 3}, {1, 2, 3}};
    EXPECT_TRUE(run(p, 0, 10, 0).columns.empty());
    EXPECT_TRUE(run(p, 0, 10, -5).columns.empty());
    EXPECT_TRUE(run(p, 10, 0, 10).columns.empty());
    EXPECT_TRUE(run(p, kNaN, 10, 10).columns.empty());
    EXPECT_TRUE(run(p, 0, kNaN, 10).columns.empty());
    // Values that do not match the times are not read past their end.
    const std::vector<double> shortY{1, 2};
    EXPECT_TRUE(plot::aggregate(p.x, shortY, 0, 10, 10).columns.empty());
    // Only missing values: points, but no column.
    const Points holes{{1, 2, 3}, {kNaN, kNaN, kNaN}};
    const Aggregation a = run(holes, 0, 10, 10);
    EXPECT_TRUE(a.columns.empty());
    EXPECT_EQ(a.end - a.begin, 3);
}

TEST(PlotAggregate, UnsortedTimesAreReportedAndCanBeSortedFirst)
{
    Points p{{10, 20, 15, 30, 20, 40}, {1, 2, 3, 4, 5, 6}};
    const Aggregation a = run(p, 0, 100, 10);
    EXPECT_TRUE(a.unsorted);
    EXPECT_TRUE(a.columns.empty());

    // Stable: the two points at 20 keep their order.
    const std::vector<qsizetype> order = plot::sortOrderByX(p.x);
    EXPECT_EQ(order, (std::vector<qsizetype>{0, 2, 1, 4, 3, 5}));
    Points sorted;
    for (qsizetype i : order) {
        sorted.x.push_back(p.x[size_t(i)]);
        sorted.y.push_back(p.y[size_t(i)]);
    }
    const Aggregation b = run(sorted, 0, 100, 10);
    EXPECT_FALSE(b.unsorted);
    EXPECT_EQ(b.end - b.begin, 6);
    EXPECT_TRUE(plot::sortOrderByX(sorted.x).empty());
}

TEST(PlotAggregate, NearestPoint)
{
    const std::vector<qint64> x{100, 200, 200, 400};
    EXPECT_EQ(plot::nearest({}, 5), -1);
    EXPECT_EQ(plot::nearest(x, kNaN), -1);
    EXPECT_EQ(plot::nearest(x, -1e9), 0);
    EXPECT_EQ(plot::nearest(x, 1e9), 3);
    EXPECT_EQ(plot::nearest(x, 149), 0);
    EXPECT_EQ(plot::nearest(x, 150), 0); // as near to both: the earlier
    EXPECT_EQ(plot::nearest(x, 151), 1);
    EXPECT_EQ(plot::nearest(x, 200), 1);
    EXPECT_EQ(plot::nearest(x, 299), 2);
    EXPECT_EQ(plot::nearest(x, 301), 3);
}

TEST(PlotGaps, AStretchWithoutReadingsIsFoundAndBreaksTheLine)
{
    // Readings every 30 s, one missed (60 s: still joined), then a day without any, and a week
    // later two more days, with a slightly uneven clock throughout.
    std::vector<qint64> x;
    qint64 t = 1'700'000'000;
    for (int i = 0; i < 100; ++i, t += 30 + (i % 3))
        x.push_back(t);
    t += 30; // a missed reading
    for (int i = 0; i < 100; ++i, t += 30)
        x.push_back(t);
    const qint64 beforeDay = x.back();
    t += 86'400;
    for (int i = 0; i < 100; ++i, t += 30)
        x.push_back(t);
    const qint64 beforeWeek = x.back();
    t += 7 * 86'400;
    for (int i = 0; i < 10; ++i, t += 30)
        x.push_back(t);
    const std::vector<plot::Gap> gaps = plot::findGaps(x);
    ASSERT_EQ(gaps.size(), 2u);
    EXPECT_EQ(gaps[0].from, beforeDay);
    EXPECT_EQ(gaps[0].to, beforeDay + 86'400 + 30);
    EXPECT_EQ(gaps[1].from, beforeWeek);

    // Zoomed far out, a column holds the records on both sides of a gap: the polyline that
    // joins them is broken between them, and nowhere else.
    std::vector<double> y(x.size(), 1.0);
    const Aggregation a = plot::aggregate(x, y, double(x.front()), double(x.back()), 40);
    std::vector<double> xs, ys;
    plot::appendPolyline(a, xs, ys);
    const size_t drawn = xs.size();
    plot::breakAtGaps(xs, ys, gaps);
    ASSERT_EQ(xs.size(), drawn + 2);
    std::vector<double> breaks;
    for (size_t i = 0; i < xs.size(); ++i) {
        if (i > 0) {
            EXPECT_LE(xs[i - 1], xs[i]);
        }
        if (std::isnan(ys[i]))
            breaks.push_back(xs[i]);
    }
    ASSERT_EQ(breaks.size(), 2u);
    EXPECT_GT(breaks[0], double(gaps[0].from));
    EXPECT_LT(breaks[0], double(gaps[0].to));
    EXPECT_GT(breaks[1], double(gaps[1].from));

    // Evenly spaced readings, or too few to tell, have no gaps.
    EXPECT_TRUE(plot::findGaps(std::vector<qint64>{0, 600, 1200, 1800}).empty());
    EXPECT_TRUE(plot::findGaps(std::vector<qint64>{0, 100'000}).empty());
    EXPECT_TRUE(plot::findGaps(std::vector<qint64>{}).empty());
}
