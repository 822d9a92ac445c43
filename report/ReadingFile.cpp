#include "report/ReadingFile.h"

#include "export/FailureText.h"
#include "export/ReplacingFile.h"

#include <QDateTime>
#include <QIODevice>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <workbook/workbook.h>

namespace report::reading {
namespace {

constexpr qsizetype kPiece = 64 * 1024;

QString maskKey(const QString& gauge, qint64 utc) { return gauge + QLatin1Char('\n') + QString::number(utc); }

} // namespace

std::optional<double> frequency(const GaugeReport& gauge, std::size_t i)
{
    if (gauge.readingHz.size() == gauge.trend.value.size()) {
        if (std::isfinite(gauge.readingHz[i]))
            return gauge.readingHz[i];
        return std::nullopt;
    }
    if (!gauge.trend.converted && i < gauge.trend.value.size() && std::isfinite(gauge.trend.value[i]))
        return gauge.trend.value[i];
    return std::nullopt;
}

QString readout(const GaugeReport& gauge, std::size_t i)
{
    if (qsizetype(gauge.trend.value.size()) == gauge.readingReadouts.size())
        return gauge.readingReadouts[qsizetype(i)];
    return gauge.readouts.size() == 1 ? gauge.readouts.front() : QString();
}

QString status(const GaugeReport& gauge, std::size_t i, bool english)
{
    const archive::History::Trend& t = gauge.trend;
    if (i >= t.value.size() || !std::isfinite(t.value[i]) || (i < t.masked.size() && t.masked[i]))
        return {};
    const int st = i < t.status.size() ? t.status[i] : 0;
    const qint64 at = i < t.utc.size() ? t.utc[i] : t.time[i];
    return archive::statusName(archive::History::levelSetAt(t.levelSets, at), st, english);
}

Masks::Masks(const Content& content)
{
    for (const archive::Mask& m : content.masks)
        m_notes.insert(maskKey(m.gauge, m.utc), m.note);
}

std::optional<QString> Masks::note(const QString& gauge, qint64 utc) const
{
    const auto it = m_notes.constFind(maskKey(gauge, utc));
    if (it == m_notes.constEnd())
        return std::nullopt;
    return *it;
}

QString utcText(qint64 utc, const QString& format)
{
    return QDateTime::fromSecsSinceEpoch(utc, Qt::UTC).toString(format);
}

Pieces::Pieces(QIODevice& out) : m_out(out) { m_buffer.reserve(kPiece + 4096); }

bool Pieces::flush(bool all)
{
    if (!m_reason.isEmpty())
        return false;
    if (!all && m_buffer.size() < kPiece)
        return true;
    // A device may take less than it is given; the rest is offered again, and only a write
    // that takes nothing fails.
    qsizetype done = 0;
    while (done < m_buffer.size()) {
        errno = 0;
        const qint64 n = m_out.write(m_buffer.constData() + done, m_buffer.size() - done);
        if (n <= 0) {
            const int err = errno;
            m_reason = err ? FailureText::reason(workbook::errorKindOfErrno(err), QString::fromLocal8Bit(std::strerror(err)))
                           : FailureText::reason(workbook::ErrorKind::Io, m_out.errorString());
            return false;
        }
        done += qsizetype(n);
    }
    m_buffer.resize(0);
    return true;
}

WriteResult writeReplacing(const QString& path, const std::function<bool(Pieces&)>& body)
{
    WriteResult result;
    ReplacingFile file(path);
    if (!file.open(&result.reason))
        return result;
    Pieces pieces(file.device());
    if (!body(pieces) || !pieces.flush(true)) {
        file.cancel();
        if (pieces.reason().isEmpty())
            result.cancelled = true;
        else
            result.reason = pieces.reason();
        return result;
    }
    result.written = file.commit(&result.reason);
    return result;
}

} // namespace report::reading
