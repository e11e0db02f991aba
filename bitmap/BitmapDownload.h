#pragma once

#include "common/InputError.h"

#include <QByteArray>
#include <QtGlobal>

namespace panelix {

// What the download button does with a built image: the header to send, or a refusal.
struct BitmapDownloadPlan {
    bool accepted = false;
    InputError error; // why it was refused
    qint32 transferTotal = 0;
    QByteArray header; // five bytes when accepted, empty otherwise
};

// TransferTotal is read back from the image's own end address (positions 1 to 3), so
// what is sent is exactly what the directory describes. Refused above the module's
// transfer limit (ImageTooLarge) and for an end outside the image (ImageInvalid).
BitmapDownloadPlan planBitmapDownload(const QByteArray& downloadImage);

} // namespace panelix
