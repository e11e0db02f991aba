#include "bitmap/MonoBitmap.h"

#include <algorithm>

namespace panelix {

namespace {
qsizetype packedSize(int width, int height) {
    return qsizetype((width + 7) / 8) * height;
}
} // namespace

MonoBitmap::MonoBitmap(int width, int height, bool dark)
    : width_(std::max(width, 0)), height_(std::max(height, 0)),
      bytes_(packedSize(width_, height_), dark ? '\0' : '\xFF') {}

MonoBitmap::MonoBitmap(int width, int height, const QByteArray& rows)
    : width_(std::max(width, 0)), height_(std::max(height, 0)) {
    const qsizetype size = packedSize(width_, height_);
    bytes_ = rows.left(size);
    if (bytes_.size() < size)
        bytes_.append(QByteArray(size - bytes_.size(), '\0'));
}

bool MonoBitmap::pixel(int x, int y) const {
    if (x < 0 || y < 0 || x >= width_ || y >= height_)
        return false;
    const auto byte = quint8(bytes_[qsizetype(y) * widthBytes() + x / 8]);
    return ((byte >> (7 - x % 8)) & 1) == 0;
}

void MonoBitmap::setPixel(int x, int y, bool dark) {
    if (x < 0 || y < 0 || x >= width_ || y >= height_)
        return;
    char& byte = bytes_[qsizetype(y) * widthBytes() + x / 8];
    const auto mask = quint8(0x80u >> (x % 8));
    byte = char(dark ? quint8(byte) & ~mask : quint8(byte) | mask);
}

const quint8* MonoBitmap::row(int r) const {
    if (r < 0 || r >= height_)
        return nullptr;
    return reinterpret_cast<const quint8*>(bytes_.constData()) + qsizetype(r) * widthBytes();
}

quint8* MonoBitmap::row(int r) {
    if (r < 0 || r >= height_)
        return nullptr;
    return reinterpret_cast<quint8*>(bytes_.data()) + qsizetype(r) * widthBytes();
}

} // namespace panelix
