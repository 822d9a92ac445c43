// The component lists a readout gives (DIRPART), as the archive takes them into its slots.
#include "archive/Monitoring.h"
#include "platform/ComponentRules.h"

#include <gtest/gtest.h>

using namespace archive;

namespace {

using Entries = std::vector<std::pair<QString, QString>>;

} // namespace

TEST(ComponentNames, AReplyGivesItsSlotsInOrderAndNothingElse)
{
    const ComponentNames list = componentNamesOfReply("A", "A001=QRVA000001\r\nA017=P-7\r\nA200=~!@#$%^&*(\r\n");
    EXPECT_EQ(list.partition, "A");
    EXPECT_EQ(list.entries, (Entries{{"A001", "QRVA000001"}, {"A017", "P-7"}, {"A200", "~!@#$%^&*("}}));

    // An empty list is one bare CR LF.
    EXPECT_TRUE(componentNamesOfReply("B", "\r\n").entries.empty());
    EXPECT_TRUE(componentNamesOfReply("B", "").entries.empty());

    // Lines that name no slot of this partition are left out; the others keep their order.
    const QString garbled = "A002=\r\n"            // no name
                            "A003\r\n"             // no "="
                            "A004=QRVA0000011\r\n" // 11 characters
                            "A005=QR VA\r\n"       // a blank inside
                            "A006=渗压计\r\n"      // characters the readout cannot show
                            "B007=QRVB000007\r\n"  // another partition's code
                            "A000=ZERO\r\n"        // no such code
                            "A201=BEYOND\r\n"
                            "a008=LOWER\r\n"
                            "A009=FIRST\r\n"
                            "A009=SECOND\r\n" // a code twice keeps its first name
                            "A010=LFONLY\n"   // a line that lost its CR
                            "A011=LAST";      // and one cut short of its line end
    EXPECT_EQ(componentNamesOfReply("A", garbled).entries,
              (Entries{{"A009", "FIRST"}, {"A010", "LFONLY"}, {"A011", "LAST"}}));
}

TEST(ComponentNames, CodesAndNamesFollowTheInstrumentsRules)
{
    for (const char* code : {"A001", "J200", "C099"})
        EXPECT_TRUE(ComponentRules::isCode(code)) << code;
    for (const char* code : {"A000", "A201", "K001", "a001", "A01", "A0011", "A 01", "A1.5"})
        EXPECT_FALSE(ComponentRules::isCode(code)) << code;
    EXPECT_TRUE(ComponentRules::isName("X"));
    EXPECT_TRUE(ComponentRules::isName("1234567890"));
    EXPECT_FALSE(ComponentRules::isName(""));
    EXPECT_FALSE(ComponentRules::isName("12345678901"));
    EXPECT_FALSE(ComponentRules::isName("A\tB"));
    EXPECT_FALSE(ComponentRules::isName(QString("A") + QChar(0x7f)));
    EXPECT_FALSE(ComponentRules::isName("测点"));
}

TEST(ComponentNames, TheCacheKeepsOneListAPartitionUntilItIsForgotten)
{
    ComponentNamesCache cache;
    EXPECT_EQ(cache.find("A"), nullptr);
    cache.keep(componentNamesOfReply("A", "A001=ONE\r\n"));
    cache.keep(componentNamesOfReply("B", "B001=TWO\r\n"));
    ASSERT_NE(cache.find("A"), nullptr);
    EXPECT_EQ(cache.find("A")->entries, (Entries{{"A001", "ONE"}}));
    // A list read again replaces the one kept.
    cache.keep(componentNamesOfReply("A", "A001=ONE\r\nA002=THREE\r\n"));
    EXPECT_EQ(cache.find("A")->entries.size(), 2u);
    // Emptied by the readout is not the same as not read: an empty list is kept as such.
    cache.keep(componentNamesOfReply("C", "\r\n"));
    ASSERT_NE(cache.find("C"), nullptr);
    EXPECT_TRUE(cache.find("C")->entries.empty());
    cache.forget("A");
    EXPECT_EQ(cache.find("A"), nullptr);
    ASSERT_NE(cache.find("B"), nullptr);
    EXPECT_EQ(cache.find("B")->entries, (Entries{{"B001", "TWO"}}));
    cache.clear();
    EXPECT_EQ(cache.find("B"), nullptr);
    EXPECT_EQ(cache.find("C"), nullptr);
}
