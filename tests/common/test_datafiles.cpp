#include "common/DataDir.h"
#include "library/ListFile.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <csignal>
#ifndef _WIN32
#include <fcntl.h>
#endif
#ifndef _WIN32
#include <sys/file.h>
#endif
#ifndef _WIN32
#include <sys/resource.h>
#endif
#ifndef _WIN32
#include <sys/stat.h>
#endif
#ifndef _WIN32
#include <sys/wait.h>
#endif
#ifndef _WIN32
#include <unistd.h>
#endif

using namespace panelix;
using namespace panelix::test;

TEST(DataFiles, FoundWhateverTheirLetterCaseButOnlyAsFiles) {
    QTemporaryDir dir;
    EXPECT_EQ(findDataFile(dir.path(), "file.add"), dir.filePath("file.add")); // new files: lower case
    ASSERT_TRUE(writeFile(dir.filePath("FILE.ADD"), "x"));
    EXPECT_EQ(findDataFile(dir.path(), "file.add"), dir.filePath("FILE.ADD"));
#ifndef _WIN32 // a directory and a file whose names differ only in case need a file system that tells them apart
    ASSERT_TRUE(QDir(dir.path()).mkdir("hzk16"));
    ASSERT_TRUE(writeFile(dir.filePath("HZK16"), "font"));
    EXPECT_EQ(findDataFile(dir.path(), "hzk16"), dir.filePath("HZK16"));
#endif
}

#ifndef _WIN32
TEST(DataFiles, OnlyRegularFilesAreReadOrReplaced) {
    QTemporaryDir dir;
    const QString fifo = dir.filePath("pipe");
    ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    QByteArray got;
    EXPECT_FALSE(readFileHead(fifo, 100, &got)); // and does not block
    // A link named like a data file must not get its target replaced.
    ASSERT_TRUE(QFile::link(fifo, dir.filePath("file.add")));
    QString error;
    EXPECT_FALSE(writeFileAtomically(dir.filePath("file.add"), QByteArray(16, 'a'), &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_TRUE(QFileInfo(fifo).exists());
    EXPECT_FALSE(QFileInfo(fifo).isFile());
    // A link to a regular file writes that file, whole.
    ASSERT_TRUE(writeFile(dir.filePath("real"), "old"));
    ASSERT_TRUE(QFile::link(dir.filePath("real"), dir.filePath("list")));
    EXPECT_TRUE(writeFileAtomically(dir.filePath("list"), "new contents"));
    EXPECT_EQ(readFile(dir.filePath("real")), QByteArray("new contents"));
}
#endif

TEST(DataFiles, AListFileLongerThanAnyListIsNotCopied) {
    QTemporaryDir dir;
    const QString path = dir.filePath("file.txt");
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    ASSERT_TRUE(f.resize(64LL << 20)); // sparse, 64 MB
    f.close();
    ListFile list;
    InputError message;
    EXPECT_FALSE(list.saveList({"/a.bmp"}, path, &message));
    EXPECT_EQ(describe(message), "ListNotSaved");
    EXPECT_EQ(QFileInfo(path).size(), 64LL << 20);
}

#ifndef _WIN32
namespace {

mode_t modeOf(const QString& path) {
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode & 07777 : 0;
}

QStringList entriesOf(const QString& dir) {
    return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                               QDir::Name);
}

} // namespace
#endif

#ifndef _WIN32
// A program killed between writing the temporary and renaming it leaves the temporary
// behind; the next start removes it, and only it.
TEST(DataFiles, TemporariesOfAKilledWriteAreRemovedAtTheNextStart) {
    QTemporaryDir dir;
    ASSERT_TRUE(writeFile(dir.filePath("FILE.TXT"), "list"));
    // The child dies of SIGXFSZ in the middle of its write, as a kill would end it.
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_DFL);
        rlimit small{4096, 4096};
        setrlimit(RLIMIT_FSIZE, &small);
        writeFileAtomically(dir.filePath("file.add"), QByteArray(512 * 1024, 'x'));
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGXFSZ);
    ASSERT_EQ(entriesOf(dir.path()).size(), 2); // FILE.TXT and the temporary of file.add

    EXPECT_EQ(removeStaleTemporaries(dir.path()), 1);
    EXPECT_EQ(entriesOf(dir.path()), QStringList({"FILE.TXT"}));
    EXPECT_EQ(readFile(dir.filePath("FILE.TXT")), QByteArray("list"));
}
#endif

#ifndef _WIN32
TEST(DataFiles, OnlyOurOwnTemporariesOfDataFilesAreRemoved) {
    QTemporaryDir dir;
    const QStringList ours{"file.txt.panelix-Ab3xY9.tmp", "File.Add.panelix-000000.tmp",
                           "HZK16.panelix-zzzzzz.tmp"};
    const QStringList lookalikes =
        QString("file.txt file.add file.txt.bak file.txt.old file.txt.backup file.add.Ab3xY9 "
                "notes.txt.panelix-Ab3xY9.tmp xfile.txt.panelix-Ab3xY9.tmp file.txt.panelix-Ab3xY.tmp "
                "file.txt.panelix-Ab3xY9.tmp.bak file.txt.PANELIX-Ab3xY9.tmp file.txt.panelix-Ab-xY9.tmp")
            .split(' ');
    for (const QString& name : ours + lookalikes)
        ASSERT_TRUE(writeFile(dir.filePath(name), "keep?"));
    // Named like ours but no regular file: a directory, a link, a FIFO.
    ASSERT_TRUE(QDir(dir.path()).mkdir("file.add.panelix-dir123.tmp"));
    ASSERT_TRUE(writeFile(dir.filePath("target"), "t"));
    ASSERT_TRUE(QFile::link(dir.filePath("target"), dir.filePath("file.txt.panelix-link12.tmp")));
    ASSERT_EQ(mkfifo(QFile::encodeName(dir.filePath("file.txt.panelix-fifo12.tmp")).constData(), 0600), 0);
    // A write still running in another window holds its temporary.
    ASSERT_TRUE(writeFile(dir.filePath("file.add.panelix-busy12.tmp"), "half"));
    const int busy =
        ::open(QFile::encodeName(dir.filePath("file.add.panelix-busy12.tmp")).constData(), O_RDWR);
    ASSERT_GE(busy, 0);
    ASSERT_EQ(flock(busy, LOCK_EX), 0);

    EXPECT_EQ(removeStaleTemporaries(dir.path()), 3);
    ::close(busy);
    QStringList expected =
        lookalikes + QStringList{"file.add.panelix-dir123.tmp", "target", "file.txt.panelix-link12.tmp",
                                 "file.txt.panelix-fifo12.tmp", "file.add.panelix-busy12.tmp"};
    expected.sort();
    EXPECT_EQ(entriesOf(dir.path()), expected);
    EXPECT_EQ(removeStaleTemporaries(dir.path()), 1); // the write has ended without a rename
}
#endif

#ifndef _WIN32
TEST(DataFiles, AtomicWritesLeaveNoTemporaryAndKeepTheMode) {
    QTemporaryDir dir;
    const QString path = dir.filePath("file.add");
    const mode_t mask = umask(022);
    EXPECT_TRUE(writeFileAtomically(path, "one"));
    EXPECT_EQ(modeOf(path), 0644u);
    ASSERT_EQ(chmod(QFile::encodeName(path).constData(), 0640), 0);
    EXPECT_TRUE(writeFileAtomically(path, "two"));
    umask(mask);
    EXPECT_EQ(modeOf(path), 0640u);
    EXPECT_EQ(readFile(path), QByteArray("two"));

    // Refused part-way (a full disk): the old file stays and the temporary goes.
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    rlimit small = saved;
    small.rlim_cur = 100;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    QString error;
    const bool ok = writeFileAtomically(path, QByteArray(300, 'y'), &error);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);
    EXPECT_FALSE(ok);
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(readFile(path), QByteArray("two"));
    EXPECT_EQ(entriesOf(dir.path()), QStringList({"file.add"}));
}
#endif

#ifndef _WIN32
TEST(DataFiles, HeadsHoldWhatTheFileHoldsUpToTheLimit) {
    QTemporaryDir dir;
    ASSERT_TRUE(writeFile(dir.filePath("small"), "0123456789"));
    QByteArray got;
    ASSERT_TRUE(readFileHead(dir.filePath("small"), 16 << 20, &got));
    EXPECT_EQ(got, QByteArray("0123456789"));
    EXPECT_LT(got.capacity(), 4096); // not the 16 MB limit
    ASSERT_TRUE(readFileHead(dir.filePath("small"), 4, &got));
    EXPECT_EQ(got, QByteArray("0123"));
    // A file that reports no size still gives its contents.
    ASSERT_EQ(QFileInfo("/proc/self/status").size(), 0);
    ASSERT_TRUE(readFileHead("/proc/self/status", 1 << 20, &got));
    EXPECT_TRUE(got.startsWith("Name:"));
    ASSERT_TRUE(readFileHead("/proc/self/status", 3, &got));
    EXPECT_EQ(got, QByteArray("Nam"));
}
#endif
