#include "export/NumberText.h"

#include "tests/export/CommaLocale.h"

#include <QList>
#include <gtest/gtest.h>

#include <cstdlib>
#include <utility>

TEST(NumberText, ReadsTheLongestLeadingNumber)
{
    struct Case {
        const char* text;
        double value;
    };
    const QList<Case> cases = {
        {"1234", 1234},
        {"-52", -52},
        {"+7", 7},
        {"12 34", 1234},
        {"1\t2\n3", 123},
        {"-5.2x", -5.2},
        {"-", 0},
        {"", 0},
        {"abc", 0},
        {".5", 0.5},
        {"-.5", -0.5},
        {"5.", 5},
        {"1.2.3", 1.2},
        {"1e3", 1000},
        {"1E+2", 100},
        {"25e-1", 2.5},
        {"1D2", 100},
        {"1d-1", 0.1},
        {"1e", 1},
        {"1e+", 1},
        {"&H1F", 31},
        {"&hff", 255},
        {"&O17", 15},
        {"&o8", 0},
        {"&HG", 0},
        {"&", 0},
        {"0028456", 28456},
        {"1,5", 1},
        {"1\r2", 1},
        {"- 5", -5},
        {"2026-12-07", 2026},
        {"1e999", 0},
    };
    for (const Case& c : cases)
        EXPECT_DOUBLE_EQ(Val(QString::fromLatin1(c.text)), c.value) << c.text;
    EXPECT_DOUBLE_EQ(Val(QStringLiteral("12度")), 12);
    EXPECT_DOUBLE_EQ(Val(QStringLiteral("温12")), 0);
}

TEST(NumberText, LeadingNumberTellsATextWithoutANumberFromZero)
{
    EXPECT_EQ(leadingNumber("-0.0 x"), 0.0);
    EXPECT_EQ(leadingNumber("&H0"), 0.0);
    // "&H" with 300 digits is beyond a double: out of range like "1e999", not infinite
    for (const QString& none : QStringList{"", "-", ".", "abc", "&H", "&HG", "e5", "1e999", "&H" + QString(300, 'F')})
        EXPECT_EQ(leadingNumber(none), std::nullopt) << none.toStdString();
    EXPECT_EQ(Val("&H" + QString(300, 'F')), 0.0);
}

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
