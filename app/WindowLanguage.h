#pragma once

#include <QString>
#include <QStringList>

class Messenger;
class QMainWindow;
class QMenu;
class QObject;

// The window's language for this run: --lang CODE among the program's arguments, else the one
// chosen in the language menu, else Chinese. Installs the program's catalogue and, for
// Chinese, Qt's own (message box buttons, file dialogs, the serial port's errors; English is
// Qt's own language); they live as long as owner. What cannot be had is said on standard error
// and Chinese spoken. Returns the language installed.
QString installWindowLanguage(const QStringList& arguments, QObject* owner);

// The menu "语言" in the window's menu bar: one entry per language, each named in its own
// language so that it is found whatever the window speaks, the language spoken checked.
// Choosing one remembers it; the window speaks it from the next start on, as the operator is
// told in the language chosen.
QMenu* addLanguageMenu(QMainWindow& window, Messenger& messenger);
