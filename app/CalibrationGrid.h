#pragma once

#include <QAbstractTableModel>
#include <QStringList>
#include <vector>

// The calibration table as the dialog's grid edits it: a row of texts per component, in the
// columns and words of CalibrationTable::shownHeaders() and shownRow(). Rows are numbered from 1
// under the header, as CalibrationTable::fromRows() names them with a header row of 0.
// The gauge register's grid is the same, with the register's columns.
class CalibrationGrid : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit CalibrationGrid(QObject* parent = nullptr);
    CalibrationGrid(QStringList headers, QObject* parent);

    const std::vector<QStringList>& rows() const { return m_rows; }
    void setRows(std::vector<QStringList> rows);
    // Adds a row of `texts` at the end; its number (from 0).
    int appendRow(const QStringList& texts);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    bool removeRows(int row, int count, const QModelIndex& parent = {}) override;

private:
    QStringList m_headers;
    std::vector<QStringList> m_rows;
};
