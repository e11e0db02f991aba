#pragma once

#include "bitmap/MonoBitmap.h"
#include "common/InputError.h"

#include <QImage>
#include <QSize>
#include <QString>

namespace panelix {

// How a source picture is placed on the target size.
enum class FitMode {
    Fit,      // inside the target keeping the aspect ratio (default), rest white
    Fill,     // cover the target keeping the aspect ratio, the centre is kept
    Stretch,  // both axes scaled to the target
    Original, // 1:1, cropped to at most 640 x 481 (MaxPictureSize)
};

enum class DitherMethod { Threshold, FloydSteinberg, Atkinson, Bayer4, Bayer8 };

struct ImportOptions {
    QSize target{320, 240};  // any size up to 640 x 481
    FitMode fit = FitMode::Fit;
    int brightness = 0;      // -100..100, added (as percent of full scale)
    int contrast = 0;        // -100..100
    double gamma = 1.0;      // 0.2..5
    DitherMethod dither = DitherMethod::FloydSteinberg;
    int threshold = -1;      // 0..255: a grey below it is dark; -1: Otsu's method
    bool invert = false;
};

// The largest picture the module stores (and the BMP reader accepts).
inline constexpr QSize MaxPictureSize{640, 481};
// Sources with more pixels than this are refused from their header, before decoding: their 32-bit
// form would take more than 128 MiB. A decoded form over 128 MiB (8 bytes a dot of deep colour) is
// refused too; the file itself is never read into memory whole.
inline constexpr qint64 MaxSourcePixels = 32LL * 1024 * 1024;

// A decoded source picture, composited on white (transparent parts become light), EXIF orientation applied.
// SVG is rendered at the target size (the smallest size of its aspect ratio that covers the target). Refuses unreadable, truncated, non-picture, zero-size files and
// decompression bombs (image reader allocation limit; a 50,000 x 50,000 PNG header is refused before any
// large allocation). error: PictureUnreadable with the path.
// The decoded picture is Format_RGB32. Other refusals: NotAPicture (no known picture format),
// PictureTooLarge (more than MaxSourcePixels, or beyond the reader's allocation limit). PNG, JPEG and GIF
// files cut short are refused even where the decoder would show the rows it got.
bool loadPicture(const QString& path, const QSize& target, QImage* out, InputError* error);

// Dots of any decoded picture as Format_RGB32, a transparent part composited on white: what
// loadPicture gives of a file.
QImage flattenOnWhite(QImage image);

// Geometry then greys (qGray of the composited colour, after brightness, contrast, gamma): Format_Grayscale8.
// Equal to adjustTone(scalePicture(source, options), options).
QImage preparePicture(const QImage& source, const ImportOptions& options);   // scaling once per geometry
// Geometry only: the source placed on options.target by options.fit (white where it does not reach),
// as qGray greys, Format_Grayscale8, no tone applied. Depends only on target and fit: a dialog keeps it
// and re-runs adjustTone + ditherToMono when a slider moves. The part that holds the picture is recorded
// in the image's text "panelix-content" ("x y w h"); the margins of Fit stay light through tone,
// dithering and inversion. An image without that text is all picture. Original keeps the source's own
// size up to 640 x 481 (its centre when larger) and ignores target.
QImage scalePicture(const QImage& source, const ImportOptions& options);
// Brightness, then contrast around mid grey, then gamma, as one 256-entry table applied to each grey.
// Values outside their ranges are clamped. Accepts any format (converted to greys first).
QImage adjustTone(const QImage& scaledGrey, const ImportOptions& options);    // cheap, for live sliders
// The threshold T (a grey below T is dark) that best splits the histogram into two classes; 128 for a
// picture of one grey or none.
int otsuThreshold(const QImage& grey);
MonoBitmap ditherToMono(const QImage& grey, const ImportOptions& options);    // a grey below T is dark (bit 0)

// The size a picture of that size is first imported at: its own size when it fits the screen
// (320 x 240), else the largest size of its proportions that fits the screen (at least 1 x 1).
// A scalable picture (SVG) always takes the largest size of its proportions within the screen.
QSize defaultTargetSize(const QSize& picture, bool scalable);

// The whole chain; false with the reason when the file is refused.
bool importPicture(const QString& path, const ImportOptions& options, MonoBitmap* out, InputError* error);

// The BMP name for a source in dir: photo.png -> photo.bmp, then photo-2.bmp, photo-3.bmp when taken (never
// overwrite silently, letter case ignored as data files are); a name the list file cannot hold in GBK gets a
// safe one (e.g. picture-N.bmp). Returns the file name only (no directory): QDir(dir).filePath(name).
QString bmpNameFor(const QString& sourcePath, const QString& dir);

// Option names as the command line spells them ("fit", "fill", "stretch", "original"; "threshold",
// "floyd-steinberg", "atkinson", "bayer4", "bayer8"). False for an unknown name.
bool parseFitMode(const QString& name, FitMode* out);
bool parseDitherMethod(const QString& name, DitherMethod* out);

// True for a file that is already a 1-bit BMP (taken as it is, never re-dithered).
bool isMonoBmp(const QString& path);

} // namespace panelix
