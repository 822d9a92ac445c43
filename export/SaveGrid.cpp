#include "export/SaveGrid.h"

#include "export/CsvWriter.h"
#include "export/FailureText.h"
#include "export/XlsxExport.h"

#include <QCoreApplication>

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

QString successText() { return QCoreApplication::translate("SaveGrid", "成功保存文件，请查阅！"); }

QString failureText()
{
    return QCoreApplication::translate("SaveGrid", "保存文件失败，请检查诸如是否已打开同名文件等原因，请稍后重试！");
}

QString failureMessage(const QString& reason) { return failureText() + QLatin1Char('\n') + reason; }

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
