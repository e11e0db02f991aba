#pragma once

// What the Windows link test and its module stand-in say to each other over the
// pty, in order. Both sides are built from this header: the test program with
// MinGW, the stand-in natively.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace panelix::wirescript {

using Bytes = std::vector<std::uint8_t>;

inline const Bytes ConnectionTest{0x1D, 0x0C, 0x0D};
inline const Bytes BacklightOn{0x1D, 0x07, 0x0D};
constexpr std::uint8_t TestAnswer = 0x0C;
constexpr std::uint8_t GoOn = 0xAA;
constexpr std::uint8_t Refused = 0x55;

// A bitmap download of 4096 bytes: E = (0x08 - 8) * 32768 + 0x10 * 256 + 0.
constexpr std::size_t ImageSize = 4096;
inline const Bytes ImageHeader{0xA6, 0x68, 0x00, 0x10, 0x08};
// E = 1023, below the directory's 1024: the module refuses it.
inline const Bytes BadHeader{0xA6, 0x68, 0xFF, 0x03, 0x08};
// A reply burst longer than one read of the link.
constexpr std::size_t BurstSize = 5000;

// Bytes whose value depends on their position, so that a lost, doubled or
// swapped chunk shows: a 32-bit xorshift stream, one byte per step.
inline Bytes pattern(std::size_t size, std::uint32_t seed) {
    Bytes out(size);
    std::uint32_t x = seed;
    for (auto& b : out) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        b = std::uint8_t(x >> 24);
    }
    return out;
}
constexpr std::uint32_t ImageSeed = 0x2545F491;
constexpr std::uint32_t BurstSeed = 0x9E3779B9;

} // namespace panelix::wirescript
