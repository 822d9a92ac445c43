#include "platform/Delay.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

void Delay(float seconds)
{
    const qint64 wanted = qint64(double(seconds) * 1000.0 + 0.5);
    QElapsedTimer clock;
    clock.start();
    for (qint64 left = wanted; left >= 0; left = wanted - clock.elapsed()) {
        QEventLoop loop;
        QTimer timer;
        timer.setSingleShot(true);
        timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
        timer.start(int(left) + 1);
        loop.exec();
        // The loop ended before its timer: the application is asked to quit, and from now on
        // every event loop returns at once. Going round again would spin; there is nothing
        // left to wait for.
        if (timer.isActive())
            return;
    }
}
