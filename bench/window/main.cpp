// The window's thread during a line-rate download: the whole process's CPU (window shown,
// offscreen, accessibility on, the status line and bar following the transfer) against a
// bare single-thread pacing loop on a pty (sleep to the moment the line has drained, write
// two bytes), both measured in this run against the same module stand-in in a child
// process (bench/cli/StandIn.h). Goal: at most 2 x.
#include "bench/cli/BenchImage.h"
#include "bench/cli/StandIn.h"
#include "bitmap/DownloadImageBuilder.h"
#include "protocol/Module.h"
#include "session/ModuleSession.h"
#include "shell/MainWindow.h"
#include "shell/StartupOptions.h"
#include "simulator/LineClock.h"
#include "simulator/Pty.h"

#include <QAccessible>
#include <QApplication>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <memory>
#include <fcntl.h>
#include <sys/resource.h>
#include <poll.h>
#include <vector>

using namespace panelix;

namespace {

constexpr double Baud = 19200.0;

double cpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

struct Result {
    double cpu = 0;
    double wall = 0;
    double utilisation = 0;
    bool ok = false;
};

double utilisationOf(const bench::StandInReport& r, qint64 data) {
    if (!r.ok || r.ports.empty() || r.ports[0].data != data || r.ports[0].lastDataNs <= r.ports[0].firstDataNs)
        return 0;
    return double(data - 1) * 10.0 / Baud / (double(r.ports[0].lastDataNs - r.ports[0].firstDataNs) / 1e9);
}

Result runWindow(const QByteArray& image, qint64 data, const QString& dataDir, bool withWindow = true) {
    Result r;
    Pty pty;
    if (!pty.open())
        return r;
    bench::StandIn module({pty.masterFd()}, data);
    ModuleSession session;
    StartupOptions o;
    o.dataDir = dataDir;
    o.port1 = pty.slavePath();
    o.port2 = QStringLiteral("/nonexistent/port2");
    std::unique_ptr<MainWindow> window;
    if (withWindow) {
        window = std::make_unique<MainWindow>(session, o);
        window->show();
    } else {
        session.setDevicePath(1, pty.slavePath());
        session.openPort(1);
    }
    QCoreApplication::processEvents();
    const double cpu0 = cpuSeconds();
    const qint64 t0 = lineclock::nowNs();
    if (!session.port().isOpen() || session.downloadImage(image))
        return r;
    QEventLoop loop;
    QObject::connect(&session, &ModuleSession::finished, &loop, &QEventLoop::quit);
    QObject::connect(&session, &ModuleSession::failed, &loop, &QEventLoop::quit);
    loop.exec();
    r.cpu = cpuSeconds() - cpu0;
    r.wall = double(lineclock::nowNs() - t0) / 1e9;
    session.closePort();
    const bench::StandInReport report = module.wait();
    r.utilisation = utilisationOf(report, data);
    r.ok = r.utilisation > 0;
    return r;
}

// The least a sender can do: the header, the go-on reply, then two bytes each time the
// previous two have left the line.
Result runBareLoop(const QByteArray& image, qint64 data) {
    Result r;
    Pty pty;
    if (!pty.open())
        return r;
    bench::StandIn module({pty.masterFd()}, data);
    const int fd = ::open(pty.slavePath().toLocal8Bit().constData(), O_RDWR | O_NOCTTY);
    if (fd < 0)
        return r;
    const double cpu0 = cpuSeconds();
    const qint64 t0 = lineclock::nowNs();
    const QByteArray header = module::bitmapHeader(module::bankedAddress(quint32(data)));
    [[maybe_unused]] auto w = ::write(fd, header.constData(), size_t(header.size()));
    pollfd p{fd, POLLIN, 0};
    char reply = 0;
    if (::poll(&p, 1, 5000) != 1 || ::read(fd, &reply, 1) != 1 || quint8(reply) != module::ReplyGoOn) {
        ::close(fd);
        return r;
    }
    const qint64 pairNs = qint64(2 * 10 * 1e9 / Baud);
    qint64 drained = lineclock::nowNs();
    for (qint64 i = 0; i < data; i += 2) {
        lineclock::sleepUntilNs(drained);
        const size_t n = size_t(std::min<qint64>(2, data - i));
        [[maybe_unused]] auto k = ::write(fd, image.constData() + i, n);
        drained = std::max(drained, lineclock::nowNs()) + pairNs;
    }
    r.cpu = cpuSeconds() - cpu0;
    r.wall = double(lineclock::nowNs() - t0) / 1e9;
    const bench::StandInReport report = module.wait();
    ::close(fd);
    r.utilisation = utilisationOf(report, data);
    r.ok = r.utilisation > 0;
    return r;
}

} // namespace

int main(int argc, char** argv) {
    // Offscreen by default, with Qt's accessibility switched on by hand (no bridge there).
    // On X (QT_QPA_PLATFORM=xcb with a D-Bus session, e.g. under xvfb-run dbus-run-session)
    // the AT-SPI bridge itself switches it on, as for a user with assistive technology.
    const bool onX = qgetenv("QT_QPA_PLATFORM") == "xcb";
    if (!onX)
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("QT_ACCESSIBILITY", "1");
    qputenv("QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "1");
    QApplication app(argc, argv);
    if (!onX) {
        QAccessible::setActive(true);
    } else {
        // The bridge finds the accessibility bus over D-Bus, asynchronously.
        QEventLoop wait;
        for (int i = 0; i < 40 && !QAccessible::isActive(); ++i) {
            QTimer::singleShot(50, &wait, &QEventLoop::quit);
            wait.exec();
        }
    }
    QTemporaryDir dir;
    const PackedImage packed = bench::benchImage(); // the image bench/cli downloads
    if (!packed.ok())
        return 1;
    const qint64 data = qint64(packed.end);
    std::printf("bitmap download of %lld data bytes at 19,200 baud, accessibility %s\n", data,
                !QAccessible::isActive() ? "off"
                : onX                    ? "on (the AT-SPI bridge)"
                                         : "on (offscreen: no bridge)");
    const Result bare = runBareLoop(packed.image, data);
    std::printf("  bare pacing loop:  wall %.2f s, CPU %.3f s, utilisation %.4f%s\n", bare.wall, bare.cpu,
                bare.utilisation, bare.ok ? "" : "  (FAILED)");
    std::fflush(stdout);
    const Result win = runWindow(packed.image, data, dir.filePath(QStringLiteral("dispkit")));
    std::printf("  window (shown):    wall %.2f s, CPU %.3f s, utilisation %.4f%s\n", win.wall, win.cpu,
                win.utilisation, win.ok ? "" : "  (FAILED)");
    const Result alone = runWindow(packed.image, data, dir.filePath(QStringLiteral("dispkit")), false);
    std::printf("  session, no window: wall %.2f s, CPU %.3f s, utilisation %.4f (%.2f x the bare loop)%s\n", alone.wall,
                alone.cpu, alone.utilisation, bare.cpu > 0 ? alone.cpu / bare.cpu : 0, alone.ok ? "" : "  (FAILED)");
    const double ratio = bare.cpu > 0 ? win.cpu / bare.cpu : 0;
    std::printf("ratio measured in this run: window process CPU %.2f x the bare loop's (goal <= 2)%s\n", ratio,
                ratio <= 2 && win.ok && bare.ok ? "" : "  MISSED");
    return ratio <= 2 && win.ok && bare.ok ? 0 : 1;
}
