#include "cli/Console.h"

#include "platform/SupportLog.h"

#include <QByteArray>
#include <QCoreApplication>

#include <cerrno>
#include <cstring>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace cli {

Console::Console(std::FILE* out, std::FILE* err, bool progress, bool quiet)
    : m_out(out), m_err(err), m_progress(progress && !quiet), m_quiet(quiet)
{
}

Console::~Console() { endProgress(); }

bool Console::isTerminal(std::FILE* stream)
{
#ifdef _WIN32
    return _isatty(_fileno(stream)) != 0;
#else
    return ::isatty(fileno(stream)) == 1;
#endif
}

void Console::out(const QString& text) { outBytes(text.toUtf8()); }

void Console::outBytes(const QByteArray& bytes)
{
    if (bytes.isEmpty())
        return;
    if (m_closedAtStart != 0) {
        outUnavailable(m_closedAtStart);
        return;
    }
    if (!m_lineOpen) {
        checkOut(std::fwrite(bytes.constData(), 1, size_t(bytes.size()), m_out) == size_t(bytes.size()));
        return;
    }
    // Results and progress may share one terminal: the progress line is taken away while the
    // result is written and drawn again below it.
    std::fputs("\r\x1b[K", m_err);
    std::fflush(m_err);
    checkOut(std::fwrite(bytes.constData(), 1, size_t(bytes.size()), m_out) == size_t(bytes.size()));
    flushOut();
    m_lineOpen = false;
    progress(m_lastProgress);
}

bool Console::flushOut()
{
    checkOut(std::fflush(m_out) == 0);
    return !m_outFailure;
}

void Console::checkOut(bool written)
{
    // A full disk or a closed descriptor is often only seen when the buffer is written out.
    if (!written || std::ferror(m_out))
        outUnavailable(errno);
}

void Console::outUnavailable(int error)
{
    if (m_outFailure)
        return; // the first reason is the one to tell
    m_outClosed = error == EPIPE;
    m_outFailure = QString::fromLocal8Bit(std::strerror(error));
}

bool Console::reportOutFailure(bool due)
{
    if (due && m_closedAtStart != 0)
        outUnavailable(m_closedAtStart);
    if (!flushOut() && !m_outFailureSaid) {
        m_outFailureSaid = true;
        error(m_outClosed ? QCoreApplication::translate("cli::Console", "标准输出已关闭（读取结果的程序已退出），其余结果未能写出：%1")
                                .arg(*m_outFailure)
                          : QCoreApplication::translate("cli::Console", "无法写出结果到标准输出：%1").arg(*m_outFailure));
    }
    return m_outFailure.has_value();
}

void Console::line(const QString& text)
{
    endProgress();
    // The instrument's and the window's texts break lines with CR LF; a terminal wants LF.
    QString t = text;
    t.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    if (!t.endsWith(QLatin1Char('\n')))
        t += QLatin1Char('\n');
    const QByteArray bytes = t.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), m_err);
    std::fflush(m_err);
}

void Console::error(const QString& text)
{
    qCInfo(logMessages).noquote() << "error:" << text;
    line(text);
}

void Console::note(const QString& text)
{
    if (!m_quiet)
        line(text);
}

void Console::progress(const QString& text)
{
    if (!m_progress)
        return;
    // Back to the start of the line, the new text, the rest of the old one erased.
    const QByteArray bytes = (QLatin1Char('\r') + text + QLatin1String("\x1b[K")).toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), m_err);
    std::fflush(m_err);
    m_lineOpen = true;
    m_lastProgress = text;
}

void Console::endProgress()
{
    if (!m_lineOpen)
        return;
    m_lineOpen = false;
    std::fputc('\n', m_err);
    std::fflush(m_err);
}

} // namespace cli
