#pragma once

#include <QString>
#include <QStringList>

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

// Takes from the settings what the command line did not give (after forgetting
// them all with --reset-settings) and marks the options to be remembered.
void applySettings(StartupOptions* options, QSettings& settings);

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
