#pragma once

#include <QByteArray>
#include <QtGlobal>

namespace panelix {

// A 1-bit picture held exactly as the module stores it: widthBytes() = (width + 7) / 8
// bytes a row, top row first, no padding between rows; in each byte the most
// significant bit is the leftmost dot, and a bit of 0 is a dark dot. The unused low
// bits of a width that is no multiple of 8 are part of the row, since the module draws
// all 8 x widthBytes() dots of it.
class MonoBitmap {
public:
    MonoBitmap() = default;
    // width x height, every dot (unused bits included) light, or dark when dark is set.
    // Negative sizes count as 0.
    MonoBitmap(int width, int height, bool dark = false);
    // width x height with rows as packed bytes; missing bytes read as dark (0), bytes
    // beyond widthBytes() x height are dropped.
    MonoBitmap(int width, int height, const QByteArray& rows);
    // A string literal would otherwise pick the bool constructor.
    MonoBitmap(int width, int height, const char* rows) = delete;

    int width() const { return width_; }
    int height() const { return height_; }
    int widthBytes() const { return (width_ + 7) / 8; }
    bool isEmpty() const { return width_ == 0 || height_ == 0; }

    // True for a dark dot; outside the picture false.
    bool pixel(int x, int y) const;
    // Sets one dot; outside the picture nothing happens.
    void setPixel(int x, int y, bool dark);

    // widthBytes() bytes of row r (0 at the top), or nullptr outside the picture.
    const quint8* row(int r) const;
    quint8* row(int r);

    // All rows, widthBytes() x height() bytes.
    const QByteArray& bytes() const { return bytes_; }

    friend bool operator==(const MonoBitmap& a, const MonoBitmap& b) {
        return a.width_ == b.width_ && a.height_ == b.height_ && a.bytes_ == b.bytes_;
    }
    friend bool operator!=(const MonoBitmap& a, const MonoBitmap& b) { return !(a == b); }

private:
    int width_ = 0;
    int height_ = 0;
    QByteArray bytes_;
};

} // namespace panelix
