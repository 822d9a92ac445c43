// A frame of the readings trend: 1,000,000 points over a year, the reading on the left axis and
// the temperature on a right axis, drawn into a 1200x600 widget and grabbed as an image.
//
//   QCustomPlot/all        every point handed to QCustomPlot (its own adaptive sampling)
//   QtCharts/all           every point in a QLineSeries (with and without antialiasing)
//   QCustomPlot/columns    QCustomPlot fed with plot::aggregate at the plot's width: the
//                          reduction is redone in every frame, as the trend plot does it
//   TrendPlot              the program's trend plot (QCustomPlot and plot::aggregate)
//
// "year" frames show the whole year, "month" frames a month of it (after a zoom). Every frame
// moves the range a little, as a pan does, so that no library can reuse the frame before.
#include "plot/TrendPlot.h"
#include "plot/PlotAggregate.h"

#include <QApplication>
#include <QChart>
#include <QChartView>
#include <QDateTimeAxis>
#include <QImage>
#include <QLineSeries>
#include <QValueAxis>
#include <benchmark/benchmark.h>
#include <cmath>
#include <numbers>
#include <qcustomplot.h>
#include <vector>

namespace {

constexpr int kWidth = 1200;
constexpr int kHeight = 600;
constexpr qsizetype kPoints = 1'000'000;
constexpr qint64 kStart = 1'767'225'600; // 2026-01-01 00:00 UTC
constexpr qint64 kStep = 31;             // a reading every 31 s: 359 days
constexpr qint64 kMonth = 30 * 86'400;

struct Data {
    std::vector<qint64> time;
    std::vector<double> reading, temperature;
    double first() const { return double(time.front()); }
    double last() const { return double(time.back()); }
};

const Data& data()
{
    static const Data d = [] {
        Data d;
        d.time.resize(kPoints);
        d.reading.resize(kPoints);
        d.temperature.resize(kPoints);
        const double year = 365.0 * 86'400, day = 86'400;
        for (qsizetype i = 0; i < kPoints; ++i) {
            const double t = double(i * kStep);
            d.time[size_t(i)] = kStart + i * kStep;
            d.temperature[size_t(i)] = 15 + 10 * std::sin(2 * std::numbers::pi * t / year) + 4 * std::sin(2 * std::numbers::pi * t / day);
            d.reading[size_t(i)] = 2800 + 40 * std::sin(2 * std::numbers::pi * t / year) - 0.8 * d.temperature[size_t(i)] + 2 * std::sin(double(i) * 0.7);
        }
        d.reading[kPoints / 3] = 3400; // one bad reading
        return d;
    }();
    return d;
}

// The visible range of frame `frame`: the whole year or a month in its middle, moved by a
// thousandth of its width back and forth.
std::pair<double, double> rangeOf(bool month, qint64 frame)
{
    const Data& d = data();
    double from = d.first(), to = d.last();
    if (month) {
        from = (d.first() + d.last()) / 2;
        to = from + double(kMonth);
    }
    const double shift = (to - from) / 1000 * double(frame % 2 == 0 ? 1 : -1) * double(frame % 7);
    return {from + shift, to + shift};
}

// Checks the last frame's size; with KTM_PLOT_BENCH_FRAMES set to a folder, saves it there to be
// looked at.
void report(benchmark::State& state, const QImage& last, const QString& name)
{
    if (last.width() != kWidth || last.height() != kHeight)
        state.SkipWithError("the frame is not 1200x600");
    const QString folder = qEnvironmentVariable("KTM_PLOT_BENCH_FRAMES");
    if (!folder.isEmpty())
        last.save(folder + QLatin1Char('/') + name + QStringLiteral(".png"));
}

// -- QCustomPlot -----------------------------------------------------------------------------

struct CustomPlot {
    QCustomPlot widget;
    QCPGraph* reading;
    QCPGraph* temperature;
    CustomPlot()
    {
        widget.resize(kWidth, kHeight);
        QSharedPointer<QCPAxisTickerDateTime> ticker(new QCPAxisTickerDateTime);
        ticker->setDateTimeFormat(QStringLiteral("yyyy-MM-dd HH:mm"));
        ticker->setDateTimeSpec(Qt::UTC);
        ticker->setTickCount(6);
        widget.xAxis->setTicker(ticker);
        widget.yAxis2->setVisible(true);
        reading = widget.addGraph(widget.xAxis, widget.yAxis);
        temperature = widget.addGraph(widget.xAxis, widget.yAxis2);
        reading->setPen(QPen(QColor(31, 119, 180), 1));
        temperature->setPen(QPen(QColor(214, 39, 40), 1, Qt::DashLine));
        widget.yAxis->setRange(2750, 3450);
        widget.yAxis2->setRange(-5, 35);
        widget.show();
    }
    static QSharedPointer<QCPGraphDataContainer> container(const std::vector<double>& xs, const std::vector<double>& ys)
    {
        QVector<QCPGraphData> points(qsizetype(xs.size()));
        for (size_t i = 0; i < xs.size(); ++i)
            points[qsizetype(i)] = QCPGraphData(xs[i], ys[i]);
        auto c = QSharedPointer<QCPGraphDataContainer>::create();
        c->set(points, true);
        return c;
    }
    QImage frame()
    {
        widget.replot(QCustomPlot::rpImmediateRefresh);
        return widget.grab().toImage();
    }
};

void BM_QCustomPlotAllPoints(benchmark::State& state, bool month)
{
    const Data& d = data();
    CustomPlot plot;
    const std::vector<double> x(d.time.begin(), d.time.end());
    plot.reading->setData(CustomPlot::container(x, d.reading));
    plot.temperature->setData(CustomPlot::container(x, d.temperature));
    QImage image;
    qint64 frame = 0;
    for (auto _ : state) {
        const auto [from, to] = rangeOf(month, frame++);
        plot.widget.xAxis->setRange(from, to);
        image = plot.frame();
    }
    report(state, image, QStringLiteral("qcustomplot-all-") + (month ? "month" : "year"));
}

void BM_QCustomPlotColumns(benchmark::State& state, bool month)
{
    const Data& d = data();
    CustomPlot plot;
    plot.frame(); // lays the plot out, so that the axis rect's width is known
    QImage image;
    qint64 frame = 0;
    qsizetype drawn = 0;
    for (auto _ : state) {
        const auto [from, to] = rangeOf(month, frame++);
        plot.widget.xAxis->setRange(from, to);
        const int width = plot.widget.axisRect()->width();
        for (auto [graph, values] : {std::pair{plot.reading, &d.reading}, std::pair{plot.temperature, &d.temperature}}) {
            const plot::Aggregation a = plot::aggregate(d.time, *values, from, to, width);
            std::vector<double> xs, ys;
            plot::appendPolyline(a, xs, ys);
            drawn = qsizetype(xs.size());
            graph->setData(CustomPlot::container(xs, ys));
        }
        image = plot.frame();
    }
    state.counters["points_drawn"] = double(drawn);
    report(state, image, QStringLiteral("qcustomplot-columns-") + (month ? "month" : "year"));
}

// -- Qt Charts -------------------------------------------------------------------------------

struct Charts {
    QChart* chart = new QChart;
    QChartView view{chart};
    QDateTimeAxis* time = new QDateTimeAxis;
    Charts(bool antialiased)
    {
        const Data& d = data();
        view.resize(kWidth, kHeight);
        view.setRenderHint(QPainter::Antialiasing, antialiased);
        chart->legend()->hide();
        auto* reading = new QLineSeries;
        auto* temperature = new QLineSeries;
        QList<QPointF> r(kPoints), t(kPoints);
        for (qsizetype i = 0; i < kPoints; ++i) {
            // QDateTimeAxis counts milliseconds.
            const double ms = double(d.time[size_t(i)]) * 1000;
            r[i] = QPointF(ms, d.reading[size_t(i)]);
            t[i] = QPointF(ms, d.temperature[size_t(i)]);
        }
        reading->replace(r);
        temperature->replace(t);
        reading->setPen(QPen(QColor(31, 119, 180), 1));
        temperature->setPen(QPen(QColor(214, 39, 40), 1, Qt::DashLine));
        chart->addSeries(reading);
        chart->addSeries(temperature);
        time->setFormat(QStringLiteral("yyyy-MM-dd HH:mm"));
        time->setTickCount(6);
        auto* left = new QValueAxis;
        auto* right = new QValueAxis;
        left->setRange(2750, 3450);
        right->setRange(-5, 35);
        chart->addAxis(time, Qt::AlignBottom);
        chart->addAxis(left, Qt::AlignLeft);
        chart->addAxis(right, Qt::AlignRight);
        reading->attachAxis(time);
        reading->attachAxis(left);
        temperature->attachAxis(time);
        temperature->attachAxis(right);
        view.show();
    }
};

void BM_QtChartsAllPoints(benchmark::State& state, bool month, bool antialiased)
{
    Charts charts(antialiased);
    QImage image = charts.view.grab().toImage();
    qint64 frame = 0;
    for (auto _ : state) {
        const auto [from, to] = rangeOf(month, frame++);
        charts.time->setRange(QDateTime::fromMSecsSinceEpoch(qint64(from * 1000), Qt::UTC),
                              QDateTime::fromMSecsSinceEpoch(qint64(to * 1000), Qt::UTC));
        image = charts.view.grab().toImage();
    }
    report(state, image, QStringLiteral("qtcharts-") + (antialiased ? "" : "plain-") + (month ? "month" : "year"));
}

// -- The trend plot ---------------------------------------------------------------------------

void BM_TrendPlot(benchmark::State& state, bool month)
{
    const Data& d = data();
    TrendPlot plot;
    plot.resize(kWidth, kHeight);
    std::vector<TrendSeries> series(1);
    series[0] = TrendSeries{.code = QStringLiteral("A001"), .valueLabel = QStringLiteral("读数 (Hz)"), .time = d.time, .value = d.reading, .temperature = d.temperature};
    plot.setSeries(std::move(series));
    plot.show();
    QCoreApplication::processEvents();
    QImage image;
    qint64 frame = 0;
    for (auto _ : state) {
        const auto [from, to] = rangeOf(month, frame++);
        plot.setTimeRange(qint64(from), qint64(to));
        QCoreApplication::processEvents(); // the replot it queued
        image = plot.grab().toImage();
    }
    state.counters["points_drawn"] = double(plot.drawnValues(0).size() + plot.drawnTemperatures(0).size());
    report(state, image, QStringLiteral("trendplot-") + (month ? "month" : "year"));
}

// -- The reduction alone ---------------------------------------------------------------------

void BM_Aggregate(benchmark::State& state, bool month)
{
    const Data& d = data();
    qint64 frame = 0;
    for (auto _ : state) {
        const auto [from, to] = rangeOf(month, frame++);
        std::vector<double> xs, ys;
        plot::appendPolyline(plot::aggregate(d.time, d.reading, from, to, kWidth), xs, ys);
        benchmark::DoNotOptimize(xs.data());
    }
}

} // namespace

BENCHMARK_CAPTURE(BM_Aggregate, year, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Aggregate, month, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_QCustomPlotColumns, year, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_QCustomPlotColumns, month, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_TrendPlot, year, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_TrendPlot, month, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_QCustomPlotAllPoints, year, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_QCustomPlotAllPoints, month, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_QtChartsAllPoints, year, false, true)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK_CAPTURE(BM_QtChartsAllPoints, month, true, true)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK_CAPTURE(BM_QtChartsAllPoints, year_no_antialiasing, false, false)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK_CAPTURE(BM_QtChartsAllPoints, month_no_antialiasing, true, false)->Unit(benchmark::kMillisecond)->Iterations(3);

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
