#include "fontbuild/FontBuild.h"

#include "common/Gbk.h"
#include "export/CText.h"
#include "export/ExportFormat.h"

#include <QFile>
#include <QFileInfo>

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_BITMAP_H

#include <algorithm>
#include <cmath>
#include <map>

namespace panelix {

namespace {

constexpr char32_t ReferenceIdeograph = U'\x56FD'; // 国: its ink spans a CJK font's design box

bool asciiPrintable(char32_t c) {
    return c >= 0x21 && c <= 0x7E;
}

// The GBK code of a character (lead << 8 | trail, or the byte of ASCII), or -1 when it has none.
int gbkCode(char32_t c) {
    const QString s = QString::fromUcs4(&c, 1);
    const QByteArray b = toGbk(s);
    if (b.size() == 1 && c < 0x80 && quint8(b[0]) == c)
        return int(c);
    if (b.size() == 2)
        return quint8(b[0]) << 8 | quint8(b[1]);
    return -1;
}

// GB2312 ends with row 87 (lead 0xF7); the codec also names some characters of GBK's
// user-defined row 94, which are no GB2312 characters.
constexpr int LastGb2312Lead = 0xF7;

bool inGb2312Table(int code) {
    const int lead = code >> 8, trail = code & 0xFF;
    return lead >= 0xA1 && lead <= LastGb2312Lead && trail >= 0xA1 && trail <= 0xFE;
}

int cellBytesOf(int size) {
    return (size + 7) / 8 * size;
}

} // namespace

struct GlyphRenderer::Impl {
    FT_Library library = nullptr;
    FT_Face face = nullptr;
    QByteArray data; // FreeType reads the face from here for as long as it is open
    FontBuildOptions options;
    int baseline = 0;
    FT_Int32 loadFlags = FT_LOAD_RENDER;
    mutable FT_Bitmap converted;
    mutable bool convertedInUse = false;

    ~Impl() { close(); }
    void close() {
        if (convertedInUse)
            FT_Bitmap_Done(library, &converted), convertedInUse = false;
        if (face)
            FT_Done_Face(face), face = nullptr;
        if (library)
            FT_Done_FreeType(library), library = nullptr;
    }
};

GlyphRenderer::GlyphRenderer() : d_(std::make_unique<Impl>()) {}
GlyphRenderer::~GlyphRenderer() = default;

FontBuildError GlyphRenderer::open(const QString& path, const FontBuildOptions& options) {
    d_->close();
    if (options.pixelSize < MinPixelSize || options.pixelSize > MaxPixelSize)
        return FontBuildError::BadSize;
    if (options.threshold < 1 || options.threshold > 255)
        return FontBuildError::BadThreshold;
    // Only a regular file: a FIFO or device of that name could block for good.
    QFile file(path);
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly))
        return FontBuildError::CannotRead;
    d_->data = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return FontBuildError::CannotRead;
    if (FT_Init_FreeType(&d_->library) != 0)
        return FontBuildError::NotAFont;
    const auto* bytes = reinterpret_cast<const FT_Byte*>(d_->data.constData());
    const auto size = FT_Long(d_->data.size());
    if (options.faceIndex < 0)
        return FontBuildError::NoSuchFace;
    if (FT_New_Memory_Face(d_->library, bytes, size, options.faceIndex, &d_->face) != 0) {
        d_->face = nullptr;
        FT_Face probe = nullptr;
        const bool isFont = FT_New_Memory_Face(d_->library, bytes, size, 0, &probe) == 0;
        if (probe)
            FT_Done_Face(probe);
        d_->close();
        return isFont && options.faceIndex > 0 ? FontBuildError::NoSuchFace : FontBuildError::NotAFont;
    }
    FT_Face face = d_->face;
    if (FT_Select_Charmap(face, FT_ENCODING_UNICODE) != 0) {
        d_->close();
        return FontBuildError::NoUnicodeCharmap;
    }
    const int px = options.pixelSize;
    if (FT_IS_SCALABLE(face)) {
        if (FT_Set_Pixel_Sizes(face, 0, FT_UInt(px)) != 0) {
            d_->close();
            return FontBuildError::SizeNotInFont;
        }
        d_->loadFlags = FT_LOAD_RENDER | FT_LOAD_TARGET_NORMAL;
    } else {
        int strike = -1;
        for (int i = 0; i < face->num_fixed_sizes; ++i)
            if ((face->available_sizes[i].y_ppem + 32) >> 6 == px)
                strike = i;
        if (strike < 0 || FT_Select_Size(face, strike) != 0) {
            d_->close();
            return FontBuildError::SizeNotInFont;
        }
        d_->loadFlags = FT_LOAD_RENDER;
    }
    d_->options = options;

    int baseline = -1;
    if (FT_Get_Char_Index(face, ReferenceIdeograph) != 0 &&
        FT_Load_Char(face, ReferenceIdeograph, d_->loadFlags) == 0 && face->glyph->bitmap.rows > 0) {
        baseline = (px - int(face->glyph->bitmap.rows)) / 2 + face->glyph->bitmap_top;
    } else {
        const double ascender = double(face->size->metrics.ascender) / 64.0;
        const double descender = -double(face->size->metrics.descender) / 64.0;
        baseline = ascender + descender > 0 ? int(std::lround(px * ascender / (ascender + descender))) : px * 4 / 5;
    }
    d_->baseline = baseline + options.baselineOffset;
    return FontBuildError::None;
}

int GlyphRenderer::cellSize() const {
    return d_->face ? d_->options.pixelSize : 0;
}

int GlyphRenderer::baseline() const {
    return d_->baseline;
}

bool GlyphRenderer::hasGlyph(char32_t c) const {
    return d_->face && FT_Get_Char_Index(d_->face, FT_ULong(c)) != 0;
}

MonoBitmap GlyphRenderer::render(char32_t c) const {
    if (!d_->face)
        return {};
    const int px = d_->options.pixelSize;
    MonoBitmap cell(px, px);
    if (!hasGlyph(c) || FT_Load_Char(d_->face, FT_ULong(c), d_->loadFlags) != 0)
        return cell;
    const FT_GlyphSlot slot = d_->face->glyph;
    const FT_Bitmap* bitmap = &slot->bitmap;
    if (bitmap->pixel_mode != FT_PIXEL_MODE_MONO && bitmap->pixel_mode != FT_PIXEL_MODE_GRAY) {
        if (!d_->convertedInUse) {
            FT_Bitmap_Init(&d_->converted);
            d_->convertedInUse = true;
        }
        if (FT_Bitmap_Convert(d_->library, bitmap, &d_->converted, 1) != 0)
            return cell;
        bitmap = &d_->converted;
    }
    const int left = slot->bitmap_left + d_->options.xOffset;
    const int top = d_->baseline - slot->bitmap_top;
    const int grays = bitmap->pixel_mode == FT_PIXEL_MODE_GRAY && bitmap->num_grays > 1 ? bitmap->num_grays - 1 : 255;
    // A converted bitmap holds 0..num_grays - 1; the threshold is on a 0..255 scale.
    const int threshold = (d_->options.threshold * grays + 254) / 255;
    for (unsigned r = 0; r < bitmap->rows; ++r) {
        const int y = top + int(r);
        if (y < 0 || y >= px)
            continue;
        const unsigned char* line = bitmap->buffer + qptrdiff(r) * bitmap->pitch;
        if (bitmap->pitch < 0)
            line = bitmap->buffer + qptrdiff(bitmap->rows - 1 - r) * -bitmap->pitch;
        for (unsigned col = 0; col < bitmap->width; ++col) {
            const bool dark = bitmap->pixel_mode == FT_PIXEL_MODE_MONO ? (line[col >> 3] >> (7 - (col & 7))) & 1
                                                                       : line[col] >= threshold;
            if (dark)
                cell.setPixel(left + int(col), y, true);
        }
    }
    return cell;
}

QByteArray hzkCell(const MonoBitmap& cell) {
    return exportBitmap(cell, ExportOptions{}); // rows, bit 7 leftmost, dark = 1, padded rows
}

HzkFont buildHzk(const QString& fontPath, const FontBuildOptions& options, const QString* onlyText) {
    HzkFont font;
    if (gb2312ToUnicode(0xB0, 0xA1) != U'\x554A') { // 啊
        font.error = FontBuildError::NoGbkCodec;
        return font;
    }
    GlyphRenderer renderer;
    font.error = renderer.open(fontPath, options);
    if (font.error != FontBuildError::None)
        return font;
    font.cellSize = renderer.cellSize();
    font.cellBytes = cellBytesOf(font.cellSize);

    // The codes to fill and the character each shows.
    std::map<int, char32_t> cells;
    if (onlyText) {
        for (char32_t c : onlyText->toUcs4()) {
            const char32_t shown = asciiPrintable(c) ? c - 0x21 + 0xFF01 : c;
            const int code = gbkCode(shown);
            if (code >= 0 && inGb2312Table(code) && gb2312ToUnicode(quint8(code >> 8), quint8(code)) == shown)
                cells[code] = shown;
        }
        if (cells.empty()) {
            font.error = FontBuildError::NoCharacters;
            return font;
        }
    } else {
        for (int lead = 0xA1; lead <= LastGb2312Lead; ++lead)
            for (int trail = 0xA1; trail <= 0xFE; ++trail)
                if (const char32_t c = gb2312ToUnicode(quint8(lead), quint8(trail)))
                    cells[lead << 8 | trail] = c;
    }

    font.file = QByteArray(qsizetype(94) * 94 * font.cellBytes, '\0');
    for (const auto& [code, c] : cells) {
        ++font.assigned;
        if (!renderer.hasGlyph(c))
            continue;
        ++font.covered;
        const qsizetype offset = qsizetype(((code >> 8) - 0xA1) * 94 + ((code & 0xFF) - 0xA1)) * font.cellBytes;
        font.file.replace(offset, font.cellBytes, hzkCell(renderer.render(c)));
    }
    return font;
}

FontSubset buildSubset(const QString& fontPath, const QString& text, const FontBuildOptions& options) {
    FontSubset subset;
    if (!gbkAvailable()) {
        subset.error = FontBuildError::NoGbkCodec;
        return subset;
    }
    GlyphRenderer renderer;
    subset.error = renderer.open(fontPath, options);
    if (subset.error != FontBuildError::None)
        return subset;
    subset.cellSize = renderer.cellSize();
    subset.cellBytes = cellBytesOf(subset.cellSize);

    std::map<int, char32_t> byCode;
    for (char32_t c : text.toUcs4()) {
        if (c < 0x20 || c == 0x7F || QChar::isSpace(c) || (c >= 0x80 && c <= 0x9F))
            continue;
        const int code = gbkCode(c);
        if (code < 0 || !renderer.hasGlyph(c)) {
            const QString s = QString::fromUcs4(&c, 1);
            if (!subset.missing.contains(s))
                subset.missing += s;
            continue;
        }
        byCode[code] = c;
    }
    if (byCode.empty()) {
        subset.error = FontBuildError::NoCharacters;
        return subset;
    }
    for (const auto& [code, c] : byCode) {
        subset.characters.append(c);
        subset.index.append(char(code >> 8));
        subset.index.append(char(code & 0xFF));
        subset.glyphs += hzkCell(renderer.render(c));
    }
    return subset;
}

QByteArray subsetBinary(const FontSubset& subset) {
    const auto count = subset.characters.size();
    QByteArray out;
    out.append(char(count >> 8));
    out.append(char(count & 0xFF));
    out.append(char(subset.cellSize));
    out.append(char(subset.cellBytes));
    out += subset.index;
    out += subset.glyphs;
    return out;
}

QByteArray subsetCSource(const FontSubset& subset, const QString& name) {
    const QByteArray upper = name.toUpper().toUtf8();
    const QByteArray n = name.toUtf8();
    QByteArray out = "/* " + n + ": " + QByteArray::number(subset.characters.size()) + " characters, cell " +
                     QByteArray::number(subset.cellSize) + 'x' + QByteArray::number(subset.cellSize) + ", " +
                     describeOptions(ExportOptions{}).toUtf8() + ".\n * " + n +
                     "_index: the GBK code of each character (lead byte first, ASCII as 0x00 and the byte),\n"
                     " * ascending; the cell of the i-th code is " +
                     n + "[i * " + upper + "_CELL_BYTES]. */\n";
    out += "#include <stdint.h>\n\n";
    out += "#define " + upper + "_COUNT " + QByteArray::number(subset.characters.size()) + '\n';
    out += "#define " + upper + "_CELL_SIZE " + QByteArray::number(subset.cellSize) + '\n';
    out += "#define " + upper + "_CELL_BYTES " + QByteArray::number(subset.cellBytes) + "\n\n";
    out += cArrayDefinition(name + QStringLiteral("_index"), subset.index);
    out += '\n';
    out += cArrayDefinition(name, subset.glyphs);
    return out;
}

QByteArray hzkCSource(const HzkFont& font, const QString& name) {
    const QByteArray n = name.toUtf8();
    QByteArray out = "/* " + n + ": HZK layout, 94 x 94 cells of " + QByteArray::number(font.cellSize) + 'x' +
                     QByteArray::number(font.cellSize) + " dots, " + QByteArray::number(font.cellBytes) +
                     " bytes a cell, " + describeOptions(ExportOptions{}).toUtf8() +
                     ";\n * the cell of GB2312 code (lead, trail) at ((lead - 0xA1) * 94 + trail - 0xA1) * " +
                     QByteArray::number(font.cellBytes) + ". */\n#include <stdint.h>\n\n";
    out += cArrayDefinition(name, font.file);
    return out;
}

} // namespace panelix
