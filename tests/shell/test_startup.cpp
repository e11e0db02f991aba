#include "WindowFixture.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QRadioButton>

using namespace panelix;
using namespace panelix::test;

namespace {
struct Startup : ::testing::Test, WindowOnPtys {
    bool option(const char* name) const { return child<QRadioButton>(name)->isChecked(); }
};
} // namespace

TEST_F(Startup, PortOneOpensAt19200) {
    open();
    CommPort& port = window->session().port();
    EXPECT_TRUE(option("Option1"));
    EXPECT_FALSE(option("Option2"));
    EXPECT_TRUE(port.isOpen());
    EXPECT_EQ(port.selectedPort(), 1);
    EXPECT_EQ(port.lineSettings(), QString("19200,n,8,1"));
    EXPECT_FALSE(port.pacing());
    EXPECT_EQ(status(), QString());
    EXPECT_TRUE(QDir(dataDir.filePath("dispkit")).exists()); // created when missing
    click("Command11");
    ASSERT_TRUE(waitUntil([&] { return module1->receivedCount() == 3; }));
    EXPECT_EQ(module2->receivedCount(), 0);
}

TEST_F(Startup, PortOneMissingFallsBackToPortTwoSilently) {
    open(false, true);
    EXPECT_TRUE(option("Option2"));
    EXPECT_FALSE(option("Option1"));
    EXPECT_EQ(window->session().port().selectedPort(), 2);
    EXPECT_TRUE(window->session().port().isOpen());
    EXPECT_EQ(window->session().port().lineSettings(), QString("19200,n,8,1"));
    EXPECT_EQ(status(), QString());
    click("Command12");
    ASSERT_TRUE(waitUntil([&] { return module2->receivedCount() == 3; }));
}

TEST_F(Startup, PortOneInUseCountsAsMissing) {
    ASSERT_TRUE(pty1.open());
    CommPort other;
    other.setDevicePath(1, pty1.slavePath());
    ASSERT_TRUE(other.open());
    ASSERT_TRUE(pty2.open());
    StartupOptions o;
    o.dataDir = dataDir.filePath("d");
    o.port1 = pty1.slavePath();
    o.port2 = pty2.slavePath();
    makeWindow(o);
    EXPECT_TRUE(option("Option2"));
    EXPECT_EQ(window->session().port().selectedPort(), 2);
}

TEST_F(Startup, SwitchingPortsReopensAndKeepsSettings) {
    open();
    window->session().port().setPacing(true);
    child<QRadioButton>("Option2")->click();
    EXPECT_EQ(window->session().port().selectedPort(), 2);
    EXPECT_TRUE(window->session().port().isOpen());
    EXPECT_TRUE(window->session().port().pacing());
    click("Command11");
    ASSERT_TRUE(waitUntil([&] { return module2->receivedCount() == 3; }));
    child<QRadioButton>("Option1")->click();
    EXPECT_EQ(window->session().port().selectedPort(), 1);
    click("Command12");
    ASSERT_TRUE(waitUntil([&] { return module1->receivedCount() == 3; }));
    EXPECT_EQ(module1->received(), QByteArray("\x1D\x08\x0D", 3));
    EXPECT_EQ(status(), QString());
}

TEST_F(Startup, SwitchingToAMissingPortLeavesItClosedWithAMessage) {
    open(true, false);
    child<QRadioButton>("Option2")->click();
    EXPECT_FALSE(window->session().port().isOpen());
    EXPECT_EQ(status(), QString("串口COM2打开失败:设备不存在!"));
}

TEST_F(Startup, ClosingTheWindowClosesThePort) {
    open();
    window->show();
    ASSERT_TRUE(window->session().port().isOpen());
    window->close();
    EXPECT_FALSE(window->session().port().isOpen());
    // The device is free again for anyone else.
    CommPort other;
    other.setDevicePath(1, pty1.slavePath());
    EXPECT_TRUE(other.open());
}

TEST_F(Startup, TheSavedListComesBackAndAnUnusableDataDirectoryIsReported) {
    // One entry, as the list file stores it: N, then 251 length-prefixed records.
    QDir().mkpath(dataDir.filePath("dispkit"));
    QByteArray file("\x01\x00", 2);
    const QByteArray path = "/data/a.bmp";
    file.append(char(path.size())).append('\0').append(path);
    for (int i = 1; i < 251; ++i)
        file.append("\x00\x00", 2);
    QFile f(dataDir.filePath("dispkit/FILE.TXT")); // found whatever its letter case
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(file);
    f.close();
    open();
    auto* list = child<QListWidget>("List1");
    ASSERT_EQ(list->count(), 1);
    EXPECT_EQ(list->item(0)->text(), QString("/data/a.bmp"));
    EXPECT_EQ(list->currentRow(), -1);

    QFile blocker(dataDir.filePath("notadir"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    StartupOptions o;
    o.dataDir = dataDir.filePath("notadir/dispkit");
    o.port1 = pty1.slavePath();
    o.port2 = "/nonexistent";
    window.reset();
    makeWindow(o);
    EXPECT_EQ(status(), QString("数据目录无法使用!"));
    EXPECT_EQ(child<QListWidget>("List1")->count(), 0);
}
