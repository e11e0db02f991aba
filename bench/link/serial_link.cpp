// Sends 65,536 bytes in 2-byte chunks, each chunk written on a transmit
// notification, through the serial port to a pty whose far end reads at the
// 19,200-baud line rate, and prints how much of the line the port keeps busy.
#include "ModuleProcess.h"
#include "link/CommPort.h"

#include <QCoreApplication>

#include <algorithm>
#include <cstdio>
#include <vector>

#include <sys/resource.h>

using namespace panelix;

int main(int argc, char** argv) {
    qint64 total = 65536;
    if (argc > 1)
        total = std::max(2, atoi(argv[1]));
    Pty pty;
    if (!pty.open()) {
        std::fprintf(stderr, "cannot open a pty\n");
        return 1;
    }
    bench::ModuleProcess module(pty, {.answerHeaders = false, .answerTest = false, .lineRate = true}, total);
    if (!module.started())
        return 1;
    QCoreApplication app(argc, argv);
    CommPort port;
    port.setDevicePath(1, pty.slavePath());
    if (!port.setPortOpen(true) || !port.setSettings("19200,n,8,1")) {
        std::fprintf(stderr, "cannot open %s\n", qPrintable(pty.slavePath()));
        return 1;
    }
    port.setRThreshold(1);
    port.setSThreshold(1);

    std::vector<qint64> latencies;
    latencies.reserve(size_t(total / 2));
    qint64 sent = 0;
    const QByteArray chunk("\x5A\xA5", 2);
    QObject::connect(&port, &CommPort::onComm, [&] {
        if (port.commEvent() != CommPort::comEvSend)
            return;
        latencies.push_back(port.lastDrainLatencyNs());
        if (sent < total) {
            port.output(chunk);
            sent += 2;
        } else {
            port.setSThreshold(0);
        }
    });
    bench::ModuleReport report;
    QSocketNotifier done(module.reportFd(), QSocketNotifier::Read);
    QObject::connect(&done, &QSocketNotifier::activated, [&] {
        report = module.wait();
        done.setEnabled(false);
        app.quit();
    });

    const double cpu0 = bench::cpuSeconds();
    const qint64 t0 = bench::monoNs();
    port.output(chunk);
    sent = 2;
    app.exec();
    const double cpu = bench::cpuSeconds() - cpu0;
    const double measured = double(report.lastNs - t0) / 1e9;
    const double lineMinimum = double(total) * 10.0 / 19200.0;

    std::sort(latencies.begin(), latencies.end());
    auto pct = [&](double p) {
        return latencies.empty() ? 0.0 : double(latencies[size_t(p * double(latencies.size() - 1))]) / 1000.0;
    };
    std::printf("bytes sent:                 %lld in 2-byte chunks (%lld received by the far end)\n",
                static_cast<long long>(total), static_cast<long long>(report.received));
    std::printf("line minimum:               %.3f s (bytes x 10 / 19200)\n", lineMinimum);
    std::printf("measured:                   %.3f s (first write to the far end's last byte)\n", measured);
    std::printf("utilisation:                %.4f (goal >= 0.985)\n", lineMinimum / measured);
    std::printf("CPU of the sending process: %.3f s = %.2f %% of the wall time (goal <= 1 %%)\n", cpu,
                100.0 * cpu / measured);
    std::printf("drained-to-handler latency: median %.1f us, p99 %.1f us (%zu notifications)\n", pct(0.5),
                pct(0.99), latencies.size());
    return report.received == total ? 0 : 1;
}
