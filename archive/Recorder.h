#pragma once

#include "archive/Archive.h"
#include "grids/ReadingLayout.h"

#include <QDateTime>
#include <QString>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>

class QObject;

namespace archive {

// The archive as the window and the command line keep it: opened at its path on first use,
// every completed copy stored, and the operator's texts for what happened. A copy that cannot
// be stored is kept in the spool beside the archive and stored at a later open.
class Recorder {
public:
    enum class Access {
        ReadWrite,
        ReadOnly, // the reading commands: nothing is changed, nothing stored
    };
    explicit Recorder(QString path = Archive::defaultPath(), Access access = Access::ReadWrite);
    // Ends the thread of the window's way: a store still running stops and its copy is kept.
    ~Recorder();
    Recorder(const Recorder&) = delete;
    Recorder& operator=(const Recorder&) = delete;

    // How the writer waits while another program writes (set before the first use).
    void setPatience(Patience patience);

    // The open archive, or nullptr when it cannot be opened (failure() says why).
    Archive* archive();
    // Why the archive could not be opened, in the operator's words ("" when it is open).
    QString failure() const { return m_failure; }
    // Once, after opening: that an unusable database was set aside ("" if none was).
    QString takeNotice();
    // Once, after opening: that copies kept earlier were stored ("" if none were).
    QString takeDrained();

    // The readout "未命名仪器" (unnamedReadoutName()), made in the archive when a copy is first
    // stored under it: for a front end that has no readout named for the copy.
    static constexpr qint64 kUnnamedReadout = -1;

    // Stores the records of a copy of `partition` from `origin`, as the layout reads them from the
    // grid the copy left (each read from the grid when it is stored; none is copied first); the
    // status text ("已存档：新增 12 条记录，共 40 条" or why it was not stored, and how many copies
    // wait), with what the clock guard found. A copy without a readout (origin.readout 0) is
    // refused and not kept in the spool: it could never be stored.
    QString storeCopy(const ReadingLayout::Records& records, const QString& partition, const CopyOrigin& origin,
                      const QDateTime& at = QDateTime::currentDateTimeUtc());
    // Whether the last storeCopy() kept the records (its text says so in the operator's words).
    bool stored() const { return m_stored; }
    // What the clock guard found of the records the last storeCopy() added (its text says it too).
    const ClockDoubt& clockDoubt() const { return m_clock; }
    // What judging the records the last storeCopy() added found (empty when nothing was stored).
    const Verdict& verdict() const { return m_verdict; }
    // Whether the last storeCopy() kept the copy in the spool instead.
    bool spooled() const { return m_spooled; }
    // How many copies wait in the spool.
    int waitingCopies() const;

    // The window's way: the archive is opened and checked, and copies stored, on a thread of
    // its own, and archive() is a second connection opened without the check once that open is
    // done. The callbacks run on the thread of `context`.
    void openInBackground(QObject* context, std::function<void()> opened);
    // The grid of `records` must not change until `done` has run; stored(), spooled(),
    // clockDoubt() and verdict() are those of this store when it runs. `waiting` is told how long the
    // store has waited for another program.
    void storeInBackground(const ReadingLayout::Records& records, const QString& partition, const CopyOrigin& origin,
                           QObject* context, std::function<void(const QString& text)> done,
                           std::function<void(qint64 waitedMs)> waiting);
    bool storing() const { return m_storing; }
    // Stops the wait or the store running in the background: its copy is kept in the spool.
    void stopStore();
    // Stops as stopStore() does and waits until the thread has finished.
    void finish();

    // The operator's words for an archive failure and for a database set aside.
    static QString errorText(const Error& error);
    static QString setAsideText(const SetAside& setAside);
    // The operator's words for what the clock guard found ("" when nothing).
    static QString clockText(const ClockDoubt& doubt);

private:
    struct Outcome {
        QString text;
        bool stored = false;
        bool spooled = false;
        ClockDoubt clock;
        Verdict verdict;
    };
    struct Opened {
        std::unique_ptr<Archive> archive;
        QString failure;
        QString notice;
        QString drained;
    };
    Opened openWriter();
    Outcome store(Archive* archive, const QString& failure, const ReadingLayout::Records& records, const QString& partition,
                  const CopyOrigin& origin, const QDateTime& at);
    struct Worker;

    QString m_path;
    Access m_access;
    Patience m_patience;
    std::unique_ptr<Archive> m_archive;
    bool m_tried = false;
    QString m_failure;
    QString m_notice;
    QString m_drained;
    bool m_stored = false;
    bool m_spooled = false;
    ClockDoubt m_clock;
    Verdict m_verdict;
    bool m_background = false;
    bool m_backgroundOpened = false;
    bool m_storing = false;
    std::atomic<bool> m_stop{false};
    std::function<void(qint64)> m_patienceWaiting; // set and called on the thread only
    std::unique_ptr<Worker> m_worker;
};

} // namespace archive
