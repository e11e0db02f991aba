#include "HelpFixture.h"

#include "bitmap/BmpReader.h"
#include "bitmap/DownloadImageBuilder.h"
#include "console/CommandConsole.h"
#include "library/BitmapList.h"
#include "shell/editor/ComposerCanvas.h"
#include "shell/editor/ComposerWindow.h"
#include "shell/editor/ImportDialog.h"
#include "shell/editor/ItemDialog.h"
#include "shell/editor/PictureDrop.h"
#include "shell/help/HelpWindow.h"
#include "shell/StartupOptions.h"
#include "shell/StatusTexts.h"
#include "support/TestFiles.h"

#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QAction>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFontDatabase>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPainter>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QSettings>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QToolBar>

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
        if (auto* s = qobject_cast<QAbstractSpinBox*>(w))
            texts << s->text() << s->specialValueText();
        if (auto* p = qobject_cast<QPlainTextEdit*>(w))
            texts << p->toPlainText() << p->placeholderText();
    }
    // Actions of this window only: a child window's are checked with it.
    for (QAction* a : window->findChildren<QAction*>()) {
        auto* owner = qobject_cast<QWidget*>(a->parent());
        if (owner && owner->window() == window)
            texts << a->text() << a->toolTip() << a->statusTip();
    }
    return texts;
}

QStringList chineseTexts(const QStringList& texts) {
    QStringList chinese;
    for (const QString& t : texts)
        if (hasCjk(t))
            chinese << t;
    return chinese;
}

// The composer of the window, opened as a user opens it.
ComposerWindow* openComposer(WindowOnPtys& w) {
    w.click("Command6");
    auto* composer = w.window->findChild<ComposerWindow*>();
    return composer && QTest::qWaitForWindowExposed(composer) ? composer : nullptr;
}

// The import dialog on a file that cannot be read and a small picture, as a drop on
// the list opens it; statuses collects what it says for the status line.
ImportDialog* openImport(WindowOnPtys& w, const QTemporaryDir& sources, QStringList* statuses) {
    QImage image(40, 20, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter(&image).fillRect(QRect(8, 4, 16, 8), Qt::black);
    const QString png = sources.filePath("small.png");
    const QString broken = sources.filePath("broken.png");
    if (!image.save(png) || !writeFile(broken, "\x89PNG\r\n\x1a\n cut short"))
        return nullptr;
    importIntoList(w.window->session(), {broken, png}, w.window.get(),
                   [statuses](const QString& text) { statuses->append(text); });
    auto* dialog = w.window->findChild<ImportDialog*>();
    if (dialog)
        dialog->renderNow();
    return dialog;
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

    // Every refusal of the libraries is worded by the window in its language.
    BmpReader reader;
    EXPECT_FALSE(reader.readBmp("/nonexistent/title.bmp"));
    EXPECT_EQ(texts::inputErrorText(reader.error()), QStringLiteral("Cannot open bitmap file: title.bmp"));
    QTemporaryDir dir;
    DownloadImageBuilder builder;
    EXPECT_FALSE(builder.buildDownloadImage({QString()}, dir.filePath("file.add")));
    EXPECT_EQ(texts::inputErrorText(builder.error()), QStringLiteral("Cannot open bitmap file: entry 1"));
    for (int r = int(InputReason::BitmapUnreadable); r <= int(InputReason::TooManyFrames); ++r) {
        const QString text = texts::inputErrorText(inputError(InputReason(r), QStringLiteral("/p/a.bmp")));
        EXPECT_FALSE(text.isEmpty()) << r;
        EXPECT_FALSE(hasCjk(text)) << text.toStdString();
    }

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

TEST_F(LanguageWindow, TheComposerAndTheImportDialogAreChineseByDefault) {
    QTemporaryDir dir;
    const QSettings settings(dir.filePath("panelix.ini"), QSettings::IniFormat);
    ASSERT_TRUE(installLanguage(chosenLanguage(QString(), settings)));
    show();
    ComposerWindow* composer = openComposer(w);
    ASSERT_NE(composer, nullptr);
    EXPECT_EQ(composer->windowTitle(), QStringLiteral("图文编辑"));
    EXPECT_EQ(composer->findChild<QPushButton*>("ComposeSave")->text(), QStringLiteral("保存位图"));
    EXPECT_EQ(composer->findChild<QAction*>("ComposeInvert")->text(), QStringLiteral("反色区域"));
    composer->findChild<QLineEdit*>("ComposeName")->setText("../x");
    composer->findChild<QPushButton*>("ComposeSave")->click();
    EXPECT_EQ(composer->status(), QStringLiteral("文件名无效!"));
    // The English walk below sees these texts: here they are Chinese.
    EXPECT_GE(chineseTexts(visibleTexts(composer)).size(), 20);

    QTemporaryDir sources;
    QStringList statuses;
    ImportDialog* dialog = openImport(w, sources, &statuses);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(statuses, QStringList{QStringLiteral("图片无法读取:broken.png")});
    EXPECT_EQ(dialog->findChild<QComboBox*>("ImportFit")->itemText(0), QStringLiteral("适应"));
    EXPECT_GE(chineseTexts(visibleTexts(dialog)).size(), 15);
    dialog->findChild<QPushButton*>("ImportCancel")->click();
}

namespace {

// A button's caption without its mnemonic: "打开(&O)" and "&Open" read "打开" and "Open".
QString withoutMnemonic(QString caption) {
    caption.remove(QRegularExpression(QStringLiteral("\\(&.\\)$")));
    return caption.remove(QLatin1Char('&'));
}

} // namespace

// Qt's own dialogs and buttons (the file dialog of "导入图片" and "打开", message boxes)
// speak the window's language: Qt's Chinese comes from the system's translations.
TEST_F(LanguageWindow, QtsOwnDialogsSpeakChineseByDefault) {
    QTemporaryDir dir;
    const QSettings settings(dir.filePath("panelix.ini"), QSettings::IniFormat);
    ASSERT_TRUE(installLanguage(chosenLanguage(QString(), settings)));

    QDialogButtonBox box(QDialogButtonBox::Open | QDialogButtonBox::Cancel | QDialogButtonBox::Yes);
    EXPECT_EQ(withoutMnemonic(box.button(QDialogButtonBox::Cancel)->text()), QStringLiteral("取消"));
    EXPECT_EQ(withoutMnemonic(box.button(QDialogButtonBox::Open)->text()), QStringLiteral("打开"));
    QMessageBox message(QMessageBox::Question, QString(), QString(), QMessageBox::Yes | QMessageBox::No);
    EXPECT_EQ(withoutMnemonic(message.button(QMessageBox::No)->text()), QStringLiteral("否"));

    QFileDialog files(nullptr, QString(), dir.path());
    files.setOption(QFileDialog::DontUseNativeDialog);
    files.setAcceptMode(QFileDialog::AcceptOpen);
    auto* buttons = files.findChild<QDialogButtonBox*>();
    ASSERT_NE(buttons, nullptr);
    QStringList captions;
    for (QAbstractButton* b : buttons->buttons())
        captions << withoutMnemonic(b->text());
    EXPECT_TRUE(captions.contains(QStringLiteral("取消"))) << captions.join('|').toStdString();
    EXPECT_TRUE(captions.contains(QStringLiteral("打开"))) << captions.join('|').toStdString();
    auto* lookIn = files.findChild<QLabel*>("lookInLabel");
    ASSERT_NE(lookIn, nullptr);
    EXPECT_TRUE(hasCjk(lookIn->text())) << lookIn->text().toStdString();

    // English takes Qt's own texts back.
    ASSERT_TRUE(installLanguage(Language::English));
    QDialogButtonBox english(QDialogButtonBox::Cancel);
    EXPECT_EQ(withoutMnemonic(english.button(QDialogButtonBox::Cancel)->text()), QStringLiteral("Cancel"));
}

TEST_F(LanguageWindow, EnglishLeavesNoChineseTextInTheComposer) {
    ASSERT_TRUE(installLanguage(Language::English));
    show();
    ComposerWindow* composer = openComposer(w);
    ASSERT_NE(composer, nullptr);
    EXPECT_EQ(composer->windowTitle(), QStringLiteral("Screen editor"));
    EXPECT_EQ(composer->findChild<QPushButton*>("ComposeSend")->text(), QStringLiteral("Send to module"));
    EXPECT_EQ(composer->findChild<QAction*>("ComposeInvert")->text(), QStringLiteral("Invert"));
    EXPECT_EQ(composer->findChild<QSpinBox*>("ComposeZoom")->text(), QStringLiteral("2x"));

    // An edit names itself in the undo button, the cursor its dot and byte column.
    composer->findChild<QSpinBox*>("ComposeWidth")->setValue(160);
    EXPECT_EQ(composer->findChild<QAction*>("ComposeUndo")->text(), QStringLiteral("Undo Resize"));
    emit composer->canvas().cursorMoved(QPoint(17, 3), true);
    EXPECT_EQ(composer->findChild<QLabel*>("ComposePosition")->text(), QStringLiteral("X:17 Y:3 Column:2"));

    // The status texts of saving and of project files.
    auto* name = composer->findChild<QLineEdit*>("ComposeName");
    auto* save = composer->findChild<QPushButton*>("ComposeSave");
    name->setText("../x");
    save->click();
    EXPECT_EQ(composer->status(), QStringLiteral("Invalid file name!"));
    name->setText("panel");
    save->click();
    EXPECT_EQ(composer->status(), QStringLiteral("Bitmap saved: panel.bmp"));
    EXPECT_TRUE(composer->savedBitmapPath().endsWith("panel.bmp"));
    const QString broken = w.dataDir.filePath("broken.json");
    ASSERT_TRUE(writeFile(broken, "{\"format\": \"panelix-composition\""));
    EXPECT_FALSE(composer->openProject(broken));
    EXPECT_EQ(composer->status(), QStringLiteral("Bad project file: broken.json"));
    EXPECT_FALSE(composer->openProject(w.dataDir.filePath("missing.json")));
    EXPECT_EQ(composer->status(), QStringLiteral("Cannot open project file: missing.json"));

    const QStringList chinese = chineseTexts(visibleTexts(composer));
    EXPECT_TRUE(chinese.isEmpty()) << chinese.join(" | ").toStdString();

    // The English captions fit the size the composer opens at, with the widest edit
    // name in both the undo and the redo button: no tool is pushed into the tool
    // bar's overflow menu.
    EXPECT_LE(composer->minimumSizeHint().width(), composer->width());
    auto* bar = composer->findChild<QToolBar*>();
    ASSERT_NE(bar, nullptr);
    QString widest;
    const auto consider = [&](const char* context, const char* source) {
        const QString shown = QCoreApplication::translate(context, source);
        if (bar->fontMetrics().horizontalAdvance(shown) > bar->fontMetrics().horizontalAdvance(widest))
            widest = shown;
    };
    for (const char* edit : {"画布尺寸", "导入图片", "文字", "属性", "删除", "置顶", "置底"})
        consider("panelix::ComposerWindow", edit);
    for (const char* gesture : {"移动", "直线", "矩形", "反色区域"})
        consider("panelix::ComposerCanvas", gesture);
    EXPECT_FALSE(hasCjk(widest)) << widest.toStdString();
    compose::Composition next = composer->document().composition();
    next.add(compose::InvertItem{QRect(0, 0, 8, 8)});
    composer->document().apply(next, widest);
    next.add(compose::InvertItem{QRect(0, 0, 8, 8)});
    composer->document().apply(next, widest);
    composer->document().undoStack().undo();
    ASSERT_EQ(composer->findChild<QAction*>("ComposeRedo")->text(), QStringLiteral("Redo ") + widest);
    QTest::qWait(20); // the tool bar lays itself out again
    auto* overflow = bar->findChild<QWidget*>("qt_toolbar_ext_button");
    EXPECT_TRUE(overflow == nullptr || !overflow->isVisible());
    for (QAction* a : bar->actions()) {
        if (a->isSeparator())
            continue;
        EXPECT_TRUE(bar->widgetForAction(a) && bar->widgetForAction(a)->isVisible())
            << a->text().toStdString();
    }

    // The properties of every kind of item, the module's font listed first.
    compose::TextItem text;
    text.text = QStringLiteral("Hello");
    compose::LineItem line;
    line.to = QPoint(10, 10);
    compose::RectItem rect;
    rect.rect = QRect(0, 0, 8, 8);
    compose::InvertItem invert;
    invert.rect = rect.rect;
    const std::vector<compose::Item> items{text, line, rect, invert};
    const QStringList families = QFontDatabase::families(); // the fonts' own names are not ours
    const QStringList titles{QStringLiteral("Text properties"), QStringLiteral("Line properties"),
                             QStringLiteral("Rectangle properties"), QStringLiteral("Inverted area properties")};
    for (std::size_t i = 0; i < items.size(); ++i) {
        const compose::Item& item = items[i];
        ItemDialog dialog(item, composer);
        EXPECT_EQ(dialog.windowTitle(), titles.value(int(i)));
        QStringList texts;
        for (const QString& t : visibleTexts(&dialog))
            if (!families.contains(t))
                texts << t;
        EXPECT_TRUE(texts.contains(QStringLiteral("X (dots):")));
        EXPECT_TRUE(texts.contains(QStringLiteral("Cancel")));
        const QStringList itemChinese = chineseTexts(texts);
        EXPECT_TRUE(itemChinese.isEmpty()) << item.index() << ": " << itemChinese.join(" | ").toStdString();
        if (auto* font = dialog.findChild<QComboBox*>("ItemFont")) {
            EXPECT_EQ(font->itemText(0), QStringLiteral("Module font (hzk16)"));
        }
    }
}

TEST_F(LanguageWindow, EnglishLeavesNoChineseTextInTheImportDialog) {
    ASSERT_TRUE(installLanguage(Language::English));
    show();
    QTemporaryDir sources;
    QStringList statuses;
    ImportDialog* dialog = openImport(w, sources, &statuses);
    ASSERT_NE(dialog, nullptr);
    // The file that cannot be read, for the status line and the dialog's own.
    EXPECT_EQ(statuses, QStringList{QStringLiteral("Cannot read picture: broken.png")});
    EXPECT_EQ(dialog->findChild<QLabel*>("ImportStatus")->text(), statuses.value(0));

    dialog->findChild<QPushButton*>("ImportSkip")->click();
    dialog->renderNow();
    ASSERT_TRUE(dialog->currentSource().endsWith("small.png"));
    EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Import picture"));
    EXPECT_EQ(dialog->findChild<QComboBox*>("ImportFit")->itemText(0), QStringLiteral("Fit"));
    EXPECT_EQ(dialog->findChild<QComboBox*>("ImportDither")->itemText(1),
              QStringLiteral("Diffusion (Floyd-Steinberg)"));
    EXPECT_TRUE(dialog->findChild<QLabel*>("ImportInfo")->text().startsWith("Picture 2/2 small.png 40×20 → "))
        << dialog->findChild<QLabel*>("ImportInfo")->text().toStdString();

    const QStringList chinese = chineseTexts(visibleTexts(dialog));
    EXPECT_TRUE(chinese.isEmpty()) << chinese.join(" | ").toStdString();

    // Taken: written and listed, the dialog done.
    dialog->findChild<QPushButton*>("ImportOk")->click();
    ASSERT_TRUE(waitUntil([&] { return w.window->findChild<ImportDialog*>() == nullptr; }, 2000));
    EXPECT_TRUE(w.window->bitmapList().entries().value(0).endsWith("small.bmp"))
        << w.window->bitmapList().entries().join(' ').toStdString();
}
