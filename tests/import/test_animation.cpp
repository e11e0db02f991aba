// Animated GIFs: one bitmap a frame, in order, with the delays and the loop count kept.
#include "import/Animation.h"

#include "support/TestFiles.h"
#include "support/TestGif.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

using namespace panelix;
using namespace panelix::test;

namespace {

const QSize Screen(24, 6);

// The columns holding a dark dot in row 3 of a frame.
QList<int> darkColumns(const MonoBitmap& b) {
    QList<int> xs;
    for (int x = 0; x < b.width(); ++x)
        if (b.pixel(x, 3))
            xs << x;
    return xs;
}

ImportOptions dotForDot() {
    ImportOptions o;
    o.fit = FitMode::Original;
    o.dither = DitherMethod::Threshold;
    o.threshold = 128;
    return o;
}

} // namespace

TEST(Animation, EveryFrameInOrderWithItsDelayAndTheLoopCount) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("walk.gif"));
    // Delays in hundredths: 2, 3, 25, and 0 and 1, which play as 100 ms.
    ASSERT_TRUE(writeFile(path, makeGif(Screen,
                                        {columnFrame(Screen, 1, 2), columnFrame(Screen, 5, 3), columnFrame(Screen, 9, 25),
                                         columnFrame(Screen, 13, 0), columnFrame(Screen, 17, 1)},
                                        3)));
    Animation a;
    InputError error;
    ASSERT_TRUE(importAnimation(path, dotForDot(), &a, &error)) << describe(error);
    ASSERT_EQ(a.frames.size(), 5u);
    EXPECT_TRUE(a.animated());
    // Each frame covers the screen: its own column only, in the file's order.
    for (int k = 0; k < 5; ++k)
        EXPECT_EQ(darkColumns(a.frames[std::size_t(k)]), (QList<int>{1 + 4 * k})) << k;
    EXPECT_EQ(a.frames[0].width(), Screen.width());
    EXPECT_EQ(a.frames[0].height(), Screen.height());
    std::vector<int> played;
    for (int d : a.delaysMs)
        played.push_back(playDelayMs(d));
    EXPECT_EQ(played, (std::vector<int>{20, 30, 250, 100, 100}));
    EXPECT_EQ(a.loopCount, 3);
    EXPECT_EQ(playPasses(a.loopCount), 4);

    // Forever, and no loop count at all.
    ASSERT_TRUE(writeFile(path, makeGif(Screen, {columnFrame(Screen, 1, 5), columnFrame(Screen, 2, 5)}, 0)));
    ASSERT_TRUE(importAnimation(path, dotForDot(), &a, &error));
    EXPECT_EQ(a.loopCount, -1);
    EXPECT_EQ(playPasses(a.loopCount), 0);
    ASSERT_TRUE(writeFile(path, makeGif(Screen, {columnFrame(Screen, 1, 5), columnFrame(Screen, 2, 5)}, -1)));
    ASSERT_TRUE(importAnimation(path, dotForDot(), &a, &error));
    EXPECT_EQ(playPasses(a.loopCount), 1);

    // A frame that covers part of the screen leaves the rest as the frames before it drew it.
    GifFrame dot;
    dot.area = QRect(20, 3, 1, 1);
    dot.dark = {true};
    ASSERT_TRUE(writeFile(path, makeGif(Screen, {columnFrame(Screen, 4, 5), dot}, -1)));
    ASSERT_TRUE(importAnimation(path, dotForDot(), &a, &error)) << describe(error);
    ASSERT_EQ(a.frames.size(), 2u);
    EXPECT_EQ(darkColumns(a.frames[0]), (QList<int>{4}));
    EXPECT_EQ(darkColumns(a.frames[1]), (QList<int>{4, 20}));

    // The import options apply to every frame: inverted, the column is the one light one.
    ImportOptions inverted = dotForDot();
    inverted.invert = true;
    ASSERT_TRUE(writeFile(path, makeGif(Screen, {columnFrame(Screen, 1, 5), columnFrame(Screen, 2, 5)}, -1)));
    ASSERT_TRUE(importAnimation(path, inverted, &a, &error));
    ASSERT_EQ(a.frames.size(), 2u);
    EXPECT_FALSE(a.frames[1].pixel(2, 3));
    EXPECT_TRUE(a.frames[1].pixel(3, 3));
}

TEST(Animation, StillPicturesAreOneFrameAndFramesBeyondTheStoreAreLeftOut) {
    QTemporaryDir dir;
    const QString still = dir.filePath(QStringLiteral("still.gif"));
    ASSERT_TRUE(writeFile(still, makeGif(Screen, {columnFrame(Screen, 7, 0)}, -1)));
    Animation a;
    InputError error;
    ASSERT_TRUE(importAnimation(still, dotForDot(), &a, &error)) << describe(error);
    ASSERT_EQ(a.frames.size(), 1u);
    EXPECT_FALSE(a.animated());
    EXPECT_EQ(darkColumns(a.frames[0]), (QList<int>{7}));
    MonoBitmap same;
    ASSERT_TRUE(importPicture(still, dotForDot(), &same, &error));
    EXPECT_EQ(a.frames[0], same);

    // The first frame of an animation is the picture the still import makes of the file, also
    // where transparent dots meet scaling: both composite on white before they scale.
    GifFrame clear = columnFrame(Screen, 7, 5);
    clear.clearLight = true;
    for (int x = 0; x < Screen.width(); x += 3)
        clear.dark[x] = true;
    const QString glass = dir.filePath(QStringLiteral("glass.gif"));
    ASSERT_TRUE(writeFile(glass, makeGif(Screen, {clear, columnFrame(Screen, 9, 5)})));
    ImportOptions scaled; // fit into 320 x 240, Floyd-Steinberg, Otsu
    ASSERT_TRUE(importAnimation(glass, scaled, &a, &error)) << describe(error);
    ASSERT_EQ(a.frames.size(), 2u);
    ASSERT_TRUE(importPicture(glass, scaled, &same, &error));
    EXPECT_EQ(a.frames[0], same);

    // Two frames more than the module stores pictures: the first ones as far as the store
    // goes, in order, and the two left out counted.
    QList<GifFrame> frames;
    for (int k = 0; k < MaxAnimationFrames + 2; ++k)
        frames << columnFrame(QSize(8, 4), k % 8, 5);
    const QString many = dir.filePath(QStringLiteral("many.gif"));
    ASSERT_TRUE(writeFile(many, makeGif(QSize(8, 4), frames)));
    a = Animation();
    ASSERT_TRUE(importAnimation(many, dotForDot(), &a, &error)) << describe(error);
    ASSERT_EQ(a.frames.size(), std::size_t(MaxAnimationFrames));
    EXPECT_EQ(a.framesLeftOut, 2);
    EXPECT_EQ(darkColumns(a.frames.back()), (QList<int>{(MaxAnimationFrames - 1) % 8}));
    frames.removeLast();
    frames.removeLast();
    ASSERT_TRUE(writeFile(many, makeGif(QSize(8, 4), frames)));
    ASSERT_TRUE(importAnimation(many, dotForDot(), &a, &error)) << describe(error);
    EXPECT_EQ(a.frames.size(), std::size_t(MaxAnimationFrames));
    EXPECT_EQ(a.framesLeftOut, 0);

    // Frames of a large screen are bounded in all: nine of 4000 x 4000 dots are too many.
    QList<GifFrame> large;
    for (int k = 0; k < 9; ++k) {
        GifFrame f;
        f.area = QRect(k, 0, 1, 1);
        f.dark = {true};
        large << f;
    }
    const QString huge = dir.filePath(QStringLiteral("huge.gif"));
    ASSERT_TRUE(writeFile(huge, makeGif(QSize(4000, 4000), large)));
    EXPECT_FALSE(importAnimation(huge, dotForDot(), &a, &error));
    EXPECT_EQ(error, inputError(InputReason::PictureTooLarge, huge));

    // An animation cut short is refused, not played with its missing frames.
    QByteArray gif = makeGif(Screen, {columnFrame(Screen, 1, 5), columnFrame(Screen, 2, 5), columnFrame(Screen, 3, 5)});
    const QString cut = dir.filePath(QStringLiteral("cut.gif"));
    ASSERT_TRUE(writeFile(cut, gif.left(gif.size() - 20)));
    EXPECT_FALSE(importAnimation(cut, dotForDot(), &a, &error));
    EXPECT_EQ(error.reason, InputReason::PictureUnreadable);
}
