#include "serial/Commands.h"

#include "platform/WireText.h"

namespace commands {

namespace {

std::optional<QByteArray> line(const QString& text)
{
    std::optional<QByteArray> bytes = WireText::encodeSingleByte(text);
    if (bytes)
        bytes->append("\r\n", 2);
    return bytes;
}

QByteArray fixedLine(const QString& text)
{
    // A partition letter outside the code page would have no byte: send '?' rather than
    // nothing, so the instrument answers ERR instead of misreading the line.
    return line(text).value_or(WireText::encode(text) + "\r\n");
}

} // namespace

QByteArray dir() { return QByteArrayLiteral("DIR\r\n"); }
QByteArray dirPartition(QChar x) { return fixedLine(QStringLiteral("DIR ") + x); }
QByteArray deletePartition(QChar x) { return fixedLine(QStringLiteral("DEL ") + x); }
QByteArray deleteData(QChar x) { return fixedLine(QStringLiteral("DELDATA ") + x); }
QByteArray copyPartition(QChar x) { return fixedLine(QStringLiteral("COPY ") + x); }
QByteArray dirPart(QChar x) { return fixedLine(QStringLiteral("DIRPART ") + x); }

std::optional<QByteArray> copyFile(QChar x, const QString& name)
{
    return line(QStringLiteral("COPY ") + x + QLatin1Char(' ') + name);
}

std::optional<QByteArray> newFile(QChar x, const QString& name)
{
    return line(QStringLiteral("NEWFILE ") + x + QLatin1Char(' ') + name);
}

std::optional<QByteArray> writeComponent(const QString& code, const QString& name)
{
    return line(QStringLiteral("WR ") + code + QLatin1Char(' ') + name);
}

} // namespace commands
