#include "support/TestFiles.h"

#include "bitmap/BmpWriter.h"

#include <QFile>
#include <QFileInfo>

#include <cstring>
#include <iterator>

namespace panelix::test {

namespace {
void put16(QByteArray& b, int at, int v) {
    b[at] = char(v & 0xFF);
    b[at + 1] = char((v >> 8) & 0xFF);
}
void put32(QByteArray& b, int at, qint64 v) {
    for (int i = 0; i < 4; ++i)
        b[at + i] = char((v >> (8 * i)) & 0xFF);
}
} // namespace

int bmpStride(int width) {
    return ((width + 31) / 32) * 4;
}

QByteArray patternRows(int width, int height, int seed) {
    const int stride = bmpStride(width);
    QByteArray rows(stride * (height < 0 ? -height : height), '\0');
    quint32 x = 2463534242u ^ quint32(seed * 7919 + 1);
    for (char& c : rows) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        c = char(x & 0xFF);
    }
    return rows;
}

namespace {

bool isStandard(const BmpLayout& s, const QByteArray& rows) {
    return s.bitsPerPixel == 1 && s.compression == 0 && s.infoHeaderSize == 40 && s.paletteEntries == 2 &&
           s.width > 0 && s.height > 0 && rows.size() == qsizetype(bmpStride(s.width)) * s.height;
}

// The standard layout as the product writes it. The writer pads rows with zeros; the
// padding bytes of the given rows are copied over them, since some tests check that
// the reader leaves them behind.
QByteArray standardBmp(const BmpLayout& s, const QByteArray& rows) {
    const int stride = bmpStride(s.width), widthBytes = (s.width + 7) / 8;
    MonoBitmap bitmap(s.width, s.height);
    for (int r = 0; r < s.height; ++r)
        std::memcpy(bitmap.row(r), rows.constData() + qsizetype(s.height - 1 - r) * stride,
                    std::size_t(widthBytes));
    QByteArray b = writeBmp(bitmap);
    for (int i = 0; i < s.height; ++i) {
        const qsizetype at = qsizetype(i) * stride + widthBytes;
        b.replace(BmpHeaderSize + at, stride - widthBytes, rows.constData() + at, stride - widthBytes);
    }
    return b;
}

} // namespace

QByteArray makeBmp(const BmpLayout& s) {
    const int absH = s.height < 0 ? -s.height : s.height;
    const QByteArray rows = s.rows.isEmpty() ? patternRows(s.width, absH, s.width * 31 + absH) : s.rows;
    if (isStandard(s, rows)) {
        QByteArray b = standardBmp(s, rows);
        if (s.truncateTo >= 0 && s.truncateTo < b.size())
            b.truncate(s.truncateTo);
        return b;
    }
    // Any other layout byte by byte, so tests control every header field.
    const int offset = 14 + s.infoHeaderSize + 4 * s.paletteEntries;
    QByteArray b(offset, '\0');
    b[0] = 'B';
    b[1] = 'M';
    put32(b, 2, offset + rows.size());
    put32(b, 10, offset);
    put32(b, 14, s.infoHeaderSize);
    put32(b, 18, s.width);
    put32(b, 22, s.height);
    put16(b, 26, 1);
    put16(b, 28, s.bitsPerPixel);
    put32(b, 30, s.compression);
    put32(b, 34, rows.size());
    put32(b, 38, 2835);
    put32(b, 42, 2835);
    put32(b, 46, s.paletteEntries);
    // Palette: entry 0 black, entry 1 white, the rest grey.
    const int pal = 14 + s.infoHeaderSize;
    for (int i = 0; i < s.paletteEntries; ++i) {
        const char v = i == 0 ? char(0) : (i == 1 ? char(0xFF) : char(0x80));
        b[pal + 4 * i] = v;
        b[pal + 4 * i + 1] = v;
        b[pal + 4 * i + 2] = v;
    }
    b.append(rows);
    if (s.truncateTo >= 0 && s.truncateTo < b.size())
        b.truncate(s.truncateTo);
    return b;
}

bool writeFile(const QString& path, const QByteArray& data) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return f.write(data) == data.size();
}

QByteArray readFile(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

std::string describe(const InputError& e) {
    static const char* const names[] = {
        "None", "BitmapUnreadable", "NotMonoBmp", "BitmapSizeOutOfRange", "ListFull", "ListNotSaved",
        "ListNotRead", "TooManyBitmaps", "ImageTooLarge", "FileAddNotWritten", "ImageInvalid", "FontMissing",
        "DataDirUnusable", "PictureUnreadable", "NotAPicture", "PictureTooLarge", "BitmapNotWritten",
        "PathNotStorable", "TooManyFrames"};
    static_assert(std::size(names) == std::size_t(InputReason::TooManyFrames) + 1);
    std::string out = names[std::size_t(e.reason)];
    switch (e.reason) {
    case InputReason::BitmapUnreadable:
    case InputReason::NotMonoBmp:
    case InputReason::BitmapSizeOutOfRange:
    case InputReason::PictureUnreadable:
    case InputReason::NotAPicture:
    case InputReason::PictureTooLarge:
    case InputReason::BitmapNotWritten:
    case InputReason::TooManyFrames:
        if (e.entry >= 0)
            out += " entry " + std::to_string(e.entry + 1);
        else
            out += " " + QFileInfo(e.path).fileName().toStdString();
        break;
    default:
        break;
    }
    return out;
}

} // namespace panelix::test
