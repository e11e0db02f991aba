#pragma once

#include <QByteArray>
#include <QList>
#include <QRect>
#include <QSize>

namespace panelix::test {

// One frame of a test GIF: dots of two colours (true = black), row by row, and how long
// it stays, in hundredths of a second as the file stores it.
struct GifFrame {
    QList<bool> dark; // the area's width x height, row by row
    int delayCs = 10;
    QRect area;       // where the frame is drawn; empty: the whole screen
    bool clearLight = false; // its light dots are transparent: what was there shows through
};

// A complete GIF89a of the frames, each covering the whole screen (disposal: none),
// written byte by byte (Qt writes no GIF). loops: -1 writes no NETSCAPE2.0 block (play
// once), otherwise its loop count (0 = forever).
QByteArray makeGif(QSize size, const QList<GifFrame>& frames, int loops = 0);

// A frame of size with a single dark column at x (a frame's number made visible).
GifFrame columnFrame(QSize size, int x, int delayCs);

} // namespace panelix::test
