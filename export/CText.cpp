#include "export/CText.h"

#include <QFileInfo>
#include <QRegularExpression>

#include <array>

namespace panelix {

namespace {

bool identifierChar(QChar c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u'_';
}

bool cKeyword(const QString& word) {
    static const std::array<const char*, 44> keywords = {
        "auto", "break", "case", "char", "const", "continue", "default", "do", "double", "else",
        "enum", "extern", "float", "for", "goto", "if", "inline", "int", "long", "register",
        "restrict", "return", "short", "signed", "sizeof", "static", "struct", "switch", "typedef",
        "union", "unsigned", "void", "volatile", "while", "bool", "true", "false", "nullptr",
        "alignas", "alignof", "constexpr", "static_assert", "thread_local", "typeof"};
    for (const char* k : keywords)
        if (word == QLatin1String(k))
            return true;
    return false;
}

QString scanName(ScanMode scan) {
    switch (scan) {
    case ScanMode::Rows: return QStringLiteral("rows");
    case ScanMode::RowsColumnMajor: return QStringLiteral("rows-cm");
    case ScanMode::Columns: return QStringLiteral("columns");
    case ScanMode::Pages: return QStringLiteral("pages");
    }
    return {};
}

QByteArray comment(const ExportedImage& image) {
    return QStringLiteral("/* %1: width=%2 height=%3 %4 size=%5 */\n")
        .arg(image.name)
        .arg(image.width)
        .arg(image.height)
        .arg(describeOptions(image.options))
        .arg(image.bytes.size())
        .toUtf8();
}

// Text with every comment replaced by spaces (newlines kept, so lines keep their numbers).
QByteArray withoutComments(const QByteArray& text) {
    QByteArray out = text;
    qsizetype i = 0;
    const qsizetype n = out.size();
    while (i < n) {
        if (out[i] == '/' && i + 1 < n && out[i + 1] == '/') {
            while (i < n && out[i] != '\n')
                out[i++] = ' ';
        } else if (out[i] == '/' && i + 1 < n && out[i + 1] == '*') {
            out[i++] = ' ';
            out[i++] = ' ';
            while (i < n && !(out[i] == '*' && i + 1 < n && out[i + 1] == '/')) {
                if (out[i] != '\n')
                    out[i] = ' ';
                ++i;
            }
            if (i < n) {
                out[i++] = ' ';
                out[i++] = ' ';
            }
        } else {
            ++i;
        }
    }
    return out;
}

int lineAt(const QByteArray& text, qsizetype pos) {
    return int(text.left(pos).count('\n')) + 1;
}

// A C integer literal, its value in *value; false when it is none or too large for 64 bits.
bool parseInteger(QByteArrayView token, quint64* value) {
    while (!token.isEmpty() && (token.back() == 'u' || token.back() == 'U' || token.back() == 'l' ||
                                token.back() == 'L'))
        token.chop(1);
    int base = 10;
    if (token.size() > 2 && token[0] == '0' && (token[1] == 'x' || token[1] == 'X'))
        base = 16, token = token.sliced(2);
    else if (token.size() > 2 && token[0] == '0' && (token[1] == 'b' || token[1] == 'B'))
        base = 2, token = token.sliced(2);
    else if (token.size() > 1 && token[0] == '0')
        base = 8, token = token.sliced(1);
    if (token.isEmpty())
        return false;
    bool ok = false;
    *value = token.toULongLong(&ok, base);
    // toULongLong takes a sign and a "0x" of its own; a C literal has neither here.
    return ok && token[0] != '+' && token[0] != '-' && !token.contains('x') && !token.contains('X');
}

} // namespace

QString cIdentifier(const QString& fileName) {
    const QString base = QFileInfo(fileName).completeBaseName();
    QString id;
    bool replaced = false;
    for (QChar c : base) {
        if (identifierChar(c) && c.unicode() < 0x80) {
            id += c;
            replaced = false;
        } else if (!replaced) {
            id += u'_';
            replaced = true;
        }
    }
    if (id.isEmpty() || id == QLatin1String("_"))
        return QStringLiteral("image");
    if (id[0].isDigit() || id[0] == u'_')
        id.prepend(QStringLiteral("image_"));
    if (cKeyword(id))
        id += u'_';
    return id;
}

QString describeOptions(const ExportOptions& o) {
    QString s = QStringLiteral("scan=%1 bits=%2 dark=%3 word=%4")
                    .arg(scanName(o.scan),
                         o.bitOrder == BitOrder::MsbFirst ? QStringLiteral("msb-first") : QStringLiteral("lsb-first"),
                         o.polarity == Polarity::DarkIsOne ? QStringLiteral("1") : QStringLiteral("0"))
                    .arg(o.wordBits);
    if (o.wordBits == 16)
        s += o.byteOrder == ByteOrder::BigEndian ? QStringLiteral(" order=big-endian")
                                                 : QStringLiteral(" order=little-endian");
    s += o.padLines ? QStringLiteral(" padding=line") : QStringLiteral(" padding=none");
    return s;
}

QByteArray cArrayDefinition(const QString& name, const QByteArray& bytes) {
    static const char digits[] = "0123456789ABCDEF";
    QByteArray out = "const uint8_t " + name.toUtf8() + '[' + QByteArray::number(bytes.size()) + "] = {\n";
    out.reserve(out.size() + bytes.size() * 6 + bytes.size() / 16 * 5 + 8);
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (i % 16 == 0)
            out += "    ";
        const auto b = quint8(bytes[i]);
        out += "0x";
        out += digits[b >> 4];
        out += digits[b & 15];
        out += ',';
        out += (i % 16 == 15 || i + 1 == bytes.size()) ? '\n' : ' ';
    }
    out += "};\n";
    return out;
}

QByteArray toCSource(const ExportedImage& image) {
    return comment(image) + "#include <stdint.h>\n\n" + cArrayDefinition(image.name, image.bytes);
}

QByteArray toCHeader(const ExportedImage& image) {
    const QByteArray upper = image.name.toUpper().toUtf8();
    const QByteArray guard = upper + "_H";
    QByteArray out = "#ifndef " + guard + "\n#define " + guard + "\n\n" + comment(image) +
                     "#include <stdint.h>\n\n";
    out += "#define " + upper + "_WIDTH " + QByteArray::number(image.width) + '\n';
    out += "#define " + upper + "_HEIGHT " + QByteArray::number(image.height) + '\n';
    out += "#define " + upper + "_SIZE " + QByteArray::number(image.bytes.size()) + "\n\n";
    out += "extern const uint8_t " + image.name.toUtf8() + '[' + upper + "_SIZE];\n\n";
    out += "#endif /* " + guard + " */\n";
    return out;
}

QByteArray toHexDump(const QByteArray& bytes) {
    QByteArray out;
    for (qsizetype i = 0; i < bytes.size(); i += 16) {
        out += QByteArray::number(i, 16).rightJustified(8, '0');
        out += ' ';
        const QByteArray line = bytes.mid(i, 16);
        for (char c : line) {
            out += ' ';
            out += QByteArray(1, c).toHex();
        }
        out += '\n';
    }
    return out;
}

bool parseOptionWords(const QString& text, ExportOptions* options) {
    static const QRegularExpression wordRe(QStringLiteral("\\b(scan|bits|dark|word|order|padding)=([a-z0-9-]+)"));
    ExportOptions o;
    unsigned seen = 0; // a bit for each of scan, bits, dark, word, padding
    for (auto it = wordRe.globalMatch(text); it.hasNext();) {
        const auto m = it.next();
        const QString key = m.captured(1), value = m.captured(2);
        bool known = true;
        unsigned bit = 0; // order is optional: no bit
        if (key == QLatin1String("scan")) {
            bit = 1;
            known = false;
            for (ScanMode s : {ScanMode::Rows, ScanMode::RowsColumnMajor, ScanMode::Columns, ScanMode::Pages})
                if (value == scanName(s))
                    o.scan = s, known = true;
        } else if (key == QLatin1String("bits")) {
            bit = 2;
            known = value == QLatin1String("msb-first") || value == QLatin1String("lsb-first");
            o.bitOrder = value == QLatin1String("lsb-first") ? BitOrder::LsbFirst : BitOrder::MsbFirst;
        } else if (key == QLatin1String("dark")) {
            bit = 4;
            known = value == QLatin1String("1") || value == QLatin1String("0");
            o.polarity = value == QLatin1String("0") ? Polarity::DarkIsZero : Polarity::DarkIsOne;
        } else if (key == QLatin1String("word")) {
            bit = 8;
            known = value == QLatin1String("8") || value == QLatin1String("16");
            o.wordBits = value.toInt();
        } else if (key == QLatin1String("order")) {
            known = value == QLatin1String("big-endian") || value == QLatin1String("little-endian");
            o.byteOrder = value == QLatin1String("little-endian") ? ByteOrder::LittleEndian : ByteOrder::BigEndian;
        } else {
            bit = 16;
            known = value == QLatin1String("line") || value == QLatin1String("none");
            o.padLines = value == QLatin1String("line");
        }
        if (!known)
            return false;
        seen |= bit;
    }
    if (seen != 31)
        return false;
    *options = o;
    return true;
}

ParsedCArray parseCArray(const QByteArray& text) {
    ParsedCArray result;
    const QByteArray code = withoutComments(text);
    const qsizetype open = code.indexOf('{');
    if (open < 0) {
        result.error = ExportError::MissingOpenBrace;
        return result;
    }
    const qsizetype close = code.indexOf('}', open + 1);
    if (close < 0) {
        result.error = ExportError::MissingCloseBrace;
        result.line = lineAt(code, open);
        return result;
    }
    // Width and height as toCSource() writes them in the comment before the array.
    static const QRegularExpression widthRe(QStringLiteral("\\bwidth=(\\d+)"));
    static const QRegularExpression heightRe(QStringLiteral("\\bheight=(\\d+)"));
    const QString head = QString::fromUtf8(text.left(open));
    const auto w = widthRe.match(head), h = heightRe.match(head);
    if (w.hasMatch() && h.hasMatch()) {
        result.width = w.captured(1).toInt();
        result.height = h.captured(1).toInt();
    }
    result.hasOptions = parseOptionWords(head, &result.options);

    QByteArray bytes;
    qsizetype i = open + 1;
    bool needSeparator = false;
    while (i < close) {
        const char c = code[i];
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
            ++i;
            continue;
        }
        if (c == ',') {
            if (!needSeparator) { // ",," or a comma first
                result.error = ExportError::BadNumber;
                result.line = lineAt(code, i);
                return result;
            }
            needSeparator = false;
            ++i;
            continue;
        }
        qsizetype end = i;
        while (end < close && code[end] != ',' && code[end] != ' ' && code[end] != '\t' && code[end] != '\n' &&
               code[end] != '\r')
            ++end;
        quint64 value = 0;
        if (needSeparator || !parseInteger(QByteArrayView(code).sliced(i, end - i), &value)) {
            result.error = ExportError::BadNumber;
            result.line = lineAt(code, i);
            return result;
        }
        if (value > 255) {
            result.error = ExportError::NumberTooLarge;
            result.line = lineAt(code, i);
            return result;
        }
        bytes.append(char(value));
        needSeparator = true;
        i = end;
    }
    if (bytes.isEmpty()) {
        result.error = ExportError::NoData;
        result.line = lineAt(code, open);
        return result;
    }
    result.bytes = bytes;
    return result;
}

} // namespace panelix
