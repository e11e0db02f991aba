// The packed picture type and the BMP writer: bit layout, file layout, and the way
// back through the reader.
#include "bitmap/BmpReader.h"
#include "bitmap/BmpWriter.h"
#include "bitmap/MonoBitmap.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>
#include <QFileInfo>
#include <QTemporaryDir>

using panelix::test::describe;

using namespace panelix;

namespace {

QByteArray hex(const char* h) {
    return QByteArray::fromHex(h);
}

// width x height with every byte patterned, the unused bits of each row included.
MonoBitmap patterned(int width, int height, int seed) {
    return MonoBitmap(width, height, test::patternRows(width * 8, height, seed));
}

QByteArray bmpFile(int width, int height, const QByteArray& rows = {}) {
    test::BmpLayout layout;
    layout.width = width;
    layout.height = height;
    layout.rows = rows;
    return test::makeBmp(layout);
}

} // namespace

TEST(MonoBitmap, BitsAreModuleRowsMsbLeftZeroDark) {
    MonoBitmap b(10, 3);
    EXPECT_EQ(b.widthBytes(), 2);
    EXPECT_EQ(b.bytes(), hex("FFFFFFFFFFFF"));
    b.setPixel(0, 0, true);
    b.setPixel(9, 0, true);
    b.setPixel(8, 2, true);
    b.setPixel(10, 0, true); // an unused bit lies outside the picture
    b.setPixel(-1, 1, true);
    b.setPixel(0, 3, true);
    EXPECT_EQ(b.bytes(), hex("7FBF"
                             "FFFF"
                             "FF7F"));
    EXPECT_TRUE(b.pixel(9, 0));
    EXPECT_FALSE(b.pixel(1, 0));
    EXPECT_FALSE(b.pixel(10, 0));
    EXPECT_EQ(b.row(2)[1], 0x7F);
    EXPECT_EQ(b.row(3), nullptr);
    EXPECT_EQ(b.row(-1), nullptr);
    b.setPixel(9, 0, false);
    EXPECT_EQ(b.row(0)[1], 0xFF);

    EXPECT_EQ(MonoBitmap(9, 2, true).bytes(), QByteArray(4, '\0'));
    // Rows given short are filled dark; extra bytes are dropped.
    EXPECT_EQ(MonoBitmap(16, 2, hex("0102FF")).bytes(), hex("0102FF00"));
    EXPECT_EQ(MonoBitmap(8, 1, hex("AABB")).bytes(), hex("AA"));
    EXPECT_TRUE(MonoBitmap(-3, 5).isEmpty());
    EXPECT_TRUE(MonoBitmap().bytes().isEmpty());
}

TEST(MonoBitmap, EqualityNeedsSizeAndBytes) {
    const MonoBitmap a(9, 2, hex("01020304"));
    EXPECT_EQ(a, MonoBitmap(9, 2, hex("01020304")));
    EXPECT_NE(a, MonoBitmap(10, 2, hex("01020304"))); // same bytes, other width
    EXPECT_NE(a, MonoBitmap(32, 1, hex("01020304"))); // same bytes, other shape
    MonoBitmap c = a;
    c.setPixel(7, 1, true);
    EXPECT_NE(a, c);
    EXPECT_EQ(a.bytes(), hex("01020304")); // the copy changed alone
}

TEST(BmpWriter, SmallFileWholeHeaderAndPaddedBottomUpRows) {
    MonoBitmap b(10, 3,
                 hex("7FBF"
                     "FFFF"
                     "003F"));
    const QByteArray file = writeBmp(b);
    EXPECT_EQ(file.left(BmpHeaderSize), hex("424D"
                                            "4A000000" // file size 74
                                            "00000000"
                                            "3E000000" // pixels at 62
                                            "28000000" // BITMAPINFOHEADER
                                            "0A000000"
                                            "03000000" // bottom-up
                                            "0100"
                                            "0100"
                                            "00000000"
                                            "0C000000" // pixel bytes
                                            "130B0000"
                                            "130B0000"
                                            "02000000"
                                            "02000000"
                                            "00000000" // entry 0 black
                                            "FFFFFF00"));
    EXPECT_EQ(file.mid(BmpHeaderSize), hex("003F0000"
                                           "FFFF0000"
                                           "7FBF0000"));
}

TEST(BmpWriter, RoundTripThroughTheReaderIsByteExact) {
    QTemporaryDir dir;
    const QString path = dir.filePath("p.bmp");
    BmpReader reader;
    for (int width : {1, 7, 8, 9, 320, 640}) {
        for (int height : {1, 2, 240, 481}) {
            SCOPED_TRACE(testing::Message() << width << "x" << height);
            const MonoBitmap bitmap = patterned(width, height, width + height);
            const QByteArray file = writeBmp(bitmap);
            const int stride = test::bmpStride(width), wb = bitmap.widthBytes();
            ASSERT_EQ(file.size(), BmpHeaderSize + stride * height);
            // Row r of the picture is stored (height - 1 - r) rows in, padded with zeros.
            for (int r = 0; r < height; ++r) {
                const QByteArray stored = file.mid(BmpHeaderSize + (height - 1 - r) * stride, stride);
                ASSERT_EQ(stored, bitmap.bytes().mid(r * wb, wb) + QByteArray(stride - wb, '\0')) << r;
            }

            ASSERT_TRUE(writeBmpFile(path, bitmap));
            EXPECT_EQ(test::readFile(path), file);
            ASSERT_TRUE(reader.readBmp(path)) << describe(reader.error());
            EXPECT_EQ(reader.palette()[0], 0xFF000000u); // a dark dot shows black
            EXPECT_EQ(reader.palette()[1], 0xFFFFFFFFu);
            const MonoBitmap back = reader.bitmap();
            ASSERT_EQ(back, bitmap);
            EXPECT_EQ(writeBmp(back), file);
        }
    }
}

TEST(BmpWriter, FileIsReplacedWholeOrNotAtAll) {
    QTemporaryDir dir;
    const QString path = dir.filePath("p.bmp");
    ASSERT_TRUE(test::writeFile(path, QByteArray(5000, 'x')));
    const MonoBitmap bitmap = patterned(16, 2, 1);
    QString error;
    ASSERT_TRUE(writeBmpFile(path, bitmap, &error));
    EXPECT_EQ(test::readFile(path), writeBmp(bitmap)); // no tail of the longer old file

    EXPECT_FALSE(writeBmpFile(dir.filePath("missing/p.bmp"), bitmap, &error));
    EXPECT_FALSE(error.isEmpty());
    error.clear();
    EXPECT_FALSE(writeBmpFile(dir.path(), bitmap, &error)); // a directory is not replaced
    EXPECT_FALSE(error.isEmpty());
    EXPECT_TRUE(QFileInfo(dir.path()).isDir());
}

TEST(BmpReaderBitmap, LastGoodReadWithoutPadding) {
    QTemporaryDir dir;
    BmpReader reader;
    EXPECT_TRUE(reader.bitmap().isEmpty());
    const QString large = dir.filePath("large.bmp"), small = dir.filePath("small.bmp");
    ASSERT_TRUE(test::writeFile(large, bmpFile(320, 240)));
    ASSERT_TRUE(test::writeFile(small, bmpFile(10, 2, hex("0102AABB0304CCDD"))));
    ASSERT_TRUE(reader.readBmp(large));
    ASSERT_TRUE(reader.readBmp(small));
    // Only the small picture: neither its padding nor what the large one left in the matrix.
    EXPECT_EQ(reader.bitmap(), MonoBitmap(10, 2, hex("03040102")));
    EXPECT_FALSE(reader.readBmp(dir.filePath("missing.bmp")));
    EXPECT_EQ(reader.bitmap(), MonoBitmap(10, 2, hex("03040102")));

    const QString topDown = dir.filePath("td.bmp");
    ASSERT_TRUE(test::writeFile(topDown, bmpFile(10, -2, hex("0102AABB0304CCDD"))));
    ASSERT_TRUE(reader.readBmp(topDown));
    EXPECT_EQ(reader.bitmap(), MonoBitmap(10, 2, hex("01020304")));
}
