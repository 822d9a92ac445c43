#pragma once

#include <QString>
#include <atomic>
#include <functional>

class SaveProgress;

// What a piece of work off the window's thread has done so far, and whether the operator asked
// it to stop; the work counts and looks at its own pace.
struct BackgroundWork {
    std::atomic<qint64> done{0};
    std::atomic<bool> cancelled{false};
};

// Runs `work` on a thread of its own while the window's event loop goes on (repaints, the
// progress dialog and its cancel button), and returns when it has ended. Every 50 ms `progress`
// (if any) is told how much of `total` is done, and a cancel it reports is passed on to the
// work. True when the operator asked to cancel.
bool runInBackground(SaveProgress* progress, const QString& path, qint64 total,
                     const std::function<void(BackgroundWork&)>& work);
