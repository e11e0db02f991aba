// The C texts written for firmware, and the C array reader on what people paste into it.
#include "export/CText.h"

#include <gtest/gtest.h>

using namespace panelix;

namespace {
ExportedImage sample() {
    ExportedImage img;
    img.name = QStringLiteral("logo");
    img.width = 10;
    img.height = 3;
    img.bytes = QByteArray::fromHex("804000804040");
    return img;
}
} // namespace

TEST(CIdentifier, FromFileNames) {
    EXPECT_EQ(cIdentifier(QStringLiteral("/tmp/logo.bmp")), QStringLiteral("logo"));
    EXPECT_EQ(cIdentifier(QStringLiteral("my logo-2.final.png")), QStringLiteral("my_logo_2_final"));
    EXPECT_EQ(cIdentifier(QStringLiteral("2x.bmp")), QStringLiteral("image_2x"));
    EXPECT_EQ(cIdentifier(QStringLiteral("_x.bmp")), QStringLiteral("image__x"));
    EXPECT_EQ(cIdentifier(QStringLiteral("开机画面.bmp")), QStringLiteral("image"));
    EXPECT_EQ(cIdentifier(QStringLiteral("开机 logo.bmp")), QStringLiteral("image__logo"));
    EXPECT_EQ(cIdentifier(QStringLiteral("int.bmp")), QStringLiteral("int_"));
    EXPECT_EQ(cIdentifier(QStringLiteral("static.png")), QStringLiteral("static_"));
    EXPECT_EQ(cIdentifier(QStringLiteral("")), QStringLiteral("image"));
    EXPECT_EQ(cIdentifier(QStringLiteral("dir.d/Icon_OK")), QStringLiteral("Icon_OK"));
}

TEST(CSource, NamesSizeOptionsAndBytes) {
    const QByteArray c = toCSource(sample());
    EXPECT_EQ(c, QByteArray("/* logo: width=10 height=3 scan=rows bits=msb-first dark=1 word=8 padding=line size=6 */\n"
                            "#include <stdint.h>\n\n"
                            "const uint8_t logo[6] = {\n"
                            "    0x80, 0x40, 0x00, 0x80, 0x40, 0x40,\n"
                            "};\n"));
}

TEST(CSource, SixteenNumbersALine) {
    ExportedImage img = sample();
    img.bytes = QByteArray(17, '\x01');
    const QByteArray c = toCSource(img);
    EXPECT_TRUE(c.contains("const uint8_t logo[17] = {\n    0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, "
                           "0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01,\n    0x01,\n};\n"));
}

TEST(CHeader, GuardsSizesAndDeclaration) {
    ExportedImage img = sample();
    img.options.wordBits = 16;
    img.options.byteOrder = ByteOrder::LittleEndian;
    const QByteArray h = toCHeader(img);
    EXPECT_TRUE(h.startsWith("#ifndef LOGO_H\n#define LOGO_H\n"));
    EXPECT_TRUE(h.contains("word=16 order=little-endian"));
    EXPECT_TRUE(h.contains("#define LOGO_WIDTH 10\n#define LOGO_HEIGHT 3\n#define LOGO_SIZE 6\n"));
    EXPECT_TRUE(h.contains("extern const uint8_t logo[LOGO_SIZE];"));
    EXPECT_TRUE(h.endsWith("#endif /* LOGO_H */\n"));
}

TEST(HexDump, OffsetsAndSixteenBytesALine) {
    QByteArray bytes;
    for (int i = 0; i < 18; ++i)
        bytes.append(char(i * 15));
    EXPECT_EQ(toHexDump(bytes), QByteArray("00000000  00 0f 1e 2d 3c 4b 5a 69 78 87 96 a5 b4 c3 d2 e1\n"
                                           "00000010  f0 ff\n"));
    EXPECT_TRUE(toHexDump({}).isEmpty());
}

TEST(CParser, ReadsItsOwnSourceBackWithTheSize) {
    const ParsedCArray p = parseCArray(toCSource(sample()));
    ASSERT_EQ(p.error, ExportError::None);
    EXPECT_EQ(p.bytes, sample().bytes);
    EXPECT_EQ(p.width, 10);
    EXPECT_EQ(p.height, 3);
}

TEST(CParser, MixedNumbersAndComments) {
    const ParsedCArray p = parseCArray("// a picture { not this }\n"
                                       "static const unsigned char pic[] /* { nor this } */ = {\n"
                                       "  0x1F, 0XaB, 255, 0, 017, 0b101, 12u, 0x10UL, // row 0 {\n"
                                       "  /* , 99, */ 7 , \n"
                                       "};\n");
    ASSERT_EQ(p.error, ExportError::None);
    EXPECT_EQ(p.bytes, QByteArray::fromHex("1FABFF000F050C1007"));
    EXPECT_EQ(p.width, 0);
}

TEST(CParser, TypedErrorsWithLines) {
    EXPECT_EQ(parseCArray("0x01, 0x02").error, ExportError::MissingOpenBrace);
    EXPECT_EQ(parseCArray("/* { */ 0x01 }").error, ExportError::MissingOpenBrace);
    const ParsedCArray open = parseCArray("x[] = {\n0x01, 0x02\n");
    EXPECT_EQ(open.error, ExportError::MissingCloseBrace);
    EXPECT_EQ(open.line, 1);
    EXPECT_EQ(parseCArray("{ 0x01 // }\n").error, ExportError::MissingCloseBrace);
    const ParsedCArray big = parseCArray("{\n 1,\n 256 }");
    EXPECT_EQ(big.error, ExportError::NumberTooLarge);
    EXPECT_EQ(big.line, 3);
    EXPECT_EQ(parseCArray("{ 0x1G }").error, ExportError::BadNumber);
    EXPECT_EQ(parseCArray("{ 09 }").error, ExportError::BadNumber);
    EXPECT_EQ(parseCArray("{ -1 }").error, ExportError::BadNumber);
    EXPECT_EQ(parseCArray("{ 0x }").error, ExportError::BadNumber);
    EXPECT_EQ(parseCArray("{ 1 2 }").error, ExportError::BadNumber);
    EXPECT_EQ(parseCArray("{ 1,, 2 }").error, ExportError::BadNumber);
    EXPECT_EQ(parseCArray("{ 0x0x12 }").error, ExportError::BadNumber);
    EXPECT_EQ(parseCArray("{ 'a' }").error, ExportError::BadNumber);
    EXPECT_EQ(parseCArray("{ }").error, ExportError::NoData);
    EXPECT_EQ(parseCArray("{ /* 1, 2 */ }").error, ExportError::NoData);
    EXPECT_EQ(parseCArray("").error, ExportError::MissingOpenBrace);
    EXPECT_EQ(parseCArray(QByteArray("{ 1, \0 }", 8)).error, ExportError::BadNumber);
}

TEST(CParser, ReadsTheOptionsOfItsOwnComment) {
    ExportedImage img = sample();
    img.options.scan = ScanMode::Pages;
    img.options.bitOrder = BitOrder::LsbFirst;
    img.options.polarity = Polarity::DarkIsZero;
    img.options.wordBits = 16;
    img.options.byteOrder = ByteOrder::LittleEndian;
    img.options.padLines = false;
    const ParsedCArray p = parseCArray(toCSource(img));
    ASSERT_TRUE(p.hasOptions);
    EXPECT_EQ(p.options, img.options);
    for (ScanMode scan : {ScanMode::Rows, ScanMode::RowsColumnMajor, ScanMode::Columns, ScanMode::Pages}) {
        ExportOptions o = defaultOptionsFor(scan);
        ExportOptions back;
        ASSERT_TRUE(parseOptionWords(describeOptions(o), &back));
        EXPECT_EQ(back, o);
    }
    ExportOptions untouched;
    untouched.wordBits = 16;
    ExportOptions o = untouched;
    EXPECT_FALSE(parseOptionWords(QStringLiteral("scan=rows bits=msb-first dark=1 word=8"), &o)); // no padding
    EXPECT_FALSE(parseOptionWords(QStringLiteral("scan=diagonal bits=msb-first dark=1 word=8 padding=line"), &o));
    EXPECT_FALSE(parseOptionWords(QStringLiteral("scan=rows bits=msb-first dark=1 word=8 order=middle padding=line"), &o));
    EXPECT_EQ(o, untouched);
    EXPECT_FALSE(parseCArray("/* width=8 height=1 */ { 1 }").hasOptions);
}
