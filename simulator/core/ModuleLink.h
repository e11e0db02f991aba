#pragma once

#include "simulator/core/ModuleCore.h"
#include "simulator/Pty.h"

#include "common/LinePeer.h"

#include <QObject>
#include <QVector>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace panelix {

// Puts a ModuleCore on the master side of a pty, in a thread of its own: the
// application opens pty.slavePath() as its serial port and talks to the module.
// Without a pty (on Windows, or where none can be had) it is the far end of an
// in-process line instead (LinePeer): the line paces the bytes and calls it.
// In line-rate mode the module takes byte n of a burst at t0 + n x 10 / 19200 s
// and its replies need the same time on the way back, so a transfer through it
// lasts as long as on a real 19,200-baud line. Fast mode takes whatever arrives
// at once and answers at once.
class ModuleLink : public QObject, public LinePeer {
    Q_OBJECT
public:
    enum class Timing { Fast, LineRate };
    static constexpr int Baud = 19200;
    static constexpr int BitsPerByte = 10; // start, 8 data, stop

    explicit ModuleLink(Pty& pty, QObject* parent = nullptr);
    // For an in-process line only: start() fails.
    explicit ModuleLink(QObject* parent = nullptr);
    ~ModuleLink() override;
    ModuleLink(const ModuleLink&) = delete;
    ModuleLink& operator=(const ModuleLink&) = delete;

    // False when the pty is not open (always on Windows, which has no ptys).
    bool start(Timing timing = Timing::Fast);
    void stop();
    bool isRunning() const { return thread_.joinable(); }
    // Takes effect with the next byte.
    void setTiming(Timing timing) { lineRate_ = timing == Timing::LineRate; }
    Timing timing() const { return lineRate_ ? Timing::LineRate : Timing::Fast; }

    // Copies of the module's state, safe from any thread. Reading the frame or
    // the backlight re-arms displayChanged().
    Frame frame() const;
    bool backlight() const;
    ModuleCounters counters() const;
    QByteArray imageMemory() const;
    QByteArray fontMemory() const;
    ImageDirectory directory() const;
    void powerCycle();
    // Runs fn on the core while no byte is being taken.
    void withCore(const std::function<void(ModuleCore&)>& fn);

    // Blocks until the module has taken count bytes in all (for tests and tools).
    bool waitForBytesIn(qint64 count, int timeoutMs) const;

    // LinePeer: the in-process line's far end. Line-rate timing paces the line;
    // the line itself models the time of the replies.
    void receive(const QByteArray& bytes, qint64 atNs, QByteArray* replies) override;
    qint64 idleDeadlineNs() const override;
    void idle(qint64 nowNs, QByteArray* replies) override;
    bool paced() const override { return lineRate_; }

signals:
    // The screen or the backlight changed. Sent once until frame() or
    // backlight() is read again, so a busy line cannot flood the receiver.
    void displayChanged();
    // Decoded traffic, in order, a batch per read.
    void eventsLogged(const QVector<panelix::ModuleEvent>& events);

private:
    void run();
    void openWake();
    void closeWake();
    // Feeds bytes taken at time nowNs and returns the replies.
    QByteArray process(const QByteArray& bytes, qint64 nowNs);
    QByteArray quiet(qint64 nowNs);
    void queueReplies(const QByteArray& replies, qint64 nowNs);
    void publish(QVector<ModuleEvent>& events, quint64 generation);
    void flushReplies(qint64 nowNs);

    Pty* pty_ = nullptr;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> lineRate_{false};
    mutable std::atomic<bool> notifyPending_{false};
    int wakeFd_ = -1;

    mutable std::mutex mutex_;
    mutable std::condition_variable taken_;
    ModuleCore core_;
    QVector<ModuleEvent> events_;
    quint64 publishedGeneration_ = 0;

    // Worker-thread state.
    qint64 lastByteNs_ = 0;
    int quietDeadlineMs_ = -1;
    qint64 txFreeNs_ = 0;
    QByteArray txQueue_;          // replies not yet written
    std::vector<qint64> txDueNs_; // line-rate: when each queued reply byte is due
};

} // namespace panelix
