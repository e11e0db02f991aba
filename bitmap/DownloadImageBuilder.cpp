#include "bitmap/DownloadImageBuilder.h"

#include "bitmap/BmpReader.h"
#include "common/DataDir.h"
#include "protocol/Module.h"

#include <QFileInfo>

#include <cstring>

namespace panelix {

static_assert(DownloadImageBuilder::MaxBitmaps == module::MaxBitmaps);

namespace {

bool fitsDirectory(const MonoBitmap& b) {
    return b.width() >= 1 && b.width() <= BmpReader::MaxWidth && b.height() >= 1 &&
           b.height() <= BmpReader::MaxHeight;
}

} // namespace

PackedImage DownloadImageBuilder::packDownloadImage(const std::vector<MonoBitmap>& bitmaps) {
    PackedImage out;
    if (bitmaps.size() > std::size_t(MaxBitmaps)) {
        out.error = inputError(InputReason::TooManyBitmaps, QString(), -1, qint64(bitmaps.size()));
        return out;
    }

    std::vector<module::DirectoryEntry> entries;
    entries.reserve(bitmaps.size());
    qint64 position = module::DirectorySize;
    for (std::size_t i = 0; i < bitmaps.size(); ++i) {
        const MonoBitmap& b = bitmaps[i];
        if (!fitsDirectory(b)) {
            out.error = inputError(InputReason::BitmapSizeOutOfRange, QString(), int(i));
            return out;
        }
        if (position + b.bytes().size() > module::BitmapImageSize) {
            out.error = inputError(InputReason::ImageTooLarge, QString(), -1, position + b.bytes().size());
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

bool DownloadImageBuilder::refuse(const InputError& error) {
    error_ = error;
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

bool DownloadImageBuilder::buildDownloadImage(const QStringList& entries, const QString& fileAddPath) {
    BmpReader reader;
    return buildDownloadImage(entries, reader, fileAddPath);
}

bool DownloadImageBuilder::buildDownloadImage(const QStringList& entries, BmpReader& reader,
                                              const QString& fileAddPath) {
    if (entries.size() > MaxBitmaps)
        return refuse(inputError(InputReason::TooManyBitmaps, QString(), -1, entries.size()));

    std::vector<MonoBitmap> bitmaps;
    bitmaps.reserve(std::size_t(entries.size()));
    qint64 bytes = module::DirectorySize;
    for (qsizetype i = 0; i < entries.size(); ++i) {
        // A damaged list file can give an empty text: the reader's refusal would name
        // no file, so the position in the list says which entry it is.
        if (QFileInfo(entries[i]).fileName().isEmpty())
            return refuse(inputError(InputReason::BitmapUnreadable, QString(), int(i)));
        if (!reader.readBmp(entries[i]))
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
        return refuse(inputError(InputReason::FileAddNotWritten, fileAddPath));

    image_ = std::move(packed.image);
    end_ = packed.end;
    error_ = {};
    return true;
}

} // namespace panelix
