#include "export/SheetWriter.h"

#include "export/Automation.h"
#include "grids/PreviewGrid.h"
#include "grids/ReadingLayout.h"

#include <workbook/workbook.h>

namespace SheetWriter {
namespace {

constexpr int kMaxNameLength = 31;

} // namespace

QString sanitizeName(const QString& name)
{
    static const QString forbidden = QStringLiteral("<>/\\|?*\"");
    QString out = name;
    for (QChar& ch : out)
        if (forbidden.contains(ch))
            ch = QLatin1Char('-');
    return out;
}

QString sheetName(const QString& wanted, const QStringList& taken)
{
    const QString clean = QString::fromStdString(workbook::Workbook::cleanSheetName(wanted.toStdString()));
    auto used = [&](const QString& name) {
        return name.compare(QLatin1String("History"), Qt::CaseInsensitive) == 0 || taken.contains(name, Qt::CaseInsensitive);
    };
    if (clean.isEmpty() || !used(clean))
        return clean;
    for (int n = 2;; ++n) {
        const QString suffix = QStringLiteral("-%1").arg(n);
        QString base = clean.left(kMaxNameLength - suffix.size());
        if (!base.isEmpty() && base.back().isHighSurrogate())
            base.chop(1);
        const QString name = base + suffix;
        if (!used(name))
            return name;
    }
}

std::optional<TooLong> tooLongForXls(const PreviewGrid& grid)
{
    // Grid row r lands in worksheet row r + 1 - offset, below the header in row 1.
    const int rows = grid.rows();
    int offset = 0;
    int first = 1;
    for (int r = 1; r <= rows; ++r) {
        const bool ends = r == rows || ReadingLayout::startsSection(grid, r);
        if (!ends)
            continue;
        const int needed = r - offset; // the section's last row, r - 1, lands in row r - offset
        if (needed > workbook::kXlsMaxRows)
            return TooLong{grid.text(first, 0), needed};
        offset = r - 1;
        first = r;
    }
    return std::nullopt;
}

std::vector<Section> sections(const PreviewGrid& grid)
{
    // The first worksheet is named like the file a save makes of it; the others as they stand.
    std::vector<Section> out;
    for (const ReadingLayout::Section& s : ReadingLayout::sections(grid)) {
        const QString name = grid.text(s.first, 0);
        out.push_back({out.empty() ? sanitizeName(name) : name, s.first, s.end});
    }
    return out;
}

void write(const PreviewGrid& grid, sheets::Application& app, const QString& path, sheets::Workbook*& opened)
{
    sheets::Workbook& book = app.open(path);
    opened = &book;
    app.setVisible(false);
    const int cols = grid.cols();

    sheets::Worksheet* sheet = &book.worksheet(QStringLiteral("Sheet1"));
    // The names in use, so that a file named like another, or like a sheet of the template,
    // still gets a worksheet of its own.
    QStringList taken;
    for (int i = 0; i < book.worksheetCount(); ++i) {
        const QString other = book.worksheet(i).name();
        if (other.compare(sheet->name(), Qt::CaseInsensitive) != 0)
            taken << other;
    }
    auto rename = [&](const QString& wanted) {
        const QString name = sheetName(wanted, taken);
        sheet->setName(name);
        taken << name;
    };
    bool first = true;
    for (const Section& section : sections(grid)) {
        if (!first)
            sheet = &book.addAfter(*sheet);
        first = false;
        rename(section.wanted);
        for (int j = 0; j < cols; ++j)
            sheet->setCellText(1, j + 1, grid.text(0, j));
        // A plain int: a section far down a long grid must not overflow its offset.
        const int offset = section.first - 1;
        for (int r = section.first; r < section.end; ++r) {
            const int sheetRow = r + 1 - offset;
            for (int j = 0; j < cols; ++j) {
                const QString text = grid.text(r, j);
                sheet->setCellText(sheetRow, j + 1, text);
                if (ReadingLayout::isNumberColumn(grid, j))
                    sheet->setCellNumber(sheetRow, j + 1, ReadingLayout::workbookValue(text));
            }
        }
    }
    book.save();
    book.close(true);
}

} // namespace SheetWriter
