#pragma once

#include "platform/Timing.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

class Messenger;
class SerialLink;

// What the exchange needs from the window it serves: the command gate, the connected state,
// and the places replies go to.
class ExchangeHost {
public:
    virtual ~ExchangeHost();
    virtual void ComFalse() = 0;
    virtual void ComEnable() = 0;
    // True while the connect button reads "已连接".
    virtual bool connectedCaption() const = 0;
    virtual void Ini_Tree(const QString& range) = 0;
    virtual void Bulid_Tree(const QString& partitionKey, const QString& listing) = 0;
    virtual void FillGrid(const QString& reply) = 0;
    virtual void FillYJGrid(const QString& reply) = 0;
    // The component editor's reply slot (RecStr); ignored while the editor is closed.
    virtual void setRecStr(const QString& reply) = 0;
    // The instrument confirmed that partition letter was deleted, or that a file was created.
    virtual void partitionDeleted(const QString& letter) = 0;
    virtual void fileCreated(const QString& letter, const QString& name) = 0;
};

// The one-request, one-reply exchange with the instrument: the sending sequence every command
// follows, reply reception and its dispatch by the code of the pending command, the reply
// time-out (Timer1) and the busy watchdog (Timer2).
//
// A reply is everything that arrives until the line has been quiet for Timing::receiveQuiet,
// so a transfer of any length is dispatched whole and once. Bytes are collected raw and
// decoded once, at dispatch.
//
// The line is never shared between two commands: while a command awaits its reply, while a
// reply is arriving, and while stale input is being discarded, every sender is refused with
// the busy message. Input that arrives with no command pending (after connecting, after an
// interrupted or stopped transfer, after the reply deadline, unsolicited) is read and dropped
// until the line has been quiet for the quiet spell. A reply that does not end normally
// (disconnect, device lost, stop) is dropped whole; nothing partial reaches a consumer.
class CommandExchange : public QObject {
    Q_OBJECT
public:
    static constexpr qsizetype kMaxReplyBytes = 64 * 1024 * 1024;

    CommandExchange(SerialLink& link, ExchangeHost& host, Messenger& messenger, const Timing& timing,
                    QObject* parent = nullptr);

    // State of the exchange.
    qint16 COM_type = 0;      // code of the command awaiting a reply; 0 = none
    QString Com_Return;       // reply kept for code 5
    bool Busy = false;        // a command is in progress
    int Replied = 0;          // 1 = serial input has arrived since the last command was sent
    bool Receiving = false;   // a reply is being received
    QString SelectedName;     // text of the tree node the pending command was issued for
    bool Discarding = false;  // input with no command pending is being read and dropped

    QTimer Timer1; // reply time-out of "DIR"
    QTimer Timer2; // busy watchdog

    // True while a command may not go out: the gate is taken, a command awaits its reply, a
    // reply is arriving or stale input is being discarded.
    bool lineBusy() const;

    // Opening steps of every sender: refuse while the line is busy (message), take the gate, disable the
    // controls, refuse unless connected (message, controls enabled again, gate left for the
    // watchdog). True when the command may go ahead.
    bool begin();

    struct Options {
        bool resetReplied = true;     // clear Replied before sending
        bool startReplyTimer = false; // only "DIR" arms Timer1
        bool wait = true;             // wait the command wait after sending
        QString detail;               // what the result concerns, e.g. the name of a new file
    };
    // Sends the bytes in one write, sets COM_type to code (no events run in between) and waits
    // the command wait. The caller enables the controls afterwards. Refused (false, nothing
    // sent) while a reply is arriving or stale input is being discarded.
    bool transmit(const QByteArray& bytes, qint16 code, Options options);
    bool transmit(const QByteArray& bytes, qint16 code) { return transmit(bytes, code, Options{}); }

    // The wait after a command: replies are received and handled meanwhile.
    void commandWait();

    void SetReturn(const QString& text) { Com_Return = text; }
    QString GetReturn();

    // Starts the watchdog; it runs for the life of the window.
    void startWatchdog();

    // Why a reply was dropped before it ended.
    enum class Interruption { Disconnected, LinkLost, Stopped };

    // The port was closed or the device is gone: the pending command is forgotten, whatever
    // was being received is dropped and the exchange is idle.
    void abort(Interruption why = Interruption::Disconnected);

    // The operator stops a transfer: the reply so far is dropped, the rest of it is read and
    // discarded until the line is quiet, and the gate is free once it is.
    void stopReceiving();

    // The caller no longer waits for the pending command's reply (it gave up after its own
    // time-out): input that still comes is discarded.
    void abandonPending();

    // The serial input handler; connected to the link's readyRead.
    void MSComm1_OnComm();

signals:
    // A reply is streaming in: bytes so far and milliseconds since its first byte.
    void receiveProgress(qint64 bytes, qint64 elapsedMs);
    // A reply has ended (dispatched, discarded or refused).
    void receiveFinished(qint64 bytes, qint64 elapsedMs);
    // A reply was dropped before it ended, after bytes had arrived.
    void receiveInterrupted(qint64 bytes, CommandExchange::Interruption why);
    // Input with no command pending is being read and dropped: bytes so far; then its end.
    void discardProgress(qint64 bytes);
    void discardFinished(qint64 bytes);
    // The line became free for the next command.
    void lineIdle();

private:
    qint64 drain();
    void onQuiet();
    void dispatch(const QString& reply);
    void resetToIdle();
    void startDiscarding();
    void finishDiscarding();
    void onReplyDeadline();
    void Timer1_Timer();
    void Timer2_Timer();

    SerialLink& m_link;
    ExchangeHost& m_host;
    Messenger& m_messenger;
    Timing m_timing;

    QTimer m_quiet;
    QTimer m_replyDeadline; // a pending command without any reply is given up after this
    QString m_detail;       // Options::detail of the pending command
    QByteArray m_buffer;
    qint64 m_discarded = 0;
    qsizetype m_received = 0;
    bool m_overflow = false;
    bool m_dispatching = false;
    QElapsedTimer m_replyClock;
    QElapsedTimer m_progressClock;
};
