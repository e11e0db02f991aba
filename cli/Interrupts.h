#pragma once

// How the command line tool hears Ctrl+C and a closed terminal, and whether its
// error stream is a terminal: one private file per operating system.
namespace panelix::cli {

// The first interrupt stops the transfers cleanly (requestInterrupt()); a second
// one ends the program at once with ExitInterrupted.
void installInterruptHandlers();

bool stderrIsTerminal();

} // namespace panelix::cli
