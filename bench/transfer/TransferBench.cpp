// A whole partition of about 1 MB copied from the paced simulator over a pseudo-terminal at
// 115200 baud, through the real serial link and command exchange. It must arrive whole and be
// dispatched once; the time from sending the command to the dispatch is compared with the time
// the bytes need on the line (10 bits per byte).
#include "ktmsim/protocol.h"
#include "ktmsim/seed.h"
#include "platform/Messenger.h"
#include "serial/CommandExchange.h"
#include "serial/Commands.h"
#include "serial/Requests.h"
#include "serial/QtSerialLink.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <benchmark/benchmark.h>

namespace {

constexpr int kBaud = 115200;
constexpr int kRecords = 29000; // about 1 MB as a partition reply

// The consumer of the reply: counts its dispatches.
class CountingHost {
public:
    void take(const QString& reply)
    {
        ++dispatches;
        this->reply = reply;
        clock.restart();
    }
    int dispatches = 0;
    QString reply;
    QElapsedTimer clock;
};

class SilentMessenger : public Messenger {
public:
    void information(const QString& text) override { messages << text; }
    void plain(const QString& text) override { messages << text; }
    bool confirm(const QString&) override { return false; }
    QStringList messages;
};

// The reply the simulator sends for "COPY A" with the same seed.
std::string expectedReply()
{
    ktmsim::Instrument instrument = ktmsim::defaultSeed();
    instrument.partition('A').files = ktmsim::largePartitionFiles('A', kRecords);
    ktmsim::Protocol protocol(instrument, nullptr);
    return protocol.execute("COPY A");
}

void BM_CopyPartitionOverPty(benchmark::State& state)
{
    const std::string expected = expectedReply();
    QTemporaryDir dir;
    qputenv("VARNOK_PORT_DIR", (dir.path() + "/ports").toLocal8Bit());
    QProcess sim;
    sim.start(KTM_SIM_PATH, {"--pty", "--state", dir.path() + "/state", "--baud", QString::number(kBaud),
                             "--records", QString::number(kRecords)});
    if (!sim.waitForStarted() || !sim.waitForReadyRead(20000)) {
        state.SkipWithError("simulator did not start");
        return;
    }
    const QString device = QString::fromLatin1(sim.readLine()).trimmed().section(' ', 1, 1);

    QtSerialLink link([device](int) { return device; });
    link.setPortNumber(1);
    link.setSettings(QStringLiteral("%1,N,8,1").arg(kBaud));
    if (!link.open()) {
        state.SkipWithError("cannot open the pseudo-terminal");
        return;
    }
    CountingHost host;
    SilentMessenger messenger;
    Timing timing; // production durations: 0.2 s quiet ends the reply
    CommandExchange exchange(link, messenger, timing);
    exchange.gate().setConnected(true);
    exchange.route(commands::CopyPartition, [&host](const CommandExchange::Reply& r) { host.take(r.text); });

    double seconds = 0;
    for (auto _ : state) {
        host.dispatches = 0;
        QElapsedTimer clock;
        clock.start();
        CommandExchange::Request copy = requests::copyPartition(QStringLiteral("A"));
        copy.wait = false;
        exchange.send(copy);
        QEventLoop loop;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
            if (host.dispatches > 0 || clock.elapsed() > 600000)
                loop.quit();
        });
        poll.start(20);
        loop.exec();
        seconds = clock.elapsed() / 1000.0;
        state.SetIterationTime(seconds);
    }
    const double lineSeconds = double(expected.size()) * 10.0 / kBaud;
    const bool whole = host.reply.toStdString() == expected;
    state.counters["reply_bytes"] = double(expected.size());
    state.counters["line_s"] = lineSeconds;
    state.counters["elapsed_s"] = seconds;
    state.counters["ratio"] = seconds / lineSeconds;
    state.counters["budget_s"] = 1.05 * lineSeconds + 0.2;
    state.counters["dispatches"] = host.dispatches;
    state.counters["whole"] = whole ? 1 : 0;
    if (!whole || host.dispatches != 1)
        state.SkipWithError("the reply did not arrive whole, once");
    link.close();
    sim.terminate();
    sim.waitForFinished();
}
BENCHMARK(BM_CopyPartitionOverPty)->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);

} // namespace
