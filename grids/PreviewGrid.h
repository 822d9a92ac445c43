#pragma once

#include <QAbstractTableModel>
#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringView>
#include <cstdint>
#include <unordered_map>
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
    // A cell is a slice of the arena. Each row keeps a base offset and its cells keep 16-bit
    // positions relative to it: a record's fields lie within one line of the reply, so a
    // million-record grid costs 4 bytes a row and 4 a cell instead of 8 a cell. A cell that
    // lies too far from its row's base (a text set later, a field of a very long line) is kept
    // whole in m_wide and marked kWide.
    struct Cell {
        std::uint16_t start = 0;
        std::uint16_t length = 0;
    };
    struct Span {
        std::uint32_t offset = 0;
        std::uint32_t length = 0;
    };
    static constexpr std::uint16_t kWide = 0xFFFF;
    bool inside(int row, int col) const { return row >= 0 && col >= 0 && row < m_rows && col < m_cols; }
    std::size_t at(int row, int col) const { return std::size_t(row) * std::size_t(m_cols) + std::size_t(col); }
    Span span(int row, int col) const;       // inside() only
    void place(int row, int col, Span span); // inside() only
    void dropCells();
    void reshape(int rows, int cols);
    bool batching() const { return m_batchDepth > 0; }

    int m_rows = 0;
    int m_cols = 0;
    std::vector<std::uint32_t> m_rowBase; // m_rows
    std::vector<Cell> m_cells;            // row-major, m_rows * m_cols
    std::unordered_map<std::size_t, Span> m_wide;
    QByteArray m_arena;
    QHash<int, int> m_rowHeights;
    std::vector<int> m_colWidths;
    int m_batchDepth = 0;
};
