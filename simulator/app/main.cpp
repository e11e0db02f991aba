// panelix-sim: opens a pseudo-terminal, runs the simulated display module on it
// and prints the device to open. With a window (the default) it shows the LCD,
// the counters and the traffic; --headless prints the traffic instead.
#include "simulator/ui/SimulatedModule.h"
#include "simulator/ui/SimulatorWindow.h"
#include "simulator/ui/TrafficLog.h"

#include <QApplication>
#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTime>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct Options {
    std::string link;
    bool headless = false;
    bool fast = false;
};

void print(std::FILE* to, const QString& text) {
    std::fputs(text.toUtf8().constData(), to);
    std::fflush(to);
}

const char* const usage = "Usage: panelix-sim [--link PATH] [--headless] [--fast]\n"
                          "Runs the simulated 320x240 display module on a pseudo-terminal and prints the\n"
                          "device to open as the serial port (first line of the output).\n"
                          "  --link PATH  also make PATH a symbolic link to that device (an existing\n"
                          "               symbolic link is replaced, any other file is left alone)\n"
                          "  --headless   no window: print the decoded traffic, one line per event\n"
                          "  --fast       take every byte at once instead of at 19,200 baud\n"
                          "用法: panelix-sim [--link 路径] [--headless] [--fast]\n"
                          "在伪终端上运行模拟显示模块, 输出的第一行是要打开的串口设备。\n"
                          "  --link 路径  另建指向该设备的符号链接\n"
                          "  --headless   不显示窗口, 输出通信记录\n"
                          "  --fast       不按19200波特率计时, 立即接收\n";

// 0: run, 1: help, 2: error.
int parse(int argc, char** argv, Options* o) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--help" || a == "-h")
            return 1;
        if (a == "--headless") {
            o->headless = true;
        } else if (a == "--fast") {
            o->fast = true;
        } else if (a == "--link" && i + 1 < argc && argv[i + 1][0] != '\0') {
            o->link = argv[++i];
        } else if (a.rfind("--link=", 0) == 0 && a.size() > 7) {
            o->link = a.substr(7);
        } else {
            std::fprintf(stderr, "panelix-sim: %s: %s\n",
                         a == "--link" || a == "--link=" ? "missing value for" : "unknown option", a.c_str());
            return 2;
        }
    }
    return 0;
}

// A link is only ever made over nothing or over another symbolic link, so a
// mistyped path can never cost the user a file.
bool makeLink(const std::string& path, const QString& target, QString* error) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0) {
        if (!S_ISLNK(st.st_mode)) {
            *error = QStringLiteral("无法建立链接 %1: 已存在且不是符号链接")
                         .arg(QString::fromLocal8Bit(path.c_str()));
            return false;
        }
        ::unlink(path.c_str());
    }
    if (::symlink(target.toLocal8Bit().constData(), path.c_str()) != 0) {
        *error = QStringLiteral("无法建立链接 %1: %2")
                     .arg(QString::fromLocal8Bit(path.c_str()), QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    return true;
}

// Removes the link only while it still points at this run's device: another
// run may have taken the name over meanwhile.
void removeLink(const std::string& path, const QString& target) {
    char buf[4096];
    const ssize_t n = ::readlink(path.c_str(), buf, sizeof buf - 1);
    if (n > 0 && QString::fromLocal8Bit(buf, int(n)) == target)
        ::unlink(path.c_str());
}

int signalPipe[2] = {-1, -1};

void onSignal(int) {
    const char c = 1;
    [[maybe_unused]] auto n = ::write(signalPipe[1], &c, 1);
}

} // namespace

int main(int argc, char** argv) {
    Options options;
    switch (parse(argc, argv, &options)) {
    case 1:
        std::fputs(usage, stdout);
        return 0;
    case 2:
        std::fputs(usage, stderr);
        return 2;
    default:
        break;
    }

    std::unique_ptr<QCoreApplication> app;
    if (options.headless)
        app = std::make_unique<QCoreApplication>(argc, argv);
    else
        app = std::make_unique<QApplication>(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("panelix-sim"));

    // Interrupts and hang-ups end the event loop, so the link is removed on the way out.
    if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        print(stderr,
              QStringLiteral("panelix-sim: pipe: %1\n").arg(QString::fromLocal8Bit(std::strerror(errno))));
        return 1;
    }
    QSocketNotifier signalNotifier(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&signalNotifier, &QSocketNotifier::activated, app.get(),
                     [] { QCoreApplication::quit(); });
    for (int sig : {SIGINT, SIGTERM, SIGHUP})
        std::signal(sig, onSignal);
    // A reader of the headless output that goes away must not kill the module.
    std::signal(SIGPIPE, SIG_IGN);

    panelix::SimulatedModule sim;
    QString error;
    if (!sim.start(options.fast ? panelix::ModuleLink::Timing::Fast : panelix::ModuleLink::Timing::LineRate,
                   &error)) {
        print(stderr, QStringLiteral("panelix-sim: %1\n").arg(error));
        return 1;
    }
    const QString device = sim.devicePath();
    if (!options.link.empty() && !makeLink(options.link, device, &error)) {
        print(stderr, QStringLiteral("panelix-sim: %1\n").arg(error));
        return 1;
    }
    print(stdout, device + QLatin1Char('\n'));

    if (options.headless) {
        QObject::connect(&sim.link(), &panelix::ModuleLink::eventsLogged, app.get(),
                         [](const QVector<panelix::ModuleEvent>& events) {
                             const QTime now = QTime::currentTime();
                             QString lines;
                             for (const panelix::ModuleEvent& e : events)
                                 lines += panelix::trafficLine(e, now) + QLatin1Char('\n');
                             print(stdout, lines);
                         });
    } else {
        panelix::SimulatorWindow& window = sim.window();
        window.setAttribute(Qt::WA_QuitOnClose, true);
        window.show();
    }

    const int status = QCoreApplication::exec();
    if (!options.link.empty())
        removeLink(options.link, device);
    return status;
}
