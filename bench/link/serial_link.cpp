// The serial link at 19,200 baud against a module in another process that reads
// a pty at line rate, in one run on one pty:
//  1. a baseline: one thread that writes 2 bytes and sleeps to the drained moment,
//     the least a host can do to keep the line busy;
//  2. the session's whole font transfer (262,144 bytes in 2-byte chunks, paced by
//     the link thread), from the download call to the module's last byte.
// The baseline runs in two halves, one before and one after the transfer: the
// cost of a wake-up on a shared machine drifts over minutes, and the two halves
// bracket the transfer's time. It prints the line utilisation of both, the CPU
// of this process as a share of the wall time, the ratio of the two, the CPU of
// each thread, and the drained-to-write latencies.
//   bench_serial_link [--runs N] [baseline-bytes]   (default 65,536: 17 s, then 137 s, then 17 s a run)
#include "ModuleProcess.h"
#include "protocol/Module.h"
#include "session/ModuleSession.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSocketNotifier>
#include <QTemporaryDir>

#include <algorithm>
#include <cstring>
#include <fcntl.h>
#include <cstdio>
#include <sys/prctl.h>
#include <thread>
#include <vector>

using namespace panelix;

namespace {

constexpr int Baud = 19200;
constexpr qint64 ByteNs = qint64(10) * 1000000000 / Baud;

struct Figures {
    double seconds = 0;
    double lineMinimum = 0;
    double cpu = 0;
    double writerCpu = 0; // the thread that writes: the baseline's loop, the session's link thread
    double ownerCpu = 0;  // the session's owning (main) thread
    std::vector<std::int64_t> latencies;
    double utilisation() const { return lineMinimum / seconds; }
    double cpuShare() const { return cpu / seconds; }
};

double percentile(const std::vector<std::int64_t>& sorted, double p) {
    return sorted.empty() ? 0.0 : double(sorted[std::size_t(p * double(sorted.size() - 1))]) / 1000.0;
}

// The baseline writes on its own thread, as the link thread does, with the same
// timer slack and the same pty settings (raw, set by the session's port before).
Figures baseline(Pty& pty, qint64 total) {
    Figures f;
    bench::ModuleProcess module(pty, {.answerHeaders = false, .answerTest = false, .lineRate = true}, total);
    const QByteArray path = pty.slavePath().toLocal8Bit();
    const int fd = ::open(path.constData(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (!module.started() || fd < 0)
        return f;
    f.latencies.reserve(std::size_t(total / 2));
    const double cpu0 = bench::cpuSeconds();
    const qint64 t0 = bench::monoNs();
    std::thread writer([&] {
        prctl(PR_SET_TIMERSLACK, 1000UL, 0UL, 0UL, 0UL);
        const double own0 = bench::threadCpuSeconds().own;
        const struct Count {
            Figures& f;
            double own0;
            ~Count() { f.writerCpu = bench::threadCpuSeconds().own - own0; }
        } count{f, own0};
        qint64 lineFree = 0;
        const char chunk[2] = {0x5A, char(0xA5)};
        for (qint64 sent = 0; sent < total; sent += 2) {
            const qint64 now = bench::monoNs();
            if (lineFree > 0)
                f.latencies.push_back(now - (lineFree - ByteNs));
            if (::write(fd, chunk, 2) != 2)
                return;
            lineFree = std::max(now, lineFree) + 2 * ByteNs;
            const qint64 drained = lineFree - ByteNs;
            timespec ts{time_t(drained / 1000000000), long(drained % 1000000000)};
            while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR) {
            }
        }
    });
    writer.join();
    const bench::ModuleReport report = module.wait();
    f.cpu = bench::cpuSeconds() - cpu0;
    f.seconds = double(report.lastNs - t0) / 1e9;
    f.lineMinimum = double(report.received) * 10.0 / Baud;
    ::close(fd);
    std::sort(f.latencies.begin(), f.latencies.end());
    return f;
}

Figures sessionTransfer(QCoreApplication& app, Pty& pty, bool* ok) {
    Figures f;
    QTemporaryDir dir;
    QFile font(QDir(dir.path()).filePath(QStringLiteral("hzk16")));
    QByteArray bytes(module::FontTransferTotal, '\0');
    for (int i = 0; i < bytes.size(); ++i)
        bytes[i] = char((i * 7 + 3) & 0xFF);
    if (!font.open(QIODevice::WriteOnly) || font.write(bytes) != bytes.size())
        return f;
    font.close();
    const qint64 expect = module::HeaderSize + module::FontTransferTotal;
    bench::ModuleProcess module(pty, {.lineRate = true}, expect);
    if (!module.started())
        return f;
    ModuleSession session;
    session.setDataDir(dir.path());
    session.setDevicePath(1, pty.slavePath());
    if (session.openPort(1))
        return f;
    bool finished = false;
    QObject::connect(&session, &ModuleSession::finished, [&] { finished = true; });
    bench::ModuleReport report;
    QSocketNotifier done(module.reportFd(), QSocketNotifier::Read);
    QObject::connect(&done, &QSocketNotifier::activated, [&] {
        report = module.wait();
        done.setEnabled(false);
        app.quit();
    });
    const double cpu0 = bench::cpuSeconds();
    const bench::ThreadCpu threads0 = bench::threadCpuSeconds();
    const qint64 t0 = bench::monoNs();
    if (session.downloadFont())
        return f;
    app.exec();
    f.cpu = bench::cpuSeconds() - cpu0;
    const bench::ThreadCpu threads1 = bench::threadCpuSeconds();
    f.writerCpu = threads1.others - threads0.others;
    f.ownerCpu = threads1.own - threads0.own;
    f.seconds = double(report.lastNs - t0) / 1e9;
    f.lineMinimum = double(report.received) * 10.0 / Baud;
    f.latencies = session.port().drainLatenciesNs();
    // The last drained notice, which completes the transfer, may still be on its way.
    for (int i = 0; i < 100 && !finished; ++i)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
    *ok = report.received == expect && finished;
    return f;
}

Figures combined(const Figures& a, const Figures& b) {
    Figures f;
    f.seconds = a.seconds + b.seconds;
    f.lineMinimum = a.lineMinimum + b.lineMinimum;
    f.cpu = a.cpu + b.cpu;
    f.writerCpu = a.writerCpu + b.writerCpu;
    f.ownerCpu = a.ownerCpu + b.ownerCpu;
    f.latencies = a.latencies;
    f.latencies.insert(f.latencies.end(), b.latencies.begin(), b.latencies.end());
    std::sort(f.latencies.begin(), f.latencies.end());
    return f;
}

void print(const char* name, const Figures& f) {
    std::printf("%s\n", name);
    std::printf("  line minimum %.3f s, measured %.3f s, utilisation %.4f\n", f.lineMinimum, f.seconds,
                f.utilisation());
    std::printf("  CPU of this process %.3f s = %.2f %% of the wall time\n", f.cpu, 100.0 * f.cpuShare());
    const double chunks = double(std::max<std::size_t>(f.latencies.size(), 1));
    std::printf("  writing thread %.3f s (%.1f us per chunk), owning thread %.3f s\n", f.writerCpu,
                f.writerCpu * 1e6 / chunks, f.ownerCpu);
    std::printf("  drained-to-write latency: median %.1f us, p99 %.1f us, max %.1f us (%zu writes)\n",
                percentile(f.latencies, 0.5), percentile(f.latencies, 0.99), percentile(f.latencies, 1.0),
                f.latencies.size());
}

struct Ratios {
    double process = 0;    // the whole process's CPU share against the baseline's
    double link = 0;       // the link thread's against the baseline's writing thread
    double owner = 0;      // the owning thread's share of the wall time, in per cent
    double utilisation = 0;
    bool ok = false;
};

// One bracketed run: a baseline half, the session's font download, another baseline half.
Ratios bracketedRun(QCoreApplication& app, Pty& pty, qint64 half, bool verbose) {
    Ratios r;
    const Figures before = baseline(pty, half);
    if (verbose) {
        print("baseline, first half: one thread, 2 bytes per drained moment", before);
        std::fflush(stdout);
    }
    const Figures s = sessionTransfer(app, pty, &r.ok);
    if (verbose) {
        print("session: font download, 262,144 bytes paced by the link thread", s);
        std::fflush(stdout);
    }
    const Figures after = baseline(pty, half);
    const Figures base = combined(before, after);
    if (verbose) {
        print("baseline, second half", after);
        print("baseline, both halves", base);
    }
    r.process = s.cpuShare() / base.cpuShare();
    r.link = (s.writerCpu / s.seconds) / (base.writerCpu / base.seconds);
    r.owner = 100.0 * s.ownerCpu / s.seconds;
    r.utilisation = s.utilisation();
    return r;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

} // namespace

// bench_serial_link [--runs N] [baseline-bytes]: N bracketed runs (default 1); with more
// than one, a line per run and the median and spread of the ratios.
int main(int argc, char** argv) {
    qint64 baselineBytes = 65536;
    int runs = 1;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc)
            runs = std::max(1, atoi(argv[++i]));
        else
            baselineBytes = std::max(2, atoi(argv[i])) & ~1;
    }
    Pty pty;
    if (!pty.open()) {
        std::fprintf(stderr, "cannot open a pty\n");
        return 1;
    }
    QCoreApplication app(argc, argv);
    const qint64 half = std::max<qint64>(2, baselineBytes / 4 * 2);
    std::vector<Ratios> all;
    for (int k = 0; k < runs; ++k) {
        all.push_back(bracketedRun(app, pty, half, runs == 1));
        const Ratios& r = all.back();
        if (runs > 1) {
            std::printf("run %d: utilisation %.4f, link thread %.2f x the baseline's writer, process %.2f x, "
                        "owning thread %.2f %% of the wall time%s\n",
                        k + 1, r.utilisation, r.link, r.process, r.owner, r.ok ? "" : "  (FAILED)");
            std::fflush(stdout);
        }
    }
    std::vector<double> link, process, owner, use;
    bool ok = true;
    for (const Ratios& r : all) {
        link.push_back(r.link);
        process.push_back(r.process);
        owner.push_back(r.owner);
        use.push_back(r.utilisation);
        ok = ok && r.ok;
    }
    const auto spread = [](const std::vector<double>& v) {
        return *std::max_element(v.begin(), v.end()) - *std::min_element(v.begin(), v.end());
    };
    const double linkMedian = median(link);
    std::printf("ratios measured in this run (median of %d bracketed run%s, spread max - min)\n", runs,
                runs == 1 ? "" : "s");
    std::printf("  utilisation            %.4f, spread %.4f (goal >= 0.99)\n", median(use), spread(use));
    std::printf("  link thread vs writer  %.2f x, spread %.2f (goal <= 1.3)\n", linkMedian, spread(link));
    std::printf("  process vs baseline    %.2f x, spread %.2f\n", median(process), spread(process));
    std::printf("  owning thread          %.2f %% of the wall time, spread %.2f\n", median(owner), spread(owner));
    return ok && linkMedian <= 1.3 && median(use) >= 0.99 ? 0 : 1;
}
