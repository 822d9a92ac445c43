#include "serial/QtSerialLink.h"

#include "serial/LinkTexts.h"

#include <QFile>

#ifndef Q_OS_WIN
#include <sys/stat.h>
#include <unistd.h>
#endif

QtSerialLink::QtSerialLink(Resolver resolver, QObject* parent) : QtSerialLink(std::move(resolver), {}, parent) {}

QtSerialLink::QtSerialLink(Resolver resolver, Locator locator, QObject* parent)
    : SerialLink(parent), m_resolver(std::move(resolver)), m_locator(std::move(locator))
{
    m_settings = SerialSettings::parse(QStringLiteral("9600,N,8,1"));
    connect(&m_port, &QSerialPort::readyRead, this, &SerialLink::readyRead);
    connect(&m_port, &QSerialPort::errorOccurred, this, &QtSerialLink::onError);
}

bool QtSerialLink::setPortNumber(int n)
{
    if (n < 1 || n > 256) {
        m_openError = OpenError::BadPortNumber;
        m_errorText = tr("串口号 %1 超出范围（应为 1 到 256）").arg(n);
        return false;
    }
    m_portNumber = n;
    return true;
}

bool QtSerialLink::setSettings(const QString& settings)
{
    const SerialSettings s = SerialSettings::parse(settings);
    if (!s.valid) {
        m_openError = OpenError::BadSettings;
        m_errorText = tr("串口参数“%1”无法使用").arg(settings);
        return false;
    }
    m_settings = s;
    return true;
}

bool QtSerialLink::open()
{
    m_openError = OpenError::None;
    m_errorText.clear();
    if (m_port.isOpen())
        m_port.close();
    if (m_locator && !m_listedDevice.isEmpty()) {
        // The name means the device the list showed, never another one that took its number.
        const QString device = m_locator(m_listedDevice);
        if (device.isEmpty()) {
            m_openError = OpenError::NotFound;
            m_errorText = tr("设备 %1 已不存在").arg(m_listedDevice);
            return false;
        }
        return openDevice(device);
    }
    const QString device = m_portNumber > 0 ? m_resolver(m_portNumber) : QString();
    if (device.isEmpty()) {
        m_openError = OpenError::NotFound;
        m_errorText = tr("COM%1 没有对应的设备").arg(m_portNumber);
        return false;
    }
    return openDevice(device);
}

SerialLink::OpenError QtSerialLink::permissionError(const QString& device)
{
#ifdef Q_OS_WIN
    Q_UNUSED(device);
    return OpenError::PermissionDenied;
#else
    // A bare name means the device of that name, as QSerialPort takes it.
    const QByteArray path = QFile::encodeName(device.startsWith(QLatin1Char('/')) ? device : QStringLiteral("/dev/") + device);
    struct stat st {};
    if (::stat(path.constData(), &st) != 0 || !S_ISCHR(st.st_mode))
        return OpenError::Other;
    // The lock file of a port that another program has open is refused in the same words.
    if (::access(path.constData(), R_OK | W_OK) == 0)
        return OpenError::Busy;
    return OpenError::PermissionDenied;
#endif
}

bool QtSerialLink::openDevice(const QString& device)
{
    m_port.setPortName(device);
    m_openedDevice = device;
    if (!m_port.open(QIODevice::ReadWrite)) {
        switch (m_port.error()) {
        case QSerialPort::DeviceNotFoundError: m_openError = OpenError::NotFound; break;
        case QSerialPort::PermissionError: m_openError = permissionError(device); break;
        case QSerialPort::OpenError: m_openError = OpenError::Busy; break;
        default: m_openError = OpenError::Other; break;
        }
        m_errorText = tr("无法打开 %1（%2）").arg(device, LinkTexts::systemReason(m_port.errorString()));
        m_port.clearError();
        return false;
    }
    QSerialPort::Parity parity = QSerialPort::NoParity;
    switch (m_settings.parity) {
    case 'O': parity = QSerialPort::OddParity; break;
    case 'E': parity = QSerialPort::EvenParity; break;
    case 'M': parity = QSerialPort::MarkParity; break;
    case 'S': parity = QSerialPort::SpaceParity; break;
    default: break;
    }
    const QSerialPort::StopBits stop = m_settings.stopBits == 2 ? QSerialPort::TwoStop
                                     : m_settings.stopBits == 3 ? QSerialPort::OneAndHalfStop
                                                                : QSerialPort::OneStop;
    const bool configured = m_port.setBaudRate(m_settings.baud) && m_port.setParity(parity) && m_port.setDataBits(QSerialPort::DataBits(m_settings.dataBits)) && m_port.setStopBits(stop) && m_port.setFlowControl(QSerialPort::NoFlowControl);
    if (!configured) {
        m_openError = OpenError::BadSettings;
        m_errorText = tr("无法设置 %1 的通信参数（%2）").arg(device, LinkTexts::systemReason(m_port.errorString()));
        m_port.close();
        m_port.clearError();
        return false;
    }
    return true;
}

void QtSerialLink::close()
{
    if (m_port.isOpen())
        m_port.close();
}

bool QtSerialLink::isOpen() const { return m_port.isOpen(); }

bool QtSerialLink::write(const QByteArray& bytes)
{
    if (!m_port.isOpen())
        return false;
    return m_port.write(bytes) == bytes.size();
}

qint64 QtSerialLink::bytesAvailable() const { return m_port.isOpen() ? m_port.bytesAvailable() : 0; }

QByteArray QtSerialLink::readAll() { return m_port.isOpen() ? m_port.readAll() : QByteArray(); }

void QtSerialLink::pollInput()
{
    // A zero wait reads what the system holds without blocking; readyRead is raised for it.
    if (m_port.isOpen() && !m_polling) {
        m_polling = true;
        if (!m_port.waitForReadyRead(0) && m_port.error() == QSerialPort::TimeoutError)
            m_port.clearError(); // nothing waiting is the usual answer, not a fault
        m_polling = false;
    }
}

void QtSerialLink::onError(QSerialPort::SerialPortError error)
{
    // A vanished device ends the connection, and so does a failing read: when the far end
    // hangs up (a pseudo-terminal's other side closes, a USB adapter's driver gives up) every
    // read fails with EIO, and nothing more will ever arrive. Other errors surface through the
    // calls.
    if ((error != QSerialPort::ResourceError && error != QSerialPort::ReadError) || !m_port.isOpen())
        return;
    const QString reason = LinkTexts::systemReason(m_port.errorString());
    m_port.close();
    m_port.clearError();
    emit lost(reason);
}
