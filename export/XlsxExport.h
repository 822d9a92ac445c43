#pragma once

#include "export/SaveResult.h"

#include <QString>
#include <functional>
#include <optional>

class PreviewGrid;

// Writes the preview grid as an .xlsx workbook with the built-in engine: the same worksheets,
// names and cells as the .xls save (SheetWriter), up to 1,048,576 rows a worksheet, streamed to
// the disk so memory does not grow with the grid. The target changes only when the whole file
// is written; a failed or cancelled save leaves it as it was.
namespace XlsxExport {

// nullopt when `path` now holds the grid; otherwise why not. `cancel` is asked every few
// thousand rows.
SaveResult save(const PreviewGrid& grid, const QString& path, const std::function<bool()>& cancel = {});

} // namespace XlsxExport
