// Where the main window and the LCD window go at start: the arithmetic alone on
// the usual screen sizes, then both windows on a 1280 x 800 screen.
#include "shell/MainWindow.h"
#include "shell/StartupOptions.h"
#include "simulator/ui/LcdWidget.h"
#include "simulator/ui/SimulatedModule.h"
#include "simulator/ui/SimulatorWindow.h"
#include "simulator/ui/WindowPlacement.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QSettings>
#include <QTemporaryDir>

#include <memory>

using namespace panelix;

namespace {

// Before main() builds the application: one offscreen screen of 1280 x 800, and
// a scratch configuration folder so the user's own settings are never touched.
const bool offscreenLaptop = [] {
    qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" PANELIX_TEST_SCREEN_FILE);
    static QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
    return true;
}();

// The main window's frame (813 x 574 inside a title bar) and the LCD window's
// two arrangements (890 x 710 and 412 x 668 as drawn here), as a desktop with
// decorations shows them.
const QSize mainFrame(813 + 2, 574 + 32);
const QSize lcdFull(890 + 2, 710 + 32);
const QSize lcdCompact(412 + 2, 668 + 32);

void expectApartAndInside(const WindowPlaces& p, const QRect& screen, const QSize& main, const QSize& lcd) {
    const QRect m(p.main, main), l(p.lcd, lcd);
    EXPECT_TRUE(p.apart);
    EXPECT_TRUE(screen.contains(m)) << m.x() << "," << m.y();
    EXPECT_TRUE(screen.contains(l)) << l.x() << "," << l.y();
    EXPECT_FALSE(m.intersects(l));
}

struct ScreenCase {
    QRect screen;
    bool fullFits; // the LCD at twice its size fits beside or below
};

class PlacementOnScreen : public ::testing::TestWithParam<ScreenCase> {};

TEST_P(PlacementOnScreen, BothWindowsWholeAndApart) {
    const ScreenCase c = GetParam();
    // The main window where a window manager may put it: centred, or in the corner.
    const QRect centred(c.screen.center() - QPoint(mainFrame.width() / 2, mainFrame.height() / 2), mainFrame);
    const QRect corner(c.screen.topLeft(), mainFrame);
    for (const QRect& main : {centred, corner}) {
        const WindowPlaces full = placeWindows(c.screen, main, lcdFull);
        EXPECT_EQ(full.apart, c.fullFits);
        if (full.apart)
            expectApartAndInside(full, c.screen, mainFrame, lcdFull);
        expectApartAndInside(placeWindows(c.screen, main, lcdCompact), c.screen, mainFrame, lcdCompact);
    }
}

INSTANTIATE_TEST_SUITE_P(UsualScreens, PlacementOnScreen,
                         ::testing::Values(ScreenCase{QRect(0, 0, 1280, 800), false},
                                           ScreenCase{QRect(0, 0, 1280, 800 - 27), false},
                                           ScreenCase{QRect(0, 27, 1366, 768 - 27), false},
                                           ScreenCase{QRect(0, 0, 1600, 1000), false},
                                           ScreenCase{QRect(0, 0, 1920, 1080 - 40), true},
                                           ScreenCase{QRect(1920, 0, 1920, 1080), true}));

TEST(Placement, KeepsTheMainWindowWhereItIsWhenTheLcdFindsRoomBesideIt) {
    const QRect screen(0, 0, 1920, 1080);
    const QRect main(QPoint(40, 60), mainFrame);
    const WindowPlaces p = placeWindows(screen, main, lcdCompact);
    EXPECT_EQ(p.main, main.topLeft());
    EXPECT_EQ(p.lcd, QPoint(main.right() + 1 + WindowGap, 60));
    // Near the right edge it goes to the left instead.
    const QRect right(QPoint(1920 - mainFrame.width(), 60), mainFrame);
    const WindowPlaces q = placeWindows(screen, right, lcdCompact);
    EXPECT_EQ(q.main, right.topLeft());
    EXPECT_EQ(q.lcd, QPoint(right.left() - WindowGap - lcdCompact.width(), 60));
}

TEST(Placement, AMainWindowPartlyOffTheScreenIsBroughtBack) {
    const QRect screen(0, 0, 1600, 1000);
    const WindowPlaces p = placeWindows(screen, QRect(QPoint(1400, -20), mainFrame), lcdCompact);
    expectApartAndInside(p, screen, mainFrame, lcdCompact);
}

TEST(Placement, BelowTheSizesThereIsNoRoomAndTheWindowsOverlapInsideTheScreen) {
    const QRect screen(0, 0, 1024, 768);
    const WindowPlaces p = placeWindows(screen, QRect(QPoint(100, 100), mainFrame), lcdCompact);
    EXPECT_FALSE(p.apart);
    EXPECT_EQ(p.main, screen.topLeft());
    EXPECT_TRUE(screen.contains(QRect(p.lcd, lcdCompact)));
    EXPECT_EQ(QRect(p.lcd, lcdCompact).bottomRight(), screen.bottomRight());
}

TEST(Placement, ATitleCountsAsVisibleOnlyOnAPresentScreen) {
    const QList<QRect> screens{QRect(0, 0, 1280, 800), QRect(1280, 0, 1920, 1080)};
    EXPECT_TRUE(titleVisible(QRect(QPoint(1300, 500), lcdCompact), screens));
    EXPECT_TRUE(titleVisible(QRect(QPoint(1100, 10), lcdCompact), screens));  // its left part suffices
    EXPECT_FALSE(titleVisible(QRect(QPoint(3250, 10), lcdCompact), screens)); // a screen unplugged
    EXPECT_FALSE(titleVisible(QRect(QPoint(100, -40), lcdCompact), screens)); // title above the top
    EXPECT_FALSE(titleVisible(QRect(QPoint(100, 790), lcdCompact), screens)); // only 10 rows show
}

class WindowsOnLaptop : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(offscreenLaptop);
        QCoreApplication::setOrganizationName(QStringLiteral("PanelixTest"));
        QCoreApplication::setApplicationName(QStringLiteral("WindowPlaces"));
        QString error;
        ASSERT_TRUE(sim.start(ModuleLink::Timing::Fast, &error)) << error.toStdString();
        options.dataDir = tmp.filePath(QStringLiteral("dispkit"));
        options.port1 = sim.devicePath();
        options.port2 = QStringLiteral("/nonexistent/port2");
        options.simulator = true;
        sim.window();
        session = std::make_unique<ModuleSession>();
        window = std::make_unique<MainWindow>(*session, options);
        window->show();
    }

    QTemporaryDir tmp;
    SimulatedModule sim;
    StartupOptions options;
    std::unique_ptr<ModuleSession> session;
    std::unique_ptr<MainWindow> window;
};

TEST_F(WindowsOnLaptop, TheLcdWindowNeitherCoversTheMainWindowNorLeavesTheScreen) {
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    ASSERT_EQ(screen.size(), QSize(1280, 800));
    sim.showBeside(window.get());
    const QRect main = window->frameGeometry();
    const QRect lcd = sim.window().frameGeometry();
    EXPECT_FALSE(main.intersects(lcd))
        << lcd.x() << "," << lcd.y() << " " << lcd.width() << "x" << lcd.height();
    EXPECT_TRUE(screen.contains(main));
    EXPECT_TRUE(screen.contains(lcd))
        << lcd.x() << "," << lcd.y() << " " << lcd.width() << "x" << lcd.height();
    EXPECT_TRUE(sim.window().compact());
    EXPECT_EQ(sim.window().lcd()->scale(), 1);
}

TEST_F(WindowsOnLaptop, ARememberedPlaceIsTakenOnlyWhenItIsOnAPresentScreen) {
    QSettings().setValue(SimulatedModule::positionKey(), QPoint(3000, 200)); // a screen since unplugged
    sim.showBeside(window.get(), true);
    EXPECT_FALSE(window->frameGeometry().intersects(sim.window().frameGeometry()));
    EXPECT_TRUE(QRect(0, 0, 1280, 800).contains(sim.window().frameGeometry()));

    QString error;
    {
        SimulatedModule first;
        ASSERT_TRUE(first.start(ModuleLink::Timing::Fast, &error));
        first.showBeside(window.get(), true);
        first.window().move(QPoint(120, 140)); // the user moves it
        // The module ends with the program and stores its place.
    }
    EXPECT_EQ(QSettings().value(SimulatedModule::positionKey()).toPoint(), QPoint(120, 140));
    SimulatedModule next;
    ASSERT_TRUE(next.start(ModuleLink::Timing::Fast, &error));
    next.showBeside(window.get(), true);
    EXPECT_EQ(next.window().pos(), QPoint(120, 140));
}

TEST_F(WindowsOnLaptop, WithoutRememberingNothingIsStored) {
    QSettings().remove(SimulatedModule::positionKey());
    {
        SimulatedModule other;
        QString error;
        ASSERT_TRUE(other.start(ModuleLink::Timing::Fast, &error));
        other.showBeside(window.get());
        other.window().move(QPoint(50, 50));
    }
    EXPECT_FALSE(QSettings().contains(SimulatedModule::positionKey()));
}

} // namespace
