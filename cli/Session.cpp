#include "cli/Session.h"

#include "platform/SupportLog.h"

#include "cli/ArchiveCommands.h"
#include "cli/ArchiveTexts.h"
#include "cli/ComponentInput.h"
#include "cli/Console.h"
#include "cli/PortChoice.h"
#include "cli/Progress.h"
#include "cli/ReadoutChoice.h"
#include "cli/Settings.h"
#include "editor/ComponentList.h"
#include "editor/ComponentWriter.h"
#include "export/Automation.h"
#include "export/CsvWriter.h"
#include "export/SaveGrid.h"
#include "export/SheetWriter.h"
#include "grids/GridLayouts.h"
#include "grids/PreviewGrid.h"
#include "platform/Delay.h"
#include "serial/Commands.h"
#include "serial/Connection.h"
#include "serial/LinkTexts.h"
#include "serial/PortDiscovery.h"
#include "serial/QtSerialLink.h"
#include "serial/Requests.h"
#include "storage/NewFileName.h"
#include "storage/PartitionTree.h"
#include "storage/StorageReplies.h"
#include "archive/Recorder.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <limits>
#include <QLocale>

#include <cmath>

namespace cli {

namespace {

// The window's words for the same events are LinkTexts, ComponentWriter's and SaveGrid's;
// the command line's own follow.
QString notARange() { return Session::tr("读取数据分区失败！仪器的回答不是分区范围：%1"); }
QString unclear() { return Session::tr("仪器的回答不明确：%1"); }
QString cutShort()
{
    return Session::tr(
        "接收的数据不完整（最后一行没有结束，传输可能被中断），已接收的 %1 字节已丢弃，未写入任何文件！");
}
QString wentOn()
{
    return Session::tr("仪器的回答在停顿后又继续发送，接收的数据不完整，未写入也未输出任何内容！"
                       "如仪器回答中途停顿较久，请用 --quiet-ms 加长静默时间后重试。");
}
QString nameNotSendable() { return Session::tr("文件名“%1”中含有无法发送给仪器的字符！"); }
QString folderMissing() { return Session::tr("输出文件夹“%1”不存在。"); }
QString stopped() { return Session::tr("已中止。"); }
QString notArchived() { return Session::tr("存档已中止：本次拷贝的记录均未存档。"); }

QString grouped(qint64 n) { return QLocale(QLocale::Chinese, QLocale::China).toString(n); }

QString oneLine(const QString& reply)
{
    QString t = reply.trimmed();
    t.replace(QLatin1String("\r\n"), QLatin1String(" "));
    return t.left(200);
}

// The texts of the children of a tree node, through the model's own interface.
QStringList childTexts(const QAbstractItemModel& model, const QModelIndex& parent)
{
    QStringList out;
    for (int r = 0; r < model.rowCount(parent); ++r)
        out << model.index(r, 0, parent).data(Qt::DisplayRole).toString();
    return out;
}

bool isErrAnswer(const QString& reply) { return reply.trimmed() == QLatin1String("ERR"); }

} // namespace

void ConsoleMessenger::information(const QString& text)
{
    if (text.isEmpty() || m_said.contains(text))
        return;
    m_said.insert(text);
    m_console.error(text);
}

Session::Session(const Options& options, SessionServices services, QObject* parent)
    : QObject(parent), m_o(options), m_s(std::move(services)), m_timing(m_s.timing),
      m_progress(std::make_unique<Progress>(m_s.console)), m_messenger(m_s.console)
{
    // --timeout is how long the instrument may take to begin a reply, whatever the command: the
    // exchange's reply deadline and "DIR"'s reply timer both, and the wait for each component row.
    const int ms = int(std::lround(m_o.timeoutSeconds * 1000.0));
    m_timing.watchdogMs = std::max(ms, 1);
    m_timing.replyTimeoutMs = std::max(ms, 1);
    m_timing.componentReplyWait = float(m_o.timeoutSeconds);
    m_timing.receiveQuiet = float(m_o.quietMs / 1000.0);
}

Session::~Session()
{
    if (m_writer)
        m_writer->stop();
    if (m_exchange) {
        m_exchange->stopTimers();
        disconnect(m_link.get(), nullptr, m_exchange.get(), nullptr);
    }
    if (m_link)
        m_link->close();
}

int Session::run()
{
    if (m_o.command == Command::Ports)
        return listPorts();
    // A year of readings takes a while to gather: a folder that is not there is said first.
    if (m_o.command == Command::Report)
        if (const int code = checkOutput(); code != Success)
            return code;
    if (ArchiveCommands::handles(m_o.command))
        return ArchiveCommands(m_o, m_s.console, m_s.stopRequested).run();

    // Everything that can be refused is refused before the port is opened.
    PreviewGrid list;
    std::vector<ComponentList::Entry> entries;
    switch (m_o.command) {
    case Command::Copy:
        if (!m_o.file.isEmpty() && !requests::copyFile(m_o.partition, m_o.file)) {
            m_s.console.error(nameNotSendable().arg(m_o.file));
            return UsageError;
        }
        [[fallthrough]];
    case Command::Components:
        if (const int code = checkOutput(); code != Success)
            return code;
        if (m_o.command == Command::Copy)
            if (const int code = openCopyArchive(); code != Success)
                return code;
        break;
    case Command::NewFile: {
        const NewFileName checked = NewFileName::check(m_o.name);
        if (!checked.error.isEmpty()) {
            m_s.console.error(checked.error);
            return UsageError;
        }
        if (!requests::newFile(m_o.partition, checked.trimmed)) {
            m_s.console.error(nameNotSendable().arg(checked.trimmed));
            return UsageError;
        }
        m_o.name = checked.trimmed;
        break;
    }
    case Command::WriteComponents: {
        if (const std::optional<QString> failure =
                loadComponentList(m_o.list, list, m_s.servers, m_s.standardInput)) {
            m_s.console.error(*failure);
            return UsageError;
        }
        ListCheck checked = checkList(list, m_o.partition);
        if (!checked.fault.isEmpty()) {
            m_s.console.error(checked.fault);
            return UsageError;
        }
        entries = std::move(checked.entries);
        break;
    }
    default: break;
    }

    if (const int code = openPort(); code != Success)
        return code;

    switch (m_o.command) {
    case Command::Partitions: return partitions();
    case Command::Files: return files();
    case Command::Copy: return copy();
    case Command::Components: return components();
    case Command::WriteComponents: {
        // Whatever of the list was written, the list read before is not the instrument's now.
        const int code = writeComponents(std::move(entries));
        m_names.forget(m_o.partition);
        return code;
    }
    case Command::NewFile: return confirmed(*requests::newFile(m_o.partition, m_o.name)); // checked above
    case Command::Delete: {
        const int code =
            confirmed(m_o.dataOnly ? requests::deleteData(m_o.partition) : requests::deletePartition(m_o.partition));
        m_names.forget(m_o.partition);
        return code;
    }
    default: return UsageError;
    }
}

void Session::stop()
{
    if (m_exchange && m_exchange->receiving())
        m_exchange->stopReceiving(); // the reply so far is dropped and said so
    if (m_writer && m_writer->running())
        m_writer->stop();
    fail(Interrupted, stopped());
}

// ---- ports and connection -------------------------------------------------------------------

int Session::listPorts()
{
    const std::unique_ptr<PortRegistry> registry = m_s.ports();
    const connection::PortList ports = connection::portEntries(*registry);
    QJsonArray json;
    QString text;
    // The stand-in COM1 of an empty list is no port of this machine: nothing is listed.
    for (const connection::PortEntry& entry : ports.listed ? ports.entries : QList<connection::PortEntry>{}) {
        json.append(QJsonObject{{QStringLiteral("name"), entry.name},
                                {QStringLiteral("device"), entry.device},
                                {QStringLiteral("description"), entry.description}});
        text += entry.name + QLatin1Char('\t') + entry.device + QLatin1Char('\t') + entry.description + QLatin1Char('\n');
    }
    if (m_o.json)
        m_s.console.outBytes(QJsonDocument(json).toJson(QJsonDocument::Compact) + '\n');
    else
        m_s.console.out(text);
    return Success;
}

void Session::composeExchange()
{
    QtSerialLink& link = *m_link;
    // Nothing to lock: the command line connects none of the gate's signals.
    m_exchange = std::make_unique<CommandExchange>(link, m_messenger, m_timing);
    m_writer = std::make_unique<ComponentWriter>(*m_exchange, m_timing);

    // Where each reply goes: the commands' replies to this session, which hands them to the
    // tree, the grid or the confirmation texts once the exchange is done with them; the kept
    // reply to the exchange itself; component writes to the writer.
    for (const qint16 code : {commands::ReadPartitions, commands::ListFiles, commands::ListComponents,
                              commands::DeletePartition, commands::DeleteData, commands::NewFile})
        m_exchange->route(code, [this](CommandExchange::Reply& r) { takeReply(r); });
    // Copies are the large replies: taken as they came off the line, never decoded twice.
    for (const qint16 code : {commands::CopyFile, commands::CopyPartition})
        m_exchange->routeBytes(code, [this](CommandExchange::Reply& r) { takeReply(r); });
    CommandExchange* exchange = m_exchange.get();
    m_exchange->route(commands::StoreReturn, [exchange](const CommandExchange::Reply& r) { exchange->SetReturn(r.text); });
    m_exchange->route(commands::WriteComponent, [this](const CommandExchange::Reply& r) {
        m_rowAnswered = true;
        m_writer->receive(r.text);
    });

    connect(m_exchange.get(), &CommandExchange::receiveProgress, this,
            [this](qint64 bytes, qint64 ms) {
                if (!m_writing) // a component write shows its rows instead
                    m_progress->transfer(bytes, ms);
            });
    connect(m_exchange.get(), &CommandExchange::receiveFinished, this, [this](qint64 bytes, qint64 ms) {
        if (m_writing)
            return;
        m_progress->transferDone(bytes, ms);
        // A reply that ended without reaching its consumer (refused as too large, or its
        // handling failed): the exchange has said why.
        if (!m_reply)
            fail(Interrupted);
    });
    connect(m_exchange.get(), &CommandExchange::receiveInterrupted, this,
            [this](qint64 bytes, CommandExchange::Interruption why) {
                m_progress->end();
                fail(Interrupted, LinkTexts::interrupted(why).arg(grouped(bytes)));
            });
    connect(m_exchange.get(), &CommandExchange::discardProgress, this, [this](qint64 bytes) {
        m_s.console.progress(LinkTexts::discarding().arg(grouped(bytes)));
    });
    connect(m_exchange.get(), &CommandExchange::discardFinished, this, [this](qint64 bytes) {
        m_s.console.endProgress();
        if (bytes > 0)
            m_s.console.note(LinkTexts::discarded().arg(grouped(bytes)));
    });
    connect(m_exchange.get(), &CommandExchange::lineIdle, this, [this] { m_loop.quit(); });
    connect(m_exchange.get(), &CommandExchange::replyCut, this, [this](qint16, const QString&) {
        if (!m_writing) // a component write gives its rows their status itself
            fail(Interrupted, wentOn());
    });
    connect(m_exchange.get(), &CommandExchange::replyConfirmed, this, [this](qint16) { m_loop.quit(); });
    connect(m_exchange.get(), &CommandExchange::replyMissing, this, [this](qint16) {
        if (!m_writing) // the writer gives an unanswered row its status itself
            fail(NoReply, LinkTexts::noData());
    });
    connect(&link, &SerialLink::lost, this, [this](const QString& reason) {
        m_s.console.error(LinkTexts::linkLost().arg(m_portName, reason));
        m_exchange->gate().setConnected(false);
        m_exchange->abort(CommandExchange::Interruption::LinkLost);
        fail(Interrupted);
    });
}

int Session::openPort()
{
    const std::unique_ptr<PortRegistry> registry = m_s.ports();
    const PortChoice choice = choosePort(m_o.port, *registry);
    m_portName = choice.name;
    m_link = makeLink(choice);
    composeExchange();

    // As the window connects: the device the list showed under the name, the settings, open.
    const connection::OpenResult opened = connection::open(
        *m_link, {choice.name, choice.number, choice.path ? QString() : choice.device}, m_o.settings());
    if (!opened.ok) {
        m_s.console.error(opened.text + QLatin1Char('\n') + LinkTexts::portClosed().arg(opened.reason));
        return ConnectionFailed;
    }
    m_exchange->gate().setConnected(true);
    m_exchange->startWatchdog();
    // Only as long as the line needs to settle; the window's longer wait is for the operator.
    if (m_o.settleMs > 0)
        Delay(float(m_o.settleMs / 1000.0));
    m_exchange->gate().release();
    // Input nobody asked for (the rest of an earlier client's reply) is read and dropped until
    // the line is quiet; the command goes out after that.
    while (!m_failure && m_exchange->lineBusy())
        m_loop.exec();
    return m_failure.value_or(Success);
}

// ---- the exchange ---------------------------------------------------------------------------

void Session::fail(int code, const QString& message)
{
    if (!message.isEmpty())
        m_messenger.information(message);
    if (!m_failure)
        m_failure = code;
    m_loop.quit();
}

void Session::takeReply(CommandExchange::Reply& reply)
{
    // Only kept here (taken over, not copied): the consumers run once the exchange is done.
    m_reply = std::move(reply);
    m_loop.quit();
}

int Session::ask(const CommandExchange::Request& request)
{
    m_reply.reset();
    // The window waits a while after each command before the next click may follow; here the
    // reply itself is what the run waits for, and no command follows it.
    CommandExchange::Request once = request;
    once.wait = false;
    if (!m_exchange->send(once))
        return m_failure.value_or(UsageError); // the exchange said why
    while (!m_reply && !m_failure)
        m_loop.exec();
    if (m_failure)
        return *m_failure;
    return Success;
}

int Session::awaitWhole()
{
    // The reply is kept (written, printed, archived) only once the line has stayed quiet
    // through the grace: input before then means the instrument had only paused.
    while (!m_failure && m_exchange->inGrace())
        m_loop.exec();
    return m_failure.value_or(Success);
}

// ---- the commands ---------------------------------------------------------------------------

int Session::partitions()
{
    const int code = ask(requests::readPartitions());
    if (code != Success)
        return code;
    PartitionTree tree;
    const QModelIndex root = tree.Ini_Tree(m_reply->text);
    if (!root.isValid()) {
        m_s.console.error(notARange().arg(oneLine(m_reply->text)));
        return InstrumentError;
    }
    printList(childTexts(tree, root));
    return Success;
}

int Session::files()
{
    const int code = ask(requests::listFiles(m_o.partition));
    if (code != Success)
        return code;
    if (const int whole = awaitWhole(); whole != Success)
        return whole;
    if (isErrAnswer(m_reply->text)) {
        m_s.console.error(StorageReplies::copyErrorText(commands::ListFiles));
        return InstrumentError;
    }
    PartitionTree tree;
    tree.Ini_Tree(QStringLiteral("A-J"));
    bool tooLong = false;
    const QModelIndex partition = tree.Bulid_Tree(m_o.partition, m_reply->text, &tooLong);
    if (tooLong) {
        m_s.console.error(StorageReplies::listingTooLongText());
        return InstrumentError;
    }
    printList(partition.isValid() ? childTexts(tree, partition) : QStringList());
    return Success;
}

int Session::copy()
{
    if (const int code = chooseCopyReadout(); code != Success)
        return code;
    // A file name the line cannot carry was refused before the port was opened.
    const CommandExchange::Request request =
        m_o.file.isEmpty() ? requests::copyPartition(m_o.partition) : *requests::copyFile(m_o.partition, m_o.file);
    if (const int code = ask(request); code != Success)
        return code;
    if (const int whole = awaitWhole(); whole != Success)
        return whole;
    if (StorageReplies::isErrorAnswer(*m_reply)) {
        m_s.console.error(StorageReplies::copyErrorText(m_reply->code));
        return InstrumentError;
    }
    // Every line the instrument sends ends in CR LF: a reply that stops in the middle of one was
    // cut off, and a file of it would look whole.
    if (!m_reply->bytes.endsWith("\r\n")) {
        m_s.console.error(cutShort().arg(grouped(m_reply->bytes.size())));
        return Interrupted;
    }
    PreviewGrid grid;
    grids::FillGridFromWire(grid, std::move(m_reply->bytes)); // an ASCII reply becomes the grid's text
    m_reply.reset();

    const int saved = save(grid);
    const int code = archiveCopy(grid, saved);
    if (m_o.json && code != Interrupted)
        m_s.console.outBytes(QJsonDocument(copyJson(saved)).toJson(QJsonDocument::Compact) + '\n');
    return code;
}

QJsonObject Session::copyJson(int saved) const
{
    const archive::Recorder* recorder = m_o.noArchive ? nullptr : m_recorder.get();
    const bool stored = recorder && recorder->stored();
    return QJsonObject{{"output", m_o.output},
                       {"saved", saved == Success},
                       {"archived", stored},
                       {"spooled", recorder && recorder->spooled()},
                       {"readout", m_readout ? QJsonValue(m_readout->name) : QJsonValue(QJsonValue::Null)},
                       {"clockDoubt", stored && recorder->clockDoubt().any()},
                       {"verdict", stored ? QJsonValue(verdictJson(recorder->verdict())) : QJsonValue(QJsonValue::Null)}};
}

int Session::openCopyArchive()
{
    if (m_o.noArchive)
        return Success;
    m_recorder = std::make_unique<archive::Recorder>(ArchiveCommands::archivePath(m_o));
    // Another program storing into the same archive is waited for, however long it takes;
    // the operator sees that it waits and may stop it (nothing is then stored).
    auto toldAt = std::make_shared<qint64>(0);
    m_recorder->setPatience(archive::Patience{m_s.stopRequested, [this, toldAt](qint64 waitedMs) {
                                                  if (*toldAt != 0 && waitedMs - *toldAt < 10000)
                                                      return;
                                                  *toldAt = waitedMs;
                                                  m_s.console.note(tr("正在等待档案数据库：另一个程序正在写入（已等待 %1 秒）…")
                                                                       .arg((waitedMs + 999) / 1000));
                                              }});
    // An archive that cannot be opened is said when the copy is stored: the copy is made and
    // kept all the same.
    archive::Archive* a = m_recorder->archive();
    if (!a || m_o.instrument.isEmpty())
        return Success;
    ReadoutChoice chosen = chooseReadout(*a, m_o.instrument, {}, {});
    if (!chosen.readout) {
        m_s.console.error(chosen.refusal);
        return chosen.code;
    }
    m_readout = std::move(chosen.readout);
    return Success;
}

int Session::chooseCopyReadout()
{
    archive::Archive* a = m_recorder ? m_recorder->archive() : nullptr;
    if (!a || m_readout)
        return Success;
    ReadoutChoice chosen = chooseReadout(*a, {}, connection::deviceIdentity(m_portName, m_link->openedDevice()),
                                         defaultReadout());
    if (!chosen.readout) {
        m_s.console.error(chosen.refusal);
        return chosen.code;
    }
    m_readout = std::move(chosen.readout);
    return Success;
}

std::optional<archive::ComponentNames> Session::componentNames()
{
    if (const archive::ComponentNames* kept = m_names.find(m_o.partition))
        return *kept;
    int code = ask(requests::listComponents(m_o.partition));
    if (code == Success)
        code = awaitWhole();
    QString why;
    if (code == Success && isErrAnswer(m_reply->text))
        why = tr("仪器回答 ERR");
    else if (code == NoReply)
        why = tr("仪器没有应答");
    else if (code != Success)
        why = tr("回答不完整");
    if (why.isEmpty()) {
        m_names.keep(archive::componentNamesOfReply(m_o.partition, m_reply->text));
        m_reply.reset();
        return *m_names.find(m_o.partition);
    }
    m_reply.reset();
    if (!m_s.stopRequested())
        m_failure.reset(); // the copy is archived all the same
    m_s.console.error(tr("未能读取分区 %1 的元件编号列表（%2）：记录照常存档，但不按测点归类。").arg(m_o.partition, why));
    return std::nullopt;
}

int Session::archiveCopy(const PreviewGrid& grid, int saved)
{
    // The copy is complete whether or not its file could be written: its records are kept.
    if (m_o.noArchive || saved == Interrupted)
        return saved;
    archive::Recorder& recorder = *m_recorder;
    if (!recorder.archive()) {
        // Without the archive the readout could not be looked up: a copy kept for later would
        // have to be filed under a guess, so it is not kept.
        if (const QString notice = recorder.takeNotice(); !notice.isEmpty())
            m_s.console.error(notice);
        m_s.console.error(tr("未能存档：%1；无法确定本次记录所属的仪器，也未暂存。").arg(recorder.failure()));
        return saved == Success ? int(ArchiveFailed) : saved;
    }
    archive::CopyOrigin origin;
    origin.readout = m_readout ? m_readout->id : 0; // chosen once the port was open, else refused
    // The list as it stands when the copy is archived, so that each record goes to the gauge
    // that sat in its slot.
    origin.names = componentNames();
    if (m_s.stopRequested()) {
        m_s.console.error(notArchived());
        m_s.console.error(stopped());
        return Interrupted;
    }
    const QString text = recorder.storeCopy(ReadingLayout::Records(grid), m_o.partition, origin);
    if (const QString notice = recorder.takeNotice(); !notice.isEmpty())
        m_s.console.error(notice);
    if (const QString drained = recorder.takeDrained(); !drained.isEmpty())
        m_s.console.note(drained);
    if (recorder.archive() && !recorder.stored() && m_s.stopRequested()) {
        // Told to stop while storing: the store was rolled back as a whole.
        m_s.console.error(notArchived());
        m_s.console.error(stopped());
        return Interrupted;
    }
    if (!recorder.stored()) {
        m_s.console.error(text);
        if (m_s.stopRequested())
            return Interrupted;
        return saved == Success ? int(ArchiveFailed) : saved;
    }
    // CSV on standard output says nothing on success but the data; when the data could not all
    // be written, that the copy is kept all the same. A doubt of the readout's clock (the text
    // says it) is said always.
    if (recorder.clockDoubt().any())
        m_s.console.error(text);
    else if (outputKind(m_o.output) != OutputKind::CsvToStdout || saved != Success)
        m_s.console.note(text);
    // What judging the new readings found: every change of status and the flagged count, said
    // even with --quiet (a level reached is no success message).
    for (const QString& line : verdictLines(recorder.verdict()))
        m_s.console.error(line);
    // The readout named for this port's device is the one its copies go to from now on.
    if (!m_o.instrument.isEmpty() && m_readout) {
        archive::Error error;
        const QString device = connection::deviceIdentity(m_portName, m_link->openedDevice());
        if (!recorder.archive()->rememberDevice(device, m_readout->id, &error))
            m_s.console.error(tr("未能记住串口设备 %1 对应的仪器：%2").arg(device, archive::Recorder::errorText(error)));
    }
    // A copy that did everything it should but raised a gauge says so in its exit code.
    return saved == Success && recorder.verdict().raised() ? int(Raised) : saved;
}

int Session::components()
{
    const int code = ask(requests::listComponents(m_o.partition));
    if (code != Success)
        return code;
    if (const int whole = awaitWhole(); whole != Success)
        return whole;
    if (isErrAnswer(m_reply->text)) {
        m_s.console.error(StorageReplies::copyErrorText(commands::ListComponents));
        return InstrumentError;
    }
    PreviewGrid grid;
    grids::FillYJGrid(grid, m_reply->text);
    m_reply.reset();
    if (!m_o.output.isEmpty())
        return save(grid);
    QStringList entries;
    QJsonArray json;
    for (int r = 1; r < grid.rows(); ++r) {
        const QString entry = grid.text(r, 1);
        if (entry.isEmpty())
            continue; // an empty list is one bare line end
        entries << entry;
        json.append(QJsonObject{{QStringLiteral("number"), grid.text(r, 0).toInt()},
                                {QStringLiteral("code"), ComponentList::codeOf(entry)},
                                {QStringLiteral("name"), ComponentList::nameOf(entry)}});
    }
    if (m_o.json)
        m_s.console.outBytes(QJsonDocument(json).toJson(QJsonDocument::Compact) + '\n');
    else
        m_s.console.out(entries.isEmpty() ? QString() : entries.join(QLatin1Char('\n')) + QLatin1Char('\n'));
    return Success;
}

int Session::writeComponents(std::vector<ComponentList::Entry> entries)
{
    m_writing = true;
    // As the editor writes: the gate is held for the whole list, the rows go out one by one.
    const bool held = m_exchange->send([&]() -> CommandExchange::Step {
        m_exchange->clearReplied();
        return CommandExchange::Held{};
    });
    if (!held)
        return m_failure.value_or(UsageError);
    const std::vector<ComponentList::Entry> rows = entries;
    bool done = false;
    int refused = 0;
    int unanswered = 0;
    connect(m_writer.get(), &ComponentWriter::rowStarted, this, [this](int) { m_rowAnswered = false; });
    connect(m_writer.get(), &ComponentWriter::rowDone, this, [&](int row, const QString& status, bool ok) {
        const ComponentList::Entry& e = rows[size_t(row)];
        if (!ok)
            ++(m_rowAnswered ? refused : unanswered);
        // The instrument's own answer, or that there was none. A result on standard output for
        // scripts, like the instrument's own "OK": the same whatever the operator's language.
        const QString shown = ok ? status : m_rowAnswered ? oneLine(status)
                                                          : QStringLiteral("ERR（无应答）");
        m_s.console.out(QStringLiteral("%1=%2\t%3\n").arg(e.code, e.name, shown));
        m_s.console.flushOut();
        m_progress->rowDone();
    });
    connect(m_writer.get(), &ComponentWriter::finished, this, [&](const ComponentWriter::Summary&) {
        done = true;
        m_loop.quit();
    });
    m_progress->startRows(int(rows.size()));
    m_writer->start(std::move(entries));
    while (!done && !m_failure)
        m_loop.exec();
    m_progress->end();
    disconnect(m_writer.get(), nullptr, this, nullptr);
    if (m_failure) {
        m_writer->stop();
        return *m_failure;
    }
    // As the editor ends a write: the controls are unlocked, Busy is the gate's to free (Gate).
    m_exchange->gate().unlockControls();
    if (refused == 0 && unanswered == 0) {
        m_s.console.note(ComponentWriter::doneText());
        return Success;
    }
    m_s.console.error(ComponentWriter::failedText());
    if (refused == 0) {
        m_s.console.error(LinkTexts::noData());
        return NoReply;
    }
    return InstrumentError;
}

int Session::confirmed(const CommandExchange::Request& request)
{
    if (const int code = ask(request); code != Success)
        return code;
    const StorageReplies::Confirmation answer = StorageReplies::confirmation(m_reply->text);
    const QString text = StorageReplies::confirmationText(m_reply->code, answer);
    switch (answer) {
    case StorageReplies::Confirmation::Confirmed: m_s.console.note(text); return Success;
    case StorageReplies::Confirmation::Refused: m_s.console.error(text); return InstrumentError;
    case StorageReplies::Confirmation::Unclear: break;
    }
    m_s.console.error(unclear().arg(oneLine(m_reply->text)));
    return InstrumentError;
}

// ---- output ---------------------------------------------------------------------------------

void Session::printList(const QStringList& items)
{
    if (m_o.json) {
        m_s.console.outBytes(QJsonDocument(QJsonArray::fromStringList(items)).toJson(QJsonDocument::Compact) + '\n');
        return;
    }
    for (const QString& item : items)
        m_s.console.out(item + QLatin1Char('\n'));
}

int Session::checkOutput() const
{
    const OutputKind kind = outputKind(m_o.output);
    if (kind == OutputKind::CsvToStdout && !m_s.console.outUsable()) {
        m_s.console.reportOutFailure(true);
        return SaveFailed;
    }
    if (kind != OutputKind::Csv && kind != OutputKind::Xls && kind != OutputKind::Xlsx && m_o.command != Command::Report)
        return Success;
    // A download may take hours: a folder that is not there is said before it starts.
    const QFileInfo target(m_o.output);
    if (!target.absoluteDir().exists()) {
        m_s.console.error(SaveGrid::failureMessage(folderMissing().arg(QDir::toNativeSeparators(target.absolutePath()))));
        return SaveFailed;
    }
    return Success;
}

int Session::save(const PreviewGrid& grid)
{
    const OutputKind kind = outputKind(m_o.output);
    if (kind == OutputKind::CsvToStdout) {
        m_s.console.flushOut();
        QFile out;
        SaveResult failure;
        const bool written = out.open(m_s.console.outStream(), QIODevice::WriteOnly) &&
                             !(failure = CsvWriter::write(grid, out, m_s.stopRequested)) && out.flush();
        if (written)
            return Success;
        // Standard output that cannot be written (a reader gone away, a full disk) is said as such.
        if (!m_s.console.reportOutFailure())
            m_s.console.error(SaveGrid::failureMessage(failure ? failure->reason : out.errorString()));
        return m_s.stopRequested() ? int(Interrupted) : int(SaveFailed);
    }
    if (kind != OutputKind::Xls && kind != OutputKind::Xlsx && kind != OutputKind::Csv)
        return UsageError;
    const SaveGrid::Options options{&m_s.servers, sheets::kBuiltin, SheetWriter::FailurePath::CloseAndReport,
                                    m_s.templatePath, m_s.stopRequested};
    if (const SaveResult failure = saveGrid(grid, m_o.output, options)) {
        switch (failure->kind) {
        case SaveFailure::Kind::Refused: // an .xls too long for its worksheets: said as it stands
            m_s.console.error(failure->reason);
            return SaveFailed;
        case SaveFailure::Kind::Quiet: m_s.console.error(SaveGrid::failureText()); break;
        case SaveFailure::Kind::Failed:
        case SaveFailure::Kind::Cancelled: m_s.console.error(SaveGrid::failureMessage(failure->reason)); break;
        }
        return m_s.stopRequested() ? int(Interrupted) : int(SaveFailed);
    }
    m_s.console.note(SaveGrid::successText());
    return Success;
}

} // namespace cli
