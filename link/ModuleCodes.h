#pragma once

#include <QByteArray>
#include <cstdint>
#include <initializer_list>

// Everything fixed about the exchange with the display module, named once.
namespace panelix::module {

// Single commands: Introducer, command byte, parameter bytes, Terminator.
inline constexpr std::uint8_t Introducer = 0x1D;
inline constexpr std::uint8_t Terminator = 0x0D;

inline constexpr std::uint8_t CmdShowText = 0x01;      // X, Y, GBK pairs
inline constexpr std::uint8_t CmdShowLargeText = 0x41; // X, Y, GBK pairs
inline constexpr std::uint8_t CmdShowImage = 0x02;     // X, Y, N
inline constexpr std::uint8_t CmdClearScreen = 0x03;
inline constexpr std::uint8_t CmdClearRect = 0x04;     // X, Y, W, H
inline constexpr std::uint8_t CmdInvertRect = 0x05;    // X, Y, W, H
inline constexpr std::uint8_t CmdDrawRect = 0x06;      // X, Y, W, H, B
inline constexpr std::uint8_t CmdBacklightOn = 0x07;
inline constexpr std::uint8_t CmdBacklightOff = 0x08;
inline constexpr std::uint8_t CmdConnectionTest = 0x0C;
// Added to a command byte: the same command, drawn inverted.
inline constexpr std::uint8_t InvertedBit = 0x80;

// Bulk transfers: a five-byte header, then data paced by the replies.
inline constexpr std::uint8_t TransferIntro = 0xA6;
inline constexpr std::uint8_t TransferBitmaps = 0x68;
inline constexpr std::uint8_t TransferFont = 0x60;
inline constexpr std::uint8_t BitmapBankOffset = 8; // added to the bank byte of the bitmap header
inline constexpr int HeaderSize = 5;

// Replies: one byte each; only the first byte of a read counts.
inline constexpr std::uint8_t ReplyGoOn = 0xAA;
inline constexpr std::uint8_t ReplyError = 0x55;
inline constexpr std::uint8_t ReplyTestOk = 0x0C;

// Sizes of the two transfers.
inline constexpr int BitmapImageSize = 524288; // DownloadImage for bitmaps, 0..0x7FFFF
inline constexpr int FontImageSize = 266240;   // DownloadImage for the font, 0..0x40FFF
inline constexpr int FontTransferTotal = 262144;
inline constexpr int MaxBitmapTransfer = 0x40001;
inline constexpr int DirectorySize = 1024;
inline constexpr int DirectoryEntries = 128;

// A position of the download image as three bytes: low = P mod 256,
// page = (P div 256) mod 128, bank = P div 32768. The page byte runs 0..127 only.
struct BankedAddress {
    std::uint8_t low = 0;
    std::uint8_t page = 0;
    std::uint8_t bank = 0;
};

constexpr BankedAddress bankedAddress(std::uint32_t position) {
    return {std::uint8_t(position % 256), std::uint8_t((position / 256) % 128), std::uint8_t(position / 32768)};
}

constexpr std::uint32_t positionOf(BankedAddress a) {
    return std::uint32_t(a.bank) * 32768u + std::uint32_t(a.page) * 256u + a.low;
}

inline QByteArray bytesOf(std::initializer_list<std::uint8_t> list) {
    QByteArray out;
    out.reserve(qsizetype(list.size()));
    for (std::uint8_t v : list)
        out.append(char(v));
    return out;
}

// The three-byte commands of the fixed buttons and the connection test.
inline QByteArray simpleCommand(std::uint8_t command) {
    return bytesOf({Introducer, command, Terminator});
}

// Show stored image n at (x, y).
inline QByteArray showImageCommand(std::uint8_t x, std::uint8_t y, std::uint8_t n) {
    return bytesOf({Introducer, CmdShowImage, x, y, n, Terminator});
}

inline QByteArray bitmapHeader(BankedAddress end) {
    return bytesOf({TransferIntro, TransferBitmaps, end.low, end.page, std::uint8_t(end.bank + BitmapBankOffset)});
}

inline QByteArray fontHeader() {
    return bytesOf({TransferIntro, TransferFont, 0x00, 0x00, 0x08});
}

} // namespace panelix::module
