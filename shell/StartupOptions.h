#pragma once

#include <QList>
#include <QPoint>
#include <QRect>
#include <QString>
#include <QStringList>

#include <optional>

class QSettings;

namespace panelix {

// The command line, over the settings of earlier runs.
struct StartupOptions {
    QString dataDir;
    QString port1;
    QString port2;
    bool simulator = false;
    bool resetSettings = false;
    QString language; // --lang: "en" or "zh"; empty when not given (the setting or Chinese)
    // Which of the values above the command line gave: those win over the settings.
    bool dataDirGiven = false;
    bool port1Given = false;
    bool port2Given = false;
    // The window keeps its choices (devices, folder, position) in the settings.
    bool remember = false;
    QString lastFolder; // the file browser's last folder, from the settings
};

// What start-up found in the settings.
struct SettingsReport {
    // Stored values that cannot be used (too long, not a path, not a number where one is
    // stored): ignored and removed, so that they are not written back.
    QStringList ignoredKeys;
    // --reset-settings could not be stored (a settings file that cannot be written).
    bool resetFailed = false;
};

// Bounds of what is taken from the settings. A path longer than PATH_MAX names no file;
// nothing the program stores comes near the others.
inline constexpr qsizetype MaxStoredPathBytes = 4096;
inline constexpr qsizetype MaxStoredValueBytes = 4096;
inline constexpr qsizetype MaxStoredKeyLength = 256;
inline constexpr int MaxStoredCoordinate = 1'000'000;

// A settings file larger than this is not read: QSettings parses all of it when it is
// opened (a 100 MB value costs some 300 MB and seconds before the window shows), and
// nothing the program stores comes near it.
inline constexpr qint64 MaxSettingsFileBytes = 1024 * 1024;

// Renames a settings file larger than MaxSettingsFileBytes to PATH.unusable, so that it is
// neither read nor written back (the user's data stays there to look at). True when it did.
bool setAsideOversizedSettings(const QString& path);

// Takes from the settings what the command line did not give (after forgetting
// them all with --reset-settings) and marks the options to be remembered. Every stored
// value is checked first against the bounds above.
SettingsReport applySettings(StartupOptions* options, QSettings& settings);

// Where the window goes with a remembered frame: its stored top left when enough of it
// (a corner of its top edge) lies on one of the present screens' areas, else nothing,
// and the window is centred instead.
std::optional<QPoint> visibleWindowPosition(const QRect& frame, const QList<QRect>& screens);

StartupOptions defaultStartupOptions();

enum class ParseOutcome { Run, Help, Error };

// args without the program name. On Error, message says what was wrong.
ParseOutcome parseStartupOptions(const QStringList& args, StartupOptions* options, QString* message);

QString usageText();
// The usage with this system's defaults (Windows: c:\dispkit\, COM1, COM2).
QString withPlatformDefaults(QString usage);

// The usage in Chinese alone: the source text that the English translation
// replaces, for `--help` in a chosen language (context "panelix::StartupOptions").
const char* usageSourceText();

} // namespace panelix
