// The file browser on Windows: the drive letters as drives. File names are UTF-16,
// so every name has a QString that opens the file again.
#include "library/FileBrowser.h"

#include "library/FileBrowserPlatform.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace panelix {

Qt::CaseSensitivity pathCase() {
    return Qt::CaseInsensitive;
}

QStringList driveRoots() {
    QStringList roots;
    for (const QFileInfo& drive : QDir::drives())
        roots.append(drive.absolutePath()); // "C:/"
    return roots;
}

QList<BrowserEntry> bmpEntriesIn(const QString& dir) {
    QList<BrowserEntry> entries;
    const QFileInfoList files =
        QDir(dir).entryInfoList({QStringLiteral("*.bmp")}, QDir::Files | QDir::NoDotAndDotDot, QDir::NoSort);
    for (const QFileInfo& file : files) {
        // Hidden as on the other systems: a leading dot, besides the hidden attribute QDir honours.
        if (file.fileName().startsWith(QLatin1Char('.')) ||
            !file.fileName().endsWith(QLatin1String(".bmp"), Qt::CaseInsensitive))
            continue;
        BrowserEntry entry;
        entry.displayName = file.fileName();
        entry.path = composeBrowserPath(dir, entry.displayName);
        entry.nativePath = entry.path.toUtf8(); // what openNativeFile takes on Windows
        entry.pathOpensFile = true;
        entries.append(entry);
    }
    sortBrowserEntries(entries);
    return entries;
}

} // namespace panelix
