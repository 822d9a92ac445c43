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
};

// The one-request, one-reply exchange with the instrument: the sending sequence every command
// follows, reply reception and its dispatch by the code of the pending command, the reply
// time-out (Timer1) and the busy watchdog (Timer2).
//
// A reply is everything that arrives until the line has been quiet for Timing::receiveQuiet,
// so a transfer of any length is dispatched whole and once. Bytes are collected raw and
// decoded once, at dispatch.
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

    QTimer Timer1; // reply time-out of "DIR"
    QTimer Timer2; // busy watchdog

    // Opening steps of every sender: refuse while busy (message), take the gate, disable the
    // controls, refuse unless connected (message, controls enabled again, gate left for the
    // watchdog). True when the command may go ahead.
    bool begin();

    struct Options {
        bool resetReplied = true;     // clear Replied before sending
        bool startReplyTimer = false; // only "DIR" arms Timer1
        bool wait = true;             // wait the command wait after sending
    };
    // Sends the bytes in one write, sets COM_type to code (no events run in between) and waits
    // the command wait. The caller enables the controls afterwards.
    void transmit(const QByteArray& bytes, qint16 code, Options options);
    void transmit(const QByteArray& bytes, qint16 code) { transmit(bytes, code, Options{}); }

    // The wait after a command: replies are received and handled meanwhile.
    void commandWait();

    void SetReturn(const QString& text) { Com_Return = text; }
    QString GetReturn();

    // Starts the watchdog; it runs for the life of the window.
    void startWatchdog();

    // The line is gone: whatever was being received is dropped and the exchange is idle.
    void abort();

    // The serial input handler; connected to the link's readyRead.
    void MSComm1_OnComm();

signals:
    // A reply is streaming in: bytes so far and milliseconds since its first byte.
    void receiveProgress(qint64 bytes, qint64 elapsedMs);
    // A reply has ended (dispatched, discarded or refused).
    void receiveFinished(qint64 bytes, qint64 elapsedMs);

private:
    void drain();
    void onQuiet();
    void dispatch(const QString& reply);
    void resetToIdle();
    void Timer1_Timer();
    void Timer2_Timer();

    SerialLink& m_link;
    ExchangeHost& m_host;
    Messenger& m_messenger;
    Timing m_timing;

    QTimer m_quiet;
    QByteArray m_buffer;
    qsizetype m_received = 0;
    bool m_overflow = false;
    bool m_dispatching = false;
    QElapsedTimer m_replyClock;
    QElapsedTimer m_progressClock;
};
