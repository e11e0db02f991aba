#include "HelpFixture.h"

#include "bitmap/BmpReader.h"
#include "bitmap/DownloadImageBuilder.h"
#include "console/CommandConsole.h"
#include "library/BitmapList.h"
#include "shell/help/HelpWindow.h"
#include "shell/StartupOptions.h"
#include "shell/StatusTexts.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QSettings>
#include <QTemporaryDir>
#include <QTextBrowser>

#include <cstdlib>

using namespace panelix;
using namespace panelix::test;

namespace {

// The user's own settings are never touched: QSettings() of this program lands
// in a scratch configuration folder, set before anything reads it.
const bool scratchConfig = [] {
    static QTemporaryDir dir;
    qputenv("XDG_CONFIG_HOME", dir.path().toUtf8());
    return true;
}();

// Every text of the window a user can see or hover: captions, titles, field
// texts, list and drop-down items, tooltips and the window title.
QStringList visibleTexts(QWidget* window) {
    QStringList texts{window->windowTitle(), window->toolTip()};
    for (QWidget* w : window->findChildren<QWidget*>()) {
        if (w->isWindow())
            continue; // the help window has its own check
        texts << w->toolTip() << w->statusTip() << w->whatsThis() << w->accessibleName();
        if (auto* b = qobject_cast<QAbstractButton*>(w))
            texts << b->text();
        if (auto* l = qobject_cast<QLabel*>(w))
            texts << l->text();
        if (auto* g = qobject_cast<QGroupBox*>(w))
            texts << g->title();
        if (auto* e = qobject_cast<QLineEdit*>(w))
            texts << e->text() << e->placeholderText();
        if (auto* c = qobject_cast<QComboBox*>(w)) {
            texts << c->currentText() << c->placeholderText();
            for (int i = 0; i < c->count(); ++i)
                texts << c->itemText(i);
        }
        if (auto* list = qobject_cast<QListWidget*>(w)) {
            for (int i = 0; i < list->count(); ++i)
                texts << list->item(i)->text();
        }
    }
    return texts;
}

} // namespace

TEST(LanguageOption, LangTakesEnOrZhAndNothingElse) {
    StartupOptions o = defaultStartupOptions();
    QString message;
    EXPECT_TRUE(o.language.isEmpty());
    ASSERT_EQ(parseStartupOptions({"--lang", "en"}, &o, &message), ParseOutcome::Run);
    EXPECT_EQ(o.language, QString("en"));
    ASSERT_EQ(parseStartupOptions({"--lang=ZH"}, &o, &message), ParseOutcome::Run);
    EXPECT_EQ(languageFromCode(o.language), Language::Chinese);

    const StartupOptions before = o;
    EXPECT_EQ(parseStartupOptions({"--lang", "fr"}, &o, &message), ParseOutcome::Error);
    EXPECT_TRUE(message.contains("fr"));
    EXPECT_EQ(parseStartupOptions({"--lang"}, &o, &message), ParseOutcome::Error);
    EXPECT_EQ(parseStartupOptions({"--lang="}, &o, &message), ParseOutcome::Error);
    EXPECT_EQ(o.language, before.language);
    EXPECT_TRUE(usageText().contains("--lang en|zh"));

    // --help answers in the language given before it.
    StartupOptions h = defaultStartupOptions();
    ASSERT_EQ(parseStartupOptions({"--lang", "en", "--help"}, &h, &message), ParseOutcome::Help);
    EXPECT_EQ(chosenLanguage(h.language), Language::English);
}

TEST(LanguageChoice, ChineseUnlessTheOptionOrTheSettingSaysEnglishWhateverTheLocale) {
    const QByteArray oldLang = qgetenv("LANG");
    const QByteArray oldAll = qgetenv("LC_ALL");
    qputenv("LANG", "en_US.UTF-8");
    qputenv("LC_ALL", "en_US.UTF-8");
    QTemporaryDir dir;
    QSettings settings(dir.filePath("panelix.ini"), QSettings::IniFormat);

    EXPECT_EQ(chosenLanguage(QString(), settings), Language::Chinese);
    EXPECT_EQ(chosenLanguage("en", settings), Language::English);
    settings.setValue("language", "en");
    EXPECT_EQ(chosenLanguage(QString(), settings), Language::English);
    EXPECT_EQ(chosenLanguage("zh", settings), Language::Chinese);    // the command line wins for the run
    EXPECT_EQ(settings.value("language").toString(), QString("en")); // and changes no setting
    settings.setValue("language", "de_DE");
    EXPECT_EQ(chosenLanguage(QString(), settings), Language::Chinese);
    storeLanguage(Language::English, settings);
    EXPECT_EQ(settings.value("language").toString(), QString("en"));

    qputenv("LANG", oldLang);
    qputenv("LC_ALL", oldAll);
}

TEST(LanguageUsage, EnglishHelpComesFromTheTranslationAndHasNoChinese) {
    const QString english = usageFor(Language::English);
    EXPECT_TRUE(english.startsWith("Usage: panelix")) << english.toStdString();
    EXPECT_TRUE(english.contains("--lang en|zh"));
    EXPECT_TRUE(english.contains("--reset-settings"));
    EXPECT_FALSE(hasCjk(english)) << english.toStdString();
    // Every option of the bilingual usage is in the English one.
    const QRegularExpression option(QStringLiteral("--[a-z0-9-]+"));
    for (auto m = option.globalMatch(usageText()); m.hasNext();) {
        const QString o = m.next().captured();
        EXPECT_TRUE(english.contains(o)) << o.toStdString();
    }
    EXPECT_EQ(usageFor(Language::Chinese), usageText());
}

using LanguageWindow = ShownWindow;

TEST_F(LanguageWindow, DefaultWindowIsChineseUnderAnEnglishLocale) {
    const QByteArray oldLang = qgetenv("LANG");
    qputenv("LANG", "en_US.UTF-8");
    QTemporaryDir dir;
    const QSettings settings(dir.filePath("panelix.ini"), QSettings::IniFormat);
    ASSERT_TRUE(installLanguage(chosenLanguage(QString(), settings)));
    qputenv("LANG", oldLang);
    EXPECT_EQ(currentLanguage(), Language::Chinese);
    show();
    EXPECT_EQ(w.child<QAbstractButton>("Command8")->text(), QStringLiteral("下载位图"));
    EXPECT_EQ(w.child<QGroupBox>("Frame1")->title(), QStringLiteral("串口选择"));
    EXPECT_EQ(w.child<QComboBox>("Combo1")->itemText(0), QStringLiteral("显示汉字(XY汉):"));
    EXPECT_EQ(texts::portNotOpen(), QStringLiteral("串口未打开!"));
    // The walk of the English test sees these texts: here they are Chinese.
    int chinese = 0;
    for (const QString& t : visibleTexts(w.window.get()))
        chinese += hasCjk(t) ? 1 : 0;
    EXPECT_GE(chinese, 20);
}

TEST_F(LanguageWindow, EnglishLeavesNoChineseTextInTheWindow) {
    ASSERT_TRUE(installLanguage(Language::English));
    show();
    EXPECT_EQ(w.child<QAbstractButton>("Command8")->text(), QStringLiteral("Send BMPs"));
    EXPECT_EQ(w.child<QAbstractButton>("Command9")->text(), QStringLiteral("Send font"));
    EXPECT_EQ(w.child<QAbstractButton>("Command5")->text(), QStringLiteral("Help"));
    EXPECT_EQ(w.child<QGroupBox>("Frame1")->title(), QStringLiteral("Serial port"));
    EXPECT_EQ(w.child<QComboBox>("Combo1")->itemText(0), QStringLiteral("Show characters (XY text):"));

    QStringList chinese;
    for (const QString& t : visibleTexts(w.window.get()))
        if (hasCjk(t))
            chinese << t;
    EXPECT_TRUE(chinese.isEmpty()) << chinese.join(" | ").toStdString();

    // The console hint after a choice, and a status text the window shows.
    auto* combo = w.child<QComboBox>("Combo1");
    combo->setCurrentIndex(3);
    combo->activated(3);
    EXPECT_FALSE(hasCjk(w.child<QLabel>("Label3")->text()))
        << w.child<QLabel>("Label3")->text().toStdString();
    w.click("Command7");
    ASSERT_TRUE(waitUntil([&] { return w.status() == QStringLiteral("Connection test OK"); }))
        << w.status().toStdString();
}

TEST_F(LanguageWindow, EnglishStatusTextsFromTheWindowAndTheLibraries) {
    ASSERT_TRUE(installLanguage(Language::English));
    EXPECT_EQ(texts::portNotOpen(), QStringLiteral("Serial port not open!"));
    EXPECT_EQ(texts::downloadDone(), QStringLiteral("Download complete!"));
    EXPECT_EQ(texts::portOpenFailed(2), QStringLiteral("Cannot open COM2!"));
    EXPECT_EQ(texts::progressText(512, 1024), QStringLiteral("Downloading...  512   50%"));

    BmpReader reader;
    EXPECT_FALSE(reader.ReadBmp("/nonexistent/title.bmp"));
    EXPECT_EQ(reader.error(), QStringLiteral("Cannot open bitmap file: title.bmp"));
    EXPECT_EQ(DownloadImageBuilder::tooManyText(), QStringLiteral("More than 127 bitmaps, cannot download!"));

    // The session still tells its refusals apart in English.
    QTemporaryDir dir;
    DownloadImageBuilder builder;
    EXPECT_FALSE(builder.BuildDownloadImage({QString()}, dir.filePath("file.add")));
    EXPECT_EQ(builder.error(), QStringLiteral("Cannot open bitmap file: entry 1"));

    BitmapList list;
    QString message;
    for (int i = 0; i < BitmapList::MaxEntries; ++i)
        list.add(QStringLiteral("/p/%1.bmp").arg(i), &message);
    EXPECT_FALSE(list.add("/p/x.bmp", &message));
    EXPECT_FALSE(hasCjk(message)) << message.toStdString();

    for (const QString& caption : CommandConsole::shownCaptions())
        EXPECT_FALSE(hasCjk(caption)) << caption.toStdString();
    EXPECT_EQ(CommandConsole::captions().first(), QStringLiteral("显示汉字(XY汉):")); // the source stays
}

TEST_F(LanguageWindow, TheHelpFollowsTheLanguageAndItsChoiceIsKeptForTheNextStart) {
    ASSERT_TRUE(installLanguage(Language::English));
    HelpWindow help;
    EXPECT_EQ(help.browser()->source(), HelpWindow::pageUrl(Language::English, "index.html"));
    EXPECT_EQ(help.windowTitle(), QStringLiteral("Help"));
    auto* language = help.findChild<QComboBox*>("HelpLanguage");
    ASSERT_NE(language, nullptr);
    EXPECT_EQ(language->currentData().toString(), QString("en"));

    language->setCurrentIndex(0);
    language->activated(0);
    EXPECT_EQ(QSettings().value("language").toString(), QString("zh"));
    EXPECT_FALSE(help.findChild<QLabel*>("HelpNote")->text().isEmpty()); // from the next start on
    EXPECT_EQ(chosenLanguage(QString()), Language::Chinese);
    language->setCurrentIndex(1);
    language->activated(1);
    EXPECT_EQ(QSettings().value("language").toString(), QString("en"));
    EXPECT_TRUE(help.findChild<QLabel*>("HelpNote")->text().isEmpty());
    QSettings().remove("language");
}
