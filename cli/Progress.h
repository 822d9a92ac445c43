#pragma once

#include <QElapsedTimer>
#include <QString>
#include <QtGlobal>

// The progress of what the instrument is doing, as one line: bytes, rate and elapsed time for a
// transfer (whose total nobody knows in advance), and a bar with a percentage where the total
// is known (a component write: rows).
namespace cli {

class Console;

// The texts, for any front end.
QString transferLine(qint64 bytes, qint64 elapsedMs);
QString rowsLine(int done, int total, qint64 elapsedMs, int barWidth = 24);
// A job of its own steps (a report: gathering, then writing): what it is doing, a bar and a
// percentage.
QString stepsLine(const QString& what, qint64 done, qint64 total, qint64 elapsedMs, int barWidth = 24);

class Progress {
public:
    explicit Progress(Console& console);

    // A reply is streaming in (the exchange's receiveProgress).
    void transfer(qint64 bytes, qint64 elapsedMs);
    // The reply ended: its last figures stay on the line, which is closed.
    void transferDone(qint64 bytes, qint64 elapsedMs);

    // A job of `total` rows begins; then each finished row.
    void startRows(int total);
    void rowDone();

    // A job's steps (stepsLine), timed from the first call after start or end.
    void steps(const QString& what, qint64 done, qint64 total);

    // Ends the line, whatever it shows.
    void end();

private:
    Console& m_console;
    QElapsedTimer m_rowsClock;
    QElapsedTimer m_stepsClock;
    int m_total = 0;
    int m_done = 0;
};

} // namespace cli
