#include "export/ExportFormat.h"

#include <algorithm>

namespace panelix {

namespace {

bool validSize(int width, int height) {
    return width >= 1 && height >= 1 && width <= MaxExportSide && height <= MaxExportSide;
}

bool validOptions(const ExportOptions& o) {
    return o.wordBits == 8 || o.wordBits == 16;
}

bool horizontal(ScanMode scan) {
    return scan == ScanMode::Rows || scan == ScanMode::RowsColumnMajor;
}

// The geometry of a scan: lines (rows or columns) of lineLength dots, each cut into
// wordsPerLine words of wordBits dots.
struct Layout {
    int lines = 0;
    int lineLength = 0;
    int wordsPerLine = 0;
    int wordBits = 8;
};

Layout layoutOf(int width, int height, const ExportOptions& o) {
    Layout l;
    l.wordBits = o.wordBits;
    l.lines = horizontal(o.scan) ? height : width;
    l.lineLength = horizontal(o.scan) ? width : height;
    l.wordsPerLine = (l.lineLength + o.wordBits - 1) / o.wordBits;
    return l;
}

// Calls visit(x, y) for every dot in the order the scan puts them in the stream, and
// visit(-1, -1) for a padding dot when lines are padded.
template <class Visit> void forEachDot(int width, int height, const ExportOptions& o, Visit&& visit) {
    const Layout l = layoutOf(width, height, o);
    const bool lineMajor = o.scan == ScanMode::Rows || o.scan == ScanMode::Columns;
    const bool across = horizontal(o.scan);
    auto word = [&](int line, int w) {
        const int first = w * l.wordBits;
        const int end = std::min(first + l.wordBits, l.lineLength);
        for (int i = first; i < end; ++i) {
            if (across)
                visit(i, line);
            else
                visit(line, i);
        }
        if (o.padLines)
            for (int i = end; i < first + l.wordBits; ++i)
                visit(-1, -1);
    };
    if (lineMajor) {
        for (int line = 0; line < l.lines; ++line)
            for (int w = 0; w < l.wordsPerLine; ++w)
                word(line, w);
    } else {
        for (int w = 0; w < l.wordsPerLine; ++w)
            for (int line = 0; line < l.lines; ++line)
                word(line, w);
    }
}

} // namespace

ExportOptions defaultOptionsFor(ScanMode scan) {
    ExportOptions o;
    o.scan = scan;
    o.bitOrder = horizontal(scan) ? BitOrder::MsbFirst : BitOrder::LsbFirst;
    return o;
}

qsizetype exportedSize(int width, int height, const ExportOptions& options) {
    if (!validSize(width, height) || !validOptions(options))
        return -1;
    const Layout l = layoutOf(width, height, options);
    const qint64 bits = options.padLines ? qint64(l.lines) * l.wordsPerLine * l.wordBits
                                         : qint64(width) * height;
    const qint64 words = (bits + l.wordBits - 1) / l.wordBits;
    return qsizetype(words * (l.wordBits / 8));
}

QByteArray exportBitmap(const MonoBitmap& bitmap, const ExportOptions& options) {
    const qsizetype size = exportedSize(bitmap.width(), bitmap.height(), options);
    if (size < 0)
        return {};
    QByteArray out(size, '\0');
    auto* dst = reinterpret_cast<quint8*>(out.data());
    const int wordBits = options.wordBits;
    const bool msbFirst = options.bitOrder == BitOrder::MsbFirst;
    const bool bigEndian = options.byteOrder == ByteOrder::BigEndian;
    // The module keeps dark as 0, so a stored bit is the output bit for DarkIsZero.
    const unsigned lightBit = options.polarity == Polarity::DarkIsZero ? 1u : 0u;
    const int widthBytes = bitmap.widthBytes();
    const auto* rows = reinterpret_cast<const quint8*>(bitmap.bytes().constData());

    unsigned word = 0;
    int filled = 0;
    qsizetype at = 0;
    auto flush = [&] {
        if (wordBits == 8) {
            dst[at++] = quint8(word);
        } else if (bigEndian) {
            dst[at++] = quint8(word >> 8);
            dst[at++] = quint8(word);
        } else {
            dst[at++] = quint8(word);
            dst[at++] = quint8(word >> 8);
        }
        word = 0;
        filled = 0;
    };
    auto push = [&](unsigned bit) {
        word |= bit << (msbFirst ? wordBits - 1 - filled : filled);
        if (++filled == wordBits)
            flush();
    };
    forEachDot(bitmap.width(), bitmap.height(), options, [&](int x, int y) {
        if (x < 0) {
            push(lightBit);
            return;
        }
        const unsigned stored = (rows[qsizetype(y) * widthBytes + (x >> 3)] >> (7 - (x & 7))) & 1u;
        push(stored ^ lightBit ^ 1u);
    });
    if (filled > 0) {
        while (filled > 0)
            push(lightBit);
    }
    return out;
}

ImportedBitmap bitmapFromBytes(const QByteArray& bytes, int width, int height, const ExportOptions& options) {
    ImportedBitmap result;
    if (!validOptions(options)) {
        result.error = ExportError::BadOptions;
        return result;
    }
    const qsizetype size = exportedSize(width, height, options);
    if (size < 0) {
        result.error = ExportError::BadSize;
        return result;
    }
    result.expectedSize = size;
    if (bytes.size() != size) {
        result.error = ExportError::SizeMismatch;
        return result;
    }
    MonoBitmap bitmap(width, height); // all light, unused bits included
    const auto* src = reinterpret_cast<const quint8*>(bytes.constData());
    const int wordBits = options.wordBits;
    const bool msbFirst = options.bitOrder == BitOrder::MsbFirst;
    const bool bigEndian = options.byteOrder == ByteOrder::BigEndian;
    const unsigned darkBit = options.polarity == Polarity::DarkIsZero ? 0u : 1u;
    const int widthBytes = bitmap.widthBytes();
    auto* rows = reinterpret_cast<quint8*>(bitmap.row(0));

    unsigned word = 0;
    int left = 0;
    qsizetype at = 0;
    forEachDot(width, height, options, [&](int x, int y) {
        if (left == 0) {
            if (wordBits == 8)
                word = src[at++];
            else if (bigEndian)
                word = unsigned(src[at]) << 8 | src[at + 1], at += 2;
            else
                word = unsigned(src[at + 1]) << 8 | src[at], at += 2;
            left = wordBits;
        }
        const int taken = wordBits - left--;
        const unsigned bit = (word >> (msbFirst ? wordBits - 1 - taken : taken)) & 1u;
        if (x >= 0 && bit == darkBit)
            rows[qsizetype(y) * widthBytes + (x >> 3)] &= quint8(~(0x80u >> (x & 7)));
    });
    result.bitmap = bitmap;
    return result;
}

} // namespace panelix
