#include "app/CalibrationGrid.h"

#include "archive/CalibrationTable.h"

CalibrationGrid::CalibrationGrid(QObject* parent)
    : QAbstractTableModel(parent), m_headers(archive::CalibrationTable::shownHeaders())
{
}

CalibrationGrid::CalibrationGrid(QStringList headers, QObject* parent)
    : QAbstractTableModel(parent), m_headers(std::move(headers))
{
}

void CalibrationGrid::setRows(std::vector<QStringList> rows)
{
    beginResetModel();
    m_rows = std::move(rows);
    for (QStringList& r : m_rows)
        r.resize(m_headers.size());
    endResetModel();
}

int CalibrationGrid::appendRow(const QStringList& texts)
{
    const int r = int(m_rows.size());
    beginInsertRows({}, r, r);
    m_rows.push_back(texts);
    m_rows.back().resize(m_headers.size());
    endInsertRows();
    return r;
}

int CalibrationGrid::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : int(m_rows.size()); }

int CalibrationGrid::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : int(m_headers.size()); }

QVariant CalibrationGrid::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::EditRole))
        return {};
    return m_rows[size_t(index.row())].value(index.column());
}

bool CalibrationGrid::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (!index.isValid() || role != Qt::EditRole)
        return false;
    m_rows[size_t(index.row())][index.column()] = value.toString();
    emit dataChanged(index, index, {Qt::DisplayRole, Qt::EditRole});
    return true;
}

Qt::ItemFlags CalibrationGrid::flags(const QModelIndex& index) const
{
    return index.isValid() ? Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsEditable : Qt::NoItemFlags;
}

QVariant CalibrationGrid::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return {};
    if (orientation == Qt::Horizontal)
        return m_headers.value(section);
    return section + 1;
}

bool CalibrationGrid::removeRows(int row, int count, const QModelIndex& parent)
{
    if (parent.isValid() || row < 0 || count < 1 || row + count > int(m_rows.size()))
        return false;
    beginRemoveRows({}, row, row + count - 1);
    m_rows.erase(m_rows.begin() + row, m_rows.begin() + row + count);
    endRemoveRows();
    return true;
}
