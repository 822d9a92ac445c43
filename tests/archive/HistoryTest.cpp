// A gauge's readings converted by the calibration version valid at each reading's instant,
// against values worked by hand.
#include "archive/History.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace archive;

namespace {

GaugePoint at(qint64 utc, double hz, std::optional<double> celsius)
{
    GaugePoint p;
    p.time = utc + 8 * 3600; // a readout on Beijing time
    p.utc = utc;
    p.readingHz = hz;
    p.hasTemperature = celsius.has_value();
    p.temperatureC = celsius.value_or(0);
    return p;
}

CalibrationVersion version(qint64 id, qint64 fromUtc, const Calibration& values)
{
    CalibrationVersion v;
    v.id = id;
    v.gauge = "QRVA000001";
    v.fromUtc = fromUtc;
    v.values = values;
    return v;
}

// On the frequency: 0.5 mm/Hz x (f - 2000) + 0.1 mm/C x (T - 20).
Calibration first()
{
    Calibration c;
    c.unit = "mm";
    c.kind = ReadingKind::Frequency;
    c.G = 0.5;
    c.R0 = 2000;
    c.K = 0.1;
    c.T0 = 20;
    return c;
}

// On digits after a re-zeroing: 0.01 mm/digit x (R - 4000) + 0.2 mm/C x (T - 20).
Calibration second()
{
    Calibration c;
    c.unit = "mm";
    c.kind = ReadingKind::Digits;
    c.G = 0.01;
    c.R0 = 4000;
    c.K = 0.2;
    c.T0 = 20;
    return c;
}

} // namespace

TEST(History, EachReadingIsConvertedByTheVersionValidAtItsInstant)
{
    const qint64 change = 1796600000;
    // Given newest first: the order of the versions does not matter, only when they begin.
    const std::vector<CalibrationVersion> versions = {version(8, change, second()),
                                                      version(5, change - 86400, first())};
    const std::vector<GaugePoint> points = {
        at(change - 2 * 86400, 2010, 25.0),    // before the first version
        at(change - 60, 2010, 25.0),           // the first: 0.5 x 10 + 0.1 x 5 = 5.5
        at(change, 2100, 30.0),                // at the change, the second: 2100^2 / 1000 = 4410 digits,
                                               // 0.01 x 410 + 0.2 x 10 = 6.1
        at(change + 3600, 2200, std::nullopt), // no temperature: 0.01 x (4840 - 4000) = 8.4, uncorrected
    };
    const History::Conversion c = History::convertByVersions(points, versions);
    ASSERT_EQ(c.value.size(), points.size());
    EXPECT_EQ(c.version, (std::vector<int>{-1, 1, 0, 0}));
    EXPECT_TRUE(std::isnan(c.value[0]));
    EXPECT_NEAR(c.value[1], 5.5, 1e-12);
    EXPECT_NEAR(c.value[2], 6.1, 1e-12);
    EXPECT_NEAR(c.value[3], 8.4, 1e-12);
    EXPECT_EQ(c.uncorrected, 1);

    // Two versions from the same instant: the later entered (the larger id) applies. A version
    // since ever covers every reading before the next; a withdrawal ends the one before it.
    Calibration doubled = second();
    doubled.G = 0.02;
    std::vector<CalibrationVersion> again = {version(1, kSinceEver, first()), version(9, change, doubled),
                                             version(8, change, second())};
    const History::Conversion d = History::convertByVersions(points, again);
    EXPECT_EQ(d.version, (std::vector<int>{0, 0, 1, 1}));
    EXPECT_NEAR(d.value[0], 5.5, 1e-12);
    EXPECT_NEAR(d.value[2], 0.02 * 410 + 2, 1e-12);
    CalibrationVersion withdrawal = version(10, change + 1800, second());
    withdrawal.withdrawn = true;
    again.push_back(withdrawal);
    const History::Conversion w = History::convertByVersions(points, again);
    EXPECT_EQ(w.version, (std::vector<int>{0, 0, 1, -1}));
    EXPECT_TRUE(std::isnan(w.value[3]));

    // A reading that cannot be converted stays NaN under its version; no version, no values.
    const History::Conversion bad = History::convertByVersions({at(change, 0, 20.0)}, versions);
    EXPECT_EQ(bad.version, std::vector<int>{0});
    EXPECT_TRUE(std::isnan(bad.value[0]));
    const History::Conversion none = History::convertByVersions(points, {});
    EXPECT_EQ(none.version, (std::vector<int>(4, -1)));
    EXPECT_TRUE(std::all_of(none.value.begin(), none.value.end(), [](double v) { return std::isnan(v); }));
}
