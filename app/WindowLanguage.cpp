#include "app/WindowLanguage.h"

#include "app/QtTranslations.h"
#include "platform/Language.h"
#include "platform/Messenger.h"

#include <QActionGroup>
#include <QCoreApplication>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <cstdio>

QString installWindowLanguage(const QStringList& arguments, QObject* owner)
{
    const std::optional<QString> requested = Language::requestedOn(arguments);
    if (requested && Language::normalised(*requested).isEmpty())
        std::fprintf(stderr, "--lang %s: the window speaks zh_CN or en; it speaks the language chosen in it.\n",
                     qPrintable(*requested));
    QString code = Language::chosen(requested);
    if (!Language::install(code, owner)) {
        std::fprintf(stderr, "The catalogue for %s could not be loaded; the window speaks Chinese.\n", qPrintable(code));
        code = Language::kChinese;
    }
    if (code == Language::kChinese && installQtTranslations(owner).isEmpty())
        std::fprintf(stderr, "Qt's Chinese translations were not found; Qt's own dialogs speak English.\n");
    return code;
}

QMenu* addLanguageMenu(QMainWindow& window, Messenger& messenger)
{
    QMenu* menu = window.menuBar()->addMenu(QCoreApplication::translate("WindowLanguage", "语言(&L)"));
    auto* group = new QActionGroup(menu);
    group->setExclusive(true);
    // The languages' own names, never translated.
    const std::pair<QString, QString> languages[] = {{Language::kChinese, QStringLiteral("中文")},
                                                     {Language::kEnglish, QStringLiteral("English")}};
    for (const auto& language : languages) {
        // Plain copies rather than structured bindings: clang 14 cannot capture those in a lambda.
        const QString code = language.first;
        const QString name = language.second;
        QAction* action = menu->addAction(name);
        action->setCheckable(true);
        action->setChecked(code == Language::active());
        action->setData(code);
        group->addAction(action);
        QObject::connect(action, &QAction::triggered, menu, [code, name, &messenger] {
            Language::remember(code);
            if (code != Language::active()) {
                //: %1 the language chosen, in its own words ("中文", "English")
                const char* notice = QT_TRANSLATE_NOOP("WindowLanguage", "下次启动程序时，界面将使用%1。");
                messenger.information(Language::translated(code, "WindowLanguage", notice).arg(name));
            }
        });
    }
    return menu;
}
