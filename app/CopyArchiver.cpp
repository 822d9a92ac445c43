#include "app/CopyArchiver.h"

#include "archive/Archive.h"
#include "archive/Recorder.h"
#include "platform/SupportLog.h"
#include "serial/Commands.h"
#include "serial/CommandExchange.h"
#include "serial/Requests.h"

#include <QElapsedTimer>
#include <QTimer>

namespace {
// How long the answer to the readout question waits while another program writes.
constexpr qint64 kAnswerPatienceMs = 2000;
} // namespace

CopyArchiver::CopyArchiver(CommandExchange& exchange, archive::Recorder& recorder, Ask ask, QObject* parent)
    : QObject(parent), m_exchange(exchange), m_recorder(recorder), m_ask(std::move(ask))
{
}

CopyArchiver::~CopyArchiver()
{
    for (const QMetaObject::Connection& c : m_watch)
        disconnect(c);
}

QString CopyArchiver::notArchivedText() { return tr("未存档：没有选择仪器（预览中的记录仍可保存）"); }

void CopyArchiver::connected(const QString& device)
{
    if (device != m_device) {
        m_device = device;
        m_readout.reset();
        m_lookedUp = false;
    }
    m_connected = true;
    m_names.clear();
    emit readoutChanged();
}

void CopyArchiver::disconnected()
{
    m_connected = false;
    m_names.clear();
    emit readoutChanged();
}

std::optional<archive::Readout> CopyArchiver::readout()
{
    if (m_readout || m_lookedUp || m_device.isEmpty())
        return m_readout;
    archive::Archive* a = m_recorder.archive();
    if (!a)
        return std::nullopt; // asked again once the archive is open
    archive::Error error;
    m_readout = a->readoutOfDevice(m_device, &error);
    m_lookedUp = m_readout.has_value() || error.detail.isEmpty();
    if (!m_lookedUp)
        qCWarning(logFiles).noquote() << "the readout of" << m_device << "cannot be read:" << error.detail;
    return m_readout;
}

void CopyArchiver::archive(const ReadingLayout::Records& records, const QString& partition)
{
    m_records = records;
    m_partition = partition;
    m_verdict = {};
    m_step = Step::Starting;
    // The copy's reply may still be on the stack (its grace ended as the port closed): the
    // question, if any, is asked from the event loop.
    QTimer::singleShot(0, this, &CopyArchiver::start);
}

bool CopyArchiver::resolveReadout(QString* why)
{
    if (readout())
        return true;
    archive::Archive* a = m_recorder.archive();
    if (!a)
        return true; // nothing to choose from: stored under the unnamed readout (or kept in the spool)
    archive::Error error;
    const std::vector<archive::Readout> readouts = a->readouts(&error);
    if (!error.detail.isEmpty()) {
        *why = archive::Recorder::errorText(error);
        return false;
    }
    const std::optional<ReadoutAnswer> answer = m_ask(readouts, m_device, 0);
    if (!answer) {
        *why = notArchivedText();
        return false;
    }
    // The answer is written on a connection of its own that waits a little only: while another
    // program writes, the window must not hang on it. The copy then goes on under the unnamed
    // readout (its store waits on the archive's thread as every store does).
    archive::OpenOptions options;
    options.check = false;
    QElapsedTimer waited;
    waited.start();
    options.patience.cancelled = [&waited] { return waited.elapsed() > kAnswerPatienceMs; };
    archive::Error openError;
    std::unique_ptr<archive::Archive> writer = archive::Archive::open(a->path(), nullptr, &openError, options);
    QString refused = writer ? QString() : archive::Recorder::errorText(openError);
    if (writer)
        m_readout = applyReadoutAnswer(*writer, m_device, *answer, &refused);
    if (!m_readout) {
        qCWarning(logFiles).noquote() << "the readout of" << m_device << "was not kept:" << refused;
        *why = tr("仪器名称未能存入档案（%1），本次拷贝按未命名仪器存档").arg(refused);
        return true;
    }
    m_lookedUp = true;
    qCInfo(logFiles).noquote() << "device" << m_device << "is readout" << m_readout->id << m_readout->name;
    emit readoutChanged();
    return true;
}

void CopyArchiver::start()
{
    QString why;
    if (!resolveReadout(&why)) {
        finish(why, false);
        return;
    }
    m_readoutNote = why;
    if (const archive::ComponentNames* known = m_names.find(m_partition)) {
        store(*known, {});
        return;
    }
    if (!m_exchange.gate().connected()) {
        store(std::nullopt, tr("未读取元件编号：已断开"));
        return;
    }
    if (m_exchange.lineBusy()) {
        store(std::nullopt, tr("未读取元件编号：线路忙"));
        return;
    }
    readNames();
}

void CopyArchiver::readNames()
{
    m_step = Step::ReadingNames;
    m_read.reset();
    emit progress(tr("正在读取分区 %1 的元件编号…").arg(m_partition));
    const QString partition = m_partition;
    // Whatever ends the read: the reply came and its grace passed or proved it cut, or the line
    // went idle without a reply (no answer, the port closed, the operator stopped it).
    m_watch << connect(&m_exchange, &CommandExchange::replyConfirmed, this, [this](qint16 code) {
        if (code == commands::ListComponents && m_read)
            endRead();
    });
    m_watch << connect(&m_exchange, &CommandExchange::replyCut, this, [this](qint16 code, const QString&) {
        if (code != commands::ListComponents || !m_read)
            return;
        m_read.reset(); // a list cut short would close the assignments of the slots it lacks
        endRead();
    });
    m_watch << connect(&m_exchange, &CommandExchange::lineIdle, this, [this] {
        if (!m_read && !m_exchange.replyDue())
            endRead();
    });
    CommandExchange::Request request = requests::listComponents(partition);
    request.wait = false;
    request.onReply = [this, partition](const CommandExchange::Reply& reply) {
        m_read = archive::componentNamesOfReply(partition, reply.text);
    };
    if (!m_exchange.send(request))
        endRead();
}

void CopyArchiver::endRead()
{
    if (m_step != Step::ReadingNames)
        return;
    for (const QMetaObject::Connection& c : m_watch)
        disconnect(c);
    m_watch.clear();
    std::optional<archive::ComponentNames> names = std::exchange(m_read, std::nullopt);
    if (!names) {
        qCWarning(logFiles).noquote() << "the component list of partition" << m_partition << "could not be read";
        store(std::nullopt, tr("未能读取分区 %1 的元件编号，元件分配未更新").arg(m_partition));
        return;
    }
    if (m_connected)
        m_names.keep(*names);
    store(std::move(names), {});
}

void CopyArchiver::store(std::optional<archive::ComponentNames> names, const QString& note)
{
    m_step = Step::Storing;
    emit progress(tr("正在存档…"));
    archive::CopyOrigin origin{m_readout ? m_readout->id : archive::Recorder::kUnnamedReadout, std::move(names)};
    m_recorder.storeInBackground(
        *m_records, m_partition, origin, this,
        [this, note](const QString& text) {
            const bool stored = m_recorder.stored();
            QString said = text;
            m_verdict = stored ? m_recorder.verdict() : archive::Verdict{};
            // What judging found, unless the store's text says it already.
            const QString judged = archive::verdictText(m_verdict);
            if (!judged.isEmpty() && !said.contains(judged))
                said = tr("%1；%2").arg(said, judged);
            for (const QString& more : {std::exchange(m_readoutNote, QString()), note})
                if (!more.isEmpty())
                    said = tr("%1；%2").arg(said, more);
            finish(said, stored);
        },
        [this](qint64 waitedMs) { emit waiting(waitedMs); });
}

void CopyArchiver::finish(const QString& text, bool stored)
{
    m_step = Step::Idle;
    m_records.reset();
    qCInfo(logFiles).noquote() << "copy of partition" << m_partition << (stored ? "archived:" : "not archived:") << text;
    emit finished(text, stored);
}

bool CopyArchiver::changeReadout()
{
    archive::Archive* a = m_recorder.archive();
    if (!m_connected || !a || running())
        return false;
    archive::Error error;
    const std::vector<archive::Readout> readouts = a->readouts(&error);
    if (!error.detail.isEmpty()) {
        emit notice(archive::Recorder::errorText(error));
        return false;
    }
    const std::optional<archive::Readout> current = readout();
    const std::optional<ReadoutAnswer> answer = m_ask(readouts, m_device, current ? current->id : 0);
    if (!answer)
        return false;
    QString why;
    std::optional<archive::Readout> chosen = applyReadoutAnswer(*a, m_device, *answer, &why);
    if (!chosen) {
        emit notice(why);
        return false;
    }
    m_readout = std::move(chosen);
    m_lookedUp = true;
    qCInfo(logFiles).noquote() << "device" << m_device << "is now readout" << m_readout->id << m_readout->name;
    emit readoutChanged();
    return true;
}
