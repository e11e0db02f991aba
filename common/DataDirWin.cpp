// Replacing and opening data files on Windows. A write's temporary is opened
// without sharing until it is complete, so a running write's temporary cannot be
// deleted as stale; MoveFileExW replaces the old file in one step.
#include "common/DataDir.h"

#include "common/DataDirPlatform.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

namespace panelix {

using namespace datadir;

namespace {

std::wstring nativeOf(const QString& path) {
    return QDir::toNativeSeparators(path).toStdWString();
}

QString lastErrorText() {
    return qt_error_string(int(GetLastError()));
}

bool writeWhole(HANDLE h, const QByteArray& data) {
    qsizetype done = 0;
    while (done < data.size()) {
        DWORD n = 0;
        const DWORD chunk = DWORD(std::min<qsizetype>(data.size() - done, 1 << 20));
        if (!WriteFile(h, data.constData() + done, chunk, &n, nullptr) || n == 0)
            return false;
        done += n;
    }
    return true;
}

} // namespace

bool writeFileAtomically(const QString& path, const QByteArray& data, QString* error) {
    if (!mayReplace(path, error))
        return false;
    const QString target = writeTarget(path);
    QString temp;
    HANDLE h = INVALID_HANDLE_VALUE;
    for (int attempt = 0; attempt < 100 && h == INVALID_HANDLE_VALUE; ++attempt) {
        temp = temporaryFor(target);
        h = CreateFileW(nativeOf(temp).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                        nullptr);
        if (h == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS)
            break;
    }
    if (h == INVALID_HANDLE_VALUE) {
        setError(error, lastErrorText());
        return false;
    }
    // The data must be on the medium before the name points at it.
    const bool written = writeWhole(h, data) && FlushFileBuffers(h);
    if (!written)
        setError(error, lastErrorText());
    CloseHandle(h);
    if (written && MoveFileExW(nativeOf(temp).c_str(), nativeOf(target).c_str(),
                               MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    if (written)
        setError(error, lastErrorText());
    DeleteFileW(nativeOf(temp).c_str());
    return false;
}

int removeStaleTemporaries(const QString& dataDir) {
    const QDir dir(dataDir);
    int removed = 0;
    const QStringList names =
        dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString& name : names) {
        if (!isTemporaryName(name))
            continue;
        const QFileInfo info(dir.filePath(name));
        if (!info.isFile() || info.isSymbolicLink())
            continue;
        // A write in progress holds its temporary open without sharing: it cannot be deleted.
        if (DeleteFileW(nativeOf(info.filePath()).c_str()))
            ++removed;
    }
    return removed;
}

bool openNativeFile(const QByteArray& nativePath, QFile* file) {
    if (file->isOpen())
        return false;
    // Windows names are UTF-16: every name has a QString; its bytes here are UTF-8 (the
    // ANSI code page could not hold every name).
    const QString path = QString::fromUtf8(nativePath);
    if (!QFileInfo(path).isFile())
        return false;
    file->setFileName(path);
    return file->open(QIODevice::ReadOnly);
}

} // namespace panelix
