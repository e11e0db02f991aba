#include "common/DataDir.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace panelix {

QString findDataFile(const QString& dir, const QString& name) {
    QDir d(dir);
    const QString exact = d.filePath(name);
    if (QFileInfo(exact).isFile())
        return exact;
    const QStringList entries = d.entryList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QString& entry : entries) {
        if (entry.compare(name, Qt::CaseInsensitive) == 0)
            return d.filePath(entry);
    }
    return exact;
}

bool writeFileAtomically(const QString& path, const QByteArray& data, QString* error) {
    // Replacing a device or a FIFO (say, through a link named like a data file)
    // would destroy it: only regular files are replaced.
    const QFileInfo existing(path);
    if (existing.exists() && !existing.isFile()) {
        if (error)
            *error = QStringLiteral("not a regular file");
        return false;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    // Errors of the buffered write show up only at the flush: commit() alone
    // would rename a truncated file over the old one.
    if (file.write(data) != data.size() || !file.flush()) {
        if (error)
            *error = file.errorString();
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}

bool readFileHead(const QString& path, qint64 maxBytes, QByteArray* out) {
    // Only regular files: opening a FIFO or a device would block the caller for good.
    if (!QFileInfo(path).isFile())
        return false;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    QByteArray data = file.read(maxBytes);
    if (file.error() != QFileDevice::NoError)
        return false;
    *out = std::move(data);
    return true;
}

} // namespace panelix
