#include "tests/support/QtTestMain.h"

#include "platform/Delay.h"

#include <QElapsedTimer>

namespace testing_qt {

Timing fastTiming()
{
    // 1 s -> 20 ms, 0.2 s -> 4 ms, 2 s -> 40 ms, 5 s -> 100 ms
    return Timing{}.scaled(0.02);
}

bool waitFor(const std::function<bool()>& pred, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!pred() && clock.elapsed() < timeoutMs)
        Delay(0.002f);
    return pred();
}

void pump(int ms) { Delay(float(ms) / 1000.0f); }

} // namespace testing_qt
