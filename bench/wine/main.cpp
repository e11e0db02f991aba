// panelix-cli.exe under Wine against the Linux build's panelix-cli, in one run: the same
// download (bench/cli/BenchImage.h) to the same stand-in module (bench/cli/StandIn.h,
// taking bytes at 19,200 baud), each on a pty of its own, measured at the receiving end
// as bench/cli does: data bytes x 10 bits / 19,200 over the time from the first data byte
// to the last. Wine reaches its pty as a COM port through the dosdevices link; the pty
// shim (tests/win/ptyshim.c) gives it the modem lines. Wine's download runs twice:
//   - on the pty as the Linux build sees it, whose transmit queue is always empty;
//   - with a transmit queue that drains as the stand-in starts each byte, as a UART's
//     does (the shim's queue, counted by the stand-in), so that the driver's queue, and
//     EV_TXEMPTY, say "drained" when the last byte has entered the transmitter.
//
// Usage: bench_wine --exe PANELIX_CLI_EXE --shim PTYSHIM_SO [--com N] [--rounds N]
//   WINEPREFIX must name a ready prefix; WINEPATH must reach the DLLs the .exe needs
//   when they are not beside it. bench/wine/run.sh builds and sets up all of it.
// Exit status 0 when each of the round's Windows utilisations is within 0.02 of the Linux one.
#include "bench/cli/BenchImage.h"
#include "bench/cli/StandIn.h"
#include "simulator/Pty.h"
#include "tests/win/ControllingTerminal.h"
#include "tests/win/PtyQueue.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#include <vector>

extern char** environ;

using namespace panelix;

namespace {

constexpr double Baud = 19200.0;
constexpr double Goal = 0.02;

qint64 monoNs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return qint64(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

struct Result {
    bool ok = false;
    int exitCode = -1;
    double utilisation = 0;
    double seconds = 0; // first to last data byte
    double wall = 0;    // the whole command, start-up included
};

// Runs argv with extra environment entries (NAME=value), its output to logPath;
// its exit code, or -1.
int runCommand(const std::vector<std::string>& argv, const std::vector<std::string>& extraEnv,
               const std::string& logPath) {
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e)
        env.emplace_back(*e);
    for (const std::string& x : extraEnv)
        env.push_back(x);
    std::vector<char*> a;
    for (const std::string& s : argv)
        a.push_back(const_cast<char*>(s.c_str()));
    a.push_back(nullptr);
    std::vector<char*> en;
    for (std::string& s : env)
        en.push_back(s.data());
    en.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t child = 0;
    const int spawned = posix_spawnp(&child, a[0], &actions, nullptr, a.data(), en.data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        return -1;
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

Result measured(bench::StandIn& module, int exitCode, qint64 t0, qint64 data) {
    Result r;
    r.exitCode = exitCode;
    r.wall = double(monoNs() - t0) / 1e9;
    const bench::StandInReport report = module.wait();
    const bench::StandInPort p = report.ports.empty() ? bench::StandInPort{} : report.ports[0];
    r.ok = exitCode == 0 && report.ok && p.data == data;
    if (!r.ok)
        return r;
    // Each byte is taken when its last bit has arrived: data - 1 byte times pass from the
    // first to the last on a line that never idles.
    r.seconds = double(p.lastDataNs - p.firstDataNs) / 1e9;
    r.utilisation = double(p.data - 1) * 10.0 / Baud / r.seconds;
    return r;
}

Result runLinux(const QString& image, qint64 data, const std::string& log) {
    Pty pty;
    if (!pty.open())
        return {};
    bench::StandIn module({pty.masterFd()}, data);
    if (!module.started())
        return {};
    const qint64 t0 = monoNs();
    const int code = runCommand({PANELIX_LINUX_CLI, "download", "--image", image.toStdString(), "--port",
                                 pty.slavePath().toStdString()},
                                {}, log);
    return measured(module, code, t0, data);
}

std::string winPath(const QString& path) {
    return "Z:" + QDir::toNativeSeparators(path).replace(QLatin1Char('/'), QLatin1Char('\\')).toStdString();
}

Result runWine(const std::string& exe, const std::string& shim, const std::string& prefix, int com,
               const QString& image, qint64 data, const std::string& log, bool uartQueue) {
    Pty pty;
    if (!pty.open())
        return {};
    const std::string slave = pty.slavePath().toStdString();
    const pid_t holder = holdControllingTerminal(slave, pty.masterFd());
    struct Reaper {
        pid_t pid;
        ~Reaper() {
            if (pid > 0) {
                ::kill(pid, SIGTERM);
                ::waitpid(pid, nullptr, 0);
            }
        }
    } reaper{holder};
    const std::string link = prefix + "/dosdevices/com" + std::to_string(com);
    ::unlink(link.c_str());
    if (holder < 0 || ::symlink(slave.c_str(), link.c_str()) != 0) {
        std::fprintf(stderr, "bench_wine: cannot link %s to %s\n", link.c_str(), slave.c_str());
        return {};
    }
    const std::string queueName = "panelix-bench-queue-" + std::to_string(::getpid());
    SharedCount queue(queueName);
    if (!queue.ready())
        return {};
    bench::StandIn module({pty.masterFd()}, data, 19200, 300, &queue.value());
    if (!module.started())
        return {};
    const qint64 t0 = monoNs();
    std::vector<std::string> env{"LD_PRELOAD=" + shim};
    if (uartQueue) {
        env.push_back("PANELIX_PTY_SLAVE=" + slave);
        env.push_back("PANELIX_PTY_QUEUE=" + queueName);
    }
    const int code =
        runCommand({"wine", exe, "download", "--image", winPath(image), "--port", "COM" + std::to_string(com)}, env, log);
    Result r = measured(module, code, t0, data);
    ::unlink(link.c_str());
    return r;
}

void print(const char* name, const Result& r, const std::string& log) {
    if (r.ok) {
        std::printf("  %-38s utilisation %.4f (%.2f s first to last data byte, %.2f s in all)\n", name, r.utilisation,
                    r.seconds, r.wall);
    } else {
        std::printf("  %-38s FAILED (exit %d); its output:\n", name, r.exitCode);
        QFile f(QString::fromStdString(log));
        if (f.open(QIODevice::ReadOnly))
            std::printf("%s\n", f.readAll().right(2000).constData());
    }
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    std::string exe;
    std::string shim;
    int com = 7;
    int rounds = 1;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string a = argv[i];
        if (a == "--exe")
            exe = argv[i + 1];
        else if (a == "--shim")
            shim = argv[i + 1];
        else if (a == "--com")
            com = std::atoi(argv[i + 1]);
        else if (a == "--rounds")
            rounds = std::max(1, std::atoi(argv[i + 1]));
    }
    const char* prefix = std::getenv("WINEPREFIX");
    if (exe.empty() || shim.empty() || !prefix || com < 1) {
        std::fprintf(stderr, "usage: WINEPREFIX=DIR bench_wine --exe PANELIX_CLI_EXE --shim PTYSHIM_SO [--com N] [--rounds N]\n");
        return 2;
    }
    QTemporaryDir dir;
    qint64 data = 0;
    const QString image = bench::writeBenchImage(dir.path(), &data);
    if (image.isEmpty())
        return 1;

    std::printf("panelix-cli download of %lld data bytes at 19,200 baud: Linux build and Windows build under Wine;\n"
                "utilisation = data bytes x 10 bits / 19,200 over first to last data byte at the module, "
                "ratios measured in this run\n",
                data);
    bool pass = true;
    for (int round = 1; round <= rounds; ++round) {
        const std::string linuxLog = QDir(dir.path()).filePath(QStringLiteral("linux.log")).toStdString();
        const std::string wineLog = QDir(dir.path()).filePath(QStringLiteral("wine.log")).toStdString();
        const Result onLinux = runLinux(image, data, linuxLog);
        print("Linux panelix-cli (pty):", onLinux, linuxLog);
        const Result onWine = runWine(exe, shim, prefix, com, image, data, wineLog, false);
        print("panelix-cli.exe under Wine, the pty:", onWine, wineLog);
        const Result onWineUart = runWine(exe, shim, prefix, com, image, data, wineLog, true);
        print("... with a UART's transmit queue:", onWineUart, wineLog);
        for (const Result* w : {&onWine, &onWineUart}) {
            const double difference = w->utilisation - onLinux.utilisation;
            const bool good = onLinux.ok && w->ok && std::fabs(difference) <= Goal;
            pass = pass && good;
            std::printf("round %d, %s: Windows / Linux utilisation %.4f, difference %+.4f (goal within %.2f)%s\n",
                        round, w == &onWine ? "the pty" : "UART queue",
                        onLinux.utilisation > 0 ? w->utilisation / onLinux.utilisation : 0, difference, Goal,
                        good ? "" : "  MISSED");
        }
    }
    return pass ? 0 : 1;
}
