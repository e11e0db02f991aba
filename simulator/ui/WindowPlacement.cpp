#include "simulator/ui/WindowPlacement.h"

#include <algorithm>

namespace panelix {

namespace {

// Moves value into [low, high] as far as the span allows (low wins when it cannot).
int clampInto(int value, int low, int high) {
    return std::max(low, std::min(value, high));
}

} // namespace

WindowPlaces placeWindows(const QRect& screen, const QRect& mainFrame, const QSize& lcdFrame) {
    const int mainW = mainFrame.width();
    const int mainH = mainFrame.height();
    const int lcdW = lcdFrame.width();
    const int lcdH = lcdFrame.height();

    // The main window stays where it is when it is on the screen and the LCD
    // window finds room on one of its sides.
    if (screen.contains(mainFrame)) {
        const int alongY = clampInto(mainFrame.top(), screen.top(), screen.bottom() + 1 - lcdH);
        const int alongX = clampInto(mainFrame.left(), screen.left(), screen.right() + 1 - lcdW);
        const QPoint candidates[] = {
            {mainFrame.right() + 1 + WindowGap, alongY},
            {mainFrame.left() - WindowGap - lcdW, alongY},
            {alongX, mainFrame.bottom() + 1 + WindowGap},
            {alongX, mainFrame.top() - WindowGap - lcdH},
        };
        for (const QPoint& at : candidates) {
            const QRect lcd(at, lcdFrame);
            if (screen.contains(lcd) && !lcd.intersects(mainFrame))
                return {mainFrame.topLeft(), at, true};
        }
    }

    if (mainW + WindowGap + lcdW <= screen.width() && std::max(mainH, lcdH) <= screen.height()) {
        const int left = screen.left() + (screen.width() - (mainW + WindowGap + lcdW)) / 2;
        const int top = screen.top() + (screen.height() - std::max(mainH, lcdH)) / 2;
        return {{left, top}, {left + mainW + WindowGap, top}, true};
    }
    if (mainH + WindowGap + lcdH <= screen.height() && std::max(mainW, lcdW) <= screen.width()) {
        const int top = screen.top() + (screen.height() - (mainH + WindowGap + lcdH)) / 2;
        const int mainLeft = screen.left() + (screen.width() - mainW) / 2;
        const int lcdLeft = screen.left() + (screen.width() - lcdW) / 2;
        return {{mainLeft, top}, {lcdLeft, top + mainH + WindowGap}, true};
    }
    const QPoint lcd(std::max(screen.left(), screen.right() + 1 - lcdW),
                     std::max(screen.top(), screen.bottom() + 1 - lcdH));
    return {screen.topLeft(), lcd, false};
}

bool titleVisible(const QRect& frame, const QList<QRect>& screens) {
    const QRect title(frame.topLeft(), QSize(frame.width(), std::min(frame.height(), 30)));
    for (const QRect& screen : screens) {
        const QRect shown = screen.intersected(title);
        if (shown.width() >= std::min(100, title.width()) && shown.height() >= title.height())
            return true;
    }
    return false;
}

} // namespace panelix
