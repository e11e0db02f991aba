#include "cli/Interrupts.h"

#include "cli/Cli.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <io.h>

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

namespace panelix::cli {

namespace {

std::atomic<int> interrupts{0};

// Runs on a thread of its own that the console starts. A closed console window
// gives a few seconds before the process is ended: enough for a clean stop.
BOOL WINAPI onConsoleEvent(DWORD event) {
    switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
        if (interrupts.fetch_add(1) != 0)
            std::_Exit(ExitInterrupted);
        requestInterrupt();
        return TRUE;
    default:
        return FALSE;
    }
}

} // namespace

void installInterruptHandlers() {
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

bool stderrIsTerminal() {
    return _isatty(_fileno(stderr)) != 0;
}

} // namespace panelix::cli
