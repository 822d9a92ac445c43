#include "storage/PartitionTree.h"

#include <QStringList>
#include <algorithm>
#include <functional>

namespace {
bool isLetter(QChar c) { return c >= QLatin1Char('A') && c <= QLatin1Char('Z'); }
} // namespace

PartitionTree::Node::Node(const PartitionTree* tree, Node* parent, int row, QString key, QString text, Kind kind)
    : m_tree(tree), m_parent(parent), m_row(row), m_key(std::move(key)), m_text(std::move(text)), m_kind(kind)
{
}

QVariant PartitionTree::Node::data(int role) const
{
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole: return m_text;
    case KeyRole: return m_key;
    case KindRole: return int(m_kind);
    default: return {};
    }
}

const PartitionTree::Node* PartitionTree::Node::child(int row) const
{
    return row >= 0 && row < rowCount() ? m_children[size_t(row)].get() : nullptr;
}

const PartitionTree::Node* PartitionTree::Node::parent() const
{
    return m_parent == &m_tree->m_top ? nullptr : m_parent;
}

QModelIndex PartitionTree::Node::index() const { return m_tree->indexOf(this); }

PartitionTree::PartitionTree(QObject* parent)
    : QAbstractItemModel(parent), m_top(this, nullptr, -1, QString(), QString(), Kind::Root)
{
}

PartitionTree::~PartitionTree() = default;

PartitionTree::Node* PartitionTree::addNode(Node* parent, const QString& key, const QString& text, Kind kind)
{
    parent->m_children.push_back(
        std::unique_ptr<Node>(new Node(this, parent, parent->rowCount(), key, text, kind)));
    return parent->m_children.back().get();
}

void PartitionTree::removeChildren(Node* parent)
{
    if (parent->m_children.empty())
        return;
    beginRemoveRows(indexOf(parent), 0, parent->rowCount() - 1);
    parent->m_children.clear();
    endRemoveRows();
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

    beginResetModel();
    m_top.m_children.clear();
    Node* root = addNode(&m_top, kRootKey, rootText(), Kind::Root);
    for (char16_t k = first.unicode(); k <= last.unicode(); ++k) {
        const QString letter(QChar{k});
        addNode(root, letter, letter, Kind::Partition);
    }
    endResetModel();
    return indexOf(root);
}

QModelIndex PartitionTree::Bulid_Tree(const QString& partitionKey, const QString& listing, bool* tooLong)
{
    if (tooLong)
        *tooLong = false;
    Node* partition = partitionByKey(partitionKey);
    if (!partition)
        return {};
    // Counted before anything is split or built, so a huge reply costs no memory here.
    const QString separator = QStringLiteral("\r\n");
    // A line is what ends in CR LF, and the text after the last one if there is any.
    qsizetype lineCount = 0;
    qsizetype rest = 0;
    const auto refuse = [&] {
        if (tooLong)
            *tooLong = true;
        return QModelIndex();
    };
    for (qsizetype at = listing.indexOf(separator); at >= 0; at = listing.indexOf(separator, at + 2)) {
        rest = at + 2;
        if (++lineCount > kMaxListingLines)
            return refuse();
    }
    if (rest < listing.size() && ++lineCount > kMaxListingLines)
        return refuse();
    removeChildren(partition);
    const QStringList lines = listing.split(separator);
    const auto files = int(std::count_if(lines.begin(), lines.end(), [](const QString& l) { return !l.isEmpty(); }));
    if (files > 0) {
        beginInsertRows(indexOf(partition), 0, files - 1);
        for (qsizetype i = 0; i < lines.size(); ++i) {
            if (!lines[i].isEmpty())
                addNode(partition, partitionKey + QString::number(i), lines[i], Kind::File);
        }
        endInsertRows();
    }
    return indexOf(partition);
}

void PartitionTree::removeFiles(const QString& partitionKey)
{
    if (Node* partition = partitionByKey(partitionKey))
        removeChildren(partition);
}

QModelIndex PartitionTree::addFile(const QString& partitionKey, const QString& name)
{
    Node* partition = partitionByKey(partitionKey);
    if (!partition || name.isEmpty())
        return {};
    // Keys of files are the letter and a number; a new file takes the next free number.
    int next = 0;
    for (const auto& file : partition->m_children)
        next = std::max(next, file->m_key.mid(partitionKey.size()).toInt() + 1);
    const QModelIndex parentIndex = indexOf(partition);
    beginInsertRows(parentIndex, partition->rowCount(), partition->rowCount());
    addNode(partition, partitionKey + QString::number(next), name, Kind::File);
    endInsertRows();
    return parentIndex;
}

PartitionTree::Node* PartitionTree::partitionByKey(const QString& key) const
{
    const Node* node = itemByKey(key);
    return node && node->m_kind == Kind::Partition ? const_cast<Node*>(node) : nullptr;
}

PartitionTree::Kind PartitionTree::kindOf(const QModelIndex& index)
{
    return Kind(index.data(KindRole).toInt());
}

QString PartitionTree::keyOf(const QModelIndex& index) { return index.data(KeyRole).toString(); }

const PartitionTree::Node* PartitionTree::itemByKey(const QString& key) const
{
    // Small tree (a root, ten partitions and their files): a walk is enough.
    std::function<const Node*(const Node&)> walk = [&](const Node& parent) -> const Node* {
        for (const auto& child : parent.m_children) {
            if (child->m_key == key)
                return child.get();
            if (const Node* hit = walk(*child))
                return hit;
        }
        return nullptr;
    };
    return walk(m_top);
}

const PartitionTree::Node* PartitionTree::item(int row) const { return m_top.child(row); }

const PartitionTree::Node* PartitionTree::nodeOf(const QModelIndex& index) const
{
    if (!index.isValid() || index.model() != this)
        return nullptr;
    return static_cast<const Node*>(index.internalPointer());
}

QModelIndex PartitionTree::indexOf(const Node* node) const
{
    if (!node || node == &m_top)
        return {};
    return createIndex(node->m_row, 0, const_cast<Node*>(node));
}

QModelIndex PartitionTree::index(int row, int column, const QModelIndex& parent) const
{
    if (column != 0 || (parent.isValid() && parent.column() != 0))
        return {};
    const Node* above = parent.isValid() ? nodeOf(parent) : &m_top;
    if (!above)
        return {};
    return indexOf(above->child(row));
}

QModelIndex PartitionTree::parent(const QModelIndex& child) const
{
    const Node* node = nodeOf(child);
    return node ? indexOf(node->m_parent) : QModelIndex();
}

int PartitionTree::rowCount(const QModelIndex& parent) const
{
    if (!parent.isValid())
        return m_top.rowCount();
    if (parent.column() != 0)
        return 0;
    const Node* node = nodeOf(parent);
    return node ? node->rowCount() : 0;
}

int PartitionTree::columnCount(const QModelIndex&) const { return 1; }

QVariant PartitionTree::data(const QModelIndex& index, int role) const
{
    const Node* node = nodeOf(index);
    return node ? node->data(role) : QVariant();
}

Qt::ItemFlags PartitionTree::flags(const QModelIndex& index) const
{
    // Selectable, not editable: the texts are what the instrument said.
    return nodeOf(index) ? Qt::ItemIsSelectable | Qt::ItemIsEnabled : Qt::NoItemFlags;
}
