// What GBK means for the module's text, the same on every system; the conversions
// themselves are in one private file per system.
#include "common/Gbk.h"

namespace panelix {

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
