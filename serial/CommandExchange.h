#pragma once

#include "platform/Timing.h"
#include "serial/Gate.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <map>
#include <variant>

class Messenger;
class SerialLink;

// The one-request, one-reply exchange with the instrument: the sending sequence every command
// follows, reply reception, the routing of each reply by the code of the command that asked
// for it, the reply time-out (Timer1) and the busy watchdog (Timer2).
//
// A reply is everything that arrives until the line has been quiet for Timing::receiveQuiet,
// so a transfer of any length is dispatched whole and once. Bytes are collected raw and
// decoded once, at dispatch. Who consumes a reply is not the exchange's business: whoever
// composes the program routes each code to a handler (route()); a code without a route is
// read and dropped.
//
// The line is never shared between two commands: while a command awaits its reply, while a
// reply is arriving, and while stale input is being discarded, every sender is refused with
// the busy message. Input that arrives with no command pending (after connecting, after an
// interrupted or stopped transfer, after the reply deadline, unsolicited) is read and dropped
// until the line has been quiet for the quiet spell. A reply that does not end normally
// (disconnect, device lost, stop) is dropped whole; nothing partial reaches a consumer.
//
// The protocol has no end marker, so a pause inside a reply longer than the quiet spell looks
// like its end. What can be known is watched: for Timing::replyGrace after a reply was handed
// over, input that comes proves the reply was cut (replyCut); a grace that passes quietly ends
// with replyConfirmed. A front end that keeps a reply (writes it, archives it) waits for one
// of the two.
//
// The exchange owns the gate (Busy, the controls, the connected state) and goes through it
// for every command; the front ends connect to the gate's signals and tell it when they
// connect and disconnect.
class CommandExchange : public QObject {
    Q_OBJECT
public:
    static constexpr qsizetype kMaxReplyBytes = 64 * 1024 * 1024;

    CommandExchange(SerialLink& link, Messenger& messenger, const Timing& timing, QObject* parent = nullptr);

    // The gate every command goes through; releasing it (Gate::release) makes the line idle
    // again unless a reply is due.
    Gate& gate() { return m_gate; }

    // A complete reply, as its handler receives it.
    struct Reply {
        qint16 code = 0;
        QString text;     // decoded from the instrument's code page (route)
        QByteArray bytes; // as they came off the line (routeBytes)
        QString target;   // Request::target of the command that asked
        QString detail;   // Request::detail
    };
    // A handler may take the reply's text or bytes (std::move): the exchange keeps no copy.
    using Handler = std::function<void(Reply&)>;

    // One command on the line.
    struct Request {
        QByteArray bytes;             // exactly what goes out
        qint16 code = 0;              // the code its reply is routed by
        QString target;               // what the command is for: the tree node's text
        QString detail;               // what the result concerns, e.g. the name of a new file
        bool resetReplied = true;     // clear replied() before sending
        bool startReplyTimer = false; // only "DIR" arms Timer1
        bool wait = true;             // wait the command wait after sending
        bool releaseGate = false;     // free the gate once sent (the tree click does)
        // The reply to this command goes here, decoded as text, instead of to the route of its
        // code: a reply read for the program's own use reaches none of the operator's views.
        Handler onReply = {};
    };
    // A sender's checks found nothing to send: the message (none when empty) is shown and the
    // controls are usable again; the gate stays for the watchdog unless released.
    struct Refusal {
        QString message;
        bool releaseGate = false;
    };
    // The sender keeps the gate and the controls: a dialog sends later (transmit()) and
    // enables the controls when it closes.
    struct Held {};
    using Step = std::variant<Request, Refusal, Held>;

    // Replies to commands with this code go to the handler (replacing an earlier route),
    // decoded as text.
    void route(qint16 code, Handler handler);
    // The same for a consumer of large replies that decodes them itself: the handler gets the
    // bytes as received and no second copy of the reply is made.
    void routeBytes(qint16 code, Handler handler);

    // What the operator is told when a command cannot go out because the line is busy.
    static QString busyText();
    // What the operator is told when a command is given before connecting.
    static QString notConnectedText();

    // The sending sequence: refuse while the line is busy (busy message); take the gate and
    // lock the controls; refuse unless the gate says connected (message, controls enabled again, gate
    // left for the watchdog); then run the sender's own checks (prepare) and act on the step
    // they give; a request that the line refuses meanwhile (input came while the sender asked
    // the operator) is reported with the busy message. True when a request went out, or the
    // sender holds the gate.
    bool send(const std::function<Step()>& prepare);
    bool send(const Request& request);

    // Sends within a gate the caller holds (Held), without touching the controls. Refused
    // (false, nothing sent) while a reply is arriving or stale input is being discarded.
    bool transmit(const Request& request);

    // The wait after a command: replies are received and handled meanwhile.
    void commandWait();

    // State of the exchange, for the front ends.
    bool busy() const { return m_gate.busy(); }     // the gate is taken
    qint16 pendingCode() const { return COM_type; } // the command awaiting its reply; 0 none
    QString target() const { return SelectedName; } // Request::target of that command
    bool replied() const { return Replied != 0; }   // input since the last command was sent
    bool receiving() const { return Receiving; }    // a reply is arriving
    bool discarding() const { return Discarding; }  // input nobody asked for is dropped
    // A reply was handed over and its grace has not passed yet (neither replyCut nor
    // replyConfirmed has been emitted for it).
    bool inGrace() const { return m_graceCode != 0; }
    bool replyTimerActive() const { return Timer1.isActive(); }
    bool watchdogActive() const { return Timer2.isActive(); }
    // True while a command may not go out: the gate is taken, a command awaits its reply, a
    // reply is arriving or stale input is being discarded.
    bool lineBusy() const;
    // True while input is expected or arriving: a command awaits its reply, a reply is
    // arriving or stale input is being discarded (the gate alone does not count).
    bool replyDue() const { return COM_type != 0 || Receiving || Discarding; }

    void clearReplied() { Replied = 0; }
    // The quiet spell that ends a reply, in milliseconds (at least 1); from the next reply on.
    void setReceiveQuietMs(int ms);
    int receiveQuietMs() const { return m_quiet.interval(); }
    // The reply kept for code 5 (StoreReturn).
    void SetReturn(const QString& text) { Com_Return = text; }
    QString GetReturn();

    // Starts the watchdog; it runs for the life of the front end.
    void startWatchdog();
    // Stops every timer, for a front end shutting down.
    void stopTimers();

    // Why a reply was dropped before it ended.
    enum class Interruption {
        Disconnected,
        LinkLost,
        Stopped
    };

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
    // A reply is complete and about to be handled (its handler may show a message): nothing
    // more is being received for it.
    void receiveComplete(qint64 bytes, qint64 elapsedMs);
    // A reply was dropped before it ended, after bytes had arrived.
    void receiveInterrupted(qint64 bytes, CommandExchange::Interruption why);
    // Input with no command pending is being read and dropped: bytes so far; then its end.
    void discardProgress(qint64 bytes);
    void discardFinished(qint64 bytes);
    // The line became free for the next command.
    void lineIdle();
    // A command had no reply at all within the reply deadline and was given up.
    void replyMissing(qint16 code);
    // Input came within the grace after the reply to the command with this code (and target)
    // was handed over: that reply was cut short, whatever its handler made of it.
    void replyCut(qint16 code, const QString& target);
    // The grace after that reply passed with no input (or a new command went out, or the port
    // was closed): as far as can be known, the reply was whole.
    void replyConfirmed(qint16 code);

private:
    qint64 drain();
    void onQuiet();
    void dispatch(QByteArray raw);
    void resetToIdle();
    void startDiscarding();
    void finishDiscarding();
    void onReplyDeadline();
    void noteLateInput();
    void endGrace();
    void Timer1_Timer();
    void Timer2_Timer();

    SerialLink& m_link;
    Gate m_gate;
    Messenger& m_messenger;
    Timing m_timing;
    struct Route {
        Handler handler;
        bool bytes = false;
    };
    std::map<qint16, Route> m_routes;

    qint16 COM_type = 0;     // code of the command awaiting a reply; 0 = none
    QString Com_Return;      // reply kept for code 5
    int Replied = 0;         // 1 = serial input has arrived since the last command was sent
    bool Receiving = false;  // a reply is being received
    QString SelectedName;    // target of the pending command
    bool Discarding = false; // input with no command pending is being read and dropped
    QTimer Timer1;           // reply time-out of "DIR"
    QTimer Timer2;           // busy watchdog

    QTimer m_quiet;
    QTimer m_replyDeadline; // a pending command without any reply is given up after this
    QTimer m_grace;         // watches the line after a reply was handed over
    qint16 m_graceCode = 0; // the code of that reply; 0 = none watched
    QString m_graceTarget;
    QString m_detail;  // Request::detail of the pending command
    Handler m_onReply; // Request::onReply of the pending command
    QByteArray m_buffer;
    qint64 m_discarded = 0;
    qsizetype m_received = 0;
    bool m_overflow = false;
    bool m_dispatching = false;
    QElapsedTimer m_replyClock;
    QElapsedTimer m_progressClock;
};
