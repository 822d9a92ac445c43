#pragma once

#include <QStringList>

class QObject;

// Qt's own texts (the buttons of message boxes, the file dialogs and their questions, the serial
// port's error texts) in Simplified Chinese, whatever the system's language, for a window that
// speaks Chinese (installWindowLanguage). The catalogues come from Qt's translations folder (on
// Debian the package qt6-translations-l10n) and live as long as owner. Returns the catalogues
// that were loaded.
QStringList installQtTranslations(QObject* owner);
