#include "support/TestGif.h"

namespace panelix::test {

namespace {

void le16(QByteArray* out, int v) {
    out->append(char(v & 0xFF));
    out->append(char((v >> 8) & 0xFF));
}

// LZW with a minimum code size of 2 (codes of 3 bits): a clear code before every two dots
// keeps the table from growing to 4-bit codes, so every dot is its own code.
QByteArray lzwDots(const QList<bool>& dark) {
    constexpr int Clear = 4;
    constexpr int End = 5;
    QByteArray bytes;
    quint32 acc = 0;
    int bits = 0;
    const auto put = [&](int code) {
        acc |= quint32(code) << bits;
        bits += 3;
        while (bits >= 8) {
            bytes.append(char(acc & 0xFF));
            acc >>= 8;
            bits -= 8;
        }
    };
    for (qsizetype i = 0; i < dark.size(); ++i) {
        if (i % 2 == 0)
            put(Clear);
        put(dark[i] ? 0 : 1); // colour 0 black, 1 white
    }
    put(End);
    if (bits > 0)
        bytes.append(char(acc & 0xFF));
    // Data sub-blocks of at most 255 bytes, then the block terminator.
    QByteArray out;
    out.append(char(2));
    for (qsizetype at = 0; at < bytes.size(); at += 255) {
        const QByteArray part = bytes.mid(at, 255);
        out.append(char(part.size()));
        out.append(part);
    }
    out.append(char(0));
    return out;
}

} // namespace

QByteArray makeGif(QSize size, const QList<GifFrame>& frames, int loops) {
    QByteArray out("GIF89a");
    le16(&out, size.width());
    le16(&out, size.height());
    out.append(char(0x80)); // a global colour table of 2 entries
    out.append(char(0));    // background colour
    out.append(char(0));    // aspect
    out.append(QByteArray::fromHex("000000FFFFFF"));
    if (loops >= 0) {
        out.append(QByteArray::fromHex("21FF0B"));
        out.append("NETSCAPE2.0");
        out.append(char(3));
        out.append(char(1));
        le16(&out, loops);
        out.append(char(0));
    }
    for (const GifFrame& f : frames) {
        out.append(QByteArray::fromHex("21F904"));
        out.append(char(1 << 2 | (f.clearLight ? 1 : 0))); // disposal: leave in place
        le16(&out, f.delayCs);
        out.append(char(f.clearLight ? 1 : 0)); // the transparent colour: white
        out.append(char(0));
        const QRect area = f.area.isEmpty() ? QRect(QPoint(0, 0), size) : f.area;
        out.append(char(0x2C));
        le16(&out, area.x());
        le16(&out, area.y());
        le16(&out, area.width());
        le16(&out, area.height());
        out.append(char(0)); // no local table, not interlaced
        out.append(lzwDots(f.dark));
    }
    out.append(char(0x3B));
    return out;
}

GifFrame columnFrame(QSize size, int x, int delayCs) {
    GifFrame f;
    f.delayCs = delayCs;
    f.dark.resize(qsizetype(size.width()) * size.height());
    for (int y = 0; y < size.height(); ++y)
        f.dark[qsizetype(y) * size.width() + x] = true;
    return f;
}

} // namespace panelix::test
