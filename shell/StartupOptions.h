#pragma once

#include <QString>
#include <QStringList>

namespace panelix {

// The command line is the program's only configuration.
struct StartupOptions {
    QString dataDir;
    QString port1;
    QString port2;
    bool simulator = false;
};

StartupOptions defaultStartupOptions();

enum class ParseOutcome { Run, Help, Error };

// args without the program name. On Error, message says what was wrong.
ParseOutcome parseStartupOptions(const QStringList& args, StartupOptions* options, QString* message);

QString usageText();

} // namespace panelix
