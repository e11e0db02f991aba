#include "cli/Cli.h"
#include "cli/Texts.h"

#include "bitmap/BmpReader.h"
#include "bitmap/BmpWriter.h"
#include "bitmap/DownloadImageBuilder.h"
#include "console/CommandConsole.h"
#include "import/PictureImport.h"
#include "library/ListFile.h"
#include "link/CommPort.h"
#include "link/LinkCore.h"
#include "protocol/Module.h"
#include "session/ModuleSession.h"
#include "simulator/Pty.h"
#include "support/EventLoop.h"
#include "support/ScriptedModule.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>
#include <csignal>
#include <memory>

using namespace panelix;
using namespace panelix::test;

namespace {

// A module stand-in on a pty of its own.
struct Line {
    Pty pty;
    std::unique_ptr<ScriptedModule> module;
    QString path() const { return pty.slavePath(); }
};

struct Cli : ::testing::Test {
    QTemporaryDir tmp;
    QString out;
    QString err;
    std::vector<std::unique_ptr<Line>> lines;

    std::function<std::unique_ptr<ModuleSession>()> makeSession; // unset: the run makes its own

    int run(QStringList args, bool terminal = false) {
        out.clear();
        err.clear();
        cli::Io io;
        io.out = [this](const QString& s) { out += s; };
        io.err = [this](const QString& s) { err += s; };
        io.errIsTerminal = terminal;
        io.makeSession = makeSession;
        args.prepend(QStringLiteral("panelix-cli"));
        return cli::run(args, io);
    }
    Line& line(ScriptedModule::Config config = {}) {
        auto l = std::make_unique<Line>();
        EXPECT_TRUE(l->pty.open());
        l->module = std::make_unique<ScriptedModule>(l->pty);
        l->module->start(config);
        lines.push_back(std::move(l));
        return *lines.back();
    }
    QString file(const QString& name) const { return tmp.filePath(name); }
    // A 1-bit BMP with a seeded pattern.
    QString bmp(const QString& name, int w, int h, int seed) const {
        BmpLayout layout;
        layout.width = w;
        layout.height = h;
        layout.rows = patternRows(w, h, seed);
        EXPECT_TRUE(writeFile(file(name), makeBmp(layout)));
        return file(name);
    }
    QString png(const QString& name, int w, int h) const {
        QImage img(w, h, QImage::Format_RGB32);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                img.setPixel(x, y, qRgb(x * 255 / w, y * 255 / h, 128));
        EXPECT_TRUE(img.save(file(name), "PNG"));
        return file(name);
    }
};

// The bytes the window's console sends: select the command, type the parameters, press invert
// if asked, press send.
QByteArray consoleBytes(int index, const QString& params, bool invert = false) {
    CommandConsole console;
    console.select(index, CommandConsole::captions().at(index));
    console.preview(QString());
    QString text2 = console.preview(params);
    if (invert)
        text2 = console.invert(text2);
    return console.send(text2).bytes;
}

// What a session driven as the window drives it puts on the line for these list entries.
QByteArray windowDownload(const QStringList& entries, const QString& dataDir) {
    Pty pty;
    EXPECT_TRUE(pty.open());
    ScriptedModule module(pty);
    module.start();
    ModuleSession session;
    session.setDevicePath(1, pty.slavePath());
    EXPECT_TRUE(session.setDataDir(dataDir));
    EXPECT_FALSE(session.openPort(1));
    for (const QString& e : entries)
        EXPECT_TRUE(session.bitmapList().add(e, nullptr));
    bool done = false;
    QObject::connect(&session, &ModuleSession::finished, [&] { done = true; });
    EXPECT_FALSE(session.downloadBitmaps());
    EXPECT_TRUE(waitFor([&] { return done; }, 20000));
    spin(50);
    return module.received();
}

} // namespace

// --- Usage

TEST_F(Cli, HelpAndUsageErrors) {
    EXPECT_EQ(run({QStringLiteral("--help")}), 0);
    EXPECT_TRUE(out.contains(QStringLiteral("Exit status")));
    EXPECT_TRUE(out.contains(QStringLiteral("6  bad input")));
    EXPECT_EQ(run({}), 2);
    EXPECT_TRUE(err.contains(QStringLiteral("no command")));
    EXPECT_EQ(run({QStringLiteral("frobnicate")}), 2);
    EXPECT_EQ(run({QStringLiteral("test"), QStringLiteral("--bogus")}), 2);
    EXPECT_EQ(run({QStringLiteral("test")}), 2);
    EXPECT_TRUE(err.contains(QStringLiteral("--port")));
    Line& l = line();
    EXPECT_EQ(run({QStringLiteral("send"), QStringLiteral("--port"), l.path(), QStringLiteral("1D0")}), 2);
    EXPECT_EQ(run({QStringLiteral("send"), QStringLiteral("--port"), l.path(), QStringLiteral("1G")}), 2);
    EXPECT_EQ(run({QStringLiteral("show"), QStringLiteral("--port"), l.path(), QStringLiteral("256")}), 2);
    EXPECT_EQ(run({QStringLiteral("backlight"), QStringLiteral("--port"), l.path(), QStringLiteral("dim")}), 2);
    EXPECT_EQ(run({QStringLiteral("convert"), png(QStringLiteral("a.png"), 8, 8), QStringLiteral("-o"), file("o"),
                   QStringLiteral("--dither"), QStringLiteral("sparkle")}),
              2);
    EXPECT_EQ(run({QStringLiteral("pack"), bmp(QStringLiteral("a.bmp"), 8, 8, 1)}), 2); // no -o
    EXPECT_EQ(l.module->receivedCount(), 0); // nothing reached the line
}

TEST_F(Cli, VersionIsOneLineAndTouchesNothing) {
    EXPECT_EQ(run({QStringLiteral("--version")}), 0);
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^panelix-cli [0-9]+\\.[0-9]+\n$")).match(out).hasMatch()) << qPrintable(out);
    EXPECT_TRUE(err.isEmpty());
    EXPECT_EQ(run({QStringLiteral("--version"), QStringLiteral("extra")}), 2);
}

// --- Single commands: the window's bytes

TEST_F(Cli, SingleCommandsPutTheConsolesBytesOnTheLine) {
    Line& l = line();
    const QString p = l.path();
    struct Case {
        QStringList args;
        QByteArray expected;
    };
    const std::vector<Case> cases = {
        {{QStringLiteral("clear")}, QByteArray::fromHex("1D030D")},
        {{QStringLiteral("clear"), QStringLiteral("--invert")}, QByteArray::fromHex("1D830D")},
        {{QStringLiteral("backlight"), QStringLiteral("on")}, QByteArray::fromHex("1D070D")},
        {{QStringLiteral("backlight"), QStringLiteral("off")}, QByteArray::fromHex("1D080D")},
        {{QStringLiteral("show"), QStringLiteral("2")}, QByteArray::fromHex("1D020000020D")},
        {{QStringLiteral("show"), QStringLiteral("0x11"), QStringLiteral("3"), QStringLiteral("40"), QStringLiteral("--invert")},
         QByteArray::fromHex("1D820328110D")},
        {{QStringLiteral("text"), QStringLiteral("0"), QStringLiteral("16"), QStringLiteral("汉字")},
         QByteArray::fromHex("1D010010BABAD7D60D")},
        {{QStringLiteral("text"), QStringLiteral("--invert"), QStringLiteral("--large"), QStringLiteral("2"), QStringLiteral("0"),
          QStringLiteral("A汉")},
         QByteArray::fromHex("1DC1020041BABA0D")},
        {{QStringLiteral("send"), QStringLiteral("1D 06 02 0A"), QStringLiteral("04"), QStringLiteral("1400"), QStringLiteral("0D")},
         QByteArray::fromHex("1D06020A0414000D")},
    };
    for (const Case& c : cases) {
        l.module->clear();
        QStringList args = c.args;
        args << QStringLiteral("--port") << p;
        ASSERT_EQ(run(args), 0) << args.join(' ').toStdString() << err.toStdString();
        ASSERT_TRUE(l.module->waitForCount(c.expected.size(), 2000));
        spin(30);
        EXPECT_EQ(l.module->received().toHex(), c.expected.toHex()) << args.join(' ').toStdString();
    }
    // The same bytes as the window's console and the session's own buttons.
    EXPECT_EQ(consoleBytes(3, QString(), true), QByteArray::fromHex("1D830D"));
    EXPECT_EQ(consoleBytes(0, QStringLiteral("0010汉字")), QByteArray::fromHex("1D010010BABAD7D60D"));
    EXPECT_EQ(consoleBytes(2, QStringLiteral("000002")), module::showImageCommand(0, 0, 2));
    EXPECT_EQ(consoleBytes(7, QString()), module::simpleCommand(module::CmdBacklightOn));
}

// --- Connection test and port failures

TEST_F(Cli, ConnectionTestAnswersAndSilence) {
    Line& good = line();
    EXPECT_EQ(run({QStringLiteral("test"), QStringLiteral("--port"), good.path()}), 0) << err.toStdString();
    EXPECT_EQ(good.module->received(), module::simpleCommand(module::CmdConnectionTest));
    EXPECT_TRUE(out.contains(good.path()));

    ScriptedModule::Config mute;
    mute.answerTest = false;
    Line& quiet = line(mute);
    EXPECT_EQ(run({QStringLiteral("test"), QStringLiteral("--port"), quiet.path(), QStringLiteral("--timeout"), QStringLiteral("0.3")}), 5);
    EXPECT_TRUE(err.contains(quiet.path() + QStringLiteral(": no answer (0x0C)"))) << err.toStdString();
}

TEST_F(Cli, PortsThatCannotBeOpenedSayWhy) {
    EXPECT_EQ(run({QStringLiteral("test"), QStringLiteral("--port"), QStringLiteral("/dev/panelix-missing")}), 3);
    EXPECT_TRUE(err.contains(QStringLiteral("/dev/panelix-missing: cannot open the port: no such device")));

    writeFile(file("plain"), "x");
    EXPECT_EQ(run({QStringLiteral("clear"), QStringLiteral("--port"), file("plain")}), 3);
    EXPECT_TRUE(err.contains(QStringLiteral("not a serial port"))) << err.toStdString();

    Line& l = line();
    {
        CommPort other; // another program holds the line
        other.setDevicePath(1, l.path());
        ASSERT_TRUE(other.open());
        EXPECT_EQ(run({QStringLiteral("clear"), QStringLiteral("--port"), l.path()}), 3);
        EXPECT_TRUE(err.contains(QStringLiteral("busy"))) << err.toStdString();
    }
    setDeviceOpener([](const char*, int) {
        errno = EACCES;
        return -1;
    });
    EXPECT_EQ(run({QStringLiteral("clear"), QStringLiteral("--port"), l.path()}), 3);
    setDeviceOpener(nullptr);
    EXPECT_TRUE(err.contains(QStringLiteral("permission denied"))) << err.toStdString();
    EXPECT_EQ(l.module->receivedCount(), 0);
}

TEST(CliTexts, ARefusedPortGetsTheAdviceOfItsSystem) {
    using cli::System;
    const QString posixDenied = cli::openFailureText(OpenError::NoPermission, QString(), System::Posix);
    EXPECT_TRUE(posixDenied.contains(QStringLiteral("permission denied")) && posixDenied.contains(QStringLiteral("dialout")))
        << posixDenied.toStdString();
    EXPECT_EQ(cli::openFailureText(OpenError::InUse, QString(), System::Posix),
              QStringLiteral("cannot open the port: busy, in use by another program"));
    // Windows says "access denied" for a port that another program holds: both causes
    // point at that program and at the adapter's driver, never at a Unix group.
    for (OpenError e : {OpenError::NoPermission, OpenError::InUse}) {
        const QString text = cli::openFailureText(e, QString(), System::Windows);
        EXPECT_TRUE(text.startsWith(QStringLiteral("cannot open the port: ")) &&
                    text.contains(QStringLiteral("open in another program")) && text.contains(QStringLiteral("driver")) &&
                    !text.contains(QStringLiteral("dialout")) && !text.contains(QStringLiteral("group")))
            << text.toStdString();
    }
    EXPECT_EQ(cli::openFailureText(OpenError::NoDevice, QString(), System::Windows),
              cli::openFailureText(OpenError::NoDevice, QString(), System::Posix));
}

// --- Downloads

TEST_F(Cli, DownloadOfBmpsIsByteForByteTheWindows) {
    const QString a = bmp(QStringLiteral("a.bmp"), 40, 12, 1);
    const QString b = bmp(QStringLiteral("b.bmp"), 17, 5, 2);
    Line& l = line();
    const QString dir = file("cli-data");
    ASSERT_EQ(run({QStringLiteral("download"), QStringLiteral("--port"), l.path(), QStringLiteral("--data-dir"), dir, a, b}), 0)
        << err.toStdString();
    EXPECT_TRUE(out.contains(QStringLiteral("done")));
    spin(50);
    const QByteArray window = windowDownload({a, b}, file("window-data"));
    ASSERT_GT(window.size(), 1024 + 5);
    EXPECT_EQ(l.module->received(), window);
    // The list file and file.add are the window's too.
    EXPECT_EQ(readFile(QDir(dir).filePath("file.txt")), readFile(file("window-data/file.txt")));
    EXPECT_EQ(readFile(QDir(dir).filePath("file.add")), readFile(file("window-data/file.add")));
}

TEST_F(Cli, DownloadConvertsPicturesAndSendsListsAndImages) {
    Line& l = line();
    const QString dir = file("data");
    const QString picture = png(QStringLiteral("photo.png"), 64, 32);
    ASSERT_EQ(run({QStringLiteral("download"), QStringLiteral("--port"), l.path(), QStringLiteral("--data-dir"), dir,
                   QStringLiteral("--size"), QStringLiteral("16x8"), QStringLiteral("--dither"), QStringLiteral("bayer4"), picture}),
              0)
        << err.toStdString();
    // The converted picture is an ordinary 1-bit BMP in the data directory, and what was sent.
    BmpReader reader;
    ASSERT_TRUE(reader.readBmp(QDir(dir).filePath("photo.bmp"))) << describe(reader.error());
    ImportOptions options;
    options.target = QSize(16, 8);
    options.dither = DitherMethod::Bayer4;
    MonoBitmap expected;
    ASSERT_TRUE(importPicture(picture, options, &expected, nullptr));
    EXPECT_EQ(reader.bitmap(), expected);
    ASSERT_TRUE(waitUntil([&] { return l.module->dataBytes().size() == 1024 + 16; }, 3000));
    EXPECT_EQ(l.module->dataBytes().mid(1024), expected.bytes());

    // --list: the entries of a list file, sent as the window sends its list.
    const QString c = bmp(QStringLiteral("c.bmp"), 24, 3, 3);
    ListFile lf;
    ASSERT_TRUE(lf.saveList({c, QDir(dir).filePath("photo.bmp")}, file("my-list.txt"), nullptr));
    l.module->clear();
    ASSERT_EQ(run({QStringLiteral("download"), QStringLiteral("--port"), l.path(), QStringLiteral("--list"), file("my-list.txt")}), 0)
        << err.toStdString();
    spin(50);
    EXPECT_EQ(l.module->received(), windowDownload({c, QDir(dir).filePath("photo.bmp")}, file("w2")));

    // --image: a file.add as it is: its header, then its first E bytes.
    const QByteArray image = readFile(file("w2/file.add"));
    l.module->clear();
    ASSERT_EQ(run({QStringLiteral("download"), QStringLiteral("--port"), l.path(), QStringLiteral("--image"), file("w2/file.add")}), 0)
        << err.toStdString();
    spin(50);
    const quint32 end = module::positionOf({quint8(image[1]), quint8(image[2]), quint8(image[3])});
    EXPECT_EQ(l.module->received(), module::simpleCommand(module::CmdConnectionTest) +
                                        module::bitmapHeader(module::bankedAddress(end)) + image.left(int(end)));
}

TEST_F(Cli, ModuleErrorSilenceAndLostPortHaveTheirStatuses) {
    const QString a = bmp(QStringLiteral("a.bmp"), 320, 48, 1); // 1920 data bytes, about 1 s
    ScriptedModule::Config failing;
    failing.errorAfterDataBytes = 100;
    Line& bad = line(failing);
    EXPECT_EQ(run({QStringLiteral("download"), QStringLiteral("--port"), bad.path(), a}), 1);
    EXPECT_TRUE(err.contains(bad.path() + QStringLiteral(": the module answered 0x55"))) << err.toStdString();

    ScriptedModule::Config mute;
    mute.answerHeaders = false;
    Line& quiet = line(mute);
    EXPECT_EQ(run({QStringLiteral("download"), QStringLiteral("--port"), quiet.path(), QStringLiteral("--timeout"), QStringLiteral("0.4"), a}), 5);
    EXPECT_TRUE(err.contains(QStringLiteral("no answer (0xAA) to the download header within 0.4 s"))) << err.toStdString();
    // The connection test the module answered, the header, nothing after it.
    EXPECT_EQ(quiet.module->received(), module::simpleCommand(module::CmdConnectionTest) + module::bitmapHeader(module::bankedAddress(1024 + 1920)));

    Line& lost = line();
    QTimer::singleShot(400, [&] {
        lost.module->stop();
        lost.pty.closeMaster(); // the adapter is pulled
    });
    EXPECT_EQ(run({QStringLiteral("download"), QStringLiteral("--port"), lost.path(), a}), 4);
    EXPECT_TRUE(err.contains(lost.path() + QStringLiteral(": port lost during the transfer"))) << err.toStdString();
}

TEST_F(Cli, StalledTransferEndsAfterFiveSeconds) {
    const QString a = bmp(QStringLiteral("a.bmp"), 320, 240, 1);
    Line& l = line();
    // Output on the line is suspended mid-transfer (as flow control or a hung adapter would):
    // no byte moves. The port is held exclusively, which only root can pass by.
    int held = -1;
    QTimer::singleShot(400, [&] {
        held = ::open(QFile::encodeName(l.path()).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (held >= 0)
            ::tcflow(held, TCOOFF);
    });
    QElapsedTimer clock;
    clock.start();
    const int status = run({QStringLiteral("download"), QStringLiteral("--port"), l.path(), a});
    if (held < 0)
        GTEST_SKIP() << "the test cannot open the held port (not root): the line cannot be suspended";
    ::tcflow(held, TCOON);
    ::close(held);
    EXPECT_EQ(status, 5);
    EXPECT_TRUE(err.contains(QStringLiteral("transfer stalled: no progress for 5 s"))) << err.toStdString();
    EXPECT_LT(clock.elapsed(), 9000);
    EXPECT_LT(l.module->receivedCount(), 5 + 10624);
}

TEST_F(Cli, BadInputIsRefusedBeforeAnythingIsSent) {
    Line& l = line();
    writeFile(file("notes.png"), "not a picture");
    EXPECT_EQ(run({QStringLiteral("download"), QStringLiteral("--port"), l.path(), file("notes.png")}), 6);
    EXPECT_TRUE(err.contains(QStringLiteral("not a picture file: ") + file("notes.png"))) << err.toStdString();
    EXPECT_EQ(run({QStringLiteral("download"), QStringLiteral("--port"), l.path(), file("nothing.png")}), 6);
    EXPECT_TRUE(err.contains(QStringLiteral("picture not found: ") + file("nothing.png")));

    // A list entry that is no 1-bit BMP: the window's reason, in English.
    BmpLayout wide;
    wide.width = 700;
    writeFile(file("wide.bmp"), makeBmp(wide));
    ListFile lf;
    ASSERT_TRUE(lf.saveList({file("wide.bmp")}, file("list.txt"), nullptr));
    EXPECT_EQ(run({QStringLiteral("download"), QStringLiteral("--port"), l.path(), QStringLiteral("--list"), file("list.txt")}), 6);
    EXPECT_TRUE(err.contains(QStringLiteral("bitmap size outside 1..640 x 1..481: ") + file("wide.bmp"))) << err.toStdString();

    // An image whose end lies above 0x40001.
    QByteArray image(module::BitmapImageSize, '\0');
    image[0] = 1;
    image[1] = 0x02;
    image[2] = 0x00;
    image[3] = 0x08; // E = 0x40002
    writeFile(file("big.add"), image);
    EXPECT_EQ(run({QStringLiteral("download"), QStringLiteral("--port"), l.path(), QStringLiteral("--image"), file("big.add")}), 6);
    EXPECT_TRUE(err.contains(QStringLiteral("exceed 256 KB"))) << err.toStdString();

    EXPECT_EQ(run({QStringLiteral("font"), QStringLiteral("--port"), l.path(), file("no-font")}), 6);
    EXPECT_TRUE(err.contains(QStringLiteral("font file not found or unreadable: ") + file("no-font")));
    EXPECT_EQ(run({QStringLiteral("font"), QStringLiteral("--port"), l.path(), QStringLiteral("--data-dir"), file("empty")}), 6);
    spin(50);
    EXPECT_EQ(l.module->receivedCount(), 0);
}

TEST_F(Cli, FontGoesOutWithItsHeaderAndCtrlCStopsIt) {
    QByteArray font(1000, '\0');
    for (int i = 0; i < font.size(); ++i)
        font[i] = char(i * 7);
    writeFile(file("myfont"), font);
    Line& l = line();
    QTimer::singleShot(700, [] { cli::requestInterrupt(); });
    EXPECT_EQ(run({QStringLiteral("font"), QStringLiteral("--port"), l.path(), file("myfont")}), 130);
    EXPECT_TRUE(err.contains(QStringLiteral("incomplete on ") + l.path())) << err.toStdString();
    spin(50);
    const QByteArray test = module::simpleCommand(module::CmdConnectionTest);
    const QByteArray got = l.module->received();
    ASSERT_GT(got.size(), 3 + 5 + 200);
    EXPECT_LT(got.size(), 3 + 5 + 10000);
    EXPECT_EQ(got.left(8), test + module::fontHeader());
    const QByteArray padded = font + QByteArray(20000, '\0'); // the session pads a short font with zeros
    EXPECT_EQ(got.mid(8), padded.left(got.size() - 8));
}

// --- Many modules at once

TEST_F(Cli, FourPortsAtOnceEachGetTheWholeDownload) {
    const QString a = bmp(QStringLiteral("a.bmp"), 160, 40, 5); // 800 data bytes
    QStringList args{QStringLiteral("download"), a};
    for (int i = 0; i < 4; ++i)
        args << QStringLiteral("--port") << line().path();
    // The sessions are the caller's (main's): one for each port, each carrying its download.
    int made = 0;
    int finished = 0;
    makeSession = [&] {
        ++made;
        auto session = std::make_unique<ModuleSession>();
        QObject::connect(session.get(), &ModuleSession::finished, [&](TransferKind, qint32 total) {
            if (total == 1024 + 800)
                ++finished;
        });
        return session;
    };
    ASSERT_EQ(run(args), 0) << err.toStdString();
    makeSession = nullptr;
    EXPECT_EQ(made, 4);
    EXPECT_EQ(finished, 4);
    spin(50);
    const QByteArray first = lines[0]->module->received();
    EXPECT_EQ(first.size(), 3 + 5 + 1024 + 800);
    for (const auto& l : lines) {
        EXPECT_EQ(l->module->received(), first);
        EXPECT_TRUE(out.contains(l->path()));
    }
    // Side by side, not one after the other: every module took its first byte before any
    // other took its last.
    for (const auto& x : lines)
        for (const auto& y : lines)
            EXPECT_LT(x->module->firstByteNs(), y->module->lastByteNs());
    EXPECT_TRUE(out.startsWith(QStringLiteral("port")));
    EXPECT_EQ(out.count(QStringLiteral("done")), 4);

    // One bad port: the others still finish, and the status is the worst one.
    args = {QStringLiteral("download"), a, QStringLiteral("--port"), lines[0]->path(), QStringLiteral("--port"),
            QStringLiteral("/dev/panelix-missing"), QStringLiteral("--port"), lines[1]->path()};
    lines[0]->module->clear();
    EXPECT_EQ(run(args), 3);
    EXPECT_EQ(out.count(QStringLiteral("done")), 2);
    EXPECT_TRUE(out.contains(QStringLiteral("failed (3)")));
    spin(50);
    EXPECT_EQ(lines[0]->module->received(), first);
}

TEST_F(Cli, InterruptStopsEveryPortAndNamesTheIncompleteOnes) {
    const QString a = bmp(QStringLiteral("a.bmp"), 320, 240, 5); // about 5 s
    QStringList args{QStringLiteral("download"), a};
    for (int i = 0; i < 2; ++i)
        args << QStringLiteral("--port") << line().path();
    QTimer::singleShot(600, [] { cli::requestInterrupt(); });
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(run(args), 130);
    EXPECT_LT(clock.elapsed(), 4000); // the whole download would take about 5.5 s
    EXPECT_TRUE(err.contains(QStringLiteral("incomplete on %1, %2").arg(lines[0]->path(), lines[1]->path()))) << err.toStdString();
    EXPECT_EQ(out.count(QStringLiteral("failed (130)")), 2);
}

// --- Progress reporting

TEST_F(Cli, JsonLinesAndTerminalBar) {
    const QString a = bmp(QStringLiteral("a.bmp"), 320, 24, 5);
    Line& l = line();
    ASSERT_EQ(run({QStringLiteral("download"), QStringLiteral("--json"), QStringLiteral("--port"), l.path(), a}), 0);
    const QStringList jsonLines = out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_GE(jsonLines.size(), 3);
    QStringList events;
    int lastPercent = -1;
    for (const QString& text : jsonLines) {
        QJsonParseError e;
        const QJsonObject o = QJsonDocument::fromJson(text.toUtf8(), &e).object();
        ASSERT_EQ(e.error, QJsonParseError::NoError) << text.toStdString();
        EXPECT_EQ(o.value("port").toString(), l.path());
        events << o.value("event").toString();
        if (events.last() == QStringLiteral("progress")) {
            EXPECT_GT(o.value("percent").toInt(), lastPercent);
            lastPercent = o.value("percent").toInt();
        }
        if (events.last() == QStringLiteral("start")) {
            EXPECT_EQ(o.value("total").toInteger(), 1024 + 960);
        }
    }
    EXPECT_EQ(events.first(), QStringLiteral("start"));
    EXPECT_EQ(events.last(), QStringLiteral("done"));
    EXPECT_GE(events.count(QStringLiteral("progress")), 5);

    ASSERT_EQ(run({QStringLiteral("download"), QStringLiteral("--port"), l.path(), a}, true), 0);
    EXPECT_TRUE(err.contains(QStringLiteral("\r\x1b[K[#"))) << err.toStdString();
    EXPECT_TRUE(err.contains(QStringLiteral("100%")));
    EXPECT_TRUE(err.contains(QStringLiteral(" left")));

    ScriptedModule::Config mute;
    mute.answerTest = false;
    Line& quiet = line(mute);
    EXPECT_EQ(run({QStringLiteral("test"), QStringLiteral("--json"), QStringLiteral("--timeout"), QStringLiteral("0.2"),
                   QStringLiteral("--port"), quiet.path()}),
              5);
    const QJsonObject error = QJsonDocument::fromJson(out.split(QLatin1Char('\n'), Qt::SkipEmptyParts).last().toUtf8()).object();
    EXPECT_EQ(error.value("event").toString(), QStringLiteral("error"));
    EXPECT_EQ(error.value("status").toInt(), 5);
}

// --- Without a port

TEST_F(Cli, PackBuildsTheWindowsImageAndPrintsTheDirectory) {
    const QString a = bmp(QStringLiteral("a.bmp"), 40, 12, 1);
    const QString b = bmp(QStringLiteral("b.bmp"), 17, 5, 2);
    ASSERT_EQ(run({QStringLiteral("pack"), a, b, QStringLiteral("-o"), file("out.add")}), 0) << err.toStdString();
    DownloadImageBuilder builder;
    ASSERT_TRUE(builder.buildDownloadImage({a, b}, file("ref.add")));
    EXPECT_EQ(readFile(file("out.add")), readFile(file("ref.add")));
    // entry 0: 5 columns x 12 rows at 0x400; entry 1: 3 x 5 at 0x400 + 60 = 0x43C; end 0x44B.
    EXPECT_TRUE(out.contains(QStringLiteral("    0        5    12  0x00400"))) << out.toStdString();
    EXPECT_TRUE(out.contains(QStringLiteral("    1        3     5  0x0043c")));
    EXPECT_TRUE(out.contains(QStringLiteral("end 0x0044b (1099 bytes)")));

    // 128 pictures: refused as the window refuses them, and nothing written.
    QStringList many;
    for (int i = 0; i < 128; ++i)
        many << a;
    many.prepend(QStringLiteral("pack"));
    many << QStringLiteral("-o") << file("many.add");
    EXPECT_EQ(run(many), 6);
    EXPECT_TRUE(err.contains(QStringLiteral("more than 127 pictures")));
    EXPECT_FALSE(QFile::exists(file("many.add")));
}

TEST_F(Cli, ConvertWritesBmpsAndGoesOnPastABadPicture) {
    const QString p = png(QStringLiteral("photo.png"), 100, 50);
    writeFile(file("broken.png"), "nope");
    ASSERT_EQ(run({QStringLiteral("convert"), p, file("broken.png"), p, QStringLiteral("-o"), file("out"),
                   QStringLiteral("--dither"), QStringLiteral("atkinson"), QStringLiteral("--size"), QStringLiteral("64x32")}),
              6);
    EXPECT_TRUE(err.contains(QStringLiteral("not a picture file: ") + file("broken.png")));
    // Never overwritten: the second conversion of the same name gets its own file.
    for (const char* name : {"out/photo.bmp", "out/photo-2.bmp"}) {
        BmpReader reader;
        ASSERT_TRUE(reader.readBmp(file(QLatin1String(name)))) << name;
        EXPECT_EQ(reader.width(), 64);
        EXPECT_EQ(reader.height(), 32);
    }
    ASSERT_EQ(run({QStringLiteral("convert"), p, QStringLiteral("-o"), file("single.bmp"), QStringLiteral("--threshold"), QStringLiteral("100")}), 0);
    ImportOptions options;
    options.threshold = 100;
    MonoBitmap expected;
    ASSERT_TRUE(importPicture(p, options, &expected, nullptr));
    BmpReader reader;
    ASSERT_TRUE(reader.readBmp(file("single.bmp")));
    EXPECT_EQ(reader.bitmap(), expected);
}

TEST_F(Cli, InspectRendersWhatTheModuleWouldShow) {
    const QString a = bmp(QStringLiteral("a.bmp"), 20, 6, 3);
    const QString b = bmp(QStringLiteral("b.bmp"), 8, 4, 4);
    ASSERT_EQ(run({QStringLiteral("pack"), a, b, QStringLiteral("-o"), file("x.add")}), 0);
    ASSERT_EQ(run({QStringLiteral("inspect"), file("x.add"), QStringLiteral("-o"), file("x.png")}), 0) << err.toStdString();
    EXPECT_TRUE(out.contains(QStringLiteral("2 pictures, end 0x00416")));
    const QImage sheet(file("x.png"));
    ASSERT_EQ(sheet.size(), QSize(24, 6 + 4 + 4)); // all 3 byte columns of the first, a 4-row gap
    BmpReader reader;
    ASSERT_TRUE(reader.readBmp(a));
    const MonoBitmap first = reader.bitmap();
    ASSERT_TRUE(reader.readBmp(b));
    const MonoBitmap second = reader.bitmap();
    int mismatches = 0;
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 24; ++x) // unused bits included: the module draws them
            mismatches += (qGray(sheet.pixel(x, y)) < 128) != (((first.row(y)[x / 8] >> (7 - x % 8)) & 1) == 0);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 8; ++x)
            mismatches += (qGray(sheet.pixel(x, 10 + y)) < 128) != second.pixel(x, y);
    EXPECT_EQ(mismatches, 0);
    EXPECT_EQ(qGray(sheet.pixel(0, 7)), 128); // the gap

    ASSERT_EQ(run({QStringLiteral("inspect"), a, QStringLiteral("-o"), file("a.png")}), 0);
    EXPECT_TRUE(out.contains(QStringLiteral("20 x 6 dots")));
    EXPECT_EQ(QImage(file("a.png")).size(), QSize(24, 6));

    writeFile(file("short.add"), QByteArray(100, '\1'));
    EXPECT_EQ(run({QStringLiteral("inspect"), file("short.add")}), 6);
    EXPECT_TRUE(err.contains(QStringLiteral("shorter than its 1024-byte directory): ") + file("short.add")));
}

// --- The program itself: Ctrl+C from outside

TEST_F(Cli, CtrlCEndsTheProgramCleanly) {
    const QString a = bmp(QStringLiteral("a.bmp"), 320, 240, 5);
    Line& l = line();
    QProcess process;
    process.start(QStringLiteral(PANELIX_CLI_PATH), {QStringLiteral("download"), QStringLiteral("--port"), l.path(), a});
    ASSERT_TRUE(process.waitForStarted());
    ASSERT_TRUE(l.module->waitForData(200, 5000));
    ::kill(pid_t(process.processId()), SIGINT);
    ASSERT_TRUE(process.waitForFinished(5000));
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), 130);
    const QString stderrText = QString::fromLocal8Bit(process.readAllStandardError());
    EXPECT_TRUE(stderrText.contains(QStringLiteral("incomplete on ") + l.path())) << stderrText.toStdString();
    // The port is free again at once.
    CommPort after;
    after.setDevicePath(1, l.path());
    EXPECT_TRUE(after.open());
}

// --- The program itself: no runtime directory left behind

TEST_F(Cli, AConversionLeavesNoRuntimeDirectoryBehind) {
    // Without XDG_RUNTIME_DIR, starting Qt Gui (picture decoding needs it) would make
    // $TMPDIR/runtime-$USER, although no window ever opens.
    const QString p = png(QStringLiteral("photo.png"), 40, 20);
    const QString temp = file(QStringLiteral("temp"));
    ASSERT_TRUE(QDir().mkpath(temp));
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("XDG_RUNTIME_DIR"));
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    env.insert(QStringLiteral("TMPDIR"), temp);
    process.setProcessEnvironment(env);
    process.start(QStringLiteral(PANELIX_CLI_PATH),
                  {QStringLiteral("convert"), p, QStringLiteral("-o"), file(QStringLiteral("photo.bmp"))});
    ASSERT_TRUE(process.waitForFinished(20000));
    EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
    EXPECT_TRUE(QFileInfo::exists(file(QStringLiteral("photo.bmp"))));
    EXPECT_EQ(QDir(temp).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot),
              QStringList());
}

// --- Hostile paths and signals

namespace {

struct ChildRun {
    int status = -1; // -1: did not end within the time and was killed
    QString out;
    QString err;
};

// panelix-cli as a child process; a command that hangs is killed and reported as status -1.
ChildRun runChild(const QStringList& args, const QString& workDir = QString(), const QString& tmpDir = QString(),
                  int timeoutMs = 8000) {
    QProcess process;
    if (!workDir.isEmpty())
        process.setWorkingDirectory(workDir);
    if (!tmpDir.isEmpty()) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("TMPDIR"), tmpDir);
        process.setProcessEnvironment(env);
    }
    process.start(QStringLiteral(PANELIX_CLI_PATH), args);
    ChildRun r;
    if (!process.waitForStarted())
        return r;
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished(2000);
        return r;
    }
    r.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2;
    r.out = QString::fromUtf8(process.readAllStandardOutput());
    r.err = QString::fromUtf8(process.readAllStandardError());
    return r;
}

// panelix-cli through the shell, so arguments can be bytes that are not UTF-8 ($'...' is not sh:
// printf makes them). script uses "$0" for the program.
ChildRun runShell(const QString& script, const QString& workDir) {
    QProcess process;
    process.setWorkingDirectory(workDir);
    process.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), script, QStringLiteral(PANELIX_CLI_PATH)});
    ChildRun r;
    if (!process.waitForStarted() || !process.waitForFinished(15000)) {
        process.kill();
        process.waitForFinished(2000);
        return r;
    }
    r.status = process.exitCode();
    r.out = QString::fromUtf8(process.readAllStandardOutput());
    r.err = QString::fromUtf8(process.readAllStandardError());
    return r;
}

QStringList leftoverDirs(const QString& tmpDir) {
    return QDir(tmpDir).entryList({QStringLiteral("panelix-cli-*")}, QDir::Dirs | QDir::NoDotAndDotDot);
}

} // namespace

TEST_F(Cli, EveryOutputPathThatIsNoRegularFileIsRefusedWithoutBlocking) {
    const QString a = bmp(QStringLiteral("title.bmp"), 40, 12, 1);
    const QString fifo = file("f.png");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString fifoText = QStringLiteral("cannot write %1: it is not a regular file (a FIFO)").arg(fifo);
    const QList<QStringList> commands{
        {QStringLiteral("inspect"), a, QStringLiteral("-o"), fifo},
        {QStringLiteral("convert"), a, QStringLiteral("-o"), fifo + QStringLiteral(".bmp")},
        {QStringLiteral("pack"), a, QStringLiteral("-o"), fifo + QStringLiteral(".add")},
        {QStringLiteral("export"), a, QStringLiteral("-o"), fifo + QStringLiteral(".c")},
        {QStringLiteral("font"), QStringLiteral("build"), QStringLiteral("--from"), a, QStringLiteral("--size"), QStringLiteral("16"), QStringLiteral("-o"), fifo + QStringLiteral(".hzk")},
    };
    for (const char* suffix : {".bmp", ".add", ".c", ".hzk"})
        ASSERT_EQ(::mkfifo(QFile::encodeName(fifo + QLatin1String(suffix)).constData(), 0600), 0);
    for (const QStringList& command : commands) {
        const ChildRun r = runChild(command);
        EXPECT_EQ(r.status, 6) << command.join(QLatin1Char(' ')).toStdString() << ": " << r.err.toStdString();
        const QString expected = QString(fifoText).replace(fifo, command.last());
        EXPECT_TRUE(r.err.contains(expected)) << r.err.toStdString();
    }
    // A directory as the sheet: named as one.
    ASSERT_TRUE(QDir().mkpath(file("sheet.png")));
    EXPECT_EQ(run({QStringLiteral("inspect"), a, QStringLiteral("-o"), file("sheet.png")}), 6);
    EXPECT_TRUE(err.contains(QStringLiteral("cannot write %1: it is a directory").arg(file("sheet.png")))) << err.toStdString();
}

TEST_F(Cli, InputPathsThatAreNoRegularFileSayWhatTheyAre) {
    ASSERT_TRUE(QDir().mkpath(file("folder.png")));
    const QString fifo = file("pipe.png");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    EXPECT_EQ(run({QStringLiteral("convert"), file("folder.png"), QStringLiteral("-o"), file("out")}), 6);
    EXPECT_TRUE(err.contains(QStringLiteral("picture %1 is a directory").arg(file("folder.png")))) << err.toStdString();
    EXPECT_EQ(run({QStringLiteral("convert"), fifo, QStringLiteral("-o"), file("out")}), 6);
    EXPECT_TRUE(err.contains(QStringLiteral("picture %1 is not a regular file (a FIFO)").arg(fifo))) << err.toStdString();
    EXPECT_EQ(run({QStringLiteral("pack"), QStringLiteral("/dev/null"), QStringLiteral("-o"), file("x.add")}), 6);
    EXPECT_TRUE(err.contains(QStringLiteral("picture /dev/null is a device"))) << err.toStdString();
    EXPECT_EQ(run({QStringLiteral("inspect"), fifo}), 6);
    EXPECT_TRUE(err.contains(QStringLiteral("file %1 is not a regular file (a FIFO)").arg(fifo))) << err.toStdString();
    EXPECT_EQ(run({QStringLiteral("convert"), file("missing.png"), QStringLiteral("-o"), file("out")}), 6);
    EXPECT_TRUE(err.contains(QStringLiteral("picture not found: %1").arg(file("missing.png")))) << err.toStdString();
    EXPECT_FALSE(QFile::exists(file("x.add")));
}

TEST_F(Cli, NamesThatAreNotUtf8AreOpenedByTheirBytesAndShownFromGbk) {
    // "你好.png" and "你好.bmp" as a Windows disk names them: GBK bytes.
    const QByteArray pngName = QByteArray("\xc4\xe3\xba\xc3") + ".png";
    const QByteArray bmpName = QByteArray("\xc4\xe3\xba\xc3") + ".bmp";
    const QString shell = QStringLiteral("\"$(printf '\\304\\343\\272\\303.%1')\"");
    const QString p = png(QStringLiteral("plain.png"), 60, 30);
    const QString b = bmp(QStringLiteral("plain.bmp"), 40, 12, 2);
    ASSERT_EQ(::rename(QFile::encodeName(p).constData(), (QFile::encodeName(tmp.path()) + '/' + pngName).constData()), 0);
    ASSERT_EQ(::rename(QFile::encodeName(b).constData(), (QFile::encodeName(tmp.path()) + '/' + bmpName).constData()), 0);
    // QDir cannot remove names it cannot decode: they go by their bytes.
    struct Unlink {
        QList<QByteArray> paths;
        ~Unlink() {
            for (const QByteArray& p : paths)
                ::unlink(p.constData());
        }
    } unlinkAtEnd{{QFile::encodeName(tmp.path()) + '/' + pngName, QFile::encodeName(tmp.path()) + '/' + bmpName}};

    ChildRun r = runShell(QStringLiteral("exec \"$0\" convert %1 -o out").arg(shell.arg(QStringLiteral("png"))), tmp.path());
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.startsWith(QStringLiteral("你好.png -> "))) << r.out.toStdString();
    const QStringList made = QDir(file("out")).entryList(QDir::Files);
    ASSERT_EQ(made.size(), 1);
    EXPECT_EQ(made.first(), QStringLiteral("你好.bmp"));
    BmpReader reader;
    ASSERT_TRUE(reader.readBmp(file("out/") + made.first()));
    EXPECT_EQ(reader.width(), 320); // the default size
    EXPECT_EQ(reader.height(), 240);

    // pack: the converted picture and the 1-bit BMP, both named by GBK bytes.
    r = runShell(QStringLiteral("exec \"$0\" pack %1 %2 -o x.add").arg(shell.arg(QStringLiteral("png")), shell.arg(QStringLiteral("bmp"))),
                 tmp.path());
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    const QByteArray image = readFile(file("x.add"));
    const module::Directory dir = module::decodeDirectory(image);
    ASSERT_EQ(dir.images.size(), 2u);
    EXPECT_EQ(dir.images[1].widthBytes, 5);
    EXPECT_EQ(dir.images[1].height, 12);

    // A missing one is named in Chinese, not as replacement characters.
    r = runShell(QStringLiteral("exec \"$0\" convert \"$(printf '\\304\\343.png')\" -o out"), tmp.path());
    EXPECT_EQ(r.status, 6);
    EXPECT_TRUE(r.err.contains(QStringLiteral("picture not found: 你.png"))) << r.err.toStdString();
}

TEST_F(Cli, SecondCtrlCSoonAfterTheFirstStillRemovesTheTemporaryDirectory) {
    const QString a = bmp(QStringLiteral("a.bmp"), 320, 240, 5);
    const QString tmpDir = file("tmp");
    ASSERT_TRUE(QDir().mkpath(tmpDir));
    for (int delayMs : {1, 5, 10}) {
        Line& l = line();
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("TMPDIR"), tmpDir);
        process.setProcessEnvironment(env);
        process.start(QStringLiteral(PANELIX_CLI_PATH), {QStringLiteral("download"), QStringLiteral("--port"), l.path(), png(QStringLiteral("p.png"), 50, 40), a});
        ASSERT_TRUE(process.waitForStarted());
        ASSERT_TRUE(l.module->waitForData(200, 5000));
        ASSERT_EQ(leftoverDirs(tmpDir).size(), 1); // the list, the image and the converted picture
        ::kill(pid_t(process.processId()), SIGINT);
        ::usleep(useconds_t(delayMs * 1000));
        ::kill(pid_t(process.processId()), SIGINT);
        ASSERT_TRUE(process.waitForFinished(5000));
        EXPECT_EQ(process.exitCode(), 130);
        EXPECT_TRUE(leftoverDirs(tmpDir).isEmpty()) << delayMs << " ms: " << leftoverDirs(tmpDir).join(QLatin1Char(' ')).toStdString();
        for (const QString& d : leftoverDirs(tmpDir))
            QDir(tmpDir + QLatin1Char('/') + d).removeRecursively();
    }
}

TEST_F(Cli, DirectoryOfAKilledRunIsRemovedByTheNext) {
    const QString tmpDir = file("tmp");
    QDir dir(tmpDir);
    ASSERT_TRUE(dir.mkpath(QStringLiteral("panelix-cli-Killed")));
    ASSERT_TRUE(dir.mkpath(QStringLiteral("panelix-cli-Living")));
    ASSERT_TRUE(dir.mkpath(QStringLiteral("panelix-cli-NoOwnr")));
    // A pid that is surely gone: a child that has ended and been reaped.
    const pid_t gone = ::fork();
    if (gone == 0)
        ::_exit(0);
    ASSERT_GT(gone, 0);
    ::waitpid(gone, nullptr, 0);
    writeFile(dir.filePath(QStringLiteral("panelix-cli-Killed/owner")), QByteArray::number(gone) + '\n');
    writeFile(dir.filePath(QStringLiteral("panelix-cli-Killed/file.add")), QByteArray(512 * 1024, '\0'));
    writeFile(dir.filePath(QStringLiteral("panelix-cli-Living/owner")), QByteArray::number(::getpid()) + '\n');
    writeFile(dir.filePath(QStringLiteral("panelix-cli-NoOwnr/file.txt")), "x");

    const ChildRun r = runChild({QStringLiteral("convert")}, QString(), tmpDir);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(leftoverDirs(tmpDir), QStringList({QStringLiteral("panelix-cli-Living"), QStringLiteral("panelix-cli-NoOwnr")}));
}

// --- One byte count everywhere

namespace {

// The count of the error line for port ("N of T bytes sent", "after N of T bytes"): N.
qint64 countIn(const QString& text, const QString& port) {
    for (const QString& line : text.split(QLatin1Char('\n'))) {
        if (!line.startsWith(QStringLiteral("panelix-cli: ") + port + QLatin1Char(':')))
            continue;
        const qsizetype of = line.indexOf(QStringLiteral(" of "));
        if (of < 0)
            continue;
        const qsizetype start = line.lastIndexOf(QLatin1Char(' '), of - 1) + 1;
        return line.mid(start, of - start).toLongLong();
    }
    return -1;
}

// The bytes column of the table, for port.
qint64 tableCount(const QString& table, const QString& port) {
    for (const QString& line : table.split(QLatin1Char('\n'))) {
        if (line.startsWith(port + QLatin1Char(' ')))
            return line.split(QLatin1Char(' '), Qt::SkipEmptyParts).last().toLongLong();
    }
    return -1;
}

} // namespace

TEST_F(Cli, InterruptedCountIsTheBytesTheModuleGot) {
    const QString a = bmp(QStringLiteral("a.bmp"), 320, 240, 5); // about 5 s
    for (int round = 0; round < 3; ++round) {
        lines.clear();
        QStringList args{QStringLiteral("download"), a};
        for (int i = 0; i < 2; ++i)
            args << QStringLiteral("--port") << line().path();
        QTimer::singleShot(300 + 97 * round, [] { cli::requestInterrupt(); });
        ASSERT_EQ(run(args), 130);
        spin(100);
        for (const auto& l : lines) {
            const qint64 got = l->module->dataBytes().size();
            ASSERT_GT(got, 0);
            EXPECT_EQ(countIn(err, l->path()), got) << err.toStdString();
            EXPECT_EQ(tableCount(out, l->path()), got) << out.toStdString();
        }
    }
    // --json: the error event's bytes.
    lines.clear();
    Line& l = line();
    QTimer::singleShot(500, [] { cli::requestInterrupt(); });
    ASSERT_EQ(run({QStringLiteral("download"), a, QStringLiteral("--port"), l.path(), QStringLiteral("--json")}), 130);
    spin(100);
    qint64 jsonBytes = -1;
    for (const QString& line : out.split(QLatin1Char('\n'))) {
        const QJsonObject o = QJsonDocument::fromJson(line.toUtf8()).object();
        if (o.value(QStringLiteral("event")).toString() == QStringLiteral("error"))
            jsonBytes = o.value(QStringLiteral("bytes")).toInteger();
    }
    EXPECT_EQ(jsonBytes, l.module->dataBytes().size()) << out.toStdString();
}

TEST_F(Cli, LostPortCountIsTheSameOnStderrAndInTheTable) {
    const QString a = bmp(QStringLiteral("a.bmp"), 320, 48, 5); // 1920 data bytes, about 1.5 s
    Line& lost = line();
    Line& fine = line();
    QTimer::singleShot(400, [&] {
        lost.module->stop();
        lost.pty.closeMaster(); // the adapter is pulled
    });
    const int status = run({QStringLiteral("download"), a, QStringLiteral("--port"), lost.path(), QStringLiteral("--port"), fine.path()});
    EXPECT_EQ(status, 4) << err.toStdString();
    const qint64 lostCount = countIn(err, lost.path());
    ASSERT_GT(lostCount, 0) << err.toStdString();
    EXPECT_EQ(lostCount, tableCount(out, lost.path())) << err.toStdString() << out.toStdString();
    // The module stopped reading before the line went: the line took at least what it read.
    EXPECT_GE(lostCount, lost.module->dataBytes().size());
    EXPECT_EQ(tableCount(out, fine.path()), 1024 + 1920);
}
