#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

namespace panelix {

// The far end of a serial line that lives in this program: a simulated module
// that CommPort reaches without a device. The line (link/InProcessLine) paces the
// bytes both ways at the port's baud rate and calls the peer on its own thread,
// one call at a time, with times on the steady clock in nanoseconds.
class LinePeer {
public:
    virtual ~LinePeer() = default;
    // bytes have fully arrived (the last one's stop bit ended at atNs); the peer
    // appends what it answers to replies.
    virtual void receive(const QByteArray& bytes, qint64 atNs, QByteArray* replies) = 0;
    // When the peer next wants idle() though no byte arrives; -1 for never.
    virtual qint64 idleDeadlineNs() const = 0;
    virtual void idle(qint64 nowNs, QByteArray* replies) = 0;
    // False: bytes take no line time (a fast simulation).
    virtual bool paced() const = 0;
};

// In-process lines are opened like devices, by a name of the form "inproc:NAME".
bool isInProcessDevice(const QString& device);

// Makes peer reachable as device (an "inproc:" name) until unregistered.
void registerLinePeer(const QString& device, LinePeer* peer);
// Once this returns, no call into peer is running and none will start; a line
// still open to it finds its far end gone.
void unregisterLinePeer(LinePeer* peer);
bool linePeerRegistered(const QString& device);
// Runs fn on the peer registered as device, with no other call into any peer at
// the same time. False when no peer is registered as device.
bool withLinePeer(const QString& device, const std::function<void(LinePeer&)>& fn);

} // namespace panelix
