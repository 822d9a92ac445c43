#include "app/QualityRulesRows.h"

#include <QCoreApplication>
#include <QSet>

using namespace archive;

namespace {

struct Texts {
    Q_DECLARE_TR_FUNCTIONS(QualityRulesRows)
};

// What the empty type is shown as: the rules of every type without rules of its own.
QString otherTypes() { return Texts::tr("其他类型"); }

QString number(double v) { return QString::number(v, 'g', 10); }

} // namespace

namespace QualityRulesRows {

QStringList headers()
{
    return {Texts::tr("类型"), Texts::tr("频率下限 (Hz)"), Texts::tr("频率上限 (Hz)"), Texts::tr("温度下限 (°C)"),
            Texts::tr("温度上限 (°C)"), Texts::tr("最大温度跳变 (°C)"), Texts::tr("台阶倍数"), Texts::tr("离散窗口（次）")};
}

QStringList toRow(const QualityRules& r)
{
    return {r.type.isEmpty() ? otherTypes() : r.type,
            number(r.minHz),
            number(r.maxHz),
            number(r.minC),
            number(r.maxC),
            number(r.maxJumpC),
            number(r.stepFactor),
            QString::number(r.scatterWindow)};
}

std::vector<QualityRules> fromRows(const std::vector<QStringList>& rows, QStringList* problems)
{
    std::vector<QualityRules> out;
    QStringList found;
    QSet<QString> types;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const QStringList& row = rows[i];
        const auto cell = [&](int c) { return row.value(c).trimmed(); };
        bool blank = true;
        for (int c = 0; c < row.size(); ++c)
            blank = blank && cell(c).isEmpty();
        if (blank)
            continue;
        const QString where = Texts::tr("第 %1 行").arg(i + 1);
        QualityRules r;
        r.type = cell(0) == otherTypes() ? QString() : cell(0);
        double* fields[] = {&r.minHz, &r.maxHz, &r.minC, &r.maxC, &r.maxJumpC, &r.stepFactor};
        bool ok = true;
        for (int c = 1; c <= 6 && ok; ++c) {
            *fields[c - 1] = cell(c).toDouble(&ok);
            if (!ok)
                found << Texts::tr("%1：“%2”不是数值（%3）").arg(where, cell(c), headers()[c]);
        }
        if (!ok)
            continue;
        r.scatterWindow = cell(7).toInt(&ok);
        if (!ok) {
            found << Texts::tr("%1：“%2”不是整数（%3）").arg(where, cell(7), headers()[7]);
            continue;
        }
        if (const QString why = qualityRulesProblem(r); !why.isEmpty()) {
            found << Texts::tr("%1：%2").arg(where, why);
            continue;
        }
        if (types.contains(r.type)) {
            found << Texts::tr("%1：类型“%2”重复").arg(where, r.type.isEmpty() ? otherTypes() : r.type);
            continue;
        }
        types.insert(r.type);
        out.push_back(r);
    }
    if (problems)
        *problems = found;
    if (!found.isEmpty())
        return {};
    return out;
}

} // namespace QualityRulesRows
