#include "app/OfficeSync.h"

#include "app/BackgroundWork.h"
#include "archive/Archive.h"
#include "archive/Recorder.h"

#include <algorithm>
#include <memory>

qint64 OfficeSync::permille(const office::SyncProgress& p)
{
    const auto share = [&p](qint64 from, qint64 to) {
        if (p.total <= 0)
            return from;
        return from + (to - from) * std::clamp<qint64>(p.done, 0, p.total) / p.total;
    };
    switch (p.step) {
    case office::SyncProgress::Connecting: return 0;
    case office::SyncProgress::Register: return 20;
    case office::SyncProgress::Readings: return share(50, 800);
    case office::SyncProgress::Versions: return 800;
    case office::SyncProgress::Pulling: return share(850, 990);
    case office::SyncProgress::Finished: return 1000;
    }
    return 0;
}

OfficeSync::Outcome OfficeSync::run(const QString& archivePath, const office::Settings& settings,
                                    const QString& password, SaveProgress* progress)
{
    Outcome outcome;
    const QString conninfo = office::conninfo(settings);
    runInBackground(progress, QString(), 1000, [&](BackgroundWork& work) {
        // The archive is never used by two threads at once: this thread opens its own connection
        // (checked already by the window's open), and waits while another writes as long as the
        // operator lets it.
        archive::OpenOptions options;
        options.check = false;
        options.patience.cancelled = [&work] { return work.cancelled.load(); };
        archive::Error error;
        const std::unique_ptr<archive::Archive> a = archive::Archive::open(archivePath, nullptr, &error, options);
        if (!a) {
            outcome.failure = office::Failure{office::FailureKind::Local, archive::Recorder::errorText(error)};
            return;
        }
        office::SyncOptions sync;
        sync.followedSites = settings.followedSites;
        sync.password = password;
        sync.cancelled = [&work] { return work.cancelled.load(); };
        sync.progress = [&work](const office::SyncProgress& p) { work.done = permille(p); };
        outcome.result = office::synchronise(*a, conninfo, sync, &outcome.failure);
    });
    return outcome;
}

QString OfficeSync::statusText(const Outcome& outcome, qint64 waiting)
{
    // A result says itself what still waits; a failure is told what waits here.
    if (outcome.result)
        return office::resultText(*outcome.result);
    QString text = office::failureText(outcome.failure);
    if (const QString still = office::waitingText(waiting); !still.isEmpty())
        //: %1 the sync's result, %2 how many readings still wait
        text = tr("%1；%2").arg(text, still);
    return text;
}

QString OfficeSync::conflictsMessage(const office::SyncResult& result)
{
    const QStringList conflicts = office::conflictTexts(result);
    if (conflicts.isEmpty())
        return {};
    return tr("同步时发现 %1 处冲突：两台电脑修改了同一项。两者都保存在办公室数据库中，以较晚的修改为准。")
               .arg(conflicts.size()) +
           QStringLiteral("\n\n") + conflicts.join(QStringLiteral("\n\n"));
}
