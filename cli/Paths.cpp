#include "cli/Paths.h"

#include "common/Gbk.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>

#include <cerrno>
#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
#include <csignal>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace panelix::cli {

namespace {

// Decoded argument -> its bytes, for the arguments whose bytes the decoded text does not give back.
QHash<QString, QByteArray>& nativeNames() {
    static QHash<QString, QByteArray> names;
    return names;
}

// One name (no '/'): as UTF-8 when it is, from GBK when its bytes are GBK, otherwise with
// replacement characters.
QString shownName(const QByteArray& name) {
    const QString local = QFile::decodeName(name);
    if (QFile::encodeName(local) == name)
        return local;
    const QString gbk = fromGbk(name);
    if (!gbk.contains(QChar::ReplacementCharacter) && toGbk(gbk) == name)
        return gbk;
    return local;
}

QString shownBytes(const QByteArray& bytes) {
    QStringList parts;
    for (const QByteArray& part : bytes.split('/'))
        parts << shownName(part);
    return parts.join(QLatin1Char('/'));
}

enum class Kind { Missing, Regular, Directory, Fifo, Device, Socket, Other };

// stat(), links followed; nothing is opened.
Kind kindOf(const QByteArray& native) {
#ifdef _WIN32
    // Names are UTF-16 there; the file system has no FIFOs, and devices are no files.
    const QFileInfo info(QFile::decodeName(native));
    if (!info.exists())
        return Kind::Missing;
    return info.isFile() ? Kind::Regular : info.isDir() ? Kind::Directory : Kind::Other;
#else
    struct stat st {};
    if (::stat(native.constData(), &st) != 0)
        return Kind::Missing;
    if (S_ISREG(st.st_mode))
        return Kind::Regular;
    if (S_ISDIR(st.st_mode))
        return Kind::Directory;
    if (S_ISFIFO(st.st_mode))
        return Kind::Fifo;
    if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode))
        return Kind::Device;
    if (S_ISSOCK(st.st_mode))
        return Kind::Socket;
    return Kind::Other;
#endif
}

// Whether the process of that id has gone.
bool processGone(qint64 pid) {
#ifdef _WIN32
    HANDLE h = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, DWORD(pid));
    if (!h)
        return GetLastError() == ERROR_INVALID_PARAMETER;
    DWORD code = 0;
    const bool gone = GetExitCodeProcess(h, &code) && code != STILL_ACTIVE;
    CloseHandle(h);
    return gone;
#else
    // Gone: no such process. EPERM means one exists (another user's): it stays.
    return ::kill(pid_t(pid), 0) != 0 && errno == ESRCH;
#endif
}

QString kindText(Kind kind) {
    switch (kind) {
    case Kind::Directory:
        return QStringLiteral("is a directory");
    case Kind::Fifo:
        return QStringLiteral("is not a regular file (a FIFO)");
    case Kind::Device:
        return QStringLiteral("is a device");
    case Kind::Socket:
        return QStringLiteral("is not a regular file (a socket)");
    case Kind::Other:
        return QStringLiteral("is not a regular file");
    case Kind::Missing:
    case Kind::Regular:
        break;
    }
    return {};
}

const QString TempPrefix = QStringLiteral("panelix-cli-");

} // namespace

void setNativeArguments(const QStringList& decoded, const QList<QByteArray>& native) {
    nativeNames().clear();
    for (int i = 0; i < decoded.size() && i < native.size(); ++i) {
        if (QFile::encodeName(decoded[i]) != native[i])
            nativeNames().insert(decoded[i], native[i]);
    }
}

QByteArray nativePath(const QString& path) {
    const auto it = nativeNames().constFind(path);
    return it != nativeNames().constEnd() ? *it : QFile::encodeName(path);
}

QString shownPath(const QString& path) {
    const auto it = nativeNames().constFind(path);
    return it != nativeNames().constEnd() ? shownBytes(*it) : path;
}

QString inputPathProblem(const QString& path, const QString& what) {
    const Kind kind = kindOf(nativePath(path));
    if (kind == Kind::Regular)
        return {};
    if (kind == Kind::Missing)
        return QStringLiteral("%1 not found: %2").arg(what, shownPath(path));
    return QStringLiteral("%1 %2 %3").arg(what, shownPath(path), kindText(kind));
}

QString outputPathProblem(const QString& path) {
    const Kind kind = kindOf(nativePath(path));
    if (kind == Kind::Missing || kind == Kind::Regular)
        return {};
    QString text = kindText(kind);
    text.replace(0, 2, QStringLiteral("it is")); // "is a directory" -> "it is a directory"
    return QStringLiteral("cannot write %1: %2").arg(shownPath(path), text);
}

QString openablePath(const QString& path, const QString& aliasDir) {
    const QByteArray native = nativePath(path);
    if (QFile::encodeName(path) == native)
        return path;
    if (aliasDir.isEmpty())
        return {};
    // The link carries the decoded name, so what is made from the file is named after it.
    QString name = shownName(native.mid(native.lastIndexOf('/') + 1));
    name.replace(QChar::ReplacementCharacter, QLatin1Char('_'));
    QDir dir(aliasDir);
    for (int n = 0;; ++n) {
        const QString sub = QStringLiteral("names%1").arg(n);
        if (!dir.mkpath(sub))
            return {};
        const QString link = dir.filePath(sub + QLatin1Char('/') + name);
        if (QFileInfo::exists(link) || QFileInfo(link).isSymLink())
            continue;
        QByteArray target = native;
        if (!target.startsWith('/'))
            target = QFile::encodeName(QDir::currentPath()) + '/' + target;
#ifdef _WIN32
        return {};
#else
        if (::symlink(target.constData(), QFile::encodeName(link).constData()) != 0)
            return {};
#endif
        return link;
    }
}

bool claimTemporaryDir(const QString& dir) {
    QFile owner(QDir(dir).filePath(QStringLiteral("owner")));
    if (!owner.open(QIODevice::WriteOnly))
        return false;
    return owner.write(QByteArray::number(QCoreApplication::applicationPid()) + '\n') > 0;
}

int sweepTemporaryDirs() {
    const QDir temp = QDir::temp();
    int removed = 0;
    for (const QString& name : temp.entryList({TempPrefix + QStringLiteral("*")},
                                              QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden)) {
        if (name.size() != TempPrefix.size() + 6)
            continue;
        QDir dir(temp.filePath(name));
        const QFileInfo info(dir.path());
        if (info.isSymLink())
            continue;
#ifndef _WIN32
        if (info.ownerId() != ::getuid())
            continue;
#endif
        QFile owner(dir.filePath(QStringLiteral("owner")));
        if (!owner.open(QIODevice::ReadOnly))
            continue; // no owner recorded: not ours to judge
        bool ok = false;
        const qint64 pid = owner.read(32).trimmed().toLongLong(&ok);
        owner.close();
        if (!ok || pid <= 0 || pid == QCoreApplication::applicationPid() || !processGone(pid))
            continue;
        if (dir.removeRecursively())
            ++removed;
    }
    return removed;
}

} // namespace panelix::cli
