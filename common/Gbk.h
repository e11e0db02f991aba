#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QtGlobal>

namespace panelix {

// The module and the list file speak GBK (code page 936): two bytes per Chinese
// character, lead byte first. A character without a GBK code becomes '?' (0x3F).
QByteArray toGbk(const QString& text);
QString fromGbk(const QByteArray& bytes);

// What the user sees as characters, each a QString: a surrogate pair stays whole.
QStringList textCharacters(const QString& text);

// The characters of text as the module's show-characters command takes them: each
// one's GBK code, one or two bytes, lead byte first; '?' for a character without one.
QByteArray moduleTextCodes(const QString& text);

// The Unicode character of a GB2312 code (both bytes 0xA1..0xFE), or 0 when the code is
// unassigned, private-use, or no GB2312 codec is at hand.
char32_t gb2312ToUnicode(quint8 lead, quint8 trail);

// True when the Qt build can encode GBK (it needs ICU); checked once at start-up.
bool gbkAvailable();

} // namespace panelix
