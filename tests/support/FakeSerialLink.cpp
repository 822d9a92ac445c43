#include "tests/support/FakeSerialLink.h"

#include <utility>

bool FakeSerialLink::setPortNumber(int n)
{
    if (n < 1 || n > 256) {
        m_error = OpenError::BadPortNumber;
        return false;
    }
    portNumber = n;
    return true;
}

bool FakeSerialLink::setSettings(const QString& s)
{
    if (!SerialSettings::parse(s).valid) {
        m_error = OpenError::BadSettings;
        return false;
    }
    settings = s;
    return true;
}

bool FakeSerialLink::open()
{
    ++openCount;
    m_error = failOpenWith;
    m_open = failOpenWith == OpenError::None;
    return m_open;
}

void FakeSerialLink::close()
{
    ++closeCount;
    m_open = false;
}

bool FakeSerialLink::write(const QByteArray& bytes)
{
    writes.append(bytes);
    if (m_open && !autoReplies.isEmpty()) {
        const QByteArray answer = autoReplies.takeFirst();
        QMetaObject::invokeMethod(
            this, [this, answer] { deliver(answer); }, Qt::QueuedConnection);
    }
    return m_open;
}

QByteArray FakeSerialLink::readAll()
{
    QByteArray out;
    out.swap(m_input);
    return out;
}

void FakeSerialLink::deliver(const QByteArray& bytes)
{
    m_input.append(std::exchange(m_held, QByteArray()));
    m_input.append(bytes);
    emit readyRead();
}

void FakeSerialLink::pollInput()
{
    if (!m_held.isEmpty())
        deliver({});
}

void FakeSerialLink::unplug()
{
    m_open = false;
    emit lost(QStringLiteral("device removed"));
}
