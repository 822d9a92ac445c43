#include "app/LevelsForm.h"

#include <QCoreApplication>

using namespace archive;

namespace {

struct Texts {
    Q_DECLARE_TR_FUNCTIONS(LevelsForm)
};

} // namespace

namespace LevelsForm {

QStringList targets(const std::vector<GaugeInfo>& reg, const QString& gauge, Scope scope)
{
    const auto own = std::find_if(reg.begin(), reg.end(), [&](const GaugeInfo& g) { return g.name == gauge; });
    if (own == reg.end() || scope == Scope::Gauge)
        return {gauge};
    const QString key = scope == Scope::Type ? own->type : own->site;
    if (key.isEmpty())
        return {gauge};
    QStringList out;
    for (const GaugeInfo& g : reg)
        if ((scope == Scope::Type ? g.type : g.site) == key)
            out << g.name;
    return out;
}

std::vector<LevelSet> setsFor(const LevelSet& model, const QStringList& gauges)
{
    std::vector<LevelSet> out;
    out.reserve(std::size_t(gauges.size()));
    for (const QString& g : gauges) {
        LevelSet s = model;
        s.id = 0;
        s.gauge = g;
        s.enteredAt = {};
        s.enteredBy.clear();
        out.push_back(std::move(s));
    }
    return out;
}

QString summary(const LevelSet& set, const QString& unit, bool english)
{
    if (set.levels.empty())
        return Texts::tr("无触发值");
    QStringList parts;
    for (int i = 0; i < int(set.levels.size()); ++i)
        parts << levelText(set, i, unit, english);
    return parts.join(Texts::tr("；"));
}

} // namespace LevelsForm
