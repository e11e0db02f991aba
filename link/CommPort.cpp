#include "link/CommPort.h"

#include "link/LinkCore.h"

#include <QCoreApplication>
#include <QEvent>

namespace panelix {

CommPort::CommPort(QObject* parent) : QObject(parent) {}

CommPort::~CommPort() {
    closeDevice();
}

void CommPort::setDevicePath(int port, const QString& path) {
    if (port == 1 || port == 2)
        paths_[port - 1] = path;
}

QString CommPort::devicePath(int port) const {
    return (port == 1 || port == 2) ? paths_[port - 1] : QString();
}

bool CommPort::selectPort(int port) {
    if (isOpen() || (port != 1 && port != 2))
        return false;
    selected_ = port;
    return true;
}

bool CommPort::setLineSettings(const QString& settings) {
    LineSettings parsed;
    if (!parseLineSettings(settings, &parsed))
        return false;
    settings_ = settings;
    baud_ = parsed.baud;
    if (backend_)
        backend_->apply(parsed);
    return true;
}

void CommPort::close() {
    closeDevice();
}

bool CommPort::open() {
    if (isOpen())
        return true;
    LineSettings settings;
    parseLineSettings(settings_, &settings);
    backend_ = PortBackend::open(devicePath(selected_), settings, this, &openError_, &error_);
    if (!backend_)
        return false;
    // A port opens with no transfer, but keeps its pacing.
    if (pacing_)
        backend_->core().setPacing(true);
    return true;
}

void CommPort::closeDevice() {
    if (!backend_)
        return;
    backend_.reset();
    // What the link thread said before it stopped belongs to a line that is gone;
    // its wake-up, if still queued, finds nothing.
    QCoreApplication::removePostedEvents(this, linkEventsType());
    inbox_.clear();
    next_ = 0;
    if (running_ || lastReply_ == 0xAA) {
        lastReply_ = 0;
        ++transfer_;
    }
    noteRunning(false);
}

void CommPort::setPacing(bool on) {
    pacing_ = on;
    noteRunning(running_ && on);
    if (backend_)
        backend_->core().setPacing(on);
}

bool CommPort::write(const QByteArray& bytes) {
    if (!backend_)
        return false;
    if (!bytes.isEmpty())
        backend_->core().write(bytes);
    return true;
}

bool CommPort::startTransfer(QByteArray image, qint32 total, const QByteArray& header) {
    if (!backend_)
        return false;
    ++transfer_;
    downloadImage_ = std::move(image);
    lastReply_ = 0;
    sendPosition_ = 0;
    lineWritten_.store(0);
    transferTotal_ = qint32(std::min<qsizetype>(std::max(total, 0), downloadImage_.size()));
    pacing_ = true;
    backend_->core().startTransfer(transfer_, downloadImage_, transferTotal_, header);
    noteRunning(false);
    return true;
}

void CommPort::abandonTransfer() {
    ++transfer_;
    pacing_ = false;
    if (lastReply_ == 0xAA)
        lastReply_ = 0;
    if (backend_)
        backend_->core().abandonTransfer(transfer_);
    noteRunning(false);
}

std::vector<std::int64_t> CommPort::drainLatenciesNs() const {
    return backend_ ? backend_->core().drainLatenciesNs() : std::vector<std::int64_t>();
}

void CommPort::noteRunning(bool running) {
    if (running == running_)
        return;
    running_ = running;
    emit runningChanged(running);
}

void CommPort::lostDevice() {
    closeDevice();
    openError_ = OpenError::NoDevice;
    error_ = QStringLiteral("device disconnected");
    pacing_ = false;
    emit disconnected();
}

// Events of a transfer state that has since been replaced (a new start, an
// abandon) still carry their reads, but no longer speak for the transfer.
void CommPort::deliver(LinkEvent& e) {
    const bool current = e.transfer == transfer_;
    if (current) {
        lastReply_ = e.lastReply;
        sendPosition_ = e.sendPosition;
        pacing_ = e.pacing;
    }
    switch (e.kind) {
    case LinkEvent::Kind::Received:
        emit received(e.bytes);
        break;
    case LinkEvent::Kind::Progress:
        if (current)
            emit transferProgress(e.sendPosition, e.total);
        break;
    case LinkEvent::Kind::Finished:
        if (current)
            emit transferFinished(e.total);
        break;
    case LinkEvent::Kind::ModuleError:
        if (current)
            emit moduleError(e.sendPosition);
        break;
    case LinkEvent::Kind::Running:
        break;
    case LinkEvent::Kind::Drained:
        emit drained();
        break;
    case LinkEvent::Kind::Lost:
        lostDevice();
        return;
    }
    if (current)
        noteRunning(e.running);
}

bool CommPort::event(QEvent* e) {
    if (e->type() != QEvent::Type(linkEventsType()))
        return QObject::event(e);
    if (!backend_)
        return true;
    for (LinkEvent& ev : backend_->core().takeEvents())
        inbox_.push_back(std::move(ev));
    // A handler that runs the event loop itself gets here again: the events it
    // brings wait behind the ones being delivered, so the order holds and no
    // notification is ever nested in a running handler.
    if (delivering_)
        return true;
    delivering_ = true;
    while (next_ < inbox_.size()) {
        LinkEvent ev = std::move(inbox_[next_++]);
        deliver(ev);
    }
    inbox_.clear();
    next_ = 0;
    delivering_ = false;
    return true;
}

} // namespace panelix
