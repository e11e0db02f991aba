// Replacing and opening data files with POSIX calls: a write's temporary is
// flock()ed until its rename, so a running write's temporary is never stale.
#include "common/DataDir.h"

#include "common/DataDirPlatform.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace panelix {

using namespace datadir;

namespace {

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

bool writeFileAtomically(const QString& path, const QByteArray& data, QString* error) {
    if (!mayReplace(path, error))
        return false;
    const QByteArray target = QFile::encodeName(writeTarget(path));
    struct stat old {};
    const bool replacing = ::stat(target.constData(), &old) == 0;

    // A new file gets the usual 0666 less the umask; a replaced one keeps its mode,
    // and nobody else may read the temporary before it has that mode.
    QByteArray temp;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temp = temporaryFor(target);
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
    const QDir dir(dataDir);
    int removed = 0;
    const QStringList names =
        dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString& name : names) {
        if (!isTemporaryName(name))
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
