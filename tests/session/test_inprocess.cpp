// The session over an in-process line to the simulated module: the line that
// stands in where there is no pty (always on Windows). Built and run on every
// system, under Wine too.
#include "session/ModuleSession.h"

#include "common/LinePeer.h"
#include "protocol/Module.h"
#include "simulator/core/ModuleLink.h"
#include "support/EventLoop.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>

using namespace panelix;
using namespace panelix::test;

namespace {

constexpr qint64 ByteNs = 10LL * 1000000000 / 19200; // 8N1 at 19,200 baud

struct InProcess : ::testing::Test {
    const QString device = QStringLiteral("inproc:test-module");
    QTemporaryDir tmp;
    ModuleLink module; // no pty: the far end of the line
    ModuleSession session;
    QList<TransferKind> finished;
    QList<Failure> failures;

    void SetUp() override {
        module.setTiming(ModuleLink::Timing::LineRate);
        registerLinePeer(device, &module);
        session.setDevicePath(1, device);
        ASSERT_TRUE(session.setDataDir(dataDir()));
        QObject::connect(&session, &ModuleSession::finished, [this](TransferKind k) { finished << k; });
        QObject::connect(&session, &ModuleSession::failed, [this](const Failure& f) { failures << f; });
    }
    void TearDown() override { unregisterLinePeer(&module); }
    QString dataDir() const { return tmp.filePath("dispkit"); }
    QString file(const QString& name) const { return QDir(dataDir()).filePath(name); }
    void addBitmap(const QString& name, int width, int height, int seed) {
        BmpLayout layout;
        layout.width = width;
        layout.height = height;
        layout.rows = patternRows(width, height, seed);
        ASSERT_TRUE(writeFile(file(name), makeBmp(layout)));
        ASSERT_TRUE(session.bitmapList().add(file(name), nullptr));
    }
};

} // namespace

TEST_F(InProcess, ABitmapDownloadReachesTheModuleByteExactAtLineRate) {
    ASSERT_FALSE(session.openPort(1));
    addBitmap("a.bmp", 64, 40, 1);
    addBitmap("b.bmp", 17, 5, 2);
    QElapsedTimer timer;
    timer.start();
    ASSERT_FALSE(session.downloadBitmaps());
    ASSERT_TRUE(waitFor([&] { return !finished.isEmpty() || !failures.isEmpty(); }, 20000));
    const qint64 elapsedNs = timer.nsecsElapsed();
    ASSERT_EQ(finished, QList<TransferKind>{TransferKind::Bitmaps});
    EXPECT_TRUE(failures.isEmpty());
    ASSERT_TRUE(waitFor([&] { return module.counters().bitmapDownloads == 1; }));

    const QByteArray fileAdd = readFile(file("file.add"));
    const int end = 1024 + 8 * 40 + 3 * 5;
    ASSERT_EQ(int(module.directory().end), end);
    const QByteArray memory = module.imageMemory();
    EXPECT_EQ(memory.left(end), fileAdd.left(end));
    EXPECT_EQ(memory.mid(end), QByteArray(memory.size() - end, '\0'));
    // The connection test, the header and the image, one byte time each; the replies
    // come back in one byte time too. The transfer is done when the last byte has
    // entered the transmitter.
    const qint64 lineNs = qint64(3 + 5 + end) * ByteNs;
    EXPECT_GE(elapsedNs, lineNs - ByteNs);
    EXPECT_LT(elapsedNs, 3 * lineNs + 1000000000LL); // paced, not stalled
    EXPECT_EQ(module.counters().bytesIn, 3 + 5 + end);
}

TEST_F(InProcess, EachByteTakesItsLineTimeAndFastTimingTakesNone) {
    ASSERT_FALSE(session.openPort(1));
    const QByteArray clear = QByteArray::fromHex("1d030d"); // clear the screen
    const int n = 100;
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < n; ++i)
        ASSERT_FALSE(session.sendCommand(clear));
    const qint64 count = qint64(n) * clear.size();
    ASSERT_TRUE(module.waitForBytesIn(count, 10000));
    const qint64 pacedNs = timer.nsecsElapsed();
    EXPECT_GE(pacedNs, (count - 1) * ByteNs);

    module.setTiming(ModuleLink::Timing::Fast);
    timer.restart();
    for (int i = 0; i < n; ++i)
        ASSERT_FALSE(session.sendCommand(clear));
    ASSERT_TRUE(module.waitForBytesIn(2 * count, 10000));
    EXPECT_LT(timer.nsecsElapsed(), pacedNs / 2);
}

TEST_F(InProcess, AModuleThatGoesAwayIsALostPortAndAnUnknownNameDoesNotOpen) {
    ASSERT_FALSE(session.openPort(1));
    unregisterLinePeer(&module);
    ASSERT_TRUE(waitFor([&] { return !failures.isEmpty(); }, 5000));
    EXPECT_EQ(failures.first().reason, FailureReason::PortLost);

    session.setDevicePath(1, QStringLiteral("inproc:nobody"));
    const Refusal refused = session.openPort(1);
    ASSERT_TRUE(refused.has_value());
    EXPECT_EQ(refused->reason, FailureReason::PortOpenFailed);
    EXPECT_EQ(refused->openError, OpenError::NoDevice);
}
