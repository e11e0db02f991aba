#pragma once

// Private to the link library: a serial line to a module that lives in this
// program (a LinePeer, see common/LinePeer.h), for a port opened by an "inproc:"
// name. It needs no device and no pseudo-terminal, so it works on every system.

#include <QByteArray>
#include <QString>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>
#include <utility>

namespace panelix {

class LinkCore;

// A modelled 8N1-style line with its own link thread. Both directions take the
// line time of each byte at the port's settings (10 bits at 19,200 baud: 521 µs):
// a byte written while the transmitter is busy starts when it falls free, and the
// peer has it when its stop bit has ended; the peer's replies reach the host the
// same way. The drained moment is the one the other backends report: the last
// byte written has entered the transmitter, one byte time before the line falls
// idle. When the peer goes away, the line counts as an unplugged device.
class InProcessLine {
public:
    InProcessLine(const QString& device, std::int64_t byteNs, LinkCore& core);
    ~InProcessLine(); // stops the link thread
    InProcessLine(const InProcessLine&) = delete;
    InProcessLine& operator=(const InProcessLine&) = delete;

    void start();
    // Any thread: makes the link thread take the core's commands.
    void wake();
    void setByteNs(std::int64_t ns);

    // Steady-clock nanoseconds: the clock of every time on the line.
    static std::int64_t nowNs();

private:
    using Timed = std::pair<std::int64_t, char>; // when the byte has fully arrived, the byte

    void run();
    // Puts bytes on the transmitter: each starts when the previous one has ended.
    void transmit(const QByteArray& bytes, std::int64_t now);
    // Hands the peer what has arrived and queues its replies; false when the peer is gone.
    bool serveModule(std::int64_t now);
    void queueReplies(const QByteArray& replies, std::int64_t from);
    void refreshPacing();
    std::int64_t byteNs() const;

    const QString device_;
    LinkCore& core_;
    std::thread thread_;

    std::mutex mutex_;
    std::condition_variable wakeUp_;
    bool woken_ = false;
    bool stop_ = false;
    std::int64_t byteNs_ = 0;
    bool paced_ = true; // the peer's choice, read at each call

    // Link thread only.
    std::deque<Timed> toModule_;
    std::deque<Timed> toHost_;
    std::int64_t txFreeNs_ = 0; // when the host's transmitter has sent its last byte
    std::int64_t rxFreeNs_ = 0; // when the module's last reply byte has arrived
    bool owesDrain_ = false;
    QByteArray out_;
};

} // namespace panelix
