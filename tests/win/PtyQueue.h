#pragma once

// Shared by the Wine stand-ins and bench/wine: the module's end tells the pty shim
// (tests/win/ptyshim.c) how many bytes it has taken off the line, so that the
// program's transmit queue (TIOCOUTQ, and so Wine's EV_TXEMPTY and ClearCommError)
// drains at the stand-in's line rate as a UART's does. Publish the name as
// PANELIX_PTY_QUEUE and the slave's path as PANELIX_PTY_SLAVE in the program's
// environment.
//
// The count is one long long in a POSIX shared memory object (/dev/shm/NAME) that the
// stand-in keeps up to date and the shim maps: a look at the queue costs the program
// no more than a driver's answer from kernel memory would, where a round trip to a
// thread of the stand-in would put that thread's wake-up into every look.

#include <atomic>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

class SharedCount {
public:
    explicit SharedCount(const std::string& name) : path_("/" + name) {
        const int fd = ::shm_open(path_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0 || ::ftruncate(fd, sizeof(std::atomic<long long>)) != 0) {
            std::fprintf(stderr, "pty queue: no shared count %s: %s\n", path_.c_str(), std::strerror(errno));
            if (fd >= 0) {
                ::close(fd);
                ::shm_unlink(path_.c_str());
            }
            return;
        }
        void* p = ::mmap(nullptr, sizeof(std::atomic<long long>), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
        ::close(fd);
        if (p == MAP_FAILED) {
            ::shm_unlink(path_.c_str());
            return;
        }
        value_ = new (p) std::atomic<long long>(0);
    }
    ~SharedCount() {
        if (value_) {
            ::munmap(value_, sizeof(std::atomic<long long>));
            ::shm_unlink(path_.c_str());
        }
    }
    SharedCount(const SharedCount&) = delete;
    SharedCount& operator=(const SharedCount&) = delete;

    bool ready() const { return value_ != nullptr; }
    // Also shared with children forked after construction.
    std::atomic<long long>& value() { return *value_; }

private:
    std::string path_;
    std::atomic<long long>* value_ = nullptr;
};
