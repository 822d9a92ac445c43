#include "archive/Recorder.h"

#include "archive/ArchiveCheck.h"
#include "archive/Record.h"
#include "archive/Spool.h"

#include <QCoreApplication>
#include <QDir>
#include <QMetaObject>
#include <QObject>
#include <QPointer>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#ifdef Q_OS_LINUX
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

namespace archive {

// One thread that runs the window's archive work in turn: the open, then each store.
struct Recorder::Worker {
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<std::function<void()>> jobs;
    bool quit = false;
    std::unique_ptr<Archive> writer; // used on the thread only
    QString failure;
    std::thread thread;

    Worker()
    {
        thread = std::thread([this] {
#ifdef Q_OS_LINUX
            // Behind the window's own thread, which paints the copy meanwhile.
            ::setpriority(PRIO_PROCESS, pid_t(::syscall(SYS_gettid)), 5);
#endif
            while (true) {
                std::function<void()> job;
                {
                    std::unique_lock lock(mutex);
                    wake.wait(lock, [this] { return quit || !jobs.empty(); });
                    if (jobs.empty())
                        return;
                    job = std::move(jobs.front());
                    jobs.pop_front();
                }
                job();
            }
        });
    }
    ~Worker()
    {
        {
            std::lock_guard lock(mutex);
            quit = true;
        }
        wake.notify_one();
        thread.join(); // the jobs still queued run first
        writer.reset();
    }
    void post(std::function<void()> job)
    {
        {
            std::lock_guard lock(mutex);
            jobs.push_back(std::move(job));
        }
        wake.notify_one();
    }
};

namespace {

// Runs `f` on the thread of `context`, unless it is gone by then.
template <typename F>
void onThreadOf(QObject* context, F&& f)
{
    QMetaObject::invokeMethod(context, std::forward<F>(f), Qt::QueuedConnection);
}

QString waitingText(int copies)
{
    return copies > 0 ? QCoreApplication::translate("Recorder", "%1 份拷贝等待存档").arg(copies) : QString();
}

} // namespace

Recorder::Recorder(QString path, Access access) : m_path(std::move(path)), m_access(access) {}

Recorder::~Recorder() { finish(); }

void Recorder::setPatience(Patience patience) { m_patience = std::move(patience); }

Recorder::Opened Recorder::openWriter()
{
    Opened out;
    std::optional<SetAside> aside;
    Error error;
    OpenOptions options;
    options.readOnly = m_access == Access::ReadOnly;
    options.patience = m_patience;
    if (m_background) {
        // Stopped only by stopStore(); the wait is shown by each store.
        options.patience.cancelled = [this] { return m_stop.load(); };
        options.patience.waiting = [this](qint64 ms) {
            if (m_patienceWaiting)
                m_patienceWaiting(ms);
        };
    }
    out.archive = Archive::open(m_path, &aside, &error, options);
    if (!out.archive)
        out.failure = errorText(error);
    if (aside) {
        // A new archive is said to be started only when it was.
        out.notice = out.archive ? setAsideText(*aside)
                                 : QCoreApplication::translate("Recorder", "%1，已原样移至 %2。")
                                       .arg(errorText(Error{aside->kind, QString()}), QDir::toNativeSeparators(aside->movedTo));
        // What the file set aside still holds, as the thorough check finds it (looking only).
        if (const std::optional<ArchiveCheck::Result> found = ArchiveCheck::run(aside->movedTo, false, nullptr))
            out.notice += QLatin1Char('\n') + ArchiveCheck::text(*found);
    }
    if (out.archive && !out.archive->readOnly()) {
        const Spool::Drained drained = Spool::drain(*out.archive);
        if (drained.stored > 0)
            out.drained = QCoreApplication::translate("Recorder", "已存入先前暂存的 %1 份拷贝：新增 %2 条记录")
                              .arg(drained.stored)
                              .arg(drained.added);
    }
    return out;
}

Archive* Recorder::archive()
{
    if (m_background) {
        // The second connection, once the thread has opened and checked the file.
        if (!m_backgroundOpened || m_tried)
            return m_archive.get();
        m_tried = true;
        if (!m_failure.isEmpty())
            return nullptr;
        Error error;
        OpenOptions options;
        options.check = false;
        m_archive = Archive::open(m_path, nullptr, &error, options);
        if (!m_archive)
            m_failure = errorText(error);
        return m_archive.get();
    }
    if (!m_tried) {
        m_tried = true;
        Opened opened = openWriter();
        m_archive = std::move(opened.archive);
        m_failure = opened.failure;
        m_notice = opened.notice;
        m_drained = opened.drained;
    }
    return m_archive.get();
}

QString Recorder::takeNotice() { return std::exchange(m_notice, QString()); }

QString Recorder::takeDrained() { return std::exchange(m_drained, QString()); }

int Recorder::waitingCopies() const { return Spool::waiting(m_path); }

Recorder::Outcome Recorder::store(Archive* a, const QString& failure, const ReadingLayout::Records& records, const QString& partition,
                                  const CopyOrigin& given, const QDateTime& at)
{
    Outcome out;
    if (given.readout == 0)
        return Outcome{QCoreApplication::translate("Recorder", "未指定仪器，本次记录未存档。"), false, false};
    Error error;
    CopyOrigin origin = given;
    if (a && origin.readout == kUnnamedReadout) {
        if (const std::optional<Readout> r = a->readout(unnamedReadoutName(), &error))
            origin.readout = r->id;
        else if (const std::optional<Readout> made = a->addReadout(unnamedReadoutName(), QString(), &error))
            origin.readout = made->id;
        else if (const std::optional<Readout> meanwhile = a->readout(unnamedReadoutName(), &error))
            origin.readout = meanwhile->id; // another program made it meanwhile
    }
    if (a && origin.readout > 0) {
        if (const std::optional<StoreResult> stored = a->store(recordSource(records, partition), at, origin, &error)) {
            out.stored = true;
            out.text = QCoreApplication::translate("Recorder", "已存档：新增 %1 条记录，共 %2 条")
                           .arg(QString::number(stored->added), QString::number(stored->received));
            out.clock = stored->clock;
            out.verdict = stored->verdict;
            if (const QString doubt = clockText(stored->clock); !doubt.isEmpty())
                //: %1 what was stored, %2 what the clock guard found
                out.text = QCoreApplication::translate("Recorder", "%1；%2").arg(out.text, doubt);
            if (const QString judged = verdictText(stored->verdict); !judged.isEmpty())
                //: %1 what was stored, %2 what judging the new readings found
                out.text = QCoreApplication::translate("Recorder", "%1；%2").arg(out.text, judged);
            if (const QString waits = waitingText(Spool::waiting(m_path)); !waits.isEmpty())
                //: %1 what was stored, %2 how many copies still wait
                out.text = QCoreApplication::translate("Recorder", "%1；%2").arg(out.text, waits);
            return out;
        }
    }
    const QString why = a ? errorText(error) : failure;
    // Stopped by a signal to the command line: nothing is kept, as the operator asked.
    if (a && error.kind == ErrorKind::Cancelled && !m_background)
        return Outcome{QCoreApplication::translate("Recorder", "未能存档：%1").arg(why), false, false};
    QString keptFailure;
    if (m_access == Access::ReadWrite && Spool::keep(m_path, recordSource(records, partition), at, given, &keptFailure)) {
        out.spooled = true;
        const QString waits = waitingText(Spool::waiting(m_path));
        out.text = error.kind == ErrorKind::Cancelled
                     ? QCoreApplication::translate("Recorder", "已停止存档：本次拷贝已暂存，下次打开档案时存入（%1）").arg(waits)
                     : QCoreApplication::translate("Recorder", "未能存档：%1；本次拷贝已暂存，下次打开档案时存入（%2）").arg(why, waits);
        return out;
    }
    out.text = QCoreApplication::translate("Recorder", "未能存档：%1").arg(why);
    if (!keptFailure.isEmpty())
        out.text = QCoreApplication::translate("Recorder", "%1；暂存也未成功（%2）").arg(out.text, keptFailure);
    return out;
}

QString Recorder::storeCopy(const ReadingLayout::Records& records, const QString& partition, const CopyOrigin& origin,
                            const QDateTime& at)
{
    Archive* a = archive();
    const Outcome out = store(a, m_failure, records, partition, origin, at);
    m_stored = out.stored;
    m_spooled = out.spooled;
    m_clock = out.clock;
    m_verdict = out.verdict;
    return out.text;
}

void Recorder::openInBackground(QObject* context, std::function<void()> opened)
{
    if (m_background)
        return;
    m_background = true;
    m_failure = QCoreApplication::translate("Recorder", "正在打开档案数据库…");
    m_worker = std::make_unique<Worker>();
    Worker* worker = m_worker.get();
    QPointer<QObject> guard(context);
    worker->post([this, worker, guard, opened = std::move(opened)] {
        auto result = std::make_shared<Opened>(openWriter());
        worker->writer = std::move(result->archive);
        worker->failure = result->failure;
        if (!guard)
            return;
        onThreadOf(guard.data(), [this, result, opened] {
            m_backgroundOpened = true;
            m_failure = result->failure;
            m_notice = result->notice;
            m_drained = result->drained;
            if (opened)
                opened();
        });
    });
}

void Recorder::storeInBackground(const ReadingLayout::Records& records, const QString& partition, const CopyOrigin& origin,
                                 QObject* context, std::function<void(const QString&)> done,
                                 std::function<void(qint64)> waiting)
{
    if (!m_background)
        openInBackground(context, {});
    if (!m_worker) { // after finish(): stored here and now
        const QString text = storeCopy(records, partition, origin);
        if (done)
            done(text);
        return;
    }
    m_storing = true;
    m_stop = false;
    Worker* worker = m_worker.get();
    QPointer<QObject> guard(context);
    const QDateTime at = QDateTime::currentDateTimeUtc();
    worker->post([this, worker, records, partition, origin, at, guard, done = std::move(done), waiting = std::move(waiting)] {
        if (worker->writer && waiting) {
            // Told on the window's thread; the store goes on meanwhile.
            m_patienceWaiting = [guard, waiting](qint64 ms) {
                if (guard)
                    onThreadOf(guard.data(), [waiting, ms] { waiting(ms); });
            };
        }
        const Outcome out = store(worker->writer.get(), worker->failure, records, partition, origin, at);
        m_patienceWaiting = nullptr;
        if (!guard) {
            m_storing = false;
            return;
        }
        onThreadOf(guard.data(), [this, out, done] {
            m_storing = false;
            m_stored = out.stored;
            m_spooled = out.spooled;
            m_clock = out.clock;
            m_verdict = out.verdict;
            if (done)
                done(out.text);
        });
    });
}

void Recorder::stopStore() { m_stop = true; }

void Recorder::finish()
{
    if (!m_worker)
        return;
    m_stop = true;
    m_worker.reset();
    m_storing = false;
}

QString Recorder::errorText(const Error& error)
{
    QString what;
    switch (error.kind) {
    case ErrorKind::CannotOpen: what = QCoreApplication::translate("Recorder", "无法打开档案数据库"); break;
    case ErrorKind::Damaged: what = QCoreApplication::translate("Recorder", "档案数据库已损坏"); break;
    case ErrorKind::NewerVersion: what = QCoreApplication::translate("Recorder", "档案数据库来自更新版本的程序"); break;
    case ErrorKind::WriteFailed:
        what = QCoreApplication::translate("Recorder", "写入档案数据库失败，本次记录均未保存");
        break;
    case ErrorKind::ReadFailed: what = QCoreApplication::translate("Recorder", "读取档案数据库失败"); break;
    case ErrorKind::Cancelled:
        return QCoreApplication::translate("Recorder", "存档已停止，本次记录均未保存");
    }
    // %1 what failed, %2 SQLite's own words for it.
    return error.detail.isEmpty() ? what : QCoreApplication::translate("Recorder", "%1（%2）").arg(what, error.detail);
}

QString Recorder::clockText(const ClockDoubt& doubt)
{
    if (!doubt.any())
        return {};
    QStringList found;
    if (doubt.ahead) {
        const qint64 hours = (doubt.newestUtc - QDateTime::currentSecsSinceEpoch()) / 3600;
        found << QCoreApplication::translate("Recorder", "最新读数比电脑时钟快 %1 小时").arg(std::max<qint64>(hours, 1));
    }
    if (!doubt.beforeInstallation.isEmpty())
        found << QCoreApplication::translate("Recorder", "早于测点安装日期的读数：%1")
                     .arg(doubt.beforeInstallation.join(QStringLiteral(", ")));
    //: %1 what was found, e.g. that the newest reading is ahead of the PC's clock
    return QCoreApplication::translate("Recorder", "仪器时钟可能不准（%1）").arg(found.join(QStringLiteral("；")));
}

QString Recorder::setAsideText(const SetAside& s)
{
    const QString why = s.kind == ErrorKind::NewerVersion
                          ? QCoreApplication::translate("Recorder", "档案数据库来自更新版本的程序")
                          : QCoreApplication::translate("Recorder", "档案数据库已损坏");
    return QCoreApplication::translate("Recorder", "%1，已原样移至 %2，并新建了档案数据库。")
        .arg(why, QDir::toNativeSeparators(s.movedTo));
}

} // namespace archive
