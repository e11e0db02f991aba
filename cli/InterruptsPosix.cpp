#include "cli/Interrupts.h"

#include "cli/Cli.h"

#include <csignal>
#include <unistd.h>

namespace panelix::cli {

namespace {

volatile std::sig_atomic_t interrupts = 0;

extern "C" void onInterrupt(int) {
    if (interrupts != 0)
        ::_exit(ExitInterrupted);
    interrupts = 1;
    requestInterrupt();
}

} // namespace

void installInterruptHandlers() {
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
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
