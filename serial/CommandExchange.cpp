#include "serial/CommandExchange.h"

#include "platform/Delay.h"
#include "platform/Messenger.h"
#include "platform/WireText.h"
#include "serial/Commands.h"
#include "serial/SerialLink.h"

#include <exception>
#include <utility>

namespace {
const QString kWaitMessage = QStringLiteral("等待上次命令执行完成，稍后再试！");
const QString kNotConnected = QStringLiteral("没有连接设备！请先连接设备，再操作！");
const QString kNoData = QStringLiteral("没有读取到数据！请检查连线或仪器的电源开关是否关闭！");
const QString kTooLarge = QStringLiteral("接收的数据超过 64 MB，已放弃本次接收！");
constexpr int kProgressIntervalMs = 100;
} // namespace

ExchangeHost::~ExchangeHost() = default;

CommandExchange::CommandExchange(SerialLink& link, ExchangeHost& host, Messenger& messenger,
                                 const Timing& timing, QObject* parent)
    : QObject(parent), m_link(link), m_host(host), m_messenger(messenger), m_timing(timing)
{
    Timer1.setInterval(m_timing.replyTimeoutMs);
    Timer2.setInterval(m_timing.watchdogMs);
    m_quiet.setSingleShot(true);
    m_quiet.setTimerType(Qt::PreciseTimer);
    m_quiet.setInterval(int(double(m_timing.receiveQuiet) * 1000.0 + 0.5));
    connect(&Timer1, &QTimer::timeout, this, &CommandExchange::Timer1_Timer);
    connect(&Timer2, &QTimer::timeout, this, &CommandExchange::Timer2_Timer);
    connect(&m_quiet, &QTimer::timeout, this, &CommandExchange::onQuiet);
    connect(&m_link, &SerialLink::readyRead, this, &CommandExchange::MSComm1_OnComm);
}

bool CommandExchange::begin()
{
    if (Busy) {
        m_messenger.information(kWaitMessage);
        return false;
    }
    Busy = true;
    m_host.ComFalse();
    if (!m_host.connectedCaption()) {
        m_messenger.information(kNotConnected);
        m_host.ComEnable();
        return false; // Busy stays set; the watchdog releases it
    }
    return true;
}

void CommandExchange::transmit(const QByteArray& bytes, qint16 code, Options options)
{
    if (options.resetReplied)
        Replied = 0;
    m_link.write(bytes);
    if (options.startReplyTimer)
        Timer1.start();
    COM_type = code;
    if (options.wait)
        commandWait();
}

void CommandExchange::commandWait() { Delay(m_timing.commandWait); }

QString CommandExchange::GetReturn()
{
    QString text = Com_Return;
    Com_Return.clear();
    return text;
}

void CommandExchange::startWatchdog() { Timer2.start(); }

void CommandExchange::abort()
{
    m_quiet.stop();
    const bool wasReceiving = Receiving;
    const qint64 bytes = m_received;
    m_buffer = QByteArray();
    m_overflow = false;
    resetToIdle();
    if (wasReceiving)
        emit receiveFinished(bytes, m_replyClock.elapsed());
}

void CommandExchange::MSComm1_OnComm()
{
    if (!Receiving) {
        Receiving = true;
        m_buffer.clear();
        m_received = 0;
        m_overflow = false;
        m_replyClock.start();
        m_progressClock.start();
    }
    Replied = 1;
    drain();
    if (m_progressClock.elapsed() >= kProgressIntervalMs) {
        m_progressClock.restart();
        emit receiveProgress(m_received, m_replyClock.elapsed());
    }
    m_quiet.start(); // the reply ends after a quiet spell
}

void CommandExchange::drain()
{
    while (m_link.bytesAvailable() > 0) {
        const QByteArray chunk = m_link.readAll();
        if (chunk.isEmpty())
            break;
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
}

void CommandExchange::onQuiet()
{
    if (m_dispatching) {
        // A reply handler is still showing something (a message box runs its own event
        // loop); whatever arrived meanwhile is a separate reply and waits its turn.
        m_quiet.start();
        return;
    }
    drain();
    const qint64 bytes = m_received;
    const qint64 elapsed = m_replyClock.elapsed();
    if (m_overflow) {
        m_overflow = false;
        resetToIdle();
        emit receiveFinished(bytes, elapsed);
        m_messenger.information(kTooLarge);
        return;
    }
    if (m_buffer.isEmpty()) {
        Receiving = false;
        emit receiveFinished(bytes, elapsed);
        return;
    }
    const QByteArray raw = std::exchange(m_buffer, QByteArray());
    m_dispatching = true;
    try {
        dispatch(WireText::decode(raw));
    } catch (const std::exception&) {
        // A failing reply handler must not leave the exchange stuck.
    } catch (...) {
    }
    m_dispatching = false;
    resetToIdle();
    emit receiveFinished(bytes, elapsed);
    if (!m_buffer.isEmpty()) {
        // Input that came while the reply was being handled is a reply of its own.
        Receiving = true;
        m_received = m_buffer.size();
        m_replyClock.start();
        m_quiet.start();
    }
}

void CommandExchange::dispatch(const QString& reply)
{
    auto result = [&](const QString& ok, const QString& err) {
        if (reply.contains(QLatin1String("OK")))
            m_messenger.information(ok);
        else if (reply.contains(QLatin1String("ERR")))
            m_messenger.information(err);
    };
    switch (COM_type) {
    case commands::ReadPartitions: m_host.Ini_Tree(reply); break;
    case commands::ListFiles: m_host.Bulid_Tree(SelectedName, reply); break;
    case commands::CopyFile:
    case commands::CopyPartition: m_host.FillGrid(reply); break;
    case commands::StoreReturn: SetReturn(reply); break;
    case commands::DeletePartition:
        result(QStringLiteral("已成功删除分区！"), QStringLiteral("删除分区失败，请稍后重试！"));
        break;
    case commands::DeleteData:
        result(QStringLiteral("已成功删除分区数据！"), QStringLiteral("删除分区数据失败，请稍后重试！"));
        break;
    case commands::NewFile:
        result(QStringLiteral("文件创建成功！"), QStringLiteral("文件创建失败，请稍后重试！"));
        break;
    case commands::ListComponents: m_host.FillYJGrid(reply); break;
    case commands::WriteComponent: m_host.setRecStr(reply); break;
    default: break; // none pending, or a code without a reader: the reply is dropped
    }
}

void CommandExchange::resetToIdle()
{
    Busy = false;
    COM_type = 0;
    SelectedName.clear();
    Receiving = false;
}

void CommandExchange::Timer1_Timer()
{
    Timer1.stop(); // fires once per command
    if (Replied == 0)
        m_messenger.information(kNoData);
}

void CommandExchange::Timer2_Timer()
{
    if (!Receiving && Busy)
        Busy = false;
}
