// GBK through Qt's converters, which have it when Qt is built with ICU (Debian's is).
#include "common/Gbk.h"

#include <QList>
#include <QStringDecoder>
#include <QStringEncoder>

namespace panelix {

QByteArray toGbk(const QString& text) {
    // Opening a converter costs far more than most texts; a list file is mostly empty records.
    if (text.isEmpty())
        return {};
    QStringEncoder encoder("GBK", QStringConverter::Flag::Stateless);
    if (!encoder.isValid()) {
        // Without a codec keep what ASCII can say and mark the rest unknown.
        QByteArray out;
        for (QChar c : text)
            out.append(c.unicode() < 0x80 ? char(c.unicode()) : '?');
        return out;
    }
    return encoder.encode(text);
}

QString fromGbk(const QByteArray& bytes) {
    if (bytes.isEmpty())
        return {};
    QStringDecoder decoder("GBK", QStringConverter::Flag::Stateless);
    if (!decoder.isValid())
        return QString::fromLatin1(bytes);
    return decoder.decode(bytes);
}

namespace {
QStringDecoder gb2312Decoder() {
    QStringDecoder decoder("GB2312", QStringConverter::Flag::Stateless);
    if (!decoder.isValid())
        decoder = QStringDecoder("GBK", QStringConverter::Flag::Stateless);
    return decoder;
}

bool privateUse(char32_t c) {
    return (c >= 0xE000 && c <= 0xF8FF) || c == 0xFFFD;
}
} // namespace

char32_t gb2312ToUnicode(quint8 lead, quint8 trail) {
    static thread_local QStringDecoder decoder = gb2312Decoder();
    if (!decoder.isValid() || lead < 0xA1 || lead > 0xFE || trail < 0xA1 || trail > 0xFE)
        return 0;
    const char code[2] = {char(lead), char(trail)};
    const QString s = decoder.decode(QByteArrayView(code, 2));
    const QList<uint> ucs4 = s.toUcs4();
    if (ucs4.size() != 1 || privateUse(ucs4.front()))
        return 0;
    return ucs4.front();
}

bool gbkAvailable() {
    return QStringEncoder("GBK").isValid();
}

} // namespace panelix
