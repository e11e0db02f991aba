#include "bitmap/BitmapDownload.h"
#include "bitmap/BmpReader.h"
#include "bitmap/DownloadImageBuilder.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QTemporaryDir>

#include <csignal>
#include <sys/resource.h>

using namespace panelix;
using test::BmpSpec;

namespace {

QByteArray hex(const char* h) {
    return QByteArray::fromHex(h);
}

// The picture's rows top first, WB bytes each: what the module must receive.
QByteArray packed(const QByteArray& stored, int width, int height) {
    const int rows = std::abs(height), stride = test::bmpStride(width), wb = (width + 7) / 8;
    QByteArray out;
    for (int r = 0; r < rows; ++r)
        out += stored.mid((height < 0 ? r : rows - 1 - r) * stride, wb);
    return out;
}

class Bitmap : public ::testing::Test {
protected:
    QString bmp(const QString& name, const QByteArray& file) {
        const QString path = dir.filePath(name);
        EXPECT_TRUE(test::writeFile(path, file));
        return path;
    }
    QString bmp(const QString& name, int w, int h, int seed = 0) {
        return bmp(name, test::makeBmp({.width = w, .height = h, .rows = test::patternRows(w, h, seed)}));
    }
    bool build(const QStringList& entries) { return builder.BuildDownloadImage(entries, reader, fileAdd); }
    QByteArray image(int at, int n) const { return builder.downloadImage().mid(at, n); }
    QByteArray entry(int e) const {
        QByteArray out;
        for (int b = 0; b < 8; ++b)
            out += char(builder.directoryByte(e, b));
        return out;
    }
    QByteArray matrix() const {
        QByteArray out;
        for (int r = 0; r < BmpReader::MatrixRows; ++r)
            out += QByteArray(reinterpret_cast<const char*>(reader.pixelRow(r)), BmpReader::MatrixCols);
        return out;
    }

    QTemporaryDir dir;
    QString fileAdd = dir.filePath("file.add");
    BmpReader reader;
    DownloadImageBuilder builder;
};

} // namespace

TEST_F(Bitmap, TenByTwoPacksTopRowFirstWithoutPadding) {
    QByteArray file = test::makeBmp({.width = 10, .height = 2, .rows = hex("0102000003040000")});
    file[54] = char(0x10), file[55] = char(0x20), file[56] = char(0x30);
    ASSERT_TRUE(build({bmp("a.bmp", file)}));
    EXPECT_EQ(image(1024, 4), hex("03040102"));
    EXPECT_EQ(entry(1), hex("0202000400000000"));
    EXPECT_EQ(image(0, 4), hex("01040400"));
    EXPECT_EQ(builder.endPosition(), 1028u);
    EXPECT_EQ(builder.downloadImage().size(), 524288);
    EXPECT_EQ(image(1028, -1), QByteArray(524288 - 1028, '\0'));
    EXPECT_EQ(test::readFile(fileAdd), builder.downloadImage());
    EXPECT_EQ(reader.palette()[0], 0xFF302010u);
    EXPECT_EQ(reader.palette()[1], 0xFFFFFFFFu);
    EXPECT_EQ(reader.bmpBuffer().left(file.size()), file);
    EXPECT_EQ(reader.bmpBuffer().size(), 40001);

    const BitmapDownloadPlan plan = planBitmapDownload(builder.downloadImage(), 256);
    EXPECT_TRUE(plan.accepted);
    EXPECT_EQ(plan.message, "正在下载...");
    EXPECT_EQ(plan.transferTotal, 1028);
    EXPECT_EQ(plan.header, hex("A668040408"));
}

TEST_F(Bitmap, WidthsAndHeightsGiveStrideWidthBytesAndEntry) {
    struct Case {
        int w, h, stride, wb;
        const char* entry;
    };
    const Case cases[] = {{320, 240, 40, 40, "28F0000400000000"}, {100, 3, 16, 13, "0D03000400000000"},
                          {256, 2, 32, 32, "2002000400000000"},   {33, 2, 8, 5, "0502000400000000"},
                          {640, 300, 80, 80, "502C000400000001"}, {7, 1, 4, 1, "0101000400000000"},
                          {640, 481, 80, 80, "50E1000400000001"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.w << "x" << c.h);
        const QByteArray stored = test::patternRows(c.w, c.h, c.w);
        ASSERT_TRUE(build({bmp("p.bmp", test::makeBmp({.width = c.w, .height = c.h, .rows = stored}))}));
        EXPECT_EQ(reader.stride(), c.stride);
        EXPECT_EQ(reader.widthBytes(), c.wb);
        EXPECT_EQ(entry(1), hex(c.entry));
        EXPECT_EQ(image(1024, c.wb * c.h), packed(stored, c.w, c.h));
        EXPECT_EQ(builder.endPosition(), quint32(1024 + c.wb * c.h));
        // The padding columns reach the matrix too.
        EXPECT_EQ(reader.pixelByte(0, c.stride - 1), quint8(stored[stored.size() - 1]));
    }
    ASSERT_TRUE(build({bmp("full.bmp", 320, 240)}));
    EXPECT_EQ(image(0, 4), hex("01802900"));
    EXPECT_EQ(planBitmapDownload(builder.downloadImage(), 256).header, hex("A668802908"));
}

TEST_F(Bitmap, FiveFullScreensRunAcrossTheFirstBank) {
    QStringList entries;
    QByteArray expected;
    for (int i = 0; i < 5; ++i) {
        entries << bmp(QString("s%1.bmp").arg(i), 320, 240, i);
        expected += packed(test::patternRows(320, 240, i), 320, 240);
    }
    ASSERT_TRUE(build(entries));
    const char* starts[] = {"000400", "802900", "004F00", "807400", "001A01"};
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(entry(i + 1).mid(2, 3), hex(starts[i])) << i;
    EXPECT_EQ(image(0, 4), hex("05803F01"));
    EXPECT_EQ(image(1024, -1), expected + QByteArray(524288 - 49024, '\0'));
    EXPECT_EQ(entry(6), QByteArray(8, '\0'));
}

TEST_F(Bitmap, DirectoryHoldsAtMost127Bitmaps) {
    const QString one = bmp("one.bmp", 8, 1);
    ASSERT_TRUE(build(QStringList(127, one)));
    EXPECT_EQ(image(0, 4), hex("7F7F0400"));
    EXPECT_EQ(entry(127), hex("01017E0400000000"));
    QFile::remove(fileAdd);
    EXPECT_FALSE(build(QStringList(128, one)));
    EXPECT_EQ(builder.error(), "位图数量超过127个,无法下载!");
    EXPECT_FALSE(QFile::exists(fileAdd));
    EXPECT_TRUE(builder.downloadImage().isEmpty());
}

TEST_F(Bitmap, ImageSizeLimits) {
    const QString big = bmp("big.bmp", 640, 481);
    // Seven fit in memory and in file.add, but are too many for the module.
    ASSERT_TRUE(build(QStringList(7, big)));
    EXPECT_EQ(test::readFile(fileAdd).size(), 524288);
    const BitmapDownloadPlan plan = planBitmapDownload(builder.downloadImage(), 256);
    EXPECT_FALSE(plan.accepted);
    EXPECT_EQ(plan.transferTotal, 1024 + 7 * 38480);
    EXPECT_EQ(plan.message, "位图总量超过256KB,无法下载!");
    EXPECT_TRUE(plan.header.isEmpty());
    // Fourteen do not fit at all: nothing is written.
    const QByteArray before = test::readFile(fileAdd);
    EXPECT_FALSE(build(QStringList(14, big)));
    EXPECT_EQ(builder.error(), "位图总量超过256KB,无法下载!");
    EXPECT_EQ(test::readFile(fileAdd), before);
}

TEST_F(Bitmap, EmptyListStillWritesTheWholeImage) {
    ASSERT_TRUE(build({}));
    EXPECT_EQ(builder.downloadImage(), hex("00000400") + QByteArray(524284, '\0'));
    EXPECT_EQ(test::readFile(fileAdd), builder.downloadImage());
    const BitmapDownloadPlan plan = planBitmapDownload(builder.downloadImage(), 256);
    EXPECT_EQ(plan.transferTotal, 1024);
    EXPECT_EQ(plan.header, hex("A668000408"));
}

TEST_F(Bitmap, TransferTotalLimit) {
    struct Case {
        const char* end;
        qint32 total;
        bool accepted;
        const char* header;
    };
    const Case cases[] = {{"000008", 0x40000, true, "A668000010"},
                          {"010008", 0x40001, true, "A668010010"},
                          {"020008", 0x40002, false, ""},
                          {"802900", 10624, true, "A668802908"}};
    for (const Case& c : cases) {
        QByteArray img(524288, '\0');
        img.replace(1, 3, hex(c.end));
        const BitmapDownloadPlan plan = planBitmapDownload(img, 256);
        EXPECT_EQ(plan.transferTotal, c.total);
        EXPECT_EQ(plan.accepted, c.accepted);
        EXPECT_EQ(plan.header, hex(c.header));
        EXPECT_EQ(plan.message, c.accepted ? "正在下载..." : "位图总量超过256KB,无法下载!");
    }
    EXPECT_FALSE(planBitmapDownload(QByteArray(), 256).accepted);
    EXPECT_EQ(planBitmapDownload(QByteArray(), 256).message, "下载映像无效,无法下载!");
}

TEST_F(Bitmap, SmallerPictureLeavesTheRestOfTheMatrix) {
    const QByteArray large = test::patternRows(320, 240, 9);
    ASSERT_TRUE(
        reader.ReadBmp(bmp("large.bmp", test::makeBmp({.width = 320, .height = 240, .rows = large}))));
    ASSERT_TRUE(reader.ReadBmp(
        bmp("small.bmp", test::makeBmp({.width = 10, .height = 2, .rows = hex("0102AABB0304CCDD")}))));
    EXPECT_EQ(matrix().left(81), hex("0304CCDD") + large.right(36) + QByteArray(41, '\0'));
    EXPECT_EQ(matrix().mid(81, 81), hex("0102AABB") + large.mid(238 * 40 + 4, 36) + QByteArray(41, '\0'));
    EXPECT_EQ(matrix().mid(2 * 81, 40), large.mid(237 * 40, 40));
    EXPECT_EQ(reader.width(), 10);
    EXPECT_EQ(reader.height(), 2);
}

TEST_F(Bitmap, PixelsComeFromTheHeaderOffsetAndInStoredOrder) {
    const QByteArray stored = test::patternRows(100, 30, 4);
    ASSERT_TRUE(build({bmp("v3.bmp", test::makeBmp({.width = 100, .height = 30, .rows = stored}))}));
    const QByteArray twin = builder.downloadImage();
    // A gap pushes the rows beyond the first 40,001 bytes of the file.
    QByteArray far = test::makeBmp({.width = 100, .height = 30, .rows = stored});
    far.insert(62, QByteArray(50000, '\x77'));
    far.replace(10, 4, hex("8EC30000")); // 62 + 50000
    const QList<QByteArray> variants = {
        test::makeBmp({.width = 100, .height = 30, .infoHeaderSize = 124, .rows = stored}),
        test::makeBmp(
            {.width = 100, .height = 30, .infoHeaderSize = 108, .paletteEntries = 16, .rows = stored}),
        far};
    for (const QByteArray& file : variants) {
        ASSERT_TRUE(build({bmp("v.bmp", file)})) << builder.error().toStdString();
        EXPECT_EQ(builder.downloadImage(), twin);
    }

    ASSERT_TRUE(
        build({bmp("td.bmp", test::makeBmp({.width = 10, .height = -2, .rows = hex("0102000003040000")}))}));
    EXPECT_EQ(image(1024, 4), hex("01020304"));
    EXPECT_EQ(entry(1), hex("0202000400000000"));
    EXPECT_EQ(reader.height(), 2);
}

TEST_F(Bitmap, RefusedFilesChangeNothing) {
    const QString good = bmp("good.bmp", 320, 240);
    ASSERT_TRUE(test::writeFile(fileAdd, "previous"));
    const QString notMono = "不是单色BMP位图:", size = "位图尺寸超出范围:";
    struct Case {
        const char* name;
        QByteArray file;
        QString prefix;
    };
    const Case cases[] = {
        {"cut.bmp", test::makeBmp({.width = 16, .height = 4, .rows = {}, .truncateTo = 62 + 15}), notMono},
        {"rgb.bmp", test::makeBmp({.width = 16, .height = 4, .bitsPerPixel = 24, .rows = {}}), notMono},
        {"rle.bmp", test::makeBmp({.width = 16, .height = 4, .compression = 1, .rows = {}}), notMono},
        {"text.bmp", QByteArray("just some text, not a picture at all ...................."), notMono},
        {"empty.bmp", QByteArray(), notMono},
        {"w641.bmp", test::makeBmp({.width = 641, .height = 4, .rows = {}}), size},
        {"h482.bmp", test::makeBmp({.width = 8, .height = 482, .rows = {}}), size},
        {"td482.bmp", test::makeBmp({.width = 8, .height = -482, .rows = {}}), size},
        {"w0.bmp", test::makeBmp({.width = 0, .height = 4, .rows = {}}), size},
        {"h0.bmp", test::makeBmp({.width = 8, .height = 0, .rows = {}}), size},
    };
    ASSERT_TRUE(reader.ReadBmp(good));
    const QByteArray before = matrix(), head = reader.bmpBuffer();
    auto check = [&](const QString& path, const QString& message) {
        SCOPED_TRACE(path.toStdString());
        EXPECT_FALSE(reader.ReadBmp(path));
        EXPECT_EQ(reader.error(), message);
        EXPECT_EQ(matrix(), before);
        EXPECT_EQ(reader.bmpBuffer(), head);
        EXPECT_EQ(reader.width(), 320);
        EXPECT_FALSE(builder.BuildDownloadImage({good, path, good}, reader, fileAdd));
        EXPECT_EQ(builder.error(), message);
        EXPECT_EQ(test::readFile(fileAdd), "previous");
        ASSERT_TRUE(reader.ReadBmp(good));
    };
    for (const Case& c : cases)
        check(bmp(c.name, c.file), c.prefix + c.name);
    check(dir.filePath("missing.bmp"), "位图文件无法打开:missing.bmp");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).filter("file.add"), QStringList{"file.add"});
}

TEST_F(Bitmap, UnwritableFileAddRefusesAndKeepsTheOldFile) {
    const QString one = bmp("one.bmp", 8, 1);
    EXPECT_FALSE(builder.BuildDownloadImage({one}, reader, dir.filePath("nodir/file.add")));
    EXPECT_EQ(builder.error(), "file.add写入失败!");

    // A file-size limit makes the write fail even for root; the old file must survive whole.
    ASSERT_TRUE(test::writeFile(fileAdd, QByteArray(1000, 'x')));
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 100000;
    setrlimit(RLIMIT_FSIZE, &small);
    const bool built = build({one});
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_FALSE(built);
    EXPECT_EQ(builder.error(), "file.add写入失败!");
    EXPECT_EQ(test::readFile(fileAdd), QByteArray(1000, 'x'));
    EXPECT_TRUE(builder.downloadImage().isEmpty());
}

TEST(BitmapPreview, InfoTextAndBoxSize) {
    EXPECT_EQ(bitmapInfoText(320, 240), "位图宽度:320      位图高度:240");
    const QSize roomy(2000, 2000);
    EXPECT_EQ(previewBoxSize(160, 100, roomy), QSize(480, 300));
    EXPECT_EQ(previewBoxSize(640, 480, roomy), QSize(480, 360));
    EXPECT_EQ(previewBoxSize(320, 240, QSize(240, 400)), QSize(240, 180));
    EXPECT_EQ(previewBoxSize(100, 1000, QSize(480, 600)), QSize(60, 600));
    EXPECT_EQ(previewBoxSize(640, 1, QSize()), QSize(480, 1));
    EXPECT_TRUE(previewBoxSize(0, 240, roomy).isEmpty());
}
