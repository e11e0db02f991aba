// libFuzzer entry for the BMP reader. Each input is read as a file between two
// other reads, and the reader is judged against the file format itself: a file the
// format allows is taken with exactly its pixel rows; any other is refused with the
// right message and leaves every buffer and value of the last good read as it was.
#include "FuzzSupport.h"

#include "bitmap/BmpReader.h"

#include <QFileInfo>

#include <array>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

using panelix::BmpReader;
using panelix::MonoBitmap;
using panelix::InputReason;
using panelix::inputError;

quint32 le32(const QByteArray& f, qint64 at) {
    const auto* b = reinterpret_cast<const uchar*>(f.constData());
    return quint32(b[at]) | quint32(b[at + 1]) << 8 | quint32(b[at + 2]) << 16 | quint32(b[at + 3]) << 24;
}

// What the format says of a file, worked out from its bytes alone.
struct Expected {
    enum Verdict { Taken, NotMonochrome, OutOfRange, CutShort } verdict = NotMonochrome;
    QByteArray head; // the reader's buffer: the first 40001 bytes, zero after the end
    MonoBitmap bitmap;
    std::vector<QByteArray> storedRows; // each row as stored, stride bytes, top row first
    int stride = 0;
    std::array<quint32, 2> palette{0xFF000000u, 0xFFFFFFFFu};
};

Expected expected(const QByteArray& f) {
    Expected e;
    if (f.size() < 54 || f[0] != 'B' || f[1] != 'M')
        return e;
    const qint64 infoSize = le32(f, 14);
    const int bits = uchar(f[28]) | uchar(f[29]) << 8;
    if (infoSize < 40 || bits != 1 || le32(f, 30) != 0)
        return e;
    const auto w = qint32(le32(f, 18));
    const auto h = qint32(le32(f, 22));
    if (w < 1 || w > BmpReader::MaxWidth || h == 0 || h > BmpReader::MaxHeight || h < -BmpReader::MaxHeight) {
        e.verdict = Expected::OutOfRange;
        return e;
    }
    const int rows = h < 0 ? -h : h;
    const int stride = (w + 31) / 32 * 4;
    const qint64 offset = le32(f, 10);
    if (offset < 14 + infoSize)
        return e;
    if (offset + qint64(rows) * stride > f.size()) { // rows cut off by the end: unreadable
        e.verdict = Expected::CutShort;
        return e;
    }

    e.verdict = Expected::Taken;
    e.stride = stride;
    QByteArray packed;
    for (int r = 0; r < rows; ++r) {
        const int stored = h < 0 ? r : rows - 1 - r;
        const QByteArray row = f.mid(offset + qint64(stored) * stride, stride);
        e.storedRows.push_back(row);
        packed += row.left((w + 7) / 8);
    }
    e.bitmap = MonoBitmap(w, rows, packed);
    e.head = f.left(BmpReader::BufferSize);
    e.head.append(QByteArray(BmpReader::BufferSize - e.head.size(), '\0'));
    for (int i = 0; i < 2; ++i) {
        const qint64 at = 14 + infoSize + 4 * i;
        if (at + 4 <= offset && at + 4 <= e.head.size() && at + 4 <= f.size()) {
            const auto* b = reinterpret_cast<const uchar*>(f.constData());
            e.palette[std::size_t(i)] =
                0xFF000000u | quint32(b[at + 2]) << 16 | quint32(b[at + 1]) << 8 | b[at];
        }
    }
    return e;
}

// Everything the reader reports, to compare before and after a refused read.
struct State {
    QByteArray buffer;
    QByteArray matrix;
    int width, height, stride;
    std::array<quint32, 2> palette;
    QByteArray bitmap;

    explicit State(const BmpReader& r)
        : buffer(r.bmpBuffer()), width(r.width()), height(r.height()), stride(r.stride()),
          palette(r.palette()), bitmap(r.bitmap().bytes()) {
        for (int row = 0; row < BmpReader::MatrixRows; ++row)
            matrix.append(reinterpret_cast<const char*>(r.pixelRow(row)), BmpReader::MatrixCols);
    }
    bool operator==(const State& o) const {
        return buffer == o.buffer && matrix == o.matrix && width == o.width && height == o.height &&
               stride == o.stride && palette == o.palette && bitmap == o.bitmap;
    }
};

// Reads the bytes as a file and checks the outcome against the format.
void readAndJudge(BmpReader& reader, const QByteArray& file) {
    const QString path = panelix::fuzz::scratchPath("input.bmp");
    panelix::fuzz::putFile(path, file);
    const Expected want = expected(file);
    const State before(reader);
    const bool taken = reader.readBmp(path);

    FUZZ_CHECK(taken == (want.verdict == Expected::Taken));
    if (!taken) {
        const InputReason reason = want.verdict == Expected::OutOfRange ? InputReason::BitmapSizeOutOfRange
                                   : want.verdict == Expected::CutShort ? InputReason::BitmapUnreadable
                                                                        : InputReason::NotMonoBmp;
        FUZZ_CHECK(reader.error() == inputError(reason, path));
        FUZZ_CHECK(State(reader) == before);
        return;
    }
    FUZZ_CHECK(!reader.error().failed());
    FUZZ_CHECK(reader.width() == want.bitmap.width());
    FUZZ_CHECK(reader.height() == want.bitmap.height());
    FUZZ_CHECK(reader.stride() == want.stride);
    FUZZ_CHECK(reader.bitmap() == want.bitmap);
    FUZZ_CHECK(reader.bmpBuffer() == want.head);
    FUZZ_CHECK(reader.palette() == want.palette);
    for (int r = 0; r < reader.height(); ++r)
        FUZZ_CHECK(std::memcmp(reader.pixelRow(r), want.storedRows[std::size_t(r)].constData(),
                               std::size_t(want.stride)) == 0);
}

// A good picture to start from: 37 x 9, bottom-up, with a colour table of its own.
QByteArray startingPicture() {
    const int w = 37, h = 9, stride = 8;
    QByteArray f(62 + h * stride, '\0');
    auto put32 = [&](int at, quint32 v) {
        for (int i = 0; i < 4; ++i)
            f[at + i] = char(v >> (8 * i));
    };
    f[0] = 'B';
    f[1] = 'M';
    put32(2, quint32(f.size()));
    put32(10, 62);
    put32(14, 40);
    put32(18, w);
    put32(22, h);
    f[26] = 1;
    f[28] = 1;
    put32(54, 0x00123456);
    put32(58, 0x00FEDCBA);
    for (int i = 62; i < f.size(); ++i)
        f[i] = char(i * 37 + 11);
    return f;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const QByteArray start = startingPicture();
    BmpReader reader;
    readAndJudge(reader, start);
    const QByteArray file(reinterpret_cast<const char*>(data), qsizetype(size));
    readAndJudge(reader, file);
    // Once more with the file cut short: usually a refusal after whatever the input left.
    readAndJudge(reader, file.left(file.size() * 3 / 4));
    return 0;
}
