#include "report/ReportPdf.h"

#include "export/ReplacingFile.h"
#include "plot/StatusColours.h"
#include "plot/TrendLevels.h"
#include "plot/TrendPlot.h"
#include "report/ReportTexts.h"

#include <QApplication>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QPicture>
#include <QTextLayout>
#include <QTimeZone>
#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <map>

namespace report {

QString pdfFontFamily()
{
    // TrueType first: Qt's PDF engine writes a text layer that extracts exactly for these; for
    // Noto Sans CJK (CFF outlines) some characters come out wrong.
    static const char* const known[] = {"WenQuanYi Micro Hei", "Microsoft YaHei", "SimSun", "Noto Sans CJK SC"};
    const QStringList installed = QFontDatabase::families();
    for (const char* name : known) {
        const QString family = QString::fromLatin1(name);
        for (const QString& f : installed)
            if (f.compare(family, Qt::CaseInsensitive) == 0)
                return f;
    }
    return QGuiApplication::font().family();
}

namespace {

// Sizes in pixels of the writer's resolution (QPicture's, 96 dpi: the plots are recorded in it).
constexpr double kHeaderHeight = 40; // the header's two lines and its rule
constexpr double kBodyTop = 48;
constexpr double kFooterHeight = 26;
constexpr double kBodyGap = 8;     // between the body and the footer's rule
constexpr double kRow = 28;        // a row of the lists: two lines of table text
constexpr double kSummaryRow = 38; // a row of the summary: three lines (a level's rule is long)
constexpr double kSummaryHeading = 26;
constexpr double kSummaryHeader = 40; // the summary's column header: up to three lines
constexpr double kPlotBlock = 460;    // a plot with its title and short table
constexpr double kPlotTitle = 22;
constexpr double kPlotHeight = 290;
constexpr double kShortRow = 16;
constexpr double kPad = 3; // inside a cell

constexpr double kTablePt = 7;
constexpr double kHeaderPt = 8.5;
constexpr double kHeadingPt = 11;

struct Column {
    const char* title; // QT_TRANSLATE_NOOP("Report", ...)
    double width;      // relative; the columns share the page's width
    bool number = false;
};

// The lines of `text` broken to `width` in `font`, at most `most` of them, the last elided when
// the text needs more.
QStringList linesOf(const QString& text, const QFont& font, double width, int most)
{
    QStringList out;
    const QFontMetricsF metrics(font);
    const QStringList paragraphs = text.split(QLatin1Char('\n'));
    for (qsizetype p = 0; p < paragraphs.size() && out.size() < most; ++p) {
        QTextLayout layout(paragraphs[p], font);
        QTextOption option;
        option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        layout.setTextOption(option);
        layout.beginLayout();
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
            line.setLineWidth(width);
            if (out.size() == most - 1) {
                // The last line allowed: the rest of the text, elided.
                const QString rest = paragraphs[p].mid(line.textStart());
                const bool more = p + 1 < paragraphs.size();
                out << metrics.elidedText(more ? rest + QStringLiteral("……") : rest, Qt::ElideRight, width);
                break;
            }
            out << paragraphs[p].mid(line.textStart(), line.textLength()).trimmed();
        }
        layout.endLayout();
        if (paragraphs[p].isEmpty() && out.size() < most)
            out << QString();
    }
    return out;
}

// Text in a rectangle: broken into lines that fit, as many as the height holds, vertically
// centred; on the right with `right`. A number (`shrink`) is never broken: it is written smaller
// when it is too wide.
void drawCell(QPainter& painter, const QRectF& cell, const QString& text, bool right = false, bool shrink = false)
{
    const QRectF inner = cell.adjusted(kPad, 1, -kPad, -1);
    if (shrink) {
        const QFont before = painter.font();
        QFont font = before;
        while (QFontMetricsF(font).horizontalAdvance(text) > inner.width() && font.pointSizeF() > 4.5)
            font.setPointSizeF(font.pointSizeF() - 0.5);
        painter.setFont(font);
        painter.drawText(inner, Qt::AlignRight | Qt::AlignVCenter | Qt::TextSingleLine, text);
        painter.setFont(before);
        return;
    }
    const QFontMetricsF metrics(painter.font());
    const double line = metrics.lineSpacing();
    const int most = std::max(1, int(inner.height() / line));
    const QStringList lines = linesOf(text, painter.font(), inner.width(), most);
    double y = inner.top() + (inner.height() - line * double(lines.size())) / 2;
    for (const QString& l : lines) {
        painter.drawText(QRectF(inner.left(), y, inner.width(), line), (right ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter, l);
        y += line;
    }
}

QFont fontOf(const QString& family, double points, bool bold = false)
{
    QFont font(family);
    font.setPointSizeF(points);
    font.setBold(bold);
    font.setStyleStrategy(QFont::PreferOutline);
    return font;
}

// One list of the report's end: its heading, columns and rows of text.
struct Section {
    const char* title;
    std::vector<Column> columns;
    std::vector<QStringList> rows;
};

// What a page of the lists holds, in order; the drawing and the counting walk the same plan.
struct ListStep {
    enum Kind {
        NewPage,
        Heading,
        ColumnHeader,
        Row,
        None
    } kind;
    size_t section = 0;
    size_t row = 0;
};

std::vector<ListStep> planLists(const std::vector<Section>& sections)
{
    std::vector<ListStep> steps;
    int left = 0; // rows left on the page
    const auto newPage = [&] {
        steps.push_back({ListStep::NewPage});
        left = kListRowsPerPage;
    };
    newPage();
    for (size_t s = 0; s < sections.size(); ++s) {
        if (left < kListSectionStart)
            newPage();
        steps.push_back({ListStep::Heading, s});
        --left;
        if (sections[s].rows.empty()) {
            steps.push_back({ListStep::None, s});
            --left;
            continue;
        }
        steps.push_back({ListStep::ColumnHeader, s});
        --left;
        for (size_t r = 0; r < sections[s].rows.size(); ++r) {
            if (left == 0) {
                newPage();
                steps.push_back({ListStep::ColumnHeader, s});
                --left;
            }
            steps.push_back({ListStep::Row, s, r});
            --left;
        }
    }
    return steps;
}

// The plots: the gauges (indices into Content::gauges) each draws.
std::vector<std::vector<size_t>> plotGroups(const Content& content)
{
    std::vector<std::vector<size_t>> groups;
    const auto& gauges = content.gauges;
    for (size_t i = 0; i < gauges.size(); ++i) {
        const bool join = content.request.grouping == Grouping::PerType && !groups.empty() &&
                          gauges[groups.back().front()].info.type == gauges[i].info.type &&
                          int(groups.back().size()) < kMaxPerGroupPlot;
        if (join)
            groups.back().push_back(i);
        else
            groups.push_back({i});
    }
    return groups;
}

// A gauge's trend as the history tab's plot takes it: the report's period along the time axis
// on the PC's clock, the level version in force at the latest reading as bands, the statuses,
// flags and masks as stored, all words in the report's language.
TrendSeries seriesOf(const GaugeReport& g, const Content& content, bool english)
{
    const archive::History::Trend& t = g.trend;
    TrendSeries s;
    s.code = g.info.name;
    s.valueLabel = t.valueLabel;
    s.unit = g.unit;
    const bool byUtc = t.utc.size() == t.time.size();
    const bool judged = t.status.size() == t.time.size() && t.flags.size() == t.time.size() && t.masked.size() == t.time.size();
    s.time.reserve(t.time.size());
    for (size_t i = 0; i < t.time.size(); ++i) {
        if (byUtc) {
            const qint64 utc = t.utc[i];
            s.time.push_back(utc + QDateTime::fromSecsSinceEpoch(utc).offsetFromUtc());
        } else {
            s.time.push_back(t.time[i]);
        }
    }
    s.value = t.value;
    if (s.value.size() != s.time.size())
        s.value.resize(s.time.size(), std::numeric_limits<double>::quiet_NaN());
    if (judged) {
        s.status = t.status;
        s.flags = t.flags;
        s.masked = t.masked;
        for (std::uint16_t f : s.flags)
            if (f != 0 && !s.flagNames.contains(f))
                s.flagNames.insert(f, archive::flagsText(f, english));
    }
    const qint64 at = g.latestUtc != 0 ? g.latestUtc : content.request.period.toUtc;
    const archive::LevelSet* set = archive::History::levelSetAt(t.levelSets, at);
    plot::applyLevelSet(s, set, t.levelsApply, g.unit, g.baselineValue, english);
    return s;
}

class PdfReport {
public:
    PdfReport(const Content& content, QPdfWriter& writer, QPainter& painter)
        : m_c(content), m_t(content.request.language), m_writer(writer), m_painter(painter), m_family(pdfFontFamily())
    {
        const QRect paint = writer.pageLayout().paintRectPixels(writer.resolution());
        m_width = paint.width();
        m_height = paint.height();
        m_groups = plotGroups(content);
        m_sections = sections();
        m_lists = planLists(m_sections);
        const int gauges = int(content.gauges.size());
        const int summaryPages = std::max(1, (gauges + kSummaryRowsPerPage - 1) / kSummaryRowsPerPage);
        const int plotPages = (int(m_groups.size()) + kPlotsPerPage - 1) / kPlotsPerPage;
        const int listPages = int(std::count_if(m_lists.begin(), m_lists.end(), [](const ListStep& s) { return s.kind == ListStep::NewPage; }));
        m_total = 1 + summaryPages + plotPages + listPages;
    }

    int pages() const { return m_total; }

    // Draws every page; false when `progress` stopped it.
    bool draw(const Progress& progress)
    {
        cover();
        summary();
        if (!plots(progress))
            return false;
        lists();
        return true;
    }

private:
    QString t(const char* source) const { return m_t(source); }
    QFont font(double points, bool bold = false) const { return fontOf(m_family, points, bold); }
    double bodyBottom() const { return m_height - kFooterHeight - kBodyGap; }

    QString periodText() const
    {
        //: The report's period: %1 from, %2 to
        return t(QT_TRANSLATE_NOOP("Report", "%1 至 %2")).arg(Texts::time(m_c.request.period.fromUtc), Texts::time(m_c.request.period.toUtc));
    }
    QString siteText() const { return m_c.site.name.isEmpty() ? t(QT_TRANSLATE_NOOP("Report", "所选测点")) : m_c.site.name; }
    QString list(const QStringList& items) const
    {
        return items.isEmpty() ? t(QT_TRANSLATE_NOOP("Report", "无")) : items.join(t(QT_TRANSLATE_NOOP("Report", "、")));
    }

    // A new page with its header and footer (the cover has neither).
    void newPage()
    {
        if (m_page > 0)
            m_writer.newPage();
        ++m_page;
        if (m_page == 1)
            return;
        QPainter& p = m_painter;
        p.setPen(Qt::black);
        p.setFont(font(kHeaderPt, true));
        p.drawText(QRectF(0, 0, m_width, 18), Qt::AlignLeft | Qt::AlignVCenter, m_c.title);
        p.setFont(font(kHeaderPt));
        p.drawText(QRectF(0, 18, m_width, 18), Qt::AlignLeft | Qt::AlignVCenter, siteText());
        p.drawText(QRectF(0, 18, m_width, 18), Qt::AlignRight | Qt::AlignVCenter, periodText());
        p.setPen(QPen(QColor(90, 90, 90), 0.8));
        p.drawLine(QPointF(0, kHeaderPeak()), QPointF(m_width, kHeaderPeak()));
        const double footer = m_height - kFooterHeight;
        p.drawLine(QPointF(0, footer), QPointF(m_width, footer));
        p.setPen(Qt::black);
        //: The footer: %1 this page, %2 the pages of the report
        p.drawText(QRectF(0, footer + 4, m_width, kFooterHeight - 4), Qt::AlignHCenter | Qt::AlignVCenter,
                   t(QT_TRANSLATE_NOOP("Report", "第 %1 页，共 %2 页")).arg(m_page).arg(m_total));
        p.setFont(font(kTablePt));
        p.setPen(QColor(90, 90, 90));
        p.drawText(QRectF(0, footer + 4, m_width, kFooterHeight - 4), Qt::AlignRight | Qt::AlignVCenter, m_c.programVersion);
        p.setPen(Qt::black);
    }
    static constexpr double kHeaderPeak() { return kHeaderHeight - 2; }

    void heading(double y, const QString& text)
    {
        m_painter.setFont(font(kHeadingPt, true));
        m_painter.setPen(Qt::black);
        m_painter.drawText(QRectF(0, y, m_width, kSummaryHeading - 4), Qt::AlignLeft | Qt::AlignVCenter, text);
    }

    // The columns' left edges and widths on the page.
    std::vector<QRectF> cellsOf(const std::vector<Column>& columns, double y, double height) const
    {
        double total = 0;
        for (const Column& c : columns)
            total += c.width;
        std::vector<QRectF> cells;
        double x = 0;
        for (const Column& c : columns) {
            const double w = c.width / total * m_width;
            cells.emplace_back(x, y, w, height);
            x += w;
        }
        return cells;
    }

    void columnHeader(const std::vector<Column>& columns, double y, double height)
    {
        QPainter& p = m_painter;
        p.fillRect(QRectF(0, y, m_width, height), QColor(232, 236, 242));
        p.setFont(font(kTablePt, true));
        p.setPen(Qt::black);
        const std::vector<QRectF> cells = cellsOf(columns, y, height);
        for (size_t i = 0; i < columns.size(); ++i)
            drawCell(p, cells[i], t(columns[i].title), columns[i].number);
        p.setPen(QPen(QColor(150, 150, 150), 0.6));
        p.drawLine(QPointF(0, y + height), QPointF(m_width, y + height));
    }

    void row(const std::vector<Column>& columns, const QStringList& texts, double y, double height, bool shaded)
    {
        QPainter& p = m_painter;
        if (shaded)
            p.fillRect(QRectF(0, y, m_width, height), QColor(246, 247, 249));
        p.setFont(font(kTablePt));
        p.setPen(Qt::black);
        const std::vector<QRectF> cells = cellsOf(columns, y, height);
        for (size_t i = 0; i < columns.size() && i < size_t(texts.size()); ++i)
            drawCell(p, cells[i], texts[qsizetype(i)], columns[i].number, columns[i].number);
        p.setPen(QPen(QColor(215, 215, 215), 0.5));
        p.drawLine(QPointF(0, y + height), QPointF(m_width, y + height));
    }

    // ------------------------------------------------------------------------------------------

    void cover()
    {
        newPage();
        QPainter& p = m_painter;
        p.setPen(Qt::black);
        p.setFont(font(20, true));
        p.drawText(QRectF(0, 110, m_width, 50), Qt::AlignHCenter | Qt::AlignVCenter, m_c.title);
        p.setFont(font(14));
        p.drawText(QRectF(0, 165, m_width, 34), Qt::AlignHCenter | Qt::AlignVCenter, siteText());
        p.setFont(font(10));
        p.drawText(QRectF(0, 200, m_width, 26), Qt::AlignHCenter | Qt::AlignVCenter, periodText());
        p.setPen(QPen(QColor(90, 90, 90), 0.8));
        p.drawLine(QPointF(m_width * 0.2, 240), QPointF(m_width * 0.8, 240));

        const qint64 from = m_c.request.period.fromUtc, to = m_c.request.period.toUtc;
        QString zone = Texts::zone(from);
        if (Texts::zone(to) != zone)
            zone += QStringLiteral(" / ") + Texts::zone(to);
        const std::vector<std::pair<QString, QString>> fields = {
            {t(QT_TRANSLATE_NOOP("Report", "工程")), siteText()},
            {t(QT_TRANSLATE_NOOP("Report", "工程说明")), m_c.site.notes.isEmpty() ? t(QT_TRANSLATE_NOOP("Report", "无")) : m_c.site.notes},
            {t(QT_TRANSLATE_NOOP("Report", "报告期间")), periodText()},
            {t(QT_TRANSLATE_NOOP("Report", "测点数")), QString::number(m_c.gauges.size())},
            {t(QT_TRANSLATE_NOOP("Report", "所用读数仪")), list(m_c.readouts)},
            {t(QT_TRANSLATE_NOOP("Report", "期间下载次数")), QString::number(m_c.downloads.size())},
            {t(QT_TRANSLATE_NOOP("Report", "编制时间")), Texts::time(m_c.madeAt.toSecsSinceEpoch())},
            {t(QT_TRANSLATE_NOOP("Report", "编制人")), m_c.madeBy},
            {t(QT_TRANSLATE_NOOP("Report", "程序版本")), m_c.programVersion},
            {t(QT_TRANSLATE_NOOP("Report", "备注")), m_c.request.remarks.isEmpty() ? t(QT_TRANSLATE_NOOP("Report", "无")) : m_c.request.remarks},
            //: %1 the PC's offset from UTC, "UTC+08:00"
            {t(QT_TRANSLATE_NOOP("Report", "时间说明")), t(QT_TRANSLATE_NOOP("Report", "本报告中的时间均为本机时间（%1）。")).arg(zone)},
        };
        const double labelWidth = m_width * 0.27, left = m_width * 0.08, valueWidth = m_width * 0.84 - labelWidth;
        const QFont label = font(10, true), value = font(10);
        const double line = QFontMetricsF(value).lineSpacing();
        double y = 262;
        const double bottom = bodyBottom();
        for (const auto& [name, text] : fields) {
            const int most = std::max(1, std::min(8, int((bottom - y) / line) - 1));
            const QStringList lines = linesOf(text, value, valueWidth, most);
            p.setPen(QColor(70, 70, 70));
            p.setFont(label);
            p.drawText(QRectF(left, y, labelWidth, line), Qt::AlignLeft | Qt::AlignVCenter, name);
            p.setPen(Qt::black);
            p.setFont(value);
            for (qsizetype i = 0; i < lines.size(); ++i)
                p.drawText(QRectF(left + labelWidth, y + double(i) * line, valueWidth, line), Qt::AlignLeft | Qt::AlignVCenter, lines[i]);
            y += line * double(std::max<qsizetype>(1, lines.size())) + line * 0.6;
        }
    }

    // ------------------------------------------------------------------------------------------

    static const std::vector<Column>& summaryColumns()
    {
        static const std::vector<Column> columns = {
            {QT_TRANSLATE_NOOP("Report", "测点"), 60},
            {QT_TRANSLATE_NOOP("Report", "类型"), 40},
            {QT_TRANSLATE_NOOP("Report", "单位"), 28},
            {QT_TRANSLATE_NOOP("Report", "最新值"), 50, true},
            {QT_TRANSLATE_NOOP("Report", "最新读数时间"), 78},
            {QT_TRANSLATE_NOOP("Report", "期间变化"), 48, true},
            {QT_TRANSLATE_NOOP("Report", "累计变化（自基准值）"), 50, true},
            {QT_TRANSLATE_NOOP("Report", "速率（每天）"), 46, true},
            {QT_TRANSLATE_NOOP("Report", "状态"), 50},
            {QT_TRANSLATE_NOOP("Report", "触发规则"), 74},
            {QT_TRANSLATE_NOOP("Report", "最后读数"), 78},
            {QT_TRANSLATE_NOOP("Report", "超期天数"), 44, true},
            {QT_TRANSLATE_NOOP("Report", "期间屏蔽"), 44, true},
        };
        return columns;
    }

    void summary()
    {
        const std::vector<Column>& columns = summaryColumns();
        const auto& gauges = m_c.gauges;
        size_t next = 0;
        do {
            newPage();
            heading(kBodyTop, next == 0 ? t(QT_TRANSLATE_NOOP("Report", "测点汇总")) : t(QT_TRANSLATE_NOOP("Report", "测点汇总（续）")));
            double y = kBodyTop + kSummaryHeading;
            if (gauges.empty()) {
                m_painter.setFont(font(kTablePt + 2));
                drawCell(m_painter, QRectF(0, y, m_width, kRow), t(QT_TRANSLATE_NOOP("Report", "无")));
                break;
            }
            columnHeader(columns, y, kSummaryHeader);
            y += kSummaryHeader;
            const size_t end = std::min(gauges.size(), next + size_t(kSummaryRowsPerPage));
            for (size_t i = next; i < end; ++i, y += kSummaryRow) {
                const GaugeReport& g = gauges[i];
                const bool judged = g.latestUtc != 0;
                const QStringList texts = {g.info.name,
                                           g.info.type,
                                           g.unit,
                                           Texts::number(g.latestValue),
                                           Texts::time(g.latestUtc),
                                           Texts::number(g.changeOverPeriod),
                                           Texts::number(g.changeSinceBaseline),
                                           Texts::number(g.ratePerDay),
                                           QString(), // the status, with its swatch, below
                                           g.rule,
                                           Texts::time(g.lastReadingUtc),
                                           Texts::number(g.overdueDays, 1),
                                           QString::number(g.maskedInPeriod)};
                row(columns, texts, y, kSummaryRow, (i - next) % 2 == 1);
                const QRectF cell = cellsOf(columns, y, kSummaryRow)[8];
                const QString name = judged ? g.statusName : QStringLiteral("—");
                if (judged) {
                    const QRectF swatch(cell.left() + kPad, cell.center().y() - 4, 8, 8);
                    m_painter.fillRect(swatch, statuscolours::of(g.status));
                    m_painter.setPen(QPen(statuscolours::of(g.status).darker(140), 0.5));
                    m_painter.drawRect(swatch);
                    m_painter.setPen(Qt::black);
                }
                drawCell(m_painter, cell.adjusted(10, 0, 0, 0), name);
            }
            next = end;
        } while (next < gauges.size());
    }

    // ------------------------------------------------------------------------------------------

    static const std::vector<Column>& shortColumns()
    {
        static const std::vector<Column> columns = {
            {QT_TRANSLATE_NOOP("Report", "测点"), 56},
            {QT_TRANSLATE_NOOP("Report", "读数"), 34, true},
            {QT_TRANSLATE_NOOP("Report", "首个读数"), 112},
            {QT_TRANSLATE_NOOP("Report", "最新读数"), 112},
            {QT_TRANSLATE_NOOP("Report", "最小值"), 46, true},
            {QT_TRANSLATE_NOOP("Report", "最大值"), 46, true},
            {QT_TRANSLATE_NOOP("Report", "质量标记"), 50, true},
            {QT_TRANSLATE_NOOP("Report", "屏蔽"), 36, true},
            {QT_TRANSLATE_NOOP("Report", "所用率定版本"), 158},
        };
        return columns;
    }

    QString versionsText(const GaugeReport& g) const
    {
        QStringList out;
        for (const archive::CalibrationVersion& v : g.versionsUsed)
            //: A calibration version by the day it applies from; 始终: one that applies from the first reading on
            out << (v.fromUtc <= archive::kSinceEver ? t(QT_TRANSLATE_NOOP("Report", "始终")) : t(QT_TRANSLATE_NOOP("Report", "%1 起")).arg(Texts::date(v.fromUtc)));
        return out.isEmpty() ? t(QT_TRANSLATE_NOOP("Report", "无")) : out.join(t(QT_TRANSLATE_NOOP("Report", "；")));
    }

    QStringList shortRow(const GaugeReport& g) const
    {
        double low = std::numeric_limits<double>::infinity(), high = -low;
        const auto& tr = g.trend;
        for (size_t i = 0; i < tr.value.size(); ++i) {
            const bool masked = i < tr.masked.size() && tr.masked[i];
            if (!masked && !std::isnan(tr.value[i])) {
                low = std::min(low, tr.value[i]);
                high = std::max(high, tr.value[i]);
            }
        }
        const double nan = std::numeric_limits<double>::quiet_NaN();
        const auto at = [](double value, qint64 utc) {
            return utc == 0 ? QStringLiteral("—") : QStringLiteral("%1  %2").arg(Texts::number(value), Texts::time(utc));
        };
        return {g.info.name,
                QString::number(g.readings),
                at(g.firstValue, g.firstUtc),
                at(g.latestValue, g.latestUtc),
                Texts::number(low <= high ? low : nan),
                Texts::number(low <= high ? high : nan),
                QString::number(g.flaggedInPeriod),
                QString::number(g.maskedInPeriod),
                versionsText(g)};
    }

    QString groupTitle(size_t group) const
    {
        const std::vector<size_t>& members = m_groups[group];
        const GaugeReport& first = m_c.gauges[members.front()];
        if (m_c.request.grouping == Grouping::PerGauge) {
            QStringList parts = {first.info.name, first.info.type, first.unit, first.info.location};
            parts.removeAll(QString());
            return parts.join(QStringLiteral("  ·  "));
        }
        // Which of the type's plots this is, when it has several.
        int index = 0, count = 0;
        for (size_t k = 0; k < m_groups.size(); ++k) {
            if (m_c.gauges[m_groups[k].front()].info.type != first.info.type)
                continue;
            ++count;
            if (k <= group)
                ++index;
        }
        const QString type = first.info.type.isEmpty() ? t(QT_TRANSLATE_NOOP("Report", "未分类")) : first.info.type;
        return count > 1 ? QStringLiteral("%1  (%2/%3)").arg(type).arg(index).arg(count) : type;
    }

    bool plots(const Progress& progress)
    {
        if (m_groups.empty())
            return true;
        const bool english = m_t.english();
        TrendPlot plot;
        plot.resize(int(m_width), int(kPlotHeight));
        plot.setPlotFont(font(kTablePt));
        //: The time axis of a report's plot: the PC's clock
        plot.setWords({.time = t(QT_TRANSLATE_NOOP("Report", "时间（本机时间）")),
                       .noData = t(QT_TRANSLATE_NOOP("Report", "期间内没有读数")),
                       //: A plot's legend: %1 the gauge, %2 the value its changes are measured from
                       .baseline = t(QT_TRANSLATE_NOOP("Report", "%1 基准值 %2")),
                       //: A plot's legend: %1 the gauge, %2 its rate levels in words
                       .rateLevels = t(QT_TRANSLATE_NOOP("Report", "%1 速率触发值：%2")),
                       .separator = t(QT_TRANSLATE_NOOP("Report", "；"))});
        plot.setTemperatureAxisShown(false);
        // Every plot spans the period, on the PC's clock as the series are.
        const auto onPcClock = [](qint64 utc) { return utc + QDateTime::fromSecsSinceEpoch(utc).offsetFromUtc(); };
        plot.setExtent(std::pair(onPcClock(m_c.request.period.fromUtc), onPcClock(m_c.request.period.toUtc)));
        const qint64 total = qint64(m_c.gauges.size());
        qint64 done = 0;
        for (size_t k = 0; k < m_groups.size(); ++k) {
            if (k % size_t(kPlotsPerPage) == 0)
                newPage();
            const double top = kBodyTop + double(k % size_t(kPlotsPerPage)) * kPlotBlock;
            m_painter.setFont(font(9, true));
            m_painter.setPen(Qt::black);
            m_painter.drawText(QRectF(0, top, m_width, kPlotTitle), Qt::AlignLeft | Qt::AlignVCenter, groupTitle(k));

            std::vector<TrendSeries> series;
            for (size_t i : m_groups[k])
                series.push_back(seriesOf(m_c.gauges[i], m_c, english));
            plot.setSeries(std::move(series));
            const QRectF area(0, top + kPlotTitle, m_width, kPlotHeight);
            plot.render(&m_painter, area);
            m_painter.setPen(QPen(QColor(200, 200, 200), 0.5));
            m_painter.drawRect(area);

            double y = area.bottom() + 6;
            columnHeader(shortColumns(), y, kShortRow + 2);
            y += kShortRow + 2;
            for (size_t i : m_groups[k]) {
                row(shortColumns(), shortRow(m_c.gauges[i]), y, kShortRow, false);
                y += kShortRow;
            }
            done += qint64(m_groups[k].size());
            if (progress && !progress(done, total))
                return false;
        }
        return true;
    }

    // ------------------------------------------------------------------------------------------

    std::vector<Section> sections() const
    {
        std::vector<Section> out;
        const QString none = QStringLiteral("—");
        Section events{QT_TRANSLATE_NOOP("Report", "事件与确认"),
                       {{QT_TRANSLATE_NOOP("Report", "时间"), 82},
                        {QT_TRANSLATE_NOOP("Report", "测点"), 60},
                        {QT_TRANSLATE_NOOP("Report", "状态变化"), 80},
                        {QT_TRANSLATE_NOOP("Report", "值"), 64, true},
                        {QT_TRANSLATE_NOOP("Report", "触发规则"), 170},
                        {QT_TRANSLATE_NOOP("Report", "确认"), 224}},
                       {}};
        for (const archive::LevelEvent& e : m_c.events) {
            QString ack = t(QT_TRANSLATE_NOOP("Report", "未确认"));
            if (e.acknowledged) {
                //: An acknowledgement: %1 who, %2 when, %3 the note
                ack = t(QT_TRANSLATE_NOOP("Report", "%1，%2：%3"))
                          .arg(e.acknowledgedBy, Texts::time(e.acknowledgedAt.toSecsSinceEpoch()), e.note.isEmpty() ? none : e.note);
            }
            events.rows.push_back({Texts::time(e.utc), e.gauge, QStringLiteral("%1 → %2").arg(e.fromName, e.toName),
                                   QStringLiteral("%1 %2").arg(Texts::number(e.value), e.unit).trimmed(), e.rule.isEmpty() ? none : e.rule, ack});
        }
        out.push_back(std::move(events));

        Section flags{QT_TRANSLATE_NOOP("Report", "质量标记"),
                      {{QT_TRANSLATE_NOOP("Report", "时间"), 90},
                       {QT_TRANSLATE_NOOP("Report", "测点"), 70},
                       {QT_TRANSLATE_NOOP("Report", "值"), 90, true},
                       {QT_TRANSLATE_NOOP("Report", "质量标记"), 430}},
                      {}};
        for (const FlaggedReading& f : m_c.flagged)
            flags.rows.push_back({Texts::time(f.utc), f.gauge, QStringLiteral("%1 %2").arg(Texts::number(f.value), f.unit).trimmed(), f.flagsText});
        out.push_back(std::move(flags));

        Section masks{QT_TRANSLATE_NOOP("Report", "屏蔽的读数"),
                      {{QT_TRANSLATE_NOOP("Report", "读数时间"), 90},
                       {QT_TRANSLATE_NOOP("Report", "测点"), 70},
                       {QT_TRANSLATE_NOOP("Report", "说明"), 340},
                       {QT_TRANSLATE_NOOP("Report", "屏蔽人"), 80},
                       {QT_TRANSLATE_NOOP("Report", "屏蔽时间"), 90}},
                      {}};
        for (const archive::Mask& m : m_c.masks)
            masks.rows.push_back({Texts::time(m.utc), m.gauge, m.note.isEmpty() ? none : m.note, m.by, Texts::time(m.at.toSecsSinceEpoch())});
        out.push_back(std::move(masks));

        Section overdue{QT_TRANSLATE_NOOP("Report", "超期未读测点"),
                        {{QT_TRANSLATE_NOOP("Report", "测点"), 90},
                         {QT_TRANSLATE_NOOP("Report", "工程"), 150},
                         {QT_TRANSLATE_NOOP("Report", "间隔（天）"), 80, true},
                         {QT_TRANSLATE_NOOP("Report", "最后读数"), 120},
                         {QT_TRANSLATE_NOOP("Report", "已过天数"), 80, true},
                         {QT_TRANSLATE_NOOP("Report", "超期天数"), 80, true}},
                        {}};
        for (const archive::OverdueGauge& o : m_c.overdue)
            overdue.rows.push_back({o.gauge, o.site.isEmpty() ? none : o.site, QString::number(o.intervalDays),
                                    o.lastUtc == 0 ? t(QT_TRANSLATE_NOOP("Report", "从未读数")) : Texts::time(o.lastUtc),
                                    Texts::number(o.daysSince, 1), Texts::number(std::max(0.0, o.daysSince - o.intervalDays), 1)});
        out.push_back(std::move(overdue));

        Section versions{QT_TRANSLATE_NOOP("Report", "所用率定版本"),
                         {{QT_TRANSLATE_NOOP("Report", "测点"), 80},
                          {QT_TRANSLATE_NOOP("Report", "生效自"), 100},
                          {QT_TRANSLATE_NOOP("Report", "单位"), 50},
                          {QT_TRANSLATE_NOOP("Report", "来源"), 130},
                          {QT_TRANSLATE_NOOP("Report", "录入时间"), 100},
                          {QT_TRANSLATE_NOOP("Report", "录入人"), 90},
                          {QT_TRANSLATE_NOOP("Report", "已撤销"), 60}},
                         {}};
        for (const GaugeReport& g : m_c.gauges) {
            for (const archive::CalibrationVersion& v : g.versionsUsed) {
                QStringList source = {v.readout, v.code};
                source.removeAll(QString());
                versions.rows.push_back({g.info.name,
                                         v.fromUtc <= archive::kSinceEver ? t(QT_TRANSLATE_NOOP("Report", "最初")) : Texts::time(v.fromUtc),
                                         v.values.unit.isEmpty() ? none : v.values.unit, source.isEmpty() ? none : source.join(QLatin1Char(' ')),
                                         Texts::time(v.enteredAt.toSecsSinceEpoch()), v.enteredBy.isEmpty() ? none : v.enteredBy,
                                         v.withdrawn ? t(QT_TRANSLATE_NOOP("Report", "是")) : t(QT_TRANSLATE_NOOP("Report", "否"))});
            }
        }
        out.push_back(std::move(versions));
        return out;
    }

    void lists()
    {
        double y = 0;
        bool shaded = false;
        for (const ListStep& step : m_lists) {
            const Section& s = m_sections[step.section];
            switch (step.kind) {
            case ListStep::NewPage:
                newPage();
                y = kBodyTop;
                continue;
            case ListStep::Heading:
                heading(y + 2, t(s.title));
                break;
            case ListStep::ColumnHeader:
                columnHeader(s.columns, y + 4, kRow - 4);
                shaded = false;
                break;
            case ListStep::Row:
                row(s.columns, s.rows[step.row], y, kRow, shaded);
                shaded = !shaded;
                break;
            case ListStep::None:
                m_painter.setFont(font(kTablePt + 1));
                m_painter.setPen(Qt::black);
                drawCell(m_painter, QRectF(0, y, m_width, kRow), t(QT_TRANSLATE_NOOP("Report", "无")));
                break;
            }
            y += kRow;
        }
    }

    const Content& m_c;
    Texts m_t;
    QPdfWriter& m_writer;
    QPainter& m_painter;
    QString m_family;
    double m_width = 0;
    double m_height = 0;
    int m_page = 0;
    int m_total = 0;
    std::vector<std::vector<size_t>> m_groups;
    std::vector<Section> m_sections;
    std::vector<ListStep> m_lists;
};

} // namespace

WriteResult writePdf(const QString& path, const Content& content, const Progress& progress)
{
    WriteResult result;
    const Texts texts(content.request.language);
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) {
        result.reason = texts(QT_TRANSLATE_NOOP("Report", "生成 PDF 报告需要图形界面环境。"));
        return result;
    }
    ReplacingFile file(path);
    if (!file.open(&result.reason))
        return result;
    {
        QPdfWriter writer(&file.device());
        // The plots are recorded at QPicture's resolution; the pages use the same, so that the
        // plots' text and lines land where they were laid out.
        writer.setResolution(QPicture().logicalDpiX());
        writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(15, 15, 15, 15), QPageLayout::Millimeter));
        writer.setTitle(content.title);
        writer.setCreator(QStringLiteral("KTM-520 %1").arg(content.programVersion).trimmed());
        QPainter painter;
        if (!painter.begin(&writer)) {
            result.reason = texts(QT_TRANSLATE_NOOP("Report", "无法生成 PDF 文件。"));
            file.cancel();
            return result;
        }
        PdfReport report(content, writer, painter);
        if (!report.draw(progress)) {
            painter.end();
            file.cancel();
            result.cancelled = true;
            return result;
        }
        painter.end();
        result.pages = report.pages();
    }
    if (file.device().error() != QFileDevice::NoError) {
        result.reason = file.device().errorString();
        file.cancel();
        result.pages = 0;
        return result;
    }
    if (!file.commit(&result.reason)) {
        result.pages = 0;
        return result;
    }
    result.written = true;
    return result;
}

} // namespace report
