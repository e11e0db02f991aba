#pragma once

#include "protocol/Module.h"

#include <QByteArray>

#include <cstdint>

namespace panelix {

// Image memory: a bitmap download may fill all of it; the host itself never sends
// more than module::MaxBitmapTransfer bytes. Font memory holds 8192 glyphs.
using module::FontMemorySize;
using module::ImageMemorySize;
inline constexpr int GlyphBytes = 32;
inline constexpr int Hzk16RowCells = 94;
inline constexpr int Hzk16FileSize = Hzk16RowCells * Hzk16RowCells * GlyphBytes; // 282,752

// The image directory at memory positions 0..1023.
using StoredImage = module::DirectoryEntry;
using ImageDirectory = module::Directory;
using module::decodeDirectory;

// Position of the glyph of a GB2312 code in an HZK16 file, or -1 when the
// code has no cell there (a byte below 0xA1 or 0xFF).
int hzk16Offset(std::uint8_t lead, std::uint8_t trail);

} // namespace panelix
