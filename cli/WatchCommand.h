#pragma once

// Private to the command line tool: the factory mode. Waits for serial adapters to be
// plugged in and programs the module behind each, in parallel, until stopped.

#include "cli/Cli.h"
#include "cli/WatchPlanner.h"

#include <QByteArray>
#include <QString>

namespace panelix::cli {

struct WatchSettings {
    QByteArray image;       // the download image; empty: no picture download
    QString fontPath;       // the font file; empty: no font download
    bool test = false;      // a connection test first (the whole job when nothing is sent)
    int showAfter = -1;     // stored picture to show at the end
    WatchFilter filter;
    QString logPath;        // CSV records (JSON lines with json) appended here
    bool json = false;
    int count = 0;          // stop after this many results; 0: until interrupted
    int answerMs = 5000;
    int pollMs = 300;       // how often the adapter list is read
};

// Runs until interrupted (ExitInterrupted, after stopping every job) or, with a count,
// until that many modules have a result (the largest status of them).
int runWatch(const WatchSettings& settings, const PortSource& source, const Io& io);

} // namespace panelix::cli
