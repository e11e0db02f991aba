// GBK through Qt's converters, which have it when Qt is built with ICU (Debian's is).
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

} // namespace panelix
