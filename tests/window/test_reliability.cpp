#include "WindowDriver.h"

#include <QFile>

#include <fcntl.h>
#include <unistd.h>

using namespace panelix;
using namespace panelix::test;

namespace {
using Reliability = WindowTest;
} // namespace

// A module that never answers the header: after 3 s the status line says so; a
// late answer still starts the data and its progress replaces the text.
TEST_F(Reliability, ASilentModuleIsNamedAndALateAnswerStillDownloads) {
    start(true, false, {.answerHeaders = false});
    click("Command8"); // the empty list: a 1024-byte directory
    EXPECT_EQ(status(), QString("正在下载..."));
    ASSERT_TRUE(waitFor([&] { return status() == QString("模块无应答,请检查连接!"); }, 4000));
    fastLine();
    module1->send(QByteArray("\xAA", 1));
    ASSERT_TRUE(waitFor([&] { return status() == QString("下载完成！"); }, 3000));
    ASSERT_TRUE(waitFor([&] { return module1->receivedCount() >= 5 + 1024; }));
}

// A stray 0x0C after a failure must not read as success; the answer to a test
// that was sent does, once.
TEST_F(Reliability, AStray0x0CAfterAnErrorLeavesTheErrorStanding) {
    start(true, false, {.errorAfterDataBytes = 600, .lineRate = true});
    click("Command8");
    ASSERT_TRUE(waitFor([&] { return status() == QString("通信出错！"); }, 5000));
    waitFor([] { return false; }, 300);
    module1->send(QByteArray("\x0C", 1));
    waitFor([] { return false; }, 200);
    EXPECT_EQ(status(), QString("通信出错！"));

    module1->resync();
    click("Command7");
    EXPECT_EQ(status(), QString("连线测试出错,请检查串口线!"));
    ASSERT_TRUE(waitFor([&] { return status() == QString("连线测试工作正常"); }));
}

// Leftovers of a write killed before its rename are gone after a start; a user's
// own files beside them stay.
TEST_F(Reliability, LeftoverTemporariesAreClearedAtStartUp) {
    ASSERT_TRUE(writeFile(dataFile("file.txt.panelix-k3Jx9Q.tmp"), QByteArray(4000, 'x')));
    ASSERT_TRUE(writeFile(dataFile("FILE.ADD.panelix-Zz0000.tmp"), QByteArray(9000, 'y')));
    ASSERT_TRUE(writeFile(dataFile("file.txt.old"), "mine"));
    start();
    EXPECT_FALSE(QFile::exists(dataFile("file.txt.panelix-k3Jx9Q.tmp")));
    EXPECT_FALSE(QFile::exists(dataFile("FILE.ADD.panelix-Zz0000.tmp")));
    EXPECT_TRUE(QFile::exists(dataFile("file.txt.old")));
}

// A BMP whose name is GBK bytes (unpacked from an archive made on Chinese Windows)
// is listed under its Chinese name; the list file could not open it again, so Add
// refuses it with the usual message.
TEST_F(Reliability, AGbkNamedFileIsListedAndAddRefusesIt) {
    const QByteArray gbkName = QFile::encodeName(data()) + "/\xB2\xE2\xCA\xD4.bmp"; // 测试.bmp in GBK
    const int fd = ::open(gbkName.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    const QByteArray bmp = picture("x.bmp", 16, 4).file();
    ASSERT_EQ(::write(fd, bmp.constData(), size_t(bmp.size())), bmp.size());
    ::close(fd);
    start();
    ASSERT_TRUE(items("File1").contains(QString("测试.bmp"))) << items("File1").join(',').toStdString();
    clickFile("测试.bmp");
    click("Command1");
    EXPECT_EQ(status(), QString("路径含有无法保存的字符!"));
    EXPECT_EQ(listBox("List1")->count(), 0);
    ::unlink(gbkName.constData());
}

// A corrupt list record (a path of length 0) is named by its position.
TEST_F(Reliability, AnEmptyListRecordIsNamedByItsPosition) {
    const Picture a = picture("a.bmp", 8, 2);
    writePicture(a, data());
    ASSERT_TRUE(writeFile(dataFile("file.txt"), expectedListFile({dataFile("a.bmp"), dataFile("a.bmp"), QString()})));
    start();
    ASSERT_EQ(listBox("List1")->count(), 3);
    click("Command8");
    EXPECT_EQ(status(), QString("位图文件无法打开:第3项"));
}
