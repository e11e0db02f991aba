#pragma once

#include "bitmap/MonoBitmap.h"

#include <QByteArray>
#include <QSize>
#include <QString>
#include <QtGlobal>

#include <array>
#include <vector>

namespace panelix {

// Reads one 1-bit BMP file into two fixed buffers: the head of the file
// and the pixel matrix the download image is packed from. A refused file leaves both
// buffers, and everything reported about the last good read, exactly as they were.
class BmpReader {
public:
    static constexpr int BufferSize = 40001;
    static constexpr int MatrixRows = 481;
    static constexpr int MatrixCols = 81;
    static constexpr int MaxWidth = 640;
    static constexpr int MaxHeight = 481;

    BmpReader();

    // False when the file is refused; error() then holds the status text.
    bool ReadBmp(const QString& path);
    QString error() const { return m_error; }

    int width() const { return m_width; }
    int height() const { return m_height; } // stored rows, also for top-down files
    int stride() const { return m_stride; }
    int widthBytes() const { return (m_width + 7) / 8; }

    // Row 0 is the top row of the picture. Outside the matrix: 0.
    quint8 pixelByte(int row, int col) const;
    // MatrixCols bytes of one matrix row, or nullptr outside the matrix.
    const quint8* pixelRow(int row) const;
    // The picture of the last good read, widthBytes() bytes of each row: the file's
    // padding to 4 bytes left behind. Empty before the first good read.
    MonoBitmap bitmap() const;

    const QByteArray& bmpBuffer() const { return m_buffer; }
    // Colour-table entries 0 and 1 as 0xAARRGGBB, for the preview only: the module
    // gets the pixel bits as stored.
    std::array<quint32, 2> palette() const { return m_palette; }

private:
    bool refuse(const QString& text, const QString& path);

    QByteArray m_buffer;
    std::vector<quint8> m_matrix; // MatrixRows x MatrixCols, never cleared
    QString m_error;
    int m_width = 0;
    int m_height = 0;
    int m_stride = 0;
    std::array<quint32, 2> m_palette{0xFF000000u, 0xFFFFFFFFu};
};

// The status line after a preview read: "位图宽度:320      位图高度:240".
QString bitmapInfoText(int width, int height);

// Size of the preview box: the picture at natural size scaled by 1.5 x 320 / W (every
// picture as wide as 480 pixels), then shrunk into maxBox keeping the aspect ratio.
// An empty size for pictures without pixels. A maxBox dimension <= 0 does not limit.
QSize previewBoxSize(int width, int height, QSize maxBox);

} // namespace panelix
