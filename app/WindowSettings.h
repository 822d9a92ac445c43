#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

class QSettings;

// What the window remembers between runs: the serial line's settings, the folders the file
// dialogs last used and the window's place on the screen.
class WindowSettings {
public:
    explicit WindowSettings(QSettings& store) : m_store(store) {}

    struct Line {
        QString port;
        QString baud;
        QString parity;
        QString stopBits;
    };
    Line line() const;
    void setLine(const Line& line);

    enum class Folder {
        Save,  // where workbooks and exports were saved
        Import // where workbooks and tables were opened from
    };
    QString folder(Folder which) const;
    // Remembers the folder holding `file`.
    void rememberFolderOf(Folder which, const QString& file);

    // The quiet spell that ends a reply, in milliseconds: the remembered one when it is usable
    // (1 to 60000), else `fallback`.
    int quietMs(int fallback) const;
    void setQuietMs(int ms);

    QByteArray geometry() const;
    void setGeometry(const QByteArray& geometry);

    // The position of `remembered` in `items` (compared ignoring case, as port names are), or
    // -1 when it is empty or no longer there.
    static int indexIn(const QStringList& items, const QString& remembered);

private:
    QSettings& m_store;
};
