#include "bitmap/DownloadImageBuilder.h"

#include "bitmap/BmpReader.h"
#include "common/DataDir.h"
#include "protocol/Module.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <cstring>

namespace panelix {

static_assert(DownloadImageBuilder::MaxBitmaps == module::MaxBitmaps);

namespace {

// A refusal that names the entry by its 1-based position in the list; the
// reason is worded as the reader words it.
QString atEntry(const char* text, qsizetype index) {
    return QCoreApplication::translate("panelix::BmpReader", text) +
           QCoreApplication::translate("panelix::DownloadImageBuilder", "第%1项").arg(index + 1);
}

bool fitsDirectory(const MonoBitmap& b) {
    return b.width() >= 1 && b.width() <= BmpReader::MaxWidth && b.height() >= 1 &&
           b.height() <= BmpReader::MaxHeight;
}

} // namespace

QString DownloadImageBuilder::tooManyText() {
    return QCoreApplication::translate("panelix::DownloadImageBuilder", "位图数量超过127个,无法下载!");
}

QString DownloadImageBuilder::tooLargeText() {
    return QCoreApplication::translate("panelix::DownloadImageBuilder", "位图总量超过256KB,无法下载!");
}

QString DownloadImageBuilder::writeFailedText() {
    return QCoreApplication::translate("panelix::DownloadImageBuilder", "file.add写入失败!");
}

PackedImage DownloadImageBuilder::packDownloadImage(const std::vector<MonoBitmap>& bitmaps) {
    PackedImage out;
    if (bitmaps.size() > std::size_t(MaxBitmaps)) {
        out.error = tooManyText();
        return out;
    }

    std::vector<module::DirectoryEntry> entries;
    entries.reserve(bitmaps.size());
    qint64 position = module::DirectorySize;
    for (std::size_t i = 0; i < bitmaps.size(); ++i) {
        const MonoBitmap& b = bitmaps[i];
        if (!fitsDirectory(b)) {
            out.error = atEntry(QT_TRANSLATE_NOOP("panelix::BmpReader", "位图尺寸超出范围:"), qsizetype(i));
            return out;
        }
        if (position + b.bytes().size() > module::BitmapImageSize) {
            out.error = tooLargeText();
            return out;
        }
        entries.push_back({b.widthBytes(), b.height(), quint32(position)});
        position += b.bytes().size();
    }

    // The rows follow one another without padding, as the bitmaps hold them.
    QByteArray image(module::BitmapImageSize, '\0');
    char* data = image.data();
    const QByteArray directory = module::encodeDirectory(entries, quint32(position));
    std::memcpy(data, directory.constData(), std::size_t(directory.size()));
    for (std::size_t i = 0; i < bitmaps.size(); ++i)
        std::memcpy(data + entries[i].start, bitmaps[i].bytes().constData(),
                    std::size_t(bitmaps[i].bytes().size()));

    out.image = std::move(image);
    out.end = quint32(position);
    return out;
}

bool DownloadImageBuilder::refuse(const QString& text) {
    error_ = text;
    image_.clear();
    end_ = 0;
    return false;
}

quint8 DownloadImageBuilder::directoryByte(int entry, int byte) const {
    if (entry < 0 || entry >= module::DirectoryEntries || byte < 0 || byte >= module::DirectoryEntrySize ||
        image_.size() < module::DirectorySize)
        return 0;
    return quint8(image_[entry * module::DirectoryEntrySize + byte]);
}

bool DownloadImageBuilder::BuildDownloadImage(const QStringList& entries, const QString& fileAddPath) {
    BmpReader reader;
    return BuildDownloadImage(entries, reader, fileAddPath);
}

bool DownloadImageBuilder::BuildDownloadImage(const QStringList& entries, BmpReader& reader,
                                              const QString& fileAddPath) {
    if (entries.size() > MaxBitmaps)
        return refuse(tooManyText());

    std::vector<MonoBitmap> bitmaps;
    bitmaps.reserve(std::size_t(entries.size()));
    qint64 bytes = module::DirectorySize;
    for (qsizetype i = 0; i < entries.size(); ++i) {
        // A damaged list file can give an empty text: the reader's refusal would name
        // no file, so the position in the list says which entry it is.
        if (QFileInfo(entries[i]).fileName().isEmpty())
            return refuse(atEntry(QT_TRANSLATE_NOOP("panelix::BmpReader", "位图文件无法打开:"), i));
        if (!reader.ReadBmp(entries[i]))
            return refuse(reader.error());
        bitmaps.push_back(reader.bitmap());
        // Once the pixels overflow the image, packing refuses whatever follows: the
        // rest of the list need not be read (nor can its files decide the message).
        bytes += bitmaps.back().bytes().size();
        if (bytes > module::BitmapImageSize)
            break;
    }

    PackedImage packed = packDownloadImage(bitmaps);
    if (!packed.ok())
        return refuse(packed.error);
    if (!writeFileAtomically(fileAddPath, packed.image))
        return refuse(writeFailedText());

    image_ = std::move(packed.image);
    end_ = packed.end;
    error_.clear();
    return true;
}

} // namespace panelix
