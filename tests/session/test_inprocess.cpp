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
#include <QThread>

#include <mutex>

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

namespace {

// The show-image commands the simulated module executed, with the moment each was taken
// (taken on the line's thread, as they arrive).
struct ShownLog {
    std::mutex mutex;
    QElapsedTimer clock;
    QList<int> pictures;
    QList<qint64> atMs;
    qint64 dropped = 0;

    void attach(ModuleLink& module) {
        clock.start();
        QObject::connect(
            &module, &ModuleLink::eventsLogged, &module,
            [this](const QVector<ModuleEvent>& events) {
                std::lock_guard lock(mutex);
                for (const ModuleEvent& e : events) {
                    if (e.kind == ModuleEvent::Kind::Dropped)
                        ++dropped;
                    if (e.kind != ModuleEvent::Kind::Command || e.bytes.size() != 6 ||
                        quint8(e.bytes[1]) != module::CmdShowImage)
                        continue;
                    pictures << quint8(e.bytes[4]);
                    atMs << clock.elapsed();
                }
            },
            Qt::DirectConnection);
    }
    int count() {
        std::lock_guard lock(mutex);
        return int(pictures.size());
    }
};

} // namespace

// A play shows the stored pictures in turn, each after the delay of the one before it,
// as many passes as asked; it ends by itself, on stopPlaying() and on a download.
TEST_F(InProcess, PlayShowsTheStoredPicturesInTurnWithTheirDelays) {
    ASSERT_FALSE(session.openPort(1));
    addBitmap("f1.bmp", 32, 8, 1);
    addBitmap("f2.bmp", 32, 8, 2);
    addBitmap("f3.bmp", 32, 8, 3);
    ASSERT_FALSE(session.downloadBitmaps());
    ASSERT_TRUE(waitFor([&] { return !finished.isEmpty() || !failures.isEmpty(); }, 20000));
    ASSERT_TRUE(failures.isEmpty());

    ShownLog log;
    log.attach(module);
    QList<std::pair<int, bool>> ends;
    QList<std::pair<int, int>> shown;
    QObject::connect(&session, &ModuleSession::playFinished, [&](int n, bool complete) { ends << std::pair{n, complete}; });
    QObject::connect(&session, &ModuleSession::frameShown, [&](int n, int pass) { shown << std::pair{n, pass}; });

    PlayPlan plan;
    plan.first = 0;
    plan.delaysMs = {150, 60, 300};
    plan.passes = 2;
    QElapsedTimer clock;
    clock.start();
    ASSERT_FALSE(session.play(plan));
    EXPECT_TRUE(session.playing());
    ASSERT_TRUE(waitFor([&] { return !ends.isEmpty(); }, 10000));
    const qint64 took = clock.elapsed();
    EXPECT_EQ(ends, (QList<std::pair<int, bool>>{{6, true}}));
    EXPECT_FALSE(session.playing());
    EXPECT_EQ(shown, (QList<std::pair<int, int>>{{0, 0}, {1, 0}, {2, 0}, {0, 1}, {1, 1}, {2, 1}}));
    ASSERT_TRUE(waitFor([&] { return log.count() == 6; }, 2000));
    {
        std::lock_guard lock(log.mutex);
        EXPECT_EQ(log.pictures, (QList<int>{0, 1, 2, 0, 1, 2}));
        EXPECT_EQ(log.dropped, 0);
        // Each gap is the delay of the frame before it. A frame may go out up to 50 ms late
        // and the next one still on its moment, so a gap may be that much shorter; it is not
        // much longer either on a loaded machine.
        const int delays[] = {150, 60, 300, 150, 60};
        for (int k = 0; k < 5; ++k) {
            const qint64 gap = log.atMs[k + 1] - log.atMs[k];
            EXPECT_GE(gap, delays[k] - 60) << k;
            EXPECT_LT(gap, delays[k] + 400) << k;
        }
    }
    // The play ends after the last frame's delay too: 2 x 510 ms in all.
    EXPECT_GE(took, 1020 - 20);
    EXPECT_LT(took, 1020 + 2000);
    // The screen shows the last frame: the stored picture 2 at the top left.
    const Frame screen = module.frame();
    session.showImage(2);
    ASSERT_TRUE(waitFor([&] { return log.count() == 7; }, 2000));
    EXPECT_EQ(module.frame(), screen);

    // Until stopped: stopPlaying() ends it and no command follows.
    plan.delaysMs = {40, 40, 40};
    plan.passes = 0;
    ASSERT_FALSE(session.play(plan));
    ASSERT_TRUE(waitFor([&] { return shown.size() >= 6 + 5; }, 5000));
    session.stopPlaying();
    ASSERT_EQ(ends.size(), 2);
    EXPECT_FALSE(ends[1].second);
    EXPECT_FALSE(session.playing());
    const int sent = ends[1].first;
    QThread::msleep(200);
    waitFor([] { return false; }, 150);
    EXPECT_EQ(shown.size(), 6 + sent);
    EXPECT_EQ(log.count(), 7 + sent);

    // A download ends a play: its header never meets a show-image command.
    ASSERT_FALSE(session.play(plan));
    ASSERT_TRUE(waitFor([&] { return shown.size() >= 6 + sent + 2; }, 5000));
    finished.clear();
    ASSERT_FALSE(session.downloadBitmaps());
    ASSERT_EQ(ends.size(), 3);
    EXPECT_FALSE(ends[2].second);
    ASSERT_TRUE(waitFor([&] { return !finished.isEmpty() || !failures.isEmpty(); }, 20000));
    EXPECT_TRUE(failures.isEmpty());
    // Finished when the last byte has entered the transmitter: the module has it a byte time later.
    EXPECT_TRUE(waitFor([&] { return module.counters().bitmapDownloads == 2; }, 2000));
    EXPECT_EQ(module.counters().transfersAborted, 0);
    EXPECT_EQ(module.counters().dropped, 0);
}

TEST_F(InProcess, PlayIsRefusedBeyondTheStoreWhileATransferRunsAndOnAClosedPort) {
    PlayPlan plan;
    plan.delaysMs = {100};
    const Refusal closed = session.play(plan);
    ASSERT_TRUE(closed);
    EXPECT_EQ(closed->reason, FailureReason::PortNotOpen);
    ASSERT_FALSE(session.openPort(1));
    plan.first = module::MaxBitmaps - 1;
    plan.delaysMs = {100, 100};
    const Refusal beyond = session.play(plan);
    ASSERT_TRUE(beyond);
    EXPECT_EQ(beyond->reason, FailureReason::RefusedInput);
    EXPECT_EQ(beyond->input.reason, InputReason::TooManyFrames);
    plan.first = 0;
    plan.delaysMs.clear();
    const Refusal none = session.play(plan);
    ASSERT_TRUE(none);
    EXPECT_EQ(none->input.reason, InputReason::TooManyFrames);
    EXPECT_FALSE(session.playing());

    // Delays of 0 are the line's pace at most: 5 ms a frame.
    bool done = false;
    QObject::connect(&session, &ModuleSession::playFinished, [&](int, bool) { done = true; });
    plan.delaysMs = {0, 0, 0, 0};
    plan.passes = 5;
    QElapsedTimer clock;
    clock.start();
    ASSERT_FALSE(session.play(plan));
    ASSERT_TRUE(waitFor([&] { return done; }, 5000));
    EXPECT_GE(clock.elapsed(), 20 * ModuleSession::MinPlayDelayMs - 2);

    addBitmap("big.bmp", 320, 240, 4);
    ASSERT_FALSE(session.downloadBitmaps());
    plan.delaysMs = {100};
    const Refusal busy = session.play(plan);
    ASSERT_TRUE(busy);
    EXPECT_EQ(busy->reason, FailureReason::Busy);
    session.stopTransfer();
}
