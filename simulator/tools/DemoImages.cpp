#include "simulator/tools/DemoImages.h"

#include "bitmap/BmpWriter.h"

#include <QDir>

#include <cmath>
#include <numbers>

namespace panelix {

namespace {

void centredText(MonoImage& img, int y, const QString& s, const GlyphMap& glyphs, int scale = 1) {
    img.text((img.width() - MonoImage::textWidth(s, glyphs, scale)) / 2, y, s, glyphs, scale);
}

MonoImage titleScreen(const GlyphMap& glyphs) {
    MonoImage img(320, 240);
    img.frame(0, 0, 320, 240, 3);
    img.frame(6, 6, 308, 228, 1);
    centredText(img, 18, QStringLiteral("Panelix"), glyphs, 3);
    centredText(img, 76, QStringLiteral("液晶显示模块演示"), glyphs, 2);
    img.line(40, 122, 280, 122, 2);
    centredText(img, 134, QStringLiteral("320×240 单色点阵"), glyphs);
    centredText(img, 156, QStringLiteral("RS-232 19200波特 8N1"), glyphs);
    centredText(img, 178, QStringLiteral("位图下载 字库下载 命令仿真"), glyphs);
    for (int i = 0; i < 12; ++i)
        img.fillRect(46 + 20 * i, 206, 8, 8);
    return img;
}

MonoImage gauge(const GlyphMap& glyphs) {
    MonoImage img(200, 120);
    const int cx = 100;
    const int cy = 104;
    const int r = 86;
    img.frame(0, 0, 200, 120, 1);
    // The upper half of a ring three pixels wide.
    for (int y = cy - r - 1; y <= cy; ++y) {
        for (int x = cx - r - 1; x <= cx + r + 1; ++x) {
            const double d = std::hypot(x - cx, y - cy);
            if (d < r + 0.5 && d >= r - 2.5)
                img.set(x, y);
        }
    }
    for (int i = 0; i <= 10; ++i) {
        const double a = std::numbers::pi * (1.0 - i / 10.0);
        const int inner = i % 5 == 0 ? r - 16 : r - 9;
        img.line(cx + int(std::lround(inner * std::cos(a))), cy - int(std::lround(inner * std::sin(a))),
                 cx + int(std::lround((r - 3) * std::cos(a))), cy - int(std::lround((r - 3) * std::sin(a))),
                 i % 5 == 0 ? 2 : 1);
    }
    img.text(cx - r + 18, cy - 14, QStringLiteral("0"), glyphs);
    img.text(cx - 8, cy - r + 20, QStringLiteral("50"), glyphs);
    img.text(cx + r - 42, cy - 14, QStringLiteral("100"), glyphs);
    img.text(cx - 52, cy - 40, QStringLiteral("转速"), glyphs);
    const double needle = std::numbers::pi * (1.0 - 0.65);
    img.line(cx, cy, cx + int(std::lround((r - 20) * std::cos(needle))),
             cy - int(std::lround((r - 20) * std::sin(needle))), 3);
    img.disc(cx, cy, 7);
    img.line(2, cy + 1, 197, cy + 1, 1);
    return img;
}

MonoImage checkerboard() {
    MonoImage img(64, 64);
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) {
            if ((x + y) % 2 == 0)
                img.fillRect(8 * x, 8 * y, 8, 8);
        }
    }
    return img;
}

MonoImage iconSheet() {
    MonoImage img(160, 32);
    // Battery, three quarters full.
    img.frame(2, 8, 25, 16, 2);
    img.fillRect(27, 12, 3, 8);
    for (int i = 0; i < 3; ++i)
        img.fillRect(5 + 6 * i, 11, 4, 10);
    // Bell.
    const int bx = 32;
    img.disc(bx + 16, 13, 9);
    img.fillRect(bx + 7, 13, 19, 9);
    img.fillRect(bx + 4, 22, 25, 3);
    img.disc(bx + 16, 27, 3);
    img.fillRect(bx + 15, 2, 3, 3);
    // Check mark in a ring.
    const int cx = 64;
    img.circle(cx + 16, 16, 14, 2);
    img.line(cx + 9, 16, cx + 14, 22, 3);
    img.line(cx + 14, 22, cx + 24, 10, 3);
    // House.
    const int hx = 96;
    img.line(hx + 3, 16, hx + 16, 3, 2);
    img.line(hx + 16, 3, hx + 29, 16, 2);
    img.frame(hx + 7, 15, 18, 15, 2);
    img.fillRect(hx + 14, 21, 5, 9);
    // Loudspeaker with two sound waves.
    const int sx = 128;
    img.fillRect(sx + 3, 12, 6, 8);
    for (int i = 0; i < 8; ++i)
        img.line(sx + 9 + i, 12 - i, sx + 9 + i, 19 + i);
    for (int y = 0; y < 32; ++y) {
        for (int x = sx + 19; x < sx + 32; ++x) {
            const double d = std::hypot(x - (sx + 16), y - 16);
            if ((d >= 5.5 && d < 7.5) || (d >= 10.5 && d < 12.5))
                img.set(x, y);
        }
    }
    return img;
}

MonoImage barChart(const GlyphMap& glyphs) {
    MonoImage img(100, 60);
    img.text(2, 0, QStringLiteral("产量"), glyphs);
    img.line(6, 18, 6, 57);
    img.line(6, 57, 97, 57);
    const int heights[] = {12, 25, 18, 34, 29};
    for (int i = 0; i < 5; ++i) {
        const int x = 12 + 17 * i;
        if (i % 2 == 0)
            img.fillRect(x, 57 - heights[i], 11, heights[i]);
        else
            img.frame(x, 57 - heights[i], 11, heights[i], 2);
    }
    return img;
}

} // namespace

QVector<DemoImage> demoImages(const GlyphMap& glyphs) {
    return {
        {QStringLiteral("title.bmp"), titleScreen(glyphs)}, {QStringLiteral("gauge.bmp"), gauge(glyphs)},
        {QStringLiteral("checker.bmp"), checkerboard()},    {QStringLiteral("icons.bmp"), iconSheet()},
        {QStringLiteral("bars.bmp"), barChart(glyphs)},
    };
}

bool writeDemoImages(const QString& dir, const GlyphMap& glyphs, QStringList* written, QString* error) {
    if (!QDir().mkpath(dir)) {
        *error = QStringLiteral("无法创建目录:") + dir;
        return false;
    }
    for (const DemoImage& demo : demoImages(glyphs)) {
        const QString path = QDir(dir).filePath(demo.fileName);
        if (!writeBmpFile(path, demo.image.toBitmap())) {
            *error = QStringLiteral("无法写入文件:") + path;
            return false;
        }
        written->append(path);
    }
    return true;
}

} // namespace panelix
