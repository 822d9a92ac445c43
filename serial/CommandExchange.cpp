#include "serial/CommandExchange.h"

#include "platform/Delay.h"
#include "platform/Messenger.h"
#include "platform/SupportLog.h"
#include "platform/WireText.h"
#include "serial/Commands.h"
#include "serial/LinkTexts.h"
#include "serial/SerialLink.h"

#include <algorithm>
#include <exception>
#include <new>
#include <utility>

namespace {
constexpr int kProgressIntervalMs = 100;
} // namespace

CommandExchange::CommandExchange(SerialLink& link, Messenger& messenger, const Timing& timing, QObject* parent)
    : QObject(parent), m_link(link), m_messenger(messenger), m_timing(timing)
{
    // A holder that frees the gate ends its command: the line is idle unless a reply is due.
    connect(&m_gate, &Gate::released, this, [this] {
        if (!lineBusy())
            emit lineIdle();
    });
    Timer1.setInterval(m_timing.replyTimeoutMs);
    Timer2.setInterval(m_timing.watchdogMs);
    m_quiet.setSingleShot(true);
    m_quiet.setTimerType(Qt::PreciseTimer);
    m_quiet.setInterval(int(double(m_timing.receiveQuiet) * 1000.0 + 0.5));
    m_replyDeadline.setSingleShot(true);
    m_replyDeadline.setInterval(m_timing.watchdogMs);
    m_grace.setSingleShot(true);
    m_grace.setTimerType(Qt::PreciseTimer);
    m_grace.setInterval(int(double(m_timing.replyGrace) * 1000.0 + 0.5));
    connect(&m_grace, &QTimer::timeout, this, &CommandExchange::endGrace);
    connect(&Timer1, &QTimer::timeout, this, &CommandExchange::Timer1_Timer);
    connect(&Timer2, &QTimer::timeout, this, &CommandExchange::Timer2_Timer);
    connect(&m_quiet, &QTimer::timeout, this, &CommandExchange::onQuiet);
    connect(&m_replyDeadline, &QTimer::timeout, this, &CommandExchange::onReplyDeadline);
    connect(&m_link, &SerialLink::readyRead, this, &CommandExchange::MSComm1_OnComm);
}

QString CommandExchange::busyText() { return tr("等待上次命令执行完成，稍后再试！"); }

QString CommandExchange::notConnectedText() { return tr("没有连接设备！请先连接设备，再操作！"); }

bool CommandExchange::lineBusy() const { return m_gate.busy() || COM_type != 0 || Receiving || Discarding; }

bool CommandExchange::send(const std::function<Step()>& prepare)
{
    if (lineBusy()) {
        m_messenger.information(busyText());
        return false;
    }
    m_gate.take();
    m_gate.lockControls();
    if (!m_gate.connected()) {
        m_messenger.information(notConnectedText());
        m_gate.unlockControls();
        return false; // Busy stays set; the watchdog releases it
    }
    const Step step = prepare();
    if (std::holds_alternative<Held>(step))
        return true;
    if (const auto* refusal = std::get_if<Refusal>(&step)) {
        if (!refusal->message.isEmpty())
            m_messenger.information(refusal->message);
        m_gate.unlockControls();
        if (refusal->releaseGate)
            m_gate.release();
        return false;
    }
    const Request& request = std::get<Request>(step);
    // Input may have come while the sender asked the operator (a confirmation box): the line
    // is then busy again, and the operator must hear that the command did not go out.
    const bool sent = transmit(request);
    if (!sent)
        m_messenger.information(busyText());
    m_gate.unlockControls();
    if (request.releaseGate)
        m_gate.clear();
    return sent;
}

bool CommandExchange::send(const Request& request)
{
    return send([&]() -> Step { return request; });
}

bool CommandExchange::transmit(const Request& request)
{
    // Bytes of another reply are on the line: a command now would have its answer mixed
    // with them.
    if (Receiving || Discarding)
        return false;
    if (request.resetReplied)
        Replied = 0;
    // Input from now on may be the answer to this command: it proves nothing about the last one.
    endGrace();
    m_link.write(request.bytes);
    // The command as it went out (commands carry names and codes, never records).
    QString shown = WireText::decode(request.bytes);
    shown.replace(QLatin1Char('\r'), QStringLiteral("\\r")).replace(QLatin1Char('\n'), QStringLiteral("\\n"));
    qCInfo(logExchange).noquote() << "sent command" << request.code << shown;
    if (request.startReplyTimer)
        Timer1.start();
    COM_type = request.code;
    SelectedName = request.target;
    m_detail = request.detail;
    m_onReply = request.onReply;
    m_replyDeadline.start();
    if (request.wait)
        commandWait();
    return true;
}

void CommandExchange::setReceiveQuietMs(int ms) { m_quiet.setInterval(std::max(ms, 1)); }

void CommandExchange::route(qint16 code, Handler handler) { m_routes[code] = Route{std::move(handler), false}; }

void CommandExchange::routeBytes(qint16 code, Handler handler) { m_routes[code] = Route{std::move(handler), true}; }

void CommandExchange::commandWait() { Delay(m_timing.commandWait); }

QString CommandExchange::GetReturn()
{
    QString text = Com_Return;
    Com_Return.clear();
    return text;
}

void CommandExchange::startWatchdog() { Timer2.start(); }

void CommandExchange::stopTimers()
{
    Timer1.stop();
    Timer2.stop();
    m_quiet.stop();
    m_replyDeadline.stop();
    m_grace.stop();
    m_graceCode = 0;
    m_graceTarget.clear();
}

void CommandExchange::endGrace()
{
    m_grace.stop();
    if (m_graceCode == 0)
        return;
    const qint16 code = std::exchange(m_graceCode, 0);
    m_graceTarget.clear();
    emit replyConfirmed(code);
}

void CommandExchange::noteLateInput()
{
    if (m_graceCode == 0)
        return;
    m_grace.stop();
    const qint16 code = std::exchange(m_graceCode, 0);
    const QString target = std::exchange(m_graceTarget, QString());
    qCWarning(logExchange) << "input after the reply to command" << code << "had been taken as complete: it was cut";
    emit replyCut(code, target);
}

void CommandExchange::abort(Interruption why)
{
    m_quiet.stop();
    endGrace();
    const bool wasReceiving = Receiving;
    const qint64 bytes = m_received;
    m_buffer = QByteArray();
    m_overflow = false;
    Discarding = false;
    m_discarded = 0;
    resetToIdle();
    if (wasReceiving) {
        qCInfo(logExchange) << "reply interrupted after" << bytes << "bytes, reason" << int(why);
        emit receiveInterrupted(bytes, why);
    }
    emit lineIdle();
}

void CommandExchange::stopReceiving()
{
    if (!Receiving)
        return;
    const qint64 bytes = m_received;
    m_buffer = QByteArray();
    m_overflow = false;
    resetToIdle();
    qCInfo(logExchange) << "reply stopped by the operator after" << bytes << "bytes";
    emit receiveInterrupted(bytes, Interruption::Stopped);
    // The instrument goes on sending the rest; it is read and dropped until the line is quiet.
    startDiscarding();
    m_quiet.start();
}

void CommandExchange::abandonPending()
{
    if (Receiving)
        return; // the reply is arriving: it ends by itself
    m_replyDeadline.stop();
    COM_type = 0;
    SelectedName.clear();
    m_detail.clear();
    m_onReply = nullptr;
}

void CommandExchange::onReplyDeadline()
{
    // No byte of the reply has come within the deadline: the command is given up, so a reply
    // that comes later cannot be taken for the answer to the next one.
    if (Receiving || COM_type == 0)
        return;
    const qint16 code = COM_type;
    abandonPending();
    m_gate.clear();
    qCWarning(logExchange) << "no reply to command" << code << "within" << m_replyDeadline.interval() << "ms";
    emit replyMissing(code);
    emit lineIdle();
}

void CommandExchange::startDiscarding()
{
    Discarding = true;
    m_discarded = 0;
}

void CommandExchange::finishDiscarding()
{
    const qint64 bytes = m_discarded;
    Discarding = false;
    m_discarded = 0;
    m_buffer = QByteArray();
    if (COM_type == 0)
        m_gate.clear(); // input that was nobody's reply still ends like a reply
    qCInfo(logExchange) << "discarded" << bytes << "bytes that were no reply";
    emit discardFinished(bytes);
    if (!lineBusy())
        emit lineIdle();
}

void CommandExchange::MSComm1_OnComm()
{
    Replied = 1;
    if (!Receiving && !Discarding && m_link.bytesAvailable() <= 0)
        return; // an event with nothing waiting changes nothing else
    bool first = false;
    if (!Receiving && !Discarding) {
        first = true;
        if (COM_type == 0 || m_dispatching) {
            // Nobody asked for this: the rest of an interrupted transfer, a late reply, noise.
            startDiscarding();
            noteLateInput(); // within the grace it is the rest of the reply just handed over
        } else {
            Receiving = true;
            m_replyDeadline.stop();
            m_buffer.clear();
            m_received = 0;
            m_overflow = false;
            m_replyClock.start();
            m_progressClock.start();
        }
    }
    const qint64 got = drain();
    if (Discarding) {
        m_discarded += got;
        emit discardProgress(m_discarded);
    } else if (first || m_progressClock.elapsed() >= kProgressIntervalMs) {
        m_progressClock.restart();
        emit receiveProgress(m_received, m_replyClock.elapsed());
    }
    m_quiet.start(); // the reply (or the stale input) ends after a quiet spell
}

qint64 CommandExchange::drain()
{
    qint64 got = 0;
    while (m_link.bytesAvailable() > 0) {
        const QByteArray chunk = m_link.readAll();
        if (chunk.isEmpty())
            break;
        got += chunk.size();
        if (Discarding)
            continue;
        m_received += chunk.size();
        if (m_overflow)
            continue; // read and dropped until the line goes quiet
        if (m_buffer.size() + chunk.size() > kMaxReplyBytes) {
            m_overflow = true;
            m_buffer = QByteArray();
            continue;
        }
        m_buffer.append(chunk);
    }
    return got;
}

void CommandExchange::onQuiet()
{
    // The timer may fire late on a loaded machine while bytes already wait in the port or the
    // system: anything that arrived since the last read means the line was not quiet.
    const qint64 before = m_received + m_discarded;
    m_link.pollInput();
    const qint64 got = drain();
    if (Discarding)
        m_discarded += got;
    if (got > 0 || m_received + m_discarded != before) {
        if (Discarding)
            emit discardProgress(m_discarded);
        m_quiet.start();
        return;
    }
    if (Discarding) {
        finishDiscarding();
        return;
    }
    if (!Receiving)
        return;
    const qint64 bytes = m_received;
    const qint64 elapsed = m_replyClock.elapsed();
    if (m_overflow) {
        qCWarning(logExchange) << "reply to command" << COM_type << "refused: over" << bytes << "bytes";
        m_overflow = false;
        resetToIdle();
        emit receiveFinished(bytes, elapsed);
        m_messenger.information(tr("接收的数据超过 64 MB，已放弃本次接收！"));
        emit lineIdle();
        return;
    }
    if (m_buffer.isEmpty()) {
        Receiving = false;
        emit receiveFinished(bytes, elapsed);
        return;
    }
    QByteArray raw = std::exchange(m_buffer, QByteArray());
    const qint16 code = COM_type;
    // Watched from the moment the reply is taken as complete: input while it is being handled
    // counts too.
    endGrace();
    m_graceCode = code;
    m_graceTarget = SelectedName;
    // Its size and duration only: the records stay out of the log.
    qCInfo(logExchange) << "reply to command" << code << "received:" << bytes << "bytes in" << elapsed << "ms";
    // From here on the reply is complete: input that arrives while it is being handled (a
    // handler may show a message box) belongs to no command and is discarded.
    Receiving = false;
    emit receiveComplete(bytes, elapsed);
    m_dispatching = true;
    QString failure;
    try {
        dispatch(std::move(raw));
    } catch (const std::bad_alloc&) {
        failure = tr("内存不足，无法显示接收的数据！");
    } catch (const std::exception& e) {
        failure = tr("处理接收的数据时出错，数据未显示！%1").arg(QString::fromLocal8Bit(e.what()));
    } catch (...) {
        failure = tr("处理接收的数据时出错，数据未显示！%1").arg(QString());
    }
    m_dispatching = false;
    const bool reset = COM_type != code; // a handler may already have reset the exchange (disconnect)
    if (!reset)
        resetToIdle();
    if (!failure.isEmpty() || reset) {
        m_graceCode = 0; // nothing was kept: there is nothing to confirm or take back
        m_graceTarget.clear();
    } else if (m_graceCode == code) {
        if (m_grace.interval() > 0)
            m_grace.start();
        else
            endGrace();
    }
    emit receiveFinished(bytes, elapsed);
    if (!failure.isEmpty()) {
        qCWarning(logExchange).noquote() << "handling the reply failed:" << failure;
        m_messenger.information(failure);
    }
    if (!lineBusy())
        emit lineIdle();
}

void CommandExchange::dispatch(QByteArray raw)
{
    if (m_onReply) {
        // The handler may send the next command, which replaces the pending one's.
        const Handler handler = std::exchange(m_onReply, nullptr);
        Reply reply{COM_type, WireText::decode(raw), {}, SelectedName, m_detail};
        raw = QByteArray();
        handler(reply);
        return;
    }
    const auto found = m_routes.find(COM_type);
    if (found == m_routes.end() || !found->second.handler)
        return; // none pending, or a code nobody reads: the reply is dropped
    const Route& route = found->second;
    Reply reply{COM_type, {}, {}, SelectedName, m_detail};
    if (route.bytes) {
        reply.bytes = std::move(raw);
    } else {
        reply.text = WireText::decode(raw);
        raw = QByteArray(); // the decoded text is all that is kept
    }
    route.handler(reply);
}

void CommandExchange::resetToIdle()
{
    m_gate.clear();
    COM_type = 0;
    SelectedName.clear();
    m_detail.clear();
    m_onReply = nullptr;
    Receiving = false;
    m_replyDeadline.stop();
}

void CommandExchange::Timer1_Timer()
{
    Timer1.stop(); // fires once per command
    if (Replied == 0)
        m_messenger.information(LinkTexts::noData());
}

void CommandExchange::Timer2_Timer()
{
    if (!Receiving && m_gate.busy())
        m_gate.clear();
}
