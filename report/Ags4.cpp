#include "report/Ags4.h"

#include "export/NumberText.h"
#include "report/ReadingFile.h"
#include "report/ReportTexts.h"

#include <QHash>
#include <QSet>
#include <QStringList>
#include <cmath>
#include <map>
#include <vector>

namespace report {
namespace {

constexpr const char* kAgsEdition = "4.0.4";
constexpr const char* kDateFormat = "yyyy-mm-dd";
constexpr const char* kTimeFormat = "yyyy-mm-ddThh:mm:ss";
constexpr const char* kDegree = "DegC";

// The codes of the readings' quantities (MOND_TYPE).
constexpr const char* kFrequency = "FREQ";
constexpr const char* kTemperature = "TEMP";
constexpr const char* kValue = "VAL";

struct Heading {
    const char* name;
    const char* unit;
    const char* type;
};

// The groups' headings, in the order of the AGS4 dictionary, with their units and data types.
const std::vector<Heading> kProj = {{"PROJ_ID", "", "ID"}, {"PROJ_NAME", "", "X"}, {"PROJ_MEMO", "", "X"}};
const std::vector<Heading> kTran = {{"TRAN_ISNO", "", "X"}, {"TRAN_DATE", kDateFormat, "DT"}, {"TRAN_PROD", "", "X"}, {"TRAN_STAT", "", "X"}, {"TRAN_DESC", "", "X"}, {"TRAN_AGS", "", "X"}, {"TRAN_RECV", "", "X"}, {"TRAN_DLIM", "", "X"}, {"TRAN_RCON", "", "X"}, {"TRAN_REM", "", "X"}};
const std::vector<Heading> kUnit = {{"UNIT_UNIT", "", "X"}, {"UNIT_DESC", "", "X"}};
const std::vector<Heading> kType = {{"TYPE_TYPE", "", "X"}, {"TYPE_DESC", "", "X"}};
const std::vector<Heading> kAbbr = {
    {"ABBR_HDNG", "", "X"}, {"ABBR_CODE", "", "X"}, {"ABBR_DESC", "", "X"}, {"ABBR_LIST", "", "X"}};
const std::vector<Heading> kLoca = {{"LOCA_ID", "", "ID"}, {"LOCA_REM", "", "X"}};
const std::vector<Heading> kMong = {{"LOCA_ID", "", "ID"}, {"MONG_ID", "", "X"}, {"MONG_DIS", "m", "2DP"}, {"MONG_DATE", kDateFormat, "DT"}, {"MONG_TYPE", "", "PA"}, {"MONG_DETL", "", "X"}, {"MONG_REM", "", "X"}};
const std::vector<Heading> kMond = {{"LOCA_ID", "", "ID"}, {"MONG_ID", "", "X"}, {"MONG_DIS", "m", "2DP"}, {"MOND_DTIM", kTimeFormat, "DT"}, {"MOND_TYPE", "", "PA"}, {"MOND_REF", "", "X"}, {"MOND_INST", "", "X"}, {"MOND_RDNG", "", "XN"}, {"MOND_UNIT", "", "PU"}, {"MOND_REM", "", "X"}};

// The data types the file uses, with what they mean.
struct TypeText {
    const char* type;
    const char* description;
};
const std::vector<TypeText> kTypes = {{"2DP", "Value; required number of decimal places, 2"},
                                      {"DT", "Date time in international format"},
                                      {"ID", "Unique identifier"},
                                      {"PA", "Text listed in ABBR group"},
                                      {"PU", "Text listed in UNIT group"},
                                      {"X", "Text"},
                                      {"XN", "Text or numeric"}};

// The gauge types the register offers, with a code of their own for MONG_TYPE.
struct GaugeType {
    const char* chinese;
    const char* english;
    const char* code;
};
const std::vector<GaugeType> kGaugeTypes = {
    {"渗压计", "piezometer", "VWP"}, {"应变计", "strain gauge", "VWSG"}, {"裂缝计", "crack meter", "VWCM"}, {"测力计", "load cell", "VWLC"}, {"位移计", "displacement meter", "VWDM"}, {"温度计", "thermometer", "VWTH"}};

// A field as AGS4 quotes it: in double quotes, a quote inside doubled. A line break would end the
// row in the middle, so it becomes a space.
void appendField(QByteArray& out, const QString& text)
{
    out.append('"');
    for (const char c : text.toUtf8()) {
        if (c == '"')
            out.append("\"\"");
        else if (c == '\r' || c == '\n')
            out.append(' ');
        else
            out.append(c);
    }
    out.append('"');
}

void appendRow(QByteArray& out, const char* descriptor, const QStringList& fields)
{
    out.append('"').append(descriptor).append('"');
    for (const QString& f : fields) {
        out.append(',');
        appendField(out, f);
    }
    out.append("\r\n");
}

// GROUP, HEADING, UNIT and TYPE rows; a blank line before every group but the first.
void appendGroupHead(QByteArray& out, const char* group, const std::vector<Heading>& headings, bool first)
{
    if (!first)
        out.append("\r\n");
    appendRow(out, "GROUP", {QString::fromLatin1(group)});
    QStringList names, units, types;
    for (const Heading& h : headings) {
        names << QString::fromLatin1(h.name);
        units << QString::fromLatin1(h.unit);
        types << QString::fromLatin1(h.type);
    }
    appendRow(out, "HEADING", names);
    appendRow(out, "UNIT", units);
    appendRow(out, "TYPE", types);
}

QString number(double value)
{
    NumberBuffer chars;
    const std::string_view text = formatNumber(value, chars);
    return QString::fromLatin1(text.data(), qsizetype(text.size()));
}

// A unit as AGS4 spells it, in ASCII: the degree Celsius as "DegC" (the AGS unit list's spelling;
// "°C" and "℃" are not ASCII), the micro prefix as "u", a strain as "ustrain".
QString asciiUnit(const QString& unit)
{
    QString u = unit.trimmed();
    if (u == QStringLiteral("°C") || u == QStringLiteral("℃") || u.compare(QStringLiteral("degC"), Qt::CaseInsensitive) == 0)
        return QString::fromLatin1(kDegree);
    u.replace(QChar(0x03BC), QLatin1Char('u')); // Greek mu
    u.replace(QChar(0x00B5), QLatin1Char('u')); // micro sign
    u.replace(QChar(0x03B5), QStringLiteral("strain"));
    return u;
}

QString unitDescription(const QString& unit, const Texts& texts)
{
    if (unit == QLatin1String("Hz"))
        return texts(QT_TRANSLATE_NOOP("Report", "赫兹（振弦频率）"));
    if (unit == QLatin1String(kDegree))
        return texts(QT_TRANSLATE_NOOP("Report", "摄氏度"));
    if (unit == QLatin1String("m"))
        return texts(QT_TRANSLATE_NOOP("Report", "米"));
    if (unit == QLatin1String(kDateFormat))
        return texts(QT_TRANSLATE_NOOP("Report", "年-月-日"));
    if (unit == QLatin1String(kTimeFormat))
        return texts(QT_TRANSLATE_NOOP("Report", "年-月-日T时:分:秒（UTC）"));
    return unit; // a gauge's own unit ("kPa", "mm") says what it is
}

// The codes of the gauges' types: the register's types by their own codes, another type by its
// text when that is a short code of letters and digits, else TYPE1, TYPE2, ... by first use.
class TypeCodes {
public:
    TypeCodes(const std::vector<GaugeReport>& gauges, bool english)
    {
        for (const GaugeReport& g : gauges) {
            const QString type = g.info.type.trimmed();
            if (type.isEmpty() || m_code.contains(type))
                continue;
            QString code, description = type;
            for (const GaugeType& known : kGaugeTypes)
                if (type == QString::fromUtf8(known.chinese) || type.compare(QLatin1String(known.english), Qt::CaseInsensitive) == 0) {
                    code = QString::fromLatin1(known.code);
                    description = english ? QString::fromLatin1(known.english) : QString::fromUtf8(known.chinese);
                }
            if (code.isEmpty() && isCode(type))
                code = type.toUpper();
            for (int n = 1; code.isEmpty() || m_used.contains(code); ++n)
                code = QStringLiteral("TYPE%1").arg(n);
            m_used.insert(code);
            m_code.insert(type, code);
            m_order.push_back({code, description});
        }
    }
    QString code(const QString& type) const { return m_code.value(type.trimmed()); }
    const std::vector<std::pair<QString, QString>>& all() const { return m_order; }

private:
    static bool isCode(const QString& s)
    {
        if (s.size() > 10)
            return false;
        for (const QChar c : s)
            if (!(c.isDigit() || (c.unicode() < 128 && c.isLetter())))
                return false;
        return true;
    }
    QHash<QString, QString> m_code;
    QSet<QString> m_used;
    std::vector<std::pair<QString, QString>> m_order;
};

// The remarks of a reading: its status when above normal, its quality flags and its mask.
QString remarks(const GaugeReport& g, std::size_t i, const reading::Masks& masks, const Texts& texts)
{
    const archive::History::Trend& t = g.trend;
    const bool english = texts.english();
    QStringList parts;
    if (i < t.status.size() && t.status[i] > 0) {
        const QString name = reading::status(g, i, english);
        if (!name.isEmpty())
            parts << texts(QT_TRANSLATE_NOOP("Report", "状态：%1")).arg(name);
    }
    if (i < t.flags.size() && t.flags[i] != 0)
        parts << texts(QT_TRANSLATE_NOOP("Report", "质量标记：%1")).arg(archive::flagsText(t.flags[i], english));
    if (i < t.masked.size() && t.masked[i]) {
        const qint64 at = i < t.utc.size() ? t.utc[i] : t.time[i];
        const std::optional<QString> note = masks.note(g.info.name, at);
        if (note && !note->trimmed().isEmpty())
            parts << texts(QT_TRANSLATE_NOOP("Report", "已屏蔽：%1")).arg(note->trimmed());
        else
            parts << texts(QT_TRANSLATE_NOOP("Report", "已屏蔽"));
    }
    return parts.join(english ? QStringLiteral("; ") : QStringLiteral("；"));
}

// What the readings of the file hold, known before any of them is written: the quantities and
// the units of their values.
struct Used {
    bool frequency = false;
    bool temperature = false;
    bool value = false;
    QStringList valueUnits; // in first use
    qint64 readings = 0;
};

Used usedBy(const std::vector<GaugeReport>& gauges)
{
    Used used;
    for (const GaugeReport& g : gauges) {
        const archive::History::Trend& t = g.trend;
        for (std::size_t i = 0; i < t.value.size(); ++i) {
            ++used.readings;
            used.frequency = used.frequency || reading::frequency(g, i).has_value();
            used.temperature = used.temperature || (i < t.temperature.size() && std::isfinite(t.temperature[i]));
            if (t.converted && std::isfinite(t.value[i])) {
                used.value = true;
                const QString unit = asciiUnit(g.unit);
                if (!unit.isEmpty() && !used.valueUnits.contains(unit))
                    used.valueUnits << unit;
            }
        }
    }
    return used;
}

} // namespace

WriteResult writeAgs4(const QString& path, const Content& content, const Progress& progress)
{
    const Texts texts(content.request.language);
    const bool english = texts.english();
    const qint64 total = qint64(content.gauges.size());
    if (progress && !progress(0, total)) {
        WriteResult cancelled;
        cancelled.cancelled = true;
        return cancelled;
    }
    const Used used = usedBy(content.gauges);
    const TypeCodes typeCodes(content.gauges, english);
    const reading::Masks masks(content);
    const bool anyGauge = !content.gauges.empty();

    return reading::writeReplacing(path, [&](reading::Pieces& pieces) {
        QByteArray& out = pieces.buffer();

        // PROJ: the site (or, without one, the report's title) as the project.
        appendGroupHead(out, "PROJ", kProj, true);
        const QString project = content.site.name.isEmpty() ? content.title : content.site.name;
        appendRow(out, "DATA", {project, content.title, content.request.remarks});

        // TRAN: this transfer, its period and its maker.
        appendGroupHead(out, "TRAN", kTran, false);
        const QString period = texts(QT_TRANSLATE_NOOP("Report", "%1：%2 至 %3（UTC）"))
                                   .arg(content.title,
                                        reading::utcText(content.request.period.fromUtc, QStringLiteral("yyyy-MM-dd HH:mm")),
                                        reading::utcText(content.request.period.toUtc, QStringLiteral("yyyy-MM-dd HH:mm")));
        const QString made = texts(QT_TRANSLATE_NOOP("Report", "KTM-520 数据管理程序 %1；时间均为 UTC"))
                                 .arg(content.programVersion);
        appendRow(out, "DATA",
                  {QStringLiteral("1"), content.madeAt.toUTC().toString(QStringLiteral("yyyy-MM-dd")), content.madeBy,
                   QString(), period, QString::fromLatin1(kAgsEdition), QString(), QStringLiteral("+"),
                   QStringLiteral("+"), made});

        // UNIT: every unit of a UNIT row and of MOND_UNIT.
        QStringList units;
        const auto addUnit = [&](const QString& u) {
            if (!u.isEmpty() && !units.contains(u))
                units << u;
        };
        addUnit(QString::fromLatin1(kDateFormat));
        if (anyGauge) {
            addUnit(QStringLiteral("m"));
            if (used.readings > 0)
                addUnit(QString::fromLatin1(kTimeFormat));
        }
        if (used.frequency)
            addUnit(QStringLiteral("Hz"));
        if (used.temperature)
            addUnit(QString::fromLatin1(kDegree));
        for (const QString& u : used.valueUnits)
            addUnit(u);
        appendGroupHead(out, "UNIT", kUnit, false);
        for (const QString& u : units)
            appendRow(out, "DATA", {u, unitDescription(u, texts)});

        // TYPE: every data type of a TYPE row.
        QSet<QString> types;
        const auto addTypes = [&](const std::vector<Heading>& headings) {
            for (const Heading& h : headings)
                types.insert(QString::fromLatin1(h.type));
        };
        addTypes(kProj);
        addTypes(kTran);
        addTypes(kUnit);
        addTypes(kType);
        if (anyGauge) {
            addTypes(kAbbr);
            addTypes(kLoca);
            addTypes(kMong);
            if (used.readings > 0)
                addTypes(kMond);
        }
        appendGroupHead(out, "TYPE", kType, false);
        for (const TypeText& t : kTypes)
            if (types.contains(QString::fromLatin1(t.type)))
                appendRow(out, "DATA", {QString::fromLatin1(t.type), QString::fromLatin1(t.description)});

        // ABBR: every code of a pick-list field.
        std::vector<QStringList> abbreviations;
        for (const auto& [code, description] : typeCodes.all())
            abbreviations.push_back({QStringLiteral("MONG_TYPE"), code, description, QString()});
        if (used.frequency)
            abbreviations.push_back({QStringLiteral("MOND_TYPE"), QString::fromLatin1(kFrequency),
                                     texts(QT_TRANSLATE_NOOP("Report", "振弦频率（读数）")), QString()});
        if (used.temperature)
            abbreviations.push_back({QStringLiteral("MOND_TYPE"), QString::fromLatin1(kTemperature),
                                     texts(QT_TRANSLATE_NOOP("Report", "测点温度")), QString()});
        if (used.value)
            abbreviations.push_back({QStringLiteral("MOND_TYPE"), QString::fromLatin1(kValue),
                                     texts(QT_TRANSLATE_NOOP("Report", "工程值（按当时的标定版本换算）")), QString()});
        if (!abbreviations.empty()) {
            appendGroupHead(out, "ABBR", kAbbr, false);
            for (const QStringList& row : abbreviations)
                appendRow(out, "DATA", row);
        }
        if (!anyGauge)
            return pieces.flush();

        // LOCA: a location per gauge, the parent of its MONG row.
        appendGroupHead(out, "LOCA", kLoca, false);
        for (const GaugeReport& g : content.gauges)
            appendRow(out, "DATA", {g.info.name, g.info.location});

        // MONG: the gauge's installation; its distance along the location is not known.
        appendGroupHead(out, "MONG", kMong, false);
        for (const GaugeReport& g : content.gauges)
            appendRow(out, "DATA",
                      {g.info.name, g.info.name, QString(),
                       g.info.installed.isValid() ? g.info.installed.toString(QStringLiteral("yyyy-MM-dd")) : QString(),
                       typeCodes.code(g.info.type), g.readouts.join(QStringLiteral("+")), g.info.notes});
        if (!pieces.flush())
            return false;

        // MOND: a row per reading and quantity, one gauge at a time.
        if (used.readings > 0)
            appendGroupHead(out, "MOND", kMond, false);
        qint64 done = 0;
        for (const GaugeReport& g : content.gauges) {
            const archive::History::Trend& t = g.trend;
            const bool hasUtc = t.utc.size() == t.value.size();
            // Readings of one instant (a second) are told apart by MOND_REF, so that the keys stay unique.
            std::map<qint64, int> perInstant;
            for (std::size_t i = 0; i < t.value.size(); ++i)
                ++perInstant[hasUtc ? t.utc[i] : t.time[i]];
            std::map<qint64, int> seen;
            const QString valueUnit = asciiUnit(g.unit);
            for (std::size_t i = 0; i < t.value.size(); ++i) {
                const qint64 at = hasUtc ? t.utc[i] : t.time[i];
                const QString when = reading::utcText(at, QStringLiteral("yyyy-MM-dd'T'HH:mm:ss"));
                const QString ref = perInstant[at] > 1 ? QString::number(++seen[at]) : QString();
                const QString readout = reading::readout(g, i);
                const QString remark = remarks(g, i, masks, texts);
                const auto row = [&](const char* type, double value, const QString& unit) {
                    appendRow(out, "DATA",
                              {g.info.name, g.info.name, QString(), when, QString::fromLatin1(type), ref, readout,
                               number(value), unit, remark});
                };
                if (const std::optional<double> hz = reading::frequency(g, i))
                    row(kFrequency, *hz, QStringLiteral("Hz"));
                if (i < t.temperature.size() && std::isfinite(t.temperature[i]))
                    row(kTemperature, t.temperature[i], QString::fromLatin1(kDegree));
                if (t.converted && std::isfinite(t.value[i]))
                    row(kValue, t.value[i], valueUnit);
                if (!pieces.flush())
                    return false;
            }
            ++done;
            if (progress && !progress(done, total))
                return false;
        }
        return pieces.flush();
    });
}

} // namespace report
