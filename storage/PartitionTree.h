#pragma once

#include <QStandardItemModel>
#include <QString>

// The tree of the instrument's storage: the root "数据分区", one node per partition (key and
// text the letter), and under a partition one node per file (key the letter and the line
// number of the listing, text the file name). Every node is blue, in "宋体". Each node also
// records its kind, which is what decides whether a command acts on a partition or a file.
class PartitionTree : public QStandardItemModel {
    Q_OBJECT
public:
    static constexpr int KeyRole = Qt::UserRole + 1;
    static constexpr int KindRole = Qt::UserRole + 2;
    enum class Kind { Root, Partition, File };
    // No partition of the instrument holds anywhere near this many files; a longer listing is
    // not a listing.
    static constexpr qsizetype kMaxListingLines = 10000;
    static inline const QString kRootKey = QStringLiteral("1");
    static inline const QString kRootText = QStringLiteral("数据分区");

    explicit PartitionTree(QObject* parent = nullptr);

    // Rebuilds the root and the partitions from a range reply such as "A-J" (anything after
    // the first character of each side is ignored). A reply that is not letter-dash-letter
    // with the first letter not after the last leaves the tree as it is and returns false.
    // On success returns the root's index, to be expanded.
    QModelIndex Ini_Tree(const QString& range);

    // Replaces the file nodes of a partition with the non-empty lines of a listing. Returns
    // the partition's index (to be expanded), or an invalid index if there is no such node or
    // the listing has more than kMaxListingLines lines (*tooLong set; the tree is unchanged).
    QModelIndex Bulid_Tree(const QString& partitionKey, const QString& listing, bool* tooLong = nullptr);

    // The instrument confirmed a change: the partition's file nodes go, or a file node is added.
    void removeFiles(const QString& partitionKey);
    QModelIndex addFile(const QString& partitionKey, const QString& name);

    QStandardItem* itemByKey(const QString& key) const;
    static QString keyOf(const QModelIndex& index);
    static Kind kindOf(const QModelIndex& index);

private:
    QStandardItem* makeNode(const QString& key, const QString& text, Kind kind, int pointSize) const;
    QStandardItem* partitionByKey(const QString& key) const;
};
