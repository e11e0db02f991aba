#include "library/FileBrowser.h"

#include "library/FileBrowserPlatform.h"

#include "common/Gbk.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

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

QString driveForPath(const QString& path, const QStringList& roots) {
    const QString clean = QDir::cleanPath(path);
    QString best;
    qsizetype bestLength = -1;
    for (const QString& root : roots) {
        const QString r = QDir::cleanPath(root);
        const QString prefix = r.endsWith(QLatin1Char('/')) ? r : r + QLatin1Char('/');
        if ((clean.compare(r, pathCase()) == 0 || clean.startsWith(prefix, pathCase())) && r.size() > bestLength) {
            best = root;
            bestLength = r.size();
        }
    }
    return best;
}

void sortBrowserEntries(QList<BrowserEntry>& entries) {
    std::sort(entries.begin(), entries.end(), [](const BrowserEntry& a, const BrowserEntry& b) {
        const int c = a.displayName.compare(b.displayName, Qt::CaseInsensitive);
        if (c != 0)
            return c < 0;
        if (a.displayName != b.displayName)
            return a.displayName < b.displayName;
        return a.nativePath < b.nativePath;
    });
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
