#include "cli/Cli.h"
#include "cli/Paths.h"

#include <QCoreApplication>
#include <QGuiApplication>

#include <csignal>
#include <cstdio>
#include <memory>
#include <unistd.h>

namespace {

volatile std::sig_atomic_t interrupts = 0;

// Ctrl+C stops the transfers cleanly. A second one only marks again: ending the program at
// once would leave the temporary data directory behind, so the clean-up always runs to its end.
extern "C" void onInterrupt(int) {
    interrupts = 1;
    panelix::cli::requestInterrupt();
}

void write(std::FILE* stream, const QString& text) {
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), stream);
    std::fflush(stream);
}

// The tool's own messages go through Io; Qt's notes about the environment (a missing
// XDG_RUNTIME_DIR under the offscreen platform) would only clutter them.
void quietQt(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type == QtCriticalMsg || type == QtFatalMsg)
        write(stderr, QStringLiteral("panelix-cli: ") + message + QLatin1Char('\n'));
}

} // namespace

int main(int argc, char** argv) {
    qInstallMessageHandler(quietQt);
    QStringList arguments;
    QList<QByteArray> nativeArguments; // paths are bytes: a name need not be UTF-8
    for (int i = 0; i < argc; ++i) {
        arguments << QString::fromLocal8Bit(argv[i]);
        nativeArguments << QByteArray(argv[i]);
    }
    panelix::cli::setNativeArguments(arguments, nativeArguments);
    // Picture decoding needs Qt Gui (fonts for SVG text), never a display.
    std::unique_ptr<QCoreApplication> app;
    if (panelix::cli::needsGui(arguments)) {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        app = std::make_unique<QGuiApplication>(argc, argv);
    } else {
        app = std::make_unique<QCoreApplication>(argc, argv);
    }
    QCoreApplication::setApplicationName(QStringLiteral("panelix-cli"));

    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    // A closed terminal ends the transfers as cleanly as Ctrl+C, and the temporary data
    // directory goes with them.
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);

    panelix::cli::Io io;
    io.out = [](const QString& text) { write(stdout, text); };
    io.err = [](const QString& text) { write(stderr, text); };
    io.errIsTerminal = ::isatty(STDERR_FILENO) == 1;
    return panelix::cli::run(arguments, io);
}
