// The serial port on POSIX systems: termios, exclusive open, and a link thread
// that waits in epoll on the device and on a wake-up descriptor, with the
// drained moment as its deadline.
#include "link/LinkCore.h"
#include "link/WakeMargin.h"

#include "common/FdIo.h"

#include <QFile>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <termios.h>
#include <thread>
#include <time.h>
#include <unistd.h>

namespace panelix {

namespace {

qint64 nowNs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return qint64(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

speed_t speedCode(int baud) {
    switch (baud) {
    case 110: return B110;
    case 300: return B300;
    case 600: return B600;
    case 1200: return B1200;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    case 230400: return B230400;
    case 460800: return B460800;
    default: return B921600;
    }
}

bool applyTermios(int fd, const LineSettings& s) {
    termios t{};
    if (tcgetattr(fd, &t) != 0)
        return false;
    cfmakeraw(&t);
    cfsetispeed(&t, speedCode(s.baud));
    cfsetospeed(&t, speedCode(s.baud));
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

DeviceOpener deviceOpener = nullptr;
std::atomic<bool> havePwait2{true};

} // namespace

void setDeviceOpener(DeviceOpener opener) {
    deviceOpener = opener;
}

void setEpollPwait2Available(bool available) {
    havePwait2 = available;
}

struct PortBackend::Impl {
    int fd = -1;
    int wakeFd = -1;
    int pollFd = -1; // epoll over fd and wakeFd
    std::atomic<bool> stop{false};
    std::atomic<qint64> byteNs{0};
    std::thread thread;

    void wake() const {
        const quint64 one = 1;
        [[maybe_unused]] auto w = ::write(wakeFd, &one, sizeof one);
    }
    void run(LinkCore& core);
    bool writeOut(const QByteArray& bytes, qint64* lineFreeNs);
    struct Ready {
        int result = 0;           // < 0: the wait failed (errno says why), 0: timed out
        std::uint32_t device = 0; // the device's epoll events
        bool woken = false;       // the owning thread has commands
    };
    Ready wait(const timespec* timeout);
};

// The descriptors are registered once, so a wait costs about what a plain sleep
// costs; a poll() would register with the terminal's wait queues at every chunk.
// Kernels before 5.11 lack epoll_pwait2; there the epoll descriptor itself is
// polled, which keeps the nanosecond deadline.
PortBackend::Impl::Ready PortBackend::Impl::wait(const timespec* timeout) {
    epoll_event events[2];
    Ready r;
    if (havePwait2.load(std::memory_order_relaxed)) {
        r.result = ::epoll_pwait2(pollFd, events, 2, timeout, nullptr);
        if (r.result < 0 && errno == ENOSYS)
            havePwait2 = false;
    }
    if (!havePwait2.load(std::memory_order_relaxed)) {
        pollfd p{pollFd, POLLIN, 0};
        r.result = ::ppoll(&p, 1, timeout, nullptr);
        if (r.result > 0)
            r.result = ::epoll_wait(pollFd, events, 2, 0);
    }
    for (int i = 0; i < r.result; ++i) {
        if (events[i].data.fd == fd)
            r.device = events[i].events;
        else
            r.woken = true;
    }
    return r;
}

bool PortBackend::Impl::writeOut(const QByteArray& bytes, qint64* lineFreeNs) {
    const qint64 start = std::max(nowNs(), *lineFreeNs);
    // A full driver buffer is waited out, but the thread stays stoppable.
    if (!writeAll(fd, bytes, [this] { return !stop.load(); }))
        return false;
    *lineFreeNs = start + qint64(bytes.size()) * byteNs.load();
    return true;
}

void PortBackend::Impl::run(LinkCore& core) {
    // Wake-ups must land within microseconds of the computed moment.
    prctl(PR_SET_TIMERSLACK, 1000UL, 0UL, 0UL, 0UL);
    qint64 lineFreeNs = 0;
    bool owesDrain = false; // bytes were written and their drained moment is still to come
    QByteArray out;
    QByteArray in;
    // Writes what is waiting in out; false when the device failed.
    const auto flush = [&] {
        if (out.isEmpty())
            return true;
        if (!writeOut(out, &lineFreeNs))
            return false;
        core.written();
        out.clear();
        owesDrain = true;
        return true;
    };
    WakeMargin early;
    while (!stop.load()) {
        core.takeCommands(out);
        if (!flush())
            break;

        const qint64 drainNs = lineFreeNs - byteNs.load();
        const qint64 wakeNs = drainNs - early.margin();
        timespec timeout{};
        timespec* wait = nullptr;
        if (owesDrain) {
            const qint64 left = std::max<qint64>(0, wakeNs - nowNs());
            timeout = {time_t(left / 1000000000), long(left % 1000000000)};
            wait = &timeout;
        }
        core.postEvents();
        const Ready ready = this->wait(wait);
        if (ready.result < 0 && errno != EINTR)
            break;
        if (ready.result == 0 && owesDrain)
            early.observe(nowNs() - wakeNs);
        if (ready.woken) {
            quint64 count = 0;
            [[maybe_unused]] auto r = ::read(wakeFd, &count, sizeof count);
            // Commands first: a reply read in the same wake-up as a start answers
            // the transfer that start began.
            core.takeCommands(out);
            if (!flush())
                break;
        }
        if (ready.device & (EPOLLIN | EPOLLHUP | EPOLLERR)) {
            in.clear();
            const bool alive = readWaiting(fd, &in);
            if (!in.isEmpty())
                core.onRead(in, nowNs(), out);
            if (!alive || (in.isEmpty() && (ready.device & (EPOLLHUP | EPOLLERR)))) {
                // End of file or an I/O error on a terminal: the device is gone.
                core.lost();
                return;
            }
            if (!flush())
                break;
        }
        // Bytes written while handling the wake-up move the drained moment on.
        if (!owesDrain || lineFreeNs - byteNs.load() != drainNs || nowNs() < wakeNs)
            continue;
        // Woken early on purpose: the last microseconds are waited out on the clock.
        while (nowNs() < drainNs) {
        }
        int queued = 0;
        if (::ioctl(fd, TIOCOUTQ, &queued) == 0 && queued > 0) {
            // The device is behind the model (a slower clock, flow control):
            // follow the bytes it still holds.
            lineFreeNs = nowNs() + qint64(queued + 1) * byteNs.load();
            continue;
        }
        // Drained: the last byte has entered the transmitter, one byte time
        // before the line falls idle. Writing the next bytes now keeps the
        // line busy without a gap.
        owesDrain = false;
        core.onDrained(nowNs(), out);
        if (!out.isEmpty())
            core.recordDrainLatency(nowNs() - drainNs);
        if (!flush())
            break;
    }
    // A failed write or poll: the device is as good as gone.
    if (!stop.load())
        core.lost();
    core.postEvents();
}

PortBackend::PortBackend() = default;

std::unique_ptr<PortBackend> PortBackend::openDevice(const QString& path, const LineSettings& settings, CommPort* owner,
                                               OpenError* error, QString* text) {
    auto fail = [&](OpenError e, const QString& why) {
        *error = e;
        *text = why;
        return std::unique_ptr<PortBackend>();
    };
    if (path.isEmpty())
        return fail(OpenError::NoDevice, QStringLiteral("no device"));
    const QByteArray native = QFile::encodeName(path);
    const int flags = O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC;
    const int fd = deviceOpener ? deviceOpener(native.constData(), flags) : ::open(native.constData(), flags);
    if (fd < 0) {
        const int e = errno;
        const QString why = QString::fromLocal8Bit(strerror(e));
        if (e == ENOENT || e == ENODEV || e == ENXIO || e == ENOTDIR)
            return fail(OpenError::NoDevice, why);
        if (e == EACCES || e == EPERM)
            return fail(OpenError::NoPermission, why);
        if (e == EBUSY)
            return fail(OpenError::InUse, why);
        return fail(OpenError::Unknown, why);
    }
    // A serial line is a terminal, but neither our own controlling terminal (its
    // settings belong to the shell; changing them from the background stops us)
    // nor the master side of a pseudo-terminal.
    int ptyNumber = 0;
    if (!isatty(fd) || tcgetsid(fd) != -1 || ::ioctl(fd, TIOCGPTN, &ptyNumber) == 0) {
        ::close(fd);
        return fail(OpenError::NotSerial, QStringLiteral("not a serial device"));
    }
    // A port in use cannot be opened: a second program must never interleave its
    // bytes with ours. TIOCEXCL stops other openers, flock also those run as root.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return fail(OpenError::InUse, QStringLiteral("port in use"));
    }
    ::ioctl(fd, TIOCEXCL);
    if (!applyTermios(fd, settings)) {
        ::ioctl(fd, TIOCNXCL);
        ::close(fd);
        return fail(OpenError::NotSerial, QStringLiteral("cannot set line settings"));
    }
    tcflush(fd, TCIOFLUSH);

    std::unique_ptr<PortBackend> backend(new PortBackend);
    backend->impl_ = std::make_unique<Impl>();
    Impl* impl = backend->impl_.get();
    impl->fd = fd;
    impl->wakeFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    impl->pollFd = epoll_create1(EPOLL_CLOEXEC);
    epoll_event device{EPOLLIN, {.fd = fd}};
    epoll_event wake{EPOLLIN, {.fd = impl->wakeFd}};
    if (impl->wakeFd < 0 || impl->pollFd < 0 || epoll_ctl(impl->pollFd, EPOLL_CTL_ADD, fd, &device) != 0 ||
        epoll_ctl(impl->pollFd, EPOLL_CTL_ADD, impl->wakeFd, &wake) != 0) {
        const QString why = QString::fromLocal8Bit(strerror(errno));
        backend.reset(); // closes what was opened
        return fail(OpenError::Unknown, why);
    }
    impl->byteNs = byteTimeNs(settings);
    backend->core_ = std::make_unique<LinkCore>(owner, [impl] { impl->wake(); });
    LinkCore* core = backend->core_.get();
    core->setPostsDeferred(true);
    impl->thread = std::thread([impl, core] { impl->run(*core); });
    *error = OpenError::None;
    text->clear();
    return backend;
}

bool PortBackend::applyDevice(const LineSettings& settings) {
    impl_->byteNs = byteTimeNs(settings);
    return applyTermios(impl_->fd, settings);
}

PortBackend::~PortBackend() {
    if (!impl_)
        return;
    impl_->stop = true;
    impl_->wake();
    if (impl_->thread.joinable())
        impl_->thread.join();
    ::ioctl(impl_->fd, TIOCNXCL);
    ::flock(impl_->fd, LOCK_UN);
    ::close(impl_->fd);
    if (impl_->wakeFd >= 0)
        ::close(impl_->wakeFd);
    if (impl_->pollFd >= 0)
        ::close(impl_->pollFd);
}

} // namespace panelix
