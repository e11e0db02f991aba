// Export of a 320 x 240 picture in every scan and option, beside a plain loop copying
// the same 9,600 bytes of the picture in the same run. Each export must stay under 5 ms.
#include "export/CText.h"
#include "export/ExportFormat.h"

#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

using namespace panelix;

namespace {

constexpr int Width = 320, Height = 240;

// Median wall time of fn in milliseconds.
double medianMs(int repeats, const std::function<void()>& fn) {
    std::vector<double> times;
    for (int i = 0; i < repeats; ++i) {
        QElapsedTimer t;
        t.start();
        fn();
        times.push_back(double(t.nsecsElapsed()) / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

MonoBitmap noise() {
    QByteArray rows(qsizetype(Width / 8) * Height, '\0');
    quint32 x = 2463534242u;
    for (char& c : rows) {
        x ^= x << 13, x ^= x >> 17, x ^= x << 5;
        c = char(x & 0xFF);
    }
    return MonoBitmap(Width, Height, rows);
}

const char* scanName(ScanMode s) {
    switch (s) {
    case ScanMode::Rows: return "rows";
    case ScanMode::RowsColumnMajor: return "rows-cm";
    case ScanMode::Columns: return "columns";
    case ScanMode::Pages: return "pages";
    }
    return "?";
}

} // namespace

int main() {
    const MonoBitmap picture = noise();
    const QByteArray& source = picture.bytes();
    QByteArray copy(source.size(), '\0');
    unsigned sink = 0;
    const double copyMs = medianMs(201, [&] {
        const auto* s = reinterpret_cast<const quint8*>(source.constData());
        auto* d = reinterpret_cast<quint8*>(copy.data());
        for (qsizetype i = 0; i < source.size(); ++i)
            d[i] = s[i];
        sink += d[source.size() - 1];
    });
    std::printf("320 x 240 picture, median of 51 runs each (the copy 201); plain copy loop of its %lld bytes: %.4f ms\n",
                static_cast<long long>(source.size()), copyMs);
    std::printf("%-8s %-9s %-5s %-4s %-6s %-7s %10s %12s\n", "scan", "bits", "dark", "word", "order", "padding",
                "ms", "x copy");

    double worst = 0;
    int modes = 0;
    for (ScanMode scan : {ScanMode::Rows, ScanMode::RowsColumnMajor, ScanMode::Columns, ScanMode::Pages})
        for (BitOrder bits : {BitOrder::MsbFirst, BitOrder::LsbFirst})
            for (Polarity pol : {Polarity::DarkIsOne, Polarity::DarkIsZero})
                for (int word : {8, 16})
                    for (ByteOrder order : {ByteOrder::BigEndian, ByteOrder::LittleEndian})
                        for (bool pad : {true, false}) {
                            if (word == 8 && order == ByteOrder::LittleEndian)
                                continue; // the same bytes as big-endian
                            ExportOptions o;
                            o.scan = scan;
                            o.bitOrder = bits;
                            o.polarity = pol;
                            o.wordBits = word;
                            o.byteOrder = order;
                            o.padLines = pad;
                            QByteArray out;
                            const double ms = medianMs(51, [&] { out = exportBitmap(picture, o); });
                            sink += quint8(out[0]);
                            worst = std::max(worst, ms);
                            ++modes;
                            std::printf("%-8s %-9s %-5d %-4d %-6s %-7s %10.4f %12.1f\n", scanName(scan),
                                        bits == BitOrder::MsbFirst ? "msb-first" : "lsb-first",
                                        pol == Polarity::DarkIsOne ? 1 : 0, word,
                                        word == 8 ? "-" : order == ByteOrder::BigEndian ? "big" : "little",
                                        pad ? "line" : "none", ms, ms / copyMs);
                        }

    // The whole way to a C file: bytes and their text.
    ExportedImage image{QStringLiteral("screen"), Width, Height, {}, {}};
    const double cMs = medianMs(51, [&] {
        image.bytes = exportBitmap(picture, image.options);
        sink += unsigned(toCSource(image).size());
    });
    std::printf("rows as C source (bytes + text): %.4f ms = %.1f x copy\n", cMs, cMs / copyMs);
    worst = std::max(worst, cMs);
    std::printf("%d modes; slowest %.4f ms (goal < 5 ms)%s   [%u]\n", modes, worst, worst < 5 ? "" : "  MISSED",
                sink & 1);
    return worst < 5 ? 0 : 1;
}
