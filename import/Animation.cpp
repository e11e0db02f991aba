#include "import/Animation.h"

#include <QFile>
#include <QFileInfo>
#include <QImageReader>

#include <algorithm>

namespace panelix {

namespace {

bool fail(InputError* error, InputReason reason, const QString& path, qint64 size = 0) {
    if (error)
        *error = inputError(reason, path, -1, size);
    return false;
}

// A decoded frame is held to the bounds of a still picture.
constexpr qint64 MaxFrameBytes = 128LL * 1024 * 1024;

} // namespace

bool importAnimation(const QString& path, const ImportOptions& options, Animation* out, InputError* error) {
    // The checks of a still picture (a regular file, complete, of a bounded size) and its first frame.
    QImage first;
    if (!loadPicture(path, options.target, &first, error))
        return false;
    Animation result;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return fail(error, InputReason::PictureUnreadable, path);
    QImageReader reader(&file);
    reader.setDecideFormatFromContent(true);
    // Only GIFs are taken apart: other formats that hold several pictures (TIFF pages,
    // icon sizes) are one picture each, as the still import reads them.
    const int inFile = reader.format().toLower() == "gif" ? reader.imageCount() : 1;
    // As many as the module stores; the rest are said to be left out.
    const int count = std::min(inFile, MaxAnimationFrames);
    result.framesLeftOut = std::max(0, inFile - count);
    if (count <= 1) {
        result.frames.push_back(ditherToMono(preparePicture(first, options), options));
        result.delaysMs.push_back(0);
        *out = std::move(result);
        return true;
    }
    if (qint64(count) * first.width() * first.height() > MaxAnimationPixels)
        return fail(error, InputReason::PictureTooLarge, path);
    first = QImage();
    result.loopCount = reader.loopCount();
    result.frames.reserve(std::size_t(count));
    for (int k = 0; k < count; ++k) {
        QImage frame;
        if (!reader.read(&frame) || frame.isNull())
            return fail(error, InputReason::PictureUnreadable, path);
        if (qint64(frame.width()) * frame.height() > MaxSourcePixels || frame.sizeInBytes() > MaxFrameBytes)
            return fail(error, InputReason::PictureTooLarge, path);
        result.delaysMs.push_back(reader.nextImageDelay());
        // On white first, as a still picture: transparent dots must not meet the scaling.
        result.frames.push_back(ditherToMono(preparePicture(flattenOnWhite(std::move(frame)), options), options));
    }
    *out = std::move(result);
    return true;
}

int animationFrames(const QString& path) {
    if (!QFileInfo(path).isFile())
        return 0;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    QImageReader reader(&file);
    reader.setDecideFormatFromContent(true);
    if (reader.format().toLower() != "gif")
        return reader.canRead() ? 1 : 0;
    return std::max(0, reader.imageCount());
}

int playDelayMs(int fileDelayMs) {
    return fileDelayMs < 20 ? 100 : fileDelayMs;
}

int playPasses(int loopCount) {
    if (loopCount < 0)
        return 0;
    return loopCount + 1;
}

} // namespace panelix
