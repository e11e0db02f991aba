#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <array>

namespace panelix {

class BmpReader;

// Packs the bitmaps of the list behind a 1024-byte directory into the image that is
// sent to the module, and keeps it in file.add.
class DownloadImageBuilder {
public:
    static constexpr int MaxBitmaps = 127;

    // Reads every entry with reader.ReadBmp, builds the image and writes it atomically
    // to fileAddPath. False when the build is refused: error() holds the status text,
    // file.add is left as it was and downloadImage() is empty.
    bool BuildDownloadImage(const QStringList& entries, BmpReader& reader, const QString& fileAddPath);
    QString error() const { return m_error; }

    const QByteArray& downloadImage() const { return m_image; }
    // Byte b (0..7) of directory entry e (0..127); 0 outside the directory.
    quint8 directoryByte(int entry, int byte) const;
    // E: the position after the last pixel byte, the number of bytes the module is sent.
    quint32 endPosition() const { return m_end; }

private:
    bool refuse(const QString& text);

    QByteArray m_image;
    std::array<quint8, 1024> m_directory{};
    quint32 m_end = 0;
    QString m_error;
};

} // namespace panelix
