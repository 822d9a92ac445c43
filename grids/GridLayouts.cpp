#include "grids/GridLayouts.h"

#include "grids/PreviewGrid.h"
#include "grids/ReadingLayout.h"
#include "platform/WireText.h"

#include <QByteArrayView>
#include <cstring>
#include <utility>
#include <vector>

namespace grids {

namespace {

// Calls onLine(offset, length) for every CR LF-terminated line of text; what follows the
// last CR LF is ignored. Returns the number of lines.
template <typename F>
int forEachTerminatedLine(const char* data, qsizetype size, F&& onLine)
{
    qsizetype start = 0;
    int count = 0;
    for (qsizetype pos = start; pos + 1 < size;) {
        const void* hit = std::memchr(data + pos, '\r', size_t(size - pos - 1));
        if (!hit)
            break;
        const qsizetype cr = static_cast<const char*>(hit) - data;
        if (data[cr + 1] != '\n') {
            pos = cr + 1; // a lone CR belongs to the line
            continue;
        }
        onLine(start, cr - start);
        ++count;
        start = pos = cr + 2;
    }
    return count;
}

int countTerminatedLines(const QByteArray& text)
{
    return forEachTerminatedLine(text.constData(), text.size(), [](qsizetype, qsizetype) {});
}

} // namespace

void setLayout(PreviewGrid& grid, const QStringList& headers, const QList<int>& widthsTwips)
{
    grid.setCols(int(headers.size()));
    if (grid.rows() < 1)
        grid.setRows(1);
    for (int c = 0; c < headers.size(); ++c) {
        grid.setText(0, c, headers[c]);
        grid.setColWidth(c, widthsTwips.value(c, -1));
    }
    grid.setRowHeight(0, 300);
    grid.setRows(1);
}

void Ini_Grid(PreviewGrid& grid)
{
    setLayout(grid, ReadingLayout::headers(), {1400, 800, 600, 1400});
}

namespace {
void fillUtf8(PreviewGrid& grid, QByteArray text);
} // namespace

void FillGrid(PreviewGrid& grid, const QString& reply) { fillUtf8(grid, reply.toUtf8()); }

void FillGridFromWire(PreviewGrid& grid, QByteArray wire) { fillUtf8(grid, WireText::toUtf8(std::move(wire))); }

namespace {

void fillUtf8(PreviewGrid& grid, QByteArray text)
{
    // CR, LF and space are single bytes in UTF-8 as on the line.
    PreviewGrid::Batch batch(grid);
    const int lines = countTerminatedLines(text);

    const qsizetype replySize = text.size();

    // The reply itself becomes the grid's text store (this also clears every cell); the
    // cells of each record are slices of it.
    grid.adoptArena(std::move(text));
    Ini_Grid(grid);
    grid.setRows(1 + lines);

    const char* data = grid.arena().constData();
    int row = 0;
    forEachTerminatedLine(data, replySize, [&](qsizetype start, qsizetype length) {
        ++row;
        if (length == 0)
            return; // an empty line has no fields: an empty row
        // Field boundaries: at most 6 are needed to decide the placement.
        qsizetype fieldStart[6];
        qsizetype fieldEnd[6];
        int n = 0;
        qsizetype s = start;
        const qsizetype end = start + length;
        while (true) {
            const void* hit = std::memchr(data + s, ' ', size_t(end - s));
            const qsizetype e = hit ? static_cast<const char*>(hit) - data : end;
            if (n < 6) {
                fieldStart[n] = s;
                fieldEnd[n] = e;
            }
            ++n;
            if (!hit)
                break;
            s = e + 1;
        }
        // Placement: the last field of a line with two or more fields joins the field
        // before it; with six or more fields that join falls outside the four columns and
        // only the first four fields show.
        const int last = n - 1;
        for (int j = 0; j < std::min(n, 4); ++j) {
            if (j == last - 1 && last >= 1 && last <= 4)
                grid.setSlice(row, j, fieldStart[j], fieldEnd[last] - fieldStart[j]);
            else if (j != last || j == 0)
                grid.setSlice(row, j, fieldStart[j], fieldEnd[j] - fieldStart[j]);
        }
    });
}

} // namespace

void Ini_YJ_Grid(PreviewGrid& grid)
{
    setLayout(grid, {QStringLiteral("序号"), QStringLiteral("元件名")}, {500, 3000});
}

void FillYJGrid(PreviewGrid& grid, const QString& reply)
{
    PreviewGrid::Batch batch(grid);
    QByteArray text = reply.toUtf8();
    const int lines = countTerminatedLines(text);

    const qsizetype replySize = text.size();

    grid.adoptArena(std::move(text));
    Ini_YJ_Grid(grid);
    grid.setRows(1 + lines);
    // The numbers are appended to the arena, which may move it: take slices by offset only.
    std::vector<std::pair<qsizetype, qsizetype>> entries;
    entries.reserve(size_t(lines));
    forEachTerminatedLine(grid.arena().constData(), replySize,
                          [&](qsizetype start, qsizetype length) { entries.emplace_back(start, length); });
    for (int row = 1; row <= int(entries.size()); ++row) {
        grid.setText(row, 0, QString::number(row));
        grid.setSlice(row, 1, entries[size_t(row - 1)].first, entries[size_t(row - 1)].second);
    }
}

} // namespace grids
