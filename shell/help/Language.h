#pragma once

#include <QString>

#include <optional>

class QSettings;

namespace panelix {

// The window speaks Chinese unless told otherwise; the system's locale is never
// consulted, so LANG=en_US.UTF-8 still gives the Chinese window.
enum class Language { Chinese, English };

// "zh" or "en" (any letter case); nothing for another code.
std::optional<Language> languageFromCode(const QString& code);
QString languageCode(Language language);

// The language of this run: the --lang value when one was given, else the
// setting "language" ("en" or "zh"; anything else counts as unset), else Chinese.
Language chosenLanguage(const QString& option, const QSettings& settings);
// The same over the user's settings (organisation and application "Panelix"),
// usable before the application object exists.
Language chosenLanguage(const QString& option);
// Keeps the language for the next start.
void storeLanguage(Language language, QSettings& settings);

// Installs the translation of the window's texts into the running application
// (Chinese, the source language, needs none; Qt's own Chinese texts are added
// where the system has them). False when the built-in English translation
// cannot be loaded: the window then stays Chinese.
bool installLanguage(Language language);
// The language installed last (Chinese before any install).
Language currentLanguage();

// The translation of one source text without an application object, for the
// command line before the window starts; the source itself for Chinese.
QString translateFor(Language language, const char* context, const QString& source);

// What --help prints: the usage in English and Chinese, or in English alone
// when English was chosen (taken from the translation, which it thereby checks).
QString usageFor(Language language);

} // namespace panelix
