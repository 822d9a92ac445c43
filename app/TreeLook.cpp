#include "app/TreeLook.h"

#include "storage/PartitionTree.h"

#include <QBrush>
#include <QColor>

namespace {
const QString kFamily = QStringLiteral("宋体");
constexpr int kRootPointSize = 12;
constexpr int kPartitionPointSize = 10;
constexpr int kFilePointSize = 11;
} // namespace

TreeLook::TreeLook(QObject* parent)
    : QIdentityProxyModel(parent), m_rootFont(kFamily, kRootPointSize), m_partitionFont(kFamily, kPartitionPointSize),
      m_fileFont(kFamily, kFilePointSize)
{
}

QVariant TreeLook::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || (role != Qt::FontRole && role != Qt::ForegroundRole))
        return QIdentityProxyModel::data(index, role);
    if (role == Qt::ForegroundRole)
        return QBrush(QColor(0, 0, 255));
    switch (PartitionTree::Kind(QIdentityProxyModel::data(index, PartitionTree::KindRole).toInt())) {
    case PartitionTree::Kind::Root: return m_rootFont;
    case PartitionTree::Kind::Partition: return m_partitionFont;
    case PartitionTree::Kind::File: return m_fileFont;
    }
    return {};
}
