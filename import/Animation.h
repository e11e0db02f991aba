#pragma once

#include "bitmap/MonoBitmap.h"
#include "common/InputError.h"
#include "import/PictureImport.h"
#include "protocol/Module.h"

#include <QString>

#include <vector>

namespace panelix {

// The most frames an animation may have: the module stores at most this many pictures.
inline constexpr int MaxAnimationFrames = module::MaxBitmaps;

// A picture as the module can show it in turn: one bitmap a frame, in the file's order.
// A still picture is one frame.
struct Animation {
    std::vector<MonoBitmap> frames;
    std::vector<int> delaysMs; // how long each frame stays, as the decoder gives it
    // As the file says: -1 forever, 0 no loop count (play once), n repeats after the first pass.
    int loopCount = 0;
    // Frames of the file after the last one taken: the module stores MaxAnimationFrames pictures.
    int framesLeftOut = 0;
    bool animated() const { return frames.size() > 1; }
};

// The most dots all the frames of an animation may have together (frames x screen): decoding
// and scaling each frame of a large animation one after another takes seconds a frame.
inline constexpr qint64 MaxAnimationPixels = 4 * MaxSourcePixels;

// Every frame of path through the import chain (geometry, tone, dithering), each one
// the whole picture as it stands at that frame (earlier frames it leaves in place
// included). Of an animation of more than MaxAnimationFrames frames, the first
// MaxAnimationFrames are taken and the rest counted in framesLeftOut. Refuses what
// importPicture refuses, and frames of more than MaxAnimationPixels in all
// (PictureTooLarge) before any frame after the first is decoded.
bool importAnimation(const QString& path, const ImportOptions& options, Animation* out, InputError* error);

// The frames of the picture file at path as the file says (a GIF's frame count, 1 for any
// other picture); 0 when it cannot be read. Nothing is decoded.
int animationFrames(const QString& path);

// How long a frame stays when played: delays under 20 ms (0 and 10 ms in a GIF) are
// 100 ms, as browsers play them.
int playDelayMs(int fileDelayMs);

// How many times the frames are played through: 0 means until stopped.
int playPasses(int loopCount);

} // namespace panelix
