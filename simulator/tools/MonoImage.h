#pragma once

#include "bitmap/MonoBitmap.h"
#include "simulator/tools/UnifontHex.h"

#include <QByteArray>
#include <QString>

#include <vector>

namespace panelix {

// A black-on-white picture to draw demo bitmaps in. Coordinates outside the
// picture are ignored, so shapes may run over its edges.
class MonoImage {
public:
    MonoImage(int width, int height);

    int width() const { return width_; }
    int height() const { return height_; }
    bool black(int x, int y) const;

    void set(int x, int y, bool black = true);
    void fillRect(int x, int y, int w, int h, bool black = true);
    // Outline, thickness pixels wide, inside the rectangle.
    void frame(int x, int y, int w, int h, int thickness = 1, bool black = true);
    // A line with a square pen thickness pixels wide.
    void line(int x0, int y0, int x1, int y1, int thickness = 1, bool black = true);
    void circle(int cx, int cy, int r, int thickness = 1, bool black = true);
    void disc(int cx, int cy, int r, bool black = true);
    // Draws text from glyphs with its top left at (x, y), each glyph pixel as a
    // scale x scale square; returns the x after the last character.
    int text(int x, int y, const QString& text, const GlyphMap& glyphs, int scale = 1, bool black = true);
    static int textWidth(const QString& text, const GlyphMap& glyphs, int scale = 1);

    // The picture as the module stores it, black a dark dot. The unused bits at the
    // end of a row are white, so a display that shows whole bytes shows them blank.
    MonoBitmap toBitmap() const;
    // toBitmap() as the standard 1-bit BMP file (writeBmp): 62-byte offset, palette 0
    // black and 1 white, rows bottom-up and padded to 4 bytes.
    QByteArray toBmp() const;

private:
    int width_;
    int height_;
    std::vector<bool> pixels_;
};

} // namespace panelix
