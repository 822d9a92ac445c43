#include "export/SheetWriter.h"

#include "export/Automation.h"
#include "export/NumberText.h"
#include "grids/PreviewGrid.h"

namespace SheetWriter {

QString sanitizeName(const QString& name)
{
    static const QString forbidden = QStringLiteral("<>/\\|?*\"");
    QString out = name;
    for (QChar& ch : out)
        if (forbidden.contains(ch))
            ch = QLatin1Char('-');
    return out;
}

void write(const PreviewGrid& grid, sheets::Application& app, const QString& path, sheets::Workbook*& opened)
{
    sheets::Workbook& book = app.open(path);
    opened = &book;
    app.setVisible(false);
    const int rows = grid.rows();
    const int cols = grid.cols();
    const bool readings = cols > 2;

    sheets::Worksheet* sheet = &book.worksheet(QStringLiteral("Sheet1"));
    sheet->setName(sanitizeName(grid.text(1, 0)));
    auto writeHeader = [&] {
        for (int j = 0; j < cols; ++j)
            sheet->setCellText(1, j + 1, grid.text(0, j));
    };
    writeHeader();

    // A plain int: a section far down a long grid must not overflow its offset.
    int offset = 0;
    for (int r = 1; r < rows; ++r) {
        if (readings && r > 1 && grid.text(r, 2).isEmpty() && grid.text(r, 1).isEmpty()) {
            sheet = &book.addAfter(*sheet);
            sheet->setName(grid.text(r, 0));
            offset = r - 1;
            writeHeader();
        }
        const int sheetRow = r + 1 - offset;
        for (int j = 0; j < cols; ++j) {
            const QString text = grid.text(r, j);
            sheet->setCellText(sheetRow, j + 1, text);
            if (readings && (j == 1 || j == 2))
                sheet->setCellNumber(sheetRow, j + 1, Val(text) / 10.0);
        }
    }
    book.save();
    book.close(true);
}

} // namespace SheetWriter
