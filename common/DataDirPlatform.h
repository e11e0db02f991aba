#pragma once

// Private to panelix_common: what DataDirPosix.cpp and DataDirWin.cpp share.

#include <QByteArray>
#include <QString>

namespace panelix::datadir {

// "<target>.panelix-XXXXXX.tmp" with six random letters or digits. The marker keeps
// it apart from anything a user keeps beside a data file (file.txt.bak), so
// removeStaleTemporaries can remove it without asking.
QByteArray temporaryFor(const QByteArray& target);
QString temporaryFor(const QString& target);
// Whether name is such a temporary of file.txt, file.add or hzk16 (any letter case).
bool isTemporaryName(const QString& name);

// The file a write to path replaces: a link is followed to the file it leads to
// (also when that file does not exist yet), so the link stays a link.
QString writeTarget(const QString& path);

// Refuses what must never be replaced: something that is no regular file (a device,
// a FIFO, a directory) or a file that may not be written. False with the cause.
bool mayReplace(const QString& path, QString* error);

void setError(QString* error, const QString& text);

} // namespace panelix::datadir
