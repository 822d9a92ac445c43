#include "serial/Commands.h"

#include "platform/WireText.h"

#include <algorithm>

namespace commands {

namespace {

std::optional<QByteArray> line(const QString& text)
{
    std::optional<QByteArray> bytes = WireText::encodeSingleByte(text);
    if (bytes)
        bytes->append("\r\n", 2);
    return bytes;
}

// One field of a command line: what the instrument reads up to the next blank or line end. A
// blank would split it into two fields and a line break would end the command and start
// another one, so every character must be one the instrument can show.
bool isOperand(const QString& text)
{
    return !text.isEmpty() && std::all_of(text.begin(), text.end(), WireText::isShowable);
}

std::optional<QByteArray> named(const QString& verb, const QString& first, const QString& second)
{
    if (!isOperand(first) || !isOperand(second))
        return std::nullopt;
    return line(verb + QLatin1Char(' ') + first + QLatin1Char(' ') + second);
}

QByteArray fixedLine(const QString& verb, QChar x)
{
    // A partition letter that is no field of its own (a blank, a control character) or has no
    // single byte goes out as '?' rather than as it is, so the instrument answers ERR instead
    // of reading a second command.
    const QChar letter = WireText::isShowable(x) ? x : QLatin1Char('?');
    return *line(verb + QLatin1Char(' ') + letter); // a showable character has its one byte
}

} // namespace

QByteArray dir() { return QByteArrayLiteral("DIR\r\n"); }
QByteArray dirPartition(QChar x) { return fixedLine(QStringLiteral("DIR"), x); }
QByteArray deletePartition(QChar x) { return fixedLine(QStringLiteral("DEL"), x); }
QByteArray deleteData(QChar x) { return fixedLine(QStringLiteral("DELDATA"), x); }
QByteArray copyPartition(QChar x) { return fixedLine(QStringLiteral("COPY"), x); }
QByteArray dirPart(QChar x) { return fixedLine(QStringLiteral("DIRPART"), x); }

std::optional<QByteArray> copyFile(QChar x, const QString& name)
{
    return named(QStringLiteral("COPY"), QString(x), name);
}

std::optional<QByteArray> newFile(QChar x, const QString& name)
{
    return named(QStringLiteral("NEWFILE"), QString(x), name);
}

std::optional<QByteArray> writeComponent(const QString& code, const QString& name)
{
    return named(QStringLiteral("WR"), code, name);
}

} // namespace commands
