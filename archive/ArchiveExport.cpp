#include "archive/ArchiveExport.h"

#include "archive/History.h"
#include "export/CsvWriter.h"
#include "export/FailureText.h"
#include "export/ReplacingFile.h"
#include "export/SheetWriter.h"
#include "platform/FilePath.h"

#include <QDateTime>
#include <QDir>
#include <workbook/workbook.h>

#include <algorithm>
#include <array>
#include <map>
#include <cmath>
#include <string>

namespace archive {
namespace {

constexpr int kColumns = 18;
constexpr std::int64_t kSheetRows = 1048576;

QString timeText(qint64 t) { return QDateTime::fromSecsSinceEpoch(t, Qt::UTC).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")); }

// A number as CSV and workbooks read it back: a full stop, no exponent for ordinary values,
// and no more digits than a double carries.
std::string numberText(double v)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.15g", v);
    return buf;
}

// One record's cells: texts, or numbers where `number` is set.
struct Row {
    std::array<std::string, kColumns> text;
    std::array<std::optional<double>, kColumns> number;
};

enum Column {
    PartitionCol,
    CodeCol,
    TimeCol,
    ReadingCol,
    TemperatureCol,
    ValueCol,
    UnitCol,
    RemarkCol,
    ReadoutCol,
    GaugeCol,
    SiteCol,
    ZoneCol,
    UtcCol,
    VersionCol,
    StatusCol,
    RuleCol,
    FlagsCol,
    MaskedCol,
};
static_assert(MaskedCol + 1 == kColumns);

// How a series' points are converted: by its versions, computed once for the series, or by its
// one calibration.
struct SeriesConversion {
    const ExportSeries* series = nullptr;
    History::Conversion byVersion;
    std::vector<std::string> versionText; // of each version
    std::string readout, gauge, site;
    // The words of the judgements, made once per set, status, level and flags met.
    std::map<qint64, const LevelSet*> sets;
    std::map<std::pair<qint64, int>, std::string> statusText, ruleText;
    std::map<std::uint16_t, std::string> flagText;

    const LevelSet* set(qint64 id) const
    {
        const auto it = sets.find(id);
        return it == sets.end() ? nullptr : it->second;
    }
    const std::string& status(qint64 id, int status)
    {
        auto [it, added] = statusText.try_emplace({id, status});
        if (added)
            it->second = statusName(set(id), status).toStdString();
        return it->second;
    }
    // The level's words, "" when the set is not known or has no such level.
    const std::string& rule(qint64 id, int level, const QString& unit)
    {
        auto [it, added] = ruleText.try_emplace({id, level});
        const LevelSet* s = set(id);
        if (added && s && level >= 0 && std::size_t(level) < s->levels.size())
            it->second = levelText(*s, level, unit).toStdString();
        return it->second;
    }
    const std::string& flags(std::uint16_t f)
    {
        auto [it, added] = flagText.try_emplace(f);
        if (added)
            it->second = flagsText(f).toStdString();
        return it->second;
    }
};

SeriesConversion conversionOf(const ExportSeries& s)
{
    SeriesConversion c;
    c.series = &s;
    c.readout = s.readout.toStdString();
    c.gauge = s.gauge.toStdString();
    c.site = s.site.toStdString();
    for (const LevelSet& set : s.levelSets)
        c.sets[set.id] = &set;
    if (s.versions.empty())
        return c;
    c.byVersion = History::convertByVersions(s.points, s.versions);
    for (const CalibrationVersion& v : s.versions)
        c.versionText.push_back(
            (v.fromUtc == kSinceEver ? QStringLiteral("%1（自最初）").arg(v.id)
                                     : QStringLiteral("%1（自 %2 UTC）").arg(v.id).arg(timeText(v.fromUtc)))
                .toStdString());
    return c;
}

// The zone a point was read in: that of the last change at or before it.
const QString& zoneOf(const ExportSeries& s, qint64 utc)
{
    const QString* zone = &s.timeZone;
    qint64 from = kSinceEver;
    for (const ZoneChange& z : s.zoneChanges)
        if (z.fromUtc <= utc && z.fromUtc >= from) {
            zone = &z.timeZone;
            from = z.fromUtc;
        }
    return *zone;
}

void fill(Row& row, SeriesConversion& c, std::size_t i)
{
    const ExportSeries& s = *c.series;
    const GaugePoint& p = s.points[i];
    for (std::string& t : row.text)
        t.clear();
    row.number.fill(std::nullopt);
    const QString code = p.code.isEmpty() ? s.code : p.code;
    row.text[PartitionCol] = (p.code.isEmpty() ? s.partition : p.code.left(1)).toStdString();
    row.text[CodeCol] = code.toStdString();
    row.text[TimeCol] = timeText(p.time).toStdString();
    row.number[ReadingCol] = p.readingHz;
    if (p.hasTemperature)
        row.number[TemperatureCol] = p.temperatureC;
    row.text[ReadoutCol] = c.readout;
    row.text[GaugeCol] = c.gauge;
    row.text[SiteCol] = c.site;
    if (!s.timeZone.isEmpty() || !s.zoneChanges.empty()) {
        row.text[ZoneCol] = zoneOf(s, p.utc).toStdString();
        row.text[UtcCol] = timeText(p.utc).toStdString();
    }
    if (p.flags)
        row.text[FlagsCol] = c.flags(p.flags);
    if (p.masked)
        row.text[MaskedCol] = "是";
    // The judge's value: by the gauge's calibration versions, or its frequency without any.
    bool judged = !s.gauge.isEmpty() && !p.masked && std::isfinite(p.readingHz);
    QString judgedUnit = QStringLiteral("Hz");
    const auto remark = [&](std::optional<Converted> v) {
        if (v) {
            row.number[ValueCol] = v->value;
            if (v->uncorrected)
                row.text[RemarkCol] = "未作温度修正";
        } else {
            row.text[RemarkCol] = "读数无效";
        }
        return v.has_value();
    };
    const auto temperature = p.hasTemperature ? std::optional<double>(p.temperatureC) : std::nullopt;
    if (!s.versions.empty()) {
        const int v = c.byVersion.version[i];
        if (v < 0) {
            row.text[RemarkCol] = "没有适用的标定版本";
            judged = false;
        } else {
            const Calibration& calibration = s.versions[std::size_t(v)].values;
            row.text[UnitCol] = calibration.unit.toStdString();
            row.text[VersionCol] = c.versionText[std::size_t(v)];
            judgedUnit = calibration.unit;
            judged = remark(convert(calibration, p.readingHz, temperature)) && judged;
        }
    } else if (s.calibration) {
        row.text[UnitCol] = s.calibration->unit.toStdString();
        row.text[VersionCol] = "元件标定表";
        remark(convert(*s.calibration, p.readingHz, temperature));
    }
    if (!judged)
        return;
    row.text[StatusCol] = c.status(p.levelSet, p.status);
    if (p.status > 0)
        row.text[RuleCol] = c.rule(p.levelSet, p.level, judgedUnit);
}

std::optional<QString> writeXlsx(const QString& path, const std::vector<ExportSeries>& series,
                                 const std::function<bool()>& cancel)
{
    auto writer = workbook::XlsxWriter::create(toFilePath(QDir::toNativeSeparators(path)));
    if (!writer)
        return FailureText::reason(writer.error());
    std::vector<std::string> headers;
    for (const QString& h : exportHeaders())
        headers.push_back(h.toStdString());
    std::vector<workbook::CellValue> cells(kColumns);
    auto header = [&]() -> workbook::Error {
        for (int j = 0; j < kColumns; ++j)
            cells[std::size_t(j)] = workbook::CellValue(std::string_view(headers[std::size_t(j)]));
        return writer->writeRow(std::span<const workbook::CellValue>(cells));
    };
    Row row;
    std::int64_t written = 0;
    // Worksheet names are made valid and unique as the preview's save makes them: a code may be
    // longer than a name can be, hold characters a name cannot, or be the code of a component
    // of another partition too.
    QStringList taken;
    for (const ExportSeries& s : series) {
        std::int64_t onSheet = kSheetRows; // start a worksheet
        int part = 0;
        const QString code = !s.gauge.isEmpty() ? s.gauge : s.code.isEmpty() ? QStringLiteral("-")
                                                                             : s.code;
        SeriesConversion conversion = conversionOf(s);
        for (std::size_t i = 0; i < s.points.size(); ++i) {
            if (onSheet == kSheetRows) {
                const QString name =
                    SheetWriter::sheetName(part == 0 ? code : QStringLiteral("%1-%2").arg(code).arg(part + 1), taken);
                taken << name;
                ++part;
                if (workbook::Error e = writer->addSheet(name.toStdString()))
                    return FailureText::reason(e);
                if (workbook::Error e = header())
                    return FailureText::reason(e);
                onSheet = 1;
            }
            fill(row, conversion, i);
            for (int j = 0; j < kColumns; ++j)
                cells[std::size_t(j)] = row.number[std::size_t(j)]
                                          ? workbook::CellValue(*row.number[std::size_t(j)])
                                          : workbook::CellValue(std::string_view(row.text[std::size_t(j)]));
            if (workbook::Error e = writer->writeRow(std::span<const workbook::CellValue>(cells)))
                return FailureText::reason(e);
            ++onSheet;
            if (cancel && ++written % 4096 == 0 && cancel()) {
                writer->cancel();
                return FailureText::saveCancelled();
            }
        }
    }
    if (written == 0 && series.empty()) {
        if (workbook::Error e = writer->addSheet("Sheet1"))
            return FailureText::reason(e);
        if (workbook::Error e = header())
            return FailureText::reason(e);
    }
    if (cancel && cancel()) {
        writer->cancel();
        return FailureText::saveCancelled();
    }
    if (workbook::Error e = writer->commit())
        return FailureText::reason(e);
    return std::nullopt;
}

void csvField(QByteArray& out, const std::string& s)
{
    CsvWriter::appendField(out, QByteArrayView(s.data(), qsizetype(s.size())));
}

std::optional<QString> writeCsv(const QString& path, const std::vector<ExportSeries>& series,
                                const std::function<bool()>& cancel)
{
    ReplacingFile replacing(path);
    QString reason;
    if (!replacing.open(&reason))
        return reason;
    QFile& file = replacing.device();
    QByteArray out = "\xEF\xBB\xBF";
    const QStringList headers = exportHeaders();
    for (int j = 0; j < kColumns; ++j) {
        if (j)
            out += ',';
        csvField(out, headers[j].toStdString());
    }
    out += "\r\n";
    Row row;
    std::int64_t written = 0;
    auto flush = [&]() -> bool {
        const bool ok = file.write(out) == out.size();
        out.clear();
        return ok;
    };
    for (const ExportSeries& s : series) {
        SeriesConversion conversion = conversionOf(s);
        for (std::size_t i = 0; i < s.points.size(); ++i) {
            fill(row, conversion, i);
            for (int j = 0; j < kColumns; ++j) {
                if (j)
                    out += ',';
                if (row.number[std::size_t(j)])
                    out += numberText(*row.number[std::size_t(j)]);
                else
                    csvField(out, row.text[std::size_t(j)]);
            }
            out += "\r\n";
            if (out.size() > 65536 && !flush())
                return FailureText::reason(workbook::ErrorKind::Io, file.errorString());
            if (cancel && ++written % 4096 == 0 && cancel())
                return FailureText::saveCancelled(); // the temporary file goes with `replacing`
        }
    }
    if (!flush())
        return FailureText::reason(workbook::ErrorKind::Io, file.errorString());
    if (cancel && cancel())
        return FailureText::saveCancelled();
    if (!replacing.commit(&reason))
        return reason;
    return std::nullopt;
}

} // namespace

QStringList exportHeaders()
{
    return {QStringLiteral("分区"), QStringLiteral("元件编号"), QStringLiteral("时间"), QStringLiteral("读数 (Hz)"),
            QStringLiteral("温度 (℃)"), QStringLiteral("工程值"), QStringLiteral("单位"), QStringLiteral("备注"),
            QStringLiteral("仪器"), QStringLiteral("测点"), QStringLiteral("工程"), QStringLiteral("时区"),
            QStringLiteral("UTC 时间"), QStringLiteral("标定版本"), QStringLiteral("状态"), QStringLiteral("规则"),
            QStringLiteral("质量标记"), QStringLiteral("屏蔽")};
}

std::vector<GaugePoint> exportPoints(const std::vector<Point>& points)
{
    std::vector<GaugePoint> out;
    out.reserve(points.size());
    for (const Point& p : points)
        out.push_back(GaugePoint{p.time, 0, p.readingHz, p.temperatureC, p.hasTemperature, 0, {}});
    return out;
}

std::vector<SeriesSummary> chooseSeries(const std::vector<SeriesSummary>& all, const QString& partition,
                                        const QStringList& codes, QStringList* unknown)
{
    // A code as typed picks the components stored under exactly that code; only a code that
    // is stored under no component at all is taken regardless of case.
    QList<bool> exact(codes.size(), false);
    for (qsizetype i = 0; i < codes.size(); ++i)
        exact[i] = std::any_of(all.begin(), all.end(), [&](const SeriesSummary& s) { return s.code == codes[i]; });
    const auto picks = [&](qsizetype i, const SeriesSummary& s) {
        return exact[i] ? s.code == codes[i] : s.code.compare(codes[i], Qt::CaseInsensitive) == 0;
    };
    std::vector<SeriesSummary> out;
    QList<bool> used(codes.size(), false);
    for (const SeriesSummary& s : all) {
        if (!partition.isEmpty() && s.partition != partition)
            continue;
        bool chosen = codes.isEmpty();
        for (qsizetype i = 0; i < codes.size(); ++i)
            if (picks(i, s))
                chosen = used[i] = true;
        if (chosen)
            out.push_back(s);
    }
    if (unknown) {
        unknown->clear();
        for (qsizetype i = 0; i < codes.size(); ++i)
            if (!used[i] && !unknown->contains(codes[i]))
                *unknown << codes[i];
    }
    return out;
}

std::optional<QString> exportSeries(const QString& path, const std::vector<ExportSeries>& series,
                                    const std::function<bool()>& cancel)
{
    if (path.endsWith(QStringLiteral(".csv"), Qt::CaseInsensitive))
        return writeCsv(path, series, cancel);
    return writeXlsx(path, series, cancel);
}

} // namespace archive
