#include "simulator/ui/LcdWidget.h"

#include <QPainter>

#include <algorithm>
#include <cstring>

namespace panelix {

LcdWidget::LcdWidget(QWidget* parent)
    : QWidget(parent), image_(ScreenWidth, ScreenHeight, QImage::Format_Mono) {
    // Bit 1 is a dark dot in the display RAM and colour index 1 here, and both
    // put bit 7 leftmost, so the frame's rows copy straight into the image.
    image_.fill(0);
    applyColours();
    setFixedSize(sizeHint());
    setAttribute(Qt::WA_OpaquePaintEvent);
}

QSize LcdWidget::sizeHint() const {
    return {ScreenWidth * scale_ + 2 * Bezel, ScreenHeight * scale_ + 2 * Bezel};
}

void LcdWidget::setScale(int scale) {
    scale = std::max(1, scale);
    if (scale == scale_)
        return;
    scale_ = scale;
    setFixedSize(sizeHint());
    update();
}

QColor LcdWidget::lightColour(bool backlight) {
    return backlight ? QColor(0xC4, 0xE0, 0x74) : QColor(0x7A, 0x82, 0x6C);
}

QColor LcdWidget::darkColour(bool backlight) {
    return backlight ? QColor(0x1C, 0x2A, 0x18) : QColor(0x2A, 0x2E, 0x26);
}

void LcdWidget::setFrame(const Frame& frame) {
    constexpr int rowBytes = ScreenByteColumns;
    bool changed = false;
    for (int y = 0; y < ScreenHeight; ++y) {
        uchar* line = image_.scanLine(y);
        const std::uint8_t* source = frame.data() + y * rowBytes;
        if (std::memcmp(line, source, rowBytes) != 0) {
            std::memcpy(line, source, rowBytes);
            changed = true;
        }
    }
    if (changed)
        update();
}

void LcdWidget::setBacklight(bool on) {
    if (on == backlight_)
        return;
    backlight_ = on;
    applyColours();
    update();
}

void LcdWidget::applyColours() {
    image_.setColorTable({lightColour(backlight_).rgb(), darkColour(backlight_).rgb()});
}

void LcdWidget::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), QColor(0x26, 0x26, 0x26));
    // Nearest-neighbour scaling: every dot stays a crisp square.
    p.setRenderHint(QPainter::SmoothPixmapTransform, false);
    p.drawImage(QRect(Bezel, Bezel, ScreenWidth * scale_, ScreenHeight * scale_), image_);
}

} // namespace panelix
