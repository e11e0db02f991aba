/* Preloaded into Wine so that a pseudo-terminal passes for a serial port.
 *
 * A pty has no modem lines: TIOCMGET and friends fail with ENOTTY there, and
 * Wine gives up on every WaitCommEvent (and on SetCommState's DTR/RTS changes)
 * when they do. On a pty slave this library answers them as a cable with its
 * handshake lines up would: DSR, CTS and CD always on, DTR and RTS as last set.
 *
 * A pty also has no transmit queue: TIOCOUTQ says 0 as soon as a write is
 * through, so Wine's EV_TXEMPTY would only mean "the pty took the bytes". When
 * the module stand-in publishes its end (PANELIX_PTY_SLAVE names the slave,
 * PANELIX_PTY_QUEUE a POSIX shared memory object, /dev/shm/NAME, holding as a
 * long long how many bytes it has taken in all; tests/win/PtyQueue.h), TIOCOUTQ on that slave is the bytes written to it and not yet
 * read there: the queue then drains at the stand-in's line rate, as a UART's
 * does. (The count of the master's unread bytes would not do: a pty hands
 * written bytes over to the master side later, from a kernel work queue.)
 *
 * Every other descriptor, request and failure goes to the real ioctl untouched;
 * in particular a hung-up pty keeps failing with EIO, as an unplugged adapter
 * does.
 *
 * Built natively: gcc -shared -fPIC -O2 -o ptyshim.so ptyshim.c -ldl
 */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <stdarg.h>
#include <stddef.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/uio.h>
#include <termios.h>
#include <unistd.h>

/* Unix98 pty slaves: majors 136 to 143. */
static int is_pty_slave(int fd) {
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode))
        return 0;
    return major(st.st_rdev) >= 136 && major(st.st_rdev) <= 143;
}

/* DTR and RTS as set through this descriptor; both on at first, as a port
 * opened on Linux has them. */
#define TRACKED_FDS 1024
static int output_lines[TRACKED_FDS];
static unsigned char tracked[TRACKED_FDS];

static int* lines_of(int fd) {
    if (fd < 0 || fd >= TRACKED_FDS)
        return 0;
    if (!tracked[fd]) {
        tracked[fd] = 1;
        output_lines[fd] = TIOCM_DTR | TIOCM_RTS;
    }
    return &output_lines[fd];
}

/* The stand-in's slave, by device number. */
static int is_published_slave(int fd) {
    static int known; /* 0 not looked up, 1 none, 2 published_rdev holds it */
    static dev_t published_rdev;
    if (!known) {
        const char* path = getenv("PANELIX_PTY_SLAVE");
        struct stat published;
        if (path && stat(path, &published) == 0 && S_ISCHR(published.st_mode)) {
            published_rdev = published.st_rdev;
            known = 2;
        } else {
            known = 1;
        }
    }
    struct stat mine;
    return known == 2 && fstat(fd, &mine) == 0 && S_ISCHR(mine.st_mode) && mine.st_rdev == published_rdev;
}

/* Bytes written to the published slave by this process. A write is counted
 * before it starts and its unwritten part taken back after, so the count is
 * never behind what the other end can have read. */
static long long written_to_slave;

/* Bytes the stand-in has taken in all, or -1 when it does not say. The count is
 * mapped once and read without a system call. */
static long long taken_bytes(void) {
    static const long long* count;
    static int looked;
    const long long* mapped = __atomic_load_n(&count, __ATOMIC_ACQUIRE);
    if (!mapped && !__atomic_load_n(&looked, __ATOMIC_ACQUIRE)) {
        const char* name = getenv("PANELIX_PTY_QUEUE");
        char path[256];
        if (name && strchr(name, '/') == NULL && snprintf(path, sizeof path, "/dev/shm/%s", name) < (int)sizeof path) {
            const int fd = open(path, O_RDONLY | O_CLOEXEC);
            if (fd >= 0) {
                void* p = mmap(NULL, sizeof(long long), PROT_READ, MAP_SHARED, fd, 0);
                close(fd);
                if (p != MAP_FAILED) {
                    const long long* none = NULL;
                    /* Another thread may have mapped it meanwhile: keep one. */
                    if (!__atomic_compare_exchange_n(&count, &none, (const long long*)p, 0, __ATOMIC_ACQ_REL,
                                                     __ATOMIC_ACQUIRE))
                        munmap(p, sizeof(long long));
                }
            }
        }
        __atomic_store_n(&looked, 1, __ATOMIC_RELEASE);
        mapped = __atomic_load_n(&count, __ATOMIC_ACQUIRE);
    }
    return mapped ? __atomic_load_n(mapped, __ATOMIC_SEQ_CST) : -1;
}

typedef ssize_t (*write_fn)(int, const void*, size_t);
typedef ssize_t (*writev_fn)(int, const struct iovec*, int);

static ssize_t counted_write(int fd, size_t count, ssize_t (*call)(void*), void* args) {
    const int counted = count > 0 && is_published_slave(fd);
    if (counted)
        __atomic_add_fetch(&written_to_slave, (long long)count, __ATOMIC_SEQ_CST);
    const ssize_t n = call(args);
    if (counted) {
        const int saved = errno;
        __atomic_sub_fetch(&written_to_slave, (long long)count - (n > 0 ? (long long)n : 0),
                           __ATOMIC_SEQ_CST);
        errno = saved;
    }
    return n;
}

struct write_args {
    int fd;
    const void* buf;
    size_t count;
};
static ssize_t call_write(void* p) {
    static write_fn real_write;
    if (!real_write)
        real_write = (write_fn)dlsym(RTLD_NEXT, "write");
    const struct write_args* a = p;
    return real_write(a->fd, a->buf, a->count);
}
ssize_t write(int fd, const void* buf, size_t count) {
    struct write_args a = {fd, buf, count};
    return counted_write(fd, count, call_write, &a);
}

struct writev_args {
    int fd;
    const struct iovec* iov;
    int iovcnt;
};
static ssize_t call_writev(void* p) {
    static writev_fn real_writev;
    if (!real_writev)
        real_writev = (writev_fn)dlsym(RTLD_NEXT, "writev");
    const struct writev_args* a = p;
    return real_writev(a->fd, a->iov, a->iovcnt);
}
ssize_t writev(int fd, const struct iovec* iov, int iovcnt) {
    size_t count = 0;
    for (int i = 0; i < iovcnt; ++i)
        count += iov[i].iov_len;
    struct writev_args a = {fd, iov, iovcnt};
    return counted_write(fd, count, call_writev, &a);
}

typedef int (*ioctl_fn)(int, unsigned long, ...);

int ioctl(int fd, unsigned long request, ...) {
    static ioctl_fn real_ioctl;
    if (!real_ioctl)
        real_ioctl = (ioctl_fn)dlsym(RTLD_NEXT, "ioctl");

    va_list ap;
    va_start(ap, request);
    void* arg = va_arg(ap, void*);
    va_end(ap);

    const int result = real_ioctl(fd, request, arg);
    if (result == 0 && request == TIOCOUTQ && arg && is_published_slave(fd)) {
        const long long taken = taken_bytes();
        if (taken >= 0) {
            const long long untaken = __atomic_load_n(&written_to_slave, __ATOMIC_SEQ_CST) - taken;
            *(int*)arg = untaken > 0 ? (int)untaken : 0;
        }
    }
    if (result == 0 || (errno != ENOTTY && errno != EINVAL))
        return result;
    switch (request) {
    case TIOCMGET:
    case TIOCMSET:
    case TIOCMBIS:
    case TIOCMBIC:
    case TIOCMIWAIT:
        break;
    default:
        return result;
    }
    const int saved = errno;
    int* lines = is_pty_slave(fd) ? lines_of(fd) : 0;
    if (!lines) {
        errno = saved;
        return result;
    }
    const int value = arg ? *(const int*)arg : 0;
    switch (request) {
    case TIOCMGET:
        if (!arg) {
            errno = EFAULT;
            return -1;
        }
        *(int*)arg = *lines | TIOCM_DSR | TIOCM_CTS | TIOCM_CD;
        return 0;
    case TIOCMSET:
        *lines = value & (TIOCM_DTR | TIOCM_RTS);
        return 0;
    case TIOCMBIS:
        *lines |= value & (TIOCM_DTR | TIOCM_RTS);
        return 0;
    case TIOCMBIC:
        *lines &= ~(value & (TIOCM_DTR | TIOCM_RTS));
        return 0;
    default: {
        /* TIOCMIWAIT: no input line ever changes on a pty, so the wait lasts
         * until the line goes away, and then fails as it would on a real port. */
        struct pollfd p = {fd, 0, 0};
        while (poll(&p, 1, -1) < 0 && errno == EINTR) {
        }
        errno = EIO;
        return -1;
    }
    }
}
