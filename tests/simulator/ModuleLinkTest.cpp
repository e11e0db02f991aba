// The module on a pty, seen from the application's side of the line.
#include "SimTestSupport.h"

#include "link/ModuleCodes.h"
#include "simulator/Pty.h"
#include "simulator/core/ModuleLink.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace panelix {
namespace {

using test::bytes;

class HostSide {
public:
    explicit HostSide(const QString& path) {
        fd_ = ::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        termios t{};
        if (fd_ >= 0 && tcgetattr(fd_, &t) == 0) {
            cfmakeraw(&t);
            tcsetattr(fd_, TCSANOW, &t);
        }
    }
    ~HostSide() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    bool isOpen() const { return fd_ >= 0; }
    bool write(const QByteArray& b) {
        qsizetype done = 0;
        while (done < b.size()) {
            const ssize_t n = ::write(fd_, b.constData() + done, std::size_t(b.size() - done));
            if (n > 0) {
                done += n;
            } else {
                pollfd p{fd_, POLLOUT, 0};
                ::poll(&p, 1, 100);
            }
        }
        return true;
    }
    QByteArray read(int count, int timeoutMs) {
        QByteArray out;
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (out.size() < count && std::chrono::steady_clock::now() < until) {
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, 10) <= 0)
                continue;
            char buf[256];
            const ssize_t n = ::read(fd_, buf, sizeof buf);
            if (n > 0)
                out.append(buf, n);
        }
        return out;
    }

private:
    int fd_ = -1;
};

class ModuleOnPty : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(pty.open());
        host = std::make_unique<HostSide>(pty.slavePath());
        ASSERT_TRUE(host->isOpen());
        QObject::connect(&link, &ModuleLink::displayChanged, &link, [this] { ++changes; }, Qt::DirectConnection);
        QObject::connect(
            &link, &ModuleLink::eventsLogged, &link, [this](const QVector<ModuleEvent>& e) { events += int(e.size()); },
            Qt::DirectConnection);
    }
    Pty pty;
    ModuleLink link{pty};
    std::unique_ptr<HostSide> host;
    std::atomic<int> changes{0};
    std::atomic<int> events{0};
};

TEST_F(ModuleOnPty, BitmapDownloadAndShowThroughTheLine) {
    ASSERT_TRUE(link.start(ModuleLink::Timing::Fast));
    for (char c : bytes({0x1D, 0x0C, 0x0D}))
        host->write(QByteArray(1, c));
    EXPECT_EQ(host->read(1, 2000), bytes({0x0C}));

    const QByteArray bmp = test::bmpFile(64, 16);
    const QByteArray image = test::downloadImage({bmp});
    const QByteArray transfer = test::bitmapTransfer(image);
    host->write(transfer.left(5));
    ASSERT_EQ(host->read(1, 2000), bytes({0xAA}));
    for (int at = 5; at < transfer.size(); at += 2)
        host->write(transfer.mid(at, 2));
    host->write(bytes({0x1D, 0x02, 2, 3, 0, 0x0D}));
    ASSERT_TRUE(link.waitForBytesIn(transfer.size() + 6, 2000));
    EXPECT_EQ(link.imageMemory().left(image.size()), image);
    const Frame frame = link.frame();
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 64; ++x) {
            const bool dark = (frame[std::size_t((3 + y) * 40 + 2 + x / 8)] >> (7 - x % 8)) & 1;
            ASSERT_EQ(dark, test::bmpBlack(bmp, x, y)) << x << "," << y;
        }
    }
    EXPECT_GE(changes.load(), 1);
    EXPECT_GE(events.load(), 6); // test, reply, header, reply, done, show
    EXPECT_EQ(host->read(1, 50), QByteArray());
}

TEST_F(ModuleOnPty, LineRateTakesBytesNoFasterThanTheLine) {
    ASSERT_TRUE(link.start(ModuleLink::Timing::LineRate));
    QByteArray burst;
    for (int i = 0; i < 64; ++i)
        burst += bytes({0x1D, 0x07, 0x0D});
    const auto t0 = std::chrono::steady_clock::now();
    host->write(burst);
    ASSERT_TRUE(link.waitForBytesIn(191, 5000));
    const auto t191 = std::chrono::steady_clock::now();
    EXPECT_LT(link.counters().bytesIn, 192);
    ASSERT_TRUE(link.waitForBytesIn(192, 1000));
    // 191 bytes of 10 bits at 19,200 baud: 99.5 ms at the least.
    EXPECT_GE(std::chrono::duration<double>(t191 - t0).count(), 191 * 10.0 / 19200 - 0.001);
    EXPECT_EQ(link.counters().commands, 64);
}

TEST_F(ModuleOnPty, APauseEndsAHalfSentCommand) {
    ASSERT_TRUE(link.start(ModuleLink::Timing::Fast));
    host->write(bytes({0x1D, 0x06, 0x00}));
    ASSERT_TRUE(link.waitForBytesIn(3, 1000));
    // Without the pause, these bytes would be read as the rectangle's parameters.
    std::this_thread::sleep_for(std::chrono::milliseconds(ModuleCore::CommandTimeoutMs + 150));
    host->write(module::fontHeader());
    EXPECT_EQ(host->read(1, 2000), bytes({0xAA}));
    EXPECT_EQ(link.counters().dropped, 1);
}

TEST_F(ModuleOnPty, StopsAndRestartsWithItsState) {
    ASSERT_TRUE(link.start(ModuleLink::Timing::Fast));
    host->write(bytes({0x1D, 0x08, 0x0D}));
    ASSERT_TRUE(link.waitForBytesIn(3, 1000));
    link.stop();
    EXPECT_FALSE(link.backlight());
    host->write(bytes({0x1D, 0x07, 0x0D}));
    ASSERT_TRUE(link.start(ModuleLink::Timing::LineRate));
    ASSERT_TRUE(link.waitForBytesIn(6, 1000));
    EXPECT_TRUE(link.backlight());
}

} // namespace
} // namespace panelix
