#include "link/CommPort.h"
#include "link/LinkCore.h"
#include "protocol/Module.h"
#include "simulator/Pty.h"
#include "support/EventLoop.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>

using namespace panelix;
using panelix::test::spin;
using panelix::test::waitUntil;

namespace {

struct PortOnPty : ::testing::Test {
    Pty pty;
    CommPort port;
    void SetUp() override {
        ASSERT_TRUE(pty.open());
        port.setDevicePath(1, pty.slavePath());
        ASSERT_TRUE(port.selectPort(1));
        ASSERT_TRUE(port.open()) << port.errorString().toStdString();
        ASSERT_TRUE(port.setLineSettings("19200,n,8,1"));
        port.setPacing(false);
    }
};

QByteArray allByteValues() {
    QByteArray b;
    for (int i = 0; i < 256; ++i)
        b.append(char(i));
    return b;
}

} // namespace

TEST_F(PortOnPty, EveryByteValueGoesOutIntactAndInOrder) {
    const QByteArray sent = allByteValues() + QByteArray("\x00\x0D\x11\x13\xFF", 5);
    for (char c : sent)
        ASSERT_TRUE(port.write(QByteArray(1, c)));
    EXPECT_EQ(pty.readExactly(int(sent.size()), 3000), sent);
}

TEST_F(PortOnPty, ReceivedBytesArriveInOrderAndWholeAcrossNotifications) {
    QByteArray got;
    int notifications = 0;
    QObject::connect(&port, &CommPort::received, [&](const QByteArray& bytes) {
        ++notifications;
        got.append(bytes);
    });
    QByteArray burst;
    for (int i = 0; i < 20; ++i)
        burst.append(allByteValues());
    ASSERT_TRUE(pty.writeAll(burst));
    ASSERT_TRUE(waitUntil([&] { return got.size() >= burst.size(); }));
    spin(50);
    EXPECT_EQ(got, burst);
    EXPECT_GE(notifications, 1);
}

TEST_F(PortOnPty, NotificationsNeverNestInARunningHandlerAndKeepTheirOrder) {
    int depth = 0;
    int maxDepth = 0;
    QByteArray got;
    QObject::connect(&port, &CommPort::received, [&](const QByteArray& bytes) {
        ++depth;
        maxDepth = std::max(maxDepth, depth);
        got.append(bytes);
        port.write(QByteArray("ab"));
        // A handler that runs the event loop itself must still not be entered twice.
        spin(3);
        --depth;
    });
    QByteArray sent;
    for (int i = 0; i < 10; ++i) {
        sent.append(char(i + 1));
        pty.writeAll(QByteArray(1, char(i + 1)));
        spin(1);
    }
    ASSERT_TRUE(waitUntil([&] { return got.size() >= sent.size(); }));
    spin(50);
    EXPECT_EQ(maxDepth, 1);
    EXPECT_EQ(got, sent);
}

TEST_F(PortOnPty, NothingIsPacedWithoutATransfer) {
    // Pacing 1 and drained queues, but no transfer: the link writes only what it is given.
    port.setPacing(true);
    port.write(QByteArray("0123456789"));
    EXPECT_EQ(pty.readUntilQuiet(60, 1000), QByteArray("0123456789"));
    pty.writeAll(QByteArray("\xAA", 1));
    spin(60);
    EXPECT_EQ(pty.readAvailable(), QByteArray());
}

// 192 bytes in 2-byte chunks, each written when the line has drained. The
// completion after the last chunk means its last byte has entered the
// transmitter: the line has carried 191 bytes by then, 99.5 ms at 19,200 baud,
// counted from the module's 0xAA that started the data.
static void expectTransferFollowsLineTime(Pty& pty, CommPort& port) {
    const QByteArray image(192, 'x');
    bool finished = false;
    const auto connection = QObject::connect(&port, &CommPort::transferFinished, [&] { finished = true; });
    ASSERT_TRUE(port.startTransfer(image, 192, module::bitmapHeader(module::bankedAddress(192))));
    ASSERT_EQ(pty.readExactly(5, 2000).size(), 5);
    QElapsedTimer timer;
    timer.start();
    pty.writeAll(QByteArray("\xAA", 1));
    QByteArray data;
    ASSERT_TRUE(waitUntil([&] {
        data += pty.readAvailable();
        return finished;
    }, 5000));
    const qint64 us = timer.nsecsElapsed() / 1000;
    QObject::disconnect(connection);
    EXPECT_GE(us, 99400) << "finished before the line could have carried the bytes";
    EXPECT_LT(us, 1000000);
    data += pty.readUntilQuiet(30, 1000);
    EXPECT_EQ(data, image);
}

TEST_F(PortOnPty, TransferBytesFollowLineTime) {
    expectTransferFollowsLineTime(pty, port);
}

// Kernels before 5.11 have no epoll_pwait2: the link thread waits another way
// and keeps the pacing, the replies and the unplug.
TEST_F(PortOnPty, WithoutEpollPwait2TheLinkKeepsPacingRepliesAndUnplug) {
    setEpollPwait2Available(false);
    struct Restore {
        ~Restore() { setEpollPwait2Available(true); }
    } restore;
    expectTransferFollowsLineTime(pty, port);

    QByteArray read;
    bool lost = false;
    QObject::connect(&port, &CommPort::received, [&](const QByteArray& b) { read += b; });
    QObject::connect(&port, &CommPort::disconnected, [&] { lost = true; });
    pty.writeAll(QByteArray("\x0C", 1));
    ASSERT_TRUE(waitUntil([&] { return !read.isEmpty(); }, 2000));
    EXPECT_EQ(read, QByteArray("\x0C", 1));
    pty.releaseSlave();
    pty.closeMaster();
    ASSERT_TRUE(waitUntil([&] { return lost; }, 3000));
    EXPECT_FALSE(port.isOpen());
}

TEST_F(PortOnPty, UnpluggedDeviceEndsClosedAndSendsNothing) {
    bool lost = false;
    QObject::connect(&port, &CommPort::disconnected, [&] { lost = true; });
    pty.releaseSlave();
    pty.closeMaster();
    ASSERT_TRUE(waitUntil([&] { return lost; }, 3000));
    EXPECT_FALSE(port.isOpen());
    EXPECT_FALSE(port.write(QByteArray("x")));
    spin(50); // no spinning notifier, no stray events
    EXPECT_FALSE(port.isOpen());
}

TEST_F(PortOnPty, APortInUseCannotBeOpenedTwice) {
    CommPort second;
    second.setDevicePath(1, pty.slavePath());
    EXPECT_FALSE(second.open());
    EXPECT_FALSE(second.isOpen());
    EXPECT_EQ(second.openError(), OpenError::InUse);
    port.close();
    EXPECT_TRUE(second.open()) << second.errorString().toStdString();
}

TEST_F(PortOnPty, SettingsAndThresholdsSurviveAReopen) {
    port.setPacing(true);
    port.close();
    EXPECT_FALSE(port.write(QByteArray("x")));
    ASSERT_TRUE(port.open());
    EXPECT_EQ(port.lineSettings(), QString("19200,n,8,1"));
    EXPECT_TRUE(port.pacing());
    QByteArray got;
    QObject::connect(&port, &CommPort::received, [&](const QByteArray& bytes) { got += bytes; });
    pty.writeAll(QByteArray("\xAA", 1));
    ASSERT_TRUE(waitUntil([&] { return !got.isEmpty(); }));
    EXPECT_EQ(got, QByteArray("\xAA", 1));
}

TEST(CommPortDevices, MissingDeviceOrPlainFileDoesNotOpen) {
    CommPort port;
    port.setDevicePath(1, "/nonexistent/ttyS9");
    EXPECT_FALSE(port.open());
    EXPECT_EQ(port.openError(), OpenError::NoDevice);
    port.setDevicePath(1, "/etc/hostname");
    EXPECT_FALSE(port.open());
    EXPECT_EQ(port.openError(), OpenError::NotSerial);
    port.setDevicePath(1, "/dev/ptmx"); // a terminal, but the master side of a new pty
    EXPECT_FALSE(port.open());
    EXPECT_EQ(port.openError(), OpenError::NotSerial);
    EXPECT_FALSE(port.isOpen());
    EXPECT_FALSE(port.setLineSettings("19200,x,8,1"));
    EXPECT_FALSE(port.setLineSettings("12345,n,8,1"));
    EXPECT_TRUE(port.setLineSettings("19200,n,8,1"));
    EXPECT_EQ(port.baud(), 19200);
}
