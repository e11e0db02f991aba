#pragma once

// Private to the command line tool: one operation run on many ports at once, one
// ModuleSession per port, all in this thread's event loop.

#include "cli/Cli.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace panelix::cli {

enum class PortOp { Test, Bitmaps, Image, Font, Command };

struct PortPlan {
    PortOp op = PortOp::Test;
    QString dataDir;      // Bitmaps: where file.txt and file.add are written; Font: where hzk16 is
    QStringList entries;  // Bitmaps: the list, in order
    bool entriesAreList = false; // Bitmaps: loaded from a list file (set as a whole) rather than added one by one
    QByteArray bytes;     // Image: the download image; Command: the command
    int answerMs = 5000;  // no 0xAA to a header (or 0x0C to a test) within this: ExitNoAnswer
    int stallMs = 5000;   // no progress during a transfer for this long: ExitNoAnswer
    bool json = false;
};

struct PortResult {
    QString port;
    int status = -1;   // an ExitStatus; -1 while running
    QString message;   // English, for the table and the error line
    double seconds = 0;
    qint64 bytes = 0;  // sent so far (of a transfer: data bytes after the header)
    qint64 total = 0;
};

// Runs plan on every port until each has ended, reporting on io; fills results in port order
// and returns the largest exit status.
int runOnPorts(const QStringList& ports, const PortPlan& plan, const Io& io, QList<PortResult>* results);

// Interrupt flag shared with the signal handler.
bool interruptRequested();
void clearInterrupt();

} // namespace panelix::cli
