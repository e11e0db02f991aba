// The module's thread on the master side of a pty (POSIX): it reads the host's
// bytes, at line rate one byte time apart, and writes the replies when due.
#include "simulator/core/ModuleLink.h"

#include "simulator/LineClock.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/prctl.h>
#include <time.h>
#include <unistd.h>

namespace panelix {

namespace {

// Replies the host does not read are kept up to this many bytes, then the oldest
// go, as they would in an overrun host UART.
constexpr qsizetype MaxQueuedReplies = 65536;
constexpr qsizetype MaxReadBatch = 65536;

const auto monoNs = lineclock::nowNs;
using lineclock::sleepNs;

bool readable(int fd) {
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, 0) > 0 && (p.revents & POLLIN);
}

} // namespace

void ModuleLink::openWake() {
    wakeFd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
}

void ModuleLink::closeWake() {
    if (wakeFd_ >= 0)
        ::close(wakeFd_);
    wakeFd_ = -1;
}

bool ModuleLink::start(Timing timing) {
    stop();
    if (!pty_ || !pty_->isOpen() || wakeFd_ < 0)
        return false;
    lineRate_ = timing == Timing::LineRate;
    stop_ = false;
    thread_ = std::thread([this] { run(); });
    return true;
}

void ModuleLink::stop() {
    if (!thread_.joinable())
        return;
    stop_ = true;
    const quint64 one = 1;
    [[maybe_unused]] auto w = ::write(wakeFd_, &one, sizeof one);
    thread_.join();
}

void ModuleLink::queueReplies(const QByteArray& replies, qint64 nowNs) {
    const qint64 byteNs = qint64(BitsPerByte) * 1000000000 / Baud;
    for (char c : replies) {
        qint64 due = nowNs;
        if (lineRate_) {
            due = std::max(nowNs, txFreeNs_) + byteNs;
            txFreeNs_ = due;
        }
        txQueue_.append(c);
        txDueNs_.push_back(due);
    }
    if (txQueue_.size() > MaxQueuedReplies) {
        const qsizetype excess = txQueue_.size() - MaxQueuedReplies;
        txQueue_.remove(0, excess);
        txDueNs_.erase(txDueNs_.begin(), txDueNs_.begin() + excess);
    }
}

void ModuleLink::flushReplies(qint64 nowNs) {
    const auto due = qsizetype(std::upper_bound(txDueNs_.begin(), txDueNs_.end(), nowNs) - txDueNs_.begin());
    if (due == 0)
        return;
    const ssize_t n = ::write(pty_->masterFd(), txQueue_.constData(), std::size_t(due));
    if (n <= 0)
        return;
    txQueue_.remove(0, n);
    txDueNs_.erase(txDueNs_.begin(), txDueNs_.begin() + n);
}

void ModuleLink::run() {
    // Pacing needs wake-ups well inside one byte time (521 µs).
    prctl(PR_SET_TIMERSLACK, 1000UL, 0UL, 0UL, 0UL);
    const int fd = pty_->masterFd();
    const qint64 byteNs = qint64(BitsPerByte) * 1000000000 / Baud;
    qint64 rxDueNs = -1; // line-rate: when the byte now on the line has fully arrived
    qint64 rxFreeNs = 0; // line-rate: when the last byte taken had fully arrived
    lastByteNs_ = monoNs();
    while (!stop_) {
        const bool lineRate = lineRate_;
        if (!lineRate)
            rxDueNs = -1;
        qint64 now = monoNs();
        if (rxDueNs >= 0 && now >= rxDueNs) {
            char c = 0;
            const ssize_t n = ::read(fd, &c, 1);
            if (n == 1) {
                rxFreeNs = rxDueNs;
                queueReplies(process(QByteArray(1, c), rxDueNs), rxDueNs);
                // A byte already waiting started the moment this one ended.
                rxDueNs = readable(fd) ? rxFreeNs + byteNs : -1;
            } else {
                rxDueNs = -1;
                if (n < 0 && errno != EAGAIN && errno != EINTR)
                    sleepNs(10000000); // the far side is gone until it reopens
            }
            continue;
        }
        flushReplies(now);
        if (quietDeadlineMs_ >= 0 && now - lastByteNs_ >= qint64(quietDeadlineMs_) * 1000000)
            queueReplies(quiet(now), now);

        qint64 wakeAt = LLONG_MAX;
        if (rxDueNs >= 0)
            wakeAt = rxDueNs;
        const bool replyDue = !txDueNs_.empty() && txDueNs_.front() <= now;
        if (!txDueNs_.empty() && !replyDue)
            wakeAt = std::min(wakeAt, txDueNs_.front());
        if (quietDeadlineMs_ >= 0)
            wakeAt = std::min(wakeAt, lastByteNs_ + qint64(quietDeadlineMs_) * 1000000);
        short events = 0;
        if (rxDueNs < 0)
            events |= POLLIN;
        if (replyDue)
            events |= POLLOUT;
        pollfd p[2] = {{wakeFd_, POLLIN, 0}, {fd, events, 0}};
        timespec timeout{};
        timespec* timeoutPtr = nullptr;
        if (wakeAt != LLONG_MAX) {
            const qint64 wait = std::max<qint64>(0, wakeAt - now);
            timeout = {time_t(wait / 1000000000), long(wait % 1000000000)};
            timeoutPtr = &timeout;
        }
        const int r = ::ppoll(p, 2, timeoutPtr, nullptr);
        if (r < 0) {
            if (errno != EINTR)
                sleepNs(10000000);
            continue;
        }
        if (p[0].revents & POLLIN) {
            quint64 v = 0;
            [[maybe_unused]] auto n = ::read(wakeFd_, &v, sizeof v);
        }
        now = monoNs();
        const short got = p[1].revents;
        if (got & POLLIN) {
            if (lineRate) {
                rxDueNs = std::max(now, rxFreeNs) + byteNs;
                continue;
            }
            QByteArray bytes;
            char buf[4096];
            while (bytes.size() < MaxReadBatch) {
                const ssize_t n = ::read(fd, buf, sizeof buf);
                if (n > 0) {
                    bytes.append(buf, n);
                    continue;
                }
                if (n < 0 && errno == EINTR)
                    continue;
                break;
            }
            if (!bytes.isEmpty()) {
                queueReplies(process(bytes, now), now);
                continue;
            }
        }
        if (got & (POLLHUP | POLLERR | POLLNVAL))
            sleepNs(10000000); // no application on the line: nothing to read until it opens
    }
}

} // namespace panelix
