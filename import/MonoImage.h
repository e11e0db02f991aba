#pragma once

#include "bitmap/MonoBitmap.h"

#include <QImage>
#include <QRgb>

namespace panelix {

// The one conversion of a MonoBitmap to a picture: one pixel a dot, bit 0 (a dark
// dot) in dark, bit 1 in light. Both keep bit 7 leftmost, so the rows are copied as
// they are. Null for an empty bitmap.
QImage monoImage(const MonoBitmap& bitmap, QRgb dark = qRgb(0, 0, 0), QRgb light = qRgb(255, 255, 255));

} // namespace panelix
