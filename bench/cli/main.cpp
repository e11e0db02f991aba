// panelix-cli on 1, 8, 16 and 32 simulated modules at 19,200 baud in one process: every
// port must keep its line as busy as one port alone does, every port must start at once,
// and the process must cost no more CPU than N single-port runs. All the modules live in
// one child process (bench/cli/StandIn.h), so the CPU time of this process is the tool's
// own and the stand-in's cost is printed beside it.
#include "bench/cli/BenchImage.h"
#include "bench/cli/StandIn.h"
#include "bench/link/ModuleProcess.h"
#include "cli/Cli.h"
#include "protocol/Module.h"
#include "session/ModuleSession.h"
#include "simulator/Pty.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

using namespace panelix;

namespace {

constexpr double Baud = 19200.0;

struct Run {
    int ports = 0;
    double cpu = 0;
    double wall = 0;
    double worstUtilisation = 1; // data time over the time from the module's first byte to its last
    double worstStart = 0;       // seconds from the command's start to a module's first data byte
    double startSpread = 0;      // seconds between the earliest and the latest first data byte
    double standInCpu = 0;       // CPU seconds of the modules' process
    bool ok = false;
};

Run runPorts(int n, const QString& image, qint64 data) {
    Run r;
    r.ports = n;
    std::vector<std::unique_ptr<Pty>> ptys;
    std::vector<int> masters;
    QStringList args{QStringLiteral("panelix-cli"), QStringLiteral("download"), QStringLiteral("--image"), image};
    for (int i = 0; i < n; ++i) {
        ptys.push_back(std::make_unique<Pty>());
        if (!ptys.back()->open())
            return r;
        masters.push_back(ptys.back()->masterFd());
        args << QStringLiteral("--port") << ptys.back()->slavePath();
    }
    bench::StandIn modules(masters, data);
    if (!modules.started())
        return r;
    cli::Io io;
    QString err;
    io.out = [](const QString&) {};
    io.err = [&](const QString& s) { err += s; };
    const double cpu0 = bench::cpuSeconds();
    const qint64 t0 = bench::monoNs();
    const int status = cli::run(args, io);
    r.cpu = bench::cpuSeconds() - cpu0;
    r.wall = double(bench::monoNs() - t0) / 1e9;
    r.ok = status == 0;
    if (!r.ok)
        std::fprintf(stderr, "status %d: %s\n", status, qPrintable(err));
    const bench::StandInReport report = modules.wait();
    r.ok = r.ok && report.ok;
    r.standInCpu = report.cpu;
    qint64 earliest = 0;
    qint64 latest = 0;
    for (const bench::StandInPort& p : report.ports) {
        if (p.data != data) {
            r.ok = false;
            continue;
        }
        // Each byte is taken when its last bit has arrived: from the first data byte taken
        // to the last one, data - 1 byte times pass on a line that never idles.
        const double lineSeconds = double(p.data - 1) * 10.0 / Baud;
        r.worstUtilisation = std::min(r.worstUtilisation, lineSeconds / (double(p.lastDataNs - p.firstDataNs) / 1e9));
        r.worstStart = std::max(r.worstStart, double(p.firstDataNs - t0) / 1e9);
        earliest = earliest ? std::min(earliest, p.firstDataNs) : p.firstDataNs;
        latest = std::max(latest, p.firstDataNs);
    }
    r.startSpread = double(latest - earliest) / 1e9;
    return r;
}

// The same download through a ModuleSession alone, as the window makes it: the reference for
// what the line and this machine allow at the moment.
Run runSession(const QByteArray& image, qint64 data) {
    Run r;
    r.ports = 1;
    Pty pty;
    if (!pty.open())
        return r;
    bench::StandIn module({pty.masterFd()}, data);
    if (!module.started())
        return r;
    ModuleSession session;
    session.setDevicePath(1, pty.slavePath());
    const double cpu0 = bench::cpuSeconds();
    const qint64 t0 = bench::monoNs();
    if (session.openPort(1) || session.downloadImage(image))
        return r;
    QEventLoop loop;
    QObject::connect(&session, &ModuleSession::finished, &loop, &QEventLoop::quit);
    QObject::connect(&session, &ModuleSession::failed, &loop, &QEventLoop::quit);
    loop.exec();
    session.closePort();
    r.cpu = bench::cpuSeconds() - cpu0;
    r.wall = double(bench::monoNs() - t0) / 1e9;
    const bench::StandInReport report = module.wait();
    const bench::StandInPort p = report.ports.empty() ? bench::StandInPort{} : report.ports[0];
    r.ok = report.ok && p.data == data;
    r.standInCpu = report.cpu;
    r.worstUtilisation = r.ok ? double(p.data - 1) * 10.0 / Baud / (double(p.lastDataNs - p.firstDataNs) / 1e9) : 0;
    r.worstStart = double(p.firstDataNs - t0) / 1e9;
    return r;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    qint64 data = 0;
    const QString image = bench::writeBenchImage(dir.path(), &data);
    if (image.isEmpty())
        return 1;

    std::printf("panelix-cli download of %lld data bytes on N simulated modules at 19,200 baud\n", data);
    std::printf("  N   wall s   tool CPU s   stand-in CPU s   worst utilisation   first data byte after s (latest, spread)\n");
    // The port counts to run, 1 first (the reference): default 1 8 16 32.
    std::vector<int> counts;
    for (int i = 1; i < argc; ++i)
        counts.push_back(std::clamp(atoi(argv[i]), 1, 32));
    if (counts.empty() || counts.front() != 1)
        counts.insert(counts.begin(), 1);
    if (argc < 2)
        counts = {1, 8, 16, 32};
    std::vector<Run> runs;
    for (int n : counts) {
        const Run r = runPorts(n, image, data);
        runs.push_back(r);
        std::printf("  %2d  %7.2f  %9.3f   %12.3f     %.4f              %.3f, %.3f%s\n", n, r.wall, r.cpu, r.standInCpu,
                    r.worstUtilisation, r.worstStart, r.startSpread, r.ok ? "" : "  (FAILED)");
        std::fflush(stdout);
    }
    const Run reference = runSession(bench::benchImage().image, data);
    std::printf("  session alone (the window's path), 1 port: wall %.2f s, CPU %.3f s, utilisation %.4f%s\n",
                reference.wall, reference.cpu, reference.worstUtilisation, reference.ok ? "" : "  (FAILED)");
    const double single = runs[0].cpu;
    const double singleUse = runs[0].worstUtilisation;
    std::printf("ratios measured in this run\n");
    bool pass = true;
    for (const Run& r : runs) {
        const double cpuRatio = single > 0 ? r.cpu / single : 0;
        const bool good = r.ok && r.worstUtilisation >= singleUse - 0.01 && cpuRatio <= r.ports && r.worstStart <= 0.1 + runs[0].worstStart &&
                          r.startSpread <= 0.1;
        pass = pass && good;
        std::printf("  N = %2d: utilisation %.4f (goal >= one port's %.4f - 0.01), tool CPU %.2f x one port (goal <= %d), "
                    "stand-in CPU %.2f x one port's, latest start %.3f s, spread %.3f s (goal <= 0.1)%s\n",
                    r.ports, r.worstUtilisation, singleUse, cpuRatio, r.ports,
                    runs[0].standInCpu > 0 ? r.standInCpu / runs[0].standInCpu : 0, r.worstStart, r.startSpread,
                    good ? "" : "  MISSED");
    }
    std::printf("  1 port through the tool / through the session alone: utilisation %.4f, CPU %.2f x\n",
                runs[0].worstUtilisation / reference.worstUtilisation, reference.cpu > 0 ? runs[0].cpu / reference.cpu : 0);
    return pass ? 0 : 1;
}
