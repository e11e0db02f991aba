// libFuzzer entry for the command console. The first byte picks the command (also
// outside the list), the second how the rest is read as text; then the console goes
// through a pick, typing, the invert button, a send and more typing, as a user
// could, and every text it hands back is checked for what it may contain.
#include "FuzzSupport.h"

#include "console/CommandConsole.h"

#include <cstdint>

namespace {

using panelix::CommandConsole;

// One character as the user sees it: a surrogate pair counts once.
QStringList characters(const QString& text) {
    QStringList out;
    for (qsizetype i = 0; i < text.size();) {
        const qsizetype n =
            text.at(i).isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate() ? 2 : 1;
        out.append(text.mid(i, n));
        i += n;
    }
    return out;
}

QString upperAscii(QString text) {
    for (QChar& c : text)
        if (c >= u'a' && c <= u'z')
            c = QChar(c.unicode() - 32);
    return text;
}

bool onlyHexDigits(const QString& text) {
    for (QChar c : text)
        if (!((c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F')))
            return false;
    return true;
}

// Codes in GBK: a lead byte 0x81..0xFE takes a second byte, anything else stands alone.
int gbkCharacters(const QByteArray& codes) {
    int count = 0;
    for (qsizetype i = 0; i < codes.size(); ++count)
        i += uchar(codes[i]) >= 0x81 && uchar(codes[i]) <= 0xFE ? 2 : 1;
    return count;
}

QString textOf(const std::uint8_t* data, std::size_t size, int how) {
    const auto* chars = reinterpret_cast<const char*>(data);
    switch (how) {
    case 0: // UTF-16 as typed, unpaired surrogates included
        return QString(reinterpret_cast<const QChar*>(data), qsizetype(size / 2));
    case 1:
        return QString::fromUtf8(chars, qsizetype(size));
    default:
        return QString::fromLatin1(chars, qsizetype(size));
    }
}

// The preview is the first four characters of the command text, the parameters
// and the terminator, with a to z upper-cased. Hex commands take the parameters as
// typed; text commands take X and Y as typed and then one GBK code per character.
void checkPreview(const QString& preview, const QString& prefix, int kind, const QString& typed) {
    FUZZ_CHECK(preview.startsWith(upperAscii(prefix)));
    FUZZ_CHECK(preview.endsWith(QStringLiteral("0D")));
    const QString params = preview.mid(prefix.size(), preview.size() - prefix.size() - 2);
    if (kind >= 2) {
        FUZZ_CHECK(params == upperAscii(typed));
        return;
    }
    const QStringList chars = characters(typed);
    const QString coordinates = upperAscii(chars.mid(0, 4).join(QString()));
    FUZZ_CHECK(params.startsWith(coordinates));
    const QString codes = params.mid(coordinates.size());
    FUZZ_CHECK(onlyHexDigits(codes) && codes.size() % 2 == 0);
    FUZZ_CHECK(gbkCharacters(QByteArray::fromHex(codes.toLatin1())) == qMax<qsizetype>(0, chars.size() - 4));
}

QString prefixOf(const CommandConsole& console) {
    return characters(console.commandHex()).mid(0, 4).join(QString());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2)
        return 0;
    const int kind = int(qint8(data[0])) % 12; // -11..11: the nine commands and beyond
    const QString typed = textOf(data + 2, size - 2, data[1] % 3);
    CommandConsole console;

    const QString caption =
        kind >= 0 && kind < CommandConsole::CommandCount ? CommandConsole::captions().at(kind) : typed;
    const QString label = console.select(kind, caption);
    FUZZ_CHECK(label == QStringLiteral("请输入命令--") + caption);
    FUZZ_CHECK(onlyHexDigits(console.commandHex()));
    FUZZ_CHECK(console.preview(QString()) == upperAscii(prefixOf(console)) + QStringLiteral("0D"));

    const QString preview = console.preview(typed);
    checkPreview(preview, prefixOf(console), kind, typed);

    // The invert button sets the top bit of the command byte once, and keeps the
    // number of characters.
    const QString inverted = console.invert(preview);
    FUZZ_CHECK(characters(inverted).size() == characters(preview).size());
    if (inverted != preview) {
        FUZZ_CHECK(inverted.startsWith(QStringLiteral("1D")));
        const QChar nibble = inverted.at(2);
        FUZZ_CHECK((nibble >= u'8' && nibble <= u'9') || (nibble >= u'A' && nibble <= u'F'));
        FUZZ_CHECK(inverted.mid(3) == characters(preview).mid(3).join(QString()));
    }
    FUZZ_CHECK(console.invert(inverted) == inverted);

    // Only whole hex bytes, at least three of them, are sent, and then exactly those.
    const CommandConsole::SendResult sent = console.send(data[1] & 0x80 ? typed : inverted);
    FUZZ_CHECK(sent.commandHex == upperAscii(data[1] & 0x80 ? typed : inverted));
    const bool wellFormed = sent.commandHex.size() >= 6 && sent.commandHex.size() % 2 == 0 && onlyHexDigits(sent.commandHex);
    FUZZ_CHECK(sent.valid == wellFormed);
    if (sent.valid)
        FUZZ_CHECK(QString::fromLatin1(sent.bytes.toHex().toUpper()) == sent.commandHex);
    else
        FUZZ_CHECK(sent.bytes.isEmpty());

    // Typing after a send keeps the sent command's first four characters.
    FUZZ_CHECK(console.commandHex() == sent.commandHex);
    checkPreview(console.preview(typed), prefixOf(console), kind, typed);
    return 0;
}
