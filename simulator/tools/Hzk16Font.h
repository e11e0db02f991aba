#pragma once

#include "common/Gbk.h" // gb2312ToUnicode
#include "simulator/tools/UnifontHex.h"

#include <QByteArray>

#include <cstdint>

namespace panelix {

struct Hzk16Build {
    QByteArray file;       // 94 x 94 cells of 32 bytes; cells without a glyph are zero
    int assigned = 0;      // GB2312 codes with a character
    int covered = 0;       // of those, the ones the glyph map has
    int hanziAssigned = 0; // the same for the hanzi rows (lead 0xB0..0xF7)
    int hanziCovered = 0;
};

// An HZK16-layout font from glyphs keyed by Unicode.
Hzk16Build buildHzk16(const GlyphMap& glyphs);

// The glyphs of an HZK16 file keyed by Unicode. The ASCII characters 0x21..0x7E
// take eight-column glyphs made from the full-width forms of row 3.
GlyphMap glyphsFromHzk16(const QByteArray& file);

} // namespace panelix
