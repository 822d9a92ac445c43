// Fuzzes the reply path of the main window: any bytes, arriving in any chunks with the line
// going quiet, the operator stopping, disconnecting or the device vanishing in between, for
// any pending command, decoded and dispatched into the real tree and preview grid.
//
// Input: [code] [selection] then chunks of [control] [up to 63 bytes]. The control's low six
// bits are the chunk's length, its two high bits what happens after the chunk arrived:
// 0 nothing (the reply goes on), 1 the line goes quiet, 2 the operator stops the transfer,
// 3 the port is closed (even length) or the device vanishes (odd length), then reconnected.
//
// Checked against a model of the exchange: the pending command's reply is the bytes from its
// first byte until the first quiet spell; it reaches its consumer whole and once, exactly as
// the consumer would show it on its own; a reply cut short by stop, disconnect or loss, and
// every byte after the reply ended, change nothing. The exchange always comes back idle, and
// no handler fails.
#include "app/Form1.h"
#include "grids/GridLayouts.h"
#include "grids/PreviewGrid.h"
#include "platform/WireText.h"
#include "serial/CommandExchange.h"
#include "serial/Commands.h"
#include "storage/PartitionTree.h"
#include "storage/StorageReplies.h"
#include "tests/support/FakeSerialLink.h"
#include "tests/support/FixedPorts.h"
#include "tests/support/RecordingMessenger.h"
#include "tests/support/ScriptedFileDialogs.h"
#include "export/Automation.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QThread>

#include <cstdint>
#include <cstdio>
#include <memory>

namespace {

#define CHECK(cond)                                                                            \
    do {                                                                                       \
        if (!(cond)) {                                                                         \
            std::fprintf(stderr, "fuzz_reply: check failed: %s (line %d)\n", #cond, __LINE__); \
            __builtin_trap();                                                                  \
        }                                                                                      \
    } while (0)

struct Harness {
    FakeSerialLink link;
    RecordingMessenger messenger;
    ScriptedFileDialogs dialogs;
    sheets::Servers servers;
    std::unique_ptr<Form1> window;

    static Timing timing()
    {
        Timing t;
        t.commandWait = 0;
        t.receiveQuiet = 0.002f;   // 2 ms ends a reply
        t.replyTimeoutMs = 600000; // no time-out or watchdog fires within one input
        t.watchdogMs = 600000;
        t.componentReplyWait = 0.01f;
        t.componentPause = 0;
        return t;
    }

    Harness()
    {
        window = std::make_unique<Form1>(Form1Services{
            link, messenger,
            []() -> std::unique_ptr<PortRegistry> { return std::make_unique<FixedPorts>(QList<QByteArray>{"COM1"}); },
            timing(), dialogs, servers, QString()});
        connect();
    }

    void connect()
    {
        window->Command1->click();
        CHECK(window->Command1->text() == Form1::connectedText());
    }

    CommandExchange& ex() { return window->exchange(); }

    // Runs the event loop until nothing is being received or discarded.
    void settle()
    {
        QElapsedTimer clock;
        clock.start();
        while (ex().receiving() || ex().discarding()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents);
            CHECK(clock.elapsed() < 5000); // a line with no new input always goes quiet
            QThread::usleep(200);
        }
    }
};

Harness& harness()
{
    static Harness* h = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "fuzz_reply";
        static char* argv[] = {name, nullptr};
        new QApplication(argc, argv);
        return new Harness;
    }();
    return *h;
}

// Everything the tree shows, depth first.
QStringList snapshot(const PartitionTree& tree)
{
    QStringList out;
    std::function<void(const PartitionTree::Node*, int)> walk = [&](const PartitionTree::Node* item, int depth) {
        out << QString::number(depth) + '|' + item->data(PartitionTree::KeyRole).toString() + '|' + item->text() + '|' +
                   QString::number(int(PartitionTree::kindOf(item->index())));
        for (int r = 0; r < item->rowCount(); ++r)
            walk(item->child(r), depth + 1);
    };
    for (int r = 0; r < tree.rowCount(); ++r)
        walk(tree.item(r), 0);
    return out;
}

QStringList snapshot(const PreviewGrid& grid)
{
    QStringList out;
    out << QString::number(grid.rows()) + 'x' + QString::number(grid.cols());
    for (int r = 0; r < grid.rows(); ++r)
        for (int c = 0; c < grid.cols(); ++c)
            out << grid.text(r, c);
    return out;
}

// The tree every input starts from: the ten partitions, two files in A and in the selection.
void baselineTree(PartitionTree& tree, const QString& selected)
{
    tree.Ini_Tree(QStringLiteral("A-J"));
    tree.Bulid_Tree(QStringLiteral("A"), QStringLiteral("A1\r\nA2\r\n"));
    tree.Bulid_Tree(selected, QStringLiteral("F1\r\nF2\r\n"));
}

const QString kBaselineReply = QStringLiteral("BASE\r\nA001,1234.5,21.5,2026-01-01 00:00:00\r\n");

} // namespace

// The window and Qt's caches (fonts, styles) are made once, before the first input, so they
// are not taken for leaks of an input.
extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    harness();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    Harness& h = harness();
    CommandExchange& ex = h.ex();
    const qint16 code = qint16(data[0] % 12);
    const QString partition = QString(QChar('A' + data[1] % 10));
    const QString selected = (data[1] & 0x80) ? QString() : partition;

    // A fresh start: connected, idle, the baseline tree and grid.
    if (h.window->Command1->text() != Form1::connectedText())
        h.connect();
    ex.abort();
    CHECK(!ex.lineBusy());
    baselineTree(h.window->tree(), partition);
    grids::FillGrid(h.window->grid(), kBaselineReply);
    ex.GetReturn();
    h.messenger.messages.clear();
    h.messenger.answers.clear();
    const QStringList treeBefore = snapshot(h.window->tree());
    const QStringList gridBefore = snapshot(h.window->grid());

    if (code != commands::None) {
        CHECK(ex.send(CommandExchange::Request{.bytes = QByteArrayLiteral("FUZZ\r\n"), .code = code, .target = selected, .wait = false}));
    }

    // The model: the reply is what arrives from the first byte until the line goes quiet; a
    // stop, disconnect or loss before that drops it; nothing after that is anyone's reply.
    enum class Fate {
        Waiting,
        Arriving,
        Dispatched,
        Dropped
    } fate = code == commands::None ? Fate::Dropped : Fate::Waiting;
    QByteArray reply;
    size_t at = 2;
    while (at < size) {
        const uint8_t control = data[at++];
        const size_t len = std::min<size_t>(control & 0x3F, size - at);
        const QByteArray chunk(reinterpret_cast<const char*>(data + at), qsizetype(len));
        at += len;
        if (!chunk.isEmpty()) {
            if (fate == Fate::Waiting)
                fate = Fate::Arriving;
            if (fate == Fate::Arriving)
                reply += chunk;
            h.link.deliver(chunk);
        }
        switch (control >> 6) {
        case 0:
            break;
        case 1:
            h.settle();
            if (fate == Fate::Arriving)
                fate = Fate::Dispatched;
            break;
        case 2:
            ex.stopReceiving();
            if (fate == Fate::Arriving)
                fate = Fate::Dropped;
            break;
        case 3:
            if (len % 2 == 0)
                h.window->Command12_Click();
            else
                h.link.unplug();
            CHECK(!ex.lineBusy()); // nothing of the closed session is pending
            if (fate == Fate::Arriving || fate == Fate::Waiting)
                fate = Fate::Dropped;
            h.connect();
            break;
        }
    }
    h.settle();
    if (fate == Fate::Arriving)
        fate = Fate::Dispatched;

    // What each consumer must show.
    const QString decoded = WireText::decode(reply);
    QStringList treeWant = treeBefore;
    QStringList gridWant = gridBefore;
    QString returnWant;
    if (fate == Fate::Dispatched) {
        switch (code) {
        case commands::ReadPartitions: {
            PartitionTree want;
            baselineTree(want, partition);
            want.Ini_Tree(decoded);
            treeWant = snapshot(want);
            break;
        }
        case commands::ListFiles: {
            PartitionTree want;
            baselineTree(want, partition);
            want.Bulid_Tree(selected, decoded);
            treeWant = snapshot(want);
            break;
        }
        case commands::CopyFile:
        case commands::CopyPartition:
            // The instrument's refusal is the bytes "ERR" alone (blanks around it aside), not a
            // reply whose decoding drops a stray byte after it.
            if (!selected.isEmpty() && !(reply.size() <= 16 && QByteArrayView(reply).trimmed() == "ERR")) {
                // A partition copy that lacks a file of the partition's listing was cut short
                // and is not shown.
                QStringList listed;
                if (const PartitionTree::Node* node = h.window->tree().itemByKey(selected); node && code == commands::CopyPartition)
                    for (int row = 0; row < node->rowCount(); ++row)
                        listed << node->child(row)->text();
                if (StorageReplies::missingFile(reply, listed))
                    break;
                PreviewGrid want;
                grids::FillGrid(want, decoded);
                gridWant = snapshot(want);
            }
            break;
        case commands::ListComponents:
            if (!selected.isEmpty()) {
                PreviewGrid want;
                grids::FillYJGrid(want, decoded);
                gridWant = snapshot(want);
            }
            break;
        case commands::StoreReturn: returnWant = decoded; break;
        default: break;
        }
    }
    // Delete and new-file replies may change the tree, but only below the selected partition.
    if (fate == Fate::Dispatched && (code == commands::DeletePartition || code == commands::NewFile)) {
        auto outsideSelection = [&](const QStringList& s) {
            QStringList out;
            for (const QString& line : s) {
                const QString key = line.section('|', 1, 1);
                if (selected.isEmpty() || !key.startsWith(selected) || key == selected)
                    out << line;
            }
            return out;
        };
        CHECK(outsideSelection(snapshot(h.window->tree())) == outsideSelection(treeBefore));
    } else {
        CHECK(snapshot(h.window->tree()) == treeWant);
    }
    CHECK(snapshot(h.window->grid()) == gridWant);
    CHECK(ex.GetReturn() == returnWant);

    // The exchange is idle and free for the next command.
    CHECK(!ex.receiving() && !ex.discarding());
    if (fate != Fate::Waiting)
        CHECK(!ex.lineBusy());
    for (const QString& m : h.messenger.messages) {
        CHECK(!m.isEmpty());
        CHECK(!m.startsWith(QStringLiteral("处理接收的数据时出错")));
        CHECK(!m.startsWith(QStringLiteral("内存不足")));
    }
    return 0;
}
