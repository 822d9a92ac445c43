#include "ktmsim/protocol.h"
#include "sim_fixtures.h"

#include <gtest/gtest.h>

#include <algorithm>

using ktmsim::Protocol;

namespace {

class ProtocolTest : public ::testing::Test {
protected:
    ktmsim::Instrument inst = simtest::smallInstrument();
    Protocol proto{inst, nullptr};
    std::string run(std::string_view line) { return proto.execute(line); }
};

TEST_F(ProtocolTest, ReadCommandsReplyInTheAgreedFormats)
{
    EXPECT_EQ(run("DIR"), "A-J\r\n");
    EXPECT_EQ(run("DIR A"), "F1\r\nF2\r\n");
    EXPECT_EQ(run("DIR C"), "C-1\r\n");
    EXPECT_EQ(run("COPY A F1"),
              "F1\r\nA001 28456 235 2026-12-07 10:31:05\r\nA002 30001 240 2026-12-07 10:32:05\r\n");
    EXPECT_EQ(run("COPY A F2"), "F2\r\n"); // an empty file still names itself
    EXPECT_EQ(run("COPY A"),
              "F1\r\nA001 28456 235 2026-12-07 10:31:05\r\nA002 30001 240 2026-12-07 10:32:05\r\nF2\r\n");
    EXPECT_EQ(run("COPY C C-1"), "C-1\r\nC007 19990 -15 2026-01-02 03:04:05\r\n");
    EXPECT_EQ(run("DIRPART A"), "A001=QRVA000001\r\nA012=X\r\n");
}

TEST_F(ProtocolTest, EmptyResultsAreOneBareLineEnd)
{
    EXPECT_EQ(run("DIR B"), "\r\n");
    EXPECT_EQ(run("COPY B"), "\r\n");
    EXPECT_EQ(run("DIRPART J"), "\r\n");
}

TEST_F(ProtocolTest, DeleteRemovesFilesButKeepsComponents)
{
    EXPECT_EQ(run("DEL A"), "OK\r\n");
    EXPECT_EQ(run("DIR A"), "\r\n");
    EXPECT_EQ(run("COPY A"), "\r\n");
    EXPECT_EQ(run("COPY A F1"), "ERR\r\n");
    EXPECT_EQ(run("DIRPART A"), "A001=QRVA000001\r\nA012=X\r\n");
    EXPECT_EQ(run("DIR C"), "C-1\r\n"); // other partitions untouched
    EXPECT_EQ(run("DEL B"), "OK\r\n");  // deleting an empty partition is fine
}

TEST_F(ProtocolTest, DeleteDataKeepsFileNames)
{
    EXPECT_EQ(run("DELDATA A"), "OK\r\n");
    EXPECT_EQ(run("DIR A"), "F1\r\nF2\r\n");
    EXPECT_EQ(run("COPY A"), "F1\r\nF2\r\n");
    EXPECT_EQ(run("DIRPART A"), "A001=QRVA000001\r\nA012=X\r\n");
}

TEST_F(ProtocolTest, NewFileChecksNameAndUniqueness)
{
    EXPECT_EQ(run("NEWFILE B T01"), "OK\r\n");
    EXPECT_EQ(run("NEWFILE B T02"), "OK\r\n");
    EXPECT_EQ(run("DIR B"), "T01\r\nT02\r\n");
    EXPECT_EQ(run("COPY B T01"), "T01\r\n");
    EXPECT_EQ(run("NEWFILE B T01"), "ERR\r\n"); // exists
    EXPECT_EQ(run("NEWFILE A 12345678901234567890"), "OK\r\n");
    EXPECT_EQ(run("NEWFILE A 123456789012345678901"), "ERR\r\n");
    EXPECT_EQ(run("NEWFILE A <>|:\"*?/\\"), "OK\r\n"); // printable punctuation is allowed
    EXPECT_EQ(run(std::string("NEWFILE A a\x7f")), "ERR\r\n");
    EXPECT_EQ(run("NEWFILE A \xd6\xd0"), "ERR\r\n"); // a double-byte character
    EXPECT_EQ(run("NEWFILE A a b"), "ERR\r\n");
    EXPECT_EQ(run("NEWFILE A "), "ERR\r\n");
    EXPECT_EQ(run("DIR A"), "F1\r\nF2\r\n12345678901234567890\r\n<>|:\"*?/\\\r\n");
}

TEST_F(ProtocolTest, WriteComponentAddsOrRenamesInItsOwnPartition)
{
    EXPECT_EQ(run("WR A005 NEW5"), "OK\r\n");
    EXPECT_EQ(run("WR A012 Y"), "OK\r\n");
    EXPECT_EQ(run("WR B200 ABCDEFGHIJ"), "OK\r\n");
    EXPECT_EQ(run("DIRPART A"), "A001=QRVA000001\r\nA005=NEW5\r\nA012=Y\r\n");
    EXPECT_EQ(run("DIRPART B"), "B200=ABCDEFGHIJ\r\n");
    for (const char* bad : {"WR A000 X", "WR A201 X", "WR K001 X", "WR a001 X", "WR A01 X", "WR A0011 X",
                            "WR A00x X", "WR A001 ABCDEFGHIJK", "WR A001", "WR A001 A B", "WR A001 \x80"})
        EXPECT_EQ(run(bad), "ERR\r\n") << bad;
    EXPECT_EQ(run("DIRPART A"), "A001=QRVA000001\r\nA005=NEW5\r\nA012=Y\r\n");
}

TEST_F(ProtocolTest, PartitionHoldsAllTwoHundredComponents)
{
    for (int i = 1; i <= 200; ++i)
        ASSERT_EQ(run("WR " + ktmsim::formatComponentCode('D', i) + " N" + std::to_string(i)), "OK\r\n");
    const std::string list = run("DIRPART D");
    EXPECT_EQ(std::count(list.begin(), list.end(), '\n'), 200);
    EXPECT_EQ(list.substr(0, 9), "D001=N1\r\n");
    EXPECT_EQ(list.substr(list.size() - 11), "D200=N200\r\n");
}

TEST_F(ProtocolTest, MalformedCommandsGetErr)
{
    for (const char* bad : {"dir", "DIR a", "DIR K", "DIR AB", "DIR  A", "DIR A ", " DIR", "COPY", "COPY A F1 X",
                            "COPY A NOPE", "DEL", "DEL A B", "DELDATA", "DIRPART", "DIRPART Z", "NEWFILE A",
                            "FORMAT", "\x01\xff", "DIR\tA"})
        EXPECT_EQ(run(bad), "ERR\r\n") << bad;
    EXPECT_EQ(run(std::string("DIR\0A", 5)), "ERR\r\n");
    EXPECT_EQ(inst, simtest::smallInstrument()); // nothing changed
}

TEST_F(ProtocolTest, BlankLineGetsNoReply)
{
    EXPECT_EQ(run(""), "");
    EXPECT_EQ(run("  "), "");
}

TEST(LineSplitter, JoinsPiecesAndAcceptsBareLineFeed)
{
    ktmsim::LineSplitter s;
    EXPECT_TRUE(s.feed("DI").empty());
    EXPECT_TRUE(s.feed("R A\r").empty());
    EXPECT_EQ(s.feed("\nDIR\nCOPY"), (std::vector<std::string>{"DIR A", "DIR"}));
    EXPECT_TRUE(s.hasPartialLine());
    EXPECT_EQ(s.feed(" B\r\n\r\n"), (std::vector<std::string>{"COPY B", ""}));
    EXPECT_FALSE(s.hasPartialLine());
}

TEST(LineSplitter, OverlongLineIsCutAndRefusedWithoutGrowing)
{
    ktmsim::Instrument inst;
    Protocol proto(inst, nullptr);
    ktmsim::LineSplitter s;
    std::vector<std::string> lines;
    for (int i = 0; i < 1000; ++i)
        for (auto& l : s.feed(std::string(1000, 'D'))) lines.push_back(l);
    EXPECT_TRUE(lines.empty());
    for (auto& l : s.feed("IR\r\nDIR\r\n")) lines.push_back(l);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].size(), ktmsim::LineSplitter::kMaxLine + 1);
    EXPECT_EQ(proto.execute(lines[0]), "ERR\r\n");
    EXPECT_EQ(proto.execute(lines[1]), "A-J\r\n");
}

} // namespace
