#include "export/FailureText.h"

#include "export/Automation.h"

namespace FailureText {

QString reason(workbook::ErrorKind kind, const QString& detail)
{
    using K = workbook::ErrorKind;
    switch (kind) {
    case K::NotFound: return QStringLiteral("找不到该文件或文件夹。");
    case K::NotAFile: return QStringLiteral("该路径是一个文件夹，不是文件。");
    case K::AccessDenied: return QStringLiteral("没有该文件或文件夹的读写权限（可能是只读的位置）。");
    case K::InUse: return QStringLiteral("文件正被其他程序占用（例如已在EXCEL或WPS中打开），请关闭后重试。");
    case K::DiskFull: return QStringLiteral("磁盘空间不足。");
    case K::Io: return QStringLiteral("读写文件时出错（%1）。").arg(detail);
    case K::NotAWorkbook: return QStringLiteral("该文件不是EXCEL工作簿（.xls或.xlsx）。");
    case K::Damaged: return QStringLiteral("工作簿文件已损坏，无法读取。");
    case K::Unsupported: return QStringLiteral("不支持该工作簿的版本，请在EXCEL或WPS中另存为.xls或.xlsx格式后重试。");
    case K::Encrypted: return QStringLiteral("工作簿设有密码保护，无法打开。");
    case K::TooLarge: return QStringLiteral("文件太大，超出了工作簿格式或本程序的处理范围。");
    case K::OutOfMemory: return QStringLiteral("内存不足。");
    case K::ReadOnly: return QStringLiteral(".xlsx工作簿只能读取，不能修改或保存。");
    case K::BadSheetName: return QStringLiteral("工作表名称不符合要求（不能为空，不能含有 : \\ / ? * [ ]）。");
    case K::DuplicateSheetName: return QStringLiteral("工作表名称重复。");
    case K::OutOfRange: return QStringLiteral("超出了工作表的行数或列数范围。");
    case K::BadText: return QStringLiteral("单元格文字无效或过长。");
    case K::NoPath: return QStringLiteral("工作簿还没有保存位置。");
    case K::None: break;
    }
    return detail.isEmpty() ? QStringLiteral("原因不明。") : detail;
}

QString reason(const sheets::Error& error) { return reason(error.kind(), error.description()); }

QString reason(const workbook::Error& error)
{
    return reason(error.kind(), QString::fromStdString(error.description()));
}

QString templateMissing() { return QStringLiteral("找不到模板文件Data.xls，或无法读取它，请重新安装本程序。"); }

QString tooManyRows(const QString& sheetName, int rows)
{
    return QStringLiteral("“%1”有%2行（含标题行），超过了EXCEL(.xls)工作表最多%3行的限制，无法保存！未写入任何文件。请另存为 .xlsx 或 .csv 格式。")
        .arg(sheetName)
        .arg(rows)
        .arg(workbook::kXlsMaxRows);
}

QString saveCancelled() { return QStringLiteral("保存已取消，未写入任何文件。"); }

} // namespace FailureText
