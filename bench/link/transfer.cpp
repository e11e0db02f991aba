// A whole 262,144-byte transfer (the font size) through the reply handler, the
// serial port and a pty to a module in another process that reads at the
// 19,200-baud line rate and answers as the protocol says.
//   bench_transfer            line-rate run (about 137 s)
//   bench_transfer --fast     the module reads as fast as it can, the port runs
//                             at 921,600 baud: the host's own ceiling
#include "ModuleProcess.h"
#include "link/CommPort.h"
#include "link/LinkTexts.h"
#include "link/ModuleCodes.h"
#include "link/ReplyHandler.h"

#include <QCoreApplication>

#include <cstdio>
#include <cstring>

using namespace panelix;

int main(int argc, char** argv) {
    const bool fast = argc > 1 && std::strcmp(argv[1], "--fast") == 0;
    const int baud = fast ? 921600 : 19200;
    const qint32 total = module::FontTransferTotal;
    Pty pty;
    if (!pty.open())
        return 1;
    bench::ModuleProcess module(pty, {.lineRate = !fast, .baud = baud}, module::HeaderSize + total);
    if (!module.started())
        return 1;
    QCoreApplication app(argc, argv);
    CommPort port;
    ReplyHandler handler(port);
    port.setDevicePath(1, pty.slavePath());
    if (!port.setPortOpen(true) || !port.setSettings(QString("%1,n,8,1").arg(baud)))
        return 1;
    port.setRThreshold(1);
    QObject::connect(&port, &CommPort::onComm, &handler, &ReplyHandler::OnComm);
    bool complete = false;
    QObject::connect(&handler, &ReplyHandler::statusText, [&](const QString& t) {
        if (t == texts::downloadDone())
            complete = true;
    });
    bench::ModuleReport report;
    QSocketNotifier done(module.reportFd(), QSocketNotifier::Read);
    QObject::connect(&done, &QSocketNotifier::activated, [&] {
        report = module.wait();
        done.setEnabled(false);
        app.quit();
    });

    QByteArray image(module::FontImageSize, '\0');
    for (int i = 0; i < image.size(); ++i)
        image[i] = char((i * 131 + 7) & 0xFF);
    const double cpu0 = bench::cpuSeconds();
    const qint64 t0 = bench::monoNs();
    handler.startTransfer(image, total, module::fontHeader());
    app.exec();
    const double cpu = bench::cpuSeconds() - cpu0;
    const double measured = double(report.lastNs - t0) / 1e9;
    const double bytes = double(total + module::HeaderSize);
    const double lineMinimum = bytes * 10.0 / baud;

    std::printf("mode:                       %s, %d baud\n", fast ? "fast module" : "line-rate module", baud);
    std::printf("bytes on the line:          %.0f (5 header + %d data), completed: %s\n", bytes, total,
                complete ? "下载完成！" : "no");
    std::printf("line minimum:               %.3f s\n", lineMinimum);
    std::printf("measured:                   %.3f s\n", measured);
    std::printf("utilisation:                %.4f (goal >= 0.985)\n", lineMinimum / measured);
    std::printf("CPU seconds:                %.3f = %.2f %% of the wall time (goal <= 1 %%)\n", cpu,
                100.0 * cpu / measured);
    std::printf("handler invocations:        %llu\n", static_cast<unsigned long long>(handler.invocations()));
    if (fast)
        std::printf("host ceiling:               %.0f bytes/s\n", bytes / measured);
    return complete && report.received == qint64(bytes) ? 0 : 1;
}
