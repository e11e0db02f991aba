// The module's end of the Windows link test: a pty whose slave Wine knows as a
// COM port, and the script of tests/win/WireScript.h on the master side. It
// starts the test program itself, checks every byte it gets (the settings the
// program chose, as the pty's termios; the image in order, taken at 19,200 baud
// as a real module would), and finally closes the master as an unplugged
// adapter would. Exit status 0 when both sides passed.
//
// It also tells the pty shim (tests/win/ptyshim.c) how many bytes it has read,
// so that the program's transmit queue drains at line rate and
// EV_TXEMPTY means what it means on a UART. That makes the pacing visible here:
// with each chunk written only on a drained queue, never more than one chunk
// waits on the line.
//
// Usage: win-standin --com PATH -- COMMAND...
//   PATH is the dosdevices link to point at the pty (e.g. $WINEPREFIX/dosdevices/com5);
//   COMMAND runs the test program (e.g. wine test_winlink.exe COM5).

#include "tests/win/ControllingTerminal.h"
#include "tests/win/PtyQueue.h"
#include "tests/win/WireScript.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <time.h>
#include <unistd.h>

extern char** environ;

namespace ws = panelix::wirescript;

namespace {

constexpr int Baud = 19200;
constexpr std::int64_t ByteNs = 10LL * 1'000'000'000 / Baud;

std::int64_t nowNs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return std::int64_t(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

void sleepUntil(std::int64_t ns) {
    timespec ts{time_t(ns / 1'000'000'000), long(ns % 1'000'000'000)};
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR) {
    }
}

std::string hex(const ws::Bytes& b, std::size_t max = 16) {
    std::string s;
    char buf[4];
    for (std::size_t i = 0; i < b.size() && i < max; ++i) {
        std::snprintf(buf, sizeof buf, "%02X ", b[i]);
        s += buf;
    }
    if (b.size() > max)
        s += "...";
    return s;
}

struct Failed {
    std::string what;
};

class Line {
public:
    Line(int master, std::atomic<long long>& readTotal) : readTotal_(readTotal), fd_(master) {}
    // The test program: its end while the script runs is a failure.
    void watch(pid_t program) { program_ = program; }

    // The program ended (and was reaped) while the script still ran.
    bool programEnded() const { return programEnded_; }
    int programStatus() const { return programStatus_; }

    // Up to limit bytes that are there by the deadline; empty at the deadline.
    ws::Bytes readSome(std::size_t limit, std::int64_t deadlineNs) {
        std::uint8_t buf[4096];
        for (;;) {
            const std::int64_t left = deadlineNs - nowNs();
            if (left <= 0)
                return {};
            pollfd p{fd_, POLLIN, 0};
            const int r = ::poll(&p, 1, int(std::min<std::int64_t>(left / 1'000'000 + 1, 200)));
            if (r < 0 && errno == EINTR)
                continue;
            if (r == 0 && program_ > 0 && ::waitpid(program_, &programStatus_, WNOHANG) == program_) {
                programEnded_ = true;
                throw Failed{"the test program ended before the script did"};
            }
            if (r < 0)
                return {};
            if (r == 0)
                continue;
            const ssize_t n = ::read(fd_, buf, std::min(limit, sizeof buf));
            if (n > 0) {
                readTotal_ += n;
                return ws::Bytes(buf, buf + n);
            }
            if (n < 0 && (errno == EAGAIN || errno == EINTR))
                continue;
            // EIO: no slave open (the program is between opens): wait a little.
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }

    // Exactly these bytes next, within ms.
    void expect(const ws::Bytes& want, int ms, const char* what) {
        const std::int64_t deadline = nowNs() + std::int64_t(ms) * 1'000'000;
        ws::Bytes got;
        while (got.size() < want.size()) {
            const ws::Bytes part = readSome(want.size() - got.size(), deadline);
            if (part.empty())
                break;
            got.insert(got.end(), part.begin(), part.end());
            taken_ += part.size();
        }
        if (got != want)
            throw Failed{std::string(what) + ": expected " + hex(want) + "got " + hex(got)};
        commandBytes_ += got.size();
    }

    // n bytes at 19,200 baud: byte k is taken no earlier than k byte times after
    // the first, as a module's UART delivers them. Returns them; maxWaiting_ is
    // the most bytes that were ever waiting on the line meanwhile.
    ws::Bytes takeAtLineRate(std::size_t n, int ms) {
        const std::int64_t deadline = nowNs() + std::int64_t(ms) * 1'000'000;
        ws::Bytes got;
        std::int64_t firstNs = 0;
        maxWaiting_ = 0;
        while (got.size() < n) {
            int waiting = 0;
            if (::ioctl(fd_, FIONREAD, &waiting) == 0)
                maxWaiting_ = std::max(maxWaiting_, waiting);
            std::size_t allowed = n - got.size();
            if (firstNs) {
                const std::int64_t due = (nowNs() - firstNs) / ByteNs + 1;
                if (std::int64_t(got.size()) >= due) {
                    sleepUntil(firstNs + std::int64_t(got.size()) * ByteNs);
                    continue;
                }
                allowed = std::min<std::size_t>(allowed, std::size_t(due) - got.size());
            } else {
                allowed = 1;
            }
            const ws::Bytes part = readSome(allowed, deadline);
            if (part.empty())
                break;
            if (!firstNs)
                firstNs = nowNs();
            got.insert(got.end(), part.begin(), part.end());
        }
        taken_ += got.size();
        lineSeconds_ = double(nowNs() - firstNs) / 1e9;
        return got;
    }

    void send(const ws::Bytes& bytes) {
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
            if (n > 0) {
                done += std::size_t(n);
            } else if (n < 0 && errno == EAGAIN) {
                pollfd p{fd_, POLLOUT, 0};
                ::poll(&p, 1, 100);
            } else if (n < 0 && errno != EINTR) {
                throw Failed{std::string("writing to the pty: ") + std::strerror(errno)};
            }
        }
        sent_ += bytes.size();
    }

    // The line as the program set it, read through the master.
    void expectTermios(speed_t speed, tcflag_t size, bool parity, bool twoStops, const char* what) {
        termios t{};
        if (tcgetattr(fd_, &t) != 0)
            throw Failed{std::string(what) + ": tcgetattr: " + std::strerror(errno)};
        std::string wrong;
        if (cfgetospeed(&t) != speed || cfgetispeed(&t) != speed)
            wrong += " speed";
        if ((t.c_cflag & CSIZE) != size)
            wrong += " data bits";
        if (bool(t.c_cflag & PARENB) != parity || (t.c_cflag & PARODD))
            wrong += " parity";
        if (bool(t.c_cflag & CSTOPB) != twoStops)
            wrong += " stop bits";
        if (t.c_cflag & CRTSCTS)
            wrong += " CRTSCTS";
        if (t.c_iflag & (IXON | IXOFF))
            wrong += " XON/XOFF";
        // Binary both ways: nothing added, dropped or translated.
        if (t.c_oflag & OPOST)
            wrong += " OPOST";
        if (t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN))
            wrong += " cooked";
        if (t.c_iflag & (ISTRIP | INLCR | IGNCR | ICRNL | PARMRK))
            wrong += " input translation";
        if (!wrong.empty())
            throw Failed{std::string(what) + ": wrong" + wrong};
        ++termiosChecks_;
    }

    std::size_t taken_ = 0;
    std::size_t commandBytes_ = 0;
    std::size_t sent_ = 0;
    int termiosChecks_ = 0;
    double lineSeconds_ = 0;
    int maxWaiting_ = 0;
    std::atomic<long long>& readTotal_; // every byte read from the master, for the shim

private:
    int fd_;
    pid_t program_ = -1;
    bool programEnded_ = false;
    int programStatus_ = 0;
};

void script(Line& line) {
    line.expect(ws::ConnectionTest, 120000, "first connection test");
    line.expectTermios(B9600, CS8, false, true, "9600 8N2");
    line.send({ws::TestAnswer});
    line.expect(ws::ConnectionTest, 10000, "second connection test");
    line.expectTermios(B19200, CS8, false, false, "19200 8N1");
    line.send({ws::TestAnswer});

    line.expect(ws::ImageHeader, 10000, "image header");
    line.send({ws::GoOn});
    const ws::Bytes image = line.takeAtLineRate(ws::ImageSize, 60000);
    const ws::Bytes want = ws::pattern(ws::ImageSize, ws::ImageSeed);
    if (image != want) {
        std::size_t at = 0;
        while (at < image.size() && at < want.size() && image[at] == want[at])
            ++at;
        throw Failed{"image: " + std::to_string(image.size()) + " of " + std::to_string(want.size()) +
                     " bytes, first difference at " + std::to_string(at)};
    }
    std::printf(
        "stand-in: %zu image bytes checked, in order, taken at 19200 baud in %.2f s; bytes waiting on "
        "the line at most: %d\n",
        image.size(), line.lineSeconds_, line.maxWaiting_);
    if (line.maxWaiting_ > 2)
        throw Failed{"image: " + std::to_string(line.maxWaiting_) +
                     " bytes were waiting at once: a chunk went out before the one before it had been taken"};
    // Right behind the last image byte: nothing more of the image.
    line.expect(ws::ConnectionTest, 10000, "connection test behind the image");
    line.send({ws::TestAnswer});

    line.expect(ws::BadHeader, 10000, "refused header");
    line.send({ws::Refused});
    line.expect(ws::ConnectionTest, 10000, "connection test behind the refused header (no image byte)");
    line.send({ws::TestAnswer});
    line.send(ws::pattern(ws::BurstSize, ws::BurstSeed));
    line.expect(ws::BacklightOn, 15000, "backlight command after the burst");
}

} // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    std::signal(SIGPIPE, SIG_IGN); // a reader of our output that goes away must not cut the unplug short
    std::string com;
    int cmd = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--com" && i + 1 < argc) {
            com = argv[++i];
        } else if (a == "--") {
            cmd = i + 1;
            break;
        }
    }
    if (com.empty() || cmd == 0 || cmd >= argc) {
        std::fprintf(stderr, "usage: win-standin --com PATH -- COMMAND...\n");
        return 2;
    }

    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
        std::fprintf(stderr, "win-standin: no pty: %s\n", std::strerror(errno));
        return 1;
    }
    const std::string slavePath = ptsname(master);
    const pid_t holder = holdControllingTerminal(slavePath, master);
    // The holder goes with us, however we leave.
    struct Reaper {
        pid_t pid;
        ~Reaper() {
            if (pid > 0) {
                ::kill(pid, SIGTERM);
                ::waitpid(pid, nullptr, 0);
            }
        }
    } reaper{holder};
    ::unlink(com.c_str());
    if (holder < 0 || ::symlink(slavePath.c_str(), com.c_str()) != 0) {
        std::fprintf(stderr, "win-standin: cannot link %s to %s: %s\n", com.c_str(), slavePath.c_str(),
                     std::strerror(errno));
        return 1;
    }

    const std::string queueName = "panelix-pty-queue-" + std::to_string(::getpid());
    SharedCount queue(queueName);
    if (!queue.ready())
        return 1;
    Line line(master, queue.value());
    ::setenv("PANELIX_PTY_SLAVE", slavePath.c_str(), 1);
    ::setenv("PANELIX_PTY_QUEUE", queueName.c_str(), 1);

    pid_t child = 0;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    if (posix_spawnp(&child, argv[cmd], &actions, nullptr, argv + cmd, environ) != 0) {
        std::fprintf(stderr, "win-standin: cannot start %s\n", argv[cmd]);
        return 1;
    }
    posix_spawn_file_actions_destroy(&actions);

    line.watch(child);
    std::string failure;
    try {
        script(line);
    } catch (const Failed& f) {
        failure = f.what;
    }
    // Unplugged: the program must notice and end on its own.
    ::close(master);
    ::unlink(com.c_str());
    std::printf("stand-in: %zu bytes taken (%zu command and header bytes checked), %zu bytes sent, %d line "
                "settings checked; line closed\n",
                line.taken_, line.commandBytes_, line.sent_, line.termiosChecks_);

    int status = line.programStatus();
    const std::int64_t deadline = nowNs() + 30'000'000'000LL;
    pid_t done = line.programEnded() ? child : 0;
    while (done == 0 && (done = ::waitpid(child, &status, WNOHANG)) == 0 && nowNs() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    if (done == 0) {
        ::kill(child, SIGKILL);
        ::waitpid(child, &status, 0);
        if (failure.empty())
            failure = "the test program did not end within 30 s of the unplug";
    }
    const bool programPassed = done == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    if (!failure.empty())
        std::printf("stand-in FAILED: %s\n", failure.c_str());
    if (!programPassed && done == child)
        std::printf("test program FAILED (%s %d)\n", WIFEXITED(status) ? "exit status" : "signal",
                    WIFEXITED(status) ? WEXITSTATUS(status) : WTERMSIG(status));
    return failure.empty() && programPassed ? 0 : 1;
}
