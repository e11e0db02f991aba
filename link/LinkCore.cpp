#include "link/LinkCore.h"

#include <algorithm>

#include <QCoreApplication>
#include <QEvent>
#include <QStringList>

namespace panelix {

namespace {

constexpr int knownBauds[] = {110,   300,   600,    1200,   2400,   4800,   9600,
                              19200, 38400, 57600, 115200, 230400, 460800, 921600};

} // namespace

int linkEventsType() {
    static const int type = QEvent::registerEventType();
    return type;
}

bool parseLineSettings(const QString& text, LineSettings* out) {
    const QStringList parts = text.trimmed().toLower().split(',');
    if (parts.size() != 4)
        return false;
    bool ok = false;
    LineSettings s;
    s.baud = parts[0].trimmed().toInt(&ok);
    if (!ok || std::find(std::begin(knownBauds), std::end(knownBauds), s.baud) == std::end(knownBauds))
        return false;
    const QString parity = parts[1].trimmed();
    if (parity.size() != 1 || !QStringLiteral("neo").contains(parity))
        return false;
    s.parity = parity[0].toLatin1();
    s.dataBits = parts[2].trimmed().toInt(&ok);
    if (!ok || s.dataBits < 5 || s.dataBits > 8)
        return false;
    s.stopBits = parts[3].trimmed().toInt(&ok);
    if (!ok || (s.stopBits != 1 && s.stopBits != 2))
        return false;
    *out = s;
    return true;
}

LinkCore::LinkCore(CommPort* owner, std::function<void()> wake)
    : owner_(owner), wake_(std::move(wake)),
      latencyUs_(std::make_unique<std::array<std::atomic<std::uint32_t>, LatencyBuckets>>()) {
    for (auto& b : *latencyUs_)
        b.store(0, std::memory_order_relaxed);
}

void LinkCore::submit(Command c) {
    {
        std::lock_guard lock(mutex_);
        commands_.push_back(std::move(c));
    }
    wake_();
}

void LinkCore::write(const QByteArray& bytes) {
    // A deep copy: the link thread never shares a buffer with the owning thread.
    submit({Command::Kind::Write, 0, QByteArray(bytes.constData(), bytes.size()), {}, 0, 0});
}

void LinkCore::startTransfer(quint64 transfer, const QByteArray& image, qint32 total, const QByteArray& header) {
    for (auto& b : *latencyUs_)
        b.store(0, std::memory_order_relaxed);
    // Only the bytes the transfer sends: a bitmap image is a 512 KB bank of which a few
    // kilobytes go out, and copying the rest costs milliseconds of page faults per port.
    // Two more stay for a late 0xAA, which is answered with the next two bytes as ever.
    const qsizetype sent = std::clamp<qsizetype>(qsizetype(total) + 2, 0, image.size());
    submit({Command::Kind::Start, transfer, QByteArray(header.constData(), header.size()),
            QByteArray(image.constData(), sent), total, 0});
}

void LinkCore::abandonTransfer(quint64 transfer) {
    submit({Command::Kind::Abandon, transfer, {}, {}, 0, 0});
}

void LinkCore::setPacing(bool on) {
    submit({Command::Kind::Pacing, 0, {}, {}, 0, on ? 1 : 0});
}

std::vector<LinkEvent> LinkCore::takeEvents() {
    std::vector<LinkEvent> out;
    std::lock_guard lock(mutex_);
    out.swap(events_);
    posted_ = false;
    return out;
}

std::vector<std::int64_t> LinkCore::drainLatenciesNs() const {
    std::vector<std::int64_t> out;
    for (int us = 0; us < LatencyBuckets; ++us) {
        const std::uint32_t n = (*latencyUs_)[std::size_t(us)].load(std::memory_order_relaxed);
        out.insert(out.end(), n, std::int64_t(us) * 1000 + 500);
    }
    return out;
}

void LinkCore::recordDrainLatency(qint64 ns) {
    const qint64 us = std::clamp<qint64>(ns / 1000, 0, LatencyBuckets - 1);
    (*latencyUs_)[std::size_t(us)].fetch_add(1, std::memory_order_relaxed);
}

// Events are handed over in batches: one posted wake-up for however many events
// pile up before the owning thread gets to them.
void LinkCore::push(LinkEvent e) {
    {
        std::lock_guard lock(mutex_);
        events_.push_back(std::move(e));
    }
    unposted_ = true;
    if (!postsDeferred_)
        postEvents();
}

void LinkCore::postEvents() {
    if (!unposted_)
        return;
    unposted_ = false;
    bool post = false;
    {
        std::lock_guard lock(mutex_);
        post = !posted_ && !events_.empty();
        posted_ = posted_ || post;
    }
    if (post)
        QCoreApplication::postEvent(owner_, new QEvent(QEvent::Type(linkEventsType())));
}

LinkEvent LinkCore::stateEvent(LinkEvent::Kind kind) const {
    LinkEvent e;
    e.kind = kind;
    e.transfer = transfer_;
    e.sendPosition = pacer_.sendPosition();
    e.total = pacer_.transferTotal();
    e.lastReply = pacer_.lastReply();
    e.pacing = pacer_.pacing();
    e.running = pacer_.running();
    return e;
}

void LinkCore::takeCommands(QByteArray& out) {
    std::vector<Command> commands;
    {
        std::lock_guard lock(mutex_);
        commands.swap(commands_);
    }
    for (Command& c : commands) {
        switch (c.kind) {
        case Command::Kind::Write:
            out.append(c.bytes);
            writeOwed_ = writeOwed_ || !c.bytes.isEmpty();
            break;
        case Command::Kind::Start:
            transfer_ = c.transfer;
            pacer_.start(std::move(c.image), c.total);
            out.append(c.bytes);
            lastProgressNs_ = 0;
            break;
        case Command::Kind::Abandon:
            transfer_ = c.transfer;
            pacer_.abandon();
            break;
        case Command::Kind::Pacing:
            pacer_.setPacing(c.value != 0);
            break;
        }
    }
    if (!commands.empty() && pacer_.running() != wasRunning_) {
        wasRunning_ = pacer_.running();
        push(stateEvent(LinkEvent::Kind::Running));
    }
}

void LinkCore::afterStep(const TransferPacer::Step& step, qint64 nowNs, QByteArray& out) {
    out.append(step.write);
    if (step.moduleError)
        push(stateEvent(LinkEvent::Kind::ModuleError));
    if (step.progressed && nowNs - lastProgressNs_ >= qint64(CommPort::ProgressIntervalMs) * 1000000) {
        lastProgressNs_ = nowNs;
        push(stateEvent(LinkEvent::Kind::Progress));
    }
    if (step.finished) {
        push(stateEvent(LinkEvent::Kind::Progress));
        push(stateEvent(LinkEvent::Kind::Finished));
    }
    if (pacer_.running() != wasRunning_) {
        wasRunning_ = pacer_.running();
        push(stateEvent(LinkEvent::Kind::Running));
    }
}

void LinkCore::onRead(const QByteArray& bytes, qint64 nowNs, QByteArray& out) {
    const TransferPacer::Step step = pacer_.onRead(bytes);
    LinkEvent e = stateEvent(LinkEvent::Kind::Received);
    e.bytes = QByteArray(bytes.constData(), bytes.size()); // its own copy: no buffer is shared across threads
    push(std::move(e));
    afterStep(step, nowNs, out);
}

void LinkCore::onDrained(qint64 nowNs, QByteArray& out) {
    if (writeOwed_) {
        // Every single command written so far has left the host.
        writeOwed_ = false;
        push(stateEvent(LinkEvent::Kind::Drained));
    }
    afterStep(pacer_.onDrained(), nowNs, out);
}

void LinkCore::written() {
    owner_->lineWritten_.store(pacer_.sendPosition());
}

void LinkCore::lost() {
    pacer_.abandon();
    push(stateEvent(LinkEvent::Kind::Lost));
    postEvents();
}

} // namespace panelix
