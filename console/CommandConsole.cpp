#include "console/CommandConsole.h"

#include "common/Gbk.h"
#include "protocol/Module.h"

#include <QCoreApplication>

#include <array>
#include <cstdint>

namespace panelix {

namespace {

// The picker lists the commands in this order; the item index picks the command byte.
constexpr std::array<std::uint8_t, CommandConsole::CommandCount> CommandBytes = {
    module::CmdShowText,    module::CmdShowLargeText, module::CmdShowImage,
    module::CmdClearScreen, module::CmdClearRect,     module::CmdInvertRect,
    module::CmdDrawRect,    module::CmdBacklightOn,   module::CmdBacklightOff,
};

// Kinds below this one take X and Y as hex digits followed by characters to show;
// the others take all their parameters as hex digits.
constexpr int FirstHexKind = 2;
// X and Y: the characters copied before the text to show.
constexpr int CoordinateChars = 4;
constexpr int PrefixChars = 4;
constexpr int MinCommandChars = 6;

// Upper case for the letters a to z only: a full case mapping could turn one
// character into several hex digits (the ligature "ﬀ" into "FF").
QString upperAscii(QString text) {
    for (QChar& c : text) {
        if (c >= QLatin1Char('a') && c <= QLatin1Char('z'))
            c = QChar(c.unicode() - ('a' - 'A'));
    }
    return text;
}

QString hexText(const QByteArray& bytes) {
    return QString::fromLatin1(bytes.toHex().toUpper());
}

// What the user sees as one character: a surrogate pair stays whole, so a character
// outside the BMP is neither split in two nor counted twice.
QStringList characters(const QString& text) {
    return textCharacters(text);
}

// The character's code as the module expects it; '?' for one without a GBK code.
QByteArray gbkCode(const QString& character) {
    return moduleTextCodes(character);
}

bool isHexDigit(QChar c) {
    return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F');
}

// The third character is the high nibble of the command byte. It counts as not yet
// inverted when its code, read as a signed 16-bit number, lies below '8': digits 0-7,
// controls, space and the punctuation before '0', and every double-byte character,
// whose lead byte (0x81 and up) makes the number negative.
bool notYetInverted(const QString& character) {
    const QByteArray code = gbkCode(character);
    return code.size() == 2 || std::uint8_t(code.at(0)) < '8';
}

} // namespace

const QStringList& CommandConsole::captions() {
    static const QStringList list = {
        QStringLiteral(QT_TRANSLATE_NOOP("panelix::CommandConsole", "显示汉字(XY汉):")),
        QStringLiteral(QT_TRANSLATE_NOOP("panelix::CommandConsole", "显示大汉字(XY汉):")),
        QStringLiteral(QT_TRANSLATE_NOOP("panelix::CommandConsole", "显示图像(XYN):")),
        QStringLiteral(QT_TRANSLATE_NOOP("panelix::CommandConsole", "清除全屏:")),
        QStringLiteral(QT_TRANSLATE_NOOP("panelix::CommandConsole", "清除距形(XYWH):")),
        QStringLiteral(QT_TRANSLATE_NOOP("panelix::CommandConsole", "反色距形(XYWH):")),
        QStringLiteral(QT_TRANSLATE_NOOP("panelix::CommandConsole", "显示距形(XYWHB):")),
        QStringLiteral(QT_TRANSLATE_NOOP("panelix::CommandConsole", "背光打开:")),
        QStringLiteral(QT_TRANSLATE_NOOP("panelix::CommandConsole", "背光关闭:")),
    };
    return list;
}

QStringList CommandConsole::shownCaptions() {
    QStringList shown;
    for (const QString& caption : captions())
        shown.append(QCoreApplication::translate("panelix::CommandConsole", caption.toUtf8().constData()));
    return shown;
}

QString CommandConsole::templateFor(int index) {
    if (index < 0 || index >= CommandCount)
        return {};
    return hexText(module::simpleCommand(CommandBytes[std::size_t(index)]));
}

QString CommandConsole::select(int index, const QString& editText) {
    commandKind_ = qint16(index);
    if (index >= 0 && index < CommandCount)
        commandHex_ = templateFor(index);
    commandText_ = editText;
    return QCoreApplication::translate("panelix::CommandConsole", "请输入命令--") + commandText_;
}

QString CommandConsole::preview(const QString& editText) {
    commandText_ = editText;
    if (commandKind_ >= FirstHexKind) {
        paramHex_ = editText;
    } else {
        paramHex_.clear();
        const QStringList chars = characters(editText);
        for (qsizetype i = 0; i < chars.size(); ++i) {
            // Two digits per byte even below 0x10, so that every code keeps the
            // byte boundaries of the command text.
            paramHex_ += i < CoordinateChars ? chars.at(i) : hexText(gbkCode(chars.at(i)));
        }
    }
    // After a send the prefix is the sent text's, so an edited or inverted command
    // byte survives further typing until the next selection.
    const QString prefix = characters(commandHex_).mid(0, PrefixChars).join(QString());
    return upperAscii(prefix + paramHex_ + hexText(QByteArray(1, char(module::Terminator))));
}

CommandConsole::SendResult CommandConsole::send(const QString& hex) {
    commandHex_ = upperAscii(hex);
    SendResult result{commandHex_, false, {}};
    const qsizetype length = commandHex_.size();
    if (length < MinCommandChars || length % 2 != 0)
        return result;
    for (QChar c : commandHex_) {
        if (!isHexDigit(c))
            return result;
    }
    result.valid = true;
    result.bytes = QByteArray::fromHex(commandHex_.toLatin1());
    return result;
}

QString CommandConsole::invert(const QString& hex) {
    const QStringList chars = characters(hex);
    if (chars.size() < 4)
        return hex;
    const QString third = chars.at(2);
    if (!notYetInverted(third))
        return hex;
    commandText_ = third;
    const QChar c = third.at(0);
    const int v = (third.size() == 1 && c >= u'0' && c <= u'7') ? c.unicode() - u'0' : 0;
    const int nibble = v + (module::InvertedBit >> 4);
    paramHex_ = hexText(QByteArray(1, char(module::Introducer))) + QString::number(nibble, 16).toUpper() +
                 chars.mid(3).join(QString());
    return paramHex_;
}

} // namespace panelix
