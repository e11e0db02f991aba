// The file browser on POSIX systems: mount points as drives, names read as bytes.
#include "library/FileBrowser.h"

#include "library/FileBrowserPlatform.h"

#include "common/Gbk.h"

#include <QDir>
#include <QFile>
#include <QStorageInfo>

#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>

namespace panelix {

Qt::CaseSensitivity pathCase() {
    return Qt::CaseSensitive;
}

QStringList driveRoots() {
    QStringList mounts;
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes())
        mounts.append(volume.rootPath());
    return driveRootsFrom(QDir::homePath(), mounts);
}

namespace {

bool endsWithBmp(const QByteArray& name) {
    return name.size() >= 4 && ::strncasecmp(name.constData() + name.size() - 4, ".bmp", 4) == 0;
}

// A name as the list shows it: as the file system gives it when it is UTF-8, from
// GBK when its bytes are GBK, otherwise with replacement characters for the bytes
// that say nothing.
QString displayNameOf(const QByteArray& name) {
    const QString local = QFile::decodeName(name);
    if (QFile::encodeName(local) == name)
        return local;
    const QString gbk = fromGbk(name);
    if (!gbk.contains(QChar::ReplacementCharacter) && toGbk(gbk) == name)
        return gbk;
    return local;
}

} // namespace

QList<BrowserEntry> bmpEntriesIn(const QString& dir) {
    // Listed byte by byte: QDir leaves out every name that is not UTF-8.
    QList<BrowserEntry> entries;
    const QByteArray nativeDir = QFile::encodeName(dir);
    DIR* d = ::opendir(nativeDir.constData());
    if (!d)
        return entries;
    while (const dirent* e = ::readdir(d)) {
        const QByteArray name(e->d_name);
        if (name.startsWith('.') || !endsWithBmp(name))
            continue;
        // A link counts as the file it leads to; directories, FIFOs and devices are no pictures.
        struct stat st {};
        if (::fstatat(::dirfd(d), e->d_name, &st, 0) != 0 || !S_ISREG(st.st_mode))
            continue;
        BrowserEntry entry;
        entry.displayName = displayNameOf(name);
        entry.path = composeBrowserPath(dir, entry.displayName);
        entry.nativePath = nativeDir + '/' + name;
        entry.pathOpensFile = QFile::encodeName(entry.path) == entry.nativePath;
        entries.append(entry);
    }
    ::closedir(d);
    sortBrowserEntries(entries);
    return entries;
}

} // namespace panelix
