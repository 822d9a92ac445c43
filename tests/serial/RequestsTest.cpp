// The requests as the exchange carries them: whose reply each one is (code, target, detail),
// which of them free the gate once sent, and that a name the line cannot carry is never sent.
#include "serial/Requests.h"

#include "serial/Commands.h"
#include "tests/support/FakeSerialLink.h"
#include "tests/support/QtTestMain.h"
#include "tests/support/RecordingMessenger.h"

#include <gtest/gtest.h>

using testing_qt::waitFor;

namespace {

struct Routed {
    qint16 code = 0;
    QString target;
    QString detail;
    bool operator==(const Routed&) const = default;
};

class RequestsTest : public ::testing::Test {
protected:
    RequestsTest() : exchange(link, messenger, timing)
    {
        link.open();
        exchange.gate().setConnected(true);
        for (qint16 code = commands::ReadPartitions; code <= commands::WriteComponent; ++code)
            exchange.route(code, [this](const CommandExchange::Reply& r) { routed.append({r.code, r.target, r.detail}); });
    }
    // Sends the request, answers it and gives where the answer went.
    QList<Routed> answer(const CommandExchange::Request& request)
    {
        routed.clear();
        link.autoReplies = {"OK\r\n"};
        EXPECT_TRUE(exchange.send(request));
        EXPECT_TRUE(waitFor([&] { return !exchange.lineBusy() && !routed.isEmpty(); }));
        return routed;
    }

    Timing timing = testing_qt::fastTiming();
    FakeSerialLink link;
    RecordingMessenger messenger;
    CommandExchange exchange;
    QList<Routed> routed;
};

} // namespace

TEST_F(RequestsTest, EachReplyReachesTheReaderOfItsCommandWithWhatItConcerns)
{
    using namespace requests;
    EXPECT_EQ(answer(readPartitions()), QList<Routed>({{commands::ReadPartitions, {}, {}}}));
    EXPECT_EQ(answer(listFiles("B")), QList<Routed>({{commands::ListFiles, "B", {}}}));
    EXPECT_EQ(answer(listFiles("B", "node B")), QList<Routed>({{commands::ListFiles, "node B", {}}}));
    // a file's copy names the file and, for the tree and the archive, its partition
    EXPECT_EQ(answer(*copyFile("B", "T01")), QList<Routed>({{commands::CopyFile, "T01", "B"}}));
    EXPECT_EQ(answer(copyPartition("C")), QList<Routed>({{commands::CopyPartition, "C", {}}}));
    EXPECT_EQ(answer(deletePartition("D")), QList<Routed>({{commands::DeletePartition, "D", {}}}));
    EXPECT_EQ(answer(deleteData("D")), QList<Routed>({{commands::DeleteData, "D", {}}}));
    EXPECT_EQ(answer(*newFile("E", "N1")), QList<Routed>({{commands::NewFile, "E", "N1"}}));
    EXPECT_EQ(answer(listComponents("F")), QList<Routed>({{commands::ListComponents, "F", {}}}));
    EXPECT_EQ(answer(*writeComponent("A001", "QRV1")), QList<Routed>({{commands::WriteComponent, "A001", {}}}));
    EXPECT_EQ(link.writes, QList<QByteArray>({"DIR\r\n", "DIR B\r\n", "DIR B\r\n", "COPY B T01\r\n", "COPY C\r\n",
                                              "DEL D\r\n", "DELDATA D\r\n", "NEWFILE E N1\r\n", "DIRPART F\r\n",
                                              "WR A001 QRV1\r\n"}));
    EXPECT_TRUE(messenger.messages.isEmpty()) << messenger.messages.join(u'\n').toStdString();
}

TEST_F(RequestsTest, OnlyReadingThePartitionsArmsTheReplyTimer)
{
    // Any other command would have the "no data" message said over a reply that merely
    // takes longer than the partitions' answer.
    for (const CommandExchange::Request& r :
         {requests::listFiles("A"), *requests::copyFile("A", "T01"), requests::copyPartition("A"),
          requests::deletePartition("A"), requests::deleteData("A"), *requests::newFile("A", "N"),
          requests::listComponents("A"), *requests::writeComponent("A001", "N")}) {
        SCOPED_TRACE(r.bytes.toStdString());
        EXPECT_FALSE(r.startReplyTimer);
    }
    EXPECT_TRUE(requests::readPartitions().startReplyTimer);
    // a component row's answer is waited for by the writer, not by the command wait
    EXPECT_FALSE(requests::writeComponent("A001", "N")->wait);
}

TEST_F(RequestsTest, ATreeClickFreesTheGateOnceSentAndTheButtonsKeepIt)
{
    link.autoReplies.clear();
    ASSERT_TRUE(exchange.send(requests::onTreeClick(requests::listFiles("A"))));
    EXPECT_FALSE(exchange.busy());
    EXPECT_EQ(exchange.pendingCode(), commands::ListFiles); // its reply is still dispatched
    exchange.abort();

    ASSERT_TRUE(exchange.send(requests::onTreeClick(*requests::copyFile("A", "T01"))));
    EXPECT_FALSE(exchange.busy());
    EXPECT_EQ(exchange.pendingCode(), commands::CopyFile);
    exchange.abort();

    ASSERT_TRUE(exchange.send(requests::listFiles("A")));
    EXPECT_TRUE(exchange.busy()); // until the reply, or the watchdog
}

TEST(Requests, NamesTheLineCannotCarryAreNeverSent)
{
    for (const QString& name : {QStringLiteral("测试"), QStringLiteral("two words"), QStringLiteral("x\r\nDEL D"),
                                QString()}) {
        SCOPED_TRACE(name.toStdString());
        EXPECT_FALSE(requests::copyFile("A", name).has_value());
        EXPECT_FALSE(requests::newFile("A", name).has_value());
        EXPECT_FALSE(requests::writeComponent(name, "N").has_value());
        EXPECT_FALSE(requests::writeComponent("A001", name).has_value());
    }
    // without a partition there is no "COPY x name" to send; the commands of a partition
    // alone go out with '?', which the instrument refuses
    EXPECT_FALSE(requests::copyFile({}, "T01").has_value());
    EXPECT_FALSE(requests::newFile({}, "N").has_value());
    EXPECT_EQ(requests::deleteData({}).bytes, QByteArray("DELDATA ?\r\n"));
    EXPECT_EQ(requests::listFiles({}).bytes, QByteArray("DIR ?\r\n"));
}
