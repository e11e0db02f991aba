// Builds the download image of the largest full-screen list that fits in 256 KB, from
// BMP files on disk to file.add, over and over, and prints what one build costs.
#include "bitmap/BitmapDownload.h"
#include "bitmap/BmpReader.h"
#include "bitmap/BmpWriter.h"
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

// A full screen of noise, written as any standard 1-bit BMP is.
QByteArray fullScreenBmp(quint32 seed) {
    QByteArray rows(qsizetype(Width + 7) / 8 * Height, '\0');
    quint32 x = 2463534242u ^ seed;
    for (char& c : rows) {
        x ^= x << 13, x ^= x >> 17, x ^= x << 5;
        c = char(x & 0xFF);
    }
    return writeBmp(MonoBitmap(Width, Height, rows));
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
    if (!builder.buildDownloadImage(entries, fileAdd) ||
        !planBitmapDownload(builder.downloadImage()).accepted) {
        std::fprintf(stderr, "build refused: reason %d\n", int(builder.error().reason));
        return 1;
    }

    const Timing build = timeRounds([&] { builder.buildDownloadImage(entries, fileAdd); });
    // The parts of a build: reading the list, packing the image, replacing file.add.
    std::vector<MonoBitmap> bitmaps;
    const Timing read = timeRounds([&] {
        bitmaps.clear();
        for (const QString& e : entries) {
            reader.readBmp(e);
            bitmaps.push_back(reader.bitmap());
        }
    });
    quint64 packedEnds = 0; // kept, so the packing cannot be left out
    const Timing pack =
        timeRounds([&] { packedEnds += DownloadImageBuilder::packDownloadImage(bitmaps).end; });
    const Timing write = timeRounds([&] { writeFileAtomically(fileAdd, builder.downloadImage()); });

    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const double imageBytes = double(builder.downloadImage().size());
    std::printf("bitmaps per list:           %d x %dx%d, end position %u of 262145\n", Bitmaps, Width, Height,
                builder.endPosition());
    if (packedEnds != quint64(Rounds) * builder.endPosition()) {
        std::fprintf(stderr, "packing the bitmaps read gave another image\n");
        return 1;
    }
    std::printf("builds timed:               %d (files in %s)\n", Rounds, qPrintable(dir.path()));
    std::printf("milliseconds, %d rounds each:\n", Rounds);
    print("  whole build (goal < 5)", build);
    print("  reading the 27 files", read);
    print("  packing the image", pack);
    print("  replacing file.add", write);
    std::printf("BMP bytes read per second:  %.1f MB/s (median build)\n",
                double(inputBytes) / (build.median / 1e3) / 1e6);
    std::printf("image bytes per second:     %.1f MB/s (median build)\n",
                imageBytes / (build.median / 1e3) / 1e6);
    std::printf("peak memory (ru_maxrss):    %ld KB\n", usage.ru_maxrss);
    return 0;
}
