#include "cli/Cli.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QGuiApplication>

#include <csignal>
#include <cstdio>
#include <memory>
#include <stdlib.h>
#include <unistd.h>

namespace {

volatile std::sig_atomic_t interrupts = 0;

// The first Ctrl+C stops the transfers cleanly; a second one ends the program at once.
extern "C" void onInterrupt(int) {
    if (interrupts != 0)
        ::_exit(panelix::cli::ExitInterrupted);
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
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    // Picture decoding needs Qt Gui (fonts for SVG text), never a display.
    std::unique_ptr<QCoreApplication> app;
    if (panelix::cli::needsGui(arguments)) {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        // Qt Gui looks for a runtime directory while it starts; without XDG_RUNTIME_DIR it
        // makes $TMPDIR/runtime-$USER and leaves it behind, although no window ever opens.
        // It gets a private one for its start instead, removed again at once.
        QByteArray runtimeDir;
        if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
            QByteArray pattern = QFile::encodeName(QDir::tempPath()) + "/panelix-cli-XXXXXX";
            if (::mkdtemp(pattern.data())) {
                runtimeDir = pattern;
                qputenv("XDG_RUNTIME_DIR", runtimeDir);
            }
        }
        app = std::make_unique<QGuiApplication>(argc, argv);
        if (!runtimeDir.isEmpty()) {
            ::rmdir(runtimeDir.constData());
            qunsetenv("XDG_RUNTIME_DIR");
        }
    } else {
        app = std::make_unique<QCoreApplication>(argc, argv);
    }
    QCoreApplication::setApplicationName(QStringLiteral("panelix-cli"));

    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
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
