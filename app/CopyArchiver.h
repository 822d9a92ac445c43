#pragma once

#include "app/ReadoutChoice.h"
#include "archive/Judgement.h"
#include "archive/Monitoring.h"
#include "grids/ReadingLayout.h"

#include <QMetaObject>
#include <QObject>
#include <QString>
#include <functional>
#include <optional>
#include <vector>

class CommandExchange;
namespace archive {
class Recorder;
}

// How a completed copy goes from the window into the archive. First, which readout the
// connection's device is: the archive remembers it per device; a device it does not know is
// asked about once (the operator may cancel: the copy stays in the preview, not archived).
// Then the component list of the copy's partition (DIRPART), read once per partition per
// connection for the slot assignments; its reply goes to the archiver, never to the preview.
// Last the store, on the archive's thread. The grid of the records must not change until
// finished() has been emitted.
class CopyArchiver : public QObject {
    Q_OBJECT
public:
    // Asks the operator which readout `device` is: the archive's readouts to choose from and
    // the one chosen so far (0: none). Nothing when the operator cancelled.
    using Ask = std::function<std::optional<ReadoutAnswer>(const std::vector<archive::Readout>& readouts,
                                                           const QString& device, qint64 current)>;

    CopyArchiver(CommandExchange& exchange, archive::Recorder& recorder, Ask ask, QObject* parent = nullptr);
    ~CopyArchiver() override;

    // A connection opened to `device` (connection::deviceIdentity), and the connection's end:
    // the component lists read on it are forgotten. The device stays for a copy still on its
    // way into the archive.
    void connected(const QString& device);
    void disconnected();
    bool isConnected() const { return m_connected; }
    QString device() const { return m_device; }
    // The readout of the device, when the archive knows it.
    std::optional<archive::Readout> readout();

    // Archives a completed copy of `partition` from the grid of `records`; the steps begin
    // once the caller has returned (a question is never asked inside a reply's handling).
    void archive(const ReadingLayout::Records& records, const QString& partition);
    bool running() const { return m_step != Step::Idle; }
    // While the component list is being read (its reply and its grace are the archiver's).
    bool readingComponents() const { return m_step == Step::ReadingNames; }

    // Asks again which readout the device is and remembers the answer; false when there is no
    // connection or archive, the operator cancelled, or the archive refused (said by notice()).
    bool changeReadout();

    // A partition's component list changed in the instrument (a write, a delete): read again.
    void forgetComponents(const QString& partition) { m_names.forget(partition); }
    void forgetAllComponents() { m_names.clear(); }
    const archive::ComponentNamesCache& components() const { return m_names; }

    // What judging the last copy's records found (empty when it was not stored), and its partition.
    const archive::Verdict& verdict() const { return m_verdict; }
    QString partition() const { return m_partition; }

    // The operator's words for a copy not archived because no readout was chosen.
    static QString notArchivedText();

signals:
    // The readout of the connection changed (found, chosen, renamed).
    void readoutChanged();
    // What is happening now ("正在读取分区 A 的元件编号…", "正在存档…").
    void progress(const QString& text);
    // How long the store has waited for another program.
    void waiting(qint64 waitedMs);
    // The copy's end: the store's text (and what was missing), or why it was not stored.
    void finished(const QString& text, bool stored);
    // A message for the operator that is not about a copy (a refused change of readout).
    void notice(const QString& text);

private:
    enum class Step {
        Idle,
        Starting,
        ReadingNames,
        Storing,
    };
    void start();
    // The readout of the copy, asked for when the archive does not know the device; false when
    // none was chosen (why says so). Without an archive to choose from, or when the answer
    // cannot be kept (why says so), the copy goes on under the unnamed readout.
    bool resolveReadout(QString* why);
    void readNames();
    void endRead();
    void store(std::optional<archive::ComponentNames> names, const QString& note);
    void finish(const QString& text, bool stored);

    CommandExchange& m_exchange;
    archive::Recorder& m_recorder;
    Ask m_ask;
    QString m_device;
    bool m_connected = false;
    std::optional<archive::Readout> m_readout;
    bool m_lookedUp = false; // the archive was asked about m_device
    archive::ComponentNamesCache m_names;

    Step m_step = Step::Idle;
    std::optional<ReadingLayout::Records> m_records;
    QString m_partition;
    archive::Verdict m_verdict;
    QString m_readoutNote;                         // the answer could not be kept
    std::optional<archive::ComponentNames> m_read; // the list that came, before its grace passed
    QList<QMetaObject::Connection> m_watch;        // on the exchange while the list is read
};
