#include "import/PictureImport.h"

#include "common/Gbk.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QPainter>
#include <QSet>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <vector>

namespace panelix {

namespace {

// A decoded source takes at most this much memory (the reader's own allocation limit
// may be lower): the picture is decoded from its file, then converted to 32-bit dots in
// place or into a second buffer of at most the same size (MaxSourcePixels), so no
// accepted picture costs more than twice this, whatever its size on disk.
constexpr qint64 MaxDecodedBytes = 128LL * 1024 * 1024;
// An SVG is rendered at most this large on either axis, whatever its target.
constexpr int MaxSvgSide = 4096;
// Where scalePicture records the part of its result that holds the picture; the rest is
// margin that stays light through tone, dithering and inversion.
const QString ContentKey = QStringLiteral("panelix-content");

bool fail(InputError* error, InputReason reason, const QString& path) {
    if (error)
        *error = inputError(reason, path);
    return false;
}

// A file's bytes at any offset through a window of aligned blocks, so that checking the
// structure of a large file never holds more than one block of it.
class FileBytes {
public:
    explicit FileBytes(QFile* file) : file_(file), size_(file->size()) {}
    qint64 size() const { return size_; }
    bool failed() const { return failed_; }
    // The byte at i (0..255); -1 outside the file or after a read error.
    int at(qint64 i) {
        if (i < 0 || i >= size_ || failed_)
            return -1;
        if (i < start_ || i >= start_ + window_.size()) {
            start_ = i - i % BlockBytes;
            if (!file_->seek(start_)) {
                failed_ = true;
                return -1;
            }
            window_ = file_->read(BlockBytes);
            if (i - start_ >= window_.size()) {
                failed_ = true;
                return -1;
            }
        }
        return quint8(window_.at(qsizetype(i - start_)));
    }
    quint32 be32(qint64 i) {
        quint32 v = 0;
        for (int k = 0; k < 4; ++k)
            v = v << 8 | quint32(at(i + k) & 0xFF);
        return v;
    }

private:
    static constexpr qint64 BlockBytes = 64 * 1024;
    QFile* file_;
    qint64 size_;
    qint64 start_ = 0;
    QByteArray window_;
    bool failed_ = false;
};

// A PNG is complete when its chunks run without a gap up to IEND. Qt's decoder shows
// the rows it got from a cut file and reports success, which would silently import
// half a picture. Chunks are skipped by their lengths, never read.
bool pngComplete(FileBytes& d) {
    qint64 at = 8;
    while (at + 12 <= d.size()) {
        const quint32 length = d.be32(at);
        const bool end = d.at(at + 4) == 'I' && d.at(at + 5) == 'E' && d.at(at + 6) == 'N' && d.at(at + 7) == 'D';
        const qint64 next = at + 12 + qint64(length);
        if (d.failed() || next > d.size())
            return false;
        if (end)
            return true;
        at = next;
    }
    return false;
}

// A JPEG is complete when its markers lead to EOI. Segments are skipped by their
// lengths; the entropy-coded data after each SOS runs to the next marker (FF followed
// by anything but 00, a restart marker or fill bytes). libjpeg pads a cut file with
// grey and only warns.
bool jpegComplete(FileBytes& d) {
    const qint64 n = d.size();
    qint64 at = 2;
    while (at + 1 < n) {
        if (d.at(at) != 0xFF)
            return false;
        int marker = d.at(at + 1);
        while (marker == 0xFF && at + 2 < n) { // fill bytes before a marker
            ++at;
            marker = d.at(at + 1);
        }
        at += 2;
        if (marker == 0xD9)
            return !d.failed();
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7))
            continue; // markers without a length
        if (at + 2 > n)
            return false;
        const qint64 length = qint64(d.at(at)) << 8 | d.at(at + 1);
        if (d.failed() || length < 2 || at + length > n)
            return false;
        at += length;
        if (marker == 0xDA) {
            while (at + 1 < n) {
                const int next = d.at(at + 1);
                if (d.at(at) == 0xFF && next != 0x00 && !(next >= 0xD0 && next <= 0xD7) && next != 0xFF)
                    break;
                ++at;
            }
            if (d.failed() || at + 1 >= n)
                return false;
        }
    }
    return false;
}

// A GIF ends with its trailer byte once the last image's data is complete; Qt shows
// a cut one with the missing rows left blank.
bool gifComplete(FileBytes& d) {
    qint64 end = d.size();
    while (end > 0 && d.at(end - 1) == '\0')
        --end;
    return end > 0 && d.at(end - 1) == ';';
}

// A BMP is complete when its pixel data is: every row of an uncompressed picture lies
// within the file, and a run-length coded one reaches its end-of-picture code (or the
// end of its last row) before the end of the file. Qt's decoder leaves the missing rows
// black and reports success.
bool bmpComplete(FileBytes& d) {
    const auto le = [&d](qint64 at, int bytes) {
        quint32 v = 0;
        for (int k = bytes - 1; k >= 0; --k)
            v = v << 8 | quint32(d.at(at + k) & 0xFF);
        return v;
    };
    const qint64 infoSize = le(14, 4);
    qint64 width = 0;
    qint64 height = 0;
    int bits = 0;
    quint32 compression = 0;
    if (infoSize == 12) { // the core header: 16-bit fields
        width = le(18, 2);
        height = le(20, 2);
        bits = int(le(24, 2));
    } else {
        width = qint32(le(18, 4));
        height = qint32(le(22, 4));
        bits = int(le(28, 2));
        compression = le(30, 4);
    }
    const qint64 offset = le(10, 4);
    if (d.failed() || offset >= d.size())
        return false;
    height = std::abs(height);
    if (compression == 1 || compression == 2) { // RLE8, RLE4
        qint64 at = offset;
        qint64 rowsEnded = 0;
        while (at + 1 < d.size()) {
            const int count = d.at(at);
            const int code = d.at(at + 1);
            at += 2;
            if (count > 0)
                continue; // a run: two bytes
            if (code == 1)
                return !d.failed(); // end of the picture
            if (code == 0) {
                if (++rowsEnded >= height)
                    return !d.failed();
            } else if (code == 2) {
                rowsEnded += d.at(at + 1);
                at += 2;
            } else { // literal dots, padded to an even number of bytes
                const qint64 bytes = compression == 1 ? code : (code + 1) / 2;
                at += bytes + (bytes & 1);
            }
            if (d.failed())
                return false;
        }
        return false;
    }
    if (width <= 0 || height <= 0 || bits <= 0)
        return true; // the decoder refuses these itself
    const qint64 stride = (width * bits + 31) / 32 * 4;
    return stride <= (d.size() - offset) / height; // offset + stride x height <= size, without overflow
}

QRect contentRect(const QImage& image) {
    const QRect all(QPoint(0, 0), image.size());
    const QStringList parts = image.text(ContentKey).split(QLatin1Char(' '));
    if (parts.size() != 4)
        return all;
    const QRect r(parts[0].toInt(), parts[1].toInt(), parts[2].toInt(), parts[3].toInt());
    return r.intersected(all);
}

void setContentRect(QImage* image, const QRect& r) {
    image->setText(ContentKey, QStringLiteral("%1 %2 %3 %4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height()));
}

// Greys of any picture: qGray of the colour composited on white.
QImage toGrey(const QImage& image) {
    if (image.format() == QImage::Format_Grayscale8)
        return image;
    QImage rgb = image.hasAlphaChannel() ? image.convertToFormat(QImage::Format_ARGB32) : image.convertToFormat(QImage::Format_RGB32);
    QImage grey(rgb.size(), QImage::Format_Grayscale8);
    const bool alpha = rgb.hasAlphaChannel();
    for (int y = 0; y < rgb.height(); ++y) {
        const auto* in = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
        uchar* out = grey.scanLine(y);
        for (int x = 0; x < rgb.width(); ++x) {
            const QRgb c = in[x];
            int g = qGray(c);
            if (alpha) {
                const int a = qAlpha(c);
                g = (g * a + 255 * (255 - a) + 127) / 255;
            }
            out[x] = uchar(g);
        }
    }
    for (const QString& key : image.textKeys())
        grey.setText(key, image.text(key));
    return grey;
}

QSize clampTarget(QSize target) {
    return QSize(std::clamp(target.width(), 1, MaxPictureSize.width()),
                 std::clamp(target.height(), 1, MaxPictureSize.height()));
}

QSize atLeastOne(QSize s) {
    return QSize(std::max(1, s.width()), std::max(1, s.height()));
}

int darkThreshold(const QImage& grey, const ImportOptions& options) {
    return options.threshold < 0 ? otsuThreshold(grey) : std::min(options.threshold, 255);
}

// The 4 x 4 and 8 x 8 ordered-dither index matrices, built the usual recursive way:
// M(2n) = [4M, 4M+2; 4M+3, 4M+1].
template <int N>
std::array<std::array<int, N>, N> bayerMatrix() {
    std::array<std::array<int, N>, N> m{};
    m[0][0] = 0;
    for (int size = 1; size < N; size *= 2) {
        for (int y = 0; y < size; ++y) {
            for (int x = 0; x < size; ++x) {
                const int v = 4 * m[y][x];
                m[y][x] = v;
                m[y][x + size] = v + 2;
                m[y + size][x] = v + 3;
                m[y + size][x + size] = v + 1;
            }
        }
    }
    return m;
}

// Dark dots are bit 0, as the module stores them; the bitmap starts all light.
inline void setDark(MonoBitmap& bits, int x, int y) {
    quint8* row = bits.row(y);
    row[x >> 3] = quint8(row[x >> 3] & ~(0x80u >> (x & 7)));
}

} // namespace

// Pictures that are already 32 bits a dot are converted in place; others take one
// buffer of the result's size besides their own.
QImage flattenOnWhite(QImage image) {
    if (!image.hasAlphaChannel()) {
        image.convertTo(QImage::Format_RGB32);
        return image;
    }
    image.convertTo(QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const QRgb c = line[x];
            const int a = qAlpha(c);
            const auto over = [a](int v) { return (v * a + 255 * (255 - a) + 127) / 255; };
            line[x] = qRgb(over(qRed(c)), over(qGreen(c)), over(qBlue(c)));
        }
    }
    image.reinterpretAsFormat(QImage::Format_RGB32);
    return image;
}

bool loadPicture(const QString& path, const QSize& target, QImage* out, InputError* error) {
    const QFileInfo info(path);
    // Only regular files: a FIFO or a device of that name would block for good.
    if (!info.isFile())
        return fail(error, InputReason::PictureUnreadable, path);
    // The picture is decoded from the file as the decoder asks for its bytes: the file is
    // never held in memory, whatever it carries besides the dots.
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return fail(error, InputReason::PictureUnreadable, path);
    if (file.size() == 0)
        return fail(error, InputReason::NotAPicture, path);

    QImageReader reader(&file);
    reader.setDecideFormatFromContent(true);
    reader.setAutoTransform(true);
    const QByteArray format = reader.format().toLower();
    if (format.isEmpty())
        return fail(error, InputReason::NotAPicture, path);

    if (format == "png" || format == "jpeg" || format == "gif" || format == "bmp") {
        // Through a handle of its own, so that the reader's position stays where it was.
        QFile structure(path);
        if (!structure.open(QIODevice::ReadOnly))
            return fail(error, InputReason::PictureUnreadable, path);
        FileBytes bytes(&structure);
        if ((format == "png" && !pngComplete(bytes)) || (format == "jpeg" && !jpegComplete(bytes)) ||
            (format == "gif" && !gifComplete(bytes)) || (format == "bmp" && !bmpComplete(bytes)))
            return fail(error, InputReason::PictureUnreadable, path);
    }

    const QSize declared = reader.size();
    const bool svg = format == "svg" || format == "svgz";
    // Bytes a dot of the decoded form (8 for 16-bit colour), 4 when the reader does not say.
    // The JPEG handler leaves the format unset for a header it cannot read, so the value is
    // taken as a number and checked before it is used as a format.
    static_assert(sizeof(QImage::Format) == sizeof(int));
    const QImage::Format said = reader.imageFormat();
    int formatNumber = 0;
    std::memcpy(&formatNumber, &said, sizeof formatNumber);
    const bool known = formatNumber > QImage::Format_Invalid && formatNumber < QImage::NImageFormats;
    const qint64 bytesPerDot =
        known ? std::max(1, QImage::toPixelFormat(QImage::Format(formatNumber)).bitsPerPixel() / 8) : 4;
    if (svg) {
        // Rendered so that it covers the target: every placement then only shrinks or crops it.
        QSize natural = declared.isValid() && !declared.isEmpty() ? declared : clampTarget(target);
        QSize size = natural.scaled(clampTarget(target), Qt::KeepAspectRatioByExpanding);
        if (size.width() > MaxSvgSide || size.height() > MaxSvgSide)
            size = size.scaled(MaxSvgSide, MaxSvgSide, Qt::KeepAspectRatio);
        reader.setScaledSize(atLeastOne(size));
    } else if (declared.isValid()) {
        if (declared.isEmpty())
            return fail(error, InputReason::PictureUnreadable, path);
        const qint64 dots = qint64(declared.width()) * declared.height();
        if (dots > MaxSourcePixels || dots * bytesPerDot > MaxDecodedBytes)
            return fail(error, InputReason::PictureTooLarge, path);
    }

    QImage image;
    if (!reader.read(&image) || image.isNull() || image.width() <= 0 || image.height() <= 0) {
        // The reader's allocation limit stops a picture whose decoded form (deep colour
        // takes 8 bytes a dot) would not fit, even below MaxSourcePixels.
        const qint64 limit = qint64(QImageReader::allocationLimit()) * 1024 * 1024;
        if (!svg && declared.isValid() && limit > 0 && qint64(declared.width()) * declared.height() * 4 > limit / 2)
            return fail(error, InputReason::PictureTooLarge, path);
        return fail(error, InputReason::PictureUnreadable, path);
    }
    // A format that did not declare its size is held to the same bounds once decoded.
    if (!svg && (qint64(image.width()) * image.height() > MaxSourcePixels || image.sizeInBytes() > MaxDecodedBytes))
        return fail(error, InputReason::PictureTooLarge, path);

    *out = flattenOnWhite(std::move(image));
    return true;
}

QImage scalePicture(const QImage& source, const ImportOptions& options) {
    const QSize target = clampTarget(options.target);
    if (source.isNull())
        return QImage();
    const QSize from = source.size();
    QImage placed;
    QRect content;
    switch (options.fit) {
    case FitMode::Fit: {
        const QSize size = atLeastOne(from.scaled(target, Qt::KeepAspectRatio));
        const QImage scaled = source.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        placed = QImage(target, QImage::Format_RGB32);
        placed.fill(Qt::white);
        content = QRect(QPoint((target.width() - size.width()) / 2, (target.height() - size.height()) / 2), size);
        QPainter painter(&placed);
        painter.drawImage(content.topLeft(), scaled);
        break;
    }
    case FitMode::Fill: {
        // The centre of the source in the target's aspect ratio, then one scaling.
        const QSize crop = atLeastOne(target.scaled(from, Qt::KeepAspectRatio));
        const QRect r(QPoint((from.width() - crop.width()) / 2, (from.height() - crop.height()) / 2), crop);
        // A decoded source's crop shares its dots instead of copying them (it can be nearly
        // all of a large source).
        const bool shared = source.depth() == 32 && source.colorCount() == 0;
        const QImage cropped = shared ? QImage(source.constScanLine(r.top()) + qsizetype(r.left()) * 4, r.width(),
                                               r.height(), source.bytesPerLine(), source.format())
                                      : source.copy(r);
        placed = cropped.scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        content = QRect(QPoint(0, 0), target);
        break;
    }
    case FitMode::Stretch:
        placed = source.scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        content = QRect(QPoint(0, 0), target);
        break;
    case FitMode::Original: {
        const QSize size = from.boundedTo(MaxPictureSize);
        const QRect r(QPoint((from.width() - size.width()) / 2, (from.height() - size.height()) / 2), size);
        placed = source.copy(r);
        content = QRect(QPoint(0, 0), size);
        break;
    }
    }
    placed.setText(ContentKey, QString());
    QImage grey = toGrey(placed);
    setContentRect(&grey, content);
    return grey;
}

QImage adjustTone(const QImage& scaledGrey, const ImportOptions& options) {
    QImage grey = toGrey(scaledGrey).copy();
    for (const QString& key : scaledGrey.textKeys())
        grey.setText(key, scaledGrey.text(key));
    const int brightness = std::clamp(options.brightness, -100, 100);
    const int contrast = std::clamp(options.contrast, -100, 100);
    const double gamma = std::clamp(std::isfinite(options.gamma) ? options.gamma : 1.0, 0.2, 5.0);
    if (brightness == 0 && contrast == 0 && gamma == 1.0)
        return grey;
    // Contrast -100 flattens everything to mid grey, +100 is a hard step at mid grey.
    const double factor = contrast <= 0 ? (100.0 + contrast) / 100.0 : (contrast == 100 ? 1e6 : 100.0 / (100.0 - contrast));
    std::array<uchar, 256> table{};
    for (int v = 0; v < 256; ++v) {
        double x = v + brightness * 255.0 / 100.0;
        x = (x - 127.5) * factor + 127.5;
        x = std::clamp(x, 0.0, 255.0);
        x = 255.0 * std::pow(x / 255.0, 1.0 / gamma);
        table[std::size_t(v)] = uchar(std::clamp(std::lround(x), 0L, 255L));
    }
    const QRect r = contentRect(grey);
    for (int y = r.top(); y <= r.bottom(); ++y) {
        uchar* line = grey.scanLine(y);
        for (int x = r.left(); x <= r.right(); ++x)
            line[x] = table[line[x]];
    }
    return grey;
}

QImage preparePicture(const QImage& source, const ImportOptions& options) {
    return adjustTone(scalePicture(source, options), options);
}

int otsuThreshold(const QImage& image) {
    const QImage grey = toGrey(image);
    std::array<qint64, 256> hist{};
    const QRect r = contentRect(grey);
    for (int y = r.top(); y <= r.bottom(); ++y) {
        const uchar* line = grey.constScanLine(y);
        for (int x = r.left(); x <= r.right(); ++x)
            ++hist[line[x]];
    }
    qint64 total = 0;
    double sum = 0;
    int distinct = 0;
    for (int v = 0; v < 256; ++v) {
        total += hist[std::size_t(v)];
        sum += double(v) * double(hist[std::size_t(v)]);
        distinct += hist[std::size_t(v)] ? 1 : 0;
    }
    if (distinct < 2)
        return 128;
    // Class 0 is the greys 0..t. Between-class variance w0 w1 (m0 - m1)^2; several t
    // can share the maximum (an empty stretch of the histogram between two peaks): the
    // middle of that stretch is taken, so the split lies midway between the peaks.
    double best = -1;
    int first = 0;
    int last = 0;
    qint64 w0 = 0;
    double sum0 = 0;
    for (int t = 0; t < 255; ++t) {
        w0 += hist[std::size_t(t)];
        sum0 += double(t) * double(hist[std::size_t(t)]);
        const qint64 w1 = total - w0;
        if (w0 == 0 || w1 == 0)
            continue;
        const double m0 = sum0 / double(w0);
        const double m1 = (sum - sum0) / double(w1);
        const double between = double(w0) * double(w1) * (m0 - m1) * (m0 - m1);
        if (between > best * (1 + 1e-12)) {
            best = between;
            first = last = t;
        } else if (between >= best * (1 - 1e-12)) {
            last = t;
        }
    }
    return (first + last) / 2 + 1;
}

MonoBitmap ditherToMono(const QImage& image, const ImportOptions& options) {
    const QImage grey = toGrey(image);
    const int w = grey.width();
    const int h = grey.height();
    MonoBitmap bits(w, h);
    if (w == 0 || h == 0)
        return bits;
    const QRect r = contentRect(grey);
    const int T = darkThreshold(grey, options);
    const bool invert = options.invert;
    const auto mark = [&](int x, int y, bool dark) {
        if (dark != invert)
            setDark(bits, x, y);
    };

    switch (options.dither) {
    case DitherMethod::Threshold:
        for (int y = r.top(); y <= r.bottom(); ++y) {
            const uchar* line = grey.constScanLine(y);
            for (int x = r.left(); x <= r.right(); ++x)
                mark(x, y, line[x] < T);
        }
        break;
    case DitherMethod::FloydSteinberg: {
        // Rows left to right; the error of each dot goes 7/16 right, 3/16 below left,
        // 5/16 below, 1/16 below right. What would fall outside the picture is dropped.
        const int cw = r.width();
        std::vector<float> cur(std::size_t(cw) + 2, 0.f);
        std::vector<float> next(std::size_t(cw) + 2, 0.f);
        for (int y = r.top(); y <= r.bottom(); ++y) {
            const uchar* line = grey.constScanLine(y);
            std::fill(next.begin(), next.end(), 0.f);
            for (int i = 0; i < cw; ++i) {
                const float v = float(line[r.left() + i]) + cur[std::size_t(i) + 1];
                const bool dark = v < float(T);
                mark(r.left() + i, y, dark);
                const float e = v - (dark ? 0.f : 255.f);
                if (i + 1 < cw)
                    cur[std::size_t(i) + 2] += e * 7.f / 16.f;
                if (i > 0)
                    next[std::size_t(i)] += e * 3.f / 16.f;
                next[std::size_t(i) + 1] += e * 5.f / 16.f;
                if (i + 1 < cw)
                    next[std::size_t(i) + 2] += e * 1.f / 16.f;
            }
            std::swap(cur, next);
        }
        break;
    }
    case DitherMethod::Atkinson: {
        // An eighth of the error to each of six neighbours (two right, three below,
        // one two rows below): three quarters kept, a quarter dropped.
        const int cw = r.width();
        std::vector<float> rows[3];
        for (auto& row : rows)
            row.assign(std::size_t(cw) + 4, 0.f);
        for (int y = r.top(); y <= r.bottom(); ++y) {
            const uchar* line = grey.constScanLine(y);
            std::vector<float>& cur = rows[0];
            for (int i = 0; i < cw; ++i) {
                const float v = float(line[r.left() + i]) + cur[std::size_t(i) + 1];
                const bool dark = v < float(T);
                mark(r.left() + i, y, dark);
                const float e = (v - (dark ? 0.f : 255.f)) / 8.f;
                const std::size_t k = std::size_t(i) + 1; // buffers are offset by one for x - 1
                cur[k + 1] += e;
                cur[k + 2] += e;
                rows[1][k - 1] += e;
                rows[1][k] += e;
                rows[1][k + 1] += e;
                rows[2][k] += e;
            }
            // The oldest row becomes the new two-rows-below row. Error that fell beyond
            // the left or right edge sits in slots no dot reads, and is cleared with it.
            std::swap(rows[0], rows[1]);
            std::swap(rows[1], rows[2]);
            std::fill(rows[2].begin(), rows[2].end(), 0.f);
        }
        break;
    }
    case DitherMethod::Bayer4:
    case DitherMethod::Bayer8: {
        // Cell threshold T - 128 + (M + 1/2) x 256 / n^2, in integers scaled by 2 n^2:
        // at T = 128 a grey g is dark in the cells with M + 1/2 > g n^2 / 256.
        static const auto m4 = bayerMatrix<4>();
        static const auto m8 = bayerMatrix<8>();
        const int n = options.dither == DitherMethod::Bayer4 ? 4 : 8;
        const int nn2 = 2 * n * n;
        for (int y = r.top(); y <= r.bottom(); ++y) {
            const uchar* line = grey.constScanLine(y);
            for (int x = r.left(); x <= r.right(); ++x) {
                const int m = n == 4 ? m4[std::size_t(y & 3)][std::size_t(x & 3)] : m8[std::size_t(y & 7)][std::size_t(x & 7)];
                mark(x, y, nn2 * int(line[x]) < nn2 * (T - 128) + (2 * m + 1) * 256);
            }
        }
        break;
    }
    }
    return bits;
}

bool importPicture(const QString& path, const ImportOptions& options, MonoBitmap* out, InputError* error) {
    QImage source;
    if (!loadPicture(path, options.target, &source, error))
        return false;
    *out = ditherToMono(preparePicture(source, options), options);
    return true;
}

QString bmpNameFor(const QString& sourcePath, const QString& dir) {
    QSet<QString> taken;
    const QStringList existing =
        QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString& name : existing)
        taken.insert(name.toCaseFolded());

    QString base = QFileInfo(sourcePath).completeBaseName();
    // The list file holds names as GBK: a name that does not survive the round trip,
    // or that has control characters, would come back as another file.
    bool safe = !base.isEmpty() && fromGbk(toGbk(base)) == base;
    for (QChar c : base)
        safe = safe && c.unicode() >= 0x20 && c != QChar(0x7F);
    if (!safe) {
        for (int n = 1;; ++n) {
            const QString name = QStringLiteral("picture-%1.bmp").arg(n);
            if (!taken.contains(name.toCaseFolded()))
                return name;
        }
    }
    for (int n = 1;; ++n) {
        const QString name = n == 1 ? base + QStringLiteral(".bmp") : QStringLiteral("%1-%2.bmp").arg(base).arg(n);
        if (!taken.contains(name.toCaseFolded()))
            return name;
    }
}

bool parseFitMode(const QString& name, FitMode* out) {
    static const std::array<std::pair<const char*, FitMode>, 4> names{{
        {"fit", FitMode::Fit}, {"fill", FitMode::Fill}, {"stretch", FitMode::Stretch}, {"original", FitMode::Original}}};
    for (const auto& [text, mode] : names) {
        if (name.compare(QLatin1String(text), Qt::CaseInsensitive) == 0) {
            *out = mode;
            return true;
        }
    }
    return false;
}

bool parseDitherMethod(const QString& name, DitherMethod* out) {
    static const std::array<std::pair<const char*, DitherMethod>, 5> names{{{"threshold", DitherMethod::Threshold},
                                                                            {"floyd-steinberg", DitherMethod::FloydSteinberg},
                                                                            {"atkinson", DitherMethod::Atkinson},
                                                                            {"bayer4", DitherMethod::Bayer4},
                                                                            {"bayer8", DitherMethod::Bayer8}}};
    for (const auto& [text, method] : names) {
        if (name.compare(QLatin1String(text), Qt::CaseInsensitive) == 0) {
            *out = method;
            return true;
        }
    }
    return false;
}

bool isMonoBmp(const QString& path) {
    QFile file(path);
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray h = file.read(34);
    if (h.size() < 34 || h[0] != 'B' || h[1] != 'M')
        return false;
    const auto* b = reinterpret_cast<const uchar*>(h.constData());
    const quint32 infoSize = quint32(b[14]) | quint32(b[15]) << 8 | quint32(b[16]) << 16 | quint32(b[17]) << 24;
    const int bpp = b[28] | b[29] << 8;
    const quint32 compression = quint32(b[30]) | quint32(b[31]) << 8 | quint32(b[32]) << 16 | quint32(b[33]) << 24;
    return infoSize >= 40 && bpp == 1 && compression == 0;
}

QSize defaultTargetSize(const QSize& picture, bool scalable) {
    const QSize screen = ImportOptions().target;
    if (picture.isEmpty())
        return screen;
    if (!scalable && picture.width() <= screen.width() && picture.height() <= screen.height())
        return picture;
    return picture.scaled(screen, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
}

} // namespace panelix
