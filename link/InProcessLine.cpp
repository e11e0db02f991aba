#include "link/InProcessLine.h"

#include "link/LinkCore.h"

#include "common/LinePeer.h"

#include <algorithm>
#include <chrono>
#include <climits>

namespace panelix {

InProcessLine::InProcessLine(const QString& device, std::int64_t byteNs, LinkCore& core)
    : device_(device), core_(core), byteNs_(byteNs) {}

InProcessLine::~InProcessLine() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wakeUp_.notify_one();
    if (thread_.joinable())
        thread_.join();
}

std::int64_t InProcessLine::nowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void InProcessLine::start() {
    core_.setPostsDeferred(true);
    thread_ = std::thread([this] { run(); });
}

void InProcessLine::wake() {
    {
        std::lock_guard lock(mutex_);
        woken_ = true;
    }
    wakeUp_.notify_one();
}

void InProcessLine::setByteNs(std::int64_t ns) {
    std::lock_guard lock(mutex_);
    byteNs_ = ns;
}

std::int64_t InProcessLine::byteNs() const {
    return paced_ ? byteNs_ : 0;
}

void InProcessLine::transmit(const QByteArray& bytes, std::int64_t now) {
    if (bytes.isEmpty())
        return;
    std::int64_t byteTime = 0;
    {
        std::lock_guard lock(mutex_);
        byteTime = byteNs();
    }
    for (char c : bytes) {
        txFreeNs_ = std::max(now, txFreeNs_) + byteTime;
        toModule_.emplace_back(txFreeNs_, c);
    }
    owesDrain_ = true;
}

void InProcessLine::queueReplies(const QByteArray& replies, std::int64_t from) {
    std::int64_t byteTime = 0;
    {
        std::lock_guard lock(mutex_);
        byteTime = byteNs();
    }
    for (char c : replies) {
        rxFreeNs_ = std::max(from, rxFreeNs_) + byteTime;
        toHost_.emplace_back(rxFreeNs_, c);
    }
}

bool InProcessLine::serveModule(std::int64_t now) {
    QByteArray arrived;
    std::int64_t atNs = now;
    while (!toModule_.empty() && toModule_.front().first <= now) {
        atNs = toModule_.front().first;
        arrived.append(toModule_.front().second);
        toModule_.pop_front();
    }
    QByteArray replies;
    const bool present = withLinePeer(device_, [&](LinePeer& peer) {
        if (!arrived.isEmpty())
            peer.receive(arrived, atNs, &replies);
        const std::int64_t idleNs = peer.idleDeadlineNs();
        if (idleNs >= 0 && idleNs <= now)
            peer.idle(now, &replies);
    });
    queueReplies(replies, arrived.isEmpty() ? now : atNs);
    return present;
}

// Whether the peer wants line time (a fast simulation does not), before bytes are timed.
void InProcessLine::refreshPacing() {
    bool paced = true;
    withLinePeer(device_, [&](LinePeer& peer) { paced = peer.paced(); });
    std::lock_guard lock(mutex_);
    paced_ = paced;
}

void InProcessLine::run() {
    std::int64_t drainNs = 0;
    for (;;) {
        {
            std::lock_guard lock(mutex_);
            if (stop_)
                break;
            woken_ = false;
        }
        std::int64_t now = nowNs();
        refreshPacing();
        out_.clear();
        core_.takeCommands(out_);
        transmit(out_, now);

        // The far end: what has arrived, and what it says.
        if (!serveModule(now)) {
            core_.lost(); // the simulated module is gone: an unplugged line
            core_.postEvents();
            return;
        }
        QByteArray in;
        while (!toHost_.empty() && toHost_.front().first <= now) {
            in.append(toHost_.front().second);
            toHost_.pop_front();
        }
        if (!in.isEmpty()) {
            out_.clear();
            core_.onRead(in, now, out_);
            transmit(out_, now);
        }
        // Drained: the last byte written has entered the transmitter.
        {
            std::lock_guard lock(mutex_);
            drainNs = txFreeNs_ - byteNs();
        }
        if (owesDrain_ && now >= drainNs) {
            owesDrain_ = false;
            out_.clear();
            core_.onDrained(now, out_);
            if (!out_.isEmpty())
                core_.recordDrainLatency(nowNs() - drainNs);
            transmit(out_, now);
            continue; // the bytes just written have a drained moment of their own
        }
        core_.postEvents();

        std::int64_t wakeNs = LLONG_MAX;
        if (!toModule_.empty())
            wakeNs = std::min(wakeNs, toModule_.front().first);
        if (!toHost_.empty())
            wakeNs = std::min(wakeNs, toHost_.front().first);
        if (owesDrain_)
            wakeNs = std::min(wakeNs, drainNs);
        std::int64_t idleNs = -1;
        withLinePeer(device_, [&](LinePeer& peer) { idleNs = peer.idleDeadlineNs(); });
        if (idleNs >= 0)
            wakeNs = std::min(wakeNs, idleNs);

        std::unique_lock lock(mutex_);
        const auto ready = [this] { return woken_ || stop_; };
        if (wakeNs == LLONG_MAX) {
            // Now and then the far end is looked at: a module that went away is a lost line.
            wakeUp_.wait_for(lock, std::chrono::milliseconds(200), ready);
        } else if (wakeNs > nowNs()) {
            const auto at = std::chrono::steady_clock::time_point(std::chrono::nanoseconds(wakeNs));
            wakeUp_.wait_until(lock, at, ready);
        }
    }
    core_.postEvents();
}

} // namespace panelix
