#pragma once

#include <QByteArray>
#include <QString>

namespace panelix {

// The module and the list file speak GBK (code page 936): two bytes per Chinese
// character, lead byte first. A character without a GBK code becomes '?' (0x3F).
QByteArray toGbk(const QString& text);
QString fromGbk(const QByteArray& bytes);

// True when the Qt build can encode GBK (it needs ICU); checked once at start-up.
bool gbkAvailable();

} // namespace panelix
