#pragma once

#include "cli/Options.h"
#include "archive/Monitoring.h"
#include "editor/ComponentList.h"
#include "platform/Messenger.h"
#include "platform/Timing.h"
#include "serial/CommandExchange.h"

#include <QEventLoop>
#include <QJsonObject>
#include <QSet>
#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class ComponentWriter;
class PortRegistry;
class PreviewGrid;
namespace archive {
class Archive;
class Recorder;
}
class QIODevice;
class QtSerialLink;
namespace sheets {
class Servers;
}

namespace cli {

class Console;
class Progress;

// The exchange's messages (busy, not connected, no data, reply too large) on standard error.
// A text is said once per run: the reply timer and the reply deadline may both report the
// same silence.
class ConsoleMessenger : public Messenger {
public:
    explicit ConsoleMessenger(Console& console) : m_console(console) {}
    void information(const QString& text) override;
    void plain(const QString& text) override { information(text); }
    // Questions are answered on the command line beforehand (delete --yes); nothing is asked.
    bool confirm(const QString&) override { return true; }

private:
    Console& m_console;
    QSet<QString> m_said;
};

struct SessionServices {
    Console& console;
    std::function<std::unique_ptr<PortRegistry>()> ports;
    const sheets::Servers& servers;
    QString templatePath;     // Data.xls, which every .xls output starts from
    QIODevice& standardInput; // the component list of write-components -
    Timing timing;            // the window's durations; the reply deadlines come from --timeout
    // True once the run is to end early (the program was told to stop); asked while a file is
    // being written, when no event is handled.
    std::function<bool()> stopRequested = [] { return false; };
};

// One run of the command line: checks what can be checked without the instrument, connects
// as the window connects, runs the one command on the exchange, waits for its reply, puts the
// result out and gives the exit code.
class Session : public QObject {
    Q_OBJECT
public:
    Session(const Options& options, SessionServices services, QObject* parent = nullptr);
    ~Session() override;

    int run();

    // Ends the run early (the program was told to stop): a reply being received is dropped, a
    // component write sends no more rows, a file being written is not put in place.
    void stop();

private:
    int listPorts();
    int openPort();
    void composeExchange();

    // Sends one request and waits until its reply has come, or the run has failed. The reply
    // is then in m_reply.
    int ask(const CommandExchange::Request& request);
    // Waits until the reply just taken has been watched through its grace: Success when the
    // line stayed quiet, Interrupted when more input proved it cut.
    int awaitWhole();
    void fail(int code, const QString& message = {});
    void takeReply(CommandExchange::Reply& reply);

    int partitions();
    int files();
    int copy();
    // The archive a copy is kept in, opened before the port (unless --no-archive); a readout
    // --instrument names that the archive does not know refuses the copy.
    int openCopyArchive();
    // The readout the copy is archived under, once the port is open; none refuses the copy.
    int chooseCopyReadout();
    // The component list of the copy's partition (read once), or none when it cannot be read.
    std::optional<archive::ComponentNames> componentNames();
    // Keeps a completed copy's records in the archive (unless --no-archive).
    int archiveCopy(const PreviewGrid& grid, int saved);
    // copy --json: where the copy went (its file, the archive) and the archive's verdict on it.
    QJsonObject copyJson(int saved) const;
    int components();
    int writeComponents(std::vector<ComponentList::Entry> entries);
    int confirmed(const CommandExchange::Request& request); // delete, delete data, new file

    // Checks before anything is sent.
    int checkOutput() const;
    // The grid to the output (-o), as the window saves it (.xls) or as CSV.
    int save(const PreviewGrid& grid);
    void printList(const QStringList& items);

    Options m_o;
    SessionServices m_s;
    Timing m_timing;
    std::unique_ptr<Progress> m_progress;
    ConsoleMessenger m_messenger;
    std::unique_ptr<QtSerialLink> m_link;
    std::unique_ptr<CommandExchange> m_exchange;
    std::unique_ptr<ComponentWriter> m_writer;
    QString m_portName;
    std::unique_ptr<archive::Recorder> m_recorder; // a copy's archive
    std::optional<archive::Readout> m_readout;     // and the readout it is archived under
    archive::ComponentNamesCache m_names;          // the component lists read on this connection

    QEventLoop m_loop;
    std::optional<CommandExchange::Reply> m_reply;
    std::optional<int> m_failure;
    bool m_writing = false;     // a component write is running: its rows end by themselves
    bool m_rowAnswered = false; // the row being written has had an answer
};

} // namespace cli
