#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

namespace panelix {
class ModuleSession;
}

namespace panelix::cli {

// The exit statuses of panelix-cli. With several ports the largest status of all of them is
// the program's.
enum ExitStatus : int {
    ExitDone = 0,
    ExitModuleError = 1, // the module answered 0x55
    ExitUsage = 2,
    ExitPortOpen = 3,    // the port cannot be opened
    ExitPortLost = 4,    // the port was lost during the transfer
    ExitNoAnswer = 5,    // no answer in time, or a transfer that stalled
    ExitBadInput = 6,    // a picture, list, font or image refused
    ExitInterrupted = 130, // Ctrl+C (SIGINT), SIGTERM or SIGHUP: transfers stopped, some incomplete
};

// Where the program writes. Texts are written exactly as given (lines end in "\n").
// What a run talks to: its output streams and the modules, each through a session that
// main() makes (one per port; the factory mode makes one for every adapter that appears).
struct Io {
    std::function<void(const QString&)> out; // results, listings, --json objects
    std::function<void(const QString&)> err; // progress and messages
    bool errIsTerminal = false;              // a redrawn one-line progress bar instead of plain lines
    std::function<std::unique_ptr<ModuleSession>()> makeSession; // unset: a plain ModuleSession
};

// Runs one command line (arguments[0] is the program name) to its end, with the event loop
// running while ports are in use; returns the exit status. Needs a QCoreApplication; one that
// converts pictures (needsGui()) a QGuiApplication, for SVG text.
int run(const QStringList& arguments, const Io& io);

// True when the command line may decode pictures: main() then creates a QGuiApplication.
bool needsGui(const QStringList& arguments);

// Stops every transfer of the running command (as Ctrl+C does). Safe in a signal handler.
void requestInterrupt();

} // namespace panelix::cli
