#include "WindowFixture.h"

#include "protocol/Module.h"
#include "shell/StatusTexts.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QFile>
#include <QTemporaryDir>

#include <sys/stat.h>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QRadioButton>

using namespace panelix;
using namespace panelix::test;

namespace {

struct Expected {
    const char* name;
    const char* kind;
    const char* container;
    const char* caption; // nullptr: no caption to check
};

const Expected inventory[] = {
    {"Frame2", "QGroupBox", "MainWindow", "模拟仿真"},
    {"Command14", "QPushButton", "Frame2", "显示反色"},
    {"Command13", "QPushButton", "Frame2", "发送命令"},
    {"Combo1", "QComboBox", "Frame2", nullptr},
    {"Text2", "QLineEdit", "Frame2", "16进制显示:"},
    {"Label4", "QLabel", "Frame2", "16进制显示:"},
    {"Label3", "QLabel", "Frame2", "请输入命令"},
    {"Command12", "QPushButton", "MainWindow", "背光关闭"},
    {"Command11", "QPushButton", "MainWindow", "背光打开"},
    {"Command10", "QPushButton", "MainWindow", "清除显示"},
    {"Command9", "QPushButton", "MainWindow", "下载字库"},
    {"Command8", "QPushButton", "MainWindow", "下载位图"},
    {"Command7", "QPushButton", "MainWindow", "连线测试"},
    {"Command6", "QPushButton", "MainWindow", "图文编辑"},
    {"Command5", "QPushButton", "MainWindow", "使用帮助"},
    {"Command4", "QPushButton", "MainWindow", "恢复"},
    {"Frame1", "QGroupBox", "MainWindow", "串口选择"},
    {"Option2", "QRadioButton", "Frame1", "COM2"},
    {"Option1", "QRadioButton", "Frame1", "COM1"},
    {"Text1", "QLineEdit", "MainWindow", ""},
    {"Command3", "QPushButton", "MainWindow", "重排"},
    {"Command2", "QPushButton", "MainWindow", "删除"},
    {"Command1", "QPushButton", "MainWindow", "添加"},
    {"frame", "QGroupBox", "MainWindow", "下载位图排序"},
    {"List1", "QListWidget", "frame", nullptr},
    {"Drive1", "QComboBox", "MainWindow", nullptr},
    {"File1", "QListWidget", "MainWindow", nullptr},
    {"Dir1", "QListWidget", "MainWindow", nullptr},
    {"Label2", "QLabel", "MainWindow", ""},
    {"Image1", "QLabel", "MainWindow", nullptr},
    {"Label1", "QLabel", "MainWindow", "序号n"},
};

QString captionOf(QWidget* w) {
    if (auto* b = qobject_cast<QAbstractButton*>(w))
        return b->text();
    if (auto* g = qobject_cast<QGroupBox*>(w))
        return g->title();
    if (auto* l = qobject_cast<QLabel*>(w))
        return l->text();
    if (auto* e = qobject_cast<QLineEdit*>(w))
        return e->text();
    return {};
}

struct Window : ::testing::Test, WindowOnPtys {};

} // namespace

TEST_F(Window, EveryControlStandsWithItsKindContainerAndCaption) {
    open();
    EXPECT_EQ(window->windowTitle(), "Panelix3.1(for 320240)" + QString(44, ' '));
    for (const Expected& e : inventory) {
        SCOPED_TRACE(e.name);
        auto* w = child(e.name);
        ASSERT_NE(w, nullptr);
        EXPECT_TRUE(w->inherits(e.kind));
        EXPECT_EQ(w->parentWidget()->objectName(), QString(e.container));
        if (e.caption) {
            EXPECT_EQ(captionOf(w), QString::fromUtf8(e.caption));
        }
    }
    auto* combo = child<QComboBox>("Combo1");
    const QStringList captions = {"显示汉字(XY汉):", "显示大汉字(XY汉):", "显示图像(XYN):",
                                  "清除全屏:",       "清除距形(XYWH):",   "反色距形(XYWH):",
                                  "显示距形(XYWHB):", "背光打开:",        "背光关闭:"};
    ASSERT_EQ(combo->count(), 9);
    for (int i = 0; i < 9; ++i)
        EXPECT_EQ(combo->itemText(i), captions[i]);
    EXPECT_EQ(combo->currentIndex(), -1);
    EXPECT_EQ(combo->currentText(), QString("请输入命令"));
    EXPECT_TRUE(child<QLabel>("Image1")->pixmap().isNull());
    EXPECT_EQ(status(), QString());
    EXPECT_EQ(child<QLineEdit>("Text2")->text(), QString("16进制显示:")); // no preview ran at start-up
}

TEST_F(Window, FixedCommandsSendTheirThreeBytesOneWriteEach) {
    open(true, false, {.answerTest = false});
    click("Command11");
    click("Command11");
    click("Command12");
    click("Command7");
    EXPECT_EQ(status(), QString("连线测试出错,请检查串口线!"));
    click("Command10");
    EXPECT_EQ(status(), QString());
    click("Command5");
    click("Command6");
    const QByteArray expected("\x1D\x07\x0D\x1D\x07\x0D\x1D\x08\x0D\x1D\x0C\x0D\x1D\x03\x0D", 15);
    ASSERT_TRUE(waitUntil([&] { return module1->receivedCount() >= expected.size(); }));
    spin(40);
    EXPECT_EQ(module1->received(), expected);
    EXPECT_EQ(status(), QString());
}

TEST_F(Window, TheConnectionTestAnswerTurnsTheVerdict) {
    open();
    click("Command7");
    EXPECT_EQ(status(), QString("连线测试出错,请检查串口线!"));
    ASSERT_TRUE(waitUntil([&] { return status() == QString("连线测试工作正常"); }));
    EXPECT_TRUE(child<QLabel>("Image1")->pixmap().isNull());
}

TEST_F(Window, WritesToAClosedPortSendNothingAndSaySo) {
    open(false, false);
    EXPECT_FALSE(window->session().port().isOpen());
    EXPECT_EQ(status(), QString("串口COM2打开失败:设备不存在!"));
    click("Command11");
    EXPECT_EQ(status(), QString("串口未打开!"));
    click("Command8"); // empty list: built, but nothing armed on a closed port
    EXPECT_EQ(status(), QString("串口未打开!"));
    EXPECT_FALSE(window->session().port().pacing());
}

TEST_F(Window, SingleCommandButtonsWaitWhileATransferRuns) {
    open(true, false, {.lineRate = true});
    const char* singles[] = {"Command7", "Command10", "Command11", "Command12", "Command13"};
    click("Command8"); // the empty list: a 1024-byte directory, about half a second
    EXPECT_EQ(status(), QString("正在下载..."));
    ASSERT_TRUE(waitUntil([&] { return window->session().port().running(); }));
    for (const char* n : singles)
        EXPECT_FALSE(child(n)->isEnabled()) << n;
    EXPECT_TRUE(child("Command8")->isEnabled());
    EXPECT_TRUE(child("Command9")->isEnabled());
    ASSERT_TRUE(waitUntil([&] { return status() == QString("下载完成！"); }, 5000));
    for (const char* n : singles)
        EXPECT_TRUE(child(n)->isEnabled()) << n;
    // The module has the last byte one byte time after it entered the transmitter.
    EXPECT_TRUE(waitUntil([&] { return module1->dataBytes().size() == 1024; }, 1000));
}

TEST_F(Window, ButtonsComeBackAfterAnErrorReplyAndAfterAnUnplug) {
    open(true, false, {.errorAfterDataBytes = 100, .lineRate = true});
    click("Command8");
    ASSERT_TRUE(waitUntil([&] { return status() == QString("通信出错！"); }, 5000));
    EXPECT_TRUE(child("Command11")->isEnabled());

    module1->clear();
    module1->start({.lineRate = true});
    click("Command8");
    ASSERT_TRUE(waitUntil([&] { return window->session().port().running(); }));
    module1->stop();
    pty1.releaseSlave();
    pty1.closeMaster();
    ASSERT_TRUE(waitUntil([&] { return status() == QString("串口已断开!"); }));
    EXPECT_FALSE(window->session().port().isOpen());
    EXPECT_TRUE(child("Command11")->isEnabled());
}

// A second press while data flows would put a header in the middle of the data: it is
// refused with a word, and the transfer under way completes byte for byte.
TEST_F(Window, APressWhileDataFlowsIsRefusedAndTheTransferCompletes) {
    open(true, false, {.lineRate = true});
    click("Command8");
    ASSERT_TRUE(waitUntil([&] { return module1->dataBytes().size() >= 50; }, 3000));
    click("Command8");
    EXPECT_EQ(status(), QString("正在下载,请等待完成!"));
    click("Command9");
    EXPECT_EQ(status(), QString("正在下载,请等待完成!"));
    EXPECT_TRUE(window->session().running());
    ASSERT_TRUE(waitUntil([&] { return status() == QString("下载完成！"); }, 5000));
    EXPECT_EQ(module1->headersAnswered(), 1);
    ASSERT_TRUE(module1->waitForData(1024, 2000)); // the last bytes are still on the line
    EXPECT_EQ(module1->dataBytes(), readFile(dataDir.filePath("dispkit/file.add")).left(1024));
}

TEST_F(Window, ClickingTheChosenPortAgainReopensIt) {
    QTemporaryDir links;
    const QString port2 = links.filePath("ttyPanel");
    StartupOptions o;
    o.dataDir = dataDir.filePath("dispkit");
    o.port1 = "/nonexistent/port1";
    o.port2 = port2;
    makeWindow(o);
    EXPECT_EQ(status(), QString("串口COM2打开失败:设备不存在!"));
    ASSERT_FALSE(window->session().port().isOpen());

    // The adapter is plugged in: the device appears under the same name.
    ASSERT_TRUE(pty2.open());
    ASSERT_TRUE(QFile::link(pty2.slavePath(), port2));
    child<QRadioButton>("Option2")->click();
    EXPECT_TRUE(window->session().port().isOpen());
    click("Command11");
    EXPECT_EQ(pty2.readExactly(3, 2000), QByteArray("\x1D\x07\x0D", 3));
}

TEST_F(Window, APathThatIsNoRegularFileIsRefusedWithoutBlocking) {
    QDir().mkpath(dataDir.filePath("dispkit"));
    ASSERT_EQ(mkfifo(QFile::encodeName(dataDir.filePath("dispkit/File.txt")).constData(), 0600), 0);
    ASSERT_EQ(mkfifo(QFile::encodeName(dataDir.filePath("pipe.bmp")).constData(), 0600), 0);
    open(true, false);
    EXPECT_EQ(status(), QString("位图列表读取失败!"));
    window->bitmapList().add(dataDir.filePath("pipe.bmp"), nullptr);
    window->bitmapList().select(0);
    EXPECT_EQ(status(), QString("位图文件无法打开:pipe.bmp"));
}

TEST_F(Window, TheStatusLineFollowsTheProgressAtAPaintableRate) {
    open(true, false, {.lineRate = true});
    click("Command8"); // the empty list: 1024 bytes, about 0.53 s on the line
    QStringList seen;
    QElapsedTimer clock;
    clock.start();
    while (status() != QString("下载完成！") && clock.elapsed() < 5000) {
        if (seen.isEmpty() || seen.last() != status())
            seen << status();
        spin(1);
    }
    ASSERT_EQ(status(), QString("下载完成！"));
    const QRegularExpression progress("^正在下载\\.\\.\\.  (\\d+)   (\\d+)%$");
    int last = 0;
    int shown = 0;
    for (const QString& text : seen) {
        if (text == QString("正在下载..."))
            continue;
        const auto m = progress.match(text);
        ASSERT_TRUE(m.hasMatch()) << text.toStdString();
        const int position = m.captured(1).toInt();
        EXPECT_GT(position, last);
        EXPECT_EQ(m.captured(2).toInt(), position * 100 / 1024);
        last = position;
        ++shown;
    }
    // Refreshed while it runs, but not once per 2-byte chunk (512 of them).
    EXPECT_GE(shown, 3);
    EXPECT_LE(shown, int(clock.elapsed() / 40) + 2);
}

// A person reads the status line about four times a second: the text changes no more
// often than that during a transfer, and the transfer's end always shows.
TEST_F(Window, TheStatusLineRefreshesAtAReadableRate) {
    open(true, false, {.lineRate = true});
    click("Command8"); // the empty list: 1024 bytes, about 0.53 s on the line
    int changes = 0;
    QString last = status();
    QElapsedTimer clock;
    clock.start();
    qint64 running = 0;
    while (status() != QString("下载完成！") && clock.elapsed() < 5000) {
        if (status() != last) {
            last = status();
            if (last.startsWith(QString("正在下载...  ")))
                ++changes;
        }
        if (window->session().running())
            running = clock.elapsed();
        spin(1);
    }
    ASSERT_EQ(status(), QString("下载完成！"));
    EXPECT_GE(changes, 2);
    EXPECT_LE(changes, int(running / 250) + 2) << "over " << running << " ms";
}

// A switch to the other port ends the running transfer: the status line says so
// instead of leaving the last progress standing, and the progress bar goes.
TEST_F(Window, APortSwitchDuringATransferSaysTheDownloadStopped) {
    open(true, true, {.lineRate = true});
    click("Command8");
    ASSERT_TRUE(waitUntil([&] { return window->session().port().running(); }));
    ASSERT_TRUE(waitUntil([&] { return status().startsWith(QString("正在下载...  ")); }, 2000));
    ASSERT_FALSE(child("Progress")->isHidden());
    child<QRadioButton>("Option2")->click();
    EXPECT_EQ(status(), QString("串口已切换,下载中止!"));
    EXPECT_EQ(window->session().port().selectedPort(), 2);
    EXPECT_TRUE(child("Progress")->isHidden());
    EXPECT_TRUE(child("Command11")->isEnabled());
    spin(100);
    EXPECT_EQ(status(), QString("串口已切换,下载中止!"));
}

TEST_F(Window, AReopenAfterAnUnplugClearsTheUnplugMessage) {
    QTemporaryDir links;
    const QString port1 = links.filePath("ttyPanel");
    ASSERT_TRUE(pty1.open());
    ASSERT_TRUE(QFile::link(pty1.slavePath(), port1));
    StartupOptions o;
    o.dataDir = dataDir.filePath("dispkit");
    o.port1 = port1;
    o.port2 = "/nonexistent/port2";
    makeWindow(o);
    ASSERT_TRUE(window->session().port().isOpen());
    pty1.releaseSlave();
    pty1.closeMaster();
    ASSERT_TRUE(waitUntil([&] { return status() == QString("串口已断开!"); }));

    ASSERT_TRUE(pty2.open());
    ASSERT_TRUE(QFile::remove(port1));
    ASSERT_TRUE(QFile::link(pty2.slavePath(), port1));
    child<QRadioButton>("Option1")->click();
    EXPECT_TRUE(window->session().port().isOpen());
    EXPECT_EQ(status(), QString());
}

TEST(StatusTexts, ProgressPercentageIsFlooredAndReaches100OnlyAtTheEnd) {
    EXPECT_EQ(texts::progressText(1000, 262144), QString("正在下载...  1000   0%"));
    EXPECT_EQ(texts::progressText(2621, 262144), QString("正在下载...  2621   0%"));
    EXPECT_EQ(texts::progressText(2622, 262144), QString("正在下载...  2622   1%"));
    EXPECT_EQ(texts::progressText(262143, 262144), QString("正在下载...  262143   99%"));
    EXPECT_EQ(texts::progressText(262144, 262144), QString("正在下载...  262144   100%"));
    EXPECT_EQ(texts::timeLeftText(137), QString("剩余2:17"));
}

TEST(StatusTexts, ARefusedPortGetsTheAdviceOfItsSystem) {
    using texts::AdviceSystem;
    // Linux: a refused permission names the device's group; a busy port needs no advice.
    const QString posix = texts::openAdvice(OpenError::NoPermission, "/dev/nonexistent-tty", AdviceSystem::Posix);
    EXPECT_TRUE(posix.contains("/dev/nonexistent-tty") && posix.contains("dialout") && posix.contains("usermod"))
        << posix.toStdString();
    EXPECT_EQ(texts::openAdvice(OpenError::InUse, "/dev/ttyUSB0", AdviceSystem::Posix), QString());
    // Windows reports a port held by another program as "access denied": both causes
    // name that program and the adapter's driver, never a group.
    for (OpenError e : {OpenError::NoPermission, OpenError::InUse}) {
        const QString win = texts::openAdvice(e, "COM7", AdviceSystem::Windows);
        EXPECT_TRUE(win.startsWith("COM7") && win.contains("另一个程序") && win.contains("驱动程序") &&
                    !win.contains("usermod"))
            << win.toStdString();
    }
    for (OpenError e : {OpenError::NoDevice, OpenError::NotSerial, OpenError::Unknown}) {
        EXPECT_EQ(texts::openAdvice(e, "COM7", AdviceSystem::Windows), QString());
        EXPECT_EQ(texts::openAdvice(e, "/dev/ttyUSB0", AdviceSystem::Posix), QString());
    }
}
