#include "export/NumberText.h"

#include "grids/ReadingLayout.h"

#include "tests/export/CommaLocale.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <utility>

TEST(NumberText, FormatsTheShortestTextThatReadsBackTheSameNumber)
{
    const std::pair<double, const char*> cases[] = {
        {2845.6, "2845.6"},
        {-0.52, "-0.52"},
        {100000, "100000"},
        {-0.0, "0"},
        {1e20, "100000000000000000000"},
        {1e21, "1e+21"},
        {1e-6, "0.000001"},
        {1.5e-7, "1.5e-07"},
        {0.1 + 0.2, "0.30000000000000004"},
    };
    NumberBuffer buffer;
    for (const auto& [value, text] : cases)
        EXPECT_EQ(formatNumber(value, buffer), text) << text;
}

TEST(NumberText, SameNumbersUnderACommaDecimalLocale)
{
    CommaLocale german;
    if (!german.active())
        GTEST_SKIP() << "no comma-decimal locale: de_DE.UTF-8 is not installed and localedef could not make it";
    EXPECT_DOUBLE_EQ(std::strtod("1,5", nullptr), 1.5); // the C library now reads commas
    EXPECT_DOUBLE_EQ(Val("123.4"), 123.4);
    EXPECT_DOUBLE_EQ(Val("-5.2x"), -5.2);
    EXPECT_DOUBLE_EQ(Val("2.5D1"), 25);
    EXPECT_DOUBLE_EQ(Val(".5"), 0.5);
    EXPECT_DOUBLE_EQ(Val("1,5"), 1); // the comma is not a decimal separator here either
    NumberBuffer buffer;
    EXPECT_EQ(formatNumber(-2845.6, buffer), "-2845.6");
}
