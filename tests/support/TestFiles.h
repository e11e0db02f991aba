#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

namespace panelix::test {

// A 1-bit BMP written byte by byte, so tests control every header field.
struct BmpLayout {
    int width = 8;
    int height = 1;           // negative: top-down
    int bitsPerPixel = 1;
    int compression = 0;
    int infoHeaderSize = 40;  // 40, 108 or 124
    int paletteEntries = 2;
    QByteArray rows;          // stored rows as in the file, padded to 4 bytes each
    int truncateTo = -1;      // cut the file to this many bytes
};

// Row stride of a 1-bit picture: bytes per stored row, padded to 4.
int bmpStride(int width);

// The complete file for layout; rows default to a deterministic pattern when empty.
QByteArray makeBmp(const BmpLayout& layout);

// The stored rows of a width x height picture filled with a pattern seeded by seed.
QByteArray patternRows(int width, int height, int seed);

bool writeFile(const QString& path, const QByteArray& data);
QByteArray readFile(const QString& path);

} // namespace panelix::test
