#pragma once

#include <array>
#include <cstdint>

namespace panelix {

inline constexpr int ScreenWidth = 320;
inline constexpr int ScreenHeight = 240;
inline constexpr int ScreenByteColumns = ScreenWidth / 8;

// The panel's display RAM: 40 bytes a row, rows top first, bit 7 the leftmost
// pixel of its byte, bit value 1 a dark (driven) dot.
using Frame = std::array<std::uint8_t, ScreenWidth * ScreenHeight / 8>;

// A 320 x 240 one-bit frame buffer. Every operation clips at the screen edge,
// so callers may pass any coordinates the wire can carry.
class FrameBuffer {
public:
    enum class Op { Clear, Set, Invert };

    const Frame& bytes() const { return frame_; }
    bool pixel(int x, int y) const;
    void fill(bool dark);
    // A rectangle of pixels, x and y in pixels; parts off the screen are ignored.
    void apply(int x, int y, int width, int height, Op op);
    // Eight pixels at once: byte column col (0..39), pixel row y.
    void putByte(int col, int y, std::uint8_t bits);

private:
    Frame frame_{};
};

} // namespace panelix
