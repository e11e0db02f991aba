#include "simulator/tools/MonoImage.h"

#include "bitmap/BmpWriter.h"

#include <QList>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace panelix {

namespace {
constexpr int SpaceWidth = 8;
} // namespace

MonoImage::MonoImage(int width, int height)
    : width_(std::max(width, 0)), height_(std::max(height, 0)),
      pixels_(std::size_t(width_) * std::size_t(height_)) {}

bool MonoImage::black(int x, int y) const {
    if (x < 0 || y < 0 || x >= width_ || y >= height_)
        return false;
    return pixels_[std::size_t(y) * std::size_t(width_) + std::size_t(x)];
}

void MonoImage::set(int x, int y, bool black) {
    if (x < 0 || y < 0 || x >= width_ || y >= height_)
        return;
    pixels_[std::size_t(y) * std::size_t(width_) + std::size_t(x)] = black;
}

void MonoImage::fillRect(int x, int y, int w, int h, bool black) {
    for (int yy = std::max(y, 0); yy < std::min(y + h, height_); ++yy) {
        for (int xx = std::max(x, 0); xx < std::min(x + w, width_); ++xx)
            set(xx, yy, black);
    }
}

void MonoImage::frame(int x, int y, int w, int h, int thickness, bool black) {
    fillRect(x, y, w, thickness, black);
    fillRect(x, y + h - thickness, w, thickness, black);
    fillRect(x, y, thickness, h, black);
    fillRect(x + w - thickness, y, thickness, h, black);
}

void MonoImage::line(int x0, int y0, int x1, int y1, int thickness, bool black) {
    const int dx = std::abs(x1 - x0);
    const int dy = -std::abs(y1 - y0);
    const int sx = x0 < x1 ? 1 : -1;
    const int sy = y0 < y1 ? 1 : -1;
    const int half = thickness / 2;
    int err = dx + dy;
    for (;;) {
        fillRect(x0 - half, y0 - half, thickness, thickness, black);
        if (x0 == x1 && y0 == y1)
            break;
        const int e2 = 2 * err;
        if (e2 >= dy) {
            err += dy;
            x0 += sx;
        }
        if (e2 <= dx) {
            err += dx;
            y0 += sy;
        }
    }
}

void MonoImage::circle(int cx, int cy, int r, int thickness, bool black) {
    const double outer = r + 0.5;
    const double inner = r + 0.5 - thickness;
    for (int y = cy - r - 1; y <= cy + r + 1; ++y) {
        for (int x = cx - r - 1; x <= cx + r + 1; ++x) {
            const double d = std::hypot(x - cx, y - cy);
            if (d < outer && d >= inner)
                set(x, y, black);
        }
    }
}

void MonoImage::disc(int cx, int cy, int r, bool black) {
    for (int y = cy - r; y <= cy + r; ++y) {
        for (int x = cx - r; x <= cx + r; ++x) {
            if (std::hypot(x - cx, y - cy) < r + 0.5)
                set(x, y, black);
        }
    }
}

int MonoImage::text(int x, int y, const QString& s, const GlyphMap& glyphs, int scale, bool black) {
    for (const uint c : s.toUcs4()) {
        const auto it = glyphs.constFind(char32_t(c));
        if (it == glyphs.constEnd()) {
            x += SpaceWidth * scale;
            continue;
        }
        for (int r = 0; r < 16; ++r) {
            for (int col = 0; col < it->width; ++col) {
                const auto byte = std::uint8_t(it->cell[2 * r + col / 8]);
                if ((byte >> (7 - col % 8)) & 1)
                    fillRect(x + col * scale, y + r * scale, scale, scale, black);
            }
        }
        x += it->width * scale;
    }
    return x;
}

int MonoImage::textWidth(const QString& s, const GlyphMap& glyphs, int scale) {
    int w = 0;
    for (const uint c : s.toUcs4()) {
        const auto it = glyphs.constFind(char32_t(c));
        w += (it == glyphs.constEnd() ? SpaceWidth : it->width) * scale;
    }
    return w;
}

MonoBitmap MonoImage::toBitmap() const {
    MonoBitmap out(width_, height_); // all light, the unused bits of each row too
    for (int y = 0; y < height_; ++y) {
        for (int x = 0; x < width_; ++x) {
            if (black(x, y))
                out.setPixel(x, y, true);
        }
    }
    return out;
}

QByteArray MonoImage::toBmp() const {
    return writeBmp(toBitmap());
}

} // namespace panelix
