#include "platform/Delay.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

void Delay(float seconds)
{
    const qint64 wanted = qint64(double(seconds) * 1000.0 + 0.5);
    QElapsedTimer clock;
    clock.start();
    // A nested loop can end early when the application is asked to quit; the loop below
    // then waits out the rest, so callers can rely on the full duration having passed.
    for (qint64 left = wanted; left >= 0; left = wanted - clock.elapsed()) {
        QEventLoop loop;
        QTimer timer;
        timer.setSingleShot(true);
        timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
        timer.start(int(left) + 1);
        loop.exec();
    }
}
