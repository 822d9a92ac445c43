#pragma once

#include "app/Form1.h"
#include "export/Automation.h"
#include "tests/support/RecordingMessenger.h"
#include "tests/support/ScriptedFileDialogs.h"

#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>
#include <memory>

namespace archive {
class Recorder;
}

#include "serial/QtSerialLink.h"

// The simulated instrument as a separate program on a pseudo-terminal, with its own state and
// port folders.
class SimProcess {
public:
    ~SimProcess();
    // Starts ktm520-sim --pty with the given extra arguments; false if it did not publish a port.
    bool start(const QString& stateDir, const QString& portDir, const QStringList& extra = {});
    void stop();
    QString portName() const { return m_portName; } // "COM1"
    QString device() const { return m_device; }     // "/dev/pts/3"
    QProcess& process() { return m_process; }

private:
    QProcess m_process;
    QString m_portName;
    QString m_device;
};

// A main window connected to a fresh simulator through the port list, as an operator would.
class SimFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Extra simulator options for a test; override before SetUp runs.
    virtual QStringList simArguments() const { return {"--no-pace"}; }
    // The window's durations: waits shortened, except the quiet spell that ends a reply (a
    // loaded machine may pause the simulator mid-reply for longer than a shortened one).
    virtual Timing timing() const;
    // The archive the window keeps its copies in; none unless a test gives one.
    virtual archive::Recorder* recorder() { return nullptr; }

    // Waits until the pending command has been answered and handled, the line has been
    // watched through the grace after its reply, and a copy has gone its way into the archive.
    bool waitIdle(int timeoutMs = 10000);
    // The texts of the children of the tree node with the given key.
    QStringList childTexts(const QString& key) const;
    // The reply the seeded instrument gives to a command line, computed in-process from the
    // same deterministic seed the simulator starts from.
    static QString expected(const std::string& line);
    // The non-empty lines of a listing reply.
    static QStringList listingLines(const QString& reply);
    // Every cell of the window's grid equals the grid the reply would give.
    void expectGridShows(const QString& reply, bool components = false);
    // The state folder's view of the instrument, through a second protocol run in-process is
    // not possible while the simulator holds the folder; tests compare with what it sends.
    QString stateDir() const { return m_state.path(); }

    QTemporaryDir m_state;
    QTemporaryDir m_ports;
    SimProcess sim;
    RecordingMessenger messenger;
    ScriptedFileDialogs dialogs;
    sheets::Servers servers; // the built-in engine, as on a PC without an office suite
    std::unique_ptr<QtSerialLink> link;
    std::unique_ptr<Form1> window;
    int readoutQuestions = 0; // how often the window asked which readout it is connected to

private:
    QTimer m_answerReadout;
};
