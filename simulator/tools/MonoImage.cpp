#include "simulator/tools/MonoImage.h"

#include <QList>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace panelix {

namespace {
void put16(QByteArray& b, int at, int v) {
    b[at] = char(v & 0xFF);
    b[at + 1] = char((v >> 8) & 0xFF);
}
void put32(QByteArray& b, int at, int v) {
    for (int i = 0; i < 4; ++i)
        b[at + i] = char((v >> (8 * i)) & 0xFF);
}
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

QByteArray MonoImage::toBmp() const {
    const int stride = (width_ + 31) / 32 * 4;
    const int offset = 62;
    QByteArray b(offset + stride * height_, '\0');
    b[0] = 'B';
    b[1] = 'M';
    put32(b, 2, int(b.size()));
    put32(b, 10, offset);
    put32(b, 14, 40);
    put32(b, 18, width_);
    put32(b, 22, height_);
    put16(b, 26, 1);
    put16(b, 28, 1);
    put32(b, 34, stride * height_);
    put32(b, 38, 2835); // 72 dpi
    put32(b, 42, 2835);
    put32(b, 46, 2);
    put32(b, 50, 2);
    // Palette: entry 0 black, entry 1 white.
    b[58] = char(0xFF);
    b[59] = char(0xFF);
    b[60] = char(0xFF);
    const int used = (width_ + 7) / 8;
    for (int y = 0; y < height_; ++y) {
        const int row = offset + (height_ - 1 - y) * stride;
        for (int k = 0; k < used; ++k) {
            std::uint8_t bits = 0;
            for (int i = 0; i < 8; ++i) {
                const int x = 8 * k + i;
                if (x >= width_ || !black(x, y))
                    bits = std::uint8_t(bits | (0x80u >> i));
            }
            b[row + k] = char(bits);
        }
    }
    return b;
}

} // namespace panelix
