#pragma once

#include <QByteArray>

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <vector>

// Everything fixed about the exchange with the display module, named once: the
// command and reply codes, the transfer headers, the download image's directory
// and the sizes of the module's memories. Every library that speaks to the module,
// builds what it stores or plays its part includes this header and nothing else.
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

// The module's memories. Image memory: 16 banks of 32 KB, the download image as
// sent. Font memory: the first 256 KB of an HZK16 file.
inline constexpr int BankSize = 32768;
inline constexpr int ImageMemorySize = 0x80000;
inline constexpr int FontMemorySize = 262144;

// Sizes of the two transfers on the host side.
inline constexpr int BitmapImageSize = ImageMemorySize; // DownloadImage for bitmaps, 0..0x7FFFF
inline constexpr int FontImageSize = 266240;            // DownloadImage for the font, 0..0x40FFF
inline constexpr int FontTransferTotal = FontMemorySize;
inline constexpr int MaxBitmapTransfer = 0x40001;

// Font memory holds 16 x 16 glyphs in the HZK16 layout: 32 bytes a glyph, 2 bytes a
// row, rows top first, bit 7 leftmost, bit value 1 dark; 94 cells a GB2312 row.
inline constexpr int FontGlyphSize = 32;
inline constexpr int FontRowCells = 94;

// Offset of the cell of a GB2312 code in an HZK16 file, or -1 when the code has none
// (a byte below 0xA1 or 0xFF).
constexpr int fontCellOffset(std::uint8_t lead, std::uint8_t trail) {
    if (lead < 0xA1 || lead > 0xFE || trail < 0xA1 || trail > 0xFE)
        return -1;
    return ((lead - 0xA1) * FontRowCells + (trail - 0xA1)) * FontGlyphSize;
}

// Where the show-characters command finds the glyph of one character in font memory:
// code is a GBK pair (lead << 8 | trail) or a single byte. Single bytes 0x21..0x7E take
// the full-width forms of GB2312 row 3 (A3 A1..A3 FE), space and the other single
// bytes the ideographic space A1 A1. -1 when the glyph lies outside font memory: the
// character is drawn as a blank cell.
constexpr int glyphOffset(std::uint16_t code) {
    auto lead = std::uint8_t(code >> 8);
    auto trail = std::uint8_t(code & 0xFF);
    if (code < 0x100) {
        const bool printable = code > 0x20 && code < 0x7F;
        lead = printable ? 0xA3 : 0xA1;
        trail = printable ? std::uint8_t(code + 0x80) : 0xA1;
    }
    const int offset = fontCellOffset(lead, trail);
    return offset >= 0 && offset + FontGlyphSize <= FontMemorySize ? offset : -1;
}

// The directory at the start of the download image and of image memory.
inline constexpr int DirectorySize = 1024;
inline constexpr int DirectoryEntries = 128;
inline constexpr int DirectoryEntrySize = 8;
static_assert(DirectoryEntries * DirectoryEntrySize == DirectorySize);
// Entry 0 describes the whole image, so the directory has room for 127 bitmaps.
inline constexpr int MaxBitmaps = DirectoryEntries - 1;

// A position of the download image as three bytes: low = P mod 256,
// page = (P div 256) mod 128, bank = P div 32768. The page byte runs 0..127 only.
struct BankedAddress {
    std::uint8_t low = 0;
    std::uint8_t page = 0;
    std::uint8_t bank = 0;
};

constexpr BankedAddress bankedAddress(std::uint32_t position) {
    return {std::uint8_t(position % 256), std::uint8_t((position / 256) % 128), std::uint8_t(position / BankSize)};
}

constexpr std::uint32_t positionOf(BankedAddress a) {
    return std::uint32_t(a.bank) * std::uint32_t(BankSize) + std::uint32_t(a.page) * 256u + a.low;
}

// The page size the bitmap header's length is counted in: a bank byte counts
// PageSize x PageSize / 2 bytes, a page byte PageSize bytes.
inline constexpr int PageSize = 256;
static_assert(PageSize * PageSize / 2 == BankSize);

// The end address stored at positions 1 to 3 of a download image (entry 0 of its
// directory), read without the directory decoder's limits; nullopt-like {} when the
// image is shorter than its directory.
inline BankedAddress storedEnd(const QByteArray& image) {
    if (image.size() < 4)
        return {};
    return {std::uint8_t(image[1]), std::uint8_t(image[2]), std::uint8_t(image[3])};
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

// Show characters at byte column x, dot row y: codes are the characters' GBK codes,
// one or two bytes each. large: 32 x 32 characters instead of 16 x 16.
inline QByteArray showTextCommand(std::uint8_t x, std::uint8_t y, const QByteArray& codes, bool large) {
    QByteArray out = bytesOf({Introducer, large ? CmdShowLargeText : CmdShowText, x, y});
    out.append(codes);
    out.append(char(Terminator));
    return out;
}

// A rectangle command (clear, invert, frame) in byte columns and dot rows; a frame
// also takes its border byte.
inline QByteArray rectCommand(std::uint8_t command, std::uint8_t x, std::uint8_t y, std::uint8_t w, std::uint8_t h) {
    return bytesOf({Introducer, command, x, y, w, h, Terminator});
}

// The same command drawn inverted: the top bit of the command byte set.
inline QByteArray invertedCommand(QByteArray command) {
    if (command.size() > 2)
        command[1] = char(std::uint8_t(command[1]) | InvertedBit);
    return command;
}

inline QByteArray bitmapHeader(BankedAddress end) {
    return bytesOf({TransferIntro, TransferBitmaps, end.low, end.page, std::uint8_t(end.bank + BitmapBankOffset)});
}

inline QByteArray fontHeader() {
    return bytesOf({TransferIntro, TransferFont, 0x00, 0x00, 0x08});
}

// A transfer header as the module reads it.
struct TransferHeader {
    enum class Kind { Invalid, Bitmaps, Font };
    Kind kind = Kind::Invalid;
    std::uint32_t length = 0; // data bytes that follow the header
};

// The five header bytes. A bitmap header whose page byte is above 127 or whose bank
// byte lies below the offset, a font header other than the one fontHeader() makes,
// and any other transfer type are Invalid. A bitmap length is not checked against
// the memory here: that is the receiver's business.
inline TransferHeader decodeHeader(const std::uint8_t* b) {
    TransferHeader h;
    if (b[0] != TransferIntro)
        return h;
    if (b[1] == TransferBitmaps) {
        if (b[3] > 127 || b[4] < BitmapBankOffset)
            return h;
        h.kind = TransferHeader::Kind::Bitmaps;
        h.length = positionOf({b[2], b[3], std::uint8_t(b[4] - BitmapBankOffset)});
    } else if (b[1] == TransferFont) {
        if (b[2] != 0x00 || b[3] != 0x00 || b[4] != 0x08)
            return h;
        h.kind = TransferHeader::Kind::Font;
        h.length = FontMemorySize;
    }
    return h;
}

// One stored bitmap of the directory (entries 1..127): byte columns, rows and the
// banked address of its first pixel byte.
struct DirectoryEntry {
    int widthBytes = 0;      // byte 0
    int height = 0;          // bytes 1 (low) and 7 (high)
    std::uint32_t start = 0; // bytes 2..4, banked address
};

struct Directory {
    int count = 0;                      // entry 0, byte 0, as stored
    std::uint32_t end = 0;              // entry 0, bytes 1..3, banked address
    std::vector<DirectoryEntry> images; // images[n] is entry n + 1, at most 127 of them
};

// The 1024 directory bytes of a list of bitmaps that ends at position end.
inline QByteArray encodeDirectory(const std::vector<DirectoryEntry>& images, std::uint32_t end) {
    QByteArray out(DirectorySize, '\0');
    auto* d = reinterpret_cast<std::uint8_t*>(out.data());
    const BankedAddress e = bankedAddress(end);
    d[0] = std::uint8_t(images.size());
    d[1] = e.low;
    d[2] = e.page;
    d[3] = e.bank;
    const std::size_t n = std::min<std::size_t>(images.size(), MaxBitmaps);
    for (std::size_t k = 0; k < n; ++k) {
        std::uint8_t* entry = d + (k + 1) * DirectoryEntrySize;
        const BankedAddress s = bankedAddress(images[k].start);
        entry[0] = std::uint8_t(images[k].widthBytes);
        entry[1] = std::uint8_t(images[k].height & 0xFF);
        entry[2] = s.low;
        entry[3] = s.page;
        entry[4] = s.bank;
        entry[7] = std::uint8_t(images[k].height >> 8);
    }
    return out;
}

// Reads the directory from the start of an image or of image memory; bytes beyond
// the end of memory read as 0.
inline Directory decodeDirectory(const QByteArray& memory) {
    const auto at = [&](int position) -> std::uint8_t {
        return position < memory.size() ? std::uint8_t(memory[position]) : std::uint8_t(0);
    };
    Directory dir;
    dir.count = at(0);
    dir.end = positionOf({at(1), at(2), at(3)});
    const int entries = std::min(dir.count, MaxBitmaps);
    dir.images.reserve(std::size_t(entries));
    for (int k = 1; k <= entries; ++k) {
        const int e = DirectoryEntrySize * k;
        DirectoryEntry image;
        image.widthBytes = at(e);
        image.height = int(at(e + 1)) | int(at(e + 7)) << 8;
        image.start = positionOf({at(e + 2), at(e + 3), at(e + 4)});
        dir.images.push_back(image);
    }
    return dir;
}

// Byte k of row r of a stored bitmap, read from image memory (or from a download
// image, which is what memory holds after its download); -1 where the byte lies
// beyond memory: the module draws nothing there.
inline int storedByte(const QByteArray& memory, const DirectoryEntry& image, int row, int k) {
    const qint64 position = qint64(image.start) + qint64(row) * image.widthBytes + k;
    return position < memory.size() && position < ImageMemorySize ? int(std::uint8_t(memory[position])) : -1;
}

} // namespace panelix::module
