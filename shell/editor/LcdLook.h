#pragma once

#include "bitmap/MonoBitmap.h"
#include "import/MonoImage.h"

#include <QColor>
#include <QImage>

namespace panelix {

// The lit panel's colours, as the simulated module's window shows them.
inline QColor lcdLightColour() { return QColor(0xC4, 0xE0, 0x74); }
inline QColor lcdDarkColour() { return QColor(0x1C, 0x2A, 0x18); }

// The picture in the panel's colours, one pixel a dot (scale it without smoothing).
inline QImage lcdImage(const MonoBitmap& bitmap) {
    return monoImage(bitmap, lcdDarkColour().rgb(), lcdLightColour().rgb());
}

} // namespace panelix
