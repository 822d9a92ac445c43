#include "tests/report/Ags4Check.h"

#include <QRegularExpression>
#include <QSet>
#include <optional>

namespace ags4check {
namespace {

// The fields of a row, or nullopt when it is not quoted fields separated by commas.
std::optional<QStringList> fieldsOf(const QByteArray& line)
{
    QStringList fields;
    qsizetype i = 0;
    while (true) {
        if (i >= line.size() || line[i] != '"')
            return std::nullopt;
        ++i;
        QByteArray field;
        while (true) {
            if (i >= line.size())
                return std::nullopt; // no closing quote
            if (line[i] == '"') {
                if (i + 1 < line.size() && line[i + 1] == '"') {
                    field.append('"');
                    i += 2;
                    continue;
                }
                ++i;
                break;
            }
            field.append(line[i++]);
        }
        fields << QString::fromUtf8(field);
        if (i == line.size())
            return fields;
        if (line[i] != ',')
            return std::nullopt;
        ++i;
    }
}

// The keys of the groups this program writes.
const QMap<QString, QStringList>& keys()
{
    static const QMap<QString, QStringList> k = {
        {"PROJ", {"PROJ_ID"}},
        {"UNIT", {"UNIT_UNIT"}},
        {"TYPE", {"TYPE_TYPE"}},
        {"ABBR", {"ABBR_HDNG", "ABBR_CODE"}},
        {"LOCA", {"LOCA_ID"}},
        {"MONG", {"LOCA_ID", "MONG_ID", "MONG_DIS"}},
        {"MOND", {"LOCA_ID", "MONG_ID", "MONG_DIS", "MOND_DTIM", "MOND_TYPE", "MOND_REF"}},
    };
    return k;
}

QString keyOf(const Group& g, const QStringList& row, const QStringList& headings)
{
    QStringList parts;
    for (const QString& h : headings)
        parts << row.value(g.column(h));
    return parts.join(QChar(0x1F));
}

// An AGS date-time format ("yyyy-mm-ddThh:mm:ss") as a pattern of digits.
QRegularExpression dtPattern(const QString& format)
{
    QString p = QRegularExpression::escape(format);
    for (const char* part : {"yyyy", "mm", "dd", "hh", "ss"})
        p.replace(QString::fromLatin1(part), QStringLiteral("\\d{%1}").arg(qstrlen(part)));
    return QRegularExpression(QStringLiteral("^") + p + QStringLiteral("$"));
}

} // namespace

const Group* File::group(const QString& name) const
{
    for (const Group& g : groups)
        if (g.name == name)
            return &g;
    return nullptr;
}

File parse(const QByteArray& bytes, QStringList* problems)
{
    File file;
    if (!bytes.endsWith("\r\n"))
        *problems << QStringLiteral("the file does not end with CR LF");
    const QList<QByteArray> lines = bytes.split('\n');
    enum class Next {
        Group,
        Heading,
        Unit,
        Type,
        Data
    } next = Next::Group;
    bool blankBefore = true;
    qsizetype count = lines.size();
    if (count > 0 && lines.back().isEmpty())
        --count; // what follows the last line feed
    for (qsizetype n = 0; n < count; ++n) {
        QByteArray line = lines[n];
        const QString where = QStringLiteral("line %1: ").arg(n + 1);
        if (!line.endsWith('\r')) {
            *problems << where + QStringLiteral("does not end with CR LF");
            continue;
        }
        line.chop(1);
        if (line.contains('\r'))
            *problems << where + QStringLiteral("a bare CR");
        if (line.isEmpty()) {
            if (next != Next::Data && next != Next::Group)
                *problems << where + QStringLiteral("a blank line inside a group's head");
            blankBefore = true;
            continue;
        }
        const std::optional<QStringList> fields = fieldsOf(line);
        if (!fields) {
            *problems << where + QStringLiteral("fields not quoted and separated by commas");
            continue;
        }
        const QString descriptor = fields->front();
        const QStringList rest = fields->mid(1);
        if (descriptor == QLatin1String("GROUP")) {
            if (next == Next::Heading || next == Next::Unit || next == Next::Type)
                *problems << where + QStringLiteral("a group's head is incomplete");
            if (!file.groups.empty() && file.groups.back().data.empty())
                *problems << where + QStringLiteral("group %1 has no DATA row").arg(file.groups.back().name);
            if (!file.groups.empty() && !blankBefore)
                *problems << where + QStringLiteral("no blank line before the group");
            const QString name = rest.value(0);
            if (rest.size() != 1 || !QRegularExpression(QStringLiteral("^[A-Z0-9]{4}$")).match(name).hasMatch())
                *problems << where + QStringLiteral("a bad group name");
            if (file.group(name))
                *problems << where + QStringLiteral("group %1 appears twice").arg(name);
            file.groups.push_back(Group{name, {}, {}, {}, {}});
            next = Next::Heading;
        } else if (file.groups.empty()) {
            *problems << where + QStringLiteral("a row before the first GROUP");
        } else {
            Group& g = file.groups.back();
            const auto expect = [&](Next wanted, const char* what) {
                if (next != wanted)
                    *problems << where + QStringLiteral("%1 row out of order in %2").arg(what, g.name);
            };
            if (descriptor == QLatin1String("HEADING")) {
                expect(Next::Heading, "HEADING");
                g.headings = rest;
                for (const QString& h : rest)
                    if (!QRegularExpression(QStringLiteral("^[A-Z0-9]{4}_[A-Z0-9]{1,4}$")).match(h).hasMatch())
                        *problems << where + QStringLiteral("a bad heading %1").arg(h);
                next = Next::Unit;
            } else if (descriptor == QLatin1String("UNIT")) {
                expect(Next::Unit, "UNIT");
                g.units = rest;
                next = Next::Type;
            } else if (descriptor == QLatin1String("TYPE")) {
                expect(Next::Type, "TYPE");
                g.types = rest;
                next = Next::Data;
            } else if (descriptor == QLatin1String("DATA")) {
                expect(Next::Data, "DATA");
                g.data.push_back(rest);
            } else {
                *problems << where + QStringLiteral("an unknown row %1").arg(descriptor);
            }
            if (rest.size() != g.headings.size())
                *problems << where + QStringLiteral("%1 fields where %2 has %3 headings").arg(rest.size()).arg(g.name).arg(g.headings.size());
        }
        blankBefore = false;
    }
    if (!file.groups.empty() && file.groups.back().data.empty())
        *problems << QStringLiteral("group %1 has no DATA row").arg(file.groups.back().name);
    return file;
}

QStringList check(const QByteArray& bytes)
{
    QStringList problems;
    const File file = parse(bytes, &problems);
    for (const char* required : {"PROJ", "TRAN", "UNIT", "TYPE"})
        if (!file.group(QString::fromLatin1(required)))
            problems << QStringLiteral("no %1 group").arg(required);
    const Group* unit = file.group(QStringLiteral("UNIT"));
    const Group* type = file.group(QStringLiteral("TYPE"));
    const Group* abbr = file.group(QStringLiteral("ABBR"));
    QSet<QString> units, types, codes;
    if (unit)
        for (const QStringList& row : unit->data)
            units.insert(row.value(unit->column(QStringLiteral("UNIT_UNIT"))));
    if (type)
        for (const QStringList& row : type->data)
            types.insert(row.value(type->column(QStringLiteral("TYPE_TYPE"))));
    if (abbr)
        for (const QStringList& row : abbr->data)
            codes.insert(row.value(abbr->column(QStringLiteral("ABBR_HDNG"))) + QLatin1Char(' ') +
                         row.value(abbr->column(QStringLiteral("ABBR_CODE"))));

    for (const Group& g : file.groups) {
        for (qsizetype c = 0; c < g.headings.size(); ++c) {
            const QString u = g.units.value(c), t = g.types.value(c);
            if (!u.isEmpty() && !units.contains(u))
                problems << QStringLiteral("unit %1 of %2 not in UNIT").arg(u, g.headings[c]);
            if (!types.contains(t))
                problems << QStringLiteral("type %1 of %2 not in TYPE").arg(t, g.headings[c]);
            const QRegularExpression dt = dtPattern(u);
            for (const QStringList& row : g.data) {
                const QString v = row.value(c);
                if (v.isEmpty())
                    continue;
                if (t == QLatin1String("PU") && !units.contains(v))
                    problems << QStringLiteral("unit %1 in %2 not in UNIT").arg(v, g.headings[c]);
                if (t == QLatin1String("PA") && !codes.contains(g.headings[c] + QLatin1Char(' ') + v))
                    problems << QStringLiteral("code %1 in %2 not in ABBR").arg(v, g.headings[c]);
                if (t == QLatin1String("DT") && !dt.match(v).hasMatch())
                    problems << QStringLiteral("%1 of %2 is not in the format %3").arg(v, g.headings[c], u);
                if (t == QLatin1String("2DP") &&
                    !QRegularExpression(QStringLiteral("^-?\\d+\\.\\d{2}$")).match(v).hasMatch())
                    problems << QStringLiteral("%1 of %2 has not two decimals").arg(v, g.headings[c]);
            }
        }
        const auto k = keys().constFind(g.name);
        if (k == keys().constEnd())
            continue;
        bool present = true;
        for (const QString& h : *k)
            if (g.column(h) < 0) {
                problems << QStringLiteral("key %1 missing from %2").arg(h, g.name);
                present = false;
            }
        if (!present)
            continue;
        QSet<QString> seen;
        for (const QStringList& row : g.data) {
            const QString key = keyOf(g, row, *k);
            if (seen.contains(key))
                problems << QStringLiteral("key repeated in %1: %2").arg(g.name, QString(key).replace(QChar(0x1F), '|'));
            seen.insert(key);
        }
    }

    // Parents: LOCA of MONG, MONG of MOND.
    const auto parentCheck = [&](const char* child, const char* parent, const QStringList& by) {
        const Group* c = file.group(QString::fromLatin1(child));
        const Group* p = file.group(QString::fromLatin1(parent));
        if (!c)
            return;
        if (!p) {
            problems << QStringLiteral("%1 without its parent group %2").arg(child, parent);
            return;
        }
        QSet<QString> parents;
        for (const QStringList& row : p->data)
            parents.insert(keyOf(*p, row, by));
        for (const QStringList& row : c->data)
            if (!parents.contains(keyOf(*c, row, by)))
                problems << QStringLiteral("a %1 row without its %2 row: %3").arg(child, parent, row.value(0));
    };
    parentCheck("MONG", "LOCA", {"LOCA_ID"});
    parentCheck("MOND", "MONG", {"LOCA_ID", "MONG_ID", "MONG_DIS"});
    return problems;
}

} // namespace ags4check
