#include "grids/PreviewGrid.h"

#include <limits>

PreviewGrid::PreviewGrid(QObject* parent) : QAbstractTableModel(parent) {}

PreviewGrid::Cell* PreviewGrid::cell(int row, int col)
{
    if (row < 0 || col < 0 || row >= m_rows || col >= m_cols)
        return nullptr;
    return &m_cells[size_t(row) * size_t(m_cols) + size_t(col)];
}

const PreviewGrid::Cell* PreviewGrid::cell(int row, int col) const
{
    return const_cast<PreviewGrid*>(this)->cell(row, col);
}

void PreviewGrid::reshape(int rows, int cols)
{
    rows = std::max(rows, 0);
    cols = std::max(cols, 0);
    if (cols == m_cols) {
        m_cells.resize(size_t(rows) * size_t(cols));
    } else {
        std::vector<Cell> cells(size_t(rows) * size_t(cols));
        const int keepRows = std::min(rows, m_rows);
        const int keepCols = std::min(cols, m_cols);
        for (int r = 0; r < keepRows; ++r)
            for (int c = 0; c < keepCols; ++c)
                cells[size_t(r) * size_t(cols) + size_t(c)] = m_cells[size_t(r) * size_t(m_cols) + size_t(c)];
        m_cells.swap(cells);
    }
    if (rows < m_rows) {
        for (auto it = m_rowHeights.begin(); it != m_rowHeights.end();)
            it = it.key() >= rows ? m_rowHeights.erase(it) : std::next(it);
    }
    m_rows = rows;
    m_cols = cols;
    m_colWidths.resize(size_t(cols), -1);
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
    const Cell* c = cell(row, col);
    if (!c || c->length == 0)
        return {};
    return QString::fromUtf8(m_arena.constData() + c->offset, qsizetype(c->length));
}

QByteArrayView PreviewGrid::utf8(int row, int col) const
{
    const Cell* c = cell(row, col);
    if (!c || c->length == 0)
        return {};
    return QByteArrayView(m_arena.constData() + c->offset, qsizetype(c->length));
}

bool PreviewGrid::setText(int row, int col, const QString& text)
{
    Cell* c = cell(row, col);
    if (!c)
        return false;
    const QByteArray utf8 = text.toUtf8();
    if (qsizetype(m_arena.size()) + utf8.size() > qsizetype(std::numeric_limits<std::uint32_t>::max()))
        return false;
    c->offset = std::uint32_t(m_arena.size());
    c->length = std::uint32_t(utf8.size());
    m_arena.append(utf8);
    if (!batching()) {
        const QModelIndex i = index(row, col);
        emit dataChanged(i, i, {Qt::DisplayRole});
    }
    return true;
}

void PreviewGrid::clear()
{
    std::fill(m_cells.begin(), m_cells.end(), Cell{});
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
    std::fill(m_cells.begin(), m_cells.end(), Cell{});
    m_arena = std::move(utf8);
}

bool PreviewGrid::setSlice(int row, int col, qsizetype offset, qsizetype length)
{
    Cell* c = cell(row, col);
    if (!c || offset < 0 || length < 0 || offset + length > m_arena.size())
        return false;
    c->offset = std::uint32_t(offset);
    c->length = std::uint32_t(length);
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
