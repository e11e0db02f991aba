// Builds the download image of the largest full-screen list that fits in 256 KB, from
// BMP files on disk to file.add, over and over, and prints what one build costs.
#include "bitmap/BitmapDownload.h"
#include "bitmap/BmpReader.h"
#include "bitmap/DownloadImageBuilder.h"
#include "common/DataDir.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <numeric>
#include <sys/resource.h>
#include <vector>

using namespace panelix;

namespace {

constexpr int Width = 320, Height = 240, Bitmaps = 27, Rounds = 200;

void put32(QByteArray& b, int at, quint32 v) {
    for (int i = 0; i < 4; ++i)
        b[at + i] = char((v >> (8 * i)) & 0xFF);
}

QByteArray fullScreenBmp(quint32 seed) {
    const int stride = (Width + 31) / 32 * 4;
    QByteArray b(62, '\0');
    b[0] = 'B', b[1] = 'M';
    put32(b, 2, quint32(62 + stride * Height));
    put32(b, 10, 62);
    put32(b, 14, 40);
    put32(b, 18, Width);
    put32(b, 22, Height);
    b[26] = 1, b[28] = 1;
    put32(b, 34, quint32(stride * Height));
    b[58] = b[59] = b[60] = char(0xFF);
    quint32 x = 2463534242u ^ seed;
    for (int i = 0; i < stride * Height; ++i) {
        x ^= x << 13, x ^= x >> 17, x ^= x << 5;
        b.append(char(x & 0xFF));
    }
    return b;
}

struct Timing {
    double mean = 0, median = 0, p90 = 0;
};

// Each round timed on its own: file.add is flushed to disk on every build, and the
// disk is shared, so the median says more than the mean.
template <class F> Timing timeRounds(F&& round) {
    std::vector<double> ms;
    ms.reserve(Rounds);
    QElapsedTimer t;
    for (int r = 0; r < Rounds; ++r) {
        t.start();
        round();
        ms.push_back(double(t.nsecsElapsed()) / 1e6);
    }
    std::sort(ms.begin(), ms.end());
    return {std::accumulate(ms.begin(), ms.end(), 0.0) / Rounds, ms[Rounds / 2], ms[Rounds * 9 / 10]};
}

void print(const char* what, const Timing& t) {
    std::printf("%-28s median %7.3f   mean %7.3f   p90 %7.3f\n", what, t.median, t.mean, t.p90);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    QStringList entries;
    qint64 inputBytes = 0;
    for (int i = 0; i < Bitmaps; ++i) {
        const QString path = dir.filePath(QString("screen%1.bmp").arg(i));
        const QByteArray file = fullScreenBmp(quint32(i + 1));
        if (!writeFileAtomically(path, file)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            return 1;
        }
        entries << path;
        inputBytes += file.size();
    }
    const QString fileAdd = dir.filePath("file.add");

    BmpReader reader;
    DownloadImageBuilder builder;
    if (!builder.BuildDownloadImage(entries, reader, fileAdd) ||
        !planBitmapDownload(builder.downloadImage(), 256).accepted) {
        std::fprintf(stderr, "build refused: %s\n", qPrintable(builder.error()));
        return 1;
    }

    const Timing build = timeRounds([&] { builder.BuildDownloadImage(entries, reader, fileAdd); });
    // The two halves of a build: reading the list, and replacing file.add.
    const Timing read = timeRounds([&] {
        for (const QString& e : entries)
            reader.ReadBmp(e);
    });
    const Timing write = timeRounds([&] { writeFileAtomically(fileAdd, builder.downloadImage()); });

    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const double imageBytes = double(builder.downloadImage().size());
    std::printf("bitmaps per list:           %d x %dx%d, end position %u of 262145\n", Bitmaps, Width, Height,
                builder.endPosition());
    std::printf("builds timed:               %d (files in %s)\n", Rounds, qPrintable(dir.path()));
    std::printf("milliseconds, %d rounds each:\n", Rounds);
    print("  whole build (goal < 5)", build);
    print("  reading the 27 files", read);
    print("  replacing file.add", write);
    std::printf("BMP bytes read per second:  %.1f MB/s (median build)\n",
                double(inputBytes) / (build.median / 1e3) / 1e6);
    std::printf("image bytes per second:     %.1f MB/s (median build)\n",
                imageBytes / (build.median / 1e3) / 1e6);
    std::printf("peak memory (ru_maxrss):    %ld KB\n", usage.ru_maxrss);
    return 0;
}
