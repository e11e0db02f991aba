#include "bitmap/BitmapDownload.h"

#include "protocol/Module.h"

#include <algorithm>

namespace panelix {

BitmapDownloadPlan planBitmapDownload(const QByteArray& downloadImage) {
    BitmapDownloadPlan plan;
    if (downloadImage.size() < module::DirectorySize) {
        plan.error = inputError(InputReason::ImageInvalid);
        return plan;
    }
    const module::BankedAddress end = module::storedEnd(downloadImage);
    const qint64 total = module::positionOf(end);
    plan.transferTotal = qint32(std::min<qint64>(total, INT32_MAX));
    if (total > module::MaxBitmapTransfer) {
        plan.error = inputError(InputReason::ImageTooLarge, QString(), -1, total);
        return plan;
    }
    // Never announce bytes the image does not have, nor an image without its directory.
    if (total < module::DirectorySize || total > downloadImage.size()) {
        plan.error = inputError(InputReason::ImageInvalid, QString(), -1, total);
        return plan;
    }
    plan.accepted = true;
    plan.header = module::bitmapHeader(end);
    return plan;
}

} // namespace panelix
