#pragma once

#include "editor/ComponentList.h"
#include "platform/Timing.h"

#include <QMetaObject>
#include <QObject>
#include <QString>
#include <QTimer>
#include <vector>

class CommandExchange;

// Writes a component list into the instrument, one row per reply. Each entry's write command
// goes out as soon as the line is free; the instrument's answer, or its absence after the
// reply wait, gives the row its status ("OK", the answer itself, or "ERR"); after the pause the
// next row follows. A row left unanswered may still be answered late, and that answer must not
// be taken for the next row's: after one, the next row waits until the line has been quiet for
// a whole reply wait (what comes meanwhile is read and dropped). A reply holding more than one
// answer is no row's own answer: the row fails with it, and the line is waited out the same way. Driven by replies and timers, so the event loop runs freely meanwhile and
// any front end (the editor, the command line) can drive it.
//
// The composer routes the replies of commands::WriteComponent to receive().
class ComponentWriter : public QObject {
    Q_OBJECT
public:
    struct Summary {
        int written = 0; // rows the instrument confirmed
        int failed = 0;  // rows refused, answered otherwise, or unanswered
        bool stopped = false;
    };

    // What the operator is told at the end of a write.
    static QString doneText() { return tr("元件编号写入完成，请查阅，检查！"); }
    static QString failedText() { return tr("元件编号写入失败！，请查阅，检查！"); }

    ComponentWriter(CommandExchange& exchange, const Timing& timing, QObject* parent = nullptr);

    // Starts writing the entries in order; false (nothing sent) while a write is running or
    // when there is nothing to write. The caller holds the exchange's gate and ends the write
    // as Gate says (serial/Gate.h).
    bool start(std::vector<ComponentList::Entry> entries);
    // Sends nothing more; a pending answer no longer counts. Emits finished (stopped).
    void stop();
    bool running() const { return m_phase != Phase::Idle; }
    int rowCount() const { return int(m_entries.size()); }

    // The instrument's answer to the row in progress; an answer nobody waits for is ignored.
    void receive(const QString& reply);

signals:
    void rowStarted(int row); // 0-based index into the entries
    void rowDone(int row, const QString& status, bool ok);
    void finished(ComponentWriter::Summary summary);

private:
    enum class Phase {
        Idle,
        WaitingForLine,
        WaitingForReply,
        Pausing
    };
    void sendRow();
    void onTimer();
    void endRow(const QString& status, bool ok);
    void onDiscarding();

    CommandExchange& m_exchange;
    Timing m_timing;
    std::vector<ComponentList::Entry> m_entries;
    size_t m_row = 0;
    Phase m_phase = Phase::Idle;
    bool m_retried = false;
    bool m_drain = false; // the line is waited out before the next row (a late answer may come)
    Summary m_summary;
    QTimer m_timer;
    QMetaObject::Connection m_idle;
};
