#include "storage/PartitionTree.h"

#include <QBrush>
#include <QFont>
#include <QStringList>
#include <algorithm>
#include <functional>

namespace {
constexpr int kRootPointSize = 12;
constexpr int kPartitionPointSize = 10;
constexpr int kFilePointSize = 11;

bool isLetter(QChar c) { return c >= QLatin1Char('A') && c <= QLatin1Char('Z'); }
} // namespace

PartitionTree::PartitionTree(QObject* parent) : QStandardItemModel(parent) {}

QStandardItem* PartitionTree::makeNode(const QString& key, const QString& text, Kind kind, int pointSize) const
{
    auto* item = new QStandardItem(text);
    item->setData(key, KeyRole);
    item->setData(int(kind), KindRole);
    item->setFont(QFont(QStringLiteral("宋体"), pointSize));
    item->setForeground(QBrush(QColor(0, 0, 255)));
    item->setEditable(false);
    return item;
}

QModelIndex PartitionTree::Ini_Tree(const QString& range)
{
    const QStringList pieces = range.split(QLatin1Char('-'));
    if (pieces.size() < 2 || pieces[0].isEmpty() || pieces[1].isEmpty())
        return {};
    const QChar first = pieces[0].at(0);
    const QChar last = pieces[1].at(0);
    if (!isLetter(first) || !isLetter(last) || first > last)
        return {};

    clear();
    QStandardItem* root = makeNode(kRootKey, kRootText, Kind::Root, kRootPointSize);
    appendRow(root);
    for (char16_t k = first.unicode(); k <= last.unicode(); ++k) {
        const QString letter(QChar{k});
        root->appendRow(makeNode(letter, letter, Kind::Partition, kPartitionPointSize));
    }
    return root->index();
}

QModelIndex PartitionTree::Bulid_Tree(const QString& partitionKey, const QString& listing, bool* tooLong)
{
    if (tooLong)
        *tooLong = false;
    QStandardItem* partition = partitionByKey(partitionKey);
    if (!partition)
        return {};
    // Counted before anything is split or built, so a huge reply costs no memory here.
    const QString separator = QStringLiteral("\r\n");
    qsizetype lineCount = 1;
    for (qsizetype at = listing.indexOf(separator); at >= 0; at = listing.indexOf(separator, at + 2)) {
        if (++lineCount > kMaxListingLines) {
            if (tooLong)
                *tooLong = true;
            return {};
        }
    }
    partition->removeRows(0, partition->rowCount());
    const QStringList lines = listing.split(separator);
    QList<QStandardItem*> nodes;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (lines[i].isEmpty())
            continue;
        nodes.append(makeNode(partitionKey + QString::number(i), lines[i], Kind::File, kFilePointSize));
    }
    for (QStandardItem* node : nodes)
        partition->appendRow(node);
    return partition->index();
}

void PartitionTree::removeFiles(const QString& partitionKey)
{
    if (QStandardItem* partition = partitionByKey(partitionKey))
        partition->removeRows(0, partition->rowCount());
}

QModelIndex PartitionTree::addFile(const QString& partitionKey, const QString& name)
{
    QStandardItem* partition = partitionByKey(partitionKey);
    if (!partition || name.isEmpty())
        return {};
    // Keys of files are the letter and a number; a new file takes the next free number.
    int next = 0;
    for (int r = 0; r < partition->rowCount(); ++r)
        next = std::max(next, partition->child(r)->data(KeyRole).toString().mid(partitionKey.size()).toInt() + 1);
    partition->appendRow(makeNode(partitionKey + QString::number(next), name, Kind::File, kFilePointSize));
    return partition->index();
}

QStandardItem* PartitionTree::partitionByKey(const QString& key) const
{
    QStandardItem* item = itemByKey(key);
    return item && item->data(KindRole).toInt() == int(Kind::Partition) ? item : nullptr;
}

PartitionTree::Kind PartitionTree::kindOf(const QModelIndex& index)
{
    return Kind(index.data(KindRole).toInt());
}

QStandardItem* PartitionTree::itemByKey(const QString& key) const
{
    // Small tree (a root, ten partitions and their files): a walk is enough.
    std::function<QStandardItem*(QStandardItem*)> walk = [&](QStandardItem* parent) -> QStandardItem* {
        for (int r = 0; r < parent->rowCount(); ++r) {
            QStandardItem* child = parent->child(r);
            if (child->data(KeyRole).toString() == key)
                return child;
            if (QStandardItem* hit = walk(child))
                return hit;
        }
        return nullptr;
    };
    return walk(invisibleRootItem());
}

QString PartitionTree::keyOf(const QModelIndex& index) { return index.data(KeyRole).toString(); }
