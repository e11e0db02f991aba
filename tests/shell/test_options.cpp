#include "shell/StartupOptions.h"

#include <gtest/gtest.h>

#include <QSettings>
#include <QTemporaryDir>

using namespace panelix;

TEST(StartupOptions, ValuesOverrideTheDefaults) {
    StartupOptions o = defaultStartupOptions();
    EXPECT_TRUE(o.dataDir.endsWith("dispkit"));
    EXPECT_EQ(o.port1, QString("/dev/ttyS0"));
    EXPECT_EQ(o.port2, QString("/dev/ttyS1"));
    QString message;
    ASSERT_EQ(parseStartupOptions({"--data-dir", "/x/y", "--port1=/dev/pts/3", "--port2", "/dev/ttyUSB0",
                                   "--simulator"},
                                  &o, &message),
              ParseOutcome::Run);
    EXPECT_EQ(o.dataDir, QString("/x/y"));
    EXPECT_EQ(o.port1, QString("/dev/pts/3"));
    EXPECT_EQ(o.port2, QString("/dev/ttyUSB0"));
    EXPECT_TRUE(o.simulator);
}

TEST(StartupOptions, HelpUnknownOptionsAndMissingValues) {
    StartupOptions o = defaultStartupOptions();
    const StartupOptions before = o;
    QString message;
    EXPECT_EQ(parseStartupOptions({"--help"}, &o, &message), ParseOutcome::Help);
    EXPECT_EQ(parseStartupOptions({"--verbose"}, &o, &message), ParseOutcome::Error);
    EXPECT_TRUE(message.contains("--verbose"));
    EXPECT_EQ(parseStartupOptions({"--port1"}, &o, &message), ParseOutcome::Error);
    EXPECT_EQ(parseStartupOptions({"--data-dir="}, &o, &message), ParseOutcome::Error);
    EXPECT_EQ(o.port1, before.port1); // a failed parse changes nothing
    EXPECT_TRUE(usageText().contains("用法"));
    EXPECT_TRUE(usageText().contains("Usage"));
}

TEST(StartupOptions, SettingsFillWhatTheCommandLineDidNotGiveAndAResetForgetsThem) {
    QTemporaryDir dir;
    QSettings settings(dir.filePath("panelix.ini"), QSettings::IniFormat);
    settings.setValue("dataDir", "/stored/data");
    settings.setValue("port1", "/dev/serial/by-id/usb-FTDI_A1-if00-port0");
    settings.setValue("port2", "/dev/ttyUSB9");
    settings.setValue("browser/lastFolder", "/stored/pictures");

    StartupOptions o = defaultStartupOptions();
    QString message;
    ASSERT_EQ(parseStartupOptions({"--port2", "/dev/pts/7"}, &o, &message), ParseOutcome::Run);
    applySettings(&o, settings);
    EXPECT_EQ(o.dataDir, QString("/stored/data"));
    EXPECT_EQ(o.port1, QString("/dev/serial/by-id/usb-FTDI_A1-if00-port0"));
    EXPECT_EQ(o.port2, QString("/dev/pts/7")); // the command line wins for this run
    EXPECT_EQ(o.lastFolder, QString("/stored/pictures"));
    EXPECT_TRUE(o.remember);
    EXPECT_EQ(settings.value("port2").toString(), QString("/dev/ttyUSB9")); // and changes no setting

    StartupOptions r = defaultStartupOptions();
    ASSERT_EQ(parseStartupOptions({"--reset-settings"}, &r, &message), ParseOutcome::Run);
    applySettings(&r, settings);
    EXPECT_EQ(r.port1, QString("/dev/ttyS0"));
    EXPECT_TRUE(settings.allKeys().isEmpty());
}
