// The application and the simulated module together, as `panelix --simulator`
// runs them: the real main window on a real pty, judged on what the module
// holds afterwards, dot for dot and byte for byte.
#include "shell/StatusTexts.h"
#include "protocol/Module.h"
#include "shell/DirListBox.h"
#include "shell/MainWindow.h"
#include "simulator/tools/Hzk16Font.h"
#include "simulator/tools/UnifontHex.h"
#include "simulator/ui/LcdWidget.h"
#include "simulator/ui/SimulatedModule.h"
#include "simulator/ui/SimulatorWindow.h"
#include "simulator/ui/TrafficLog.h"
#include "support/EventLoop.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QDir>
#include <QEventLoop>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtEndian>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>
#include <vector>

namespace panelix {
namespace {

using test::makeBmp;
using test::readFile;
using test::writeFile;

using panelix::test::waitFor;

bool dotOf(const Frame& f, int x, int y) {
    return (f[std::size_t(y * ScreenByteColumns + x / 8)] >> (7 - x % 8)) & 1;
}

// What the screen should show, built from the command's meaning in dots.
struct Screen {
    std::vector<bool> dark = std::vector<bool>(ScreenWidth * ScreenHeight, false);
    void set(int x, int y, bool d) {
        if (x >= 0 && x < ScreenWidth && y >= 0 && y < ScreenHeight)
            dark[std::size_t(y * ScreenWidth + x)] = d;
    }
    bool at(int x, int y) const { return dark[std::size_t(y * ScreenWidth + x)]; }
    template <typename F> void each(int x0, int y0, int w, int h, F f) {
        for (int y = y0; y < y0 + h; ++y)
            for (int x = x0; x < x0 + w; ++x)
                if (x < ScreenWidth && y < ScreenHeight)
                    f(x, y);
    }
    void fill(int x0, int y0, int w, int h, bool d) {
        each(x0, y0, w, h, [&](int x, int y) { set(x, y, d); });
    }
};

::testing::AssertionResult sameScreen(const Frame& got, const Screen& want) {
    int wrong = 0;
    QString first;
    for (int y = 0; y < ScreenHeight; ++y)
        for (int x = 0; x < ScreenWidth; ++x)
            if (dotOf(got, x, y) != want.at(x, y) && wrong++ == 0)
                first =
                    QStringLiteral("(%1,%2) is %3").arg(x).arg(y).arg(dotOf(got, x, y) ? "dark" : "light");
    if (wrong == 0)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << wrong << " dots differ, first " << first.toStdString();
}

QByteArray bmp(int width, int height) {
    test::BmpLayout layout;
    layout.width = width;
    layout.height = height;
    return makeBmp(layout);
}

// A bottom-up (height > 0) or top-down 1-bit BMP drawn at dot (x0, y0): all
// 8 x WB dots of a row as the file holds them, bit 0 dark.
void drawBmp(Screen& s, const QByteArray& bmp, int x0, int y0) {
    const int w = qFromLittleEndian<qint32>(bmp.constData() + 18);
    const int h = qFromLittleEndian<qint32>(bmp.constData() + 22);
    const int rows = std::abs(h);
    const int stride = test::bmpStride(w);
    for (int r = 0; r < rows; ++r) {
        const int stored = h < 0 ? r : rows - 1 - r;
        for (int x = 0; x < (w + 7) / 8 * 8; ++x) {
            const auto byte = std::uint8_t(bmp[62 + stored * stride + x / 8]);
            s.set(x0 + x, y0 + r, ((byte >> (7 - x % 8)) & 1) == 0);
        }
    }
}

void drawGlyph(Screen& s, const QByteArray& font, int lead, int trail, int x0, int y0, int scale,
               bool inverted) {
    const QByteArray cell = font.mid(hzk16Offset(std::uint8_t(lead), std::uint8_t(trail)), GlyphBytes);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            const bool on = (std::uint8_t(cell[2 * y + x / 8]) >> (7 - x % 8)) & 1;
            s.fill(x0 + scale * x, y0 + scale * y, scale, scale, on != inverted);
        }
}

// The font the demo ships: generated from GNU Unifont where it is installed,
// else a patterned stand-in with the same layout.
QByteArray demoFont() {
    GlyphMap glyphs;
    QString error;
    if (readUnifontHex(QStringLiteral("/usr/share/unifont/unifont.hex"), &glyphs, &error))
        return buildHzk16(glyphs).file;
    QByteArray font = test::patternRows(Hzk16FileSize * 8, 1, 5);
    font.truncate(Hzk16FileSize);
    return font;
}

class SimulatedModuleTest : public ::testing::Test {
protected:
    void SetUp() override {
        QString error;
        ASSERT_TRUE(sim.start(ModuleLink::Timing::Fast, &error)) << error.toStdString();
        ASSERT_TRUE(QDir().mkpath(picturesDir()));
        StartupOptions o;
        o.dataDir = dataDir();
        o.port1 = sim.devicePath();
        o.port2 = QStringLiteral("/nonexistent/port2");
        o.simulator = true;
        sim.window();
        session = std::make_unique<ModuleSession>();
        window = std::make_unique<MainWindow>(*session, o);
        window->show();
        sim.showBeside(window.get());
        ASSERT_EQ(child<QWidget>("Option1")->toolTip(), sim.devicePath());
    }
    void TearDown() override { window.reset(); }

    QString dataDir() const { return tmp.filePath(QStringLiteral("dispkit")); }
    QString picturesDir() const { return tmp.filePath(QStringLiteral("pictures")); }
    template <typename T> T* child(const char* name) const {
        return window->findChild<T*>(QLatin1String(name));
    }
    QString status() const { return child<QLabel>("Label2")->text(); }
    qint64 commands() const { return sim.link().counters().commands; }
    ModuleLink& link() { return sim.link(); }

    void clickItem(QListWidget* list, int row) {
        QListWidgetItem* item = list->item(row);
        ASSERT_NE(item, nullptr);
        list->scrollToItem(item);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(item).center());
    }
    // Clicks a button that sends one command and waits until the module has run it.
    void press(const char* button) {
        const qint64 before = commands();
        child<QPushButton>(button)->click();
        ASSERT_TRUE(waitFor([&] { return commands() == before + 1; })) << button;
    }
    // Picks a command in Combo1, types its parameters, and sends what Text2 shows.
    void console(int index, const QString& params, bool inverted = false) {
        auto* combo = child<QComboBox>("Combo1");
        combo->setCurrentIndex(index);
        emit combo->activated(index);
        combo->setEditText(params);
        if (inverted)
            child<QPushButton>("Command14")->click();
        press("Command13");
    }
    // Adds files of the pictures folder to the list through the file browser.
    void addPictures(const QStringList& names) {
        ASSERT_TRUE(child<DirListBox>("Dir1")->setPath(picturesDir()));
        auto* file1 = child<QListWidget>("File1");
        for (const QString& name : names) {
            const auto found = file1->findItems(name, Qt::MatchExactly);
            ASSERT_EQ(found.size(), 1) << name.toStdString();
            clickItem(file1, file1->row(found.first()));
            child<QPushButton>("Command1")->click();
        }
    }

    QTemporaryDir tmp;
    SimulatedModule sim;
    std::unique_ptr<ModuleSession> session;
    std::unique_ptr<MainWindow> window;
};

TEST_F(SimulatedModuleTest, DownloadedBitmapsAreStoredAndEachEntryShowsItsPicture) {
    // A width that is no multiple of 8 (its spare bits are drawn as stored), a
    // plain one, and a top-down file.
    const QStringList names = {"a.bmp", "b.bmp", "c.bmp"};
    const QVector<QByteArray> files = {bmp(20, 12), bmp(48, 30), bmp(8, -40)};
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(writeFile(QDir(picturesDir()).filePath(names[i]), files[i]));
    addPictures(names);
    ASSERT_EQ(window->bitmapList().count(), 3);

    child<QPushButton>("Command8")->click();
    ASSERT_TRUE(
        waitFor([&] { return status() == texts::downloadDone() || status() == texts::commError(); }, 20000));
    ASSERT_EQ(status(), texts::downloadDone());
    // The window is done when the last byte has left the port; the module stores the
    // image when its own thread has read that byte.
    ASSERT_TRUE(waitFor([&] { return link().counters().bitmapDownloads == 1; }));

    // The module holds the download image exactly as file.add has it, zero after its end.
    const QByteArray fileAdd = readFile(QDir(dataDir()).filePath(QStringLiteral("file.add")));
    const ImageDirectory dir = link().directory();
    ASSERT_EQ(dir.count, 3);
    const int end = int(dir.end);
    EXPECT_EQ(end, 1024 + 3 * 12 + 6 * 30 + 1 * 40);
    const QByteArray memory = link().imageMemory();
    EXPECT_EQ(memory.left(end), fileAdd.left(end));
    EXPECT_EQ(memory.mid(end), QByteArray(ImageMemorySize - end, '\0'));
    EXPECT_EQ(dir.images[0].widthBytes, 3);
    EXPECT_EQ(dir.images[1].height, 30);
    EXPECT_EQ(link().counters().bitmapDownloads, 1);

    auto* list1 = child<QListWidget>("List1");
    for (int k = 0; k < 3; ++k) {
        press("Command10");
        const qint64 before = commands();
        clickItem(list1, k);
        ASSERT_TRUE(waitFor([&] { return commands() == before + 1; })) << "entry " << k;
        Screen want;
        drawBmp(want, files[k], 0, 0);
        EXPECT_TRUE(sameScreen(link().frame(), want)) << "entry " << k;
    }

    // The console's show-image command places a stored picture anywhere, over what is there.
    console(2, QStringLiteral("052001"));
    Screen want;
    drawBmp(want, files[2], 0, 0);
    drawBmp(want, files[1], 5 * 8, 0x20);
    EXPECT_TRUE(sameScreen(link().frame(), want));

    // The LCD window draws the same frame (at twice the size where the screen has room),
    // and logs what came in.
    SimulatorWindow& simWindow = sim.window();
    simWindow.refresh();
    const QImage lcd = simWindow.lcd()->grab().toImage();
    int wrong = 0;
    for (int y = 0; y < ScreenHeight; ++y)
        for (int x = 0; x < ScreenWidth; ++x) {
            const QRgb c =
                want.at(x, y) ? LcdWidget::darkColour(true).rgb() : LcdWidget::lightColour(true).rgb();
            const QPoint o = simWindow.lcd()->dotOrigin(x, y);
            const int last = simWindow.lcd()->scale() - 1;
            wrong += lcd.pixel(o) != c || lcd.pixel(o + QPoint(last, last)) != c;
        }
    EXPECT_EQ(wrong, 0);
    // The module thread's notices reach the log through the event loop, and the log
    // shows them a little later still: wait until the last command's line is there.
    const QString lastLine = QStringLiteral("显示图像 X=5 Y=32 N=1 (48x30)");
    waitFor([&] { return simWindow.log()->toPlainText().contains(lastLine); });
    const QString log = simWindow.log()->toPlainText();
    EXPECT_TRUE(log.contains(QStringLiteral("A6 68"))) << log.toStdString();
    EXPECT_TRUE(log.contains(QStringLiteral("发 AA"))) << log.toStdString();
    EXPECT_TRUE(log.contains(QStringLiteral("1D 02 00 00 02 0D"))) << log.toStdString();
    EXPECT_TRUE(log.contains(QStringLiteral("显示图像 X=5 Y=32 N=1 (48x30)"))) << log.toStdString();
    EXPECT_EQ(simWindow.counterValue(QStringLiteral("位图下载")), QStringLiteral("1次"));
    EXPECT_EQ(simWindow.counterValue(QStringLiteral("存储图像")), QStringLiteral("3幅"));
}

TEST_F(SimulatedModuleTest, FontGlyphsShownFromTheConsole) {
    // The 256 KB font would need 137 s at line rate, so it is put into the module
    // as a completed font transfer fed to its core; the text goes through the window.
    const QByteArray font = demoFont();
    ASSERT_EQ(font.size(), Hzk16FileSize);
    ASSERT_NE(font.mid(hzk16Offset(0xBA, 0xBA), GlyphBytes), QByteArray(GlyphBytes, '\0')); // 汉 is no blank
    link().withCore([&](ModuleCore& core) {
        EXPECT_EQ(core.feed(module::fontHeader()), QByteArray(1, char(module::ReplyGoOn)));
        core.feed(font.left(module::FontTransferTotal));
    });
    ASSERT_EQ(link().fontMemory(), font.left(FontMemorySize));

    press("Command10");
    console(0, QStringLiteral("0432汉字"));
    EXPECT_EQ(child<QLineEdit>("Text2")->text(), QStringLiteral("1D010432BABAD7D60D"));
    console(1, QStringLiteral("0A64汉"));
    console(0, QStringLiteral("1E96字"), true);
    EXPECT_EQ(child<QLineEdit>("Text2")->text(), QStringLiteral("1D811E96D7D60D"));

    Screen want;
    drawGlyph(want, font, 0xBA, 0xBA, 32, 50, 1, false);
    drawGlyph(want, font, 0xD7, 0xD6, 48, 50, 1, false);
    drawGlyph(want, font, 0xBA, 0xBA, 80, 100, 2, false);
    drawGlyph(want, font, 0xD7, 0xD6, 240, 150, 1, true);
    EXPECT_TRUE(sameScreen(link().frame(), want));
}

TEST_F(SimulatedModuleTest, FontDownloadStartsThroughTheWindow) {
    ASSERT_TRUE(writeFile(QDir(dataDir()).filePath(QStringLiteral("hzk16")), demoFont()));
    child<QPushButton>("Command9")->click();
    ASSERT_TRUE(waitFor([&] { return link().counters().transferReceived >= 2048; }));
    const ModuleCounters c = link().counters();
    EXPECT_EQ(c.headersAccepted, 1);
    EXPECT_EQ(c.headersRefused, 0);
    EXPECT_EQ(c.transferExpected, module::FontTransferTotal);
    EXPECT_EQ(c.dropped, 0);
    EXPECT_TRUE(status().startsWith(texts::downloading())) << status().toStdString();
}

TEST_F(SimulatedModuleTest, ClearRectanglesInversionAndBacklight) {
    Screen want;
    press("Command10");
    EXPECT_TRUE(sameScreen(link().frame(), want));

    console(3, QString(), true); // 1D 83 0D: the whole screen dark
    EXPECT_EQ(child<QLineEdit>("Text2")->text(), QStringLiteral("1D830D"));
    want.fill(0, 0, ScreenWidth, ScreenHeight, true);
    EXPECT_TRUE(sameScreen(link().frame(), want));

    console(4, QStringLiteral("020A0414")); // clear 16..47 x 10..29
    want.fill(16, 10, 32, 20, false);
    console(5, QStringLiteral("0105140A")); // invert 8..167 x 5..14, across the cleared part
    want.each(8, 5, 160, 10, [&](int x, int y) { want.set(x, y, !want.at(x, y)); });
    EXPECT_TRUE(sameScreen(link().frame(), want));

    press("Command10");
    want.fill(0, 0, ScreenWidth, ScreenHeight, false);
    console(6, QStringLiteral("141E062803")); // a frame 3 dots thick round 160..207 x 30..69
    want.fill(160, 30, 48, 40, true);
    want.fill(163, 33, 42, 34, false);
    console(6, QStringLiteral("0064030A00")); // B = 0: filled 0..23 x 100..109
    want.fill(0, 100, 24, 10, true);
    console(6, QStringLiteral("0166010400"), true); // inverted: a light hole 8..15 x 102..105
    want.fill(8, 102, 8, 4, false);
    console(6, QStringLiteral("25E6080C02")); // 296..359 x 230..241: its right and bottom sides fall off
    want.fill(296, 230, 24, 10, true);
    want.fill(298, 232, 22, 8, false);
    EXPECT_TRUE(sameScreen(link().frame(), want));

    LcdWidget* lcd = sim.window().lcd();
    ASSERT_TRUE(link().backlight());
    press("Command12");
    EXPECT_FALSE(link().backlight());
    EXPECT_TRUE(waitFor([&] { return !lcd->backlight(); }));
    EXPECT_EQ(lcd->grab().toImage().pixel(lcd->dotOrigin(100, 200)),
              LcdWidget::lightColour(false).rgb());
    press("Command11");
    EXPECT_TRUE(link().backlight());
    console(8, QString());
    EXPECT_FALSE(link().backlight());
    console(7, QString(), true); // 1D 87 0D acts as backlight on
    EXPECT_TRUE(link().backlight());
    EXPECT_TRUE(waitFor([&] { return lcd->backlight(); }));
    EXPECT_TRUE(sameScreen(link().frame(), want)); // the backlight leaves the dots alone

    child<QPushButton>("Command7")->click();
    EXPECT_TRUE(waitFor([&] { return status() == texts::testOk(); })) << status().toStdString();
}

} // namespace
} // namespace panelix
