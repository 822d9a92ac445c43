#include "plot/TrendPlot.h"

#include "tests/support/QtTestMain.h"

#include <QDir>
#include <QFile>
#include <QApplication>
#include <QImage>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimeZone>
#include <QTest>
#include <QWheelEvent>
#include <qcustomplot.h>
#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <limits>

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr qint64 kStart = 1'767'225'600; // 2026-01-01 00:00 UTC

// n records one every `step` seconds: a slow wave about 2800 Hz, the temperature about 15 ℃.
TrendSeries series(const QString& code, qsizetype n, qint64 step, qint64 start = kStart)
{
    TrendSeries s{.code = code, .valueLabel = QStringLiteral("读数 (Hz)")};
    s.time.resize(size_t(n));
    s.value.resize(size_t(n));
    s.temperature.resize(size_t(n));
    for (qsizetype i = 0; i < n; ++i) {
        s.time[size_t(i)] = start + i * step;
        s.value[size_t(i)] = 2800 + 30 * std::sin(double(i) / double(n) * 6.28) + (i % 5) * 0.1;
        s.temperature[size_t(i)] = 15 + 8 * std::sin(double(i) / double(n) * 12.5);
    }
    return s;
}

bool contains(const std::vector<QPointF>& points, double y)
{
    return std::any_of(points.begin(), points.end(), [&](const QPointF& p) { return p.y() == y; });
}

// The first and last pixel column of the widget inside the plotted area.
std::pair<int, int> plottedColumns(const TrendPlot& plot)
{
    int first = -1, last = -1;
    for (int x = 0; x < plot.width(); ++x) {
        if (plot.pointAt(x)) {
            if (first < 0)
                first = x;
            last = x;
        }
    }
    return {first, last};
}

class TrendPlotTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        plot.resize(1000, 500);
        plot.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&plot));
    }
    // Waits until the plot has been laid out at its size and the series reduced to its width.
    void settle()
    {
        testing_qt::pump(20);
        ASSERT_TRUE(testing_qt::waitFor([&] { return plot.columns() > 500 && plot.columns() < plot.width(); }));
    }
    QWidget* surface() { return plot.findChild<QWidget*>(); } // the plot's drawing surface

    TrendPlot plot;
};

} // namespace

TEST_F(TrendPlotTest, ASpikeAmongAMillionRecordsIsDrawnAndTheDrawingStaysSmall)
{
    TrendSeries s = series(QStringLiteral("A001"), 1'000'000, 31);
    const size_t spike = 654'321;
    s.value[spike] = 3999.25;
    s.temperature[spike / 2] = -30.5;
    std::vector<TrendSeries> all;
    all.push_back(std::move(s));
    ASSERT_TRUE(plot.setSeries(std::move(all)));
    settle();
    const qint64 spikeTime = plot.series()[0].time[spike];

    // The whole year: a few points a column, the spike and the cold reading among them.
    std::vector<QPointF> drawn = plot.drawnValues(0);
    EXPECT_TRUE(contains(drawn, 3999.25));
    EXPECT_TRUE(contains(plot.drawnTemperatures(0), -30.5));
    EXPECT_LE(drawn.size(), size_t(4 * plot.columns() + 2));
    EXPECT_GT(drawn.size(), size_t(plot.columns()));

    // Zoomed to a day around it, and to a week beside it.
    plot.setTimeRange(spikeTime - 43'200, spikeTime + 43'200);
    drawn = plot.drawnValues(0);
    EXPECT_TRUE(contains(drawn, 3999.25));
    EXPECT_LE(drawn.size(), size_t(4 * plot.columns() + 2));
    plot.setTimeRange(spikeTime + 86'400, spikeTime + 8 * 86'400);
    EXPECT_FALSE(contains(plot.drawnValues(0), 3999.25));

    // After a resize the series are reduced to the new width, the spike still there.
    plot.setTimeRange(spikeTime - 43'200, spikeTime + 43'200);
    const int before = plot.columns();
    plot.resize(600, 400);
    testing_qt::pump(20);
    ASSERT_TRUE(testing_qt::waitFor([&] { return plot.columns() < 600; }));
    EXPECT_LT(plot.columns(), before);
    drawn = plot.drawnValues(0);
    EXPECT_TRUE(contains(drawn, 3999.25));
    EXPECT_LE(drawn.size(), size_t(4 * plot.columns() + 2));
}

TEST_F(TrendPlotTest, TheTimeRangeFollowsSetTimeRangeTheWheelAndADrag)
{
    // A year at one record an hour.
    ASSERT_TRUE(plot.setSeries({series(QStringLiteral("A001"), 8760, 3600)}));
    settle();
    const double first = double(kStart), last = double(kStart + 8759 * 3600);
    auto [from, to] = plot.timeRange();
    EXPECT_LE(from, first);
    EXPECT_GE(to, last);
    EXPECT_LT(to - from, (last - first) * 1.1);

    // A month: the range changes, is announced, and what is drawn is that month's records (and
    // the two beyond its edges that carry the line to them).
    QSignalSpy changed(&plot, &TrendPlot::timeRangeChanged);
    const qint64 monthFrom = kStart + 90 * 86'400, monthTo = monthFrom + 30 * 86'400;
    plot.setTimeRange(monthFrom, monthTo);
    std::tie(from, to) = plot.timeRange();
    EXPECT_EQ(from, double(monthFrom));
    EXPECT_EQ(to, double(monthTo));
    ASSERT_FALSE(changed.isEmpty());
    EXPECT_EQ(changed.last().at(0).toDouble(), double(monthFrom));
    const std::vector<QPointF> drawn = plot.drawnValues(0);
    ASSERT_GE(drawn.size(), 3u);
    EXPECT_EQ(drawn.front().x(), double(monthFrom - 3600));
    EXPECT_EQ(drawn.back().x(), double(monthTo + 3600));
    EXPECT_EQ(drawn.size(), size_t(30 * 24 + 1 + 2)); // fewer records than columns: every one
    for (size_t i = 1; i + 1 < drawn.size(); ++i)
        ASSERT_TRUE(drawn[i].x() >= double(monthFrom) && drawn[i].x() <= double(monthTo)) << i;

    // The wheel zooms in about the cursor: the time under it stays where it is.
    const auto [left, right] = plottedColumns(plot);
    const QPoint middle((left + right) / 2, plot.height() / 3);
    const double under = plot.timeAt(middle.x());
    QWheelEvent wheel(middle, surface()->mapToGlobal(middle), QPoint(), QPoint(0, 120), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(surface(), &wheel);
    auto [zoomFrom, zoomTo] = plot.timeRange();
    EXPECT_LT(zoomTo - zoomFrom, (to - from) * 0.95);
    EXPECT_NEAR(plot.timeAt(middle.x()), under, (zoomTo - zoomFrom) / 100);
    EXPECT_GE(drawn.size(), plot.drawnValues(0).size());

    // A drag to the left by a quarter of the plot moves the range later by a quarter of it.
    const double span = zoomTo - zoomFrom;
    const QPoint start = middle, end = middle - QPoint((right - left) / 4, 0);
    QMouseEvent press(QEvent::MouseButtonPress, start, surface()->mapToGlobal(start), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(surface(), &press);
    QMouseEvent move(QEvent::MouseMove, end, surface()->mapToGlobal(end), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(surface(), &move);
    QMouseEvent release(QEvent::MouseButtonRelease, end, surface()->mapToGlobal(end), Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(surface(), &release);
    const auto [panFrom, panTo] = plot.timeRange();
    EXPECT_NEAR(panTo - panFrom, span, span * 1e-6);
    EXPECT_NEAR(panFrom - zoomFrom, span / 4, span / 50);

    // The range stays near the data and no shorter than the shortest span.
    plot.setTimeRange(kStart + 100 * 365 * 86'400LL, kStart + 101 * 365 * 86'400LL);
    std::tie(from, to) = plot.timeRange();
    EXPECT_LE(to, last + (last - first) * 0.03);
    EXPECT_GT(to, last);
    plot.setTimeRange(monthFrom, monthFrom + 10);
    std::tie(from, to) = plot.timeRange();
    EXPECT_DOUBLE_EQ(to - from, TrendPlot::kMinimumSpan);
    EXPECT_NEAR((from + to) / 2, double(monthFrom) + 5, 1);

    plot.showAll();
    std::tie(from, to) = plot.timeRange();
    EXPECT_LE(from, first);
    EXPECT_GE(to, last);
}

TEST_F(TrendPlotTest, TheCursorShowsTheNearestRecord)
{
    // Two components with records a few hours apart, the second without temperatures in places.
    TrendSeries a = series(QStringLiteral("A001"), 40, 3 * 3600);
    TrendSeries b = series(QStringLiteral("A002"), 25, 5 * 3600, kStart + 1800);
    b.valueLabel = QStringLiteral("位移 (mm)");
    for (size_t i = 0; i < b.value.size(); ++i)
        b.value[i] = 1.5 + double(i) * 0.01;
    std::fill(a.temperature.begin(), a.temperature.end(), 20.0);
    std::fill(b.temperature.begin(), b.temperature.end(), 20.0);
    b.temperature[7] = kNaN;
    ASSERT_TRUE(plot.setSeries({a, b}));
    settle();

    const auto [left, right] = plottedColumns(plot);
    ASSERT_GT(right - left, 500);
    EXPECT_FALSE(plot.pointAt(left - 1));
    EXPECT_FALSE(plot.pointAt(right + 1));
    EXPECT_FALSE(plot.pointAt(left, 2));
    for (int series = 0; series < 2; ++series) {
        const TrendSeries& s = plot.series()[size_t(series)];
        for (int x = left; x <= right; x += 7) {
            const std::optional<TrendPoint> p = plot.pointAt(x, series);
            ASSERT_TRUE(p) << x;
            const double t = plot.timeAt(x);
            const auto nearest = std::min_element(s.time.begin(), s.time.end(), [&](qint64 l, qint64 r) {
                return std::abs(double(l) - t) < std::abs(double(r) - t);
            });
            const size_t i = size_t(nearest - s.time.begin());
            ASSERT_EQ(p->time, s.time[i]) << "series " << series << " x " << x;
            EXPECT_EQ(p->series, series);
            EXPECT_EQ(p->value, s.value[i]);
            if (std::isnan(s.temperature[i]))
                EXPECT_TRUE(std::isnan(p->temperature));
            else
                EXPECT_EQ(p->temperature, s.temperature[i]);
        }
    }

    // The mouse over the plot: the label names the record of the line drawn nearest to it.
    const qint64 t = plot.series()[1].time[7];
    int x = left;
    while (x < right && plot.timeAt(x) < double(t))
        ++x;
    const std::optional<TrendPoint> p = plot.pointAt(x, 1);
    ASSERT_TRUE(p);
    ASSERT_EQ(p->time, t);
    EXPECT_TRUE(plot.cursorText().isEmpty());
    // The second series is drawn at the bottom of the left axis: its values are far below the first's.
    QTest::mouseMove(surface(), QPoint(x, plot.height() - 80));
    const QString text = plot.cursorText();
    EXPECT_TRUE(text.startsWith(QStringLiteral("A002  2026-01-")));
    EXPECT_TRUE(text.contains(QDateTime::fromSecsSinceEpoch(t, QTimeZone::utc()).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("位移 (mm)：") + QString::number(p->value, 'g', 8))) << text.toStdString();
    EXPECT_TRUE(text.endsWith(QStringLiteral("温度：—"))) << text.toStdString();

    // Off the plot the label goes.
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(surface(), &leave);
    EXPECT_TRUE(plot.cursorText().isEmpty());
}

TEST_F(TrendPlotTest, SavePngWritesAnImageOfTheRequestedSize)
{
    TrendSeries s = series(QStringLiteral("A001"), 100'000, 300);
    s.value[50'000] = 4100;
    s.temperature.clear();
    ASSERT_TRUE(plot.setSeries({s}));
    settle();
    const int columns = plot.columns();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());

    const QString path = dir.filePath(QStringLiteral("趋势.png"));
    ASSERT_TRUE(plot.savePng(path, 1600, 700));
    QImage image;
    ASSERT_TRUE(image.load(path, "PNG"));
    EXPECT_EQ(image.size(), QSize(1600, 700));
    // The series is in it, a line across the image in its colour (blue, drawn smoothed).
    int blue = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            blue += c.blue() - c.red() > 60 && c.blue() > 150;
        }
    }
    EXPECT_GT(blue, 1600);
    // The widget is back at its own width.
    EXPECT_EQ(plot.columns(), columns);
    EXPECT_LE(plot.drawnValues(0).size(), size_t(4 * columns + 2));

    // Refused: no path, sizes out of bounds, a folder that does not exist. The file saved
    // before stays as it was.
    const QString kept = dir.filePath(QStringLiteral("kept.png"));
    ASSERT_TRUE(plot.savePng(kept, 300, 200));
    EXPECT_FALSE(plot.savePng(QString(), 300, 200));
    EXPECT_FALSE(plot.savePng(kept, 0, 200));
    EXPECT_FALSE(plot.savePng(kept, 300, -1));
    EXPECT_FALSE(plot.savePng(kept, TrendPlot::kMaximumImageSide + 1, 200));
    EXPECT_FALSE(plot.savePng(dir.filePath(QStringLiteral("no/such/folder/x.png")), 300, 200));
    ASSERT_TRUE(image.load(kept, "PNG"));
    EXPECT_EQ(image.size(), QSize(300, 200));
    // A read-only picture is not replaced; nothing is left beside it.
    ASSERT_TRUE(QFile::setPermissions(kept, QFileDevice::ReadOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther));
    EXPECT_FALSE(plot.savePng(kept, 400, 300));
    ASSERT_TRUE(image.load(kept, "PNG"));
    EXPECT_EQ(image.size(), QSize(300, 200));
    EXPECT_EQ(QDir(dir.path()).entryList({"*kept.png*"}, QDir::Files | QDir::Hidden), QStringList({"kept.png"}));
}

TEST_F(TrendPlotTest, SeriesAreSortedByTimeAndMalformedOnesLeftOut)
{
    TrendSeries shuffled{.code = QStringLiteral("A003"), .valueLabel = QStringLiteral("读数 (Hz)")};
    shuffled.time = {kStart + 3 * 3600, kStart, kStart + 2 * 3600, kStart + 3600};
    shuffled.value = {2803, 2800, 2802, 2801};
    shuffled.temperature = {13, 10, 12, 11};
    TrendSeries broken = series(QStringLiteral("A004"), 10, 60);
    broken.value.pop_back();
    TrendSeries noTemperature = series(QStringLiteral("A005"), 10, 60);
    noTemperature.temperature.clear();

    EXPECT_FALSE(plot.setSeries({shuffled, broken, noTemperature}));
    ASSERT_EQ(plot.series().size(), 2u);
    EXPECT_EQ(plot.series()[0].code, QStringLiteral("A003"));
    EXPECT_EQ(plot.series()[1].code, QStringLiteral("A005"));
    settle();

    // Each value and temperature stays with its time.
    const TrendSeries& s = plot.series()[0];
    EXPECT_TRUE(std::is_sorted(s.time.begin(), s.time.end()));
    for (size_t i = 0; i < s.time.size(); ++i) {
        EXPECT_EQ(s.value[i], 2800 + double(s.time[i] - kStart) / 3600);
        EXPECT_EQ(s.temperature[i], 10 + double(s.time[i] - kStart) / 3600);
    }
    const std::vector<QPointF> drawn = plot.drawnValues(0);
    EXPECT_EQ(drawn.size(), 4u);
    EXPECT_TRUE(std::is_sorted(drawn.begin(), drawn.end(), [](const QPointF& l, const QPointF& r) { return l.x() < r.x(); }));
    EXPECT_TRUE(plot.drawnTemperatures(1).empty());
    EXPECT_TRUE(plot.drawnValues(2).empty());

    // Nothing at all: still a plot, with nothing drawn.
    EXPECT_TRUE(plot.setSeries(std::vector<TrendSeries>{}));
    EXPECT_TRUE(plot.drawnValues(0).empty());
    EXPECT_FALSE(plot.pointAt(plot.width() / 2));
    QTemporaryDir dir;
    EXPECT_TRUE(plot.savePng(dir.filePath(QStringLiteral("empty.png")), 400, 300));
}

namespace {
// The series again with another unit and a value about `base`, upside down for a negative `sign`.
TrendSeries inUnit(TrendSeries s, const QString& label, const QString& unit, double base, double sign = 1)
{
    s.valueLabel = label;
    s.unit = unit;
    for (double& v : s.value)
        v = base + sign * (v - 2800) / 100;
    return s;
}
} // namespace

TEST_F(TrendPlotTest, EachUnitHasAnAxisOfItsOwnAndTheLegendNamesTheUnits)
{
    // A crackmeter in mm (about 12), a piezometer in kPa (about 180), a gauge without a
    // calibration in Hz (about 2800), a second crackmeter.
    std::vector<TrendSeries> all{inUnit(series("A001", 500, 3600), "裂缝计 (mm)", "mm", 12),
                                 inUnit(series("B002", 500, 3600), "渗压计 (kPa)", "kPa", 180, -1), series("C003", 500, 3600),
                                 inUnit(series("A004", 500, 3600), "裂缝计 (mm)", "mm", 12.5)};
    ASSERT_TRUE(plot.setSeries(all));
    settle();
    ASSERT_EQ(plot.valueAxisCount(), 3);
    EXPECT_EQ(plot.valueAxis(0), plot.valueAxis(3));
    EXPECT_NE(plot.valueAxis(0), plot.valueAxis(1));
    EXPECT_NE(plot.valueAxis(1), plot.valueAxis(2));
    EXPECT_EQ(plot.valueAxis(0)->label(), "裂缝计 (mm)");
    EXPECT_EQ(plot.valueAxis(1)->label(), "渗压计 (kPa)");
    EXPECT_EQ(plot.valueAxis(2)->label(), "读数 (Hz)");
    // Each axis fits its own values: the millimetres do not lie flat under the hertz.
    const QCPRange mm = plot.valueAxis(0)->range();
    EXPECT_LT(mm.lower, 11.8);
    EXPECT_GT(mm.upper, 12.7);
    EXPECT_LT(mm.size(), 2.0);
    EXPECT_GT(plot.valueAxis(2)->range().lower, 2700);
    EXPECT_LT(plot.valueAxis(1)->range().size(), 3.0);

    QStringList names;
    for (int i = 0; i < plot.customPlot()->graphCount(); ++i)
        names << plot.customPlot()->graph(i)->name();
    EXPECT_EQ(names, QStringList({"A001 (mm)", "A001 温度 (℃)", "B002 (kPa)", "B002 温度 (℃)", "C003 (Hz)", "C003 温度 (℃)",
                                  "A004 (mm)", "A004 温度 (℃)"}));

    // The cursor over the kPa line (at its lowest, where the others are at their highest)
    // reads it on its own axis.
    const QPoint at(plot.customPlot()->xAxis->coordToPixel(double(kStart + 125 * 3600)),
                    int(plot.valueAxis(1)->coordToPixel(all[1].value[125])));
    QMouseEvent move(QEvent::MouseMove, at, surface()->mapToGlobal(at), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(surface(), &move);
    EXPECT_TRUE(plot.cursorText().startsWith("B002")) << plot.cursorText().toStdString();

    // Back to one unit: one axis.
    ASSERT_TRUE(plot.setSeries({series("C003", 500, 3600)}));
    EXPECT_EQ(plot.valueAxisCount(), 1);
    EXPECT_EQ(plot.customPlot()->axisRect()->axes(QCPAxis::atLeft).size(), 1);
}

TEST_F(TrendPlotTest, LegendEntriesAndDateLabelsKeepTheirRoom)
{
    std::vector<TrendSeries> all;
    for (const char* code : {"A001", "A002", "B003", "C004"})
        all.push_back(inUnit(series(code, 2000, 86'400), "裂缝计 (mm)", "mm", 12));
    ASSERT_TRUE(plot.setSeries(all));
    for (int width : {1600, 1280, 1000, 760, 520, 360}) {
        for (qint64 hours : {2, 12, 24, 72, 7 * 24, 20 * 24, 40 * 24, 90 * 24, 400 * 24, 1200 * 24, 2000 * 24}) {
            plot.resize(width, 500);
            plot.setTimeRange(kStart, kStart + hours * 3600);
            plot.customPlot()->replot(QCustomPlot::rpImmediateRefresh);
            const std::string where = std::to_string(width) + " px, " + std::to_string(hours) + " hours";
            // Every legend entry gets at least the room its text needs, inside the plot.
            QCPLegend* legend = plot.customPlot()->legend;
            int entries = 0;
            for (int i = 0; i < legend->itemCount(); ++i) {
                QCPAbstractLegendItem* item = legend->item(i);
                if (!item)
                    continue; // an empty cell
                ++entries;
                EXPECT_GE(item->outerRect().width(), item->minimumOuterSizeHint().width()) << where << " item " << i;
                EXPECT_TRUE(plot.customPlot()->viewport().contains(item->outerRect())) << where << " item " << i;
            }
            EXPECT_EQ(entries, 8) << where;
            // No two date labels overlap.
            QCPAxis* x = plot.customPlot()->xAxis;
            const QVector<double> ticks = x->tickVector();
            const QVector<QString> labels = x->tickVectorLabels();
            ASSERT_GE(ticks.size(), 1) << where;
            const QFontMetricsF metrics(x->tickLabelFont());
            for (qsizetype i = 1; i < ticks.size(); ++i) {
                const double apart = x->coordToPixel(ticks[i]) - x->coordToPixel(ticks[i - 1]);
                const double needed = (metrics.horizontalAdvance(labels[i - 1]) + metrics.horizontalAdvance(labels[i])) / 2;
                EXPECT_GT(apart, needed) << where << ": " << labels[i - 1].toStdString() << " / " << labels[i].toStdString();
            }
        }
    }
}

TEST_F(TrendPlotTest, NoLineBridgesAStretchWithoutReadingsAndADoubleClickShowsAll)
{
    // Readings every ten minutes, then none for ten days, then again.
    TrendSeries s = series("A001", 3000, 600);
    const qint64 lastBefore = s.time[1499], firstAfter = lastBefore + 10 * 86'400;
    for (size_t i = 1500; i < s.time.size(); ++i)
        s.time[i] = firstAfter + qint64(i - 1500) * 600;
    ASSERT_TRUE(plot.setSeries({s}));
    settle();
    for (const std::vector<QPointF>& drawn : {plot.drawnValues(0), plot.drawnTemperatures(0)}) {
        bool broken = false;
        for (size_t i = 1; i < drawn.size(); ++i) {
            if (std::isnan(drawn[i].y()) && drawn[i].x() > double(lastBefore) && drawn[i].x() < double(firstAfter))
                broken = true;
            // no segment between two points on either side of the gap
            if (!std::isnan(drawn[i].y()) && !std::isnan(drawn[i - 1].y())) {
                EXPECT_FALSE(drawn[i - 1].x() <= double(lastBefore) && drawn[i].x() >= double(firstAfter)) << i;
            }
        }
        EXPECT_TRUE(broken);
    }
    // Evenly kept readings are one line, without a break.
    ASSERT_TRUE(plot.setSeries({series("A001", 3000, 600)}));
    const std::vector<QPointF> whole = plot.drawnValues(0);
    EXPECT_TRUE(std::none_of(whole.begin(), whole.end(), [](const QPointF& p) { return std::isnan(p.y()); }));

    // Zoomed in, a double-click shows everything again.
    const auto all = plot.timeRange();
    plot.setTimeRange(kStart + 86'400, kStart + 2 * 86'400);
    ASSERT_LT(plot.timeRange().second - plot.timeRange().first, 90'000);
    const QPoint at(plot.width() / 2, plot.height() / 3);
    QMouseEvent click(QEvent::MouseButtonDblClick, at, surface()->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(surface(), &click);
    EXPECT_EQ(plot.timeRange(), all);
}

TEST_F(TrendPlotTest, LevelBandsLieAtTheirThresholdsAndMarkersAtTheirReadings)
{
    // Ten readings 10, 11, ... 19 mm; 预警 ≥ 14, 报警 ≥ 16 (a Value level), 控制 at a change of
    // +8 from the baseline 10, i.e. ≥ 18; a rate level named in the legend only.
    TrendSeries s{.code = QStringLiteral("P-1"), .valueLabel = QStringLiteral("位移 (mm)")};
    s.unit = QStringLiteral("mm");
    for (int i = 0; i < 10; ++i) {
        s.time.push_back(kStart + i * 3600);
        s.value.push_back(10 + i);
        s.status.push_back(i >= 8 ? 3 : i >= 6 ? 2
                                    : i >= 4   ? 1
                                               : 0);
        s.flags.push_back(i == 2 ? 1 : 0);
        s.masked.push_back(i == 7);
    }
    s.value[7] = 40; // masked: a wild reading, left out of the line
    s.flagNames.insert(1, QStringLiteral("频率超出范围"));
    s.levels = {{true, 1, false, 14}, {true, 2, false, 16}, {true, 3, true, 8}};
    s.baseline = 10;
    s.statusNames = QStringList{"正常", "预警", "报警", "控制"};
    s.rateLevels = QStringList{"报警：速率 ≥ 2 mm/天"};
    ASSERT_TRUE(plot.setSeries({s}));
    settle();
    plot.customPlot()->replot();

    EXPECT_EQ(plot.bands(0), (std::vector<plot::Band>{{14, 16, 1}, {16, 18, 2}, {18, std::numeric_limits<double>::infinity(), 3}}));
    const std::vector<QRectF> pixels = plot.bandPixels(0);
    ASSERT_EQ(pixels.size(), 3u);
    QCPAxis* axis = plot.valueAxis(0);
    // Each band from its threshold's pixel to the next one's; the open one beyond the top.
    EXPECT_NEAR(pixels[0].bottom(), axis->coordToPixel(14), 0.5);
    EXPECT_NEAR(pixels[0].top(), axis->coordToPixel(16), 0.5);
    EXPECT_NEAR(pixels[1].bottom(), axis->coordToPixel(16), 0.5);
    EXPECT_NEAR(pixels[2].bottom(), axis->coordToPixel(18), 0.5);
    EXPECT_LT(pixels[2].top(), plot.customPlot()->axisRect()->top());
    // Across the whole plotted width.
    EXPECT_NEAR(pixels[0].left(), plot.customPlot()->axisRect()->left(), 0.5);
    EXPECT_NEAR(pixels[0].right(), plot.customPlot()->axisRect()->right(), 1.0);

    // The masked reading is not in the line, and the axis not stretched to it.
    EXPECT_FALSE(contains(plot.drawnValues(0), 40));
    EXPECT_LT(axis->range().upper, 25);
    // The changes of status at readings 4, 6 and 8 (7 is masked); the flagged one at 2.
    EXPECT_EQ(plot.drawnMarkers(0, TrendPlot::Marker::Rank1), (std::vector<QPointF>{{double(kStart + 4 * 3600), 14}}));
    EXPECT_EQ(plot.drawnMarkers(0, TrendPlot::Marker::Rank2), (std::vector<QPointF>{{double(kStart + 6 * 3600), 16}}));
    EXPECT_EQ(plot.drawnMarkers(0, TrendPlot::Marker::Rank3), (std::vector<QPointF>{{double(kStart + 8 * 3600), 18}}));
    EXPECT_EQ(plot.drawnMarkers(0, TrendPlot::Marker::Flagged), (std::vector<QPointF>{{double(kStart + 2 * 3600), 12}}));
    EXPECT_TRUE(plot.drawnMarkers(0, TrendPlot::Marker::Masked).empty());

    // Shown on demand, in grey apart from the line, and the axis then reaches it.
    plot.setShowMasked(true);
    EXPECT_EQ(plot.drawnMarkers(0, TrendPlot::Marker::Masked), (std::vector<QPointF>{{double(kStart + 7 * 3600), 40}}));
    EXPECT_FALSE(contains(plot.drawnValues(0), 40));
    EXPECT_GT(axis->range().upper, 40);

    // The legend names the ranks drawn, the baseline and the rate level.
    QStringList legend;
    for (int i = 0; i < plot.customPlot()->legend->itemCount(); ++i)
        if (auto* item = qobject_cast<QCPPlottableLegendItem*>(plot.customPlot()->legend->item(i)))
            legend << item->plottable()->name();
    EXPECT_TRUE(legend.contains("P-1 报警"));
    EXPECT_TRUE(legend.contains("P-1 基准值 10"));
    EXPECT_TRUE(legend.contains("P-1 速率触发值：报警：速率 ≥ 2 mm/天"));
}

TEST_F(TrendPlotTest, ASeriesWhoseJudgementsAreNotOneARecordIsLeftOut)
{
    TrendSeries s = series(QStringLiteral("A001"), 10, 60);
    s.status.assign(9, 0);
    s.flags.assign(9, 0);
    s.masked.assign(9, false);
    EXPECT_FALSE(plot.setSeries({s}));
    EXPECT_TRUE(plot.series().empty());
}
