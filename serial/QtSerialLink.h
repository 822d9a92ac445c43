#pragma once

#include "serial/SerialLink.h"

#include <QSerialPort>
#include <functional>

// SerialLink over QSerialPort. Port n is resolved to a device by a resolver function
// (on Windows "COMn" itself; elsewhere the published port links and the device table).
class QtSerialLink : public SerialLink {
    Q_OBJECT
public:
    using Resolver = std::function<QString(int portNumber)>;
    explicit QtSerialLink(Resolver resolver, QObject* parent = nullptr);

    bool setPortNumber(int n) override;
    bool setSettings(const QString& settings) override;
    bool open() override;
    void close() override;
    bool isOpen() const override;
    OpenError lastOpenError() const override { return m_openError; }
    QString lastErrorText() const override { return m_errorText; }
    bool write(const QByteArray& bytes) override;
    qint64 bytesAvailable() const override;
    QByteArray readAll() override;
    void pollInput() override;

private:
    void onError(QSerialPort::SerialPortError error);

    Resolver m_resolver;
    QSerialPort m_port;
    int m_portNumber = 0;
    SerialSettings m_settings;
    OpenError m_openError = OpenError::None;
    QString m_errorText;
    bool m_polling = false;
};
