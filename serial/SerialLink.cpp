#include "serial/SerialLink.h"

#include <QStringList>

SerialLink::~SerialLink() = default;

SerialSettings SerialSettings::parse(const QString& text)
{
    SerialSettings s;
    const QStringList parts = text.split(QLatin1Char(','));
    if (parts.size() != 4)
        return s;
    bool ok = false;
    s.baud = parts[0].trimmed().toInt(&ok);
    if (!ok || s.baud <= 0)
        return s;
    const QString parity = parts[1].trimmed().toUpper();
    if (parity.size() != 1 || !QStringLiteral("NOEMS").contains(parity))
        return s;
    s.parity = char(parity.at(0).unicode());
    s.dataBits = parts[2].trimmed().toInt(&ok);
    if (!ok || s.dataBits < 5 || s.dataBits > 8)
        return s;
    const QString stop = parts[3].trimmed();
    if (stop == QLatin1String("1"))
        s.stopBits = 1;
    else if (stop == QLatin1String("2"))
        s.stopBits = 2;
    else if (stop == QLatin1String("1.5"))
        s.stopBits = 3;
    else
        return s;
    s.valid = true;
    return s;
}
