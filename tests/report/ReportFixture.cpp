#include "ReportFixture.h"

#include "archive/Calibration.h"

#include <QDateTime>
#include <QTimeZone>
#include <algorithm>
#include <cstdlib>
#include <gtest/gtest.h>

using namespace archive;

namespace report::test {
namespace {

constexpr qint64 kDay = 86400;
constexpr int kPerPartition = 100;
constexpr int kDaysPerDownload = 30;

enum class Kind {
    Piezometer,
    Strain
};

struct Made {
    Kind kind = Kind::Piezometer;
    int k = 0; // index within its type
    QString name;
    int lastDay = 0;
    bool reaches() const { return k % 8 == 0; }
    bool hasLevels() const { return k % 4 == 0; }
    bool recalibrated() const { return k % 5 == 2; }
};

// The frequency in tenths of Hz and the temperature in tenths of C of gauge `g` on day `d`: a
// steady drift (faster for the gauges that reach their levels) and a small repeating scatter.
int hzTenths(const Made& g, int d)
{
    const int scatter = (d * 37 + g.k * 11) % 7 - 3;
    if (g.kind == Kind::Piezometer)
        return 26000 + 70 * (g.k % 13) - (g.reaches() ? 5 : 2) * d + scatter;
    return 8000 + 50 * (g.k % 11) + (g.reaches() ? 3 : 1) * d + scatter;
}

int temperatureTenths(const Made& g, int d) { return 150 + std::abs((d + g.k) % 40 - 20); }

qint64 utcOf(const Made& g, qint64 firstUtc, int d) { return firstUtc + d * kDay + 60 * g.k; }

Calibration calibrationOf(const Made& g, bool second)
{
    Calibration c;
    c.kind = ReadingKind::Digits;
    c.form = Form::Linear;
    c.T0 = 15;
    const double hz0 = hzTenths(g, 0) / 10.0;
    c.R0 = std::round(hz0 * hz0 / 1000.0 * 10) / 10;
    if (g.kind == Kind::Piezometer) {
        c.gauge = QStringLiteral("渗压计");
        c.unit = QStringLiteral("kPa");
        c.reversed = true; // the pressure rises as the frequency falls
        c.G = 0.05;
        c.K = 0.02;
    } else {
        c.gauge = QStringLiteral("应变计");
        c.unit = QStringLiteral("με");
        c.G = 3.3;
        c.K = 0.5;
    }
    if (second)
        c.G *= 1.01;
    return c;
}

// The value the archive gives gauge `g` on day `d`, by the version valid then.
double valueOn(const Made& g, int d, int days)
{
    const bool second = g.recalibrated() && d >= days / 2;
    const std::optional<Converted> v =
        convert(calibrationOf(g, second), hzTenths(g, d) / 10.0, temperatureTenths(g, d) / 10.0);
    return v ? v->value : 0;
}

LevelSet levelsOf(const Made& g, int days)
{
    LevelSet set;
    set.gauge = g.name;
    const double first = valueOn(g, 0, days);
    const double last = valueOn(g, std::max(0, g.lastDay), days);
    const double deadBand = g.kind == Kind::Piezometer ? 0.5 : 5;
    TriggerLevel value;
    value.side = LevelSide::High;
    value.rank = 1;
    value.quantity = LevelQuantity::Value;
    value.deadBand = deadBand;
    TriggerLevel change = value;
    change.rank = 2;
    change.quantity = LevelQuantity::Change;
    if (g.reaches() && days >= 4) {
        value.threshold = valueOn(g, days * 6 / 10, days);
        change.threshold = valueOn(g, days * 85 / 100, days) - first;
    } else {
        const double margin = std::abs(last - first) + (g.kind == Kind::Piezometer ? 50 : 500);
        value.threshold = std::max(first, last) + margin;
        change.threshold = margin;
    }
    set.levels = {value, change};
    return set;
}

QString threeDigits(int n) { return QStringLiteral("%1").arg(n, 3, 10, QLatin1Char('0')); }

} // namespace

FixtureSite fillSite(Archive& archive, const QString& site, int gauges, int days, qint64 firstUtc,
                     const QString& prefix)
{
    FixtureSite out;
    out.site = site;
    out.firstUtc = firstUtc;
    if (gauges <= 0 || days <= 0)
        return out;
    const int piezometers = (gauges + 1) / 2;
    const int strains = gauges - piezometers;
    std::vector<Made> made;
    for (int k = 0; k < piezometers; ++k)
        made.push_back(Made{Kind::Piezometer, k, prefix + QStringLiteral("P") + threeDigits(k + 1), days - 1});
    for (int k = 0; k < strains; ++k)
        made.push_back(Made{Kind::Strain, k, prefix + QStringLiteral("S") + threeDigits(k + 1), days - 1});
    Made& overdue = made.back();
    overdue.lastDay = std::max(0, days - 4);
    out.overdue = overdue.name;

    Error error;
    // The readouts, one a type.
    std::vector<qint64> readoutIds;
    for (const char* suffix : {"-R1", "-R2"}) {
        const QString name = site + QLatin1String(suffix);
        std::optional<Readout> r = archive.readout(name);
        if (!r)
            r = archive.addReadout(name, QStringLiteral("UTC"), &error);
        if (!r) {
            ADD_FAILURE() << "addReadout: " << error.detail.toStdString();
            return out;
        }
        readoutIds.push_back(r->id);
        out.readouts << name;
    }

    // The register, the quality rules, the calibrations and the levels, all before the readings
    // so that each reading is judged once, in the store that brings it.
    const QDate installed = QDateTime::fromSecsSinceEpoch(firstUtc - 30 * kDay, QTimeZone::utc()).date();
    std::vector<GaugeInfo> rows;
    for (const Made& g : made) {
        GaugeInfo info;
        info.name = g.name;
        info.type = g.kind == Kind::Piezometer ? QStringLiteral("渗压计") : QStringLiteral("应变计");
        info.unit = g.kind == Kind::Piezometer ? QStringLiteral("kPa") : QStringLiteral("με");
        info.site = site;
        info.location = (g.kind == Kind::Piezometer ? QStringLiteral("坝体 ") : QStringLiteral("廊道 ")) +
                        QString::number(g.k + 1);
        info.installed = installed;
        info.intervalDays = &g == &overdue ? 1 : 7;
        rows.push_back(info);
        out.gauges << g.name;
        (g.kind == Kind::Piezometer ? out.piezometers : out.strainGauges) << g.name;
    }
    if (!archive.updateRegister(rows, &error)) {
        ADD_FAILURE() << "updateRegister: " << error.detail.toStdString();
        return out;
    }
    std::vector<QualityRules> rules = archive.qualityRules();
    for (QualityRules& r : rules)
        r.stepFactor = 0;
    if (!archive.setQualityRules(rules, &error))
        ADD_FAILURE() << "setQualityRules: " << error.detail.toStdString();
    // The first versions together, in one transaction (versions since ever for gauges without
    // any); the table's other entries as they are.
    std::vector<Calibration> table = archive.calibrations(&error);
    for (const Made& g : made) {
        table.push_back(calibrationOf(g, false));
        table.back().code = g.name;
    }
    if (!archive.setCalibrations(table, &error))
        ADD_FAILURE() << "setCalibrations: " << error.detail.toStdString();
    std::vector<LevelSet> sets;
    for (const Made& g : made) {
        if (g.recalibrated()) {
            CalibrationVersion v;
            v.gauge = g.name;
            v.fromUtc = firstUtc + (days / 2) * kDay;
            v.values = calibrationOf(g, true);
            v.values.code = g.name;
            if (!archive.addCalibrationVersion(v, &error))
                ADD_FAILURE() << "addCalibrationVersion: " << error.detail.toStdString();
            out.recalibrated << g.name;
        }
        if (g.hasLevels()) {
            sets.push_back(levelsOf(g, days));
            out.withLevels << g.name;
            if (g.reaches() && days >= 4)
                out.reaching << g.name;
        }
    }
    if (!sets.empty() && !archive.addLevelSets(sets, &error))
        ADD_FAILURE() << "addLevelSets: " << error.detail.toStdString();

    // The flagged readings: k == 1 of each type, a third of the way.
    const int flaggedDay = days / 3;
    for (const Made& g : made)
        if (g.k == 1 && flaggedDay <= g.lastDay) {
            out.flagged << g.name;
            out.flaggedUtc.push_back(utcOf(g, firstUtc, flaggedDay));
        }

    // The readings: one store a partition and 30 days.
    for (const Kind kind : {Kind::Piezometer, Kind::Strain}) {
        std::vector<const Made*> ofKind;
        for (const Made& g : made)
            if (g.kind == kind)
                ofKind.push_back(&g);
        const qint64 readout = readoutIds[kind == Kind::Piezometer ? 0 : 1];
        for (size_t first = 0; first < ofKind.size(); first += kPerPartition) {
            const size_t end = std::min(ofKind.size(), first + kPerPartition);
            const QString partition(QChar(u'A' + int(first / kPerPartition)));
            ComponentNames names{partition, {}};
            for (size_t i = first; i < end; ++i)
                names.entries.emplace_back(partition + threeDigits(int(i - first) + 1), ofKind[i]->name);
            for (int batch = 0; batch * kDaysPerDownload < days; ++batch) {
                const int fromDay = batch * kDaysPerDownload;
                const int toDay = std::min(days, fromDay + kDaysPerDownload) - 1;
                const QString file = QStringLiteral("M") + threeDigits(batch + 1);
                std::vector<Record> records;
                for (size_t i = first; i < end; ++i) {
                    const Made& g = *ofKind[i];
                    const QString code = names.entries[i - first].first;
                    for (int d = fromDay; d <= std::min(toDay, g.lastDay); ++d) {
                        const bool bad = g.k == 1 && d == flaggedDay;
                        records.push_back(Record{partition, file, code,
                                                 instrumentTimeText(utcOf(g, firstUtc, d)),
                                                 QString::number(bad ? 3500 : hzTenths(g, d)),
                                                 QString::number(temperatureTenths(g, d))});
                    }
                }
                if (records.empty())
                    continue;
                const QDateTime at =
                    QDateTime::fromSecsSinceEpoch(firstUtc + toDay * kDay + 4 * 3600, QTimeZone::utc());
                const std::optional<StoreResult> stored = archive.store(records, at, CopyOrigin{readout, names}, &error);
                if (!stored) {
                    ADD_FAILURE() << "store: " << error.detail.toStdString();
                    return out;
                }
                out.readings += stored->added;
                ++out.downloads;
            }
        }
    }
    for (const Made& g : made)
        out.lastUtc = std::max(out.lastUtc, utcOf(g, firstUtc, g.lastDay));

    // The mask: k == 3 of the piezometers, half way.
    if (piezometers > 3) {
        const Made& g = made[3];
        const qint64 utc = utcOf(g, firstUtc, std::min(days / 2, g.lastDay));
        const std::vector<GaugePoint> points = archive.gaugeSeries(g.name, utc, utc, &error);
        if (points.size() == 1 &&
            archive.mask({ReadingRef{points[0].slot, points[0].time, points[0].file}}, QStringLiteral("fixture mask"),
                         &error)) {
            out.masked = g.name;
            out.maskedUtc = utc;
        } else {
            ADD_FAILURE() << "mask: " << points.size() << " " << error.detail.toStdString();
        }
    }

    EventQuery query;
    query.site = site;
    out.events = qint64(archive.events(query, &error).size());
    return out;
}

TempArchive openTempArchive()
{
    TempArchive out;
    out.dir = std::make_unique<QTemporaryDir>();
    out.path = out.dir->filePath(QStringLiteral("archive.sqlite"));
    std::optional<SetAside> aside;
    Error error;
    out.archive = Archive::open(out.path, &aside, &error);
    if (!out.archive)
        ADD_FAILURE() << "Archive::open: " << error.detail.toStdString();
    return out;
}

} // namespace report::test
