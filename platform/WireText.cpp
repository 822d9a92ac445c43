#include "platform/WireText.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace {

#ifdef Q_OS_WIN
QStringDecoder makeDecoder()
{
    return QStringDecoder(QStringConverter::System);
}
QStringEncoder makeEncoder() { return QStringEncoder(QStringConverter::System); }
#else
// Qt reaches GBK through ICU; if it is missing we fall back to Latin-1, which keeps ASCII intact.
QStringDecoder makeDecoder()
{
    QStringDecoder d("GBK");
    return d.isValid() ? std::move(d) : QStringDecoder(QStringConverter::Latin1);
}
QStringEncoder makeEncoder()
{
    QStringEncoder e("GBK");
    return e.isValid() ? std::move(e) : QStringEncoder(QStringConverter::Latin1);
}
#endif

bool isAscii(const QByteArray& bytes)
{
    for (char c : bytes)
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    return true;
}

} // namespace

namespace WireText {

QString decode(const QByteArray& bytes)
{
    if (isAscii(bytes))
        return QString::fromLatin1(bytes); // the common case, and much faster than a converter
    QStringDecoder decoder = makeDecoder();
    return decoder.decode(bytes);
}

QByteArray toUtf8(QByteArray bytes)
{
    if (isAscii(bytes))
        return bytes;
    return decode(bytes).toUtf8();
}

QByteArray encode(const QString& text)
{
    QStringEncoder encoder = makeEncoder();
    return encoder.encode(text);
}

std::optional<QByteArray> encodeSingleByte(const QString& text)
{
    QByteArray out;
    out.reserve(text.size());
    for (QChar ch : text) {
        if (ch.unicode() < 0x80) {
            out.append(char(ch.unicode()));
            continue;
        }
        // Outside ASCII a character keeps one byte only in a single-byte code page.
        const QByteArray one = encode(QString(ch));
        if (one.size() != 1 || one == "?")
            return std::nullopt;
        out.append(one);
    }
    return out;
}

int signedCode(QChar ch)
{
    if (ch.unicode() < 0x80)
        return ch.unicode();
    if (ch.isSurrogate())
        return -1;
    const QByteArray bytes = encode(QString(ch));
    if (bytes == "?")
        return -1;
    if (bytes.size() == 1)
        return static_cast<unsigned char>(bytes[0]);
    if (bytes.size() == 2)
        return qint16((static_cast<unsigned char>(bytes[0]) << 8) | static_cast<unsigned char>(bytes[1]));
    return -1;
}

bool isShowable(QChar ch)
{
    const int code = signedCode(ch);
    return code >= 33 && code != 127;
}

} // namespace WireText
