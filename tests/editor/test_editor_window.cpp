// The composer and the import dialog through the main window: Command6, the drop on
// List1, "保存位图", "确定" and "发送到模块" against a scripted module.
#include "shell/WindowFixture.h"

#include "bitmap/BmpReader.h"
#include "bitmap/BmpWriter.h"
#include "library/FileBrowser.h"
#include "protocol/Module.h"
#include "shell/editor/ComposerCanvas.h"
#include "shell/editor/ComposerWindow.h"
#include "shell/editor/ImportDialog.h"
#include "shell/editor/ItemDialog.h"
#include "shell/StatusTexts.h"
#include "support/TestFiles.h"
#include "support/TestGif.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDropEvent>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QPainter>
#include <QSettings>
#include <QSpinBox>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <gtest/gtest.h>

using namespace panelix;
using namespace panelix::compose;
using namespace panelix::test;

namespace {

class Editor : public ::testing::Test {
protected:
    void SetUp() override {
        // The import settings of these tests never reach the user's own.
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir.path());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settingsDir.path());
        QSettings(QStringLiteral("Panelix"), QStringLiteral("Panelix")).remove(QStringLiteral("import"));
    }

    QString dataDir() const { return w.window->dataDir(); }

    ComposerWindow* openComposer() {
        w.click("Command6");
        return w.window->findChild<ComposerWindow*>();
    }

    // Black rectangles on white, written as a PNG.
    QString writePicture(const QString& name, QSize size, const QList<QRect>& black) {
        QImage image(size, QImage::Format_RGB32);
        image.fill(Qt::white);
        QPainter p(&image);
        for (const QRect& r : black)
            p.fillRect(r, Qt::black);
        p.end();
        const QString path = sources.filePath(name);
        EXPECT_TRUE(image.save(path));
        return path;
    }

    void drop(const QStringList& paths) {
        auto* list = w.child<QListWidget>("List1");
        QMimeData data;
        QList<QUrl> urls;
        for (const QString& p : paths)
            urls.append(QUrl::fromLocalFile(p));
        data.setUrls(urls);
        const QPoint at = list->viewport()->rect().center();
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(list->viewport(), &enter);
        accepted = enter.isAccepted();
        if (!accepted)
            return;
        QDropEvent dropped(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(list->viewport(), &dropped);
    }

    ImportDialog* importDialog() const { return w.window->findChild<ImportDialog*>(); }

    QTemporaryDir settingsDir;
    QTemporaryDir sources;
    WindowOnPtys w;
    bool accepted = false;
};

MonoBitmap readBack(const QString& path) {
    BmpReader reader;
    EXPECT_TRUE(reader.readBmp(path)) << describe(reader.error());
    return reader.bitmap();
}

} // namespace

TEST_F(Editor, Command6OpensTheComposerAndSaveListsTheComposedBmp) {
    w.open();
    ComposerWindow* composer = openComposer();
    ASSERT_NE(composer, nullptr);
    EXPECT_TRUE(composer->isVisible());
    EXPECT_EQ(openComposer(), composer); // one composer per window

    Composition c = composer->document().composition();
    ASSERT_EQ(c.size(), QSize(320, 240));
    c.add(RectItem{QRect(8, 4, 96, 40), 2, true});
    c.add(LineItem{QPoint(0, 239), QPoint(319, 100), 1, true});
    c.add(PictureItem{QPoint(200, 10), MonoBitmap(24, 24, true), QStringLiteral("dot.png")});
    c.add(InvertItem{QRect(208, 0, 8, 60)});
    composer->document().apply(c, QStringLiteral("test"));

    const int before = w.window->bitmapList().count();
    composer->findChild<QPushButton*>("ComposeSave")->click();
    ASSERT_EQ(w.window->bitmapList().count(), before + 1) << composer->status().toStdString();
    const QString bmp = QDir(dataDir()).absoluteFilePath("screen.bmp");
    EXPECT_EQ(w.window->bitmapList().entries().last(), bmp);
    EXPECT_EQ(composer->status(), QStringLiteral("位图已保存:screen.bmp"));
    // The main window follows the saved entry: the list's row, "序号" and the preview, and
    // nothing is sent to the module (the picture is not downloaded yet).
    EXPECT_EQ(w.child<QListWidget>("List1")->currentRow(), before);
    EXPECT_EQ(w.child<QLineEdit>("Text1")->text(), listNumberText(before));
    EXPECT_EQ(w.child<QLabel>("Image1")->pixmap().size(), QSize(320, 240));
    spin(100);
    EXPECT_FALSE(w.module1->received().contains(module::showImageCommand(0, 0, before)));
    // The file holds the composed picture: its frame, the picture and the inverted strip.
    const MonoBitmap saved = readBack(bmp);
    EXPECT_EQ(saved, composer->document().rendered());
    EXPECT_TRUE(saved.pixel(8, 4));
    EXPECT_TRUE(saved.pixel(9, 43));
    EXPECT_FALSE(saved.pixel(10, 6));
    EXPECT_TRUE(saved.pixel(200, 10));
    EXPECT_FALSE(saved.pixel(210, 20)); // dark picture, inverted
    EXPECT_TRUE(saved.pixel(210, 50));  // light ground, inverted

    // The project beside it reopens as the same composition.
    const std::optional<Composition> project =
        Composition::fromJson(readFile(QDir(dataDir()).filePath("screen.json")));
    ASSERT_TRUE(project);
    EXPECT_EQ(*project, composer->document().composition());

    // Saved again after an undo: the same file is replaced, the list keeps one entry.
    composer->findChild<QAction*>("ComposeUndo")->trigger();
    composer->findChild<QPushButton*>("ComposeSave")->click();
    EXPECT_EQ(w.window->bitmapList().count(), before + 1);
    EXPECT_EQ(readBack(bmp), Composition(QSize(320, 240)).render({}));

    // A new composition never overwrites the files of another one.
    composer->findChild<QAction*>("ComposeNew")->trigger();
    composer->findChild<QPushButton*>("ComposeSave")->click();
    EXPECT_EQ(w.window->bitmapList().entries().last(), QDir(dataDir()).absoluteFilePath("screen-2.bmp"));
    EXPECT_EQ(readBack(bmp), Composition(QSize(320, 240)).render({}));

    // A damaged project is refused with its name; the composition stays.
    writeFile(QDir(dataDir()).filePath("broken.json"), "{\"format\": \"panelix-composition\"");
    EXPECT_FALSE(composer->openProject(QDir(dataDir()).filePath("broken.json")));
    EXPECT_EQ(composer->status(), QStringLiteral("项目文件格式错误:broken.json"));
    ASSERT_TRUE(composer->openProject(QDir(dataDir()).filePath("screen.json")));
    EXPECT_EQ(composer->findChild<QLineEdit*>("ComposeName")->text(), QStringLiteral("screen"));
}

TEST_F(Editor, SendDownloadsTheListAndShowsThePictureOnTheModule) {
    w.open();
    ComposerWindow* composer = openComposer();
    ASSERT_NE(composer, nullptr);
    w.window->bitmapList().add(QDir(dataDir()).filePath("other.bmp"), nullptr);
    ASSERT_TRUE(writeBmpFile(QDir(dataDir()).filePath("other.bmp"), MonoBitmap(8, 2)));

    // Small, so that the download takes a fraction of a second at 19,200 baud.
    Composition c(QSize(64, 32));
    c.add(RectItem{QRect(0, 0, 64, 32), 3, true});
    c.add(RectItem{QRect(20, 8, 16, 16), 0, true});
    composer->document().apply(c, QStringLiteral("test"));
    composer->findChild<QPushButton*>("ComposeSend")->click();

    // The composed picture is entry 2 of the download, shown as stored image 1.
    const QByteArray show = module::showImageCommand(0, 0, 1);
    ASSERT_TRUE(waitUntil([&] { return w.module1->received().endsWith(show); }, 10000))
        << composer->status().toStdString();
    EXPECT_EQ(composer->status(), texts::downloadDone());
    const QByteArray data = w.module1->dataBytes();
    const QByteArray rows = composer->document().rendered().bytes();
    const module::Directory dir = module::decodeDirectory(data);
    ASSERT_EQ(dir.images.size(), 2u);
    EXPECT_EQ(dir.images[1].widthBytes, 8);
    EXPECT_EQ(dir.images[1].height, 32);
    EXPECT_EQ(data.mid(dir.images[1].start, rows.size()), rows);
}

TEST_F(Editor, SendOnAClosedPortSaysSoAndShowsNothing) {
    w.open(false, false);
    ComposerWindow* composer = openComposer();
    ASSERT_NE(composer, nullptr);
    composer->findChild<QPushButton*>("ComposeSend")->click();
    EXPECT_EQ(composer->status(), texts::portNotOpen());
    // The picture is saved and listed all the same.
    EXPECT_EQ(w.window->bitmapList().count(), 1);
}

TEST_F(Editor, DroppedPicturesGoThroughTheImportDialogOneAfterTheOther) {
    w.open();
    const QString photo = writePicture("photo.png", QSize(320, 240), {QRect(16, 8, 40, 30)});
    const QString second = writePicture("second.png", QSize(160, 120), {QRect(0, 0, 80, 120)});
    const QString mono = sources.filePath("mono.bmp");
    ASSERT_TRUE(writeBmpFile(mono, MonoBitmap(16, 16, true)));
    writeFile(sources.filePath("notes.txt"), "no picture");

    drop({sources.filePath("notes.txt")});
    EXPECT_FALSE(accepted);
    EXPECT_EQ(importDialog(), nullptr);

    drop({photo, sources.filePath("notes.txt"), mono, second});
    ASSERT_TRUE(accepted);
    // The 1-bit BMP is listed as it is, as Add lists a file.
    ASSERT_EQ(w.window->bitmapList().entries(), QStringList{mono});
    ImportDialog* dialog = importDialog();
    ASSERT_NE(dialog, nullptr);
    ImportOptions o = dialog->options();
    o.target = QSize(320, 240);
    o.fit = FitMode::Fit;
    o.dither = DitherMethod::Threshold;
    dialog->setOptions(o);
    dialog->renderNow();
    EXPECT_EQ(dialog->currentSource(), photo);
    dialog->findChild<QPushButton*>("ImportOk")->click();

    const QString bmp = QDir(dataDir()).absoluteFilePath("photo.bmp");
    ASSERT_EQ(w.window->bitmapList().entries(), (QStringList{mono, bmp}));
    const MonoBitmap picture = readBack(bmp);
    ASSERT_EQ(picture.width(), 320);
    ASSERT_EQ(picture.height(), 240);
    for (int y = 0; y < 240; ++y)
        for (int x = 0; x < 320; ++x)
            ASSERT_EQ(picture.pixel(x, y), x >= 16 && x < 56 && y >= 8 && y < 38) << x << "," << y;

    // The next file comes up with the same settings: 160 x 120 fits 320 x 240 at twice its size.
    ASSERT_EQ(importDialog(), dialog);
    EXPECT_EQ(dialog->currentSource(), second);
    EXPECT_EQ(dialog->options().dither, DitherMethod::Threshold);
    dialog->renderNow();
    dialog->findChild<QPushButton*>("ImportOk")->click();
    ASSERT_TRUE(waitUntil([&] { return importDialog() == nullptr; }, 2000));
    const MonoBitmap half = readBack(QDir(dataDir()).absoluteFilePath("second.bmp"));
    EXPECT_TRUE(half.pixel(150, 120));
    EXPECT_FALSE(half.pixel(170, 120));

    // Remembered for the next import.
    EXPECT_EQ(ImportDialog::savedOptions().dither, DitherMethod::Threshold);
}

TEST_F(Editor, ImportRefusalsReachTheStatusLine) {
    w.open();
    QStringList full;
    for (int i = 0; i < BitmapList::MaxEntries; ++i)
        full.append(QStringLiteral("/x/%1.bmp").arg(i));
    w.window->bitmapList().setEntries(full);
    writeFile(sources.filePath("broken.png"), "\x89PNG\r\n\x1a\n cut short");
    const QString photo = writePicture("photo.png", QSize(64, 64), {QRect(0, 0, 8, 8)});

    drop({sources.filePath("broken.png"), photo});
    ImportDialog* dialog = importDialog();
    ASSERT_NE(dialog, nullptr);
    dialog->renderNow();
    EXPECT_EQ(w.status(), QStringLiteral("图片无法读取:broken.png"));
    EXPECT_FALSE(dialog->findChild<QPushButton*>("ImportOk")->isEnabled());
    dialog->findChild<QPushButton*>("ImportSkip")->click();
    dialog->renderNow();
    dialog->findChild<QPushButton*>("ImportOk")->click();
    EXPECT_EQ(w.status(), QStringLiteral("位图列表已满,最多251个!"));
    // Refused: no file written, the dialog still holds the picture.
    EXPECT_FALSE(QFile::exists(QDir(dataDir()).filePath("photo.bmp")));
    EXPECT_EQ(importDialog(), dialog);
    dialog->findChild<QPushButton*>("ImportCancel")->click();
}

TEST_F(Editor, CanvasGesturesDrawAndMoveInByteColumns) {
    w.open();
    ComposerWindow* composer = openComposer();
    ASSERT_NE(composer, nullptr);
    ComposerCanvas& canvas = composer->canvas();
    canvas.setZoom(2);
    const auto at = [](int x, int y) { return QPoint(2 * x + 1, 2 * y + 1); };

    // A rectangle dragged from dot (3, 2) to (20, 10) covers the byte columns it touched.
    composer->findChild<QAction*>("ComposeRect")->trigger();
    QTest::mousePress(&canvas, Qt::LeftButton, Qt::NoModifier, at(3, 2));
    QTest::mouseMove(&canvas, at(12, 6));
    QTest::mouseMove(&canvas, at(20, 10));
    QTest::mouseRelease(&canvas, Qt::LeftButton, Qt::NoModifier, at(20, 10));
    ASSERT_EQ(composer->document().composition().count(), 1);
    EXPECT_EQ(std::get<RectItem>(*composer->document().composition().item(0)).rect, QRect(0, 2, 24, 9));
    EXPECT_EQ(canvas.tool(), ComposerCanvas::Tool::Select);
    EXPECT_EQ(composer->findChild<QLabel*>("ComposePosition")->text(), QStringLiteral("X:20 Y:10 字节列:2"));

    // Dragged 13 dots right and 5 down, its left edge lands on the nearest column: 16.
    QTest::mousePress(&canvas, Qt::LeftButton, Qt::NoModifier, at(1, 3));
    QTest::mouseMove(&canvas, at(14, 8));
    QTest::mouseRelease(&canvas, Qt::LeftButton, Qt::NoModifier, at(14, 8));
    EXPECT_EQ(std::get<RectItem>(*composer->document().composition().item(0)).rect, QRect(16, 7, 24, 9));
    // Without snapping it goes where it was dragged; the arrow keys move it by a dot.
    composer->findChild<QCheckBox*>("ComposeSnap")->setChecked(false);
    QTest::mousePress(&canvas, Qt::LeftButton, Qt::NoModifier, at(17, 8));
    QTest::mouseRelease(&canvas, Qt::LeftButton, Qt::NoModifier, at(20, 8));
    QTest::keyClick(&canvas, Qt::Key_Down);
    EXPECT_EQ(std::get<RectItem>(*composer->document().composition().item(0)).rect, QRect(19, 8, 24, 9));
    // With snapping back on, a click that drags nothing leaves it off the columns.
    composer->findChild<QCheckBox*>("ComposeSnap")->setChecked(true);
    QTest::mouseClick(&canvas, Qt::LeftButton, Qt::NoModifier, at(20, 9));
    EXPECT_EQ(std::get<RectItem>(*composer->document().composition().item(0)).rect, QRect(19, 8, 24, 9));
    EXPECT_EQ(composer->document().undoStack().count(), 4);
    QTest::keyClick(&canvas, Qt::Key_Delete);
    EXPECT_EQ(composer->document().composition().count(), 0);

    // The canvas size is part of the composition, undone like any change.
    composer->findChild<QSpinBox*>("ComposeWidth")->setValue(64);
    EXPECT_EQ(composer->document().rendered().width(), 64);
    EXPECT_EQ(canvas.size(), QSize(128, 480));
    composer->findChild<QAction*>("ComposeUndo")->trigger();
    EXPECT_EQ(composer->document().composition().size(), QSize(320, 240));
    EXPECT_EQ(composer->findChild<QSpinBox*>("ComposeWidth")->value(), 320);
}

// Each import starts at the picture's own size, not at the size of an unrelated
// import before it; a size the user sets holds for the rest of that drop only.
TEST_F(Editor, EachImportStartsAtThePicturesOwnSize) {
    w.open();
    const QString icon = writePicture("icon.png", QSize(64, 48), {QRect(0, 0, 8, 8)});
    const QString wide = writePicture("wide.png", QSize(1000, 200), {QRect(0, 0, 500, 200)});
    const QString small = writePicture("small.png", QSize(40, 30), {QRect(0, 0, 8, 8)});

    drop({icon, wide});
    ImportDialog* dialog = importDialog();
    ASSERT_NE(dialog, nullptr);
    dialog->renderNow();
    EXPECT_EQ(dialog->options().target, QSize(64, 48));
    dialog->findChild<QPushButton*>("ImportOk")->click();
    // Nothing chosen: the next picture of the drop takes its own size too.
    dialog->renderNow();
    EXPECT_EQ(dialog->currentSource(), wide);
    EXPECT_EQ(dialog->options().target, QSize(320, 64));
    // The user picks a size for this one.
    dialog->findChild<QSpinBox*>("ImportWidth")->setValue(100);
    dialog->findChild<QSpinBox*>("ImportHeight")->setValue(50);
    dialog->findChild<QPushButton*>("ImportOk")->click();
    ASSERT_TRUE(waitUntil([&] { return importDialog() == nullptr; }, 2000));
    EXPECT_EQ(readBack(QDir(dataDir()).absoluteFilePath("icon.bmp")).width(), 64);
    const MonoBitmap chosen = readBack(QDir(dataDir()).absoluteFilePath("wide.bmp"));
    EXPECT_EQ(QSize(chosen.width(), chosen.height()), QSize(100, 50));

    // A later, unrelated import starts at its picture's size again.
    drop({small});
    dialog = importDialog();
    ASSERT_NE(dialog, nullptr);
    dialog->renderNow();
    EXPECT_EQ(dialog->options().target, QSize(40, 30));
    dialog->findChild<QPushButton*>("ImportCancel")->click();
}

// "文字" asks for the text where the canvas was clicked (snapped to its byte
// column), in a dialog that says what it adds; editing says what it edits.
TEST_F(Editor, NewTextGoesWhereTheCanvasWasClicked) {
    w.open();
    ComposerWindow* composer = openComposer();
    ASSERT_NE(composer, nullptr);
    ComposerCanvas& canvas = composer->canvas();
    canvas.setZoom(2);
    QTest::mouseClick(&canvas, Qt::LeftButton, Qt::NoModifier, QPoint(2 * 45 + 1, 2 * 100 + 1));

    QString title;
    QPoint shown;
    auto answer = [&] {
        auto* dialog = qobject_cast<ItemDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        title = dialog->windowTitle();
        shown = QPoint(dialog->findChild<QSpinBox*>("ItemX")->value(), dialog->findChild<QSpinBox*>("ItemY")->value());
        dialog->accept();
    };
    QTimer::singleShot(0, composer, answer);
    composer->findChild<QAction*>("ComposeText")->trigger();
    EXPECT_EQ(title, QStringLiteral("添加文字"));
    EXPECT_EQ(shown, QPoint(40, 100));
    ASSERT_EQ(composer->document().composition().count(), 1);
    EXPECT_EQ(std::get<TextItem>(*composer->document().composition().item(0)).pos, QPoint(40, 100));

    canvas.setSelected(0);
    QTimer::singleShot(0, composer, answer);
    composer->findChild<QAction*>("ComposeEdit")->trigger();
    EXPECT_EQ(title, QStringLiteral("文字属性"));
    EXPECT_EQ(shown, QPoint(40, 100));
}

// An animated GIF dropped on List1 is listed a BMP a frame; "播放" of the list's context
// menu then shows those stored pictures in turn, as often as the GIF says.
TEST_F(Editor, AnimatedGifListsItsFramesAndPlayShowsThemInTurn) {
    w.open();
    const QString still = writePicture("still.png", QSize(16, 8), {QRect(0, 0, 4, 4)});
    const QSize size(16, 8);
    const QString gif = sources.filePath("walk.gif");
    ASSERT_TRUE(writeFile(gif, makeGif(size, {columnFrame(size, 2, 6), columnFrame(size, 7, 3), columnFrame(size, 12, 4)}, 1)));
    drop({still, gif});
    ImportDialog* dialog = importDialog();
    ASSERT_NE(dialog, nullptr);
    ImportOptions o = dialog->options();
    o.target = size;
    o.fit = FitMode::Original;
    o.dither = DitherMethod::Threshold;
    dialog->setOptions(o);
    dialog->renderNow();
    dialog->findChild<QPushButton*>("ImportOk")->click();
    ASSERT_EQ(dialog->currentSource(), gif);
    dialog->renderNow();
    EXPECT_TRUE(dialog->findChild<QLabel*>("ImportInfo")->text().endsWith(QStringLiteral("动画3帧")));
    dialog->findChild<QPushButton*>("ImportOk")->click();
    ASSERT_TRUE(waitUntil([&] { return importDialog() == nullptr; }, 2000));

    const QDir dir(dataDir());
    const QStringList frames{dir.absoluteFilePath("walk.bmp"), dir.absoluteFilePath("walk-2.bmp"),
                             dir.absoluteFilePath("walk-3.bmp")};
    ASSERT_EQ(w.window->bitmapList().entries(), QStringList{dir.absoluteFilePath("still.bmp")} + frames);
    const int columns[] = {2, 7, 12};
    for (int k = 0; k < 3; ++k) {
        const MonoBitmap frame = readBack(frames[k]);
        for (int x = 0; x < 16; ++x)
            EXPECT_EQ(frame.pixel(x, 5), x == columns[k]) << k << " " << x;
    }

    // From the second frame selected: the whole animation, twice (one repeat), frames 1..3.
    w.window->bitmapList().select(2);
    const QByteArray show = module::showImageCommand(0, 0, 2);
    ASSERT_TRUE(waitUntil([&] { return w.module1->received().endsWith(show); }, 5000));
    const qint64 before = w.module1->received().size();
    auto* list = w.child<QListWidget>("List1");
    EXPECT_EQ(list->contextMenuPolicy(), Qt::ActionsContextMenu);
    list->findChild<QAction*>("PlayList")->trigger();
    EXPECT_EQ(w.status(), QStringLiteral("正在播放..."));
    ASSERT_TRUE(waitUntil([&] { return w.status() == QStringLiteral("播放结束"); }, 5000)) << w.status().toStdString();
    QByteArray expected;
    for (int pass = 0; pass < 2; ++pass)
        for (int n = 1; n <= 3; ++n)
            expected += module::showImageCommand(0, 0, std::uint8_t(n));
    ASSERT_TRUE(waitUntil([&] { return w.module1->received().size() >= before + expected.size(); }, 2000));
    EXPECT_EQ(w.module1->received().mid(before), expected);

    // "停止播放" ends a play at once.
    list->findChild<QAction*>("PlayList")->trigger();
    EXPECT_TRUE(w.window->session().playing());
    list->findChild<QAction*>("StopPlaying")->trigger();
    EXPECT_FALSE(w.window->session().playing());
    EXPECT_EQ(w.status(), QString());
}
