// Restarts against the simulated module, whose own rules (a transfer left quiet for 5 s is
// given up with 0x55) decide whether a new header is heard as a header or as data.

#include "cli/Cli.h"
#include "cli/Texts.h"

#include "protocol/Module.h"
#include "session/ModuleSession.h"
#include "simulator/Pty.h"
#include "simulator/core/ModuleLink.h"
#include "support/EventLoop.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>

using namespace panelix;
using namespace panelix::test;

namespace {

struct Restart : ::testing::Test {
    QTemporaryDir tmp;
    Pty pty;
    std::unique_ptr<ModuleLink> module;
    QString out;
    QString err;

    void SetUp() override {
        ASSERT_TRUE(pty.open());
        module = std::make_unique<ModuleLink>(pty);
        ASSERT_TRUE(module->start(ModuleLink::Timing::LineRate));
    }
    QString file(const QString& name) const { return tmp.filePath(name); }
    QString bmp(const QString& name, int w, int h, int seed) const {
        BmpLayout layout;
        layout.width = w;
        layout.height = h;
        layout.rows = patternRows(w, h, seed);
        EXPECT_TRUE(writeFile(file(name), makeBmp(layout)));
        return file(name);
    }
    int run(QStringList args) {
        out.clear();
        err.clear();
        cli::Io io;
        io.out = [this](const QString& s) { out += s; };
        io.err = [this](const QString& s) { err += s; };
        args.prepend(QStringLiteral("panelix-cli"));
        return cli::run(args, io);
    }
    // The stored bitmaps of the module: its image memory up to the end of an image.
    QByteArray stored(qint64 end) const { return module->imageMemory().left(int(end)); }
};

} // namespace

// Ctrl+C leaves the module inside the cut transfer. A download started a second later
// waits until the module has given that up, and then arrives whole.
TEST_F(Restart, ADownloadStartedASecondAfterAnInterruptedOneSucceeds) {
    const QString big = bmp(QStringLiteral("big.bmp"), 320, 240, 7); // 9,600 bytes, about 5 s
    const QString small = bmp(QStringLiteral("small.bmp"), 64, 40, 3);
    const QString dir = file(QStringLiteral("data"));
    QTimer::singleShot(800, [] { cli::requestInterrupt(); });
    ASSERT_EQ(run({QStringLiteral("download"), QStringLiteral("--port"), pty.slavePath(), QStringLiteral("--data-dir"), dir, big}), 130);
    ASSERT_TRUE(module->counters().transferExpected > 0) << "the module should be left inside the transfer";
    spin(1000);

    QElapsedTimer clock;
    clock.start();
    ASSERT_EQ(run({QStringLiteral("download"), QStringLiteral("--port"), pty.slavePath(), QStringLiteral("--data-dir"), dir, small}), 0)
        << err.toStdString();
    EXPECT_TRUE(err.contains(QStringLiteral("waiting for the module"))) << err.toStdString();
    const QByteArray image = readFile(QDir(dir).filePath(QStringLiteral("file.add")));
    const qint64 end = module::decodeDirectory(image).end;
    EXPECT_EQ(end, 1024 + 8 * 40);
    ASSERT_TRUE(waitFor([&] { return module->counters().bitmapDownloads == 1; }, 3000));
    EXPECT_EQ(stored(end), image.left(int(end)));
    EXPECT_EQ(module->counters().transfersAborted, 1);
}

// Two presses of the download button: the second, while data flows, is refused and the
// module ends up with one complete transfer of the first.
TEST_F(Restart, ASecondStartWhileDataFlowsIsRefusedAndTheFirstArrivesWhole) {
    ModuleSession session;
    session.setDevicePath(1, pty.slavePath());
    ASSERT_TRUE(session.setDataDir(file(QStringLiteral("data"))));
    ASSERT_FALSE(session.openPort(1));
    ASSERT_TRUE(session.bitmapList().add(bmp(QStringLiteral("a.bmp"), 160, 40, 1), nullptr));
    int done = 0;
    QObject::connect(&session, &ModuleSession::finished, [&] { ++done; });
    ASSERT_FALSE(session.downloadBitmaps());
    ASSERT_TRUE(waitFor([&] { return session.running(); }, 3000));
    const Refusal second = session.downloadBitmaps();
    ASSERT_TRUE(second);
    EXPECT_EQ(second->reason, FailureReason::AlreadyRunning);
    EXPECT_TRUE(session.downloadFont()) << "refused as well, whatever the font";
    ASSERT_TRUE(waitFor([&] { return done == 1; }, 5000));
    const QByteArray image = readFile(QDir(file(QStringLiteral("data"))).filePath(QStringLiteral("file.add")));
    const qint64 end = module::decodeDirectory(image).end;
    ASSERT_TRUE(waitFor([&] { return module->counters().bitmapDownloads == 1; }, 3000));
    EXPECT_EQ(stored(end), image.left(int(end)));
    EXPECT_EQ(module->counters().headersAccepted, 1);
    EXPECT_EQ(module->counters().transfersAborted, 0);
}

// Every reason a file is refused for has the command line's own English words.
TEST(RefusalWords, EveryReasonHasEnglishWordsNamingTheFile) {
    for (int r = int(InputReason::BitmapUnreadable); r <= int(InputReason::TooManyFrames); ++r) {
        const QString text = cli::inputErrorText(inputError(InputReason(r), QStringLiteral("/tmp/x/photo.png")));
        EXPECT_FALSE(text.isEmpty()) << r;
        for (QChar c : text)
            ASSERT_LT(c.unicode(), 0x2E80) << text.toStdString();
    }
    EXPECT_EQ(cli::inputErrorText(inputError(InputReason::BitmapUnreadable, QString(), 2)),
              QStringLiteral("cannot open bitmap file: entry 3 of the list"));
    EXPECT_EQ(cli::inputErrorText(inputError(InputReason::NotAPicture, QStringLiteral("/tmp/x/photo.png"))),
              QStringLiteral("not a picture file: /tmp/x/photo.png"));
}

// download --show N: when the command line is done, the module's screen shows picture N.
TEST_F(Restart, DownloadWithShowPutsThePictureOnTheScreen) {
    const QString a = bmp(QStringLiteral("a.bmp"), 64, 40, 5);
    const QString dir = file(QStringLiteral("data"));
    ASSERT_EQ(run({QStringLiteral("download"), QStringLiteral("--port"), pty.slavePath(), QStringLiteral("--data-dir"), dir,
                   QStringLiteral("--show"), QStringLiteral("0"), a}),
              0)
        << err.toStdString();
    EXPECT_TRUE(out.contains(QStringLiteral("showing picture 0"))) << out.toStdString();
    const QByteArray image = readFile(QDir(dir).filePath(QStringLiteral("file.add")));
    ASSERT_TRUE(waitFor([&] { return module->counters().commands >= 1; }, 2000));
    spin(100);
    // The stored rows, bit 0 dark, on the panel whose bit 1 is a dark dot.
    const Frame frame = module->frame();
    for (int y = 0; y < 40; ++y) {
        for (int k = 0; k < 8; ++k) {
            ASSERT_EQ(frame[std::size_t(y * ScreenByteColumns + k)], std::uint8_t(~std::uint8_t(image[1024 + y * 8 + k])))
                << "row " << y << " column " << k;
        }
    }
    EXPECT_EQ(run({QStringLiteral("download"), QStringLiteral("--port"), pty.slavePath(), QStringLiteral("--show"),
                   QStringLiteral("200"), a}),
              2);
}
