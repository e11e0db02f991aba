#include "bitmap/BitmapDownload.h"
#include "bitmap/BmpReader.h"
#include "bitmap/DownloadImageBuilder.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>
#include <QFileInfo>
#include <QTemporaryDir>

#include <csignal>
#ifndef _WIN32
#include <sys/resource.h>
#endif

using panelix::test::describe;

using namespace panelix;

namespace {

QByteArray hex(const char* h) {
    return QByteArray::fromHex(h);
}

QByteArray bmpFile(int w, int h, QByteArray rows = {}, int info = 40, int palette = 2) {
    return test::makeBmp(
        {.width = w, .height = h, .infoHeaderSize = info, .paletteEntries = palette, .rows = rows});
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
        EXPECT_TRUE(test::writeFile(dir.filePath(name), file));
        return dir.filePath(name);
    }
    bool build(const QStringList& entries) { return builder.buildDownloadImage(entries, reader, fileAdd); }
    QByteArray image(int at, int n = -1) const { return builder.downloadImage().mid(at, n); }
    QByteArray entry(int e) const { return image(8 * e, 8); }
    QByteArray matrix() const {
        QByteArray out;
        for (int r = 0; r < BmpReader::MatrixRows; ++r)
            out += QByteArray(reinterpret_cast<const char*>(reader.pixelRow(r)), BmpReader::MatrixCols);
        return out;
    }
    // The header, or the refusal with TransferTotal, for an image ending at end.
    QByteArray plan(const char* end) const {
        QByteArray img(524288, '\0');
        return plan(img.replace(1, 3, hex(end)));
    }
    QByteArray plan(const QByteArray& img) const {
        const BitmapDownloadPlan p = planBitmapDownload(img);
        EXPECT_EQ(p.accepted, !p.header.isEmpty());
        return p.accepted ? p.header : QByteArray(describe(p.error).c_str()) + " " + QByteArray::number(p.transferTotal);
    }

    QTemporaryDir dir;
    QString fileAdd = dir.filePath("file.add");
    BmpReader reader;
    DownloadImageBuilder builder;
};

} // namespace

TEST_F(Bitmap, TenByTwoPacksTopRowFirstWithoutPadding) {
    QByteArray file = bmpFile(10, 2, hex("0102000003040000"));
    file.replace(54, 3, hex("102030"));
    ASSERT_TRUE(build({bmp("a.bmp", file)}));
    EXPECT_EQ(image(0, 16), hex("01040400000000000202000400000000"));
    EXPECT_EQ(image(1024), hex("03040102") + QByteArray(524288 - 1028, '\0'));
    EXPECT_EQ(test::readFile(fileAdd), builder.downloadImage());
    EXPECT_EQ(reader.palette()[0], 0xFF302010u);
    EXPECT_EQ(reader.bmpBuffer(), file + QByteArray(40001 - file.size(), '\0'));
    const BitmapDownloadPlan p = planBitmapDownload(builder.downloadImage());
    EXPECT_TRUE(p.accepted);
    EXPECT_FALSE(p.error);
    EXPECT_EQ(p.transferTotal, 1028);
    EXPECT_EQ(p.header, hex("A668040408"));
}

TEST_F(Bitmap, WidthsAndHeightsGiveStrideWidthBytesAndEntry) {
    struct Case {
        int w, h, stride;
        const char* entry;
    };
    for (const Case& c : {Case{320, 240, 40, "28F0000400000000"}, Case{100, 3, 16, "0D03000400000000"},
                          Case{256, 2, 32, "2002000400000000"}, Case{33, 2, 8, "0502000400000000"},
                          Case{640, 300, 80, "502C000400000001"}, Case{7, 1, 4, "0101000400000000"}}) {
        SCOPED_TRACE(c.w);
        const QByteArray stored = test::patternRows(c.w, c.h, c.w);
        ASSERT_TRUE(build({bmp("p.bmp", bmpFile(c.w, c.h, stored))}));
        EXPECT_EQ(reader.stride(), c.stride);
        EXPECT_EQ(entry(1), hex(c.entry));
        const QByteArray pixels = packed(stored, c.w, c.h);
        EXPECT_EQ(image(1024, int(pixels.size()) + 1), pixels + '\0');
        EXPECT_EQ(builder.endPosition(), quint32(1024 + pixels.size()));
        EXPECT_EQ(reader.pixelByte(0, c.stride - 1), quint8(stored.back())); // padding reaches the matrix
    }
}

TEST_F(Bitmap, FiveFullScreensRunAcrossTheFirstBank) {
    QStringList entries;
    QByteArray expected;
    for (int i = 0; i < 5; ++i) {
        entries << bmp(QString("s%1.bmp").arg(i), bmpFile(320, 240, test::patternRows(320, 240, i)));
        expected += packed(test::patternRows(320, 240, i), 320, 240);
    }
    ASSERT_TRUE(build(entries));
    const char* starts[] = {"000400", "802900", "004F00", "807400", "001A01"};
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(entry(i + 1).mid(2, 3), hex(starts[i])) << i;
    EXPECT_EQ(image(0, 4), hex("05803F01"));
    EXPECT_EQ(image(1024), expected + QByteArray(524288 - 49024, '\0'));
    EXPECT_EQ(plan("803F01"), hex("A668803F09"));
}

TEST_F(Bitmap, CountAndSizeLimits) {
    const QString one = bmp("one.bmp", bmpFile(8, 1)), big = bmp("big.bmp", bmpFile(640, 481));
    ASSERT_TRUE(build({}));
    EXPECT_EQ(test::readFile(fileAdd), hex("00000400") + QByteArray(524284, '\0'));
    ASSERT_TRUE(build(QStringList(127, one)));
    EXPECT_EQ(image(0, 4), hex("7F7F0400"));
    EXPECT_EQ(entry(127), hex("01017E0400000000"));
    EXPECT_EQ(builder.directoryByte(127, 2), 0x7E);
    // Seven big ones fit in the image but not in the module.
    ASSERT_TRUE(build(QStringList(7, big)));
    const QByteArray seven = test::readFile(fileAdd);
    EXPECT_EQ(seven, builder.downloadImage());
    EXPECT_EQ(image(0, 4), hex("07302008"));
    EXPECT_EQ(plan(seven), "ImageTooLarge 270384");
    EXPECT_FALSE(build(QStringList(128, one)));
    EXPECT_EQ(describe(builder.error()), "TooManyBitmaps");
    EXPECT_FALSE(build(QStringList(14, big)));
    EXPECT_EQ(describe(builder.error()), "ImageTooLarge");
    EXPECT_TRUE(builder.downloadImage().isEmpty());
    EXPECT_EQ(test::readFile(fileAdd), seven);
}

TEST_F(Bitmap, TransferTotalLimit) {
    EXPECT_EQ(plan("000400"), hex("A668000408"));
    EXPECT_EQ(plan("000008"), hex("A668000010"));
    EXPECT_EQ(plan("010008"), hex("A668010010"));
    EXPECT_EQ(plan("020008"), "ImageTooLarge 262146");
    EXPECT_EQ(planBitmapDownload(QByteArray()).error.reason, InputReason::ImageInvalid);
}

TEST_F(Bitmap, SmallerPictureLeavesTheRestOfTheMatrix) {
    const QByteArray large = test::patternRows(320, 240, 9);
    ASSERT_TRUE(reader.readBmp(bmp("large.bmp", bmpFile(320, 240, large))));
    ASSERT_TRUE(reader.readBmp(bmp("small.bmp", bmpFile(10, 2, hex("0102AABB0304CCDD")))));
    EXPECT_EQ(matrix().left(2 * 81), hex("0304CCDD") + large.right(36) + QByteArray(41, '\0') +
                                         hex("0102AABB") + large.mid(238 * 40 + 4, 36) +
                                         QByteArray(41, '\0'));
    EXPECT_EQ(matrix().mid(2 * 81, 40), large.mid(237 * 40, 40));
    EXPECT_EQ(QSize(reader.width(), reader.height()), QSize(10, 2));
}

TEST_F(Bitmap, PixelsComeFromTheHeaderOffsetAndInStoredOrder) {
    const QByteArray stored = test::patternRows(100, 30, 4);
    ASSERT_TRUE(build({bmp("v3.bmp", bmpFile(100, 30, stored))}));
    const QByteArray twin = builder.downloadImage();
    QByteArray far = bmpFile(100, 30, stored); // rows beyond the first 40,001 bytes
    far.insert(62, QByteArray(50000, '\x77')).replace(10, 4, hex("8EC30000"));
    for (const QByteArray& file : {bmpFile(100, 30, stored, 124), bmpFile(100, 30, stored, 108, 16), far}) {
        ASSERT_TRUE(build({bmp("v.bmp", file)})) << describe(builder.error());
        EXPECT_EQ(builder.downloadImage(), twin);
    }
    ASSERT_TRUE(build({bmp("td.bmp", bmpFile(10, -2, hex("0102000003040000")))}));
    EXPECT_EQ(image(0, 16), hex("01040400000000000202000400000000"));
    EXPECT_EQ(image(1024, 4), hex("01020304"));
}

TEST_F(Bitmap, RefusedFilesChangeNothing) {
    const QString good = bmp("good.bmp", bmpFile(320, 240));
    ASSERT_TRUE(test::writeFile(fileAdd, "previous"));
    const QString notMono = "NotMonoBmp:", size = "BitmapSizeOutOfRange:";
    QByteArray rgb = bmpFile(16, 4), rle = bmpFile(16, 4);
    rgb[28] = 24;
    rle[30] = 1;
    // Pixel rows cut off by the end of the file: a file that cannot be read whole, near the
    // header or beyond the first 40,001 bytes.
    QByteArray farCut = bmpFile(100, 30);
    farCut.insert(62, QByteArray(50000, '\x77')).replace(10, 4, hex("8EC30000"));
    farCut.chop(1);
    const QList<std::pair<QString, QByteArray>> cases = {{"BitmapUnreadable:cut.bmp", bmpFile(16, 4).left(62 + 15)},
                                                         {"BitmapUnreadable:farcut.bmp", farCut},
                                                         {notMono + "rgb.bmp", rgb},
                                                         {notMono + "rle.bmp", rle},
                                                         {notMono + "text.bmp", QByteArray(80, 'x')},
                                                         {size + "w641.bmp", bmpFile(641, 4)},
                                                         {size + "h482.bmp", bmpFile(8, 482)},
                                                         {size + "t482.bmp", bmpFile(8, -482)},
                                                         {size + "w0.bmp", bmpFile(0, 4)},
                                                         {size + "h0.bmp", bmpFile(8, 0)},
                                                         {"BitmapUnreadable:missing.bmp", {}}};
    ASSERT_TRUE(reader.readBmp(good));
    const QByteArray before = matrix(), head = reader.bmpBuffer();
    for (const auto& [message, file] : cases) {
        const QString name = message.section(':', 1);
        const std::string want = QString(message).replace(':', ' ').toStdString();
        const QString path = file.isNull() ? dir.filePath(name) : bmp(name, file);
        SCOPED_TRACE(name.toStdString());
        EXPECT_FALSE(reader.readBmp(path));
        EXPECT_EQ(describe(reader.error()), want);
        EXPECT_EQ(matrix(), before);
        EXPECT_EQ(reader.bmpBuffer(), head);
        EXPECT_EQ(reader.width(), 320);
        EXPECT_FALSE(build({good, path}));
        EXPECT_EQ(describe(builder.error()), want);
        EXPECT_EQ(test::readFile(fileAdd), "previous");
        ASSERT_TRUE(reader.readBmp(good));
    }
}

#ifndef _WIN32
TEST_F(Bitmap, UnwritableFileAddRefusesAndKeepsTheOldFile) {
    const QString one = bmp("one.bmp", bmpFile(8, 1));
    EXPECT_FALSE(builder.buildDownloadImage({one}, reader, dir.filePath("nodir/file.add")));
    EXPECT_EQ(describe(builder.error()), "FileAddNotWritten");
    // A file-size limit makes the write fail even for root.
    ASSERT_TRUE(test::writeFile(fileAdd, QByteArray(1000, 'x')));
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    rlimit small = saved;
    small.rlim_cur = 100000;
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &small);
    const bool built = build({one});
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_FALSE(built);
    EXPECT_EQ(describe(builder.error()), "FileAddNotWritten");
    EXPECT_EQ(test::readFile(fileAdd), QByteArray(1000, 'x'));
}
#endif

TEST(BitmapPreview, InfoTextAndBoxSize) {
    EXPECT_EQ(previewBoxSize(160, 100, QSize(2000, 2000)), QSize(480, 300));
    EXPECT_EQ(previewBoxSize(640, 480, QSize(2000, 2000)), QSize(480, 360));
    EXPECT_EQ(previewBoxSize(320, 240, QSize(240, 400)), QSize(240, 180));
    EXPECT_EQ(previewBoxSize(100, 1000, QSize(480, 600)), QSize(60, 600));
    EXPECT_EQ(previewBoxSize(640, 1, QSize()), QSize(480, 1));
    EXPECT_TRUE(previewBoxSize(0, 240, QSize(2000, 2000)).isEmpty());
}

TEST_F(Bitmap, PackingBitmapsGivesTheImageBuiltFromTheirFiles) {
    const QList<std::pair<int, int>> sizes = {{10, 2}, {320, 240}, {100, 3}, {7, 481}, {640, 1}};
    QStringList entries;
    std::vector<MonoBitmap> bitmaps;
    QByteArray pixels;
    for (const auto& [w, h] : sizes) {
        const QByteArray stored = test::patternRows(w, h, w + h);
        entries << bmp(QString("%1x%2.bmp").arg(w).arg(h), bmpFile(w, h, stored));
        bitmaps.emplace_back(w, h, packed(stored, w, h));
        pixels += packed(stored, w, h);
    }
    const PackedImage image = DownloadImageBuilder::packDownloadImage(bitmaps);
    ASSERT_TRUE(image.ok()) << describe(image.error);
    EXPECT_EQ(image.end, quint32(1024 + pixels.size()));
    EXPECT_EQ(image.image.mid(0, 48), hex("05DC2B0000000000"
                                          "0202000400000000"
                                          "28F0040400000000"
                                          "0D03842900000000"
                                          "01E1AB2900000001"
                                          "50018C2B00000000"));
    EXPECT_EQ(image.image.mid(48, 1024 - 48), QByteArray(1024 - 48, '\0'));
    EXPECT_EQ(image.image.mid(1024), pixels + QByteArray(524288 - 1024 - pixels.size(), '\0'));

    ASSERT_TRUE(build(entries)); // through the caller's reader
    EXPECT_EQ(builder.downloadImage(), image.image);
    EXPECT_EQ(reader.bitmap(), bitmaps.back());
    ASSERT_TRUE(test::writeFile(fileAdd, "previous"));
    DownloadImageBuilder own;
    ASSERT_TRUE(own.buildDownloadImage(entries, fileAdd));
    EXPECT_EQ(own.downloadImage(), image.image);
    EXPECT_EQ(own.endPosition(), image.end);
    EXPECT_EQ(own.directoryByte(4, 7), 0x01);
    EXPECT_EQ(test::readFile(fileAdd), image.image);
}

TEST_F(Bitmap, PackingRefusesWhatTheDirectoryOrImageCannotHold) {
    const auto refusal = [](const std::vector<MonoBitmap>& bitmaps) {
        const PackedImage p = DownloadImageBuilder::packDownloadImage(bitmaps);
        EXPECT_EQ(p.image.isEmpty(), !p.ok());
        return describe(p.error);
    };
    EXPECT_EQ(refusal({}), "None");
    EXPECT_EQ(refusal(std::vector<MonoBitmap>(127, MonoBitmap(8, 1))), "None");
    EXPECT_EQ(refusal(std::vector<MonoBitmap>(128, MonoBitmap(8, 1))), "TooManyBitmaps");
    EXPECT_EQ(refusal(std::vector<MonoBitmap>(13, MonoBitmap(640, 481))), "None");
    EXPECT_EQ(refusal(std::vector<MonoBitmap>(14, MonoBitmap(640, 481))), "ImageTooLarge");
    for (const MonoBitmap& odd : {MonoBitmap(), MonoBitmap(641, 1), MonoBitmap(8, 482), MonoBitmap(0, 4)})
        EXPECT_EQ(refusal({MonoBitmap(8, 1), odd}), "BitmapSizeOutOfRange entry 2") << odd.width();
}

TEST_F(Bitmap, EntryWithoutFileNameIsNamedByItsPosition) {
    const QString one = bmp("one.bmp", bmpFile(8, 1));
    ASSERT_TRUE(test::writeFile(fileAdd, "previous"));
    ASSERT_TRUE(reader.readBmp(one));
    EXPECT_FALSE(build({one, one, QString(), one}));
    EXPECT_EQ(describe(builder.error()), "BitmapUnreadable entry 3");
    EXPECT_FALSE(builder.buildDownloadImage({one, one, ""}, fileAdd));
    EXPECT_EQ(describe(builder.error()), "BitmapUnreadable entry 3");
    EXPECT_FALSE(builder.buildDownloadImage({dir.path() + "/"}, fileAdd));
    EXPECT_EQ(describe(builder.error()), "BitmapUnreadable entry 1");
    EXPECT_TRUE(builder.downloadImage().isEmpty());
    EXPECT_EQ(builder.directoryByte(0, 0), 0);
    EXPECT_EQ(test::readFile(fileAdd), "previous");
    // A missing file keeps its name.
    EXPECT_FALSE(builder.buildDownloadImage({one, dir.filePath("gone.bmp")}, fileAdd));
    EXPECT_EQ(describe(builder.error()), "BitmapUnreadable gone.bmp");
}

TEST_F(Bitmap, OverflowIsRefusedBeforeLaterEntriesAreRead) {
    const QString big = bmp("big.bmp", bmpFile(640, 481));
    QStringList entries(14, big);
    entries << dir.filePath("gone.bmp") << QString();
    EXPECT_FALSE(builder.buildDownloadImage(entries, fileAdd));
    EXPECT_EQ(describe(builder.error()), "ImageTooLarge");
    EXPECT_FALSE(QFileInfo::exists(fileAdd));
}
