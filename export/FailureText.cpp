#include "export/FailureText.h"

#include "export/Automation.h"

#include <QCoreApplication>

namespace FailureText {

QString reason(workbook::ErrorKind kind, const QString& detail)
{
    using K = workbook::ErrorKind;
    switch (kind) {
    case K::NotFound: return QCoreApplication::translate("FailureText", "找不到该文件或文件夹。");
    case K::NotAFile: return QCoreApplication::translate("FailureText", "该路径是一个文件夹，不是文件。");
    case K::AccessDenied:
        return QCoreApplication::translate("FailureText", "没有该文件或文件夹的读写权限（可能是只读的位置）。");
    case K::InUse:
        return QCoreApplication::translate("FailureText",
                                           "文件正被其他程序占用（例如已在EXCEL或WPS中打开），请关闭后重试。");
    case K::DiskFull: return QCoreApplication::translate("FailureText", "磁盘空间不足。");
    case K::Io: return QCoreApplication::translate("FailureText", "读写文件时出错（%1）。").arg(detail);
    case K::NotAWorkbook:
        return QCoreApplication::translate("FailureText", "该文件不是EXCEL工作簿（.xls或.xlsx）。");
    case K::Damaged: return QCoreApplication::translate("FailureText", "工作簿文件已损坏，无法读取。");
    case K::Unsupported:
        return QCoreApplication::translate("FailureText",
                                           "不支持该工作簿的版本，请在EXCEL或WPS中另存为.xls或.xlsx格式后重试。");
    case K::Encrypted: return QCoreApplication::translate("FailureText", "工作簿设有密码保护，无法打开。");
    case K::TooLarge:
        return QCoreApplication::translate("FailureText", "文件太大，超出了工作簿格式或本程序的处理范围。");
    case K::OutOfMemory: return QCoreApplication::translate("FailureText", "内存不足。");
    case K::ReadOnly: return QCoreApplication::translate("FailureText", ".xlsx工作簿只能读取，不能修改或保存。");
    case K::BadSheetName:
        return QCoreApplication::translate("FailureText", "工作表名称不符合要求（不能为空，不能含有 : \\ / ? * [ ]）。");
    case K::DuplicateSheetName: return QCoreApplication::translate("FailureText", "工作表名称重复。");
    case K::OutOfRange: return QCoreApplication::translate("FailureText", "超出了工作表的行数或列数范围。");
    case K::BadText: return QCoreApplication::translate("FailureText", "单元格文字无效或过长。");
    case K::NoPath: return QCoreApplication::translate("FailureText", "工作簿还没有保存位置。");
    case K::None: break;
    }
    return detail.isEmpty() ? QCoreApplication::translate("FailureText", "原因不明。") : detail;
}

QString reason(const sheets::Error& error) { return reason(error.kind(), error.description()); }

QString reason(const workbook::Error& error)
{
    return reason(error.kind(), QString::fromStdString(error.description()));
}

QString templateMissing()
{
    return QCoreApplication::translate("FailureText", "找不到模板文件Data.xls，或无法读取它，请重新安装本程序。");
}

QString tooManyRows(const QString& sheetName, int rows)
{
    // One .arg() for all three, so that a "%2" in the worksheet's name stays as it is.
    return QCoreApplication::translate("FailureText", "“%1”有%2行（含标题行），超过了EXCEL(.xls)工作表最多%3行的限制，"
                                                      "无法保存！未写入任何文件。请另存为 .xlsx 或 .csv 格式。")
        .arg(sheetName, QString::number(rows), QString::number(workbook::kXlsMaxRows));
}

QString unknownFileType()
{
    return QCoreApplication::translate("FailureText", "无法保存为该文件类型，请选用 .xls、.xlsx 或 .csv 结尾的文件名。");
}

QString saveCancelled() { return QCoreApplication::translate("FailureText", "保存已取消，未写入任何文件。"); }

} // namespace FailureText
