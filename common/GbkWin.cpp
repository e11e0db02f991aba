// GBK through Windows' own code page 936: Qt for Windows is built without ICU, and
// its converters know no GBK there.
#include "common/Gbk.h"

#include <QList>

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <vector>

namespace panelix {

namespace {

constexpr UINT CodePageGbk = 936;

// One character of GBK (one byte, or a lead and a trail byte); the replacement
// character when the bytes are no GBK character.
QChar decodeOne(const char* bytes, int length) {
    wchar_t out[2] = {};
    const int n = MultiByteToWideChar(CodePageGbk, MB_ERR_INVALID_CHARS, bytes, length, out, 2);
    return n == 1 ? QChar(char16_t(out[0])) : QChar(QChar::ReplacementCharacter);
}

} // namespace

QByteArray toGbk(const QString& text) {
    if (text.isEmpty())
        return {};
    QByteArray out;
    out.reserve(text.size() * 2);
    // Character by character, so each character without a GBK code is exactly one '?'
    // (a surrogate pair too), and no "best fit" stand-in replaces it.
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c.unicode() < 0x80) {
            out.append(char(c.unicode()));
            continue;
        }
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            ++i;
            out.append('?');
            continue;
        }
        const wchar_t w = wchar_t(c.unicode());
        char buf[4] = {};
        BOOL usedDefault = FALSE;
        const int n = WideCharToMultiByte(CodePageGbk, WC_NO_BEST_FIT_CHARS, &w, 1, buf, sizeof buf, "?",
                                          &usedDefault);
        if (n <= 0 || usedDefault)
            out.append('?');
        else
            out.append(buf, n);
    }
    return out;
}

QString fromGbk(const QByteArray& bytes) {
    if (bytes.isEmpty())
        return {};
    QString out;
    out.reserve(bytes.size());
    const char* p = bytes.constData();
    const qsizetype size = bytes.size();
    for (qsizetype i = 0; i < size;) {
        const auto b = static_cast<unsigned char>(p[i]);
        if (b < 0x80) {
            out.append(QChar(char16_t(b)));
            ++i;
        } else if (IsDBCSLeadByteEx(CodePageGbk, BYTE(b)) && i + 1 < size) {
            const QChar c = decodeOne(p + i, 2);
            out.append(c);
            // A lead byte without a valid trail byte stands alone: the next byte starts afresh.
            i += c == QChar::ReplacementCharacter ? 1 : 2;
        } else {
            out.append(decodeOne(p + i, 1));
            ++i;
        }
    }
    return out;
}

char32_t gb2312ToUnicode(quint8 lead, quint8 trail) {
    if (lead < 0xA1 || lead > 0xFE || trail < 0xA1 || trail > 0xFE)
        return 0;
    const char code[2] = {char(lead), char(trail)};
    const QList<uint> ucs4 = fromGbk(QByteArray(code, 2)).toUcs4();
    if (ucs4.size() != 1 || (ucs4.front() >= 0xE000 && ucs4.front() <= 0xF8FF) || ucs4.front() == 0xFFFD)
        return 0;
    return ucs4.front();
}

bool gbkAvailable() {
    return IsValidCodePage(CodePageGbk) != FALSE;
}

} // namespace panelix
