#include "cli/Interrupts.h"

#include "cli/Cli.h"

#include <csignal>
#include <unistd.h>

namespace panelix::cli {

namespace {

volatile std::sig_atomic_t interrupts = 0;

// A second interrupt only marks again: ending the program at once would leave the
// temporary data directory behind, so the clean-up always runs to its end.
extern "C" void onInterrupt(int) {
    interrupts = 1;
    requestInterrupt();
}

} // namespace

void installInterruptHandlers() {
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    // A closed terminal ends the transfers as cleanly as Ctrl+C, and the temporary data
    // directory goes with them.
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);
}

bool stderrIsTerminal() {
    return ::isatty(STDERR_FILENO) == 1;
}

} // namespace panelix::cli
