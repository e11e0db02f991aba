#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

namespace panelix {

// What the download button does with a built image: the header to send, or a refusal.
struct BitmapDownloadPlan {
    bool accepted = false;
    QString message; // the status text in either case
    qint32 transferTotal = 0;
    QByteArray header; // five bytes when accepted, empty otherwise
};

// TransferTotal is read back from the image's own end address (positions 1 to 3), so
// what is sent is exactly what the directory describes.
BitmapDownloadPlan planBitmapDownload(const QByteArray& downloadImage, qint32 pageSize);

} // namespace panelix
