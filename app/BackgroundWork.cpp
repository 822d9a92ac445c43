#include "app/BackgroundWork.h"

#include "app/SaveCommand.h"

#include <QEventLoop>
#include <QThread>
#include <QTimer>
#include <memory>

bool runInBackground(SaveProgress* progress, const QString& path, qint64 total,
                     const std::function<void(BackgroundWork&)>& work)
{
    BackgroundWork state;
    std::unique_ptr<QThread> worker(QThread::create([&] { work(state); }));
    QEventLoop loop;
    QObject::connect(worker.get(), &QThread::finished, &loop, &QEventLoop::quit);
    QTimer tick;
    tick.setInterval(50);
    QObject::connect(&tick, &QTimer::timeout, &loop, [&] {
        if (!progress)
            return;
        progress->advance(std::min(state.done.load(), total));
        if (progress->cancelRequested())
            state.cancelled = true;
    });
    if (progress)
        progress->start(path, total);
    worker->start();
    tick.start();
    if (!worker->isFinished())
        loop.exec();
    worker->wait();
    tick.stop();
    if (progress)
        progress->finish();
    return state.cancelled.load();
}
