#include "app/MarkedRowDelegate.h"

#include "plot/StatusColours.h"

#include <QAbstractItemView>
#include <QHelpEvent>
#include <QToolTip>

MarkedRowDelegate::MarkedRowDelegate(const PreviewMarks& marks, QObject* parent)
    : QStyledItemDelegate(parent), m_marks(marks)
{
}

void MarkedRowDelegate::initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const
{
    QStyledItemDelegate::initStyleOption(option, index);
    if (const PreviewMarks::Mark* m = m_marks.at(index.row()))
        option->backgroundBrush = m->status > 0 ? statuscolours::background(m->status) : statuscolours::flaggedBackground();
}

bool MarkedRowDelegate::helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                                  const QModelIndex& index)
{
    if (event->type() == QEvent::ToolTip) {
        if (const PreviewMarks::Mark* m = m_marks.at(index.row())) {
            const QString cell = index.data(Qt::ToolTipRole).toString();
            const QString marks = PreviewMarks::toolTip(*m);
            QToolTip::showText(event->globalPos(), cell.isEmpty() ? marks : cell + QLatin1Char('\n') + marks, view);
            return true;
        }
    }
    return QStyledItemDelegate::helpEvent(event, view, option, index);
}
