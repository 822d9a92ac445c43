#pragma once

#include "export/SaveResult.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <functional>

class PreviewGrid;
class QIODevice;

// Writes the preview grid as one CSV file: UTF-8 with a byte-order mark (Excel on a Chinese
// Windows otherwise reads it in the ANSI code page), CR LF line ends, a field quoted when it holds
// a comma, a double quote, CR or LF (its quotes doubled), numbers with "." whatever the locale.
// A text that a spreadsheet would take for a formula (it begins with =, +, -, @, a tab or CR and
// is not a number) gets a leading apostrophe, so that it is shown as text and never computed.
//
// Reading layout (more than two columns): a header row "文件名" followed by the grid's headers
// (编号, 读数, 温度, 时间), then one row per record, the first field naming the file the record
// came from. The grid's sections are those of the workbook (ReadingLayout): row 1 starts the first,
// and a later row whose reading and temperature are both empty starts the next; the section is
// named after the first cell of that row. A row that starts a section is a file name, not a
// record, unless it holds more than its first cell: then it is written as a record too, so no
// text of the grid is lost. Reading and temperature are written as the numbers the workbook gets,
// the leading number of the cell divided by 10 (ReadingLayout::leadingTenths); a cell that does not begin with a
// number keeps its text.
//
// Component layout (two columns or fewer): every row of the grid as it stands, headers first.
//
// The text goes out in pieces of about 64 kB of whole rows; the file is never built in memory.
namespace CsvWriter {

// Appends one text field to `out` as described above: the apostrophe where a spreadsheet would
// see a formula, quotes where the field needs them. Every CSV writer of the program uses it.
void appendField(QByteArray& out, QByteArrayView utf8);
// Whether a spreadsheet reads the text as a number ("-52", "+3.5", "-2.5e3").
bool readsAsNumber(QByteArrayView utf8);

// Asked every kCancelEvery rows, and once more at the end, whether to stop; true stops the write
// (SaveFailure::Kind::Cancelled, FailureText::saveCancelled() as the reason).
using Cancel = std::function<bool()>;
inline constexpr int kCancelEvery = 4096;

// Writes the CSV text to `out`, which must be open for writing; a file device is flushed at the
// end. The failure with the operator's reason (FailureText) when a write fails or the write was
// cancelled; what reached `out` by then stays there.
SaveResult write(const PreviewGrid& grid, QIODevice& out, const Cancel& cancel = {});

// Writes the CSV file at `path` through a temporary file in the same folder (ReplacingFile) that
// is renamed over it only when everything was written: a failed or cancelled save removes its
// temporary file, and a file that was at `path` stays as it was even when the program is killed
// mid-save. A read-only file at `path` is refused, not replaced.
SaveResult save(const PreviewGrid& grid, const QString& path, const Cancel& cancel = {});

} // namespace CsvWriter
