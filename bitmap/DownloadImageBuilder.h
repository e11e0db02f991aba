#pragma once

#include "bitmap/MonoBitmap.h"
#include "common/InputError.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <vector>

namespace panelix {

class BmpReader;

// A download image, or why there is none.
struct PackedImage {
    QByteArray image; // BitmapImageSize bytes; empty when refused
    quint32 end = 0;  // E: the position after the last pixel byte
    InputError error; // why it was refused; no reason when packed

    bool ok() const { return !error.failed(); }
};

// Packs the bitmaps of the list behind a 1024-byte directory into the image that is
// sent to the module, and keeps it in file.add.
class DownloadImageBuilder {
public:
    static constexpr int MaxBitmaps = 127;

    // The image of bitmaps in list order: the directory (entry 0 the count and E, entry
    // n the n-th bitmap), then each bitmap's rows top row first, widthBytes() bytes a
    // row, zeros after E. Refused for more than MaxBitmaps bitmaps, for pixels beyond
    // the image, and for a bitmap outside 1..640 x 1..481 (its directory entry could not
    // describe it), that bitmap named by its position.
    static PackedImage packDownloadImage(const std::vector<MonoBitmap>& bitmaps);

    // Reads every entry with a reader of its own, packs the image and writes it
    // atomically to fileAddPath. False when the build is refused: error() says why,
    // file.add is left as it was and downloadImage() is empty. An entry without a
    // file name (an empty text from a damaged list file) is refused by its position
    // in the list.
    bool buildDownloadImage(const QStringList& entries, const QString& fileAddPath);
    // The same, reading through reader, which is left holding the last file read.
    bool buildDownloadImage(const QStringList& entries, BmpReader& reader, const QString& fileAddPath);
    const InputError& error() const { return error_; }

    const QByteArray& downloadImage() const { return image_; }
    // Byte b (0..7) of directory entry e (0..127); 0 outside the directory.
    quint8 directoryByte(int entry, int byte) const;
    // E: the position after the last pixel byte, the number of bytes the module is sent.
    quint32 endPosition() const { return end_; }

private:
    bool refuse(const InputError& error);

    QByteArray image_;
    quint32 end_ = 0;
    InputError error_;
};

} // namespace panelix
