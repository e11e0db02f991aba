#include "common/Gbk.h"

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

bool gbkAvailable() {
    return QStringEncoder("GBK").isValid();
}

QStringList textCharacters(const QString& text) {
    QStringList out;
    for (qsizetype i = 0; i < text.size();) {
        const bool pair =
            text.at(i).isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate();
        const qsizetype n = pair ? 2 : 1;
        out.append(text.mid(i, n));
        i += n;
    }
    return out;
}

QByteArray moduleTextCodes(const QString& text) {
    QByteArray out;
    for (const QString& character : textCharacters(text)) {
        const QByteArray code = toGbk(character);
        out.append(code.size() == 1 || code.size() == 2 ? code : QByteArray(1, '?'));
    }
    return out;
}

} // namespace panelix
