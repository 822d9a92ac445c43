#pragma once

#include <QList>
#include <QString>
#include <QStringList>

class PreviewGrid;

// The two layouts of the preview grid and the fillers that turn instrument replies into rows.
// Each filler rebuilds the whole grid; whichever ran last decides the layout.
namespace grids {

// Gives the grid one row of the given headers, row 0 300 twips high and the given column widths
// in twips; other cells keep their texts until the rows are cut to one.
void setLayout(PreviewGrid& grid, const QStringList& headers, const QList<int>& widthsTwips);

// Reading layout: 4 columns "编号", "读数", "温度", "时间"; row 0 the headers; 1 row.
void Ini_Grid(PreviewGrid& grid);

// Fills the reading layout from a data reply: one row per CR LF-terminated line, fields split at
// every single space, the last field of a line joined to the one before it (the time stamp's
// two halves share the time column). Text after the last CR LF is not a record.
void FillGrid(PreviewGrid& grid, const QString& reply);
// The same from the reply as it came off the line (the instrument's code page): an ASCII reply
// becomes the grid's text store without a copy.
void FillGridFromWire(PreviewGrid& grid, QByteArray wire);

// Component layout: 2 columns "序号", "元件名"; row 0 the headers; 1 row.
void Ini_YJ_Grid(PreviewGrid& grid);

// Fills the component layout: one numbered row per CR LF-terminated line, the line unchanged.
void FillYJGrid(PreviewGrid& grid, const QString& reply);

} // namespace grids
