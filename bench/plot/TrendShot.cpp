// Draws the trend plot as the readings history shows it and saves what the window shows as
// a PNG, to be looked at: three components of three units (mm, kPa, Hz), 100,000 records each
// over a year, one bad reading, ten days without readings, the cursor over a record. Usage: plot_shot OUT.png [WIDTH HEIGHT [FROM-DAY TO-DAY]], the
// days counted from the first record, for a zoomed view.
#include "plot/TrendPlot.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPixmap>
#include <QTest>
#include <cmath>
#include <cstdio>
#include <numbers>

namespace {

TrendSeries component(const QString& code, const QString& label, const QString& unit, double base, double swing, double phase)
{
    constexpr qsizetype n = 100'000;
    constexpr qint64 start = 1'767'225'600; // 2026-01-01 00:00 UTC
    constexpr qint64 step = 315;            // a year
    TrendSeries s{.code = code, .valueLabel = label, .unit = unit};
    s.time.resize(n);
    s.value.resize(n);
    s.temperature.resize(n);
    for (qsizetype i = 0; i < n; ++i) {
        const double t = double(i * step), year = 365.0 * 86'400, day = 86'400;
        s.time[size_t(i)] = start + i * step;
        s.temperature[size_t(i)] = 14 + 11 * std::sin(2 * std::numbers::pi * (t / year - 0.25) + phase) + 3 * std::sin(2 * std::numbers::pi * t / day);
        s.value[size_t(i)] = base + swing * std::sin(2 * std::numbers::pi * t / year + phase) + swing * 0.02 * std::sin(double(i) * 0.9);
    }
    return s;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: plot_shot OUT.png [WIDTH HEIGHT [FROM-DAY TO-DAY]]\n");
        return 2;
    }
    const int width = argc > 3 ? std::atoi(argv[2]) : 1200, height = argc > 3 ? std::atoi(argv[3]) : 600;

    std::vector<TrendSeries> series;
    series.push_back(component(QStringLiteral("A001"), QStringLiteral("裂缝计 (mm)"), QStringLiteral("mm"), 12, 0.4, 0));
    series.push_back(component(QStringLiteral("B002"), QStringLiteral("渗压计 (kPa)"), QStringLiteral("kPa"), 180, 40, 1.2));
    series.push_back(component(QStringLiteral("C003"), QStringLiteral("读数 (Hz)"), QStringLiteral("Hz"), 2700, 25, 2.0));
    series[0].value[61'234] = 13.5; // a bad reading
    // Ten days without readings (the readout was away).
    auto& gap = series[2];
    const auto from = gap.time.begin() + 30'000, to = from + 2'743;
    gap.value.erase(gap.value.begin() + 30'000, gap.value.begin() + 32'743);
    gap.temperature.erase(gap.temperature.begin() + 30'000, gap.temperature.begin() + 32'743);
    gap.time.erase(from, to);
    for (size_t i = 20'000; i < 21'000; ++i)
        series[1].temperature[i] = std::numeric_limits<double>::quiet_NaN(); // the sensor was off

    TrendPlot plot;
    plot.resize(width, height);
    plot.setSeries(std::move(series));
    if (argc > 5) {
        const qint64 first = plot.series()[0].time.front();
        plot.setTimeRange(first + std::atoll(argv[4]) * 86'400, first + std::atoll(argv[5]) * 86'400);
    }
    plot.show();
    if (!QTest::qWaitForWindowExposed(&plot))
        return 1;
    QTest::qWait(50);
    auto* surface = plot.findChild<QWidget*>();
    const QPoint at(width * 2 / 3, height / 3);
    QMouseEvent move(QEvent::MouseMove, at, surface->mapToGlobal(at), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(surface, &move);
    QTest::qWait(50);
    if (!plot.grab().save(QString::fromLocal8Bit(argv[1]), "PNG"))
        return 1;
    std::printf("%s\n", argv[1]);
    return 0;
}
