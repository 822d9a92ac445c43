#include "cli/ComponentInput.h"

#include "editor/ComponentImport.h"
#include "export/Automation.h"
#include "export/FailureText.h"
#include "grids/PreviewGrid.h"

#include <QCoreApplication>
#include <QFile>
#include <QIODevice>

namespace cli {

namespace {
QString tooLong()
{
    return QCoreApplication::translate("cli::ComponentInput", "元件编号列表超过 %1 行，请分开写入！")
        .arg(kMaxListEntries);
}

// Reading stops here: no list the editor takes is anywhere near this long.
constexpr qint64 kMaxListBytes = 1024 * 1024;
} // namespace

bool isWorkbookList(const QString& list)
{
    return list.endsWith(QLatin1String(".xls"), Qt::CaseInsensitive) || list.endsWith(QLatin1String(".xlsx"), Qt::CaseInsensitive);
}

std::optional<QString> fillFromLines(PreviewGrid& grid, const QByteArray& text)
{
    PreviewGrid::Batch batch(grid);
    ComponentList::reset(grid);
    int row = 0;
    const QList<QByteArray> lines = text.split('\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        QByteArray line = lines[i];
        if (line.endsWith('\r'))
            line.chop(1);
        const QString entry = QString::fromUtf8(line);
        // Blank lines are left out, as the editor leaves out empty cells.
        if (entry.trimmed().isEmpty())
            continue;
        if (row == kMaxListEntries)
            return tooLong();
        ++row;
        grid.setRows(row + 1);
        grid.setText(row, 0, QString::number(row));
        grid.setText(row, 1, entry);
    }
    return std::nullopt;
}

std::optional<QString> loadComponentList(const QString& list, PreviewGrid& grid, const sheets::Servers& servers,
                                         QIODevice& standardInput)
{
    if (list == QLatin1String("-")) {
        const QByteArray text = standardInput.read(kMaxListBytes + 1);
        if (text.size() > kMaxListBytes)
            return tooLong();
        return fillFromLines(grid, text);
    }
    if (!isWorkbookList(list)) {
        QFile file(list);
        if (!file.open(QIODevice::ReadOnly))
            return ComponentImport::failureText(FailureText::reason(file.exists() ? workbook::ErrorKind::AccessDenied
                                                                                  : workbook::ErrorKind::NotFound));
        const QByteArray text = file.read(kMaxListBytes + 1);
        if (text.size() > kMaxListBytes)
            return tooLong();
        return fillFromLines(grid, text);
    }
    // The editor's import through the program's own engine: its first worksheet.
    ComponentImport import(servers);
    std::optional<QString> failure = import.open(sheets::kBuiltin, list);
    if (!failure)
        failure = import.fill(grid, 0);
    return failure;
}

ListCheck checkList(const PreviewGrid& grid, const QString& partition)
{
    ListCheck result;
    if (const std::optional<ComponentList::Fault> fault = ComponentList::check(grid, result.entries)) {
        result.entries.clear();
        result.fault = fault->message;
        return result;
    }
    if (result.entries.empty()) {
        // Nothing to write is not a write that succeeded.
        result.fault = ComponentList::emptyText();
        return result;
    }
    for (size_t i = 0; i < result.entries.size(); ++i) {
        if (!result.entries[i].code.startsWith(partition)) {
            result.fault =
                QCoreApplication::translate("cli::ComponentInput", "第%1行元件编号 %2 不属于分区 %3，请检查修正！")
                    .arg(QString::number(i + 1), result.entries[i].code, partition);
            result.entries.clear();
            return result;
        }
    }
    return result;
}

} // namespace cli
