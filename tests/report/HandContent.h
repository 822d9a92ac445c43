#pragma once

#include "archive/Judgement.h"
#include "report/Report.h"

#include <QDateTime>
#include <cmath>

// A report's content made by hand, for the file writers' tests: site `North "A", dam`, two gauges
// and three readings in December 2026 (UTC; the readouts' clocks 8 hours ahead):
// - QRVA000001, 渗压计 in kPa, read by R1 (gathered per reading): 2026-12-05 02:00 2845.6 Hz,
//   12.5 °C, 101.25 kPa, normal; 2026-12-06 02:00 2830.1 Hz, 12.7 °C, 105.5 kPa, status 1
//   (预警) and flagged as a step;
// - QRVB000002, the operator's type 测斜仪, without calibration (values in Hz), read by R2 (not
//   gathered per reading: the gauge's only readout): 2026-12-06 03:00 1500.2 Hz, no temperature,
//   masked with the note 检修时读数.
namespace handcontent {

constexpr qint64 kDec5 = 1796436000;     // 2026-12-05T02:00:00Z
constexpr qint64 kDec6 = 1796522400;     // 2026-12-06T02:00:00Z
constexpr qint64 kDec6At3 = 1796526000;  // 2026-12-06T03:00:00Z
constexpr qint64 kClockAhead = 8 * 3600; // the readouts' clocks

inline report::GaugeReport piezometer()
{
    report::GaugeReport g;
    g.info.name = QStringLiteral("QRVA000001");
    g.info.type = QStringLiteral("渗压计");
    g.info.unit = QStringLiteral("kPa");
    g.info.site = QStringLiteral("North \"A\", dam");
    g.info.location = QStringLiteral("K1+200, 左岸");
    g.info.installed = QDate(2026, 11, 20);
    g.unit = QStringLiteral("kPa");
    g.readouts = {QStringLiteral("R1")};
    g.readingHz = {2845.6, 2830.1};
    g.readingReadouts = {QStringLiteral("R1"), QStringLiteral("R1")};
    auto& t = g.trend;
    t.gauge = g.info.name;
    t.unit = g.unit;
    t.converted = true;
    t.utc = {kDec5, kDec6};
    t.time = {kDec5 + kClockAhead, kDec6 + kClockAhead};
    t.value = {101.25, 105.5};
    t.temperature = {12.5, 12.7};
    t.status = {0, 1};
    t.flags = {0, archive::Step};
    t.masked = {false, false};
    t.levelsApply = true;
    g.readings = 2;
    g.flaggedInPeriod = 1;
    return g;
}

inline report::GaugeReport inclinometer()
{
    report::GaugeReport g;
    g.info.name = QStringLiteral("QRVB000002");
    g.info.type = QStringLiteral("测斜仪");
    g.info.site = QStringLiteral("North \"A\", dam");
    g.info.notes = QStringLiteral("新装; 无标定");
    g.unit = QStringLiteral("Hz");
    g.readouts = {QStringLiteral("R2")};
    auto& t = g.trend;
    t.gauge = g.info.name;
    t.unit = g.unit;
    t.converted = false;
    t.utc = {kDec6At3};
    t.time = {kDec6At3 + kClockAhead};
    t.value = {1500.2};
    t.temperature = {NAN};
    t.status = {0};
    t.flags = {0};
    t.masked = {true};
    t.levelsApply = true;
    g.readings = 1;
    g.maskedInPeriod = 1;
    return g;
}

inline report::Content content(const QString& language = QStringLiteral("zh_CN"))
{
    report::Content c;
    c.request.language = language;
    c.request.site = QStringLiteral("North \"A\", dam");
    c.request.period = {1796083200, 1796687999}; // 2026-12-01T00:00:00Z to 2026-12-07T23:59:59Z
    c.request.remarks = QStringLiteral("第一行\n第二行");
    c.title = QStringLiteral("监测报告");
    c.site.name = c.request.site;
    c.madeAt = QDateTime::fromSecsSinceEpoch(1796720400, Qt::UTC); // 2026-12-08T09:00:00Z
    c.programVersion = QStringLiteral("1.4.0");
    c.madeBy = QStringLiteral("li");
    c.readouts = {QStringLiteral("R1"), QStringLiteral("R2")};
    c.gauges = {piezometer(), inclinometer()};
    archive::Mask mask;
    mask.gauge = QStringLiteral("QRVB000002");
    mask.utc = kDec6At3;
    mask.note = QStringLiteral("检修时读数");
    c.masks = {mask};
    return c;
}

} // namespace handcontent
