// A font built from a bitmap CJK face goes to the simulated module with the font download,
// and the module's text command then draws the built glyphs dot for dot.
#include "fontbuild/FontBuild.h"

#include "common/Gbk.h"
#include "common/LinePeer.h"
#include "protocol/Module.h"
#include "session/ModuleSession.h"
#include "simulator/core/ModuleLink.h"
#include "support/EventLoop.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <QProcess>
#include <QTemporaryDir>

using namespace panelix;
using namespace panelix::test;

namespace {

// The PCF files of Debian's xfonts-wqy, as dpkg lists them; empty when the package is absent.
QStringList wqyBitmapFonts() {
    QProcess dpkg;
    dpkg.start(QStringLiteral("dpkg"), {QStringLiteral("-L"), QStringLiteral("xfonts-wqy")});
    if (!dpkg.waitForFinished(10000) || dpkg.exitStatus() != QProcess::NormalExit || dpkg.exitCode() != 0)
        return {};
    QStringList fonts;
    for (const QString& line : QString::fromLocal8Bit(dpkg.readAllStandardOutput()).split(QLatin1Char('\n'))) {
        if (line.endsWith(QStringLiteral(".pcf")) || line.endsWith(QStringLiteral(".pcf.gz")))
            fonts << line.trimmed();
    }
    return fonts;
}

bool frameDot(const Frame& frame, int x, int y) {
    return frame[std::size_t(y * ScreenByteColumns + x / 8)] & (0x80 >> (x % 8));
}

} // namespace

TEST(FontOnModule, AFontBuiltFromWenQuanYiDrawsItsGlyphsOnTheModule) {
    const QStringList fonts = wqyBitmapFonts();
    if (fonts.isEmpty())
        GTEST_SKIP() << "Debian's xfonts-wqy is not installed (dpkg -L xfonts-wqy lists no PCF font)";
    // The face with a 16-dot strike (WenQuanYi's 12 pt at 96 dpi).
    FontBuildOptions options;
    options.pixelSize = 16;
    HzkFont font;
    QString used;
    for (const QString& path : fonts) {
        font = buildHzk(path, options);
        if (font.error == FontBuildError::None) {
            used = path;
            break;
        }
    }
    ASSERT_FALSE(used.isEmpty()) << "no 16-dot face among " << fonts.join(QLatin1Char(' ')).toStdString();
    ASSERT_EQ(font.file.size(), 282752);
    EXPECT_GT(font.covered, 7000);

    QTemporaryDir tmp;
    const QString hzk = tmp.filePath(QStringLiteral("hzk16"));
    ASSERT_TRUE(writeFile(hzk, font.file));

    // The in-process line without line time: 256 KB in a moment instead of 2 minutes.
    const QString device = QStringLiteral("inproc:font-module");
    ModuleLink module;
    module.setTiming(ModuleLink::Timing::Fast);
    registerLinePeer(device, &module);
    struct Unregister {
        ModuleLink* m;
        ~Unregister() { unregisterLinePeer(m); }
    } unregister{&module};
    ModuleSession session;
    session.setDevicePath(1, device);
    ASSERT_FALSE(session.openPort(1));
    QList<TransferKind> finished;
    QList<Failure> failures;
    QObject::connect(&session, &ModuleSession::finished, [&](TransferKind k) { finished << k; });
    QObject::connect(&session, &ModuleSession::failed, [&](const Failure& f) { failures << f; });
    ASSERT_FALSE(session.downloadFontFile(hzk));
    ASSERT_TRUE(waitFor([&] { return !finished.isEmpty() || !failures.isEmpty(); }, 60000));
    ASSERT_TRUE(failures.isEmpty());
    ASSERT_EQ(finished, QList<TransferKind>{TransferKind::Font});
    ASSERT_TRUE(waitFor([&] { return module.counters().fontDownloads == 1; }, 5000));
    EXPECT_EQ(module.fontMemory(), font.file.left(module::FontMemorySize));

    // Three ideographs and a Latin letter (drawn with its full-width form) at byte column 3, row 50.
    const QString text = QStringLiteral("汉字国A");
    const QList<char32_t> drawn{U'汉', U'字', U'国', U'Ａ'};
    const int column = 3;
    const int row = 50;
    const qint64 commands = module.counters().commands;
    ASSERT_FALSE(session.showText(column, row, text));
    ASSERT_TRUE(waitFor([&] { return module.counters().commands == commands + 1; }, 5000));
    const Frame frame = module.frame();

    GlyphRenderer renderer;
    ASSERT_EQ(renderer.open(used, options), FontBuildError::None);
    for (int i = 0; i < int(drawn.size()); ++i) {
        const QByteArray gbk = toGbk(QString::fromUcs4(&drawn[i], 1));
        ASSERT_EQ(gbk.size(), 2);
        const int offset = module::fontCellOffset(quint8(gbk[0]), quint8(gbk[1]));
        ASSERT_GE(offset, 0);
        const QByteArray cell = font.file.mid(offset, module::FontGlyphSize);
        const MonoBitmap glyph = renderer.render(drawn[i]);
        int inked = 0;
        for (int y = 0; y < 16; ++y) {
            for (int x = 0; x < 16; ++x) {
                const bool inFile = quint8(cell[2 * y + x / 8]) & (0x80 >> (x % 8));
                const bool onScreen = frameDot(frame, (column + 2 * i) * 8 + x, row + y);
                ASSERT_EQ(onScreen, inFile) << "character " << i << " dot " << x << "," << y;
                ASSERT_EQ(onScreen, glyph.pixel(x, y)) << "character " << i << " dot " << x << "," << y;
                inked += onScreen ? 1 : 0;
            }
        }
        EXPECT_GT(inked, 10) << "character " << i << " is drawn blank";
    }
    // Nothing beside the text: the cells before and after stay light.
    for (int y = row; y < row + 16; ++y) {
        EXPECT_FALSE(frameDot(frame, column * 8 - 1, y));
        EXPECT_FALSE(frameDot(frame, (column + 8) * 8, y));
    }
}
