// The module on a pty, seen from the application's side of the line.
#include "SimTestSupport.h"

#include "protocol/Module.h"
#include "simulator/core/ModuleLink.h"
#include "simulator/Pty.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace panelix {
namespace {

using test::bytes;
using Clock = std::chrono::steady_clock;

class ModuleOnPty : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(pty.open());
        host = ::open(pty.slavePath().toLocal8Bit().constData(), O_RDWR | O_NOCTTY);
        ASSERT_GE(host, 0);
        termios t{};
        tcgetattr(host, &t);
        cfmakeraw(&t);
        tcsetattr(host, TCSANOW, &t);
        QObject::connect(
            &link, &ModuleLink::displayChanged, &link, [this] { ++changes; }, Qt::DirectConnection);
    }
    void TearDown() override { ::close(host); }
    void send(const QByteArray& b) {
        ASSERT_EQ(::write(host, b.constData(), std::size_t(b.size())), b.size());
    }
    QByteArray receive(int count, int timeoutMs) {
        QByteArray out;
        const auto until = Clock::now() + std::chrono::milliseconds(timeoutMs);
        while (out.size() < count && Clock::now() < until) {
            pollfd p{host, POLLIN, 0};
            char c;
            if (::poll(&p, 1, 10) > 0 && ::read(host, &c, 1) == 1)
                out.append(c);
        }
        return out;
    }
    Pty pty;
    ModuleLink link{pty};
    int host = -1;
    std::atomic<int> changes{0};
};

TEST_F(ModuleOnPty, DownloadAndShowThroughTheLineAsTheCoreDoes) {
    ASSERT_TRUE(link.start(ModuleLink::Timing::Fast));
    for (char c : bytes({0x1D, 0x0C, 0x0D}))
        send(QByteArray(1, c));
    EXPECT_EQ(receive(1, 2000), bytes({0x0C}));

    const QByteArray transfer = test::bitmapTransfer(test::downloadImage({test::bmpFile(64, 16)}));
    send(transfer.left(5));
    ASSERT_EQ(receive(1, 2000), bytes({0xAA}));
    for (int at = 5; at < transfer.size(); at += 2)
        send(transfer.mid(at, 2));
    const QByteArray show = bytes({0x1D, 0x02, 2, 3, 0, 0x0D});
    send(show);
    ASSERT_TRUE(link.waitForBytesIn(3 + transfer.size() + show.size(), 2000));
    ModuleCore reference;
    reference.feed(transfer + show);
    EXPECT_EQ(link.imageMemory(), reference.imageMemory());
    EXPECT_EQ(link.frame(), reference.frame());
    EXPECT_NE(reference.frame(), Frame{});
    // The change is announced just after the bytes are counted, outside the lock.
    const auto until = Clock::now() + std::chrono::seconds(2);
    while (changes.load() < 1 && Clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_GE(changes.load(), 1);
    EXPECT_EQ(receive(1, 50), QByteArray());
}

TEST_F(ModuleOnPty, LineRateTakesBytesNoFasterThanTheLine) {
    ASSERT_TRUE(link.start(ModuleLink::Timing::LineRate));
    QByteArray burst;
    for (int i = 0; i < 64; ++i)
        burst += bytes({0x1D, 0x07, 0x0D});
    const auto t0 = Clock::now();
    send(burst);
    ASSERT_TRUE(link.waitForBytesIn(191, 5000));
    const auto t191 = Clock::now();
    // 191 bytes of 10 bits at 19,200 baud: 99.5 ms at the least.
    EXPECT_GE(std::chrono::duration<double>(t191 - t0).count(), 191 * 10.0 / 19200 - 0.001);
    ASSERT_TRUE(link.waitForBytesIn(192, 1000));
    EXPECT_EQ(link.counters().commands, 64);
}

TEST_F(ModuleOnPty, APauseEndsAHalfSentCommand) {
    ASSERT_TRUE(link.start(ModuleLink::Timing::Fast));
    send(bytes({0x1D, 0x06, 0x00}));
    ASSERT_TRUE(link.waitForBytesIn(3, 1000));
    // Without the pause, the header would be read as the rectangle's parameters.
    std::this_thread::sleep_for(std::chrono::milliseconds(ModuleCore::CommandTimeoutMs + 150));
    send(module::fontHeader());
    EXPECT_EQ(receive(1, 2000), bytes({0xAA}));
    EXPECT_EQ(link.counters().dropped, 1);
}

} // namespace
} // namespace panelix
