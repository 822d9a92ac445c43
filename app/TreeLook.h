#pragma once

#include <QFont>
#include <QIdentityProxyModel>

// How the window shows the partition tree: every node blue, in "宋体"; the root in 12 pt, the
// partitions in 10 pt, the files in 11 pt. Everything else (texts, keys, kinds, the rows and
// their changes) passes through from the tree unchanged.
class TreeLook : public QIdentityProxyModel {
    Q_OBJECT
public:
    explicit TreeLook(QObject* parent = nullptr);

    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

private:
    QFont m_rootFont;
    QFont m_partitionFont;
    QFont m_fileFont;
};
