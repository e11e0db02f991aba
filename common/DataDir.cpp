#include "common/DataDir.h"

#include "common/DataDirPlatform.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>

#include <algorithm>

namespace panelix {

namespace datadir {

namespace {

const QByteArray kTempInfix = QByteArrayLiteral(".panelix-");
const QByteArray kTempSuffix = QByteArrayLiteral(".tmp");
constexpr int kRandomLength = 6;

QByteArray randomLetters() {
    static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    QByteArray out(kRandomLength, '\0');
    for (char& c : out)
        c = alphabet[QRandomGenerator::global()->bounded(int(sizeof alphabet) - 1)];
    return out;
}

} // namespace

QByteArray temporaryFor(const QByteArray& target) {
    return target + kTempInfix + randomLetters() + kTempSuffix;
}

QString temporaryFor(const QString& target) {
    return target + QString::fromLatin1(kTempInfix + randomLetters() + kTempSuffix);
}

bool isTemporaryName(const QString& name) {
    static const QRegularExpression ours(
        QRegularExpression::anchoredPattern(QStringLiteral("(?i:file\\.txt|file\\.add|hzk16)") +
                                            QRegularExpression::escape(QString::fromLatin1(kTempInfix)) +
                                            QStringLiteral("[A-Za-z0-9]{%1}").arg(kRandomLength) +
                                            QRegularExpression::escape(QString::fromLatin1(kTempSuffix))));
    return ours.match(name).hasMatch();
}

QString writeTarget(const QString& path) {
    QFileInfo info(path);
    for (int depth = 0; depth < 128 && info.isSymLink(); ++depth)
        info.setFile(info.symLinkTarget());
    return info.isSymLink() ? path : info.filePath();
}

bool mayReplace(const QString& path, QString* error) {
    // Replacing a device or a FIFO (say, through a link named like a data file)
    // would destroy it: only regular files are replaced.
    const QFileInfo existing(path);
    if (existing.exists() && !existing.isFile()) {
        setError(error, QStringLiteral("not a regular file"));
        return false;
    }
    if (existing.exists() && !existing.isWritable()) {
        setError(error, QStringLiteral("not writable"));
        return false;
    }
    return true;
}

void setError(QString* error, const QString& text) {
    if (error)
        *error = text;
}

} // namespace datadir

QString findDataFile(const QString& dir, const QString& name) {
    QDir d(dir);
    const QString exact = d.filePath(name);
    const QStringList entries = d.entryList(QDir::Files | QDir::Hidden | QDir::System);
    // A file system that ignores the case (Windows) opens exact whatever the name's
    // case: the name is given back as the directory holds it.
    if (entries.contains(name) || (QFileInfo(exact).isFile() && !entries.contains(name, Qt::CaseInsensitive)))
        return exact;
    for (const QString& entry : entries) {
        if (entry.compare(name, Qt::CaseInsensitive) == 0)
            return d.filePath(entry);
    }
    return exact;
}

bool readFileHead(const QString& path, qint64 maxBytes, QByteArray* out) {
    // Only regular files: opening a FIFO or a device would block the caller for good.
    if (!QFileInfo(path).isFile())
        return false;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    // The limit is generous (the largest file a caller could need); the buffer is
    // only as large as what the file holds.
    const qint64 limit = std::max<qint64>(maxBytes, 0);
    QByteArray data = file.read(std::min(file.size(), limit));
    // A file that grew since, or one that reports no size (as /proc files do), is
    // read on up to the limit.
    while (data.size() < limit && file.error() == QFileDevice::NoError) {
        const QByteArray more = file.read(std::min<qint64>(limit - data.size(), 64 * 1024));
        if (more.isEmpty())
            break;
        data += more;
    }
    if (file.error() != QFileDevice::NoError)
        return false;
    *out = std::move(data);
    return true;
}

} // namespace panelix
