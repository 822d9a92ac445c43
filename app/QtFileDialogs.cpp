#include "app/QtFileDialogs.h"

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
    QFileDialog dialog(m_parent, QString(), proposedName, qtFilter(filter));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.selectFile(proposedName);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    const QStringList files = dialog.selectedFiles();
    return files.isEmpty() ? QString() : files.first();
}

std::optional<QString> QtFileDialogs::openFileName(const QString& filter)
{
    QFileDialog dialog(m_parent, QString(), QString(), qtFilter(filter));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    const QStringList files = dialog.selectedFiles();
    return files.isEmpty() ? QString() : files.first();
}
