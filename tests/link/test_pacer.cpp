#include "link/TransferPacer.h"
#include "link/WakeMargin.h"

#include <gtest/gtest.h>

#include <QList>

#include <random>

using namespace panelix;

namespace {

QByteArray numbered(int size) {
    QByteArray b(size, '\0');
    for (int i = 0; i < size; ++i)
        b[i] = char(i + 1);
    return b;
}

} // namespace

// The chunks of a transfer, step by step: 0xAA pushes two bytes, each drained
// queue one or two more, and the drained queue after the last byte completes it.
TEST(TransferPacer, ChunksOfAnOddTotalThenCompletion) {
    TransferPacer p;
    p.start(numbered(64), 7);
    EXPECT_EQ(p.onDrained().write, QByteArray()); // the header drained: the module has not answered
    TransferPacer::Step s = p.onRead(QByteArray("\xAA", 1));
    EXPECT_EQ(s.write, QByteArray("\x01\x02", 2));
    EXPECT_TRUE(p.running());
    QList<QByteArray> chunks;
    for (int i = 0; i < 3; ++i) {
        s = p.onDrained();
        EXPECT_TRUE(s.progressed);
        chunks << s.write;
    }
    EXPECT_EQ(chunks, (QList<QByteArray>{QByteArray("\x03\x04"), QByteArray("\x05\x06"), QByteArray("\x07")}));
    s = p.onDrained();
    EXPECT_TRUE(s.finished);
    EXPECT_TRUE(s.write.isEmpty());
    EXPECT_FALSE(p.pacing());
    EXPECT_FALSE(p.running());
    EXPECT_FALSE(p.onDrained().finished); // once
}

TEST(TransferPacer, RepliesNeverReadPastTheImageAndTheTotalIsCappedToIt) {
    TransferPacer p;
    p.start(numbered(3), 1000);
    EXPECT_EQ(p.transferTotal(), 3);
    EXPECT_EQ(p.onRead(QByteArray("\xAA", 1)).write, QByteArray("\x01\x02", 2));
    EXPECT_EQ(p.onRead(QByteArray("\xAA", 1)).write, QByteArray("\x03", 1));
    EXPECT_EQ(p.onRead(QByteArray("\xAA", 1)).write, QByteArray());
    EXPECT_TRUE(p.onDrained().finished);
}

TEST(TransferPacer, AnErrorStopsThePacingButAReplyStillPushesTwo) {
    TransferPacer p;
    p.start(numbered(100), 100);
    p.onRead(QByteArray("\xAA", 1));
    const TransferPacer::Step e = p.onRead(QByteArray("\x55\xAA", 2));
    EXPECT_TRUE(e.moduleError);
    EXPECT_TRUE(e.write.isEmpty());
    EXPECT_EQ(p.onDrained().write, QByteArray());
    EXPECT_EQ(p.onRead(QByteArray("\xAA\xAA", 2)).write, QByteArray("\x03\x04", 2));
    EXPECT_EQ(p.onDrained().write, QByteArray()); // Pacing stays 0
    EXPECT_TRUE(p.onRead(QByteArray("\x0C", 1)).testAnswered);
    EXPECT_FALSE(p.onRead(QByteArray("\x00\x0C", 2)).testAnswered);
}

TEST(TransferPacer, AbandonEndsARunningTransferAndANewStartResetsEverything) {
    TransferPacer p;
    p.start(numbered(100), 100);
    p.onRead(QByteArray("\xAA", 1));
    p.onDrained();
    p.abandon();
    EXPECT_FALSE(p.running());
    EXPECT_EQ(p.lastReply(), 0);
    EXPECT_EQ(p.onDrained().write, QByteArray());
    p.start(numbered(10), 10);
    EXPECT_EQ(p.sendPosition(), 0);
    EXPECT_TRUE(p.pacing());
    EXPECT_EQ(p.onRead(QByteArray("\xAA", 1)).write, QByteArray("\x01\x02", 2));
}

// The early-wake margin settles on the 10th percentile of the lateness it sees,
// stays within its cap when wake-ups are very late, and goes to zero where the
// thread wakes on time.
TEST(WakeMargin, FollowsTheTenthPercentileWithinItsCap) {
    WakeMargin m;
    std::mt19937 random(7);
    std::uniform_int_distribution<qint64> lateness(30000, 80000); // tenth percentile 35 µs
    for (int i = 0; i < 20000; ++i)
        m.observe(lateness(random));
    EXPECT_NEAR(double(m.margin()), 35000.0, 2000.0);

    for (int i = 0; i < 20000; ++i)
        m.observe(10000000);
    EXPECT_EQ(m.margin(), WakeMargin::CapNs);

    for (int i = 0; i < 20000; ++i)
        m.observe(-5000);
    EXPECT_EQ(m.margin(), 0);
}
