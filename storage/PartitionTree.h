#pragma once

#include <QStandardItemModel>
#include <QString>

// The tree of the instrument's storage: the root "数据分区", one node per partition (key and
// text the letter), and under a partition one node per file (key the letter and the line
// number of the listing, text the file name). Every node is blue, in "宋体".
class PartitionTree : public QStandardItemModel {
    Q_OBJECT
public:
    static constexpr int KeyRole = Qt::UserRole + 1;
    static inline const QString kRootKey = QStringLiteral("1");
    static inline const QString kRootText = QStringLiteral("数据分区");

    explicit PartitionTree(QObject* parent = nullptr);

    // Rebuilds the root and the partitions from a range reply such as "A-J" (anything after
    // the first character of each side is ignored). A reply that is not letter-dash-letter
    // with the first letter not after the last leaves the tree as it is and returns false.
    // On success returns the root's index, to be expanded.
    QModelIndex Ini_Tree(const QString& range);

    // Replaces the file nodes of a partition with the non-empty lines of a listing. Returns
    // the partition's index (to be expanded), or an invalid index if there is no such node.
    QModelIndex Bulid_Tree(const QString& partitionKey, const QString& listing);

    QStandardItem* itemByKey(const QString& key) const;
    static QString keyOf(const QModelIndex& index);

private:
    QStandardItem* makeNode(const QString& key, const QString& text, int pointSize) const;
};
