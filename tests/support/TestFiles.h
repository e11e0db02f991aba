#pragma once

#include "common/InputError.h"

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

#include <ostream>
#include <string>

namespace panelix::test {

// A BMP whose header fields the test chooses, malformed ones included.
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
// The standard layout (1 bit, no compression, 40-byte info header, 2 palette entries,
// bottom-up, rows of the full size) is what writeBmp makes, except that the padding
// bytes of the rows are the given ones; any other layout is written field by field.
QByteArray makeBmp(const BmpLayout& layout);

// The stored rows of a width x height picture filled with a pattern seeded by seed.
QByteArray patternRows(int width, int height, int seed);

bool writeFile(const QString& path, const QByteArray& data);
QByteArray readFile(const QString& path);

// A refusal as "Reason file" ("PictureUnreadable cut.gif", "BitmapUnreadable entry 3",
// "ListFull"): the file by its name only, for comparisons and failure messages.
std::string describe(const InputError& error);

} // namespace panelix::test

namespace panelix {
// gtest prints an InputError of a failed comparison with this.
inline void PrintTo(const InputError& error, std::ostream* out) {
    *out << test::describe(error);
}
} // namespace panelix
