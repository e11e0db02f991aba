#pragma once

// All the modules of a bench in one child process: one loop over every pty master,
// taking bytes no faster than a 19,200-baud line delivers them (10 bits a byte), by
// timestamps rather than a sleep per byte, so that at 32 ports the stand-in is not
// what gets measured. It answers the connection test (1D 0C 0D) with 0x0C and a
// transfer header with one 0xAA, as tests/support/ScriptedModule does, and reports,
// per port, the first and last data byte's time and the count, and its own CPU time.
// While it runs, begun(port) tells how many bytes have started to arrive on a line
// (the one on the wire included): what a sender's UART no longer holds in its
// transmit queue, for a sender that asks (bench/wine through tests/win/ptyshim.c).
#include "protocol/Module.h"
#include "simulator/LineClock.h"

#include <QByteArray>
#include <QtGlobal>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace panelix::bench {

struct StandInPort {
    qint64 firstDataNs = 0;
    qint64 lastDataNs = 0;
    qint64 data = 0;
};

struct StandInReport {
    std::vector<StandInPort> ports;
    double cpu = 0; // the stand-in process's own CPU seconds
    bool ok = false;
};

class StandIn {
public:
    // Serves masters until each port has taken dataBytes data bytes (or timeoutS passed).
    // begunAt, when given, is where the counts of begun bytes go (shared memory that
    // outlives this object, one per master, e.g. tests/win/PtyQueue.h's SharedCount).
    StandIn(const std::vector<int>& masters, qint64 dataBytes, int baud = 19200, int timeoutS = 300,
            std::atomic<qint64>* begunAt = nullptr) {
        n_ = int(masters.size());
        if (begunAt) {
            begun_ = begunAt;
        } else {
            // Shared with the child: it counts, this process reads.
            void* shared = ::mmap(nullptr, sizeof(std::atomic<qint64>) * size_t(std::max(n_, 1)),
                                  PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
            if (shared == MAP_FAILED)
                return;
            begun_ = static_cast<std::atomic<qint64>*>(shared);
            ownsBegun_ = true;
        }
        for (int i = 0; i < n_; ++i)
            new (&begun_[i]) std::atomic<qint64>(0);
        int fds[2];
        if (::pipe(fds) != 0)
            return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::close(fds[0]);
            serve(masters, dataBytes, baud, timeoutS, fds[1], begun_);
            ::_exit(0);
        }
        ::close(fds[1]);
        readFd_ = fds[0];
    }
    ~StandIn() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            ::waitpid(pid_, nullptr, 0);
        }
        if (readFd_ >= 0)
            ::close(readFd_);
        if (ownsBegun_)
            ::munmap(begun_, sizeof(std::atomic<qint64>) * size_t(std::max(n_, 1)));
    }
    bool started() const { return pid_ > 0; }
    // Bytes that have started to arrive on port i so far (any thread).
    qint64 begun(int i) const { return begun_ && i >= 0 && i < n_ ? begun_[i].load() : 0; }

    StandInReport wait() {
        StandInReport r;
        r.ports.resize(size_t(n_));
        const auto readAll = [&](void* p, size_t size) {
            auto* c = static_cast<char*>(p);
            while (size > 0) {
                const ssize_t k = ::read(readFd_, c, size);
                if (k <= 0)
                    return false;
                c += k;
                size -= size_t(k);
            }
            return true;
        };
        char ok = 0;
        r.ok = readAll(&ok, 1) && readAll(r.ports.data(), sizeof(StandInPort) * r.ports.size()) &&
               readAll(&r.cpu, sizeof r.cpu) && ok == 1;
        ::waitpid(pid_, nullptr, 0);
        pid_ = -1;
        return r;
    }

private:
    struct Line {
        int fd = -1;
        qint64 dueNs = 0;    // when the byte on the line now has fully arrived; 0: none armed
        qint64 freeNs = 0;   // when the line is free for the next byte
        QByteArray pending;  // a header or command being collected
        qint64 expected = 0; // data bytes still to come
        StandInPort report;
    };

    static void takeByte(Line& l, std::uint8_t byte, qint64 t) {
        using namespace module;
        if (l.expected > 0) {
            if (l.report.data == 0)
                l.report.firstDataNs = t;
            l.report.lastDataNs = t;
            ++l.report.data;
            --l.expected;
            return;
        }
        if (l.pending.isEmpty() && byte != TransferIntro && byte != Introducer)
            return;
        l.pending.append(char(byte));
        if (std::uint8_t(l.pending[0]) == TransferIntro) {
            if (l.pending.size() < HeaderSize)
                return;
            const TransferHeader h = decodeHeader(reinterpret_cast<const std::uint8_t*>(l.pending.constData()));
            l.pending.clear();
            if (h.kind == TransferHeader::Kind::Invalid)
                return;
            l.expected = h.length;
            l.report = {};
            const char go = char(ReplyGoOn);
            [[maybe_unused]] auto w = ::write(l.fd, &go, 1);
            return;
        }
        if (byte == Terminator && l.pending.size() >= 3) {
            if (l.pending.size() == 3 && std::uint8_t(l.pending[1]) == CmdConnectionTest) {
                const char ok = char(ReplyTestOk);
                [[maybe_unused]] auto w = ::write(l.fd, &ok, 1);
            }
            l.pending.clear();
        } else if (l.pending.size() > 512) {
            l.pending.clear();
        }
    }

    static void serve(const std::vector<int>& masters, qint64 dataBytes, int baud, int timeoutS, int reportFd,
                      std::atomic<qint64>* begun) {
        const qint64 byteNs = qint64(10) * 1000000000 / baud;
        std::vector<Line> lines(masters.size());
        for (size_t i = 0; i < masters.size(); ++i)
            lines[i].fd = masters[i];
        std::vector<pollfd> polls(lines.size());
        const qint64 deadline = lineclock::nowNs() + qint64(timeoutS) * 1000000000;
        bool ok = false;
        for (;;) {
            const qint64 now = lineclock::nowNs();
            bool all = true;
            qint64 nextDue = 0;
            for (size_t i = 0; i < lines.size(); ++i) {
                Line& l = lines[i];
                all = all && l.report.data >= dataBytes;
                // A line with a byte armed is not polled: the byte is taken at its time.
                polls[i] = {l.fd, short(l.dueNs ? 0 : POLLIN), 0};
                if (l.dueNs)
                    nextDue = nextDue ? std::min(nextDue, l.dueNs) : l.dueNs;
            }
            if (all) {
                ok = true;
                break;
            }
            if (now > deadline)
                break;
            qint64 waitNs = nextDue ? std::max<qint64>(0, nextDue - now) : 200000000;
            timespec ts{time_t(waitNs / 1000000000), long(waitNs % 1000000000)};
            const int r = ::ppoll(polls.data(), nfds_t(polls.size()), &ts, nullptr);
            if (r < 0 && errno != EINTR)
                break;
            const qint64 t = lineclock::nowNs();
            for (size_t i = 0; i < lines.size(); ++i) {
                Line& l = lines[i];
                if (!l.dueNs && (polls[i].revents & (POLLIN | POLLHUP | POLLERR))) {
                    // A byte starts on the line: it has arrived one byte time later.
                    l.dueNs = std::max(t, l.freeNs) + byteNs;
                    ++begun[i];
                }
                // Every byte whose time has come, one byte time after its predecessor
                // while more are waiting.
                while (l.dueNs && l.dueNs <= t) {
                    char c;
                    const ssize_t k = ::read(l.fd, &c, 1);
                    if (k != 1) {
                        --begun[i]; // a hang-up, not a byte
                        l.dueNs = 0;
                        break;
                    }
                    l.freeNs = l.dueNs;
                    takeByte(l, std::uint8_t(c), t);
                    int waiting = 0;
                    l.dueNs = ::ioctl(l.fd, FIONREAD, &waiting) == 0 && waiting > 0 ? l.freeNs + byteNs : 0;
                    if (l.dueNs)
                        ++begun[i];
                }
            }
        }
        rusage u{};
        getrusage(RUSAGE_SELF, &u);
        const double cpu = double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
                           double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
        const char flag = ok ? 1 : 0;
        [[maybe_unused]] auto w1 = ::write(reportFd, &flag, 1);
        for (const Line& l : lines) {
            [[maybe_unused]] auto w2 = ::write(reportFd, &l.report, sizeof l.report);
        }
        [[maybe_unused]] auto w3 = ::write(reportFd, &cpu, sizeof cpu);
    }

    int n_ = 0;
    std::atomic<qint64>* begun_ = nullptr;
    bool ownsBegun_ = false;
    pid_t pid_ = -1;
    int readFd_ = -1;
};

} // namespace panelix::bench
