#pragma once

#include <QList>
#include <QPoint>
#include <QRect>
#include <QSize>

namespace panelix {

// Where the main window and the LCD window go at start, both as the top left
// corners of their frames. Apart is false when the screen is too small for
// both: the windows then overlap as little as this arrangement allows.
struct WindowPlaces {
    QPoint main;
    QPoint lcd;
    bool apart = false;
};

// The gap left between the two frames.
constexpr int WindowGap = 8;

// Places the LCD window without touching the main window when it fits right of,
// left of, below or above the main frame as it stands (inside the screen's
// available area). Otherwise both are moved: side by side when the screen is
// wide enough, else one below the other, centred on the screen. Without room
// for either, the main window goes to the top left corner and the LCD window
// to the bottom right one.
WindowPlaces placeWindows(const QRect& screen, const QRect& mainFrame, const QSize& lcdFrame);

// True when a frame at that place shows enough of its title strip (100 x 30
// dots of its top edge) on one of the screens to be taken and moved.
bool titleVisible(const QRect& frame, const QList<QRect>& screens);

} // namespace panelix
