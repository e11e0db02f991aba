#include "HelpFixture.h"

#include "protocol/Module.h"
#include "shell/DirListBox.h"
#include "shell/help/HelpWindow.h"
#include "shell/help/WindowKeys.h"
#include "support/TestFiles.h"

#include <QComboBox>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRegularExpression>
#include <QSet>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextDocument>
#include <QTextTable>

using namespace panelix;
using namespace panelix::test;

namespace {

HelpWindow* helpOf(QWidget* window) {
    return window->findChild<HelpWindow*>(QString(), Qt::FindDirectChildrenOnly);
}

QString pageText(Language language, const QString& page) {
    QFile f(QStringLiteral(":/help/%1/%2").arg(languageCode(language), page));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(f.readAll());
}

// The first cells of every row of every table of the document.
QStringList firstCells(QTextDocument* document) {
    QStringList cells;
    for (QTextBlock b = document->begin(); b.isValid(); b = b.next()) {
        QTextCursor c(b);
        if (QTextTable* t = c.currentTable()) {
            if (c.position() != t->firstPosition())
                continue; // each table once, from its first cell
            for (int r = 0; r < t->rows(); ++r) {
                QTextTableCell cell = t->cellAt(r, 0);
                QTextCursor from = cell.firstCursorPosition();
                from.setPosition(cell.lastCursorPosition().position(), QTextCursor::KeepAnchor);
                cells << from.selectedText().trimmed();
            }
        }
    }
    return cells;
}

} // namespace

using HelpWindowTest = ShownWindow;

TEST_F(HelpWindowTest, OpensFromTheButtonAndFromF1AndIsMadeOnce) {
    show();
    EXPECT_EQ(helpOf(w.window.get()), nullptr); // made on first use only

    w.click("Command5");
    HelpWindow* help = helpOf(w.window.get());
    ASSERT_NE(help, nullptr);
    EXPECT_TRUE(help->isVisible());
    EXPECT_EQ(help->browser()->source(), HelpWindow::pageUrl(Language::Chinese, "index.html"));
    EXPECT_TRUE(help->browser()->toPlainText().contains("操作步骤"));
    help->close();
    EXPECT_FALSE(help->isVisible());

    QApplication::setActiveWindow(w.window.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.window.get()));
    QTest::keyClick(w.window.get(), Qt::Key_F1);
    EXPECT_TRUE(help->isVisible());
    EXPECT_EQ(helpOf(w.window.get()), help);
    EXPECT_EQ(w.window->findChildren<HelpWindow*>().size(), 1);

    // Esc in the help window closes it.
    QApplication::setActiveWindow(help);
    ASSERT_TRUE(QTest::qWaitForWindowActive(help));
    QTest::keyClick(help, Qt::Key_Escape);
    EXPECT_FALSE(help->isVisible());
}

// The command table of the help is checked against the wire protocol: a page that
// lost or mistyped a command byte would teach the wrong bytes.
TEST(HelpPages, TheCommandTableListsEveryCommandByteInBothLanguages) {
    const std::uint8_t commands[] = {
        module::CmdShowText,     module::CmdShowLargeText, module::CmdShowImage, module::CmdClearScreen,
        module::CmdClearRect,    module::CmdInvertRect,    module::CmdDrawRect,  module::CmdBacklightOn,
        module::CmdBacklightOff, module::CmdConnectionTest};
    for (Language language : {Language::Chinese, Language::English}) {
        ASSERT_TRUE(installLanguage(language));
        HelpWindow help;
        help.showPage("commands.html");
        EXPECT_EQ(help.browser()->source(), HelpWindow::pageUrl(language, "commands.html"));
        const QStringList cells = firstCells(help.browser()->document());
        for (std::uint8_t c : commands) {
            const QString hex = QStringLiteral("%1").arg(c, 2, 16, QLatin1Char('0')).toUpper();
            EXPECT_TRUE(cells.contains(hex))
                << "command " << hex.toStdString() << " in " << languageCode(language).toStdString();
        }
        // The units table: every parameter letter of the commands.
        for (const char* p : {"X", "Y", "W", "H", "B", "N"})
            EXPECT_TRUE(cells.contains(QLatin1String(p))) << p;
        // The two transfer headers, byte for byte.
        const QString text = help.browser()->toPlainText();
        EXPECT_TRUE(text.contains(QStringLiteral("A6 60 00 00 08")));
        EXPECT_TRUE(text.contains(QStringLiteral("A6 68")));
    }
    installLanguage(Language::Chinese);
}

TEST(HelpPages, EveryLinkLeadsToAPageAndAnchorOfTheSameLanguage) {
    const QRegularExpression href(QStringLiteral("href=\"([^\"]+)\""));
    for (Language language : {Language::Chinese, Language::English}) {
        for (const QString& page : HelpWindow::pages()) {
            const QString html = pageText(language, page);
            ASSERT_FALSE(html.isEmpty()) << page.toStdString();
            for (auto m = href.globalMatch(html); m.hasNext();) {
                const QString link = m.next().captured(1);
                const QUrl target = HelpWindow::pageUrl(language, page).resolved(QUrl(link));
                ASSERT_EQ(target.scheme(), QStringLiteral("qrc")) << link.toStdString(); // nothing outside
                const QString file = target.fileName();
                const QString targetHtml = pageText(language, file);
                EXPECT_FALSE(targetHtml.isEmpty()) << page.toStdString() << " -> " << link.toStdString();
                if (target.hasFragment()) {
                    EXPECT_TRUE(targetHtml.contains(QStringLiteral("name=\"%1\"").arg(target.fragment())))
                        << page.toStdString() << " -> " << link.toStdString();
                }
            }
        }
    }
}

TEST(HelpPages, ThePortPageSaysHowToJoinTheDevicesGroup) {
    for (Language language : {Language::Chinese, Language::English}) {
        const QString html = pageText(language, "port.html");
        EXPECT_TRUE(html.contains("usermod -aG GROUP $USER"));
        EXPECT_TRUE(html.contains("dialout"));
        EXPECT_TRUE(html.contains("ls -l /dev/ttyUSB0"));
    }
    EXPECT_TRUE(pageText(Language::Chinese, "port.html").contains("重新登录"));
    EXPECT_TRUE(pageText(Language::English, "port.html").contains("log in again"));
}

TEST(HelpPages, EnglishPagesHoldNoChineseButTheSimulatorsOwnCaptions) {
    for (const QString& page : HelpWindow::pages()) {
        QString text = pageText(Language::English, page);
        // The example input of the console and the simulator window's captions stay as they are typed or
        // shown.
        text.remove(QStringLiteral("0010汉字"))
            .remove(QStringLiteral("按19200波特率收发"))
            .remove(QStringLiteral("复位模块"));
        EXPECT_FALSE(hasCjk(text)) << page.toStdString();
    }
}

namespace {

// What a page shows, without its markup.
QString shownText(Language language, const QString& page) {
    QTextDocument document;
    document.setHtml(pageText(language, page));
    return document.toPlainText();
}

QString allShownText(Language language) {
    QString text;
    for (const QString& page : HelpWindow::pages())
        text += shownText(language, page) + QLatin1Char('\n');
    return text;
}

// A caption of the window in the language installed now.
QString caption(const char* context, const char* source) {
    return QCoreApplication::translate(context, source);
}

} // namespace

// The user guide explains what a newcomer meets: pictures other than 1-bit BMPs and
// how they get in (a drop on the list), the import dialog with each of its dithering
// methods by the captions the dialog shows, the composer and the command line.
TEST(HelpPages, TheGuideCoversPicturesDitheringTheComposerAndTheCommandLine) {
    const char* const dithering[] = {"阈值", "误差扩散(Floyd-Steinberg)", "误差扩散(Atkinson)", "有序抖动4×4",
                                     "有序抖动8×8"};
    const char* const ditherNames[] = {"threshold", "floyd-steinberg", "atkinson", "bayer4", "bayer8"};
    for (Language language : {Language::Chinese, Language::English}) {
        ASSERT_TRUE(installLanguage(language));
        const std::string lang = languageCode(language).toStdString();
        const QString all = allShownText(language);
        for (const char* format : {"JPEG", "PNG", "GIF", "SVG"})
            EXPECT_TRUE(all.contains(QLatin1String(format))) << format << " in " << lang;
        const QString drop = language == Language::Chinese ? QStringLiteral("拖放") : QStringLiteral("drop");
        EXPECT_TRUE(shownText(language, "index.html").contains(drop)) << lang;
        EXPECT_TRUE(shownText(language, "import.html").contains(drop)) << lang;
        // The index no longer says that only 1-bit BMPs can be used.
        EXPECT_TRUE(pageText(language, "index.html").contains("import.html")) << lang;

        const QString import = shownText(language, "import.html");
        for (const char* source : {"导入图片", "确定", "跳过", "取消", "自动", "反色", "适应", "填充", "拉伸"})
            EXPECT_TRUE(import.contains(caption("panelix::ImportDialog", source))) << source << " in " << lang;
        const QString importHtml = pageText(language, "import.html");
        for (int i = 0; i < 5; ++i) {
            const QString shown = caption("panelix::ImportDialog", dithering[i]);
            EXPECT_TRUE(import.contains(shown)) << shown.toStdString() << " in " << lang;
            EXPECT_TRUE(import.contains(QLatin1String(ditherNames[i]))) << ditherNames[i] << " in " << lang;
            EXPECT_TRUE(importHtml.contains(QStringLiteral("../img/dither-%1.png").arg(QLatin1String(ditherNames[i]))))
                << ditherNames[i] << " picture in " << lang;
        }

        const QString composer = shownText(language, "composer.html");
        for (const char* source : {"保存位图", "发送到模块", "对齐字节列"})
            EXPECT_TRUE(composer.contains(caption("panelix::ComposerWindow", source))) << source << " in " << lang;

        const QString cliHtml = pageText(language, "cli.html");
        for (const char* command : {"test", "download", "font", "send", "show", "clear", "backlight", "text", "pack",
                                    "convert", "inspect", "ports"})
            EXPECT_TRUE(cliHtml.contains(QStringLiteral("<code>%1 ").arg(QLatin1String(command))) ||
                        cliHtml.contains(QStringLiteral("<code>%1<").arg(QLatin1String(command))))
                << command << " in " << lang;
        EXPECT_TRUE(cliHtml.contains(QStringLiteral("download --port DEV photo.jpg --show N"))) << lang;
        for (const char* option : {"--size", "--fit", "--dither", "--threshold", "--invert", "--json"})
            EXPECT_TRUE(cliHtml.contains(QLatin1String(option))) << option << " in " << lang;
    }
    installLanguage(Language::Chinese);
}

// Every picture a page shows is built in and can be drawn; the dithering pictures
// hold the panel's two colours only, as the module would show them.
TEST(HelpPages, EveryPictureOfThePagesIsBuiltInAndTheDitheringOnesAreTwoColoured) {
    const QRegularExpression img(QStringLiteral("<img src=\"([^\"]+)\""));
    int pictures = 0;
    for (Language language : {Language::Chinese, Language::English}) {
        for (const QString& page : HelpWindow::pages()) {
            for (auto m = img.globalMatch(pageText(language, page)); m.hasNext();) {
                const QUrl target = HelpWindow::pageUrl(language, page).resolved(QUrl(m.next().captured(1)));
                ASSERT_EQ(target.scheme(), QStringLiteral("qrc"));
                const QImage image(QLatin1Char(':') + target.path());
                ASSERT_FALSE(image.isNull()) << page.toStdString() << " -> " << target.toString().toStdString();
                ++pictures;
                if (!target.fileName().startsWith(QLatin1String("dither-")))
                    continue;
                QSet<QRgb> colours;
                const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
                for (int y = 0; y < rgb.height(); ++y)
                    for (int x = 0; x < rgb.width(); ++x)
                        colours.insert(rgb.pixel(x, y));
                EXPECT_EQ(colours.size(), 2) << target.toString().toStdString();
            }
        }
    }
    EXPECT_GE(pictures, 2 * 8); // photo, five methods, the dialog and the composer in each language
}

TEST(HelpPages, BackAndForwardFollowTheVisitedPages) {
    HelpWindow help;
    auto* back = help.findChild<QPushButton*>("HelpBack");
    auto* forward = help.findChild<QPushButton*>("HelpForward");
    auto* contents = help.findChild<QPushButton*>("HelpContents");
    EXPECT_FALSE(back->isEnabled());
    help.showPage("port.html#permission");
    EXPECT_TRUE(back->isEnabled());
    back->click();
    EXPECT_EQ(help.browser()->source(), HelpWindow::pageUrl(Language::Chinese, "index.html"));
    EXPECT_TRUE(forward->isEnabled());
    forward->click();
    EXPECT_EQ(help.browser()->source().fileName(), QStringLiteral("port.html"));
    contents->click();
    EXPECT_EQ(help.browser()->source(), HelpWindow::pageUrl(Language::Chinese, "index.html"));
}

using WindowKeysTest = ShownWindow;

namespace {

// A text field that claims every key for itself, as an X11 line edit claims Ctrl+E.
class GreedyEdit : public QLineEdit {
public:
    using QLineEdit::QLineEdit;

protected:
    bool event(QEvent* e) override {
        if (e->type() == QEvent::ShortcutOverride) {
            e->accept();
            return true;
        }
        return QLineEdit::event(e);
    }
};

} // namespace

TEST(WindowKeys, AKeyOfAButtonWinsOverATextFieldThatClaimsIt) {
    QWidget window;
    auto* editor = new QPushButton("Editor", &window);
    editor->setObjectName("Command6");
    auto* field = new GreedyEdit(&window);
    field->setObjectName("Text2");
    int clicks = 0;
    QObject::connect(editor, &QPushButton::clicked, [&] { ++clicks; });
    attachHelpAndKeys(&window, nullptr, {{QKeySequence(Qt::CTRL | Qt::Key_E), editor}}, {});
    window.show();
    QApplication::setActiveWindow(&window);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    field->setFocus();
    QTest::keyClick(field, Qt::Key_E, Qt::ControlModifier);
    EXPECT_EQ(clicks, 1);
    // Keys that are no button's stay the field's.
    QTest::keyClick(field, Qt::Key_A);
    EXPECT_EQ(field->text(), QStringLiteral("a"));
}

// Each key presses its button: the bytes arrive at the module.
TEST_F(WindowKeysTest, SingleCommandKeysSendTheirCommands) {
    show();
    ASSERT_TRUE(w.module1);
    struct Case {
        QKeyCombination key;
        std::uint8_t command;
    };
    const Case cases[] = {
        {Qt::CTRL | Qt::Key_T, module::CmdConnectionTest},
        {Qt::CTRL | Qt::Key_L, module::CmdClearScreen},
        {Qt::CTRL | Qt::Key_B, module::CmdBacklightOn},
        {Qt::CTRL | Qt::SHIFT | Qt::Key_B, module::CmdBacklightOff},
    };
    QByteArray expected;
    for (const Case& c : cases) {
        QTest::keyClick(w.window.get(), c.key.key(), c.key.keyboardModifiers());
        expected += module::simpleCommand(c.command);
        ASSERT_TRUE(waitUntil([&] { return w.module1->received() == expected; }))
            << QKeySequence(c.key).toString().toStdString() << ": "
            << w.module1->received().toHex().toStdString();
    }
}

// A key does no more than its button: while a transfer runs, the test key sends
// nothing into the data stream.
TEST_F(WindowKeysTest, SingleCommandKeysAreDeadWhileATransferRuns) {
    ScriptedModule::Config lineRate;
    lineRate.lineRate = true;
    show(lineRate);
    ASSERT_TRUE(w.module1);
    QTest::keyClick(w.window.get(), Qt::Key_D, Qt::ControlModifier);
    auto* test = w.child<QPushButton>("Command7");
    ASSERT_TRUE(waitUntil([&] { return !test->isEnabled(); }, 10000));
    QTest::keyClick(w.window.get(), Qt::Key_T, Qt::ControlModifier);
    ASSERT_TRUE(waitUntil([&] { return test->isEnabled(); }, 10000));
    spin(100);
    // The one test is the download's own, before its header; none went into the data.
    EXPECT_EQ(w.module1->testsAnswered(), 1);
    const QByteArray testCommand = module::simpleCommand(module::CmdConnectionTest);
    EXPECT_TRUE(w.module1->received().startsWith(testCommand + QByteArray::fromHex("A668")));
    EXPECT_FALSE(w.module1->received().mid(testCommand.size()).contains(testCommand));
    // Afterwards the key works again.
    QTest::keyClick(w.window.get(), Qt::Key_T, Qt::ControlModifier);
    EXPECT_TRUE(waitUntil([&] { return w.module1->testsAnswered() == 2; }));
}

// Ctrl+Enter, Ctrl+I and Ctrl+D reach their buttons with the focus in the console's fields.
TEST_F(WindowKeysTest, ConsoleKeysWorkWhileTypingAndDownloadKeyStartsADownload) {
    show();
    ASSERT_TRUE(w.module1);
    auto* combo = w.child<QComboBox>("Combo1");
    auto* text2 = w.child<QLineEdit>("Text2");
    combo->activated(7); // 背光打开: no parameters
    combo->lineEdit()->setFocus();
    QTest::keyClick(combo->lineEdit(), Qt::Key_Return, Qt::ControlModifier);
    const QByteArray backlightOn = module::simpleCommand(module::CmdBacklightOn);
    ASSERT_TRUE(waitUntil([&] { return w.module1->received() == backlightOn; }))
        << w.module1->received().toHex().toStdString();
    EXPECT_EQ(text2->text(), QStringLiteral("1D070D"));

    // Ctrl+I inverts the command text, as the button does.
    text2->setFocus();
    QTest::keyClick(text2, Qt::Key_I, Qt::ControlModifier);
    EXPECT_EQ(text2->text(), QStringLiteral("1D870D"));

    // The download key with the focus in a text field: the list is empty, so the
    // module gets the header of the directory alone.
    QTest::keyClick(text2, Qt::Key_D, Qt::ControlModifier);
    EXPECT_EQ(text2->text(), QStringLiteral("1D870D")); // nothing deleted
    ASSERT_TRUE(waitUntil([&] { return w.module1->headersAnswered() == 1; }, 10000));
    EXPECT_TRUE(w.module1->received().mid(backlightOn.size()).startsWith(QByteArray::fromHex("1D0C0DA66800")));
}

TEST_F(WindowKeysTest, InsertAddsTheBrowsedFileAndDeleteRemovesTheListEntry) {
    QTemporaryDir pictures;
    QFile f(pictures.filePath("a.bmp"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(makeBmp(BmpLayout{}));
    f.close();
    show();
    ASSERT_TRUE(w.child<DirListBox>("Dir1")->setPath(pictures.path()));
    auto* files = w.child<QListWidget>("File1");
    auto* list = w.child<QListWidget>("List1");
    ASSERT_EQ(files->count(), 1);
    files->setFocus();
    files->setCurrentRow(0);

    // Insert belongs to the file list: elsewhere it adds nothing.
    w.child("Text2")->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Insert);
    EXPECT_EQ(list->count(), 0);
    files->setFocus();
    QTest::keyClick(files, Qt::Key_Insert);
    ASSERT_EQ(list->count(), 1);
    EXPECT_TRUE(list->item(0)->text().endsWith("a.bmp"));

    // Delete belongs to the download list.
    list->setFocus();
    list->setCurrentRow(0);
    files->setFocus();
    QTest::keyClick(files, Qt::Key_Delete);
    EXPECT_EQ(list->count(), 1);
    list->setFocus();
    QTest::keyClick(list, Qt::Key_Delete);
    EXPECT_EQ(list->count(), 0);
}

TEST_F(WindowKeysTest, TabFollowsTheLayout) {
    show();
    // The order Tab visits the known controls in, whatever else the window holds.
    QStringList visited;
    QWidget* start = w.child("Port1Device") ? w.child("Port1Device") : w.child("Option1");
    QWidget* at = start;
    // The designed order, by the controls' object names.
    const QStringList known = {
        "Port1Device", "Port2Device", "Option1",   "Option2",  "Drive1",    "Dir1",
        "Command5",    "File1",       "Command6",  "Command7", "Command8",  "Command9",
        "Command10",   "Command11",   "Command12", "List1",    "Command1",  "Command2",
        "Command3",    "Command4",    "Combo1",    "Text2",    "Command14", "Command13",
    };
    QStringList given;
    for (QWidget* c : w.window->tabOrder())
        given << c->objectName();
    EXPECT_EQ(given, known);
    do {
        const QString name = at->objectName();
        if (known.contains(name) && !visited.contains(name))
            visited << name;
        at = at->nextInFocusChain();
    } while (at != start);
    QStringList expected;
    for (const QString& n : known)
        if (w.child(n.toLatin1().constData()))
            expected << n;
    EXPECT_EQ(visited, expected);

    // And a real Tab from the console's field goes to its hex field, then to the buttons.
    auto* combo = w.child<QComboBox>("Combo1");
    combo->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), w.child("Text2"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), w.child("Command14"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), w.child("Command13"));
}

// The preview scales a 1-bit picture up without smoothing: the drawn label holds
// the picture's two colours and nothing between them.
TEST_F(WindowKeysTest, PreviewDotsStaySharpWhenScaledUp) {
    QTemporaryDir pictures;
    BmpLayout layout;
    layout.width = 16;
    layout.height = 8;
    layout.rows = patternRows(16, 8, 3);
    QFile f(pictures.filePath("small.bmp"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(makeBmp(layout));
    f.close();
    show();
    ASSERT_TRUE(w.child<DirListBox>("Dir1")->setPath(pictures.path()));
    w.child<QListWidget>("File1")->setCurrentRow(0);
    auto* preview = w.child<QLabel>("Image1");
    ASSERT_FALSE(preview->pixmap().isNull());
    ASSERT_GT(preview->width(), 16 * 4); // scaled up several times
    const QImage drawn = preview->grab().toImage().convertToFormat(QImage::Format_RGB32);
    QSet<QRgb> colours;
    for (int y = 0; y < drawn.height(); ++y)
        for (int x = 0; x < drawn.width(); ++x)
            colours.insert(drawn.pixel(x, y) & 0xFFFFFF);
    EXPECT_EQ(colours.size(), 2);
    EXPECT_EQ(preview->pixmap().size(), QSize(16, 8)); // the label keeps the picture as read
}
