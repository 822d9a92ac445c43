#include "export/NumberText.h"

#include <QList>
#include <gtest/gtest.h>

TEST(NumberText, ReadsTheLongestLeadingNumber)
{
    struct Case {
        const char* text;
        double value;
    };
    const QList<Case> cases = {
        {"1234", 1234},        {"-52", -52},        {"+7", 7},            {"12 34", 1234},
        {"1\t2\n3", 123},      {"-5.2x", -5.2},     {"-", 0},             {"", 0},
        {"abc", 0},            {".5", 0.5},         {"-.5", -0.5},        {"5.", 5},
        {"1.2.3", 1.2},        {"1e3", 1000},       {"1E+2", 100},        {"25e-1", 2.5},
        {"1D2", 100},          {"1d-1", 0.1},       {"1e", 1},            {"1e+", 1},
        {"&H1F", 31},          {"&hff", 255},       {"&O17", 15},         {"&o8", 0},
        {"&HG", 0},            {"&", 0},            {"0028456", 28456},   {"1,5", 1},
        {"1\r2", 1},           {"- 5", -5},         {"2026-12-07", 2026}, {"1e999", 0},
    };
    for (const Case& c : cases)
        EXPECT_DOUBLE_EQ(Val(QString::fromLatin1(c.text)), c.value) << c.text;
    EXPECT_DOUBLE_EQ(Val(QStringLiteral("12度")), 12);
    EXPECT_DOUBLE_EQ(Val(QStringLiteral("温12")), 0);
}
