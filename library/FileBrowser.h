#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace panelix {

// The number of a bitmap-list entry as shown beside the list: at least two upper-case
// hexadecimal digits ("00".."0F", "10".."FA"); two spaces when nothing is selected.
QString listNumberText(int k);

// A browser directory and a file name joined by one "/". The directory is used as the
// browser gives it, so a file in a root keeps two separators ("//a.bmp"); the file
// system reads that as the same file.
QString composeBrowserPath(const QString& dir, const QString& name);

// The drives of the drive list. Without drive letters: "/", the home folder and the
// mount points under /media, /mnt and /run/media.
QStringList driveRoots();

// driveRoots() from a given home folder and list of mount points (testable without
// the machine's mounts): "/", home, then the matching mount points, sorted, no repeats.
QStringList driveRootsFrom(const QString& home, const QStringList& mountPoints);

// The drive that shows path: the longest root that contains it; "" when none does.
QString driveForPath(const QString& path, const QStringList& roots);

// One file of the file list. Names are read as bytes: a name that is not UTF-8 (GBK
// bytes from an archive made on a Chinese system) is shown decoded from GBK, or with
// replacement characters when it is not GBK either. Such a name does not give the
// file back, so only nativePath opens it.
struct BrowserEntry {
    QString displayName;       // the name as the list shows it
    QString path;              // composeBrowserPath(dir, displayName): what the bitmap list stores
    QByteArray nativePath;     // the file's path, byte for byte
    bool pathOpensFile = true; // path, encoded for the file system, is nativePath
};

// The files in dir that match "*.bmp", letter case ignored, sorted by the shown name
// without regard to case. Only regular files (or links to them); hidden files are
// left out; an unreadable dir gives none. Two entries may show the same name (a GBK
// name beside its UTF-8 twin): tell them apart by position, not by text.
QList<BrowserEntry> bmpEntriesIn(const QString& dir);

// The shown names of bmpEntriesIn(dir).
QStringList bmpFilesIn(const QString& dir);

// True when the entry's path can be held by the list file: it names the file itself
// and every character has a GBK code, so it opens the same file when read back.
bool canStoreInList(const BrowserEntry& entry);

// The folders the directory list shows inside dir: the names of its entries that are
// directories once links are followed (a link to a device, a FIFO or a file is none),
// hidden ones left out, sorted without regard to case.
QStringList subdirectoriesIn(const QString& dir);

// True when dir is a directory whose entries can be listed.
bool canListDirectory(const QString& dir);

// A drive change: the directory the browser shows next. A root that cannot be listed
// (a medium gone, no permission) leaves the browser where it was, without a message;
// *fellBack tells the caller to set the drive list back to the drive of currentDir.
QString directoryForDrive(const QString& root, const QString& currentDir, bool* fellBack);

} // namespace panelix
