#include "serial/SerialLink.h"

#include <gtest/gtest.h>

TEST(SerialSettings, ParsesTheStripsCombinations)
{
    const SerialSettings a = SerialSettings::parse(QStringLiteral("9600,N,8,1"));
    ASSERT_TRUE(a.valid);
    EXPECT_EQ(a.baud, 9600);
    EXPECT_EQ(a.parity, 'N');
    EXPECT_EQ(a.dataBits, 8);
    EXPECT_EQ(a.stopBits, 1);

    const SerialSettings b = SerialSettings::parse(QStringLiteral("115200,E,8,2"));
    ASSERT_TRUE(b.valid);
    EXPECT_EQ(b.baud, 115200);
    EXPECT_EQ(b.parity, 'E');
    EXPECT_EQ(b.stopBits, 2);

    EXPECT_TRUE(SerialSettings::parse(QStringLiteral("300,M,8,1")).valid);
    EXPECT_TRUE(SerialSettings::parse(QStringLiteral("1200,O,8,1.5")).valid);
}

TEST(SerialSettings, RejectsWhatNoPortAccepts)
{
    for (const char* bad : {"", "9600", "abc,N,8,1", "0,N,8,1", "-9600,N,8,1", "9600,,8,1", "9600,X,8,1",
                            "9600,No,8,1", "9600,N,9,1", "9600,N,8,3", "9600,N,8,1,1"})
        EXPECT_FALSE(SerialSettings::parse(QString::fromLatin1(bad)).valid) << bad;
}
