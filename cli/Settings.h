#pragma once

#include <QString>

// What the command line remembers between runs, in its own settings (QSettings of organisation
// "Varnok", application "ktm520-cli": ~/.config/Varnok/ktm520-cli.conf, or the registry on
// Windows), apart from the window's.
namespace cli {

// The readout a copy is archived under when neither --instrument nor the port's device names
// one; "" when none was set.
QString defaultReadout();
// "" forgets it.
void setDefaultReadout(const QString& name);

} // namespace cli
