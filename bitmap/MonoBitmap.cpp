#include "bitmap/MonoBitmap.h"

#include <algorithm>

namespace panelix {

namespace {
qsizetype packedSize(int width, int height) {
    return qsizetype((width + 7) / 8) * height;
}
} // namespace

MonoBitmap::MonoBitmap(int width, int height, bool dark)
    : m_width(std::max(width, 0)), m_height(std::max(height, 0)),
      m_bytes(packedSize(m_width, m_height), dark ? '\0' : '\xFF') {}

MonoBitmap::MonoBitmap(int width, int height, const QByteArray& rows)
    : m_width(std::max(width, 0)), m_height(std::max(height, 0)) {
    const qsizetype size = packedSize(m_width, m_height);
    m_bytes = rows.left(size);
    if (m_bytes.size() < size)
        m_bytes.append(QByteArray(size - m_bytes.size(), '\0'));
}

bool MonoBitmap::pixel(int x, int y) const {
    if (x < 0 || y < 0 || x >= m_width || y >= m_height)
        return false;
    const auto byte = quint8(m_bytes[qsizetype(y) * widthBytes() + x / 8]);
    return ((byte >> (7 - x % 8)) & 1) == 0;
}

void MonoBitmap::setPixel(int x, int y, bool dark) {
    if (x < 0 || y < 0 || x >= m_width || y >= m_height)
        return;
    char& byte = m_bytes[qsizetype(y) * widthBytes() + x / 8];
    const auto mask = quint8(0x80u >> (x % 8));
    byte = char(dark ? quint8(byte) & ~mask : quint8(byte) | mask);
}

const quint8* MonoBitmap::row(int r) const {
    if (r < 0 || r >= m_height)
        return nullptr;
    return reinterpret_cast<const quint8*>(m_bytes.constData()) + qsizetype(r) * widthBytes();
}

quint8* MonoBitmap::row(int r) {
    if (r < 0 || r >= m_height)
        return nullptr;
    return reinterpret_cast<quint8*>(m_bytes.data()) + qsizetype(r) * widthBytes();
}

} // namespace panelix
