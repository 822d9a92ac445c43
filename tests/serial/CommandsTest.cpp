#include "serial/Commands.h"

#include <gtest/gtest.h>

using namespace commands;

TEST(Commands, FixedCommandsAreExactBytes)
{
    EXPECT_EQ(dir(), QByteArray("DIR\r\n"));
    EXPECT_EQ(dir().size(), 5);
    for (char c = 'A'; c <= 'J'; ++c) {
        const QChar x = QLatin1Char(c);
        EXPECT_EQ(dirPartition(x), QByteArray("DIR ") + c + "\r\n");
        EXPECT_EQ(dirPartition(x).size(), 7);
        EXPECT_EQ(copyPartition(x), QByteArray("COPY ") + c + "\r\n");
        EXPECT_EQ(copyPartition(x).size(), 8);
        EXPECT_EQ(deletePartition(x), QByteArray("DEL ") + c + "\r\n");
        EXPECT_EQ(deletePartition(x).size(), 7);
        EXPECT_EQ(deleteData(x), QByteArray("DELDATA ") + c + "\r\n");
        EXPECT_EQ(deleteData(x).size(), 11);
        EXPECT_EQ(dirPart(x), QByteArray("DIRPART ") + c + "\r\n");
        EXPECT_EQ(dirPart(x).size(), 11);
    }
}

TEST(Commands, NamedCommandsCarryTheNameByteForByte)
{
    const QString twenty = QStringLiteral("ABCDEFGHIJ0123456789");
    EXPECT_EQ(*copyFile(QLatin1Char('B'), QStringLiteral("T01")), QByteArray("COPY B T01\r\n"));
    EXPECT_EQ(copyFile(QLatin1Char('B'), twenty)->size(), 20 + 9);
    EXPECT_EQ(*newFile(QLatin1Char('C'), QStringLiteral("<a>|?*\"")), QByteArray("NEWFILE C <a>|?*\"\r\n"));
    EXPECT_EQ(newFile(QLatin1Char('C'), twenty)->size(), 20 + 12);
    EXPECT_EQ(*writeComponent(QStringLiteral("A001"), QStringLiteral("QRVA000001")),
              QByteArray("WR A001 QRVA000001\r\n"));
    EXPECT_EQ(writeComponent(QStringLiteral("A001"), QStringLiteral("0123456789"))->size(), 10 + 10);
}

TEST(Commands, NamesWithoutSingleByteCodeAreRefused)
{
    EXPECT_FALSE(copyFile(QLatin1Char('A'), QStringLiteral("测试")).has_value());
    EXPECT_FALSE(newFile(QLatin1Char('A'), QStringLiteral("a中")).has_value());
    EXPECT_FALSE(writeComponent(QStringLiteral("A001"), QStringLiteral("名")).has_value());
}

// An operand is one field of one line: a line break in it would end the command and send the
// rest as a command of its own, a blank would make it two fields.
TEST(Commands, OperandsThatWouldSplitTheLineAreRefused)
{
    const QChar b = QLatin1Char('B');
    for (const QString& name : {QStringLiteral("x\nDELDATA C"), QStringLiteral("x\r\nDEL D"), QStringLiteral("x\rDEL D"),
                                QStringLiteral("two words"), QStringLiteral(" T01"), QStringLiteral("T01 "),
                                QStringLiteral("T\tab"), QStringLiteral("nul") + QChar(0) + QStringLiteral("x"),
                                QStringLiteral("del") + QChar(127), QStringLiteral("esc") + QChar(27), QString()}) {
        SCOPED_TRACE(name.toStdString());
        EXPECT_FALSE(copyFile(b, name).has_value());
        EXPECT_FALSE(newFile(b, name).has_value());
        EXPECT_FALSE(writeComponent(QStringLiteral("B001"), name).has_value());
        EXPECT_FALSE(writeComponent(name, QStringLiteral("NAME")).has_value());
    }
    // the characters either side of the refused ones still go out
    EXPECT_EQ(*copyFile(b, QStringLiteral("!~")), QByteArray("COPY B !~\r\n"));
}

TEST(Commands, APartitionLetterThatIsNoFieldGoesOutAsAQuestionMark)
{
    for (const QChar x : {QChar(QLatin1Char('\n')), QChar(QLatin1Char('\r')), QChar(QLatin1Char(' ')), QChar(127), QChar(0x4E2D)}) {
        EXPECT_EQ(deleteData(x), QByteArray("DELDATA ?\r\n"));
        EXPECT_EQ(deletePartition(x), QByteArray("DEL ?\r\n"));
        EXPECT_EQ(dirPartition(x), QByteArray("DIR ?\r\n"));
        EXPECT_EQ(copyPartition(x), QByteArray("COPY ?\r\n"));
        EXPECT_EQ(dirPart(x), QByteArray("DIRPART ?\r\n"));
        EXPECT_FALSE(copyFile(x, QStringLiteral("T01")).has_value());
        EXPECT_FALSE(newFile(x, QStringLiteral("T01")).has_value());
    }
}
