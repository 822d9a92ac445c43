#include "app/PreviewMarks.h"

#include "grids/PreviewGrid.h"
#include "grids/ReadingLayout.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QHash>
#include <optional>
#include <utility>

void PreviewMarks::mark(const PreviewGrid& grid, const QString& partition,
                        const std::vector<archive::MarkedRecord>& marked)
{
    m_rows.clear();
    if (marked.empty() || !ReadingLayout::applies(grid))
        return;
    // By code first: most records of a copy have a code no marked record has, and are passed
    // over without reading their time.
    QHash<QByteArray, QHash<std::pair<QByteArray, qint64>, Mark>> byCode;
    for (const archive::MarkedRecord& m : marked) {
        if (m.partition != partition)
            continue;
        Mark& to = byCode[m.code.toUtf8()][{m.file.toUtf8(), m.time}];
        to.status = std::max(to.status, m.status);
        to.flags |= m.flags;
    }
    if (byCode.isEmpty())
        return;
    ReadingLayout::Records records(grid);
    ReadingLayout::Record r;
    while (records.next(r)) {
        const auto code = byCode.constFind(QByteArray::fromRawData(r.code.data(), r.code.size()));
        if (code == byCode.constEnd())
            continue;
        const std::optional<qint64> time = ReadingLayout::timeOf(r.time);
        if (!time)
            continue;
        const auto found = code->constFind({QByteArray::fromRawData(r.file.data(), r.file.size()), *time});
        if (found != code->constEnd())
            m_rows.emplace(records.row(), *found);
    }
}

const PreviewMarks::Mark* PreviewMarks::at(int row) const
{
    const auto it = m_rows.find(row);
    return it == m_rows.end() ? nullptr : &it->second;
}

QString PreviewMarks::toolTip(const Mark& mark)
{
    QStringList lines;
    if (mark.status > 0)
        //: %1 the rank reached ("报警")
        lines << QCoreApplication::translate("PreviewMarks", "状态：%1").arg(archive::statusName(nullptr, mark.status));
    if (mark.flags != 0)
        lines << QCoreApplication::translate("PreviewMarks", "质量标记：%1").arg(archive::flagsText(mark.flags));
    return lines.join(QLatin1Char('\n'));
}
