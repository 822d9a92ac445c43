#include "export/XlsxExport.h"

#include "export/FailureText.h"
#include "export/SheetWriter.h"
#include "grids/PreviewGrid.h"
#include "grids/ReadingLayout.h"
#include "platform/FilePath.h"

#include <QDir>
#include <workbook/workbook.h>

#include <string>
#include <vector>

namespace XlsxExport {
namespace {
SaveFailure failed(const QString& reason) { return SaveFailure{SaveFailure::Kind::Failed, reason}; }
} // namespace

SaveResult save(const PreviewGrid& grid, const QString& path, const std::function<bool()>& cancel)
{
    auto writer = workbook::XlsxWriter::create(toFilePath(QDir::toNativeSeparators(path)));
    if (!writer)
        return failed(FailureText::reason(writer.error()));
    const int cols = grid.cols();
    std::vector<std::string> texts(static_cast<size_t>(cols));
    std::vector<workbook::CellValue> cells(static_cast<size_t>(cols));
    auto writeRow = [&](int r, bool header) -> workbook::Error {
        for (int j = 0; j < cols; ++j) {
            const QString text = grid.text(r, j);
            if (!header && ReadingLayout::isNumberColumn(grid, j)) {
                cells[size_t(j)] = ReadingLayout::workbookValue(text);
                continue;
            }
            texts[size_t(j)] = text.toStdString();
            cells[size_t(j)] = workbook::CellValue(std::string_view(texts[size_t(j)]));
        }
        return writer->writeRow(std::span<const workbook::CellValue>(cells));
    };
    QStringList taken;
    int written = 0;
    for (const SheetWriter::Section& section : SheetWriter::sections(grid)) {
        const QString name = SheetWriter::sheetName(section.wanted, taken);
        taken << name;
        if (workbook::Error e = writer->addSheet(name.toStdString()))
            return failed(FailureText::reason(e));
        if (workbook::Error e = writeRow(0, true))
            return failed(FailureText::reason(e));
        for (int r = section.first; r < section.end; ++r) {
            if (workbook::Error e = writeRow(r, false))
                return failed(FailureText::reason(e));
            if (cancel && ++written % 4096 == 0 && cancel()) {
                writer->cancel();
                return SaveFailure{SaveFailure::Kind::Cancelled, FailureText::saveCancelled()};
            }
        }
    }
    if (cancel && cancel()) {
        writer->cancel();
        return SaveFailure{SaveFailure::Kind::Cancelled, FailureText::saveCancelled()};
    }
    if (workbook::Error e = writer->commit())
        return failed(FailureText::reason(e));
    return std::nullopt;
}

} // namespace XlsxExport
