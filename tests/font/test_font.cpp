#include "font/FontImage.h"
#include "protocol/Module.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#ifndef _WIN32
#include <sys/stat.h>
#endif

using panelix::test::describe;

namespace panelix {
namespace {

constexpr int Sent = module::FontTransferTotal;
constexpr int Loaded = module::FontImageSize;

// Distinct bytes, so a shifted or truncated copy cannot pass.
QByteArray fontBytes(int size) {
    QByteArray data(size, '\0');
    for (int i = 0; i < size; ++i)
        data[i] = char((i * 7 + i / 251) & 0xFF);
    return data;
}

TEST(FontImage, FileHeadPaddedToTheImageSize) {
    for (int size : {Sent, Loaded + 5000, 1000}) {
        QTemporaryDir dir;
        const QByteArray file = fontBytes(size);
        ASSERT_TRUE(test::writeFile(dir.filePath(size == 1000 ? "HZK16" : "hzk16"), file));
        const FontImage font = loadFontImage(dir.path());
        ASSERT_TRUE(font.ok) << size;
        const QByteArray head = file.left(Loaded);
        EXPECT_EQ(font.image, head + QByteArray(Loaded - head.size(), '\0')) << size;
        EXPECT_EQ(font.image.left(Sent), file.left(Sent).leftJustified(Sent, '\0'));
    }
}

#ifndef _WIN32
TEST(FontImage, AnythingButAReadableFileIsRefused) {
    QTemporaryDir dir;
    ASSERT_TRUE(test::writeFile(dir.filePath("hzk16.bak"), fontBytes(100)));
    QTemporaryDir withDir;
    ASSERT_TRUE(QDir(withDir.path()).mkdir("hzk16"));
    QTemporaryDir withFifo; // opening it would block for good
    ASSERT_EQ(::mkfifo(QFile::encodeName(withFifo.filePath("Hzk16")).constData(), 0600), 0);

    for (const QString& path : {dir.path(), dir.filePath("missing"), withDir.path(), withFifo.path()}) {
        const FontImage font = loadFontImage(path);
        EXPECT_FALSE(font.ok);
        EXPECT_EQ(describe(font.error), "FontMissing");
        EXPECT_TRUE(font.image.isEmpty());
    }
}
#endif

} // namespace
} // namespace panelix
