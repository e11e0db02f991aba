#include "import/PictureImport.h"

#include "bitmap/BitmapDownload.h"
#include "bitmap/BmpReader.h"
#include "bitmap/BmpWriter.h"
#include "bitmap/DownloadImageBuilder.h"
#include "protocol/Module.h"
#include "simulator/core/ModuleCore.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImageWriter>
#include <QPainter>
#include <QTemporaryDir>

#include <array>
#include <vector>

using namespace panelix;
using namespace panelix::test;

namespace {

QImage flatGrey(int w, int h, int grey) {
    QImage img(w, h, QImage::Format_Grayscale8);
    for (int y = 0; y < h; ++y)
        std::fill_n(img.scanLine(y), w, uchar(grey));
    return img;
}

QImage greys(const std::vector<std::vector<int>>& rows) {
    QImage img(int(rows[0].size()), int(rows.size()), QImage::Format_Grayscale8);
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            img.scanLine(y)[x] = uchar(rows[std::size_t(y)][std::size_t(x)]);
    return img;
}

ImportOptions method(DitherMethod m, int threshold = 128) {
    ImportOptions o;
    o.dither = m;
    o.threshold = threshold;
    return o;
}

int darkCount(const MonoBitmap& b) {
    int n = 0;
    for (int y = 0; y < b.height(); ++y)
        for (int x = 0; x < b.width(); ++x)
            n += b.pixel(x, y) ? 1 : 0;
    return n;
}

// "D" for a dark dot, "L" for a light one, rows joined by "/".
QString pattern(const MonoBitmap& b) {
    QString s;
    for (int y = 0; y < b.height(); ++y) {
        if (y)
            s += QLatin1Char('/');
        for (int x = 0; x < b.width(); ++x)
            s += b.pixel(x, y) ? QLatin1Char('D') : QLatin1Char('L');
    }
    return s;
}

int greyAt(const QImage& img, int x, int y) {
    return qGray(img.pixel(x, y));
}

QByteArray encode(const QImage& img, const char* format) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    EXPECT_TRUE(writer.write(img)) << format << ": " << writer.errorString().toStdString();
    return bytes;
}

// Left half black, right half white.
QImage halves(int w, int h) {
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(Qt::white);
    QPainter p(&img);
    p.fillRect(0, 0, w / 2, h, Qt::black);
    return img;
}

quint32 crc32(const QByteArray& data) {
    quint32 c = 0xFFFFFFFFu;
    for (char ch : data) {
        c ^= quint8(ch);
        for (int k = 0; k < 8; ++k)
            c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1u)));
    }
    return ~c;
}

QByteArray be32(quint32 v) {
    QByteArray b(4, '\0');
    b[0] = char(v >> 24);
    b[1] = char(v >> 16);
    b[2] = char(v >> 8);
    b[3] = char(v);
    return b;
}

QByteArray pngChunk(const QByteArray& type, const QByteArray& data) {
    return be32(quint32(data.size())) + type + data + be32(crc32(type + data));
}

// CRC-32 of a PNG chunk's type followed by n zero bytes, without holding the zeros.
quint32 crc32WithZeros(const QByteArray& type, qint64 n) {
    static const auto table = [] {
        std::array<quint32, 256> t{};
        for (quint32 i = 0; i < 256; ++i) {
            quint32 c = i;
            for (int k = 0; k < 8; ++k)
                c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1u)));
            t[i] = c;
        }
        return t;
    }();
    quint32 c = 0xFFFFFFFFu;
    for (char ch : type)
        c = table[(c ^ quint8(ch)) & 0xFFu] ^ (c >> 8);
    for (qint64 i = 0; i < n; ++i)
        c = table[c & 0xFFu] ^ (c >> 8);
    return ~c;
}

// A line of /proc/self/status in KiB ("VmRSS:", "VmHWM:"), -1 when there is none.
qint64 statusKib(const char* key) {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(key))
            return line.mid(qsizetype(qstrlen(key))).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

struct Files : ::testing::Test {
    QTemporaryDir tmp;
    QString path(const QString& name) const { return tmp.filePath(name); }
    QString put(const QString& name, const QByteArray& bytes) const {
        EXPECT_TRUE(writeFile(path(name), bytes));
        return path(name);
    }
};

} // namespace

// --- Dithering, each method against results worked out by hand.

TEST(Dither, ThresholdDarkensOnlyGreysBelowT) {
    // 127 < 128: every dot dark; 128 is not below 128: every dot light.
    EXPECT_EQ(darkCount(ditherToMono(flatGrey(8, 8, 127), method(DitherMethod::Threshold))), 64);
    EXPECT_EQ(darkCount(ditherToMono(flatGrey(8, 8, 128), method(DitherMethod::Threshold))), 0);
    EXPECT_EQ(pattern(ditherToMono(greys({{0, 99, 100, 255}}), method(DitherMethod::Threshold, 100))),
              QStringLiteral("DDLL"));
}

TEST(Dither, DarkDotsAreZeroBitsAndInvertSwapsThem) {
    const MonoBitmap b = ditherToMono(greys({{0, 255, 0, 255, 255, 255, 255, 255, 0, 0}}),
                                      method(DitherMethod::Threshold));
    ASSERT_EQ(b.widthBytes(), 2);
    // MSB leftmost, dark = 0: 0 1 0 1 1 1 1 1 | 0 0, and the six unused bits stay light (1).
    EXPECT_EQ(quint8(b.bytes()[0]), 0x5F);
    EXPECT_EQ(quint8(b.bytes()[1]), 0x3F);
    ImportOptions inv = method(DitherMethod::Threshold);
    inv.invert = true;
    const MonoBitmap i = ditherToMono(greys({{0, 255, 0, 255, 255, 255, 255, 255, 0, 0}}), inv);
    EXPECT_EQ(quint8(i.bytes()[0]), 0xA0);
    EXPECT_EQ(quint8(i.bytes()[1]), 0xFF); // dots 8 and 9 light now, unused bits still light
}

TEST(Dither, FlatHalfGreyGivesTheExpectedDotCount) {
    // Bayer n x n at T = 128: cell thresholds (M + 1/2) x 256 / n^2; 128 is below them in the
    // cells with M >= n^2 / 2, exactly half of every tile.
    EXPECT_EQ(darkCount(ditherToMono(flatGrey(16, 16, 128), method(DitherMethod::Bayer4))), 128);
    EXPECT_EQ(darkCount(ditherToMono(flatGrey(16, 16, 128), method(DitherMethod::Bayer8))), 128);
    // Pure black and white are untouched by the ordered patterns.
    EXPECT_EQ(darkCount(ditherToMono(flatGrey(16, 16, 0), method(DitherMethod::Bayer8))), 256);
    EXPECT_EQ(darkCount(ditherToMono(flatGrey(16, 16, 255), method(DitherMethod::Bayer4))), 0);

    // Floyd-Steinberg keeps the mean: 4096 dots of 128 need 4096 x 127 / 255 = 2040 dark ones.
    // Only the error pushed over the right and bottom edges is lost; each edge dot pushes out
    // at most 9/16 of an error below 128, so together under (64 + 64) x 9/16 x 128 / 255 < 37 dots.
    const int fs = darkCount(ditherToMono(flatGrey(64, 64, 128), method(DitherMethod::FloydSteinberg)));
    EXPECT_NEAR(fs, 2040, 37);

    // Atkinson drops a quarter of each error, but at mid grey the dropped parts of the dark
    // (+128) and light (-127) dots cancel: the pattern stays half dark, within the edges.
    const int at = darkCount(ditherToMono(flatGrey(64, 64, 128), method(DitherMethod::Atkinson)));
    EXPECT_NEAR(at, 2048, 64);

    // Otsu on a single grey has nothing to split: T = 128, so 128 itself is light.
    EXPECT_EQ(darkCount(ditherToMono(flatGrey(8, 8, 128), method(DitherMethod::Threshold, -1))), 0);
}

TEST(Dither, Bayer4OnTwoByTwoByHand) {
    // The top left of the 4 x 4 matrix is 0 8 / 12 4: thresholds 8, 136 / 200, 72. A grey of 100
    // is below 136 and 200 only.
    EXPECT_EQ(pattern(ditherToMono(flatGrey(2, 2, 100), method(DitherMethod::Bayer4))), QStringLiteral("LD/DL"));
    // T moves every cell threshold: at T = 64 they are -56, 72 / 136, 8, so 100 is dark only under 136.
    EXPECT_EQ(pattern(ditherToMono(flatGrey(2, 2, 100), method(DitherMethod::Bayer4, 64))), QStringLiteral("LL/DL"));
}

TEST(Dither, FloydSteinbergByHand) {
    // 100 100 100 100, one row: 100 dark (error 100, 43.75 right); 143.75 light (error -111.25,
    // -48.67 right); 51.33 dark (error 51.33, 22.46 right); 122.46 dark.
    EXPECT_EQ(pattern(ditherToMono(flatGrey(4, 1, 100), method(DitherMethod::FloydSteinberg))), QStringLiteral("DLDD"));
    // 220 140 / 60 60: 220 light, error -35: right -15.31, below -10.94, below right -2.19.
    // 124.69 dark, error 124.69: below left +23.38, below +38.96. Row 2: 60 - 10.94 + 23.38 = 72.44
    // dark, error 72.44: right +31.69, so 60 - 2.19 + 38.96 + 31.69 = 128.47 light.
    // Swapping the 3/16 and 5/16 weights would make the last dot dark.
    EXPECT_EQ(pattern(ditherToMono(greys({{220, 140}, {60, 60}}), method(DitherMethod::FloydSteinberg))),
              QStringLiteral("LD/DL"));
}

TEST(Dither, AtkinsonByHand) {
    // 100 x 4: 100 dark, 12.5 to each of the next two; 112.5 dark, 14.06 on; 126.56 dark,
    // 15.82 on; 100 + 14.06 + 15.82 = 129.88 light. (Floyd-Steinberg gives DLDD here.)
    EXPECT_EQ(pattern(ditherToMono(flatGrey(4, 1, 100), method(DitherMethod::Atkinson))), QStringLiteral("DDDL"));
    // Two rows below: a 1 x 3 column of 200, 200, 150: 200 light, -6.875 below and two below;
    // 193.1 light, -7.73 below; 150 - 6.875 - 7.73 = 135.4 light. At T = 140 the last is dark.
    EXPECT_EQ(pattern(ditherToMono(greys({{200}, {200}, {150}}), method(DitherMethod::Atkinson))),
              QStringLiteral("L/L/L"));
    EXPECT_EQ(pattern(ditherToMono(greys({{200}, {200}, {150}}), method(DitherMethod::Atkinson, 140))),
              QStringLiteral("L/L/D"));
}

TEST(Dither, OtsuSplitsABimodalHistogramBetweenItsPeaks) {
    // 300 dots spread over 40..60, 100 over 180..220. Every split between 60 and 180 separates the
    // classes completely and has the same between-class variance; the middle of that stretch is
    // taken: t = (60 + 179) / 2 = 119, so T = 120 (a grey below 120 is dark).
    QImage img(400, 1, QImage::Format_Grayscale8);
    for (int i = 0; i < 300; ++i)
        img.scanLine(0)[i] = uchar(40 + i % 21);
    for (int i = 0; i < 100; ++i)
        img.scanLine(0)[300 + i] = uchar(180 + i % 41);
    EXPECT_EQ(otsuThreshold(img), 120);
    EXPECT_EQ(darkCount(ditherToMono(img, method(DitherMethod::Threshold, -1))), 300);

}

// --- Geometry and tone.

TEST(Geometry, FitFillStretchAndOriginalPlaceTheSource) {
    // 400 x 100: black on the left half, white on the right.
    const QImage src = halves(400, 100);
    ImportOptions o;
    o.target = QSize(200, 200);

    o.fit = FitMode::Fit; // 200 x 50 in the middle, white above and below
    QImage fit = scalePicture(src, o);
    ASSERT_EQ(fit.size(), QSize(200, 200));
    EXPECT_EQ(fit.format(), QImage::Format_Grayscale8);
    EXPECT_EQ(greyAt(fit, 50, 10), 255);
    EXPECT_EQ(greyAt(fit, 50, 74), 255);
    EXPECT_EQ(greyAt(fit, 50, 76), 0);
    EXPECT_EQ(greyAt(fit, 50, 123), 0);
    EXPECT_EQ(greyAt(fit, 50, 125), 255);
    EXPECT_EQ(greyAt(fit, 150, 100), 255);

    o.fit = FitMode::Fill; // the centre 100 x 100 (x 150..249) fills the target
    QImage fill = scalePicture(src, o);
    ASSERT_EQ(fill.size(), QSize(200, 200));
    EXPECT_EQ(greyAt(fill, 90, 0), 0);
    EXPECT_EQ(greyAt(fill, 90, 199), 0);
    EXPECT_EQ(greyAt(fill, 110, 100), 255);

    o.fit = FitMode::Stretch; // the whole source, 2 : 1 in x, 1 : 2 in y
    QImage stretch = scalePicture(src, o);
    ASSERT_EQ(stretch.size(), QSize(200, 200));
    EXPECT_EQ(greyAt(stretch, 95, 0), 0);
    EXPECT_EQ(greyAt(stretch, 95, 199), 0);
    EXPECT_EQ(greyAt(stretch, 105, 100), 255);

    o.fit = FitMode::Original; // 1 : 1, the centre 640 x 481 of a larger source
    QImage big(1000, 600, QImage::Format_RGB32);
    big.fill(Qt::white);
    big.setPixel(500, 300, qRgb(0, 0, 0));
    QImage orig = scalePicture(big, o);
    ASSERT_EQ(orig.size(), QSize(640, 481));
    EXPECT_EQ(greyAt(orig, 500 - 180, 300 - 59), 0);
    EXPECT_EQ(scalePicture(halves(30, 10), o).size(), QSize(30, 10));
}

TEST(Geometry, FitMarginsStayLightThroughToneDitherAndInvert) {
    ImportOptions o;
    o.target = QSize(64, 64);
    o.fit = FitMode::Fit;
    QImage src(64, 16, QImage::Format_RGB32); // a white band 64 x 16 between margins 24 high
    src.fill(Qt::white);
    o.brightness = -100; // white becomes black: the band turns dark, the margins must not
    MonoBitmap b = ditherToMono(preparePicture(src, o), o);
    EXPECT_FALSE(b.pixel(10, 5));
    EXPECT_FALSE(b.pixel(10, 60));
    EXPECT_TRUE(b.pixel(10, 30));
    EXPECT_EQ(darkCount(b), 64 * 16);
    o.brightness = 0;
    o.invert = true; // the white band inverted is dark; the margins stay light
    b = ditherToMono(preparePicture(src, o), o);
    EXPECT_EQ(darkCount(b), 64 * 16);
    EXPECT_FALSE(b.pixel(10, 5));
    EXPECT_TRUE(b.pixel(10, 30));
}

TEST(Geometry, ToneAppliesBrightnessContrastGamma) {
    ImportOptions o;
    const QImage g = greys({{0, 64, 128, 200, 255}});
    o.brightness = 20; // +51
    QImage t = adjustTone(g, o);
    EXPECT_EQ(t.scanLine(0)[0], 51);
    EXPECT_EQ(t.scanLine(0)[2], 179);
    EXPECT_EQ(t.scanLine(0)[4], 255);
    o.brightness = 0;
    o.contrast = -100; // all mid grey
    t = adjustTone(g, o);
    EXPECT_EQ(t.scanLine(0)[0], 128);
    EXPECT_EQ(t.scanLine(0)[4], 128);
    o.contrast = 0;
    o.gamma = 2.0; // 255 x (64 / 255)^(1/2) = 127.75
    t = adjustTone(g, o);
    EXPECT_EQ(t.scanLine(0)[1], 128);
    EXPECT_EQ(t.scanLine(0)[0], 0);
    EXPECT_EQ(t.scanLine(0)[4], 255);
    // The input is left alone, for the next slider move.
    EXPECT_EQ(g.constScanLine(0)[1], 64);
}

// --- Files.

TEST_F(Files, CommonFormatsDecode) {
    const QImage src = halves(40, 20);
    for (const char* format : {"png", "jpeg", "bmp", "tiff", "webp"}) {
        const QString p = put(QStringLiteral("pic.%1").arg(QLatin1String(format)), encode(src, format));
        QImage img;
        InputError error;
        ASSERT_TRUE(loadPicture(p, QSize(320, 240), &img, &error)) << format << describe(error);
        ASSERT_EQ(img.size(), QSize(40, 20)) << format;
        EXPECT_LT(greyAt(img, 5, 10), 40) << format;
        EXPECT_GT(greyAt(img, 35, 10), 215) << format;
    }
    // A 24-bit BMP under a misleading name: the content decides.
    const QString misnamed = put(QStringLiteral("really-a-bmp.png"), encode(src, "bmp"));
    QImage img;
    EXPECT_TRUE(loadPicture(misnamed, QSize(320, 240), &img, nullptr));
}

TEST_F(Files, SvgRendersToCoverTheTarget) {
    const QByteArray svg = "<svg xmlns='http://www.w3.org/2000/svg' width='20' height='10' viewBox='0 0 20 10'>"
                           "<rect x='0' y='0' width='10' height='10' fill='black'/></svg>";
    QImage img;
    InputError error;
    ASSERT_TRUE(loadPicture(put(QStringLiteral("a.svg"), svg), QSize(320, 240), &img, &error)) << describe(error);
    // 20 x 10 covering 320 x 240 keeps its ratio: 480 x 240. The transparent right half is white.
    EXPECT_EQ(img.size(), QSize(480, 240));
    EXPECT_EQ(greyAt(img, 100, 120), 0);
    EXPECT_EQ(greyAt(img, 400, 120), 255);
}

TEST_F(Files, TransparencyBecomesWhite) {
    QImage src(20, 10, QImage::Format_ARGB32);
    src.fill(qRgba(0, 0, 0, 0)); // transparent black
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 10; ++x)
            src.setPixel(x, y, qRgba(0, 0, 0, 255));
    for (int y = 0; y < 10; ++y)
        src.setPixel(15, y, qRgba(0, 0, 0, 128)); // half covered: mid grey
    QImage img;
    ASSERT_TRUE(loadPicture(put(QStringLiteral("alpha.png"), encode(src, "png")), QSize(320, 240), &img, nullptr));
    EXPECT_EQ(greyAt(img, 2, 2), 0);
    EXPECT_EQ(greyAt(img, 18, 2), 255);
    EXPECT_NEAR(greyAt(img, 15, 2), 127, 2);

    // A GIF whose only colour is transparent (the usual 1 x 1 spacer).
    const QByteArray gif = QByteArray::fromHex("474946383961010001008000000000" "00ffffff21f90401000000002c00000000"
                                               "010001000002024401003b");
    ASSERT_TRUE(loadPicture(put(QStringLiteral("spacer.gif"), gif), QSize(320, 240), &img, nullptr));
    EXPECT_EQ(greyAt(img, 0, 0), 255);
    // Cut before its trailer, the same GIF is refused.
    InputError error;
    EXPECT_FALSE(loadPicture(put(QStringLiteral("cut.gif"), gif.left(gif.size() - 3)), QSize(320, 240), &img, &error));
    EXPECT_EQ(describe(error), "PictureUnreadable cut.gif");
}

TEST_F(Files, ExifOrientationIsApplied) {
    // A 40 x 20 JPEG, black on the left, with an APP1 Exif block saying orientation 6 (turn the
    // stored picture 90 degrees clockwise to show it): shown 20 x 40, black at the top.
    const QByteArray jpeg = encode(halves(40, 20), "jpeg");
    ASSERT_EQ(quint8(jpeg[0]), 0xFF);
    ASSERT_EQ(quint8(jpeg[1]), 0xD8);
    // TIFF header (little-endian), one IFD entry: tag 0x0112, type SHORT, count 1, value 6.
    const QByteArray tiff = QByteArray::fromHex("49492a0008000000" "0100" "120103000100000006000000" "00000000");
    const QByteArray payload = QByteArray("Exif\0\0", 6) + tiff;
    QByteArray app1 = QByteArray::fromHex("ffe1");
    app1.append(char((payload.size() + 2) >> 8));
    app1.append(char((payload.size() + 2) & 0xFF));
    app1.append(payload);
    const QByteArray tagged = jpeg.left(2) + app1 + jpeg.mid(2);
    QImage img;
    InputError error;
    ASSERT_TRUE(loadPicture(put(QStringLiteral("turned.jpg"), tagged), QSize(320, 240), &img, &error))
        << describe(error);
    ASSERT_EQ(img.size(), QSize(20, 40));
    EXPECT_LT(greyAt(img, 10, 5), 40);
    EXPECT_GT(greyAt(img, 10, 35), 215);
}

TEST_F(Files, DecompressionBombIsRefusedFromItsHeader) {
    // A PNG that claims 50,000 x 50,000 dots (10 GB decoded), with one tiny IDAT.
    QByteArray ihdr = be32(50000) + be32(50000) + QByteArray::fromHex("0800000000");
    const QByteArray png = QByteArray::fromHex("89504e470d0a1a0a") + pngChunk("IHDR", ihdr) +
                           pngChunk("IDAT", QByteArray::fromHex("789c030000000001")) + pngChunk("IEND", {});
    QImage img;
    InputError error;
    QElapsedTimer clock;
    clock.start();
    EXPECT_FALSE(loadPicture(put(QStringLiteral("bomb.png"), png), QSize(320, 240), &img, &error));
    EXPECT_EQ(describe(error), "PictureTooLarge bomb.png");
    EXPECT_TRUE(img.isNull());
    EXPECT_LT(clock.elapsed(), 2000);
    MonoBitmap out;
    EXPECT_FALSE(importPicture(path(QStringLiteral("bomb.png")), ImportOptions{}, &out, &error));
}

TEST_F(Files, CutNonPictureAndEmptyFilesAreRefusedByName) {
    QImage noise(200, 200, QImage::Format_RGB32);
    for (int y = 0; y < 200; ++y)
        for (int x = 0; x < 200; ++x)
            noise.setPixel(x, y, qRgb((x * 37 + y * 11) % 256, (x * y) % 256, (x ^ y) % 256));
    QImage img;
    InputError error;
    for (const char* format : {"png", "jpeg"}) {
        const QByteArray full = encode(noise, format);
        const QString name = QStringLiteral("cut.%1").arg(QLatin1String(format));
        EXPECT_FALSE(loadPicture(put(name, full.left(full.size() / 2)), QSize(320, 240), &img, &error)) << format;
        EXPECT_EQ(describe(error), "PictureUnreadable " + name.toStdString());
        // The last bytes only (the end marker) missing: refused too.
        EXPECT_FALSE(loadPicture(put(name, full.left(full.size() - 2)), QSize(320, 240), &img, &error)) << format;
        // Whole: accepted.
        EXPECT_TRUE(loadPicture(put(name, full), QSize(320, 240), &img, &error)) << format;
    }
    EXPECT_FALSE(loadPicture(put(QStringLiteral("notes.png"), "just some text\n"), QSize(320, 240), &img, &error));
    EXPECT_EQ(describe(error), "NotAPicture notes.png");
    EXPECT_FALSE(loadPicture(put(QStringLiteral("empty.jpg"), QByteArray()), QSize(320, 240), &img, &error));
    EXPECT_EQ(describe(error), "NotAPicture empty.jpg");
    EXPECT_FALSE(loadPicture(path(QStringLiteral("missing.png")), QSize(320, 240), &img, &error));
    EXPECT_EQ(describe(error), "PictureUnreadable missing.png");
    EXPECT_FALSE(loadPicture(tmp.path(), QSize(320, 240), &img, &error)); // a directory
    // A BMP that claims a width of 0.
    BmpLayout zero;
    zero.width = 0;
    zero.bitsPerPixel = 24;
    EXPECT_FALSE(loadPicture(put(QStringLiteral("zero.bmp"), makeBmp(zero)), QSize(320, 240), &img, &error));
}

TEST_F(Files, CutBmpIsRefusedLikeOtherCutPictures) {
    // A 320 x 240 24-bit BMP cut after 1000 bytes: the decoder would leave the missing rows
    // black and call it a success.
    QImage noise(320, 240, QImage::Format_RGB32);
    for (int y = 0; y < 240; ++y)
        for (int x = 0; x < 320; ++x)
            noise.setPixel(x, y, qRgb((x * 37 + y * 11) % 256, (x * y) % 256, (x ^ y) % 256));
    const QByteArray full = encode(noise, "bmp");
    ASSERT_EQ(full.size(), 54 + 320 * 3 * 240);
    QImage img;
    InputError error;
    EXPECT_FALSE(loadPicture(put(QStringLiteral("cut.bmp"), full.left(1000)), QSize(320, 240), &img, &error));
    EXPECT_EQ(describe(error), "PictureUnreadable cut.bmp");
    // The last row's last byte missing: refused too; whole: accepted.
    EXPECT_FALSE(loadPicture(put(QStringLiteral("cut.bmp"), full.left(full.size() - 1)), QSize(320, 240), &img, &error));
    EXPECT_EQ(describe(error), "PictureUnreadable cut.bmp");
    EXPECT_TRUE(loadPicture(put(QStringLiteral("cut.bmp"), full), QSize(320, 240), &img, &error)) << describe(error);
    MonoBitmap bits;
    EXPECT_FALSE(importPicture(put(QStringLiteral("cut.bmp"), full.left(1000)), ImportOptions{}, &bits, &error));

    // Run-length coded (RLE8), 4 x 2: a run of 4 dots of colour 0, end of row, 4 of colour 1,
    // end of picture. Cut before its end code (the second row's run missing), it is refused.
    BmpLayout rle;
    rle.width = 4;
    rle.height = 2;
    rle.bitsPerPixel = 8;
    rle.compression = 1;
    rle.rows = QByteArray::fromHex("0400" "0000" "0401" "0001");
    const QByteArray whole = makeBmp(rle);
    ASSERT_TRUE(loadPicture(put(QStringLiteral("rle.bmp"), whole), QSize(320, 240), &img, &error)) << describe(error);
    EXPECT_EQ(img.size(), QSize(4, 2));
    EXPECT_FALSE(loadPicture(put(QStringLiteral("rle.bmp"), whole.left(whole.size() - 4)), QSize(320, 240), &img, &error));
    EXPECT_EQ(describe(error), "PictureUnreadable rle.bmp");
}

TEST_F(Files, BmpNamesNeverOverwriteAndStayGbk) {
    const QString dir = tmp.filePath(QStringLiteral("out"));
    ASSERT_TRUE(QDir().mkpath(dir));
    EXPECT_EQ(bmpNameFor(QStringLiteral("/photos/photo.png"), dir), QStringLiteral("photo.bmp"));
    writeFile(QDir(dir).filePath(QStringLiteral("PHOTO.BMP")), "x");
    EXPECT_EQ(bmpNameFor(QStringLiteral("/photos/photo.png"), dir), QStringLiteral("photo-2.bmp"));
    writeFile(QDir(dir).filePath(QStringLiteral("photo-2.bmp")), "x");
    EXPECT_EQ(bmpNameFor(QStringLiteral("/photos/photo.jpg"), dir), QStringLiteral("photo-3.bmp"));
    EXPECT_EQ(bmpNameFor(QStringLiteral("/photos/照片.jpg"), dir), QStringLiteral("照片.bmp"));
    // An emoji has no GBK code: the list file would store it as '?'.
    EXPECT_EQ(bmpNameFor(QStringLiteral("/photos/smile\U0001F600.png"), dir), QStringLiteral("picture-1.bmp"));
    writeFile(QDir(dir).filePath(QStringLiteral("Picture-1.bmp")), "x");
    EXPECT_EQ(bmpNameFor(QStringLiteral("/photos/smile\U0001F600.png"), dir), QStringLiteral("picture-2.bmp"));
}

TEST_F(Files, MonoBmpDetection) {
    BmpLayout mono;
    mono.width = 16;
    mono.height = 4;
    EXPECT_TRUE(isMonoBmp(put(QStringLiteral("m.bmp"), makeBmp(mono))));
    EXPECT_FALSE(isMonoBmp(put(QStringLiteral("c.bmp"), encode(halves(8, 8), "bmp"))));
    EXPECT_FALSE(isMonoBmp(put(QStringLiteral("p.bmp"), encode(halves(8, 8), "png"))));
}

// --- Memory: a source is decoded from its file, never read into memory whole.

TEST_F(Files, ALargeFileIsDecodedFromDiskNotReadWhole) {
    // A valid 64 x 64 PNG with a 96 MB private ancillary chunk before its IDAT. The chunk is
    // a hole in a sparse file, so it costs no disk, but reading the file whole would cost
    // 96 MB of memory.
    constexpr qint64 filler = 96LL << 20;
    const QByteArray png = encode(halves(64, 64), "png");
    ASSERT_EQ(png.mid(12, 4), QByteArray("IHDR"));
    const QString p = path(QStringLiteral("filler.png"));
    {
        QFile f(p);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(png.left(8 + 25)); // signature and IHDR
        f.write(be32(quint32(filler)) + "prIv");
        ASSERT_TRUE(f.seek(f.pos() + filler));
        f.write(be32(crc32WithZeros("prIv", filler)));
        f.write(png.mid(8 + 25));
        ASSERT_EQ(f.size(), png.size() + 12 + filler);
    }
    // Writing 5 to clear_refs starts the peak resident size (VmHWM) afresh (Linux 4.0 on).
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (!clear.open(QIODevice::WriteOnly) || clear.write("5") != 1 || !clear.flush())
        GTEST_SKIP() << "this kernel cannot reset the peak resident size";
    clear.close();
    const qint64 before = statusKib("VmRSS:");
    ASSERT_GT(before, 0);
    QImage img;
    InputError error;
    ASSERT_TRUE(loadPicture(p, QSize(320, 240), &img, &error)) << describe(error);
    const qint64 peak = statusKib("VmHWM:");
    EXPECT_EQ(img.size(), QSize(64, 64));
    EXPECT_LT(greyAt(img, 5, 30), 40);
    EXPECT_LT(peak - before, 24 * 1024) << "the peak grew by " << (peak - before) << " KiB";
}

// --- Round trip: the imported dots are the dots the module shows.

TEST_F(Files, ImportedPictureShowsOnTheModuleDotForDot) {
    QImage src(500, 300, QImage::Format_RGB32);
    for (int y = 0; y < 300; ++y)
        for (int x = 0; x < 500; ++x)
            src.setPixel(x, y, qRgb(x * 255 / 499, y * 255 / 299, (x + y) % 256));
    {
        QPainter p(&src);
        p.setBrush(Qt::black);
        p.drawEllipse(100, 50, 200, 150);
    }
    const QString png = put(QStringLiteral("scene.png"), encode(src, "png"));

    ImportOptions a; // 320 x 240, Floyd-Steinberg, Otsu
    ImportOptions b;
    b.target = QSize(101, 37); // a width that is no multiple of 8
    b.dither = DitherMethod::Bayer8;
    b.fit = FitMode::Stretch;
    MonoBitmap first;
    MonoBitmap second;
    InputError error;
    ASSERT_TRUE(importPicture(png, a, &first, &error)) << describe(error);
    ASSERT_TRUE(importPicture(png, b, &second, &error)) << describe(error);
    ASSERT_GT(darkCount(first), 1000);
    ASSERT_TRUE(writeBmpFile(path(QStringLiteral("first.bmp")), first));
    ASSERT_TRUE(writeBmpFile(path(QStringLiteral("second.bmp")), second));

    std::vector<MonoBitmap> read;
    for (const char* name : {"first.bmp", "second.bmp"}) {
        BmpReader reader;
        ASSERT_TRUE(reader.readBmp(path(QLatin1String(name)))) << describe(reader.error());
        read.push_back(reader.bitmap());
    }
    EXPECT_EQ(read[0], first);
    EXPECT_EQ(read[1], second);
    const PackedImage packed = DownloadImageBuilder::packDownloadImage(read);
    ASSERT_TRUE(packed.ok()) << describe(packed.error);
    const BitmapDownloadPlan plan = planBitmapDownload(packed.image);
    ASSERT_TRUE(plan.accepted);

    ModuleCore core;
    EXPECT_EQ(core.feed(plan.header), QByteArray(1, char(module::ReplyGoOn)));
    core.feed(packed.image.left(plan.transferTotal));
    ASSERT_EQ(core.counters().bitmapDownloads, 1);

    core.feed(module::showImageCommand(0, 0, 0));
    int mismatches = 0;
    for (int y = 0; y < 240; ++y)
        for (int x = 0; x < 320; ++x)
            mismatches += core.pixel(x, y) != first.pixel(x, y) ? 1 : 0;
    EXPECT_EQ(mismatches, 0);

    core.feed(module::simpleCommand(module::CmdClearScreen));
    core.feed(module::showImageCommand(3, 50, 1)); // byte column 3 = dot 24
    for (int y = 0; y < 37; ++y)
        for (int x = 0; x < 104; ++x) // all 13 bytes of a row, the unused (light) bits included
            mismatches += core.pixel(24 + x, 50 + y) != second.pixel(x, y) ? 1 : 0;
    EXPECT_EQ(mismatches, 0);
}

// Each picture starts at a size of its own: small ones as they are, large ones shrunk
// to the screen keeping their proportions, never the size of an unrelated import.
TEST(DefaultSize, SmallPicturesKeepTheirSizeLargeOnesFitTheScreen) {
    EXPECT_EQ(defaultTargetSize(QSize(64, 48), false), QSize(64, 48));
    EXPECT_EQ(defaultTargetSize(QSize(320, 240), false), QSize(320, 240));
    EXPECT_EQ(defaultTargetSize(QSize(4000, 3000), false), QSize(320, 240));
    EXPECT_EQ(defaultTargetSize(QSize(3000, 4000), false), QSize(180, 240));
    EXPECT_EQ(defaultTargetSize(QSize(1000, 200), false), QSize(320, 64));
    EXPECT_EQ(defaultTargetSize(QSize(330, 20), false), QSize(320, 19));
    EXPECT_EQ(defaultTargetSize(QSize(100000, 10), false), QSize(320, 1)); // a sliver keeps one row
    // A drawing scales without loss: it fills the screen in its proportions.
    EXPECT_EQ(defaultTargetSize(QSize(24, 24), true), QSize(240, 240));
    EXPECT_EQ(defaultTargetSize(QSize(), false), QSize(320, 240));
}
