#pragma once

#include <QString>
#include <QStringList>
#include <memory>
#include <optional>

class QObject;
class QSettings;
class QTranslator;

// The languages the program speaks to the operator. Every text is written in Simplified
// Chinese in the sources; English comes from the catalogue built into the program
// (translations/ktm520_en.ts). The window and the command line remember one choice, in the
// window's settings.
namespace Language {

inline const QString kChinese = QStringLiteral("zh_CN");
inline const QString kEnglish = QStringLiteral("en");
// Where the choice is kept in the settings.
inline const QString kSettingKey = QStringLiteral("ui/language");

// The codes the program speaks, the default first.
QStringList codes();

// The code `text` names ("zh_CN" or "en"; "zh", "zh-CN", "en_GB" and other case are taken
// too), or "" when it names no language the program speaks.
QString normalised(const QString& text);

// The window's settings (organisation and application "Varnok"), which the command line
// reads as well.
std::unique_ptr<QSettings> settings();

// The language remembered in the settings, "" when none (or an unknown one) is.
QString remembered();
void remember(const QString& code);

// The language of this run: `requested` (a --lang option) when it names one, else the one
// remembered, else Chinese.
QString chosen(const std::optional<QString>& requested = std::nullopt);

// The value of a --lang option (--lang CODE or --lang=CODE) before any "--"; nullopt when
// there is none. The last one counts. An option without its value gives "".
std::optional<QString> requestedOn(const QStringList& arguments);

// Puts the program's catalogue for `code` into the application's translations (Chinese needs
// none); it goes when `owner` is destroyed. False when the catalogue cannot be loaded.
bool install(const QString& code, QObject* owner);

// The language the program's catalogue now installed speaks: Chinese while none is.
QString active();

// `source` of `context` in the language `code`, whatever language is installed: for telling
// the operator something in the language just chosen.
QString translated(const QString& code, const char* context, const char* source);

// The program's catalogue for `code`, loaded and not installed, for a caller that looks up many
// texts in a language of its own (a report); nullptr for Chinese (the sources) and when it
// cannot be loaded.
std::unique_ptr<QTranslator> catalogue(const QString& code);

} // namespace Language
