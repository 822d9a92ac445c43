#pragma once

#include "app/PreviewMarks.h"

#include <QStyledItemDelegate>

// Draws the preview's marked rows (PreviewMarks) on the colour of their status (amber, orange,
// red), or a light violet for flagged readings only, and gives their tool tip.
class MarkedRowDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    MarkedRowDelegate(const PreviewMarks& marks, QObject* parent = nullptr);

    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;

private:
    const PreviewMarks& m_marks;
};
