#include "import/MonoImage.h"

#include <algorithm>

namespace panelix {

QImage monoImage(const MonoBitmap& bitmap, QRgb dark, QRgb light) {
    if (bitmap.isEmpty())
        return {};
    QImage image(bitmap.width(), bitmap.height(), QImage::Format_Mono);
    if (image.isNull())
        return image;
    image.setColorTable({dark, light});
    for (int y = 0; y < bitmap.height(); ++y)
        std::copy_n(bitmap.row(y), bitmap.widthBytes(), image.scanLine(y));
    return image;
}

} // namespace panelix
