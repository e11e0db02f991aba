// The import dialog with a 12-megapixel photo (4000 x 3000 JPEG): what the first
// showing costs (decode once, scale once), what a slider move costs (tone, dithering and
// both previews), and what a change of size costs (scaling again), beside a whole import
// of the same file in the same run. A slider move must show in under 30 ms.
//   bench_import_dialog [--rounds N]      (runs offscreen when there is no display)
#include "import/PictureImport.h"
#include "shell/editor/ImportDialog.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>
#include <QSettings>
#include <QSlider>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

using namespace panelix;

namespace {

struct Times {
    double median = 0, worst = 0;
};

Times measure(int rounds, const std::function<void(int)>& round) {
    std::vector<double> ms;
    for (int r = 0; r < rounds; ++r) {
        QElapsedTimer t;
        t.start();
        round(r);
        ms.push_back(double(t.nsecsElapsed()) / 1e6);
    }
    std::sort(ms.begin(), ms.end());
    return {ms[ms.size() / 2], ms.back()};
}

// Smooth shading with edges and fine detail, as a photo has: no codec shortcut applies.
QImage photo(int w, int h) {
    QImage img(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y) {
        auto* line = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int x = 0; x < w; ++x) {
            const double dx = x - w * 0.45, dy = y - h * 0.5;
            const int shade = int(255 * std::exp(-(dx * dx + dy * dy) / (0.1 * w * w)));
            const int ripple = int(20 * std::sin(x * 0.05) * std::cos(y * 0.03));
            const int g = std::clamp(shade + ripple, 0, 255);
            line[x] = qRgb(g, std::clamp(g + (x % 7), 0, 255), std::clamp(255 - g, 0, 255));
        }
    }
    QPainter p(&img);
    p.setPen(QPen(Qt::black, 12));
    p.drawRect(w / 8, h / 8, w * 3 / 4, h * 3 / 4);
    return img;
}

} // namespace

int main(int argc, char** argv) {
    if (!std::getenv("DISPLAY") && !std::getenv("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    int rounds = 40;
    const QStringList args = QApplication::arguments();
    const qsizetype at = args.indexOf(QStringLiteral("--rounds"));
    if (at >= 0 && at + 1 < args.size())
        rounds = std::max(1, args[at + 1].toInt());

    QTemporaryDir dir;
    // The remembered settings of this run stay in the scratch directory.
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
    const QString source = dir.filePath(QStringLiteral("photo.jpg"));
    if (!photo(4000, 3000).save(source, "JPEG", 90)) {
        std::fputs("bench_import_dialog: cannot write the test photo\n", stderr);
        return 1;
    }

    ImportOptions options;
    MonoBitmap whole;
    InputError error;
    const Times import = measure(3, [&](int) { importPicture(source, options, &whole, &error); });

    std::unique_ptr<ImportDialog> dialog;
    const Times first = measure(1, [&](int) {
        dialog = std::make_unique<ImportDialog>(QStringList{source}, nullptr);
        dialog->setOptions(options);
        dialog->renderNow();
    });
    if (dialog->result().isEmpty()) {
        std::fputs("bench_import_dialog: the dialog did not import the photo\n", stderr);
        return 1;
    }

    auto* brightness = dialog->findChild<QSlider*>(QStringLiteral("ImportBrightness"));
    std::vector<double> inside;
    const Times slider = measure(rounds, [&](int r) {
        brightness->setValue((r % 2) ? 10 : -10);
        dialog->renderNow();
        inside.push_back(dialog->lastToneMs());
    });
    const DitherMethod methods[] = {DitherMethod::Threshold, DitherMethod::FloydSteinberg, DitherMethod::Atkinson,
                                    DitherMethod::Bayer4, DitherMethod::Bayer8};
    const Times dither = measure(rounds, [&](int r) {
        ImportOptions o = dialog->options();
        o.dither = methods[r % 5];
        dialog->setOptions(o); // also marks the geometry: scales again
        dialog->renderNow();
    });
    ImportOptions large = dialog->options();
    large.target = QSize(640, 481);
    dialog->setOptions(large);
    dialog->renderNow();
    const Times largeSlider = measure(rounds, [&](int r) {
        brightness->setValue((r % 2) ? 20 : -20);
        dialog->renderNow();
    });

    std::printf("source 4000 x 3000 (12.0 Mpx JPEG), %d rounds\n", rounds);
    std::printf("whole import (decode + scale + tone + dither): median %.1f ms\n", import.median);
    std::printf("dialog first showing (decode + scale + previews): %.1f ms\n", first.median);
    std::printf("slider move, 320 x 240: median %.2f ms, worst %.2f ms (tone + dither + previews %.2f ms)\n",
                slider.median, slider.worst, inside[inside.size() / 2]);
    std::printf("slider move, 640 x 481: median %.2f ms, worst %.2f ms\n", largeSlider.median, largeSlider.worst);
    std::printf("settings change that rescales (dither via setOptions): median %.1f ms\n", dither.median);
    std::printf("ratio whole import / slider move: %.0fx; slider move / 30 ms budget: %.2f\n",
                import.median / slider.median, slider.median / 30.0);
    return 0;
}
