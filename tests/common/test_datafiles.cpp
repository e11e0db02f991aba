#include "common/DataDir.h"
#include "library/ListFile.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <sys/stat.h>
#include <unistd.h>

using namespace panelix;
using namespace panelix::test;

TEST(DataFiles, FoundWhateverTheirLetterCaseButOnlyAsFiles) {
    QTemporaryDir dir;
    EXPECT_EQ(findDataFile(dir.path(), "file.add"), dir.filePath("file.add")); // new files: lower case
    ASSERT_TRUE(writeFile(dir.filePath("FILE.ADD"), "x"));
    EXPECT_EQ(findDataFile(dir.path(), "file.add"), dir.filePath("FILE.ADD"));
    ASSERT_TRUE(QDir(dir.path()).mkdir("hzk16"));
    ASSERT_TRUE(writeFile(dir.filePath("HZK16"), "font"));
    EXPECT_EQ(findDataFile(dir.path(), "hzk16"), dir.filePath("HZK16"));
}

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

TEST(DataFiles, AListFileLongerThanAnyListIsNotCopied) {
    QTemporaryDir dir;
    const QString path = dir.filePath("file.txt");
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    ASSERT_TRUE(f.resize(64LL << 20)); // sparse, 64 MB
    f.close();
    ListFile list;
    QString message;
    EXPECT_FALSE(list.SaveList({"/a.bmp"}, path, &message));
    EXPECT_EQ(message, QString("位图列表保存失败!"));
    EXPECT_EQ(QFileInfo(path).size(), 64LL << 20);
}
