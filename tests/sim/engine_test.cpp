#include "ktmsim/engine.h"
#include "ktmsim/frontend.h"
#include "sim_fixtures.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using namespace ktmsim;
using namespace std::chrono_literals;

namespace {

struct Write {
    TimePoint at;
    std::string bytes;
};

// Runs the engine on a made-up clock the way the poll loop does: jump to the next wake-up,
// take what is writable. Stops when nothing is queued or at `until`.
std::vector<Write> drain(LineEngine& e, TimePoint& now, TimePoint until)
{
    std::vector<Write> out;
    for (int guard = 0; guard < 1'000'000; ++guard) {
        auto wake = e.nextWake(now);
        if (!wake || *wake > until || e.hangUpDue(now)) break;
        now = std::max(now, *wake);
        auto w = e.writable(now);
        if (w.empty()) {
            // nextWake promised bytes: an empty answer would make the poll loop spin.
            ADD_FAILURE() << "woken without anything to write";
            break;
        }
        out.push_back({now, std::string(w)});
        e.consumed(w.size(), now);
    }
    return out;
}

std::string joined(const std::vector<Write>& ws)
{
    std::string s;
    for (const auto& w : ws) s += w.bytes;
    return s;
}

// Partition A with one file "BIG" of about `bytes` reply bytes.
Instrument bigInstrument(std::size_t bytes)
{
    Instrument inst;
    DataFile f{"BIG", {}};
    std::size_t size = 5;
    for (int i = 0; size < bytes; ++i) {
        f.records.push_back("A001 28456 235 2026-12-07 10:31:" + std::string(i % 60 < 10 ? "0" : "") + std::to_string(i % 60));
        size += f.records.back().size() + 2;
    }
    inst.partition('A').files.push_back(f);
    return inst;
}

class EngineTest : public ::testing::Test {
protected:
    Instrument inst = simtest::smallInstrument();
    Protocol proto{inst, nullptr};
    TimePoint t0 = TimePoint{} + 1000s;
    TimePoint now = t0;
    std::unique_ptr<LineEngine> engine;
    void make(std::vector<FaultRule> faults, bool paced = false, int baud = 9600)
    {
        engine = std::make_unique<LineEngine>(proto, LineOptions{baud, paced, std::move(faults)});
    }
    std::string ask(std::string_view cmd)
    {
        engine->receive(cmd, now);
        return joined(drain(*engine, now, now + 1h));
    }
    static FaultRule rule(const char* text) { return *parseFaultRule(text); }
};

TEST_F(EngineTest, CommandsInPiecesAndBackToBackAreAnsweredInOrder)
{
    make({});
    engine->receive("DI", now);
    engine->receive("R\r", now);
    EXPECT_FALSE(engine->nextWake(now));
    EXPECT_EQ(ask("\nDIR B\r\nFOO\nDIRPART A\r\n"), "A-J\r\n\r\nERR\r\nA001=QRVA000001\r\nA012=X\r\n");
    EXPECT_EQ(ask("\r\n\r\n"), ""); // blank lines: no reply, not counted
    EXPECT_EQ(engine->commandCount(), 4u);
}

TEST_F(EngineTest, PacedOutputFollowsTheLineRateInSmallChunks)
{
    Instrument big = bigInstrument(2000);
    Protocol p(big, nullptr);
    LineEngine e(p, LineOptions{9600, true, {}});
    const std::string expected = p.execute("COPY A BIG");
    e.receive("COPY A BIG\r\n", now);
    auto writes = drain(e, now, now + 1h);
    ASSERT_EQ(joined(writes), expected);
    // 960 bytes/s; the first chunk goes at once, every later byte waits for its line time.
    const double rate = 960.0;
    std::size_t sent = 0;
    for (const auto& w : writes) {
        EXPECT_LE(w.bytes.size(), e.chunkBytes());
        sent += w.bytes.size();
        const double seconds = std::chrono::duration<double>(w.at - t0).count();
        EXPECT_LE(sent, rate * seconds + e.chunkBytes() + 0.001) << "ahead of the line at " << seconds;
    }
    const double total = std::chrono::duration<double>(writes.back().at - t0).count();
    const double lineTime = (expected.size() - e.chunkBytes()) / rate;
    EXPECT_NEAR(total, lineTime, 0.011);
    EXPECT_GE(writes.size(), expected.size() / e.chunkBytes()); // chunks of about 10 ms
}

TEST_F(EngineTest, PacingDoesNotBurstAfterTheReaderStalls)
{
    Instrument big = bigInstrument(20000);
    Protocol p(big, nullptr);
    LineEngine e(p, LineOptions{115200, true, {}});
    e.receive("COPY A BIG\r\n", now);
    e.consumed(e.writable(now).size(), now);
    now += 2s; // the line was blocked for two seconds
    EXPECT_LE(e.writable(now).size(), 10 * e.chunkBytes());
    EXPECT_GT(e.writable(now).size(), 0u);
}

TEST_F(EngineTest, UnpacedReplyIsWritableAtOnce)
{
    make({});
    engine->receive("COPY A\r\n", now);
    EXPECT_EQ(engine->writable(now), proto.execute("COPY A"));
}

TEST_F(EngineTest, DropCarriesOutTheCommandButSendsNothing)
{
    make({rule("drop@2")});
    EXPECT_EQ(ask("DIR\r\n"), "A-J\r\n");
    EXPECT_EQ(ask("NEWFILE B DROPPED\r\n"), "");
    EXPECT_EQ(ask("DIR B\r\n"), "DROPPED\r\n");
}

TEST_F(EngineTest, ErrRefusesWithoutCarryingOut)
{
    make({rule("err@1")});
    EXPECT_EQ(ask("NEWFILE B X\r\n"), "ERR\r\n");
    EXPECT_EQ(ask("DIR B\r\n"), "\r\n");
    make({rule("err")});
    EXPECT_EQ(ask("DIR\r\n"), "ERR\r\n");
}

TEST_F(EngineTest, LateReplyWaitsThenArrivesWhole)
{
    make({rule("late:500")});
    engine->receive("DIR\r\n", now);
    EXPECT_EQ(engine->writable(now + 499ms), "");
    EXPECT_EQ(*engine->nextWake(now), t0 + 500ms);
    auto writes = drain(*engine, now, now + 1h);
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(writes[0].at, t0 + 500ms);
    EXPECT_EQ(writes[0].bytes, "A-J\r\n");
}

TEST_F(EngineTest, SplitReplyHasAGapInTheMiddle)
{
    make({rule("split:300@2"), rule("late:100@2")});
    EXPECT_EQ(ask("DIR\r\n"), "A-J\r\n");
    const TimePoint start = now;
    engine->receive("COPY A F1\r\n", now);
    auto writes = drain(*engine, now, now + 1h);
    const std::string full = proto.execute("COPY A F1");
    ASSERT_EQ(writes.size(), 2u);
    EXPECT_EQ(writes[0].at, start + 100ms);
    EXPECT_EQ(writes[0].bytes, full.substr(0, full.size() / 2));
    EXPECT_EQ(writes[1].at, start + 400ms);
    EXPECT_EQ(writes[0].bytes + writes[1].bytes, full);
}

TEST_F(EngineTest, PauseStopsTheReplyAtTheLineEndNearestItsMiddle)
{
    make({rule("pause:700@2"), rule("late:100@2")});
    EXPECT_EQ(ask("DIR\r\n"), "A-J\r\n");
    const TimePoint start = now;
    engine->receive("COPY A\r\n", now);
    auto writes = drain(*engine, now, now + 1h);
    const std::string full = proto.execute("COPY A");
    ASSERT_EQ(writes.size(), 2u);
    EXPECT_EQ(writes[0].at, start + 100ms);
    EXPECT_EQ(writes[1].at, start + 800ms);
    EXPECT_EQ(writes[0].bytes + writes[1].bytes, full);
    // Both parts are whole lines, and the cut is the line end closest to half the reply.
    ASSERT_TRUE(writes[0].bytes.ends_with("\r\n"));
    const std::size_t cut = writes[0].bytes.size();
    for (std::size_t at = full.find('\n'); at + 1 < full.size(); at = full.find('\n', at + 1)) {
        const auto off = [&](std::size_t x) { return x > full.size() / 2 ? x - full.size() / 2 : full.size() / 2 - x; };
        EXPECT_LE(off(cut), off(at + 1));
    }
}

TEST_F(EngineTest, PauseSendsAOneLineReplyWhole)
{
    make({rule("pause:500")});
    engine->receive("DIR\r\n", now);
    auto writes = drain(*engine, now, now + 1h);
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(writes[0].bytes, "A-J\r\n");
    EXPECT_EQ(writes[0].at, t0);
}

TEST_F(EngineTest, GarbageReplacesTheReplyWithNoise)
{
    make({rule("garbage:40@1")});
    const std::string noise = ask("NEWFILE B G\r\n");
    EXPECT_EQ(noise, garbageBytes(1, 40));
    ASSERT_EQ(noise.size(), 40u);
    for (unsigned char c : noise) {
        EXPECT_NE(c, '\r');
        EXPECT_NE(c, '\n');
        EXPECT_FALSE(std::isalnum(c));
    }
    EXPECT_EQ(ask("DIR B\r\n"), "G\r\n"); // the command itself was carried out
}

TEST_F(EngineTest, HangUpFallsDueAfterEarlierRepliesAndStopsEverything)
{
    make({rule("hangup@2")}, true);
    engine->receive("COPY A\r\nNEWFILE B H\r\nDIR\r\n", now);
    EXPECT_FALSE(engine->hangUpDue(now));
    auto writes = drain(*engine, now, now + 1h);
    EXPECT_EQ(joined(writes), proto.execute("COPY A"));
    EXPECT_TRUE(engine->hangUpDue(now));
    EXPECT_EQ(proto.execute("DIR B"), "\r\n"); // neither the hung-up command nor later ones ran
}

TEST(FaultRule, ParsesTheDocumentedForms)
{
    using K = FaultRule::Kind;
    EXPECT_EQ(*parseFaultRule("drop"), (FaultRule{K::Drop, 0, 0}));
    EXPECT_EQ(*parseFaultRule("late:1500"), (FaultRule{K::Late, 1500, 0}));
    EXPECT_EQ(*parseFaultRule("split:20@3"), (FaultRule{K::Split, 20, 3}));
    EXPECT_EQ(*parseFaultRule("err@1"), (FaultRule{K::Err, 0, 1}));
    EXPECT_EQ(*parseFaultRule("garbage"), (FaultRule{K::Garbage, 32, 0}));
    EXPECT_EQ(*parseFaultRule("garbage:5@7"), (FaultRule{K::Garbage, 5, 7}));
    EXPECT_EQ(*parseFaultRule("hangup@2"), (FaultRule{K::HangUp, 0, 2}));
    EXPECT_EQ(*parseFaultRule("pause:500@4"), (FaultRule{K::Pause, 500, 4}));
    for (const char* bad : {"", "late", "split", "pause", "pause:x", "drop:5", "hangup:1", "late:-1", "late:x", "err@0", "err@", "err@x",
                            "garbage:0", "nonsense", "DROP"}) {
        std::string why;
        EXPECT_FALSE(parseFaultRule(bad, &why)) << bad;
        EXPECT_FALSE(why.empty()) << bad;
    }
}

// The real poll loop over a socket pair, on the real clock: a paced reply cannot arrive faster
// than the line allows. Only a lower bound and a generous upper bound, as the machine is shared.
TEST(ServeLine, PacedTransferTakesAtLeastTheLineTime)
{
    Instrument big = bigInstrument(2000);
    Protocol p(big, nullptr);
    const std::string expected = p.execute("COPY A BIG");
    LineEngine e(p, LineOptions{9600, true, {}});
    int sv[2], stop[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, sv), 0);
    ASSERT_EQ(::pipe(stop), 0);
    ServeEnd end{};
    std::thread server([&] { end = serveLine(sv[0], e, stop[0]); });

    const auto start = Clock::now();
    ASSERT_EQ(::write(sv[1], "COPY A BIG\r\n", 12), 12);
    std::string got;
    char buf[4096];
    while (got.size() < expected.size()) {
        pollfd pfd{sv[1], POLLIN, 0};
        if (::poll(&pfd, 1, 10000) <= 0) break;
        const ssize_t n = ::read(sv[1], buf, sizeof buf);
        if (n <= 0) break;
        got.append(buf, static_cast<std::size_t>(n));
    }
    const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    ASSERT_EQ(::write(stop[1], "x", 1), 1);
    server.join();
    EXPECT_EQ(end, ServeEnd::Stopped);
    EXPECT_EQ(got, expected);
    const double lineTime = expected.size() / 960.0; // ~2.1 s
    EXPECT_GE(elapsed, 0.9 * lineTime);
    EXPECT_LE(elapsed, 3.0 * lineTime);
    for (int fd : {sv[0], sv[1], stop[0], stop[1]}) ::close(fd);
}

} // namespace
