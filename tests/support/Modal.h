#pragma once

#include <QApplication>
#include <QTimer>
#include <functional>

// Acts on a modal window of type W once it is showing (it runs its own event loop, so the test
// cannot reach it after the call that opens it returns).
template <typename W>
void whenModalOpens(std::function<void(W&)> act)
{
    auto* poll = new QTimer;
    poll->setInterval(5);
    QObject::connect(poll, &QTimer::timeout, [poll, act] {
        if (auto* w = qobject_cast<W*>(QApplication::activeModalWidget())) {
            poll->stop();
            poll->deleteLater();
            act(*w);
        }
    });
    poll->start();
}
