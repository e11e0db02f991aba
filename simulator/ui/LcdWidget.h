#pragma once

#include "simulator/core/FrameBuffer.h"

#include <QColor>
#include <QImage>
#include <QWidget>

namespace panelix {

// The 320 x 240 panel drawn at twice its size (or, on a small screen, at its
// own size) inside a dark bezel. With the
// backlight on the glass is a bright yellow-green; with it off the same dots
// sit on a dim grey-green, as an unlit transflective panel looks.
class LcdWidget : public QWidget {
    Q_OBJECT
public:
    static constexpr int FullScale = 2;
    static constexpr int Bezel = 10;

    explicit LcdWidget(QWidget* parent = nullptr);

    void setFrame(const Frame& frame);
    void setBacklight(bool on);
    bool backlight() const { return backlight_; }

    // The panel's dots at their own size, light and dark in the current colours.
    const QImage& image() const { return image_; }
    // Pixels per dot on each side: FullScale, or 1 on a small screen. Resizes the widget.
    void setScale(int scale);
    int scale() const { return scale_; }
    // Where dot (x, y) starts in the widget; each dot covers scale() x scale() pixels.
    QPoint dotOrigin(int x, int y) const { return {Bezel + scale_ * x, Bezel + scale_ * y}; }

    static QColor lightColour(bool backlight);
    static QColor darkColour(bool backlight);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void applyColours();

    QImage image_;
    bool backlight_ = true;
    int scale_ = FullScale;
};

} // namespace panelix
