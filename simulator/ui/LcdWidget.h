#pragma once

#include "simulator/core/FrameBuffer.h"

#include <QColor>
#include <QImage>
#include <QWidget>

namespace panelix {

// The 320 x 240 panel drawn at twice its size inside a dark bezel. With the
// backlight on the glass is a bright yellow-green; with it off the same dots
// sit on a dim grey-green, as an unlit transflective panel looks.
class LcdWidget : public QWidget {
    Q_OBJECT
public:
    static constexpr int Scale = 2;
    static constexpr int Bezel = 10;

    explicit LcdWidget(QWidget* parent = nullptr);

    void setFrame(const Frame& frame);
    void setBacklight(bool on);
    bool backlight() const { return backlight_; }

    // The panel's dots at their own size, light and dark in the current colours.
    const QImage& image() const { return image_; }
    // Where dot (x, y) starts in the widget; each dot covers Scale x Scale pixels.
    static QPoint dotOrigin(int x, int y) { return {Bezel + Scale * x, Bezel + Scale * y}; }

    static QColor lightColour(bool backlight);
    static QColor darkColour(bool backlight);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void applyColours();

    QImage image_;
    bool backlight_ = true;
};

} // namespace panelix
