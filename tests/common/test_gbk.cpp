// GBK as the list file and the module have it, whichever converter the system
// gives (Qt's ICU codec, or code page 936 on Windows).
#include "common/DataDir.h"
#include "common/Gbk.h"
#include "library/ListFile.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

using namespace panelix;
using namespace panelix::test;

TEST(Gbk, ChineseNamesHaveTheirTwoByteCodes) {
    ASSERT_TRUE(gbkAvailable());
    EXPECT_EQ(toGbk(QString::fromUtf8("测试")), QByteArray::fromHex("b2e2cad4"));
    EXPECT_EQ(toGbk(QString::fromUtf8("c:\\图片.bmp")), QByteArray::fromHex("633a5ccdbcc6ac2e626d70"));
    EXPECT_EQ(toGbk(QString::fromUtf8("链接")), QByteArray::fromHex("c1b4bdd3"));
    EXPECT_EQ(fromGbk(QByteArray::fromHex("b2e2cad4")), QString::fromUtf8("测试"));
    EXPECT_EQ(fromGbk(QByteArray::fromHex("633a5ccdbcc6ac2e626d70")), QString::fromUtf8("c:\\图片.bmp"));
    EXPECT_EQ(toGbk(QString()), QByteArray());
    EXPECT_EQ(fromGbk(QByteArray()), QString());
}

TEST(Gbk, ACharacterWithoutACodeIsOneQuestionMark) {
    // Outside the BMP (a surrogate pair), and a Thai letter that GBK lacks.
    EXPECT_EQ(toGbk(QString::fromUtf8("a😀b")), QByteArray("a?b"));
    EXPECT_EQ(toGbk(QString::fromUtf8("xกy")), QByteArray("x?y"));
}

TEST(Gbk, BytesThatAreNoGbkNeverComeBackTheSame) {
    // A lead byte at the end: dropped or replaced, it never gives the bytes back.
    const QByteArray cut("ab\xB2", 3);
    EXPECT_TRUE(fromGbk(cut).startsWith(QStringLiteral("ab")));
    EXPECT_NE(toGbk(fromGbk(cut)), cut);
    // A lead byte followed by a byte no trail byte can be.
    EXPECT_TRUE(fromGbk(QByteArray("\xB2\x20z", 3)).contains(QChar::ReplacementCharacter));
    EXPECT_TRUE(fromGbk(QByteArray("\xB2\x20z", 3)).endsWith(QStringLiteral("z")));
}

TEST(Gbk, TheListFileKeepsChineseNamesAcrossASaveAndALoad) {
    QTemporaryDir dir;
    const QString path = dir.filePath("file.txt");
    const QStringList names = {QString::fromUtf8("c:\\dispkit\\测试.bmp"), QString::fromUtf8("c:\\dispkit\\图片二.bmp"),
                               QStringLiteral("c:\\dispkit\\plain.bmp")};
    ListFile list;
    InputError message;
    ASSERT_TRUE(list.saveList(names, path, &message));
    const QByteArray bytes = readFile(path);
    // N, then L and the GBK bytes of the first record.
    EXPECT_EQ(bytes.left(4), QByteArray::fromHex("03001300"));
    EXPECT_EQ(bytes.mid(4, 19), QByteArray("c:\\dispkit\\") + QByteArray::fromHex("b2e2cad4") + ".bmp");
    EXPECT_EQ(ListFile().loadList(path, &message), names);
}

TEST(DataFilesEverywhere, WritesReplaceTheWholeFileAndStaleTemporariesGo) {
    QTemporaryDir dir;
    const QString path = dir.filePath("file.add");
    EXPECT_TRUE(writeFileAtomically(path, QByteArray(3000, 'a')));
    EXPECT_TRUE(writeFileAtomically(path, "short"));
    EXPECT_EQ(readFile(path), QByteArray("short"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList({"file.add"}));

    // What a killed write leaves, beside a user's own file of a similar name.
    ASSERT_TRUE(writeFile(dir.filePath("FILE.TXT.panelix-Ab12Cd.tmp"), "half"));
    ASSERT_TRUE(writeFile(dir.filePath("hzk16.panelix-zzzzzz.tmp"), "half"));
    ASSERT_TRUE(writeFile(dir.filePath("file.txt.bak"), "mine"));
    EXPECT_EQ(removeStaleTemporaries(dir.path()), 2);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files, QDir::Name), QStringList({"file.add", "file.txt.bak"}));

    // A directory is never replaced.
    ASSERT_TRUE(QDir(dir.path()).mkdir("file.txt"));
    QString error;
    EXPECT_FALSE(writeFileAtomically(dir.filePath("file.txt"), "x", &error));
    EXPECT_FALSE(error.isEmpty());
}
