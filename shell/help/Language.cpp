#include "shell/help/Language.h"

#include "shell/StartupOptions.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QSettings>
#include <QTranslator>

namespace panelix {

namespace {

const QString LanguageKey = QStringLiteral("language");
// Built into the program's resources, so no installed file can go missing.
const QString EnglishTranslation = QStringLiteral(":/i18n/panelix_en.qm");

Language installed = Language::Chinese;

QTranslator& windowTranslator() {
    static QTranslator translator;
    return translator;
}

QTranslator& qtTranslator() {
    static QTranslator translator;
    return translator;
}

} // namespace

std::optional<Language> languageFromCode(const QString& code) {
    const QString c = code.trimmed().toLower();
    if (c == QLatin1String("zh"))
        return Language::Chinese;
    if (c == QLatin1String("en"))
        return Language::English;
    return std::nullopt;
}

QString languageCode(Language language) {
    return language == Language::English ? QStringLiteral("en") : QStringLiteral("zh");
}

Language chosenLanguage(const QString& option, const QSettings& settings) {
    if (const auto given = languageFromCode(option))
        return *given;
    return languageFromCode(settings.value(LanguageKey).toString()).value_or(Language::Chinese);
}

Language chosenLanguage(const QString& option) {
    const QSettings settings(QStringLiteral("Panelix"), QStringLiteral("Panelix"));
    return chosenLanguage(option, settings);
}

void storeLanguage(Language language, QSettings& settings) {
    settings.setValue(LanguageKey, languageCode(language));
}

bool installLanguage(Language language) {
    QCoreApplication::removeTranslator(&windowTranslator());
    QCoreApplication::removeTranslator(&qtTranslator());
    installed = Language::Chinese;
    if (language == Language::Chinese) {
        // The texts of Qt's own dialogs and context menus, where Debian's
        // translations are installed; without them they stay English.
        if (qtTranslator().load(QLocale(QLocale::Chinese, QLocale::China), QStringLiteral("qtbase"),
                                QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
            QCoreApplication::installTranslator(&qtTranslator());
        return true;
    }
    if (!windowTranslator().load(EnglishTranslation) ||
        !QCoreApplication::installTranslator(&windowTranslator()))
        return false;
    installed = Language::English;
    return true;
}

Language currentLanguage() {
    return installed;
}

QString translateFor(Language language, const char* context, const QString& source) {
    if (language == Language::Chinese)
        return source;
    QTranslator translator;
    if (!translator.load(EnglishTranslation))
        return source;
    const QByteArray utf8 = source.toUtf8();
    const QString text = translator.translate(context, utf8.constData());
    return text.isEmpty() ? source : text;
}

QString usageFor(Language language) {
    if (language == Language::Chinese)
        return usageText();
    return withPlatformDefaults(
        translateFor(language, "panelix::StartupOptions", QString::fromUtf8(usageSourceText())));
}

} // namespace panelix
