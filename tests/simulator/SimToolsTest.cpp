// The font tool and the demo pictures: file layouts, and what the module makes of them.
#include "SimTestSupport.h"

#include "simulator/core/ModuleCore.h"
#include "simulator/tools/DemoImages.h"
#include "simulator/tools/Hzk16Font.h"
#include "simulator/tools/MonoImage.h"
#include "simulator/tools/UnifontHex.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QSet>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace panelix {
namespace {

using test::bytes;

const char* const sampleHex = "0041:0000000018242442427E424242420000\r\n"
                              "6c49:000027F812081208820841104910091010A010A0E040204020A0211022080C06\n"
                              "5B57:not a glyph\n"
                              "FF21:01800FF001800FF001800FF001800FF001800FF001800FF001800FF001800FF0\n"
                              "XYZ\n";

const char* const realUnifont = "/usr/share/unifont/unifont.hex";

TEST(UnifontHex, HalfwidthGlyphsSitLeftInTheirCell) {
    const GlyphMap glyphs = parseUnifontHex(sampleHex);
    ASSERT_EQ(glyphs.size(), 3);
    const Glyph a = glyphs.value(U'A');
    EXPECT_EQ(a.width, 8);
    const QByteArray rows = QByteArray::fromHex("0000000018242442427E424242420000");
    for (int r = 0; r < 16; ++r) {
        EXPECT_EQ(a.cell[2 * r], rows[r]) << r;
        EXPECT_EQ(a.cell[2 * r + 1], '\0') << r;
    }
    const Glyph han = glyphs.value(U'汉');
    EXPECT_EQ(han.width, 16);
    EXPECT_EQ(han.cell,
              QByteArray::fromHex("000027F812081208820841104910091010A010A0E040204020A0211022080C06"));
}

TEST(Hzk16Font, GlyphsLandInTheirGb2312Cells) {
    const GlyphMap glyphs = parseUnifontHex(sampleHex);
    const Hzk16Build font = buildHzk16(glyphs);
    ASSERT_EQ(font.file.size(), 282752);
    EXPECT_EQ(font.covered, 2); // 汉 and the full-width Ａ; plain A is no GB2312 character
    EXPECT_EQ(font.hanziCovered, 1);
    EXPECT_EQ(font.hanziAssigned, 6763);
    QByteArray expected(282752, '\0');
    expected.replace(hzk16Offset(0xBA, 0xBA), 32, glyphs.value(U'汉').cell);
    expected.replace(hzk16Offset(0xA3, 0xC1), 32, glyphs.value(U'Ａ').cell);
    EXPECT_EQ(font.file, expected);

    const GlyphMap back = glyphsFromHzk16(font.file);
    EXPECT_EQ(back.value(U'汉').cell, glyphs.value(U'汉').cell);
    // ASCII takes the full-width form narrowed to 8 columns: its ink (4..11) when it fits.
    EXPECT_EQ(back.value(U'A').width, 8);
    EXPECT_EQ(back.value(U'A').cell, QByteArray::fromHex(QByteArray("18 00 FF 00 ").repeated(8)));
    Hzk16Build wide = font;
    wide.file.replace(hzk16Offset(0xA3, 0xC1), 32, QByteArray::fromHex(QByteArray("C0 03 ").repeated(16)));
    EXPECT_EQ(glyphsFromHzk16(wide.file).value(U'A').cell,
              QByteArray::fromHex(QByteArray("81 00 ").repeated(16)));
}

TEST(Hzk16Font, FromUnifontEveryHanziIsCovered) {
    GlyphMap glyphs;
    QString error;
    if (!QFile::exists(realUnifont))
        GTEST_SKIP() << "unifont not installed";
    ASSERT_TRUE(readUnifontHex(realUnifont, &glyphs, &error)) << error.toStdString();
    const Hzk16Build font = buildHzk16(glyphs);
    EXPECT_EQ(font.hanziCovered, 6763);
    EXPECT_GE(font.covered, 7445);
    EXPECT_EQ(font.file.mid(hzk16Offset(0xD7, 0xD6), 32), glyphs.value(U'字').cell);
}

TEST(MonoImage, StandardBmpBottomUpWithWhitePadding) {
    MonoImage img(10, 3);
    img.set(0, 0);
    img.set(9, 0);
    img.line(0, 2, 9, 2);
    const QByteArray bmp = img.toBmp();
    ASSERT_EQ(bmp.size(), 62 + 3 * 4);
    EXPECT_EQ(bmp.left(2), "BM");
    EXPECT_EQ(bmp.mid(2, 4), bytes({74, 0, 0, 0}));
    EXPECT_EQ(bmp.mid(10, 4), bytes({62, 0, 0, 0}));
    EXPECT_EQ(bmp.mid(14, 4), bytes({40, 0, 0, 0}));
    EXPECT_EQ(bmp.mid(18, 8), bytes({10, 0, 0, 0, 3, 0, 0, 0}));
    EXPECT_EQ(bmp.mid(28, 2), bytes({1, 0}));
    EXPECT_EQ(bmp.mid(54, 8), bytes({0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0}));
    // Stored bottom row first: row 2 all black, row 1 all white, row 0 with its ends black.
    EXPECT_EQ(bmp.mid(62), bytes({0x00, 0x3F, 0, 0, 0xFF, 0xFF, 0, 0, 0x7F, 0xBF, 0, 0}));
}

TEST(DemoImages, FilesOfDifferentSizesThatTheModuleShowsAsDrawn) {
    GlyphMap glyphs;
    QString error;
    if (QFile::exists(realUnifont)) {
        ASSERT_TRUE(readUnifontHex(realUnifont, &glyphs, &error));
    }
    QTemporaryDir dir;
    QStringList written;
    ASSERT_TRUE(writeDemoImages(dir.filePath("demo"), glyphs, &written, &error)) << error.toStdString();
    ASSERT_EQ(written.size(), 5);
    EXPECT_EQ(QDir(dir.filePath("demo")).entryList(QDir::Files).size(), 5);

    QVector<QByteArray> files;
    QSet<QPair<int, int>> sizes;
    for (const QString& path : written) {
        const QByteArray bmp = test::readFile(path);
        ASSERT_EQ(bmp.mid(10, 4), bytes({62, 0, 0, 0})) << path.toStdString();
        ASSERT_EQ(bmp.mid(28, 2), bytes({1, 0})) << path.toStdString();
        const int w = std::uint8_t(bmp[18]) | std::uint8_t(bmp[19]) << 8;
        const int h = std::uint8_t(bmp[22]) | std::uint8_t(bmp[23]) << 8;
        EXPECT_LE(w, 320);
        EXPECT_LE(h, 240);
        EXPECT_EQ(bmp.size(), 62 + test::bmpStride(w) * h);
        sizes.insert({w, h});
        files.append(bmp);
    }
    EXPECT_EQ(sizes.size(), 5);

    // Downloaded and shown one after another at the top left, each equals its picture;
    // the white padding bits of a width that is no multiple of 8 stay blank.
    ModuleCore core;
    ASSERT_EQ(core.feed(test::bitmapTransfer(test::downloadImage(files))), bytes({0xAA}));
    const QVector<DemoImage> drawn = demoImages(glyphs);
    for (int n = 0; n < files.size(); ++n) {
        core.feed(bytes({0x1D, 0x03, 0x0D, 0x1D, 0x02, 0, 0, n, 0x0D}));
        const MonoImage& img = drawn[n].image;
        for (int y = 0; y < ScreenHeight; ++y) {
            for (int x = 0; x < ScreenWidth; ++x)
                ASSERT_EQ(core.pixel(x, y), img.black(x, y)) << n << ": " << x << "," << y;
        }
    }
}

TEST(DemoImages, TitleCarriesItsChineseText) {
    GlyphMap glyphs;
    QString error;
    if (!readUnifontHex(realUnifont, &glyphs, &error))
        GTEST_SKIP() << "unifont not installed";
    // The doubled line "液晶显示模块演示" lies in rows 76..107; its first glyph at x = 32.
    const MonoImage title = demoImages(glyphs).front().image;
    for (int y = 76; y < 108; ++y) {
        for (int x = 32; x < 64; ++x)
            ASSERT_EQ(title.black(x, y),
                      test::glyphBit(glyphs.value(U'液').cell, (x - 32) / 2, (y - 76) / 2));
    }
}

} // namespace
} // namespace panelix
