#pragma once

#include "platform/Language.h"

#include <QSettings>
#include <QTemporaryDir>
#include <QVariant>

// Keeps a test's language choices away from the user's own settings: the user's settings
// folder becomes a temporary one for the whole test program (where the platform keeps settings
// in files), and the choice found before the test is put back after it (where it does not).
class IsolatedSettings {
public:
    IsolatedSettings()
    {
        static QTemporaryDir folder;
        static const bool moved = [] {
            QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, folder.path());
            QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, folder.path());
            return true;
        }();
        (void)moved;
        m_before = Language::settings()->value(Language::kSettingKey);
        Language::settings()->remove(Language::kSettingKey);
    }
    ~IsolatedSettings()
    {
        const auto s = Language::settings();
        if (m_before.isValid())
            s->setValue(Language::kSettingKey, m_before);
        else
            s->remove(Language::kSettingKey);
    }
    IsolatedSettings(const IsolatedSettings&) = delete;
    IsolatedSettings& operator=(const IsolatedSettings&) = delete;

private:
    QVariant m_before;
};
