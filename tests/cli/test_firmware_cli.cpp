// panelix-cli export and font build, run in-process: the files they write, byte for byte.
#include "cli/Cli.h"
#include "protocol/Module.h"

#include "bitmap/BmpReader.h"
#include "bitmap/BmpWriter.h"
#include "export/CText.h"
#include "fontbuild/FontBuild.h"
#include "support/TestFiles.h"
#include "support/TestGif.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QTemporaryDir>

using namespace panelix;

namespace {

const QString BitmapSong = QStringLiteral("/usr/share/fonts/X11/misc/wenquanyi_12pt.pcf");

struct FirmwareCli : ::testing::Test {
    QTemporaryDir tmp;
    QString out;
    QString err;

    int run(QStringList args) {
        out.clear();
        err.clear();
        cli::Io io;
        io.out = [this](const QString& s) { out += s; };
        io.err = [this](const QString& s) { err += s; };
        args.prepend(QStringLiteral("panelix-cli"));
        return cli::run(args, io);
    }
    QString file(const QString& name) const { return tmp.filePath(name); }
    // 10 x 3: rows that end inside their second byte.
    static MonoBitmap odd() {
        MonoBitmap b(10, 3);
        for (auto [x, y] : {std::pair{0, 0}, {9, 0}, {8, 1}, {1, 2}, {9, 2}})
            b.setPixel(x, y, true);
        return b;
    }
    QString oddBmp() const {
        const QString path = file(QStringLiteral("logo.bmp"));
        EXPECT_TRUE(test::writeFile(path, writeBmp(odd())));
        return path;
    }
};

} // namespace

TEST_F(FirmwareCli, ExportsACSourceToStandardOutput) {
    ASSERT_EQ(run({QStringLiteral("export"), oddBmp()}), cli::ExitDone) << err.toStdString();
    EXPECT_EQ(out, QStringLiteral("/* logo: width=10 height=3 scan=rows bits=msb-first dark=1 word=8 padding=line size=6 */\n"
                                  "#include <stdint.h>\n\n"
                                  "const uint8_t logo[6] = {\n"
                                  "    0x80, 0x40, 0x00, 0x80, 0x40, 0x40,\n"
                                  "};\n"));
}

TEST_F(FirmwareCli, LayoutOptionsReachTheBytes) {
    const QString bmp = oddBmp();
    const QString bin = file(QStringLiteral("out.bin"));
    const auto bytes = [&](QStringList extra) {
        EXPECT_EQ(run(QStringList{QStringLiteral("export"), bmp, QStringLiteral("-o"), bin} + extra), cli::ExitDone)
            << err.toStdString();
        return test::readFile(bin);
    };
    EXPECT_EQ(bytes({}), QByteArray::fromHex("804000804040"));
    EXPECT_EQ(bytes({QStringLiteral("--invert")}), QByteArray::fromHex("7FBFFF7FBFBF"));
    EXPECT_EQ(bytes({QStringLiteral("--packed")}), QByteArray::fromHex("80402404"));
    EXPECT_EQ(bytes({QStringLiteral("--packed"), QStringLiteral("--lsb-first")}), QByteArray::fromHex("01022420"));
    EXPECT_EQ(bytes({QStringLiteral("--scan"), QStringLiteral("pages")}), QByteArray::fromHex("01040000000000000205"));
    EXPECT_EQ(bytes({QStringLiteral("--scan"), QStringLiteral("columns"), QStringLiteral("--packed")}),
              QByteArray::fromHex("2100002A"));
    EXPECT_EQ(bytes({QStringLiteral("--scan"), QStringLiteral("rows-cm")}), QByteArray::fromHex("800040408040"));
    EXPECT_EQ(bytes({QStringLiteral("--word"), QStringLiteral("16"), QStringLiteral("--little-endian")}),
              QByteArray::fromHex("408080004040"));
    EXPECT_TRUE(out.contains(QStringLiteral("wrote ")));
}

TEST_F(FirmwareCli, HeaderHexAndSeveralPictures) {
    const QString bmp = oddBmp();
    ASSERT_EQ(run({QStringLiteral("export"), bmp, QStringLiteral("--format"), QStringLiteral("h")}), cli::ExitDone);
    EXPECT_TRUE(out.startsWith(QStringLiteral("#ifndef LOGO_H\n")));
    EXPECT_TRUE(out.contains(QStringLiteral("extern const uint8_t logo[LOGO_SIZE];")));
    ASSERT_EQ(run({QStringLiteral("export"), bmp, QStringLiteral("--format"), QStringLiteral("hex")}), cli::ExitDone);
    EXPECT_TRUE(out.endsWith(QStringLiteral("00000000  80 40 00 80 40 40\n")));

    // Two pictures of the same name in one C file: one include, two arrays.
    QDir(tmp.path()).mkdir(QStringLiteral("b"));
    const QString other = file(QStringLiteral("b/logo.bmp"));
    ASSERT_TRUE(test::writeFile(other, writeBmp(MonoBitmap(8, 1, true))));
    const QString c = file(QStringLiteral("all.c"));
    ASSERT_EQ(run({QStringLiteral("export"), bmp, other, QStringLiteral("-o"), c}), cli::ExitDone) << err.toStdString();
    const QByteArray text = test::readFile(c);
    EXPECT_EQ(text.count("#include <stdint.h>"), 1);
    EXPECT_TRUE(text.contains("const uint8_t logo[6] = {"));
    EXPECT_TRUE(text.contains("const uint8_t logo_2[1] = {\n    0xFF,\n};"));
}

TEST_F(FirmwareCli, PicturesKeepTheirSizeUnlessAskedAndUseTheConvertOptions) {
    QImage img(12, 5, QImage::Format_RGB32);
    img.fill(Qt::white);
    img.setPixel(0, 0, qRgb(0, 0, 0));
    img.setPixel(11, 4, qRgb(0, 0, 0));
    const QString png = file(QStringLiteral("2 dots.png"));
    ASSERT_TRUE(img.save(png, "PNG"));
    ASSERT_EQ(run({QStringLiteral("export"), png, QStringLiteral("--dither"), QStringLiteral("threshold")}),
              cli::ExitDone)
        << err.toStdString();
    EXPECT_TRUE(out.startsWith(QStringLiteral("/* image_2_dots: width=12 height=5 ")));
    EXPECT_TRUE(out.contains(QStringLiteral("0x80, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10,")));
    ASSERT_EQ(run({QStringLiteral("export"), png, QStringLiteral("--size"), QStringLiteral("24x10"),
                   QStringLiteral("--fit"), QStringLiteral("stretch"), QStringLiteral("--name"), QStringLiteral("dots")}),
              cli::ExitDone);
    EXPECT_TRUE(out.startsWith(QStringLiteral("/* dots: width=24 height=10 ")));
}

TEST_F(FirmwareCli, ReadBackGivesThePictureAgain) {
    const QString bmp = oddBmp();
    const QString c = file(QStringLiteral("logo.c"));
    const QStringList layout{QStringLiteral("--scan"), QStringLiteral("pages"), QStringLiteral("--invert"),
                             QStringLiteral("--word"), QStringLiteral("16"), QStringLiteral("--packed")};
    ASSERT_EQ(run(QStringList{QStringLiteral("export"), bmp, QStringLiteral("-o"), c} + layout), cli::ExitDone);
    const QString back = file(QStringLiteral("back.bmp"));
    ASSERT_EQ(run(QStringList{QStringLiteral("export"), QStringLiteral("--read"), c, QStringLiteral("-o"), back} + layout),
              cli::ExitDone)
        << err.toStdString();
    BmpReader reader;
    ASSERT_TRUE(reader.readBmp(back));
    EXPECT_EQ(reader.bitmap(), odd());
    // Without options the C text's own comment gives the layout; given ones win.
    const QString back2 = file(QStringLiteral("back2.bmp"));
    ASSERT_EQ(run({QStringLiteral("export"), QStringLiteral("--read"), c, QStringLiteral("-o"), back2}), cli::ExitDone)
        << err.toStdString();
    ASSERT_TRUE(reader.readBmp(back2));
    EXPECT_EQ(reader.bitmap(), odd());
    EXPECT_EQ(run({QStringLiteral("export"), QStringLiteral("--read"), c, QStringLiteral("--scan"),
                   QStringLiteral("rows"), QStringLiteral("-o"), back2}),
              cli::ExitBadInput); // 4 packed bytes are no padded rows of 10 x 3

    // Binary has no size of its own; PNG out.
    const QString bin = file(QStringLiteral("logo.bin"));
    ASSERT_TRUE(test::writeFile(bin, QByteArray::fromHex("804000804040")));
    const QString png = file(QStringLiteral("back.png"));
    EXPECT_EQ(run({QStringLiteral("export"), QStringLiteral("--read"), bin, QStringLiteral("-o"), png}), cli::ExitUsage);
    EXPECT_TRUE(err.contains(QStringLiteral("--width and --height")));
    ASSERT_EQ(run({QStringLiteral("export"), QStringLiteral("--read"), bin, QStringLiteral("--width"), QStringLiteral("10"),
                   QStringLiteral("--height"), QStringLiteral("3"), QStringLiteral("-o"), png}),
              cli::ExitDone)
        << err.toStdString();
    const QImage img(png);
    ASSERT_EQ(img.size(), QSize(10, 3));
    EXPECT_EQ(qGray(img.pixel(0, 0)), 0);
    EXPECT_EQ(qGray(img.pixel(1, 0)), 255);
    EXPECT_EQ(qGray(img.pixel(8, 1)), 0);
}

TEST_F(FirmwareCli, BadInputToReadIsNamed) {
    const QString c = file(QStringLiteral("bad.c"));
    ASSERT_TRUE(test::writeFile(c, "/* width=10 height=3 */\nconst uint8_t x[] = {\n  0x80, 0x40,\n  0x100 };\n"));
    const QString png = file(QStringLiteral("x.png"));
    EXPECT_EQ(run({QStringLiteral("export"), QStringLiteral("--read"), c, QStringLiteral("-o"), png}), cli::ExitBadInput);
    EXPECT_TRUE(err.contains(c + QStringLiteral(":4: a number above 255"))) << err.toStdString();
    ASSERT_TRUE(test::writeFile(c, "/* width=10 height=3 */ { 0x80, 0x40 }"));
    EXPECT_EQ(run({QStringLiteral("export"), QStringLiteral("--read"), c, QStringLiteral("-o"), png}), cli::ExitBadInput);
    EXPECT_TRUE(err.contains(QStringLiteral("2 bytes where these options and size make 6"))) << err.toStdString();
    ASSERT_TRUE(test::writeFile(c, "0x80, 0x40"));
    EXPECT_EQ(run({QStringLiteral("export"), QStringLiteral("--read"), c, QStringLiteral("-o"), png}), cli::ExitBadInput);
    EXPECT_TRUE(err.contains(QStringLiteral("no '{'")));
    EXPECT_FALSE(QFile::exists(png));
}

TEST_F(FirmwareCli, UsageErrors) {
    const QString bmp = oddBmp();
    EXPECT_EQ(run({QStringLiteral("export")}), cli::ExitUsage);
    EXPECT_EQ(run({QStringLiteral("export"), bmp, QStringLiteral("--scan"), QStringLiteral("diagonal")}), cli::ExitUsage);
    EXPECT_TRUE(err.contains(QStringLiteral("--scan must be")));
    EXPECT_EQ(run({QStringLiteral("export"), bmp, QStringLiteral("--little-endian")}), cli::ExitUsage);
    EXPECT_EQ(run({QStringLiteral("export"), bmp, QStringLiteral("--word"), QStringLiteral("12")}), cli::ExitUsage);
    EXPECT_EQ(run({QStringLiteral("export"), bmp, QStringLiteral("--format"), QStringLiteral("bin")}), cli::ExitUsage);
    EXPECT_EQ(run({QStringLiteral("export"), bmp, QStringLiteral("--name"), QStringLiteral("2x")}), cli::ExitUsage);
    EXPECT_EQ(run({QStringLiteral("export"), bmp, QStringLiteral("--lsb-first"), QStringLiteral("--msb-first")}),
              cli::ExitUsage);
    EXPECT_EQ(run({QStringLiteral("export"), file(QStringLiteral("none.png"))}), cli::ExitBadInput);
    EXPECT_TRUE(err.contains(QStringLiteral("picture not found")));
    EXPECT_EQ(run({QStringLiteral("export"), QStringLiteral("--help")}), cli::ExitDone);
    EXPECT_TRUE(out.contains(QStringLiteral("--scan MODE")));
    EXPECT_EQ(run({QStringLiteral("--help")}), cli::ExitDone);
    EXPECT_TRUE(out.contains(QStringLiteral("  export PICTURE...")));
    EXPECT_TRUE(out.contains(QStringLiteral("  font build --from FONT")));
}

TEST_F(FirmwareCli, FontBuildWritesTheHzk16AndSubsets) {
    ASSERT_TRUE(QFile::exists(BitmapSong)) << "install xfonts-wqy";
    const QString hzk = file(QStringLiteral("hzk16"));
    ASSERT_EQ(run({QStringLiteral("font"), QStringLiteral("build"), QStringLiteral("--from"), BitmapSong,
                   QStringLiteral("--size"), QStringLiteral("16"), QStringLiteral("-o"), hzk}),
              cli::ExitDone)
        << err.toStdString();
    EXPECT_EQ(test::readFile(hzk), buildHzk(BitmapSong, {}).file);
    EXPECT_TRUE(out.contains(QStringLiteral("of 7445 characters with a glyph")));

    const QString c = file(QStringLiteral("ui-font.c"));
    ASSERT_EQ(run({QStringLiteral("font"), QStringLiteral("build"), QStringLiteral("--from"), BitmapSong,
                   QStringLiteral("--size"), QStringLiteral("16"), QStringLiteral("--chars"), QStringLiteral("字汉A"),
                   QStringLiteral("-o"), c}),
              cli::ExitDone)
        << err.toStdString();
    const QByteArray text = test::readFile(c);
    EXPECT_TRUE(text.contains("#define UI_FONT_COUNT 3\n"));
    EXPECT_EQ(parseCArray(text).bytes, QByteArray::fromHex("0041BABAD7D6"));

    const QString bin = file(QStringLiteral("sub.bin"));
    ASSERT_EQ(run({QStringLiteral("font"), QStringLiteral("build"), QStringLiteral("--from"), BitmapSong,
                   QStringLiteral("--size"), QStringLiteral("16"), QStringLiteral("--chars"), QStringLiteral("汉😀"),
                   QStringLiteral("-o"), bin}),
              cli::ExitDone);
    EXPECT_TRUE(err.contains(QStringLiteral("left out (no GBK code or no glyph): 😀")));
    const QByteArray b = test::readFile(bin);
    ASSERT_EQ(b.size(), 4 + 2 + 32);
    EXPECT_EQ(b.left(6), QByteArray::fromHex("00011020BABA"));
}

TEST_F(FirmwareCli, FontBuildRefusals) {
    const QString out16 = file(QStringLiteral("hzk16"));
    const QString notFont = file(QStringLiteral("font.ttf"));
    ASSERT_TRUE(test::writeFile(notFont, "hello"));
    const auto build = [&](const QString& from, const QString& size) {
        return run({QStringLiteral("font"), QStringLiteral("build"), QStringLiteral("--from"), from,
                    QStringLiteral("--size"), size, QStringLiteral("-o"), out16});
    };
    EXPECT_EQ(build(notFont, QStringLiteral("16")), cli::ExitBadInput);
    EXPECT_TRUE(err.contains(QStringLiteral("not a font file: ") + notFont));
    EXPECT_EQ(build(file(QStringLiteral("none.ttf")), QStringLiteral("16")), cli::ExitBadInput);
    EXPECT_TRUE(err.contains(QStringLiteral("font file not found")));
    EXPECT_EQ(build(BitmapSong, QStringLiteral("24")), cli::ExitBadInput);
    EXPECT_TRUE(err.contains(QStringLiteral("no 24-dot size")));
    EXPECT_EQ(build(BitmapSong, QStringLiteral("100")), cli::ExitUsage);
    EXPECT_FALSE(QFile::exists(out16));
    EXPECT_EQ(run({QStringLiteral("font"), QStringLiteral("build"), QStringLiteral("--size"), QStringLiteral("16"),
                   QStringLiteral("-o"), out16}),
              cli::ExitUsage);
    EXPECT_EQ(run({QStringLiteral("font"), QStringLiteral("build"), QStringLiteral("--from"), BitmapSong,
                   QStringLiteral("--size"), QStringLiteral("16"), QStringLiteral("--chars"), QStringLiteral("a"),
                   QStringLiteral("--gb2312"), QStringLiteral("-o"), out16}),
              cli::ExitUsage);
    // The font download command is still itself.
    EXPECT_EQ(run({QStringLiteral("font"), file(QStringLiteral("missing"))}), cli::ExitBadInput);
    EXPECT_TRUE(err.contains(QStringLiteral("font file not found or unreadable")));
}

// Options may stand before the command word, as for every other command: their values are
// never taken for the command, and the result is the one of the usual order.
TEST_F(FirmwareCli, OptionsBeforeTheCommandWord) {
    const QString bmp = oddBmp();
    const QString usual = file(QStringLiteral("usual.bin"));
    const QString before = file(QStringLiteral("before.bin"));
    ASSERT_EQ(run({QStringLiteral("export"), bmp, QStringLiteral("--scan"), QStringLiteral("pages"), QStringLiteral("-o"), usual}),
              cli::ExitDone)
        << err.toStdString();
    ASSERT_EQ(run({QStringLiteral("--scan"), QStringLiteral("pages"), QStringLiteral("-o"), before, QStringLiteral("export"), bmp}),
              cli::ExitDone)
        << err.toStdString();
    EXPECT_EQ(test::readFile(before), QByteArray::fromHex("01040000000000000205"));
    EXPECT_EQ(test::readFile(before), test::readFile(usual));
    // --name=value carries its value; a value that reads like a command word stays a value.
    ASSERT_EQ(run({QStringLiteral("--name=font"), QStringLiteral("--format"), QStringLiteral("c"), QStringLiteral("export"), bmp}),
              cli::ExitDone)
        << err.toStdString();
    EXPECT_TRUE(out.contains(QStringLiteral("const uint8_t font[6] = {")));

    ASSERT_TRUE(QFile::exists(BitmapSong)) << "install xfonts-wqy";
    const QString sub = file(QStringLiteral("sub.bin"));
    ASSERT_EQ(run({QStringLiteral("--size"), QStringLiteral("16"), QStringLiteral("--chars"), QStringLiteral("汉"),
                   QStringLiteral("-o"), sub, QStringLiteral("font"), QStringLiteral("build"), QStringLiteral("--from"), BitmapSong}),
              cli::ExitDone)
        << err.toStdString();
    EXPECT_EQ(test::readFile(sub).left(6), QByteArray::fromHex("00011020BABA"));

    // Which programs decode pictures is told by the same word.
    EXPECT_TRUE(cli::needsGui({QStringLiteral("panelix-cli"), QStringLiteral("-o"), QStringLiteral("a.c"), QStringLiteral("export"), bmp}));
    EXPECT_FALSE(cli::needsGui({QStringLiteral("panelix-cli"), QStringLiteral("--port"), QStringLiteral("convert"),
                                QStringLiteral("test")}));
    EXPECT_TRUE(cli::needsGui({QStringLiteral("panelix-cli"), QStringLiteral("--timeout"), QStringLiteral("2"),
                               QStringLiteral("download"), bmp}));
}

// An animated GIF converts to a BMP a frame and exports as an array a frame, in order.
TEST_F(FirmwareCli, AnimatedGifFramesConvertAndExportOneByOne) {
    const QSize size(16, 2);
    const QString gif = file(QStringLiteral("spin.gif"));
    ASSERT_TRUE(test::writeFile(gif, test::makeGif(size, {test::columnFrame(size, 0, 4), test::columnFrame(size, 9, 0)})));
    const QString dir = file(QStringLiteral("frames"));
    ASSERT_EQ(run({QStringLiteral("convert"), gif, QStringLiteral("--fit"), QStringLiteral("original"), QStringLiteral("-o"), dir}),
              cli::ExitDone)
        << err.toStdString();
    EXPECT_TRUE(out.contains(QStringLiteral("frame 1 of 2, 40 ms")));
    EXPECT_TRUE(out.contains(QStringLiteral("frame 2 of 2, 100 ms")));
    BmpReader first;
    BmpReader second;
    ASSERT_TRUE(first.readBmp(QDir(dir).filePath(QStringLiteral("spin.bmp"))));
    ASSERT_TRUE(second.readBmp(QDir(dir).filePath(QStringLiteral("spin-2.bmp"))));
    EXPECT_TRUE(first.bitmap().pixel(0, 1));
    EXPECT_FALSE(first.bitmap().pixel(9, 1));
    EXPECT_TRUE(second.bitmap().pixel(9, 1));
    EXPECT_FALSE(second.bitmap().pixel(0, 1));

    ASSERT_EQ(run({QStringLiteral("export"), gif}), cli::ExitDone) << err.toStdString();
    EXPECT_TRUE(out.contains(QStringLiteral("const uint8_t spin[4] = {\n    0x80, 0x00, 0x80, 0x00,\n};")))
        << out.toStdString();
    EXPECT_TRUE(out.contains(QStringLiteral("const uint8_t spin_2[4] = {\n    0x00, 0x40, 0x00, 0x40,\n};")));

    // More frames than the module stores pictures: the first 127 are converted, the rest named.
    QList<test::GifFrame> frames;
    for (int k = 0; k < module::MaxBitmaps + 2; ++k)
        frames << test::columnFrame(size, k % 16, 2);
    const QString many = file(QStringLiteral("many.gif"));
    ASSERT_TRUE(test::writeFile(many, test::makeGif(size, frames)));
    const QString manyDir = file(QStringLiteral("many"));
    ASSERT_EQ(run({QStringLiteral("convert"), many, QStringLiteral("--fit"), QStringLiteral("original"), QStringLiteral("-o"),
                   manyDir}),
              cli::ExitDone)
        << err.toStdString();
    EXPECT_EQ(QDir(manyDir).entryList(QDir::Files).size(), module::MaxBitmaps);
    EXPECT_TRUE(err.contains(QStringLiteral("many.gif: frames 128..129 left out: the module stores at most 127 pictures")))
        << err.toStdString();
}
