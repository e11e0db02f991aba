#include "bitmap/DownloadImageBuilder.h"

#include "bitmap/BmpReader.h"
#include "common/DataDir.h"
#include "link/ModuleCodes.h"

#include <cstring>

namespace panelix {

namespace {

constexpr int EntrySize = 8;
static_assert(module::DirectoryEntries * EntrySize == module::DirectorySize);

void putEntry(quint8* entry, std::initializer_list<quint8> bytes) {
    std::copy(bytes.begin(), bytes.end(), entry);
}

} // namespace

bool DownloadImageBuilder::refuse(const QString& text) {
    m_error = text;
    m_image.clear();
    m_directory.fill(0);
    m_end = 0;
    return false;
}

quint8 DownloadImageBuilder::directoryByte(int entry, int byte) const {
    if (entry < 0 || entry >= module::DirectoryEntries || byte < 0 || byte >= EntrySize)
        return 0;
    return m_directory[std::size_t(entry * EntrySize + byte)];
}

bool DownloadImageBuilder::BuildDownloadImage(const QStringList& entries, BmpReader& reader,
                                              const QString& fileAddPath) {
    // Entry 0 describes the whole image, so the directory has room for 127 bitmaps.
    if (entries.size() > MaxBitmaps)
        return refuse(QStringLiteral("位图数量超过127个,无法下载!"));

    QByteArray image(module::BitmapImageSize, '\0');
    std::array<quint8, module::DirectorySize> directory{};
    auto* out = reinterpret_cast<quint8*>(image.data());
    quint32 position = module::DirectorySize;

    for (qsizetype i = 0; i < entries.size(); ++i) {
        if (!reader.ReadBmp(entries[i]))
            return refuse(reader.error());
        const int widthBytes = reader.widthBytes();
        const int rows = reader.height();
        if (position + quint32(widthBytes * rows) > quint32(module::BitmapImageSize))
            return refuse(QStringLiteral("位图总量超过256KB,无法下载!"));

        const module::BankedAddress start = module::bankedAddress(position);
        putEntry(&directory[std::size_t(i + 1) * EntrySize],
                 {quint8(widthBytes), quint8(rows & 0xFF), start.low, start.page, start.bank, 0, 0,
                  quint8(rows >> 8)});
        // Only the picture's bytes of each row: the file's padding to 4 bytes stays behind.
        for (int r = 0; r < rows; ++r) {
            std::memcpy(out + position, reader.pixelRow(r), std::size_t(widthBytes));
            position += quint32(widthBytes);
        }
    }

    const module::BankedAddress end = module::bankedAddress(position);
    putEntry(directory.data(), {quint8(entries.size()), end.low, end.page, end.bank});
    std::memcpy(out, directory.data(), directory.size());

    if (!writeFileAtomically(fileAddPath, image))
        return refuse(QStringLiteral("file.add写入失败!"));

    m_image = std::move(image);
    m_directory = directory;
    m_end = position;
    m_error.clear();
    return true;
}

} // namespace panelix
