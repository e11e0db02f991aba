#pragma once

#include <QByteArray>
#include <QString>

class QFile;

namespace panelix {

// Data files are found whatever their letter case: file.txt, File.TXT and FILE.TXT
// are one file. Returns the path of the existing file, or dir/name (name as given,
// lower case by convention) when none exists yet.
QString findDataFile(const QString& dir, const QString& name);

// Replaces path with data as one complete file: written beside it as
// "<name>.panelix-XXXXXX.tmp" (six random letters or digits), flushed to disk, then
// renamed over it, so a failure never leaves a half-written file behind. A link is
// followed: the file it leads to is replaced. An existing file keeps its permissions.
// A path that exists but is no regular file (a device, a FIFO, a directory) is refused.
bool writeFileAtomically(const QString& path, const QByteArray& data, QString* error = nullptr);

// Removes the temporaries writeFileAtomically left in dataDir for file.txt, file.add
// or hzk16 (any letter case) when the program was killed between the write and the
// rename. Only regular files of exactly that naming are removed, and none that a
// running write still holds. Returns how many were removed.
int removeStaleTemporaries(const QString& dataDir);

// Reads at most maxBytes from the start of a regular file. False when it is not a
// regular file or cannot be opened or read.
bool readFileHead(const QString& path, qint64 maxBytes, QByteArray* out);

// Opens a file named by its path's bytes, for names that no QString gives back
// (bytes that are not UTF-8). On Windows, where every name is UTF-16, the bytes are
// the path in UTF-8. Only regular files: false for anything else, without
// blocking on a FIFO or a device. On success *file is open read-only and owns the
// descriptor.
bool openNativeFile(const QByteArray& nativePath, QFile* file);

} // namespace panelix
