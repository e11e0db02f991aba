#include "simulator/core/FrameBuffer.h"

#include <algorithm>

namespace panelix {

bool FrameBuffer::pixel(int x, int y) const {
    if (x < 0 || y < 0 || x >= ScreenWidth || y >= ScreenHeight)
        return false;
    return (frame_[std::size_t(y * ScreenByteColumns + x / 8)] >> (7 - x % 8)) & 1;
}

void FrameBuffer::fill(bool dark) {
    frame_.fill(dark ? 0xFF : 0x00);
}

void FrameBuffer::apply(int x, int y, int width, int height, Op op) {
    // 64-bit ends: x + width must not overflow for any int the caller passes.
    const int x0 = std::max(x, 0);
    const int y0 = std::max(y, 0);
    const int x1 = int(std::min<long long>(static_cast<long long>(x) + width, ScreenWidth));
    const int y1 = int(std::min<long long>(static_cast<long long>(y) + height, ScreenHeight));
    for (int row = y0; row < y1; ++row) {
        for (int col = x0; col < x1; ++col) {
            std::uint8_t& b = frame_[std::size_t(row * ScreenByteColumns + col / 8)];
            const auto mask = std::uint8_t(0x80u >> (col % 8));
            switch (op) {
            case Op::Clear:
                b = std::uint8_t(b & ~mask);
                break;
            case Op::Set:
                b = std::uint8_t(b | mask);
                break;
            case Op::Invert:
                b = std::uint8_t(b ^ mask);
                break;
            }
        }
    }
}

void FrameBuffer::putByte(int col, int y, std::uint8_t bits) {
    if (col < 0 || y < 0 || col >= ScreenByteColumns || y >= ScreenHeight)
        return;
    frame_[std::size_t(y * ScreenByteColumns + col)] = bits;
}

} // namespace panelix
