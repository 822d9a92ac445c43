#include "serial/CommandExchange.h"

#include "platform/SupportLog.h"
#include "serial/Commands.h"
#include "serial/LinkTexts.h"
#include "tests/support/FakeSerialLink.h"
#include "tests/support/QtTestMain.h"
#include "tests/support/RecordingMessenger.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <functional>
#include <new>
#include <stdexcept>

using testing_qt::pump;
using testing_qt::waitFor;

namespace {

using Request = CommandExchange::Request;

const QString kWait = CommandExchange::busyText();
const QString kNotConnected = CommandExchange::notConnectedText();
const QString kNoData = LinkTexts::noData();

struct Call {
    QString what;
    QString a;
    QString b;
    bool operator==(const Call&) const = default;
};

// What a front end hears from the gate, in order.
struct Controls {
    explicit Controls(Gate& gate)
    {
        QObject::connect(&gate, &Gate::controlsLocked, [this] { calls.append({"locked", {}, {}}); });
        QObject::connect(&gate, &Gate::controlsUnlocked, [this] { calls.append({"unlocked", {}, {}}); });
    }
    QList<Call> calls;
};

// Stand-ins for the consumers a front end routes replies to: each records what it received.
struct Consumers {
    QList<Call> replies;
    std::function<void()> failWith; // makes the grid's handler fail the way a real one can

    void routeAll(CommandExchange& exchange)
    {
        auto record = [this](const char* what, bool withTarget) {
            return [this, what, withTarget](const CommandExchange::Reply& r) {
                replies.append(withTarget ? Call{what, r.target, r.text} : Call{what, r.text, {}});
            };
        };
        exchange.route(commands::ReadPartitions, record("Ini_Tree", false));
        exchange.route(commands::ListFiles, record("Bulid_Tree", true));
        auto grid = [this](const CommandExchange::Reply& r) {
            if (failWith)
                failWith();
            replies.append({"FillGrid", r.text, {}});
        };
        exchange.route(commands::CopyFile, grid);
        exchange.route(commands::CopyPartition, grid);
        exchange.route(commands::ListComponents, record("FillYJGrid", false));
        exchange.route(commands::WriteComponent, record("RecStr", false));
        exchange.route(commands::StoreReturn, [&exchange](const CommandExchange::Reply& r) { exchange.SetReturn(r.text); });
    }
};

class ExchangeTest : public ::testing::Test {
protected:
    explicit ExchangeTest(Timing t = testing_qt::fastTiming())
        : timing(t), exchange(link, messenger, timing), controls(exchange.gate())
    {
        link.open();
        exchange.gate().setConnected(true);
        consumers.routeAll(exchange);
    }
    // Sends a command the way every button does.
    void send(const QByteArray& bytes, qint16 code, const QString& selected = {})
    {
        ASSERT_TRUE(exchange.send(Request{.bytes = bytes, .code = code, .target = selected}));
    }
    // The opening steps alone: true when a command could go out now (nothing is sent).
    bool mayStart()
    {
        bool reached = false;
        exchange.send([&]() -> CommandExchange::Step {
            reached = true;
            return CommandExchange::Refusal{.releaseGate = true};
        });
        return reached;
    }
    // The instrument's answer, followed by enough quiet for it to end.
    void reply(const QByteArray& bytes)
    {
        link.deliver(bytes);
        ASSERT_TRUE(waitFor([&] { return !exchange.receiving() && !exchange.discarding(); }));
    }
    // A reply streamed in pieces with short gaps, as a slow line delivers it.
    void stream(const QList<QByteArray>& pieces, int gapMs = 1)
    {
        for (const QByteArray& piece : pieces) {
            link.deliver(piece);
            pump(gapMs);
        }
    }

    Timing timing;
    FakeSerialLink link;
    RecordingMessenger messenger;
    CommandExchange exchange;
    Controls controls;
    Consumers consumers;
};

} // namespace

TEST_F(ExchangeTest, SendingSequenceTakesTheGateAndSetsTheCodeBeforeAnyEventRuns)
{
    // The instrument answers at once; its input event must already see the new code.
    link.autoReplies.append("A-E\r\n");
    QList<qint16> codesSeen;
    QObject::connect(&link, &FakeSerialLink::readyRead, &exchange, [&] { codesSeen.append(exchange.pendingCode()); });
    bool gateTaken = false;
    QList<Call> controlsBefore;
    ASSERT_TRUE(exchange.send([&]() -> CommandExchange::Step {
        gateTaken = exchange.busy();
        controlsBefore = controls.calls;
        return Request{.bytes = commands::dir(), .code = commands::ReadPartitions, .startReplyTimer = true};
    }));
    EXPECT_TRUE(gateTaken);
    EXPECT_EQ(controlsBefore, QList<Call>({{"locked", {}, {}}}));
    EXPECT_EQ(controls.calls.last(), (Call{"unlocked", {}, {}}));
    EXPECT_EQ(link.writes, QList<QByteArray>({"DIR\r\n"}));
    // The reply was handled inside the command wait.
    EXPECT_EQ(codesSeen, QList<qint16>({1}));
    EXPECT_EQ(consumers.replies, QList<Call>({{"Ini_Tree", "A-E\r\n", {}}}));
    EXPECT_FALSE(exchange.busy());
    EXPECT_EQ(exchange.pendingCode(), 0);
    EXPECT_TRUE(exchange.replied());
    EXPECT_TRUE(messenger.messages.isEmpty());
}

TEST_F(ExchangeTest, BusyRefusesWithoutTouchingAnything)
{
    // A refused command leaves the gate taken (for the watchdog).
    exchange.gate().setConnected(false);
    EXPECT_FALSE(mayStart());
    exchange.gate().setConnected(true);
    messenger.messages.clear();
    controls.calls.clear();
    bool prepared = false;
    EXPECT_FALSE(exchange.send([&]() -> CommandExchange::Step {
        prepared = true;
        return Request{.bytes = commands::dir(), .code = commands::ReadPartitions};
    }));
    EXPECT_FALSE(prepared);
    EXPECT_EQ(messenger.messages, QStringList({kWait}));
    EXPECT_TRUE(controls.calls.isEmpty());
    EXPECT_TRUE(link.writes.isEmpty());
    EXPECT_TRUE(exchange.busy());
}

TEST_F(ExchangeTest, NotConnectedLeavesTheGateForTheWatchdog)
{
    exchange.gate().setConnected(false);
    EXPECT_FALSE(mayStart());
    EXPECT_EQ(messenger.messages, QStringList({kNotConnected}));
    EXPECT_EQ(controls.calls, QList<Call>({{"locked", {}, {}}, {"unlocked", {}, {}}}));
    EXPECT_TRUE(exchange.busy());
    EXPECT_TRUE(link.writes.isEmpty());

    // A second try before the watchdog has ticked is refused as busy...
    EXPECT_FALSE(mayStart());
    EXPECT_EQ(messenger.messages.last(), kWait);
    // ...and works again after it.
    exchange.startWatchdog();
    ASSERT_TRUE(waitFor([&] { return !exchange.busy(); }));
    exchange.gate().setConnected(true);
    EXPECT_TRUE(exchange.send(Request{.bytes = commands::dir(), .code = commands::ReadPartitions}));
}

TEST_F(ExchangeTest, DispatchesEveryCodeToItsReader)
{
    send(commands::dir(), 1);
    reply("A-J\r\n");
    send(commands::dirPartition(QLatin1Char('B')), 2, "B");
    reply("T01\r\nT02\r\n");
    send(*commands::copyFile(QLatin1Char('B'), "T01"), 3, "T01");
    reply("1 2 3 4 5\r\n");
    send(commands::copyPartition(QLatin1Char('B')), 4, "B");
    reply("x\r\n");
    send(commands::dirPart(QLatin1Char('C')), 10, "C");
    reply("A001=N\r\n");
    send(*commands::writeComponent("A001", "N"), 11);
    reply("OK\r\n");
    EXPECT_EQ(consumers.replies, QList<Call>({{"Ini_Tree", "A-J\r\n", {}},
                                              {"Bulid_Tree", "B", "T01\r\nT02\r\n"},
                                              {"FillGrid", "1 2 3 4 5\r\n", {}},
                                              {"FillGrid", "x\r\n", {}},
                                              {"FillYJGrid", "A001=N\r\n", {}},
                                              {"RecStr", "OK\r\n", {}}}));
    EXPECT_FALSE(exchange.busy());
    EXPECT_EQ(exchange.pendingCode(), 0);
    EXPECT_TRUE(exchange.target().isEmpty());
}

TEST_F(ExchangeTest, ARequestsOwnHandlerTakesItsReplyInsteadOfTheRoute)
{
    QStringList own;
    auto listFor = [&own](const QString& partition) {
        return Request{.bytes = commands::dirPart(partition.at(0)), .code = commands::ListComponents, .target = partition, .onReply = [&own](const CommandExchange::Reply& r) {
                           own << r.target + ":" + r.text;
                       }};
    };
    ASSERT_TRUE(exchange.send(listFor("C")));
    reply("A001=N\r\n");
    EXPECT_EQ(own, QStringList({"C:A001=N\r\n"}));
    EXPECT_TRUE(consumers.replies.isEmpty()) << "the code's route never saw it";
    EXPECT_FALSE(exchange.busy());

    // The handler belongs to its one request: the next one of the code goes to the route.
    send(commands::dirPart(QLatin1Char('D')), commands::ListComponents, "D");
    reply("D001=M\r\n");
    EXPECT_EQ(own.size(), 1);
    EXPECT_EQ(consumers.replies, QList<Call>({{"FillYJGrid", "D001=M\r\n", {}}}));

    // A request given up (the port closed before the reply) leaves no handler behind for a
    // later request's reply.
    ASSERT_TRUE(exchange.send(listFor("E")));
    exchange.abort();
    send(commands::dirPart(QLatin1Char('F')), commands::ListComponents, "F");
    reply("F001=K\r\n");
    EXPECT_EQ(own.size(), 1);
    EXPECT_EQ(consumers.replies.size(), 2);
    EXPECT_EQ(consumers.replies.back(), (Call{"FillYJGrid", "F001=K\r\n", {}}));
}

TEST_F(ExchangeTest, CodeFiveStoresTheReplyAndUnknownCodesDropIt)
{
    send("X\r\n", 5);
    reply("stored\r\n");
    EXPECT_EQ(exchange.GetReturn(), QStringLiteral("stored\r\n"));
    EXPECT_EQ(exchange.GetReturn(), QString());
    for (qint16 code : {qint16(0), qint16(6), qint16(12), qint16(-1), qint16(99)}) {
        send("X\r\n", code, "A");
        reply("OK ERR A-J\r\n");
        EXPECT_FALSE(exchange.busy()) << code;
    }
    EXPECT_TRUE(consumers.replies.isEmpty());
    EXPECT_TRUE(messenger.messages.isEmpty());
}

TEST_F(ExchangeTest, ReplyTimeoutFiresOnceAndOnlyWithoutInput)
{
    ASSERT_TRUE(exchange.send(Request{.bytes = commands::dir(), .code = 1, .startReplyTimer = true}));
    // no reply at all: one message after the time-out, and the timer stops
    ASSERT_TRUE(waitFor([&] { return messenger.messages.size() == 1; }));
    EXPECT_EQ(messenger.messages, QStringList({kNoData}));
    EXPECT_FALSE(exchange.replyTimerActive());
    pump(timing.replyTimeoutMs / 4);
    EXPECT_EQ(messenger.messages.size(), 1);
    // the exchange itself is not reset by the time-out: a late reply still reaches the tree
    EXPECT_EQ(exchange.pendingCode(), 1);
    EXPECT_TRUE(exchange.busy());
    reply("A-C\r\n");
    EXPECT_EQ(consumers.replies, QList<Call>({{"Ini_Tree", "A-C\r\n", {}}}));

    // Input left over from an earlier command does not count as an answer to this one.
    messenger.messages.clear();
    link.raiseEmptyEvent(); // an input event of no command
    ASSERT_TRUE(exchange.replied());
    ASSERT_TRUE(exchange.send(Request{.bytes = commands::dir(), .code = 1, .startReplyTimer = true, .wait = false}));
    EXPECT_FALSE(exchange.replied());
    ASSERT_TRUE(waitFor([&] { return messenger.messages.size() == 1; }));
    EXPECT_EQ(messenger.messages, QStringList({kNoData}));
    reply("A-B\r\n");

    messenger.messages.clear();
    ASSERT_TRUE(exchange.send(Request{.bytes = commands::dir(), .code = 1, .startReplyTimer = true}));
    reply("A-J\r\n");
    pump(timing.replyTimeoutMs * 2);
    EXPECT_TRUE(messenger.messages.isEmpty());
}

namespace {
// A quiet spell far longer than the watchdog's period: a reply stays open across many ticks.
class LongQuietExchangeTest : public ExchangeTest {
protected:
    LongQuietExchangeTest() : ExchangeTest([] {
                                  Timing t = testing_qt::fastTiming();
                                  t.receiveQuiet = 1.0f;
                                  return t;
                              }()) {}
};
} // namespace

TEST_F(LongQuietExchangeTest, WatchdogNeverReleasesWhileReceiving)
{
    exchange.startWatchdog();
    send(commands::copyPartition(QLatin1Char('A')), commands::CopyPartition, "A");
    link.deliver("F1\r\n");
    ASSERT_TRUE(exchange.receiving());
    pump(timing.watchdogMs * 3);
    EXPECT_TRUE(exchange.receiving());
    EXPECT_TRUE(exchange.busy());
    ASSERT_TRUE(waitFor([&] { return !exchange.lineBusy(); }, 3000));
    EXPECT_EQ(consumers.replies, QList<Call>({{"FillGrid", "F1\r\n", {}}}));
}

TEST_F(ExchangeTest, UnsolicitedInputIsReadAndDropped)
{
    QList<qint64> discarded;
    QObject::connect(&exchange, &CommandExchange::discardFinished, [&](qint64 n) { discarded.append(n); });
    reply("garbage\r\n");
    EXPECT_TRUE(consumers.replies.isEmpty());
    EXPECT_EQ(link.bytesAvailable(), 0);
    EXPECT_TRUE(exchange.replied());
    EXPECT_EQ(discarded, QList<qint64>({9}));
}

TEST_F(ExchangeTest, EmptyEventOnlySetsReplied)
{
    ASSERT_TRUE(exchange.send(Request{.bytes = *commands::copyFile(QLatin1Char('A'), "F"), .code = 3, .target = "F", .wait = false}));
    ASSERT_FALSE(exchange.replied());
    link.raiseEmptyEvent();
    ASSERT_TRUE(waitFor([&] { return !exchange.receiving(); }));
    EXPECT_TRUE(exchange.replied());
    EXPECT_TRUE(exchange.busy());
    EXPECT_EQ(exchange.pendingCode(), 3);
    EXPECT_EQ(exchange.target(), QStringLiteral("F"));
    EXPECT_TRUE(consumers.replies.isEmpty());
}

TEST_F(ExchangeTest, RepliesOverTheCapAreRefusedAndTheExchangeGoesIdle)
{
    send(commands::copyPartition(QLatin1Char('A')), 4, "A");
    const QByteArray block(8 * 1024 * 1024, 'x');
    for (int i = 0; i < 9; ++i)
        link.deliver(block); // 72 MiB without a quiet spell
    ASSERT_TRUE(waitFor([&] { return !exchange.receiving(); }));
    EXPECT_TRUE(consumers.replies.isEmpty());
    ASSERT_EQ(messenger.messages.size(), 1);
    EXPECT_TRUE(messenger.messages[0].contains("64 MB"));
    EXPECT_FALSE(exchange.busy());
    EXPECT_EQ(exchange.pendingCode(), 0);
}

TEST_F(ExchangeTest, AbortDropsAPartialReply)
{
    send(commands::copyPartition(QLatin1Char('A')), 4, "A");
    link.deliver("1 2 3 4 5\r\n");
    exchange.abort();
    pump(50);
    EXPECT_TRUE(consumers.replies.isEmpty());
    EXPECT_FALSE(exchange.busy());
    EXPECT_FALSE(exchange.receiving());
}

TEST_F(ExchangeTest, DoubleByteCharacterSplitAcrossChunksIsDecodedWhole)
{
    send(commands::dirPart(QLatin1Char('A')), 10, "A");
    const QByteArray gbk("A001=\xD6\xD0\r\n"); // "中" in GBK
    link.deliver(gbk.left(6));
    link.deliver(gbk.mid(6));
    ASSERT_TRUE(waitFor([&] { return !exchange.receiving(); }));
    EXPECT_EQ(consumers.replies, QList<Call>({{"FillYJGrid", QStringLiteral("A001=中\r\n"), {}}}));
}

namespace {
// A slower quiet spell, so "within the quiet time" is unambiguous on a loaded machine.
class SlowQuietExchangeTest : public ExchangeTest {
protected:
    SlowQuietExchangeTest() : ExchangeTest([] {
                                  Timing t = testing_qt::fastTiming();
                                  t.receiveQuiet = 0.3f;
                                  return t;
                              }()) {}
};
} // namespace

TEST_F(SlowQuietExchangeTest, ChunksWithinTheQuietTimeFormOneReply)
{
    send(commands::copyPartition(QLatin1Char('A')), 4, "A");
    link.deliver("line1\r\nli");
    pump(20);
    link.deliver("ne2\r\n");
    pump(20);
    link.deliver("line3\r\n");
    ASSERT_TRUE(waitFor([&] { return !exchange.receiving(); }));
    EXPECT_EQ(consumers.replies, QList<Call>({{"FillGrid", "line1\r\nline2\r\nline3\r\n", {}}}));
}

TEST_F(SlowQuietExchangeTest, ALongStreamIsDispatchedOnceWhateverItsDuration)
{
    // A transfer that lasts several quiet times but never pauses that long stays one reply.
    send(commands::copyPartition(QLatin1Char('A')), 4, "A");
    QByteArray expected;
    for (int i = 0; i < 12; ++i) {
        const QByteArray chunk = "A001 " + QByteArray::number(i) + " 1 D T\r\n";
        expected += chunk;
        link.deliver(chunk);
        pump(60);
    }
    ASSERT_TRUE(waitFor([&] { return !exchange.receiving(); }));
    EXPECT_EQ(consumers.replies, QList<Call>({{"FillGrid", QString::fromLatin1(expected), {}}}));
}

TEST_F(SlowQuietExchangeTest, AChunkAfterDispatchIsReadAndDiscarded)
{
    send(commands::dirPartition(QLatin1Char('A')), 2, "A");
    reply("F1\r\n");
    link.deliver("F2\r\n");
    ASSERT_TRUE(waitFor([&] { return !exchange.receiving() && !exchange.discarding(); }));
    EXPECT_EQ(consumers.replies, QList<Call>({{"Bulid_Tree", "A", "F1\r\n"}}));
    EXPECT_FALSE(exchange.busy());
    EXPECT_EQ(link.bytesAvailable(), 0);
}

// ---- one command at a time on the line ---------------------------------------------------------

TEST_F(SlowQuietExchangeTest, EverySenderIsRefusedWhileAReplyIsPendingOrArriving)
{
    // Sent with the gate released, as the tree click does: the gate alone must not let a
    // command out.
    ASSERT_TRUE(exchange.send(Request{.bytes = *commands::copyFile(QLatin1Char('A'), "T01"), .code = commands::CopyFile, .target = "T01", .wait = false, .releaseGate = true}));
    EXPECT_FALSE(exchange.busy());

    // Sent, nothing back yet: a second command would have this reply taken for its own.
    EXPECT_TRUE(exchange.lineBusy());
    EXPECT_FALSE(mayStart());
    EXPECT_EQ(messenger.messages, QStringList({kWait}));

    // Streaming: refused again, and nothing about the pending command changes.
    stream({"T01\r\n", "A001 1 2 D T\r\n"});
    EXPECT_TRUE(exchange.receiving());
    EXPECT_FALSE(mayStart());
    EXPECT_FALSE(exchange.transmit(Request{.bytes = commands::dirPartition(QLatin1Char('B')), .code = commands::ListFiles}));
    EXPECT_EQ(link.writes.size(), 1);
    EXPECT_EQ(exchange.pendingCode(), commands::CopyFile);
    EXPECT_EQ(exchange.target(), "T01");
    EXPECT_EQ(messenger.messages, QStringList({kWait, kWait}));

    stream({"A002 3 4 D T\r\n"});
    ASSERT_TRUE(waitFor([&] { return !exchange.lineBusy(); }));
    // The whole reply, once, to the command that asked for it.
    EXPECT_EQ(consumers.replies, QList<Call>({{"FillGrid", "T01\r\nA001 1 2 D T\r\nA002 3 4 D T\r\n", {}}}));
    EXPECT_TRUE(mayStart());
}

TEST_F(SlowQuietExchangeTest, InputAfterADisconnectIsDiscardedUntilTheLineIsQuiet)
{
    QList<qint64> interrupted;
    QObject::connect(&exchange, &CommandExchange::receiveInterrupted,
                     [&](qint64 n, CommandExchange::Interruption) { interrupted.append(n); });
    send(commands::copyPartition(QLatin1Char('A')), commands::CopyPartition, "A");
    stream({"F1\r\n", "A001 1 2 D T\r\n"});
    exchange.abort(CommandExchange::Interruption::Disconnected);
    EXPECT_EQ(interrupted, QList<qint64>({18}));
    EXPECT_EQ(exchange.pendingCode(), 0);

    // Reconnected: the instrument is still sending the rest of the copy.
    stream({"A002 1 2 D T\r\n", "A003 1 2 D T\r\n"});
    EXPECT_TRUE(exchange.discarding());
    EXPECT_FALSE(mayStart());
    EXPECT_EQ(messenger.messages, QStringList({kWait}));
    ASSERT_TRUE(waitFor([&] { return !exchange.lineBusy(); }));

    // The next command gets exactly its own reply.
    send(commands::dirPartition(QLatin1Char('B')), commands::ListFiles, "B");
    reply("B1\r\nB2\r\n");
    EXPECT_EQ(consumers.replies, QList<Call>({{"Bulid_Tree", "B", "B1\r\nB2\r\n"}}));
}

TEST_F(ExchangeTest, AReplyAfterTheDeadlineIsNotTakenForTheNextOne)
{
    ASSERT_TRUE(exchange.send(
        Request{.bytes = commands::dirPartition(QLatin1Char('A')), .code = commands::ListFiles, .target = "A", .wait = false}));
    ASSERT_TRUE(waitFor([&] { return !exchange.lineBusy(); }));
    EXPECT_EQ(exchange.pendingCode(), 0);
    // A's listing comes at last; nobody waits for it any more.
    reply("A1\r\nA2\r\n");
    send(commands::dirPartition(QLatin1Char('B')), commands::ListFiles, "B");
    reply("B1\r\n");
    EXPECT_EQ(consumers.replies, QList<Call>({{"Bulid_Tree", "B", "B1\r\n"}}));
}

TEST_F(SlowQuietExchangeTest, BytesWaitingWhenTheQuietTimerFiresKeepTheReplyOpen)
{
    // On a loaded machine the timer fires while the next bytes already wait in the system.
    send(commands::copyFile(QLatin1Char('A'), "F").value(), commands::CopyFile, "F");
    link.deliver("F\r\nA001");
    link.hold(" 1 2 D T\r\n");
    pump(int(timing.receiveQuiet * 1000) + 50);
    EXPECT_TRUE(consumers.replies.isEmpty());
    stream({"A002 3 4 D T\r\n"});
    ASSERT_TRUE(waitFor([&] { return !exchange.lineBusy(); }));
    EXPECT_EQ(consumers.replies, QList<Call>({{"FillGrid", "F\r\nA001 1 2 D T\r\nA002 3 4 D T\r\n", {}}}));
}

TEST_F(SlowQuietExchangeTest, StopDropsTheReplyAndDiscardsTheRest)
{
    QList<CommandExchange::Interruption> why;
    QObject::connect(&exchange, &CommandExchange::receiveInterrupted,
                     [&](qint64, CommandExchange::Interruption w) { why.append(w); });
    exchange.stopReceiving(); // nothing arriving: nothing to stop
    EXPECT_TRUE(why.isEmpty());

    send(commands::copyPartition(QLatin1Char('A')), commands::CopyPartition, "A");
    stream({"F1\r\n", "A001 1 2 D T\r\n"});
    exchange.stopReceiving();
    EXPECT_EQ(why, QList<CommandExchange::Interruption>({CommandExchange::Interruption::Stopped}));
    EXPECT_FALSE(exchange.receiving());
    stream({"A002 1 2 D T\r\n"});
    EXPECT_TRUE(exchange.discarding());
    EXPECT_FALSE(mayStart());
    ASSERT_TRUE(waitFor([&] { return !exchange.lineBusy(); }));
    EXPECT_TRUE(consumers.replies.isEmpty());
    EXPECT_TRUE(mayStart());
}

TEST_F(ExchangeTest, AFailingHandlerSaysSoAndLeavesTheExchangeIdle)
{
    const struct {
        std::function<void()> fail;
        QString message;
    } cases[] = {
        {[] { throw std::bad_alloc(); }, "内存不足，无法显示接收的数据！"},
        {[] { throw std::runtime_error("boom"); }, "处理接收的数据时出错，数据未显示！boom"},
    };
    for (const auto& c : cases) {
        messenger.messages.clear();
        consumers.failWith = c.fail;
        send(commands::copyPartition(QLatin1Char('A')), commands::CopyPartition, "A");
        reply("F\r\n");
        EXPECT_EQ(messenger.messages, QStringList({c.message}));
        EXPECT_FALSE(exchange.lineBusy());
    }
}

TEST_F(ExchangeTest, AHandlerLearnsWhatTheCommandWasFor)
{
    QList<Call> seen;
    exchange.route(commands::NewFile, [&](const CommandExchange::Reply& r) {
        seen.append({QString::number(r.code), r.target, r.detail});
    });
    ASSERT_TRUE(exchange.send(Request{.bytes = *commands::newFile(QLatin1Char('B'), "N1"), .code = commands::NewFile, .target = "B", .detail = "N1"}));
    reply("OK\r\n");
    // the next command's reply carries its own target, never the previous one's
    send(commands::dirPartition(QLatin1Char('C')), commands::ListFiles, "C");
    reply("C1\r\n");
    EXPECT_EQ(seen, QList<Call>({{"9", "B", "N1"}}));
    EXPECT_EQ(consumers.replies, QList<Call>({{"Bulid_Tree", "C", "C1\r\n"}}));
}

TEST_F(ExchangeTest, AByteRouteGetsTheReplyAsItCameOffTheLine)
{
    QList<QByteArray> bytes;
    QStringList texts;
    exchange.routeBytes(commands::CopyPartition, [&](const CommandExchange::Reply& r) {
        bytes.append(r.bytes);
        texts.append(r.text);
    });
    send(commands::copyPartition(QLatin1Char('A')), commands::CopyPartition, "A");
    reply("F\r\nA001=\xD6\xD0\r\n"); // "中" in GBK, left undecoded
    EXPECT_EQ(bytes, QList<QByteArray>({"F\r\nA001=\xD6\xD0\r\n"}));
    EXPECT_EQ(texts, QStringList({QString()}));
    // a text route of another code still gets decoded text
    send(commands::dirPart(QLatin1Char('A')), commands::ListComponents, "A");
    reply("A001=\xD6\xD0\r\n");
    EXPECT_EQ(consumers.replies, QList<Call>({{"FillYJGrid", QStringLiteral("A001=中\r\n"), {}}}));
}

TEST_F(ExchangeTest, TheSupportLogHoldsCommandsAndReplySizesButNeverTheRecords)
{
    QTemporaryDir dir;
    const QString file = dir.filePath("logs/ktm520.log");
    ASSERT_TRUE(SupportLog::install(file));
    send(*commands::copyFile(QLatin1Char('B'), "T01"), 3, "T01");
    const QByteArray records = "T01\r\nA001 28456 -52 2026-12-07 10:31:05\r\n";
    reply(records);
    send(commands::dir(), 1);
    link.deliver("A-");
    pump(1);
    exchange.abort(CommandExchange::Interruption::Disconnected);
    SupportLog::uninstall();
    ASSERT_EQ(consumers.replies.size(), 1);

    QFile log(file);
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(log.readAll());
    EXPECT_TRUE(text.contains("ktm520.exchange info: sent command 3 COPY B T01\\r\\n")) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("reply to command 3 received: %1 bytes in").arg(records.size())))
        << text.toStdString();
    EXPECT_TRUE(text.contains("reply interrupted after 2 bytes")) << text.toStdString();
    EXPECT_FALSE(text.contains("28456")) << "a reading must never reach the log";
    EXPECT_FALSE(text.contains("A001")) << "nor a component's code";
}

// ---- a pause inside a reply ----------------------------------------------------------------

namespace {
// A short quiet spell and a long grace, so "after the reply was handed over but within the
// grace" is unambiguous on a loaded machine.
class GraceExchangeTest : public ExchangeTest {
protected:
    GraceExchangeTest() : ExchangeTest([] {
                              Timing t = testing_qt::fastTiming();
                              t.receiveQuiet = 0.05f;
                              t.replyGrace = 0.6f;
                              return t;
                          }())
    {
        QObject::connect(&exchange, &CommandExchange::replyCut, [this](qint16 code, const QString& target) {
            events.append({"cut", QString::number(code), target});
        });
        QObject::connect(&exchange, &CommandExchange::replyConfirmed,
                         [this](qint16 code) { events.append({"confirmed", QString::number(code), {}}); });
    }
    QList<Call> events;
};
} // namespace

TEST_F(GraceExchangeTest, InputSoonAfterAReplyEndedProvesItWasCut)
{
    send(commands::copyPartition(QLatin1Char('G')), commands::CopyPartition, "G");
    link.deliver("G1\r\nA001 1 2 D T\r\n");
    ASSERT_TRUE(waitFor([&] { return !consumers.replies.isEmpty(); }));
    EXPECT_TRUE(exchange.inGrace());
    EXPECT_TRUE(events.isEmpty()) << "nothing is concluded before the grace has passed";
    // The instrument goes on after its pause: the rest of the reply.
    link.deliver("G2\r\nA002 3 4 D T\r\n");
    ASSERT_TRUE(waitFor([&] { return !exchange.lineBusy(); }));
    EXPECT_EQ(events, QList<Call>({{"cut", QString::number(commands::CopyPartition), "G"}}));
    EXPECT_FALSE(exchange.inGrace());
    // The rest is no reply of its own and was read off the line.
    EXPECT_EQ(consumers.replies.size(), 1);
    EXPECT_EQ(link.bytesAvailable(), 0);
    pump(700);
    EXPECT_EQ(events.size(), 1) << "a cut reply is never confirmed afterwards";
}

TEST_F(GraceExchangeTest, AQuietGraceConfirmsTheReplyOnce)
{
    send(commands::dirPartition(QLatin1Char('A')), commands::ListFiles, "A");
    reply("F1\r\nF2\r\n");
    EXPECT_TRUE(exchange.inGrace());
    ASSERT_TRUE(waitFor([&] { return !events.isEmpty(); }));
    EXPECT_EQ(events, QList<Call>({{"confirmed", QString::number(commands::ListFiles), {}}}));
    EXPECT_FALSE(exchange.inGrace());
    // Input long after the grace is stale input, not a cut.
    reply("junk\r\n");
    EXPECT_EQ(events.size(), 1);
}

TEST_F(GraceExchangeTest, ANewCommandEndsTheGraceAndItsReplyIsNoCut)
{
    send(commands::dirPartition(QLatin1Char('A')), commands::ListFiles, "A");
    reply("F1\r\n");
    ASSERT_TRUE(exchange.inGrace());
    send(commands::dirPartition(QLatin1Char('B')), commands::ListFiles, "B");
    EXPECT_EQ(events, QList<Call>({{"confirmed", QString::number(commands::ListFiles), {}}}));
    reply("B1\r\n");
    EXPECT_EQ(consumers.replies.size(), 2);
    EXPECT_EQ(consumers.replies.back(), (Call{"Bulid_Tree", "B", "B1\r\n"}));
    exchange.abort();
    EXPECT_EQ(events.size(), 2) << "closing the port ends the second grace, confirmed";
    EXPECT_EQ(events.back().what, "confirmed");
}

TEST_F(GraceExchangeTest, AReplyWhoseHandlingFailedIsNotWatched)
{
    consumers.failWith = [] { throw std::runtime_error("no"); };
    send(commands::copyPartition(QLatin1Char('A')), commands::CopyPartition, "A");
    reply("A1\r\n");
    EXPECT_FALSE(exchange.inGrace());
    link.deliver("more\r\n");
    ASSERT_TRUE(waitFor([&] { return !exchange.lineBusy(); }));
    EXPECT_TRUE(events.isEmpty());
}

TEST_F(ExchangeTest, AHolderReleasingTheGateMakesTheLineIdleUnlessAReplyIsDue)
{
    int idle = 0;
    QObject::connect(&exchange, &CommandExchange::lineIdle, [&] { ++idle; });
    // a dialog holds the gate, then closes
    ASSERT_TRUE(exchange.send([]() -> CommandExchange::Step { return CommandExchange::Held{}; }));
    EXPECT_TRUE(exchange.busy());
    EXPECT_EQ(controls.calls, QList<Call>({{"locked", {}, {}}})); // the holder unlocks them itself
    exchange.gate().release();
    EXPECT_FALSE(exchange.busy());
    EXPECT_EQ(idle, 1);

    // a command awaits its reply: the line is not idle for the next one yet
    ASSERT_TRUE(exchange.send(Request{.bytes = commands::dir(), .code = commands::ReadPartitions, .wait = false}));
    exchange.gate().release();
    EXPECT_EQ(idle, 1);
    EXPECT_TRUE(exchange.lineBusy());
}

// The tests above take the operator's texts from the functions that make them; here they are
// held to the words the instrument's program has always shown.
TEST(ExchangeTexts, AreTheProgramsOwnWords)
{
    EXPECT_EQ(CommandExchange::busyText(), QStringLiteral("等待上次命令执行完成，稍后再试！"));
    EXPECT_EQ(CommandExchange::notConnectedText(), QStringLiteral("没有连接设备！请先连接设备，再操作！"));
    EXPECT_EQ(LinkTexts::noData(), QStringLiteral("没有读取到数据！请检查连线或仪器的电源开关是否关闭！"));
    EXPECT_EQ(LinkTexts::openError(), QStringLiteral("端口打开错误！或许参数设置不正确？请重试"));
}
