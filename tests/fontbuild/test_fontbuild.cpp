// Fonts built from the Debian fonts (xfonts-wqy, fonts-wqy-microhei), checked against the
// glyph bitmaps FreeType gives for the same characters, read here on their own.
#include "common/Gbk.h"
#include "export/CText.h"
#include "fontbuild/FontBuild.h"
#include "protocol/Module.h"

#include <gtest/gtest.h>
#include <QFile>
#include <QTemporaryDir>

#include <ft2build.h>
#include FT_FREETYPE_H

using namespace panelix;

namespace {

// WenQuanYi Bitmap Song, its 16-dot strike; and an outline CJK font.
const QString BitmapSong = QStringLiteral("/usr/share/fonts/X11/misc/wenquanyi_12pt.pcf");
const QString MicroHei = QStringLiteral("/usr/share/fonts/truetype/wqy/wqy-microhei.ttc");

// A glyph as FreeType renders it from the 16-dot strike.
struct FtGlyph {
    int width = 0, rows = 0, left = 0, top = 0;
    QByteArray rowsBits; // pitch-free: 2 bytes a row, as the strike stores them
};

class FtFace {
public:
    explicit FtFace(const QString& path) {
        FT_Init_FreeType(&lib_);
        if (FT_New_Face(lib_, QFile::encodeName(path).constData(), 0, &face_) != 0)
            face_ = nullptr;
        else if (FT_Select_Size(face_, 0) != 0)
            ADD_FAILURE() << "no strike";
    }
    ~FtFace() {
        if (face_)
            FT_Done_Face(face_);
        FT_Done_FreeType(lib_);
    }
    bool ok() const { return face_ != nullptr; }
    FtGlyph glyph(char32_t c) const {
        FtGlyph g;
        EXPECT_EQ(FT_Load_Char(face_, c, FT_LOAD_RENDER), 0);
        const FT_Bitmap& b = face_->glyph->bitmap;
        EXPECT_EQ(b.pixel_mode, FT_PIXEL_MODE_MONO);
        g.width = int(b.width), g.rows = int(b.rows);
        g.left = face_->glyph->bitmap_left, g.top = face_->glyph->bitmap_top;
        for (int r = 0; r < g.rows; ++r)
            for (int i = 0; i < 2; ++i)
                g.rowsBits.append(i < b.pitch ? char(b.buffer[r * b.pitch + i]) : '\0');
        return g;
    }

private:
    FT_Library lib_ = nullptr;
    FT_Face face_ = nullptr;
};

// The 32 bytes of a 16 x 16 cell holding g with its origin at (left, baseline).
QByteArray placed(const FtGlyph& g, int baseline) {
    QByteArray cell(32, '\0');
    for (int r = 0; r < g.rows; ++r) {
        const int y = baseline - g.top + r;
        if (y < 0 || y >= 16)
            continue;
        const unsigned bits = quint8(g.rowsBits[2 * r]) << 8 | quint8(g.rowsBits[2 * r + 1]);
        const unsigned shifted = g.left >= 0 ? bits >> g.left : bits << -g.left;
        cell[2 * y] = char(quint8(cell[2 * y]) | (shifted >> 8));
        cell[2 * y + 1] = char(quint8(cell[2 * y + 1]) | (shifted & 0xFF));
    }
    return cell;
}

QByteArray cellOf(const QByteArray& file, quint8 lead, quint8 trail) {
    return file.mid(module::fontCellOffset(lead, trail), 32);
}

int darkDots(const MonoBitmap& b) {
    int n = 0;
    for (int y = 0; y < b.height(); ++y)
        for (int x = 0; x < b.width(); ++x)
            n += b.pixel(x, y);
    return n;
}

class FontBuild : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(QFile::exists(BitmapSong)) << "install xfonts-wqy";
        ASSERT_TRUE(QFile::exists(MicroHei)) << "install fonts-wqy-microhei";
        ASSERT_TRUE(gbkAvailable());
    }
};

} // namespace

TEST(Gb2312, CodesToCharacters) {
    EXPECT_EQ(gb2312ToUnicode(0xBA, 0xBA), U'汉');
    EXPECT_EQ(gb2312ToUnicode(0xB0, 0xA1), U'啊');
    EXPECT_EQ(gb2312ToUnicode(0xA3, 0xC1), U'Ａ');
    EXPECT_EQ(gb2312ToUnicode(0xA2, 0xA1), char32_t(0)); // unassigned
    EXPECT_EQ(gb2312ToUnicode(0x41, 0xA1), char32_t(0)); // no GB2312 lead byte
}

TEST_F(FontBuild, Hzk16FromTheBitmapSongMatchesFreeTypesGlyphs) {
    const HzkFont font = buildHzk(BitmapSong, {});
    ASSERT_EQ(font.error, FontBuildError::None);
    EXPECT_EQ(font.file.size(), 282752);
    EXPECT_EQ(font.cellBytes, 32);
    EXPECT_EQ(font.assigned, 7445);
    EXPECT_GT(font.covered, 7400);

    FtFace ft(BitmapSong);
    ASSERT_TRUE(ft.ok());
    // Full-size ideographs fill the cell exactly: their bitmaps are the cells.
    const struct {
        quint8 lead, trail;
        char32_t c;
    } ideographs[] = {{0xBA, 0xBA, U'汉'}, {0xD7, 0xD6, U'字'}, {0xB0, 0xA1, U'啊'}, {0xB9, 0xFA, U'国'},
                      {0xF7, 0xFE, U'齄'}};
    for (const auto& i : ideographs) {
        const FtGlyph g = ft.glyph(i.c);
        ASSERT_EQ(g.width, 16);
        ASSERT_EQ(g.rows, 16);
        ASSERT_EQ(g.left, 0);
        EXPECT_EQ(cellOf(font.file, i.lead, i.trail), g.rowsBits) << std::hex << int(i.lead) << int(i.trail);
    }
    // Smaller glyphs sit on the baseline of the ideographs, at their own left bearing.
    const int baseline = ft.glyph(U'国').top;
    const struct {
        quint8 lead, trail;
        char32_t c;
    } others[] = {{0xA3, 0xC1, U'Ａ'}, {0xA1, 0xA2, U'、'}, {0xA3, 0xE7, U'ｇ'}, {0xA1, 0xB0, U'“'}};
    for (const auto& o : others) {
        const QByteArray expected = placed(ft.glyph(o.c), baseline);
        ASSERT_NE(expected, QByteArray(32, '\0'));
        EXPECT_EQ(cellOf(font.file, o.lead, o.trail), expected) << std::hex << int(o.lead) << int(o.trail);
    }
    // Codes without a character keep a blank cell.
    EXPECT_EQ(cellOf(font.file, 0xA2, 0xA1), QByteArray(32, '\0'));
    EXPECT_EQ(cellOf(font.file, 0xAA, 0xA1), QByteArray(32, '\0'));
    EXPECT_EQ(cellOf(font.file, 0xD7, 0xFA), QByteArray(32, '\0'));
}

TEST_F(FontBuild, HzkOfTheCharactersOfATextFillsOnlyTheirCells) {
    const HzkFont all = buildHzk(BitmapSong, {});
    const QString text = QStringLiteral("汉A汉 ");
    const HzkFont some = buildHzk(BitmapSong, {}, &text);
    ASSERT_EQ(some.error, FontBuildError::None);
    ASSERT_EQ(some.file.size(), all.file.size());
    EXPECT_EQ(some.assigned, 2);
    QByteArray expected(all.file.size(), '\0');
    // 'A' is shown by the module from the cell of Ａ.
    for (auto [lead, trail] : {std::pair<int, int>{0xBA, 0xBA}, {0xA3, 0xC1}}) {
        const int at = module::fontCellOffset(quint8(lead), quint8(trail));
        expected.replace(at, 32, all.file.mid(at, 32));
    }
    EXPECT_EQ(some.file, expected);
    const QString none = QStringLiteral("😀 \n");
    EXPECT_EQ(buildHzk(BitmapSong, {}, &none).error, FontBuildError::NoCharacters);
}

TEST_F(FontBuild, SubsetIndexIsSortedByGbkCode) {
    const FontSubset s = buildSubset(BitmapSong, QStringLiteral("字汉b\nA汉 字😀"), {});
    ASSERT_EQ(s.error, FontBuildError::None);
    EXPECT_EQ(s.characters, (QList<char32_t>{U'A', U'b', U'汉', U'字'}));
    EXPECT_EQ(s.index, QByteArray::fromHex("00410062BABAD7D6"));
    EXPECT_EQ(s.missing, QStringLiteral("😀"));
    ASSERT_EQ(s.glyphs.size(), 4 * 32);
    const HzkFont all = buildHzk(BitmapSong, {});
    EXPECT_EQ(s.glyphs.mid(2 * 32, 32), cellOf(all.file, 0xBA, 0xBA));
    EXPECT_EQ(s.glyphs.mid(3 * 32, 32), cellOf(all.file, 0xD7, 0xD6));
    EXPECT_NE(s.glyphs.mid(0, 32), QByteArray(32, '\0'));

    const QByteArray bin = subsetBinary(s);
    EXPECT_EQ(bin.left(4 + 8), QByteArray::fromHex("00041020") + s.index);
    EXPECT_EQ(bin.mid(12), s.glyphs);

    const QByteArray c = subsetCSource(s, QStringLiteral("ui_font"));
    EXPECT_TRUE(c.contains("#define UI_FONT_COUNT 4\n#define UI_FONT_CELL_SIZE 16\n#define UI_FONT_CELL_BYTES 32\n"));
    EXPECT_EQ(parseCArray(c).bytes, s.index); // the first array is the index
    const qsizetype glyphs = c.indexOf("const uint8_t ui_font[128]");
    ASSERT_GT(glyphs, 0);
    EXPECT_EQ(parseCArray(c.mid(glyphs)).bytes, s.glyphs);
}

TEST_F(FontBuild, WholeHzkAsCSource) {
    const QString text = QStringLiteral("汉");
    const HzkFont some = buildHzk(BitmapSong, {}, &text);
    const QByteArray c = hzkCSource(some, QStringLiteral("hzk16"));
    EXPECT_TRUE(c.contains("const uint8_t hzk16[282752] = {"));
    EXPECT_EQ(parseCArray(c).bytes, some.file);
}

TEST_F(FontBuild, OutlineGlyphsAreCentredAndFollowThresholdAndOffsets) {
    GlyphRenderer r;
    ASSERT_EQ(r.open(MicroHei, {}), FontBuildError::None);
    const MonoBitmap guo = r.render(U'国');
    int top = 16, bottom = -1;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            if (guo.pixel(x, y))
                top = std::min(top, y), bottom = std::max(bottom, y);
    ASSERT_GE(bottom, top);
    EXPECT_LE(std::abs(top - (15 - bottom)), 1) << top << " " << bottom;
    EXPECT_EQ(r.render(U'\x4E00'), r.render(U'\x4E00')); // the same every time
    EXPECT_EQ(darkDots(r.render(U'\xE000')), 0);          // no glyph: a blank cell

    FontBuildOptions light;
    light.threshold = 240;
    FontBuildOptions heavy;
    heavy.threshold = 20;
    GlyphRenderer rl, rh;
    ASSERT_EQ(rl.open(MicroHei, light), FontBuildError::None);
    ASSERT_EQ(rh.open(MicroHei, heavy), FontBuildError::None);
    EXPECT_LT(darkDots(rl.render(U'国')), darkDots(guo));
    EXPECT_GT(darkDots(rh.render(U'国')), darkDots(guo));

    FontBuildOptions moved;
    moved.xOffset = 2;
    moved.baselineOffset = -1;
    GlyphRenderer rm;
    ASSERT_EQ(rm.open(MicroHei, moved), FontBuildError::None);
    EXPECT_EQ(rm.baseline(), r.baseline() - 1);
    const MonoBitmap shifted = rm.render(U'汉');
    const MonoBitmap plain = r.render(U'汉');
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            EXPECT_EQ(shifted.pixel(x, y), plain.pixel(x - 2, y + 1)) << x << "," << y;
}

TEST_F(FontBuild, OtherSizes) {
    FontBuildOptions o;
    o.pixelSize = 12;
    const QString text = QStringLiteral("汉");
    const HzkFont f = buildHzk(MicroHei, o, &text);
    ASSERT_EQ(f.error, FontBuildError::None);
    EXPECT_EQ(f.cellBytes, 24);
    EXPECT_EQ(f.file.size(), 94 * 94 * 24);
    o.pixelSize = 32;
    const FontSubset s = buildSubset(MicroHei, text, o);
    ASSERT_EQ(s.error, FontBuildError::None);
    EXPECT_EQ(s.glyphs.size(), 128);
    // The bitmap song has a 16-dot strike only.
    EXPECT_EQ(buildSubset(BitmapSong, text, o).error, FontBuildError::SizeNotInFont);
}

TEST_F(FontBuild, BadFontFilesAndOptionsAreRefused) {
    QTemporaryDir dir;
    const auto write = [&](const char* name, const QByteArray& data) {
        QFile f(dir.filePath(QLatin1String(name)));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(data);
        return f.fileName();
    };
    QFile micro(MicroHei);
    ASSERT_TRUE(micro.open(QIODevice::ReadOnly));
    const QByteArray head = micro.read(4096);
    GlyphRenderer r;
    EXPECT_EQ(r.open(dir.filePath(QStringLiteral("absent.ttf")), {}), FontBuildError::CannotRead);
    EXPECT_EQ(r.open(dir.path(), {}), FontBuildError::CannotRead);
    EXPECT_EQ(r.open(write("text.ttf", "not a font at all\n"), {}), FontBuildError::NotAFont);
    EXPECT_EQ(r.open(write("empty.pcf", {}), {}), FontBuildError::NotAFont);
    EXPECT_EQ(r.open(write("cut.ttc", head), {}), FontBuildError::NotAFont);
    EXPECT_EQ(r.cellSize(), 0);
    EXPECT_TRUE(r.render(U'汉').isEmpty());
    FontBuildOptions o;
    o.faceIndex = 7;
    EXPECT_EQ(r.open(MicroHei, o), FontBuildError::NoSuchFace);
    o = {};
    o.pixelSize = 4;
    EXPECT_EQ(r.open(MicroHei, o), FontBuildError::BadSize);
    o = {};
    o.threshold = 0;
    EXPECT_EQ(r.open(MicroHei, o), FontBuildError::BadThreshold);
    EXPECT_EQ(buildHzk(write("bad.otf", "OTTO"), {}).error, FontBuildError::NotAFont);
    EXPECT_EQ(buildSubset(MicroHei, QStringLiteral(" \t\n"), {}).error, FontBuildError::NoCharacters);
    // A good font still opens after a refusal.
    EXPECT_EQ(r.open(MicroHei, {}), FontBuildError::None);
    EXPECT_EQ(r.cellSize(), 16);
}

TEST_F(FontBuild, BdfFontsAreReadWithTheirOwnDots) {
    // One 16 x 16 glyph for 汉: a diagonal, and the right half of the top row.
    QByteArray bdf = "STARTFONT 2.1\n"
                     "FONT -test-dots-medium-r-normal--16-160-75-75-c-160-iso10646-1\n"
                     "SIZE 16 75 75\n"
                     "FONTBOUNDINGBOX 16 16 0 -2\n"
                     "STARTPROPERTIES 5\n"
                     "PIXEL_SIZE 16\n"
                     "FONT_ASCENT 14\n"
                     "FONT_DESCENT 2\n"
                     "CHARSET_REGISTRY \"ISO10646\"\n"
                     "CHARSET_ENCODING \"1\"\n"
                     "ENDPROPERTIES\n"
                     "CHARS 1\n"
                     "STARTCHAR U+6C49\n"
                     "ENCODING 27721\n"
                     "SWIDTH 1000 0\n"
                     "DWIDTH 16 0\n"
                     "BBX 16 16 0 -2\n"
                     "BITMAP\n";
    QByteArray expected;
    for (int r = 0; r < 16; ++r) {
        const unsigned bits = (0x8000u >> r) | (r == 0 ? 0x00FFu : 0u);
        bdf += QByteArray::number(bits, 16).rightJustified(4, '0') + '\n';
        expected += char(bits >> 8);
        expected += char(bits & 0xFF);
    }
    bdf += "ENDCHAR\nENDFONT\n";
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("dots.bdf"));
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bdf);
    }
    GlyphRenderer r;
    ASSERT_EQ(r.open(path, {}), FontBuildError::None);
    EXPECT_TRUE(r.hasGlyph(U'汉'));
    EXPECT_FALSE(r.hasGlyph(U'字'));
    EXPECT_EQ(r.baseline(), 14); // no 国: ascent 14 and descent 2 share the 16 rows
    EXPECT_EQ(hzkCell(r.render(U'汉')), expected);
    const QString text = QStringLiteral("汉字");
    const HzkFont font = buildHzk(path, {}, &text);
    ASSERT_EQ(font.error, FontBuildError::None);
    EXPECT_EQ(font.assigned, 2);
    EXPECT_EQ(font.covered, 1);
    EXPECT_EQ(cellOf(font.file, 0xBA, 0xBA), expected);
    EXPECT_EQ(cellOf(font.file, 0xD7, 0xD6), QByteArray(32, '\0'));
}
