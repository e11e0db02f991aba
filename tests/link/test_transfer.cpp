#include "link/CommPort.h"
#include "link/LinkTexts.h"
#include "link/ModuleCodes.h"
#include "link/ReplyHandler.h"
#include "simulator/Pty.h"
#include "simulator/ScriptedModule.h"
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

struct Transfer : ::testing::Test {
    Pty pty;
    CommPort port;
    ReplyHandler handler{port};
    ScriptedModule module{pty};
    QStringList status;
    QList<bool> runningChanges;

    void SetUp() override {
        ASSERT_TRUE(pty.open());
        port.setDevicePath(1, pty.slavePath());
        ASSERT_TRUE(port.setPortOpen(true));
        port.setRThreshold(1);
        port.setSThreshold(0);
        QObject::connect(&port, &CommPort::onComm, &handler, &ReplyHandler::OnComm);
        QObject::connect(&port, &CommPort::disconnected, &handler, &ReplyHandler::abandonTransfer);
        QObject::connect(&handler, &ReplyHandler::statusText, [this](const QString& t) { status << t; });
        QObject::connect(&handler, &ReplyHandler::runningChanged, [this](bool r) { runningChanges << r; });
    }
    void useBaud(int baud) { ASSERT_TRUE(port.setSettings(QString("%1,n,8,1").arg(baud))); }
    // The bitmap header for an image of total bytes.
    static QByteArray headerFor(int total) { return module::bitmapHeader(module::bankedAddress(quint32(total))); }
    bool done() const { return !status.isEmpty() && status.last() == texts::downloadDone(); }
};

} // namespace

TEST_F(Transfer, TheModuleReceivesTheHeaderThenExactlyTheImage) {
    useBaud(19200);
    module.start({.lineRate = true});
    const QByteArray image = pattern(3000, 1);
    ASSERT_TRUE(handler.startTransfer(image, 3000, headerFor(3000)));
    ASSERT_TRUE(waitUntil([&] { return done(); }, 10000));
    ASSERT_TRUE(waitUntil([&] { return module.receivedCount() >= 3005; }, 2000));
    EXPECT_EQ(module.received(), headerFor(3000) + image);
    EXPECT_EQ(module.dataBytes(), image);
    EXPECT_EQ(port.sThreshold(), 0);
    EXPECT_EQ(handler.SendPosition, 3000);
    EXPECT_EQ(status.at(status.size() - 2), texts::progressText(3000, 3000));
    EXPECT_EQ(runningChanges, (QList<bool>{true, false}));
}

TEST_F(Transfer, AnOddTotalEndsWithOneByteThenCompletion) {
    useBaud(19200);
    module.start();
    const QByteArray image = pattern(64, 2);
    ASSERT_TRUE(handler.startTransfer(image, 7, headerFor(7)));
    ASSERT_TRUE(waitUntil([&] { return done(); }));
    // 0xAA pushed bytes 0 and 1; notifications then write 2-3, 4-5 and the lone 6.
    EXPECT_EQ(status, (QStringList{texts::progressText(4, 7), texts::progressText(6, 7),
                                   texts::progressText(7, 7), texts::downloadDone()}));
    spin(30);
    EXPECT_EQ(module.dataBytes(), image.left(7));
}

TEST_F(Transfer, OnlyTheFirstByteOfAReadCountsAndAFailedTransferPushesTwoPerReply) {
    module.start({.answerHeaders = false});
    const QByteArray image = pattern(100, 3);
    ASSERT_TRUE(handler.startTransfer(image, 100, headerFor(100)));
    ASSERT_TRUE(waitUntil([&] { return module.receivedCount() >= 5; }, 2000));
    module.send(QByteArray("\x55", 1));
    ASSERT_TRUE(waitUntil([&] { return handler.LastReply == module::ReplyError; }));
    EXPECT_EQ(status.last(), texts::commError());
    EXPECT_EQ(port.sThreshold(), 0);

    module.send(QByteArray("\xAA\xAA", 2)); // one read: two bytes, not four
    ASSERT_TRUE(waitUntil([&] { return module.receivedCount() >= 7; }, 2000));
    spin(60);
    EXPECT_EQ(module.received(), headerFor(100) + image.left(2));
    EXPECT_EQ(handler.LastReply, module::ReplyGoOn);
    EXPECT_FALSE(handler.running()); // no transmit notifications: it stays put

    module.send(QByteArray("\x01\xAA", 2)); // 0xAA behind another byte: ignored
    spin(60);
    EXPECT_EQ(module.receivedCount(), 7);
    EXPECT_EQ(handler.SendPosition, 2);
}

TEST_F(Transfer, AfterCompletionAReplyWritesTwoBytesOnceAndNotificationsDoNothing) {
    module.start();
    const QByteArray image = pattern(40, 4);
    ASSERT_TRUE(handler.startTransfer(image, 10, headerFor(10)));
    ASSERT_TRUE(waitUntil([&] { return done(); }));
    const int statusCount = int(status.size());
    module.send(QByteArray("\xAA", 1));
    ASSERT_TRUE(waitUntil([&] { return module.receivedCount() >= 5 + 12; }, 2000));
    spin(60);
    EXPECT_EQ(module.received(), headerFor(10) + image.left(12));
    EXPECT_EQ(status.size(), statusCount);
}

TEST_F(Transfer, AReplyBeforeAnyTransferWritesNothing) {
    module.start();
    module.send(QByteArray("\xAA", 1));
    ASSERT_TRUE(waitUntil([&] { return handler.LastReply == module::ReplyGoOn; }));
    spin(60);
    EXPECT_EQ(module.receivedCount(), 0);
    EXPECT_TRUE(status.isEmpty());
}

TEST_F(Transfer, TheTestAnswerDuringATransferIsShownAndProgressResumes) {
    useBaud(19200);
    module.start({.lineRate = true});
    const QByteArray image = pattern(400, 5);
    ASSERT_TRUE(handler.startTransfer(image, 400, headerFor(400)));
    ASSERT_TRUE(waitUntil([&] { return module.dataBytes().size() >= 100; }, 3000));
    module.send(QByteArray("\x0C\xAA", 2)); // the answer first: success, and no push
    ASSERT_TRUE(waitUntil([&] { return done(); }, 5000));
    const qsizetype at = status.indexOf(texts::testOk());
    ASSERT_GE(at, 0);
    ASSERT_LT(at + 1, status.size());
    EXPECT_TRUE(status.at(at + 1).startsWith("正在下载...  "));
    ASSERT_TRUE(waitUntil([&] { return module.dataBytes().size() >= 400; }, 1000));
    EXPECT_EQ(module.dataBytes(), image);
}

TEST_F(Transfer, AnErrorReplyMidTransferStopsTheData) {
    useBaud(19200);
    module.start({.errorAfterDataBytes = 100, .lineRate = true});
    const QByteArray image = pattern(2000, 6);
    ASSERT_TRUE(handler.startTransfer(image, 2000, headerFor(2000)));
    ASSERT_TRUE(waitUntil([&] { return handler.LastReply == module::ReplyError; }, 5000));
    const qint32 stoppedAt = handler.SendPosition;
    spin(100);
    EXPECT_EQ(handler.SendPosition, stoppedAt);
    EXPECT_LT(stoppedAt, 1000); // well before the end
    // The module gets what was sent before the reply arrived, and nothing after.
    ASSERT_TRUE(waitUntil([&] { return module.receivedCount() >= 5 + stoppedAt; }, 2000));
    spin(30);
    EXPECT_EQ(module.received(), headerFor(2000) + image.left(stoppedAt));
    EXPECT_EQ(status.last(), texts::commError());
    EXPECT_EQ(port.sThreshold(), 0);
    EXPECT_EQ(runningChanges, (QList<bool>{true, false}));
}

TEST_F(Transfer, ANewStartMidTransferStartsOver) {
    useBaud(19200);
    module.start({.answerHeaders = false, .lineRate = true});
    const QByteArray a = pattern(1000, 7);
    const QByteArray b = pattern(300, 8);
    ASSERT_TRUE(handler.startTransfer(a, 1000, headerFor(1000)));
    module.send(QByteArray("\xAA", 1));
    ASSERT_TRUE(waitUntil([&] { return module.receivedCount() >= 5 + 50; }, 3000));
    ASSERT_TRUE(handler.startTransfer(b, 300, headerFor(300)));
    EXPECT_EQ(handler.SendPosition, 0);
    EXPECT_EQ(handler.LastReply, 0);
    spin(80); // armed: nothing but the header until the module answers
    const QByteArray beforeReply = module.received();
    ASSERT_TRUE(beforeReply.endsWith(headerFor(300)));
    const qsizetype aBytes = beforeReply.size() - 10;
    EXPECT_EQ(beforeReply.mid(5, aBytes), a.left(aBytes));
    module.send(QByteArray("\xAA", 1));
    ASSERT_TRUE(waitUntil([&] { return done(); }, 5000));
    ASSERT_TRUE(waitUntil([&] { return module.receivedCount() >= beforeReply.size() + 300; }, 1000));
    EXPECT_EQ(module.received().mid(beforeReply.size()), b);
}

TEST_F(Transfer, TheFarEndClosedMidTransferEndsCleanly) {
    useBaud(19200);
    module.start({.lineRate = true});
    bool lost = false;
    QObject::connect(&port, &CommPort::disconnected, [&] { lost = true; });
    ASSERT_TRUE(handler.startTransfer(pattern(5000, 9), 5000, headerFor(5000)));
    ASSERT_TRUE(waitUntil([&] { return module.dataBytes().size() >= 200; }, 3000));
    module.stop();
    pty.releaseSlave();
    pty.closeMaster();
    ASSERT_TRUE(waitUntil([&] { return lost; }, 3000));
    EXPECT_FALSE(port.portOpen());
    EXPECT_FALSE(handler.running());
    EXPECT_EQ(port.sThreshold(), 0);
    EXPECT_FALSE(handler.OutByte(0x1D));
    EXPECT_FALSE(handler.startTransfer(pattern(10, 1), 10, headerFor(10)));
}

TEST_F(Transfer, ConnectionTestAnswersCountOnlyInFirstPlace) {
    module.start({.answerTest = false});
    ASSERT_TRUE(handler.sendSingly(module::simpleCommand(module::CmdConnectionTest)));
    ASSERT_TRUE(waitUntil([&] { return module.receivedCount() >= 3; }, 2000));
    EXPECT_EQ(module.received(), QByteArray("\x1D\x0C\x0D", 3));
    module.send(QByteArray("\x00\x0C", 2));
    spin(60);
    EXPECT_TRUE(status.isEmpty());
    module.send(QByteArray("\x0C\x55\x00", 3));
    ASSERT_TRUE(waitUntil([&] { return !status.isEmpty(); }));
    EXPECT_EQ(status, QStringList{texts::testOk()});
    EXPECT_EQ(handler.LastReply, 0); // the test takes no part in the transfer state
}

TEST(ProgressText, PercentageIsFlooredAndReaches100OnlyAtTheEnd) {
    EXPECT_EQ(texts::progressText(1000, 262144), QString("正在下载...  1000   0%"));
    EXPECT_EQ(texts::progressText(2621, 262144), QString("正在下载...  2621   0%"));
    EXPECT_EQ(texts::progressText(2622, 262144), QString("正在下载...  2622   1%"));
    EXPECT_EQ(texts::progressText(262143, 262144), QString("正在下载...  262143   99%"));
    EXPECT_EQ(texts::progressText(262144, 262144), QString("正在下载...  262144   100%"));
}
