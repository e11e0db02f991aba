#pragma once

#include "simulator/core/ModuleCore.h"

#include <QByteArray>
#include <QVector>

#include <cstdint>
#include <initializer_list>

namespace panelix::test {

QByteArray bytes(std::initializer_list<int> values);

// A standard 62-byte-offset 1-bit BMP, width x height, with patterned pixels
// (padding bits included); seed -1 takes a pattern chosen by the size.
QByteArray bmpFile(int width, int height, int seed = -1);

// A download image as the host builds it from 1-bit BMP files: directory at
// 0..1023, then each picture's rows top first, ceil(W/8) bytes a row.
QByteArray downloadImage(const QVector<QByteArray>& bmpFiles);
// Header and data of a bitmap download of image (its end position E from entry 0).
QByteArray bitmapTransfer(const QByteArray& image);
// Header and data of a font download.
QByteArray fontTransfer(const QByteArray& font);

// True when pixel (x, y) of a bottom-up 1-bit BMP is palette entry 0 (black).
bool bmpBlack(const QByteArray& bmp, int x, int y);

// Pixel (x, y) of a 16 x 16 glyph, bit 7 of byte 2y the leftmost.
bool glyphBit(const QByteArray& glyph, int x, int y);

} // namespace panelix::test
