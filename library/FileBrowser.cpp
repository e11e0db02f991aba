#include "library/FileBrowser.h"

#include <QDir>
#include <QFileInfo>
#include <QStorageInfo>

#include <algorithm>

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

QStringList bmpFilesIn(const QString& dir) {
    const QDir d(dir);
    QStringList names;
    for (const QString& name : d.entryList(QDir::Files)) {
        if (name.endsWith(QStringLiteral(".bmp"), Qt::CaseInsensitive))
            names.append(name);
    }
    std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
        const int c = a.compare(b, Qt::CaseInsensitive);
        return c != 0 ? c < 0 : a < b;
    });
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
