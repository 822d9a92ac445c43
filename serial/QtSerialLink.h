#pragma once

#include "serial/SerialLink.h"

#include <QSerialPort>
#include <functional>

// SerialLink over QSerialPort. Port n is resolved to a device by a resolver function
// (on Windows "COMn" itself; elsewhere the published port links and the device table). With a
// locator, a device the port list showed is opened itself if the locator still finds it.
class QtSerialLink : public SerialLink {
    Q_OBJECT
public:
    using Resolver = std::function<QString(int portNumber)>;
    // The device to open for a listed device, or "" if it is no longer there.
    using Locator = std::function<QString(const QString& listedDevice)>;
    explicit QtSerialLink(Resolver resolver, QObject* parent = nullptr);
    QtSerialLink(Resolver resolver, Locator locator, QObject* parent = nullptr);

    bool setPortNumber(int n) override;
    void setDevice(const QString& device) override { m_listedDevice = device; }
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

    // What a refusal that Qt reports as a permission error means for `device`: PermissionDenied
    // only for a serial device this user may not open (what membership of a group such as
    // dialout cures); Busy for one the user may open but another program holds locked; Other
    // for a name that is no device at all.
    static OpenError permissionError(const QString& device);

    // The device the last open() opened ("/dev/ttyUSB0", "COM3"); "" while none is open.
    QString openedDevice() const override { return m_port.isOpen() ? m_openedDevice : QString(); }

private:
    bool openDevice(const QString& device);
    void onError(QSerialPort::SerialPortError error);

    Resolver m_resolver;
    Locator m_locator;
    QString m_listedDevice;
    QString m_openedDevice;
    QSerialPort m_port;
    int m_portNumber = 0;
    SerialSettings m_settings;
    OpenError m_openError = OpenError::None;
    QString m_errorText;
    bool m_polling = false;
};
