#include "storage/PartitionTree.h"

#include <QBrush>
#include <QFont>
#include <QStringList>
#include <functional>

namespace {
constexpr int kRootPointSize = 12;
constexpr int kPartitionPointSize = 10;
constexpr int kFilePointSize = 11;

bool isLetter(QChar c) { return c >= QLatin1Char('A') && c <= QLatin1Char('Z'); }
} // namespace

PartitionTree::PartitionTree(QObject* parent) : QStandardItemModel(parent) {}

QStandardItem* PartitionTree::makeNode(const QString& key, const QString& text, int pointSize) const
{
    auto* item = new QStandardItem(text);
    item->setData(key, KeyRole);
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
    QStandardItem* root = makeNode(kRootKey, kRootText, kRootPointSize);
    appendRow(root);
    for (char16_t k = first.unicode(); k <= last.unicode(); ++k) {
        const QString letter(QChar{k});
        root->appendRow(makeNode(letter, letter, kPartitionPointSize));
    }
    return root->index();
}

QModelIndex PartitionTree::Bulid_Tree(const QString& partitionKey, const QString& listing)
{
    QStandardItem* partition = itemByKey(partitionKey);
    if (!partition)
        return {};
    partition->removeRows(0, partition->rowCount());
    const QStringList lines = listing.split(QStringLiteral("\r\n"));
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (lines[i].isEmpty())
            continue;
        partition->appendRow(makeNode(partitionKey + QString::number(i), lines[i], kFilePointSize));
    }
    return partition->index();
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
