#pragma once

#include <QByteArray>

#include <cstdint>
#include <vector>

namespace panelix {

// Image memory: 16 banks of 32 KB. A bitmap download may fill all of it; the
// host itself never sends more than 0x40001 bytes.
inline constexpr int ImageMemorySize = 0x80000;
// Font memory: the first 256 KB of an HZK16 file, 8192 glyphs of 32 bytes.
inline constexpr int FontMemorySize = 262144;
inline constexpr int GlyphBytes = 32;
inline constexpr int Hzk16RowCells = 94;
inline constexpr int Hzk16FileSize = Hzk16RowCells * Hzk16RowCells * GlyphBytes; // 282,752

// One entry of the image directory at memory positions 0..1023.
struct StoredImage {
    int widthBytes = 0;      // byte 0
    int height = 0;          // bytes 1 (low) and 7 (high)
    std::uint32_t start = 0; // bytes 2..4, banked address
};

struct ImageDirectory {
    int count = 0;                   // entry 0, byte 0, as stored
    std::uint32_t end = 0;           // entry 0, bytes 1..3, banked address
    std::vector<StoredImage> images; // images[n] is entry n + 1, at most 127 of them
};

ImageDirectory decodeDirectory(const QByteArray& memory);

// Position of the glyph of a GB2312 code in an HZK16 file, or -1 when the
// code has no cell there (a byte below 0xA1 or 0xFF).
int hzk16Offset(std::uint8_t lead, std::uint8_t trail);

} // namespace panelix
