#include "app/QtTranslations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

QStringList installQtTranslations(QObject* owner)
{
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    QStringList loaded;
    for (const QString& name : {QStringLiteral("qtbase_zh_CN"), QStringLiteral("qtserialport_zh_CN")}) {
        auto* translator = new QTranslator(owner);
        if (translator->load(name, folder) && QCoreApplication::installTranslator(translator)) {
            loaded << name;
        } else {
            delete translator;
        }
    }
    return loaded;
}
