// Fills an archive for a look at the history tab by hand: two readouts, two sites, gauges read
// every six hours for two months, one of them moved from one readout to the other, calibration
// versions, and a slot whose readings no gauge holds; trigger levels on two gauges (whose
// readings reach them), three masked readings and an acknowledged event.
//   fill_history_archive PATH
#include "archive/Archive.h"

#include <QCoreApplication>
#include <cmath>
#include <cstdio>

using namespace archive;

namespace {

constexpr qint64 kStart = 1'772'323'200; // 2026-03-01 00:00 on the readouts' clocks
constexpr qint64 kStep = 6 * 3600;

std::vector<Record> readings(const QString& partition, const QString& code, qint64 from, int n, double base, double drift)
{
    std::vector<Record> out;
    for (int i = 0; i < n; ++i) {
        const double day = double(i) * kStep / 86400.0;
        const double hz = base + drift * day + 3 * std::sin(day * 2 * M_PI);
        const double t = 18 + 6 * std::sin(day * 2 * M_PI - 1);
        // As the readout sends them: reading and temperature in tenths.
        out.push_back(Record{partition, "F1", code, instrumentTimeText(from + i * kStep), QString::number(qRound(hz * 10)),
                             QString::number(qRound(t * 10))});
    }
    return out;
}

bool fail(const char* what, const Error& e)
{
    std::fprintf(stderr, "%s: %s\n", what, qPrintable(e.detail));
    return false;
}

bool fill(const QString& path)
{
    Error e;
    auto a = Archive::open(path, nullptr, &e);
    if (!a)
        return fail("open", e);
    const auto r1 = a->addReadout("KTM-1", "Asia/Shanghai", &e);
    const auto r2 = a->addReadout("KTM-2", "Asia/Shanghai", &e);
    if (!r1 || !r2)
        return fail("readout", e);
    if (!a->updateRegister({GaugeInfo{"QRVA000001", "裂缝计", "mm", "大坝", "坝顶 0+120", QDate(2026, 2, 20), 1, {}},
                            GaugeInfo{"QRVA000002", "渗压计", "kPa", "大坝", "坝基 0+080", QDate(2026, 2, 21), 1, {}},
                            GaugeInfo{"QRVB000001", "应变计", "με", "隧洞", "K1+200 左洞", QDate(2026, 2, 25), 7, {}}},
                           &e))
        return fail("register", e);
    const int month = 30 * 4;
    std::vector<Record> first = readings("A", "A001", kStart, month, 2400, 1.5);
    for (Record& r : readings("A", "A002", kStart, 2 * month, 2900, -0.8))
        first.push_back(r);
    for (Record& r : readings("A", "A009", kStart, 40, 3100, 0))
        first.push_back(r);
    const QDateTime now = QDateTime::currentDateTimeUtc();
    if (!a->store(first, now, CopyOrigin{r1->id, ComponentNames{"A", {{"A001", "QRVA000001"}, {"A002", "QRVA000002"}}}}, &e))
        return fail("store", e);
    // QRVA000001 goes on on the other readout for a month; QRVB000001 is read there too.
    std::vector<Record> second = readings("B", "B002", kStart + month * kStep, month, 2445, 1.5);
    for (Record& r : readings("B", "B001", kStart, 2 * month, 2650, 0.3))
        second.push_back(r);
    if (!a->store(second, now, CopyOrigin{r2->id, ComponentNames{"B", {{"B001", "QRVB000001"}, {"B002", "QRVA000001"}}}}, &e))
        return fail("store", e);
    Calibration crack;
    crack.code = "QRVA000001";
    crack.gauge = "裂缝计";
    crack.unit = "mm";
    crack.G = 0.0098;
    crack.R0 = 5760;
    crack.T0 = 20;
    CalibrationVersion v{.gauge = "QRVA000001", .fromUtc = kSinceEver, .values = crack};
    if (!a->addCalibrationVersion(v, &e))
        return fail("calibration", e);
    v.fromUtc = kStart + 45 * 86400 - 8 * 3600;
    v.values.R0 = 6086; // zeroed again after the move
    if (!a->addCalibrationVersion(v, &e))
        return fail("calibration", e);
    Calibration pore = crack;
    pore.code = "QRVA000002";
    pore.gauge = "渗压计";
    pore.unit = "kPa";
    pore.G = -0.18;
    pore.R0 = 8400;
    if (!a->addCalibrationVersion(CalibrationVersion{.gauge = "QRVA000002", .values = pore}, &e))
        return fail("calibration", e);

    LevelSet crackLevels;
    crackLevels.gauge = "QRVA000001";
    crackLevels.levels = {TriggerLevel{.rank = 1, .quantity = LevelQuantity::Change, .threshold = 1, .deadBand = 0.2},
                          TriggerLevel{.rank = 2, .quantity = LevelQuantity::Change, .threshold = 2, .confirm = 2, .deadBand = 0.2}};
    LevelSet poreLevels;
    poreLevels.gauge = "QRVA000002";
    poreLevels.levels = {TriggerLevel{.rank = 1, .threshold = 20, .deadBand = 3},
                         TriggerLevel{.rank = 2, .threshold = 35, .confirm = 2, .deadBand = 3},
                         TriggerLevel{.rank = 3, .threshold = 45, .confirm = 3, .deadBand = 3},
                         TriggerLevel{.side = LevelSide::Low, .rank = 1, .threshold = -5}};
    if (!a->addLevelSets({crackLevels, poreLevels}, &e))
        return fail("levels", e);
    // Three readings of a disturbed day, masked.
    std::vector<ReadingRef> disturbed;
    for (const GaugePoint& p : a->gaugeSeries("QRVA000002", kSinceEver, kUntilNow, &e))
        if (p.time >= kStart + 40 * 86400 && disturbed.size() < 3)
            disturbed.push_back(ReadingRef{p.slot, p.time, p.file});
    if (!a->mask(disturbed, "仪器受干扰", &e))
        return fail("mask", e);
    const std::vector<LevelEvent> events = a->events({}, &e);
    if (!events.empty() && !a->acknowledge(events.front().id, "已通知现场", &e))
        return fail("acknowledge", e);
    std::printf("%zu events\n", events.size());
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: fill_history_archive PATH\n");
        return 2;
    }
    return fill(QString::fromLocal8Bit(argv[1])) ? 0 : 1;
}
