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
#include "support/TestGif.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>

#include <mutex>

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

namespace {

// The show-image commands the module executed, in order, with when each was taken.
struct ShowLog {
    std::mutex mutex;
    QElapsedTimer clock;
    QList<QByteArray> commands;
    QList<qint64> atMs;

    explicit ShowLog(ModuleLink& module) {
        clock.start();
        QObject::connect(
            &module, &ModuleLink::eventsLogged, &module,
            [this](const QVector<ModuleEvent>& events) {
                std::lock_guard lock(mutex);
                for (const ModuleEvent& e : events) {
                    if (e.kind == ModuleEvent::Kind::Command && e.bytes.size() == 6 &&
                        quint8(e.bytes[1]) == module::CmdShowImage) {
                        commands << e.bytes;
                        atMs << clock.elapsed();
                    }
                }
            },
            Qt::DirectConnection);
    }
    QList<int> pictures() {
        std::lock_guard lock(mutex);
        QList<int> n;
        for (const QByteArray& c : commands)
            n << quint8(c[4]);
        return n;
    }
    qint64 gap(int k) {
        std::lock_guard lock(mutex);
        return atMs.value(k + 1) - atMs.value(k);
    }
};

} // namespace

// download anim.gif --play: a stored picture a frame, then the frames in turn with the GIF's
// delays, as often as its loop count says.
TEST_F(Restart, DownloadOfAnAnimatedGifPlaysItsFrames) {
    const QSize size(32, 8);
    const QString gif = file(QStringLiteral("anim.gif"));
    // 150 ms, 50 ms and 0 (played as 100 ms); one repeat: two passes.
    ASSERT_TRUE(writeFile(gif, makeGif(size, {columnFrame(size, 3, 15), columnFrame(size, 12, 5), columnFrame(size, 20, 0)}, 1)));
    const QString dir = file(QStringLiteral("data"));
    ShowLog log(*module);
    ASSERT_EQ(run({QStringLiteral("download"), QStringLiteral("--port"), pty.slavePath(), QStringLiteral("--data-dir"), dir,
                   QStringLiteral("--play"), QStringLiteral("--fit"), QStringLiteral("original"), QStringLiteral("--dither"),
                   QStringLiteral("threshold"), gif}),
              0)
        << err.toStdString();
    EXPECT_TRUE(out.contains(QStringLiteral("done, played 6 frames"))) << out.toStdString();
    // A picture a frame, in order: each has its own column dark (bit 0 stored).
    const module::Directory stored = module->directory();
    ASSERT_EQ(stored.count, 3);
    const QByteArray memory = module->imageMemory();
    for (int k = 0; k < 3; ++k) {
        const int x = QList<int>{3, 12, 20}[k];
        EXPECT_EQ(module::storedByte(memory, stored.images[std::size_t(k)], 4, x / 8) & (0x80 >> (x % 8)), 0) << k;
        EXPECT_EQ(module::storedByte(memory, stored.images[std::size_t(k)], 4, 0) & 0x01, 0x01) << k; // dot 7 light
    }
    EXPECT_TRUE(QFile::exists(QDir(dir).filePath(QStringLiteral("anim-3.bmp"))));
    ASSERT_TRUE(waitFor([&] { return log.pictures().size() == 6; }, 3000));
    EXPECT_EQ(log.pictures(), (QList<int>{0, 1, 2, 0, 1, 2}));
    // The delays reach the play (their timing is the session's, tested there): the 150 ms frame
    // is not followed at once.
    EXPECT_GE(log.gap(0), 150 - 60);
}

// play shows stored pictures in turn without a download, where it is told; Ctrl+C ends a
// play that would go on; numbers beyond the store are refused before the port is opened.
TEST_F(Restart, PlayShowsStoredPicturesInTurnAndStopsOnCtrlC) {
    ShowLog log(*module);
    ASSERT_EQ(run({QStringLiteral("play"), QStringLiteral("--port"), pty.slavePath(), QStringLiteral("--first"),
                   QStringLiteral("5"), QStringLiteral("--count"), QStringLiteral("2"), QStringLiteral("--delays"),
                   QStringLiteral("120,40"), QStringLiteral("--loops"), QStringLiteral("2"), QStringLiteral("3"),
                   QStringLiteral("16")}),
              0)
        << err.toStdString();
    EXPECT_TRUE(out.contains(QStringLiteral("played 4 frames"))) << out.toStdString();
    ASSERT_TRUE(waitFor([&] { return log.pictures().size() == 4; }, 3000));
    EXPECT_EQ(log.pictures(), (QList<int>{5, 6, 5, 6}));
    {
        std::lock_guard lock(log.mutex);
        EXPECT_EQ(log.commands.first(), QByteArray::fromHex("1D020310050D"));
    }
    EXPECT_GE(log.gap(0), 120 - 60);
    EXPECT_GE(log.gap(2), 120 - 60);

    // --loops 0 goes on until Ctrl+C.
    QTimer::singleShot(400, [] { cli::requestInterrupt(); });
    EXPECT_EQ(run({QStringLiteral("play"), QStringLiteral("--port"), pty.slavePath(), QStringLiteral("--count"),
                   QStringLiteral("3"), QStringLiteral("--delays"), QStringLiteral("50"), QStringLiteral("--loops"),
                   QStringLiteral("0")}),
              130);
    EXPECT_TRUE(err.contains(QStringLiteral("interrupted: stopped after"))) << err.toStdString();
    const int after = int(log.pictures().size());
    EXPECT_GE(after, 4 + 3);
    spin(300);
    EXPECT_EQ(log.pictures().size(), after);

    const auto usage = [&](QStringList extra) {
        return run(QStringList{QStringLiteral("play"), QStringLiteral("--port"), pty.slavePath()} + extra);
    };
    EXPECT_EQ(usage({QStringLiteral("--count"), QStringLiteral("0")}), 2);
    EXPECT_EQ(usage({QStringLiteral("--first"), QStringLiteral("126"), QStringLiteral("--count"), QStringLiteral("2")}), 2);
    EXPECT_TRUE(err.contains(QStringLiteral("--count must be 1..1"))) << err.toStdString();
    EXPECT_EQ(usage({QStringLiteral("--count"), QStringLiteral("2"), QStringLiteral("--delays"), QStringLiteral("10,20,30")}), 2);
    EXPECT_EQ(usage({QStringLiteral("--count"), QStringLiteral("2"), QStringLiteral("--loops"), QStringLiteral("1001")}), 2);
    EXPECT_EQ(usage({}), 2);
    EXPECT_EQ(run({QStringLiteral("download"), QStringLiteral("--port"), pty.slavePath(), QStringLiteral("--play"),
                   QStringLiteral("--list"), file(QStringLiteral("file.txt"))}),
              2);
    EXPECT_EQ(log.pictures().size(), after);

    // An animation of more frames than the module stores pictures: its first 127 frames are
    // taken (the store's count), the frame left out named; a page each, they then exceed the
    // store's 256 KB, which the image builder refuses as ever. Nothing goes to the port.
    QList<GifFrame> frames;
    for (int k = 0; k <= module::MaxBitmaps; ++k)
        frames << columnFrame(QSize(8, 2), k % 8, 2);
    const QString many = file(QStringLiteral("many.gif"));
    ASSERT_TRUE(writeFile(many, makeGif(QSize(8, 2), frames)));
    const int headers = module->counters().headersAccepted;
    EXPECT_EQ(run({QStringLiteral("download"), QStringLiteral("--port"), pty.slavePath(), QStringLiteral("--play"), many}), 6);
    EXPECT_TRUE(err.contains(QStringLiteral("frames 128..128 left out: the module stores at most 127 pictures")))
        << err.toStdString();
    EXPECT_TRUE(err.contains(QStringLiteral("the module cannot store them"))) << err.toStdString();
    EXPECT_EQ(module->counters().headersAccepted, headers);
}
