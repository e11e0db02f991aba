#include "link/CommPort.h"
#include "protocol/Module.h"
#include "simulator/Pty.h"
#include "support/ScriptedModule.h"
#include "support/EventLoop.h"

#include <gtest/gtest.h>

using namespace panelix;
using panelix::test::spin;
using panelix::test::waitUntil;

namespace {

QByteArray pattern(int size, int seed) {
    QByteArray b(size, '\0');
    quint32 x = 0x9E3779B9u * quint32(seed + 1);
    for (char& c : b) {
        x = x * 1664525u + 1013904223u;
        c = char(x >> 24);
    }
    return b;
}

const QByteArray header = module::bitmapHeader(module::bankedAddress(0));

struct Progress {
    qint32 sent;
    qint32 total;
    bool operator==(const Progress&) const = default;
};

// The transfer as the link thread paces it, seen from the owning thread.
struct Transfer : ::testing::Test {
    Pty pty;
    CommPort port;
    ScriptedModule module{pty};
    QList<Progress> progress;
    int finished = 0;
    QList<qint32> errors;
    QList<QByteArray> reads;
    QList<bool> runningChanges;

    void SetUp() override {
        ASSERT_TRUE(pty.open());
        port.setDevicePath(1, pty.slavePath());
        ASSERT_TRUE(port.open());
        port.setPacing(false);
        QObject::connect(&port, &CommPort::transferProgress,
                         [this](qint32 sent, qint32 total) { progress << Progress{sent, total}; });
        QObject::connect(&port, &CommPort::transferFinished, [this] { ++finished; });
        QObject::connect(&port, &CommPort::moduleError, [this](qint32 sent) { errors << sent; });
        QObject::connect(&port, &CommPort::received, [this](const QByteArray& b) { reads << b; });
        QObject::connect(&port, &CommPort::runningChanged, [this](bool r) { runningChanges << r; });
    }
    void useBaud(int baud) { ASSERT_TRUE(port.setLineSettings(QString("%1,n,8,1").arg(baud))); }
    // The bitmap header for an image of total bytes.
    static QByteArray headerFor(int total) { return module::bitmapHeader(module::bankedAddress(quint32(total))); }
    bool done() const { return finished > 0; }
};

} // namespace

TEST_F(Transfer, TheModuleReceivesTheHeaderThenExactlyTheImage) {
    useBaud(19200);
    module.start({.lineRate = true});
    const QByteArray image = pattern(3000, 1);
    QElapsedTimer took;
    took.start();
    ASSERT_TRUE(port.startTransfer(image, 3000, headerFor(3000)));
    ASSERT_TRUE(waitUntil([&] { return done(); }, 10000));
    const qint64 tookMs = took.elapsed();
    ASSERT_TRUE(waitUntil([&] { return module.receivedCount() >= 3005; }, 2000));
    EXPECT_EQ(module.received(), headerFor(3000) + image);
    EXPECT_EQ(module.dataBytes(), image);
    EXPECT_FALSE(port.pacing());
    EXPECT_EQ(port.sendPosition(), 3000);
    ASSERT_FALSE(progress.isEmpty());
    EXPECT_EQ(progress.last(), (Progress{3000, 3000}));
    EXPECT_EQ(finished, 1);
    EXPECT_EQ(runningChanges, (QList<bool>{true, false}));
    // Progress at most every 40 ms plus the last one: 1.56 s of line time, longer
    // when a loaded machine (or a sanitizer) slows the module down.
    EXPECT_LE(progress.size(), std::max<qint64>(1563, tookMs) / CommPort::ProgressIntervalMs + 2);
    EXPECT_GE(progress.size(), 10);
}

TEST_F(Transfer, AnOddTotalEndsWithOneByteThenCompletion) {
    useBaud(19200);
    module.start();
    const QByteArray image = pattern(64, 2);
    ASSERT_TRUE(port.startTransfer(image, 7, headerFor(7)));
    ASSERT_TRUE(waitUntil([&] { return done(); }));
    spin(30);
    EXPECT_EQ(progress.last(), (Progress{7, 7}));
    EXPECT_EQ(module.dataBytes(), image.left(7));
    EXPECT_EQ(module.received(), headerFor(7) + image.left(7));
}

TEST_F(Transfer, OnlyTheFirstByteOfAReadCountsAndAFailedTransferPushesTwoPerReply) {
    module.start({.answerHeaders = false});
    const QByteArray image = pattern(100, 3);
    ASSERT_TRUE(port.startTransfer(image, 100, headerFor(100)));
    ASSERT_TRUE(waitUntil([&] { return module.receivedCount() >= 5; }, 2000));
    module.send(QByteArray("\x55", 1));
    ASSERT_TRUE(waitUntil([&] { return port.lastReply() == module::ReplyError; }));
    EXPECT_EQ(errors, QList<qint32>{0});
    EXPECT_FALSE(port.pacing());

    module.send(QByteArray("\xAA\xAA", 2)); // one read: two bytes, not four
    ASSERT_TRUE(waitUntil([&] { return module.receivedCount() >= 7; }, 2000));
    spin(60);
    EXPECT_EQ(module.received(), headerFor(100) + image.left(2));
    EXPECT_EQ(port.lastReply(), module::ReplyGoOn);
    EXPECT_FALSE(port.running()); // no pacing after the error: it stays put

    module.send(QByteArray("\x01\xAA", 2)); // 0xAA behind another byte: ignored
    spin(60);
    EXPECT_EQ(module.receivedCount(), 7);
    EXPECT_EQ(port.sendPosition(), 2);
}

TEST_F(Transfer, AfterCompletionAReplyWritesTwoBytesOnceAndNothingElseHappens) {
    module.start();
    const QByteArray image = pattern(40, 4);
    ASSERT_TRUE(port.startTransfer(image, 10, headerFor(10)));
    ASSERT_TRUE(waitUntil([&] { return done(); }));
    const qsizetype progressCount = progress.size();
    module.send(QByteArray("\xAA", 1));
    ASSERT_TRUE(waitUntil([&] { return module.receivedCount() >= 5 + 12; }, 2000));
    spin(60);
    EXPECT_EQ(module.received(), headerFor(10) + image.left(12));
    EXPECT_EQ(progress.size(), progressCount);
    EXPECT_EQ(finished, 1);
}

TEST_F(Transfer, AReplyBeforeAnyTransferWritesNothing) {
    module.start();
    module.send(QByteArray("\xAA", 1));
    ASSERT_TRUE(waitUntil([&] { return port.lastReply() == module::ReplyGoOn; }));
    spin(60);
    EXPECT_EQ(module.receivedCount(), 0);
    EXPECT_TRUE(progress.isEmpty());
    EXPECT_EQ(reads, QList<QByteArray>{QByteArray("\xAA", 1)});
}

TEST_F(Transfer, ATestAnswerDuringATransferPushesNothingAndProgressResumes) {
    useBaud(19200);
    module.start({.lineRate = true});
    const QByteArray image = pattern(400, 5);
    ASSERT_TRUE(port.startTransfer(image, 400, headerFor(400)));
    ASSERT_TRUE(waitUntil([&] { return module.dataBytes().size() >= 100; }, 3000));
    module.send(QByteArray("\x0C\xAA", 2)); // the answer first: no push
    ASSERT_TRUE(waitUntil([&] { return done(); }, 5000));
    ASSERT_TRUE(reads.contains(QByteArray("\x0C\xAA", 2)));
    ASSERT_TRUE(waitUntil([&] { return module.dataBytes().size() >= 400; }, 1000));
    spin(30);
    EXPECT_EQ(module.dataBytes(), image);
    EXPECT_EQ(module.received(), headerFor(400) + image);
}

TEST_F(Transfer, AnErrorReplyMidTransferStopsTheData) {
    useBaud(19200);
    module.start({.errorAfterDataBytes = 100, .lineRate = true});
    const QByteArray image = pattern(2000, 6);
    ASSERT_TRUE(port.startTransfer(image, 2000, headerFor(2000)));
    ASSERT_TRUE(waitUntil([&] { return port.lastReply() == module::ReplyError; }, 5000));
    const qint32 stoppedAt = port.sendPosition();
    spin(100);
    EXPECT_EQ(port.sendPosition(), stoppedAt);
    EXPECT_LT(stoppedAt, 1000); // well before the end
    EXPECT_EQ(errors, QList<qint32>{stoppedAt});
    // The module gets what was sent before the reply arrived, and nothing after.
    ASSERT_TRUE(waitUntil([&] { return module.receivedCount() >= 5 + stoppedAt; }, 2000));
    spin(30);
    EXPECT_EQ(module.received(), headerFor(2000) + image.left(stoppedAt));
    EXPECT_EQ(finished, 0);
    EXPECT_FALSE(port.pacing());
    EXPECT_EQ(runningChanges, (QList<bool>{true, false}));
}

TEST_F(Transfer, ANewStartMidTransferStartsOver) {
    useBaud(19200);
    module.start({.answerHeaders = false, .lineRate = true});
    const QByteArray a = pattern(1000, 7);
    const QByteArray b = pattern(300, 8);
    ASSERT_TRUE(port.startTransfer(a, 1000, headerFor(1000)));
    // Answered once the header is there: a reply the port reads before it has
    // taken the start is no answer to it.
    ASSERT_TRUE(waitUntil([&] { return module.receivedCount() >= 5; }, 2000));
    module.send(QByteArray("\xAA", 1));
    ASSERT_TRUE(waitUntil([&] { return module.receivedCount() >= 5 + 50; }, 3000));
    ASSERT_TRUE(port.startTransfer(b, 300, headerFor(300)));
    EXPECT_EQ(port.sendPosition(), 0);
    EXPECT_EQ(port.lastReply(), 0);
    EXPECT_FALSE(port.running());
    spin(80); // armed: nothing but the header until the module answers
    EXPECT_EQ(port.sendPosition(), 0); // the old transfer's progress no longer counts
    const QByteArray beforeReply = module.received();
    ASSERT_TRUE(beforeReply.endsWith(headerFor(300)));
    const qsizetype aBytes = beforeReply.size() - 10;
    EXPECT_EQ(beforeReply.mid(5, aBytes), a.left(aBytes));
    module.send(QByteArray("\xAA", 1));
    ASSERT_TRUE(waitUntil([&] { return done(); }, 5000));
    ASSERT_TRUE(waitUntil([&] { return module.receivedCount() >= beforeReply.size() + 300; }, 1000));
    EXPECT_EQ(module.received().mid(beforeReply.size()), b);
    EXPECT_EQ(finished, 1);
    EXPECT_EQ(progress.last(), (Progress{300, 300}));
}

TEST_F(Transfer, TheFarEndClosedMidTransferEndsCleanly) {
    useBaud(19200);
    module.start({.lineRate = true});
    bool lost = false;
    QObject::connect(&port, &CommPort::disconnected, [&] { lost = true; });
    ASSERT_TRUE(port.startTransfer(pattern(5000, 9), 5000, headerFor(5000)));
    ASSERT_TRUE(waitUntil([&] { return module.dataBytes().size() >= 200; }, 3000));
    module.stop();
    pty.releaseSlave();
    pty.closeMaster();
    ASSERT_TRUE(waitUntil([&] { return lost; }, 3000));
    EXPECT_FALSE(port.isOpen());
    EXPECT_FALSE(port.running());
    EXPECT_FALSE(port.pacing());
    EXPECT_FALSE(port.write(QByteArray(1, 0x1D)));
    EXPECT_FALSE(port.startTransfer(pattern(10, 1), 10, headerFor(10)));
    EXPECT_EQ(runningChanges.last(), false);
}
