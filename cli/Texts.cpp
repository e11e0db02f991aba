#include "cli/Texts.h"

#include "protocol/Module.h"

namespace panelix::cli {

namespace {

// The file a refusal is about: its path, or its place in the list when it has none.
QString concerned(const InputError& e) {
    if (e.entry >= 0)
        return QStringLiteral("entry %1 of the list").arg(e.entry + 1);
    return e.path;
}

QString withPath(const QString& text, const InputError& e) {
    const QString what = concerned(e);
    return what.isEmpty() ? text : text + QStringLiteral(": ") + what;
}

} // namespace

QString framesLeftOutText(const QString& shownPath, int kept, int leftOut) {
    return QStringLiteral("%1: frames %2..%3 left out: the module stores at most %4 pictures")
        .arg(shownPath)
        .arg(kept + 1)
        .arg(kept + leftOut)
        .arg(module::MaxBitmaps);
}

QString inputErrorText(const InputError& e) {
    switch (e.reason) {
    case InputReason::None: return QString();
    case InputReason::BitmapUnreadable: return withPath(QStringLiteral("cannot open bitmap file"), e);
    case InputReason::NotMonoBmp: return withPath(QStringLiteral("not a 1-bit BMP"), e);
    case InputReason::BitmapSizeOutOfRange: return withPath(QStringLiteral("bitmap size outside 1..640 x 1..481"), e);
    case InputReason::ListFull: return QStringLiteral("the list is full: at most 251 pictures");
    case InputReason::ListNotSaved: return withPath(QStringLiteral("the list file could not be written"), e);
    case InputReason::ListNotRead: return withPath(QStringLiteral("the list file could not be read"), e);
    case InputReason::TooManyBitmaps:
        return QStringLiteral("more than 127 pictures (%1): the module cannot store them").arg(e.size);
    case InputReason::ImageTooLarge:
        return QStringLiteral("the pictures exceed 256 KB (end above 0x%1): the module cannot store them")
            .arg(module::MaxBitmapTransfer, 5, 16, QLatin1Char('0'));
    case InputReason::FileAddNotWritten: return withPath(QStringLiteral("cannot write the download image"), e);
    case InputReason::ImageInvalid:
        return withPath(QStringLiteral("not a valid download image (its end address lies outside the image)"), e);
    case InputReason::FontMissing: return withPath(QStringLiteral("font file not found or unreadable"), e);
    case InputReason::DataDirUnusable: return withPath(QStringLiteral("the data directory cannot be used"), e);
    case InputReason::PictureUnreadable:
        return withPath(QStringLiteral("cannot read picture (unreadable, cut short or empty)"), e);
    case InputReason::NotAPicture: return withPath(QStringLiteral("not a picture file"), e);
    case InputReason::PictureTooLarge: return withPath(QStringLiteral("picture too large"), e);
    case InputReason::BitmapNotWritten: return withPath(QStringLiteral("cannot write"), e);
    case InputReason::PathNotStorable: return withPath(QStringLiteral("the list file cannot hold this path"), e);
    case InputReason::TooManyFrames:
        return withPath(QStringLiteral("%1 frames: the module stores at most %2 pictures").arg(e.size).arg(module::MaxBitmaps), e);
    }
    return QString();
}

QString openFailureText(OpenError error, const QString& systemText, System system) {
    // Windows refuses a port that another program has open with "access denied", and a
    // driver that will not open the adapter says the same.
    const QString windowsAdvice = QStringLiteral(
        " (is it open in another program? close that program and try again; if none is using it, "
        "check the adapter's driver in Device Manager)");
    switch (error) {
    case OpenError::NoDevice: return QStringLiteral("cannot open the port: no such device");
    case OpenError::NoPermission:
        if (system == System::Windows)
            return QStringLiteral("cannot open the port: access denied") + windowsAdvice;
        return QStringLiteral("cannot open the port: permission denied (is this user in the device's group, e.g. dialout?)");
    case OpenError::InUse:
        if (system == System::Windows)
            return QStringLiteral("cannot open the port: busy or access denied") + windowsAdvice;
        return QStringLiteral("cannot open the port: busy, in use by another program");
    case OpenError::NotSerial: return QStringLiteral("cannot open the port: not a serial port");
    case OpenError::None:
    case OpenError::Unknown: break;
    }
    return QStringLiteral("cannot open the port: ") + (systemText.isEmpty() ? QStringLiteral("unknown error") : systemText);
}

} // namespace panelix::cli
