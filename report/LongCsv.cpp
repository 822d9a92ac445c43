#include "report/LongCsv.h"

#include "export/CsvWriter.h"
#include "export/NumberText.h"
#include "report/ReadingFile.h"
#include "report/ReportTexts.h"

#include <QStringList>
#include <cmath>

namespace report {
namespace {

const QString kTimeFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss");

void field(QByteArray& out, bool first, const QString& text)
{
    if (!first)
        out.append(',');
    CsvWriter::appendField(out, text.toUtf8());
}

void numberField(QByteArray& out, double value)
{
    out.append(',');
    if (!std::isfinite(value))
        return;
    NumberBuffer chars;
    const std::string_view text = formatNumber(value, chars);
    out.append(text.data(), qsizetype(text.size()));
}

void row(QByteArray& out, const QStringList& fields)
{
    for (qsizetype i = 0; i < fields.size(); ++i)
        field(out, i == 0, fields[i]);
    out.append("\r\n");
}

} // namespace

WriteResult writeLongCsv(const QString& path, const Content& content, const Progress& progress)
{
    const Texts texts(content.request.language);
    const bool english = texts.english();
    const qint64 total = qint64(content.gauges.size());
    if (progress && !progress(0, total)) {
        WriteResult cancelled;
        cancelled.cancelled = true;
        return cancelled;
    }
    // The values' unit heads their column when every gauge has the same; the unit column beside
    // the values says it of each row in any case.
    QString commonUnit;
    bool oneUnit = true;
    for (const GaugeReport& g : content.gauges) {
        if (g.trend.value.empty())
            continue;
        if (commonUnit.isEmpty())
            commonUnit = g.unit;
        else if (g.unit != commonUnit)
            oneUnit = false;
    }
    if (!oneUnit)
        commonUnit.clear();

    return reading::writeReplacing(path, [&](reading::Pieces& pieces) {
        QByteArray& out = pieces.buffer();
        out.append("\xEF\xBB\xBF");
        row(out, {texts(QT_TRANSLATE_NOOP("Report", "工程")), texts(QT_TRANSLATE_NOOP("Report", "测点")),
                  texts(QT_TRANSLATE_NOOP("Report", "类型")), texts(QT_TRANSLATE_NOOP("Report", "读数仪")),
                  texts(QT_TRANSLATE_NOOP("Report", "UTC 时间")), texts(QT_TRANSLATE_NOOP("Report", "读数仪时间")),
                  texts(QT_TRANSLATE_NOOP("Report", "频率")), texts(QT_TRANSLATE_NOOP("Report", "温度")),
                  texts(QT_TRANSLATE_NOOP("Report", "数值")), texts(QT_TRANSLATE_NOOP("Report", "单位")),
                  texts(QT_TRANSLATE_NOOP("Report", "状态")), texts(QT_TRANSLATE_NOOP("Report", "质量标记")),
                  texts(QT_TRANSLATE_NOOP("Report", "屏蔽"))});
        row(out, {QString(), QString(), QString(), QString(), QStringLiteral("UTC"), QString(), QStringLiteral("Hz"),
                  QStringLiteral("℃"), commonUnit, QString(), QString(), QString(), QString()});
        const QString yes = texts(QT_TRANSLATE_NOOP("Report", "是"));
        qint64 done = 0;
        for (const GaugeReport& g : content.gauges) {
            const archive::History::Trend& t = g.trend;
            const bool hasUtc = t.utc.size() == t.value.size();
            const QString site = g.info.site.isEmpty() ? content.site.name : g.info.site;
            for (std::size_t i = 0; i < t.value.size(); ++i) {
                field(out, true, site);
                field(out, false, g.info.name);
                field(out, false, g.info.type);
                field(out, false, reading::readout(g, i));
                field(out, false, hasUtc ? reading::utcText(t.utc[i], kTimeFormat) : QString());
                field(out, false, reading::utcText(t.time[i], kTimeFormat));
                numberField(out, reading::frequency(g, i).value_or(NAN));
                numberField(out, i < t.temperature.size() ? t.temperature[i] : NAN);
                numberField(out, t.value[i]);
                field(out, false, g.unit);
                field(out, false, reading::status(g, i, english));
                field(out, false, i < t.flags.size() ? archive::flagsText(t.flags[i], english) : QString());
                field(out, false, i < t.masked.size() && t.masked[i] ? yes : QString());
                out.append("\r\n");
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
