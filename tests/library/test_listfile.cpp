#include "library/ListFile.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <csignal>
#include <QDir>
#ifndef _WIN32
#include <sys/resource.h>
#endif

using panelix::test::describe;

using namespace panelix;
using test::readFile;
using test::writeFile;

namespace {

// N and the given records, the remaining slots empty.
QByteArray listBytes(int n, const QList<QByteArray>& texts) {
    QByteArray out;
    out.append(char(n & 0xFF)).append(char((n >> 8) & 0xFF));
    for (const QByteArray& t : texts)
        out.append(char(t.size() & 0xFF)).append(char(t.size() >> 8)).append(t);
    return out + QByteArray(2 * (ListFile::Slots - int(texts.size())), '\0');
}

struct ListFileTest : ::testing::Test {
    QTemporaryDir dir;
    QString path = dir.filePath("file.txt");
    ListFile list;
    InputError message;
};

} // namespace

TEST_F(ListFileTest, SavedLayoutsAreExact) {
    ASSERT_TRUE(list.saveList({}, path, &message));
    EXPECT_EQ(readFile(path), QByteArray(504, '\0'));
    ASSERT_TRUE(list.saveList({"c:\\dispkit\\a.bmp"}, path, &message));
    EXPECT_EQ(readFile(path).size(), 520);
    EXPECT_EQ(readFile(path), listBytes(1, {"c:\\dispkit\\a.bmp"}));
    // L counts GBK bytes: two per Chinese character.
    ASSERT_TRUE(list.saveList({QString::fromUtf8("c:\\图片.bmp")}, path, &message));
    EXPECT_EQ(readFile(path).left(15), QByteArray::fromHex("01000b00633a5ccdbcc6ac2e626d70"));
    EXPECT_FALSE(message);
}

TEST_F(ListFileTest, ShorterListKeepsOldRecordsAndTrailingBytes) {
    ASSERT_TRUE(writeFile(path, listBytes(5, {"a", "b", "c", "d", "e"}) + QByteArray(40, '\xEE')));
    ASSERT_EQ(list.loadList(path, &message).size(), 5);
    ASSERT_TRUE(list.saveList({"a", "c", "e"}, path, &message));
    EXPECT_EQ(readFile(path), listBytes(3, {"a", "c", "e", "d", "e"}) + QByteArray(40, '\xEE'));
    EXPECT_EQ(ListFile().loadList(path, &message), QStringList({"a", "c", "e"}));
}

TEST_F(ListFileTest, CountsAndRecordsAreBounded) {
    QList<QByteArray> all;
    for (int i = 0; i < ListFile::Slots; ++i)
        all.append("p" + QByteArray::number(i));
    ASSERT_TRUE(writeFile(path, listBytes(300, all)));
    const QStringList loaded = list.loadList(path, &message);
    EXPECT_EQ(loaded.size(), 251);
    EXPECT_EQ(loaded.value(250), "p250");
    for (int n : {0, -1}) {
        ASSERT_TRUE(writeFile(path, listBytes(n, {"x"})));
        EXPECT_TRUE(list.loadList(path, &message).isEmpty()) << n;
    }
    // A record cut off by the end of the file is missing, like those after it.
    ASSERT_TRUE(writeFile(path, QByteArray::fromHex("03000100780500616263")));
    EXPECT_EQ(list.loadList(path, &message), QStringList({"x", "", ""}));
    EXPECT_EQ(list.listStore(), QStringList({"x"}) + QStringList(250, ""));
    EXPECT_FALSE(message);
}

TEST_F(ListFileTest, MissingAndUnreadableFiles) {
    ASSERT_TRUE(list.saveList({"a"}, path, &message));
    EXPECT_TRUE(list.loadList(dir.filePath("none.txt"), &message).isEmpty());
    EXPECT_FALSE(message);
    EXPECT_EQ(list.listStore()[0], "");
    ASSERT_TRUE(list.saveList({"b"}, path, &message));
    ASSERT_TRUE(QDir(dir.path()).mkdir("sub"));
    EXPECT_TRUE(list.loadList(dir.filePath("sub"), &message).isEmpty());
    EXPECT_EQ(describe(message), "ListNotRead");
    EXPECT_EQ(list.listStore()[0], "b");
    ASSERT_TRUE(QFile::rename(path, dir.filePath("File.TXT")));
    // The name as the directory holds it (Wine keeps the old case on a case-only rename).
    const QStringList names = QDir(dir.path()).entryList({"*.txt"}, QDir::Files | QDir::CaseSensitive) +
                              QDir(dir.path()).entryList({"*.TXT"}, QDir::Files | QDir::CaseSensitive);
    ASSERT_EQ(names.size(), 1);
#ifndef _WIN32
    EXPECT_EQ(names.first(), "File.TXT");
#endif
    EXPECT_EQ(listFilePath(dir.path()), dir.filePath(names.first()));
}

TEST_F(ListFileTest, RefusedSaveLeavesOldFileAndStore) {
    const QByteArray old = listBytes(2, {"old1", "old2"});
    ASSERT_TRUE(writeFile(path, old));
    EXPECT_FALSE(list.saveList(QStringList(252, "x.bmp"), path, &message));
    EXPECT_EQ(message.reason, InputReason::ListNotSaved);
    EXPECT_FALSE(list.saveList({QString(70000, 'a')}, path, &message));
    ASSERT_TRUE(QDir(dir.path()).mkdir("sub"));
    message = {};
    EXPECT_FALSE(list.saveList({"a"}, dir.filePath("sub"), &message));
    EXPECT_EQ(message.reason, InputReason::ListNotSaved);
    EXPECT_EQ(readFile(path), old);
    EXPECT_EQ(list.listStore()[0], "");
}

#ifndef _WIN32
// The file system refuses the write part-way, as a full disk does; a file-size limit
// makes that happen even for root.
TEST_F(ListFileTest, WriteRefusedPartWayLeavesOldFile) {
    ASSERT_TRUE(writeFile(path, listBytes(1, {"old"})));
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    rlimit small = saved;
    small.rlim_cur = 100;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool ok = list.saveList({QString(300, 'y')}, path, &message);
    setrlimit(RLIMIT_FSIZE, &saved);
    EXPECT_FALSE(ok);
    EXPECT_EQ(message.reason, InputReason::ListNotSaved);
    EXPECT_EQ(readFile(path), listBytes(1, {"old"}));
}
#endif
