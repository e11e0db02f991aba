#pragma once

#include "bitmap/MonoBitmap.h"

#include <QByteArray>
#include <QString>

namespace panelix {

// How the dots of a picture become bytes for a firmware: the layouts display
// controllers and font routines read.
//
// A word (8 or 16 bits) holds consecutive dots of one line: horizontal words hold dots
// of one row left to right, vertical words dots of one column top to bottom. The scan
// says in which order the words follow each other:
enum class ScanMode {
    Rows,            // horizontal words, row by row, each row left to right (the module's layout)
    RowsColumnMajor, // horizontal words, word column by word column, each top to bottom
    Columns,         // vertical words, column by column, each column top to bottom
    Pages,           // vertical words, page (8 or 16 rows) by page, each page left to right
};

enum class BitOrder {
    MsbFirst, // the first dot of a word (leftmost or topmost) in its most significant bit
    LsbFirst, // the first dot in bit 0
};

enum class Polarity { DarkIsOne, DarkIsZero };

// The order of the two bytes of a 16-bit word in the output.
enum class ByteOrder { BigEndian, LittleEndian };

struct ExportOptions {
    ScanMode scan = ScanMode::Rows;
    BitOrder bitOrder = BitOrder::MsbFirst;
    Polarity polarity = Polarity::DarkIsOne;
    int wordBits = 8; // 8 or 16
    ByteOrder byteOrder = ByteOrder::BigEndian;
    // True: every line (row or column) starts a new word, the rest of its last word is
    // padding. False: the dots are packed back to back across lines, only the end padded.
    bool padLines = true;

    friend bool operator==(const ExportOptions&, const ExportOptions&) = default;
};

// The options a vertical scan is usually read with: the top dot of a word in bit 0, as
// the page-addressed OLED and LCD controllers take it. Horizontal scans keep the
// defaults above (bit 7 leftmost).
ExportOptions defaultOptionsFor(ScanMode scan);

enum class ExportError {
    None,
    BadSize,          // width or height not in 1..MaxExportSide
    BadOptions,       // a word size other than 8 or 16
    SizeMismatch,     // the bytes are not exactly exportedSize() long
    MissingOpenBrace, // C text without '{'
    MissingCloseBrace,
    BadNumber,        // something between the braces that is no C integer
    NumberTooLarge,   // a number above 255
    NoData,           // braces with no number between them
};

inline constexpr int MaxExportSide = 16384;

// The number of bytes exportBitmap() makes for a width x height picture, or -1 for a size
// or options it refuses.
qsizetype exportedSize(int width, int height, const ExportOptions& options);

// The picture's dots as bytes. Padding bits read as light dots (0 with DarkIsOne, 1 with
// DarkIsZero); the unused bits the module keeps at the end of a row are never exported.
// An empty picture or bad options give an empty array.
QByteArray exportBitmap(const MonoBitmap& bitmap, const ExportOptions& options);

struct ImportedBitmap {
    ExportError error = ExportError::None;
    qsizetype expectedSize = 0; // for SizeMismatch
    MonoBitmap bitmap;          // unused bits of its rows light
};

// The reverse of exportBitmap(): bytes must be exactly exportedSize() long.
ImportedBitmap bitmapFromBytes(const QByteArray& bytes, int width, int height, const ExportOptions& options);

} // namespace panelix
