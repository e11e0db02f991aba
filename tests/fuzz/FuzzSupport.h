#pragma once
// Shared by the fuzz targets: a scratch directory for the files the readers take,
// and a check that stops the run with a message the crash report keeps.
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

namespace panelix::fuzz {

[[noreturn]] inline void fail(const char* what) {
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::abort();
}

#define FUZZ_CHECK(condition)                                                                                \
    do {                                                                                                     \
        if (!(condition))                                                                                    \
            ::panelix::fuzz::fail(#condition " (" __FILE__ ":" FUZZ_LINE_TEXT(__LINE__) ")");                \
    } while (false)
#define FUZZ_LINE_TEXT(line) FUZZ_LINE_TEXT2(line)
#define FUZZ_LINE_TEXT2(line) #line

// The readers take paths. A RAM-backed directory when there is one: every input
// is written and read back, often with an fsync, many thousand times a second.
inline const QDir& scratch() {
    static QTemporaryDir dir = [] {
        const QString shm = QStringLiteral("/dev/shm");
        const QString base = QFileInfo(shm).isDir() && QFileInfo(shm).isWritable() ? shm : QDir::tempPath();
        return QTemporaryDir(base + QStringLiteral("/panelix-fuzz-XXXXXX"));
    }();
    static const QDir path(dir.path());
    if (!dir.isValid())
        fail("no scratch directory");
    return path;
}

inline QString scratchPath(const char* name) {
    return scratch().filePath(QString::fromLatin1(name));
}

// Replaces the file with exactly these bytes, without the data layer under test.
inline void putFile(const QString& path, const char* data, std::size_t size) {
    const QByteArray name = QFile::encodeName(path);
    ::unlink(name.constData());
    const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        fail("cannot create a scratch file");
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd, data + done, size - done);
        if (n <= 0)
            fail("cannot write a scratch file");
        done += std::size_t(n);
    }
    ::close(fd);
}

inline void putFile(const QString& path, const QByteArray& data) {
    putFile(path, data.constData(), std::size_t(data.size()));
}

inline QByteArray getFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        fail("cannot read a scratch file back");
    return file.readAll();
}

} // namespace panelix::fuzz
