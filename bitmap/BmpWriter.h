#pragma once

#include "bitmap/MonoBitmap.h"

#include <QByteArray>
#include <QString>

namespace panelix {

// File header (14) + BITMAPINFOHEADER (40) + two palette entries: where the pixels start.
inline constexpr int BmpHeaderSize = 62;

// bitmap as a standard 1-bit BMP file: the 62-byte header, palette entry 0 black
// (00 00 00 00) and entry 1 white (FF FF FF 00), rows bottom-up and padded to 4 bytes
// with zeros. The pixel bits are the bitmap's own, unused bits of a row included, so a
// dark dot (bit 0) is palette entry 0 and the file shows on a PC as on the LCD.
QByteArray writeBmp(const MonoBitmap& bitmap);

// Replaces path with writeBmp(bitmap) as one complete file (writeFileAtomically).
// False on failure, with the reason in *error when error is given.
bool writeBmpFile(const QString& path, const MonoBitmap& bitmap, QString* error = nullptr);

} // namespace panelix
