#include "cli/Settings.h"

#include <QSettings>

namespace cli {

namespace {

const QString kDefaultReadout = QStringLiteral("archive/defaultInstrument");

struct Settings : QSettings {
    Settings() : QSettings(NativeFormat, UserScope, QStringLiteral("Varnok"), QStringLiteral("ktm520-cli")) {}
};

} // namespace

QString defaultReadout() { return Settings().value(kDefaultReadout).toString(); }

void setDefaultReadout(const QString& name)
{
    Settings s;
    if (name.isEmpty())
        s.remove(kDefaultReadout);
    else
        s.setValue(kDefaultReadout, name);
    s.sync();
}

} // namespace cli
