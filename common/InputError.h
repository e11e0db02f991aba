#pragma once

#include <QString>
#include <QtGlobal>

namespace panelix {

// Why a file, a list or a data directory was refused. The libraries that read and
// build what goes to the module report these; each front end words them in its own
// language (the window in StatusTexts, the command line in its texts).
enum class InputReason {
    None,
    BitmapUnreadable,     // a bitmap file that cannot be opened or read
    NotMonoBmp,           // not an uncompressed 1-bit BMP
    BitmapSizeOutOfRange, // width or height 0 or beyond 640 x 481
    ListFull,             // a 252nd entry for the list
    ListNotSaved,         // the list file could not be written
    ListNotRead,          // the list file could not be read
    TooManyBitmaps,       // more than 127 bitmaps for one image
    ImageTooLarge,        // pixel data beyond the image, or an end above the transfer limit
    FileAddNotWritten,    // file.add could not be written
    ImageInvalid,         // a download image whose end address lies outside it
    FontMissing,          // hzk16 missing or unreadable
    DataDirUnusable,      // the data directory cannot be created or read
    PictureUnreadable,    // a picture that cannot be read: unreadable, cut short or empty
    NotAPicture,          // a file that is no picture of a known format
    PictureTooLarge,      // a picture whose decoding would cost too much memory
    BitmapNotWritten,     // a BMP file that could not be written
    PathNotStorable,      // a path the list file cannot hold (not GBK, or not reopening the file)
    TooManyFrames,        // an animation with more frames than the module stores pictures (size: its frames)
};

// A refusal and what it concerns. A file is named by its path as given; an entry
// of the list without a file name is named by its position instead.
struct InputError {
    InputReason reason = InputReason::None;
    QString path;    // the file or directory concerned; empty when none
    int entry = -1;  // 0-based list position, when the entry has no file name to show
    qint64 size = 0; // a size concerned (bitmaps in the list, an end position), 0 when none

    bool failed() const { return reason != InputReason::None; }
    explicit operator bool() const { return failed(); }
    friend bool operator==(const InputError&, const InputError&) = default;
};

inline InputError inputError(InputReason reason, const QString& path = QString(), int entry = -1, qint64 size = 0) {
    return InputError{reason, path, entry, size};
}

} // namespace panelix
