#pragma once

#include "common/InputError.h"
#include "bitmap/MonoBitmap.h"
#include "compose/Composition.h"

#include <QSize>
#include <QString>

#include <cstdint>
#include <vector>

namespace panelix::compose {

// The characters the module reads from a line of text sent with the show-characters
// command: its GBK bytes (a character without a GBK code becomes '?'), a byte of 0x80
// or above leading a pair with the byte after it, 0x20..0x7F standing alone. Control
// bytes are left out: on the wire they would cut the command short.
std::vector<std::uint16_t> moduleCharacters(const QString& line);

// Draws the glyph of one character with its top left at (x, y), as the module draws
// it: opaque, the whole 16 x 16 cell is written; otherwise only its dark dots.
// Inverted exchanges dark and light and is always opaque.
void drawModuleGlyph(MonoBitmap& target, int x, int y, std::uint16_t code, const FontMemory& font, bool opaque,
                     bool inverted);

// The box a text item covers: module font 16 dots a character and a line; other
// fonts as measured. At least 1 x 1 for a non-empty text, empty otherwise.
QSize textSize(const TextItem& item);
void drawText(MonoBitmap& target, const TextItem& item, const FontMemory& font);

// The module's font memory from the data directory's hzk16: its first FontMemorySize
// bytes, zero-padded as the font download pads a short file. Empty with the reason
// in *error when there is no usable hzk16.
FontMemory loadModuleFont(const QString& dataDir, InputError* error = nullptr);

} // namespace panelix::compose
