#include "app/WindowSettings.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>

namespace {

QString key(WindowSettings::Folder which)
{
    return which == WindowSettings::Folder::Save ? QStringLiteral("folders/save") : QStringLiteral("folders/import");
}

} // namespace

WindowSettings::Line WindowSettings::line() const
{
    return {m_store.value(QStringLiteral("line/port")).toString(), m_store.value(QStringLiteral("line/baud")).toString(),
            m_store.value(QStringLiteral("line/parity")).toString(),
            m_store.value(QStringLiteral("line/stopBits")).toString()};
}

void WindowSettings::setLine(const Line& line)
{
    m_store.setValue(QStringLiteral("line/port"), line.port);
    m_store.setValue(QStringLiteral("line/baud"), line.baud);
    m_store.setValue(QStringLiteral("line/parity"), line.parity);
    m_store.setValue(QStringLiteral("line/stopBits"), line.stopBits);
}

QString WindowSettings::folder(Folder which) const
{
    const QString dir = m_store.value(key(which)).toString();
    // A folder that has gone since (a USB stick) is no start for a dialog.
    return !dir.isEmpty() && QFileInfo(dir).isDir() ? dir : QString();
}

void WindowSettings::rememberFolderOf(Folder which, const QString& file)
{
    if (file.isEmpty())
        return;
    m_store.setValue(key(which), QFileInfo(file).absolutePath());
}

int WindowSettings::quietMs(int fallback) const
{
    bool ok = false;
    const int ms = m_store.value(QStringLiteral("line/quietMs")).toInt(&ok);
    return ok && ms >= 1 && ms <= 60000 ? ms : fallback;
}

void WindowSettings::setQuietMs(int ms) { m_store.setValue(QStringLiteral("line/quietMs"), ms); }

QByteArray WindowSettings::geometry() const { return m_store.value(QStringLiteral("window/geometry")).toByteArray(); }

void WindowSettings::setGeometry(const QByteArray& geometry)
{
    m_store.setValue(QStringLiteral("window/geometry"), geometry);
}

int WindowSettings::indexIn(const QStringList& items, const QString& remembered)
{
    if (remembered.isEmpty())
        return -1;
    for (qsizetype i = 0; i < items.size(); ++i)
        if (items[i].compare(remembered, Qt::CaseInsensitive) == 0)
            return int(i);
    return -1;
}
