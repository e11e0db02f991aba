// Picture import: decode + scale + dither of a 4000 x 3000 JPEG, and the re-render of a
// 320 x 240 result (tone + dither, what a slider move costs) for each method, beside Qt's
// own mono conversion (QImage::convertToFormat(Format_Mono)) of the same pictures in the
// same run. A dialog must re-render in under 30 ms.
#include "import/PictureImport.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImage>
#include <QImageReader>
#include <QPainter>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

using namespace panelix;

namespace {

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

QImage photo(int w, int h) {
    QImage img(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y) {
        auto* line = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int x = 0; x < w; ++x) {
            const int noise = int((quint32(x) * 2654435761u ^ quint32(y) * 40503u) >> 27);
            line[x] = qRgb((x * 255 / w + noise) & 0xFF, (y * 255 / h) & 0xFF, ((x + y) / 16 + noise) & 0xFF);
        }
    }
    QPainter p(&img);
    p.setBrush(Qt::black);
    p.drawEllipse(w / 4, h / 4, w / 2, h / 2);
    p.setBrush(Qt::white);
    p.drawRect(w / 8, h / 8, w / 6, h / 6);
    return img;
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QTemporaryDir dir;
    const QString jpeg = dir.filePath(QStringLiteral("photo.jpg"));
    if (!photo(4000, 3000).save(jpeg, "JPEG", 90)) {
        std::fprintf(stderr, "cannot write the test JPEG\n");
        return 1;
    }
    ImportOptions options; // 320 x 240, fit, Floyd-Steinberg, Otsu

    QImage decoded;
    const double decodeMs = medianMs(3, [&] { loadPicture(jpeg, options.target, &decoded, nullptr); });
    QImage scaled;
    const double scaleMs = medianMs(3, [&] { scaled = scalePicture(decoded, options); });
    MonoBitmap bits;
    const double chainMs = medianMs(3, [&] { importPicture(jpeg, options, &bits, nullptr); });

    // Qt's own way to the same 1-bit result: read, smooth scale, diffuse-dither to mono.
    QImage qtMono;
    const double qtChainMs = medianMs(3, [&] {
        QImageReader reader(jpeg);
        reader.setAutoTransform(true);
        const QImage img = reader.read();
        qtMono = img.scaled(options.target, Qt::KeepAspectRatio, Qt::SmoothTransformation)
                     .convertToFormat(QImage::Format_Mono);
    });
    std::printf("4000 x 3000 JPEG to a 320 x 240 1-bit picture\n");
    std::printf("  decode %.1f ms, scale %.1f ms, whole import %.1f ms; Qt read+scale+mono %.1f ms\n", decodeMs, scaleMs,
                chainMs, qtChainMs);

    // The re-render of the kept 320 x 240 greys, per method, beside Qt's conversion of the same
    // 320 x 240 picture.
    const QImage scaledRgb = decoded.scaled(options.target, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    const double qtMonoMs = medianMs(51, [&] { qtMono = scaledRgb.convertToFormat(QImage::Format_Mono); });
    std::printf("re-render of the 320 x 240 result (tone + dither), median of 51\n");
    std::printf("  Qt convertToFormat(Format_Mono): %.3f ms\n", qtMonoMs);
    const std::pair<DitherMethod, const char*> methods[] = {{DitherMethod::Threshold, "threshold"},
                                                            {DitherMethod::FloydSteinberg, "floyd-steinberg"},
                                                            {DitherMethod::Atkinson, "atkinson"},
                                                            {DitherMethod::Bayer4, "bayer4"},
                                                            {DitherMethod::Bayer8, "bayer8"}};
    double worst = 0;
    for (const auto& [method, name] : methods) {
        ImportOptions o = options;
        o.dither = method;
        o.brightness = 10;
        o.contrast = 20;
        o.gamma = 1.2;
        const double ms = medianMs(51, [&] { bits = ditherToMono(adjustTone(scaled, o), o); });
        worst = std::max(worst, ms);
        std::printf("  %-16s %.3f ms  = %.2f x Qt's mono conversion\n", name, ms, ms / qtMonoMs);
    }
    std::printf("ratios measured in this run\n");
    std::printf("  whole import / Qt read+scale+mono   %.2f x\n", chainMs / qtChainMs);
    std::printf("  slowest re-render %.3f ms (goal < 30 ms)%s\n", worst, worst < 30 ? "" : "  MISSED");
    return worst < 30 ? 0 : 1;
}
