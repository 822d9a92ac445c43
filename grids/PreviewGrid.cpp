#include "grids/PreviewGrid.h"

#include <limits>

PreviewGrid::PreviewGrid(QObject* parent) : QAbstractTableModel(parent) {}

PreviewGrid::Span PreviewGrid::span(int row, int col) const
{
    const Cell& c = m_cells[at(row, col)];
    if (c.start == kWide && c.length == kWide)
        return m_wide.at(at(row, col));
    return Span{m_rowBase[std::size_t(row)] + c.start, c.length};
}

void PreviewGrid::place(int row, int col, Span span)
{
    const std::size_t i = at(row, col);
    Cell& c = m_cells[i];
    if (c.start == kWide && c.length == kWide)
        m_wide.erase(i);
    if (span.length == 0) {
        c = Cell{};
        return;
    }
    std::uint32_t& base = m_rowBase[std::size_t(row)];
    auto fits = [&] { return span.offset >= base && span.offset - base < kWide && span.length < kWide; };
    if (!fits()) {
        // A row whose cells are all empty can move its base to this cell.
        bool empty = true;
        for (int k = 0; k < m_cols && empty; ++k)
            empty = m_cells[at(row, k)].length == 0;
        if (empty)
            base = span.offset;
    }
    if (fits()) {
        c = Cell{std::uint16_t(span.offset - base), std::uint16_t(span.length)};
    } else {
        c = Cell{kWide, kWide};
        m_wide[i] = span;
    }
}

void PreviewGrid::dropCells()
{
    std::fill(m_cells.begin(), m_cells.end(), Cell{});
    std::fill(m_rowBase.begin(), m_rowBase.end(), 0);
    m_wide.clear();
}

void PreviewGrid::reshape(int rows, int cols)
{
    rows = std::max(rows, 0);
    cols = std::max(cols, 0);
    const int oldRows = m_rows;
    if (cols == m_cols) {
        if (rows < m_rows)
            for (auto it = m_wide.begin(); it != m_wide.end();)
                it = it->first >= std::size_t(rows) * std::size_t(cols) ? m_wide.erase(it) : std::next(it);
        m_cells.resize(std::size_t(rows) * std::size_t(cols));
        m_rowBase.resize(std::size_t(rows), 0);
    } else {
        std::vector<Span> keep;
        const int keepRows = std::min(rows, m_rows);
        const int keepCols = std::min(cols, m_cols);
        keep.reserve(std::size_t(keepRows) * std::size_t(keepCols));
        for (int r = 0; r < keepRows; ++r)
            for (int c = 0; c < keepCols; ++c)
                keep.push_back(span(r, c));
        m_cells.assign(std::size_t(rows) * std::size_t(cols), Cell{});
        m_rowBase.assign(std::size_t(rows), 0);
        m_wide.clear();
        m_rows = rows;
        m_cols = cols;
        for (int r = 0; r < keepRows; ++r)
            for (int c = 0; c < keepCols; ++c)
                place(r, c, keep[std::size_t(r) * std::size_t(keepCols) + std::size_t(c)]);
    }
    if (rows < oldRows) {
        for (auto it = m_rowHeights.begin(); it != m_rowHeights.end();)
            it = it.key() >= rows ? m_rowHeights.erase(it) : std::next(it);
    }
    m_rows = rows;
    m_cols = cols;
    m_colWidths.resize(std::size_t(cols), -1);
}

void PreviewGrid::setRows(int rows)
{
    rows = std::max(rows, 0);
    if (rows == m_rows)
        return;
    if (batching()) {
        reshape(rows, m_cols);
        return;
    }
    if (rows > m_rows) {
        beginInsertRows({}, m_rows, rows - 1);
        reshape(rows, m_cols);
        endInsertRows();
    } else {
        beginRemoveRows({}, rows, m_rows - 1);
        reshape(rows, m_cols);
        endRemoveRows();
    }
}

void PreviewGrid::setCols(int cols)
{
    cols = std::max(cols, 0);
    if (cols == m_cols)
        return;
    if (batching()) {
        reshape(m_rows, cols);
        return;
    }
    if (cols > m_cols) {
        beginInsertColumns({}, m_cols, cols - 1);
        reshape(m_rows, cols);
        endInsertColumns();
    } else {
        beginRemoveColumns({}, cols, m_cols - 1);
        reshape(m_rows, cols);
        endRemoveColumns();
    }
    emit sizesChanged();
}

QString PreviewGrid::text(int row, int col) const
{
    const QByteArrayView bytes = utf8(row, col);
    return bytes.isEmpty() ? QString() : QString::fromUtf8(bytes);
}

QByteArrayView PreviewGrid::utf8(int row, int col) const
{
    if (!inside(row, col) || m_cells[at(row, col)].length == 0)
        return {};
    const Span s = span(row, col);
    return QByteArrayView(m_arena.constData() + s.offset, qsizetype(s.length));
}

bool PreviewGrid::setText(int row, int col, const QString& text)
{
    if (!inside(row, col))
        return false;
    const QByteArray utf8 = text.toUtf8();
    if (qsizetype(m_arena.size()) + utf8.size() > qsizetype(std::numeric_limits<std::uint32_t>::max()))
        return false;
    place(row, col, Span{std::uint32_t(m_arena.size()), std::uint32_t(utf8.size())});
    m_arena.append(utf8);
    if (!batching()) {
        const QModelIndex i = index(row, col);
        emit dataChanged(i, i, {Qt::DisplayRole});
    }
    return true;
}

void PreviewGrid::clear()
{
    dropCells();
    m_arena = QByteArray();
    if (!batching() && m_rows > 0 && m_cols > 0)
        emit dataChanged(index(0, 0), index(m_rows - 1, m_cols - 1), {Qt::DisplayRole});
}

int PreviewGrid::rowHeight(int row) const { return m_rowHeights.value(row, -1); }

void PreviewGrid::setRowHeight(int row, int twips)
{
    if (row < 0 || row >= m_rows)
        return;
    m_rowHeights.insert(row, twips);
    if (!batching())
        emit sizesChanged();
}

int PreviewGrid::colWidth(int col) const
{
    return col >= 0 && col < m_cols ? m_colWidths[size_t(col)] : -1;
}

void PreviewGrid::setColWidth(int col, int twips)
{
    if (col < 0 || col >= m_cols)
        return;
    m_colWidths[size_t(col)] = twips;
    if (!batching())
        emit sizesChanged();
}

void PreviewGrid::adoptArena(QByteArray utf8)
{
    dropCells();
    m_arena = std::move(utf8);
}

bool PreviewGrid::setSlice(int row, int col, qsizetype offset, qsizetype length)
{
    if (!inside(row, col) || offset < 0 || length < 0 || offset + length > m_arena.size())
        return false;
    place(row, col, Span{std::uint32_t(offset), std::uint32_t(length)});
    if (!batching()) {
        const QModelIndex i = index(row, col);
        emit dataChanged(i, i, {Qt::DisplayRole});
    }
    return true;
}

PreviewGrid::Batch::Batch(PreviewGrid& grid) : m_grid(grid)
{
    if (m_grid.m_batchDepth++ == 0)
        m_grid.beginResetModel();
}

PreviewGrid::Batch::~Batch()
{
    if (--m_grid.m_batchDepth == 0) {
        m_grid.endResetModel();
        emit m_grid.sizesChanged();
    }
}

int PreviewGrid::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : m_rows; }

int PreviewGrid::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : m_cols; }

QVariant PreviewGrid::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::ToolTipRole))
        return {};
    return text(index.row(), index.column());
}
