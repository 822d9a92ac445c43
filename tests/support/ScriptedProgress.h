#pragma once

#include "app/SaveCommand.h"

#include <QList>
#include <functional>

// The operator's side of long work with a progress dialog: records what it was shown, cancels
// when told to, and runs `during` at each step (e.g. to try a second command meanwhile).
class ScriptedProgress : public SaveProgress {
public:
    void start(const QString&, qint64 rows) override { startedWith = rows; }
    void advance(qint64 done) override
    {
        advances.append(done);
        if (during)
            during();
    }
    bool cancelRequested() const override { return cancel; }
    void finish() override { finished = true; }
    qint64 startedWith = -1;
    QList<qint64> advances;
    bool cancel = false;
    bool finished = false;
    std::function<void()> during;
};
