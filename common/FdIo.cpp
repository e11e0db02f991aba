#include "common/FdIo.h"

#include <cerrno>
#include <poll.h>
#include <unistd.h>

namespace panelix {

bool readWaiting(int fd, QByteArray* out) {
    char buf[4096];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n > 0) {
            out->append(buf, n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        return n < 0 && errno == EAGAIN;
    }
}

bool writeAll(int fd, const QByteArray& bytes, const std::function<bool()>& keepWaiting) {
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n > 0) {
            done += n;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN) {
            pollfd p{fd, POLLOUT, 0};
            ::poll(&p, 1, 50);
            if (p.revents & (POLLERR | POLLNVAL))
                return false;
            if (!keepWaiting())
                return true;
            continue;
        }
        return false;
    }
    return true;
}

} // namespace panelix
