#pragma once

#include "bitmap/MonoBitmap.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <memory>

namespace panelix {

enum class FontBuildError {
    None,
    CannotRead,        // the file is missing or no regular file that can be read
    NotAFont,          // FreeType takes no font from it
    NoSuchFace,        // a face index beyond the faces of a collection
    SizeNotInFont,     // a bitmap font without a strike of that pixel size
    NoUnicodeCharmap,  // no Unicode character map to find the characters with
    BadSize,           // a pixel size outside MinPixelSize..MaxPixelSize
    BadThreshold,      // outside 1..255
    NoCharacters,      // a subset text without one character the font and GBK have
    NoGbkCodec,        // this Qt build cannot map GBK (GB2312) codes to characters
};

inline constexpr int MinPixelSize = 8;
inline constexpr int MaxPixelSize = 64;

struct FontBuildOptions {
    int pixelSize = 16; // the cell is pixelSize x pixelSize dots
    int threshold = 128; // grey level from which a dot of an outline glyph is dark
    int baselineOffset = 0; // dots the glyphs move down (negative: up)
    int xOffset = 0;        // dots the glyphs move right
    int faceIndex = 0;      // the face of a collection (TTC)
};

// Renders the characters of one font file (TTF, OTF, TTC, BDF, PCF and whatever else
// FreeType reads) into square cells of 1-bit dots.
//
// Without offsets the baseline is placed so that the ink of the ideograph 国 sits in the
// middle of the cell (glyphs of CJK fonts then fill the cell as their designers drew them
// for that size); a font without it gets the baseline where its ascender and descender
// share the cell. Each glyph starts at its own left bearing.
class GlyphRenderer {
public:
    GlyphRenderer();
    ~GlyphRenderer();
    GlyphRenderer(const GlyphRenderer&) = delete;
    GlyphRenderer& operator=(const GlyphRenderer&) = delete;

    FontBuildError open(const QString& path, const FontBuildOptions& options);

    int cellSize() const;
    int baseline() const; // dot row of the baseline in a cell, offsets included
    bool hasGlyph(char32_t c) const;
    // The cell of c: all light when the font has no glyph for it or the renderer is not open.
    MonoBitmap render(char32_t c) const;

private:
    struct Impl;
    std::unique_ptr<Impl> d_;
};

// Bytes of one cell in the HZK layout: rows top first, (size + 7) / 8 bytes a row, bit 7
// leftmost, 1 dark.
QByteArray hzkCell(const MonoBitmap& cell);

// A font in the HZK layout: 94 x 94 cells, one per GB2312 code (lead and trail 0xA1..0xFE),
// the 7,445 characters of rows 1..87 filled, at ((lead - 0xA1) * 94 + trail - 0xA1) * cellBytes. At 16 dots this is the module's hzk16
// (282,752 bytes); codes without a character or glyph keep a blank cell.
struct HzkFont {
    FontBuildError error = FontBuildError::None;
    int cellSize = 0;
    int cellBytes = 0;
    QByteArray file;
    int assigned = 0; // GB2312 codes with a character
    int covered = 0;  // of those, the ones the font has a glyph for
};

// All GB2312 characters (when onlyText is null) or only those of *onlyText; the ASCII
// characters 0x21..0x7E of the text take the cells of their full-width forms (row 3),
// where the module finds them.
HzkFont buildHzk(const QString& fontPath, const FontBuildOptions& options, const QString* onlyText = nullptr);

// The characters of a text as a small font with an index: each character once, sorted by
// its GBK code (ASCII as 0x00 and the byte), white space and control characters left out.
struct FontSubset {
    FontBuildError error = FontBuildError::None;
    int cellSize = 0;
    int cellBytes = 0;
    QList<char32_t> characters; // in index order
    QByteArray index;           // two bytes a character: its GBK code, lead byte first
    QByteArray glyphs;          // the HZK-layout cells in the same order
    QString missing;            // characters without a GBK code or without a glyph
};

FontSubset buildSubset(const QString& fontPath, const QString& text, const FontBuildOptions& options);

// Binary subset: the count (2 bytes, big-endian), the cell size in dots and the bytes of
// a cell (1 byte each), the index, then the cells.
QByteArray subsetBinary(const FontSubset& subset);

// C source of a subset: NAME_COUNT, NAME_CELL_SIZE and NAME_CELL_BYTES, the index as
// name_index[] and the cells as name[].
QByteArray subsetCSource(const FontSubset& subset, const QString& name);

// C source of a whole HZK-layout font as one array name[].
QByteArray hzkCSource(const HzkFont& font, const QString& name);

} // namespace panelix
