#include "app/QtTranslations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

QStringList installQtTranslations(QObject* owner)
{
    // Beside the program first, where a Windows installation keeps them, then Qt's own folder.
    const QStringList folders{QCoreApplication::applicationDirPath() + QStringLiteral("/translations"),
                              QLibraryInfo::path(QLibraryInfo::TranslationsPath)};
    QStringList loaded;
    for (const QString& name : {QStringLiteral("qtbase_zh_CN"), QStringLiteral("qtserialport_zh_CN")}) {
        auto* translator = new QTranslator(owner);
        const bool found = translator->load(name, folders[0]) || translator->load(name, folders[1]);
        if (found && QCoreApplication::installTranslator(translator)) {
            loaded << name;
        } else {
            delete translator;
        }
    }
    return loaded;
}
