// The component write as a state machine on the real exchange, without any window: one row per
// reply, a missing or late reply, stale input on the line, and stopping.
#include "editor/ComponentWriter.h"

#include "serial/CommandExchange.h"
#include "serial/Commands.h"
#include "tests/support/FakeSerialLink.h"
#include "tests/support/QtTestMain.h"
#include "tests/support/RecordingMessenger.h"

#include <gtest/gtest.h>

using testing_qt::pump;
using testing_qt::waitFor;

namespace {

class ComponentWriterTest : public ::testing::Test {
protected:
    ComponentWriterTest() : exchange(link, messenger, timing), writer(exchange, timing)
    {
        link.open();
        exchange.gate().setConnected(true);
        exchange.route(commands::WriteComponent, [this](const CommandExchange::Reply& r) { writer.receive(r.text); });
        QObject::connect(&writer, &ComponentWriter::rowDone,
                         [this](int row, const QString& status, bool) { statuses.append(QString::number(row) + ":" + status); });
        QObject::connect(&writer, &ComponentWriter::finished, [this](ComponentWriter::Summary s) { summaries.append(s); });
    }
    static std::vector<ComponentList::Entry> entries(int n)
    {
        std::vector<ComponentList::Entry> out;
        for (int i = 1; i <= n; ++i)
            out.push_back({QStringLiteral("A%1").arg(i, 3, 10, QLatin1Char('0')), QStringLiteral("N%1").arg(i)});
        return out;
    }
    bool finish()
    {
        return waitFor([&] { return !writer.running(); }, 5000);
    }

    Timing timing = testing_qt::fastTiming();
    FakeSerialLink link;
    RecordingMessenger messenger;
    CommandExchange exchange;
    ComponentWriter writer;
    QStringList statuses;
    QList<ComponentWriter::Summary> summaries;
};

} // namespace

TEST_F(ComponentWriterTest, EachRowGoesOutAfterTheAnswerToThePreviousOne)
{
    link.autoReplies = {"OK\r\n", "ERR\r\n", "OK"};
    EXPECT_FALSE(writer.start({})); // nothing to write
    ASSERT_TRUE(writer.start(entries(3)));
    EXPECT_FALSE(writer.start(entries(1)));                        // one write at a time
    EXPECT_EQ(link.writes, QList<QByteArray>({"WR A001 N1\r\n"})); // the second waits for an answer
    ASSERT_TRUE(finish());
    EXPECT_EQ(link.writes, QList<QByteArray>({"WR A001 N1\r\n", "WR A002 N2\r\n", "WR A003 N3\r\n"}));
    EXPECT_EQ(statuses, QStringList({"0:OK", "1:ERR\r\n", "2:OK"}));
    ASSERT_EQ(summaries.size(), 1);
    EXPECT_EQ(summaries[0].written, 2);
    EXPECT_EQ(summaries[0].failed, 1);
    EXPECT_FALSE(summaries[0].stopped);
}

TEST_F(ComponentWriterTest, AnAnswerAfterTheReplyWaitCountsForNoRow)
{
    // Row 1 gets no answer in time; its answer arrives while row 2 is pending.
    link.autoReplies = {{}, "OK\r\n"};
    ASSERT_TRUE(writer.start(entries(2)));
    ASSERT_TRUE(waitFor([&] { return statuses.size() == 1; }));
    EXPECT_EQ(statuses, QStringList({"0:ERR"}));
    EXPECT_EQ(exchange.pendingCode(), 0); // given up: what comes now is nobody's answer
    link.deliver("ERR late\r\n");
    ASSERT_TRUE(finish());
    EXPECT_EQ(statuses, QStringList({"0:ERR", "1:OK"}));
    // An answer when nobody writes is ignored.
    writer.receive("OK");
    EXPECT_EQ(statuses.size(), 2);
}

TEST_F(ComponentWriterTest, StaleInputOnTheLineIsWaitedOutBeforeARowIsSent)
{
    link.deliver("rest of an earlier transfer\r\n");
    ASSERT_TRUE(exchange.discarding());
    link.autoReplies = {"OK\r\n"};
    ASSERT_TRUE(writer.start(entries(1)));
    EXPECT_TRUE(link.writes.isEmpty()); // not while the line is busy
    ASSERT_TRUE(finish());
    EXPECT_EQ(link.writes, QList<QByteArray>({"WR A001 N1\r\n"}));
    EXPECT_EQ(statuses, QStringList({"0:OK"}));
}

TEST_F(ComponentWriterTest, StopSendsNothingMore)
{
    ASSERT_TRUE(writer.start(entries(3))); // the instrument never answers
    writer.stop();
    EXPECT_FALSE(writer.running());
    pump(int(timing.componentReplyWait * 1000) * 3);
    EXPECT_EQ(link.writes.size(), 1);
    ASSERT_EQ(summaries.size(), 1);
    EXPECT_TRUE(summaries[0].stopped);
    EXPECT_FALSE(exchange.lineBusy()); // the abandoned row's answer is not waited for
}

TEST_F(ComponentWriterTest, AfterAnUnansweredRowTheLineIsWaitedOutBeforeTheNext)
{
    // Row 1's answer comes after its wait, when the next row would otherwise be on the line;
    // the instrument refuses row 2.
    link.autoReplies = {{}, "ERR\r\n"};
    ASSERT_TRUE(writer.start(entries(2)));
    ASSERT_TRUE(waitFor([&] { return statuses.size() == 1; }));
    pump(int(timing.componentPause * 1000) * 2);
    EXPECT_EQ(link.writes.size(), 1) << "row 2 waits for a quiet line, not just the pause";
    link.deliver("OK\r\n"); // the late answer to row 1
    pump(int(timing.componentReplyWait * 1000) / 2);
    EXPECT_EQ(link.writes.size(), 1) << "late input starts the quiet spell again";
    ASSERT_TRUE(finish());
    EXPECT_EQ(link.writes, QList<QByteArray>({"WR A001 N1\r\n", "WR A002 N2\r\n"}));
    EXPECT_EQ(statuses, QStringList({"0:ERR", "1:ERR\r\n"}));
    EXPECT_EQ(summaries.back().written, 0);
}

TEST_F(ComponentWriterTest, AReplyHoldingTwoAnswersCountsForNoRow)
{
    link.autoReplies = {"OK\r\nERR\r\n", "OK\r\n"};
    ASSERT_TRUE(writer.start(entries(2)));
    ASSERT_TRUE(finish());
    EXPECT_EQ(statuses, QStringList({"0:OK\r\nERR\r\n", "1:OK"}));
    EXPECT_EQ(summaries.back().written, 1);
    EXPECT_EQ(summaries.back().failed, 1);
}
