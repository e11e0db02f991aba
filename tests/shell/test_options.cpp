#include "shell/StartupOptions.h"

#include <gtest/gtest.h>

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
