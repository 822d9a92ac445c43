// A wait runs the event loop and ends on time; a program asked to quit stops waiting.
#include "platform/Delay.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <gtest/gtest.h>

TEST(Delay, LastsAsLongAsAskedWhileEventsAreHandled)
{
    QElapsedTimer clock;
    clock.start();
    bool handled = false;
    QTimer::singleShot(5, [&] { handled = true; });
    Delay(0.05f);
    EXPECT_GE(clock.elapsed(), 50);
    EXPECT_TRUE(handled);
}

TEST(Delay, EndsWhenTheApplicationIsAskedToQuit)
{
    // The wait runs inside the application's loop, as in the program; the loop is asked to
    // quit a moment after the wait began.
    qint64 waited = -1;
    QTimer::singleShot(0, [&] {
        QTimer::singleShot(20, [] { QCoreApplication::exit(0); });
        QElapsedTimer clock;
        clock.start();
        Delay(20.0f);
        waited = clock.elapsed();
    });
    QCoreApplication::exec();
    ASSERT_GE(waited, 0);
    EXPECT_LT(waited, 10000) << "the wait went on after the quit";
    // The application's loop runs again afterwards, and so do waits.
    QElapsedTimer clock;
    clock.start();
    Delay(0.03f);
    EXPECT_GE(clock.elapsed(), 30);
}
