// panelix-cli on 1, 4 and 8 simulated modules at 19,200 baud in one process: every port
// must keep its line busy (utilisation >= 0.98) and the process must cost no more CPU
// than N single-port runs. Each module lives in a child process, so the CPU time of
// this process is the tool's own.
#include "bench/link/ModuleProcess.h"
#include "bitmap/DownloadImageBuilder.h"
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
    double worstStart = 0;       // seconds from the command's start to a module's first byte
    bool ok = false;
};

Run runPorts(int n, const QString& image, qint64 expect) {
    Run r;
    r.ports = n;
    std::vector<std::unique_ptr<Pty>> ptys;
    std::vector<std::unique_ptr<bench::ModuleProcess>> modules;
    QStringList args{QStringLiteral("panelix-cli"), QStringLiteral("download"), QStringLiteral("--image"), image};
    for (int i = 0; i < n; ++i) {
        ptys.push_back(std::make_unique<Pty>());
        if (!ptys.back()->open())
            return r;
        modules.push_back(std::make_unique<bench::ModuleProcess>(*ptys.back(), ScriptedModule::Config{.lineRate = true}, expect));
        if (!modules.back()->started())
            return r;
        args << QStringLiteral("--port") << ptys.back()->slavePath();
    }
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
    for (auto& m : modules) {
        const bench::ModuleReport report = m->wait();
        if (report.received != expect) {
            r.ok = false;
            continue;
        }
        // Each byte is taken when its last bit has arrived: from the first byte taken to the
        // last one, received - 1 byte times pass on a line that never idles.
        const double lineSeconds = double(report.received - 1) * 10.0 / Baud;
        r.worstUtilisation = std::min(r.worstUtilisation, lineSeconds / (double(report.lastNs - report.firstNs) / 1e9));
        r.worstStart = std::max(r.worstStart, double(report.firstNs - t0) / 1e9);
    }
    return r;
}

// The same download through a ModuleSession alone, as the window makes it: the reference for
// what the line and this machine allow at the moment.
Run runSession(const QByteArray& image, qint64 expect) {
    Run r;
    r.ports = 1;
    Pty pty;
    if (!pty.open())
        return r;
    bench::ModuleProcess module(pty, ScriptedModule::Config{.lineRate = true}, expect);
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
    const bench::ModuleReport report = module.wait();
    r.ok = report.received == expect;
    r.worstUtilisation = double(report.received - 1) * 10.0 / Baud / (double(report.lastNs - report.firstNs) / 1e9);
    r.worstStart = double(report.firstNs - t0) / 1e9;
    return r;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    // Eight 320 x 32 pictures: a 11,264-byte transfer, about 5.9 s at 19,200 baud.
    std::vector<MonoBitmap> bitmaps;
    for (int k = 0; k < 8; ++k) {
        QByteArray rows(40 * 32, '\0');
        for (int i = 0; i < rows.size(); ++i)
            rows[i] = char((i * 31 + k * 7) & 0xFF);
        bitmaps.emplace_back(320, 32, rows);
    }
    const PackedImage packed = DownloadImageBuilder::packDownloadImage(bitmaps);
    const QString image = QDir(dir.path()).filePath(QStringLiteral("file.add"));
    QFile f(image);
    if (!packed.ok() || !f.open(QIODevice::WriteOnly) || f.write(packed.image) != packed.image.size())
        return 1;
    f.close();
    const qint64 expect = module::HeaderSize + qint64(packed.end);

    std::printf("panelix-cli download of %lld bytes on N simulated modules at 19,200 baud\n", expect);
    std::printf("  N   wall s   CPU s   worst line utilisation   latest first byte after s\n");
    // The port counts to run, 1 first (the reference): default 1 4 8.
    std::vector<int> counts;
    for (int i = 1; i < argc; ++i)
        counts.push_back(std::clamp(atoi(argv[i]), 1, 32));
    if (counts.empty() || counts.front() != 1)
        counts.insert(counts.begin(), 1);
    if (argc < 2)
        counts = {1, 4, 8};
    std::vector<Run> runs;
    for (int n : counts) {
        const Run r = runPorts(n, image, expect);
        runs.push_back(r);
        std::printf("  %d  %7.2f  %6.3f   %.4f                   %.3f%s\n", n, r.wall, r.cpu, r.worstUtilisation,
                    r.worstStart, r.ok ? "" : "  (FAILED)");
        std::fflush(stdout);
    }
    const Run reference = runSession(packed.image, expect);
    std::printf("  session alone (the window's path), 1 port: wall %.2f s, CPU %.3f s, utilisation %.4f%s\n",
                reference.wall, reference.cpu, reference.worstUtilisation, reference.ok ? "" : "  (FAILED)");
    const double single = runs[0].cpu;
    std::printf("ratios measured in this run\n");
    bool pass = true;
    for (const Run& r : runs) {
        const double cpuRatio = single > 0 ? r.cpu / single : 0;
        const bool good = r.ok && r.worstUtilisation >= 0.98 && cpuRatio <= r.ports;
        pass = pass && good;
        std::printf("  N = %d: utilisation %.4f (goal >= 0.98), CPU %.2f x one port (goal <= %d)%s\n", r.ports,
                    r.worstUtilisation, cpuRatio, r.ports, good ? "" : "  MISSED");
    }
    std::printf("  1 port through the tool / through the session alone: utilisation %.4f, CPU %.2f x\n",
                runs[0].worstUtilisation / reference.worstUtilisation, reference.cpu > 0 ? runs[0].cpu / reference.cpu : 0);
    return pass ? 0 : 1;
}
