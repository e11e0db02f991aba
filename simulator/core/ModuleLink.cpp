#include "simulator/core/ModuleLink.h"

#include <algorithm>

namespace panelix {

ModuleLink::ModuleLink(Pty& pty, QObject* parent) : ModuleLink(parent) {
    pty_ = &pty;
    openWake();
}

ModuleLink::ModuleLink(QObject* parent) : QObject(parent) {
    qRegisterMetaType<QVector<panelix::ModuleEvent>>();
    core_.setEventSink([this](const ModuleEvent& event) { events_.push_back(event); });
}

ModuleLink::~ModuleLink() {
    stop();
    closeWake();
}

Frame ModuleLink::frame() const {
    notifyPending_ = false;
    std::lock_guard lock(mutex_);
    return core_.frame();
}

bool ModuleLink::backlight() const {
    notifyPending_ = false;
    std::lock_guard lock(mutex_);
    return core_.backlight();
}

ModuleCounters ModuleLink::counters() const {
    std::lock_guard lock(mutex_);
    return core_.counters();
}

QByteArray ModuleLink::imageMemory() const {
    std::lock_guard lock(mutex_);
    return core_.imageMemory();
}

QByteArray ModuleLink::fontMemory() const {
    std::lock_guard lock(mutex_);
    return core_.fontMemory();
}

ImageDirectory ModuleLink::directory() const {
    std::lock_guard lock(mutex_);
    return core_.directory();
}

void ModuleLink::powerCycle() {
    withCore([](ModuleCore& core) { core.powerCycle(); });
    if (!notifyPending_.exchange(true))
        emit displayChanged();
}

void ModuleLink::withCore(const std::function<void(ModuleCore&)>& fn) {
    std::lock_guard lock(mutex_);
    fn(core_);
}

bool ModuleLink::waitForBytesIn(qint64 count, int timeoutMs) const {
    std::unique_lock lock(mutex_);
    return taken_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                           [&] { return core_.counters().bytesIn >= count; });
}

QByteArray ModuleLink::process(const QByteArray& bytes, qint64 nowNs) {
    QByteArray replies;
    QVector<ModuleEvent> events;
    quint64 generation = 0;
    {
        std::lock_guard lock(mutex_);
        replies = core_.feed(bytes);
        events.swap(events_);
        generation = core_.displayGeneration();
        quietDeadlineMs_ = core_.quietDeadlineMs();
    }
    taken_.notify_all();
    lastByteNs_ = nowNs;
    publish(events, generation);
    return replies;
}

QByteArray ModuleLink::quiet(qint64 nowNs) {
    QByteArray replies;
    QVector<ModuleEvent> events;
    quint64 generation = 0;
    {
        std::lock_guard lock(mutex_);
        replies = core_.lineQuiet((nowNs - lastByteNs_) / 1000000);
        events.swap(events_);
        generation = core_.displayGeneration();
        quietDeadlineMs_ = core_.quietDeadlineMs();
    }
    // Counted afresh, so a state that outlives its pause is not checked in a loop.
    lastByteNs_ = nowNs;
    publish(events, generation);
    return replies;
}

void ModuleLink::publish(QVector<ModuleEvent>& events, quint64 generation) {
    if (!events.isEmpty())
        emit eventsLogged(events);
    if (generation != publishedGeneration_) {
        publishedGeneration_ = generation;
        if (!notifyPending_.exchange(true))
            emit displayChanged();
    }
}

qint64 ModuleLink::idleDeadlineNs() const {
    return quietDeadlineMs_ >= 0 ? lastByteNs_ + qint64(quietDeadlineMs_) * 1000000 : -1;
}

void ModuleLink::receive(const QByteArray& bytes, qint64 atNs, QByteArray* replies) {
    replies->append(process(bytes, atNs));
}

void ModuleLink::idle(qint64 nowNs, QByteArray* replies) {
    replies->append(quiet(nowNs));
}

} // namespace panelix
