#pragma once

#include <QObject>

// The one gate in front of the instrument: Busy, the operator's controls and whether the front
// end counts as connected. The exchange takes the gate for each command and locks the
// controls meanwhile; dialogs and commands that hold the gate (Held) unlock the controls, and
// release the gate where they must, through this same object. The gate says what happens to
// the controls (controlsLocked, controlsUnlocked) and leaves it to whoever connects to them:
// the window disables and enables its commands, the command line connects nothing.
//
// Busy after a component write: the holder of the gate (the editor, the command line's
// write-components) unlocks the controls when the write has ended, whether it finished, failed
// or was stopped, and never releases Busy itself. Each answered row frees the gate as any reply
// does; after a row left unanswered the watchdog frees it, as after any refused command.
class Gate : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    bool busy() const { return Busy; }
    // Takes the gate for a command (or a dialog that sends later).
    void take() { Busy = true; }
    // Frees the gate now and says so (released): the line may be idle again.
    void release();

    void lockControls() { emit controlsLocked(); }
    void unlockControls() { emit controlsUnlocked(); }

    // Whether a command may go out at all: the front end says when it has connected and when
    // it is disconnected (closed by the operator, or the link lost).
    bool connected() const { return m_connected; }
    void setConnected(bool connected) { m_connected = connected; }

signals:
    // The operator's controls are to be disabled, respectively usable again.
    void controlsLocked();
    void controlsUnlocked();
    // The gate was freed by release().
    void released();

private:
    friend class CommandExchange;
    // The exchange frees the gate quietly when a reply has been handled, when the line has
    // been waited out and from the watchdog: it says itself when the line is idle.
    void clear() { Busy = false; }

    bool Busy = false; // a command is in progress
    bool m_connected = false;
};
