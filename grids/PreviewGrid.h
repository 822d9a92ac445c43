#pragma once

#include <QAbstractTableModel>
#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringView>
#include <cstdint>
#include <vector>

// The preview grid: a table of text cells whose row 0 is an ordinary row (it holds the headers),
// with a row count, a column count, row heights and column widths in twips.
//
// Cell texts live in one UTF-8 arena and each cell is a slice of it, so a grid of a million
// records costs little more than the text itself. A bulk filler can adopt a whole reply as the
// arena and point cells at slices of it without copying.
class PreviewGrid : public QAbstractTableModel {
    Q_OBJECT
public:
    static constexpr int kTwipsPerPixel = 15; // at 96 dots per inch

    explicit PreviewGrid(QObject* parent = nullptr);

    int rows() const { return m_rows; }
    int cols() const { return m_cols; }
    // Growing keeps every existing cell; new cells are empty. Shrinking drops cells.
    void setRows(int rows);
    void setCols(int cols);

    QString text(int row, int col) const;
    // The same text as the UTF-8 bytes the grid holds, without a conversion; valid until the
    // grid changes.
    QByteArrayView utf8(int row, int col) const;
    // Writes outside the grid are refused (false) and change nothing.
    bool setText(int row, int col, const QString& text);
    // Empties every cell; rows, columns and sizes stay.
    void clear();

    int rowHeight(int row) const; // twips; -1 = the grid's default
    void setRowHeight(int row, int twips);
    int colWidth(int col) const; // twips; -1 = the grid's default
    void setColWidth(int col, int twips);

    // Bulk filling: adopt text as the new arena (any earlier cell text is released by the
    // next clear()), then point cells at byte ranges of it.
    void adoptArena(QByteArray utf8);
    const QByteArray& arena() const { return m_arena; }
    bool setSlice(int row, int col, qsizetype offset, qsizetype length);

    // While a Batch lives the grid emits no per-change signals; when it ends, views are
    // told once that everything changed.
    class Batch {
    public:
        explicit Batch(PreviewGrid& grid);
        ~Batch();
        Batch(const Batch&) = delete;
        Batch& operator=(const Batch&) = delete;
    private:
        PreviewGrid& m_grid;
    };

    // QAbstractTableModel
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

signals:
    // Row heights or column widths changed; views apply them.
    void sizesChanged();

private:
    struct Cell {
        std::uint32_t offset = 0;
        std::uint32_t length = 0;
    };
    Cell* cell(int row, int col);
    const Cell* cell(int row, int col) const;
    void reshape(int rows, int cols);
    bool batching() const { return m_batchDepth > 0; }

    int m_rows = 0;
    int m_cols = 0;
    std::vector<Cell> m_cells; // row-major, m_rows * m_cols
    QByteArray m_arena;
    QHash<int, int> m_rowHeights;
    std::vector<int> m_colWidths;
    int m_batchDepth = 0;
};
