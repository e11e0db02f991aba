#pragma once

// Private to the link library: what every operating system's backend shares.

#include "link/CommPort.h"
#include "link/InProcessLine.h"
#include "link/TransferPacer.h"

#include <QByteArray>
#include <QString>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace panelix {

// What the link thread tells the owning thread.
struct LinkEvent {
    enum class Kind { Received, Progress, Finished, ModuleError, Running, Lost, Drained };
    Kind kind = Kind::Received;
    quint64 transfer = 0; // the transfer state's generation when it happened
    QByteArray bytes;     // Received: the whole read
    qint32 sendPosition = 0;
    qint32 total = 0;
    std::uint8_t lastReply = 0;
    bool pacing = false;
    bool running = false;
};

struct LineSettings {
    int baud = 9600;
    char parity = 'n';
    int dataBits = 8;
    int stopBits = 1;
};

bool parseLineSettings(const QString& text, LineSettings* out);

// The call that opens a device node (POSIX open()). Tests replace it to meet
// failures their user cannot (root opens every device); nullptr restores open().
using DeviceOpener = int (*)(const char* path, int flags);
void setDeviceOpener(DeviceOpener opener);
// Whether the link thread may wait in epoll_pwait2 (kernels from 5.11). It finds
// out by itself; tests turn it off to take the older kernels' path.
void setEpollPwait2Available(bool available);

// The posted event that tells the owning thread to collect the link's events.
int linkEventsType();

// The part of the link thread that knows the module: commands from the owning
// thread, the reply rules, progress and completion. A backend does the I/O and
// the timing and calls in here; everything crosses threads as plain values under
// one mutex.
class LinkCore {
public:
    // wake: makes the link thread look at its commands (called with no lock held).
    LinkCore(CommPort* owner, std::function<void()> wake);

    // Owning thread.
    void write(const QByteArray& bytes);
    void startTransfer(quint64 transfer, const QByteArray& image, qint32 total, const QByteArray& header);
    void abandonTransfer(quint64 transfer);
    void setPacing(bool on);
    std::vector<LinkEvent> takeEvents();
    std::vector<std::int64_t> drainLatenciesNs() const;

    // Link thread: appends the bytes to write now to out.
    void takeCommands(QByteArray& out);
    void onRead(const QByteArray& bytes, qint64 nowNs, QByteArray& out);
    // The queue drained at drainedNs (the moment the last byte entered the transmitter).
    void onDrained(qint64 nowNs, QByteArray& out);
    void recordDrainLatency(qint64 ns);
    void lost();
    // What was given in out has been written to the device: the transfer's count of
    // data bytes on the line moves on.
    void written();
    // With deferred posts the owning thread is woken only by postEvents(), which
    // the backend calls once it has written: waking another thread costs time, and
    // the bytes of a drained queue go first.
    void setPostsDeferred(bool deferred) { postsDeferred_ = deferred; }
    void postEvents();

private:
    struct Command {
        enum class Kind { Write, Start, Abandon, Pacing };
        Kind kind;
        quint64 transfer = 0;
        QByteArray bytes; // Write: the bytes; Start: the header
        QByteArray image; // Start: a deep copy, owned by the link thread from then on
        qint32 total = 0;
        int value = 0;
    };
    void submit(Command c);
    void push(LinkEvent e);
    LinkEvent stateEvent(LinkEvent::Kind kind) const;
    void afterStep(const TransferPacer::Step& step, qint64 nowNs, QByteArray& out);

    CommPort* owner_;
    std::function<void()> wake_;

    std::mutex mutex_;
    std::vector<Command> commands_;
    std::vector<LinkEvent> events_;
    bool posted_ = false;

    // Link thread only.
    bool postsDeferred_ = false;
    bool unposted_ = false; // events were pushed since the last postEvents()
    TransferPacer pacer_;
    quint64 transfer_ = 0;
    bool wasRunning_ = false;
    bool writeOwed_ = false; // single bytes were written whose drained moment is still to come
    qint64 lastProgressNs_ = 0;

    // Drained-to-write latency in microseconds; the last bucket holds everything longer.
    static constexpr int LatencyBuckets = 10001;
    std::unique_ptr<std::array<std::atomic<std::uint32_t>, LatencyBuckets>> latencyUs_;
};

// One open line and its link thread: the operating system's device (one
// implementation per system: openDevice, applyDevice, Impl and the destructor), or
// an in-process line to a module in this program ("inproc:" names, any system).
class PortBackend {
public:
    // Opens path exclusively and applies settings; nullptr with the cause when not.
    static std::unique_ptr<PortBackend> open(const QString& path, const LineSettings& settings, CommPort* owner,
                                             OpenError* error, QString* text);
    ~PortBackend(); // stops the link thread and closes the device

    bool apply(const LineSettings& settings);
    LinkCore& core() { return *core_; }

    struct Impl;

private:
    PortBackend(); // beside Impl, in the system's file
    static std::unique_ptr<PortBackend> openDevice(const QString& path, const LineSettings& settings,
                                                   CommPort* owner, OpenError* error, QString* text);
    bool applyDevice(const LineSettings& settings);

    std::unique_ptr<Impl> impl_;
    std::unique_ptr<LinkCore> core_;
    std::unique_ptr<InProcessLine> line_; // goes first: its thread calls into core_
};

// The line time of one byte at settings: start bit, data bits, parity, stop bits.
qint64 byteTimeNs(const LineSettings& settings);

} // namespace panelix
