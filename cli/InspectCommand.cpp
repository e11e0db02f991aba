// inspect: what a download image or a 1-bit BMP holds, as the module would draw it.

#include "cli/Command.h"

#include "bitmap/BmpReader.h"
#include "cli/Paths.h"
#include "cli/Texts.h"
#include "import/MonoImage.h"
#include "protocol/Module.h"

#include <QFile>
#include <QFileInfo>

#include <cstring>

namespace panelix::cli {

int Command::cmdInspect() {
    if (args_.size() != 1)
        return usage(QStringLiteral("inspect needs one FILE.add or FILE.bmp"));
    if (const QString problem = inputPathProblem(args_.first(), QStringLiteral("file")); !problem.isEmpty())
        return bad(problem);
    if (parser_.isSet(opt_.output)) {
        if (const QString problem = outputPathProblem(parser_.value(opt_.output)); !problem.isEmpty())
            return bad(problem);
    }
    const QString path = openablePath(args_.first(), scratchDir());
    QFile file(path);
    if (path.isEmpty() || !file.open(QIODevice::ReadOnly))
        return bad(QStringLiteral("cannot open: %1").arg(shownPath(args_.first())));
    const QByteArray head = file.read(2);
    file.close();

    std::vector<QImage> pictures;
    const int status = head == "BM" ? inspectBitmap(path, &pictures) : inspectImage(path, &pictures);
    if (status != ExitDone || !parser_.isSet(opt_.output))
        return status;
    if (pictures.empty())
        return bad(QStringLiteral("no pictures to render: %1").arg(path));
    return writeSheet(parser_.value(opt_.output), pictures);
}

// The pictures as the module draws them: all 8 x byte-columns dots a row, bit 0 dark.
int Command::inspectBitmap(const QString& path, std::vector<QImage>* pictures) {
    BmpReader reader;
    if (!reader.readBmp(path)) {
        InputError error = reader.error();
        error.path = path;
        return bad(error);
    }
    const MonoBitmap b = reader.bitmap();
    if (json())
        jsonLine({{"event", "bitmap"}, {"file", path}, {"width", b.width()}, {"height", b.height()}, {"columns", b.widthBytes()}});
    else
        io_.out(QStringLiteral("%1: 1-bit BMP, %2 x %3 dots, %4 byte columns\n").arg(path).arg(b.width()).arg(b.height()).arg(b.widthBytes()));
    pictures->push_back(monoImage(MonoBitmap(b.widthBytes() * 8, b.height(), b.bytes())));
    return ExitDone;
}

int Command::inspectImage(const QString& path, std::vector<QImage>* pictures) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return bad(QStringLiteral("cannot open: %1").arg(path));
    if (file.size() > module::BitmapImageSize)
        return bad(QStringLiteral("not a download image (larger than %1 bytes): %2").arg(module::BitmapImageSize).arg(path));
    const QByteArray image = file.readAll();
    if (image.size() < module::DirectorySize)
        return bad(QStringLiteral("not a download image (shorter than its 1024-byte directory): %1").arg(path));
    const module::Directory dir = module::decodeDirectory(image);
    // Image memory after a download of this file: the bytes up to E, zeros after.
    QByteArray memory = image.left(std::min<qint64>(dir.end, image.size()));
    memory.append(module::ImageMemorySize - memory.size(), '\0');
    QString table = QStringLiteral("%1: %2 %3, end 0x%4 (%5 bytes)\n")
                        .arg(path)
                        .arg(dir.count)
                        .arg(dir.count == 1 ? QStringLiteral("picture") : QStringLiteral("pictures"))
                        .arg(dir.end, 5, 16, QLatin1Char('0'))
                        .arg(dir.end);
    if (dir.count > module::MaxBitmaps)
        table += QStringLiteral("warning: the count %1 is above 127; the module reads 127 entries\n").arg(dir.count);
    if (dir.end > quint32(module::MaxBitmapTransfer))
        table += QStringLiteral("warning: the end lies above 0x40001: the download would be refused\n");
    table += QStringLiteral("entry  columns  rows  address\n");
    for (int n = 0; n < int(dir.images.size()); ++n) {
        const module::DirectoryEntry& e = dir.images[std::size_t(n)];
        table += QStringLiteral("%1  %2  %3  0x%4\n").arg(n, 5).arg(e.widthBytes, 7).arg(e.height, 4).arg(e.start, 5, 16, QLatin1Char('0'));
        if (json())
            jsonLine({{"event", "entry"}, {"entry", n}, {"columns", e.widthBytes}, {"rows", e.height}, {"address", qint64(e.start)}});
        if (e.widthBytes == 0 || e.height == 0)
            continue;
        // Bytes beyond image memory are not drawn: light.
        MonoBitmap b(e.widthBytes * 8, e.height);
        for (int y = 0; y < e.height; ++y) {
            for (int k = 0; k < e.widthBytes; ++k) {
                const int stored = module::storedByte(memory, e, y, k);
                if (stored >= 0)
                    b.row(y)[k] = quint8(stored);
            }
        }
        pictures->push_back(monoImage(b));
    }
    if (json())
        jsonLine({{"event", "image"}, {"file", path}, {"entries", dir.count}, {"end", qint64(dir.end)}});
    else
        io_.out(table);
    return ExitDone;
}

// One picture under the other, 4 grey rows between them, as a PNG.
int Command::writeSheet(const QString& out, const std::vector<QImage>& pictures) {
    int width = 0;
    int height = 0;
    for (const QImage& p : pictures) {
        width = std::max(width, p.width());
        height += p.height() + (height ? 4 : 0);
    }
    QImage sheet(width, height, QImage::Format_RGB32);
    sheet.fill(qRgb(128, 128, 128));
    int y = 0;
    for (const QImage& p : pictures) {
        const QImage rgb = p.convertToFormat(QImage::Format_RGB32);
        for (int r = 0; r < rgb.height(); ++r)
            std::memcpy(sheet.scanLine(y + r), rgb.constScanLine(r), std::size_t(rgb.width()) * 4);
        y += p.height() + 4;
    }
    if (!sheet.save(out, "PNG"))
        return bad(QStringLiteral("cannot write %1").arg(out));
    if (!json())
        io_.out(QStringLiteral("wrote %1\n").arg(out));
    return ExitDone;
}

} // namespace panelix::cli
