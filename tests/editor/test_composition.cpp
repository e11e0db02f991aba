// The composer's model without a window: what each item draws, snapping, the
// project file, undo, and how a finished picture joins the bitmap list.
#include "compose/BitmapStore.h"
#include "compose/ComposerDocument.h"
#include "compose/Composition.h"
#include "compose/TextRender.h"

#include "bitmap/BmpReader.h"
#include "library/BitmapList.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>

using panelix::test::describe;

using namespace panelix;
using namespace panelix::compose;

namespace {

// The picture whose dark dots are those for which dark(x, y) holds.
MonoBitmap expected(QSize size, const std::function<bool(int, int)>& dark) {
    MonoBitmap b(size.width(), size.height());
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x)
            b.setPixel(x, y, dark(x, y));
    return b;
}

bool inside(int x, int y, int left, int top, int width, int height) {
    return x >= left && x < left + width && y >= top && y < top + height;
}

MonoBitmap renderOf(QSize size, std::initializer_list<Item> items, const FontMemory& font = {}) {
    Composition c(size);
    for (const Item& it : items)
        c.add(it);
    return c.render(font);
}

} // namespace

TEST(ComposeRender, RectangleFrameFilledAndFrameThatMeetsItself) {
    const QSize size(48, 24);
    // A frame 2 dots thick along the inside of 16..39 x 2..13.
    EXPECT_EQ(renderOf(size, {RectItem{QRect(16, 2, 24, 12), 2, true}}), expected(size, [](int x, int y) {
                  return inside(x, y, 16, 2, 24, 12) && !inside(x, y, 18, 4, 20, 8);
              }));
    // Border 0 fills, and so does a border whose two sides meet (2 x 6 >= 12 rows).
    const MonoBitmap filled = expected(size, [](int x, int y) { return inside(x, y, 16, 2, 24, 12); });
    EXPECT_EQ(renderOf(size, {RectItem{QRect(16, 2, 24, 12), 0, true}}), filled);
    EXPECT_EQ(renderOf(size, {RectItem{QRect(16, 2, 24, 12), 6, true}}), filled);
    // A light frame cuts into a dark area below it.
    EXPECT_EQ(renderOf(size, {RectItem{QRect(0, 0, 48, 24), 0, true}, RectItem{QRect(8, 8, 8, 8), 1, false}}),
              expected(size, [](int x, int y) { return !inside(x, y, 8, 8, 8, 8) || inside(x, y, 9, 9, 6, 6); }));
}

TEST(ComposeRender, InvertedAreaExchangesWhatLiesBelow) {
    const QSize size(32, 16);
    const MonoBitmap b =
        renderOf(size, {RectItem{QRect(0, 0, 16, 16), 0, true}, InvertItem{QRect(8, 4, 16, 8)}});
    EXPECT_EQ(b, expected(size, [](int x, int y) { return inside(x, y, 0, 0, 16, 16) != inside(x, y, 8, 4, 16, 8); }));
    // Beyond the edge nothing happens and nothing wraps.
    EXPECT_EQ(renderOf(size, {InvertItem{QRect(28, -4, 20, 8)}}),
              expected(size, [](int x, int y) { return inside(x, y, 28, 0, 4, 4); }));
}

TEST(ComposeRender, LinesWithSquarePen) {
    const QSize size(16, 12);
    EXPECT_EQ(renderOf(size, {LineItem{QPoint(2, 3), QPoint(9, 3), 1, true}}),
              expected(size, [](int x, int y) { return y == 3 && x >= 2 && x <= 9; }));
    // Drawn backwards, a diagonal covers the same dots.
    EXPECT_EQ(renderOf(size, {LineItem{QPoint(5, 5), QPoint(0, 0), 1, true}}),
              expected(size, [](int x, int y) { return x == y && x <= 5; }));
    // Three dots thick: centred on the line.
    EXPECT_EQ(renderOf(size, {LineItem{QPoint(2, 6), QPoint(9, 6), 3, true}}),
              expected(size, [](int x, int y) { return y >= 5 && y <= 7 && x >= 1 && x <= 10; }));
    // A steep line steps one column for every two rows.
    const MonoBitmap steep = renderOf(size, {LineItem{QPoint(0, 0), QPoint(3, 7), 1, true}});
    int dots = 0;
    for (int y = 0; y < 8; ++y) {
        int inRow = 0;
        for (int x = 0; x < size.width(); ++x)
            inRow += steep.pixel(x, y) ? 1 : 0;
        EXPECT_EQ(inRow, 1) << "row " << y;
        dots += inRow;
    }
    EXPECT_EQ(dots, 8);
    EXPECT_TRUE(steep.pixel(3, 7));
}

TEST(ComposeRender, PicturesAreOpaqueAndCutAtTheEdges) {
    MonoBitmap pic(3, 2);
    pic.setPixel(0, 0, true);
    pic.setPixel(2, 1, true);
    const QSize size(13, 4); // no multiple of 8: the unused bits stay light
    const MonoBitmap b = renderOf(size, {RectItem{QRect(0, 0, 13, 4), 0, true}, PictureItem{QPoint(11, 1), pic, {}}});
    EXPECT_EQ(b, expected(size, [](int x, int y) {
                  if (inside(x, y, 11, 1, 2, 2))
                      return x == 11 && y == 1;
                  return true;
              }));
    EXPECT_EQ(quint8(b.row(0)[1]) & 0x07, 0x07);
}

TEST(ComposeSnap, AnchorsGoToTheNearestByteColumn) {
    EXPECT_EQ(snapToColumn(0), 0);
    EXPECT_EQ(snapToColumn(3), 0);
    EXPECT_EQ(snapToColumn(4), 8);
    EXPECT_EQ(snapToColumn(13), 16);
    EXPECT_EQ(snapToColumn(-3), 0);
    EXPECT_EQ(snapToColumn(-5), -8);

    MonoBitmap dot(1, 1);
    dot.setPixel(0, 0, true);
    Composition c(QSize(40, 8));
    const int picture = c.add(PictureItem{QPoint(0, 0), dot, {}});
    const int line = c.add(LineItem{QPoint(2, 7), QPoint(5, 7), 1, true});
    c.move(picture, QPoint(13, 3), true);
    c.move(line, QPoint(9, -1), true);
    EXPECT_EQ(anchorOf(*c.item(picture)), QPoint(16, 3));
    // The whole line moves with its start: 11 -> 8, the end 14 -> 11.
    EXPECT_EQ(std::get<LineItem>(*c.item(line)).to, QPoint(11, 6));
    EXPECT_EQ(c.render({}), expected(c.size(), [](int x, int y) {
                  return (x == 16 && y == 3) || (y == 6 && x >= 8 && x <= 11);
              }));
    // Without snapping the dot lands where it was dragged.
    c.move(picture, QPoint(-3, 0), false);
    EXPECT_EQ(anchorOf(*c.item(picture)), QPoint(13, 3));
}

TEST(ComposeModel, ItemsStackAndAreFoundFromTheTop) {
    Composition c(QSize(64, 32));
    const int back = c.add(RectItem{QRect(0, 0, 32, 32), 0, true});
    const int front = c.add(InvertItem{QRect(8, 8, 8, 8)});
    EXPECT_EQ(c.itemAt(QPoint(10, 10)), front);
    EXPECT_EQ(c.itemAt(QPoint(2, 2)), back);
    EXPECT_EQ(c.itemAt(QPoint(40, 2)), -1);
    // Lowered below the rectangle, the inversion has nothing under it to invert.
    EXPECT_EQ(c.lower(front), 0);
    EXPECT_TRUE(c.render({}).pixel(10, 10));
    EXPECT_EQ(c.raise(0), 1);
    EXPECT_FALSE(c.render({}).pixel(10, 10));
    c.remove(7); // out of range: nothing
    c.remove(0);
    EXPECT_EQ(c.count(), 1);
    c.setSize(QSize(9999, 0));
    EXPECT_EQ(c.size(), QSize(MaxWidth, 1));
}

TEST(ComposeText, ModuleCharactersAreTheGbkCodesTheCommandCarries) {
    EXPECT_EQ(moduleCharacters(QStringLiteral("汉A 1")), (std::vector<std::uint16_t>{0xBABA, 'A', ' ', '1'}));
    // Control characters would cut the command short; a character without a GBK code
    // goes out as '?'.
    EXPECT_EQ(moduleCharacters(QStringLiteral("a\tb")), (std::vector<std::uint16_t>{'a', 'b'}));
    EXPECT_EQ(moduleCharacters(QString::fromUcs4(U"\U0001F600")), (std::vector<std::uint16_t>{'?'}));
}

TEST(ComposeText, ModuleFontCellsOpaqueTransparentAndInverted) {
    FontMemory font(262144, '\0');
    // The glyph of 汉: its top row dark, the rest light.
    const int han = ((0xBA - 0xA1) * 94 + (0xBA - 0xA1)) * 32;
    font[han] = char(0xFF);
    font[han + 1] = char(0xFF);
    const QSize size(40, 20);
    const auto textAt = [](bool opaque, bool inverted) {
        TextItem t;
        t.pos = QPoint(8, 2);
        t.text = QStringLiteral("汉");
        t.opaque = opaque;
        t.inverted = inverted;
        return t;
    };
    const RectItem ground{QRect(0, 0, 40, 20), 0, true};
    EXPECT_EQ(renderOf(size, {ground, textAt(true, false)}, font), expected(size, [](int x, int y) {
                  return !inside(x, y, 8, 2, 16, 16) || y == 2;
              }));
    EXPECT_EQ(renderOf(size, {ground, textAt(false, false)}, font), expected(size, [](int, int) { return true; }));
    EXPECT_EQ(renderOf(size, {textAt(false, true)}, font), expected(size, [](int x, int y) {
                  return inside(x, y, 8, 3, 16, 15);
              }));
    EXPECT_EQ(textSize(textAt(true, false)), QSize(16, 16));
    TextItem twoLines = textAt(true, false);
    twoLines.text = QStringLiteral("ab\nc");
    EXPECT_EQ(textSize(twoLines), QSize(32, 32));
}

TEST(ComposeText, InstalledFontsDrawInsideTheirBox) {
    TextItem t;
    t.pos = QPoint(4, 3);
    t.text = QStringLiteral("Hi 汉");
    t.family = QStringLiteral("WenQuanYi Micro Hei");
    t.pixelSize = 20;
    t.opaque = false;
    const QSize box = textSize(t);
    ASSERT_GT(box.width(), 20);
    ASSERT_GE(box.height(), 20);
    const QSize size(box.width() + 12, box.height() + 8);
    const MonoBitmap b = renderOf(size, {t});
    int darkInside = 0;
    for (int y = 0; y < size.height(); ++y) {
        for (int x = 0; x < size.width(); ++x) {
            if (!b.pixel(x, y))
                continue;
            ASSERT_TRUE(inside(x, y, 4, 3, box.width(), box.height())) << x << "," << y;
            ++darkInside;
        }
    }
    EXPECT_GT(darkInside, 40);
    // Inverted: the box is dark except for the text's own dots.
    t.inverted = true;
    const MonoBitmap inv = renderOf(size, {t});
    int lightInside = 0;
    for (int y = 0; y < size.height(); ++y) {
        for (int x = 0; x < size.width(); ++x) {
            const bool in = inside(x, y, 4, 3, box.width(), box.height());
            if (!in)
                ASSERT_FALSE(inv.pixel(x, y));
            else if (!inv.pixel(x, y))
                ++lightInside;
        }
    }
    EXPECT_EQ(lightInside, darkInside);

    // Cut at the top left edge: the same dots, shifted.
    t.inverted = false;
    t.pos = QPoint(-6, -2);
    const MonoBitmap cut = renderOf(size, {t});
    for (int y = 0; y < size.height() - 5; ++y)
        for (int x = 0; x < size.width() - 10; ++x)
            ASSERT_EQ(cut.pixel(x, y), b.pixel(x + 10, y + 5)) << x << "," << y;
}

TEST(ComposeText, AHugeTextIsDrawnOnlyWhereTheCanvasIs) {
    TextItem t;
    t.pos = QPoint(-3000, -150); // the middle of the letters on the canvas
    t.text = QString(5000, QLatin1Char('W'));
    t.family = QStringLiteral("WenQuanYi Micro Hei");
    t.pixelSize = 400;
    ASSERT_GT(qint64(textSize(t).width()) * textSize(t).height(), qint64(200) * 1000 * 1000);
    const MonoBitmap b = renderOf(QSize(64, 48), {t});
    int dark = 0;
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x)
            dark += b.pixel(x, y) ? 1 : 0;
    EXPECT_GT(dark, 0);
}

TEST(ComposeProject, SavedAndLoadedCompositionRendersTheSame) {
    FontMemory font(262144, '\0');
    for (int i = 0; i < font.size(); ++i)
        font[i] = char((i * 37 + i / 5) & 0xFF);
    Composition c(QSize(200, 100));
    c.add(PictureItem{QPoint(-3, 5), MonoBitmap(21, 17, test::patternRows(21, 17, 4)), QStringLiteral("照片.png")});
    TextItem module;
    module.pos = QPoint(16, 40);
    module.text = QStringLiteral("图文 Ab\n第二行");
    module.inverted = true;
    c.add(module);
    TextItem system;
    system.pos = QPoint(60, 70);
    system.text = QStringLiteral("Panelix");
    system.family = QStringLiteral("WenQuanYi Micro Hei");
    system.pixelSize = 18;
    system.bold = true;
    system.opaque = false;
    c.add(system);
    c.add(LineItem{QPoint(0, 99), QPoint(199, 0), 2, true});
    c.add(RectItem{QRect(100, 10, 80, 40), 3, false});
    c.add(InvertItem{QRect(120, 0, 40, 100)});

    QString error;
    const std::optional<Composition> back = Composition::fromJson(c.toJson(), &error);
    ASSERT_TRUE(back) << error.toStdString();
    EXPECT_EQ(*back, c);
    EXPECT_EQ(back->render(font), c.render(font));
}

TEST(ComposeProject, DamagedProjectsAreRefusedWithAReason) {
    Composition c(QSize(64, 32));
    c.add(PictureItem{QPoint(0, 0), MonoBitmap(16, 4, test::patternRows(16, 4, 1)), {}});
    c.add(RectItem{QRect(1, 1, 8, 8), 1, true});
    const QByteArray good = c.toJson();
    ASSERT_TRUE(Composition::fromJson(good));

    auto edited = [&](const char* from, const char* to) {
        QByteArray json = good;
        EXPECT_TRUE(json.contains(from)) << from;
        return json.replace(from, to);
    };
    const QByteArray bad[] = {
        QByteArray("not json at all"),
        QByteArray("[1, 2, 3]"),
        edited("panelix-composition", "something-else"),
        edited("\"version\": 1", "\"version\": 9"),
        edited("\"width\": 64", "\"width\": 641"),
        edited("\"width\": 16", "\"width\": 24"),          // rows no longer match the picture
        edited("\"type\": \"rect\"", "\"type\": \"circle\""),
        edited("\"border\": 1", "\"border\": \"thick\""),
        edited("\"x\": 1", "\"x\": 1e12"),
        edited("\"y\": 1", "\"y\": 1.5"),
        good.left(good.size() / 2),
    };
    for (const QByteArray& json : bad) {
        QString why;
        EXPECT_FALSE(Composition::fromJson(json, &why)) << json.left(80).toStdString();
        EXPECT_FALSE(why.isEmpty());
    }
}

TEST(ComposeDocument, EveryChangeIsOneUndoStep) {
    ComposerDocument doc;
    int changes = 0;
    QObject::connect(&doc, &ComposerDocument::changed, [&] { ++changes; });
    const MonoBitmap blank = doc.rendered();
    Composition one = doc.composition();
    one.add(RectItem{QRect(8, 8, 16, 16), 0, true});
    doc.apply(one, QStringLiteral("矩形"));
    const MonoBitmap withRect = doc.rendered();
    EXPECT_TRUE(withRect.pixel(10, 10));
    Composition two = one;
    two.move(0, QPoint(5, 0), true);
    doc.apply(two, QStringLiteral("移动"));
    doc.apply(two, QStringLiteral("移动")); // unchanged: no step
    EXPECT_EQ(doc.undoStack().count(), 2);
    EXPECT_EQ(anchorOf(*doc.composition().item(0)), QPoint(16, 8)); // 13 snaps to 16

    two.move(0, QPoint(8, 0), false);
    doc.apply(two, QStringLiteral("移动"));
    EXPECT_FALSE(doc.rendered().pixel(10, 10));
    doc.undoStack().undo();
    EXPECT_EQ(anchorOf(*doc.composition().item(0)), QPoint(16, 8));
    doc.undoStack().undo();
    EXPECT_EQ(doc.rendered(), withRect);
    doc.undoStack().undo();
    EXPECT_EQ(doc.rendered(), blank);
    doc.undoStack().redo();
    EXPECT_EQ(doc.composition(), one);
    EXPECT_GE(changes, 5);

    doc.reset(Composition(QSize(16, 16)));
    EXPECT_EQ(doc.undoStack().count(), 0);
    EXPECT_EQ(doc.rendered().width(), 16);
}

class ComposeStore : public ::testing::Test {
protected:
    QString path(const QString& name) const { return dir.filePath(name); }
    QTemporaryDir dir;
    BitmapList list;
    MonoBitmap picture{24, 8, test::patternRows(24, 8, 7)};
};

TEST_F(ComposeStore, WritesTheBmpAndListsItOnce) {
    const QString bmp = path(QStringLiteral("screen.bmp"));
    StoreOutcome out = storeInList(list, bmp, picture);
    ASSERT_TRUE(out.ok) << describe(out.error);
    EXPECT_TRUE(out.added);
    EXPECT_EQ(list.entries(), QStringList{bmp});
    BmpReader reader;
    ASSERT_TRUE(reader.readBmp(bmp));
    EXPECT_EQ(reader.bitmap(), picture);
    // Saved again after a change: the file is replaced, the list keeps one entry.
    const MonoBitmap changed(24, 8, true);
    out = storeInList(list, bmp, changed);
    EXPECT_TRUE(out.ok);
    EXPECT_FALSE(out.added);
    EXPECT_EQ(list.count(), 1);
    ASSERT_TRUE(reader.readBmp(bmp));
    EXPECT_EQ(reader.bitmap(), changed);
}

TEST_F(ComposeStore, RefusalsLeaveNoFileBehind) {
    QStringList full;
    for (int i = 0; i < BitmapList::MaxEntries; ++i)
        full.append(QStringLiteral("/x/%1.bmp").arg(i));
    list.setEntries(full);
    StoreOutcome out = storeInList(list, path(QStringLiteral("more.bmp")), picture);
    EXPECT_FALSE(out.ok);
    EXPECT_EQ(describe(out.error), "ListFull");
    EXPECT_FALSE(QFile::exists(path(QStringLiteral("more.bmp"))));
    // A listed path is still saved when the list is full: nothing is appended.
    out = storeInList(list, full.first(), picture);
    EXPECT_FALSE(out.ok); // /x does not exist
    EXPECT_EQ(describe(out.error), "BitmapNotWritten 0.bmp");

    list.clear();
    const QString noGbk = path(QString::fromUcs4(U"\U0001F600.bmp"));
    out = storeInList(list, noGbk, picture);
    EXPECT_EQ(describe(out.error), "PathNotStorable");
    EXPECT_FALSE(QFile::exists(noGbk));
    EXPECT_EQ(list.count(), 0);
}

TEST_F(ComposeStore, FreeNamesAvoidBothFilesWhateverTheCase) {
    EXPECT_EQ(freeBaseName(dir.path(), QStringLiteral("screen")), QStringLiteral("screen"));
    test::writeFile(path(QStringLiteral("SCREEN.BMP")), "x");
    EXPECT_EQ(freeBaseName(dir.path(), QStringLiteral("screen")), QStringLiteral("screen-2"));
    test::writeFile(path(QStringLiteral("screen-2.json")), "{}");
    EXPECT_EQ(freeBaseName(dir.path(), QStringLiteral("screen")), QStringLiteral("screen-3"));
}

TEST(ComposeFont, ModuleFontIsTheFirst256KBOfHzk16PaddedWithZeros) {
    QTemporaryDir dir;
    InputError message;
    EXPECT_TRUE(loadModuleFont(dir.path(), &message).isEmpty());
    EXPECT_EQ(describe(message), "FontMissing");
    test::writeFile(dir.filePath(QStringLiteral("HZK16")), QByteArray(1000, '\x5A'));
    FontMemory short_ = loadModuleFont(dir.path());
    ASSERT_EQ(short_.size(), 262144);
    EXPECT_EQ(short_.left(1000), QByteArray(1000, '\x5A'));
    EXPECT_EQ(short_.mid(1000), QByteArray(262144 - 1000, '\0'));
    test::writeFile(dir.filePath(QStringLiteral("HZK16")), QByteArray(282752, '\x11'));
    EXPECT_EQ(loadModuleFont(dir.path()), QByteArray(262144, '\x11'));
}
