#include "app/QtFileDialogs.h"

#include "app/WindowSettings.h"

#include <QFileDialog>
#include <QStringList>

QString QtFileDialogs::qtFilter(const QString& pairs)
{
    const QStringList parts = pairs.split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i < parts.size(); i += 2) {
        const QString description = parts[i];
        const QString pattern = i + 1 < parts.size() ? parts[i + 1] : parts[i];
        filters << (description == pattern ? pattern + QStringLiteral(" (") + pattern + QStringLiteral(")")
                                           : description + QStringLiteral(" (") + pattern + QStringLiteral(")"));
    }
    return filters.join(QStringLiteral(";;"));
}

std::optional<QString> QtFileDialogs::saveFileName(const QString& filter, const QString& proposedName)
{
    const QString folder = m_settings ? WindowSettings(*m_settings).folder(WindowSettings::Folder::Save) : QString();
    const QString start = folder.isEmpty() ? proposedName : folder + QLatin1Char('/') + proposedName;
    QFileDialog dialog(m_parent, QString(), start, qtFilter(filter));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.selectFile(start);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    const QStringList files = dialog.selectedFiles();
    if (files.isEmpty())
        return QString();
    if (m_settings)
        WindowSettings(*m_settings).rememberFolderOf(WindowSettings::Folder::Save, files.first());
    return withChosenSuffix(files.first(), dialog.nameFilters(), dialog.selectedNameFilter());
}

QString QtFileDialogs::withChosenSuffix(const QString& path, const QStringList& filters, const QString& chosen)
{
    // The type chosen in the dialog decides the extension: a name typed without one of the
    // offered extensions gets the chosen type's.
    auto suffixOf = [](const QString& filter) {
        const qsizetype star = filter.lastIndexOf(QLatin1String("*."));
        const qsizetype close = filter.indexOf(QLatin1Char(')'), star);
        return star < 0 ? QString() : filter.mid(star + 1, close < 0 ? -1 : close - star - 1);
    };
    for (const QString& f : filters) {
        const QString suffix = suffixOf(f);
        if (!suffix.isEmpty() && path.endsWith(suffix, Qt::CaseInsensitive))
            return path;
    }
    const QString suffix = suffixOf(chosen);
    return suffix.isEmpty() ? path : path + suffix;
}

std::optional<QString> QtFileDialogs::openFileName(const QString& filter)
{
    const QString folder = m_settings ? WindowSettings(*m_settings).folder(WindowSettings::Folder::Import) : QString();
    QFileDialog dialog(m_parent, QString(), folder, qtFilter(filter));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    const QStringList files = dialog.selectedFiles();
    if (files.isEmpty())
        return QString();
    if (m_settings)
        WindowSettings(*m_settings).rememberFolderOf(WindowSettings::Folder::Import, files.first());
    return files.first();
}
