// libFuzzer entry for the picture import. The first four bytes choose the target
// size, the placement, the dithering and the tone; the rest is the picture file.
// Whatever the file holds, the import ends with a bitmap of the promised size or a
// refusal that names the file, within the memory limit of the run; the import of its
// frames gives that bitmap first, every frame of the same size with a delay, or a refusal.
#include "FuzzSupport.h"

#include "import/Animation.h"
#include "import/PictureImport.h"

#include <QGuiApplication>

#include <cstdint>
#include <cstdlib>

namespace {

using namespace panelix;

bool knownRefusal(const InputError& error, const QString& path) {
    const bool picture = error.reason == InputReason::PictureUnreadable || error.reason == InputReason::NotAPicture ||
                         error.reason == InputReason::PictureTooLarge;
    return picture && error.path == path && error.entry < 0;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    // Text in an SVG needs fonts, and fonts need an application; no display is used.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QGuiApplication app(*argc, *argv);
    return 0;
}

// fontconfig keeps what it loads for the font database until the process ends and
// drops its pointers to some of it: that is no leak of ours.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 4)
        return 0;
    ImportOptions options;
    options.target = QSize(1 + data[0] * 640 / 256 + (data[2] & 1), 1 + data[1] * 481 / 256);
    options.fit = FitMode(data[2] >> 1 & 3);
    options.dither = DitherMethod((data[2] >> 3 & 7) % 5);
    options.invert = (data[2] & 0x40) != 0;
    options.threshold = (data[2] & 0x80) ? int(data[3]) : -1;
    options.brightness = int(data[3] % 201) - 100;
    options.contrast = int(data[3] * 7 % 201) - 100;
    options.gamma = 0.2 + (data[3] % 49) * 0.1;

    const QString path = fuzz::scratchPath("picture");
    fuzz::putFile(path, reinterpret_cast<const char*>(data + 4), size - 4);
    MonoBitmap bitmap;
    InputError error;
    if (!importPicture(path, options, &bitmap, &error)) {
        FUZZ_CHECK(knownRefusal(error, path));
        return 0;
    }
    FUZZ_CHECK(bitmap.width() >= 1 && bitmap.height() >= 1);
    FUZZ_CHECK(bitmap.width() <= MaxPictureSize.width() && bitmap.height() <= MaxPictureSize.height());
    if (options.fit != FitMode::Original)
        FUZZ_CHECK(QSize(bitmap.width(), bitmap.height()) == options.target);
    FUZZ_CHECK(bitmap.bytes().size() == qsizetype(bitmap.widthBytes()) * bitmap.height());

    Animation animation;
    if (!importAnimation(path, options, &animation, &error)) {
        FUZZ_CHECK(error.path == path && (knownRefusal(error, path) || error.reason == InputReason::TooManyFrames));
        return 0;
    }
    FUZZ_CHECK(!animation.frames.empty() && animation.frames.size() <= std::size_t(MaxAnimationFrames));
    FUZZ_CHECK(animation.delaysMs.size() == animation.frames.size());
    FUZZ_CHECK(animation.frames.front() == bitmap);
    for (const MonoBitmap& frame : animation.frames)
        FUZZ_CHECK(frame.width() == bitmap.width() && frame.height() == bitmap.height());
    return 0;
}
