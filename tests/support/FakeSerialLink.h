#pragma once

#include "serial/SerialLink.h"

#include <QByteArray>
#include <QList>

// A serial link driven by the test: it records what is written and delivers input when told.
class FakeSerialLink : public SerialLink {
    Q_OBJECT
public:
    using SerialLink::SerialLink;

    // Behaviour of open(): succeed, or fail with the given error.
    OpenError failOpenWith = OpenError::None;

    bool setPortNumber(int n) override;
    void setDevice(const QString& d) override { device = d; }
    bool setSettings(const QString& settings) override;
    bool open() override;
    void close() override;
    bool isOpen() const override { return m_open; }
    OpenError lastOpenError() const override { return m_error; }
    QString lastErrorText() const override { return {}; }
    // The listed device, else the one port n stands for, as FixedPorts names them.
    QString openedDevice() const override
    {
        return !m_open ? QString() : !device.isEmpty() ? device
                                                       : QStringLiteral("/dev/ttyCOM%1").arg(portNumber);
    }
    bool write(const QByteArray& bytes) override;
    qint64 bytesAvailable() const override { return m_input.size(); }
    QByteArray readAll() override;

    // Puts bytes into the input buffer and raises readyRead, as a serial port does.
    void deliver(const QByteArray& bytes);
    // Bytes the system holds for the port but has not yet announced: they become input only
    // when the program polls (or with the next delivery).
    void hold(const QByteArray& bytes) { m_held.append(bytes); }
    void pollInput() override;
    // Raises readyRead with nothing waiting.
    void raiseEmptyEvent() { emit readyRead(); }
    // Simulates the device vanishing.
    void unplug();

    // Answers given, one per write, as input arriving on the next turn of the event loop.
    QList<QByteArray> autoReplies;
    QList<QByteArray> writes;
    int portNumber = 0;
    QString device; // the listed device handed over before opening
    QString settings;
    int openCount = 0;
    int closeCount = 0;

private:
    bool m_open = false;
    OpenError m_error = OpenError::None;
    QByteArray m_input;
    QByteArray m_held;
};
