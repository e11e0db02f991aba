#include "SimTestSupport.h"

#include "protocol/Module.h"
#include "support/TestFiles.h"

namespace panelix::test {

namespace {
int le16(const QByteArray& b, int at) {
    return std::uint8_t(b[at]) | std::uint8_t(b[at + 1]) << 8;
}
} // namespace

QByteArray bytes(std::initializer_list<int> values) {
    QByteArray out;
    for (int v : values)
        out.append(char(v));
    return out;
}

QByteArray bmpFile(int width, int height, int seed) {
    BmpLayout layout;
    layout.width = width;
    layout.height = height;
    if (seed >= 0)
        layout.rows = patternRows(width, height, seed);
    return makeBmp(layout);
}

QByteArray downloadImage(const QVector<QByteArray>& bmpFiles) {
    QByteArray image(module::DirectorySize, '\0');
    int k = 1;
    for (const QByteArray& bmp : bmpFiles) {
        const int w = le16(bmp, 18);
        const int h = le16(bmp, 22);
        const int wb = (w + 7) / 8;
        const auto start = module::bankedAddress(std::uint32_t(image.size()));
        image[8 * k] = char(wb);
        image[8 * k + 1] = char(h & 0xFF);
        image[8 * k + 2] = char(start.low);
        image[8 * k + 3] = char(start.page);
        image[8 * k + 4] = char(start.bank);
        image[8 * k + 7] = char(h >> 8);
        const int stride = bmpStride(w);
        for (int r = 0; r < h; ++r)
            image.append(bmp.mid(62 + (h - 1 - r) * stride, wb));
        ++k;
    }
    const auto end = module::bankedAddress(std::uint32_t(image.size()));
    image[0] = char(bmpFiles.size());
    image[1] = char(end.low);
    image[2] = char(end.page);
    image[3] = char(end.bank);
    return image;
}

QByteArray bitmapTransfer(const QByteArray& image) {
    return module::bitmapHeader(module::bankedAddress(std::uint32_t(image.size()))) + image;
}

QByteArray fontTransfer(const QByteArray& font) {
    QByteArray data = font.left(FontMemorySize);
    data.append(QByteArray(FontMemorySize - data.size(), '\0'));
    return module::fontHeader() + data;
}

bool bmpBlack(const QByteArray& bmp, int x, int y) {
    const int w = le16(bmp, 18);
    const int h = le16(bmp, 22);
    const int row = 62 + (h - 1 - y) * bmpStride(w);
    return ((std::uint8_t(bmp[row + x / 8]) >> (7 - x % 8)) & 1) == 0;
}

bool glyphBit(const QByteArray& glyph, int x, int y) {
    return (std::uint8_t(glyph[2 * y + x / 8]) >> (7 - x % 8)) & 1;
}

} // namespace panelix::test
