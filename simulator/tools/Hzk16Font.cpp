#include "simulator/tools/Hzk16Font.h"

#include "simulator/core/ModuleMemory.h"

#include <algorithm>

namespace panelix {

namespace {
// An ASCII glyph, as narrow as ASCII text usually is, from a full-width form:
// its ink when that fits in eight columns, else every two columns merged.
Glyph halfWidth(const Glyph& full) {
    int rows[16];
    int ink = 0;
    for (int r = 0; r < 16; ++r) {
        rows[r] = std::uint8_t(full.cell[2 * r]) << 8 | std::uint8_t(full.cell[2 * r + 1]);
        ink |= rows[r];
    }
    int first = 0;
    int last = 15;
    while (first < 16 && !(ink & (0x8000 >> first)))
        ++first;
    while (last > first && !(ink & (0x8000 >> last)))
        --last;
    const bool narrow = last - first < 8;
    const int left = narrow ? std::clamp(first - (7 - (last - first)) / 2, 0, 8) : 0;
    Glyph half{QByteArray(GlyphBytes, '\0'), 8};
    for (int r = 0; r < 16; ++r) {
        int bits = 0;
        for (int c = 0; c < 8; ++c) {
            const int mask = narrow ? 0x8000 >> (left + c) : 0xC000 >> (2 * c);
            if (rows[r] & mask)
                bits |= 0x80 >> c;
        }
        half.cell[2 * r] = char(bits);
    }
    return half;
}

} // namespace

Hzk16Build buildHzk16(const GlyphMap& glyphs) {
    Hzk16Build out;
    out.file = QByteArray(Hzk16FileSize, '\0');
    for (int lead = 0xA1; lead <= 0xFE; ++lead) {
        for (int trail = 0xA1; trail <= 0xFE; ++trail) {
            const char32_t c = gb2312ToUnicode(std::uint8_t(lead), std::uint8_t(trail));
            if (c == 0)
                continue;
            const bool hanzi = lead >= 0xB0 && lead <= 0xF7;
            ++out.assigned;
            out.hanziAssigned += hanzi;
            const auto it = glyphs.constFind(c);
            if (it == glyphs.constEnd())
                continue;
            ++out.covered;
            out.hanziCovered += hanzi;
            out.file.replace(hzk16Offset(std::uint8_t(lead), std::uint8_t(trail)), GlyphBytes, it->cell);
        }
    }
    return out;
}

GlyphMap glyphsFromHzk16(const QByteArray& file) {
    GlyphMap glyphs;
    for (int lead = 0xA1; lead <= 0xFE; ++lead) {
        for (int trail = 0xA1; trail <= 0xFE; ++trail) {
            const int offset = hzk16Offset(std::uint8_t(lead), std::uint8_t(trail));
            const char32_t c = gb2312ToUnicode(std::uint8_t(lead), std::uint8_t(trail));
            if (c == 0 || offset + GlyphBytes > file.size())
                continue;
            const Glyph glyph{file.mid(offset, GlyphBytes), 16};
            glyphs.insert(c, glyph);
            if (lead == 0xA3)
                glyphs.insert(char32_t(trail - 0x80), halfWidth(glyph));
        }
    }
    return glyphs;
}

} // namespace panelix
