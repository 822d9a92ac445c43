#pragma once

#include <QFile>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <clocale>
#include <string>

// Switches the C library to a locale ("de_DE.UTF-8", "zh_CN.UTF-8") for the life of a test, as
// the program runs on a desktop of that language. Debian's `locales` data can be compiled into a
// private folder without installing anything; LOCPATH points the C library there.
class ScopedLocale {
public:
    explicit ScopedLocale(const char* name)
    {
        m_saved = setlocale(LC_ALL, nullptr);
        if (setlocale(LC_ALL, name)) {
            m_active = true;
            return;
        }
        if (!m_dir.isValid())
            return;
        const QString full = QString::fromLatin1(name);
        QProcess make;
        make.start(QStringLiteral("localedef"),
                   {QStringLiteral("-i"), full.section(QLatin1Char('.'), 0, 0), QStringLiteral("-f"),
                    full.section(QLatin1Char('.'), 1), m_dir.filePath(full)});
        if (!make.waitForFinished(60000) || !QFile::exists(m_dir.filePath(full)))
            return;
        m_oldLocPath = qgetenv("LOCPATH");
        m_setLocPath = true;
        qputenv("LOCPATH", QFile::encodeName(m_dir.path()));
        m_active = setlocale(LC_ALL, name) != nullptr;
    }
    ~ScopedLocale()
    {
        setlocale(LC_ALL, m_saved.c_str());
        if (m_setLocPath)
            m_oldLocPath.isNull() ? qunsetenv("LOCPATH") : qputenv("LOCPATH", m_oldLocPath);
    }
    ScopedLocale(const ScopedLocale&) = delete;
    ScopedLocale& operator=(const ScopedLocale&) = delete;
    // Whether the C library now runs in the locale asked for.
    bool active() const { return m_active; }

private:
    std::string m_saved;
    QTemporaryDir m_dir;
    QByteArray m_oldLocPath;
    bool m_setLocPath = false;
    bool m_active = false;
};
