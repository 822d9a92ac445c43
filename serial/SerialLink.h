#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

// The serial line to the instrument, as the rest of the program sees it: a port number, a
// settings string such as "9600,N,8,1", open and close, output of a byte array, the count of
// waiting input bytes, the input itself, and a signal whenever input is waiting.
class SerialLink : public QObject {
    Q_OBJECT
public:
    enum class OpenError {
        None,
        BadPortNumber,
        BadSettings,
        NotFound,
        PermissionDenied,
        Busy,
        Other
    };

    using QObject::QObject;
    ~SerialLink() override;

    // Port n is the one the user knows as "COMn".
    virtual bool setPortNumber(int n) = 0;
    // The device that the chosen port name stood for when the port list was read; opening then
    // opens that device or fails with NotFound if it has gone. "" (a typed name, or a platform
    // whose names are the ports) opens whatever port n is at that moment.
    virtual void setDevice(const QString& device) { Q_UNUSED(device); }
    // Baud, parity letter (N, O, E, M, S), data bits, stop bits, joined by commas.
    virtual bool setSettings(const QString& settings) = 0;
    virtual bool open() = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    virtual OpenError lastOpenError() const = 0;
    virtual QString lastErrorText() const = 0;
    // The device the open port is ("/dev/ttyUSB0", "COM3"); "" while none is open, and for a
    // link that cannot tell.
    virtual QString openedDevice() const { return {}; }

    // Hands the whole buffer to the output in one operation.
    virtual bool write(const QByteArray& bytes) = 0;
    virtual qint64 bytesAvailable() const = 0;
    virtual QByteArray readAll() = 0;
    // Takes in, now, whatever input the system already holds for the port (raising readyRead
    // if there is some), so that a late timer cannot mistake waiting bytes for a quiet line.
    virtual void pollInput() {}

signals:
    void readyRead();
    // The open port stopped working (device unplugged, cable adapter gone). The port is
    // already closed when this is emitted.
    void lost(const QString& reason);
};

// The parsed form of a settings string; valid == false if any field is unusable.
struct SerialSettings {
    bool valid = false;
    int baud = 0;
    char parity = 'N';
    int dataBits = 8;
    int stopBits = 1; // 1 or 2; "1.5" is kept as 3
    static SerialSettings parse(const QString& text);
};
