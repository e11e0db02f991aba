#pragma once

#include "export/ExportFormat.h"

#include <QByteArray>
#include <QString>

namespace panelix {

// A valid C identifier from a file name: the name without folder and extension, every
// run of characters other than ASCII letters, digits and '_' one '_', "image_" before a
// leading digit or underscore, '_' after a C keyword; "image" when nothing is left.
QString cIdentifier(const QString& fileName);

// What the writers below describe in their comment.
struct ExportedImage {
    QString name; // a C identifier (cIdentifier())
    int width = 0;
    int height = 0;
    ExportOptions options;
    QByteArray bytes;
};

// The options in one line, as the comments of the C texts carry them:
// "scan=rows bits=msb-first dark=1 word=8 padding=line" (and "order=" for 16-bit words).
QString describeOptions(const ExportOptions& options);

// The options of a describeOptions() text found anywhere in text; false when one of scan,
// bits, dark, word and padding is missing or unknown (order defaults to big-endian).
bool parseOptionWords(const QString& text, ExportOptions* options);

// C source: a comment with the name, width, height and options, <stdint.h> and
// "const uint8_t name[N] = { ... };", 16 numbers a line.
QByteArray toCSource(const ExportedImage& image);

// A C header: include guards, the same comment, NAME_WIDTH, NAME_HEIGHT and NAME_SIZE
// and the declaration "extern const uint8_t name[NAME_SIZE];" of the array of the source.
QByteArray toCHeader(const ExportedImage& image);

// "const uint8_t name[N] = { ... };\n" alone, for writers that put several arrays in one
// file.
QByteArray cArrayDefinition(const QString& name, const QByteArray& bytes);

// Lines of "OOOOOOOO  xx xx ... xx" with the offset and 16 bytes.
QByteArray toHexDump(const QByteArray& bytes);

struct ParsedCArray {
    ExportError error = ExportError::None;
    int line = 0;     // 1-based line of the fault, 0 when it has none
    QByteArray bytes; // the numbers between the first pair of braces
    // Width and height when a comment before the braces says "width=W" and "height=H"
    // (toCSource() writes them); 0 when it does not.
    int width = 0;
    int height = 0;
    // The options when that comment names them all as describeOptions() writes them.
    bool hasOptions = false;
    ExportOptions options;
};

// The numbers between the first '{' and the next '}' outside comments: decimal, hex (0x),
// octal (leading 0) or binary (0b), with C's u/U/l/L suffixes, separated by commas and
// white space, a trailing comma allowed. Each must fit in a byte.
ParsedCArray parseCArray(const QByteArray& text);

} // namespace panelix
