#include "common/DataDir.h"
#include "library/FileBrowser.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

using namespace panelix;

TEST(FileBrowser, ListNumbersAndComposedPaths) {
    const QList<std::pair<int, QString>> cases{{-1, "  "}, {0, "00"},  {10, "0A"}, {15, "0F"},
                                               {16, "10"}, {26, "1A"}, {250, "FA"}};
    for (const auto& [k, text] : cases)
        EXPECT_EQ(listNumberText(k), text) << k;
    EXPECT_EQ(composeBrowserPath("/", "a.bmp"), "//a.bmp");
    EXPECT_EQ(composeBrowserPath("/home/u", "a.bmp"), "/home/u/a.bmp");
}

TEST(FileBrowser, BmpFilesIgnoreLetterCase) {
    QTemporaryDir dir;
    for (const char* name : {"b.BMP", "a.bmp", "C.Bmp", "x.txt", "bmp", "y.bmp.txt", ".h.bmp"})
        ASSERT_TRUE(test::writeFile(dir.filePath(name), "1"));
    ASSERT_TRUE(QDir(dir.path()).mkdir("d.bmp"));
    EXPECT_EQ(bmpFilesIn(dir.path()), QStringList({"a.bmp", "b.BMP", "C.Bmp"}));
}

TEST(FileBrowser, DrivesAndTheSilentFallBack) {
    EXPECT_EQ(driveRootsFrom("/home/u", {"/", "/proc", "/mnt/usb", "/media/u/CARD", "/run/media/u/X",
                                         "/mnt/usb", "/mediax"}),
              QStringList({"/", "/home/u", "/media/u/CARD", "/mnt/usb", "/run/media/u/X"}));
    EXPECT_EQ(driveForPath("/home/u/dispkit", {"/", "/home/u", "/home/u2"}), "/home/u");
    EXPECT_EQ(driveForPath("/home/u2x", {"/", "/home/u", "/home/u2"}), "/");
    QTemporaryDir dir;
    bool fellBack = false;
    EXPECT_EQ(directoryForDrive(dir.filePath("gone"), "/home/u/dispkit", &fellBack), "/home/u/dispkit");
    EXPECT_TRUE(fellBack);
    EXPECT_EQ(directoryForDrive(dir.path(), "/x", &fellBack), dir.path());
    EXPECT_FALSE(fellBack);
}

#ifndef _WIN32
namespace {

bool createNative(const QByteArray& path, const QByteArray& contents) {
    const int fd = ::open(path.constData(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
    const bool ok = fd >= 0 && ::write(fd, contents.constData(), size_t(contents.size())) == contents.size();
    return fd >= 0 && ::close(fd) == 0 && ok;
}

// QTemporaryDir cannot remove names that are not UTF-8: it never sees them.
struct UnlinkedOnExit {
    QList<QByteArray> paths;
    ~UnlinkedOnExit() {
        for (const QByteArray& path : paths)
            ::unlink(path.constData());
    }
};

} // namespace
#endif

#ifndef _WIN32
// Names unpacked from archives made on Chinese Windows are GBK bytes, not UTF-8.
TEST(FileBrowser, NamesThatAreNotUtf8AreShownAndOpenOnlyByTheirBytes) {
    QTemporaryDir dir;
    const QByteArray native = QFile::encodeName(dir.path());
    const QByteArray gbk = native + "/\xB2\xE2\xCA\xD4.bmp"; // 测试 in GBK
    const QByteArray neither = native + "/\xFF\xFE.BMP";
    const QByteArray link = native + "/\xC1\xB4.bmp"; // 链 in GBK
    const UnlinkedOnExit cleanup{{gbk, neither, link}};
    ASSERT_TRUE(createNative(gbk, "gbk"));
    ASSERT_TRUE(createNative(native + "/\xE6\xB5\x8B\xE8\xAF\x95.bmp", "utf8")); // 测试 in UTF-8
    ASSERT_TRUE(createNative(neither, "neither"));
    ASSERT_TRUE(createNative(native + "/\xF0\x9F\x98\x80.bmp", "emoji")); // no GBK code
    ASSERT_TRUE(createNative(native + "/a.bmp", "a"));
    ASSERT_EQ(::symlink(gbk.constData(), link.constData()), 0);

    const QString test = QString::fromUtf8("测试.bmp");
    struct Expected {
        QString name;
        QByteArray contents;
        bool opens;
        bool storable;
    };
    const QList<Expected> expected{
        {"a.bmp", "a", true, true},
        {test, "gbk", false, false}, // its path would open the UTF-8 twin
        {test, "utf8", true, true},
        {QString::fromUtf8("链.bmp"), "gbk", false, false},
        {QString::fromUtf8("\xF0\x9F\x98\x80.bmp"), "emoji", true, false},
        {QString(2, QChar::ReplacementCharacter) + ".BMP", "neither", false, false}};
    const QList<BrowserEntry> entries = bmpEntriesIn(dir.path());
    ASSERT_EQ(entries.size(), expected.size());
    for (qsizetype i = 0; i < entries.size(); ++i) {
        const BrowserEntry& e = entries[i];
        EXPECT_EQ(e.displayName, expected[i].name) << i;
        QFile file;
        ASSERT_TRUE(openNativeFile(e.nativePath, &file)) << i;
        EXPECT_EQ(file.readAll(), expected[i].contents) << i;
        EXPECT_EQ(e.pathOpensFile, expected[i].opens) << i;
        EXPECT_EQ(canStoreInList(e), expected[i].storable) << i;
        if (e.pathOpensFile) {
            EXPECT_EQ(test::readFile(e.path), expected[i].contents) << i;
        }
    }
    QStringList shown;
    for (const Expected& x : expected)
        shown.append(x.name);
    EXPECT_EQ(bmpFilesIn(dir.path()), shown);
}
#endif

#ifdef _WIN32
// Windows: the drives are the drive letters, and paths match them whatever their case.
TEST(FileBrowser, DriveLettersAreTheDrives) {
    const QStringList roots = driveRoots();
    ASSERT_TRUE(roots.contains(QStringLiteral("C:/")));
    EXPECT_EQ(driveForPath(QStringLiteral("c:/dispkit"), roots), QStringLiteral("C:/"));
    EXPECT_EQ(driveForPath(QStringLiteral("C:\\dispkit\\a.bmp"), roots), QStringLiteral("C:/"));
    QTemporaryDir dir;
    ASSERT_TRUE(test::writeFile(dir.filePath(QString::fromUtf8("测试.BMP")), "1"));
    ASSERT_TRUE(test::writeFile(dir.filePath("b.txt"), "1"));
    const QList<BrowserEntry> entries = bmpEntriesIn(dir.path());
    ASSERT_EQ(entries.size(), 1);
    EXPECT_EQ(entries[0].displayName, QString::fromUtf8("测试.BMP"));
    EXPECT_TRUE(entries[0].pathOpensFile);
    QFile file;
    ASSERT_TRUE(openNativeFile(entries[0].nativePath, &file));
    EXPECT_EQ(file.readAll(), QByteArray("1"));
}
#endif

#ifndef _WIN32
TEST(FileBrowser, OnlyRealDirectoriesAreListedAsFolders) {
    QTemporaryDir dir;
    const QDir d(dir.path());
    ASSERT_TRUE(d.mkdir("pictures"));
    ASSERT_TRUE(d.mkdir("Archive"));
    ASSERT_TRUE(d.mkdir(".hidden"));
    ASSERT_TRUE(test::writeFile(d.filePath("notes.txt"), "1"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(d.filePath("pipe")).constData(), 0600), 0);
    // Links: to a device, a FIFO, a file, nothing, themselves, and one to a real folder.
    ASSERT_TRUE(QFile::link("/dev/zero", d.filePath("zero")));
    ASSERT_TRUE(QFile::link(d.filePath("pipe"), d.filePath("to-pipe")));
    ASSERT_TRUE(QFile::link(d.filePath("notes.txt"), d.filePath("to-notes")));
    ASSERT_TRUE(QFile::link(d.filePath("gone"), d.filePath("dangling")));
    ASSERT_EQ(::symlink("loop", QFile::encodeName(d.filePath("loop")).constData()), 0);
    ASSERT_TRUE(QFile::link(d.filePath("pictures"), d.filePath("linked")));
    EXPECT_EQ(subdirectoriesIn(dir.path()), QStringList({"Archive", "linked", "pictures"}));
    EXPECT_TRUE(subdirectoriesIn(d.filePath("zero")).isEmpty());
}
#endif
