#include "common/DataDir.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace panelix {

namespace {

// The temporary of a write is "<name>.panelix-XXXXXX.tmp". The marker keeps it apart
// from anything a user keeps beside a data file (file.txt.bak, file.txt.backup), so
// removeStaleTemporaries can remove it without asking.
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

void setError(QString* error, const QString& text) {
    if (error)
        *error = text;
}

// The file a write to path replaces: a link is followed to the file it leads to
// (also when that file does not exist yet), so the link stays a link.
QString writeTarget(const QString& path) {
    QFileInfo info(path);
    for (int depth = 0; depth < 128 && info.isSymLink(); ++depth)
        info.setFile(info.symLinkTarget());
    return info.isSymLink() ? path : info.filePath();
}

bool writeWhole(int fd, const QByteArray& data) {
    qsizetype done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.constData() + done, size_t(data.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = EIO;
            return false;
        }
        done += n;
    }
    return true;
}

} // namespace

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
        setError(error, QStringLiteral("not a regular file"));
        return false;
    }
    if (existing.exists() && !existing.isWritable()) {
        setError(error, QStringLiteral("not writable"));
        return false;
    }
    const QByteArray target = QFile::encodeName(writeTarget(path));
    struct stat old {};
    const bool replacing = ::stat(target.constData(), &old) == 0;

    // A new file gets the usual 0666 less the umask; a replaced one keeps its mode,
    // and nobody else may read the temporary before it has that mode.
    QByteArray temp;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temp = target + kTempInfix + randomLetters() + kTempSuffix;
        fd = ::open(temp.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, replacing ? 0600 : 0666);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0) {
        setError(error, qt_error_string(errno));
        return false;
    }
    // Held until the rename: a temporary that is still being written is not stale.
    ::flock(fd, LOCK_EX | LOCK_NB);
    if (replacing)
        ::fchmod(fd, old.st_mode & 07777); // best effort: FAT media refuse modes

    const auto fail = [&] {
        setError(error, qt_error_string(errno));
        ::unlink(temp.constData());
        ::close(fd);
        return false;
    };
    if (!writeWhole(fd, data))
        return fail();
    // The data must be on the medium before the name points at it, or a power cut
    // could leave an empty file where the old one was.
    if (::fsync(fd) != 0 && errno != EINVAL && errno != ENOTSUP)
        return fail();
    if (::rename(temp.constData(), target.constData()) != 0)
        return fail();
    ::close(fd);
    return true;
}

int removeStaleTemporaries(const QString& dataDir) {
    static const QRegularExpression ours(
        QRegularExpression::anchoredPattern(QStringLiteral("(?i:file\\.txt|file\\.add|hzk16)") +
                                            QRegularExpression::escape(QString::fromLatin1(kTempInfix)) +
                                            QStringLiteral("[A-Za-z0-9]{%1}").arg(kRandomLength) +
                                            QRegularExpression::escape(QString::fromLatin1(kTempSuffix))));
    const QDir dir(dataDir);
    int removed = 0;
    const QStringList names =
        dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString& name : names) {
        if (!ours.match(name).hasMatch())
            continue;
        const QByteArray path = QFile::encodeName(dir.filePath(name));
        // lstat first: opening a device or a FIFO could block or disturb it.
        struct stat named {};
        if (::lstat(path.constData(), &named) != 0 || !S_ISREG(named.st_mode))
            continue;
        const int fd = ::open(path.constData(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (fd < 0)
            continue;
        // A write in progress (another window on the same directory) holds its
        // temporary locked; one that was killed holds nothing.
        struct stat opened {};
        const bool stale = ::fstat(fd, &opened) == 0 && opened.st_dev == named.st_dev &&
                           opened.st_ino == named.st_ino && ::flock(fd, LOCK_EX | LOCK_NB) == 0;
        if (stale && ::unlink(path.constData()) == 0)
            ++removed;
        ::close(fd);
    }
    return removed;
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

bool openNativeFile(const QByteArray& nativePath, QFile* file) {
    if (file->isOpen())
        return false;
    // stat before opening: opening a tape or a FIFO can block or have effects.
    struct stat named {};
    if (::stat(nativePath.constData(), &named) != 0 || !S_ISREG(named.st_mode))
        return false;
    const int fd = ::open(nativePath.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat opened {};
    if (::fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode) ||
        !file->open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return false;
    }
    return true;
}

} // namespace panelix
