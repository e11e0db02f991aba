#pragma once

#include "bitmap/MonoBitmap.h"
#include "common/InputError.h"

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

    // False when the file is refused; error() then says why.
    bool readBmp(const QString& path);
    const InputError& error() const { return error_; }

    int width() const { return width_; }
    int height() const { return height_; } // stored rows, also for top-down files
    int stride() const { return stride_; }
    int widthBytes() const { return (width_ + 7) / 8; }

    // Row 0 is the top row of the picture. Outside the matrix: 0.
    quint8 pixelByte(int row, int col) const;
    // MatrixCols bytes of one matrix row, or nullptr outside the matrix.
    const quint8* pixelRow(int row) const;
    // The picture of the last good read, widthBytes() bytes of each row: the file's
    // padding to 4 bytes left behind. Empty before the first good read.
    MonoBitmap bitmap() const;

    const QByteArray& bmpBuffer() const { return buffer_; }
    // Colour-table entries 0 and 1 as 0xAARRGGBB, for the preview only: the module
    // gets the pixel bits as stored.
    std::array<quint32, 2> palette() const { return palette_; }

private:
    bool refuse(InputReason reason, const QString& path);

    QByteArray buffer_;
    std::vector<quint8> matrix_; // MatrixRows x MatrixCols, never cleared
    InputError error_;
    int width_ = 0;
    int height_ = 0;
    int stride_ = 0;
    std::array<quint32, 2> palette_{0xFF000000u, 0xFFFFFFFFu};
};

// Size of the preview box: the picture at natural size scaled by 1.5 x 320 / W (every
// picture as wide as 480 pixels), then shrunk into maxBox keeping the aspect ratio.
// An empty size for pictures without pixels. A maxBox dimension <= 0 does not limit.
QSize previewBoxSize(int width, int height, QSize maxBox);

} // namespace panelix
