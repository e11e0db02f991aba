#include "library/FileBrowser.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <QDir>

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
