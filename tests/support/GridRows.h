#pragma once

#include "grids/PreviewGrid.h"

#include <QStringList>

// A two-column list grid (the component list) as "number|entry" per row, the header row first.
inline QStringList rowsOf(const PreviewGrid& grid)
{
    QStringList rows;
    for (int r = 0; r < grid.rows(); ++r)
        rows << grid.text(r, 0) + QLatin1Char('|') + grid.text(r, 1);
    return rows;
}
