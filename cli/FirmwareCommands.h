#pragma once

// Private to the command line tool: the tools for firmware developers, each with options of
// its own. "export" turns pictures into bytes for firmware and back; "font build" renders a
// font file into the module's HZK16 or a small indexed font.

#include "cli/Cli.h"

#include <QCommandLineParser>
#include <QStringList>

#include <optional>

namespace panelix::cli {

// The status of the command when arguments name one of these tools, else nullopt (then the
// arguments belong to the other commands).
std::optional<int> runFirmwareCommand(const QStringList& arguments, const Io& io);

// The arguments that are no options nor options' values, in order: the command's name first.
QStringList commandWords(const QStringList& arguments);

int runExportCommand(const QStringList& arguments, const Io& io);
int runFontBuildCommand(const QStringList& arguments, const Io& io);

// What these tools share: a parser of their own, their messages under their own name
// ("panelix-cli export: ...") and the checks of whole numbers.
class FirmwareCommand {
protected:
    FirmwareCommand(const Io& io, const char* name) : io_(io), name_(QString::fromLatin1(name)) {}
    int usage(const QString& message) const;
    int bad(const QString& message) const;
    bool number(const QCommandLineOption& option, int min, int max, int* out) const;

    const Io& io_;
    QCommandLineParser parser_;

private:
    QString name_;
};

// The lines of these tools for the command list of --help.
extern const char* const FirmwareCommandsHelp;

} // namespace panelix::cli
