#pragma once

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <clocale>
#include <string>

// Switches the C library to a locale whose decimal separator is a comma, as a Qt application
// on a German desktop runs. Debian's `locales` data can be compiled into a private folder
// without installing anything; LOCPATH points the C library there.
class CommaLocale {
public:
    CommaLocale()
    {
        m_saved = setlocale(LC_ALL, nullptr);
        if (setlocale(LC_ALL, "de_DE.UTF-8"))
            return;
        if (!m_dir.isValid())
            return;
        QProcess make;
        make.start(QStringLiteral("localedef"),
                   {"-i", "de_DE", "-f", "UTF-8", m_dir.filePath("de_DE.UTF-8")});
        if (!make.waitForFinished(60000) || !QFile::exists(m_dir.filePath("de_DE.UTF-8")))
            return;
        m_oldLocPath = qgetenv("LOCPATH");
        m_setLocPath = true;
        qputenv("LOCPATH", QFile::encodeName(m_dir.path()));
        setlocale(LC_ALL, "de_DE.UTF-8");
    }
    ~CommaLocale()
    {
        setlocale(LC_ALL, m_saved.c_str());
        if (m_setLocPath)
            m_oldLocPath.isNull() ? qunsetenv("LOCPATH") : qputenv("LOCPATH", m_oldLocPath);
    }
    CommaLocale(const CommaLocale&) = delete;
    CommaLocale& operator=(const CommaLocale&) = delete;
    bool active() const { return std::string(localeconv()->decimal_point) == ","; }

private:
    std::string m_saved;
    QTemporaryDir m_dir;
    QByteArray m_oldLocPath;
    bool m_setLocPath = false;
};
