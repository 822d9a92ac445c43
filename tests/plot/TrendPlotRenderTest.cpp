#include "plot/TrendPlot.h"

#include <QFont>
#include <QImage>
#include <QPaintEngine>
#include <QPainter>
#include <QStringList>
#include <QTest>
#include <algorithm>
#include <gtest/gtest.h>

namespace {

constexpr qint64 kStart = 1'767'225'600; // 2026-01-01 00:00 UTC

// A gauge read daily for 30 days, its value climbing 0..10, with a rank-3 level at 8 and above:
// the plot fits the axis to -0.5..10.5, so the band covers the top (10.5 - 8) / 11 of the plot.
TrendSeries climbing()
{
    TrendSeries s{.code = QStringLiteral("A001"), .valueLabel = QStringLiteral("位移 (mm)"), .unit = QStringLiteral("mm")};
    for (int i = 0; i <= 30; ++i) {
        s.time.push_back(kStart + i * 86'400);
        s.value.push_back(i / 3.0);
    }
    s.levels.push_back(TrendLevel{.high = true, .rank = 3, .change = false, .threshold = 8});
    s.statusNames = QStringList{QStringLiteral("正常"), QStringLiteral("预警"), QStringLiteral("报警"), QStringLiteral("控制")};
    return s;
}

// A paint device that keeps what is drawn on it: the text items with their fonts, and how many
// images and shapes.
class RecordingEngine : public QPaintEngine {
public:
    RecordingEngine() : QPaintEngine(QPaintEngine::AllFeatures) {}
    bool begin(QPaintDevice*) override { return true; }
    bool end() override { return true; }
    void updateState(const QPaintEngineState&) override {}
    void drawPixmap(const QRectF&, const QPixmap&, const QRectF&) override { ++images; }
    void drawImage(const QRectF&, const QImage&, const QRectF&, Qt::ImageConversionFlags) override { ++images; }
    void drawTextItem(const QPointF&, const QTextItem& item) override
    {
        texts << item.text();
        fonts << item.font();
    }
    void drawPath(const QPainterPath&) override { ++shapes; }
    void drawPolygon(const QPointF*, int, PolygonDrawMode) override { ++shapes; }
    void drawLines(const QLineF*, int) override { ++shapes; }
    void drawRects(const QRectF*, int) override { ++shapes; }
    Type type() const override { return QPaintEngine::User; }

    QStringList texts;
    QList<QFont> fonts;
    int images = 0;
    int shapes = 0;
};

class RecordingDevice : public QPaintDevice {
public:
    QPaintEngine* paintEngine() const override { return &engine; }
    mutable RecordingEngine engine;

protected:
    int metric(PaintDeviceMetric metric) const override
    {
        switch (metric) {
        case PdmWidth:
            return 800;
        case PdmHeight:
            return 600;
        case PdmWidthMM:
            return 211;
        case PdmHeightMM:
            return 159;
        case PdmDpiX:
        case PdmDpiY:
        case PdmPhysicalDpiX:
        case PdmPhysicalDpiY:
            return 96;
        case PdmDepth:
            return 32;
        case PdmNumColors:
            return 256;
        case PdmDevicePixelRatio:
            return 1;
        case PdmDevicePixelRatioScaled:
            return int(devicePixelRatioFScale());
        default:
            return 0;
        }
    }
};

bool reddish(QRgb p) { return qRed(p) - qGreen(p) > 15 && qRed(p) - qBlue(p) > 15; }

TEST(TrendPlotRender, TheBandIsPaintedInsideTheTargetAndNothingOutsideIt)
{
    TrendPlot plot;
    plot.resize(500, 300);
    plot.setSeries({climbing()});
    QImage image(800, 600, QImage::Format_ARGB32);
    image.fill(Qt::white);
    const QRect target(100, 50, 600, 400);
    {
        QPainter painter(&image);
        plot.render(&painter, target);
    }
    int outside = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (!target.contains(x, y) && image.pixel(x, y) != qRgb(255, 255, 255))
                ++outside;
    EXPECT_EQ(outside, 0);

    // Down the middle column: the band's reddish run lies in the upper part of the target and
    // takes about a fifth of the plotted height; nothing reddish below the middle.
    const int x = target.center().x();
    int first = -1, last = -1, count = 0;
    for (int y = target.top(); y <= target.bottom(); ++y) {
        if (reddish(image.pixel(x, y))) {
            if (first < 0)
                first = y;
            last = y;
            ++count;
        }
    }
    ASSERT_GT(count, 0);
    EXPECT_LT(last, target.top() + target.height() / 2);
    EXPECT_GT(count, target.height() / 10);
    EXPECT_LT(count, target.height() * 3 / 10);
}

TEST(TrendPlotRender, DrawsTextAndShapesNeverAnImageAndLeavesTheWidgetAsItWas)
{
    TrendPlot plot;
    plot.resize(500, 300);
    plot.setSeries({climbing()});
    plot.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&plot));
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPointSizeF(7);
    plot.setPlotFont(font);
    QCoreApplication::processEvents(); // the queued replot at the widget's size
    const int columnsBefore = plot.columns();
    ASSERT_GT(columnsBefore, 300);

    RecordingDevice device;
    {
        QPainter painter(&device);
        plot.render(&painter, QRectF(0, 0, 700, 350));
    }
    const RecordingEngine& e = device.engine;
    EXPECT_EQ(e.images, 0);
    EXPECT_GT(e.shapes, 0);
    // The legend names the line with its unit and the band by its rank; the value axis is
    // labelled. (A text of Latin and CJK letters comes as an item for each script, in order.)
    const QString all = e.texts.join(QString());
    EXPECT_TRUE(all.contains(QStringLiteral("A001 (mm)"))) << e.texts.join(QLatin1Char('|')).toStdString();
    EXPECT_TRUE(all.contains(QStringLiteral("A001 控制")));
    EXPECT_TRUE(all.contains(QStringLiteral("位移 (mm)")));
    EXPECT_TRUE(std::any_of(e.texts.begin(), e.texts.end(), [](const QString& t) { return t.startsWith(QStringLiteral("2026-01-")); }));
    ASSERT_FALSE(e.fonts.isEmpty());
    for (const QFont& f : e.fonts)
        EXPECT_NEAR(f.pointSizeF(), 7, 0.1) << f.toString().toStdString(); // a picture keeps sizes to a pixel

    // The widget is reduced to its own width again, not the target's.
    EXPECT_EQ(plot.columns(), columnsBefore);
    EXPECT_EQ(plot.size(), QSize(500, 300));
}

TEST(TrendPlotRender, TheCallersWordsReplaceThePlotsOwn)
{
    TrendPlot plot;
    plot.resize(500, 300);
    plot.setWords({.time = QStringLiteral("Time (PC)"),
                   .noData = QStringLiteral("No readings"),
                   .baseline = QStringLiteral("%1 baseline %2"),
                   .rateLevels = QStringLiteral("%1 rates: %2"),
                   .separator = QStringLiteral(" / ")});
    TrendSeries s = climbing();
    s.levels.push_back(TrendLevel{.high = true, .rank = 2, .change = true, .threshold = 4});
    s.baseline = 1.5;
    s.rateLevels = QStringList{QStringLiteral("r1"), QStringLiteral("r2")};
    plot.setSeries({s});
    const auto drawn = [&] {
        RecordingDevice device;
        QPainter painter(&device);
        plot.render(&painter, QRectF(0, 0, 700, 350));
        painter.end();
        return device.engine.texts.join(QString());
    };
    const QString words = drawn();
    EXPECT_TRUE(words.contains(QStringLiteral("Time (PC)"))) << words.toStdString();
    EXPECT_TRUE(words.contains(QStringLiteral("A001 baseline 1.5")));
    EXPECT_TRUE(words.contains(QStringLiteral("A001 rates: r1 / r2")));
    EXPECT_FALSE(words.contains(QStringLiteral("基准值")));
    EXPECT_FALSE(words.contains(QStringLiteral("No readings")));

    plot.setSeries({TrendSeries{.code = QStringLiteral("B002")}});
    EXPECT_TRUE(drawn().contains(QStringLiteral("No readings")));
}

} // namespace

TEST(TrendPlotRender, AnExtentIsShownWholeWhereTheReadingsCoverPartOfItOrNone)
{
    TrendPlot plot;
    plot.resize(500, 300);
    const qint64 from = kStart - 10 * 86'400, to = kStart + 60 * 86'400; // the readings: days 0..30
    plot.setExtent(std::pair(from, to));
    plot.setSeries({climbing()});
    auto [low, high] = plot.timeRange();
    EXPECT_LE(low, double(from));
    EXPECT_GE(high, double(to));
    EXPECT_LT(high - low, 1.1 * double(to - from)); // a small margin, not the data's span added

    // A zoom stays within the extent, not within the readings.
    plot.setTimeRange(kStart + 40 * 86'400, kStart + 50 * 86'400);
    std::tie(low, high) = plot.timeRange();
    EXPECT_DOUBLE_EQ(low, double(kStart + 40 * 86'400));
    EXPECT_DOUBLE_EQ(high, double(kStart + 50 * 86'400));

    // Without readings the period is shown, not the last day before now.
    plot.setSeries({TrendSeries{.code = QStringLiteral("B002")}});
    std::tie(low, high) = plot.timeRange();
    EXPECT_LE(low, double(from));
    EXPECT_GE(high, double(to));
    EXPECT_LT(high, double(to + 10 * 86'400));

    // Back to the readings' own span.
    plot.setExtent(std::nullopt);
    plot.setSeries({climbing()});
    std::tie(low, high) = plot.timeRange();
    EXPECT_GT(low, double(kStart - 86'400));
    EXPECT_LT(high, double(kStart + 31 * 86'400));
}
