#pragma once

#include "plot/PlotAggregate.h"
#include "plot/TrendLevels.h"
#include "plot/TrendSeries.h"

#include <QPointF>
#include <QWidget>
#include <optional>
#include <utility>
#include <vector>

class QCPAbstractItem;
class QCPAxis;
class QCPItemRect;
class QCustomPlot;
class QCPGraph;
class QCPItemStraightLine;
class QCPItemText;
class QCPItemTracer;
class QCPRange;
class QPainter;

// One record of a series, as the cursor shows it.
struct TrendPoint {
    int series = -1;
    qint64 time = 0;
    double value = 0;       // NaN: none
    double temperature = 0; // NaN: none
    qsizetype index = -1;   // of the record in the series, sorted by time
};

// The trend of one or more components over time: each series' value on a left axis of its unit
// (series of one unit share one; each further unit gets an axis of its own), its temperature on
// the right axis, instrument time (UTC) along the bottom; the legend names each line with its
// unit. The wheel zooms the time axis about the cursor, a drag pans it, a double-click shows
// everything again; the cursor shows the nearest record. Where a series has no records for
// longer than a few of its reading intervals (plot::findGaps), its line is broken.
//
// However long the series, what is drawn is reduced to the visible range and the plot's width
// (plot::aggregate): at most four points a pixel column and series, with every column's least
// and greatest value, so a single bad reading among a million stays visible.
//
// Of a judged series: the trigger levels in force are drawn as translucent bands (amber, orange,
// red by rank; Change levels from the baseline, drawn dashed), rate levels named in the legend;
// a triangle marks each reading where the status changed (in the colour of the new status), a
// hollow circle each reading with quality flags (at most one marker of a kind a pixel column).
// Masked readings are left out of the line; setShowMasked() shows them as grey dots.
class TrendPlot : public QWidget {
    Q_OBJECT
public:
    static inline const QString kTimeFormat = QStringLiteral("yyyy-MM-dd HH:mm");
    // The shortest time range a zoom reaches, in seconds.
    static constexpr double kMinimumSpan = 600;
    // The largest image savePng() makes, each way.
    static constexpr int kMaximumImageSide = 8192;

    explicit TrendPlot(QWidget* parent = nullptr);
    ~TrendPlot() override;

    // Replaces what is shown and shows all of it. Times need not be sorted (the records are
    // sorted by time, equal times in their order). A series whose values, or temperatures
    // (unless it has none), are not one a time is left out, and false is returned.
    bool setSeries(const std::vector<TrendSeries>& series);
    bool setSeries(std::vector<TrendSeries>&& series);
    const std::vector<TrendSeries>& series() const { return m_series; }

    // The visible time range, seconds of instrument time. setTimeRange() keeps it within the
    // data (with a small margin) and no shorter than kMinimumSpan.
    void setTimeRange(qint64 from, qint64 to);
    void showAll();
    // The span the plot shows all of, and zooms within, instead of its series' own (a report shows
    // its period, also where the readings cover only part of it or none); nullopt: the series'.
    void setExtent(std::optional<std::pair<qint64, qint64>> extent);
    std::pair<double, double> timeRange() const;

    // The time at pixel column x of this widget.
    double timeAt(int x) const;
    // The record of `series` nearest in time to pixel column x of this widget; nothing outside
    // the plotted area or for a series without records.
    std::optional<TrendPoint> pointAt(int x, int series = 0) const;
    // What the cursor's label says now; empty while it is hidden.
    QString cursorText() const;

    // Draws the plot into a PNG image of width x height pixels. The file is replaced only when
    // the whole image was written. false for an empty path, a size outside 1..kMaximumImageSide
    // or a file that cannot be written.
    bool savePng(const QString& path, int width, int height);
    // Draws the plot as vectors (lines, shapes and text, never an image of it) into `target` of
    // `painter`: laid out at the target's size in the painter's pixels, as the window lays it out
    // at that size, so that a page shows what the history tab shows. The widget itself is left
    // as it was.
    void render(QPainter* painter, const QRectF& target);
    // The font of every text of the plot: axes, labels, legend, the "no data" note; also of the
    // axes made later.
    void setPlotFont(const QFont& font);
    // The plot's own words for a plot in another language than the window's (the report's); an
    // empty one keeps the window's. Given before setSeries() for the legend's entries.
    struct Words {
        QString time;       // the time axis' label
        QString noData;     // the note over a plot without readings
        QString baseline;   // a legend entry: "%1 基准值 %2", the series and its baseline value
        QString rateLevels; // a legend entry: "%1 速率触发值：%2", the series and its rate levels
        QString separator;  // between rate levels
    };
    void setWords(const Words& words);
    // Whether the temperature axis on the right is shown (it is, at first).
    void setTemperatureAxisShown(bool shown);

    // What is handed to the plot for drawing now, for a series' values and temperatures.
    std::vector<QPointF> drawnValues(int series) const;
    std::vector<QPointF> drawnTemperatures(int series) const;
    // The number of pixel columns the series were last reduced to.
    int columns() const { return m_columns; }
    // The value axis of a series (nullptr for no such series), and how many value axes there are.
    QCPAxis* valueAxis(int series) const;
    int valueAxisCount() const { return int(m_valueAxes.size()); }
    // The plot itself, for a look at its axes and legend.
    QCustomPlot* customPlot() const { return m_plot; }

    // Whether masked readings are shown (grey dots, apart from the line); not at first.
    void setShowMasked(bool show);
    bool showsMasked() const { return m_showMasked; }

    // The bands of a series' levels, and where the last drawing put each on the screen (pixels
    // of the plot; infinite edges end a little beyond the visible range).
    std::vector<plot::Band> bands(int series) const;
    std::vector<QRectF> bandPixels(int series) const;
    // The markers handed to the plot now: status changes (by new status 0..3), flagged and masked
    // readings, as (time, value).
    enum class Marker {
        Normal,
        Rank1,
        Rank2,
        Rank3,
        Flagged,
        Masked
    };
    std::vector<QPointF> drawnMarkers(int series, Marker kind) const;

signals:
    void timeRangeChanged(double from, double to);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Graphs {
        QCPGraph* value = nullptr;
        QCPGraph* temperature = nullptr; // nullptr for a series without temperatures
        std::vector<QCPGraph*> markers;  // by Marker, of a judged series
        std::vector<double> line;        // the values the line draws: masked readings NaN
        std::vector<qsizetype> changes;  // plot::transitions
        std::vector<plot::Band> bands;
        std::vector<QCPItemRect*> bandItems;
    };
    void addLevels(size_t series, Graphs& g, const QColor& colour);
    // Hands the series' markers in `range` to the plot; gives the least and greatest masked value shown.
    std::pair<double, double> drawMarkers(size_t series, const QCPRange& range, int width);

    bool adopt(std::vector<TrendSeries> series);
    void rebuildGraphs();
    void onRangeChanged(const QCPRange& range);
    void reduce();
    void fitLegend(int width);
    void showCursor(const QPoint& at);
    void hideCursor(bool redraw = true);
    std::pair<double, double> dataExtent() const;
    QCPRange limited(const QCPRange& range) const;

    QCustomPlot* m_plot = nullptr;
    std::vector<TrendSeries> m_series;
    std::vector<Graphs> m_graphs;
    std::vector<QCPAxis*> m_valueAxes; // the first is the plot's own left axis
    std::vector<int> m_axisOf;         // a series' index into m_valueAxes
    std::vector<std::vector<plot::Gap>> m_gaps;
    std::vector<QCPAbstractItem*> m_levelItems; // the bands and baselines, made anew with the series
    QCPItemStraightLine* m_cursorLine = nullptr;
    QCPItemTracer* m_valueTracer = nullptr;
    QCPItemTracer* m_temperatureTracer = nullptr;
    QCPItemText* m_cursorLabel = nullptr;
    QCPItemText* m_noData = nullptr;
    int m_columns = 0;
    bool m_limiting = false;
    bool m_showMasked = false;
    std::optional<std::pair<qint64, qint64>> m_extent;
    Words m_words;
};
