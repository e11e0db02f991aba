#pragma once

// Private to the command line tool: one operation run on many ports at once, one
// ModuleSession per port, all in this thread's event loop.

#include "cli/Cli.h"

#include "session/ModuleSession.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

namespace panelix::cli {

enum class PortOp { Test, Bitmaps, Image, Font, Command, Play };

struct PortPlan {
    PortOp op = PortOp::Test;
    QString dataDir;      // Bitmaps: where file.txt and file.add are written
    QString fontPath;     // Font: the font file
    QStringList entries;  // Bitmaps: the list, in order
    bool entriesAreList = false; // Bitmaps: loaded from a list file (set as a whole) rather than added one by one
    QByteArray bytes;     // Image: the download image; Command: raw command bytes
    std::function<Refusal(ModuleSession&)> command; // Command: the session's operation, instead of bytes
    int answerMs = 5000;  // no 0xAA to a header (or 0x0C to a test) within this: ExitNoAnswer
    int stallMs = 5000;   // no progress during a transfer for this long: ExitNoAnswer
    int showAfter = -1;   // Bitmaps, Image: stored picture to show once the download is done
    PlayPlan play;        // Play; Bitmaps with playAfter: the pictures shown in turn
    bool playAfter = false; // Bitmaps: play once the download is done
    bool json = false;
};

struct PortResult {
    QString port;
    int status = -1;   // an ExitStatus; -1 while running
    QString message;   // English, for the table and the error line
    double seconds = 0;
    qint64 bytes = 0;  // data bytes the line has taken (of a transfer: after the header)
    qint64 total = 0;
};

// Runs plan on every port until each has ended, reporting on io; fills results in port order
// and returns the largest exit status.
int runOnPorts(const QStringList& ports, const PortPlan& plan, const Io& io, QList<PortResult>* results);

// A session for one port, from the one main() gave (a plain ModuleSession when none).
std::unique_ptr<ModuleSession> newSession(const Io& io);

// Interrupt flag shared with the signal handler.
bool interruptRequested();
void clearInterrupt();

} // namespace panelix::cli
