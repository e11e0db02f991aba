#include "simulator/tools/UnifontHex.h"

#include <QFile>

namespace panelix {

namespace {
int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

bool parseLine(QByteArrayView line, char32_t* code, Glyph* glyph) {
    const qsizetype colon = line.indexOf(':');
    if (colon < 1 || colon > 6)
        return false;
    char32_t cp = 0;
    for (qsizetype i = 0; i < colon; ++i) {
        const int v = hexValue(line[i]);
        if (v < 0)
            return false;
        cp = cp * 16 + char32_t(v);
    }
    QByteArrayView digits = line.sliced(colon + 1);
    while (!digits.isEmpty() && (digits.back() == '\r' || digits.back() == ' '))
        digits.chop(1);
    if (cp > 0x10FFFF || (digits.size() != 32 && digits.size() != 64))
        return false;
    QByteArray bytes(digits.size() / 2, '\0');
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const int hi = hexValue(digits[2 * i]);
        const int lo = hexValue(digits[2 * i + 1]);
        if (hi < 0 || lo < 0)
            return false;
        bytes[i] = char(hi << 4 | lo);
    }
    glyph->width = digits.size() == 64 ? 16 : 8;
    if (glyph->width == 16) {
        glyph->cell = bytes;
    } else {
        glyph->cell = QByteArray(32, '\0');
        for (int r = 0; r < 16; ++r)
            glyph->cell[2 * r] = bytes[r];
    }
    *code = cp;
    return true;
}
} // namespace

GlyphMap parseUnifontHex(QByteArrayView text) {
    GlyphMap glyphs;
    qsizetype at = 0;
    while (at < text.size()) {
        qsizetype end = text.indexOf('\n', at);
        if (end < 0)
            end = text.size();
        char32_t code = 0;
        Glyph glyph;
        if (parseLine(text.sliced(at, end - at), &code, &glyph))
            glyphs.insert(code, glyph);
        at = end + 1;
    }
    return glyphs;
}

bool readUnifontHex(const QString& path, GlyphMap* glyphs, QString* error) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("无法打开Unifont字形文件:") + path;
        return false;
    }
    *glyphs = parseUnifontHex(file.readAll());
    if (file.error() != QFileDevice::NoError) {
        *error = QStringLiteral("无法读取Unifont字形文件:") + path;
        return false;
    }
    if (glyphs->isEmpty()) {
        *error = QStringLiteral("Unifont字形文件中没有字形:") + path;
        return false;
    }
    return true;
}

} // namespace panelix
