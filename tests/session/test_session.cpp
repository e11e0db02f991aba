#include "session/ModuleSession.h"

#include "protocol/Module.h"
#include "simulator/Pty.h"
#include "support/EventLoop.h"
#include "support/ScriptedModule.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

using namespace panelix;
using namespace panelix::test;

namespace {

// A session on two ptys with scripted modules, and a data directory of its own.
struct Session : ::testing::Test {
    QTemporaryDir tmp;
    Pty pty1;
    Pty pty2;
    std::unique_ptr<ScriptedModule> module1;
    std::unique_ptr<ScriptedModule> module2;
    ModuleSession session;
    QList<TransferKind> finished;
    QList<Failure> failures;
    int answers = 0;
    int silent = 0;
    TransferProgress lastProgress;

    void SetUp() override {
        ASSERT_TRUE(pty1.open());
        ASSERT_TRUE(pty2.open());
        module1 = std::make_unique<ScriptedModule>(pty1);
        module2 = std::make_unique<ScriptedModule>(pty2);
        session.setDevicePath(1, pty1.slavePath());
        session.setDevicePath(2, pty2.slavePath());
        ASSERT_TRUE(session.setDataDir(dataDir()));
        QObject::connect(&session, &ModuleSession::finished, [this](TransferKind k) { finished << k; });
        QObject::connect(&session, &ModuleSession::failed, [this](const Failure& f) { failures << f; });
        QObject::connect(&session, &ModuleSession::testAnswered, [this] { ++answers; });
        QObject::connect(&session, &ModuleSession::moduleSilent, [this] { ++silent; });
        QObject::connect(&session, &ModuleSession::progress, [this](const TransferProgress& p) { lastProgress = p; });
    }
    void open(ScriptedModule::Config config = {}) {
        module1->start(config);
        module2->start(config);
        ASSERT_FALSE(session.openPort(1));
    }
    QString dataDir() const { return tmp.filePath("dispkit"); }
    QString file(const QString& name) const { return QDir(dataDir()).filePath(name); }
    // A bitmap file of the given size in the data directory, added to the list.
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

TEST_F(Session, BitmapDownloadSavesTheListBuildsFileAddAndSendsExactlyIt) {
    open();
    addBitmap("a.bmp", 320, 24, 1);
    addBitmap("b.bmp", 17, 5, 2);
    ASSERT_FALSE(session.downloadBitmaps());
    EXPECT_EQ(session.activeTransfer(), TransferKind::Bitmaps);
    ASSERT_TRUE(waitUntil([&] { return !finished.isEmpty(); }, 10000));
    EXPECT_EQ(finished, QList<TransferKind>{TransferKind::Bitmaps});
    EXPECT_TRUE(failures.isEmpty());

    const QByteArray fileAdd = readFile(file("file.add"));
    ASSERT_EQ(fileAdd.size(), module::BitmapImageSize);
    const quint32 end = 1024 + 40 * 24 + 3 * 5;
    EXPECT_EQ(module::decodeDirectory(fileAdd).end, end);
    // The connection test first: the module is made sure to listen before the header.
    const QByteArray test = module::simpleCommand(module::CmdConnectionTest);
    ASSERT_TRUE(module1->waitForCount(3 + 5 + end, 2000));
    EXPECT_EQ(module1->received(), test + module::bitmapHeader(module::bankedAddress(end)) + fileAdd.left(end));
    EXPECT_EQ(lastProgress.kind, TransferKind::Bitmaps);
    EXPECT_EQ(lastProgress.sent, qint32(end));
    EXPECT_EQ(lastProgress.total, qint32(end));

    // The list file was written before the build and comes back the same.
    ModuleSession other;
    ASSERT_TRUE(other.setDataDir(dataDir()));
    EXPECT_FALSE(other.loadList());
    EXPECT_EQ(other.bitmapList().entries(), session.bitmapList().entries());
    EXPECT_EQ(module2->receivedCount(), 0);
}

TEST_F(Session, RefusedStartsSendNothingArmNothingAndSayWhy) {
    open();
    // No font file.
    Refusal r = session.downloadFont();
    ASSERT_TRUE(r);
    EXPECT_EQ(r->reason, FailureReason::RefusedInput);
    EXPECT_EQ(describe(r->input), "FontMissing");
    EXPECT_EQ(r->input.path, file("hzk16"));

    // An unreadable bitmap: file.add is not rewritten.
    ASSERT_TRUE(writeFile(file("file.add"), "old"));
    ASSERT_TRUE(session.bitmapList().add(file("missing.bmp"), nullptr));
    r = session.downloadBitmaps();
    ASSERT_TRUE(r);
    EXPECT_EQ(describe(r->input), "BitmapUnreadable missing.bmp");
    EXPECT_EQ(readFile(file("file.add")), QByteArray("old"));
    EXPECT_FALSE(session.imageBuilt());

    // A closed port: the image is built, but nothing is armed.
    session.bitmapList().clear();
    addBitmap("a.bmp", 8, 8, 3);
    session.closePort();
    r = session.downloadBitmaps();
    ASSERT_TRUE(r);
    EXPECT_EQ(r->reason, FailureReason::PortNotOpen);
    EXPECT_TRUE(session.imageBuilt());
    EXPECT_FALSE(session.port().pacing());
    EXPECT_EQ(session.activeTransfer(), TransferKind::None);
    spin(50);
    EXPECT_EQ(module1->receivedCount(), 0);
    EXPECT_TRUE(failures.isEmpty()); // refusals are answers, not events
}

TEST_F(Session, ASilentModuleIsReportedAfterThreeSecondsAndALateReplyStillStartsTheData) {
    open({.answerHeaders = false});
    ASSERT_TRUE(writeFile(file("hzk16"), QByteArray(100, 'f')));
    QElapsedTimer timer;
    timer.start();
    ASSERT_FALSE(session.downloadFont());
    ASSERT_TRUE(waitUntil([&] { return silent > 0; }, 5000));
    EXPECT_GE(timer.elapsed(), ModuleSession::DefaultAnswerMs - 50);
    EXPECT_EQ(silent, 1);
    EXPECT_EQ(session.activeTransfer(), TransferKind::Font); // still armed
    module1->send(QByteArray("\xAA", 1));
    ASSERT_TRUE(waitUntil([&] { return module1->receivedCount() >= 3 + 5 + 200; }, 3000));
    EXPECT_EQ(module1->received().mid(3 + 5, 100), QByteArray(100, 'f'));
    EXPECT_TRUE(session.running());
}

TEST_F(Session, AnAnsweringModuleIsNeverCalledSilent) {
    open();
    ASSERT_TRUE(writeFile(file("hzk16"), QByteArray(10, 'f')));
    ASSERT_FALSE(session.downloadFont());
    spin(ModuleSession::DefaultAnswerMs + 300);
    EXPECT_EQ(silent, 0);
    session.closePort(); // the 137 s of the font are not waited for
}

TEST_F(Session, OnlyTheAnswerToASentTestCountsOncePerTest) {
    open({.errorAfterDataBytes = 600});
    addBitmap("a.bmp", 320, 40, 4);
    ASSERT_FALSE(session.downloadBitmaps());
    ASSERT_TRUE(waitUntil([&] { return !failures.isEmpty(); }, 5000));
    EXPECT_EQ(failures.first().reason, FailureReason::ModuleError);
    EXPECT_EQ(failures.first().transfer, TransferKind::Bitmaps);
    EXPECT_GE(failures.first().sent, 600);
    // A stray 0x0C after the failure must not read as success.
    module1->send(QByteArray("\x0C", 1));
    spin(100);
    EXPECT_EQ(answers, 0);
    EXPECT_TRUE(finished.isEmpty());

    module1->clear();
    module1->resync();
    ASSERT_FALSE(session.testConnection());
    ASSERT_TRUE(module1->waitForCount(3, 2000));
    EXPECT_EQ(module1->received(), QByteArray("\x1D\x0C\x0D", 3));
    ASSERT_TRUE(waitUntil([&] { return answers == 1; }));
    module1->send(QByteArray("\x0C", 1)); // a second answer to the same test
    spin(100);
    EXPECT_EQ(answers, 1);
    EXPECT_FALSE(session.testPending());
}

TEST_F(Session, SingleCommandsWaitForNoTransferButAreRefusedWhileOneRuns) {
    open({.lineRate = true});
    ASSERT_TRUE(writeFile(file("hzk16"), QByteArray(4000, 'f')));
    ASSERT_FALSE(session.downloadFont());
    ASSERT_TRUE(waitUntil([&] { return session.running(); }, 3000));
    const Refusal r = session.clearScreen();
    ASSERT_TRUE(r);
    EXPECT_EQ(r->reason, FailureReason::Busy);
    EXPECT_TRUE(session.testConnection());
    EXPECT_FALSE(session.showBitmap(0));
    session.closePort();
    ASSERT_TRUE(module1->waitForData(1, 100));
    const QByteArray data = module1->dataBytes();
    EXPECT_EQ(data, QByteArray(data.size(), 'f')); // nothing interleaved
    ASSERT_FALSE(session.openPort(1));
    const qint64 before = module1->receivedCount();
    EXPECT_FALSE(session.setBacklight(false));
    EXPECT_TRUE(session.showBitmap(3));
    // What was still on its way of the transfer arrives first.
    ASSERT_TRUE(waitUntil([&] { return module1->received().endsWith(QByteArray("\x1D\x02\x00\x00\x03\x0D", 6)); }));
    const QByteArray tail = module1->received().mid(before);
    EXPECT_TRUE(tail.endsWith(QByteArray("\x1D\x08\x0D\x1D\x02\x00\x00\x03\x0D", 9)));
    EXPECT_EQ(tail.left(tail.size() - 9), QByteArray(tail.size() - 9, 'f'));
}

TEST_F(Session, SwitchingPortsDuringATransferEndsItAndSaysSo) {
    open({.lineRate = true});
    ASSERT_TRUE(writeFile(file("hzk16"), QByteArray(4000, 'f')));
    ASSERT_FALSE(session.downloadFont());
    ASSERT_TRUE(waitUntil([&] { return session.running(); }, 3000));
    ASSERT_FALSE(session.openPort(2));
    ASSERT_EQ(failures.size(), 1);
    EXPECT_EQ(failures.first().reason, FailureReason::PortSwitched);
    EXPECT_EQ(failures.first().transfer, TransferKind::Font);
    EXPECT_EQ(failures.first().port, 1);
    EXPECT_FALSE(session.running());
    EXPECT_EQ(session.activeTransfer(), TransferKind::None);
    EXPECT_EQ(session.currentPort(), 2);
    // The new line is not armed: the old image never goes there.
    module2->send(QByteArray("\xAA", 1));
    spin(100);
    EXPECT_EQ(module2->receivedCount(), 0);
    EXPECT_TRUE(finished.isEmpty());
}

TEST_F(Session, ALostPortEndsTheTransferAndAFailedOpenSaysWhichPortAndWhy) {
    open({.lineRate = true});
    ASSERT_TRUE(writeFile(file("hzk16"), QByteArray(4000, 'f')));
    ASSERT_FALSE(session.downloadFont());
    ASSERT_TRUE(waitUntil([&] { return session.running(); }, 3000));
    module1->stop();
    pty1.releaseSlave();
    pty1.closeMaster();
    ASSERT_TRUE(waitUntil([&] { return !failures.isEmpty(); }, 3000));
    EXPECT_EQ(failures.first().reason, FailureReason::PortLost);
    EXPECT_EQ(failures.first().transfer, TransferKind::Font);
    EXPECT_FALSE(session.isOpen());
    EXPECT_FALSE(session.running());
    const Refusal r = session.testConnection();
    ASSERT_TRUE(r);
    EXPECT_EQ(r->reason, FailureReason::PortNotOpen);

    session.setDevicePath(1, "/nonexistent/ttyUSB7");
    const Refusal open1 = session.openPort(1);
    ASSERT_TRUE(open1);
    EXPECT_EQ(open1->reason, FailureReason::PortOpenFailed);
    EXPECT_EQ(open1->port, 1);
    EXPECT_EQ(open1->openError, OpenError::NoDevice);
}

TEST_F(Session, StaleTemporariesOfTheDataFilesGoWhenTheDirectoryIsTaken) {
    ASSERT_TRUE(writeFile(file("file.add.panelix-Ab12Cd.tmp"), QByteArray(1000, 'x')));
    ASSERT_TRUE(writeFile(file("file.txt.bak"), "keep"));
    ModuleSession other;
    ASSERT_TRUE(other.setDataDir(dataDir()));
    EXPECT_FALSE(QFile::exists(file("file.add.panelix-Ab12Cd.tmp")));
    EXPECT_TRUE(QFile::exists(file("file.txt.bak")));
}

// A single command is reported written once its bytes have had their line time, never
// when they are merely handed to the system.
TEST_F(Session, ASingleCommandIsReportedWrittenWhenItHasLeftTheHost) {
    open({.lineRate = true});
    int written = 0;
    QObject::connect(&session, &ModuleSession::commandWritten, [&] { ++written; });
    const QByteArray text = module::showTextCommand(0, 0, QByteArray(96, 'A'), false); // 101 bytes, 53 ms
    QElapsedTimer clock;
    clock.start();
    ASSERT_FALSE(session.sendCommand(text));
    ASSERT_TRUE(waitUntil([&] { return written > 0; }, 2000));
    EXPECT_GE(clock.elapsed(), 101 * 10 * 1000 / 19200 - 5);
    EXPECT_EQ(written, 1);
    ASSERT_TRUE(module1->waitForCount(text.size(), 1000));
    EXPECT_EQ(module1->received(), text);
}

// Whoever hears finished() finds the session idle: a show command sent from the handler
// goes out at once.
TEST_F(Session, FinishedComesAfterTheTransferHasStopped) {
    open();
    addBitmap("a.bmp", 16, 4, 2);
    bool runningInHandler = true;
    Refusal showFromHandler = Failure{};
    QObject::connect(&session, &ModuleSession::finished, [&](TransferKind, qint32 total) {
        runningInHandler = session.running();
        showFromHandler = session.showImage(0);
        EXPECT_EQ(total, 1024 + 2 * 4);
    });
    ASSERT_FALSE(session.downloadBitmaps());
    ASSERT_TRUE(waitUntil([&] { return !finished.isEmpty(); }, 5000));
    EXPECT_FALSE(runningInHandler);
    EXPECT_FALSE(showFromHandler);
    ASSERT_TRUE(waitUntil([&] { return module1->received().endsWith(module::showImageCommand(0, 0, 0)); }, 2000));
}

// A module that answers no test is given the time a cut transfer needs to be given
// up; then the header goes out all the same and the front end hears at once.
TEST_F(Session, AModuleThatAnswersNoTestIsWaitedForThenCalledSilent) {
    open({.answerHeaders = false, .answerTest = false});
    int waiting = 0;
    QObject::connect(&session, &ModuleSession::waitingForModule, [&] { ++waiting; });
    ASSERT_TRUE(writeFile(file("hzk16"), QByteArray(100, 'f')));
    QElapsedTimer timer;
    timer.start();
    ASSERT_FALSE(session.downloadFont());
    ASSERT_TRUE(waitUntil([&] { return waiting > 0; }, 1000));
    ASSERT_TRUE(waitUntil([&] { return silent > 0; }, 8000));
    EXPECT_GE(timer.elapsed(), ModuleSession::SyncAnswerMs * 2 + ModuleSession::SyncQuietMs - 50);
    const QByteArray test = module::simpleCommand(module::CmdConnectionTest);
    ASSERT_TRUE(module1->waitForCount(2 * 3 + 5, 1000));
    EXPECT_EQ(module1->received(), test + test + module::fontHeader());
    EXPECT_EQ(session.activeTransfer(), TransferKind::Font); // still armed
    spin(ModuleSession::DefaultAnswerMs + 200);
    EXPECT_EQ(silent, 1); // said once
}
