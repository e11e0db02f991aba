// What the module draws, judged pixel by pixel on its frame buffer.
#include "SimTestSupport.h"

#include "common/Gbk.h"
#include "simulator/core/ModuleCore.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <functional>

namespace panelix {
namespace {

using test::bytes;

// Every pixel of the screen against a predicate; reports the first mismatch.
::testing::AssertionResult screenIs(const ModuleCore& core, const std::function<bool(int, int)>& dark) {
    for (int y = 0; y < ScreenHeight; ++y) {
        for (int x = 0; x < ScreenWidth; ++x) {
            if (core.pixel(x, y) != dark(x, y))
                return ::testing::AssertionFailure()
                       << "pixel (" << x << ", " << y << ") is " << core.pixel(x, y);
        }
    }
    return ::testing::AssertionSuccess();
}

bool inside(int x, int y, int x0, int y0, int w, int h) {
    return x >= x0 && x < x0 + w && y >= y0 && y < y0 + h;
}

class StoredImages : public ::testing::Test {
protected:
    void SetUp() override {
        // 21 pixels wide: the last byte of a row carries 5 pixels and 3 padding bits.
        bmps = {test::bmpFile(21, 13), test::bmpFile(80, 40), test::bmpFile(320, 240)};
        image = test::downloadImage(bmps);
        ASSERT_EQ(core.feed(test::bitmapTransfer(image)), bytes({0xAA}));
    }
    QVector<QByteArray> bmps;
    QByteArray image;
    ModuleCore core;
};

TEST_F(StoredImages, MemoryHoldsTheImageAsSent) {
    EXPECT_EQ(core.imageMemory(), image + QByteArray(ImageMemorySize - image.size(), '\0'));
    EXPECT_EQ(core.counters().bitmapDownloads, 1);
}

TEST_F(StoredImages, ShowImageNDrawsDirectoryEntryNPlusOneAtItsPlace) {
    // N = 1 is the second list entry: the 80 x 40 picture, at byte column 3, row 17.
    core.feed(bytes({0x1D, 0x02, 3, 17, 1, 0x0D}));
    EXPECT_TRUE(screenIs(core, [&](int x, int y) {
        return inside(x, y, 24, 17, 80, 40) && test::bmpBlack(bmps[1], x - 24, y - 17);
    }));
    // The first picture: all 24 pixels of its three bytes, padding bits included.
    core.feed(bytes({0x1D, 0x03, 0x0D, 0x1D, 0x02, 0, 0, 0, 0x0D}));
    EXPECT_TRUE(screenIs(
        core, [&](int x, int y) { return inside(x, y, 0, 0, 24, 13) && test::bmpBlack(bmps[0], x, y); }));
    core.feed(bytes({0x1D, 0x02, 0, 0, 2, 0x0D}));
    EXPECT_TRUE(screenIs(core, [&](int x, int y) { return test::bmpBlack(bmps[2], x, y); }));
    core.feed(bytes({0x1D, 0x82, 0, 0, 2, 0x0D}));
    EXPECT_TRUE(screenIs(core, [&](int x, int y) { return !test::bmpBlack(bmps[2], x, y); }));
}

TEST_F(StoredImages, ClippedAtTheEdgeAndNothingForAMissingNumber) {
    core.feed(bytes({0x1D, 0x02, 36, 220, 1, 0x0D, 0x1D, 0x02, 0, 0, 3, 0x0D, 0x1D, 0x02, 0, 0, 200, 0x0D}));
    EXPECT_TRUE(screenIs(core, [&](int x, int y) {
        return inside(x, y, 288, 220, 80, 40) && test::bmpBlack(bmps[1], x - 288, y - 220);
    }));
    EXPECT_EQ(core.counters().commands, 3);
}

TEST(ModuleImages, PicturesAcrossABankBoundaryAndTallPictures) {
    // 320 x 240 pictures are 9600 bytes; the fourth starts at 29824 and ends past 32768.
    // A 16 x 300 picture stores its height in bytes 1 and 7 of its entry.
    QVector<QByteArray> bmps;
    for (int i = 0; i < 4; ++i)
        bmps.append(test::bmpFile(320, 240, i));
    bmps.append(test::bmpFile(16, 300));
    const QByteArray image = test::downloadImage(bmps);
    ModuleCore core;
    ASSERT_EQ(core.feed(test::bitmapTransfer(image)), bytes({0xAA}));
    const ImageDirectory dir = core.directory();
    ASSERT_EQ(dir.images.size(), 5u);
    EXPECT_EQ(dir.images[3].start, 29824u);
    EXPECT_EQ(dir.images[4].start, 1024u + 4 * 9600);
    EXPECT_EQ(dir.images[4].height, 300);
    core.feed(bytes({0x1D, 0x02, 0, 0, 3, 0x0D}));
    EXPECT_TRUE(screenIs(core, [&](int x, int y) { return test::bmpBlack(bmps[3], x, y); }));
    core.feed(bytes({0x1D, 0x03, 0x0D, 0x1D, 0x02, 10, 0, 4, 0x0D}));
    EXPECT_TRUE(screenIs(core, [&](int x, int y) {
        return inside(x, y, 80, 0, 16, 240) && test::bmpBlack(bmps[4], x - 80, y);
    }));
}

class Characters : public ::testing::Test {
protected:
    void SetUp() override {
        font = QByteArray(FontMemorySize, '\0');
        han = test::patternRows(16, 16, 1).left(GlyphBytes);
        zi = test::patternRows(16, 16, 2).left(GlyphBytes);
        fullA = test::patternRows(16, 16, 3).left(GlyphBytes);
        font.replace(hzk16Offset(0xBA, 0xBA), GlyphBytes, han);
        font.replace(hzk16Offset(0xD7, 0xD6), GlyphBytes, zi);
        font.replace(hzk16Offset(0xA3, 0xC1), GlyphBytes, fullA);
        ASSERT_EQ(core.feed(test::fontTransfer(font)), bytes({0xAA}));
    }
    QByteArray font, han, zi, fullA;
    ModuleCore core;
};

TEST_F(Characters, GlyphsFromTheDownloadedFontAndLargeOnesDoubled) {
    EXPECT_EQ(core.fontMemory(), font);
    ASSERT_EQ(toGbk(QStringLiteral("汉字")), bytes({0xBA, 0xBA, 0xD7, 0xD6}));
    core.feed(bytes({0x1D, 0x01, 2, 30, 0xBA, 0xBA, 0xD7, 0xD6, 0x0D}));
    core.feed(bytes({0x1D, 0x41, 1, 60, 0xD7, 0xD6, 'A', 0x0D}));
    EXPECT_TRUE(screenIs(core, [&](int x, int y) {
        if (inside(x, y, 16, 30, 32, 16))
            return test::glyphBit(x < 32 ? han : zi, (x - 16) % 16, y - 30);
        if (inside(x, y, 8, 60, 64, 32)) // ASCII takes the full-width form
            return test::glyphBit(x < 40 ? zi : fullA, (x - 8) % 32 / 2, (y - 60) / 2);
        return false;
    }));
}

TEST_F(Characters, InvertedOpaqueCellsClippedAtTheEdge) {
    // Dark screen; inverted 汉 and a space; at column 38 the second character
    // would start at column 40; 0x81 0x40 is GBK without an HZK16 cell: blank.
    core.feed(bytes({0x1D, 0x83, 0x0D, 0x1D, 0x81, 0, 0, 0xBA, 0xBA, ' ', 0x0D}));
    core.feed(
        bytes({0x1D, 0x01, 38, 232, 0xBA, 0xBA, 0xBA, 0xBA, 0x0D, 0x1D, 0x01, 0, 100, 0x81, 0x40, 0x0D}));
    EXPECT_TRUE(screenIs(core, [&](int x, int y) {
        if (inside(x, y, 0, 0, 16, 16))
            return !test::glyphBit(han, x, y);
        if (inside(x, y, 304, 232, 16, 8))
            return test::glyphBit(han, x - 304, y - 232);
        return !inside(x, y, 0, 100, 16, 16);
    }));
}

TEST(ModuleScreen, RectanglesInByteColumnsAndPixelRows) {
    ModuleCore core;
    // Filled (B = 0) at columns 2..5 (pixels 16..47), rows 10..29.
    core.feed(bytes({0x1D, 0x06, 2, 10, 4, 20, 0, 0x0D}));
    EXPECT_TRUE(screenIs(core, [](int x, int y) { return inside(x, y, 16, 10, 32, 20); }));
    // Clear a part of it, then invert a band across both.
    core.feed(bytes({0x1D, 0x04, 3, 12, 1, 5, 0x0D}));
    core.feed(bytes({0x1D, 0x05, 0, 25, 40, 10, 0x0D}));
    EXPECT_TRUE(screenIs(core, [](int x, int y) {
        const bool drawn = inside(x, y, 16, 10, 32, 20) && !inside(x, y, 24, 12, 8, 5);
        return inside(x, y, 0, 25, 320, 10) ? !drawn : drawn;
    }));
    // Inverting twice restores; the inverted form of invert inverts as well.
    core.feed(bytes({0x1D, 0x85, 0, 25, 40, 10, 0x0D}));
    EXPECT_TRUE(screenIs(
        core, [](int x, int y) { return inside(x, y, 16, 10, 32, 20) && !inside(x, y, 24, 12, 8, 5); }));
}

TEST(ModuleScreen, FrameOfBorderBAndInvertedForms) {
    ModuleCore core;
    core.feed(bytes({0x1D, 0x06, 1, 4, 3, 12, 2, 0x0D}));
    const auto frame = [](int x, int y) { return inside(x, y, 8, 4, 24, 12) && !inside(x, y, 10, 6, 20, 8); };
    EXPECT_TRUE(screenIs(core, frame));
    // A border too thick for the rectangle fills it.
    core.feed(bytes({0x1D, 0x06, 10, 100, 1, 6, 3, 0x0D}));
    EXPECT_TRUE(screenIs(core, [&](int x, int y) { return frame(x, y) || inside(x, y, 80, 100, 8, 6); }));
    // Inverted: the whole screen dark, then clear rectangle and frame drawn light.
    core.feed(bytes({0x1D, 0x83, 0x0D, 0x1D, 0x86, 1, 4, 3, 12, 2, 0x0D}));
    core.feed(bytes({0x1D, 0x04, 20, 50, 2, 2, 0x0D, 0x1D, 0x84, 20, 50, 1, 1, 0x0D}));
    EXPECT_TRUE(screenIs(core, [&](int x, int y) {
        if (inside(x, y, 160, 50, 16, 2))
            return inside(x, y, 160, 50, 8, 1);
        return !frame(x, y);
    }));
}

TEST(ModuleScreen, ClearScreenBacklightAndConnectionTest) {
    ModuleCore core;
    core.feed(bytes({0x1D, 0x83, 0x0D}));
    EXPECT_TRUE(screenIs(core, [](int, int) { return true; }));
    core.feed(bytes({0x1D, 0x03, 0x0D}));
    EXPECT_TRUE(core.backlight());
    EXPECT_EQ(core.feed(bytes({0x1D, 0x08, 0x0D})), QByteArray());
    EXPECT_FALSE(core.backlight());
    core.feed(bytes({0x1D, 0x87, 0x0D}));
    EXPECT_TRUE(core.backlight());
    core.feed(bytes({0x1D, 0x88, 0x0D}));
    EXPECT_FALSE(core.backlight());
    EXPECT_EQ(core.feed(bytes({0x1D, 0x0C, 0x0D, 0x1D, 0x8C, 0x0D})), bytes({0x0C, 0x0C}));
    EXPECT_TRUE(screenIs(core, [](int, int) { return false; }));
    EXPECT_EQ(core.counters().commands, 7);
}

} // namespace
} // namespace panelix
