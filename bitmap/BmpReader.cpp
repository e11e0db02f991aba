#include "bitmap/BmpReader.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cstring>

namespace panelix {

namespace {

constexpr int FileHeaderSize = 14;
constexpr int MinInfoHeaderSize = 40; // the 12-byte core header has another field layout

quint32 le32(const uchar* b, int at) {
    return quint32(b[at]) | quint32(b[at + 1]) << 8 | quint32(b[at + 2]) << 16 | quint32(b[at + 3]) << 24;
}

} // namespace

BmpReader::BmpReader() : buffer_(BufferSize, '\0'), matrix_(std::size_t(MatrixRows) * MatrixCols, 0) {}

bool BmpReader::refuse(InputReason reason, const QString& path) {
    error_ = inputError(reason, path);
    return false;
}

bool BmpReader::readBmp(const QString& path) {
    // Only regular files: opening a FIFO or a device would block the window for good.
    QFile file(path);
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly))
        return refuse(InputReason::BitmapUnreadable, path);
    const QByteArray head = file.read(BufferSize);
    if (file.error() != QFileDevice::NoError)
        return refuse(InputReason::BitmapUnreadable, path);

    const auto* b = reinterpret_cast<const uchar*>(head.constData());
    if (head.size() < FileHeaderSize + MinInfoHeaderSize || b[0] != 'B' || b[1] != 'M')
        return refuse(InputReason::NotMonoBmp, path);
    const qint64 infoSize = le32(b, 14);
    const int bitsPerPixel = b[28] | b[29] << 8;
    if (infoSize < MinInfoHeaderSize || bitsPerPixel != 1 || le32(b, 30) != 0)
        return refuse(InputReason::NotMonoBmp, path);

    const auto w = qint32(le32(b, 18));
    const auto h = qint32(le32(b, 22)); // negative: stored top row first
    if (w <= 0 || w > MaxWidth || h == 0 || h > MaxHeight || h < -MaxHeight)
        return refuse(InputReason::BitmapSizeOutOfRange, path);
    const int rows = h < 0 ? -h : h;
    const int stride = (w + 31) / 32 * 4;

    // Pixel rows start where the header says: a longer info header or a larger colour
    // table moves them, and reading from a fixed place would garble the picture.
    const qint64 paletteAt = FileHeaderSize + infoSize;
    const qint64 offset = le32(b, 10);
    const qint64 pixelBytes = qint64(rows) * stride;
    if (offset < paletteAt)
        return refuse(InputReason::NotMonoBmp, path);
    QByteArray farPixels;
    const uchar* pixels = nullptr;
    if (offset + pixelBytes <= head.size()) {
        pixels = b + offset;
    } else {
        // Only a file longer than the buffer can still hold them further on.
        if (head.size() == BufferSize && file.seek(offset))
            farPixels = file.read(pixelBytes);
        if (file.error() != QFileDevice::NoError)
            return refuse(InputReason::BitmapUnreadable, path);
        // Rows cut off by the end of the file: a file that cannot be read whole.
        if (farPixels.size() != pixelBytes)
            return refuse(InputReason::BitmapUnreadable, path);
        pixels = reinterpret_cast<const uchar*>(farPixels.constData());
    }

    for (int i = 0; i < rows; ++i) {
        const int row = h < 0 ? i : rows - 1 - i;
        std::memcpy(&matrix_[std::size_t(row) * MatrixCols], pixels + qint64(i) * stride,
                    std::size_t(stride));
    }
    std::memset(buffer_.data(), 0, std::size_t(BufferSize));
    std::memcpy(buffer_.data(), head.constData(), std::size_t(head.size()));

    palette_ = {0xFF000000u, 0xFFFFFFFFu};
    for (int i = 0; i < 2; ++i) {
        const qint64 at = paletteAt + 4 * i;
        if (at + 4 <= offset && at + 4 <= head.size())
            palette_[i] = 0xFF000000u | quint32(b[at + 2]) << 16 | quint32(b[at + 1]) << 8 | b[at];
    }
    width_ = w;
    height_ = rows;
    stride_ = stride;
    error_ = {};
    return true;
}

quint8 BmpReader::pixelByte(int row, int col) const {
    if (row < 0 || row >= MatrixRows || col < 0 || col >= MatrixCols)
        return 0;
    return matrix_[std::size_t(row) * MatrixCols + std::size_t(col)];
}

const quint8* BmpReader::pixelRow(int row) const {
    if (row < 0 || row >= MatrixRows)
        return nullptr;
    return &matrix_[std::size_t(row) * MatrixCols];
}

MonoBitmap BmpReader::bitmap() const {
    MonoBitmap out(width_, height_);
    const auto widthBytes = std::size_t(this->widthBytes());
    for (int r = 0; r < height_; ++r)
        std::memcpy(out.row(r), pixelRow(r), widthBytes);
    return out;
}

QSize previewBoxSize(int width, int height, QSize maxBox) {
    if (width <= 0 || height <= 0)
        return {};
    const double factor = 1.5 * 320.0 / width;
    const double w = width * factor;
    const double h = height * factor;
    double shrink = 1.0;
    if (maxBox.width() > 0)
        shrink = std::min(shrink, maxBox.width() / w);
    if (maxBox.height() > 0)
        shrink = std::min(shrink, maxBox.height() / h);
    return {std::max(1, qRound(w * shrink)), std::max(1, qRound(h * shrink))};
}

} // namespace panelix
