#pragma once

#include "archive/Judgement.h"
#include "archive/Monitoring.h"

#include <QString>
#include <QStringList>
#include <vector>

// What the trigger levels editor does apart from its widgets: which gauges a set is given to,
// the sets it saves, and a version in one line.
namespace LevelsForm {

// To whom the levels edited apply: the gauge alone, every gauge of its type, every gauge of its site.
enum class Scope {
    Gauge,
    Type,
    Site,
};

// The gauges of `scope` around `gauge`, in the register's order, `gauge` always among them. A
// gauge without a type (or site) has no others of its type (site): only itself.
QStringList targets(const std::vector<archive::GaugeInfo>& reg, const QString& gauge, Scope scope);

// `model` for each of `gauges`, its gauge's name replaced and its id and entry cleared.
std::vector<archive::LevelSet> setsFor(const archive::LevelSet& model, const QStringList& gauges);

// The levels of a set in one line, "预警：数值 ≥ 5 kPa；报警：…", or "无触发值" for a set that
// ends the levels.
QString summary(const archive::LevelSet& set, const QString& unit, bool english = false);

// The row of the editor's table that holds a side's rank (0..2 上限 1..3, 3..5 下限 1..3).
constexpr int kRows = 2 * archive::kMaxRank;
inline int rowOf(archive::LevelSide side, int rank)
{
    return (side == archive::LevelSide::High ? 0 : archive::kMaxRank) + rank - 1;
}

} // namespace LevelsForm
