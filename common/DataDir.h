#pragma once

#include <QByteArray>
#include <QString>

namespace panelix {

// Data files are found whatever their letter case: file.txt, File.TXT and FILE.TXT
// are one file. Returns the path of the existing file, or dir/name (name as given,
// lower case by convention) when none exists yet.
QString findDataFile(const QString& dir, const QString& name);

// Replaces path with data as one complete file: written beside it, flushed, then
// renamed over it, so a failure never leaves a half-written file behind. A path
// that exists but is no regular file (a device, a FIFO, a directory) is refused.
bool writeFileAtomically(const QString& path, const QByteArray& data, QString* error = nullptr);

// Reads at most maxBytes from the start of a regular file. False when it is not a
// regular file or cannot be opened or read.
bool readFileHead(const QString& path, qint64 maxBytes, QByteArray* out);

} // namespace panelix
