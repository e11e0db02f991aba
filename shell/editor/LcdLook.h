#pragma once

#include "bitmap/MonoBitmap.h"

#include <QColor>
#include <QImage>

#include <algorithm>

namespace panelix {

// The lit panel's colours, as the simulated module's window shows them.
inline QColor lcdLightColour() { return QColor(0xC4, 0xE0, 0x74); }
inline QColor lcdDarkColour() { return QColor(0x1C, 0x2A, 0x18); }

// The picture in the panel's colours, one pixel a dot (scale it without smoothing).
inline QImage lcdImage(const MonoBitmap& bitmap) {
    QImage image(bitmap.width(), bitmap.height(), QImage::Format_Mono);
    if (image.isNull())
        return image;
    // Both keep bit 7 leftmost, and bit 0 is a dark dot: index 0 takes the dark colour.
    image.setColorTable({lcdDarkColour().rgb(), lcdLightColour().rgb()});
    for (int y = 0; y < bitmap.height(); ++y)
        std::copy_n(bitmap.row(y), bitmap.widthBytes(), image.scanLine(y));
    return image;
}

} // namespace panelix
