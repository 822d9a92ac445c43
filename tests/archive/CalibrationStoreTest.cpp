// The calibration table: every field comes back as it was set, the table is replaced whole or
// not at all.
#include "ArchiveFixture.h"

#include <cmath>
#include <limits>

using namespace archive;
using namespace archive::test;

namespace {

// Two calibrations that differ from each other and from the defaults in every field.
std::vector<Calibration> sheet()
{
    Calibration crack{.code = "A001", .gauge = "裂缝计", .unit = "mm", .kind = ReadingKind::Digits, .form = Form::Linear, .G = 0.000123456789012345, .reversed = true, .A = -1e-300, .B = 3.0, .C = -2.5, .fieldZero = false, .R0 = 8097.6, .T0 = 23.4, .K = -0.0125};
    Calibration pressure{.code = "B017", .gauge = "渗压计 (VW)", .unit = "kPa", .kind = ReadingKind::Frequency, .form = Form::Polynomial, .G = 1e300, .reversed = false, .A = 1.5e-7, .B = -0.0246, .C = 1234.5678, .fieldZero = true, .R0 = 2845.6, .T0 = -5.0, .K = 0.33};
    return {crack, pressure};
}

using CalibrationStoreTest = ArchiveTest;

} // namespace

TEST_F(CalibrationStoreTest, EveryFieldComesBackAcrossAReopen)
{
    const auto all = sheet();
    {
        auto a = openArchive();
        EXPECT_TRUE(a->calibrations().empty());
        Error error;
        ASSERT_TRUE(a->setCalibrations({all[1], all[0]}, &error)) << error.detail.toStdString();
        EXPECT_EQ(a->calibrations(), all); // ordered by code
    }
    auto a = openArchive();
    EXPECT_EQ(a->calibrations(), all);
    EXPECT_EQ(a->calibration("B017"), all[1]);
    EXPECT_EQ(a->calibration("A001"), all[0]);
    EXPECT_FALSE(a->calibration("A002"));
    EXPECT_FALSE(a->calibration("a001"));
}

TEST_F(CalibrationStoreTest, ReplacingIsWholeOrNothing)
{
    auto a = openArchive();
    const auto all = sheet();
    ASSERT_TRUE(a->setCalibrations(all, nullptr));

    // A smaller sheet replaces the table; the dropped code is gone.
    ASSERT_TRUE(a->setCalibrations({all[1]}, nullptr));
    EXPECT_EQ(a->calibrations(), std::vector<Calibration>{all[1]});
    ASSERT_TRUE(a->setCalibrations(all, nullptr));

    // Refused sheets leave the table as it was.
    auto twice = all;
    twice.push_back(all[0]);
    twice.back().unit = "cm";
    Error error;
    EXPECT_FALSE(a->setCalibrations(twice, &error));
    EXPECT_EQ(error.kind, ErrorKind::WriteFailed);
    EXPECT_FALSE(error.detail.isEmpty());

    for (double bad : {std::nan(""), std::numeric_limits<double>::infinity()}) {
        auto broken = all;
        broken[1].K = bad;
        EXPECT_FALSE(a->setCalibrations(broken, &error));
    }
    auto unnamed = all;
    unnamed[0].code.clear();
    EXPECT_FALSE(a->setCalibrations(unnamed, &error));
    EXPECT_EQ(a->calibrations(), all);

    // An empty sheet empties the table.
    ASSERT_TRUE(a->setCalibrations({}, nullptr));
    EXPECT_TRUE(a->calibrations().empty());
}
