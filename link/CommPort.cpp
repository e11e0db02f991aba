#include "link/CommPort.h"

#include "common/FdIo.h"

#include <QCoreApplication>
#include <QEvent>
#include <QSocketNotifier>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace panelix {

namespace {

using Clock = std::chrono::steady_clock;

qint64 nowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count();
}

const QEvent::Type DrainedType = QEvent::Type(QEvent::registerEventType());
const QEvent::Type LostType = QEvent::Type(QEvent::registerEventType());
const QEvent::Type ReceiveType = QEvent::Type(QEvent::registerEventType());

struct DrainedEvent : QEvent {
    DrainedEvent(quint64 g, qint64 at) : QEvent(DrainedType), generation(g), drainedNs(at) {}
    quint64 generation;
    qint64 drainedNs;
};

struct LostEvent : QEvent {
    explicit LostEvent(quint64 g) : QEvent(LostType), generation(g) {}
    quint64 generation;
};

struct Speed {
    int baud;
    speed_t code;
};
constexpr Speed speeds[] = {{110, B110},       {300, B300},       {600, B600},       {1200, B1200},
                            {2400, B2400},     {4800, B4800},     {9600, B9600},     {19200, B19200},
                            {38400, B38400},   {57600, B57600},   {115200, B115200}, {230400, B230400},
                            {460800, B460800}, {921600, B921600}};

struct LineSettings {
    int baud = 9600;
    char parity = 'n';
    int dataBits = 8;
    int stopBits = 1;
};

bool parseSettings(const QString& text, LineSettings* out) {
    const QStringList parts = text.trimmed().toLower().split(',');
    if (parts.size() != 4)
        return false;
    bool ok = false;
    LineSettings s;
    s.baud = parts[0].trimmed().toInt(&ok);
    if (!ok)
        return false;
    bool known = false;
    for (const Speed& sp : speeds)
        known = known || sp.baud == s.baud;
    const QString parity = parts[1].trimmed();
    if (!known || parity.size() != 1 || !QStringLiteral("neo").contains(parity))
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

} // namespace

// Writes queued bytes to the device and follows them out on the line; posts a
// drained event to the port each time the queue has run empty after a write.
class DrainWorker {
public:
    DrainWorker(int fd, int baud, CommPort* target, quint64 generation)
        : fd_(fd), target_(target), generation_(generation) {
        setBaud(baud);
        thread_ = std::thread([this] { run(); });
    }
    ~DrainWorker() {
        {
            std::lock_guard lock(mutex_);
            stop_ = true;
        }
        wake_.notify_all();
        thread_.join();
    }
    void setBaud(int baud) {
        // 10 bits a byte: start, 8 data, stop (the line runs 8N1).
        byteNs_ = qint64(10) * 1000000000 / (baud > 0 ? baud : 9600);
    }
    // wake false: the caller kicks once after queueing several writes.
    void enqueue(const QByteArray& bytes, bool wake) {
        bool wasEmpty;
        {
            std::lock_guard lock(mutex_);
            wasEmpty = pending_.isEmpty();
            pending_.append(bytes);
        }
        if (wasEmpty && wake)
            wake_.notify_one();
    }
    void kick() { wake_.notify_one(); }

private:
    bool stopping() {
        std::lock_guard lock(mutex_);
        return stop_;
    }

    void run() {
        // Wake-ups must land within microseconds of the computed moment.
        prctl(PR_SET_TIMERSLACK, 1000UL, 0UL, 0UL, 0UL);
        qint64 lineFreeNs = 0;
        bool owesDrain = false;
        std::unique_lock lock(mutex_);
        for (;;) {
            if (stop_)
                return;
            if (!pending_.isEmpty()) {
                QByteArray chunk;
                chunk.swap(pending_);
                lock.unlock();
                // A full driver buffer is waited out, but the worker stays stoppable.
                if (!writeAll(fd_, chunk, [this] { return !stopping(); })) {
                    QCoreApplication::postEvent(target_, new LostEvent(generation_));
                    lock.lock();
                    wake_.wait(lock, [this] { return stop_; });
                    return;
                }
                const qint64 byteNs = byteNs_;
                const qint64 start = std::max(nowNs(), lineFreeNs);
                lineFreeNs = start + qint64(chunk.size()) * byteNs;
                owesDrain = true;
                lock.lock();
                continue;
            }
            if (owesDrain) {
                // Drained: the last byte has left the queue and entered the transmitter,
                // one byte time before the line falls idle. Announcing it then lets the
                // next bytes follow without a gap.
                const qint64 drainNs = lineFreeNs - byteNs_;
                if (nowNs() < drainNs) {
                    const auto deadline = Clock::time_point(std::chrono::nanoseconds(drainNs));
                    if (wake_.wait_until(lock, deadline, [this] { return stop_ || !pending_.isEmpty(); }))
                        continue;
                }
                lock.unlock();
                int queued = 0;
                if (::ioctl(fd_, TIOCOUTQ, &queued) == 0 && queued > 0) {
                    // The device is behind the model (a slower clock, flow control):
                    // follow the bytes it still holds.
                    lineFreeNs = nowNs() + qint64(queued + 1) * byteNs_;
                    lock.lock();
                    continue;
                }
                QCoreApplication::postEvent(target_, new DrainedEvent(generation_, nowNs()));
                owesDrain = false;
                lock.lock();
                continue;
            }
            wake_.wait(lock, [this] { return stop_ || !pending_.isEmpty(); });
        }
    }

    int fd_;
    CommPort* target_;
    quint64 generation_;
    std::atomic<qint64> byteNs_{0};
    std::mutex mutex_;
    std::condition_variable wake_;
    QByteArray pending_;
    bool stop_ = false;
    std::thread thread_;
};

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

bool CommPort::setCommPort(int port) {
    if (portOpen() || (port != 1 && port != 2))
        return false;
    commPort_ = port;
    return true;
}

bool CommPort::setSettings(const QString& settings) {
    LineSettings parsed;
    if (!parseSettings(settings, &parsed))
        return false;
    settings_ = settings;
    baud_ = parsed.baud;
    if (fd_ >= 0) {
        applySettings(fd_);
        worker_->setBaud(baud_);
    }
    return true;
}

bool CommPort::applySettings(int fd) {
    LineSettings s;
    parseSettings(settings_, &s);
    termios t{};
    if (tcgetattr(fd, &t) != 0)
        return false;
    cfmakeraw(&t);
    for (const Speed& sp : speeds) {
        if (sp.baud == s.baud) {
            cfsetispeed(&t, sp.code);
            cfsetospeed(&t, sp.code);
        }
    }
    t.c_cflag &= ~tcflag_t(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
    t.c_cflag |= CLOCAL | CREAD;
    switch (s.dataBits) {
    case 5: t.c_cflag |= CS5; break;
    case 6: t.c_cflag |= CS6; break;
    case 7: t.c_cflag |= CS7; break;
    default: t.c_cflag |= CS8; break;
    }
    if (s.parity != 'n')
        t.c_cflag |= PARENB | (s.parity == 'o' ? PARODD : 0);
    if (s.stopBits == 2)
        t.c_cflag |= CSTOPB;
    t.c_iflag &= ~tcflag_t(IXON | IXOFF | IXANY);
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    return tcsetattr(fd, TCSANOW, &t) == 0;
}

bool CommPort::setPortOpen(bool open) {
    if (!open) {
        closeDevice();
        return true;
    }
    if (portOpen())
        return true;
    const QString path = devicePath(commPort_);
    if (path.isEmpty()) {
        error_ = QStringLiteral("no device for port %1").arg(commPort_);
        return false;
    }
    const QByteArray native = path.toLocal8Bit();
    const int fd = ::open(native.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error_ = QString::fromLocal8Bit(strerror(errno));
        return false;
    }
    // A serial line is a terminal, but neither our own controlling terminal (its
    // settings belong to the shell; changing them from the background stops us)
    // nor the master side of a pseudo-terminal.
    int ptyNumber = 0;
    if (!isatty(fd) || tcgetsid(fd) != -1 || ::ioctl(fd, TIOCGPTN, &ptyNumber) == 0) {
        ::close(fd);
        error_ = QStringLiteral("not a serial device");
        return false;
    }
    // A port in use cannot be opened: a second program must never interleave its
    // bytes with ours. TIOCEXCL stops other openers, flock also those run as root.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        error_ = QStringLiteral("port in use");
        return false;
    }
    ::ioctl(fd, TIOCEXCL);
    if (!applySettings(fd)) {
        ::ioctl(fd, TIOCNXCL);
        ::close(fd);
        error_ = QStringLiteral("cannot set line settings");
        return false;
    }
    tcflush(fd, TCIOFLUSH);
    fd_ = fd;
    ++generation_;
    error_.clear();
    rx_.clear();
    worker_ = std::make_unique<DrainWorker>(fd_, baud_, this, generation_);
    notifier_ = new QSocketNotifier(fd_, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &CommPort::readArrived);
    updateNotifier();
    return true;
}

void CommPort::closeDevice() {
    if (fd_ < 0)
        return;
    delete notifier_;
    notifier_ = nullptr;
    worker_.reset();
    ::ioctl(fd_, TIOCNXCL);
    ::flock(fd_, LOCK_UN);
    ::close(fd_);
    fd_ = -1;
    ++generation_;
    rx_.clear();
    receivePending_ = false;
}

void CommPort::setRThreshold(int value) {
    rThreshold_ = value;
    updateNotifier();
}

void CommPort::updateNotifier() {
    if (notifier_)
        notifier_->setEnabled(rThreshold_ > 0);
}

bool CommPort::output(const QByteArray& bytes) {
    if (fd_ < 0)
        return false;
    if (!bytes.isEmpty()) {
        // Inside a notification the handler usually writes two single bytes: hand
        // them to the worker together when it returns.
        worker_->enqueue(bytes, !inHandler_);
        kickPending_ = kickPending_ || inHandler_;
    }
    return true;
}

QByteArray CommPort::input() {
    // A hang-up found here is reported by the next receive notification.
    if (fd_ >= 0)
        readWaiting(fd_, &rx_);
    QByteArray out;
    out.swap(rx_);
    return out;
}

void CommPort::readArrived() {
    if (!readWaiting(fd_, &rx_)) {
        // End of file or an I/O error on a terminal: the device is gone.
        lostDevice();
        return;
    }
    // Nobody reads when RThreshold is 0 elsewhere; keep the newest bytes only.
    constexpr qsizetype keep = 1 << 20;
    if (rx_.size() > keep)
        rx_.remove(0, rx_.size() - keep);
    if (rx_.isEmpty())
        return;
    if (inHandler_) {
        if (!receivePending_) {
            receivePending_ = true;
            QCoreApplication::postEvent(this, new QEvent(ReceiveType));
        }
        return;
    }
    deliver(comEvReceive);
}

void CommPort::deliver(int event) {
    commEvent_ = event;
    inHandler_ = true;
    emit onComm();
    inHandler_ = false;
    if (kickPending_) {
        kickPending_ = false;
        if (worker_)
            worker_->kick();
    }
}

void CommPort::lostDevice() {
    closeDevice();
    error_ = QStringLiteral("device disconnected");
    emit disconnected();
}

bool CommPort::event(QEvent* e) {
    if (e->type() == DrainedType) {
        auto* d = static_cast<DrainedEvent*>(e);
        if (d->generation != generation_ || fd_ < 0)
            return true;
        if (inHandler_) {
            // Never nested in a running handler: try again after it.
            QCoreApplication::postEvent(this, new DrainedEvent(d->generation, d->drainedNs));
            return true;
        }
        if (sThreshold_ != 1)
            return true;
        lastDrainLatencyNs_ = nowNs() - d->drainedNs;
        deliver(comEvSend);
        return true;
    }
    if (e->type() == LostType) {
        if (static_cast<LostEvent*>(e)->generation == generation_ && fd_ >= 0)
            lostDevice();
        return true;
    }
    if (e->type() == ReceiveType) {
        if (inHandler_) {
            QCoreApplication::postEvent(this, new QEvent(ReceiveType));
            return true;
        }
        receivePending_ = false;
        if (!rx_.isEmpty())
            deliver(comEvReceive);
        return true;
    }
    return QObject::event(e);
}

} // namespace panelix
