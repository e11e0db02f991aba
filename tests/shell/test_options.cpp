#include "shell/StartupOptions.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QTemporaryDir>

#include <functional>

#include <sys/wait.h>
#include <unistd.h>

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

namespace {

// Runs f in a child process that cannot write a file it does not own (as nobody when the
// test runs as root, since root writes any file) and returns the child's exit status.
int unprivileged(const std::function<int()>& f) {
    const pid_t pid = fork();
    if (pid == 0) {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0))
            _exit(99);
        _exit(f());
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace

TEST(StartupOptions, UnusableStoredValuesAreIgnoredNamedAndNotWrittenBack) {
    QTemporaryDir dir;
    const QString file = dir.filePath("panelix.ini");
    {
        QSettings settings(file, QSettings::IniFormat);
        settings.setValue("dataDir", QString(MaxStoredPathBytes + 1, 'd'));   // longer than any path
        settings.setValue("port1", "/dev/tty\nUSB0");                          // a control character
        settings.setValue("port2", "/dev/ttyUSB3");                            // good
        settings.setValue("browser/lastFolder", QString(1024 * 1024, 'x'));   // 1 MB
        settings.setValue("window/position", "far away");                      // no point
        settings.setValue("import/width", "wide");                             // no number
        settings.setValue("import/gamma", "nan");
        settings.setValue("import/brightness", 20);                            // good
        settings.setValue("other/blob", QByteArray(MaxStoredValueBytes + 1, 'z'));
        settings.setValue(QString(MaxStoredKeyLength + 1, 'k'), 1);
        settings.setValue("language", "en");                                   // good
    }
    ASSERT_GT(QFileInfo(file).size(), 1024 * 1024);

    QSettings settings(file, QSettings::IniFormat);
    StartupOptions o = defaultStartupOptions();
    const SettingsReport report = applySettings(&o, settings);
    EXPECT_EQ(o.dataDir, defaultStartupOptions().dataDir);
    EXPECT_EQ(o.port1, QString("/dev/ttyS0"));
    EXPECT_EQ(o.port2, QString("/dev/ttyUSB3"));
    EXPECT_TRUE(o.lastFolder.isEmpty());
    QStringList ignored = report.ignoredKeys;
    ignored.sort();
    EXPECT_EQ(ignored, QStringList({"browser/lastFolder", "dataDir", "import/gamma", "import/width",
                                    QString(MaxStoredKeyLength, 'k'), "other/blob", "port1",
                                    "window/position"}));
    EXPECT_FALSE(report.resetFailed);
    settings.sync();
    // Not written back: the file keeps only the good values.
    EXPECT_LT(QFileInfo(file).size(), 200);
    QSettings again(file, QSettings::IniFormat);
    QStringList kept = again.allKeys();
    kept.sort();
    EXPECT_EQ(kept, QStringList({"import/brightness", "language", "port2"}));
    // A second start finds nothing more to say.
    StartupOptions next = defaultStartupOptions();
    EXPECT_TRUE(applySettings(&next, again).ignoredKeys.isEmpty());
}

TEST(StartupOptions, AResetThatCannotBeStoredIsReported) {
    QTemporaryDir dir;
    const QString file = dir.filePath("panelix.ini");
    {
        QSettings settings(file, QSettings::IniFormat);
        settings.setValue("port1", "/dev/ttyUSB0");
    }
    // A writable file: the reset is stored.
    {
        QSettings settings(file, QSettings::IniFormat);
        StartupOptions r = defaultStartupOptions();
        r.resetSettings = true;
        EXPECT_FALSE(applySettings(&r, settings).resetFailed);
    }
    QSettings(file, QSettings::IniFormat).setValue("port1", "/dev/ttyUSB0");
    // A read-only one: the reset cannot be stored, and says so.
    ASSERT_TRUE(QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                                      QFile::ReadOther | QFile::ExeOther));
    ASSERT_TRUE(QFile::setPermissions(file, QFile::ReadOwner | QFile::ReadOther));
    const int status = unprivileged([&] {
        QSettings settings(file, QSettings::IniFormat);
        if (settings.value("port1").toString() != QLatin1String("/dev/ttyUSB0"))
            return 2; // the child cannot even read the file
        StartupOptions r = defaultStartupOptions();
        r.resetSettings = true;
        return applySettings(&r, settings).resetFailed ? 0 : 1;
    });
    EXPECT_EQ(status, 0);
    EXPECT_EQ(QSettings(file, QSettings::IniFormat).value("port1").toString(), QString("/dev/ttyUSB0"));
}

TEST(WindowPlacement, ARememberedPositionIsUsedOnlyWhereItCanBeSeen) {
    const QList<QRect> one = {QRect(0, 0, 1280, 1024)};
    const QSize size(813, 600);
    EXPECT_EQ(visibleWindowPosition(QRect(QPoint(100, 80), size), one), QPoint(100, 80));
    // Off every screen, as after a change from a larger screen.
    EXPECT_EQ(visibleWindowPosition(QRect(QPoint(5000, 4000), size), one), std::nullopt);
    // Mostly off to the left: its top right corner can still be taken.
    EXPECT_EQ(visibleWindowPosition(QRect(QPoint(-700, 10), size), one), QPoint(-700, 10));
    // Only a sliver on the right, or the top edge above the screen: centred instead.
    EXPECT_EQ(visibleWindowPosition(QRect(QPoint(1250, 10), size), one), std::nullopt);
    EXPECT_EQ(visibleWindowPosition(QRect(QPoint(100, -30), size), one), std::nullopt);
    EXPECT_EQ(visibleWindowPosition(QRect(QPoint(100, 1000), size), one), std::nullopt);
    // On a second screen while it is there; not once it is gone.
    const QList<QRect> two = {QRect(0, 0, 1280, 1024), QRect(1280, 0, 1920, 1080)};
    EXPECT_EQ(visibleWindowPosition(QRect(QPoint(2000, 300), size), two), QPoint(2000, 300));
    EXPECT_EQ(visibleWindowPosition(QRect(QPoint(2000, 300), size), one), std::nullopt);
    EXPECT_EQ(visibleWindowPosition(QRect(QPoint(100, 80), size), {}), std::nullopt);
}

TEST(StartupOptions, AnOversizedSettingsFileIsSetAsideUnread) {
    QTemporaryDir dir;
    const QString file = dir.filePath("Panelix.conf");
    const QByteArray big = "[General]\nport1=/dev/ttyUSB0\ndataDir=" + QByteArray(2 * 1024 * 1024, 'x') + "\n";
    {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        ASSERT_EQ(f.write(big), big.size());
    }
    EXPECT_TRUE(setAsideOversizedSettings(file));
    EXPECT_FALSE(QFileInfo::exists(file));
    EXPECT_EQ(QFileInfo(file + ".unusable").size(), big.size());
    // A settings file of a usual size is left where it is.
    {
        QSettings settings(file, QSettings::IniFormat);
        settings.setValue("port1", "/dev/ttyUSB0");
    }
    const qint64 size = QFileInfo(file).size();
    ASSERT_GT(size, 0);
    EXPECT_FALSE(setAsideOversizedSettings(file));
    EXPECT_EQ(QFileInfo(file).size(), size);
    EXPECT_FALSE(setAsideOversizedSettings(dir.filePath("missing.conf")));
}
