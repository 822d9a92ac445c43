#include "plot/TrendPlot.h"

#include "plot/StatusColours.h"
#include "export/ReplacingFile.h"
#include "plot/PlotAggregate.h"

#include <QDateTime>
#include <QImageWriter>
#include <QMouseEvent>
#include <QPainter>
#include <QPicture>
#include <QTimeZone>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <limits>
#include <qcustomplot.h>

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
const QString kCursorLayer = QStringLiteral("cursor");
const QString kTemperatureLayer = QStringLiteral("temperature");
const QString kBandLayer = QStringLiteral("bands");
constexpr int kMarkerKinds = 6; // TrendPlot::Marker

// A colour a component, its value drawn solid and its temperature dashed in the same colour.
const QColor kColours[] = {QColor(0x1f, 0x77, 0xb4), QColor(0xd6, 0x27, 0x28), QColor(0x2c, 0xa0, 0x2c),
                           QColor(0x94, 0x67, 0xbd), QColor(0xff, 0x7f, 0x0e), QColor(0x8c, 0x56, 0x4b),
                           QColor(0xe3, 0x77, 0xc2), QColor(0x17, 0xbe, 0xcf)};

template <typename T>
void permute(std::vector<T>& values, const std::vector<qsizetype>& order)
{
    std::vector<T> sorted;
    sorted.reserve(values.size());
    for (qsizetype i : order)
        sorted.push_back(values[size_t(i)]);
    values = std::move(sorted);
}

struct Extremes {
    double low = std::numeric_limits<double>::infinity();
    double high = -std::numeric_limits<double>::infinity();
    bool any() const { return low <= high; }
};

// Hands the graph the reduction of (time, y) to `width` columns over `range`, with the nearest
// records beyond either edge so that the line runs on to the edges; widens `extremes` by the
// values inside the range.
void drawReduced(QCPGraph* graph, const std::vector<qint64>& time, const std::vector<double>& y,
                 const std::vector<plot::Gap>& gaps, const QCPRange& range, int width, Extremes& extremes)
{
    const plot::Aggregation a = plot::aggregate(time, y, range.lower, range.upper, width);
    std::vector<double> xs, ys;
    for (qsizetype i = a.begin - 1; i >= 0; --i) {
        if (!std::isnan(y[size_t(i)])) {
            xs.push_back(double(time[size_t(i)]));
            ys.push_back(y[size_t(i)]);
            break;
        }
    }
    plot::appendPolyline(a, xs, ys);
    for (qsizetype i = a.end; i < qsizetype(y.size()); ++i) {
        if (!std::isnan(y[size_t(i)])) {
            xs.push_back(double(time[size_t(i)]));
            ys.push_back(y[size_t(i)]);
            break;
        }
    }
    // No line across a stretch without readings: the graph leaves a gap at a NaN value.
    plot::breakAtGaps(xs, ys, gaps);

    QVector<QCPGraphData> points;
    points.reserve(qsizetype(xs.size()));
    for (size_t i = 0; i < xs.size(); ++i)
        points.append(QCPGraphData(xs[i], ys[i]));
    graph->data()->set(points, true);

    for (const plot::Column& c : a.columns) {
        extremes.low = std::min(extremes.low, c.minY);
        extremes.high = std::max(extremes.high, c.maxY);
    }
}

// Fits the axis to the extremes with a little room above and below; left as it is when there
// is nothing in view.
void fit(QCPAxis* axis, const Extremes& e)
{
    if (!e.any())
        return;
    const double span = e.high - e.low;
    const double room = span > 0 ? span * 0.05 : std::max(0.5, std::abs(e.high) * 0.01);
    axis->setRange(e.low - room, e.high + room);
}

// Date labels along the time axis that never overlap: however wide the plot and whatever the
// range, ticks lie at least a label's width and a gap apart.
class SpacedDateTicker : public QCPAxisTickerDateTime {
public:
    explicit SpacedDateTicker(QCPAxis* axis) : m_axis(axis) {}

protected:
    // The room a label takes on the axis, gap included, in pixels.
    double labelRoom() const
    {
        const QFontMetricsF metrics(m_axis->tickLabelFont());
        const QString widest = QDateTime(QDate(2026, 12, 28), QTime(20, 58), QTimeZone::utc()).toString(dateTimeFormat());
        return metrics.horizontalAdvance(widest) + 2 * metrics.horizontalAdvance(QLatin1Char('M'));
    }
    // The axis' length in pixels as the plot is being laid out: the viewport less the margins
    // of the last layout (the axis rect spans the plot's width).
    double length() const
    {
        const QCPAxisRect* area = m_axis->axisRect();
        const QCustomPlot* plot = m_axis->parentPlot();
        const QMargins outer = plot->plotLayout()->margins();
        const double l = plot->viewport().width() - area->margins().left() - area->margins().right() - outer.left() - outer.right();
        return std::max(l, 1.0);
    }
    double getTickStep(const QCPRange& range) override
    {
        const double room = labelRoom();
        const double shortest = range.size() * room / length();
        int count = std::max(1, int(length() / room));
        setTickCount(count);
        double step = QCPAxisTickerDateTime::getTickStep(range);
        while (step < shortest && count > 1) {
            setTickCount(--count);
            step = QCPAxisTickerDateTime::getTickStep(range);
        }
        return step;
    }
    // Ticks at whole months and years are not evenly apart: any that would come too near the
    // one before are left out.
    QVector<double> createTickVector(double tickStep, const QCPRange& range) override
    {
        const QVector<double> all = QCPAxisTickerDateTime::createTickVector(tickStep, range);
        const double shortest = range.size() * labelRoom() / length();
        QVector<double> kept;
        for (double t : all)
            if (kept.isEmpty() || t - kept.back() >= shortest)
                kept.append(t);
        return kept;
    }

private:
    QCPAxis* m_axis;
};

// A series' value with its unit, as the legend names it.
QString valueName(const TrendSeries& s)
{
    if (!s.unit.isEmpty())
        return QStringLiteral("%1 (%2)").arg(s.code, s.unit);
    return s.valueLabel.isEmpty() ? s.code : QStringLiteral("%1 %2").arg(s.code, s.valueLabel);
}

std::vector<QPointF> pointsOf(const QCPGraph* graph)
{
    std::vector<QPointF> out;
    if (!graph)
        return out;
    out.reserve(size_t(graph->data()->size()));
    for (auto it = graph->data()->constBegin(); it != graph->data()->constEnd(); ++it)
        out.emplace_back(it->key, it->value);
    return out;
}

// A value as the cursor shows it: seven significant digits; a temperature to 0.1 ℃, the
// instrument's resolution.
QString number(double v) { return std::isnan(v) ? QStringLiteral("—") : QString::number(v, 'g', 7); }
QString temperature(double t) { return std::isnan(t) ? QStringLiteral("—") : QString::number(t, 'f', 1) + QStringLiteral(" ℃"); }

} // namespace

TrendPlot::TrendPlot(QWidget* parent)
    : QWidget(parent), m_plot(new QCustomPlot(this))
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_plot);
    m_plot->setMouseTracking(true);
    m_plot->installEventFilter(this);

    // Wheel and drag act on the time axis only; the value axes follow what is in view.
    m_plot->setInteractions(QCP::iRangeDrag | QCP::iRangeZoom);
    QCPAxisRect* area = m_plot->axisRect();
    area->setRangeDrag(Qt::Horizontal);
    area->setRangeZoom(Qt::Horizontal);
    area->setRangeDragAxes(m_plot->xAxis, m_plot->yAxis);
    area->setRangeZoomAxes(m_plot->xAxis, m_plot->yAxis);
    area->setRangeZoomFactor(0.85);
    m_plot->setNoAntialiasingOnDrag(true);

    auto ticker = QSharedPointer<SpacedDateTicker>::create(m_plot->xAxis);
    ticker->setDateTimeFormat(kTimeFormat);
    ticker->setDateTimeSpec(Qt::UTC); // instrument time is shown as it was recorded
    m_plot->xAxis->setTicker(ticker);
    m_plot->xAxis->setLabel(tr("时间"));
    m_plot->yAxis2->setVisible(true);
    m_plot->yAxis2->setLabel(tr("温度 (℃)"));
    m_plot->yAxis2->setRange(0, 40);
    for (QCPAxis* axis : {m_plot->xAxis, m_plot->yAxis, m_plot->yAxis2})
        axis->grid()->setPen(QPen(QColor(225, 225, 225), 0, Qt::SolidLine));
    m_plot->yAxis2->grid()->setVisible(false);

    // The legend in a row of its own under the plot, so that it never covers the data.
    auto* legendRow = new QCPLayoutGrid;
    m_plot->plotLayout()->addElement(1, 0, legendRow);
    m_plot->plotLayout()->setRowStretchFactor(1, 0.001);
    legendRow->setMargins(QMargins(6, 0, 6, 4));
    // Centred: empty cells either side take the room the entries leave.
    legendRow->addElement(0, 0, new QCPLayoutElement(m_plot));
    legendRow->addElement(0, 1, m_plot->legend);
    legendRow->addElement(0, 2, new QCPLayoutElement(m_plot));
    legendRow->setColumnStretchFactors({1, 0.001, 1});
    m_plot->legend->setFillOrder(QCPLegend::foColumnsFirst);
    m_plot->legend->setWrap(8);
    m_plot->legend->setBorderPen(Qt::NoPen);
    m_plot->legend->setBrush(Qt::NoBrush);

    m_plot->addLayer(kTemperatureLayer, m_plot->layer(QStringLiteral("main")), QCustomPlot::limBelow);
    m_plot->addLayer(kBandLayer, m_plot->layer(kTemperatureLayer), QCustomPlot::limBelow);

    // The cursor lives on a layer of its own, redrawn alone as the mouse moves.
    m_plot->addLayer(kCursorLayer, m_plot->layer(QStringLiteral("legend")), QCustomPlot::limAbove);
    m_plot->layer(kCursorLayer)->setMode(QCPLayer::lmBuffered);
    m_cursorLine = new QCPItemStraightLine(m_plot);
    m_cursorLine->setPen(QPen(QColor(120, 120, 120), 0, Qt::DotLine));
    m_valueTracer = new QCPItemTracer(m_plot);
    m_temperatureTracer = new QCPItemTracer(m_plot);
    m_temperatureTracer->position->setAxes(m_plot->xAxis, m_plot->yAxis2);
    for (QCPItemTracer* tracer : {m_valueTracer, m_temperatureTracer}) {
        tracer->setStyle(QCPItemTracer::tsCircle);
        tracer->setSize(7);
    }
    m_cursorLabel = new QCPItemText(m_plot);
    m_cursorLabel->setPositionAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_cursorLabel->setTextAlignment(Qt::AlignLeft);
    m_cursorLabel->position->setType(QCPItemPosition::ptAbsolute);
    m_cursorLabel->setPadding(QMargins(6, 4, 6, 4));
    m_cursorLabel->setBrush(QColor(255, 255, 255, 230));
    m_cursorLabel->setPen(QPen(QColor(160, 160, 160)));
    m_cursorLabel->setClipToAxisRect(false);
    for (QCPAbstractItem* item : std::initializer_list<QCPAbstractItem*>{m_cursorLine, m_valueTracer, m_temperatureTracer, m_cursorLabel}) {
        item->setLayer(kCursorLayer);
        item->setVisible(false);
    }

    m_noData = new QCPItemText(m_plot);
    m_noData->position->setType(QCPItemPosition::ptAxisRectRatio);
    m_noData->position->setCoords(0.5, 0.5);
    m_noData->setText(tr("没有数据"));
    m_noData->setColor(QColor(128, 128, 128));

    connect(m_plot->xAxis, qOverload<const QCPRange&>(&QCPAxis::rangeChanged), this, &TrendPlot::onRangeChanged);
    // A new width of the plotted area (a resize, an image of another size) is known only once
    // the plot is laid out; the data is reduced again before it is drawn.
    connect(m_plot, &QCustomPlot::afterLayout, this, [this] {
        if (m_plot->axisRect()->width() != m_columns)
            reduce();
    });
    connect(m_plot, &QCustomPlot::mouseMove, this, [this](QMouseEvent* event) { showCursor(event->pos()); });
    connect(m_plot, &QCustomPlot::mouseDoubleClick, this, [this] { showAll(); });
    connect(m_plot, &QCustomPlot::beforeReplot, this, [this] { fitLegend(m_plot->viewport().width()); });

    rebuildGraphs();
    showAll();
}

TrendPlot::~TrendPlot() = default;

bool TrendPlot::setSeries(const std::vector<TrendSeries>& series) { return adopt(series); }

bool TrendPlot::setSeries(std::vector<TrendSeries>&& series) { return adopt(std::move(series)); }

bool TrendPlot::adopt(std::vector<TrendSeries> series)
{
    bool whole = true;
    m_series.clear();
    for (TrendSeries& s : series) {
        const size_t n = s.time.size();
        if (s.value.size() != n || (!s.temperature.empty() && s.temperature.size() != n) ||
            (!s.origin.empty() && s.origin.size() != n) || (!s.status.empty() && s.status.size() != n) ||
            s.flags.size() != s.status.size() || s.masked.size() != s.status.size()) {
            whole = false;
            continue;
        }
        if (std::all_of(s.temperature.begin(), s.temperature.end(), [](double t) { return std::isnan(t); }))
            s.temperature.clear();
        const std::vector<qsizetype> order = plot::sortOrderByX(s.time);
        if (!order.empty()) {
            permute(s.time, order);
            permute(s.value, order);
            if (!s.temperature.empty())
                permute(s.temperature, order);
            if (!s.origin.empty())
                permute(s.origin, order);
            if (!s.status.empty()) {
                permute(s.status, order);
                permute(s.flags, order);
                permute(s.masked, order);
            }
        }
        m_series.push_back(std::move(s));
    }
    m_gaps.clear();
    for (const TrendSeries& s : m_series)
        m_gaps.push_back(plot::findGaps(s.time));
    hideCursor(false);
    rebuildGraphs();
    showAll();
    return whole;
}

void TrendPlot::rebuildGraphs()
{
    m_plot->clearGraphs();
    m_graphs.clear();
    for (QCPAbstractItem* item : m_levelItems)
        m_plot->removeItem(item);
    m_levelItems.clear();
    // A value axis for each unit, in the order the series bring them; the plot's own left axis
    // is the first, and the axes of units no longer shown go.
    for (size_t a = 1; a < m_valueAxes.size(); ++a)
        m_plot->axisRect()->removeAxis(m_valueAxes[a]);
    m_valueAxes.assign(1, m_plot->yAxis);
    m_axisOf.clear();
    QStringList units;
    std::vector<QStringList> labels(1);
    for (const TrendSeries& s : m_series) {
        qsizetype a = units.indexOf(s.unit);
        if (a < 0) {
            a = units.size();
            units << s.unit;
            if (a > 0) {
                QCPAxis* axis = m_plot->axisRect()->addAxis(QCPAxis::atLeft);
                axis->grid()->setVisible(false);
                m_valueAxes.push_back(axis);
                labels.emplace_back();
            }
        }
        m_axisOf.push_back(int(a));
        const QString label = s.valueLabel.isEmpty() ? tr("读数") : s.valueLabel;
        if (!labels[size_t(a)].contains(label))
            labels[size_t(a)] << label;
    }
    for (size_t i = 0; i < m_series.size(); ++i) {
        const TrendSeries& s = m_series[i];
        const QColor colour = kColours[i % std::size(kColours)];
        Graphs g;
        g.value = m_plot->addGraph(m_plot->xAxis, m_valueAxes[size_t(m_axisOf[i])]);
        g.value->setName(valueName(s));
        // One pixel wide: a wider pen is stroked as a path, and a reduced series zigzags
        // through every column (bench_plot: 229 ms instead of 5 ms a frame for a month of
        // noisy readings at 1.5 pixels).
        g.value->setPen(QPen(colour, 1));
        if (!s.temperature.empty()) {
            g.temperature = m_plot->addGraph(m_plot->xAxis, m_plot->yAxis2);
            g.temperature->setName(tr("%1 温度 (℃)").arg(s.code));
            // Lighter and under the values: a temperature swings every day, and over a long
            // range its band would hide the values.
            QColor light = colour.lighter(135);
            light.setAlpha(120);
            g.temperature->setPen(QPen(light, 1));
            g.temperature->setLayer(kTemperatureLayer);
        }
        addLevels(i, g, colour);
        m_graphs.push_back(std::move(g));
    }
    m_plot->yAxis->setLabel(labels[0].isEmpty() ? tr("读数 (Hz)") : labels[0].join(QStringLiteral(" / ")));
    for (size_t a = 1; a < m_valueAxes.size(); ++a)
        m_valueAxes[a]->setLabel(labels[a].join(QStringLiteral(" / ")));
    // With several value axes, each is drawn in the colour of its first line, so that one
    // sees which scale a line is read on.
    for (size_t a = 0; a < m_valueAxes.size(); ++a) {
        QColor colour(Qt::black);
        if (m_valueAxes.size() > 1) {
            const auto first = std::find(m_axisOf.begin(), m_axisOf.end(), int(a));
            colour = kColours[size_t(first - m_axisOf.begin()) % std::size(kColours)].darker(115);
        }
        QCPAxis* axis = m_valueAxes[a];
        axis->setLabelColor(colour);
        axis->setTickLabelColor(colour);
        axis->setBasePen(QPen(colour, 0));
        axis->setTickPen(QPen(colour, 0));
        axis->setSubTickPen(QPen(colour, 0));
    }
    m_plot->legend->setVisible(!m_series.empty());
    const bool empty = std::all_of(m_series.begin(), m_series.end(), [](const TrendSeries& s) { return s.time.empty(); });
    m_noData->setVisible(empty);
}

void TrendPlot::setExtent(std::optional<std::pair<qint64, qint64>> extent)
{
    if (extent && extent->first > extent->second)
        std::swap(extent->first, extent->second);
    m_extent = extent;
    showAll();
}

std::pair<double, double> TrendPlot::dataExtent() const
{
    if (m_extent)
        return {double(m_extent->first), double(m_extent->second)};
    double first = std::numeric_limits<double>::infinity(), last = -first;
    for (const TrendSeries& s : m_series) {
        if (s.time.empty())
            continue;
        first = std::min(first, double(s.time.front()));
        last = std::max(last, double(s.time.back()));
    }
    if (first > last) {
        // Nothing to show: the last day.
        last = double(QDateTime::currentSecsSinceEpoch());
        first = last - 86'400;
    }
    return {first, last};
}

QCPRange TrendPlot::limited(const QCPRange& range) const
{
    const auto [first, last] = dataExtent();
    const double margin = std::max((last - first) * 0.02, kMinimumSpan / 2);
    const double low = first - margin, high = last + margin;
    double from = range.lower, to = range.upper;
    if (!std::isfinite(from) || !std::isfinite(to))
        return QCPRange(low, high);
    if (to - from < kMinimumSpan) {
        const double middle = from / 2 + to / 2;
        from = middle - kMinimumSpan / 2;
        to = middle + kMinimumSpan / 2;
    }
    if (to - from >= high - low)
        return QCPRange(low, high);
    if (from < low) {
        to += low - from;
        from = low;
    }
    if (to > high) {
        from -= to - high;
        to = high;
    }
    return QCPRange(from, to);
}

void TrendPlot::setTimeRange(qint64 from, qint64 to)
{
    if (from > to)
        std::swap(from, to);
    const QCPRange before = m_plot->xAxis->range();
    m_plot->xAxis->setRange(limited(QCPRange(double(from), double(to))));
    if (m_plot->xAxis->range() == before)
        reduce(); // no change, no signal; the series may be new
    m_plot->replot(QCustomPlot::rpQueuedReplot);
}

void TrendPlot::showAll()
{
    const auto [first, last] = dataExtent();
    setTimeRange(qint64(std::floor(first)), qint64(std::ceil(last)));
}

std::pair<double, double> TrendPlot::timeRange() const
{
    const QCPRange r = m_plot->xAxis->range();
    return {r.lower, r.upper};
}

void TrendPlot::onRangeChanged(const QCPRange& range)
{
    if (!m_limiting) {
        const QCPRange allowed = limited(range);
        if (allowed != range) {
            // Comes back here once with the allowed range, which is then reduced and announced.
            m_limiting = true;
            m_plot->xAxis->setRange(allowed);
            m_limiting = false;
            return;
        }
    }
    reduce();
    hideCursor(false); // the plot is drawn anew anyway
    emit timeRangeChanged(range.lower, range.upper);
}

void TrendPlot::reduce()
{
    int width = m_plot->axisRect()->width();
    if (width < 2)
        width = std::max(2, m_plot->width()); // not laid out yet: about right until it is
    m_columns = width;
    const QCPRange range = m_plot->xAxis->range();
    std::vector<Extremes> values(m_valueAxes.size());
    Extremes temperatures;
    for (size_t i = 0; i < m_series.size(); ++i) {
        const TrendSeries& s = m_series[i];
        const Graphs& g = m_graphs[i];
        Extremes& e = values[size_t(m_axisOf[i])];
        drawReduced(g.value, s.time, g.line.empty() ? s.value : g.line, m_gaps[i], range, width, e);
        if (g.temperature)
            drawReduced(g.temperature, s.time, s.temperature, m_gaps[i], range, width, temperatures);
        const auto [low, high] = drawMarkers(i, range, width);
        e.low = std::min(e.low, low);
        e.high = std::max(e.high, high);
    }
    for (size_t a = 0; a < m_valueAxes.size(); ++a)
        fit(m_valueAxes[a], values[a]);
    fit(m_plot->yAxis2, temperatures);
    // The bands' open ends a little beyond what the value axis shows, so that a band fills the
    // plot beyond its threshold whatever the zoom.
    for (size_t i = 0; i < m_graphs.size(); ++i) {
        const Graphs& g = m_graphs[i];
        const QCPRange shown = valueAxis(int(i))->range();
        const double low = shown.lower - shown.size(), high = shown.upper + shown.size();
        for (size_t b = 0; b < g.bands.size(); ++b) {
            g.bandItems[b]->topLeft->setCoords(0, std::clamp(g.bands[b].high, low, high));
            g.bandItems[b]->bottomRight->setCoords(1, std::clamp(g.bands[b].low, low, high));
        }
    }
}

void TrendPlot::addLevels(size_t series, Graphs& g, const QColor& colour)
{
    const TrendSeries& s = m_series[series];
    QCPAxis* axis = m_valueAxes[size_t(m_axisOf[series])];
    if (!s.status.empty()) {
        g.line = s.value;
        for (size_t k = 0; k < g.line.size(); ++k)
            if (s.masked[k])
                g.line[k] = kNaN;
        g.changes = plot::transitions(s.status, s.value, s.masked);
        for (int kind = 0; kind < kMarkerKinds; ++kind) {
            QCPGraph* m = m_plot->addGraph(m_plot->xAxis, axis);
            m->removeFromLegend();
            m->setLineStyle(QCPGraph::lsNone);
            const auto marker = Marker(kind);
            if (marker == Marker::Flagged) {
                m->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssCircle, QPen(statuscolours::flagged(), 1.5), Qt::NoBrush, 9));
            } else if (marker == Marker::Masked) {
                m->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssDisc, QColor(150, 150, 150), 5));
            } else {
                const QColor fill = statuscolours::of(kind);
                m->setScatterStyle(QCPScatterStyle(kind == 0 ? QCPScatterStyle::ssTriangleInverted : QCPScatterStyle::ssTriangle,
                                                   QPen(fill.darker(140), 1), fill, 10));
            }
            g.markers.push_back(m);
        }
    }
    // The bands, and one legend entry for each rank drawn.
    g.bands = plot::levelBands(s.levels, s.baseline);
    std::vector<bool> named(plot::kMaxBandRank + 1, false);
    for (const plot::Band& b : g.bands) {
        auto* rect = new QCPItemRect(m_plot);
        rect->setLayer(kBandLayer);
        rect->setClipToAxisRect(true);
        for (QCPItemPosition* p : {rect->topLeft, rect->bottomRight}) {
            p->setAxes(m_plot->xAxis, axis);
            p->setTypeX(QCPItemPosition::ptAxisRectRatio);
            p->setTypeY(QCPItemPosition::ptPlotCoords);
        }
        QColor fill = statuscolours::of(b.rank);
        QColor edge = fill;
        fill.setAlpha(45);
        edge.setAlpha(170);
        rect->setBrush(fill);
        rect->setPen(QPen(edge, 1));
        g.bandItems.push_back(rect);
        m_levelItems.push_back(rect);
        const int rank = std::clamp(b.rank, 1, plot::kMaxBandRank);
        if (named[size_t(rank)])
            continue;
        named[size_t(rank)] = true;
        QCPGraph* entry = m_plot->addGraph(m_plot->xAxis, axis);
        entry->setPen(QPen(edge, 1));
        entry->setBrush(fill);
        entry->setName(QStringLiteral("%1 %2").arg(s.code, s.statusNames.value(rank)));
    }
    const bool changeLevels = std::any_of(s.levels.begin(), s.levels.end(), [](const TrendLevel& l) { return l.change; });
    if (changeLevels && std::isfinite(s.baseline)) {
        auto* line = new QCPItemStraightLine(m_plot);
        line->setLayer(kBandLayer);
        for (QCPItemPosition* p : {line->point1, line->point2})
            p->setAxes(m_plot->xAxis, axis);
        line->point1->setCoords(0, s.baseline);
        line->point2->setCoords(1, s.baseline);
        const QPen pen(colour.darker(130), 1, Qt::DashLine);
        line->setPen(pen);
        m_levelItems.push_back(line);
        QCPGraph* entry = m_plot->addGraph(m_plot->xAxis, axis);
        entry->setPen(pen);
        //: %1 the gauge, %2 the value its changes are measured from
        entry->setName((m_words.baseline.isEmpty() ? tr("%1 基准值 %2") : m_words.baseline).arg(s.code, number(s.baseline)));
    }
    if (!s.rateLevels.isEmpty()) {
        QCPGraph* entry = m_plot->addGraph(m_plot->xAxis, axis);
        entry->setPen(Qt::NoPen);
        //: %1 the gauge, %2 its rate levels in words
        entry->setName((m_words.rateLevels.isEmpty() ? tr("%1 速率触发值：%2") : m_words.rateLevels)
                           .arg(s.code, s.rateLevels.join(m_words.separator.isEmpty() ? tr("；") : m_words.separator)));
    }
}

std::pair<double, double> TrendPlot::drawMarkers(size_t series, const QCPRange& range, int width)
{
    const TrendSeries& s = m_series[series];
    const Graphs& g = m_graphs[series];
    double low = std::numeric_limits<double>::infinity(), high = -low;
    if (g.markers.empty())
        return {low, high};
    const auto begin = qsizetype(std::lower_bound(s.time.begin(), s.time.end(), qint64(std::ceil(range.lower))) - s.time.begin());
    const auto end = qsizetype(std::upper_bound(s.time.begin(), s.time.end(), qint64(std::floor(range.upper))) - s.time.begin());
    std::vector<QVector<QCPGraphData>> points(kMarkerKinds);
    const auto put = [&](Marker kind, qsizetype i) {
        if (!std::isnan(s.value[size_t(i)]))
            points[size_t(kind)].append(QCPGraphData(double(s.time[size_t(i)]), s.value[size_t(i)]));
    };
    for (qsizetype i : g.changes)
        if (i >= begin && i < end)
            put(Marker(std::min<int>(s.status[size_t(i)], 3)), i);
    const bool masked = m_showMasked;
    for (qsizetype i : plot::thinned(s.time, begin, end, range.lower, range.upper, width, [&](qsizetype i) {
             return s.flags[size_t(i)] != 0 && (masked || !s.masked[size_t(i)]);
         }))
        put(Marker::Flagged, i);
    if (masked) {
        for (qsizetype i : plot::thinned(s.time, begin, end, range.lower, range.upper, width,
                                         [&](qsizetype i) { return s.masked[size_t(i)] && !std::isnan(s.value[size_t(i)]); })) {
            put(Marker::Masked, i);
            low = std::min(low, s.value[size_t(i)]);
            high = std::max(high, s.value[size_t(i)]);
        }
    }
    for (int kind = 0; kind < kMarkerKinds; ++kind)
        g.markers[size_t(kind)]->data()->set(points[size_t(kind)], true);
    return {low, high};
}

void TrendPlot::setShowMasked(bool show)
{
    if (show == m_showMasked)
        return;
    m_showMasked = show;
    reduce();
    m_plot->replot(QCustomPlot::rpQueuedReplot);
}

std::vector<plot::Band> TrendPlot::bands(int series) const
{
    if (series < 0 || size_t(series) >= m_graphs.size())
        return {};
    return m_graphs[size_t(series)].bands;
}

std::vector<QRectF> TrendPlot::bandPixels(int series) const
{
    std::vector<QRectF> out;
    if (series < 0 || size_t(series) >= m_graphs.size())
        return out;
    for (const QCPItemRect* r : m_graphs[size_t(series)].bandItems)
        out.emplace_back(r->topLeft->pixelPosition(), r->bottomRight->pixelPosition());
    return out;
}

std::vector<QPointF> TrendPlot::drawnMarkers(int series, Marker kind) const
{
    if (series < 0 || size_t(series) >= m_graphs.size() || m_graphs[size_t(series)].markers.empty())
        return {};
    return pointsOf(m_graphs[size_t(series)].markers[size_t(kind)]);
}

bool TrendPlot::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_plot && event->type() == QEvent::Leave)
        hideCursor();
    return QWidget::eventFilter(watched, event);
}

double TrendPlot::timeAt(int x) const { return m_plot->xAxis->pixelToCoord(m_plot->mapFrom(this, QPoint(x, 0)).x()); }

std::optional<TrendPoint> TrendPlot::pointAt(int x, int series) const
{
    if (series < 0 || size_t(series) >= m_series.size())
        return std::nullopt;
    const TrendSeries& s = m_series[size_t(series)];
    const int px = m_plot->mapFrom(this, QPoint(x, 0)).x();
    const QRect area = m_plot->axisRect()->rect();
    if (px < area.left() || px > area.right())
        return std::nullopt;
    const qsizetype i = plot::nearest(s.time, m_plot->xAxis->pixelToCoord(px));
    if (i < 0)
        return std::nullopt;
    return TrendPoint{.series = series,
                      .time = s.time[size_t(i)],
                      .value = s.value[size_t(i)],
                      .temperature = s.temperature.empty() ? kNaN : s.temperature[size_t(i)],
                      .index = i};
}

QString TrendPlot::cursorText() const { return m_cursorLabel->visible() ? m_cursorLabel->text() : QString(); }

void TrendPlot::showCursor(const QPoint& at)
{
    const QRect area = m_plot->axisRect()->rect();
    if (!area.contains(at)) {
        hideCursor();
        return;
    }
    // Of the series' records nearest in time, the one drawn nearest the cursor.
    std::optional<TrendPoint> best;
    double bestDistance = std::numeric_limits<double>::infinity();
    for (int i = 0; i < int(m_series.size()); ++i) {
        const std::optional<TrendPoint> p = pointAt(m_plot->mapTo(this, at).x(), i);
        if (!p)
            continue;
        const double dx = m_plot->xAxis->coordToPixel(double(p->time)) - at.x();
        for (auto [v, axis] : {std::pair{p->value, valueAxis(i)}, std::pair{p->temperature, m_plot->yAxis2}}) {
            if (std::isnan(v))
                continue;
            const double distance = std::hypot(dx, axis->coordToPixel(v) - at.y());
            if (distance < bestDistance) {
                bestDistance = distance;
                best = p;
            }
        }
    }
    if (!best) {
        hideCursor();
        return;
    }
    const TrendSeries& s = m_series[size_t(best->series)];
    const double t = double(best->time);
    m_cursorLine->point1->setCoords(t, 0);
    m_cursorLine->point2->setCoords(t, 1);
    m_cursorLine->setVisible(true);
    m_valueTracer->position->setAxes(m_plot->xAxis, valueAxis(best->series));
    m_valueTracer->position->setCoords(t, best->value);
    m_valueTracer->setPen(m_graphs[size_t(best->series)].value->pen());
    m_valueTracer->setVisible(!std::isnan(best->value));
    m_temperatureTracer->position->setCoords(t, best->temperature);
    if (m_graphs[size_t(best->series)].temperature)
        m_temperatureTracer->setPen(QPen(m_graphs[size_t(best->series)].temperature->pen().color(), 1));
    m_temperatureTracer->setVisible(!std::isnan(best->temperature));

    QString text = s.code + QStringLiteral("  ") + QDateTime::fromSecsSinceEpoch(best->time, QTimeZone::utc()).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    //: %1 what the value is (with its unit), %2 the value
    text += QLatin1Char('\n') + tr("%1：%2").arg(s.valueLabel.isEmpty() ? tr("读数") : s.valueLabel, number(best->value));
    if (!s.temperature.empty())
        text += QLatin1Char('\n') + tr("温度：%1").arg(temperature(best->temperature));
    if (!s.status.empty()) {
        const size_t k = size_t(best->index);
        if (s.masked[k])
            text += QLatin1Char('\n') + tr("已屏蔽：不参与触发值判断");
        else if (s.status[k] > 0)
            text += QLatin1Char('\n') + tr("状态：%1").arg(s.statusNames.value(s.status[k], QString::number(s.status[k])));
        if (s.flags[k] != 0)
            text += QLatin1Char('\n') + tr("质量标记：%1").arg(s.flagNames.value(s.flags[k]));
    }
    if (!s.origin.empty())
        //: %1 the readout and the code the record was read under, "读数仪1 A001"
        text += QLatin1Char('\n') + tr("来自：%1").arg(s.origins.value(s.origin[size_t(best->index)]));
    m_cursorLabel->setText(text);
    m_cursorLabel->setVisible(true);
    // Beside the cursor, on whichever side there is room for the label.
    const QRectF box = QFontMetricsF(m_cursorLabel->font()).boundingRect(QRectF(0, 0, 1000, 1000), Qt::AlignLeft, text).adjusted(-6, -4, 6, 4);
    double lx = at.x() + 14, ly = at.y() + 14;
    if (lx + box.width() > area.right())
        lx = at.x() - 14 - box.width();
    if (ly + box.height() > area.bottom())
        ly = at.y() - 14 - box.height();
    m_cursorLabel->position->setCoords(std::max(lx, double(area.left())), std::max(ly, double(area.top())));
    m_plot->layer(kCursorLayer)->replot();
}

void TrendPlot::hideCursor(bool redraw)
{
    if (!m_cursorLabel->visible() && !m_cursorLine->visible())
        return;
    for (QCPAbstractItem* item : std::initializer_list<QCPAbstractItem*>{m_cursorLine, m_valueTracer, m_temperatureTracer, m_cursorLabel})
        item->setVisible(false);
    if (redraw)
        m_plot->layer(kCursorLayer)->replot();
}

bool TrendPlot::savePng(const QString& path, int width, int height)
{
    if (path.isEmpty() || width < 1 || height < 1 || width > kMaximumImageSide || height > kMaximumImageSide)
        return false;
    hideCursor(false);
    // Drawing lays the plot out at the image's size, and the series are reduced to its width.
    fitLegend(width);
    const QImage image = m_plot->toPixmap(width, height, 1.0).toImage();
    m_plot->replot(); // back to the widget's own layout and width
    if (image.size() != QSize(width, height))
        return false;
    ReplacingFile file(path); // as every save: a file of its own beside the target, a read-only one kept
    if (!file.open(nullptr))
        return false;
    QImageWriter writer(&file.device(), "png");
    return writer.write(image) && file.commit(nullptr);
}

void TrendPlot::render(QPainter* painter, const QRectF& target)
{
    const int width = std::clamp(int(std::lround(target.width())), 1, kMaximumImageSide);
    const int height = std::clamp(int(std::lround(target.height())), 1, kMaximumImageSide);
    hideCursor(false);
    fitLegend(width);
    // Recorded at the target's size and played back unscaled: a picture drawn at another size
    // and scaled misplaces its text.
    QPicture picture;
    {
        QCPPainter recorder(&picture);
        recorder.setMode(QCPPainter::pmVectorized);
        recorder.setMode(QCPPainter::pmNoCaching);
        m_plot->toPainter(&recorder, width, height);
    }
    painter->save();
    painter->setClipRect(target, Qt::IntersectClip);
    painter->drawPicture(target.topLeft(), picture);
    painter->restore();
    m_plot->replot(); // back to the widget's own layout and width
}

void TrendPlot::setPlotFont(const QFont& font)
{
    m_plot->setFont(font); // axes made later take it
    for (QCPAxis* axis : m_plot->axisRect()->axes()) {
        axis->setLabelFont(font);
        axis->setTickLabelFont(font);
        axis->setSelectedLabelFont(font);
        axis->setSelectedTickLabelFont(font);
    }
    m_plot->legend->setFont(font);
    m_plot->legend->setSelectedFont(font);
    m_noData->setFont(font);
    m_cursorLabel->setFont(font);
    m_plot->replot(QCustomPlot::rpQueuedReplot);
}

void TrendPlot::setWords(const Words& words)
{
    m_words = words;
    m_plot->xAxis->setLabel(words.time.isEmpty() ? tr("时间") : words.time);
    m_noData->setText(words.noData.isEmpty() ? tr("没有数据") : words.noData);
    m_plot->replot(QCustomPlot::rpQueuedReplot);
}

void TrendPlot::setTemperatureAxisShown(bool shown)
{
    m_plot->yAxis2->setVisible(shown);
    m_plot->replot(QCustomPlot::rpQueuedReplot);
}

void TrendPlot::fitLegend(int width)
{
    // As many entries a row as fit beside each other, so that none is cut.
    QCPLegend* legend = m_plot->legend;
    int widest = 1;
    for (int i = 0; i < legend->itemCount(); ++i)
        if (QCPAbstractLegendItem* item = legend->item(i)) // an empty cell of the grid is no item
            widest = std::max(widest, item->minimumOuterSizeHint().width());
    const QMargins around = legend->margins() + QMargins(6, 0, 6, 0) + m_plot->plotLayout()->margins();
    const int room = width - around.left() - around.right();
    const int fit = std::max(1, (room + legend->columnSpacing()) / (widest + legend->columnSpacing()));
    if (legend->wrap() != fit) {
        legend->setWrap(fit);
        legend->setFillOrder(QCPLegend::foColumnsFirst, true); // the entries laid out again
    }
}

QCPAxis* TrendPlot::valueAxis(int series) const
{
    if (series < 0 || size_t(series) >= m_axisOf.size())
        return nullptr;
    return m_valueAxes[size_t(m_axisOf[size_t(series)])];
}

std::vector<QPointF> TrendPlot::drawnValues(int series) const
{
    if (series < 0 || size_t(series) >= m_graphs.size())
        return {};
    return pointsOf(m_graphs[size_t(series)].value);
}

std::vector<QPointF> TrendPlot::drawnTemperatures(int series) const
{
    if (series < 0 || size_t(series) >= m_graphs.size())
        return {};
    return pointsOf(m_graphs[size_t(series)].temperature);
}
