#include "cli/Progress.h"

#include "cli/Console.h"

#include <QCoreApplication>
#include <QLocale>

#include <algorithm>

namespace cli {

namespace {
QString grouped(qint64 n)
{
    static const QLocale locale(QLocale::Chinese, QLocale::China); // 1,234,567
    return locale.toString(n);
}

QString seconds(qint64 ms) { return QString::number(double(ms) / 1000.0, 'f', 1); }
} // namespace

QString transferLine(qint64 bytes, qint64 elapsedMs)
{
    const qint64 rate = elapsedMs > 0 ? bytes * 1000 / elapsedMs : 0;
    return QCoreApplication::translate("cli::Progress", "正在接收数据：%1 字节，%2 字节/秒，用时 %3 秒")
        .arg(grouped(bytes), grouped(rate), seconds(elapsedMs));
}

QString rowsLine(int done, int total, qint64 elapsedMs, int barWidth)
{
    const int safeTotal = std::max(total, 1);
    const int clamped = std::clamp(done, 0, safeTotal);
    const int filled = int(qint64(clamped) * barWidth / safeTotal);
    const int percent = int(qint64(clamped) * 100 / safeTotal);
    //: a progress bar, its percentage, rows written of all rows, seconds
    return QCoreApplication::translate("cli::Progress", "[%1%2] %3% %4/%5 行，用时 %6 秒")
        .arg(QString(filled, QLatin1Char('#')), QString(barWidth - filled, QLatin1Char('-')))
        .arg(percent, 3)
        .arg(clamped)
        .arg(total)
        .arg(seconds(elapsedMs));
}

QString stepsLine(const QString& what, qint64 done, qint64 total, qint64 elapsedMs, int barWidth)
{
    const qint64 safeTotal = std::max<qint64>(total, 1);
    const qint64 clamped = std::clamp<qint64>(done, 0, safeTotal);
    const int filled = int(clamped * barWidth / safeTotal);
    const int percent = int(clamped * 100 / safeTotal);
    //: a progress bar, its percentage, what is being done, steps done of all steps, seconds
    return QCoreApplication::translate("cli::Progress", "[%1%2] %3% %4 %5/%6，用时 %7 秒")
        .arg(QString(filled, QLatin1Char('#')), QString(barWidth - filled, QLatin1Char('-')))
        .arg(percent, 3)
        .arg(what)
        .arg(clamped)
        .arg(total)
        .arg(seconds(elapsedMs));
}

Progress::Progress(Console& console) : m_console(console) {}

void Progress::transfer(qint64 bytes, qint64 elapsedMs) { m_console.progress(transferLine(bytes, elapsedMs)); }

void Progress::transferDone(qint64 bytes, qint64 elapsedMs)
{
    m_console.progress(QCoreApplication::translate("cli::Progress", "接收完成：%1 字节，%2 字节/秒，用时 %3 秒")
                           .arg(grouped(bytes), grouped(elapsedMs > 0 ? bytes * 1000 / elapsedMs : 0),
                                seconds(elapsedMs)));
    m_console.endProgress();
}

void Progress::startRows(int total)
{
    m_total = total;
    m_done = 0;
    m_rowsClock.start();
    m_console.progress(rowsLine(0, m_total, 0));
}

void Progress::rowDone()
{
    ++m_done;
    m_console.progress(rowsLine(m_done, m_total, m_rowsClock.elapsed()));
}

void Progress::steps(const QString& what, qint64 done, qint64 total)
{
    if (!m_stepsClock.isValid())
        m_stepsClock.start();
    m_console.progress(stepsLine(what, done, total, m_stepsClock.elapsed()));
}

void Progress::end()
{
    m_console.endProgress();
    m_stepsClock.invalidate();
}

} // namespace cli
