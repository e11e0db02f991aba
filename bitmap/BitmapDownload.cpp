#include "bitmap/BitmapDownload.h"

#include "bitmap/DownloadImageBuilder.h"
#include "protocol/Module.h"

#include <QCoreApplication>

#include <algorithm>
#include <cstdint>

namespace panelix {

BitmapDownloadPlan planBitmapDownload(const QByteArray& downloadImage, qint32 pageSize) {
    BitmapDownloadPlan plan;
    if (downloadImage.size() < module::DirectorySize) {
        plan.message = QCoreApplication::translate("panelix::BitmapDownload", "下载映像无效,无法下载!");
        return plan;
    }
    const auto byte = [&](int at) { return quint8(downloadImage[at]); };
    const module::BankedAddress end{byte(1), byte(2), byte(3)};
    // The bank byte counts 32 KB banks: PageSize x PageSize / 2 bytes each.
    const qint64 total = end.low + qint64(end.page) * pageSize + qint64(end.bank) * pageSize * pageSize / 2;
    plan.transferTotal = qint32(std::clamp<qint64>(total, INT32_MIN, INT32_MAX));
    if (total > module::MaxBitmapTransfer) {
        plan.message = DownloadImageBuilder::tooLargeText();
        return plan;
    }
    // Never announce bytes the image does not have, nor an image without its directory.
    if (total < module::DirectorySize || total > downloadImage.size()) {
        plan.message = QCoreApplication::translate("panelix::BitmapDownload", "下载映像无效,无法下载!");
        return plan;
    }
    plan.accepted = true;
    plan.message = QCoreApplication::translate("panelix::BitmapDownload", "正在下载...");
    plan.header = module::bitmapHeader(end);
    return plan;
}

} // namespace panelix
