#pragma once

#include <QAbstractItemModel>
#include <QString>
#include <memory>
#include <vector>

// The tree of the instrument's storage: the root "数据分区" (in the operator's language), one
// node per partition (key and text the letter), and under a partition one node per file (key
// the letter and the line number of the listing, text the file name). Each node records its
// kind, which is what decides whether a command acts on a partition or a file. The model holds
// only what the instrument said; how the window shows it (fonts, colours) is the window's
// business.
class PartitionTree : public QAbstractItemModel {
    Q_OBJECT
public:
    static constexpr int KeyRole = Qt::UserRole + 1;
    static constexpr int KindRole = Qt::UserRole + 2;
    enum class Kind {
        Root,
        Partition,
        File
    };
    // No partition of the instrument holds anywhere near this many files; a longer listing is
    // not a listing.
    static constexpr qsizetype kMaxListingLines = 10000;
    static inline const QString kRootKey = QStringLiteral("1");
    // The root's text, in the operator's language; the window names the tree by it.
    static QString rootText() { return tr("数据分区"); }

    // One node of the tree, read-only from outside; the tree changes only through its own
    // functions. A pointer to a node stays valid until that node is removed (a new range
    // removes every node, a listing or a delete the files of its partition).
    class Node {
    public:
        QString text() const { return m_text; }
        QString key() const { return m_key; }
        Kind kind() const { return m_kind; }
        // Qt::DisplayRole and Qt::EditRole give the text, KeyRole the key, KindRole the kind
        // as an int; anything else nothing.
        QVariant data(int role) const;
        int rowCount() const { return int(m_children.size()); }
        // The child in that row, or nullptr if there is none.
        const Node* child(int row) const;
        // The parent node; nullptr for the root (and for the hidden node above it).
        const Node* parent() const;
        int row() const { return m_row; }
        // The node's index in its tree.
        QModelIndex index() const;

    private:
        friend class PartitionTree;
        Node(const PartitionTree* tree, Node* parent, int row, QString key, QString text, Kind kind);

        const PartitionTree* m_tree;
        Node* m_parent;
        int m_row;
        QString m_key;
        QString m_text;
        Kind m_kind;
        std::vector<std::unique_ptr<Node>> m_children;
    };

    explicit PartitionTree(QObject* parent = nullptr);
    ~PartitionTree() override;

    // Rebuilds the root and the partitions from a range reply such as "A-J" (anything after
    // the first character of each side is ignored). A reply that is not letter-dash-letter
    // with the first letter not after the last leaves the tree as it is and returns an
    // invalid index. On success returns the root's index, to be expanded.
    QModelIndex Ini_Tree(const QString& range);

    // Replaces the file nodes of a partition with the non-empty lines of a listing. Returns
    // the partition's index (to be expanded), or an invalid index if there is no such node or
    // the listing has more than kMaxListingLines lines (*tooLong set; the tree is unchanged).
    // Only that partition's rows change; the rest of the tree (and what a view has expanded
    // in it) stays.
    QModelIndex Bulid_Tree(const QString& partitionKey, const QString& listing, bool* tooLong = nullptr);

    // The instrument confirmed a change: the partition's file nodes go, or a file node is added.
    void removeFiles(const QString& partitionKey);
    QModelIndex addFile(const QString& partitionKey, const QString& name);

    // The node with that key, or nullptr.
    const Node* itemByKey(const QString& key) const;
    // The node in that row of the top level (row 0 is the root once a range was read), or
    // nullptr.
    const Node* item(int row) const;
    // The node an index of this tree stands for; nullptr for an invalid index.
    const Node* nodeOf(const QModelIndex& index) const;
    static QString keyOf(const QModelIndex& index);
    static Kind kindOf(const QModelIndex& index);

    // QAbstractItemModel
    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    Node* addNode(Node* parent, const QString& key, const QString& text, Kind kind);
    Node* partitionByKey(const QString& key) const;
    void removeChildren(Node* parent);
    QModelIndex indexOf(const Node* node) const;

    Node m_top; // hidden above the root; the invalid index stands for it
};
