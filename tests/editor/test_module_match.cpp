// The composer draws the module's own font, rectangles and inversions dot for dot
// as the module does: the same hzk16 bytes go to a simulated module through a font
// transfer, the same drawing goes to it as commands, and the frames are compared.
#include "compose/Composition.h"
#include "compose/TextRender.h"

#include "common/Gbk.h"
#include "protocol/Module.h"
#include "simulator/core/ModuleCore.h"
#include "support/TestFiles.h"

#include <QRandomGenerator>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using panelix::test::describe;

using namespace panelix;
using namespace panelix::compose;

namespace {

class ModuleMatch : public ::testing::Test {
protected:
    void SetUp() override {
        // A whole hzk16 file (282,752 bytes) of random glyphs: every dot of every
        // cell matters, and the cells beyond 256 KB never reach the module.
        QByteArray file(94 * 94 * 32, '\0');
        QRandomGenerator random(20240607);
        for (char& b : file)
            b = char(random.bounded(256));
        ASSERT_TRUE(dir.isValid());
        ASSERT_TRUE(test::writeFile(dir.filePath(QStringLiteral("hzk16")), file));
        InputError message;
        font = loadModuleFont(dir.path(), &message);
        ASSERT_EQ(font.size(), module::FontMemorySize) << describe(message);
        // What the font download sends: the header, then the first 256 KB.
        ASSERT_EQ(core.feed(module::fontHeader() + file.left(module::FontTransferTotal)),
                  QByteArray(1, char(module::ReplyGoOn)));
    }

    // 1D cmd X Y <GBK text> 0D
    void sendText(std::uint8_t command, int column, int row, const QString& text) {
        core.feed(module::bytesOf({module::Introducer, command, std::uint8_t(column), std::uint8_t(row)}) +
                  toGbk(text) + QByteArray(1, char(module::Terminator)));
    }

    // The first dot where the module's screen and the composition differ, or "".
    std::string firstDifference(const MonoBitmap& composed) const {
        for (int y = 0; y < 240; ++y)
            for (int x = 0; x < 320; ++x)
                if (core.pixel(x, y) != composed.pixel(x, y))
                    return std::to_string(x) + "," + std::to_string(y);
        return {};
    }

    static TextItem moduleText(int column, int row, const QString& text, bool inverted = false) {
        TextItem t;
        t.pos = QPoint(8 * column, row);
        t.text = text;
        t.inverted = inverted;
        return t;
    }

    QTemporaryDir dir;
    FontMemory font;
    ModuleCore core;
};

} // namespace

TEST_F(ModuleMatch, TextInTheModuleFontIsTheModulesOwn) {
    const QString chinese = QStringLiteral("汉字图文编辑");
    const QString ascii = QStringLiteral("Panelix 3.1 ~!");
    // 啊 is the first hanzi, 齄 the last GB2312 one: row 0xF7 lies inside 256 KB.
    const QString edges = QStringLiteral("啊齄　、");
    // The first 20 characters of a long line; the rest run off the screen.
    const QString tooLong = QStringLiteral("一二三四五六七八九十一二三四五六七八九十零");
    sendText(module::CmdShowText, 0, 0, chinese);
    sendText(module::CmdShowText, 3, 17, ascii);
    sendText(module::CmdShowText, 35, 40, edges); // cut at the right edge
    sendText(module::CmdShowText, 0, 230, tooLong); // cut at the bottom edge
    sendText(module::CmdShowText | module::InvertedBit, 5, 100, chinese + ascii.left(3));
    sendText(module::CmdShowText, 1, 60, QStringLiteral("覆盖")); // opaque over earlier text
    sendText(module::CmdShowText, 0, 64, QStringLiteral("AB"));

    Composition c(QSize(320, 240));
    c.add(moduleText(0, 0, chinese));
    c.add(moduleText(3, 17, ascii));
    c.add(moduleText(35, 40, edges));
    c.add(moduleText(0, 230, tooLong));
    c.add(moduleText(5, 100, chinese + ascii.left(3), true));
    c.add(moduleText(1, 60, QStringLiteral("覆盖")));
    c.add(moduleText(0, 64, QStringLiteral("AB")));
    const MonoBitmap composed = c.render(font);
    EXPECT_EQ(firstDifference(composed), "");

    // The dots are really there: the random glyphs make about half of them dark.
    int dark = 0;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 96; ++x)
            dark += composed.pixel(x, y) ? 1 : 0;
    EXPECT_GT(dark, 96 * 16 / 4);
}

TEST_F(ModuleMatch, GlyphsBeyondFontMemoryAreBlankCells) {
    // Code FE A1 has an HZK16 cell, but at 279,744, beyond the font the module keeps;
    // 81 40 is GBK without any HZK16 cell.
    EXPECT_EQ(module::glyphOffset(0xFEA1), -1);
    EXPECT_EQ(module::glyphOffset(0x8140), -1);
    core.feed(module::bytesOf({module::Introducer, module::CmdClearScreen | module::InvertedBit, module::Terminator}));
    core.feed(module::bytesOf({module::Introducer, module::CmdShowText, 2, 8, 0xFE, 0xA1, 0x81, 0x40, 0xBA, 0xBA,
                               module::Terminator}));
    MonoBitmap composed(320, 240, true);
    drawModuleGlyph(composed, 16, 8, 0xFEA1, font, true, false);
    drawModuleGlyph(composed, 32, 8, 0x8140, font, true, false);
    drawModuleGlyph(composed, 48, 8, 0xBABA, font, true, false);
    EXPECT_EQ(firstDifference(composed), "");
    for (int y = 8; y < 24; ++y)
        for (int x = 16; x < 48; ++x)
            ASSERT_FALSE(composed.pixel(x, y)) << x << "," << y;
}

TEST_F(ModuleMatch, RectanglesAndInversionsInByteColumns) {
    struct Rect {
        int x, y, w, h, b;
        bool light;
    };
    const Rect rects[] = {
        {2, 10, 4, 20, 0, false}, {2, 10, 4, 20, 2, true},  {10, 0, 30, 240, 3, false},
        {0, 200, 40, 40, 0, false}, {12, 50, 3, 9, 5, false}, {36, 230, 10, 30, 1, false},
    };
    Composition c(QSize(320, 240));
    for (const Rect& r : rects) {
        const std::uint8_t command = module::CmdDrawRect | (r.light ? module::InvertedBit : 0);
        core.feed(module::bytesOf({module::Introducer, command, std::uint8_t(r.x), std::uint8_t(r.y),
                                   std::uint8_t(r.w), std::uint8_t(r.h), std::uint8_t(r.b), module::Terminator}));
        c.add(RectItem{QRect(8 * r.x, r.y, 8 * r.w, r.h), r.b, !r.light});
    }
    core.feed(module::bytesOf({module::Introducer, module::CmdInvertRect, 1, 5, 20, 100, module::Terminator}));
    c.add(InvertItem{QRect(8, 5, 160, 100)});
    sendText(module::CmdShowText, 4, 20, QStringLiteral("框内"));
    c.add(moduleText(4, 20, QStringLiteral("框内")));
    core.feed(module::bytesOf({module::Introducer, module::CmdInvertRect, 3, 15, 4, 30, module::Terminator}));
    c.add(InvertItem{QRect(24, 15, 32, 30)});
    EXPECT_EQ(firstDifference(c.render(font)), "");
}
