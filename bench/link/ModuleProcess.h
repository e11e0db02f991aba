#pragma once

// A module in a child process on the master side of a pty, so that the CPU time
// of the sending process is its own. The child reads at line rate (or as fast
// as it can), answers as the protocol says, and reports when it has taken
// `expect` bytes.
#include "simulator/Pty.h"
#include "support/ScriptedModule.h"

#include <QDir>
#include <QFile>
#include <QSocketNotifier>
#include <QtGlobal>

#include <csignal>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace panelix::bench {

struct ModuleReport {
    qint64 firstNs = 0;
    qint64 lastNs = 0;
    qint64 received = 0;
};

class ModuleProcess {
public:
    ModuleProcess(Pty& pty, ScriptedModule::Config config, qint64 expect) {
        int fds[2];
        if (::pipe(fds) != 0)
            return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::close(fds[0]);
            ScriptedModule module(pty);
            module.start(config);
            module.waitForCount(expect, 600000);
            ModuleReport r{module.firstByteNs(), module.lastByteNs(), module.receivedCount()};
            [[maybe_unused]] auto w = ::write(fds[1], &r, sizeof r);
            module.stop();
            ::_exit(0);
        }
        ::close(fds[1]);
        readFd_ = fds[0];
    }
    ~ModuleProcess() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            ::waitpid(pid_, nullptr, 0);
        }
        if (readFd_ >= 0)
            ::close(readFd_);
    }
    bool started() const { return pid_ > 0; }
    // Blocks until the child has taken every expected byte.
    ModuleReport wait() {
        ModuleReport r;
        if (::read(readFd_, &r, sizeof r) != sizeof r)
            r = {};
        ::waitpid(pid_, nullptr, 0);
        pid_ = -1;
        return r;
    }
    int reportFd() const { return readFd_; }

private:
    pid_t pid_ = -1;
    int readFd_ = -1;
};

inline double cpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// CPU seconds of this process's own thread (the one calling) and of all its
// other threads together, from the scheduler's per-thread run times.
struct ThreadCpu {
    double own = 0;
    double others = 0;
};
inline ThreadCpu threadCpuSeconds() {
    ThreadCpu c;
    const pid_t self = pid_t(::syscall(SYS_gettid));
    const QDir tasks(QStringLiteral("/proc/self/task"));
    for (const QString& tid : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile f(tasks.filePath(tid + QStringLiteral("/schedstat")));
        if (!f.open(QIODevice::ReadOnly))
            continue;
        const double s = f.readAll().split(' ').value(0).toDouble() / 1e9;
        (tid.toInt() == self ? c.own : c.others) += s;
    }
    return c;
}

inline qint64 monoNs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return qint64(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

} // namespace panelix::bench
