#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QHash>
#include <QString>

namespace panelix {

// Glyphs as 16 x 16 cells of 32 bytes (two bytes a row, rows top first, bit 7
// leftmost), keyed by Unicode code point. Halfwidth (8 x 16) glyphs sit in the
// left half of their cell; width tells them apart.
struct Glyph {
    QByteArray cell;
    int width = 16;
};
using GlyphMap = QHash<char32_t, Glyph>;

// Reads GNU Unifont's .hex format: one "CODEPOINT:HEXDIGITS" line per glyph,
// 32 digits for 8 x 16 and 64 for 16 x 16. Lines of another shape are skipped.
GlyphMap parseUnifontHex(QByteArrayView text);

// False with a Chinese message when the file cannot be read or holds no glyph.
bool readUnifontHex(const QString& path, GlyphMap* glyphs, QString* error);

} // namespace panelix
