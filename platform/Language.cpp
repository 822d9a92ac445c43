#include "platform/Language.h"

#include <QCoreApplication>
#include <QPointer>
#include <QSettings>
#include <QTranslator>

namespace Language {

namespace {

// The catalogues are built into the program (translations/CMakeLists.txt embeds them).
const QString kCatalogueFolder = QStringLiteral(":/i18n");

QString catalogueName(const QString& code) { return QStringLiteral("ktm520_") + code; }

// The program's catalogue now installed, and its language.
QPointer<QTranslator> installed;
QString installedCode;

} // namespace

QStringList codes() { return {kChinese, kEnglish}; }

QString normalised(const QString& text)
{
    QString t = text.trimmed().toLower();
    t.replace(QLatin1Char('-'), QLatin1Char('_'));
    if (t == QLatin1String("zh") || t == QLatin1String("zh_cn") || t == QLatin1String("zh_hans") ||
        t == QLatin1String("zh_hans_cn"))
        return kChinese;
    if (t == QLatin1String("en") || t.startsWith(QLatin1String("en_")))
        return kEnglish;
    return {};
}

std::unique_ptr<QSettings> settings()
{
    return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Varnok"),
                                       QStringLiteral("Varnok"));
}

QString remembered() { return normalised(settings()->value(kSettingKey).toString()); }

void remember(const QString& code)
{
    const std::unique_ptr<QSettings> s = settings();
    s->setValue(kSettingKey, code);
    s->sync();
}

QString chosen(const std::optional<QString>& requested)
{
    if (requested)
        if (const QString code = normalised(*requested); !code.isEmpty())
            return code;
    const QString kept = remembered();
    return kept.isEmpty() ? kChinese : kept;
}

std::optional<QString> requestedOn(const QStringList& arguments)
{
    std::optional<QString> value;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& a = arguments[i];
        if (a == QLatin1String("--"))
            break;
        if (a == QLatin1String("--lang"))
            value = i + 1 < arguments.size() ? arguments[++i] : QString();
        else if (a.startsWith(QLatin1String("--lang=")))
            value = a.mid(7);
    }
    return value;
}

bool install(const QString& code, QObject* owner)
{
    delete installed.data(); // the catalogue of an earlier choice leaves the application
    installedCode.clear();
    if (code == kChinese)
        return true;
    auto* translator = new QTranslator(owner);
    if (!translator->load(catalogueName(code), kCatalogueFolder) || !QCoreApplication::installTranslator(translator)) {
        delete translator;
        return false;
    }
    installed = translator;
    installedCode = code;
    return true;
}

QString active() { return installed ? installedCode : kChinese; }

QString translated(const QString& code, const char* context, const char* source)
{
    if (const std::unique_ptr<QTranslator> loaded = catalogue(code))
        if (const QString text = loaded->translate(context, source); !text.isEmpty())
            return text;
    return QString::fromUtf8(source);
}

std::unique_ptr<QTranslator> catalogue(const QString& code)
{
    if (code == kChinese)
        return nullptr;
    auto loaded = std::make_unique<QTranslator>();
    if (!loaded->load(catalogueName(code), kCatalogueFolder))
        return nullptr;
    return loaded;
}

} // namespace Language
