#include "editor/ComponentWriter.h"

#include "serial/CommandExchange.h"
#include "serial/Requests.h"

#include <algorithm>

namespace {
int ms(float seconds) { return int(double(seconds) * 1000.0 + 0.5); }
} // namespace

ComponentWriter::ComponentWriter(CommandExchange& exchange, const Timing& timing, QObject* parent)
    : QObject(parent), m_exchange(exchange), m_timing(timing)
{
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &ComponentWriter::onTimer);
    connect(&m_exchange, &CommandExchange::discardProgress, this, &ComponentWriter::onDiscarding);
}

void ComponentWriter::onDiscarding()
{
    // Input nobody waits for while the line is waited out: the quiet spell starts again.
    if (m_phase == Phase::Pausing && m_drain)
        m_timer.start(ms(m_timing.componentReplyWait));
}

bool ComponentWriter::start(std::vector<ComponentList::Entry> entries)
{
    if (running() || entries.empty())
        return false;
    m_entries = std::move(entries);
    m_row = 0;
    m_summary = Summary{};
    m_drain = false;
    sendRow();
    return true;
}

void ComponentWriter::sendRow()
{
    m_retried = false;
    emit rowStarted(int(m_row));
    const ComponentList::Entry& entry = m_entries[m_row];
    // The command carries exactly the code and name the list check approved.
    const std::optional<CommandExchange::Request> written = requests::writeComponent(entry.code, entry.name);
    if (!written) {
        endRow(QStringLiteral("ERR"), false);
        return;
    }
    const CommandExchange::Request request = *written;
    if (m_exchange.transmit(request)) {
        m_phase = Phase::WaitingForReply;
        m_timer.start(ms(m_timing.componentReplyWait));
        return;
    }
    // The rest of an earlier answer is still arriving: wait (at most the reply wait) for the
    // line to go quiet, then send once more.
    m_phase = Phase::WaitingForLine;
    m_idle = connect(&m_exchange, &CommandExchange::lineIdle, this, [this, request] {
        disconnect(m_idle);
        if (m_phase != Phase::WaitingForLine)
            return;
        m_timer.stop();
        if (m_exchange.transmit(request)) {
            m_phase = Phase::WaitingForReply;
            m_timer.start(ms(m_timing.componentReplyWait));
        } else {
            endRow(QStringLiteral("ERR"), false);
        }
    });
    m_timer.start(ms(m_timing.componentReplyWait));
}

void ComponentWriter::receive(const QString& reply)
{
    if (m_phase != Phase::WaitingForReply)
        return; // late, or nobody is writing
    m_timer.stop();
    const auto answers = reply.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    qsizetype lines = 0;
    for (const QString& line : answers)
        lines += line.trimmed().isEmpty() ? 0 : 1;
    if (lines > 1) {
        // An earlier row's late answer and this row's came together: which is whose cannot be
        // told, so neither counts.
        m_drain = true;
        endRow(reply, false);
        return;
    }
    if (reply.contains(QLatin1String("OK")))
        endRow(QStringLiteral("OK"), true);
    else
        endRow(reply.isEmpty() ? QStringLiteral("ERR") : reply, false);
}

void ComponentWriter::onTimer()
{
    switch (m_phase) {
    case Phase::WaitingForLine:
        disconnect(m_idle);
        endRow(QStringLiteral("ERR"), false);
        break;
    case Phase::WaitingForReply:
        m_exchange.abandonPending(); // a late answer must not count for the next row
        m_drain = true;
        endRow(QStringLiteral("ERR"), false);
        break;
    case Phase::Pausing:
        m_drain = false;
        if (++m_row < m_entries.size()) {
            sendRow();
        } else {
            m_phase = Phase::Idle;
            emit finished(m_summary);
        }
        break;
    case Phase::Idle: break;
    }
}

void ComponentWriter::endRow(const QString& status, bool ok)
{
    ok ? ++m_summary.written : ++m_summary.failed;
    m_phase = Phase::Pausing;
    emit rowDone(int(m_row), status, ok);
    if (m_phase != Phase::Pausing) // a handler may have stopped the write
        return;
    const bool last = m_row + 1 >= m_entries.size();
    m_timer.start(ms(m_drain && !last ? std::max(m_timing.componentPause, m_timing.componentReplyWait)
                                      : m_timing.componentPause));
}

void ComponentWriter::stop()
{
    if (!running())
        return;
    const bool waiting = m_phase == Phase::WaitingForReply;
    m_timer.stop();
    disconnect(m_idle);
    m_phase = Phase::Idle;
    if (waiting)
        m_exchange.abandonPending();
    m_summary.stopped = true;
    emit finished(m_summary);
}
