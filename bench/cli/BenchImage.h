#pragma once

// The download the command-line benchmarks send (bench/cli, bench/wine): eight
// 320 x 32 pictures behind their directory, an 11,264-byte transfer, about 5.9 s
// at 19,200 baud.
#include "bitmap/DownloadImageBuilder.h"
#include "bitmap/MonoBitmap.h"

#include <QDir>
#include <QFile>
#include <QString>

#include <vector>

namespace panelix::bench {

inline PackedImage benchImage() {
    std::vector<MonoBitmap> bitmaps;
    for (int k = 0; k < 8; ++k) {
        QByteArray rows(40 * 32, '\0');
        for (int i = 0; i < rows.size(); ++i)
            rows[i] = char((i * 31 + k * 7) & 0xFF);
        bitmaps.emplace_back(320, 32, rows);
    }
    return DownloadImageBuilder::packDownloadImage(bitmaps);
}

// The bench image written as dir/file.add: its path, with its data bytes in *data; empty when
// it cannot be made or written.
inline QString writeBenchImage(const QString& dir, qint64* data) {
    const PackedImage packed = benchImage();
    const QString path = QDir(dir).filePath(QStringLiteral("file.add"));
    QFile f(path);
    if (!packed.ok() || !f.open(QIODevice::WriteOnly) || f.write(packed.image) != packed.image.size())
        return QString();
    *data = qint64(packed.end);
    return path;
}

} // namespace panelix::bench
