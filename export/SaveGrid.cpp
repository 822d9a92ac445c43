#include "export/SaveGrid.h"

#include "export/CsvWriter.h"
#include "export/FailureText.h"
#include "export/XlsxExport.h"

namespace SaveGrid {

FileType fileType(const QString& path)
{
    const auto ends = [&](QLatin1String ending) {
        return path.size() > ending.size() && path.endsWith(ending, Qt::CaseInsensitive);
    };
    if (ends(QLatin1String(".xls")))
        return FileType::Xls;
    if (ends(QLatin1String(".xlsx")))
        return FileType::Xlsx;
    if (ends(QLatin1String(".csv")))
        return FileType::Csv;
    return FileType::Unknown;
}

} // namespace SaveGrid

SaveResult saveGrid(const PreviewGrid& grid, const QString& path, const SaveGrid::Options& options)
{
    switch (SaveGrid::fileType(path)) {
    case SaveGrid::FileType::Xls:
        if (const std::optional<SheetWriter::TooLong> tooLong = SheetWriter::tooLongForXls(grid))
            return SaveFailure{SaveFailure::Kind::Refused, FailureText::tooManyRows(tooLong->name, tooLong->rows)};
        if (!options.servers)
            return SaveFailure{SaveFailure::Kind::Failed, FailureText::reason(workbook::ErrorKind::None)};
        return SheetWriter::save(grid, *options.servers, options.server, options.failurePath, options.templatePath,
                                 path, options.cancel);
    case SaveGrid::FileType::Xlsx: return XlsxExport::save(grid, path, options.cancel);
    case SaveGrid::FileType::Csv: return CsvWriter::save(grid, path, options.cancel);
    case SaveGrid::FileType::Unknown: break;
    }
    return SaveFailure{SaveFailure::Kind::Refused, FailureText::unknownFileType()};
}
