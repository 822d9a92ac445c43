#include "app/EventLists.h"
#include "plot/StatusColours.h"

#include <QDateTime>
#include <QTimeZone>
#include <cmath>

using namespace archive;

namespace {

QString localText(qint64 utc)
{
    return QDateTime::fromSecsSinceEpoch(utc, QTimeZone::utc()).toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm"));
}

QString numberText(double v)
{
    return std::isfinite(v) ? QString::number(v, 'g', 6) : QString();
}

} // namespace

bool windowSpeaksEnglish()
{
    // Translated as "en" by the English catalogue only.
    return EventsModel::tr("zh", "the window's language") == QStringLiteral("en");
}

QColor rankColour(int rank)
{
    // The window's one set of status colours, as the verdict panel and the preview show them.
    return rank >= 1 && rank <= 3 ? statuscolours::background(rank) : QColor();
}

EventsModel::EventsModel(QObject* parent) : QAbstractTableModel(parent) {}

void EventsModel::setEvents(std::vector<LevelEvent> events)
{
    beginResetModel();
    m_events = std::move(events);
    endResetModel();
}

int EventsModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : int(m_events.size()); }

int EventsModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : ColumnCount; }

QVariant EventsModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= int(m_events.size()))
        return {};
    const LevelEvent& e = m_events[std::size_t(index.row())];
    if (role == kEventIdRole)
        return e.id;
    if (role == Qt::BackgroundRole && index.column() == ChangeColumn && e.to > 0)
        return rankColour(e.to);
    if (role == Qt::ToolTipRole && index.column() == AcknowledgedColumn && e.acknowledged)
        return e.note;
    if (role == Qt::ToolTipRole && index.column() == RuleColumn && !e.rule.isEmpty())
        return e.rule;
    if (role == Qt::TextAlignmentRole && index.column() == ValueColumn)
        return int(Qt::AlignRight | Qt::AlignVCenter);
    if (role != Qt::DisplayRole)
        return {};
    switch (index.column()) {
    case TimeColumn:
        return localText(e.utc);
    case GaugeColumn:
        return e.gauge;
    case ValueColumn:
        return e.unit.isEmpty() || numberText(e.value).isEmpty() ? numberText(e.value)
                                                                 : numberText(e.value) + QLatin1Char(' ') + e.unit;
    case ChangeColumn:
        return QStringLiteral("%1 → %2").arg(e.fromName, e.toName);
    case RuleColumn:
        return e.rule;
    case AcknowledgedColumn: {
        if (!e.acknowledged)
            return tr("未确认");
        QString text = QStringLiteral("%1 %2").arg(e.acknowledgedBy, e.acknowledgedAt.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm")));
        if (!e.note.isEmpty())
            text += tr("：%1").arg(e.note);
        return text.trimmed();
    }
    default:
        return {};
    }
}

QVariant EventsModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    switch (section) {
    case TimeColumn:
        return tr("时间");
    case GaugeColumn:
        return tr("测点");
    case ValueColumn:
        return tr("数值");
    case ChangeColumn:
        return tr("状态变化");
    case RuleColumn:
        return tr("触发规则");
    case AcknowledgedColumn:
        return tr("确认");
    default:
        return {};
    }
}

OverdueModel::OverdueModel(QObject* parent) : QAbstractTableModel(parent) {}

void OverdueModel::setGauges(std::vector<OverdueGauge> gauges)
{
    beginResetModel();
    m_gauges = std::move(gauges);
    endResetModel();
}

int OverdueModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : int(m_gauges.size()); }

int OverdueModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : ColumnCount; }

QVariant OverdueModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= int(m_gauges.size()))
        return {};
    const OverdueGauge& g = m_gauges[std::size_t(index.row())];
    if (role == Qt::TextAlignmentRole && (index.column() == IntervalColumn || index.column() == DaysColumn))
        return int(Qt::AlignRight | Qt::AlignVCenter);
    if (role != Qt::DisplayRole)
        return {};
    switch (index.column()) {
    case GaugeColumn:
        return g.gauge;
    case SiteColumn:
        return g.site;
    case IntervalColumn:
        return QString::number(g.intervalDays);
    case LastColumn:
        return g.lastUtc == 0 ? tr("从未测读") : localText(g.lastUtc);
    case DaysColumn:
        return QString::number(g.daysSince, 'f', 1);
    default:
        return {};
    }
}

QVariant OverdueModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    switch (section) {
    case GaugeColumn:
        return tr("测点");
    case SiteColumn:
        return tr("工程");
    case IntervalColumn:
        return tr("测读间隔（天）");
    case LastColumn:
        return tr("最后读数");
    case DaysColumn:
        return tr("已过天数");
    default:
        return {};
    }
}
