#pragma once

#include "archive/Judgement.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTimeZone>
#include <optional>
#include <vector>

// The gauges' trigger levels as the engineer keeps them beside the gauge register: a workbook
// (.xls, .xlsx; its first worksheet) or a CSV file (read by TableFile::read), one row per level,
// whose first row names the columns, in Chinese or in English, in any order.
//
// A gauge's rows make one level set: they must agree on its baseline, on when it applies from
// and on the name of each rank. A row that names a gauge and nothing of a level (no side, rank
// or threshold) is a set without levels, which ends the gauge's levels from its instant on; it
// must be the gauge's only row. Instants (baseline, from) are written and read in `zone`, the
// PC's clock unless told otherwise: a date alone is its midnight.
namespace archive::LevelTable {

// The column names: 测点, 方向, 等级, 等级名称, 比较量, 阈值, 窗口（天）, 连续次数, 回差, 基准时间,
// 生效时间, or in English gauge, side, rank, rank name, quantity, threshold, window days,
// confirmations, dead band, baseline, from.
QStringList headers(bool english = false);

// The rows of one set, one per level in its order (one row of the gauge and its instants for a
// set without levels), as the columns of headers(): the side 上限/下限 (high/low), the
// quantity 数值/累计变化/变化速率 (value/change/rate), the window only for a rate, an instant as
// yyyy-MM-dd at midnight and yyyy-MM-dd HH:mm:ss otherwise, empty for kSinceEver.
std::vector<QStringList> toRows(const LevelSet& set, bool english = false,
                                const QTimeZone& zone = QTimeZone::systemTimeZone());

// The level sets of a table whose first row is its header, one per gauge, in the order the
// gauges first appear. Words are read in either language, numbers with a full stop; an empty
// quantity is 数值, an empty window 1 day, empty confirmations 1, an empty dead band 0, an empty
// rank name the rank's default name (or the name another row of the gauge gives it), an empty
// baseline the gauge's first judged reading, an empty "from" since ever. A row that cannot be
// read (no gauge or one the instrument cannot name, a side, rank, quantity or number that is not
// one, a rank given twice on one side, a baseline, "from" or rank name the gauge's earlier rows
// give otherwise) is described in `problems` with every field of it that cannot be read
// ("第 3 行：...；..."), and its gauge is left out: a set missing one of its levels would
// judge otherwise than the engineer meant. Rows are numbered as the operator sees them: the
// header is row `headerRow`.
std::vector<LevelSet> fromRows(const std::vector<QStringList>& rows, QStringList* problems, int headerRow = 1,
                               const QTimeZone& zone = QTimeZone::systemTimeZone());

// The CSV text of the sets (TableFile::csvText), headers first.
QByteArray toCsv(const std::vector<LevelSet>& sets, bool english = false,
                 const QTimeZone& zone = QTimeZone::systemTimeZone());

// Writes the sets to `path`, as .xlsx for a path ending so and as CSV otherwise; the file
// appears only complete. nullopt on success, else the operator's reason.
std::optional<QString> writeFile(const QString& path, const std::vector<LevelSet>& sets, bool english = false,
                                 const QTimeZone& zone = QTimeZone::systemTimeZone());

} // namespace archive::LevelTable
