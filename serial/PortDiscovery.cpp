#include "serial/PortDiscovery.h"

PortRegistry::~PortRegistry() = default;

QString PortRegistry::devicePath(const QString&) const { return {}; }

QString PortRegistry::description(const QString&) const { return {}; }

QStringList RegEnumValues(PortRegistry& registry, const QString& subKey)
{
    QStringList names{QString()};
    int count = 0;
    registry.open(subKey); // a failed open makes the first enumeration fail
    for (int index = 0;; ++index) {
        QByteArray name;
        QByteArray data;
        if (!registry.enumValue(index, 1000, 1000, name, data))
            break;
        const qsizetype nameNul = name.indexOf('\0');
        const qsizetype dataNul = data.indexOf('\0');
        if (nameNul < 0 || dataNul < 0)
            continue;
        const QString port = QString::fromLatin1(data.left(dataNul)).toUpper();
        if (!port.contains(QLatin1String("COM")))
            continue;
        if (count + 1 > names.size())
            names.append(QString());
        names[count] = port;
        ++count;
    }
    return names;
}

QString GetComPorts(PortRegistry& registry)
{
    const QStringList names = RegEnumValues(registry, QString::fromLatin1(kSerialCommKey));
    if (names.at(0).isEmpty())
        return {};
    QString joined;
    for (const QString& n : names)
        joined += n + QLatin1Char(' ');
    return joined;
}
