#include "archive/Monitoring.h"

#include "platform/ComponentRules.h"

#include <algorithm>

namespace archive {

ComponentNames componentNamesOfReply(const QString& partition, const QString& reply)
{
    ComponentNames out;
    out.partition = partition;
    // Lines end in CR LF; a lone LF is taken as a line end too. A line is kept only when it
    // holds a code of this partition and a name the instrument can hold: anything else (the
    // bare CR LF of an empty list, a line garbled on the wire) names no slot. A code listed
    // twice keeps its first name.
    for (QStringView line : QStringView(reply).split(QLatin1Char('\n'))) {
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq < 0)
            continue;
        const QString code = line.left(eq).trimmed().toString();
        const QString name = line.mid(eq + 1).trimmed().toString();
        if (!ComponentRules::isCode(code) || !ComponentRules::isName(name))
            continue;
        if (!partition.isEmpty() && code.at(0) != partition.at(0).toUpper())
            continue;
        if (std::any_of(out.entries.begin(), out.entries.end(), [&](const auto& e) { return e.first == code; }))
            continue;
        out.entries.emplace_back(code, name);
    }
    return out;
}

const ComponentNames* ComponentNamesCache::find(const QString& partition) const
{
    for (const ComponentNames& n : m_lists)
        if (n.partition == partition)
            return &n;
    return nullptr;
}

void ComponentNamesCache::keep(ComponentNames names)
{
    for (ComponentNames& n : m_lists)
        if (n.partition == names.partition) {
            n = std::move(names);
            return;
        }
    m_lists.push_back(std::move(names));
}

void ComponentNamesCache::forget(const QString& partition)
{
    std::erase_if(m_lists, [&](const ComponentNames& n) { return n.partition == partition; });
}

void ComponentNamesCache::clear() { m_lists.clear(); }

} // namespace archive
