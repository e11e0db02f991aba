#include "library/FileBrowser.h"

#include "common/Gbk.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStorageInfo>

#include <algorithm>
#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>

namespace panelix {

QString listNumberText(int k) {
    if (k < 0)
        return QStringLiteral("  ");
    return QString::number(k, 16).toUpper().rightJustified(2, QLatin1Char('0'));
}

QString composeBrowserPath(const QString& dir, const QString& name) {
    return dir + QLatin1Char('/') + name;
}

QStringList driveRootsFrom(const QString& home, const QStringList& mountPoints) {
    QStringList roots{QStringLiteral("/")};
    const QString cleanHome = home.isEmpty() ? QString() : QDir::cleanPath(home);
    if (!cleanHome.isEmpty() && !roots.contains(cleanHome))
        roots.append(cleanHome);

    static const QStringList bases{QStringLiteral("/media"), QStringLiteral("/mnt"),
                                   QStringLiteral("/run/media")};
    QStringList mounts;
    for (const QString& point : mountPoints) {
        const QString clean = QDir::cleanPath(point);
        const bool under = std::any_of(bases.begin(), bases.end(), [&](const QString& base) {
            return clean == base || clean.startsWith(base + QLatin1Char('/'));
        });
        if (under && !roots.contains(clean) && !mounts.contains(clean))
            mounts.append(clean);
    }
    mounts.sort();
    return roots + mounts;
}

QStringList driveRoots() {
#ifdef Q_OS_WIN
    QStringList roots;
    for (const QFileInfo& drive : QDir::drives())
        roots.append(drive.absolutePath());
    return roots;
#else
    QStringList mounts;
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes())
        mounts.append(volume.rootPath());
    return driveRootsFrom(QDir::homePath(), mounts);
#endif
}

QString driveForPath(const QString& path, const QStringList& roots) {
    const QString clean = QDir::cleanPath(path);
    QString best;
    qsizetype bestLength = -1;
    for (const QString& root : roots) {
        const QString r = QDir::cleanPath(root);
        const QString prefix = r.endsWith(QLatin1Char('/')) ? r : r + QLatin1Char('/');
        if ((clean == r || clean.startsWith(prefix)) && r.size() > bestLength) {
            best = root;
            bestLength = r.size();
        }
    }
    return best;
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
    std::sort(entries.begin(), entries.end(), [](const BrowserEntry& a, const BrowserEntry& b) {
        const int c = a.displayName.compare(b.displayName, Qt::CaseInsensitive);
        if (c != 0)
            return c < 0;
        if (a.displayName != b.displayName)
            return a.displayName < b.displayName;
        return a.nativePath < b.nativePath;
    });
    return entries;
}

QStringList bmpFilesIn(const QString& dir) {
    QStringList names;
    for (const BrowserEntry& entry : bmpEntriesIn(dir))
        names.append(entry.displayName);
    return names;
}

bool canStoreInList(const BrowserEntry& entry) {
    return entry.pathOpensFile && fromGbk(toGbk(entry.path)) == entry.path;
}

QStringList subdirectoriesIn(const QString& dir) {
    // QDir counts a link among the directories whatever it leads to; only what the link
    // resolves to decides here.
    QStringList names;
    const QDir d(dir);
    for (const QString& name : d.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase)) {
        if (QFileInfo(d.filePath(name)).isDir())
            names.append(name);
    }
    return names;
}

bool canListDirectory(const QString& dir) {
    const QFileInfo info(dir);
    return info.isDir() && info.isReadable() && info.isExecutable();
}

QString directoryForDrive(const QString& root, const QString& currentDir, bool* fellBack) {
    const bool ok = canListDirectory(root);
    if (fellBack)
        *fellBack = !ok;
    return ok ? root : currentDir;
}

} // namespace panelix
