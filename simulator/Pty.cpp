#include "simulator/Pty.h"

#include "common/FdIo.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

namespace panelix {

namespace {
qint64 nowMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return qint64(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}
} // namespace

Pty::~Pty() {
    closeMaster();
    releaseSlave();
}

bool Pty::open() {
    int master = -1;
    int slave = -1;
    char name[256] = {};
    if (::openpty(&master, &slave, name, nullptr, nullptr) != 0)
        return false;
    termios t{};
    if (tcgetattr(slave, &t) == 0) {
        cfmakeraw(&t);
        cfsetispeed(&t, B19200);
        cfsetospeed(&t, B19200);
        tcsetattr(slave, TCSANOW, &t);
    }
    if (tcgetattr(master, &t) == 0) {
        cfmakeraw(&t);
        tcsetattr(master, TCSANOW, &t);
    }
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    fcntl(master, F_SETFD, FD_CLOEXEC);
    fcntl(slave, F_SETFD, FD_CLOEXEC);
    master_ = master;
    spareSlave_ = slave;
    slavePath_ = QString::fromLocal8Bit(name);
    return true;
}

void Pty::releaseSlave() {
    if (spareSlave_ >= 0) {
        ::close(spareSlave_);
        spareSlave_ = -1;
    }
}

void Pty::closeMaster() {
    if (master_ >= 0) {
        ::close(master_);
        master_ = -1;
    }
}

bool Pty::writeAll(const QByteArray& bytes) {
    return panelix::writeAll(master_, bytes, [] { return true; });
}

QByteArray Pty::readAvailable() {
    QByteArray out;
    readWaiting(master_, &out);
    return out;
}

QByteArray Pty::readExactly(int count, int timeoutMs) {
    QByteArray out;
    const qint64 deadline = nowMs() + timeoutMs;
    while (out.size() < count) {
        const qint64 left = deadline - nowMs();
        if (left <= 0)
            break;
        pollfd p{master_, POLLIN, 0};
        if (::poll(&p, 1, int(left)) <= 0)
            continue;
        if (p.revents & (POLLHUP | POLLERR)) {
            out.append(readAvailable());
            if (!(p.revents & POLLIN))
                ::usleep(1000);
            continue;
        }
        out.append(readAvailable());
    }
    return out;
}

QByteArray Pty::readUntilQuiet(int quietMs, int totalMs) {
    QByteArray out;
    const qint64 deadline = nowMs() + totalMs;
    for (;;) {
        const qint64 left = deadline - nowMs();
        if (left <= 0)
            break;
        pollfd p{master_, POLLIN, 0};
        const int r = ::poll(&p, 1, int(std::min<qint64>(left, quietMs)));
        if (r <= 0)
            break;
        const QByteArray got = readAvailable();
        if (got.isEmpty() && (p.revents & (POLLHUP | POLLERR)))
            break;
        out.append(got);
    }
    return out;
}

} // namespace panelix
