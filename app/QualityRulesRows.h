#pragma once

#include "archive/Judgement.h"

#include <QStringList>
#include <vector>

// The quality rules as the rules dialog's grid shows them, a row of texts per type: 类型 (the
// empty type shown as 其他类型), 频率下限 (Hz), 频率上限 (Hz), 温度下限 (°C), 温度上限 (°C),
// 最大温度跳变 (°C), 台阶倍数, 离散窗口（次）.
namespace QualityRulesRows {

QStringList headers();
QStringList toRow(const archive::QualityRules& rules);
// The rules of every row, or nothing when any row cannot be read (its number from 1 and the
// reason in `problems`): a number that is not one, qualityRulesProblem, a type given twice.
// Empty rows are skipped.
std::vector<archive::QualityRules> fromRows(const std::vector<QStringList>& rows, QStringList* problems);

} // namespace QualityRulesRows
