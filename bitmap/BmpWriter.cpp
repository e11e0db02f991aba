#include "bitmap/BmpWriter.h"

#include "common/DataDir.h"

#include <cstring>

namespace panelix {

namespace {

void put16(char* b, int at, quint32 v) {
    b[at] = char(v & 0xFF);
    b[at + 1] = char((v >> 8) & 0xFF);
}

void put32(char* b, int at, quint32 v) {
    for (int i = 0; i < 4; ++i)
        b[at + i] = char((v >> (8 * i)) & 0xFF);
}

constexpr quint32 PixelsPerMetre = 2835; // 72 dpi

} // namespace

QByteArray writeBmp(const MonoBitmap& bitmap) {
    const int height = bitmap.height();
    const int widthBytes = bitmap.widthBytes();
    const qsizetype stride = qsizetype(bitmap.width() + 31) / 32 * 4;
    const qsizetype pixelBytes = stride * height;

    QByteArray file(BmpHeaderSize + pixelBytes, '\0');
    char* b = file.data();
    b[0] = 'B';
    b[1] = 'M';
    put32(b, 2, quint32(file.size()));
    put32(b, 10, BmpHeaderSize);
    put32(b, 14, 40);
    put32(b, 18, quint32(bitmap.width()));
    put32(b, 22, quint32(height)); // positive: bottom row first
    put16(b, 26, 1);               // planes
    put16(b, 28, 1);               // bits per pixel
    put32(b, 34, quint32(pixelBytes));
    put32(b, 38, PixelsPerMetre);
    put32(b, 42, PixelsPerMetre);
    put32(b, 46, 2); // colours used
    put32(b, 50, 2); // colours important
    // Entry 0 stays 00 00 00 00 (black); entry 1 white.
    b[58] = b[59] = b[60] = char(0xFF);

    for (int r = 0; r < height; ++r)
        std::memcpy(b + BmpHeaderSize + qsizetype(height - 1 - r) * stride, bitmap.row(r),
                    std::size_t(widthBytes));
    return file;
}

bool writeBmpFile(const QString& path, const MonoBitmap& bitmap, QString* error) {
    return writeFileAtomically(path, writeBmp(bitmap), error);
}

} // namespace panelix
